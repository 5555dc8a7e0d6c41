#include "det/word_eval.h"

#include <vector>

#include "det/word_wide.h"

namespace wordmod {

void evaluate_planes_portable(const uint32_t* planes, const uint32_t* xpow, size_t len, size_t count,
                              const Prime& P, uint32_t* out) {
    if (len > P.lazy) {
        for (size_t c = 0; c < count; c++) {
            uint64_t s = 0;
            for (size_t k = 0, pending = 0; k < len; k++) {
                if (pending == P.lazy) {
                    s = P.reduce(s);
                    pending = 0;
                }
                s += uint64_t{planes[k * count + c]} * xpow[k];
                pending++;
            }
            out[c] = P.reduce(s);
        }
        return;
    }
    for (size_t c = 0; c < count; c++) {
        uint64_t s = 0;
        for (size_t k = 0; k < len; k++) s += uint64_t{planes[k * count + c]} * xpow[k];
        out[c] = P.reduce(s);
    }
}

#ifdef WORDMOD_WIDE

namespace {

// With xr[k] = x^k 2^32 mod p, s = sum_k c_k xr[k] < 2^64 and
// s / 2^32 = s_hi + (s_lo + m p) / 2^32 for m = s_lo (-1/p) mod 2^32: the
// value times 2^32 / 2^32, below 3p, brought under p by two subtractions.
__attribute__((target("avx2"))) void evaluate_wide(const uint32_t* planes, const uint32_t* xr, size_t len,
                                                   size_t count, uint32_t p, uint32_t neg_pinv, uint32_t* out) {
    const __m256i vp = _mm256_set1_epi64x(p);
    const __m256i vq = _mm256_set1_epi64x(neg_pinv);
    const __m256i low_halves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    __m256i x[4];
    for (size_t k = 0; k < len; k++) x[k] = _mm256_set1_epi64x(xr[k]);
    size_t c = 0;
    for (; c + 4 <= count; c += 4) {
        __m256i s = _mm256_setzero_si256();
        for (size_t k = 0; k < len; k++) {
            const __m256i a =
                _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(planes + k * count + c)));
            s = _mm256_add_epi64(s, _mm256_mul_epu32(a, x[k]));
        }
        const __m256i t = redc_sum(s, vq, vp);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c),
                         _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(t, low_halves)));
    }
    for (; c < count; c++) {
        uint64_t s = 0;
        for (size_t k = 0; k < len; k++) s += uint64_t{planes[k * count + c]} * xr[k];
        const uint64_t lo = s & 0xFFFFFFFFu;
        const uint64_t m = static_cast<uint32_t>(lo * neg_pinv);
        uint64_t t = (s >> 32) + ((lo + m * p) >> 32);
        while (t >= p) t -= p;
        out[c] = static_cast<uint32_t>(t);
    }
}

}  // namespace

void evaluate_planes(const uint32_t* planes, const uint32_t* xpow, size_t len, size_t count, const Prime& P,
                     uint32_t* out) {
    const uint32_t p = P.p;
    if (p == 2 || len > 4 || len == 0 || !has_avx2()) return evaluate_planes_portable(planes, xpow, len, count, P, out);
    const uint32_t R = static_cast<uint32_t>((uint64_t{1} << 32) % p);
    uint32_t xr[4];
    for (size_t k = 0; k < len; k++) xr[k] = P.mul(xpow[k], R);
    evaluate_wide(planes, xr, len, count, p, neg_inverse_32(p), out);
}

#else

void evaluate_planes(const uint32_t* planes, const uint32_t* xpow, size_t len, size_t count, const Prime& P,
                     uint32_t* out) {
    evaluate_planes_portable(planes, xpow, len, count, P, out);
}

#endif

}  // namespace wordmod
