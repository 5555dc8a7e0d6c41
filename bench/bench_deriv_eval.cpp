// Total evaluation and the derivative of a rational function.
//
// 1. A dense polynomial of degree 30 in each of x, y, z (31^3 terms,
//    coefficients -99 .. 99) at the rational point (3/7, -5/11, 2/13):
//    Horner's rule (tot_eval_poly) beside term-by-term evaluation, which
//    sums c x^i y^j z^k with the powers taken from tables. The two values
//    are checked equal; the figure is the ratio.
// 2. The derivative in x of (1 + x + y)^30 / (2 + x - y)^20, beside the
//    one gcd it needs, gcd(d, d'), and the normalisation's check.
// Each figure is the best of 5 runs (3 for the slow term-by-term sum).
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "bench_support.h"
#include "builtins/derivative.h"
#include "builtins/total_eval.h"
#include "gcd/polygcd.h"
#include "numbers/numbers.h"
#include "poly/dense.h"
#include "poly/powers.h"
#include "quoly/quoly.h"
#include "storage/nodetests.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

constexpr int32_t DEG = 30;

quoly* rational(int32_t n, int32_t d) {
    quoly *a = nullptr, *b = nullptr;
    quoly_set(n, &a);
    quoly_set(d, &b);
    fast_quoly_quot(&a, &b, 0);
    free_quoly(&b);
    return a;
}

// sum c x^i y^j z^k over the dense coefficient cube (index (i, j, k)).
quoly* term_by_term(const std::vector<int32_t>& coef, quoly* const point[3]) {
    std::vector<quoly*> pw[3];
    for (int v = 0; v < 3; v++) {
        pw[v].assign(DEG + 1, nullptr);
        quoly_set(1, &pw[v][0]);
        for (int e = 1; e <= DEG; e++) quoly_mult(pw[v][e - 1], point[v], &pw[v][e]);
    }
    quoly* sum = nullptr;
    quoly_set(0, &sum);
    size_t at = 0;
    for (int i = 0; i <= DEG; i++)
        for (int j = 0; j <= DEG; j++)
            for (int k = 0; k <= DEG; k++) {
                quoly* t = nullptr;
                quoly_set(coef[at++], &t);
                fast_quoly_mult(&t, &pw[0][i]);
                fast_quoly_mult(&t, &pw[1][j]);
                fast_quoly_mult(&t, &pw[2][k]);
                best_quoly_add(&sum, t);
            }
    for (auto& table : pw)
        for (quoly*& q : table) free_quoly(&q);
    return sum;
}

// The same cube as a polynomial, built node by node: exponents decreasing
// at every level, a constant term as a number node (no coefficient is 0).
polynode* dense_cube(const std::vector<int32_t>& coef) {
    auto at = [&](int i, int j, int k) { return coef[static_cast<size_t>((i * (DEG + 1) + j) * (DEG + 1) + k)]; };
    auto number = [](int32_t c) {
        imag* n = new_number();
        setvalue(c, n);
        return new_number_node(n);
    };
    polynode* top = nullptr;
    for (int i = 0; i <= DEG; i++) {
        polynode* ys = nullptr;
        for (int j = 0; j <= DEG; j++) {
            polynode* zs = number(at(i, j, 0));
            for (int k = 1; k <= DEG; k++) {
                polynode* t = new_term_node(k, number(at(i, j, k)));
                t->next = zs;
                zs = t;
            }
            polynode* t = new_term_node(j, zs);
            t->next = ys;
            ys = t;
        }
        polynode* t = new_term_node(i, ys);
        t->next = top;
        top = t;
    }
    return top;
}

void evaluation() {
    std::mt19937 rng(30);
    std::vector<int32_t> coef(static_cast<size_t>((DEG + 1) * (DEG + 1) * (DEG + 1)));
    for (int32_t& c : coef) {
        c = static_cast<int32_t>(rng() % 199) - 99;
        if (c == 0) c = 1;
    }
    polynode* u = dense_cube(coef);
    quoly* point[3] = {rational(3, 7), rational(-5, 11), rational(2, 13)};
    quoly* chain = nullptr;
    quoly** tail = &chain;
    for (quoly* v : point) {
        quoly_assign(v, tail);
        (*tail)->link = nullptr;
        tail = &(*tail)->link;
    }
    quoly *horner = nullptr, *terms = nullptr;
    const double th = bench::best_of(5, [&] { tot_eval_poly(u, chain, &horner, 0, 0); });
    const double tt = bench::best_of(3, [&] {
        free_quoly(&terms);
        terms = term_by_term(coef, point);
    });
    quoly* diff = nullptr;
    quoly_sub(horner, terms, &diff);
    std::printf("total evaluation, degree 30 in x, y, z (%lld terms) at (3/7, -5/11, 2/13)%s\n",
                static_cast<long long>(bench::count_terms(u)), quoly_iszero(diff) ? "" : "  *** VALUES DIFFER");
    std::printf("  Horner %9.1f ms   term by term %9.1f ms   ratio %.1fx\n", th, tt, tt / th);
    free_quoly(&diff);
    free_quoly(&horner);
    free_quoly(&terms);
    while (chain) {
        quoly* next = chain->link;
        free_quoly(&chain);
        chain = next;
    }
    for (quoly*& v : point) free_quoly(&v);
    free_poly(&u);
}

void derivative() {
    quoly *x = nullptr, *y = nullptr, *n = nullptr, *d = nullptr;
    base_quoly(&x, 1);
    base_quoly(&y, 2);
    quoly_set(1, &n);
    better_quoly_add(n, x, &n);
    better_quoly_add(n, y, &n);
    quoly_compute_power(&n, 30);
    quoly_set(2, &d);
    better_quoly_add(d, x, &d);
    better_quoly_sub(d, y, &d);
    quoly_compute_power(&d, 20);
    quoly* q = nullptr;
    quoly_quot(n, d, &q, 0);

    quoly* r = nullptr;
    const double t_all = bench::best_of(5, [&] {
        quoly_assign(q, &r);
        quoly_differen_once(&r, 1);
    });
    // The gcd the quotient rule takes, gcd(d, d').
    polynode* dd = nullptr;
    poly_assign(q->den, &dd);
    poly_diff(&dd, 1);
    const double t_gcd = bench::best_of(5, [&] {
        polynode* g = nullptr;
        alg_c_count = 0;
        original_depth = 1;
        polygcd(q->den, dd, &g, 0, 1, 1, polynames, 1, 1, 1);
        free_poly(&g);
    });
    // The closing normalisation's gcd of the result's parts.
    const double t_check = bench::best_of(5, [&] {
        polynode* g = nullptr;
        alg_c_count = 0;
        original_depth = 1;
        polygcd(r->pnum, r->den, &g, 0, 1, 1, polynames, 1, 1, 1);
        free_poly(&g);
    });
    std::printf("derivative in x of (1 + x + y)^30 / (2 + x - y)^20 (%lld + %lld terms)\n",
                static_cast<long long>(bench::count_terms(q->pnum)), static_cast<long long>(bench::count_terms(q->den)));
    std::printf("  whole %9.1f ms   gcd(d, d') %9.1f ms (%.0f%%)   gcd of the result's parts %9.1f ms\n", t_all,
                t_gcd, 100.0 * t_gcd / t_all, t_check);
    free_poly(&dd);
    for (quoly** p : {&x, &y, &n, &d, &q, &r}) free_quoly(p);
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 && std::strcmp(argv[1], "-") != 0 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    bench::attach_variables(3);
    evaluation();
    derivative();
    bench::detach_variables();
    return 0;
}
