// Products of random reduced elements of Q(a), a a root of a random monic
// integer relation of degree n = 8, 16, 32, 64: 10,000 products through the
// product that reduces as it goes (the power table) beside the plain
// product folded by division. The results are compared as they are made.
#include <cstdio>
#include <random>
#include <vector>

#include "bench_support.h"
#include "poly/modout.h"
#include "storage/equality.h"
#include "toplevel/datafiles.h"

namespace {

polynode* random_element(std::mt19937_64& rng, int32_t terms, int32_t bound) {
    polynode* p = nullptr;
    poly_set(0, &p);
    for (int32_t e = 0; e < terms; e++) {
        const int32_t c = static_cast<int32_t>(rng() % (2 * bound + 1)) - bound;
        if (c == 0) continue;
        polynode* t = nullptr;
        poly_set(c, &t);
        if (e > 0) t = new_term_node(e, t);
        polynode* s = nullptr;
        poly_add(p, t, &s);
        free_poly(&p);
        free_poly(&t);
        p = s;
    }
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    bench::attach_variables(1);
    pt* x = polynames;
    x->cutoff = 1 << 20;   // the schoolbook at every size
    constexpr int PRODUCTS = 10000, ELEMENTS = 100;
    std::printf("10,000 products of reduced elements of Q(a), best of 3\n");
    std::printf("%6s %14s %16s %12s %12s %12s %8s\n", "degree", "table ms", "division ms", "product ms",
                "table fold", "div. fold", "ratio");
    for (int32_t n : {8, 16, 32, 64}) {
        std::mt19937_64 rng(static_cast<uint64_t>(n));
        polynode* relation = random_element(rng, n, 9);
        polynode* lead = nullptr;
        poly_set(1, &lead);
        lead = new_term_node(n, lead);
        poly_add(relation, lead, &relation);
        free_poly(&lead);
        x->relation = relation;
        x->modout_degree = n;
        make_muldata(&x->reductions, &x->relation, n, x);
        pseudo_polynames = polynames;
        modout_above_field = 1;
        std::vector<polynode*> el;
        for (int i = 0; i < ELEMENTS; i++) el.push_back(random_element(rng, n, 100));
        int mismatches = 0;
        const double table = bench::best_of(3, [&] {
            for (int k = 0; k < PRODUCTS; k++) {
                polynode* c = nullptr;
                poly_mult(el[k % ELEMENTS], el[(k * 7 + 3) % ELEMENTS], &c, polynames);
                free_poly(&c);
            }
        });
        const double division = bench::best_of(3, [&] {
            for (int k = 0; k < PRODUCTS; k++) {
                polynode* c = nullptr;
                poly_mult(el[k % ELEMENTS], el[(k * 7 + 3) % ELEMENTS], &c, nilpol);
                fold_poly(&c, &x->relation, n, x);
                free_poly(&c);
            }
        });
        const double plain = bench::best_of(3, [&] {
            for (int k = 0; k < PRODUCTS; k++) {
                polynode* c = nullptr;
                poly_mult(el[k % ELEMENTS], el[(k * 7 + 3) % ELEMENTS], &c, nilpol);
                free_poly(&c);
            }
        });
        for (int k = 0; k < ELEMENTS; k++) {
            polynode *c = nullptr, *d = nullptr;
            poly_mult(el[k], el[(k * 7 + 3) % ELEMENTS], &c, polynames);
            poly_mult(el[k], el[(k * 7 + 3) % ELEMENTS], &d, nilpol);
            fold_poly(&d, &x->relation, n, x);
            if (!poly_equal(c, d)) mismatches++;
            free_poly(&c);
            free_poly(&d);
        }
        // The folds alone: each time less the unreduced product's.
        std::printf("%6d %14.1f %16.1f %12.1f %12.1f %12.1f %8.2f%s\n", n, table, division, plain, table - plain,
                    division - plain, (division - plain) / (table - plain), mismatches ? "  MISMATCH" : "");
        for (polynode*& p : el) free_poly(&p);
        free_poly(&x->relation);
        free_poly(&x->reductions);
        pseudo_polynames = nullptr;
        modout_above_field = 0;
    }
    bench::detach_variables();
    return 0;
}
