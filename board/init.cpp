#include "board/init.h"

#include <cstdlib>

#include "board/pattern_tables.h"
#include "board/random.h"

namespace pentad {
namespace {

constexpr std::array<int, 12> OwnBucketOfCategory = {1, 3, 4, 5, 10, 9, 13, 15, 16, 17, 21, 23};
constexpr std::array<int, 12> OpponentBucketOfCategory = {2,  6,  7,  8,  12, 11,
                                                          14, 18, 19, 20, 22, 23};
constexpr int16_t TopFourFloorValue = 22;

// Category of a combined class: its level t and the strength u left beside it.
int threatCategoryOf(int w) {
    int t = w / 10, u = w % 10;
    switch (t) {
    case 0:
        return u == 0 ? 0 : 11;
    case 1:
        return 1;
    case 2:
        return u == 2 ? 2 : u == 3 ? 3 : 4;
    case 3:
        return u == 3 ? 5 : 6;
    case 4:
        return u == 5 ? 8 : 10;
    case 5:
        return u == 5 ? 9 : 10;
    default:
        return 10;
    }
}

bool onBoard(int row, int column) {
    return row >= 0 && row < BoardSize && column >= 0 && column < BoardSize;
}

void buildReach(EngineState &e) {
    for (int c = 0; c < CellCount; ++c) {
        for (int d = 0; d < DirectionCount; ++d) {
            int forward = 0, back = 0;
            while (forward < 4 && onBoard(e.RowOf[c] + (forward + 1) * RowStep[d],
                                          e.ColumnOf[c] + (forward + 1) * ColumnStep[d]))
                ++forward;
            while (back < 4 && onBoard(e.RowOf[c] - (back + 1) * RowStep[d],
                                       e.ColumnOf[c] - (back + 1) * ColumnStep[d]))
                ++back;
            e.ReachForward[c][d] = int16_t(forward);
            e.ReachBack[c][d] = int16_t(back);
        }
    }
    // A stone's digit in the pattern of a cell k = 1..4 steps behind it (the stone is then
    // k steps forward of the cell) and of a cell k steps ahead of it.
    static constexpr int16_t DigitBehind[4] = {27, 9, 3, 1};
    static constexpr int16_t DigitAhead[4] = {81, 243, 729, 2187};
    for (int c = 0; c < CellCount; ++c) {
        int n = 0;
        for (int ahead = 0; ahead < 2; ++ahead)
            for (int d = 0; d < DirectionCount; ++d) {
                const int reach = ahead ? e.ReachForward[c][d] : e.ReachBack[c][d];
                const int step = ahead ? LineStep[d] : -LineStep[d];
                for (int k = 1; k <= reach; ++k) {
                    const int q = c + k * step;
                    e.LineNeighbours[c][n++] = {int16_t(q), int16_t(q * DirectionCount + d),
                                                ahead ? DigitAhead[k - 1] : DigitBehind[k - 1]};
                }
            }
        e.LineNeighbourCount[c] = uint8_t(n);
    }
}

// Slot lists of every neighbour mask: back cells nearest first take the odd slots, forward
// cells nearest first the even slots, then the gaps are squeezed out.
void buildMaskOffsets(EngineState &e) {
    // Bit i of a mask names the neighbour at this many steps (the pattern digit layout).
    constexpr int StepsOfBit[8] = {4, 3, 2, 1, -1, -2, -3, -4};
    for (int m = 0; m < 256; ++m) {
        int slots[9] = {};
        int back = 0, forward = 0;
        for (int k = 1; k <= 4; ++k) {
            for (int bit = 0; bit < 8; ++bit) {
                if (!(m & (1 << bit))) continue;
                if (StepsOfBit[bit] == -k) slots[1 + 2 * back++] = -k;
                if (StepsOfBit[bit] == k) slots[2 + 2 * forward++] = k;
            }
        }
        int n = 0;
        int squeezed[9] = {};
        for (int s = 1; s <= 8; ++s)
            if (slots[s] != 0) squeezed[++n] = slots[s];
        for (int s = 1; s <= 8; ++s)
            for (int d = 0; d < DirectionCount; ++d)
                e.MaskOffset[s][m][d] = squeezed[s] * LineStep[d];
    }
}

void buildWindows(EngineState &e) {
    e.FiveWindowCount = 0;
    e.WindowsOfCellCount.fill(0);
    for (int c = 0; c < CellCount; ++c) {
        for (int d = 0; d < DirectionCount; ++d) {
            if (e.ReachForward[c][d] != 4) continue;
            int w = e.FiveWindowCount++;
            for (int k = 0; k < 5; ++k) {
                int cell = c + k * LineStep[d];
                e.FiveWindow[w][k] = cell;
                e.WindowsOfCell[cell][e.WindowsOfCellCount[cell]++] = w;
            }
        }
    }
    for (auto &stones : e.WindowStones)
        stones = {0, 0};
    e.LiveWindowsX = e.LiveWindowsO = 0;
}

void buildZobristTable(EngineState &e) {
    for (auto &key : e.ZobristTable[0])
        key = {};
    for (int side = 1; side <= 2; ++side) {
        for (int c = 0; c < CellCount; ++c) {
            uint32_t d1 = uint32_t(drawRandom(e)), d2 = uint32_t(drawRandom(e));
            uint32_t d3 = uint32_t(drawRandom(e)), d4 = uint32_t(drawRandom(e));
            e.ZobristTable[side][c] = {d1 | d2 << 16, d3 | d4 << 16};
        }
    }
}

int16_t cellWeightFromPatterns(const EngineState &e, int c, int ownFactor) {
    int px = 0, po = 0;
    for (int d = 0; d < DirectionCount; ++d) {
        px += e.PatternScore[e.LinePatternX[c][d]];
        po += e.PatternScore[e.LinePatternO[c][d]];
    }
    return ownFactor == 1 ? int16_t(2 * px + po) : int16_t(px + 2 * po);
}

} // namespace

int borderDigits(const EngineState &e, int cell, int d) {
    static constexpr int BackDigit[4] = {162, 486, 1458, 4374};
    static constexpr int ForwardDigit[4] = {54, 18, 6, 2};
    int value = 0;
    if (e.ReachBack[cell][d] < 4) value += BackDigit[e.ReachBack[cell][d]];
    if (e.ReachForward[cell][d] < 4) value += ForwardDigit[e.ReachForward[cell][d]];
    return value;
}

void resetLineState(EngineState &e) {
    buildPatternScore(e);
    for (int c = 0; c < CellCount; ++c) {
        e.Board[c] = Empty;
        int sum = 0;
        for (int d = 0; d < DirectionCount; ++d) {
            uint16_t p = uint16_t(borderDigits(e, c, d));
            e.LinePatternX[c][d] = e.LinePatternO[c][d] = p;
            sum += e.PatternScore[p];
        }
        e.WeightX[c] = e.WeightO[c] = int16_t(3 * sum);
    }
    e.ClassValidX.fill(0);
    e.ClassValidO.fill(0);
}

void resetPosition(EngineState &e) {
    resetLineState(e);
    for (auto &stones : e.WindowStones)
        stones = {0, 0};
    e.LiveWindowsX = e.LiveWindowsO = 0;
    e.PositionKey = {};
}

void initEngine(EngineState &e) {
    // 1. Sentinels read by scans and by the top-four selection.
    e.OpponentBucketOf[100] = TopFourFloorValue;
    e.CellScore[CellCount] = uint16_t(Sentinel);
    e.WeightO[CellCount] = e.WeightX[CellCount] = Sentinel;
    // 2. Rows and columns.
    for (int c = 0; c < CellCount; ++c) {
        e.RowOf[c] = int16_t(c / BoardSize);
        e.ColumnOf[c] = int16_t(c % BoardSize);
    }
    // 3. Digit tables of the two-digit classes.
    for (int i = 0; i < 100; ++i) {
        e.ClassUnits[i] = uint8_t(i % 10);
        e.ClassTensTimesTen[i] = uint8_t(10 * (i / 10));
        e.ClassTens[i] = uint8_t(i / 10);
    }
    // 4. Reach of every cell along every line (the border digits follow from it).
    buildReach(e);
    // 5. Bit counts of the neighbour masks, and the cell offsets of every mask slot.
    for (int m = 0; m < 256; ++m)
        e.BitCount[m] = __builtin_popcount(unsigned(m));
    buildMaskOffsets(e);
    // 6. Buckets of every combined class.
    for (int w = 0; w < 100; ++w) {
        e.OwnBucketOf[w] = OwnBucketOfCategory[threatCategoryOf(w)];
        e.OpponentBucketOf[w] = OpponentBucketOfCategory[threatCategoryOf(w)];
    }
    // 7. Five-cell windows.
    buildWindows(e);
    // 8. Empty-board line state.
    resetLineState(e);
    // 9. Position key and the key table.
    e.PositionKey = {};
    buildZobristTable(e);
}

void loadWeightSet(EngineState &e, int index) {
    const auto &set = e.Params.StoredSets[index];
    auto &level = e.Params.LevelScore;
    level[0] = 1000;
    for (int i = 0; i < 7; ++i)
        level[i + 1] = set[i];
    e.Params.CounterFourScore = set[7];
    e.Params.ThreatBonus = set[8];
    e.Params.FourCountWeight = set[9];
    e.Params.LineFourPenalty = set[10];
    e.Params.DefenceCellScore = set[11];
}

void activateParameters(EngineState &e, int k) {
    loadWeightSet(e, k - 1);
    e.Params.LevelScore[8] = 1;
    e.Params.LevelScore[9] = 0;
}

void recomputeWeights(EngineState &e) {
    buildPatternScore(e);
    for (int c = 0; c < CellCount; ++c) {
        if (e.Board[c] != Empty) continue;
        e.WeightX[c] = cellWeightFromPatterns(e, c, 1);
        e.WeightO[c] = cellWeightFromPatterns(e, c, 2);
    }
}

} // namespace pentad
