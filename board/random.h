// The engine's own linear congruential generator: it fills the position keys and makes the
// opening and leaf-noise choices, so a fixed seed reproduces a whole move.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// Advances `RandomSeed` and returns its upper sixteen bits, 0..65535.
inline int32_t drawRandom(EngineState &e) {
    e.RandomSeed = e.RandomSeed * 1103515245u + 12345u;
    return int32_t(e.RandomSeed >> 16);
}

} // namespace pentad
