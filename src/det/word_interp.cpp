#include "det/word_interp.h"

#include <algorithm>
#include <vector>

#include "det/word_wide.h"

namespace wordmod {

namespace {

// M(X) = product of (X - x_j), from the constant up (np + 1 coefficients).
std::vector<uint32_t> node_product(const uint32_t* xs, size_t np, const Prime& P) {
    std::vector<uint32_t> M(np + 1, 0);
    M[0] = 1 % P.p;
    for (size_t j = 0; j < np; j++) {
        for (size_t k = j + 1; k >= 1; k--) M[k] = P.sub(M[k - 1], P.mul(xs[j], M[k]));
        M[0] = P.sub(0, P.mul(xs[j], M[0]));
    }
    return M;
}

}  // namespace

// The Lagrange form: with q_i = M / (X - x_i) (synthetic division) and
// w_i = 1 / q_i(x_i), column c is sum_i c_i w_i q_i.
void interpolate_columns_portable(const uint32_t* xs, size_t np, const uint32_t* vals, size_t ncols,
                                  const Prime& P, uint32_t* out) {
    if (np == 0) return;
    const std::vector<uint32_t> M = node_product(xs, np, P);
    std::vector<uint32_t> qt(np * np);   // qt[k * np + i]: coefficient k of q_i
    std::vector<uint32_t> w(np);
    for (size_t i = 0; i < np; i++) {
        uint32_t q = 1 % P.p, h = 0;
        for (size_t k = np; k-- > 0;) {
            qt[k * np + i] = q;
            h = P.add(P.mul(h, xs[i]), q);
            q = P.add(M[k], P.mul(q, xs[i]));
        }
        w[i] = h;
    }
    P.invert_all(w.data(), np);
    std::vector<uint32_t> cw(np);
    for (size_t c = 0; c < ncols; c++) {
        const uint32_t* v = vals + c * np;
        for (size_t i = 0; i < np; i++) cw[i] = P.mul(v[i], w[i]);
        for (size_t k = 0; k < np; k++) out[c * np + k] = P.dot(cw.data(), qt.data() + k * np, np);
    }
}

#ifdef WORDMOD_WIDE

namespace {

// The points in Montgomery form xr[i] = x_i R mod p, np4 of them (the
// padding 0); q_i's coefficients into qt[k * np4 + i] and q_i(x_i) into
// h[i], the points four lanes at a time: for each k every group is
// independent, so the groups' chains of products overlap.
__attribute__((target("avx2"))) void divide_out_points(const uint64_t* xr, size_t np, size_t np4,
                                                       const uint32_t* M, uint32_t p, uint32_t neg_pinv,
                                                       uint32_t* qt, uint64_t* h) {
    const __m256i vp = _mm256_set1_epi64x(p);
    const __m256i low_halves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i vq = _mm256_set1_epi64x(neg_pinv);
    std::vector<uint64_t> q(np4, 1);   // M is monic: q_i's leading coefficient
    std::fill(h, h + np4, 0);
    for (size_t k = np; k-- > 0;) {
        const __m256i mk = _mm256_set1_epi64x(M[k]);
        uint32_t* row = qt + k * np4;
        for (size_t g = 0; g < np4; g += 4) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xr + g));
            const __m256i qk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q.data() + g));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + g),
                             _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(qk, low_halves)));
            __m256i hk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + g));
            hk = below_p(redc(_mm256_mul_epu32(hk, x), vq, vp), vp);
            hk = below_p(_mm256_add_epi64(hk, qk), vp);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(h + g), hk);
            __m256i qn = below_p(redc(_mm256_mul_epu32(qk, x), vq, vp), vp);
            qn = below_p(_mm256_add_epi64(qn, mk), vp);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(q.data() + g), qn);
        }
    }
}

// sum_i cw[i] qt[k * np4 + i] R^-1 for each k: cw in Montgomery form, so
// each product's reduction leaves the plain residue (below 2p), and the
// lanes' sums stay far below 2^64.
__attribute__((target("avx2"))) void combine(const uint64_t* cw, const uint32_t* qt, size_t np, size_t np4,
                                             const Prime& P, uint32_t neg_pinv, uint32_t* out) {
    const __m256i vp = _mm256_set1_epi64x(P.p);
    const __m256i vq = _mm256_set1_epi64x(neg_pinv);
    for (size_t k = 0; k < np; k++) {
        const uint32_t* row = qt + k * np4;
        __m256i acc = _mm256_setzero_si256();
        for (size_t g = 0; g < np4; g += 4) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cw + g));
            const __m256i b = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + g)));
            acc = _mm256_add_epi64(acc, redc(_mm256_mul_epu32(a, b), vq, vp));
        }
        alignas(32) uint64_t lanes[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
        out[k] = P.reduce(lanes[0] + lanes[1] + lanes[2] + lanes[3]);
    }
}

}  // namespace

void interpolate_columns(const uint32_t* xs, size_t np, const uint32_t* vals, size_t ncols, const Prime& P,
                         uint32_t* out) {
    const uint32_t p = P.p;
    if (p == 2 || np < 4 || !has_avx2()) return interpolate_columns_portable(xs, np, vals, ncols, P, out);
    const uint32_t neg_pinv = neg_inverse_32(p);
    const uint32_t R = static_cast<uint32_t>((uint64_t{1} << 32) % p);

    const std::vector<uint32_t> M = node_product(xs, np, P);
    const size_t np4 = (np + 3) & ~size_t{3};
    std::vector<uint64_t> xr(np4, 0);
    for (size_t i = 0; i < np; i++) xr[i] = P.reduce(uint64_t{xs[i]} << 32);
    std::vector<uint32_t> qt(np * np4);
    std::vector<uint64_t> h(np4);
    divide_out_points(xr.data(), np, np4, M.data(), p, neg_pinv, qt.data(), h.data());
    // w_i R = R / q_i(x_i), all with one inverse.
    std::vector<uint32_t> w(np);
    for (size_t i = 0; i < np; i++) w[i] = static_cast<uint32_t>(h[i]);
    P.invert_all(w.data(), np);
    std::vector<Multiplier> wr;
    wr.reserve(np);
    for (size_t i = 0; i < np; i++) wr.emplace_back(P.mul(w[i], R), P);
    std::vector<uint64_t> cw(np4, 0);
    for (size_t c = 0; c < ncols; c++) {
        const uint32_t* v = vals + c * np;
        uint32_t* o = out + c * np;
        if (std::all_of(v, v + np, [](uint32_t x) { return x == 0; })) {
            std::fill(o, o + np, 0u);
            continue;
        }
        for (size_t i = 0; i < np; i++) cw[i] = wr[i].times(v[i]);
        combine(cw.data(), qt.data(), np, np4, P, neg_pinv, o);
    }
}

#else

void interpolate_columns(const uint32_t* xs, size_t np, const uint32_t* vals, size_t ncols, const Prime& P,
                         uint32_t* out) {
    interpolate_columns_portable(xs, np, vals, ncols, P, out);
}

#endif

}  // namespace wordmod
