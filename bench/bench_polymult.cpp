// Times the general product poly_mult: dense one-variable products mod p as
// the degree doubles (subquadratic: clearly less than 4x per doubling), the
// sparse product f (f + 1) with f = (1 + x + y + z + t)^20 over Z, and the
// square of (1 + x + y + z)^20 mod 65,521.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "storage/stash.h"

#include "bench_support.h"

namespace {

using namespace bench;

// 1 + x_1 + ... + x_n.
polynode* linear_sum(int n) {
    polynode* s = nullptr;
    poly_set(1, &s);
    for (int i = 1; i <= n; i++) {
        polynode* v = nullptr;
        base_poly(&v, i);
        poly_add(s, v, &s);
        free_poly(&v);
    }
    return s;
}

// base^k by repeated multiplication through poly_mult.
polynode* power(polynode* base, int k) {
    polynode* p = nullptr;
    poly_assign(base, &p);
    for (int i = 1; i < k; i++) poly_mult(p, base, &p, nilpol);
    return p;
}


void dense_one_variable() {
    modularmode = 1;
    lintmode = 1;
    mod_is_prime = 1;
    attach_variables(1);
    std::printf("dense one-variable product through poly_mult, best of 5\n");
    std::printf("%12s %8s %12s %14s\n", "modulus", "degree", "time ms", "per doubling");
    for (int32_t p : {65521, 2147483629}) {
        install_modulus(p);
        std::mt19937_64 rng(static_cast<uint64_t>(p));
        auto random_dense = [&](int32_t degree) {
            std::vector<uint32_t> w(static_cast<size_t>(degree) + 1);
            for (uint32_t& x : w) x = static_cast<uint32_t>(rng() % static_cast<uint32_t>(p));
            w[degree] = 1;
            polynode* poly = nullptr;
            array_to_poly(w.data(), degree, &poly);
            return poly;
        };
        double previous = 0;
        for (int32_t d : {1000, 2000, 4000, 8000, 16000, 20000}) {
            polynode* a = random_dense(d);
            polynode* b = random_dense(d);
            const double ms = best_of(5, [&] {
                polynode* c = nullptr;
                poly_mult(a, b, &c, nilpol);
                free_poly(&c);
            });
            if (previous > 0 && d != 20000)
                std::printf("%12d %8d %12.2f %14.2f\n", p, d, ms, ms / previous);
            else
                std::printf("%12d %8d %12.2f %14s\n", p, d, ms, "-");
            if (d != 20000) previous = ms;
            free_poly(&a);
            free_poly(&b);
        }
    }
    detach_variables();
}

void sparse_over_z() {
    modularmode = 0;
    lintmode = 0;
    install_modulus(0);
    attach_variables(4);
    polynode* s = linear_sum(4);
    auto t0 = Clock::now();
    polynode* f = power(s, 20);
    const double build = ms_since(t0);
    polynode* g = nullptr;
    polynode* one = nullptr;
    poly_set(1, &one);
    poly_add(f, one, &g);
    polynode* h = nullptr;
    t0 = Clock::now();
    poly_mult(f, g, &h, nilpol);
    const double ms = ms_since(t0);
    std::printf("%-44s %10ld %10ld %12.0f %12.0f\n", "f (f + 1), f = (1 + x + y + z + t)^20, Z", count_terms(f),
                count_terms(h), build, ms);

    // The same with coefficients of three digits, beyond the machine
    // accumulators: every coefficient product is a number record.
    polynode* c = nullptr;
    poly_set(1 << 30, &c);
    poly_mult(c, c, &c, nilpol);
    poly_mult(f, c, &f, nilpol);
    poly_add(f, one, &g);
    t0 = Clock::now();
    poly_mult(f, g, &h, nilpol);
    const double big = ms_since(t0);
    std::printf("%-44s %10ld %10ld %12s %12.0f\n", "the same with f times 2^60 (3-digit numbers)", count_terms(f),
                count_terms(h), "-", big);
    for (polynode** p : {&s, &f, &g, &h, &one, &c}) free_poly(p);
    detach_variables();
}

void square_mod_p() {
    modularmode = 1;
    lintmode = 1;
    mod_is_prime = 1;
    install_modulus(65521);
    attach_variables(3);
    polynode* s = linear_sum(3);
    auto t0 = Clock::now();
    polynode* f = power(s, 20);
    const double build = ms_since(t0);
    polynode* h = nullptr;
    const double ms = best_of(3, [&] {
        free_poly(&h);
        poly_mult(f, f, &h, nilpol);
    });
    std::printf("%-44s %10ld %10ld %12.0f %12.0f\n", "f^2, f = (1 + x + y + z)^20, Z/65521", count_terms(f),
                count_terms(h), build, ms);
    for (polynode** p : {&s, &f, &h}) free_poly(p);
    detach_variables();
}

}  // namespace

int main() {
    open_system_stashes();
    init_number_constants();
    init_poly_work_arrays();

    dense_one_variable();
    std::printf("\nsparse products (f built by repeated poly_mult)\n");
    std::printf("%-44s %10s %10s %12s %12s\n", "product", "terms of f", "terms", "build f ms", "product ms");
    sparse_over_z();
    square_mod_p();
    return 0;
}
