// Pseudo division on random multivariate polynomials over Z and Z/p: the
// identities lc(m)^k·u = q·m + r (pseudo_div, pseudo_div_no_q) and
// mult·u = q·m + r (num_pseudo_div, pseudo_field_coef_poly_div) checked with
// the general product and sum, deg r < deg m, shapes, operands left as they
// were, no record lost, and the errors as unwinds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "gcd/pseudo_div.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"

namespace {

constexpr int NV = 3;

struct Ring {
    RingStateGuard saved;
    int16_t depth = field_depth;
    explicit Ring(int32_t m) {
        load_data_once();
        modularmode = m != 0;
        lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = m != 0;
    }
    ~Ring() { field_depth = depth; }
};

using Exps = std::vector<int32_t>;

// Top degree exactly d in x, a few terms in y and z below it; lead: the
// leading coefficient (in y, z) is a lone number.
TermList random_poly(NumberGen& g, int32_t d, int32_t n, bool lead_number) {
    TermList t;
    t.emplace_back(small_coef(g), Exps{d, 0, 0});
    if (!lead_number) t.emplace_back(small_coef(g), Exps{d, g.between(1, 2), g.below(2)});
    for (int i = 0; i < n; i++) t.emplace_back(small_coef(g), Exps{g.below(d + 1 > 1 ? d : 1), g.below(3), g.below(3)});
    if (!lead_number) return t;
    // Keep the leading term alone at x^d.
    TermList out;
    for (const Term& s : t)
        if (s.exps[0] < d || (s.exps[1] == 0 && s.exps[2] == 0)) out.push_back(s);
    return out;
}

int32_t deg(const polynode* p) { return p->numb ? 0 : p->exp; }

// lc(m) as a polynomial of m's own level.
polynode* lead(polynode* m) {
    polynode* c = m->numb ? m : m->pcoef;
    polynode* out = nullptr;
    if (c->numb && !c->next) {
        poly_assign(c, &out);
    } else {
        newpoly(&out);
        out->next = nullptr;
        out->exp = 0;
        out->numb = 0;
        out->pcoef = nullptr;
        poly_assign(c, &out->pcoef);
    }
    return out;
}

// mult·u == q·m + r, read back term by term.
::testing::AssertionResult identity(polynode* mult, polynode* u, polynode* q, polynode* m, polynode* r) {
    HeldPoly lhs, rhs;
    poly_mult(mult, u, &lhs.p, polynames);
    poly_mult(q, m, &rhs.p, polynames);
    poly_add(rhs.p, r, &rhs.p);
    TermList a = read_poly(lhs.p, NV), b = read_poly(rhs.p, NV);
    if (a == b) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << terms_to_string(a) << " != " << terms_to_string(b);
}

polynode* lc_power(polynode* m, int32_t k) {
    polynode* c = lead(m);
    if (k == 0) {
        poly_set(1, &c);
    } else if (k > 1) {
        compute_power(&c, k, polynames);
    }
    return c;
}

// ---------------------------------------------------------------- hand cases

TEST(PseudoDiv, HandCasesOverTheIntegers) {
    Ring z(0);
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{1, {2, 0, 0}}})), m(build_poly(NV, {{2, {1, 0, 0}}, {1, {0, 0, 0}}}));
        HeldPoly q, r;
        pseudo_div(u.p, m.p, &q.p, &r.p, 1, polynames);
        EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{2, {1, 0, 0}}, {-1, {0, 0, 0}}}));
        EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}}));
        HeldPoly r2;
        pseudo_div_no_q(u.p, m.p, &r2.p, polynames, 1);
        EXPECT_EQ(read_poly(r2.p, NV), read_poly(r.p, NV));
    }
    {
        // x^3 + 1 by 2x: the full remainder 8, one step only 2.
        HeldPoly u(build_poly(NV, {{1, {3, 0, 0}}, {1, {0, 0, 0}}})), m(build_poly(NV, {{2, {1, 0, 0}}}));
        HeldPoly full, part, q, r;
        pseudo_div_no_q(u.p, m.p, &full.p, polynames, 1);
        pseudo_div_no_q(u.p, m.p, &part.p, polynames, 0);
        EXPECT_EQ(read_poly(full.p, NV), canonical_terms(NV, {{8, {0, 0, 0}}}));
        EXPECT_EQ(read_poly(part.p, NV), canonical_terms(NV, {{2, {0, 0, 0}}}));
        pseudo_div(u.p, m.p, &q.p, &r.p, 1, polynames);
        EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{4, {2, 0, 0}}}));
        EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{8, {0, 0, 0}}}));
        EXPECT_TRUE(check_poly_shape(q.p, NV));
    }
    {
        // A divisor of higher degree: quotient 0, remainder u, multiplier 1.
        HeldPoly u(build_poly(NV, {{3, {1, 1, 0}}, {1, {0, 0, 2}}})), m(build_poly(NV, {{5, {2, 0, 0}}}));
        HeldPoly q, r, q2, r2, k;
        pseudo_div(u.p, m.p, &q.p, &r.p, 1, polynames);
        EXPECT_TRUE(poly_equal(q.p, nullptr) || read_poly(q.p, NV).empty());
        EXPECT_EQ(read_poly(r.p, NV), read_poly(u.p, NV));
        num_pseudo_div(u.p, m.p, &q2.p, &r2.p, &k.p, polynames);
        EXPECT_TRUE(read_poly(q2.p, NV).empty());
        EXPECT_EQ(read_poly(k.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}}));
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(PseudoDiv, ModuloAPrimeANumberLeadGivesTheTrueQuotient) {
    Ring p(7);
    AttachedVars v(NV);
    // x^2 + 1 = (3x + 5)(5x + 1) + r  over Z/7: 3·5 = 15 = 1.
    HeldPoly u(build_poly(NV, {{1, {2, 0, 0}}, {1, {0, 0, 0}}})), m(build_poly(NV, {{3, {1, 0, 0}}, {1, {0, 0, 0}}}));
    HeldPoly q, r, one;
    pseudo_div(u.p, m.p, &q.p, &r.p, 1, polynames);
    poly_set(1, &one.p);
    EXPECT_TRUE(identity(one.p, u.p, q.p, m.p, r.p));
    EXPECT_EQ(deg(r.p), 0);
}

// ---------------------------------------------------------------- random identities

void random_pseudo(int32_t mod, uint64_t seed) {
    Ring ring(mod);
    AttachedVars v(NV);
    NumberGen g(seed);
    for (int it = 0; it < scaled(60); it++) {
        RecordLedger ledger;
        {
            const int32_t dm = g.between(0, 3), du = g.between(0, 6);
            const bool number_lead = g.chance(30);
            HeldPoly u(build_poly(NV, random_poly(g, du, g.between(0, 6), g.chance(50))));
            HeldPoly m(build_poly(NV, random_poly(g, dm, g.between(0, 4), number_lead)));
            const TermList u0 = read_poly(u.p, NV), m0 = read_poly(m.p, NV);
            if (m0.empty()) continue;   // like terms cancelled: the zero divisor is tested apart
            SCOPED_TRACE(g.trace() + " u=" + terms_to_string(u0) + " m=" + terms_to_string(m0));
            HeldPoly q, r, full, part;
            pseudo_div(u.p, m.p, &q.p, &r.p, 1, polynames);
            pseudo_div_no_q(u.p, m.p, &full.p, polynames, 1);
            pseudo_div_no_q(u.p, m.p, &part.p, polynames, 0);
            for (polynode* x : {q.p, r.p, full.p, part.p}) ASSERT_TRUE(check_poly_shape(x, NV));
            EXPECT_EQ(read_poly(u.p, NV), u0);
            EXPECT_EQ(read_poly(m.p, NV), m0);
            EXPECT_TRUE(check_poly_shape(m.p, NV));

            const bool invertible = mod && (m.p->numb || (m.p->pcoef->numb && !m.p->pcoef->next));
            const int32_t k = deg(m.p) > deg(u.p) || invertible ? 0 : deg(u.p) - deg(m.p) + 1;
            HeldPoly c(lc_power(m.p, k));
            EXPECT_TRUE(identity(c.p, u.p, q.p, m.p, r.p));
            if (deg(m.p) > 0) {
                EXPECT_TRUE(poly_iszero(r.p) || deg(r.p) < deg(m.p));
            }
            EXPECT_EQ(read_poly(full.p, NV), read_poly(r.p, NV));
            // Without the full power the remainder is r short of some power of lc.
            bool found = false;
            for (int32_t e = 0; e <= k && !found; e++) {
                HeldPoly pe(lc_power(m.p, e)), scaled_part;
                poly_mult(pe.p, part.p, &scaled_part.p, polynames);
                found = read_poly(scaled_part.p, NV) == read_poly(r.p, NV);
            }
            EXPECT_TRUE(found) << terms_to_string(read_poly(part.p, NV));
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(PseudoDiv, RandomIdentityOverTheIntegers) { random_pseudo(0, 4102); }
TEST(PseudoDiv, RandomIdentityModuloPrimes) {
    random_pseudo(7, 4103);
    random_pseudo(65521, 4104);
}

// mult·u = q·m + r with the divisor's leading coefficient a number: over Z
// with field levels (the number inverted as a rational) and modulo a prime.
void random_num_pseudo(int32_t mod, uint64_t seed) {
    Ring ring(mod);
    AttachedVars v(NV);
    if (!mod) field_depth = NV;   // numbers invert; no variable has a relation
    NumberGen g(seed);
    for (int it = 0; it < scaled(60); it++) {
        RecordLedger ledger;
        {
            HeldPoly u(build_poly(NV, random_poly(g, g.between(0, 6), g.between(0, 6), g.chance(50))));
            HeldPoly m(build_poly(NV, random_poly(g, g.between(0, 3), g.between(0, 4), true)));
            const TermList u0 = read_poly(u.p, NV), m0 = read_poly(m.p, NV);
            if (m0.empty()) continue;   // like terms cancelled: the zero divisor is tested apart
            SCOPED_TRACE(g.trace() + " u=" + terms_to_string(u0) + " m=" + terms_to_string(m0));
            HeldPoly q, r, k, q2, r2, k2;
            num_pseudo_div(u.p, m.p, &q.p, &r.p, &k.p, polynames);
            pseudo_field_coef_poly_div(u.p, m.p, polynames, &q2.p, &r2.p, &k2.p);
            for (polynode* x : {q.p, r.p, k.p, q2.p, r2.p, k2.p}) ASSERT_TRUE(check_poly_shape(x, NV));
            ASSERT_TRUE(k.p->numb && !k.p->next);
            EXPECT_TRUE(identity(k.p, u.p, q.p, m.p, r.p));
            EXPECT_TRUE(identity(k2.p, u.p, q2.p, m.p, r2.p));
            if (deg(m.p) > 0) {
                EXPECT_TRUE(poly_iszero(r.p) || deg(r.p) < deg(m.p));
                EXPECT_TRUE(poly_iszero(r2.p) || deg(r2.p) < deg(m.p));
            }
            if (mod) {
                EXPECT_EQ(read_poly(k.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}}));
            }
            EXPECT_EQ(read_poly(u.p, NV), u0);
            EXPECT_EQ(read_poly(m.p, NV), m0);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(NumPseudoDiv, RandomIdentityWithNumberLeads) {
    random_num_pseudo(0, 4110);
    random_num_pseudo(65521, 4111);
}

// The multiplier is only what the denominators need: 6x + 3 into 4x^2
// leaves 1/6·4 = 2/3, so mult 3 and q = 2x - 1.
TEST(NumPseudoDiv, MultiplierClearsOnlyTheDenominators) {
    Ring z(0);
    AttachedVars v(NV);
    field_depth = NV;
    HeldPoly u(build_poly(NV, {{4, {2, 0, 0}}})), m(build_poly(NV, {{6, {1, 0, 0}}, {3, {0, 0, 0}}}));
    HeldPoly q, r, k;
    pseudo_field_coef_poly_div(u.p, m.p, polynames, &q.p, &r.p, &k.p);
    EXPECT_EQ(read_poly(k.p, NV), canonical_terms(NV, {{3, {0, 0, 0}}}));
    EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{2, {1, 0, 0}}, {-1, {0, 0, 0}}}));
    EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{3, {0, 0, 0}}}));
}

// A divisor free of x whose y-coefficients divide u's exactly (planted
// u = q·m): each coefficient divides on its own, and the recursion
// descends to the number leading coefficient of m's inner levels.
TEST(NumPseudoDiv, DivisorFreeOfTheTopVariable) {
    Ring z(0);
    AttachedVars v(NV);
    field_depth = NV;
    NumberGen g(4120);
    for (int it = 0; it < scaled(30); it++) {
        RecordLedger ledger;
        {
            HeldPoly qp(build_poly(NV, random_poly(g, g.between(1, 4), g.between(0, 5), false)));
            HeldPoly m(build_poly(NV, {{small_coef(g), {0, 1, 0}}, {small_coef(g), {0, 0, g.below(2)}}}));
            HeldPoly u;
            poly_mult(qp.p, m.p, &u.p, polynames);
            SCOPED_TRACE(g.trace());
            HeldPoly q, r, k;
            num_pseudo_div(u.p, m.p, &q.p, &r.p, &k.p, polynames);
            ASSERT_TRUE(check_poly_shape(q.p, NV));
            EXPECT_TRUE(identity(k.p, u.p, q.p, m.p, r.p));
            EXPECT_TRUE(poly_iszero(r.p));
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

// ---------------------------------------------------------------- errors

TEST(PseudoDivErrors, ZeroDivisorAndUnavailableFieldInverse) {
    Ring z(0);
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{1, {2, 1, 0}}, {2, {0, 0, 0}}})), zero(build_poly(NV, {}));
        HeldPoly q, r, k;
        for (int which = 0; which < 4; which++) {
            try {
                switch (which) {
                case 0: pseudo_div(u.p, zero.p, &q.p, &r.p, 1, polynames); break;
                case 1: pseudo_div_no_q(u.p, zero.p, &r.p, polynames, 1); break;
                case 2: num_pseudo_div(u.p, zero.p, &q.p, &r.p, &k.p, polynames); break;
                default: pseudo_field_coef_poly_div(u.p, zero.p, polynames, &q.p, &r.p, &k.p); break;
                }
                ADD_FAILURE() << "no error, routine " << which;
            } catch (const TarvexUnwind& e) {
                EXPECT_EQ(e.code, 22);
                EXPECT_EQ(e.token, "/");
            }
        }
        // A leading coefficient at the field levels needs the field inverse.
        field_depth = 2;
        HeldPoly m(build_poly(NV, {{1, {1, 1, 0}}, {3, {0, 2, 0}}, {1, {0, 0, 0}}}));
        const TermList m0 = read_poly(m.p, NV);
        EXPECT_THROW(pseudo_div(u.p, m.p, &q.p, &r.p, 1, polynames), TarvexUnwind);
        EXPECT_EQ(read_poly(m.p, NV), m0);
        field_depth = 0;
        // A leading coefficient the inner division leaves a remainder on.
        field_depth = NV;
        HeldPoly m2(build_poly(NV, {{2, {1, 1, 0}}, {1, {0, 0, 0}}}));
        HeldPoly u2(build_poly(NV, {{1, {2, 0, 0}}, {1, {0, 0, 0}}}));
        const TermList m20 = read_poly(m2.p, NV);
        try {
            num_pseudo_div(u2.p, m2.p, &q.p, &r.p, &k.p, polynames);
            ADD_FAILURE() << "no error";
        } catch (const TarvexUnwind& e) {
            EXPECT_LT(e.code, 0);
        }
        EXPECT_EQ(read_poly(m2.p, NV), m20);
        EXPECT_TRUE(q.p == nullptr && r.p == nullptr && k.p == nullptr);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
