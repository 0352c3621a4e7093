// Eight 16-bit lanes at a time (SSE2, which every x86-64 processor has): the
// small helpers shared by NeuQuant's training and mapping.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>

namespace lanes {

constexpr int32_t kCount = 8;

inline __m128i load(const void *at) {
    return _mm_loadu_si128(static_cast<const __m128i *>(at));
}
inline void store(void *at, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i *>(at), v);
}

// |a − b| of values 0..32767.
inline __m128i absDiff(__m128i a, __m128i b) {
    return _mm_or_si128(_mm_subs_epu16(a, b), _mm_subs_epu16(b, a));
}

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

inline int32_t horizontalMin(__m128i v) {
    v = _mm_min_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_min_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm_min_epi16(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<int16_t>(_mm_cvtsi128_si32(v));
}

inline int32_t horizontalMax(__m128i v) {
    v = _mm_max_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_max_epi16(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm_max_epi16(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<int16_t>(_mm_cvtsi128_si32(v));
}

} // namespace lanes

#endif
