#include "search/transposition.h"

#include "platform/platform.h"

namespace pentad {

static_assert(TranspositionTable::bytesFor(TranspositionTable::FullBits) ==
              size_t(TranspositionTable::EntryCount) * sizeof(TranspositionEntry));

void TranspositionTable::Free::operator()(TranspositionEntry *p) const { releaseZeroed(p, bytes); }

bool TranspositionTable::allocate(int bits) {
    if (entries_ && bits == bits_) return true;
    entries_.reset();
    // Zeroed pages are mapped lazily, so start-up does not pay for touching 96 MB; an
    // all-zero entry has depth 0 and therefore reads as empty.
    const size_t bytes = bytesFor(bits);
    entries_ = std::unique_ptr<TranspositionEntry, Free>(
        static_cast<TranspositionEntry *>(allocateZeroed(bytes)), Free{bytes});
    bits_ = bits;
    mask_ = (1u << bits) - 1;
    count_ = int32_t((1u << bits) + 7);
    untouched_ = true;
    if (!written_) written_ = std::make_unique<uint32_t[]>(WrittenRoom);
    writtenCount_ = 0;
    return entries_ != nullptr;
}

void TranspositionTable::clear() {
    if (untouched_ || clean_) return;
    const TranspositionEntry empty{0, 0, -1, 0, NoBound, 0};
    if (writtenCount_ <= WrittenRoom) {
        for (int32_t i = 0; i < writtenCount_; ++i)
            entries_.get()[written_[i]] = empty;
    } else {
        for (int32_t i = 0; i < count_; ++i)
            entries_.get()[i] = empty;
    }
    writtenCount_ = 0;
    clean_ = true;
}

TranspositionEntry *TranspositionTable::probe(const ZobristKey &key) {
    TranspositionEntry *cluster = entries_.get() + (key.low & mask_);
    for (int i = 0; i < ClusterSize; ++i) {
        if (cluster[i].depth == 0) return nullptr;
        if (cluster[i].keyCheck == key.high) return &cluster[i];
    }
    return nullptr;
}

void TranspositionTable::store(const ZobristKey &key, int depth, int bestMove, int score, int bound,
                               int iteration) {
    untouched_ = false;
    clean_ = false;
    TranspositionEntry *cluster = entries_.get() + (key.low & mask_);
    TranspositionEntry *target = cluster;
    for (int i = 0; i < ClusterSize; ++i) {
        if (cluster[i].depth == 0 || cluster[i].keyCheck == key.high) {
            target = &cluster[i];
            break;
        }
    }
    if (writtenCount_ < WrittenRoom) written_[writtenCount_] = uint32_t(target - entries_.get());
    if (writtenCount_ <= WrittenRoom) ++writtenCount_;
    *target = {key.high,       uint16_t(depth), int16_t(bestMove),
               int16_t(score), uint8_t(bound),  uint8_t(iteration)};
}

TranspositionTable &transpositionTable() {
    static TranspositionTable table;
    return table;
}

} // namespace pentad
