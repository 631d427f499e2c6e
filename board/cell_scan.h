// Eight-cell tests over per-cell 16-bit arrays, so that scans pass over groups of cells
// that cannot matter without a branch per cell.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pentad {

/// Bit 2i set when value i of the eight at `source`, read as unsigned, is above `threshold`.
inline unsigned aboveMask8(const void *source, uint16_t threshold) {
#if defined(__SSE2__)
    const __m128i flip = _mm_set1_epi16(int16_t(0x8000));
    __m128i v = _mm_xor_si128(_mm_loadu_si128(static_cast<const __m128i *>(source)), flip);
    __m128i t = _mm_xor_si128(_mm_set1_epi16(int16_t(threshold)), flip);
    return unsigned(_mm_movemask_epi8(_mm_cmpgt_epi16(v, t)));
#else
    uint16_t values[8];
    std::memcpy(values, source, sizeof values);
    unsigned mask = 0;
    for (int j = 0; j < 8; ++j)
        mask |= unsigned(values[j] > threshold) << (2 * j);
    return mask;
#endif
}

/// Bit 2i set when signed value i of the eight at `a` or at `b` is at least `floor`.
inline unsigned eitherAtLeastMask8(const int16_t *a, const int16_t *b, int16_t floor) {
#if defined(__SSE2__)
    const __m128i t = _mm_set1_epi16(int16_t(floor - 1));
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
    __m128i hit = _mm_or_si128(_mm_cmpgt_epi16(va, t), _mm_cmpgt_epi16(vb, t));
    return unsigned(_mm_movemask_epi8(hit));
#else
    unsigned mask = 0;
    for (int j = 0; j < 8; ++j)
        mask |= unsigned(a[j] >= floor || b[j] >= floor) << (2 * j);
    return mask;
#endif
}

/// Calls visit(index) for every lane set in an eight-lane mask from the helpers above, in
/// ascending order.
template <typename F> inline void forEachLane(unsigned mask, int base, F &&visit) {
    mask &= 0x5555u;
    while (mask) {
        int lane = __builtin_ctz(mask) >> 1;
        mask &= mask - 1;
        visit(base + lane);
    }
}

} // namespace pentad
