// Putting stones down and taking them back, with every derived value kept exact by
// touching only the cells on the stone's four lines and the windows that contain it.
#pragma once

#include <algorithm>
#include <cassert>

#include "board/cell_scan.h"
#include "board/engine_state.h"

namespace pentad {

/// side 1 or 2 puts a stone on the empty cell; side 0 removes the stone on the cell.
/// Stones are taken back in the reverse order of placing them.
void place(EngineState &e, int cell, int side);

/// Trial stones of the threat tests: line patterns and class flags only. The caller sets
/// and clears `Board` itself; weights near a light stone are stale until it is removed.
void placeLight(EngineState &e, int cell, Side side);
void removeLight(EngineState &e, int cell, Side side);

/// Fills the cell's class record for side S: its four line classes in ascending order,
/// equal classes in the side's direction priority. Does not set the valid flag.
template <Side S> void sortCellClasses(EngineState &e, int cell);
void sortCellClasses(EngineState &e, int cell, Side side);

/// The class record of side S at the cell, sorted first when stale.
template <Side S> inline const CellClassRecord &classesOf(EngineState &e, int cell) {
    if (!(classValid<S>(e)[cell] & RecordCurrent)) {
        sortCellClasses<S>(e, cell);
        classValid<S>(e)[cell] = RecordCurrent | CombinedCurrent;
    }
    return cellClasses<S>(e)[cell];
}

/// The smaller of two values, without a branch.
inline unsigned branchlessMin(unsigned a, unsigned b) {
    return b ^ ((a ^ b) & (0u - unsigned(a < b)));
}

/// The combined class of a cell whose strongest line class is `best` and next strongest
/// `second`: the level of the best line with the strength of the second folded into the
/// units.
inline uint8_t combinedFrom(const EngineState &e, unsigned best, unsigned second) {
    return uint8_t(e.ClassTensTimesTen[best] +
                   branchlessMin(e.ClassUnits[best], e.ClassTens[second]));
}

/// The combined class of side S at the cell and its strongest line class, without the
/// order of the other lines: both depend only on the four classes, not on which line
/// holds which.
template <Side S>
inline void strongestClasses(const EngineState &e, int cell, uint8_t &combined, uint8_t &best) {
    // Which class is the smaller is as good as random, so the minima are taken without
    // branches.
    const auto &patterns = S == X ? e.LinePatternX[cell] : e.LinePatternO[cell];
    const unsigned c0 = e.LineClass[patterns[0]], c1 = e.LineClass[patterns[1]];
    const unsigned c2 = e.LineClass[patterns[2]], c3 = e.LineClass[patterns[3]];
    const unsigned lo01 = branchlessMin(c0, c1), hi01 = c0 ^ c1 ^ lo01;
    const unsigned lo23 = branchlessMin(c2, c3), hi23 = c2 ^ c3 ^ lo23;
    const unsigned lowest = branchlessMin(lo01, lo23);
    const unsigned second = branchlessMin(lo01 ^ lo23 ^ lowest, branchlessMin(hi01, hi23));
    best = uint8_t(lowest);
    combined = combinedFrom(e, lowest, second);
}

/// The combined class of side S at the cell, worked out first when stale.
template <Side S> inline int combinedClassOf(EngineState &e, int cell) {
    uint8_t &flags = classValid<S>(e)[cell];
    if (!(flags & CombinedCurrent)) {
        strongestClasses<S>(e, cell, combinedClasses<S>(e)[cell], cellClasses<S>(e)[cell].cls[0]);
        flags |= CombinedCurrent;
    }
    return combinedClasses<S>(e)[cell];
}

/// Value below which no cell enters the top four; kept beside the opponent bucket table.
inline uint16_t topFourFloor(const EngineState &e) { return uint16_t(e.OpponentBucketOf[100]); }

/// Puts a value into the top four if it beats the fourth: after the larger values and the
/// equal ones already there, so ties go to the cell offered first.
inline void offerTopFour(TopFourRecord &top, int cell, uint16_t v) {
    if (v <= top.values[3]) return;
    int j = 3;
    while (j > 0 && top.values[j - 1] < v) {
        top.values[j] = top.values[j - 1];
        top.cells[j] = top.cells[j - 1];
        --j;
    }
    top.values[j] = v;
    top.cells[j] = int16_t(cell);
}

/// The four cells of largest value above the floor, values read as unsigned 16-bit, ties
/// to the lower cell. Slots no cell reached keep the floor value and their old cells,
/// shifted down by the insertions.
/// With `passedOver`, a cell whose entry there is 0xFFFF counts as 0.
template <typename T>
void selectTopFour(EngineState &e, const std::array<T, CellCount + 1> &values,
                   const std::array<uint16_t, CellCount> *passedOver = nullptr) {
    static_assert(sizeof(T) == 2);
    const uint16_t *source = reinterpret_cast<const uint16_t *>(values.data());
    TopFourRecord &top = e.TopFour;
    uint16_t floor = topFourFloor(e);
    top.values = {floor, floor, floor, floor};
    // The four largest values lie at or above the fourth largest of the sixteen-cell groups'
    // maxima, since four groups reach it, so only the lanes that reach it can enter: a
    // first pass finds it, a second offers those lanes in cell order. A passed-over lane
    // reads 0, never above the floor, so it never comes up.
    constexpr int Groups = CellCount / 16;
    static_assert(CellCount % 16 == 0);
    const uint16_t *marks = passedOver ? passedOver->data() : nullptr;
    std::array<uint16_t, 32> groupMax{}; // the groups, then room for whole eight-lane tests
    // The four highest maxima are kept without branches: where a maximum falls among them
    // is as good as random.
    unsigned h0 = floor, h1 = floor, h2 = floor, h3 = floor;
    for (int g = 0; g < Groups; ++g) {
        const unsigned m = unsignedMax16(&source[16 * g], marks ? &marks[16 * g] : nullptr);
        groupMax[size_t(g)] = uint16_t(m);
        const unsigned r0 = branchlessMin(h0, m), r1 = branchlessMin(h1, r0);
        const unsigned r2 = branchlessMin(h2, r1);
        h0 = h0 ^ m ^ r0; // the larger of h0 and m
        h1 = h1 ^ r0 ^ r1;
        h2 = h2 ^ r1 ^ r2;
        h3 = h3 ^ branchlessMin(h3, r2) ^ r2;
    }
    // Lanes above `entry` may enter; with fewer than four groups above the floor every lane
    // above it may.
    const uint16_t entry = h3 > floor ? uint16_t(h3 - 1) : floor;
    // The groups whose maxima pass, found eight at a time: which ones do follows no pattern.
    uint64_t passing = 0;
    for (int k = 0; k < 4; ++k)
        passing |= uint64_t(aboveMask8(&groupMax[size_t(8 * k)], entry)) << (16 * k);
    for (passing &= 0x5555555555555555u; passing; passing &= passing - 1) {
        const int g = __builtin_ctzll(passing) >> 1;
        const int base = 16 * g;
        const unsigned mask =
            marks ? aboveMask8Unmarked(&source[base], &marks[base], entry) |
                        aboveMask8Unmarked(&source[base + 8], &marks[base + 8], entry) << 16
                  : aboveMask8(&source[base], entry) | aboveMask8(&source[base + 8], entry) << 16;
        forEachLane(mask, base, [&](int c) { offerTopFour(top, c, source[c]); });
    }
}

/// Line patterns a cell would have, recomputed from `Board`.
uint16_t patternFromBoard(const EngineState &e, int cell, int d, Side own);

/// Recomputes every derived value from `Board` and compares: class records marked current,
/// patterns and weights of empty cells, zero weights of occupied cells, window counts,
/// live-window counts and the key.
bool verifyState(const EngineState &e);

} // namespace pentad
