// The pbrain front end: one engine process per match, talking over standard input and
// output. It holds the protocol only; the engine it drives is the tournament engine or,
// with `classic`, the engine as designed.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

namespace pentad {

struct PbrainOptions {
    /// Play the engine as designed; otherwise the tournament engine (its own search on an
    /// incremental pattern board) plays.
    bool classic = false;
    /// Read every line first and answer them on this thread, then return (no reader
    /// thread, no exit): for fuzzing and scripted checks.
    bool synchronous = false;
    int64_t maxMoveMs = -1; ///< >= 0: no move thinks longer than this
    bool fixedSeed = false; ///< every random choice from `seed` and the move's position
    uint32_t seed = 0;
};

/// Reads commands until END or the end of input; answers on `out`, flushing each reply.
/// Returns the process exit status.
int runPbrain(std::istream &in, std::ostream &out, const PbrainOptions &options = {});

} // namespace pentad
