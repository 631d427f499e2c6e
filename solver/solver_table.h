// The solvers' memory of positions already proven or refuted, by position key. It is the
// solvers' own (the search's transposition table never sees it), holds facts that stay
// true from move to move, and is a fixed array: nothing is allocated while solving.
#pragma once

#include <cstdint>
#include <vector>

namespace pentad {

class SolverTable {
public:
    static constexpr int Bits = 20;
    static constexpr uint32_t Size = 1u << Bits;

    struct Entry {
        uint64_t key = 0;
        int8_t winDepth = -1;  ///< a win within this many threat moves is known; -1 none
        int8_t failDepth = -1; ///< no win within this many threat moves; -1 none
    };

    SolverTable() : entries_(Size) {}

    /// A win known within `depth` moves (1), none within `depth` (0), or unknown (-1).
    int probe(uint64_t key, int depth) const {
        const Entry &x = entries_[key & (Size - 1)];
        if (x.key != key) return -1;
        if (x.winDepth >= 0 && x.winDepth <= depth) return 1;
        if (x.failDepth >= depth) return 0;
        return -1;
    }
    void storeWin(uint64_t key, int depth) { slot(key).winDepth = int8_t(depth); }
    void storeFail(uint64_t key, int depth) {
        Entry &x = slot(key);
        if (depth > x.failDepth) x.failDepth = int8_t(depth);
    }
    void clear() {
        for (Entry &x : entries_)
            x = Entry{};
    }

private:
    Entry &slot(uint64_t key) {
        Entry &x = entries_[key & (Size - 1)];
        if (x.key != key) x = Entry{key, -1, -1};
        return x;
    }
    std::vector<Entry> entries_; ///< allocated once, with the solver
};

} // namespace pentad
