// Times products of dense one-variable polynomials mod p through the
// one-variable modular product, at degrees from 1,000 to 20,000, and prints
// the growth per doubling of the degree (Karatsuba: about 3; schoolbook: 4).
// Degrees above half the dense arrays go through the list Karatsuba first.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "storage/records.h"
#include "storage/stash.h"

namespace {

polynode* random_dense(std::mt19937_64& rng, int32_t degree) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    std::vector<uint32_t> w(static_cast<size_t>(degree) + 1);
    for (uint32_t& x : w) x = static_cast<uint32_t>(rng() % p);
    w[degree] = 1 + static_cast<uint32_t>(rng() % (p - 1));
    polynode* poly = nullptr;
    array_to_poly(w.data(), degree, &poly);
    return poly;
}

double best_ms(polynode* a, polynode* b, int runs) {
    double best = 1e30;
    for (int r = 0; r < runs; r++) {
        polynode* c = nullptr;
        const auto t0 = std::chrono::steady_clock::now();
        simplest_poly_mult(a, b, &c, 0, 0, 0, 0);
        const auto t1 = std::chrono::steady_clock::now();
        free_poly(&c);
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main() {
    open_system_stashes();
    init_number_constants();
    init_poly_work_arrays();
    modularmode = 1;
    lintmode = 1;
    mod_is_prime = 1;

    const int32_t degrees[] = {1000, 2000, 5000, 10000, 20000};
    std::printf("dense one-variable product mod p, best of 5 (3 above degree 5,000)\n");
    std::printf("%12s %8s %12s %14s\n", "modulus", "degree", "time ms", "per doubling");
    for (int32_t p : {65521, 2147483629}) {
        install_modulus(p);
        std::mt19937_64 rng(static_cast<uint64_t>(p));
        double previous = 0;
        int32_t previous_degree = 0;
        for (int32_t d : degrees) {
            polynode* a = random_dense(rng, d);
            polynode* b = random_dense(rng, d);
            const double ms = best_ms(a, b, d > 5000 ? 3 : 5);
            if (previous > 0) {
                // The growth for one doubling: (t2 / t1) ^ (1 / log2(d2 / d1)).
                const double per = std::pow(ms / previous, 1.0 / std::log2(double(d) / previous_degree));
                std::printf("%12d %8d %12.2f %14.2f\n", p, d, ms, per);
            } else {
                std::printf("%12d %8d %12.2f %14s\n", p, d, ms, "-");
            }
            previous = ms;
            previous_degree = d;
            free_poly(&a);
            free_poly(&b);
        }
    }
    return 0;
}
