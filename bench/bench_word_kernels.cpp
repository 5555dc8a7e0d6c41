// Times the word kernels of the polynomial determinant's innermost level
// modulo a 31-bit prime, each beside its scalar counterpart: the
// determinants of a 12 x 12 matrix of quadratics at 25 points (four points
// to the vector lanes, against one evaluation and one determinant per
// point), and the interpolation of 25 values in one column and in 325
// columns (the shapes of the innermost and the outer levels).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "det/word_det_lanes.h"
#include "det/word_interp.h"

namespace {

template <typename F>
double best_us(int runs, int reps, F f) {
    double best = 1e30;
    for (int r = 0; r < runs; r++) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < reps; k++) f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::micro>(t1 - t0).count() / reps);
    }
    return best;
}

}  // namespace

int main() {
    const uint32_t p = 2147483629u;
    const wordmod::Prime P(p);
    std::mt19937_64 rng(7);
    const int32_t n = 12;
    const size_t len = 3, np = 25, count = static_cast<size_t>(n) * n;
    std::vector<uint32_t> planes(len * count);
    for (auto& c : planes) c = static_cast<uint32_t>(rng() % p);
    std::vector<uint32_t> xs(np);
    for (size_t i = 0; i < np; i++) xs[i] = static_cast<uint32_t>(i * (p / np) + rng() % (p / np));
    std::vector<uint32_t> out(np), ref(np);

    const double lanes = best_us(7, 200, [&] {
        wordmod::determinants_at_points(planes.data(), len, n, xs.data(), np, P, out.data());
    });
    const double scalar = best_us(7, 200, [&] {
        wordmod::determinants_at_points_portable(planes.data(), len, n, xs.data(), np, P, ref.data());
    });
    std::printf("12 x 12 determinants at 25 points: lanes %.1f us, one at a time %.1f us (%.2fx)%s\n", lanes, scalar,
                scalar / lanes, out == ref ? "" : "   DIFFERENT VALUES");

    for (size_t ncols : {size_t{1}, size_t{325}}) {
        std::vector<uint32_t> vals(ncols * np), a(ncols * np), b(ncols * np);
        for (auto& v : vals) v = static_cast<uint32_t>(rng() % p);
        const int reps = ncols == 1 ? 2000 : 20;
        const double wide = best_us(7, reps, [&] {
            wordmod::interpolate_columns(xs.data(), np, vals.data(), ncols, P, a.data());
        });
        const double plain = best_us(7, reps, [&] {
            wordmod::interpolate_columns_portable(xs.data(), np, vals.data(), ncols, P, b.data());
        });
        std::printf("interpolation of %zu column(s) at 25 points: wide %.2f us, scalar %.2f us (%.2fx)%s\n", ncols, wide,
                    plain, plain / wide, a == b ? "" : "   DIFFERENT VALUES");
    }
    return 0;
}
