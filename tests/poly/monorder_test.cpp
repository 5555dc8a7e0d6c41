// The monomial order against a reference computed from the exponent
// vectors read back from the monomials.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "numbers/ring.h"
#include "poly/monorder.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"

namespace {

constexpr int kVars = 5;

quoly* monomial_quoly(std::vector<int32_t> exps, long coef = 1) {
    polynode* p = build_poly(kVars, {{coef, std::move(exps)}});
    quoly* q = nullptr;
    use_up_poly(&p, &q);
    return q;
}

// c / x1: a quoly whose numerator is a number node.
quoly* number_over_x(long c) {
    quoly* q;
    newquoly(&q);
    q->link = nullptr;
    q->isnum = 0;
    q->rat = 0;
    q->pnum = build_poly(kVars, {{c, {0, 0, 0, 0, 0}}});
    q->den = build_poly(kVars, {{1, {1, 0, 0, 0, 0}}});
    return q;
}

quoly* plain_number(int32_t c) {
    quoly* q = nullptr;
    quoly_set(c, &q);
    return q;
}

// ---- reference: rank 0 plain number, 1 number numerator, 2 monomial ----

struct Key {
    int rank;
    std::vector<std::pair<int, int32_t>> sig;   // (level, exponent) of the positive exponents
};

Key key_of(const quoly* q) {
    if (q->isnum) return {0, {}};
    TermList t = read_poly(q->pnum, kVars);
    if (q->pnum->numb) return {1, {}};
    Key k{2, {}};
    for (int i = 0; i < kVars; i++)
        if (t.at(0).exps[i] > 0) k.sig.emplace_back(i, t[0].exps[i]);
    return k;
}

// <0: a first; 0: same rank; >0: b first.
int ref_cmp(const Key& a, const Key& b) {
    if (a.rank != b.rank) return a.rank - b.rank;
    if (a.rank < 2) return 0;
    if (a.sig.size() != b.sig.size()) return a.sig.size() < b.sig.size() ? -1 : 1;
    for (size_t i = 0; i < a.sig.size(); i++)
        if (a.sig[i].first != b.sig[i].first) return a.sig[i].first > b.sig[i].first ? -1 : 1;
    for (size_t i = 0; i < a.sig.size(); i++)
        if (a.sig[i].second != b.sig[i].second) return a.sig[i].second < b.sig[i].second ? -1 : 1;
    return 0;
}

class MonOrder : public ::testing::Test {
protected:
    ~MonOrder() override {
        for (quoly*& q : made_) free_quoly(&q);
        EXPECT_TRUE(ledger_.balanced());
    }
    quoly* keep(quoly* q) {
        made_.push_back(q);
        return q;
    }
    quoly* mono(std::vector<int32_t> e, long c = 1) { return keep(monomial_quoly(std::move(e), c)); }

    RingStateGuard ring_;
    RecordLedger ledger_;
    std::vector<quoly*> made_;
};

TEST_F(MonOrder, TheOrderOfTheSpecimens) {
    quoly* x = mono({1, 0, 0, 0, 0});
    quoly* y = mono({0, 1, 0, 0, 0});
    quoly* xy = mono({1, 1, 0, 0, 0});
    quoly* x2y = mono({2, 1, 0, 0, 0});
    quoly* xy5 = mono({1, 5, 0, 0, 0}, -7);
    quoly* x2 = mono({2, 0, 0, 0, 0});
    quoly* x3 = mono({3, 0, 0, 0, 0});
    EXPECT_EQ(quoly_mon_less(y, x), 1);      // the deeper variable first
    EXPECT_EQ(quoly_mon_less(x, y), 0);
    EXPECT_EQ(quoly_mon_less(x, xy), 1);     // fewer variables first
    EXPECT_EQ(quoly_mon_less(xy5, x2y), 1);  // first exponent 1 < 2
    EXPECT_EQ(quoly_mon_less(x2y, xy5), 0);
    EXPECT_EQ(quoly_mon_less(x2, x3), 1);
    int eq = -1;
    EXPECT_EQ(mon_less(x3->pnum, x2->pnum, &eq), 0);
    EXPECT_EQ(eq, 0);

    // Equal monomials, coefficients aside.
    quoly* xy_again = mono({1, 1, 0, 0, 0}, 12345);
    EXPECT_EQ(quoly_mon_less(xy, xy_again), 0);
    EXPECT_EQ(quoly_mon_less_eq(xy, xy_again), 1);
    EXPECT_EQ(mon_less(xy->pnum, xy_again->pnum, &eq), 1);
    EXPECT_EQ(eq, 1);

    // Constants first; two constants: the first test decides.
    quoly* five = keep(plain_number(5));
    quoly* minus = keep(plain_number(-5));
    EXPECT_EQ(quoly_mon_less(five, x), 1);
    EXPECT_EQ(quoly_mon_less(x, five), 0);
    EXPECT_EQ(quoly_mon_less(five, minus), 0);
    EXPECT_EQ(quoly_mon_less_eq(five, minus), 1);
    polynode* c1 = build_poly(kVars, {{3, {0, 0, 0, 0, 0}}});
    polynode* c2 = build_poly(kVars, {{4, {0, 0, 0, 0, 0}}});
    EXPECT_EQ(mon_less(c1, c2, &eq), 1);
    EXPECT_EQ(mon_less(c2, c1, &eq), 1);
    EXPECT_EQ(mon_less(x->pnum, c1, &eq), 0);
    free_poly(&c1);
    free_poly(&c2);
}

TEST_F(MonOrder, NumberNumeratorsAreNotStrictlyOrdered) {
    quoly* a = keep(number_over_x(3));
    quoly* b = keep(number_over_x(4));
    quoly* x = mono({1, 0, 0, 0, 0});
    quoly* one = keep(plain_number(1));
    EXPECT_EQ(quoly_mon_less(a, a), 0);
    EXPECT_EQ(quoly_mon_less(a, b), 0);
    EXPECT_EQ(quoly_mon_less(b, a), 0);
    EXPECT_EQ(quoly_mon_less_eq(a, b), 1);
    EXPECT_EQ(quoly_mon_less(a, x), 1);
    EXPECT_EQ(quoly_mon_less(x, a), 0);
    EXPECT_EQ(quoly_mon_less(one, a), 1);
    EXPECT_EQ(quoly_mon_less(a, one), 0);
}

TEST_F(MonOrder, AgreesWithTheReferenceOnRandomMonomials) {
    NumberGen g(2024);
    SCOPED_TRACE(g.trace());
    std::vector<quoly*> qs;
    for (int i = 0; i < scaled(120); i++) {
        int kind = g.below(10);
        if (kind == 0) {
            qs.push_back(keep(plain_number(g.between(-3, 3))));
        } else if (kind == 1) {
            qs.push_back(keep(number_over_x(g.between(1, 3))));
        } else {
            std::vector<int32_t> e(kVars, 0);
            while (std::all_of(e.begin(), e.end(), [](int32_t v) { return v == 0; }))
                for (int32_t& v : e) v = g.chance(35) ? g.between(1, 3) : 0;
            qs.push_back(mono(e, g.between(-9, 9) | 1));
        }
    }
    for (quoly* p : qs) {
        for (quoly* q : qs) {
            const int c = ref_cmp(key_of(p), key_of(q));
            ASSERT_EQ(quoly_mon_less(p, q), c < 0);
            ASSERT_EQ(quoly_mon_less_eq(p, q), c <= 0);
            if (!p->isnum && !q->isnum) {
                int eq = -1;
                const bool p_number = p->pnum->numb, q_number = q->pnum->numb;
                const int want = p_number ? 1 : q_number ? 0 : c <= 0;
                ASSERT_EQ(mon_less(p->pnum, q->pnum, &eq), want);
                EXPECT_EQ(eq, !p_number && !q_number && c == 0);
            }
        }
    }
}

TEST_F(MonOrder, LaurentMonomialsSortBelowTheirNonNegativeNeighbours) {
    int saved = laurent;
    laurent = 1;
    // Levels 0 and 1 stand for x (outer) and y (inner).
    quoly* y2 = mono({0, 2, 0, 0, 0});
    quoly* xm1y2 = mono({-1, 2, 0, 0, 0});
    quoly* xm2y2 = mono({-2, 2, 0, 0, 0});
    quoly* zm2 = mono({0, 0, -2, 0, 0});
    quoly* xm1 = mono({-1, 0, 0, 0, 0});
    quoly* xm2 = mono({-2, 0, 0, 0, 0});
    quoly* x = mono({1, 0, 0, 0, 0});
    quoly* xm1y = mono({-1, 1, 0, 0, 0});
    quoly* y = mono({0, 1, 0, 0, 0});
    // The order a sort gives, smallest first: with no positive power at
    // all, the larger negative part first (x^-2 before x^-1; z, the deeper
    // variable, counts as the smaller one); then the positive powers in the
    // usual order, a negative power of another variable sorting just below
    // its neighbour without it.
    std::vector<quoly*> order = {xm2, xm1, zm2, xm1y, y, xm2y2, xm1y2, y2, x};
    for (size_t i = 0; i < order.size(); i++)
        for (size_t j = 0; j < order.size(); j++) {
            EXPECT_EQ(quoly_mon_less(order[i], order[j]), i < j ? 1 : 0) << i << " " << j;
            EXPECT_EQ(quoly_mon_less_eq(order[i], order[j]), i <= j ? 1 : 0) << i << " " << j;
            int eq = -1;
            EXPECT_EQ(mon_less(order[i]->pnum, order[j]->pnum, &eq), i <= j ? 1 : 0) << i << " " << j;
            EXPECT_EQ(eq, i == j ? 1 : 0);
        }
    laurent = saved;
}

TEST_F(MonOrder, InitialMakesAnEmptyNumberNode) {
    polynode* p = nullptr;
    initial(&p);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->numb, 1);
    EXPECT_EQ(p->exp, 0);
    EXPECT_EQ(p->next, nullptr);
    ASSERT_NE(p->ncoef, nullptr);
    EXPECT_EQ(p->ncoef->count, 0);
    p->ncoef->value = 0;
    free_poly(&p);
}

}  // namespace
