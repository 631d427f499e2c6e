#include "board/placement.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/init.h"
#include "board/side_traits.h"

namespace pentad {
namespace {

// One pass over the cells within four steps on the stone's lines. Occupied cells keep the
// patterns they were placed with.
template <Side S, int Sign, bool Light> void updateLines(EngineState &e, int p) {
    uint16_t *patternsX = e.LinePatternX[0].data();
    uint16_t *patternsO = e.LinePatternO[0].data();
    const LineNeighbour *line = e.LineNeighbours[p].data();
    for (int i = 0, n = e.LineNeighbourCount[p]; i < n; ++i) {
        const int q = line[i].cell;
        if (e.Board[q] != Empty) continue;
        const int w = Sign * line[i].digit;
        const int slot = line[i].slot;
        const uint16_t oldX = patternsX[slot], oldO = patternsO[slot];
        const uint16_t px = uint16_t(oldX + (S == X ? w : 2 * w));
        const uint16_t po = uint16_t(oldO + (S == X ? 2 * w : w));
        patternsX[slot] = px;
        patternsO[slot] = po;
        // A class record is a function of the four line classes alone, so it stays current
        // while the changed line keeps its class.
        e.ClassValidX[q] &= uint8_t(0u - unsigned(e.LineClass[px] == e.LineClass[oldX]));
        e.ClassValidO[q] &= uint8_t(0u - unsigned(e.LineClass[po] == e.LineClass[oldO]));
        if constexpr (!Light) {
            int16_t dX = int16_t(e.PatternScore[px] - e.PatternScore[oldX]);
            int16_t dO = int16_t(e.PatternScore[po] - e.PatternScore[oldO]);
            e.WeightX[q] = int16_t(e.WeightX[q] + 2 * dX + dO);
            e.WeightO[q] = int16_t(e.WeightO[q] + dX + 2 * dO);
        }
    }
}

// A window turns live for a side with its first stone there, unless the other side has
// one, whose live window it then ends; taking the stone back reverses that. Counted
// without a branch per window, as which case holds is no better than a coin toss.
template <Side S> void placeWindows(EngineState &e, int p) {
    constexpr int Own = S - 1, Other = 2 - S;
    int32_t firsts = 0, ended = 0;
    for (int i = 0; i < e.WindowsOfCellCount[p]; ++i) {
        auto &stones = e.WindowStones[e.WindowsOfCell[p][i]];
        const int32_t first = stones[Own]++ == 0;
        firsts += first;
        ended += first & (stones[Other] > 0);
    }
    liveWindows<S>(e) += firsts - ended;
    liveWindows<opponent(S)>(e) -= ended;
}

template <Side S> void removeWindows(EngineState &e, int p) {
    constexpr int Own = S - 1, Other = 2 - S;
    int32_t lasts = 0, restored = 0;
    for (int i = 0; i < e.WindowsOfCellCount[p]; ++i) {
        auto &stones = e.WindowStones[e.WindowsOfCell[p][i]];
        const int32_t last = stones[Own]-- == 1;
        lasts += last;
        restored += last & (stones[Other] > 0);
    }
    liveWindows<S>(e) -= lasts - restored;
    liveWindows<opponent(S)>(e) += restored;
}

template <Side S> void putStone(EngineState &e, int cell) {
    updateLines<S, 1, false>(e, cell);
    placeWindows<S>(e, cell);
    e.PositionKey ^= e.ZobristTable[S][cell];
    e.SavedWeightX[cell] = e.WeightX[cell];
    e.SavedWeightO[cell] = e.WeightO[cell];
    e.WeightX[cell] = e.WeightO[cell] = 0;
    e.Board[cell] = S;
}

template <Side S> void takeStone(EngineState &e, int cell) {
    updateLines<S, -1, false>(e, cell);
    removeWindows<S>(e, cell);
    e.PositionKey ^= e.ZobristTable[S][cell];
    e.Board[cell] = Empty;
    e.WeightX[cell] = e.SavedWeightX[cell];
    e.WeightO[cell] = e.SavedWeightO[cell];
}

} // namespace

void place(EngineState &e, int cell, int side) {
    assert(cell >= 0 && cell < CellCount);
    if (side == X) {
        assert(e.Board[cell] == Empty);
        putStone<X>(e, cell);
    } else if (side == O) {
        assert(e.Board[cell] == Empty);
        putStone<O>(e, cell);
    } else if (e.Board[cell] == X) {
        takeStone<X>(e, cell);
    } else {
        assert(e.Board[cell] == O);
        takeStone<O>(e, cell);
    }
#ifdef PENTAD_VERIFY
    // A checking build recomputes the whole position after every stone, so the first
    // placement that leaves a derived value stale stops the program where it happened.
    if (!verifyState(e)) {
        std::fprintf(stderr, "pentad: position state wrong after %s cell %d\n",
                     side == Empty ? "clearing" : "placing on", cell);
        std::abort();
    }
#endif
}

void placeLight(EngineState &e, int cell, Side side) {
    if (side == X)
        updateLines<X, 1, true>(e, cell);
    else
        updateLines<O, 1, true>(e, cell);
}

void removeLight(EngineState &e, int cell, Side side) {
    if (side == X)
        updateLines<X, -1, true>(e, cell);
    else
        updateLines<O, -1, true>(e, cell);
}

// The cell's class record for side S from its line patterns, and its combined class.
template <Side S>
uint8_t classesFromPatterns(const EngineState &e, int cell, CellClassRecord &record) {
    // Key = class * 4 + the direction's rank in the side's order: all four keys differ, and
    // ascending keys order by class with ties in the side's direction priority. Each line's
    // place in the record is the number of keys below its own.
    constexpr std::array<int, 4> order = SideTraits<S>::EqualClassDirections;
    const auto &patterns = S == X ? e.LinePatternX[cell] : e.LinePatternO[cell];
    unsigned cls[4], key[4];
    for (int rank = 0; rank < 4; ++rank) {
        cls[rank] = e.LineClass[patterns[order[rank]]];
        key[rank] = cls[rank] * 4 + unsigned(rank);
    }
    const unsigned b01 = key[0] > key[1], b02 = key[0] > key[2], b03 = key[0] > key[3];
    const unsigned b12 = key[1] > key[2], b13 = key[1] > key[3], b23 = key[2] > key[3];
    const unsigned place[4] = {b01 + b02 + b03, 1 - b01 + b12 + b13, 2 - b02 - b12 + b23,
                               3 - b03 - b13 - b23};
    uint64_t packed = 0;
    for (int rank = 0; rank < 4; ++rank)
        packed |= (uint64_t(cls[rank]) | uint64_t(order[rank]) << 32) << (8 * place[rank]);
    static_assert(sizeof record == sizeof packed && std::endian::native == std::endian::little);
    std::memcpy(&record, &packed, sizeof record); // bytes 0..3 classes, 4..7 directions
    return combinedFrom(e, record.cls[0], record.cls[1]);
}

template <Side S> void sortCellClasses(EngineState &e, int cell) {
    combinedClasses<S>(e)[cell] = classesFromPatterns<S>(e, cell, cellClasses<S>(e)[cell]);
}
template void sortCellClasses<X>(EngineState &, int);
template void sortCellClasses<O>(EngineState &, int);

void sortCellClasses(EngineState &e, int cell, Side side) {
    side == X ? sortCellClasses<X>(e, cell) : sortCellClasses<O>(e, cell);
}

uint16_t patternFromBoard(const EngineState &e, int cell, int d, Side own) {
    auto digitOf = [&](int q) { return e.Board[q] == Empty ? 0 : e.Board[q] == own ? 1 : 2; };
    int pattern = borderDigits(e, cell, d);
    constexpr int Power3[8] = {1, 3, 9, 27, 81, 243, 729, 2187};
    for (int k = 1; k <= e.ReachForward[cell][d]; ++k)
        pattern += digitOf(cell + k * LineStep[d]) * Power3[4 - k];
    for (int k = 1; k <= e.ReachBack[cell][d]; ++k)
        pattern += digitOf(cell - k * LineStep[d]) * Power3[3 + k];
    return uint16_t(pattern);
}

// A class record marked current must be what sorting the cell's lines gives now, and so
// must a combined class and strongest class marked current.
template <Side S> bool classesCurrent(const EngineState &e, int cell) {
    const uint8_t flags = S == X ? e.ClassValidX[cell] : e.ClassValidO[cell];
    const CellClassRecord &kept = S == X ? e.CellClassesX[cell] : e.CellClassesO[cell];
    const uint8_t keptCombined = S == X ? e.CombinedClassX[cell] : e.CombinedClassO[cell];
    CellClassRecord fresh;
    const uint8_t combined = classesFromPatterns<S>(e, cell, fresh);
    if ((flags & RecordCurrent) && (fresh.cls != kept.cls || fresh.dir != kept.dir)) return false;
    return !(flags & (RecordCurrent | CombinedCurrent)) ||
           (combined == keptCombined && fresh.cls[0] == kept.cls[0]);
}

bool verifyState(const EngineState &e) {
    for (int c = 0; c < CellCount; ++c)
        if (e.Board[c] == Empty && (!classesCurrent<X>(e, c) || !classesCurrent<O>(e, c)))
            return false;
    ZobristKey key{};
    for (int c = 0; c < CellCount; ++c) {
        key ^= e.ZobristTable[e.Board[c]][c];
        if (e.Board[c] != Empty) {
            if (e.WeightX[c] != 0 || e.WeightO[c] != 0) return false;
            continue;
        }
        int px = 0, po = 0;
        for (int d = 0; d < DirectionCount; ++d) {
            if (e.LinePatternX[c][d] != patternFromBoard(e, c, d, X)) return false;
            if (e.LinePatternO[c][d] != patternFromBoard(e, c, d, O)) return false;
            px += e.PatternScore[e.LinePatternX[c][d]];
            po += e.PatternScore[e.LinePatternO[c][d]];
        }
        if (e.WeightX[c] != int16_t(2 * px + po) || e.WeightO[c] != int16_t(px + 2 * po))
            return false;
    }
    if (!(key == e.PositionKey)) return false;
    int liveX = 0, liveO = 0;
    for (int w = 0; w < e.FiveWindowCount; ++w) {
        int nx = 0, no = 0;
        for (int cell : e.FiveWindow[w]) {
            nx += e.Board[cell] == X;
            no += e.Board[cell] == O;
        }
        if (e.WindowStones[w][0] != nx || e.WindowStones[w][1] != no) return false;
        liveX += nx > 0 && no == 0;
        liveO += no > 0 && nx == 0;
    }
    return liveX == e.LiveWindowsX && liveO == e.LiveWindowsO;
}

} // namespace pentad
