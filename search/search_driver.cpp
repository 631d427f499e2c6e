#include <algorithm>
#include <cmath>
#include <limits>

#include "board/parameters.h"
#include "search/search.h"
#include "search/transposition.h"

namespace pentad {
// The expected number of moves one side still makes, the game length of a side being
// Poisson-distributed; late in long games the model's tail is lost to rounding, and then
// (or whenever it gives less) one remaining move is assumed.
int32_t timeBudgetMs(int32_t turnLimit, int32_t matchTime, int stones) {
    const int lambdaInt = ExpectedGameLength / 2;
    const double lambda = lambdaInt;
    const int n = stones / 2;
    const double base = std::exp(-lambda);
    double s = 0, t = 0;
    for (int k = 0; k <= n + 1; ++k) {
        double power = 1; // lambda^k / k!, formed afresh
        for (int j = 1; j <= k; ++j)
            power *= lambda / j;
        double p = base * power;
        if (k <= n) s += k * p;
        t += p;
    }
    double f = std::floor((lambda - s) / (1 - t) + 0.5);
    int64_t remaining = 1;
    if (std::isfinite(f) && f > -1e9 && f < 1e9)
        remaining = std::max<int64_t>(int64_t(f) - n + 1, 1);
    int64_t perMove = matchTime / remaining;
    int64_t cap = int64_t(turnLimit) * 1000 - TurnSafetyMs;
    int64_t deadline = std::min(perMove, cap);
    return int32_t(std::clamp<int64_t>(deadline, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

void computeDeadline(EngineState &e) {
    if (e.DeadlineOverride >= 0)
        e.Deadline = e.DeadlineOverride;
    else
        e.Deadline = timeBudgetMs(e.TurnLimit, e.MatchTime, e.MoveHistory.count);
}

void searchMove(EngineState &e, SearchObserver *observer) {
    const Side side = e.MoveNumber % 2 == 1 ? X : O;
    // 1. Fresh killers and an empty table for the move.
    for (auto &pair : e.KillerMoves)
        pair = {-1, -1};
    transpositionTable().clear();
    e.IterationNodes = 0;
    e.FileUnreadBuckets = false;
    // 2. Leaf width by the stage of the game, and the move's deadline.
    e.LeafMoveLimit = e.MoveNumber < LateLeafMoveNumber ? OpeningLeafMoveLimit : LateLeafMoveLimit;
    computeDeadline(e);
    // 3. The first root search: the smallest budget and horizon.
    e.NodeBudget = FirstNodeBudget;
    e.PrincipalLine[0] = 0;
    e.PlyLimit = FirstPlyLimit;
    e.IterationNumber = 1;
    for (int searches = 1;; ++searches) {
        // 4. One root search; its line is tried first by the next one.
        rootSearch(e, side);
        e.TotalNodes += e.IterationNodes;
        e.PrincipalLine = e.IterationLine;
        if (observer) observer->iterationDone(e, e.NodeBudget, e.PlyLimit);
        // 5. Budget five times larger, horizon two plies deeper; the opening gets a sixth
        // search at the ceiling.
        e.PlyLimit += PlyLimitGrowth;
        int64_t next = int64_t(e.NodeBudget) * NodeBudgetGrowth;
        if (next == OpeningStepFrom && e.MoveNumber <= OpeningLastMoveNumber) next = OpeningCeiling;
        e.NodeBudget = int32_t(std::min<int64_t>(next, std::numeric_limits<int32_t>::max()));
        ++e.IterationNumber;
        // 6. Stop at the clock, past the ceiling, or when the caller has seen enough.
        if (clockReached(e) || e.NodeBudget > e.NodeBudgetCeiling) break;
        if (observer && observer->maxIterations > 0 && searches >= observer->maxIterations) break;
        if (e.MaxIterations > 0 && searches >= e.MaxIterations) break;
    }
}

} // namespace pentad
