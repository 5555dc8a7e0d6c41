// What the word kernels on wide vector registers share: whether the
// processor has them, and Montgomery's reduction (R = 2^32) of residues
// modulo an odd prime below 2^31 held in the low halves of four 64-bit
// lanes.
#pragma once
#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define WORDMOD_WIDE 1
#endif

namespace wordmod {

// -1/p mod 2^32 for odd p, by Newton's iteration (each step doubles the
// correct bits).
inline uint32_t neg_inverse_32(uint32_t p) {
    uint32_t pinv = p;
    for (int k = 0; k < 5; k++) pinv *= 2 - p * pinv;
    return 0u - pinv;
}

#ifdef WORDMOD_WIDE

inline bool has_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

// t R^-1 mod p, below 2p, for t below p 2^32.
__attribute__((target("avx2"), always_inline)) inline __m256i redc(__m256i t, __m256i vq, __m256i vp) {
    const __m256i m = _mm256_mul_epu32(t, vq);   // the low half of t times -1/p
    return _mm256_srli_epi64(_mm256_add_epi64(t, _mm256_mul_epu32(m, vp)), 32);
}

// Lanes below 2p (so below 2^32) brought below p: in the low halves t - p
// wraps above t exactly when t < p, and the high halves stay 0.
__attribute__((target("avx2"), always_inline)) inline __m256i below_p(__m256i t, __m256i vp) {
    return _mm256_min_epu32(t, _mm256_sub_epi32(t, vp));
}

// s R^-1 mod p below p for any s below 4p^2 (up to four products of
// residues): s R^-1 = (s >> 32) + (lo + m p) / 2^32 with lo the low half
// of s and m = lo (-1/p) mod 2^32, the sum below 3p.
__attribute__((target("avx2"), always_inline)) inline __m256i redc_sum(__m256i s, __m256i vq, __m256i vp) {
    const __m256i vp1 = _mm256_sub_epi64(vp, _mm256_set1_epi64x(1));
    const __m256i lo = _mm256_and_si256(s, _mm256_set1_epi64x(0xFFFFFFFFLL));
    const __m256i m = _mm256_mul_epu32(lo, vq);
    __m256i t = _mm256_add_epi64(_mm256_srli_epi64(s, 32),
                                 _mm256_srli_epi64(_mm256_add_epi64(lo, _mm256_mul_epu32(m, vp)), 32));
    t = _mm256_sub_epi64(t, _mm256_and_si256(_mm256_cmpgt_epi64(t, vp1), vp));
    return _mm256_sub_epi64(t, _mm256_and_si256(_mm256_cmpgt_epi64(t, vp1), vp));
}

#endif

}  // namespace wordmod
