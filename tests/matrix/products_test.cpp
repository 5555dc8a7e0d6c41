// Matrix products by every route (dense, its machine-word path, sparse x
// sparse, sparse x dense, dense x sparse, a scalar times a sparse matrix,
// Winograd's scheme) against a naive product in the test: GMP rationals over
// Z, the reference ring arithmetic for residues and machine words, and a
// triple loop over quolys for polynomial cells. Random shapes include 1 x N,
// N x 1, inner sizes 0 and 1; every route must give its records back.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "matrix/products.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "support/field_ref.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/quoly_ops.h"
#include "support/ring_setup.h"

namespace {

struct Shape {
    int32_t m, n, p;   // A is m x n, B is n x p
};
const Shape kShapes[] = {{1, 1, 1}, {3, 5, 7}, {7, 7, 7}, {1, 15, 1}, {15, 1, 15}, {5, 1, 3},
                         {1, 31, 3}, {31, 3, 1}, {2, 2, 2}, {15, 15, 15}, {6, 9, 4}};

// Values as the ring holds them: rationals over Z, reduced integers else.
mpq_class ring_value(const quoly* q) {
    if (lintmode) {
        EXPECT_TRUE(q->isnum);
        return mpq_class(ring_reduce(mpz_class(static_cast<long>(q->nnum->value))));
    }
    return quoly_value(q);
}

Model random_model(std::mt19937& g, int32_t r, int32_t c, int density) {
    std::uniform_int_distribution<int32_t> pct(1, 100), small(-9, 9), den(1, 5), big(0, (1 << 20) - 1);
    Model m(r, c);
    for (auto& x : m.v) {
        if (pct(g) > density) continue;
        if (modularmode) {
            x = finf ? mpz_class(big(g) % modulus) : ring_reduce(mpz_class(big(g)) * (big(g) + 1));
        } else if (lintmode) {
            x = mpz_class(big(g) - (1 << 19));
        } else {
            x = mpq_class(small(g), den(g));
            x.canonicalize();
        }
    }
    return m;
}

Model reference(const Model& a, const Model& b) {
    Model c(a.n, b.m);
    for (int32_t i = 1; i <= a.n; i++)
        for (int32_t j = 1; j <= b.m; j++) {
            if (!lintmode) {
                mpq_class s = 0;
                for (int32_t k = 1; k <= a.m; k++) s += a.at(i, k) * b.at(k, j);
                c.at(i, j) = s;
            } else {
                mpz_class s = 0;
                for (int32_t k = 1; k <= a.m; k++) s = ring_add(s, ring_mul(a.at(i, k).get_num(), b.at(k, j).get_num()));
                c.at(i, j) = ring_reduce(s);
            }
        }
    return c;
}

// Column-major cells owned by the test, with room for `room` cells.
std::vector<quoly*> dense_cells(const Model& a, size_t room = 0) {
    std::vector<quoly*> v(std::max(room, a.v.size()), nullptr);
    for (int32_t j = 1; j <= a.m; j++)
        for (int32_t i = 1; i <= a.n; i++) v[size_t(j - 1) * a.n + (i - 1)] = make_q(a.at(i, j));
    return v;
}

void free_cells(std::vector<quoly*>& v) {
    for (quoly*& q : v)
        if (q) free_quoly(&q);
}

::testing::AssertionResult dense_matches(quoly* const* cells, const Model& want) {
    for (int32_t i = 1; i <= want.n; i++)
        for (int32_t j = 1; j <= want.m; j++) {
            const quoly* q = cells[size_t(j - 1) * want.n + (i - 1)];
            if (!q) return ::testing::AssertionFailure() << "cell (" << i << "," << j << ") missing";
            const mpq_class got = ring_value(q);
            if (got != want.at(i, j))
                return ::testing::AssertionFailure()
                       << "cell (" << i << "," << j << ") is " << got << ", want " << want.at(i, j);
        }
    return ::testing::AssertionSuccess();
}

// Sparse contents: no stored zero, every value the reference's.
::testing::AssertionResult sparse_matches(sparse* first, const Model& want) {
    for (int32_t i = 1; i <= want.n; i++) {
        int32_t last = 0;
        for (colm* e = *row_head(first, i); e; e = e->next) {
            if (e->col <= last || e->col > want.m)
                return ::testing::AssertionFailure() << "row " << i << " column " << e->col << " out of order";
            if (quoly_iszero(e->val)) return ::testing::AssertionFailure() << "zero stored at row " << i;
            last = e->col;
        }
        for (int32_t j = 1; j <= want.m; j++) {
            const quoly* q = spar_retrieve(first, i, j);
            const mpq_class got = q ? ring_value(q) : mpq_class(0);
            if (got != want.at(i, j))
                return ::testing::AssertionFailure()
                       << "entry (" << i << "," << j << ") is " << got << ", want " << want.at(i, j);
        }
    }
    return ::testing::AssertionSuccess();
}

// Every route over one pair of operands; records balanced after each.
void all_routes(const Model& a, const Model& b, const char* ring) {
    SCOPED_TRACE(::testing::Message() << ring << ": " << a.n << " x " << a.m << " by " << b.n << " x " << b.m);
    const Model want = reference(a, b);
    const size_t out = size_t(a.n) * b.m;
    const mat_shape bs{int64_t(b.n) * b.m, b.n};
    {   // dense x dense, A consumed, B kept
        RecordLedger ledger;
        std::vector<quoly*> ac = dense_cells(a, out), bc = dense_cells(b);
        mat_shape as{int64_t(a.n) * a.m, a.n};
        matrix_mult(ac.data(), bc.data(), &as, &bs, 1, nullptr, nullptr);
        EXPECT_EQ(as.count, int64_t(out));
        EXPECT_TRUE(dense_matches(ac.data(), want)) << "dense";
        EXPECT_TRUE(dense_matches(bc.data(), b)) << "B changed";
        free_cells(ac);
        free_cells(bc);
        EXPECT_TRUE(ledger.balanced()) << "dense";
    }
    {   // dense x dense, A shared: its cells are left for their owner
        RecordLedger ledger;
        std::vector<quoly*> ac = dense_cells(a), bc = dense_cells(b), work(std::max(out, a.v.size()));
        for (size_t c = 0; c < ac.size(); c++) work[c] = ac[c];
        mat_shape as{int64_t(a.n) * a.m, a.n};
        matrix_mult(work.data(), bc.data(), &as, &bs, 0, nullptr, nullptr);
        EXPECT_TRUE(dense_matches(work.data(), want)) << "dense, shared A";
        EXPECT_TRUE(dense_matches(ac.data(), a)) << "shared A changed";
        for (size_t c = 0; c < out; c++) free_quoly(&work[c]);
        free_cells(ac);
        free_cells(bc);
        EXPECT_TRUE(ledger.balanced()) << "dense, shared A";
    }
    {   // Winograd
        RecordLedger ledger;
        std::vector<quoly*> ac = dense_cells(a), bc = dense_cells(b), r(out, nullptr);
        fast_mat_mult(ac.data(), bc.data(), r.data(), a.n, a.m, b.m);
        EXPECT_TRUE(dense_matches(r.data(), want)) << "Winograd";
        free_cells(ac);
        free_cells(bc);
        free_cells(r);
        EXPECT_TRUE(ledger.balanced()) << "Winograd";
    }
    {   // sparse x sparse through matrix_mult
        RecordLedger ledger;
        const int64_t colms = colms_in_use();
        sparse* sa = build_from(a);
        sparse* sb = build_from(b);
        mat_shape as{int64_t(a.n) * a.m, a.n};
        matrix_mult(nullptr, nullptr, &as, &bs, 1, &sa, &sb);
        EXPECT_EQ(as.count, int64_t(out));
        EXPECT_TRUE(sparse_matches(sa, want)) << "sparse x sparse";
        EXPECT_TRUE(sparse_matches(sb, b)) << "sparse B changed";
        free_sparse(&sa, a.n, 1);
        free_sparse(&sb, b.n, 1);
        EXPECT_EQ(colms_in_use(), colms);
        EXPECT_TRUE(ledger.balanced()) << "sparse x sparse";
    }
    {   // sparse x dense through matrix_mult: the result is dense
        RecordLedger ledger;
        sparse* sa = build_from(a);
        std::vector<quoly*> ac(out, nullptr), bc = dense_cells(b);
        mat_shape as{int64_t(a.n) * a.m, a.n};
        matrix_mult(ac.data(), bc.data(), &as, &bs, 1, &sa, nullptr);
        EXPECT_EQ(sa, nullptr);
        EXPECT_TRUE(dense_matches(ac.data(), want)) << "sparse x dense";
        free_cells(ac);
        free_cells(bc);
        EXPECT_TRUE(ledger.balanced()) << "sparse x dense";
    }
    {   // dense x sparse through matrix_mult, b_cells scratch
        RecordLedger ledger;
        sparse* sb = build_from(b);
        std::vector<quoly*> ac = dense_cells(a, out), scratch(out, nullptr);
        mat_shape as{int64_t(a.n) * a.m, a.n};
        matrix_mult(ac.data(), scratch.data(), &as, &bs, 1, nullptr, &sb);
        EXPECT_TRUE(dense_matches(ac.data(), want)) << "dense x sparse";
        EXPECT_TRUE(sparse_matches(sb, b)) << "sparse B changed";
        free_cells(ac);
        free_cells(scratch);
        free_sparse(&sb, b.n, 1);
        EXPECT_TRUE(ledger.balanced()) << "dense x sparse";
    }
}

void random_routes(uint32_t seed, const char* ring) {
    std::mt19937 g(seed);
    for (const Shape& s : kShapes)
        for (int density : {5, 20, 50, 100}) {
            const Model a = random_model(g, s.m, s.n, density);
            const Model b = random_model(g, s.n, s.p, density);
            all_routes(a, b, ring);
            if (::testing::Test::HasFailure()) return;
        }
}

TEST(Products, EveryRouteOverTheRationals) {
    PrimeRing ring(0);
    random_routes(1, "Q");
}

TEST(Products, EveryRouteInModularRings) {
    for (int32_t m : {65521, 101, 2147483629, 256, 65536}) {
        PrimeRing ring(m);
        random_routes(static_cast<uint32_t>(m), m == 256 ? "GF(2^8)" : m == 65536 ? "GF(2^16)" : "Z/p");
    }
}

// Machine words without a modulus wrap around 32 bits on every route.
TEST(Products, EveryRouteInMachineWords) {
    PrimeRing ring(0);
    lintmode = 1;
    random_routes(7, "machine words");
}

TEST(Products, ZeroInnerSizeGivesZerosOnEveryRoute) {
    PrimeRing ring(0);
    RecordLedger ledger;
    const int32_t m = 3, p = 4;
    std::vector<quoly*> r(size_t(m) * p, nullptr);
    fast_mat_mult(nullptr, nullptr, r.data(), m, 0, p);
    EXPECT_TRUE(dense_matches(r.data(), Model(m, p)));
    free_cells(r);
    // All-zero frames: A's m rows, and one row for B's (absent) rows.
    sparse* sa = build_from(Model(m, 1));
    sparse* sb = build_from(Model(1, p));
    mult_sparse_norm(&sa, nullptr, r.data(), 0, m, 0, p);
    EXPECT_TRUE(dense_matches(r.data(), Model(m, p)));
    free_cells(r);
    mult_norm_sparse(nullptr, r.data(), &sb, m, 0, p);
    EXPECT_TRUE(dense_matches(r.data(), Model(m, p)));
    free_cells(r);
    mult_sparses(&sa, &sb, m, 0, p, 1);
    EXPECT_TRUE(sparse_matches(sa, Model(m, p)));
    free_sparse(&sa, m, 1);
    free_sparse(&sb, 1, 1);
    // Through matrix_mult no division by the zero inner size.
    std::vector<quoly*> ac(1, nullptr), bc(1, nullptr);
    mat_shape as{0, m};
    const mat_shape bs{0, 0};
    matrix_mult(ac.data(), bc.data(), &as, &bs, 1, nullptr, nullptr);
    EXPECT_EQ(as.count, 0);
    EXPECT_TRUE(ledger.balanced());
}

// Rows that never meet a column give empty lists, not stored zeros.
TEST(Products, SparseRowsThatNeverMeetStoreNothing) {
    PrimeRing ring(0);
    Model a(3, 4), b(4, 3);
    a.at(1, 1) = 2;
    a.at(2, 2) = mpq_class(1, 3);
    // Cancelling products: 1*1 + 1*(-1).
    a.at(3, 3) = 1;
    a.at(3, 4) = 1;
    b.at(3, 2) = 1;
    b.at(4, 2) = -1;
    sparse* sa = build_from(a);
    sparse* sb = build_from(b);
    mult_sparses(&sa, &sb, 3, 4, 3, 1);
    for (int32_t i = 1; i <= 3; i++) EXPECT_EQ(*row_head(sa, i), nullptr) << "row " << i;
    free_sparse(&sa, 3, 1);
    free_sparse(&sb, 4, 1);
}

TEST(Products, ScalarTimesSparseInPlaceAndCopied) {
    for (int32_t mod : {0, 7}) {
        PrimeRing ring(mod);
        std::mt19937 g(3);
        const Model a = random_model(g, 9, 6, 60);
        for (const mpq_class& c : {mpq_class(0), mpq_class(3), mpq_class(-2, 5), mpq_class(7)}) {
            if (mod && c.get_den() != 1) continue;
            RecordLedger ledger;
            Model want(9, 6);
            for (size_t k = 0; k < a.v.size(); k++)
                want.v[k] = mod ? mpq_class(ring_reduce(a.v[k].get_num() * c.get_num())) : a.v[k] * c;
            quoly* q = make_q(mod ? mpq_class(ring_reduce(c.get_num())) : c);
            sparse* s = build_from(a);
            sparse* copy = s;
            mult_cons_sparse(&copy, q, 0, 9);
            EXPECT_TRUE(sparse_matches(copy, want)) << "copy by " << c;
            EXPECT_TRUE(sparse_matches(s, a)) << "original changed";
            mult_cons_sparse(&s, q, 1, 9);
            EXPECT_TRUE(sparse_matches(s, want)) << "in place by " << c;
            free_sparse(&copy, 9, 1);
            free_sparse(&s, 9, 1);
            free_quoly(&q);
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

// A small modulus, an inner size far past where a 32-bit sum of residues
// overflows: each term is (p - 1) x 1, so the sum is -N mod p.
TEST(Products, SmallModulusLongInnerSize) {
    PrimeRing ring(65521);
    for (int32_t n : {65537, 70000, 1000000}) {
        std::vector<quoly*> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
        for (int32_t k = 0; k < n; k++) {
            quoly_set(65520, &a[k]);
            quoly_set(1, &b[k]);
        }
        mat_shape as{n, 1};
        const mat_shape bs{n, n};
        matrix_mult(a.data(), b.data(), &as, &bs, 1, nullptr, nullptr);
        ASSERT_EQ(as.count, 1);
        const int64_t want = ((-int64_t{n}) % 65521 + 65521) % 65521;
        EXPECT_EQ(a[0]->nnum->value, want) << n;
        free_quoly(&a[0]);
        for (auto& q : b) free_quoly(&q);
    }
}

// Polynomial and quoly cells in two variables: every route against a triple
// loop over quolys, compared by difference.
TEST(Products, PolynomialCellsOnEveryRoute) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    std::mt19937 g(11);
    std::uniform_int_distribution<int> coef(-3, 3), e(0, 3), pct(1, 100);
    auto cell = [&](int density) -> quoly* {
        quoly* q = nullptr;
        if (pct(g) > density) {
            quoly_set(0, &q);
            return q;
        }
        TermList t;
        for (int k = 0; k < 3; k++) t.push_back({coef(g), {e(g), e(g)}});
        BuiltPoly p(2, t);
        p_q_assign(p, &q);
        if (pct(g) <= 20) {   // a quoly: over x + 1
            BuiltPoly d(2, TermList{{1, {1, 0}}, {1, {0, 0}}});
            quoly* dq = nullptr;
            p_q_assign(d, &dq);
            quoly* r = nullptr;
            three_address(DIV, q, dq, &r);
            free_quoly(&q);
            free_quoly(&dq);
            q = r;
        }
        return q;
    };
    for (const Shape& s : {Shape{3, 5, 7}, Shape{1, 7, 1}, Shape{7, 1, 3}, Shape{4, 4, 4}})
        for (int density : {20, 100}) {
            SCOPED_TRACE(::testing::Message() << s.m << "x" << s.n << "x" << s.p << " at " << density << "%");
            RecordLedger ledger;
            std::vector<quoly*> a(size_t(s.m) * s.n), b(size_t(s.n) * s.p);
            for (auto& q : a) q = cell(density);
            for (auto& q : b) q = cell(density);
            const size_t out = size_t(s.m) * s.p;
            std::vector<quoly*> want(out, nullptr);
            for (int32_t i = 0; i < s.m; i++)
                for (int32_t j = 0; j < s.p; j++) {
                    quoly* sum = nullptr;
                    quoly_set(0, &sum);
                    for (int32_t k = 0; k < s.n; k++) {
                        quoly* t = nullptr;
                        quoly* u = nullptr;
                        three_address(MUL, a[size_t(k) * s.m + i], b[size_t(j) * s.n + k], &t);
                        three_address(ADD, sum, t, &u);
                        free_quoly(&t);
                        free_quoly(&sum);
                        sum = u;
                    }
                    want[size_t(j) * s.m + i] = sum;
                }
            auto same = [&](quoly* const* got, const char* route) {
                for (size_t c = 0; c < out; c++) {
                    quoly* d = nullptr;
                    three_address(SUB, got[c], want[c], &d);
                    EXPECT_TRUE(quoly_iszero(d)) << route << " cell " << c;
                    free_quoly(&d);
                }
            };
            auto to_sparse = [&](std::vector<quoly*>& cells, int32_t rows, int32_t cols) {
                sparse* f = new_frame_chain(rows);
                for (int32_t i = 0; i < rows; i++) {
                    colm** tail = row_head(f, i + 1);
                    for (int32_t j = 0; j < cols; j++) {
                        quoly* q = cells[size_t(j) * rows + i];
                        if (quoly_iszero(q)) continue;
                        colm* x = take_colm();
                        x->col = j + 1;
                        x->val = nullptr;
                        quoly_assign(q, &x->val);
                        x->next = nullptr;
                        *tail = x;
                        tail = &x->next;
                    }
                }
                return f;
            };
            auto from_sparse = [&](sparse* f, int32_t rows, int32_t cols) {
                std::vector<quoly*> v(size_t(rows) * cols, nullptr);
                for (int32_t i = 1; i <= rows; i++)
                    for (colm* x = *row_head(f, i); x; x = x->next) {
                        EXPECT_FALSE(quoly_iszero(x->val));
                        quoly_assign(x->val, &v[size_t(x->col - 1) * rows + (i - 1)]);
                    }
                for (auto& q : v)
                    if (!q) quoly_set(0, &q);
                return v;
            };
            const mat_shape bs{int64_t(s.n) * s.p, s.n};
            {
                std::vector<quoly*> w(std::max(out, a.size()), nullptr);
                for (size_t c = 0; c < a.size(); c++) w[c] = a[c];
                mat_shape as{int64_t(a.size()), s.m};
                matrix_mult(w.data(), b.data(), &as, &bs, 0, nullptr, nullptr);
                same(w.data(), "dense");
                for (size_t c = 0; c < out; c++) free_quoly(&w[c]);
            }
            {
                std::vector<quoly*> r(out, nullptr);
                fast_mat_mult(a.data(), b.data(), r.data(), s.m, s.n, s.p);
                same(r.data(), "Winograd");
                free_cells(r);
            }
            {
                sparse* sa = to_sparse(a, s.m, s.n);
                sparse* sb = to_sparse(b, s.n, s.p);
                mult_sparses(&sa, &sb, s.m, s.n, s.p, 1);
                std::vector<quoly*> r = from_sparse(sa, s.m, s.p);
                same(r.data(), "sparse x sparse");
                free_cells(r);
                free_sparse(&sa, s.m, 1);
                std::vector<quoly*> r2(out, nullptr);
                mult_norm_sparse(a.data(), r2.data(), &sb, s.m, s.n, s.p);
                same(r2.data(), "dense x sparse");
                free_cells(r2);
                free_sparse(&sb, s.n, 1);
                sa = to_sparse(a, s.m, s.n);
                std::vector<quoly*> r3(out, nullptr);
                mult_sparse_norm(&sa, b.data(), r3.data(), 1, s.m, s.n, s.p);
                same(r3.data(), "sparse x dense");
                free_cells(r3);
            }
            free_cells(a);
            free_cells(b);
            free_cells(want);
            EXPECT_TRUE(ledger.balanced());
        }
}

}  // namespace
