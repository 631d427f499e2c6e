// Widening and scoring of quiet positions.
//
// This is where the two sides deliberately differ. Every difference of the O twin from the
// X twin, in one place:
//   1. expandQuietMoves runs the own-three scoring before the own-four scoring (X: after).
//   2. scoreOwnFours scores lines of levels 3..7 (X: 5..7).
//   3. scoreOwnFours takes its best over the mask cells of lines with level <= 5 (X: = 5).
//   4. scoreOwnThreeLines leaves an unscored mask cell at 0 (X: 1 unless the level is 5).
//   5. scoreOwnThreeLines adds to a scored mask cell at every level 4..7 (X: not at 5).
//   6. scoreOpponentFours does not add 1 to the bucket cell itself (X: adds 1).
// Beyond these, equal line classes are ordered by a side-dependent direction priority.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// Files the best-weighted empty cells when there are few candidates, then scores them.
template <Side S> void expandQuietMoves(EngineState &e);

template <Side S> void scoreOpponentThreeLines(EngineState &e);
/// `limit`: lines up to this level also score cells that have no score yet.
template <Side S> void scoreOwnFours(EngineState &e, int limit);
template <Side S> void scoreOwnThreeLines(EngineState &e);
template <Side S> void scoreOpponentFours(EngineState &e, int limit);

} // namespace pentad
