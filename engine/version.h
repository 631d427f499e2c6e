// The engine's version, from the VERSION file at the root of the source tree.
#pragma once

namespace pentad {

const char *engineVersion();

} // namespace pentad
