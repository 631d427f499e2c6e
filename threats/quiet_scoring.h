// Widening and scoring of quiet positions.
//
// This is where most of the deliberate differences between the sides lie; all of them
// are listed, named and valued in board/side_traits.h.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// Files the best-weighted empty cells when there are few candidates, then scores them.
template <Side S> void expandQuietMoves(EngineState &e);

template <Side S> void scoreOpponentThreeLines(EngineState &e);
/// `limit`: lines up to this level also score cells that have no score yet.
template <Side S> void scoreOwnFours(EngineState &e, int limit);
template <Side S> void scoreOwnThreeLines(EngineState &e);
/// The own fours and the own open threes, in the side's order.
template <Side S> void scoreOwnLines(EngineState &e);
/// A level limit that lets every scored line reach cells without a score yet.
constexpr int NoLevelLimit = 7;
template <Side S> void scoreOpponentFours(EngineState &e, int limit);

} // namespace pentad
