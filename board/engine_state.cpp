#include "board/engine_state.h"

namespace pentad {

EngineState &engineState() {
    static EngineState state;
    return state;
}

} // namespace pentad
