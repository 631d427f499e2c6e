// The move generator: at every node it decides whether there is a decisive move, a set of
// forced defences, a scored list of candidates, or a quiet position with a static value.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// Fills `req.moves`, `req.moveLimit` and the generator outputs of the state for the side
/// `req.side`; leaves the board, patterns, weights and key as it found them.
void generateMoves(EngineState &e, GenerateRequest &req);
template <Side S> void generateMoves(EngineState &e, GenerateRequest &req);

/// Turns the cell scores into the candidate list (cell order) and the ordering scores of
/// the request's ply.
template <Side S> void collectScoredMoves(EngineState &e, GenerateRequest &req);

/// Width of a node by its budget: how many children share the budget (ply >= 1).
int widthForBudget(const EngineState &e, int budget);

/// t0 = 10 * BudgetBase, each next threshold BudgetBase times the one before.
void computeBudgetThresholds(EngineState &e);

} // namespace pentad
