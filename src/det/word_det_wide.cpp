#include "det/word_det_wide.h"

#include <algorithm>
#include <vector>

#include "det/word_wide.h"
#include "toplevel/errors.h"

namespace wordmod {

#ifdef WORDMOD_WIDE

namespace {

// Rows are padded to a multiple of four entries so that every update runs
// on whole vectors; the matrix of the interpolation's inner level fits on
// the stack.
constexpr int32_t STACK_ROWS = 32;

// row_i[j] := (piv row_i[j] + ne row_k[j]) / 2^32 mod p for j in [from, to),
// both bounds multiples of four. With every residue below p < 2^31 the sum
// is below p 2^32, so Montgomery's quotient is below 2p.
__attribute__((target("avx2"), always_inline)) inline void update_row(uint32_t* ri, const uint32_t* pk, int32_t from, int32_t to,
                                                 uint32_t piv, uint32_t ne, uint32_t p, uint32_t neg_pinv) {
    const __m256i vpiv = _mm256_set1_epi64x(piv);
    const __m256i vne = _mm256_set1_epi64x(ne);
    const __m256i vp = _mm256_set1_epi64x(p);
    const __m256i vq = _mm256_set1_epi64x(neg_pinv);
    const __m128i p4 = _mm_set1_epi32(static_cast<int>(p));
    const __m256i low_halves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    for (int32_t j = from; j < to; j += 4) {
        const __m256i a = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ri + j)));
        const __m256i b = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pk + j)));
        const __m256i x = _mm256_add_epi64(_mm256_mul_epu32(a, vpiv), _mm256_mul_epu32(b, vne));
        const __m256i m = _mm256_mul_epu32(x, vq);   // x (-1/p) mod 2^32 in the low halves
        const __m256i t = _mm256_srli_epi64(_mm256_add_epi64(x, _mm256_mul_epu32(m, vp)), 32);
        const __m128i t4 = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(t, low_halves));
        // t - p wraps above t exactly when t < p.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ri + j), _mm_min_epu32(t4, _mm_sub_epi32(t4, p4)));
    }
}

// The elimination on the padded rows: the products of the pivots, of those
// that scaled a row, the number of row updates and the sign, or false for
// a singular matrix.
struct Pivots {
    uint32_t num = 1;
    uint32_t den = 1;
    uint64_t updates = 0;
    bool negate = false;
};

__attribute__((target("avx2"))) bool eliminate(uint32_t* a, int32_t n, int32_t stride, const Prime& P,
                                               uint32_t neg_pinv, Pivots* out) {
    const uint32_t p = P.p;
    auto row = [&](int32_t i) { return a + static_cast<size_t>(i) * static_cast<size_t>(stride); };
    Pivots s;
    for (int32_t k = 0; k < n; k++) {
        poll_interrupt();
        int32_t r = k;
        while (r < n && row(r)[k] == 0) r++;
        if (r == n) return false;
        if (r != k) {
            std::swap_ranges(row(k) + k, row(k) + n, row(r) + k);
            s.negate = !s.negate;
        }
        const uint32_t* pk = row(k);
        const uint32_t piv = pk[k];
        s.num = P.mul(s.num, piv);
        // The columns left of k + 1 are not read again: the update may
        // start at the vector boundary below it.
        const int32_t from = (k + 1) & ~3;
        for (int32_t i = k + 1; i < n; i++) {
            uint32_t* ri = row(i);
            const uint32_t e = ri[k];
            if (e == 0) continue;
            update_row(ri, pk, from, stride, piv, p - e, p, neg_pinv);
            s.den = P.mul(s.den, piv);
            s.updates++;
        }
    }
    *out = s;
    return true;
}

}  // namespace

bool det_wide(uint32_t* a0, int32_t n, const Prime& P, uint32_t* value) {
    const uint32_t p = P.p;
    if (p == 2 || n < 1 || !has_avx2()) return false;
    const uint32_t neg_pinv = neg_inverse_32(p);

    const int32_t stride = (n + 3) & ~3;
    const size_t cells = static_cast<size_t>(n) * static_cast<size_t>(stride);
    alignas(32) uint32_t on_stack[STACK_ROWS * STACK_ROWS];
    std::vector<uint32_t> on_heap;
    uint32_t* a = on_stack;
    if (n > STACK_ROWS) {
        on_heap.resize(cells);
        a = on_heap.data();
    }
    for (int32_t i = 0; i < n; i++) {
        uint32_t* r = a + static_cast<size_t>(i) * stride;
        std::copy(a0 + static_cast<size_t>(i) * n, a0 + static_cast<size_t>(i) * n + n, r);
        std::fill(r + n, r + stride, 0u);
    }
    Pivots s;
    if (!eliminate(a, n, stride, P, neg_pinv, &s)) {
        *value = 0;
        return true;
    }
    // Each update also divided its row by 2^32.
    const uint32_t R = static_cast<uint32_t>((uint64_t{1} << 32) % p);
    const uint32_t d = P.mul(P.mul(s.num, P.pow(R, s.updates)), P.inv(s.den));
    *value = s.negate && d ? p - d : d;
    return true;
}

#else

bool det_wide(uint32_t*, int32_t, const Prime&, uint32_t*) { return false; }

#endif

}  // namespace wordmod
