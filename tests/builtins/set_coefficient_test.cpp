// Changing one coefficient in place (set_coef, quoly_set_coef), the terms
// divisible by a monomial (cullout) and the numbers picked out of a
// polynomial (trailing, constant, monomial coefficient; leading monomial),
// on random polynomials in 4 variables, with negative exponents too, over
// big integers, machine integers and residues. Every result is checked for
// shape against a term-list model, and no record may leak.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "builtins/coefficients.h"
#include "builtins/numeric_coefficients.h"
#include "builtins/set_coefficient.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

constexpr int NV = 4;

struct Ring {
    RingStateGuard saved;
    VarGlobalsGuard vars;
    // m = 0: big integers; m = -1: machine integers; else Z/m.
    Ring(int32_t m, bool negative_exponents) {
        load_data_once();
        modularmode = m > 0;
        lintmode = m != 0;
        install_modulus(m > 0 ? m : 0);
        mod_is_prime = m > 0;
        laurent = negative_exponents ? 1 : 0;
    }
};

mpz_class random_coef(NumberGen& g) {
    if (modularmode) return g.between(1, modulus - 1);
    if (!lintmode && g.chance(20)) return g.digits(g.between(1, 3));
    mpz_class c = g.between(-30, 30);
    return c == 0 ? 1 : c;
}

TermList random_terms(NumberGen& g, int n, int32_t low) {
    TermList t;
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> e(NV, 0);
        for (int k = 0; k < NV; k++) e[k] = g.chance(35) ? 0 : g.between(low, 3);
        t.emplace_back(random_coef(g), e);
    }
    return canonical_terms(NV, t);
}

// The model of a change: every term under the prefix goes, the
// coefficient's terms (over the inner variables) come in under it.
TermList changed(const TermList& u, const std::vector<int32_t>& pre, const TermList& c) {
    TermList out;
    for (const Term& t : u)
        if (!std::equal(pre.begin(), pre.end(), t.exps.begin())) out.push_back(t);
    for (Term t : c) {
        std::copy(pre.begin(), pre.end(), t.exps.begin());
        out.push_back(t);
    }
    return canonical_terms(NV, out);
}

// A coefficient for the levels below a prefix of length d: terms over the
// inner NV - d variables, kept at full depth as the built-in would hand it.
TermList random_coefficient(NumberGen& g, int d, int32_t low) {
    if (g.chance(25)) return {};
    if (d == NV || g.chance(40)) return canonical_terms(NV, {{random_coef(g), std::vector<int32_t>(NV, 0)}});
    TermList t = random_terms(g, g.between(1, 4), low);
    for (Term& x : t) std::fill(x.exps.begin(), x.exps.begin() + d, 0);
    return canonical_terms(NV, t);
}

// The full-depth coefficient as set_coef takes it: d levels below the top.
polynode* lowered(const TermList& c, int d) {
    polynode* p = build_poly(NV, c);
    for (int k = 0; k < d && !p->numb; k++) {
        polynode* inner = p->pcoef;
        p->pcoef = nullptr;
        free_poly(&p);
        p = inner;
    }
    return p;
}

void change_sequences(int32_t mod, bool negative, uint64_t seed) {
    Ring ring(mod, negative);
    AttachedVars vars(NV);
    NumberGen g(seed);
    const int32_t low = negative ? -2 : 0;
    for (int it = 0; it < scaled(60); it++) {
        RecordLedger ledger;
        {
            TermList model = g.chance(20) ? TermList{} : random_terms(g, g.between(1, 8), low);
            HeldPoly u(build_poly(NV, model));
            if (model.empty()) free_poly(&u.p);   // an empty slot
            SCOPED_TRACE(g.trace() + " u=" + terms_to_string(model));
            for (int step = 0; step < 10; step++) {
                const int d = g.chance(70) ? NV : g.between(0, NV - 1);
                std::vector<int32_t> pre(d);
                for (int32_t& e : pre) e = g.between(low, 3);
                const TermList c = random_coefficient(g, d, low);
                model = changed(model, pre, c);
                set_coef(&u.p, pre.data(), d, lowered(c, d));
                if (model.empty()) {
                    ASSERT_EQ(u.p, nullptr) << "step " << step;
                    continue;
                }
                ASSERT_NE(u.p, nullptr) << "step " << step;
                ASSERT_TRUE(check_poly_shape(u.p, NV)) << "step " << step;
                EXPECT_EQ(read_poly(u.p, NV), model) << "step " << step;
            }
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(SetCoef, RandomChangesOverTheIntegers) { change_sequences(0, false, 2601); }
TEST(SetCoef, RandomChangesOverMachineIntegers) { change_sequences(-1, false, 2602); }
TEST(SetCoef, RandomChangesModuloAPrime) { change_sequences(7, false, 2603); }
TEST(SetCoef, RandomChangesWithNegativeExponents) { change_sequences(0, true, 2604); }
TEST(SetCoef, RandomChangesWithNegativeExponentsModuloAPrime) { change_sequences(1000003, true, 2605); }

TEST(SetCoef, QuolyBecomesAPlainNumberOrZero) {
    Ring ring(0, false);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        quoly* q = nullptr;
        const int32_t one[NV] = {0, 0, 0, 0}, y[NV] = {0, 0, 1, 0};
        quoly_set_coef(&q, one, NV, build_poly(NV, {{5, {0, 0, 0, 0}}}));
        EXPECT_TRUE(holds(q, 5));
        quoly_set_coef(&q, y, NV, build_poly(NV, {{2, {0, 0, 0, 0}}}));
        ASSERT_FALSE(q->isnum);
        EXPECT_TRUE(check_quoly_normal(q, NV));
        EXPECT_EQ(read_poly(q->pnum, NV), canonical_terms(NV, {{5, {0, 0, 0, 0}}, {2, {0, 0, 1, 0}}}));
        quoly_set_coef(&q, y, NV, build_poly(NV, {}));
        EXPECT_TRUE(holds(q, 5));
        quoly_set_coef(&q, one, NV, nullptr);
        EXPECT_TRUE(holds(q, 0));
        free_quoly(&q);
    }
    EXPECT_TRUE(ledger.balanced());
}

// cullout: the terms whose exponents in m's variables are at least m's,
// divided by m.
void cull_cases(int32_t mod, bool negative, uint64_t seed) {
    Ring ring(mod, negative);
    AttachedVars vars(NV);
    NumberGen g(seed);
    for (int it = 0; it < scaled(80); it++) {
        RecordLedger ledger;
        {
            const TermList u0 = random_terms(g, g.between(0, 9), negative ? -2 : 0);
            HeldPoly u(build_poly(NV, u0));
            std::vector<int32_t> m(NV, 0);
            for (int32_t& e : m) e = g.chance(50) ? 0 : g.between(0, 2);
            if (std::all_of(m.begin(), m.end(), [](int32_t e) { return e == 0; })) m[g.below(NV)] = 1;
            SCOPED_TRACE(g.trace() + " u=" + terms_to_string(u0));
            TermList want;
            for (Term t : u0) {
                // With negative exponents only m's own variables decide.
                bool divisible = true;
                for (int k = 0; k < NV; k++) divisible = divisible && (m[k] == 0 || t.exps[k] >= m[k]);
                if (!divisible) continue;
                for (int k = 0; k < NV; k++) t.exps[k] -= m[k];
                want.push_back(t);
            }
            HeldPoly mono(build_poly(NV, {{1, m}}));
            polynode* node = mono.p;
            int32_t levels = 0;
            while (node->exp == 0) {
                node = node->pcoef;
                levels++;
            }
            HeldPoly r;
            cullout(u.p, node, &r.p, levels);
            ASSERT_TRUE(check_poly_shape(r.p, NV));
            EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, want));
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(Cullout, TermsDivisibleByAMonomialOverTheIntegers) { cull_cases(0, false, 2611); }
TEST(Cullout, TermsDivisibleByAMonomialWithNegativeExponents) { cull_cases(0, true, 2612); }
TEST(Cullout, TermsDivisibleByAMonomialModuloAPrime) { cull_cases(97, false, 2613); }

// The numbers chosen from u: the lex-last term, the constant term, the
// coefficient of a monomial; and the leading monomial down to a level.
void numeric_cases(int32_t mod, bool negative, uint64_t seed) {
    Ring ring(mod, negative);
    AttachedVars vars(NV);
    NumberGen g(seed);
    for (int it = 0; it < scaled(80); it++) {
        RecordLedger ledger;
        {
            const TermList u0 = random_terms(g, g.between(1, 9), negative ? -2 : 0);
            if (u0.empty()) continue;
            HeldPoly u(build_poly(NV, u0));
            SCOPED_TRACE(g.trace() + " u=" + terms_to_string(u0));
            auto value = [](const polynode* leaf) { return leaf ? number_value(leaf->ncoef) : mpz_class(0); };
            EXPECT_EQ(value(poly_trail_num_coef(u.p)), u0.back().coef);
            mpz_class constant = 0;
            for (const Term& t : u0)
                if (std::all_of(t.exps.begin(), t.exps.end(), [](int32_t e) { return e == 0; })) constant = t.coef;
            EXPECT_EQ(value(poly_z_num_coef(u.p)), constant);
            const Term& pick = u0[g.below(static_cast<int32_t>(u0.size()))];
            if (!std::all_of(pick.exps.begin(), pick.exps.end(), [](int32_t e) { return e == 0; })) {
                HeldPoly m(build_poly(NV, {{3, pick.exps}}));
                EXPECT_EQ(value(poly_mono_num_coef(u.p, m.p)), pick.coef);
            }
            for (int level = 1; level <= NV; level++) {
                // Lmon down to variable `level`: the terms sharing the
                // leading term's exponents above that level.
                TermList want;
                for (const Term& t : u0)
                    if (std::equal(t.exps.begin(), t.exps.begin() + level - 1, u0.front().exps.begin()))
                        want.push_back(t);
                HeldPoly var(build_poly(NV, {{1, [&] {
                                                  std::vector<int32_t> e(NV, 0);
                                                  e[level - 1] = 1;
                                                  return e;
                                              }()}}));
                quoly arg{};
                arg.pnum = u.p;
                quoly v{};
                v.pnum = var.p;
                quoly* r = nullptr;
                leading_mon(&arg, &v, &r);
                if (r->isnum) {
                    ASSERT_EQ(want.size(), 1u);
                    EXPECT_EQ(number_value(r->nnum), want.front().coef);
                } else {
                    ASSERT_TRUE(check_poly_shape(r->pnum, NV));
                    EXPECT_EQ(read_poly(r->pnum, NV), canonical_terms(NV, want)) << "level " << level;
                }
                free_quoly(&r);
            }
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(NumericCoefs, AgainstTheTermListOverTheIntegers) { numeric_cases(0, false, 2621); }
TEST(NumericCoefs, AgainstTheTermListWithNegativeExponents) { numeric_cases(0, true, 2622); }
TEST(NumericCoefs, AgainstTheTermListOverMachineIntegers) { numeric_cases(-1, true, 2623); }

// Over a field tower (levels 3 and 4 here) the leading coefficient stops
// at the first field level and keeps the levels passed as padding.
TEST(NumericCoefs, FieldLeadingCoefficientStopsAtTheTower) {
    Ring ring(0, false);
    AttachedVars vars(NV);
    field_depth = 3;
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{2, {2, 0, 1, 0}}, {2, {2, 0, 0, 0}}, {-7, {2, 0, 0, 1}}, {1, {0, 1, 0, 0}}}));
        quoly arg{};
        arg.pnum = u.p;
        quoly* r = nullptr;
        quoly_field_leading_coef(&arg, &r);
        ASSERT_FALSE(r->isnum);
        ASSERT_TRUE(check_poly_shape(r->pnum, NV));
        EXPECT_EQ(read_poly(r->pnum, NV),
                  canonical_terms(NV, {{2, {0, 0, 1, 0}}, {2, {0, 0, 0, 0}}, {-7, {0, 0, 0, 1}}}));
        // A number met above the tower is the coefficient itself.
        HeldPoly w(build_poly(NV, {{5, {1, 2, 0, 0}}, {3, {0, 0, 1, 0}}}));
        arg.pnum = w.p;
        quoly_field_leading_coef(&arg, &r);
        EXPECT_TRUE(holds(r, 5));
        free_quoly(&r);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
