// Polynomials into arrays: the monomial column of random polynomials (past
// one frame of 2,048 rows too) read back term by term against the
// polynomial's own terms in stored order; factor lists made by hand stored
// as two-column arrays, the empty one as [1, 0]; denominators dropped from
// dense and sparse elements. Every record is given back.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "matrix/array_store.h"
#include "matrix/poly_arrays.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

constexpr int NV = 3;

// The rows of a one-column sparse array, in order, as terms.
TermList column_terms(sparse* frame, int32_t rows) {
    TermList out;
    for (int32_t r = 1; r <= rows; r++) {
        colm* e = *row_head(frame, r);
        EXPECT_NE(e, nullptr) << "row " << r;
        if (!e) continue;
        EXPECT_EQ(e->col, 1);
        EXPECT_EQ(e->next, nullptr);
        EXPECT_TRUE(check_quoly_normal(e->val, NV));
        TermList t;
        if (e->val->isnum) {
            const mpz_class c = lintmode ? mpz_class(e->val->nnum->value) : to_mpz(e->val->nnum);
            t.emplace_back(c, std::vector<int32_t>(NV, 0));
        } else {
            t = read_poly(e->val->pnum, NV);
        }
        EXPECT_EQ(t.size(), 1u) << "row " << r << " is not one monomial";
        if (!t.empty()) out.push_back(t[0]);
    }
    return out;
}

// In stored order: canonical order is the stored order (outermost first,
// exponents decreasing).
void monomials_round_trip(int32_t mod, int terms, uint64_t seed) {
    PrimeRing ring(mod);
    AttachedVars vars(NV);
    NumberGen g(seed);
    RecordLedger ledger;
    {
        TermList t;
        for (int i = 0; i < terms; i++) {
            std::vector<int32_t> e(NV);
            for (auto& x : e) x = g.between(0, 14);
            t.emplace_back(g.between(-50, 50), e);
        }
        HeldPoly p(build_poly(NV, t));
        const TermList want = read_poly(p.p, NV);
        quoly* q = nullptr;
        p_q_assign(p.p, &q);
        for (int one = 0; one <= 1; one++) {
            array a{};
            a.sparse = new_frame_chain(static_cast<int32_t>(want.size()));
            const int32_t rows = dump_mons(&a, q, one);
            ASSERT_EQ(rows, static_cast<int32_t>(want.size()));
            TermList got = column_terms(a.sparse, rows);
            TermList expect = want;
            if (one)
                for (auto& x : expect) x.coef = 1;
            EXPECT_EQ(got, expect) << "one = " << one;
            free_sparse(&a.sparse, rows, 1);
        }
        free_quoly(&q);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(DumpMons, ColumnReadsBackInStoredOrder) {
    monomials_round_trip(0, 40, 11);
    monomials_round_trip(101, 40, 12);
}

TEST(DumpMons, PastOneFrame) {
    // 15^3 exponent vectors: most of 3,375 monomials, well past 2,048 rows.
    monomials_round_trip(0, 6000, 13);
}

TEST(DumpMons, Numbers) {
    PrimeRing ring(0);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        quoly* q = nullptr;
        quoly_set(0, &q);
        array a{};
        a.sparse = new_frame_chain(1);
        EXPECT_EQ(dump_mons(&a, q, 0), 0);
        EXPECT_EQ(*row_head(a.sparse, 1), nullptr);
        EXPECT_EQ(dump_mons(&a, q, 1), 1);
        EXPECT_EQ(column_terms(a.sparse, 1), TermList({Term(1, {0, 0, 0})}));
        free_sparse(&a.sparse, 1, 1);
        quoly_set(-7, &q);
        a.sparse = new_frame_chain(1);
        EXPECT_EQ(dump_mons(&a, q, 0), 1);
        EXPECT_EQ(column_terms(a.sparse, 1), TermList({Term(-7, {0, 0, 0})}));
        free_sparse(&a.sparse, 1, 1);
        free_quoly(&q);
    }
    EXPECT_TRUE(ledger.balanced());
}

// A factor list cell: multiplicity m over the factor f (taken).
polynode* cell(int32_t m, polynode* f, polynode* next) {
    polynode* c = term_node(m, f, next);
    return c;
}

TEST(PolyToArray, HandMadeListsAndTheEmptyList) {
    PrimeRing ring(0);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        tokenrec nm;
        set_token(&nm, "fl");
        array* a = insertarr(&nm, 2, 2, 0);
        for (int32_t c = a->first; c <= a->last; c++) *cell_at(c) = nullptr;
        // (x + 1)^2 (x - 1) with x the outermost variable.
        polynode* list = cell(2, build_poly(NV, {Term(1, {1, 0, 0}), Term(1, {0, 0, 0})}),
                              cell(1, build_poly(NV, {Term(1, {1, 0, 0}), Term(-1, {0, 0, 0})}), nullptr));
        poly_to_array(2, a->first, &list);
        EXPECT_EQ(list, nullptr);
        EXPECT_EQ(read_poly((*cell_at(a->first))->pnum, NV),
                  canonical_terms(NV, {Term(1, {1, 0, 0}), Term(1, {0, 0, 0})}));
        EXPECT_EQ(read_poly((*cell_at(a->first + 1))->pnum, NV),
                  canonical_terms(NV, {Term(1, {1, 0, 0}), Term(-1, {0, 0, 0})}));
        for (int k = 0; k < 4; k++) EXPECT_TRUE(check_quoly_normal(*cell_at(a->first + k), NV));
        EXPECT_EQ(to_mpz((*cell_at(a->first + 2))->nnum), 2);
        EXPECT_EQ(to_mpz((*cell_at(a->first + 3))->nnum), 1);
        // A constant factor becomes a plain number; no list gives [1, 0].
        polynode* constant = cell(3, build_poly(NV, {Term(5, {0, 0, 0})}), nullptr);
        poly_to_array(1, a->first, &constant);
        EXPECT_TRUE((*cell_at(a->first))->isnum);
        EXPECT_EQ(to_mpz((*cell_at(a->first))->nnum), 5);
        EXPECT_EQ(to_mpz((*cell_at(a->first + 1))->nnum), 3);
        polynode* none = nullptr;
        poly_to_array(0, a->first, &none);
        EXPECT_EQ(to_mpz((*cell_at(a->first))->nnum), 1);
        EXPECT_EQ(to_mpz((*cell_at(a->first + 1))->nnum), 0);
        remove_array(a);
    }
    EXPECT_TRUE(ledger.balanced());
}

// A quoly num/den from terms (den empty: no denominator).
quoly* fraction(const TermList& num, const TermList& den) {
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = build_poly(NV, num);
    q->den = den.empty() ? nullptr : build_poly(NV, den);
    return q;
}

TEST(Killdenoms, DenseAndSparse) {
    PrimeRing ring(0);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        const TermList x_plus_1{Term(1, {1, 0, 0}), Term(1, {0, 0, 0})};
        const TermList x_minus_1{Term(1, {1, 0, 0}), Term(-1, {0, 0, 0})};
        tokenrec nm;
        set_token(&nm, "kd");
        array* a = insertarr(&nm, 2, 2, 0);
        for (int32_t c = a->first; c <= a->last; c++) *cell_at(c) = nullptr;
        *cell_at(a->first) = fraction(x_plus_1, x_minus_1);
        *cell_at(a->first + 1) = fraction({Term(1, {0, 0, 0})}, x_plus_1);
        *cell_at(a->first + 2) = fraction(x_minus_1, {});
        // The fourth cell stays empty: it becomes 0 with the warning.
        testing::internal::CaptureStdout();
        killdenoms(nullptr, a->first, 2, 2, 2);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find("Uninitialized array element"), std::string::npos);
        EXPECT_EQ((*cell_at(a->first))->den, nullptr);
        EXPECT_EQ(read_poly((*cell_at(a->first))->pnum, NV), canonical_terms(NV, x_plus_1));
        EXPECT_TRUE((*cell_at(a->first + 1))->isnum);
        EXPECT_EQ(to_mpz((*cell_at(a->first + 1))->nnum), 1);
        EXPECT_EQ(read_poly((*cell_at(a->first + 2))->pnum, NV), canonical_terms(NV, x_minus_1));
        EXPECT_TRUE((*cell_at(a->first + 3))->isnum);
        for (int k = 0; k < 4; k++) EXPECT_TRUE(check_quoly_normal(*cell_at(a->first + k), NV));
        remove_array(a);

        sparse* frame = new_frame_chain(3000);
        quoly** slot = nullptr;
        sparse_zero_set(row_head(frame, 2500), 1, &slot);
        free_quoly(slot);
        *slot = fraction(x_minus_1, x_plus_1);
        killdenoms(frame, 0, 3000, 3000, 1);
        quoly* v = spar_retrieve(frame, 2500, 1);
        EXPECT_EQ(v->den, nullptr);
        EXPECT_EQ(read_poly(v->pnum, NV), canonical_terms(NV, x_minus_1));
        free_sparse(&frame, 3000, 1);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
