// The short convolutions of the box product.
//
// Runs are short in many-variable products (the innermost variable of a
// dense product of total degree d has runs of every length up to d), and
// a convolution loop whose inner trip count changes at every place loses
// a branch at most places. The shorter run is cut into pieces of at most
// FIXED_MAX values, each taken by a kernel compiled for its length: the
// rising and falling ends unrolled, the middle places all of one fixed
// length. Two-limb values sum three limb products per pair (the middle
// limb as (x0 + x1)(y0 + y1) - x0 y0 - x1 y1, summed modulo 2^128: its
// partial sums may pass 2^127, the final one fits).
#include "poly/boxruns.h"

#include <algorithm>
#include <utility>

namespace polyimpl {

namespace {

typedef box_wide wide;
__extension__ typedef unsigned __int128 uwide;

constexpr int32_t FIXED_MAX = 8;
constexpr int32_t MAX_SUMS = 32;   // more than lx + ly - 1 (box coefficients of at most 32 digits)

// One place of a one-limb convolution: x[i0 .. i1] against y from k down.
struct OneLimb {
    static constexpr int32_t W = 1;
    wide s = 0;
    void add(const int64_t* xv, const int64_t* yv) { s += wide{xv[0]} * yv[0]; }
    void store(wide* acc) const { acc[0] += s; }
};

struct TwoLimbs {
    static constexpr int32_t W = 3;
    uwide s0 = 0, s1 = 0, s2 = 0;
    void add(const int64_t* xv, const int64_t* yv) {
        s0 += static_cast<uwide>(wide{xv[0]} * yv[0]);
        s1 += static_cast<uwide>(wide{xv[2]} * yv[2]);
        s2 += static_cast<uwide>(wide{xv[1]} * yv[1]);
    }
    void store(wide* acc) const {
        acc[0] += static_cast<wide>(s0);
        acc[1] += static_cast<wide>(s1 - s0 - s2);
        acc[2] += static_cast<wide>(s2);
    }
};

// out[k] += sum over i of x[i] y[k - i], x of NX values, y of ny >= NX.
template <typename Sum, int32_t NX>
void fixed(const int64_t* x, const int64_t* y, int32_t ny, wide* out, int32_t stride) {
    constexpr int32_t W = Sum::W;
#pragma GCC unroll 16
    for (int32_t k = 0; k + 1 < NX; k++) {
        Sum s;
#pragma GCC unroll 16
        for (int32_t i = 0; i <= k; i++) s.add(x + W * i, y + W * (k - i));
        s.store(out + static_cast<int64_t>(k) * stride);
    }
    for (int32_t k = NX - 1; k < ny; k++) {
        Sum s;
        const int64_t* yk = y + static_cast<int64_t>(W) * k;
#pragma GCC unroll 16
        for (int32_t i = 0; i < NX; i++) s.add(x + W * i, yk - W * i);
        s.store(out + static_cast<int64_t>(k) * stride);
    }
    const int64_t* ylast = y + static_cast<int64_t>(W) * (ny - 1);
    wide* olast = out + static_cast<int64_t>(ny - 1) * stride;
#pragma GCC unroll 16
    for (int32_t d = 1; d < NX; d++) {
        Sum s;
#pragma GCC unroll 16
        for (int32_t i = d; i < NX; i++) s.add(x + W * i, ylast + W * (d - i));
        s.store(olast + static_cast<int64_t>(d) * stride);
    }
}

using Kernel = void (*)(const int64_t*, const int64_t*, int32_t, wide*, int32_t);

// fixed<Sum, n> at [n - 1].
template <typename Sum, typename Lengths>
struct Kernels;
template <typename Sum, int32_t... I>
struct Kernels<Sum, std::integer_sequence<int32_t, I...>> {
    static constexpr Kernel table[] = {&fixed<Sum, I + 1>...};
};

template <typename Sum>
void by_length(const int64_t* x, int32_t nx, const int64_t* y, int32_t ny, wide* out, int32_t stride) {
    // The product is symmetric: the shorter run is the fixed one, and a
    // longer one is cut into pieces of the greatest fixed length.
    if (nx > ny) {
        std::swap(x, y);
        std::swap(nx, ny);
    }
    for (; nx > FIXED_MAX; nx -= FIXED_MAX) {
        fixed<Sum, FIXED_MAX>(x, y, ny, out, stride);
        x += static_cast<int64_t>(Sum::W) * FIXED_MAX;
        out += static_cast<int64_t>(stride) * FIXED_MAX;
    }
    Kernels<Sum, std::make_integer_sequence<int32_t, FIXED_MAX>>::table[nx - 1](x, y, ny, out, stride);
}

// Values of LX and LY limbs (0: the general case, lx and ly).
template <int32_t LX, int32_t LY>
void general(const int64_t* x, int32_t nx, int32_t lx, const int64_t* y, int32_t ny, int32_t ly, wide* out,
             int32_t stride) {
    if constexpr (LX != 0) lx = LX;
    if constexpr (LY != 0) ly = LY;
    for (int32_t k = 0; k < nx + ny - 1; k++) {
        const int32_t i0 = std::max(0, k - ny + 1), i1 = std::min(k, nx - 1);
        constexpr int32_t N = LX && LY ? LX + LY - 1 : MAX_SUMS;
        wide sum[N];
        for (int32_t r = 0; r < lx + ly - 1; r++) sum[r] = 0;
        for (int32_t i = i0; i <= i1; i++) {
            const int64_t* xv = x + static_cast<int64_t>(i) * lx;
            const int64_t* yv = y + static_cast<int64_t>(k - i) * ly;
            for (int32_t p = 0; p < lx; p++)
                for (int32_t q = 0; q < ly; q++) sum[p + q] += wide{xv[p]} * yv[q];
        }
        wide* acc = out + static_cast<int64_t>(k) * stride;
        for (int32_t r = 0; r < lx + ly - 1; r++) acc[r] += sum[r];
    }
}

}  // namespace

void convolve_run_by_runs(const Run& v, const int64_t* y_words, int32_t ly, const Run* us, int32_t n,
                          const int64_t* x_words, int32_t lx, wide* cells, int32_t stride) {
    const int64_t* y = y_words + v.off;
    wide* base = cells + v.place;
    if (lx == 1 && ly == 1)
        for (const Run* u = us; u < us + n; u++) by_length<OneLimb>(x_words + u->off, u->len, y, v.len, base + u->place, stride);
    else if (lx == 2 && ly == 2)
        for (const Run* u = us; u < us + n; u++) by_length<TwoLimbs>(x_words + u->off, u->len, y, v.len, base + u->place, stride);
    else if (lx == 2 && ly == 1)
        for (const Run* u = us; u < us + n; u++) general<2, 1>(x_words + u->off, u->len, 2, y, v.len, 1, base + u->place, stride);
    else if (lx == 1 && ly == 2)
        for (const Run* u = us; u < us + n; u++) general<1, 2>(x_words + u->off, u->len, 1, y, v.len, 2, base + u->place, stride);
    else
        for (const Run* u = us; u < us + n; u++) general<0, 0>(x_words + u->off, u->len, lx, y, v.len, ly, base + u->place, stride);
}

}  // namespace polyimpl
