// Start-up of the engine state: geometry tables, windows, keys and the empty board,
// and the evaluation parameters.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// Builds every constant table and the empty start position. The pattern tables must be
/// loaded first; draws 3200 values from `drawRandom` for the position keys.
void initEngine(EngineState &e);

/// Empty board with the line patterns holding only the border digits, start-up weights,
/// and every class record marked stale.
void resetLineState(EngineState &e);

/// The empty board of resetLineState, with the window counts and the key cleared too.
void resetPosition(EngineState &e);

/// Copies stored set `index` (0..2) into level scores 0..7 and the scalar weights; level
/// scores 8 and 9 keep their values.
void loadWeightSet(EngineState &e, int index);

/// Makes stored weight set k (1..3) the working weights.
void activateParameters(EngineState &e, int k);

/// Rebuilds `PatternScore` and the weights of every empty cell from the current patterns.
void recomputeWeights(EngineState &e);

/// Pattern value the border contributes to a cell in a direction, for both sides alike.
int borderDigits(const EngineState &e, int cell, int d);

} // namespace pentad
