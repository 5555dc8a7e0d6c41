// Matrix products at the library level: dense integer products at 100, 200
// and 400 (entries below 2^20) by the plain product and by Winograd's
// scheme, the same modulo 65,521 and 2,147,483,629 on the machine-word
// path beside rational arithmetic, rational 50 x 50 and bivariate
// polynomial 20 x 20 products, and sparse x sparse at 2,000, 4,000 and
// 8,000 rows with 5 entries a row. Each figure is the minimum of its runs.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "matrix/products.h"
#include "matrix/sparse.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

#include "bench_support.h"

namespace {

using namespace bench;

std::mt19937_64 rng(2026);


using Cells = std::vector<quoly*>;

void free_cells(Cells& c) {
    for (quoly*& q : c) free_quoly(&q);
}

Cells integer_matrix(int32_t n, int32_t modulus) {
    std::uniform_int_distribution<int32_t> d(0, (1 << 20) - 1);
    Cells c(static_cast<size_t>(n) * n, nullptr);
    for (quoly*& q : c) quoly_set(modulus ? d(rng) % modulus : d(rng), &q);
    return c;
}

// A x B by the dense product (A shared, so its cells stay) and by Winograd.
double plain_product(Cells& a, Cells& b, int32_t n, int runs) {
    return best_of(runs, [&] {
        Cells w(a);
        mat_shape as{int64_t{n} * n, n};
        const mat_shape bs{int64_t{n} * n, n};
        matrix_mult(w.data(), b.data(), &as, &bs, 0, nullptr, nullptr);
        free_cells(w);
    });
}

double winograd_product(Cells& a, Cells& b, int32_t n, int runs) {
    return best_of(runs, [&] {
        Cells r(static_cast<size_t>(n) * n, nullptr);
        fast_mat_mult(a.data(), b.data(), r.data(), n, n, n);
        free_cells(r);
    });
}

void integers() {
    std::printf("Dense integer products (entries below 2^20), ms\n");
    std::printf("%6s %10s %10s %8s %9s\n", "n", "plain", "Winograd", "W/plain", "growth");
    double previous = 0;
    for (int32_t n : {100, 200, 400}) {
        const int runs = n == 400 ? 1 : 3;
        Cells a = integer_matrix(n, 0), b = integer_matrix(n, 0);
        const double p = plain_product(a, b, n, runs);
        const double w = winograd_product(a, b, n, runs);
        std::printf("%6d %10.1f %10.1f %8.2f %9s\n", n, p, w, w / p,
                    previous > 0 ? std::to_string(p / previous).substr(0, 5).c_str() : "-");
        previous = p;
        free_cells(a);
        free_cells(b);
    }
}

void residues() {
    for (int32_t m : {65521, 2147483629}) {
        std::printf("Dense products modulo %d on the machine-word path, ms\n", m);
        std::printf("%6s %10s %10s %10s %9s\n", "n", "words", "Winograd", "rational", "speed-up");
        for (int32_t n : {100, 200, 400}) {
            const int runs = n == 400 ? 1 : 3;
            // The same residues as integers, multiplied in rational arithmetic.
            Cells qa = integer_matrix(n, m), qb = integer_matrix(n, m);
            std::vector<int32_t> va(qa.size()), vb(qb.size());
            for (size_t k = 0; k < qa.size(); k++) {
                va[k] = qa[k]->nnum->head->digit;
                vb[k] = qb[k]->nnum->head->digit;
            }
            const double rational = plain_product(qa, qb, n, runs);
            free_cells(qa);
            free_cells(qb);
            install_modulus(m);
            modularmode = lintmode = 1;
            mod_is_prime = 1;
            Cells a(qa.size(), nullptr), b(qb.size(), nullptr);
            for (size_t k = 0; k < a.size(); k++) {
                quoly_set_lint(va[k], &a[k]);
                quoly_set_lint(vb[k], &b[k]);
            }
            const double words = plain_product(a, b, n, runs);
            const double w = winograd_product(a, b, n, runs);
            std::printf("%6d %10.1f %10.1f %10.1f %8.1fx\n", n, words, w, rational, rational / words);
            free_cells(a);
            free_cells(b);
            modularmode = lintmode = 0;
            install_modulus(0);
            mod_is_prime = 0;
        }
    }
}

void rationals_and_polynomials() {
    std::uniform_int_distribution<int32_t> num(-99, 99), den(1, 99);
    const int32_t n = 50;
    Cells a(static_cast<size_t>(n) * n, nullptr), b(a.size(), nullptr);
    for (Cells* m : {&a, &b})
        for (quoly*& q : *m) {
            quoly* x = nullptr;
            quoly* y = nullptr;
            quoly_set(num(rng), &x);
            quoly_set(den(rng), &y);
            quoly_quot(x, y, &q, 0);
            free_quoly(&x);
            free_quoly(&y);
        }
    std::printf("Rational 50 x 50 product: plain %.1f ms, Winograd %.1f ms\n", plain_product(a, b, n, 3),
                winograd_product(a, b, n, 3));
    free_cells(a);
    free_cells(b);

    attach_variables(2);
    const int32_t p = 20;
    std::uniform_int_distribution<int> c(-5, 5), k(1, 3);
    Cells pa(static_cast<size_t>(p) * p, nullptr), pb(pa.size(), nullptr);
    for (Cells* m : {&pa, &pb})
        for (quoly*& q : *m) {
            polynode* x = power_of_sum(c(rng), 2, k(rng));
            p_q_assign(x, &q);
            free_poly(&x);
        }
    std::printf("Bivariate polynomial 20 x 20 product (degree up to 3): plain %.1f ms, Winograd %.1f ms\n",
                plain_product(pa, pb, p, 3), winograd_product(pa, pb, p, 3));
    free_cells(pa);
    free_cells(pb);
}

// n rows of 5 entries in random columns, small integer values.
sparse* random_sparse(int32_t n) {
    std::uniform_int_distribution<int32_t> col(1, n), val(1, 9);
    sparse* f = new_frame_chain(n);
    for (int32_t i = 1; i <= n; i++) {
        std::vector<int32_t> cols;
        while (cols.size() < 5) {
            const int32_t j = col(rng);
            if (std::find(cols.begin(), cols.end(), j) == cols.end()) cols.push_back(j);
        }
        std::sort(cols.begin(), cols.end());
        colm** tail = row_head(f, i);
        for (int32_t j : cols) {
            colm* e = take_colm();
            e->col = j;
            e->val = nullptr;
            quoly_set(val(rng), &e->val);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    return f;
}

void sparses() {
    std::printf("Sparse x sparse, 5 entries a row, ms\n");
    double previous = 0;
    for (int32_t n : {2000, 4000, 8000}) {
        sparse* a = random_sparse(n);
        sparse* b = random_sparse(n);
        const double t = best_of(n == 8000 ? 1 : 3, [&] {
            sparse* p = a;
            mult_sparses(&p, &b, n, n, n, 0);
            free_sparse(&p, n, 1);
        });
        std::printf("%6d rows %10.1f   growth %s\n", n, t,
                    previous > 0 ? std::to_string(t / previous).substr(0, 5).c_str() : "-");
        previous = t;
        free_sparse(&a, n, 1);
        free_sparse(&b, n, 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    integers();
    residues();
    rationals_and_polynomials();
    sparses();
    return 0;
}
