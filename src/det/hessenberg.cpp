// The Hessenberg road to the characteristic polynomial over a field: the
// reduction by similarity transforms and the recurrence on the leading
// principal blocks of the Hessenberg form. One template serves the word
// primes (Shoup multipliers, dot products in halves, four words at a time
// on wide registers) and the characteristic-2
// fields (the ring's tables).
#include "det/hessenberg.h"

#include <algorithm>
#include <utility>

#include "det/word_wide.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

namespace {

// d := d + w s modulo p over len words, w's Shoup companion ws.
void add_times_plain(uint32_t* d, const uint32_t* s, uint32_t w, uint32_t ws, uint32_t p, int32_t len, int32_t j) {
    for (; j < len; j++) {
        const uint32_t a = s[j];
        const uint32_t q = static_cast<uint32_t>((uint64_t{a} * ws) >> 32);
        uint32_t r = a * w - q * p;
        r = r >= p ? r - p : r;
        const uint32_t t = d[j] + r;
        d[j] = t >= p ? t - p : t;
    }
}

// The sum of a_j b_j over len words (below 2^32 of them) as hi 2^32 + lo:
// each product's halves added apart, so that no sum overflows.
void dot_plain(const uint32_t* a, const uint32_t* b, int32_t len, int32_t j, uint64_t* hi, uint64_t* lo) {
    uint64_t h = 0, l = 0;
    for (; j < len; j++) {
        const uint64_t x = uint64_t{a[j]} * b[j];
        h += x >> 32;
        l += x & 0xFFFFFFFFu;
    }
    *hi += h;
    *lo += l;
}

#ifdef WORDMOD_WIDE
// Four words at a time in the low halves of 64-bit lanes: a w - q p is
// the remainder plus 0 or p exactly, q = (a ws) >> 32.
__attribute__((target("avx2"))) void add_times_wide(uint32_t* d, const uint32_t* s, uint32_t w, uint32_t ws,
                                                     uint32_t p, int32_t len) {
    const __m256i vw = _mm256_set1_epi64x(w), vws = _mm256_set1_epi64x(ws), vp = _mm256_set1_epi64x(p);
    const __m256i vp1 = _mm256_set1_epi64x(int64_t{p} - 1);
    const __m256i low_halves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    int32_t j = 0;
    for (; j + 4 <= len; j += 4) {
        const __m256i a = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j)));
        const __m256i q = _mm256_srli_epi64(_mm256_mul_epu32(a, vws), 32);
        __m256i r = _mm256_sub_epi64(_mm256_mul_epu32(a, vw), _mm256_mul_epu32(q, vp));
        r = _mm256_add_epi64(r, _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j))));
        r = _mm256_sub_epi64(r, _mm256_and_si256(_mm256_cmpgt_epi64(r, vp1), vp));
        r = _mm256_sub_epi64(r, _mm256_and_si256(_mm256_cmpgt_epi64(r, vp1), vp));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j),
                         _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(r, low_halves)));
    }
    add_times_plain(d, s, w, ws, p, len, j);
}

__attribute__((target("avx2"))) void dot_wide(const uint32_t* a, const uint32_t* b, int32_t len, uint64_t* hi,
                                               uint64_t* lo) {
    const __m256i mask = _mm256_set1_epi64x(0xFFFFFFFFLL);
    __m256i h = _mm256_setzero_si256(), l = _mm256_setzero_si256();
    int32_t j = 0;
    for (; j + 4 <= len; j += 4) {
        const __m256i x = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + j)));
        const __m256i y = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j)));
        const __m256i xy = _mm256_mul_epu32(x, y);
        h = _mm256_add_epi64(h, _mm256_srli_epi64(xy, 32));
        l = _mm256_add_epi64(l, _mm256_and_si256(xy, mask));
    }
    alignas(32) uint64_t hs[4], ls[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(hs), h);
    _mm256_store_si256(reinterpret_cast<__m256i*>(ls), l);
    *hi = hs[0] + hs[1] + hs[2] + hs[3];
    *lo = ls[0] + ls[1] + ls[2] + ls[3];
    dot_plain(a, b, len, j, hi, lo);
}
#endif

void add_times(uint32_t* d, const uint32_t* s, uint32_t w, uint32_t ws, uint32_t p, int32_t len) {
#ifdef WORDMOD_WIDE
    if (wordmod::has_avx2()) return add_times_wide(d, s, w, ws, p, len);
#endif
    add_times_plain(d, s, w, ws, p, len, 0);
}

void dot_words(const uint32_t* a, const uint32_t* b, int32_t len, uint64_t* hi, uint64_t* lo) {
#ifdef WORDMOD_WIDE
    if (wordmod::has_avx2()) return dot_wide(a, b, len, hi, lo);
#endif
    *hi = *lo = 0;
    dot_plain(a, b, len, 0, hi, lo);
}

struct WordField {
    using W = uint32_t;
    const wordmod::Prime& P;
    W add(W a, W b) const { return P.add(a, b); }
    W mul(W a, W b) const { return P.mul(a, b); }
    W inv(W a) const { return P.inv(a); }
    // d := d - u s over len words.
    void sub_times(W* d, const W* s, W u, int32_t len) const {
        if (u == 0) return;
        const wordmod::Multiplier F(P.p - u, P);
        add_times(d, s, F.w, F.ws, P.p, len);
    }
    W dot(const W* a, const W* b, int32_t len) const {
        uint64_t hi, lo;
        dot_words(a, b, len, &hi, &lo);
        const uint64_t two32 = (uint64_t{1} << 32) % P.p;
        return P.reduce(uint64_t{P.reduce(hi)} * two32 + P.reduce(lo));
    }
};

// GF(2^8) and GF(2^16): sums are exclusive or, products the ring's tables.
struct TableField {
    using W = int32_t;
    W add(W a, W b) const { return mod_add(a, b, modulus); }
    W mul(W a, W b) const { return modmult(a, b); }
    W inv(W a) const { return imod_inverse(a); }
    void sub_times(W* d, const W* s, W u, int32_t len) const {
        for (int32_t j = 0; j < len; j++)
            if (s[j]) d[j] = mod_sub(d[j], modmult(u, s[j]), modulus);
    }
    W dot(const W* a, const W* b, int32_t len) const {
        W s = 0;
        for (int32_t j = 0; j < len; j++)
            if (a[j] && b[j]) s = mod_add(s, modmult(a[j], b[j]), modulus);
        return s;
    }
};

// h := an upper Hessenberg matrix similar to it. At column m - 1 the
// pivot row m clears the rows below (h := L h) and column m takes their
// multiples back (h := h L^-1).
template <class F>
void to_hessenberg(std::vector<typename F::W>& h, int32_t n, const F& f) {
    using W = typename F::W;
    std::vector<W> u(static_cast<size_t>(n), 0);
    auto row = [&](int32_t i) { return h.data() + static_cast<size_t>(i) * n; };
    for (int32_t m = 1; m + 1 < n; m++) {
        poll_interrupt();
        int32_t r = m;
        while (r < n && row(r)[m - 1] == 0) r++;
        if (r == n) continue;
        if (r != m) {
            std::swap_ranges(row(r), row(r) + n, row(m));
            for (int32_t i = 0; i < n; i++) std::swap(row(i)[r], row(i)[m]);
        }
        const W inv = f.inv(row(m)[m - 1]);
        bool any = false;
        for (int32_t i = m + 1; i < n; i++) {
            W* ri = row(i);
            u[i] = 0;
            if (ri[m - 1] == 0) continue;
            u[i] = f.mul(ri[m - 1], inv);
            ri[m - 1] = 0;
            f.sub_times(ri + m, row(m) + m, u[i], n - m);
            any = true;
        }
        if (!any) continue;
        for (int32_t i = 0; i < n; i++) {
            W* ri = row(i);
            ri[m] = f.add(ri[m], f.dot(ri + m + 1, u.data() + m + 1, n - m - 1));
        }
    }
}

// c := det(xI - h) for h upper Hessenberg, by expanding the leading block
// of size k + 1 along its last column: p_k+1 = (x - h_kk) p_k - sum over
// i < k of h_ik (h_i+1,i ... h_k,k-1) p_i.
template <class F>
void hessenberg_poly(const std::vector<typename F::W>& h, int32_t n, const F& f, std::vector<typename F::W>& c) {
    using W = typename F::W;
    auto at = [&](int32_t i, int32_t j) { return h[static_cast<size_t>(i) * n + j]; };
    std::vector<std::vector<W>> p(static_cast<size_t>(n) + 1);
    p[0].assign(1, 1);
    for (int32_t k = 0; k < n; k++) {
        poll_interrupt();
        std::vector<W>& q = p[k + 1];
        q.assign(static_cast<size_t>(k) + 2, 0);
        std::copy(p[k].begin(), p[k].end(), q.begin() + 1);
        f.sub_times(q.data(), p[k].data(), at(k, k), k + 1);
        W t = 1;
        for (int32_t i = k - 1; i >= 0; i--) {
            t = f.mul(t, at(i + 1, i));
            if (t == 0) break;
            const W e = f.mul(at(i, k), t);
            if (e) f.sub_times(q.data(), p[i].data(), e, i + 1);
        }
    }
    c = std::move(p[n]);
}

}  // namespace

void hessenberg_charpoly(std::vector<uint32_t>& a, int32_t n, const wordmod::Prime& P, std::vector<uint32_t>& c) {
    const WordField f{P};
    to_hessenberg(a, n, f);
    hessenberg_poly(a, n, f, c);
}

void hessenberg_charpoly_field(std::vector<int32_t>& a, int32_t n, std::vector<int32_t>& c) {
    const TableField f;
    to_hessenberg(a, n, f);
    hessenberg_poly(a, n, f, c);
}
