// The tournament engine's search: iterative deepening principal-variation alpha-beta over
// the pattern board, forced moves first (fives, blocks of fives, open fours, answers to an
// open three), a search by fours as the quiescence at the horizon, and pruning of quiet
// moves. With a node or depth limit and no clock a search is exactly reproducible.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "tournament/pattern_board.h"

namespace pentad::tournament {

constexpr int MaxPly = 128;
constexpr int Win = 30000;           ///< a five on the board; a win at ply n is Win - n
constexpr int WinBound = Win - 1000; ///< values beyond this are proven wins or losses

/// "win in N" moves of the side it favours, or 0 when the value is not a proven result.
int winDistance(int value);

struct Limits {
    int64_t maxNodes = 0;   ///< 0: no node limit
    int maxDepth = 0;       ///< 0: no depth limit
    int64_t optimumMs = -1; ///< no new iteration after this (and a stable best move), < 0: no clock
    int64_t maximumMs = -1; ///< the search stops here, < 0: no clock
    int64_t clockOrigin = 0; ///< process clock of the move request
};

struct Iteration {
    int depth = 0, selDepth = 0, value = 0;
    int64_t nodes = 0, ms = 0;
    int pvLength = 0;
    std::array<int16_t, MaxPly> pv{}; ///< padded cells
};

struct Observer {
    virtual ~Observer() = default;
    virtual void iterationDone(const Iteration &) {}
};

struct Result {
    int move = tournament::NoCell; ///< padded cell, always empty
    Iteration last;                ///< the deepest iteration that finished
    const char *reason = "search"; ///< what decided: "search", "five", "block", "four", "opening"
};

class Searcher {
public:
    Searcher();
    ~Searcher();
    /// A transposition table of about `bytes` (a power of two of 64-byte buckets); false when
    /// the memory cannot be had.
    bool allocate(size_t bytes);
    /// Empties the table and the move-order statistics: the next search plays as from a new game.
    void clear();
    /// The move for the side to move of `board`; the board is the same after as before.
    Result think(PatternBoard &board, const Limits &limits, Observer *observer = nullptr);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace pentad::tournament
