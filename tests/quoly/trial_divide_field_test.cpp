// Exact division of quolys whose values lie over an extension field: planted
// products a·b divide by b with quotient a (over Q(α), GF(p)(α) and a tower
// of two levels), the products are formed by the reducing multiplication
// and the quotient compared term by term with a; a perturbed product fails
// and leaves the dividend as it was, with the pre-tests on or off (and
// without a field, where the leading coefficients run down to numbers); a
// field element divides a number through its inverse.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "support/field_level.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

// A random polynomial of degree deg in the first variable (leading
// coefficient non-zero) whose coefficients are field elements in the
// remaining variables, of degree below the relation degrees rel.
TermList random_poly(NumberGen& g, int32_t p, int32_t deg, const std::vector<int32_t>& rel) {
    const int nvars = 1 + static_cast<int>(rel.size());
    int32_t dim = 1;
    for (int32_t r : rel) dim *= r;
    TermList t;
    for (int32_t e = deg; e >= 0; e--)
        for (int32_t k = 0; k < dim; k++) {
            // k in mixed radix: the inner exponents, the innermost last.
            std::vector<int32_t> ex(static_cast<size_t>(nvars), 0);
            ex[0] = e;
            for (int32_t i = static_cast<int32_t>(rel.size()) - 1, r = k; i >= 0; i--) {
                ex[i + 1] = r % rel[i];
                r /= rel[i];
            }
            long c = p ? g.below(p) : g.between(-5, 5);
            // The leading coefficient is a field element that is never 0.
            if (e == deg && k == dim - 1 && c == 0) c = 1;
            t.emplace_back(c, ex);
        }
    return canonical_terms(nvars, t);
}

quoly* quoly_of(int nvars, const TermList& t) {
    BuiltPoly b(nvars, t);
    quoly* q = nullptr;
    p_q_assign(b.p, &q);
    return q;
}

TermList numerator(const quoly* q, int nvars) {
    if (q->isnum) return canonical_terms(nvars, {{number_value(q->nnum), std::vector<int32_t>(nvars, 0)}});
    EXPECT_TRUE(check_poly_shape(q->pnum, nvars));
    return read_poly(q->pnum, nvars);
}

// Planted products over the field set up by the caller; rel: the relation
// degrees of the field levels below x.
void planted(int32_t p, const std::vector<int32_t>& rel, int trials) {
    const int nvars = 1 + static_cast<int>(rel.size());
    NumberGen g(static_cast<uint64_t>(p) * 31 + rel.size() * 7 + rel[0]);
    RecordLedger ledger;
    for (int trial = 0; trial < trials; trial++) {
        const TermList a = random_poly(g, p, 1 + g.below(3), rel);
        const TermList b = random_poly(g, p, 1 + g.below(3), rel);
        BuiltPoly pa(nvars, a), pb(nvars, b);
        HeldPoly prod;
        poly_mult(pa.p, pb.p, &prod.p, polynames);
        for (int opt_b : {0, 1}) {
            quoly* u = nullptr;
            p_q_assign(prod.p, &u);
            quoly* d = quoly_of(nvars, b);
            int flag = 0;
            EXPECT_EQ(trial_divide(&d, &u, 1, 0, opt_b, &flag), 0) << terms_to_string(a) << " | " << terms_to_string(b);
            EXPECT_EQ(flag, 0);
            EXPECT_EQ(numerator(u, nvars), a);

            // The product plus one: never a multiple of b (degree >= 1).
            HeldPoly bumped;
            BuiltPoly one(nvars, {{1, std::vector<int32_t>(nvars, 0)}});
            poly_add(prod.p, one.p, &bumped.p);
            const TermList before = read_poly(bumped.p, nvars);
            quoly* w = nullptr;
            p_q_assign(bumped.p, &w);
            EXPECT_EQ(trial_divide(&d, &w, 1, 0, opt_b, &(flag = 0)), 1);
            EXPECT_EQ(numerator(w, nvars), before);

            // Test mode: the divisor slot receives the verdict.
            int test = 1;
            EXPECT_EQ(trial_divide(&d, &w, 1, 0, opt_b, &test), 0);
            EXPECT_TRUE(quoly_iszero(d));
            for (quoly** q : {&u, &d, &w}) free_quoly(q);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(TrialDivideField, PlantedOverQAlpha) {
    PrimeRing ring(0);
    // t^2 + 1, t^3 - 2 (binomials) and t^4 + t + 1 (general).
    const std::vector<std::pair<TermList, bool>> rels = {
        {canonical_terms(1, {{1, {2}}, {1, {0}}}), true},
        {canonical_terms(1, {{1, {3}}, {-2, {0}}}), true},
        {canonical_terms(1, {{1, {4}}, {1, {1}}, {1, {0}}}), false},
    };
    for (const auto& [m, binomial] : rels) {
        AttachedVars vars(2);
        VarGlobalsGuard globals;
        const int32_t n = m.front().exps[0];
        FieldLevel f(polynames->next, 1, m, n, binomial);
        planted(0, {n}, 6);
    }
}

TEST(TrialDivideField, PlantedOverGFpAlpha) {
    // t^2 + t + 1 modulo 2, t^2 + 1 modulo 3 and 65519 (both 3 mod 4),
    // t^3 + t + 1 modulo 5.
    const std::vector<std::pair<int32_t, TermList>> rels = {
        {2, canonical_terms(1, {{1, {2}}, {1, {1}}, {1, {0}}})},
        {3, canonical_terms(1, {{1, {2}}, {1, {0}}})},
        {65519, canonical_terms(1, {{1, {2}}, {1, {0}}})},
        {5, canonical_terms(1, {{1, {3}}, {1, {1}}, {1, {0}}})},
    };
    for (const auto& [p, m] : rels) {
        PrimeRing ring(p);
        AttachedVars vars(2);
        VarGlobalsGuard globals;
        const int32_t n = m.front().exps[0];
        FieldLevel f(polynames->next, 1, m, n, false);
        planted(p, {n}, 6);
    }
}

TEST(TrialDivideField, PlantedOverATower) {
    // Q(2^(1/4)) as s^2 = t, t^2 = 2; GF(81) as s^2 = t + 1 over GF(9).
    for (int32_t p : {0, 3}) {
        PrimeRing ring(p);
        AttachedVars vars(3);
        VarGlobalsGuard globals;
        pt* s = polynames->next;
        pt* t = s->next;
        FieldLevel ft(t, 1, canonical_terms(1, {{1, {2}}, {p ? 1 : -2, {0}}}), 2, false);
        FieldLevel fs(s, 2, canonical_terms(2, {{1, {2, 0}}, {-1, {0, 1}}, {p ? -1 : 0, {0, 0}}}), 2, false);
        planted(p, {2, 2}, 5);
    }
}

TEST(TrialDivideField, PlantedWithoutAField) {
    // The leading coefficients then run down to numbers.
    PrimeRing ring(0);
    AttachedVars vars(3);
    VarGlobalsGuard globals;
    planted(0, {3, 2}, 6);
}

TEST(TrialDivideField, FieldElementIntoANumber) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    VarGlobalsGuard globals;
    FieldLevel f(polynames->next, 1, canonical_terms(1, {{1, {2}}, {1, {0}}}), 2, true);   // t^2 + 1
    RecordLedger ledger;
    {
        // 1/(t + 1) = (1 - t)/2: 2 is divisible, quotient 1 - t; 3 is not.
        quoly* d = quoly_of(2, {{1, {0, 1}}, {1, {0, 0}}});
        quoly* two = nullptr;
        quoly_set(2, &two);
        int flag = 0;
        EXPECT_EQ(trial_divide(&d, &two, 1, 0, 0, &flag), 0);
        EXPECT_EQ(numerator(two, 2), canonical_terms(2, {{-1, {0, 1}}, {1, {0, 0}}}));
        quoly* three = nullptr;
        quoly_set(3, &three);
        EXPECT_EQ(trial_divide(&d, &three, 1, 0, 0, &(flag = 0)), 1);
        ASSERT_TRUE(three->isnum);
        EXPECT_EQ(number_value(three->nnum), 3);
        // x by t + 1 fails, 2x gives x - xt; a polynomial divisor over the
        // field into a number fails.
        quoly* x = quoly_of(2, {{1, {1, 0}}});
        EXPECT_EQ(trial_divide(&d, &x, 1, 0, 0, &(flag = 0)), 1);
        EXPECT_EQ(numerator(x, 2), canonical_terms(2, {{1, {1, 0}}}));
        quoly* x2 = quoly_of(2, {{2, {1, 0}}});
        EXPECT_EQ(trial_divide(&d, &x2, 1, 0, 0, &(flag = 0)), 0);
        EXPECT_EQ(numerator(x2, 2), canonical_terms(2, {{1, {1, 0}}, {-1, {1, 1}}}));
        quoly* xt = quoly_of(2, {{1, {1, 0}}, {1, {0, 1}}});
        EXPECT_EQ(trial_divide(&xt, &three, 1, 0, 0, &(flag = 0)), 1);
        EXPECT_EQ(number_value(three->nnum), 3);
        for (quoly** q : {&d, &two, &three, &x, &x2, &xt}) free_quoly(q);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(TrialDivideField, EveryFieldElementDividesModuloAPrime) {
    PrimeRing ring(7);
    AttachedVars vars(2);
    VarGlobalsGuard globals;
    FieldLevel f(polynames->next, 1, canonical_terms(1, {{1, {2}}, {1, {0}}}), 2, true);   // t^2 + 1
    NumberGen g(7007);
    for (int trial = 0; trial < 10; trial++) {
        const TermList e = canonical_terms(2, {{1 + g.below(6), {0, 1}}, {static_cast<long>(g.below(7)), {0, 0}}});
        quoly* d = quoly_of(2, e);
        quoly* one = nullptr;
        quoly_set(1, &one);
        int flag = 0;
        ASSERT_EQ(trial_divide(&d, &one, 1, 0, 0, &flag), 0);
        // The quotient is e^-1: e times it is 1.
        ASSERT_FALSE(one->isnum);
        HeldPoly back;
        poly_mult(d->pnum, one->pnum, &back.p, polynames);
        EXPECT_EQ(read_poly(back.p, 2), canonical_terms(2, {{1, {0, 0}}})) << terms_to_string(e);
        free_quoly(&d);
        free_quoly(&one);
    }
}

}  // namespace
