// The modular kernel of Minpoly on sparse integer matrices with 5 entries
// per row (-9 .. 9), n = 500, 1000, 2000: one image (the projected Krylov
// sequence and its recurrence) beside the annihilation test of the answer,
// both modulo the check prime 48,871. The whole built-in over the integers,
// with the primes it uses, is timed by bench_minpoly.py.
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "matrix/minpoly.h"
#include "numbers/ring.h"

int main() {
    constexpr int32_t q = 48871;
    install_modulus(q);
    mod_is_prime = 1;
    modularmode = lintmode = 1;
    std::mt19937 rng(31);
    double previous = 0;
    for (int32_t n : {500, 1000, 2000}) {
        std::vector<std::vector<std::pair<int32_t, int32_t>>> A(static_cast<size_t>(n));
        for (auto& row : A) {
            std::vector<int32_t> cols;
            while (cols.size() < 5) {
                const int32_t c = 1 + static_cast<int32_t>(rng() % n);
                bool seen = false;
                for (int32_t d : cols) seen |= d == c;
                if (!seen) cols.push_back(c);
            }
            for (int32_t c : cols) {
                int32_t v = static_cast<int32_t>(rng() % 18) - 9;
                if (v >= 0) v++;
                row.emplace_back(c, v < 0 ? v + q : v);
            }
        }
        const int32_t rows[5] = {n / 3 - 1, 2 * n / 3 - 1, n - 2, n / 3 - 4, n - 5};
        std::vector<int32_t> f;
        const double image = bench::best_of(3, [&] { f = mills_image(A, n, 5, rows); });
        bool ok = false;
        const double check = bench::best_of(3, [&] { ok = mills_annihilates(A, n, f); });
        std::printf("n = %d: one image %.1f ms (degree %zu), the check %.2f ms (%s, %.1f%% of an image)",
                    n, image, f.size() - 1, check, ok ? "passed" : "FAILED", 100 * check / image);
        if (previous > 0) std::printf(", doubling n: %.2fx", image / previous);
        std::printf("\n");
        previous = image;
    }
    return 0;
}
