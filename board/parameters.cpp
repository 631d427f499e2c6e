#include "board/parameters.h"

#include "board/init.h"

namespace pentad {

void applyMoveSettings(EngineState &e) {
    e.NodeBudget = DefaultNodeBudget;
    e.BudgetBase = DefaultBudgetBase;
    e.DefaultMoveLimit = DefaultRootMoveLimit;
    e.PlyLimit = DefaultPlyLimit;
    activateParameters(e, DefaultWeightSet);
    recomputeWeights(e);
    e.RandomizeLeaves = true;
    e.FullWindowRoot = false;
    e.BookMoveFlag = false;
    e.NodeLimit = 0;
    e.MaxIterations = 0;
    // Settings a tool may have changed earlier in the same process.
    e.NodeBudgetCeiling = DefaultNodeBudgetCeiling;
    e.ClockOrigin = 0;
    e.DeadlineOverride = -1;
    e.ClockEnabled = true;
}

} // namespace pentad
