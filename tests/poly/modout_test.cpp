// Reduction modulo one relation in one variable, checked against a long
// division written here on GMP integers: the binomial fold, the general fold
// by division, the power table, and the schoolbook product that reduces as
// it goes; over Z and modulo a prime.
#include <gtest/gtest.h>

#include <vector>

#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

// Coefficients of a polynomial in x, index = exponent.
using Dense = std::vector<mpz_class>;

TermList to_terms(const Dense& c) {
    TermList t;
    for (size_t e = 0; e < c.size(); e++)
        if (c[e] != 0) t.emplace_back(c[e], std::vector<int32_t>{static_cast<int32_t>(e)});
    return canonical_terms(1, t);
}

Dense times(const Dense& a, const Dense& b) {
    Dense c(a.size() + b.size() - 1);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) c[i + j] += a[i] * b[j];
    return c;
}

// The remainder of c by the monic m (m.back() == 1), by schoolbook long
// division.
Dense remainder(Dense c, const Dense& m) {
    const size_t n = m.size() - 1;
    for (size_t k = c.size(); k-- > n;) {
        const mpz_class q = c[k];
        if (q == 0) continue;
        for (size_t i = 0; i <= n; i++) c[k - n + i] -= q * m[i];
    }
    if (c.size() > n) c.resize(n);
    return c;
}

Dense random_dense(NumberGen& g, size_t terms, int32_t bound) {
    Dense c(terms);
    for (auto& x : c) x = g.between(-bound, bound);
    return c;
}

// x carries the relation m for the scope: the relation data as the
// declaration installs it (a lone number -c for x^n + c, the monic m itself
// otherwise) and the power table.
struct Related {
    pt* x;
    Related(pt* v, const Dense& m) : x(v) {
        const int32_t n = static_cast<int32_t>(m.size() - 1);
        bool binomial = true;
        for (int32_t i = 1; i < n; i++) binomial = binomial && m[i] == 0;
        x->modout_degree = n;
        if (binomial)
            x->relation = build_poly(1, canonical_terms(1, {{mpz_class(-m[0]), {0}}}));
        else
            x->relation = build_poly(1, to_terms(m));
        make_muldata(&x->reductions, &x->relation, n, x);
        pseudo_polynames = polynames;
        modout_above_field = 1;
    }
    ~Related() {
        free_poly(&x->relation);
        free_poly(&x->reductions);
        pseudo_polynames = nullptr;
        modout_above_field = 0;
    }
};

TEST(ModOutFold, BinomialByHand) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    Related r(polynames, {2, 0, 0, 1});   // x^3 + 2: x^3 = -2
    // x^7 = x * (x^3)^2 = 4x; x^2 stays.
    HeldPoly p(build_poly(1, {{1, {7}}}));
    fold_poly(&p.p, &polynames->relation, 3, polynames);
    EXPECT_EQ(read_poly(p.p, 1), canonical_terms(1, {{4, {1}}}));
    HeldPoly q(build_poly(1, {{5, {2}}, {1, {0}}}));
    fold_poly(&q.p, &polynames->relation, 3, polynames);
    EXPECT_EQ(read_poly(q.p, 1), canonical_terms(1, {{5, {2}}, {1, {0}}}));
}

TEST(ModOutFold, NilpotentRelationDropsHighTerms) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    Related r(polynames, {0, 0, 0, 1});   // x^3 = 0
    HeldPoly p(build_poly(1, {{2, {4}}, {1, {3}}, {7, {1}}}));
    fold_poly(&p.p, &polynames->relation, 3, polynames);
    EXPECT_EQ(read_poly(p.p, 1), canonical_terms(1, {{7, {1}}}));
    HeldPoly a(build_poly(1, {{1, {2}}, {1, {0}}})), sq;
    poly_mult(a.p, a.p, &sq.p, polynames);   // (x^2 + 1)^2 = 2x^2 + 1
    EXPECT_EQ(read_poly(sq.p, 1), canonical_terms(1, {{2, {2}}, {1, {0}}}));
}

// The table of x^e for e = 2n-2 .. n is what long division gives.
TEST(ModOutFold, PowerTableIsTheRemainderOfEachPower) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    const Dense m = {3, -1, 0, 2, 1};   // x^4 + 2x^3 - x + 3
    Related r(polynames, m);
    int32_t e = 6;
    for (polynode* t = polynames->reductions; t; t = t->next, e--) {
        ASSERT_EQ(t->exp, e);
        Dense xe(e + 1);
        xe[e] = 1;
        EXPECT_EQ(read_poly(t->pcoef, 1), to_terms(remainder(xe, m))) << "x^" << e;
    }
    EXPECT_EQ(e, 3);
}

// Products of reduced elements, by the schoolbook with the table (or the
// binomial replacement), equal the remainder of the plain product; folding
// the plain product by division gives the same; an unreduced operand of
// degree up to 3n is reduced as well.
TEST(ModOutFold, ProductsAgreeWithLongDivision) {
    for (int32_t modulus : {0, 65521}) {
        PrimeRing ring(modulus);
        AttachedVars vars(1);
        NumberGen g(modulus + 7);
        for (int32_t n : {2, 3, 5, 8, 13}) {
            for (int trial = 0; trial < 6; trial++) {
                Dense m = random_dense(g, n, 40);
                if (trial % 3 == 0)
                    for (int32_t i = 1; i < n; i++) m[i] = 0;   // binomial
                m.push_back(1);
                Related r(polynames, m);
                polynames->cutoff = 1000;   // the schoolbook, whatever the size
                // Coefficients of a million make products beyond one digit.
                const int32_t bound = trial == 4 ? 1000000 : 1000;
                const Dense a = random_dense(g, n, bound), b = random_dense(g, trial == 5 ? 3 * n : n, bound);
                RecordLedger ledger;
                {
                    BuiltPoly pa(1, to_terms(a)), pb(1, to_terms(b));
                    HeldPoly out, plain;
                    poly_mult(pa, pb, &out.p, polynames);
                    const TermList want = to_terms(remainder(times(a, b), m));
                    ASSERT_TRUE(check_poly_shape(out.p, 1));
                    EXPECT_EQ(read_poly(out.p, 1), want) << "n " << n << " modulus " << modulus;
                    poly_mult(pa, pb, &plain.p, nilpol);
                    fold_poly(&plain.p, &polynames->relation, n, polynames);
                    ASSERT_TRUE(check_poly_shape(plain.p, 1));
                    EXPECT_EQ(read_poly(plain.p, 1), want);
                }
                EXPECT_TRUE(ledger.balanced());
            }
        }
    }
}

// Two levels: the relation on the inner variable x reaches coefficients of
// the outer y, level by level, in mod_out_poly and total_poly_modout alike.
TEST(ModOutFold, InnerRelationReachesEveryCoefficient) {
    PrimeRing ring(0);
    AttachedVars vars(2);   // y outermost, x inner
    pt* x = polynames->next;
    const Dense m = {-2, 1, 1};   // x^2 + x - 2
    Related r(x, m);
    NumberGen g(5);
    TermList terms, want;
    for (int32_t ey = 0; ey < 4; ey++) {
        const Dense c = random_dense(g, 6, 50);
        const Dense red = remainder(c, m);
        for (size_t ex = 0; ex < c.size(); ex++) terms.emplace_back(c[ex], std::vector<int32_t>{ey, int32_t(ex)});
        for (size_t ex = 0; ex < red.size(); ex++)
            want.emplace_back(red[ex], std::vector<int32_t>{ey, int32_t(ex)});
    }
    want = canonical_terms(2, want);
    HeldPoly a(build_poly(2, canonical_terms(2, terms))), b;
    poly_assign(a.p, &b.p);
    mod_out_poly(&a.p, &x->relation, 2, 2, polynames);
    ASSERT_TRUE(check_poly_shape(a.p, 2));
    EXPECT_EQ(read_poly(a.p, 2), want);
    total_poly_modout(&b.p, polynames);
    ASSERT_TRUE(check_poly_shape(b.p, 2));
    EXPECT_EQ(read_poly(b.p, 2), want);
}

}  // namespace
