// The threat view the solvers play on: for each side, the empty cells where a stone makes
// a five, a four or an open three, kept as bit sets and refreshed only along the lines of
// each trial stone. Stones go down as light stones (line patterns and board only) and a
// 64-bit key follows them, so the search's own state comes back exactly.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "board/engine_state.h"

namespace pentad {

/// A set of board cells, 64 to a word.
struct CellSet {
    std::array<uint64_t, 7> words{};

    void set(int c) { words[size_t(c >> 6)] |= uint64_t(1) << (c & 63); }
    void reset(int c) { words[size_t(c >> 6)] &= ~(uint64_t(1) << (c & 63)); }
    bool test(int c) const { return (words[size_t(c >> 6)] >> (c & 63)) & 1; }
    int count() const {
        int n = 0;
        for (uint64_t w : words)
            n += std::popcount(w);
        return n;
    }
    /// The number of cells, counted only up to two (all the solvers' checks ask).
    int countUpToTwo() const {
        int n = 0;
        for (uint64_t w : words) {
            if (!w) continue;
            if (w & (w - 1)) return 2;
            if (++n == 2) return 2;
        }
        return n;
    }
    bool empty() const {
        for (uint64_t w : words)
            if (w) return false;
        return true;
    }
    /// The lowest cell, or -1.
    int first() const {
        for (size_t i = 0; i < words.size(); ++i)
            if (words[i]) return int(i * 64) + std::countr_zero(words[i]);
        return -1;
    }
    CellSet &operator|=(const CellSet &o) {
        for (size_t i = 0; i < words.size(); ++i)
            words[i] |= o.words[i];
        return *this;
    }
    friend CellSet operator&(CellSet a, const CellSet &b) {
        for (size_t i = 0; i < a.words.size(); ++i)
            a.words[i] &= b.words[i];
        return a;
    }
    /// Visits the cells in ascending order.
    template <typename F> void forEach(F &&visit) const {
        for (size_t i = 0; i < words.size(); ++i)
            for (uint64_t w = words[i]; w; w &= w - 1)
                visit(int(i * 64) + std::countr_zero(w));
    }
};

/// Threat level of a stone on an empty cell for a side: 0 five, 1 open four, 2 four,
/// 3 open three, 4 and above weaker.
enum ThreatLevel : uint8_t { FiveLevel = 0, OpenFourLevel = 1, FourLevel = 2, ThreeLevel = 3 };

class ThreatBoard {
public:
    /// Takes the position of `e` as it stands (every stone placed through `place`).
    void attach(EngineState &e);
    EngineState &state() { return *e_; }

    void play(int cell, Side side);
    void undo(int cell, Side side);
    /// Follows a stone the engine itself put down or took back (through `place`), so that a
    /// search can keep the view attached instead of building it afresh at every node.
    void followPlaced(int cell, Side side);
    void followRemoved(int cell, Side side) { followPlaced(cell, side); }

    const CellSet &fives(Side s) const { return fives_[s]; }
    const CellSet &fours(Side s) const { return fours_[s]; } ///< open fours and fours
    const CellSet &threes(Side s) const { return threes_[s]; }
    /// The best level a stone of the side makes on the empty cell.
    int level(int cell, Side s) const { return best_[s][size_t(cell)]; }
    /// The line level of a stone of the side on the cell in one direction.
    int lineLevel(int cell, int d, Side s) const;
    uint64_t key() const { return key_; }

private:
    void refresh(int cell);
    void refreshLines(int cell);

    EngineState *e_ = nullptr;
    std::array<uint8_t, PatternCount> levelOf_{};
    bool levelsReady_ = false;
    std::array<CellSet, 3> fives_{}, fours_{}, threes_{};
    std::array<std::array<uint8_t, CellCount>, 3> best_{};
    uint64_t key_ = 0;
};

} // namespace pentad
