// The refusal test of exact division by one-variable images modulo a
// prime: a planted product q·m is never refused, whatever the signs and
// sizes of the coefficients and whichever inner variables are absent; a
// non-multiple q·m + r (r ≠ 0 of lower degree in the top variable, so that
// r is the remainder) is refused whenever the test is usable; outside its
// ground ring (residues, relations) it makes no test. Through exact
// division of quolys: a non-multiple that passes the leading-coefficient
// test is refused by the images and leaves the dividend as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gcd/image_reject.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

constexpr int NV = 4;
using Exps = std::vector<int32_t>;

mpz_class coef(NumberGen& g) {
    if (g.chance(20)) return g.digits(g.between(1, 4));   // several digits, either sign
    const long c = g.between(1, 9);
    return g.chance(50) ? mpz_class(-c) : mpz_class(c);
}

// Terms in the top variable up to dx; the inner variables (those present)
// up to degree 2. present[v]: variable v may occur.
TermList random_terms(NumberGen& g, int32_t dx, int n, const std::vector<bool>& present) {
    TermList t;
    for (int i = 0; i < n; i++) {
        Exps e(NV, 0);
        e[0] = g.below(dx + 1);
        for (int v = 1; v < NV; v++) e[v] = present[v] ? g.below(3) : 0;
        t.emplace_back(coef(g), e);
    }
    return canonical_terms(NV, t);
}

polynode* times(polynode* a, polynode* b) {
    polynode* r = nullptr;
    poly_mult(a, b, &r, polynames);
    return r;
}
polynode* plus(polynode* a, polynode* b) {
    polynode* r = nullptr;
    poly_add(a, b, &r);
    return r;
}

TEST(ImageReject, PlantedProductsAreNeverRefusedNonMultiplesAre) {
    load_data_once();
    RingStateGuard ring;
    modularmode = lintmode = 0;
    AttachedVars vars(NV);
    NumberGen g(73310);
    int refused = 0, usable_non_multiples = 0;
    for (int it = 0; it < scaled(300); it++) {
        RecordLedger ledger;
        {
            // Some inner variable is left out now and then: its level is
            // then only padding in the operands.
            std::vector<bool> present(NV, true);
            for (int v = 1; v < NV; v++) present[v] = !g.chance(30);
            const TermList q0 = random_terms(g, g.between(0, 4), g.between(1, 8), present);
            TermList mt = random_terms(g, g.between(0, 3), g.between(1, 6), present);
            Exps lead(NV, 0);
            lead[0] = g.between(1, 3);
            for (int v = 1; v < NV; v++) lead[v] = present[v] ? g.below(2) : 0;
            mt.emplace_back(coef(g), lead);
            const TermList m0 = canonical_terms(NV, mt);
            if (q0.empty() || m0.empty() || m0.front().exps[0] == 0) continue;
            SCOPED_TRACE(g.trace() + " q=" + terms_to_string(q0) + " m=" + terms_to_string(m0));
            HeldPoly q(build_poly(NV, q0)), m(build_poly(NV, m0));
            HeldPoly u(times(q.p, m.p));
            const TermList u_before = read_poly(u.p, NV), m_before = read_poly(m.p, NV);
            EXPECT_NE(image_division_test(u.p, m.p, polynames), ImageVerdict::not_divisible);
            // The remainder r of q·m + r: below m in the top variable.
            const TermList r0 = random_terms(g, m0.front().exps[0] - 1, g.between(1, 4), present);
            if (!r0.empty()) {
                HeldPoly r(build_poly(NV, r0)), n(plus(u.p, r.p));
                const ImageVerdict v = image_division_test(n.p, m.p, polynames);
                if (v != ImageVerdict::unusable) {
                    usable_non_multiples++;
                    // r vanishing at a random point modulo a prime near 2^31
                    // is all but impossible for these degrees.
                    EXPECT_EQ(v, ImageVerdict::not_divisible);
                    refused += v == ImageVerdict::not_divisible;
                }
            }
            EXPECT_EQ(read_poly(u.p, NV), u_before);
            EXPECT_EQ(read_poly(m.p, NV), m_before);
        }
        EXPECT_TRUE(ledger.balanced());
    }
    // The work bound must leave the test usable on most of these.
    EXPECT_GT(usable_non_multiples, scaled(300) / 3);
    EXPECT_EQ(refused, usable_non_multiples);
}

TEST(ImageReject, NoTestOutsideTheIntegersOrInOneVariable) {
    load_data_once();
    RingStateGuard ring;
    AttachedVars vars(NV);
    // (x + y)^2 + 1 by x + y: refused over the integers.
    HeldPoly u(build_poly(NV, {{1, {2, 0, 0, 0}}, {2, {1, 1, 0, 0}}, {1, {0, 2, 0, 0}}, {1, {0, 0, 0, 0}}}));
    HeldPoly m(build_poly(NV, {{1, {1, 0, 0, 0}}, {1, {0, 1, 0, 0}}}));
    modularmode = lintmode = 0;
    EXPECT_EQ(image_division_test(u.p, m.p, polynames), ImageVerdict::not_divisible);
    // x^2 + 1 by x + 1: one variable, left to the division itself.
    HeldPoly u1(build_poly(NV, {{1, {2, 0, 0, 0}}, {1, {0, 0, 0, 0}}}));
    HeldPoly m1(build_poly(NV, {{1, {1, 0, 0, 0}}, {1, {0, 0, 0, 0}}}));
    EXPECT_EQ(image_division_test(u1.p, m1.p, polynames), ImageVerdict::unusable);
    // x·y + 1 by y: m has degree 0 in the top variable.
    HeldPoly u2(build_poly(NV, {{1, {1, 1, 0, 0}}, {1, {0, 0, 0, 0}}}));
    HeldPoly m2(build_poly(NV, {{1, {0, 1, 0, 0}}}));
    EXPECT_EQ(image_division_test(u2.p, m2.p, polynames), ImageVerdict::unusable);
}

// 2x^5·y·z + x^4 + x^3 + x^2 + x + y by x^3·y·z + 1 over Z: the leading
// numbers divide (1 into 2) and the degrees are consistent, yet x^4 has no
// quotient term, so the images must refuse; the dividend is left as it
// was, with the pre-tests on and off. A true multiple divides either way.
TEST(ImageReject, ExactDivisionOfQuolysRefusesThroughTheImages) {
    load_data_once();
    RingStateGuard ring;
    modularmode = lintmode = 0;
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        // Seven top-level terms between them, so that the leading
        // coefficients are compared first.
        const TermList n0 = canonical_terms(NV, {{2, {5, 1, 1, 0}}, {1, {4, 0, 0, 0}}, {1, {3, 0, 0, 0}},
                                                 {1, {2, 0, 0, 0}}, {1, {1, 0, 0, 0}}, {1, {0, 1, 0, 0}}});
        const TermList m0 = canonical_terms(NV, {{1, {3, 1, 1, 0}}, {1, {0, 0, 0, 0}}});
        HeldPoly n(build_poly(NV, n0)), m(build_poly(NV, m0));
        EXPECT_EQ(image_division_test(n.p, m.p, polynames), ImageVerdict::not_divisible);
        for (int opt_b : {0, 1}) {
            quoly* d = nullptr;
            quoly* w = nullptr;
            p_q_assign(m.p, &d);
            p_q_assign(n.p, &w);
            int flag = 0;
            EXPECT_EQ(trial_divide(&d, &w, 1, 0, opt_b, &flag), 1);
            EXPECT_EQ(flag, 1);
            ASSERT_FALSE(w->isnum);
            EXPECT_EQ(read_poly(w->pnum, NV), n0);
            // (x^3yz + 1)·(2x^2 + 1) divides with the quotient 2x^2 + 1.
            HeldPoly c(build_poly(NV, {{2, {2, 0, 0, 0}}, {1, {0, 0, 0, 0}}}));
            HeldPoly p(times(m.p, c.p));
            quoly* v = nullptr;
            p_q_assign(p.p, &v);
            EXPECT_EQ(trial_divide(&d, &v, 1, 0, opt_b, &(flag = 0)), 0);
            ASSERT_FALSE(v->isnum);
            EXPECT_EQ(read_poly(v->pnum, NV), canonical_terms(NV, {{2, {2, 0, 0, 0}}, {1, {0, 0, 0, 0}}}));
            for (quoly** q : {&d, &w, &v}) free_quoly(q);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
