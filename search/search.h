// The search: iterative deepening under node budgets and a clock, the root search, and
// the alpha-beta node search that follows budgets instead of a fixed depth.
#pragma once

#include <cstdint>

#include "board/engine_state.h"

namespace pentad {

constexpr int WinScore = 32000;          ///< a win found at ply p is worth WinScore - p
constexpr int NoScore = -32000;          ///< unscored root move; widest window bound
constexpr int BookScore = 31999;         ///< value that keeps the book's move first
constexpr int MaxSearchPly = MaxPly - 1; ///< deeper nodes are leaves: per-ply tables end here

/// Counters that travel down a line by value, indexed by side (1, 2): moves that made a
/// four and nodes with more than 19 moves to search. four[0] is the generator's input.
struct LineCounters {
    uint16_t four[3] = {0, 0, 0};
    uint16_t wide[3] = {0, 0, 0};
};

/// Whether the clock has reached the deadline.
bool clockReached(const EngineState &e);

/// True when playing the cell makes a five, an open four or a four for the side.
bool isThreatMove(const EngineState &e, int cell, Side side);

/// Value of the position after `move` by the opponent of `side` (not yet on the board),
/// for `side` to move at `ply`, within (alpha, beta). The line buffer holds the moves from
/// the root; `madeFour` receives whether `move` made a four.
int nodeSearch(EngineState &e, int move, Side side, int ply, int alpha, int beta, int budget,
               LineBuffer &line, const LineCounters &counters, bool &madeFour);

/// One root search for the side under the current NodeBudget and PlyLimit; leaves the best
/// line in IterationLine.
void rootSearch(EngineState &e, Side side);

/// Sets Deadline from the time limits and the number of stones.
void computeDeadline(EngineState &e);
/// Per-move time budget in milliseconds for the given limits and stone count.
int32_t timeBudgetMs(int32_t turnLimit, int32_t matchTime, int stones);

/// Told after every root search of a move (for tools); may stop the move early.
struct SearchObserver {
    virtual ~SearchObserver() = default;
    virtual void iterationDone(const EngineState &e, int nodeBudget, int plyLimit) = 0;
    int maxIterations = 0; ///< 0: no limit
};

/// The whole search for the side to move: root searches with growing budgets until the
/// ceiling or the clock. The move to play is IterationLine[1].
void searchMove(EngineState &e, SearchObserver *observer = nullptr);

} // namespace pentad
