// Sets of cells as bit sets, 64 cells to a word: board cells for the threat solvers.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace pentad {

template <int Words> struct BitCells {
    std::array<uint64_t, Words> words{};

    void set(int c) { words[size_t(c >> 6)] |= uint64_t(1) << (c & 63); }
    void reset(int c) { words[size_t(c >> 6)] &= ~(uint64_t(1) << (c & 63)); }
    void flip(int c) { words[size_t(c >> 6)] ^= uint64_t(1) << (c & 63); }
    bool test(int c) const { return (words[size_t(c >> 6)] >> (c & 63)) & 1; }
    int count() const {
        int n = 0;
        for (uint64_t w : words)
            n += std::popcount(w);
        return n;
    }
    /// The number of cells, counted only up to two (all that threat checks ask).
    int countUpToTwo() const {
        int n = 0;
        for (uint64_t w : words) {
            if (!w) continue;
            if ((w & (w - 1)) || ++n == 2) return 2;
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
    BitCells &operator|=(const BitCells &o) {
        for (size_t i = 0; i < words.size(); ++i)
            words[i] |= o.words[i];
        return *this;
    }
    friend BitCells operator&(BitCells a, const BitCells &b) {
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
    /// Visits the cells in ascending order until `visit` returns true; true when one did.
    template <typename F> bool any(F &&visit) const {
        for (size_t i = 0; i < words.size(); ++i)
            for (uint64_t w = words[i]; w; w &= w - 1)
                if (visit(int(i * 64) + std::countr_zero(w))) return true;
        return false;
    }
};

/// A set of board cells.
using CellSet = BitCells<7>;

} // namespace pentad
