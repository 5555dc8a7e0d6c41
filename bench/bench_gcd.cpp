// Times the multivariate gcd over Z: the full driver (which takes the
// modular method for large pairs) beside Algorithm C alone, on expanded
// products sharing a factor: dense ones, u = (1+x+y+z)^k (2+x+y+z)^k and
// v = (1+x+y+z)^k (3+x+y+z)^k in 3 variables (and the like in 5 and 7),
// and sparse ones, random polynomials of 50 to
// 200 terms of total degree 20 to 40 in 3, 5 and 7 variables times a shared
// random factor. Algorithm C alone runs on the dense problems only, unless
// "algc" is passed as the second argument (after the data directory, "-"
// for the default): on the sparse ones it takes many minutes each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <cstdlib>

#include "gcd/flat_modgcd.h"
#include "gcd/polygcd.h"
#include "poly/dense.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "support/forced_algc.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

#include "bench_support.h"

namespace {

using namespace bench;

// 1 + a random sum of `terms` monomials of total degree <= deg, each with
// positive degree in the first variable, coefficients in -99 .. 99.
polynode* random_sparse(std::mt19937_64& rng, int nv, int terms, int deg) {
    polynode* p = nullptr;
    poly_set(1, &p);
    for (int t = 0; t < terms; t++) {
        polynode* m = nullptr;
        int c = static_cast<int>(rng() % 199) - 99;
        poly_set(c == 0 ? 1 : c, &m);
        int left = static_cast<int>(rng() % deg) + 1;
        for (int i = 1; i <= nv && left > 0; i++) {
            int e = i == 1 ? 1 + static_cast<int>(rng() % left) : static_cast<int>(rng() % (left + 1));
            left -= e;
            polynode* x = nullptr;
            base_poly(&x, i);
            for (int j = 0; j < e; j++) poly_mult(m, x, &m, polynames);
            free_poly(&x);
        }
        poly_add(p, m, &p);
        free_poly(&m);
    }
    return p;
}

struct Row {
    const char* name;
    polynode* u;
    polynode* v;
    bool big;
};

// One image of the modular method alone, as it takes it: the flat gcd
// modulo a prime below 2^31 read straight off the integer operands. Its
// time in ms, -1 when the routine declines.
double one_image(const Row& r) {
    flatgcd::FlatPoly g;
    const auto t0 = Clock::now();
    if (!flat_integer_image(r.u, r.v, 2147483629, polynames, nullptr, 0, &g, nullptr)) return -1;
    return ms_since(t0);
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 && std::strcmp(argv[1], "-") != 0 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    const bool all_algc = argc > 2 && std::strcmp(argv[2], "algc") == 0;
    init_poly_work_arrays();
    attach_variables(7);
    std::vector<Row> rows;
    struct Dense {
        int nv, k;
        const char* name;
        bool big;
    };
    for (const Dense& d : {Dense{3, 10, "dense 3 vars ^10", false}, Dense{3, 20, "dense 3 vars ^20", false},
                           Dense{5, 6, "dense 5 vars ^6", false}, Dense{7, 4, "dense 7 vars ^4", false},
                           Dense{5, 8, "dense 5 vars ^8", false}, Dense{7, 5, "dense 7 vars ^5", false}}) {
        polynode* f = power_of_sum(1, d.nv, d.k);
        polynode* a = power_of_sum(2, d.nv, d.k);
        polynode* b = power_of_sum(3, d.nv, d.k);
        polynode *u = nullptr, *v = nullptr;
        poly_mult(f, a, &u, polynames);
        poly_mult(f, b, &v, polynames);
        rows.push_back({d.name, u, v, d.big});
        free_poly(&f);
        free_poly(&a);
        free_poly(&b);
    }
    std::mt19937_64 rng(20261207);
    for (int nv : {3, 5, 7}) {
        polynode* g = random_sparse(rng, nv, 20, 10);
        polynode* a = random_sparse(rng, nv, 50 + static_cast<int>(rng() % 151), 20 + static_cast<int>(rng() % 21));
        polynode* b = random_sparse(rng, nv, 50 + static_cast<int>(rng() % 151), 20 + static_cast<int>(rng() % 21));
        polynode *u = nullptr, *v = nullptr;
        poly_mult(g, a, &u, polynames);
        poly_mult(g, b, &v, polynames);
        static const char* names[] = {"sparse 3 vars", "sparse 5 vars", "sparse 7 vars"};
        rows.push_back({names[nv / 2 - 1], u, v, true});
        free_poly(&g);
        free_poly(&a);
        free_poly(&b);
    }
    std::printf("%-18s %14s %14s %8s %14s\n", "gcd over Z", "driver ms", "Alg C ms", "ratio", "one image ms");
    // For profiling: BENCH_ONLY=<row> BENCH_REPEAT=<n> runs the driver on
    // one row n times and prints nothing (BENCH_IMAGE=1: one modular image).
    const char* only = std::getenv("BENCH_ONLY");
    if (only) {
        Row& r = rows[std::atoi(only)];
        const char* repeat = std::getenv("BENCH_REPEAT");
        // BENCH_IMAGE=1: the flat gcd modulo one prime instead.
        const bool image_only = std::getenv("BENCH_IMAGE") != nullptr;
        for (int k = 0; k < (repeat ? std::atoi(repeat) : 1); k++) {
            polynode* g1 = nullptr;
            reset_statement_state();
            if (image_only) {
                one_image(r);
                continue;
            }
            polygcd(r.u, r.v, &g1, 0, 1, 1, polynames, 1, 1, 1);
            free_poly(&g1);
        }
        return 0;
    }
    // Each figure is the least of `runs` timings (the first run also warms
    // the allocator's free lists).
    const int runs = 3;
    for (Row& r : rows) {
        polynode* g1 = nullptr;
        double driver = 1e300;
        for (int k = 0; k < runs; k++) {
            free_poly(&g1);
            reset_statement_state();
            auto t0 = Clock::now();
            polygcd(r.u, r.v, &g1, 0, 1, 1, polynames, 1, 1, 1);
            driver = std::min(driver, ms_since(t0));
        }
        auto t0 = Clock::now();
        double algc = -1;
        bool same = true;
        if (!r.big || all_algc) {
            for (int k = 0; k < runs; k++) {
                reset_statement_state();
                t0 = Clock::now();
                polynode* g2 = forced_algorithm_c(r.u, r.v, polynames);
                const double t = ms_since(t0);
                algc = algc < 0 ? t : std::min(algc, t);
                same = same && poly_equal(g1, g2);
                free_poly(&g2);
            }
        }
        double image = -1;
        for (int k = 0; k < runs; k++) {
            const double t = one_image(r);
            if (t >= 0) image = image < 0 ? t : std::min(image, t);
        }
        char img[32] = "(declined)";
        if (image >= 0) std::snprintf(img, sizeof img, "%.1f", image);
        if (algc >= 0)
            std::printf("%-18s %14.1f %14.1f %8.1f %14s%s\n", r.name, driver, algc, algc / std::max(driver, 1e-3), img,
                        same ? "" : "  DIFFERENT ANSWERS");
        else
            std::printf("%-18s %14.1f %14s %8s %14s\n", r.name, driver, "(skipped)", "", img);
        std::fflush(stdout);
        free_poly(&g1);
        free_poly(&r.u);
        free_poly(&r.v);
    }
    return 0;
}
