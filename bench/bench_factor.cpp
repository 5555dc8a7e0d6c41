// Factoring over Z/p: random monic polynomials of degree 100, 200 and 400
// modulo 2,147,483,629 and 65,521 (three seeds each), with the share of the
// distinct-degree stage (timed alone by the irreducibility test's run up to
// its first split, or, for an irreducible input, the whole loop); doubling
// the degree should cost at most 8.5x. Then the irreducibility test of a
// random irreducible polynomial of degree 400 (the whole distinct-degree
// loop) and x^p modulo a monic polynomial of degree 1,000.
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "builtins/factor.h"
#include "builtins/powermod.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "toplevel/datafiles.h"

#include "bench_support.h"

namespace {

using namespace bench;

void use_prime(int32_t p) {
    modularmode = 1;
    lintmode = 1;
    install_modulus(p);
    mod_is_prime = 1;
}

polynode* random_monic(std::mt19937_64& rng, int32_t d) {
    std::vector<uint32_t> w(static_cast<size_t>(d) + 1);
    for (auto& c : w) c = static_cast<uint32_t>(rng() % static_cast<uint64_t>(modulus));
    w[static_cast<size_t>(d)] = 1;
    polynode* p = nullptr;
    array_to_poly(w.data(), d, &p);
    return p;
}

// The whole factorisation, in milliseconds; *factors the count.
double time_factor(polynode* f, int32_t* factors) {
    polynode* p = nullptr;
    poly_assign(f, &p);
    polynode* list = nullptr;
    const auto t0 = Clock::now();
    factor_poly(&p, &list, factors, 0, 0, -1);
    const double ms = ms_since(t0);
    free_poly(&list);
    return ms;
}

// A polynomial quoly holding a copy of f.
quoly* quoly_of(polynode* f) {
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->den = nullptr;
    q->pnum = nullptr;
    poly_assign(f, &q->pnum);
    return q;
}

polynode* random_irreducible(std::mt19937_64& rng, int32_t d) {
    for (;;) {
        polynode* f = random_monic(rng, d);
        quoly* q = quoly_of(f);
        irreducible_poly(&q, -1);
        const bool irreducible = q->isnum && q->nnum->value == 1;
        free_quoly(&q);
        if (irreducible) return f;
        free_poly(&f);
    }
}


}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    attach_variables(1);
    std::printf("Factor of random monic polynomials (ms; minimum of 2 runs per seed)\n");
    std::printf("%12s %6s %6s %12s %12s %8s %8s\n", "modulus", "degree", "seed", "factor ms", "dist-deg ms", "share",
                "factors");
    for (int32_t p : {2147483629, 65521}) {
        use_prime(p);
        double previous = 0;
        for (int32_t d : {100, 200, 400}) {
            double total = 0;
            for (int seed = 1; seed <= 3; seed++) {
                std::mt19937_64 rng(static_cast<uint64_t>(seed) * 1000 + static_cast<uint64_t>(d));
                polynode* f = random_monic(rng, d);
                int32_t count = 0;
                double ddf = 1e300;
                const double ms = best_of(2, [&] {
                    time_factor(f, &count);
                    ddf = std::min(ddf, factor_distinct_degree_ms);
                });
                std::printf("%12d %6d %6d %12.1f %12.1f %7.0f%% %8d\n", p, d, seed, ms, ddf, 100 * ddf / ms, count);
                total += ms;
                free_poly(&f);
            }
            if (previous > 0) std::printf("%12s %6d  doubling ratio of the seed totals: %.2fx\n", "", d, total / previous);
            previous = total;
        }
    }
    use_prime(2147483629);
    {
        std::mt19937_64 rng(400);
        polynode* f = random_irreducible(rng, 400);
        const double ms = best_of(3, [&] {
            quoly* q = quoly_of(f);
            irreducible_poly(&q, -1);
            free_quoly(&q);
        });
        std::printf("Irred of a random irreducible polynomial of degree 400 mod 2147483629: %.1f ms\n", ms);
        free_poly(&f);
    }
    {
        std::mt19937_64 rng(1000);
        polynode* m = random_monic(rng, 1000);
        imag* e = new_number();
        {
            LintOff digits;
            setvalue(modulus, e);
        }
        const double ms = best_of(3, [&] {
            quoly* a = nullptr;
            base_quoly(&a, 1);
            quoly* mq = quoly_of(m);
            powermod(&a, &mq, e, 0);
            free_quoly(&a);
            free_quoly(&mq);
        });
        std::printf("x^p mod a monic polynomial of degree 1000, p = 2147483629: %.1f ms\n", ms);
        free_poly(&m);
    }
    return 0;
}
