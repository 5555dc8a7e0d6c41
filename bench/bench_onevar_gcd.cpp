// Times the one-variable gcd modulo p of planted problems g·a, g·b (deg g
// = n/4, both products of degree n) as n doubles: the list half-gcd
// (subquadratic: well under 4x per doubling) next to the dense-array
// Euclid, which holds degrees up to fast_gcd_size only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "gcd/onevar_gcd.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "storage/stash.h"

#include "bench_support.h"

namespace {

using namespace bench;

polynode* random_dense(std::mt19937_64& rng, int32_t d) {
    std::uniform_int_distribution<uint32_t> coef(1, static_cast<uint32_t>(modulus - 1));
    std::vector<uint32_t> words(static_cast<size_t>(d) + 1);
    for (auto& w : words) w = coef(rng);
    polynode* p = nullptr;
    array_to_poly(words.data(), d, &p);
    return p;
}

// The planted products, formed in the dense arrays so that building the
// problems costs nothing next to the gcd: a in pieces as long as g.
polynode* product(polynode* g, polynode* a) {
    const int32_t dg = g->exp, da = a->exp;
    std::vector<uint32_t> vg(static_cast<size_t>(dg) + 1), va(static_cast<size_t>(da) + 1), piece(static_cast<size_t>(dg) + 1),
        part(2 * static_cast<size_t>(dg) + 1), sum(static_cast<size_t>(dg + da) + 1, 0);
    fill_poly_array(g, vg.data());
    fill_poly_array(a, va.data());
    for (int32_t lo = 0; lo <= da; lo += dg + 1) {
        const int32_t hi = std::min(da, lo + dg);
        std::fill(piece.begin(), piece.end(), 0);
        std::copy(va.begin() + lo, va.begin() + hi + 1, piece.begin());
        int32_t top = hi - lo;
        while (top > 0 && piece[static_cast<size_t>(top)] == 0) top--;
        if (piece[static_cast<size_t>(top)] == 0) continue;
        fast_array_onevar_mult(piece.data(), vg.data(), part.data(), 0, top, 0, dg);
        for (int32_t i = 0; i <= top + dg; i++)
            sum[static_cast<size_t>(lo + i)] = static_cast<uint32_t>(
                (uint64_t{sum[static_cast<size_t>(lo + i)]} + part[static_cast<size_t>(i)]) % static_cast<uint64_t>(modulus));
    }
    polynode* r = nullptr;
    array_to_poly(sum.data(), dg + da, &r);
    return r;
}

int32_t degree(polynode* p) { return p->numb ? 0 : p->exp; }

void run(int32_t m) {
    modularmode = 1;
    lintmode = 1;
    install_modulus(m);
    mod_is_prime = 1;
    std::mt19937_64 rng(0x4120);
    std::printf("gcd of planted degree-n pairs mod %d (gcd of degree n/4)\n", m);
    std::printf("%8s %8s %14s %8s %14s %8s\n", "n", "deg gcd", "half-gcd ms", "ratio", "dense ms", "ratio");
    double last_h = 0, last_d = 0;
    for (int32_t n : {5000, 10000, 20000, 40000, 80000}) {
        polynode* g = random_dense(rng, n / 4);
        polynode* a = random_dense(rng, n - n / 4);
        polynode* b = random_dense(rng, n - n / 4 - 1);
        polynode* u = product(g, a);
        polynode* v = product(g, b);
        polynode* r = nullptr;
        auto t0 = Clock::now();
        emgcd_poly(u, v, &r, nullptr, 1);
        const double h = ms_since(t0);
        const int32_t dg = degree(r);
        double d = -1;
        if (n <= fast_gcd_size) {
            t0 = Clock::now();
            if (m <= 65534)
                fastest_poly_gcd(u, v, &r, 0, nullptr);
            else
                faster_poly_gcd(u, v, &r, 0, nullptr);
            d = ms_since(t0);
        }
        std::printf("%8d %8d %14.1f %8.2f", n, dg, h, last_h > 0 ? h / last_h : 0.0);
        if (d >= 0)
            std::printf(" %14.1f %8.2f\n", d, last_d > 0 ? d / last_d : 0.0);
        else
            std::printf(" %14s %8s\n", "-", "-");
        last_h = h;
        last_d = d;
        for (polynode** p : {&g, &a, &b, &u, &v, &r}) free_poly(p);
    }
}

}  // namespace

int main() {
    open_system_stashes();
    init_number_constants();
    init_poly_work_arrays();
    run(65521);
    run(2147483629);
    return 0;
}
