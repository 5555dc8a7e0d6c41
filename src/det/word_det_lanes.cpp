#include "det/word_det_lanes.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "det/word_eval.h"
#include "det/word_wide.h"
#include "toplevel/errors.h"

namespace wordmod {

void determinants_at_points_portable(const uint32_t* planes, size_t len, int32_t n, const uint32_t* xs,
                                     size_t np, const Prime& P, uint32_t* out) {
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n);
    std::vector<uint32_t> xpow(len), a(count);
    for (size_t i = 0; i < np; i++) {
        if (len) xpow[0] = 1 % P.p;
        for (size_t k = 1; k < len; k++) xpow[k] = P.mul(xpow[k - 1], xs[i]);
        evaluate_planes_portable(planes, xpow.data(), len, count, P, a.data());
        out[i] = det(a.data(), n, P);
    }
}

#ifdef WORDMOD_WIDE

namespace {

// The lanes whose pivot is 0 take a lower row of their own matrix (or are
// singular: their pivot set to 1 so that the others go on undisturbed).
void lane_pivots(uint64_t* a, int32_t n, int32_t k, bool* singular, bool* negate) {
    auto at = [&](int32_t i, int32_t j, int l) -> uint64_t& {
        const size_t cell = static_cast<size_t>(i) * static_cast<size_t>(n) + static_cast<size_t>(j);
        return a[cell * 4 + static_cast<size_t>(l)];
    };
    for (int l = 0; l < 4; l++) {
        if (at(k, k, l) != 0) continue;
        int32_t r = k + 1;
        while (r < n && at(r, k, l) == 0) r++;
        if (r == n) {
            singular[l] = true;
            at(k, k, l) = 1;
            continue;
        }
        for (int32_t j = k; j < n; j++) std::swap(at(k, j, l), at(r, j, l));
        negate[l] = !negate[l];
    }
}

// Row i := (piv row_i - e row_k) R^-1 in every lane, which multiplies the
// lane's determinant by piv R^-1: the same Montgomery product taken into
// den keeps det = (product of the pivots) / den exact, R's powers and all.
__attribute__((target("avx2"))) void eliminate_lanes(uint64_t* a, int32_t n, uint32_t p, uint32_t neg_pinv,
                                                     bool* singular, bool* negate, uint64_t* num, uint64_t* den) {
    const __m256i vp = _mm256_set1_epi64x(p);
    const __m256i vq = _mm256_set1_epi64x(neg_pinv);
    const size_t row = static_cast<size_t>(n) * 4;
    __m256i vnum = _mm256_set1_epi64x(1), vden = _mm256_set1_epi64x(1);
    for (int32_t k = 0; k < n; k++) {
        poll_interrupt();
        uint64_t* rk = a + static_cast<size_t>(k) * row;
        if (rk[k * 4] == 0 || rk[k * 4 + 1] == 0 || rk[k * 4 + 2] == 0 || rk[k * 4 + 3] == 0)
            lane_pivots(a, n, k, singular, negate);
        const __m256i piv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rk + k * 4));
        vnum = below_p(redc(_mm256_mul_epu32(vnum, piv), vq, vp), vp);
        for (int32_t i = k + 1; i < n; i++) {
            uint64_t* ri = a + static_cast<size_t>(i) * row;
            const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ri + k * 4));
            if (_mm256_testz_si256(e, e)) continue;
            const __m256i ne = _mm256_sub_epi64(vp, e);
            for (int32_t j = k + 1; j < n; j++) {
                const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ri + j * 4));
                const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rk + j * 4));
                const __m256i t = _mm256_add_epi64(_mm256_mul_epu32(x, piv), _mm256_mul_epu32(y, ne));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(ri + j * 4), below_p(redc(t, vq, vp), vp));
            }
            vden = below_p(redc(_mm256_mul_epu32(vden, piv), vq, vp), vp);
        }
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(num), vnum);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(den), vden);
}

// a[c * 4 + l] = sum_k planes[k * count + c] x_l^k for the four points:
// xr[k * 4 + l] = x_l^k R mod p. Up to four products (each below p^2) sum
// below 4p^2; their R^-1 multiple is brought below p, chunk by chunk.
// The usual case, a few planes: the points' powers stay in registers and
// each cell is one chunk.
template <size_t LEN>
__attribute__((target("avx2"))) void evaluate_lanes_short(const uint32_t* planes, size_t count, const uint64_t* xr,
                                                          __m256i vq, __m256i vp, uint64_t* a) {
    __m256i x[LEN];
    for (size_t k = 0; k < LEN; k++) x[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xr + k * 4));
    for (size_t c = 0; c < count; c++) {
        __m256i s = _mm256_mul_epu32(_mm256_set1_epi32(static_cast<int>(planes[c])), x[0]);
        for (size_t k = 1; k < LEN; k++)
            s = _mm256_add_epi64(s, _mm256_mul_epu32(_mm256_set1_epi32(static_cast<int>(planes[k * count + c])), x[k]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + c * 4), redc_sum(s, vq, vp));
    }
}

__attribute__((target("avx2"))) void evaluate_lanes(const uint32_t* planes, size_t len, size_t count,
                                                    const uint64_t* xr, uint32_t p, uint32_t neg_pinv, uint64_t* a) {
    const __m256i vp = _mm256_set1_epi64x(p);
    const __m256i vq = _mm256_set1_epi64x(neg_pinv);
    switch (len) {
        case 1: return evaluate_lanes_short<1>(planes, count, xr, vq, vp, a);
        case 2: return evaluate_lanes_short<2>(planes, count, xr, vq, vp, a);
        case 3: return evaluate_lanes_short<3>(planes, count, xr, vq, vp, a);
        case 4: return evaluate_lanes_short<4>(planes, count, xr, vq, vp, a);
        default: break;
    }
    for (size_t c = 0; c < count; c++) {
        __m256i acc = _mm256_setzero_si256();
        for (size_t k0 = 0; k0 < len; k0 += 4) {
            __m256i s = _mm256_setzero_si256();
            for (size_t k = k0; k < len && k < k0 + 4; k++) {
                const __m256i cf = _mm256_set1_epi32(static_cast<int>(planes[k * count + c]));
                const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xr + k * 4));
                s = _mm256_add_epi64(s, _mm256_mul_epu32(cf, x));
            }
            const __m256i t = redc_sum(s, vq, vp);
            acc = below_p(_mm256_add_epi64(acc, t), vp);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + c * 4), acc);
    }
}

}  // namespace

bool det_lanes4(uint64_t* a, int32_t n, const Prime& P, uint32_t* num, uint32_t* den) {
    const uint32_t p = P.p;
    if (p == 2 || n < 1 || !has_avx2()) return false;
    bool singular[4] = {false, false, false, false};
    bool negate[4] = {false, false, false, false};
    uint64_t nums[4], dens[4];
    eliminate_lanes(a, n, p, neg_inverse_32(p), singular, negate, nums, dens);
    // The pivots' product came out times R^-n.
    const uint32_t Rn = P.pow(static_cast<uint32_t>((uint64_t{1} << 32) % p), static_cast<uint64_t>(n));
    for (int l = 0; l < 4; l++) {
        if (singular[l]) {
            num[l] = 0;
            den[l] = 1;
            continue;
        }
        const uint32_t v = P.mul(static_cast<uint32_t>(nums[l]), Rn);
        num[l] = negate[l] && v ? p - v : v;
        den[l] = static_cast<uint32_t>(dens[l]);
    }
    return true;
}

void determinants_at_points(const uint32_t* planes, size_t len, int32_t n, const uint32_t* xs, size_t np,
                            const Prime& P, uint32_t* out) {
    const uint32_t p = P.p;
    if (p == 2 || n < 1 || len == 0 || !has_avx2())
        return determinants_at_points_portable(planes, len, n, xs, np, P, out);
    const uint32_t neg_pinv = neg_inverse_32(p);
    const uint32_t R = static_cast<uint32_t>((uint64_t{1} << 32) % p);
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n);
    std::vector<uint64_t> xr(len * 4), a(count * 4);
    std::vector<uint32_t> dens(np);
    for (size_t i0 = 0; i0 < np; i0 += 4) {
        // The last group repeats its last point in the lanes past np.
        for (int l = 0; l < 4; l++) {
            const uint32_t x = xs[std::min(i0 + static_cast<size_t>(l), np - 1)];
            uint32_t v = R;
            for (size_t k = 0; k < len; k++) {
                xr[k * 4 + static_cast<size_t>(l)] = v;
                v = P.mul(v, x);
            }
        }
        evaluate_lanes(planes, len, count, xr.data(), p, neg_pinv, a.data());
        uint32_t num[4], den[4];
        det_lanes4(a.data(), n, P, num, den);
        for (size_t l = 0; l < 4 && i0 + l < np; l++) {
            out[i0 + l] = num[l];
            dens[i0 + l] = den[l];
        }
    }
    P.invert_all(dens.data(), np);
    for (size_t i = 0; i < np; i++) out[i] = P.mul(out[i], dens[i]);
}

#else

bool det_lanes4(uint64_t*, int32_t, const Prime&, uint32_t*, uint32_t*) { return false; }

void determinants_at_points(const uint32_t* planes, size_t len, int32_t n, const uint32_t* xs, size_t np,
                            const Prime& P, uint32_t* out) {
    determinants_at_points_portable(planes, len, n, xs, np, P, out);
}

#endif

}  // namespace wordmod
