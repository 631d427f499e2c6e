// The tournament mode's own search: iterative-deepening principal-variation alpha-beta on
// the line shapes of a ShapeBoard, with fours and forced blocks searched without using up
// depth, a short search by fours at the horizon, and a static evaluation from the shape
// values of both sides. The tournament mode uses it when asked to (--shape-search); the
// engine as designed never calls it.
#pragma once

#include <cstdint>

#include "board/engine_state.h"
#include "search/search.h"

namespace pentad {

constexpr int ShapeWin = 30000;      ///< a win found at ply p is worth ShapeWin - p
constexpr int ShapeWinBound = 29000; ///< values beyond it are forced wins or losses
constexpr int MaxShapeDepth = 40;    ///< deepest iteration
constexpr int ShapePliesPerIteration =
    2; ///< plies one root search of the classic engine stands for

struct ShapeSearchLimits {
    int64_t deadline = -1;     ///< process clock (ms) at which the search stops; -1 none
    int64_t softDeadline = -1; ///< no new iteration starts after it; -1 none
    int64_t maxNodes = 0;      ///< 0: no limit
    int maxDepth = MaxShapeDepth;
};

struct ShapeSearchResult {
    int move = -1; ///< cell to play; -1 when no root move exists
    int value = 0; ///< for the side to move
    int depth = 0; ///< the deepest completed iteration
    int64_t nodes = 0;
    MoveList<CellCount> order{}; ///< root moves of the last completed iteration, best first
};

/// Builds the search's tables ahead of the first move, so that its clock is not spent on them.
void prepareShapeSearch();

/// Searches the position of `e` (its board; the side to move from MoveNumber) under the
/// limits; the root takes only e.RootMoveFilter's cells when it is not empty. After every
/// completed iteration it writes IterationNumber (the depth), BestScore, IterationLine and
/// TotalNodes into `e` and tells the observer. Allocates nothing once its table exists.
ShapeSearchResult shapeSearch(EngineState &e, const ShapeSearchLimits &limits,
                              SearchObserver *observer = nullptr);

} // namespace pentad
