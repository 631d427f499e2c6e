// The pbrain front end: one engine process per match, talking over standard input and
// output, with the same position building, opening step and search as the exchange-file
// engine.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

#include "search/transposition.h"

namespace pentad {

/// Memory the engine as designed needs with the full transposition table, against the
/// manager's max_memory: the table (96 MB) and the rest of the engine.
constexpr int64_t PbrainMemoryNeed = 112ll * 1024 * 1024;
constexpr int64_t PbrainBaseMemory =
    PbrainMemoryNeed - int64_t(TranspositionTable::bytesFor(TranspositionTable::FullBits));

/// The engine as designed's largest table (as 2^bits home slots) that fits in max_memory
/// bytes, or -1 when even the smallest does not; max_memory 0 (no limit) gives the full table.
int pbrainTableBits(int64_t maxMemory);
/// The tournament engine's memory beside its table, and its table when max_memory is 0.
constexpr int64_t TournamentBaseMemory = 16ll * 1024 * 1024;
constexpr int64_t TournamentDefaultTable = 64ll * 1024 * 1024;
/// The tournament engine's table in bytes for max_memory (0: no limit), or -1 when even the
/// smallest (1 MB) does not fit.
int64_t tournamentTableBytes(int64_t maxMemory);

/// Time kept back from timeout_turn and from time_left for answering.
constexpr int PbrainSafetyMs = 60;

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

/// time_left when the manager has sent none.
constexpr int64_t NoTimeLeft = INT64_MIN;

/// Milliseconds the search may use for one move, from the manager's limits (timeout_turn
/// negative when absent, timeLeft NoTimeLeft when absent) and the number of stones; 0 means
/// "answer at once": timeout_turn 0, or no time left at all.
int32_t pbrainMoveBudget(int64_t timeoutTurn, int64_t timeoutMatch, int64_t timeLeft, int stones);

/// The tournament engine's times for one move: no new iteration after about `optimum` ms,
/// never past `maximum`. Both 0 mean "answer at once".
struct MoveTimes {
    int64_t optimum = 0, maximum = 0;
};
MoveTimes tournamentMoveTimes(int64_t timeoutTurn, int64_t timeoutMatch, int64_t timeLeft, int stones);

} // namespace pentad
