// Four-lane residue updates (see gcd/residue_lanes.h).
#include "gcd/residue_lanes.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

void add_plain(uint64_t* base, const int64_t* off, const uint32_t* neg, size_t tails, const uint32_t* q,
               const uint64_t* k) {
    const uint64_t q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
    for (size_t j = 0; j < tails; j++, neg += 4) {
        uint64_t* const x = base + off[j];
        const uint64_t t0 = x[0] + q0 * neg[0], t1 = x[1] + q1 * neg[1];
        const uint64_t t2 = x[2] + q2 * neg[2], t3 = x[3] + q3 * neg[3];
        // A mask, not a branch: the comparison is unpredictable.
        x[0] = t0 - (k[0] & (0 - (t0 >> 63)));
        x[1] = t1 - (k[1] & (0 - (t1 >> 63)));
        x[2] = t2 - (k[2] & (0 - (t2 >> 63)));
        x[3] = t3 - (k[3] & (0 - (t3 >> 63)));
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void add_avx2(uint64_t* base, const int64_t* off, const uint32_t* neg, size_t tails,
                                               const uint32_t* q, const uint64_t* k) {
    // The low 32 bits of each 64-bit lane multiply to 64 bits.
    const __m256i qv = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)));
    const __m256i kv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(k));
    const __m256i zero = _mm256_setzero_si256();
    for (size_t j = 0; j < tails; j++, neg += 4) {
        __m256i* const x = reinterpret_cast<__m256i*>(base + off[j]);
        const __m256i n = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(neg)));
        const __m256i t = _mm256_add_epi64(_mm256_loadu_si256(x), _mm256_mul_epu32(qv, n));
        const __m256i drop = _mm256_and_si256(kv, _mm256_sub_epi64(zero, _mm256_srli_epi64(t, 63)));
        _mm256_storeu_si256(x, _mm256_sub_epi64(t, drop));
    }
}

bool has_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#endif

}  // namespace

void add_lane_products4(uint64_t* base, const int64_t* off, const uint32_t* neg, size_t tails, const uint32_t* q,
                        const uint64_t* k) {
#if defined(__x86_64__)
    if (has_avx2()) {
        add_avx2(base, off, neg, tails, q, k);
        return;
    }
#endif
    add_plain(base, off, neg, tails, q, k);
}
