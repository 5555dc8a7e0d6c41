// p-th roots in GF(p^N) = GF(p)[t]/(m), N = 4, 16, 64, over GF(2) (m a
// low-weight irreducible) and GF(65521) (m = t^N - 17, 17 a non-residue):
// the time to build the root table (N powers and one N x N inverse), then
// 10,000 roots of random elements. Every root is raised to the p-th power
// by the power routine and compared with its element.
#include <cstdio>
#include <random>
#include <vector>

#include "bench_support.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/powers.h"
#include "quoly/pth_roots.h"
#include "storage/equality.h"
#include "toplevel/datafiles.h"

namespace {

// sum of c_e t^e over the given (exponent, coefficient) pairs.
polynode* from_terms(const std::vector<std::pair<int32_t, int32_t>>& terms) {
    polynode* p = nullptr;
    poly_set(0, &p);
    for (auto [e, c] : terms) {
        c = (c % modulus + modulus) % modulus;
        if (c == 0) continue;
        polynode* t = nullptr;
        poly_set(c, &t);
        if (e > 0) t = new_term_node(e, t);
        poly_add(p, t, &p);
        free_poly(&t);
    }
    return p;
}

polynode* random_element(std::mt19937_64& rng, int32_t n) {
    std::vector<std::pair<int32_t, int32_t>> t;
    for (int32_t e = n - 1; e >= 0; e--) t.push_back({e, static_cast<int32_t>(rng() % modulus)});
    return from_terms(t);
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    bench::attach_variables(1);
    pt* t = polynames;
    constexpr int ROOTS = 10000;
    constexpr int ELEMENTS = 200;
    std::printf("p-th roots in GF(p^N): table build, then %d roots, best of 3\n", ROOTS);
    std::printf("%7s %4s %12s %16s %12s\n", "p", "N", "table ms", "10,000 roots ms", "us / root");
    modularmode = 1;
    lintmode = 1;
    mod_is_prime = 1;
    for (int32_t p : {2, 65521}) {
        install_modulus(p);
        for (int32_t n : {4, 16, 64}) {
            std::vector<std::pair<int32_t, int32_t>> m;
            if (p == 2) {
                m = n == 4 ? decltype(m){{4, 1}, {1, 1}, {0, 1}}
                    : n == 16 ? decltype(m){{16, 1}, {12, 1}, {3, 1}, {1, 1}, {0, 1}}
                              : decltype(m){{64, 1}, {4, 1}, {3, 1}, {1, 1}, {0, 1}};
            } else {
                m = {{n, 1}, {0, -17}};
            }
            t->relation = from_terms(m);
            t->modout_degree = n;
            t->field = 1;
            make_muldata(&t->reductions, &t->relation, n, t);
            pseudo_polynames = polynames;
            field_depth = 1;

            const double table_ms = bench::best_of(3, [&] { do_this_level(t); });
            std::mt19937_64 rng(static_cast<uint64_t>(n * 7 + p));
            std::vector<polynode*> el;
            for (int i = 0; i < ELEMENTS; i++) el.push_back(random_element(rng, n));
            const double roots_ms = bench::best_of(3, [&] {
                for (int i = 0; i < ROOTS; i++) {
                    polynode* r = nullptr;
                    poly_assign(el[i % ELEMENTS], &r);
                    pth_root(&r, t);
                    free_poly(&r);
                }
            });
            int wrong = 0;
            for (polynode* a : el) {
                polynode* r = nullptr;
                poly_assign(a, &r);
                pth_root(&r, t);
                polynode* back = nullptr;
                poly_assign(r, &back);
                compute_power(&back, p, t);
                if (!poly_equal(back, a)) wrong++;
                free_poly(&r);
                free_poly(&back);
            }
            std::printf("%7d %4d %12.3f %16.1f %12.2f%s\n", p, n, table_ms, roots_ms, roots_ms * 1000 / ROOTS,
                        wrong ? "  WRONG" : "");
            for (polynode*& e : el) free_poly(&e);
            free_poly(&t->relation);
            free_poly(&t->reductions);
            free_poly(&t->root_table);
            t->field = 0;
            field_depth = 0;
            pseudo_polynames = nullptr;
        }
    }
    bench::detach_variables();
    return 0;
}
