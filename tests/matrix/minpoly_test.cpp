// The row-sum bound of the minimal polynomial against the maximum over all
// k of C(n, k)·R^k formed here with GMP, and the random vector's range.
// The minimal polynomials themselves are checked at the terminal against
// an independent computation (minpoly_differential.py).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <random>
#include <vector>

#include "matrix/gershgorn.h"
#include "matrix/minpoly.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/ring_setup.h"

namespace {

quoly* number_quoly(const mpz_class& v) {
    quoly* q = nullptr;
    newquoly(&q);
    q->den = nullptr;
    q->rat = 0;
    q->isnum = 1;
    q->nnum = from_mpz(v);
    return q;
}

// A sparse n x n matrix with the given rows (zeros not stored).
struct SparseMatrix {
    array rec{};
    int32_t n;
    explicit SparseMatrix(const std::vector<std::vector<mpz_class>>& rows) : n(static_cast<int32_t>(rows.size())) {
        rec.sparse = new_frame_chain(n);
        std::snprintf(rec.name, sizeof rec.name, "m");
        for (int32_t r = 1; r <= n; r++) {
            colm** tail = row_head(rec.sparse, r);
            for (size_t c = 0; c < rows[r - 1].size(); c++) {
                if (rows[r - 1][c] == 0) continue;
                colm* e = take_colm();
                e->col = static_cast<int32_t>(c) + 1;
                e->val = number_quoly(rows[r - 1][c]);
                e->next = nullptr;
                *tail = e;
                tail = &e->next;
            }
        }
    }
    ~SparseMatrix() { free_sparse(&rec.sparse, n, 1); }
};

mpz_class reference_bound(const std::vector<std::vector<mpz_class>>& rows) {
    const unsigned long n = rows.size();
    mpz_class R = 0;
    for (const auto& row : rows) {
        mpz_class s = 0;
        for (const auto& v : row) s += abs(v);
        if (s > R) R = s;
    }
    mpz_class best = 0, b, t;
    for (unsigned long k = 1; k <= n; k++) {
        mpz_bin_uiui(b.get_mpz_t(), n, k);
        mpz_pow_ui(t.get_mpz_t(), R.get_mpz_t(), k);
        t *= b;
        if (t > best) best = t;
    }
    return best;
}

mpz_class bound_of(const std::vector<std::vector<mpz_class>>& rows) {
    SparseMatrix m(rows);
    quoly* q = nullptr;
    gershgorn(&q, &m.rec, m.n);
    EXPECT_TRUE(q && q->isnum);
    const mpz_class v = to_mpz(q->nnum);
    free_quoly(&q);
    return v;
}

TEST(Gershgorn, HandValues) {
    RecordLedger ledger;
    // One row [3, -4] in a 2 x 2 matrix: R = 7, max(2·7, 49).
    EXPECT_EQ(bound_of({{3, -4}, {0, 0}}), 49);
    EXPECT_EQ(bound_of({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), 0);
    // R = 1, n = 3: C(3, 1) = C(3, 2) = 3 tie for the maximum.
    EXPECT_EQ(bound_of({{1, 0, 0}, {0, -1, 0}, {0, 0, 0}}), 3);
    // R = 2, n = 3: 6, 12, 8.
    EXPECT_EQ(bound_of({{2, 0, 0}, {1, 1, 0}, {0, 0, 0}}), 12);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Gershgorn, AgreesWithEveryTermCompared) {
    RecordLedger ledger;
    std::mt19937_64 rng(4242);
    for (int trial = 0; trial < 200; trial++) {
        const int n = 1 + static_cast<int>(rng() % 40);
        const int shape = trial % 4;
        std::vector<std::vector<mpz_class>> rows(n, std::vector<mpz_class>(n, 0));
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < n; j++) {
                if (rng() % 4) continue;
                long v = static_cast<long>(rng() % 7) - 3;
                mpz_class x = v;
                if (shape == 1) x *= mpz_class("1000000000000000000000");   // R of several digits
                if (shape == 2) x = v * static_cast<long>(rng() % 1000);
                rows[i][j] = x;
            }
        }
        if (shape == 3) rows[0].assign(n, 0);   // sparse rows, R small or 0
        SCOPED_TRACE("trial " + std::to_string(trial) + ", n = " + std::to_string(n));
        EXPECT_EQ(bound_of(rows), reference_bound(rows));
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(Gershgorn, NothingInModularMode) {
    PrimeRing ring(101);
    quoly* q = nullptr;
    SparseMatrix m({{1, 2}, {3, 4}});
    gershgorn(&q, &m.rec, m.n);
    EXPECT_EQ(q, nullptr);
}

TEST(Mills, RandomVectorStaysInRange) {
    PrimeRing ring(3);
    newmills(1);
    EXPECT_EQ(mills_mod, 3);
    ASSERT_EQ(xmills.size(), 32767u);
    std::vector<int> seen(3, 0);
    for (int32_t v : xmills) {
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 3);
        seen[v]++;
    }
    for (int c : seen) EXPECT_GT(c, 9000);
}

}  // namespace

namespace {

using Rows = std::vector<std::vector<std::pair<int32_t, int32_t>>>;

// A diagonal matrix of residues (zeros not stored).
Rows diagonal(const std::vector<int32_t>& d) {
    Rows A(d.size());
    for (size_t i = 0; i < d.size(); i++)
        if (d[i]) A[i].emplace_back(static_cast<int32_t>(i) + 1, d[i]);
    return A;
}

TEST(Mills, AnnihilationTestTellsTheMinimalPolynomialFromItsDivisors) {
    PrimeRing ring(101);
    // diag(1, .., 1, 2, 0): (x - 1)(x - 2)x = x^3 - 3x^2 + 2x; each proper
    // divisor leaves an eigenvector alive.
    const Rows A = diagonal({1, 1, 1, 1, 1, 1, 2, 0});
    EXPECT_TRUE(mills_annihilates(A, 8, {0, 2, 98, 1}));
    EXPECT_FALSE(mills_annihilates(A, 8, {2, 98, 1}));      // (x - 1)(x - 2)
    EXPECT_FALSE(mills_annihilates(A, 8, {0, 100, 1}));     // x(x - 1)
    EXPECT_FALSE(mills_annihilates(A, 8, {0, 99, 1}));      // x(x - 2)
    EXPECT_FALSE(mills_annihilates(A, 8, {1}));
    EXPECT_FALSE(mills_annihilates(A, 8, {}));
    // A multiple annihilates too.
    EXPECT_TRUE(mills_annihilates(A, 8, {0, 0, 2, 98, 1}));

    // The shift e_i -> e_(i+1): x^8 and no lower power.
    Rows S(8);
    for (int32_t i = 1; i < 8; i++) S[static_cast<size_t>(i)].emplace_back(i, 1);
    std::vector<int32_t> x8(9, 0), x7(8, 0);
    x8[8] = x7[7] = 1;
    EXPECT_TRUE(mills_annihilates(S, 8, x8));
    EXPECT_FALSE(mills_annihilates(S, 8, x7));
}

TEST(Mills, ZeroSequenceDrawsAnotherVector) {
    // Modulo 2 the vector read on two rows is zero a quarter of the time;
    // the zero matrix must still give x every time.
    PrimeRing ring(2);
    const Rows Z(9);
    const int32_t rows[5] = {2, 5, 7, 0, 0};
    for (int trial = 0; trial < 40; trial++) {
        newmills(0);
        EXPECT_EQ(mills_image(Z, 9, 2, rows), (std::vector<int32_t>{0, 1}));
    }
}

TEST(Mills, SmallModuliGiveTheWholeMinimalPolynomial) {
    // N + E with N = e2·e8^T, E = e7·e7^T: x^3 - x^2, but a projection that
    // misses N's row or a vector without e8 sees only x^2 - x, half of the
    // draws modulo 2 and 3 (A·v ≠ A^2·v needs both).
    for (int32_t p : {2, 3, 13}) {
        PrimeRing ring(p);
        Rows A(8);
        A[1].emplace_back(8, 1);
        A[6].emplace_back(7, 1);
        const std::vector<int32_t> want{0, 0, p - 1, 1};
        for (int trial = 0; trial < 40; trial++) {
            newmills(0);
            const int32_t rows[5] = {trial % 2, 4, 6, 0, 0};
            EXPECT_EQ(mills_image(A, 8, 1 + trial % 3, rows), want) << "modulo " << p;
        }
    }
}

}  // namespace
