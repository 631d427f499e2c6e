#include "threats/quiet_scoring.h"
#include "board/parameters.h"
#include "board/side_traits.h"

#include <algorithm>

#include "threats/threat_classes.h"

namespace pentad {
namespace {

// Whose weights each expansion pass selects by: 1 the side to move, 0 the opponent.

// Mask bits of the cells 1, 2, 3 steps back, then 1, 2, 3 steps forward; the cell four
// steps away on either side is never scored.
constexpr int ScoredBits[6] = {4, 5, 6, 3, 2, 1};
constexpr int StepsOfBit[8] = {4, 3, 2, 1, -1, -2, -3, -4};

inline bool isBack(int bit) { return bit >= 4; }

template <typename F> void forEachNearMaskCell(int b, int mask, int d, F &&visit) {
    for (int bit : ScoredBits)
        if (mask & (1 << bit)) visit(b + StepsOfBit[bit] * LineStep[d], bit);
}

inline void add(uint16_t &value, int increment) { value = uint16_t(value + increment); }

// The direction of the line from a cell to one at most three steps away, by row and column
// difference (+3 each); -1 where they share no line, or are the same cell.
constexpr auto NearLineDirection = [] {
    std::array<std::array<int8_t, 7>, 7> table{};
    constexpr int Centre = 10 * BoardSize + 10;
    for (int dr = -3; dr <= 3; ++dr) {
        for (int dc = -3; dc <= 3; ++dc) {
            const CellRelationEntry r = cellRelation(Centre, Centre - dr * BoardSize - dc);
            const bool near = r.distance != 0 && r.distance >= -3 && r.distance <= 3;
            table[size_t(dr + 3)][size_t(dc + 3)] = near ? int8_t(r.direction) : int8_t(-1);
        }
    }
    return table;
}();

template <Side Named> int lineLevel(const EngineState &e, int cell, int d) {
    return e.ClassTens[e.LineClass[linePatterns<Named>(e)[cell][d]]];
}

} // namespace

template <Side S> void scoreOpponentThreeLines(EngineState &e) {
    constexpr Side Them = opponent(S);
    const auto &bucket = e.Buckets[OppOpenThree];
    for (int i = 1; i <= bucket.count; ++i) {
        int b = bucket.cells[i];
        for (int d = 0; d < DirectionCount; ++d) {
            int L = lineLevel<Them>(e, b, d);
            if (L < 4 || L > 7) continue;
            int inc = e.Params.LevelScore[L];
            forEachNearMaskCell(b, upgradeMask<Them>(e, b, d), d, [&](int x, int) {
                if (e.CellScore[x] == 0) return;
                add(e.CellScore[x], inc);
                add(e.DefenceScore[x], inc);
            });
        }
    }
}

template <Side S> void scoreOwnFours(EngineState &e, int limit) {
    constexpr int LowestLevel = SideTraits<S>::OwnFourLowestLevel;
    const auto &level = e.Params.LevelScore;
    const int cutBonus = e.Params.ThreatBonus - e.Params.ThreatBonusCut;
    const auto &bucket = e.Buckets[OwnFour];
    for (int i = 1; i <= bucket.count; ++i) {
        int b = bucket.cells[i];
        if (e.CellScore[b] == 0) e.CellScore[b] = 1;
        uint16_t best = 0;
        int fivePoint = -1; // the four's five point, looked up when first needed
        for (int d = 0; d < DirectionCount; ++d) {
            int L = lineLevel<S>(e, b, d);
            if (L < LowestLevel || L > 7) continue;
            int mask = upgradeMask<S>(e, b, d);
            int inc = 2 * (level[L - 2] - level[L]) - 5;
            // A side of a weak line that already holds a lone candidate gets the cut bonus.
            int incBack = inc, incForward = inc;
            if (L == 6 || L == 7) {
                forEachNearMaskCell(b, mask, d, [&](int x, int bit) {
                    if (e.CellScore[x] != 1) return;
                    (isBack(bit) ? incBack : incForward) = cutBonus;
                });
            }
            forEachNearMaskCell(b, mask, d, [&](int x, int bit) {
                int sideInc = isBack(bit) ? incBack : incForward;
                if (e.CellScore[x] != 0 || L <= limit) {
                    add(e.CellScore[x], sideInc);
                    if (L == 7 && sideInc == inc) {
                        // Near the four's five point, a cell on a lone-stone line through it
                        // is worth less.
                        if (fivePoint < 0) fivePoint = firstUpgradeCell<S>(e, b, dir<S>(e, b, 0));
                        const int f = fivePoint;
                        const unsigned dr = unsigned(e.RowOf[f] - e.RowOf[x] + 3);
                        const unsigned dc = unsigned(e.ColumnOf[f] - e.ColumnOf[x] + 3);
                        const int direction = dr <= 6 && dc <= 6 ? NearLineDirection[dr][dc] : -1;
                        if (direction >= 0 && lineLevel<S>(e, f, direction) == 7)
                            add(e.CellScore[x], inc / -3);
                    }
                }
                if (L >= SideTraits<S>::OwnFourBestFromLevel && L <= 5)
                    best = std::max(best, e.CellScore[x]);
            });
        }
        add(e.CellScore[b], best >> 1);
    }
}

template <Side S> void scoreOwnThreeLines(EngineState &e) {
    const auto &bucket = e.Buckets[OwnOpenThree];
    for (int i = 1; i <= bucket.count; ++i) {
        int b = bucket.cells[i];
        add(e.CellScore[b], 1);
        uint16_t best = 0;
        for (int d = 0; d < DirectionCount; ++d) {
            int L = lineLevel<S>(e, b, d);
            if (L < 4 || L > 7) continue;
            int inc = 2 * e.Params.LevelScore[L];
            forEachNearMaskCell(b, upgradeMask<S>(e, b, d), d, [&](int x, int) {
                if (e.CellScore[x] == 0) {
                    if constexpr (SideTraits<S>::MarksUnscoredThreeCells)
                        if (L != 5) e.CellScore[x] = 1;
                    return;
                }
                if (SideTraits<S>::AddsAlongOpenTwos || L != 5) add(e.CellScore[x], inc);
                if (L <= 5) best = std::max(best, e.CellScore[x]);
            });
        }
        add(e.CellScore[b], best >> 1);
    }
}

template <Side S> void scoreOpponentFours(EngineState &e, int limit) {
    constexpr Side Them = opponent(S);
    const auto &level = e.Params.LevelScore;
    const auto &bucket = e.Buckets[OppFour];
    for (int i = 1; i <= bucket.count; ++i) {
        int b = bucket.cells[i];
        if constexpr (SideTraits<S>::MarksOpponentFourCell) add(e.CellScore[b], 1);
        for (int d = 0; d < DirectionCount; ++d) {
            int L = lineLevel<Them>(e, b, d);
            if (L < 3 || L > 7) continue;
            int inc = level[L - 2] - level[6];
            forEachNearMaskCell(b, upgradeMask<Them>(e, b, d), d, [&](int x, int) {
                if (e.CellScore[x] == 0 && L > limit) return;
                add(e.CellScore[x], inc);
                add(e.DefenceScore[x], inc);
            });
        }
    }
}

template <Side S> void scoreOwnLines(EngineState &e) {
    if constexpr (SideTraits<S>::OwnThreesBeforeFours) {
        scoreOwnThreeLines<S>(e);
        scoreOwnFours<S>(e, NoLevelLimit);
    } else {
        scoreOwnFours<S>(e, NoLevelLimit);
        scoreOwnThreeLines<S>(e);
    }
}

template <Side S> void expandQuietMoves(EngineState &e) {
    constexpr Side Them = opponent(S);
    // 1. With few own candidates, file the best-weighted cells pass by pass: own filed cells
    // are passed over, each pass takes the top four by one side's weights, and the marks
    // go at the end.
    if (e.OwnFiledCells.count <= MaxFiledForExpansion) {
        for (int i = 1; i <= e.OwnFiledCells.count; ++i)
            e.FiledMark[e.OwnFiledCells.cells[i]] = 0xFFFF;
        for (int r = 0;; ++r) {
            if (ExpansionPasses[r] == 1)
                selectTopFour(e, weights<S>(e), &e.FiledMark);
            else
                selectTopFour(e, weights<Them>(e), &e.FiledMark);
            const auto cells = e.TopFour.cells;
            for (int c : cells)
                fileOwnCell<S>(e, c);
            for (int c : cells)
                fileOpponentCell<S>(e, c);
            if (!(r + 1 < (ExpansionRoom - e.OwnFiledCells.count) / 4)) break;
        }
        clearFiledMarks(e);
    }
    // 2. Own fours and threes are candidates in any case.
    for (int b : {OwnFour, OwnOpenThree, OwnDoubleOpenThree}) {
        const auto &bucket = e.Buckets[b];
        for (int i = 1; i <= bucket.count; ++i)
            if (e.CellScore[bucket.cells[i]] == 0) e.CellScore[bucket.cells[i]] = 1;
    }
    // 3. Score line by line.
    scoreOpponentThreeLines<S>(e);
    scoreOwnLines<S>(e);
    scoreOpponentFours<S>(e, NoLevelLimit);
    // 4. Every filed cell is a candidate; a cell filed twice counts twice.
    for (int i = 1; i <= e.OwnFiledCells.count; ++i)
        add(e.CellScore[e.OwnFiledCells.cells[i]], 1);
}

#define PENTAD_INSTANTIATE(S)                                                                      \
    template void expandQuietMoves<S>(EngineState &);                                              \
    template void scoreOpponentThreeLines<S>(EngineState &);                                       \
    template void scoreOwnFours<S>(EngineState &, int);                                            \
    template void scoreOwnThreeLines<S>(EngineState &);                                            \
    template void scoreOwnLines<S>(EngineState &);                                                 \
    template void scoreOpponentFours<S>(EngineState &, int);
PENTAD_INSTANTIATE(X)
PENTAD_INSTANTIATE(O)
#undef PENTAD_INSTANTIATE

} // namespace pentad
