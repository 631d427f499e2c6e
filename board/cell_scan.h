// Eight-cell tests over per-cell 16-bit arrays, so that scans pass over groups of cells
// that cannot matter without a branch per cell.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pentad {

#if defined(__SSE2__)
/// Bit 2i set when lane i of `v`, read as unsigned, is above `threshold`.
inline unsigned aboveMaskOf(__m128i v, uint16_t threshold) {
    const __m128i flip = _mm_set1_epi16(int16_t(0x8000));
    __m128i t = _mm_xor_si128(_mm_set1_epi16(int16_t(threshold)), flip);
    return unsigned(_mm_movemask_epi8(_mm_cmpgt_epi16(_mm_xor_si128(v, flip), t)));
}
#endif

/// Bit 2i set when value i of the eight at `source`, read as unsigned, is above `threshold`.
inline unsigned aboveMask8(const void *source, uint16_t threshold) {
#if defined(__SSE2__)
    return aboveMaskOf(_mm_loadu_si128(static_cast<const __m128i *>(source)), threshold);
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

/// out[i] = score[i] + add[i] (16-bit wrap-around) where score[i] is not zero, else 0, for
/// the eight values at each pointer; returns the lanes whose score is not zero, bit 2i for
/// lane i.
inline unsigned addWhereNonZero8(const uint16_t *score, const int16_t *add, uint16_t *out) {
#if defined(__SSE2__)
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(score));
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(add));
    __m128i zero = _mm_cmpeq_epi16(s, _mm_setzero_si128());
    __m128i sum = _mm_andnot_si128(zero, _mm_add_epi16(s, a));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), sum);
    return unsigned(_mm_movemask_epi8(zero)) ^ 0xFFFFu;
#else
    unsigned mask = 0;
    for (int j = 0; j < 8; ++j) {
        out[j] = score[j] != 0 ? uint16_t(score[j] + uint16_t(add[j])) : uint16_t(0);
        mask |= unsigned(score[j] != 0) << (2 * j);
    }
    return mask;
#endif
}

/// `addWhereNonZero8` with the sum of two arrays added.
inline unsigned addSumWhereNonZero8(const uint16_t *score, const int16_t *a, const int16_t *b,
                                    uint16_t *out) {
#if defined(__SSE2__)
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(score));
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
    __m128i zero = _mm_cmpeq_epi16(s, _mm_setzero_si128());
    __m128i sum = _mm_andnot_si128(zero, _mm_add_epi16(s, _mm_add_epi16(va, vb)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), sum);
    return unsigned(_mm_movemask_epi8(zero)) ^ 0xFFFFu;
#else
    int16_t both[8];
    for (int j = 0; j < 8; ++j)
        both[j] = int16_t(a[j] + b[j]);
    return addWhereNonZero8(score, both, out);
#endif
}

/// `aboveMask8` of the eight values at `source` with the lanes whose `mark` is 0xFFFF
/// read as 0.
inline unsigned aboveMask8Unmarked(const void *source, const uint16_t *mark, uint16_t threshold) {
#if defined(__SSE2__)
    __m128i v = _mm_loadu_si128(static_cast<const __m128i *>(source));
    v = _mm_andnot_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(mark)), v);
    return aboveMaskOf(v, threshold);
#else
    uint16_t values[8];
    std::memcpy(values, source, sizeof values);
    for (int j = 0; j < 8; ++j)
        values[j] = uint16_t(values[j] & ~mark[j]);
    return aboveMask8(values, threshold);
#endif
}

/// The largest of the sixteen unsigned values at `source`, lanes whose `mark` is 0xFFFF
/// read as 0 (no marks with a null `mark`).
inline uint16_t unsignedMax16(const uint16_t *source, const uint16_t *mark) {
#if defined(__SSE2__)
    const __m128i flip = _mm_set1_epi16(int16_t(0x8000));
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + 8));
    if (mark) {
        a = _mm_andnot_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(mark)), a);
        b = _mm_andnot_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(mark + 8)), b);
    }
    __m128i m = _mm_max_epi16(_mm_xor_si128(a, flip), _mm_xor_si128(b, flip));
    m = _mm_max_epi16(m, _mm_shuffle_epi32(m, 0x4E));
    m = _mm_max_epi16(m, _mm_shuffle_epi32(m, 0xB1));
    m = _mm_max_epi16(m, _mm_shufflelo_epi16(m, 0xB1));
    return uint16_t(_mm_cvtsi128_si32(m) ^ 0x8000);
#else
    uint16_t best = 0;
    for (int j = 0; j < 16; ++j)
        best = std::max(best, uint16_t(mark ? source[j] & ~mark[j] : source[j]));
    return best;
#endif
}

/// Calls visit(index) for every lane set in a mask from the helpers above, in ascending
/// order; a second eight lanes may stand in the upper half.
template <typename F> inline void forEachLane(unsigned mask, int base, F &&visit) {
    for (mask &= 0x55555555u; mask; mask &= mask - 1)
        visit(base + (__builtin_ctz(mask) >> 1));
}

/// `forEachLane` with a visit that may stop the walk by returning true; returns whether
/// one did.
template <typename F> inline bool anyLane(unsigned mask, int base, F &&visit) {
    for (mask &= 0x55555555u; mask; mask &= mask - 1)
        if (visit(base + (__builtin_ctz(mask) >> 1))) return true;
    return false;
}

} // namespace pentad
