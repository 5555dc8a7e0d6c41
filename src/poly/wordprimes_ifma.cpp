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

namespace {

// Eight twiddles from a pattern of four (or two) repeated, and their quotients.
__attribute__((target("avx512f,avx512ifma"))) inline __m512i repeat(const uint64_t* t, int period) {
    alignas(64) uint64_t v[8];
    for (int i = 0; i < 8; i++) v[i] = t[i % period];
    return _mm512_load_si512(v);
}

__attribute__((target("avx512f,avx512ifma"))) inline __m512i index(long long a, long long b, long long c, long long d,
                                                                  long long e, long long f, long long g, long long h) {
    return _mm512_set_epi64(h, g, f, e, d, c, b, a);
}

__attribute__((target("avx512f,avx512ifma"))) inline void forward_butterfly(__m512i& x, __m512i& y, __m512i tw,
                                                                          __m512i ts, __m512i p, __m512i p2) {
    const __m512i t = reduce2p(_mm512_add_epi64(x, y), p2);
    y = shoup52(_mm512_add_epi64(_mm512_sub_epi64(x, y), p2), tw, ts, p);
    x = t;
}

__attribute__((target("avx512f,avx512ifma"))) inline void backward_butterfly(__m512i& x, __m512i& y, __m512i tw,
                                                                           __m512i ts, __m512i p, __m512i p2) {
    const __m512i u = reduce2p(x, p2);
    const __m512i v = shoup52(y, tw, ts, p);
    x = _mm512_add_epi64(u, v);
    y = _mm512_add_epi64(_mm512_sub_epi64(u, v), p2);
}

// The prime and the twiddles of the levels len = 4, 2, 1 as vectors.
struct SmallLevels {
    __m512i p, p2, w4, s4, w2, s2, w1, s1;
    __attribute__((target("avx512f,avx512ifma"))) SmallLevels(const uint64_t* w, const uint64_t* ws52, uint64_t prime)
        : p(_mm512_set1_epi64(static_cast<long long>(prime))),
          p2(_mm512_set1_epi64(static_cast<long long>(2 * prime))),
          w4(repeat(w + 4, 4)),
          s4(repeat(ws52 + 4, 4)),
          w2(repeat(w + 2, 2)),
          s2(repeat(ws52 + 2, 2)),
          w1(_mm512_set1_epi64(static_cast<long long>(w[1]))),
          s1(_mm512_set1_epi64(static_cast<long long>(ws52[1]))) {}
};

}  // namespace

// The levels len = 4, 2, 1 of sixteen points at a time (n >= 16): within
// one vector the pairs lie too close for plain loads, so the points are
// regrouped by permutations between the levels.
__attribute__((target("avx512f,avx512ifma"))) void forward_last_levels_short(uint64_t* a, int64_t n, const uint64_t* w,
                                                                              const uint64_t* ws52, uint64_t prime) {
    const SmallLevels k(w, ws52, prime);
    const __m512i lows = index(0, 1, 2, 3, 8, 9, 10, 11), highs = index(4, 5, 6, 7, 12, 13, 14, 15);
    const __m512i even_pairs = index(0, 1, 8, 9, 4, 5, 12, 13), odd_pairs = index(2, 3, 10, 11, 6, 7, 14, 15);
    const __m512i evens = index(0, 8, 2, 10, 4, 12, 6, 14), odds = index(1, 9, 3, 11, 5, 13, 7, 15);
    const __m512i low_out = index(0, 8, 1, 9, 2, 10, 3, 11), high_out = index(4, 12, 5, 13, 6, 14, 7, 15);
    for (int64_t s = 0; s < n; s += 16) {
        const __m512i A = _mm512_loadu_si512(a + s), B = _mm512_loadu_si512(a + s + 8);
        // len 4: x = A0..A3 B0..B3, y = A4..A7 B4..B7.
        __m512i x = _mm512_permutex2var_epi64(A, lows, B), y = _mm512_permutex2var_epi64(A, highs, B);
        forward_butterfly(x, y, k.w4, k.s4, k.p, k.p2);
        // len 2: A0 A1 A4 A5 B0 B1 B4 B5 against A2 A3 A6 A7 B2 B3 B6 B7.
        __m512i u = _mm512_permutex2var_epi64(x, even_pairs, y), v = _mm512_permutex2var_epi64(x, odd_pairs, y);
        forward_butterfly(u, v, k.w2, k.s2, k.p, k.p2);
        // len 1: A0 A2 A4 A6 B0 B2 B4 B6 against A1 A3 A5 A7 B1 B3 B5 B7.
        x = _mm512_permutex2var_epi64(u, evens, v);
        y = _mm512_permutex2var_epi64(u, odds, v);
        forward_butterfly(x, y, k.w1, k.s1, k.p, k.p2);
        _mm512_storeu_si512(a + s, _mm512_permutex2var_epi64(x, low_out, y));
        _mm512_storeu_si512(a + s + 8, _mm512_permutex2var_epi64(x, high_out, y));
    }
}

__attribute__((target("avx512f,avx512ifma"))) void backward_first_levels_short(uint64_t* a, int64_t n, const uint64_t* w,
                                                                                const uint64_t* ws52, uint64_t prime) {
    const SmallLevels k(w, ws52, prime);
    const __m512i evens = index(0, 2, 4, 6, 8, 10, 12, 14), odds = index(1, 3, 5, 7, 9, 11, 13, 15);
    const __m512i low_pairs = index(0, 8, 2, 10, 4, 12, 6, 14), high_pairs = index(1, 9, 3, 11, 5, 13, 7, 15);
    const __m512i low_halves = index(0, 1, 8, 9, 4, 5, 12, 13), high_halves = index(2, 3, 10, 11, 6, 7, 14, 15);
    const __m512i lows = index(0, 1, 2, 3, 8, 9, 10, 11), highs = index(4, 5, 6, 7, 12, 13, 14, 15);
    for (int64_t s = 0; s < n; s += 16) {
        const __m512i A = _mm512_loadu_si512(a + s), B = _mm512_loadu_si512(a + s + 8);
        // len 1: A0 A2 A4 A6 B0 B2 B4 B6 against A1 A3 A5 A7 B1 B3 B5 B7.
        __m512i x = _mm512_permutex2var_epi64(A, evens, B), y = _mm512_permutex2var_epi64(A, odds, B);
        backward_butterfly(x, y, k.w1, k.s1, k.p, k.p2);
        // len 2: A0 A1 A4 A5 B0 B1 B4 B5 against A2 A3 A6 A7 B2 B3 B6 B7.
        __m512i u = _mm512_permutex2var_epi64(x, low_pairs, y), v = _mm512_permutex2var_epi64(x, high_pairs, y);
        backward_butterfly(u, v, k.w2, k.s2, k.p, k.p2);
        // len 4: A0..A3 B0..B3 against A4..A7 B4..B7.
        x = _mm512_permutex2var_epi64(u, low_halves, v);
        y = _mm512_permutex2var_epi64(u, high_halves, v);
        backward_butterfly(x, y, k.w4, k.s4, k.p, k.p2);
        _mm512_storeu_si512(a + s, _mm512_permutex2var_epi64(x, lows, y));
        _mm512_storeu_si512(a + s + 8, _mm512_permutex2var_epi64(x, highs, y));
    }
}

namespace {

// x y / 2^52 modulo p, in 0 .. 2p - 1, for x y < p 2^52 (Montgomery's
// product with 52-bit words; pinv = -1/p modulo 2^52).
__attribute__((target("avx512f,avx512ifma"))) inline __m512i mont52(__m512i x, __m512i y, __m512i p, __m512i pinv) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i lo = _mm512_madd52lo_epu64(zero, x, y);
    const __m512i hi = _mm512_madd52hi_epu64(zero, x, y);
    const __m512i m = _mm512_madd52lo_epu64(zero, lo, pinv);
    // lo + (m p mod 2^52) is 0 or exactly 2^52: a carry of 1 unless lo is 0.
    const __m512i t = _mm512_madd52hi_epu64(hi, m, p);
    return _mm512_mask_add_epi64(t, _mm512_test_epi64_mask(lo, lo), t, _mm512_set1_epi64(1));
}

}  // namespace

__attribute__((target("avx512f,avx512ifma"))) void quotient_short(const uint64_t* g, const uint64_t* a, const uint64_t* e,
                                                                   const uint64_t* b, const uint64_t* k, uint64_t* out,
                                                                   int64_t n, uint64_t prime, uint64_t pinv52) {
    const __m512i p = _mm512_set1_epi64(static_cast<long long>(prime));
    const __m512i p2 = _mm512_set1_epi64(static_cast<long long>(2 * prime));
    const __m512i pinv = _mm512_set1_epi64(static_cast<long long>(pinv52));
    for (int64_t i = 0; i < n; i += 8) {
        const __m512i ga = mont52(_mm512_loadu_si512(g + i), _mm512_loadu_si512(a + i), p, pinv);
        const __m512i eb = mont52(_mm512_loadu_si512(e + i), _mm512_loadu_si512(b + i), p, pinv);
        const __m512i d = _mm512_add_epi64(_mm512_sub_epi64(ga, eb), p2);
        _mm512_storeu_si512(out + i, mont52(d, _mm512_loadu_si512(k + i), p, pinv));
    }
}

__attribute__((target("avx512f,avx512ifma"))) void scale_short(const uint64_t* v, uint64_t* z, int64_t n,
                                                                const uint64_t* s52, uint64_t step52, uint64_t prime,
                                                                uint64_t pinv52) {
    const __m512i p = _mm512_set1_epi64(static_cast<long long>(prime));
    const __m512i pinv = _mm512_set1_epi64(static_cast<long long>(pinv52));
    const __m512i step = _mm512_set1_epi64(static_cast<long long>(step52));
    __m512i s = _mm512_loadu_si512(s52);
    for (int64_t i = 0; i < n; i += 8) {
        const __m512i t = mont52(_mm512_loadu_si512(v + i), s, p, pinv);
        _mm512_storeu_si512(z + i, reduce2p(t, p));
        if (step52) s = reduce2p(mont52(s, step, p, pinv), p);
    }
}

}  // namespace wordprimes
