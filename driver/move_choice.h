// The move for a non-empty board.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// Chooses the move for the side to move; always an empty cell.
int chooseMove(EngineState &e);

} // namespace pentad
