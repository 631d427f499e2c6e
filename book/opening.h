// The first moves of a game: the random central move on an empty board and the
// preparation of the root search for the reply to a single stone and for book positions.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// On an empty board returns the move to play at once (a random cell in columns and rows
/// 7..12); otherwise prepares `RootBonus` and `BookMoveFlag` and returns -1.
int prepareOpening(EngineState &e);

} // namespace pentad
