// Known-exact quotients on the flat road against the general division
// (trial_divide on a copy) and against the planted quotient: exact
// products in 1 to 4 variables over Z (coefficients up to 300 bits, either
// sign) and modulo two primes, single-term and constant divisors. The
// operands are left as they were; a pair the road does not take is
// refused without touching the slot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/exact_quotient.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/poly_build.h"
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

constexpr int NV = 4;
using Exps = std::vector<int32_t>;

quoly* to_quoly(const TermList& t) {
    BuiltPoly p(NV, t);
    quoly* q = nullptr;
    p_q_assign(p, &q);
    return q;
}

TermList terms_of(const quoly* q) {
    if (!q->isnum) return read_poly(q->pnum, NV);
    const mpz_class v = number_value(q->nnum);
    if (v == 0) return {};
    return {{v, Exps(NV, 0)}};
}

mpz_class coefficient(NumberGen& g) {
    if (modulus) return g.between(1, modulus - 1);
    mpz_class c = g.between(1, 9);
    for (int b = g.between(0, 300); b > 0; b -= 30) c = (c << 30) + g.between(0, (1 << 30) - 1);
    return g.chance(50) ? mpz_class(-c) : c;
}

TermList random_terms(NumberGen& g, int nv, int count, int deg) {
    TermList t;
    for (int i = 0; i < count; i++) {
        Exps e(NV, 0);
        for (int k = 0; k < nv; k++) e[k] = g.below(deg + 1);
        t.emplace_back(coefficient(g), e);
    }
    return canonical_terms(NV, t);
}

// d | u planted: the flat quotient, when it is taken, is q and the general
// division's; operands unchanged. Returns whether the road took the pair.
bool check_pair(const TermList& q, const TermList& d) {
    const TermList u = product(NV, q, d);
    quoly* uq = to_quoly(u);
    quoly* dq = to_quoly(d);
    quoly* got = nullptr;
    const bool taken = exact_quotient(uq, dq, &got);
    EXPECT_EQ(terms_of(uq), canonical_terms(NV, u));
    EXPECT_EQ(terms_of(dq), canonical_terms(NV, d));
    if (taken) {
        EXPECT_EQ(terms_of(got), canonical_terms(NV, q));
        quoly* general = nullptr;
        quoly_assign(uq, &general);
        quoly* divisor = dq;
        int flag = 0;
        EXPECT_EQ(trial_divide(&divisor, &general, 1, 0, 0, &flag), 0);
        EXPECT_EQ(terms_of(general), terms_of(got));
        free_quoly(&general);
        free_quoly(&got);
    } else {
        EXPECT_EQ(got, nullptr);
    }
    free_quoly(&uq);
    free_quoly(&dq);
    return taken;
}

void planted(int32_t mod, uint64_t seed) {
    PrimeRing ring(mod);
    AttachedVars vars(NV);
    NumberGen g(seed);
    int taken = 0, tried = 0;
    for (int it = 0; it < scaled(80); it++) {
        const int nv = 1 + it % NV;
        const TermList q = random_terms(g, nv, g.between(1, 12), g.chance(50) ? 3 : 9);
        // A single term now and then; else a few, one with a variable.
        TermList d = random_terms(g, nv, it % 4 == 0 ? 1 : g.between(1, 5), 4);
        Exps e(NV, 0);
        e[g.below(nv)] = 1 + g.below(2);
        if (it % 4 != 0 || d.empty()) d = canonical_terms(NV, [&] { TermList t = d; t.emplace_back(coefficient(g), e); return t; }());
        bool constant = true;
        for (const Term& t : d)
            for (int32_t x : t.exps) constant = constant && x == 0;
        if (q.empty() || d.empty() || constant) continue;
        SCOPED_TRACE(g.trace() + " it " + std::to_string(it) + " q=" + terms_to_string(q) + " d=" + terms_to_string(d));
        tried++;
        taken += check_pair(q, d);
    }
    // The road takes every pair of these shapes.
    EXPECT_EQ(taken, tried);
}

TEST(ExactQuotient, PlantedOverTheIntegers) { planted(0, 7101); }
TEST(ExactQuotient, PlantedModulo65521) { planted(65521, 7102); }
TEST(ExactQuotient, PlantedModuloANearWordPrime) { planted(2147483629, 7103); }

TEST(ExactQuotient, ConstantDivisorsAndNumbersAreLeftToTheGeneralDivision) {
    PrimeRing ring(0);
    AttachedVars vars(NV);
    const mpz_class big = (mpz_class(1) << 200) + 7;
    // A number divisor, a number dividend: refused, slot untouched.
    const TermList x{{big * 3, {1, 0, 0, 0}}, {big * -6, {0, 0, 0, 0}}};
    EXPECT_FALSE(check_pair(x, {{5, Exps(NV, 0)}}));
    EXPECT_FALSE(check_pair({{big, Exps(NV, 0)}}, {{3, Exps(NV, 0)}}));
    // A monomial times a constant: the quotient is a lone number.
    EXPECT_TRUE(check_pair({{-big, Exps(NV, 0)}}, {{big, {0, 2, 1, 0}}}));
}

}  // namespace
