// Inverses of random elements of Q(a) and GF(p)(a), a a root of
// t^n + 2t + 2 (irreducible over Q by Eisenstein's criterion), for
// n = 8, 16, 32: the time per inverse and, modulo p, the growth per
// doubling of n. Every inverse is multiplied back and checked.
#include <cstdio>
#include <random>
#include <vector>

#include "bench_support.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/datafiles.h"

namespace {

polynode* random_element(std::mt19937_64& rng, int32_t terms, int32_t bound) {
    polynode* p = nullptr;
    poly_set(0, &p);
    for (int32_t e = 0; e < terms; e++) {
        int32_t c = static_cast<int32_t>(rng() % (2 * bound + 1)) - bound;
        if (e == terms - 1 && c == 0) c = 1;   // degree terms - 1 >= 1
        if (modularmode) c = (c % modulus + modulus) % modulus;
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

// a·inverse's numerator is the inverse's denominator (1 without one).
bool multiplies_back(polynode* a, quoly* inv) {
    polynode* num = nullptr;
    if (inv->isnum) {
        poly_set(0, &num);
        num_assign(inv->nnum, num->ncoef);
    } else {
        poly_assign(inv->pnum, &num);
    }
    polynode* prod = nullptr;
    poly_mult(a, num, &prod, polynames);
    polynode* want = nullptr;
    if (!inv->isnum && inv->den) poly_assign(inv->den, &want);
    else poly_set(1, &want);
    const bool ok = poly_equal(prod, want);
    free_poly(&num);
    free_poly(&prod);
    free_poly(&want);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    bench::attach_variables(1);
    pt* x = polynames;
    constexpr int ELEMENTS = 20;
    std::printf("Inverses in Q(a) and GF(65521)(a), a^n + 2a + 2 = 0, best of 3\n");
    std::printf("%8s %6s %14s %10s\n", "ring", "degree", "ms / inverse", "growth");
    for (int32_t p : {0, 65521}) {
        if (p) {
            modularmode = 1;
            lintmode = 1;
            install_modulus(p);
            mod_is_prime = 1;
        }
        double previous = 0;
        for (int32_t n : {8, 16, 32}) {
            std::mt19937_64 rng(static_cast<uint64_t>(n + p));
            polynode* relation = nullptr;
            {
                polynode *lead = nullptr, *lin = nullptr, *two = nullptr;
                poly_set(1, &lead);
                lead = new_term_node(n, lead);
                poly_set(2, &lin);
                lin = new_term_node(1, lin);
                poly_set(2, &two);
                polynode* s = nullptr;
                poly_add(lead, lin, &s);
                poly_add(s, two, &relation);
                free_poly(&s);
                free_poly(&lead);
                free_poly(&lin);
                free_poly(&two);
            }
            x->relation = relation;
            x->modout_degree = n;
            x->field = 1;
            make_muldata(&x->reductions, &x->relation, n, x);
            pseudo_polynames = polynames;
            field_depth = 1;
            std::vector<polynode*> el;
            for (int i = 0; i < ELEMENTS; i++) el.push_back(random_element(rng, n, 100));
            int wrong = 0;
            const double ms = bench::best_of(3, [&] {
                for (polynode* a : el) {
                    quoly* inv = nullptr;
                    poly_mod_invert(a, &inv, polynames);
                    free_quoly(&inv);
                }
            }) / ELEMENTS;
            for (polynode* a : el) {
                quoly* inv = nullptr;
                poly_mod_invert(a, &inv, polynames);
                if (!multiplies_back(a, inv)) wrong++;
                free_quoly(&inv);
            }
            char growth[16] = "";
            if (previous > 0) std::snprintf(growth, sizeof growth, "%.2fx", ms / previous);
            std::printf("%8s %6d %14.3f %10s%s\n", p ? "GF(p)" : "Q", n, ms, growth, wrong ? "  WRONG" : "");
            previous = ms;
            for (polynode*& e : el) free_poly(&e);
            free_poly(&x->relation);
            free_poly(&x->reductions);
            x->field = 0;
            field_depth = 0;
            pseudo_polynames = nullptr;
        }
    }
    bench::detach_variables();
    return 0;
}
