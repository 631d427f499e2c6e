// The transposition table: results of searched positions within one move's search.
#pragma once

#include <cstdint>
#include <memory>

#include "board/engine_state.h"

namespace pentad {

enum Bound : uint8_t { NoBound = 0, UpperBound = 1, LowerBound = 2, ExactScore = 3 };

/// One stored position, 12 bytes:
///   | keyCheck 32 | depth 16 | bestMove 16 | score 16 | bound 8 | iteration 8 |
/// keyCheck is the high half of the position key; depth 0 marks an empty entry.
struct TranspositionEntry {
    uint32_t keyCheck;
    uint16_t depth;
    int16_t bestMove;
    int16_t score;
    uint8_t bound;
    uint8_t iteration;
};
static_assert(sizeof(TranspositionEntry) == 12, "the table's size depends on 12-byte entries");

class TranspositionTable {
public:
    static constexpr int FullBits = 23; ///< the engine as designed: 2^23 home slots
    static constexpr int SmallestBits = 16;
    static constexpr int32_t EntryCount = (1 << FullBits) + 7; ///< room for the last cluster
    static constexpr uint32_t IndexMask = (1u << FullBits) - 1;
    static constexpr int ClusterSize = 8;

    /// Bytes of a table with 2^bits home slots (and the last one's cluster).
    static constexpr size_t bytesFor(int bits) {
        return (size_t(1) << bits) * sizeof(TranspositionEntry) + 7 * sizeof(TranspositionEntry);
    }

    /// Allocates the entries for 2^bits home slots (the same clustering, fewer entries for
    /// a smaller table); kept when already of that size. False when the memory cannot be had.
    bool allocate(int bits = FullBits);
    bool allocated() const { return entries_ != nullptr; }
    int bits() const { return bits_; }

    /// Makes every entry empty; nothing to do when nothing was stored since the last clear,
    /// so a front end can clear while it waits and the next move starts at once.
    void clear();
    /// Starts loading the key's cluster into the cache.
    void prefetch(const ZobristKey &key) const {
        __builtin_prefetch(entries_.get() + (key.low & mask_));
    }
    /// The entry holding the key, or nullptr.
    TranspositionEntry *probe(const ZobristKey &key);
    /// Writes one entry for the key: the first empty or same-key entry of the cluster, else
    /// the home slot. Always replaces what it finds.
    void store(const ZobristKey &key, int depth, int bestMove, int score, int bound, int iteration);

    const TranspositionEntry &entry(int32_t index) const { return entries_.get()[index]; }

private:
    struct Free {
        size_t bytes;
        void operator()(TranspositionEntry *p) const;
    };
    std::unique_ptr<TranspositionEntry, Free> entries_{nullptr, Free{0}};
    uint32_t mask_ = IndexMask;
    int32_t count_ = EntryCount;
    int bits_ = FullBits;
    bool untouched_ = false; // fresh zero pages: an untouched table is already clear
    bool clean_ = false;     // cleared, and nothing stored since
    // Entries written since the last clear, so a move that stored little clears only what
    // it wrote; past the room the whole table is cleared.
    static constexpr int32_t WrittenRoom = 1 << 19;
    std::unique_ptr<uint32_t[]> written_;
    int32_t writtenCount_ = 0;
};

/// The process-wide table.
TranspositionTable &transpositionTable();

} // namespace pentad
