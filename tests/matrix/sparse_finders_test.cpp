// The narrow sparse pivot finders on hand-made matrices, and the minors'
// row statistics: rows taken out and put back across frames of 2,048 rows
// leave the matrix and the statistics as they were, and while a row is out
// the statistics are those of the rows still present, counted afresh.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "det/pivots.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_finders.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

struct Heuristic {
    int32_t saved = pseudet_heur;
    explicit Heuristic(int32_t u) { pseudet_heur = u; }
    ~Heuristic() { pseudet_heur = saved; }
};

// Appends (col, v) to row r (columns given in ascending order); v taken over.
void put(sparse* f, int32_t r, int32_t col, quoly* v) {
    colm** p = row_head(f, r);
    while (*p) p = &(*p)->next;
    colm* e = take_colm();
    e->col = col;
    e->val = v;
    e->next = nullptr;
    *p = e;
}

quoly* num(int32_t v) {
    quoly* q = nullptr;
    if (modularmode)
        quoly_set_lint(v, &q);
    else
        quoly_set(v, &q);
    return q;
}

// x^e times c in one variable.
quoly* mono(int c, int32_t e) {
    HeldPoly p(build_poly(1, {{c, {e}}}));
    quoly* q = nullptr;
    p_q_assign(p.p, &q);
    return q;
}

TEST(SparseColFindBest, PreferenceAndEmptyRows) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    RecordLedger ledger;
    {
        Heuristic u(0);
        sparse* f = new_frame_chain(5);
        int32_t row = 0;
        sparse_colfindbest(f, 5, 1, 2, &row);
        EXPECT_EQ(row, -2);   // every row empty
        put(f, 1, 1, num(4));
        sparse_colfindbest(f, 5, 1, 2, &row);
        EXPECT_EQ(row, -1);   // rows, but nothing in column 2
        // Column 2: polynomials only, the least mass wins.
        put(f, 2, 2, mono(3, 5));
        put(f, 3, 2, mono(2, 1));
        put(f, 4, 2, mono(7, 3));
        sparse_colfindbest(f, 5, 1, 2, &row);
        EXPECT_EQ(row, 3);
        // A single integer beats them all.
        put(f, 5, 2, num(-12345));
        sparse_colfindbest(f, 5, 1, 2, &row);
        EXPECT_EQ(row, 5);
        sparse_colfindbest(f, 4, 3, 2, &row);   // rows 3, 4 only
        EXPECT_EQ(row, 3);
        free_sparse(&f, 5, 1);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseModColFindBest, NearestToAUnit) {
    PrimeRing ring(101);
    Heuristic u(0);
    sparse* f = new_frame_chain(4);
    put(f, 1, 1, num(50));
    put(f, 2, 1, num(97));   // -4: distance 3
    put(f, 3, 1, num(30));
    int32_t row = 0;
    sparse_mod_colfindbest(f, 3, 1, 1, &row);
    EXPECT_EQ(row, 2);
    put(f, 4, 1, num(100));   // -1: taken at once
    sparse_mod_colfindbest(f, 4, 1, 1, &row);
    EXPECT_EQ(row, 4);
    free_sparse(&f, 4, 1);
}

TEST(SpecialModSparseFindBest, FirstEntryOfTheFirstRowHavingOne) {
    PrimeRing ring(101);
    sparse* f = new_frame_chain(3);
    auto raw = [](int32_t v) { return reinterpret_cast<quoly*>(static_cast<intptr_t>(v)); };
    put(f, 1, 1, raw(5));
    put(f, 3, 2, raw(7));
    put(f, 3, 3, raw(9));
    int32_t row = 0, col = 0;
    special_mod_sparse_findbest(1, f, 3, 2, &row, &col);
    EXPECT_EQ(row, -1);   // row 2 is empty
    special_mod_sparse_findbest(0, f, 3, 2, &row, &col);
    EXPECT_EQ(row, 3);
    EXPECT_EQ(col, 2);
    free_sparse_frame(&f, 3);
}

TEST(SparseIntFindBest, SingletonUnitLeast) {
    PrimeRing ring(0);
    Heuristic u(0);
    sparse* f = new_frame_chain(3);
    // Column 3 holds one entry: it is taken, its mass reported.
    put(f, 1, 1, num(6)), put(f, 1, 2, num(-1));
    put(f, 2, 1, num(9)), put(f, 2, 2, num(4));
    put(f, 3, 1, num(-5)), put(f, 3, 2, num(8)), put(f, 3, 3, num(7));
    int32_t row = 0, col = 0, kind = 0;
    sparse_intfindbest(f, 3, 1, &row, &col, &kind);
    EXPECT_EQ(row, 3);
    EXPECT_EQ(col, 3);
    EXPECT_GT(kind, 0);
    put(f, 2, 3, num(11));
    sparse_intfindbest(f, 3, 1, &row, &col, &kind);   // the unit -1
    EXPECT_EQ(kind, -1);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(col, 2);
    sparse_intfindbest(f, 3, 2, &row, &col, &kind);   // least absolute value among rows 2, 3
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(col, 2);
    free_sparse(&f, 3, 1);
}

// The statistics of rows 1..n counted afresh.
void count_stats(sparse* f, int32_t n, std::vector<int32_t>* cnt, std::vector<int64_t>* mass) {
    cnt->assign(8, 0);
    mass->assign(8, 0);
    for (int32_t r = 1; r <= n; r++)
        for (colm* e = *row_head(f, r); e; e = e->next) {
            (*cnt)[e->col / 32768 - 1]++;
            (*mass)[e->col / 32768 - 1] += quoly_mass(e->val);
        }
}

TEST(RemoveRestoreRow, RoundTripsAcrossFrames) {
    PrimeRing ring(0);
    RecordLedger ledger;
    {
        const int32_t n = 5000, cols = 8;
        std::mt19937_64 rng(9);
        std::uniform_int_distribution<int> coin(0, 2), val(-99999, 99999);
        sparse* f = new_frame_chain(n);
        for (int32_t r = 1; r <= n; r++)
            for (int32_t c = 1; c <= cols; c++)
                if (!coin(rng)) put(f, r, c * 32769, num(val(rng) | 1));
        std::vector<colm*> heads(n + 1);
        for (int32_t r = 1; r <= n; r++) heads[r] = *row_head(f, r);
        std::vector<int32_t> cnt;
        std::vector<int64_t> mass;
        count_stats(f, n, &cnt, &mass);
        for (int32_t i = 0; i < cols; i++) {
            sparse_number_col[i] = cnt[i];
            sparse_mass[i] = static_cast<int32_t>(mass[i]);
        }
        EXPECT_EQ(row_mass(nullptr), 0);
        for (int32_t r : {1, 2047, 2048, 2049, 4096, 4097, n}) {
            colm* saved = nullptr;
            const int32_t rm = row_mass(heads[r]);
            remove_row(f, n, r, &saved, 1);
            EXPECT_EQ(saved, heads[r]);
            EXPECT_EQ(*row_head(f, n), nullptr);
            for (int32_t i : {r, r + 1, n - 1})
                if (i >= r && i < n) {
                    EXPECT_EQ(*row_head(f, i), heads[i + 1]) << "r=" << r << " i=" << i;
                }
            std::vector<int32_t> c2;
            std::vector<int64_t> m2;
            count_stats(f, n - 1, &c2, &m2);
            int64_t mass_sum = 0;
            for (int32_t i = 0; i < cols; i++) {
                EXPECT_EQ(sparse_number_col[i], c2[i]) << "r=" << r;
                EXPECT_EQ(sparse_mass[i], m2[i]) << "r=" << r;
                mass_sum += mass[i] - m2[i];
            }
            EXPECT_EQ(mass_sum, rm);
            restore_row(f, n, r, saved, 1);
            for (int32_t i = 1; i <= n; i++) ASSERT_EQ(*row_head(f, i), heads[i]) << "r=" << r << " i=" << i;
            for (int32_t i = 0; i < cols; i++) {
                EXPECT_EQ(sparse_number_col[i], cnt[i]);
                EXPECT_EQ(sparse_mass[i], mass[i]);
            }
        }
        free_sparse(&f, n, 1);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
