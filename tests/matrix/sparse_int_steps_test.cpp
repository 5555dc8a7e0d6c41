// The sparse integer normal-form steps against a GMP model: every
// operation keeps the sparse transforms equal to the model's, the model's
// T0 x A0 x T1 equal to the matrix and T2, T3 the inverses; reductions
// modulo m land in [-m/2, m/2] and unlink zeros; the Hermite reduction
// leaves entries in [0, pivot) for negative entries too; phase one's sign
// flag gives the determinant's sign.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "matrix/sparse.h"
#include "matrix/sparse_int_steps.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "support/gmp_bridge.h"
#include "support/ring_setup.h"

namespace {

Model mul(const Model& a, const Model& b) {
    Model c(a.n, b.m);
    for (int32_t i = 1; i <= a.n; i++)
        for (int32_t j = 1; j <= b.m; j++)
            for (int32_t t = 1; t <= a.m; t++) c.at(i, j) += a.at(i, t) * b.at(t, j);
    return c;
}

Model ident(int32_t n) {
    Model c(n, n);
    for (int32_t i = 1; i <= n; i++) c.at(i, i) = 1;
    return c;
}

bool same(const Model& a, const Model& b) { return a.v == b.v; }

// Column j -= q column s; row i -= q row s; swaps; negation.
void m_col_sub(Model* a, int32_t j, int32_t s, const mpq_class& q) {
    for (int32_t i = 1; i <= a->n; i++) a->at(i, j) -= q * a->at(i, s);
}
void m_row_sub(Model* a, int32_t i, int32_t s, const mpq_class& q) {
    for (int32_t j = 1; j <= a->m; j++) a->at(i, j) -= q * a->at(s, j);
}
void m_col_swap(Model* a, int32_t i, int32_t j) {
    for (int32_t r = 1; r <= a->n; r++) std::swap(a->at(r, i), a->at(r, j));
}
void m_row_swap(Model* a, int32_t i, int32_t j) {
    for (int32_t c = 1; c <= a->m; c++) std::swap(a->at(i, c), a->at(j, c));
}

mpz_class det(Model a) {
    // Fraction-free elimination on the rationals of the model.
    const int32_t n = a.n;
    mpq_class d = 1;
    for (int32_t k = 1; k <= n; k++) {
        int32_t p = k;
        while (p <= n && a.at(p, k) == 0) p++;
        if (p > n) return 0;
        if (p != k) {
            m_row_swap(&a, p, k);
            d = -d;
        }
        d *= a.at(k, k);
        for (int32_t i = k + 1; i <= n; i++) m_row_sub(&a, i, k, a.at(i, k) / a.at(k, k));
    }
    return d.get_num();
}

Model random_model(std::mt19937* rng, int32_t n, int32_t m, int span, double fill) {
    Model a(n, m);
    std::uniform_int_distribution<int> v(-span, span);
    std::uniform_real_distribution<double> u(0, 1);
    for (auto& x : a.v) x = u(*rng) < fill ? v(*rng) : 0;
    return a;
}

quoly* num(int32_t v) {
    quoly* q = nullptr;
    quoly_set(v, &q);
    return q;
}

TEST(SparseIntSteps, OperationsKeepTheTransformsInStep) {
    PrimeRing ring(0);
    std::mt19937 rng(17);
    const int32_t R = 5, K = 4;
    Model a = random_model(&rng, R, K, 9, 0.6);
    const Model a0 = a;
    sparse* f = build_from(a);
    SparseIntWork w(f, R, K);
    Model t[4] = {ident(R), ident(K), ident(R), ident(K)};
    for (int i = 0; i < 4; i++) spar_identi(&w.T[i], i % 2 == 0 ? R : K, 0);
    std::uniform_int_distribution<int> op(0, 4), qv(-3, 3);
    for (int step = 0; step < 60; step++) {
        const int kind = op(rng);
        const int32_t i = std::uniform_int_distribution<int32_t>(1, kind == 0 || kind == 2 || kind == 4 ? K : R)(rng);
        int32_t j = std::uniform_int_distribution<int32_t>(1, kind == 0 || kind == 2 || kind == 4 ? K : R)(rng);
        const int qi = qv(rng);
        quoly* q = num(qi);
        switch (kind) {
        case 0:
            if (i == j) break;
            w.col_sub(i, j, q, 1);
            m_col_sub(&a, i, j, qi), m_col_sub(&t[1], i, j, qi);
            m_row_sub(&t[3], j, i, -qi);
            break;
        case 1:
            if (i == j) break;
            w.row_sub(i, j, q);
            m_row_sub(&a, i, j, qi), m_row_sub(&t[0], i, j, qi);
            m_col_sub(&t[2], j, i, -qi);
            break;
        case 2:
            w.col_swap(i, j, 1);
            m_col_swap(&a, i, j), m_col_swap(&t[1], i, j), m_row_swap(&t[3], i, j);
            break;
        case 3:
            w.row_swap(i, j);
            m_row_swap(&a, i, j), m_row_swap(&t[0], i, j), m_col_swap(&t[2], i, j);
            break;
        default:
            w.col_neg(i, 1);
            for (int32_t r = 1; r <= R; r++) a.at(r, i) = -a.at(r, i);
            for (int32_t r = 1; r <= K; r++) t[1].at(r, i) = -t[1].at(r, i), t[3].at(i, r) = -t[3].at(i, r);
            break;
        }
        free_quoly(&q);
        ASSERT_TRUE(sparse_ok(f, R, K)) << "step " << step;
        ASSERT_TRUE(matches(f, a)) << "step " << step;
        for (int k = 0; k < 4; k++) ASSERT_TRUE(matches(w.T[k], t[k])) << "transform " << k << ", step " << step;
    }
    // The model's own identities: the updates above are the right ones.
    EXPECT_TRUE(same(mul(mul(t[0], a0), t[1]), a));
    EXPECT_TRUE(same(mul(t[0], t[2]), ident(R)));
    EXPECT_TRUE(same(mul(t[1], t[3]), ident(K)));
    for (int k = 0; k < 4; k++) free_sparse(&w.T[k], k % 2 == 0 ? R : K, 1);
    free_sparse(&f, R, 1);
}

TEST(SparseIntSteps, ModulusRangeAndZerosUnlinked) {
    PrimeRing ring(0);
    Model a(1, 6);
    a.v = {5, -5, 6, 23, -23, 20};
    sparse* f = build_from(a);
    SparseIntWork w(f, 1, 6);
    quoly* m = num(10);
    w.set_modulus(m);
    Model want(1, 6);
    // Entries of size m/2 stay as they are, either sign.
    want.v = {5, -5, -4, 3, -3, 0};
    EXPECT_TRUE(matches(f, want));
    EXPECT_TRUE(sparse_ok(f, 1, 6));
    // column 1 -= 3 x column 3: 5 + 12 = 17, reduced to -3; column 2 -=
    // column 1 then: -5 + 3 = -2; column 4 -= -1 x column 5: 3 - 3 = 0 goes.
    quoly* three = num(3);
    quoly* one = num(1);
    quoly* minus_one = num(-1);
    w.col_sub(1, 3, three, 1);
    w.col_sub(2, 1, one, 1);
    w.col_sub(4, 5, minus_one, 1);
    want.v = {-3, -2, -4, 0, -3, 0};
    EXPECT_TRUE(matches(f, want));
    EXPECT_TRUE(sparse_ok(f, 1, 6));
    free_quoly(&three), free_quoly(&one), free_quoly(&minus_one), free_quoly(&m);
    free_sparse(&f, 1, 1);
}

TEST(SparseIntSteps, HermiteReductionRoundsDown) {
    PrimeRing ring(0);
    // Rows (3, 0), (-7, 5), (-1, 2): pivots 3 and 5; -7 left of 5 becomes
    // -7 + 2 x 5 = 3 (a truncated quotient would leave -2).
    Model a(3, 2);
    a.v = {3, 0, -7, 5, -1, 2};
    sparse* f = build_from(a);
    SparseIntWork w(f, 3, 2);
    spar_identi(&w.T[1], 2, 0);
    std::vector<int32_t> rows;
    int sign = 1;
    EXPECT_EQ(sparse_phaseone(&w, 1, 0, &rows, &sign), 2);
    EXPECT_EQ(rows, (std::vector<int32_t>{1, 2}));
    sp_hermite_two(&w, rows);
    Model want(3, 2);
    want.v = {3, 0, 3, 5, 3, 2};
    EXPECT_TRUE(matches(f, want));
    Model t1(2, 2);
    t1.v = {1, 0, 2, 1};
    EXPECT_TRUE(matches(w.T[1], t1));
    free_sparse(&w.T[1], 2, 1);
    free_sparse(&f, 3, 1);
}

TEST(SparseIntSteps, PhaseOneSignGivesTheDeterminant) {
    PrimeRing ring(0);
    std::mt19937 rng(5);
    int negative = 0;
    for (int c = 0; c < 40; c++) {
        const int32_t n = 2 + c % 5;
        Model a = random_model(&rng, n, n, 10, 0.7);
        const mpz_class d = det(a);
        if (d == 0) continue;
        sparse* f = build_from(a);
        SparseIntWork w(f, n, n);
        int sign = 1;
        ASSERT_EQ(sparse_phaseone(&w, 1, 1, nullptr, &sign), n);
        // Every step is unimodular and each swap or negation toggles the
        // flag: sign x the diagonal's product is det A0.
        mpz_class prod = sign;
        for (int32_t i = 1; i <= n; i++) {
            quoly* q = w.get(i, i);
            ASSERT_NE(q, nullptr);
            prod *= to_mpz(q->nnum);
        }
        EXPECT_EQ(prod, d) << "case " << c;
        if (d < 0) negative++;
        free_sparse(&f, n, 1);
    }
    EXPECT_GT(negative, 0);
}

}  // namespace
