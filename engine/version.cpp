#include "engine/version.h"

namespace pentad {

const char *engineVersion() { return PENTAD_VERSION; }

} // namespace pentad
