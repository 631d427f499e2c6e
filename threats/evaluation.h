// Static value of a quiet node for the side to move.
#pragma once

#include "board/engine_state.h"

namespace pentad {

/// Combines the threat buckets, the best-scored candidate cells and the balance of live
/// windows into `QuietEvaluation`. Zeroes the cell scores of the cells it takes.
template <Side S> void evaluateQuietNode(EngineState &e);

} // namespace pentad
