// Transform levels over primes below 2^50 by the processor's 52-bit
// multiply-add on eight lanes at once, where the processor has it. The
// arithmetic is Shoup's product with quotients scaled by 2^52: for a < 2^52
// and w' = floor(w 2^52 / p), a w - floor(a w' / 2^52) p lies in 0 .. 2p - 1,
// and the low 52 bits of the two products give it exactly. Only these
// functions use the instructions; callers ask short_lanes_available first.
#include <immintrin.h>

#include "poly/wordprimes_impl.h"

namespace wordprimes {

bool short_lanes_available() {
    static const bool yes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma");
    return yes;
}

namespace {

constexpr uint64_t LOW52 = (uint64_t{1} << 52) - 1;

__attribute__((target("avx512f,avx512ifma"))) inline __m512i shoup52(__m512i a, __m512i w, __m512i ws, __m512i p) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i q = _mm512_madd52hi_epu64(zero, a, ws);
    const __m512i r = _mm512_sub_epi64(_mm512_madd52lo_epu64(zero, a, w), _mm512_madd52lo_epu64(zero, q, p));
    return _mm512_and_si512(r, _mm512_set1_epi64(static_cast<long long>(LOW52)));
}

// t less 2p where t >= 2p.
__attribute__((target("avx512f,avx512ifma"))) inline __m512i reduce2p(__m512i t, __m512i p2) {
    return _mm512_mask_sub_epi64(t, _mm512_cmpge_epu64_mask(t, p2), t, p2);
}

}  // namespace

__attribute__((target("avx512f,avx512ifma"))) void forward_level_short(uint64_t* a, int64_t n, int64_t len,
                                                                        const uint64_t* w, const uint64_t* ws52,
                                                                        uint64_t prime) {
    const __m512i p = _mm512_set1_epi64(static_cast<long long>(prime));
    const __m512i p2 = _mm512_set1_epi64(static_cast<long long>(2 * prime));
    for (int64_t s = 0; s < n; s += 2 * len) {
        uint64_t* x = a + s;
        uint64_t* y = x + len;
        for (int64_t j = 0; j < len; j += 8) {
            const __m512i u = _mm512_loadu_si512(x + j), v = _mm512_loadu_si512(y + j);
            const __m512i t = _mm512_add_epi64(u, v);
            _mm512_storeu_si512(x + j, reduce2p(t, p2));
            const __m512i d = _mm512_add_epi64(_mm512_sub_epi64(u, v), p2);
            _mm512_storeu_si512(y + j, shoup52(d, _mm512_loadu_si512(w + len + j), _mm512_loadu_si512(ws52 + len + j), p));
        }
    }
}

__attribute__((target("avx512f,avx512ifma"))) void backward_level_short(uint64_t* a, int64_t n, int64_t len,
                                                                         const uint64_t* w, const uint64_t* ws52,
                                                                         uint64_t prime) {
    const __m512i p = _mm512_set1_epi64(static_cast<long long>(prime));
    const __m512i p2 = _mm512_set1_epi64(static_cast<long long>(2 * prime));
    for (int64_t s = 0; s < n; s += 2 * len) {
        uint64_t* x = a + s;
        uint64_t* y = x + len;
        for (int64_t j = 0; j < len; j += 8) {
            __m512i u = _mm512_loadu_si512(x + j);
            u = reduce2p(u, p2);
            const __m512i v = shoup52(_mm512_loadu_si512(y + j), _mm512_loadu_si512(w + len + j),
                                      _mm512_loadu_si512(ws52 + len + j), p);
            _mm512_storeu_si512(x + j, _mm512_add_epi64(u, v));
            _mm512_storeu_si512(y + j, _mm512_add_epi64(_mm512_sub_epi64(u, v), p2));
        }
    }
}

}  // namespace wordprimes
