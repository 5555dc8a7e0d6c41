// The step routines of the integer normal forms: the pivot searches (the
// entry chosen and its kind), the reductions (the remainder left, never
// negated, and its kind), and the transforms kept in step, checked by
// T0 x A0 x T1 = A and T0 x T2 = T1 x T3 = I in GMP.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <vector>

#include "matrix/int_steps.h"
#include "support/gmp_bridge.h"
#include "support/ring_setup.h"

namespace {

using Dense = std::vector<std::vector<mpz_class>>;   // [row][column]
using namespace int_steps;

// A flat column-major matrix of number quolys, freed with the object.
struct Cells {
    int32_t R, K;
    std::vector<quoly*> v;
    Cells(int32_t rows, int32_t cols) : R(rows), K(cols), v(static_cast<size_t>(rows) * cols, nullptr) {
        for (quoly*& q : v) quoly_set(0, &q);
    }
    explicit Cells(const Dense& a) : Cells(static_cast<int32_t>(a.size()), static_cast<int32_t>(a[0].size())) {
        for (int32_t i = 0; i < R; i++)
            for (int32_t j = 0; j < K; j++) {
                imag* x = from_mpz(a[i][j]);
                scalar_to_quoly(x, &v[static_cast<size_t>(j) * R + i]);
                release(x);
            }
    }
    ~Cells() {
        for (quoly*& q : v) free_quoly(&q);
    }
    Dense value() const {
        Dense d(R, std::vector<mpz_class>(K));
        for (int32_t i = 0; i < R; i++)
            for (int32_t j = 0; j < K; j++) d[i][j] = to_mpz(v[static_cast<size_t>(j) * R + i]->nnum);
        return d;
    }
    Cells(const Cells&) = delete;
    Cells& operator=(const Cells&) = delete;
};

Dense mul(const Dense& a, const Dense& b) {
    Dense c(a.size(), std::vector<mpz_class>(b[0].size()));
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b[0].size(); j++)
            for (size_t t = 0; t < b.size(); t++) c[i][j] += a[i][t] * b[t][j];
    return c;
}

Dense eye(int32_t n) {
    Dense d(n, std::vector<mpz_class>(n));
    for (int32_t i = 0; i < n; i++) d[i][i] = 1;
    return d;
}

// The matrix with all four transforms kept.
struct Kept {
    Dense a0;
    Cells a, t0, t1, t2, t3;
    Work w;
    explicit Kept(const Dense& m)
        : a0(m), a(m), t0(a.R, a.R), t1(a.K, a.K), t2(a.R, a.R), t3(a.K, a.K), w(a.v.data(), a.R, a.K) {
        const int flags[4] = {1, 1, 1, 1};
        start_transforms(&w, flags, t0.v.data(), t1.v.data(), t2.v.data(), t3.v.data());
    }
    void check() const {
        EXPECT_EQ(mul(mul(t0.value(), a0), t1.value()), a.value());
        EXPECT_EQ(mul(t0.value(), t2.value()), eye(a.R));
        EXPECT_EQ(mul(t1.value(), t3.value()), eye(a.K));
    }
};

struct IntSteps : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(IntSteps, PivotSearchesPickTheEntryAndItsKind) {
    int32_t i = -1, j = -1;
    {
        // Rows and columns before k are outside the block, the unit at
        // (0, 0) among them.
        Cells c({{1, 0, 0}, {0, 6, -4}, {0, -4, 9}});
        Work w(c.v.data(), 3, 3);
        EXPECT_EQ(intfindbest(&w, 1, &i, &j), 1);
        EXPECT_EQ(i, 2);   // the first of the two least, column by column
        EXPECT_EQ(j, 1);
        EXPECT_EQ(intfindbest(&w, 0, &i, &j), -1);
        EXPECT_EQ(i, 0);
    }
    {
        Cells c({{5, 3, 0}, {7, -1, 2}});
        Work w(c.v.data(), 2, 3);
        EXPECT_EQ(intfindbest(&w, 0, &i, &j), -1);
        EXPECT_EQ(i, 1);
        EXPECT_EQ(j, 1);
    }
    {
        Cells c({{4, 0}, {0, 0}});
        Work w(c.v.data(), 2, 2);
        EXPECT_EQ(intfindbest(&w, 1, &i, &j), 0);
    }
    {
        Cells c({{6, 0, 0, 0}, {0, -4, 0, 0}, {0, 0, 9, 0}, {0, 0, 0, -1}});
        Work w(c.v.data(), 4, 4);
        int unit = 0;
        EXPECT_EQ(best_on_diag(&w, 0, 3, &unit), 3);
        EXPECT_EQ(unit, -1);
        EXPECT_EQ(best_on_diag(&w, 0, 2, &unit), 1);
        EXPECT_EQ(unit, 1);
    }
    {
        // d_t = 4: 8 divides out, 6 and 10 both leave 2 (the first wins),
        // 9 leaves 1 and wins at once.
        Cells c({{4, 0, 0, 0}, {0, 8, 0, 0}, {0, 0, 6, 0}, {0, 0, 0, 10}});
        Work w(c.v.data(), 4, 4);
        EXPECT_EQ(best_other(&w, 0, 3), 2);
        EXPECT_EQ(best_other(&w, 0, 1), 0);
        Cells u({{4, 0, 0}, {0, 6, 0}, {0, 0, -9}});
        Work wu(u.v.data(), 3, 3);
        EXPECT_EQ(best_other(&wu, 0, 2), 2);
    }
}

TEST_F(IntSteps, ReductionsLeaveTheRemainderTheTransformsRecord) {
    {
        // Pivot -3 at (0, 0): 7 div -3 = -2, remainder 1 (a unit, kind -1);
        // -8 div -3 = 2, remainder -2, smaller than the pivot (kind 1).
        Kept k({{-3, 5, 1}, {7, 2, 0}, {-8, 1, 4}});
        int32_t ni = -1, nj = -1;
        EXPECT_EQ(int_rowreduce(&k.w, 0, 0, 0, 1, &ni, &nj), -1);
        EXPECT_EQ(k.a.value()[1], (std::vector<mpz_class>{1, 12, 2}));
        EXPECT_EQ(ni, 1);
        EXPECT_EQ(nj, 0);
        EXPECT_EQ(int_rowreduce(&k.w, 0, 0, 0, 2, &ni, &nj), 1);
        EXPECT_EQ(k.a.value()[2], (std::vector<mpz_class>{-2, -9, 2}));
        EXPECT_EQ(ni, 2);
        k.check();
    }
    {
        // A zero in the pivot column: nothing changes, nothing reported.
        Kept k({{2, 3}, {0, 5}});
        int32_t ni = -1, nj = -1;
        EXPECT_EQ(int_rowreduce(&k.w, 0, 0, 0, 1, &ni, &nj), 0);
        EXPECT_EQ(ni, -1);
        EXPECT_EQ(k.a.value(), (Dense{{2, 3}, {0, 5}}));
    }
    {
        // Columns: -7 by 3 truncated leaves -1 (kind -1), rounded down 2.
        Kept k({{3, -7, -7, 6}, {1, 2, 2, 5}});
        EXPECT_EQ(int_colreduce(&k.w, 0, 0, 1), -1);
        EXPECT_EQ(int_colreduce(&k.w, 0, 0, 2, true), 1);
        EXPECT_EQ(int_colreduce(&k.w, 0, 0, 3), 0);
        EXPECT_EQ(k.a.value(), (Dense{{3, -1, 2, 0}, {1, 4, 5, 3}}));
        k.check();
        // The zero left is a zero cell, which the searches pass over.
        EXPECT_TRUE(k.w.zero(0, 3));
    }
    {
        // The pivot's column otherwise zero: only the pivot row changes.
        Kept k({{0, 0, 0}, {-4, 10, 9}, {0, 3, 7}});
        EXPECT_EQ(fast_colreduce(&k.w, 1, 0, 1), 1);    // 10 div -4 = -2: 2
        EXPECT_EQ(fast_colreduce(&k.w, 1, 0, 2), -1);   // 9 div -4 = -2: 1
        EXPECT_EQ(k.a.value(), (Dense{{0, 0, 0}, {-4, 2, 1}, {0, 3, 7}}));
        k.check();
    }
}

TEST_F(IntSteps, SwapsAndNegationsKeepTheTransformsAndTheSign) {
    Kept k({{2, 0, 0}, {0, -5, 0}, {0, 0, 7}, {1, 1, 1}});
    swap_them_1(&k.w, 0, 2);
    EXPECT_EQ(k.a.value(), (Dense{{7, 0, 0}, {0, -5, 0}, {0, 0, 2}, {1, 1, 1}}));
    EXPECT_EQ(k.w.sign, 0);   // two swaps
    k.w.col_neg(1);
    EXPECT_EQ(k.w.sign, 1);
    swap_them_1(&k.w, 1, 1);
    EXPECT_EQ(k.w.sign, 1);
    k.check();
}

}  // namespace
