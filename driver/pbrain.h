// The pbrain front end: one engine process per match, talking over standard input and
// output, with the same position building, opening step and search as the exchange-file
// engine.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

namespace pentad {

/// Memory the engine needs, reported against the manager's max_memory.
constexpr int64_t PbrainMemoryNeed = 112ll * 1024 * 1024;
/// Time kept back from timeout_turn and from time_left for answering.
constexpr int PbrainSafetyMs = 60;

struct PbrainOptions {
    bool classic = false;     ///< play the engine as designed, without the threat solvers
    bool vcfInSearch = false; ///< tournament mode: VCF checks inside the search (slower)
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

} // namespace pentad
