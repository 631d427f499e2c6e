#include "threats/generator.h"
#include "board/parameters.h"

#include "board/cell_scan.h"

#include <algorithm>
#include <cassert>

#include "threats/combinations.h"
#include "threats/evaluation.h"
#include "threats/quiet_scoring.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

// Cells that answer every opponent threat so far, kept in the state's scratch list so that
// a node without threats clears nothing. Repeated cells are kept.
struct DefenceSet {
    bool defined = false;
    DefenceList &cells;

    void merge(const DefenceList &list) {
        if (!defined) {
            cells.count = list.count;
            std::copy_n(list.cells.begin() + 1, list.count, cells.cells.begin() + 1);
            defined = true;
            return;
        }
        int kept = 0;
        for (int i = 1; i <= cells.count; ++i) {
            int c = cells.cells[i];
            bool inList = false;
            for (int j = 1; j <= list.count && !inList; ++j)
                inList = list.cells[j] == c;
            if (inList) cells.cells[++kept] = int16_t(c);
        }
        cells.count = int16_t(kept);
    }
};

void single(GenerateRequest &req, int cell) {
    req.moves->count = 1;
    req.moves->cells[1] = int16_t(cell);
}

int firstOf(const EngineState &e, int bucket) { return e.Buckets[bucket].cells[1]; }
bool any(const EngineState &e, int bucket) { return e.Buckets[bucket].count > 0; }

} // namespace

void computeBudgetThresholds(EngineState &e) {
    int64_t t = 10 * int64_t(e.BudgetBase);
    for (auto &threshold : e.BudgetThresholds) {
        threshold = int32_t(std::min<int64_t>(t, INT32_MAX));
        t = std::min<int64_t>(t * e.BudgetBase, INT32_MAX);
    }
}

int widthForBudget(const EngineState &e, int budget) {
    for (int k = 0; k < 12; ++k)
        if (budget < e.BudgetThresholds[k]) return WidthTable[k];
    return e.BudgetBase;
}

template <Side S> void collectScoredMoves(EngineState &e, GenerateRequest &req) {
    const int threatBonus = e.Params.ThreatBonus;
    const auto &doubleThrees = e.Buckets[OppDoubleOpenThree];
    for (int i = 1; i <= doubleThrees.count; ++i) {
        uint16_t &score = e.CellScore[doubleThrees.cells[i]];
        if (score != 0) score = uint16_t(score + threatBonus - DoubleThreeBonusCut);
    }
    const auto &fours = e.Buckets[OwnFour];
    for (int i = 1; i <= fours.count; ++i) {
        int c = fours.cells[i];
        uint16_t &score = e.CellScore[c];
        if (score != 0 && e.OwnBestClass[c] == LineFourWithThree)
            score = uint16_t(score + threatBonus - FourWithThreeBonusCut);
    }
    auto &row = e.MoveScores[req.ply];
    const auto &ownWeights = weights<S>(e);
    CandidateList &out = *req.moves;
    int count = out.count;
    // The whole row is rewritten, so every cell that is no candidate now reads 0.
    for (int base = 0; base < CellCount; base += 16) {
        const unsigned mask =
            addWhereNonZero8(&e.CellScore[base], &ownWeights[base], &row[base]) |
            addWhereNonZero8(&e.CellScore[base + 8], &ownWeights[base + 8], &row[base + 8]) << 16;
        forEachLane(mask, base, [&](int c) { out.cells[++count] = int16_t(c); });
    }
    out.count = int16_t(count);
}

template <Side S> void generateMoves(EngineState &e, GenerateRequest &req) {
    CandidateList &out = *req.moves;
    // 1. Fresh outputs and empty buckets.
    out.count = 0;
    e.OwnFiledCells.count = 0;
    e.DefenceMode = false;
    e.ForcedResult = false;
    e.DefenceCount = 1;
    for (auto &bucket : e.Buckets)
        bucket.count = 0;
    // 2. How many moves the caller searches.
    if (req.ply == 0)
        req.moveLimit = e.DefaultMoveLimit;
    else
        req.moveLimit = widthForBudget(e, req.budget) + (req.ply <= 2 ? ShallowPlyExtraWidth : 0);

    // 3. Classify every cell near the stones, for both sides.
    // Nothing reads the marks before the expansion, which marks every filed cell itself,
    // so the scan sets none.
    const int16_t proximity = int16_t(4 * e.Params.ProximityFloor);
    const bool fileUnread = e.FileUnreadBuckets;
    // True when an own five point was found.
    auto fileNear = [&]<bool KnownEmpty>() {
        // Sixteen cells a walk: the end of each walk is a branch that follows no pattern.
        for (int base = 0; base < CellCount; base += 16) {
            const unsigned mask =
                eitherAtLeastMask8(&e.WeightX[base], &e.WeightO[base], proximity) |
                eitherAtLeastMask8(&e.WeightX[base + 8], &e.WeightO[base + 8], proximity) << 16;
            const bool five = anyLane(mask, base, [&](int c) {
                assert(!KnownEmpty || e.Board[c] == Empty);
                // The buckets start empty, so the own-five bucket fills only with this cell.
                if (fileOwnCell<S, false, KnownEmpty>(e, c, fileUnread) == OwnFive) {
                    single(req, firstOf(e, OwnFive));
                    e.ForcedResult = true;
                    return true;
                }
                fileOpponentCell<S, KnownEmpty>(e, c, fileUnread);
                return false;
            });
            if (five) return true;
        }
        return false;
    };
    // A stone zeroes its cell's weights, so with a floor above zero every near cell is
    // empty and the filing need not look.
    if (proximity > 0 ? fileNear.template operator()<true>()
                      : fileNear.template operator()<false>())
        return;
    // 4. The most urgent threat decides whether the node may be a quiet leaf.
    int best = LastUrgentBucket + 1;
    for (int b = OppFive; b <= LastUrgentBucket; ++b) {
        if (any(e, b)) {
            best = b;
            break;
        }
    }
    e.QuietNode = req.budget <= QuietBudget && best > OppFourOpenThree &&
                  (req.ply % 2 == 1 || e.Deadline <= ShortDeadlineMs);
    if (e.QuietNode) req.moveLimit = e.LeafMoveLimit;
    // 5. The opponent has a five point: block it.
    if (any(e, OppFive)) {
        single(req, firstOf(e, OppFive));
        e.DefenceMode = true;
        return;
    }
    // 6. Scores start from zero.
    std::fill(e.CellScore.begin(), e.CellScore.end(), uint16_t(0));
    std::fill(e.DefenceScore.begin(), e.DefenceScore.end(), uint16_t(0));
    // 7. Own open four or double four wins.
    for (int b : {OwnOpenFour, OwnDoubleFour}) {
        if (any(e, b)) {
            single(req, firstOf(e, b));
            e.ForcedResult = true;
            return;
        }
    }
    // 8. Own four with an open three whose block gives the opponent no four.
    const auto &fourThrees = e.Buckets[OwnFourOpenThree];
    for (int i = 1; i <= fourThrees.count; ++i) {
        if (checkFourOpenThree<S>(e, fourThrees.cells[i], out)) {
            out.count = 1;
            e.ForcedResult = true;
            return;
        }
    }
    // 9. Verified four-three and four-two wins.
    if (any(e, OwnFourWithThree) && findFourThreeWin<S>(e, out)) {
        e.ForcedResult = true;
        return;
    }
    if (any(e, OwnFourWithTwo) && e.Buckets[OwnFour].count > 2 && findFourTwoWin<S>(e, out)) {
        e.ForcedResult = true;
        return;
    }
    // 10. Cells that answer every opponent threat at once.
    DefenceSet defence{false, e.DefenceSetCells};
    DefenceList &list = e.DefenceWork;
    for (int i = 1; i <= e.Buckets[OppOpenFour].count; ++i) {
        defendOpenFour<S>(e, e.Buckets[OppOpenFour].cells[i], list);
        defence.merge(list);
    }
    for (int i = 1; i <= e.Buckets[OppDoubleFour].count; ++i) {
        defendDoubleFour<S>(e, e.Buckets[OppDoubleFour].cells[i], list);
        defence.merge(list);
    }
    for (int i = 1; i <= e.Buckets[OppFourOpenThree].count; ++i)
        if (defendFourOpenThree<S>(e, e.Buckets[OppFourOpenThree].cells[i], list))
            defence.merge(list);
    for (int i = 1; i <= e.Buckets[OppFourWithThree].count; ++i)
        if (defendFourThree<S>(e, e.Buckets[OppFourWithThree].cells[i], list)) defence.merge(list);
    for (int i = 1; i <= e.Buckets[OppFourWithTwo].count; ++i)
        if (defendFourTwo<S>(e, e.Buckets[OppFourWithTwo].cells[i], list)) defence.merge(list);

    // 11. No opponent threat: a double open three wins unless the opponent has fours;
    // otherwise widen and score the quiet candidates.
    if (!defence.defined) {
        if (any(e, OwnDoubleOpenThree) && !any(e, OppFourOpenThree) && !any(e, OppFour)) {
            single(req, firstOf(e, OwnDoubleOpenThree));
            e.ForcedResult = true;
            return;
        }
        if (!e.QuietNode && req.ply > 0 && req.pathCounts[0] == 0)
            req.moveLimit = WideQuietMoveLimit;
        expandQuietMoves<S>(e);
        if (e.QuietNode)
            evaluateQuietNode<S>(e);
        else
            collectScoredMoves<S>(e, req);
        return;
    }
    // 12. Defend: the set's cells, plus own fours as counter-attacks.
    if (defence.cells.count < 2) e.QuietNode = false;
    for (int i = 1; i <= defence.cells.count; ++i)
        e.CellScore[defence.cells.cells[i]] = uint16_t(e.Params.DefenceCellScore);
    e.DefenceCount = std::max<int>(defence.cells.count, 1);
    scoreOwnFours<S>(e, OpenThreeLevel);
    e.DefenceMode = true;
    if (e.QuietNode)
        evaluateQuietNode<S>(e);
    else
        collectScoredMoves<S>(e, req);
}

void generateMoves(EngineState &e, GenerateRequest &req) {
    req.side == X ? generateMoves<X>(e, req) : generateMoves<O>(e, req);
}

template void generateMoves<X>(EngineState &, GenerateRequest &);
template void generateMoves<O>(EngineState &, GenerateRequest &);
template void collectScoredMoves<X>(EngineState &, GenerateRequest &);
template void collectScoredMoves<O>(EngineState &, GenerateRequest &);

} // namespace pentad
