// Division with remainder on planted operands: u = q·m + r with
// deg r < deg m must give back q and r wherever the leading coefficient of
// m is invertible (modulo a prime) or divides every step (±1 over Z, any
// number in one variable); the pseudo forms are checked by hand; shapes,
// operands left as they were, no record lost, and the numbered errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "gcd/polydiv.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
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
    int laur = laurent;
    int pm = pos_mod;
    explicit Ring(int32_t m) {
        load_data_once();
        modularmode = m != 0;
        lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = m != 0;
    }
    ~Ring() {
        field_depth = depth;
        laurent = laur;
        pos_mod = pm;
    }
};

using Exps = std::vector<int32_t>;

// Degree below d + 1 in x (exactly d when top), y and z below 3; one_var: x only.
TermList random_terms(NumberGen& g, int32_t d, int32_t n, bool one_var) {
    TermList t;
    for (int i = 0; i < n; i++)
        t.emplace_back(small_coef(g), one_var ? Exps{g.below(d + 1), 0, 0} : Exps{g.below(d + 1), g.below(3), g.below(3)});
    return t;
}

// Exactly degree d in x with the leading coefficient lead (a number).
TermList with_lead(NumberGen& g, int32_t d, long lead, int32_t n, bool one_var) {
    TermList t = d > 0 ? random_terms(g, d - 1, n, one_var) : TermList{};
    t.emplace_back(lead, Exps{d, 0, 0});
    return t;
}

TermList product_plus(const TermList& q, const TermList& m, const TermList& r) {
    TermList out = r;
    for (const Term& a : q)
        for (const Term& b : m)
            out.emplace_back(mpz_class(a.coef * b.coef), Exps{a.exps[0] + b.exps[0], a.exps[1] + b.exps[1], a.exps[2] + b.exps[2]});
    return canonical_terms(NV, out);
}

// u = q·m + r planted; every way of asking gives back q and r.
void planted(int32_t mod, bool one_var, uint64_t seed, bool unit_lead) {
    Ring ring(mod);
    AttachedVars v(one_var ? 1 : NV);
    NumberGen g(seed);
    for (int it = 0; it < scaled(40); it++) {
        RecordLedger ledger;
        {
            const int32_t dm = g.between(1, 4), dq = g.between(0, 5);
            long lead = unit_lead ? (g.chance(50) ? 1 : -1) : small_coef(g);
            if (mod && g.chance(25)) lead = 1;   // the monic, divide-and-conquer route
            const TermList m0 = canonical_terms(NV, with_lead(g, dm, lead, g.between(0, 4), one_var));
            const TermList q0 = canonical_terms(NV, random_terms(g, dq, g.between(1, 5), one_var));
            const TermList r0 = canonical_terms(NV, random_terms(g, dm - 1, g.between(0, 5), one_var));
            const TermList u0 = product_plus(q0, m0, r0);
            SCOPED_TRACE(g.trace() + " m=" + terms_to_string(m0) + " q=" + terms_to_string(q0) + " r=" + terms_to_string(r0));
            HeldPoly u(build_poly(NV, u0)), m(build_poly(NV, m0));
            HeldPoly q, r, qo, ro;
            poly_mod_and_div(u.p, m.p, &r.p, &q.p, polynames);
            poly_mod_or_div(u.p, m.p, &ro.p, '|', polynames);
            poly_mod_or_div(u.p, m.p, &qo.p, '/', polynames);
            for (polynode* x : {q.p, r.p, qo.p, ro.p}) ASSERT_TRUE(check_poly_shape(x, NV));
            // Over Z a lead of -1 takes pseudo division, which scales both
            // results by (-1)^(deg u - deg m + 1).
            TermList qe = q0, re = r0;
            if (!mod && lead == -1 && (u0.front().exps[0] - dm + 1) % 2) {
                for (Term& t : qe) t.coef = -t.coef;
                for (Term& t : re) t.coef = -t.coef;
            }
            EXPECT_EQ(read_poly(q.p, NV), qe);
            EXPECT_EQ(read_poly(r.p, NV), re);
            EXPECT_EQ(read_poly(qo.p, NV), qe);
            EXPECT_EQ(read_poly(ro.p, NV), re);
            if (one_var && mod) {
                // Old slot values are freed: pass the previous results in.
                basic_poly_divide(u.p, m.p, &q.p, &r.p, 1);
                ASSERT_TRUE(check_poly_shape(q.p, NV));
                ASSERT_TRUE(check_poly_shape(r.p, NV));
                EXPECT_EQ(read_poly(q.p, NV), q0);
                EXPECT_EQ(read_poly(r.p, NV), r0);
            }
            EXPECT_EQ(read_poly(u.p, NV), u0);
            EXPECT_EQ(read_poly(m.p, NV), m0);
            EXPECT_TRUE(check_poly_shape(u.p, NV));
            EXPECT_TRUE(check_poly_shape(m.p, NV));
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(PolyDiv, PlantedModuloPrimesMultivariate) {
    planted(7, false, 41010, false);
    planted(65521, false, 41011, false);
}
TEST(PolyDiv, PlantedModuloPrimesOneVariable) {
    planted(7, true, 41012, false);
    planted(65521, true, 41013, false);
}
TEST(PolyDiv, PlantedOverTheIntegersWithUnitLead) { planted(0, false, 41014, true); }

// One variable over Z: every step's leading coefficient is a multiple of
// lc(m), so the schoolbook loop recovers q and r for any number lead.
TEST(PolyDiv, BasicDivideOverTheIntegersAnyLead) {
    Ring z(0);
    AttachedVars v(1);
    NumberGen g(41015);
    for (int it = 0; it < scaled(40); it++) {
        RecordLedger ledger;
        {
            const int32_t dm = g.between(1, 4);
            const TermList m0 = canonical_terms(NV, with_lead(g, dm, small_coef(g), g.between(0, 4), true));
            const TermList q0 = canonical_terms(NV, random_terms(g, g.between(0, 6), g.between(1, 5), true));
            const TermList r0 = canonical_terms(NV, random_terms(g, dm - 1, g.between(0, 4), true));
            const TermList u0 = product_plus(q0, m0, r0);
            SCOPED_TRACE(g.trace());
            HeldPoly u(build_poly(NV, u0)), m(build_poly(NV, m0)), q, r;
            basic_poly_divide(u.p, m.p, &q.p, &r.p, 1);
            ASSERT_TRUE(check_poly_shape(q.p, NV));
            ASSERT_TRUE(check_poly_shape(r.p, NV));
            EXPECT_EQ(read_poly(q.p, NV), q0);
            EXPECT_EQ(read_poly(r.p, NV), r0);
            EXPECT_EQ(read_poly(m.p, NV), m0);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

// A lead that stops dividing ends the division early, the identity intact:
// 4x^2 + 3x + 1 by 2x gives q = 2x, r = 3x + 1.
TEST(PolyDiv, BasicDivideStopsWhereTheLeadDoesNotDivide) {
    Ring z(0);
    AttachedVars v(1);
    HeldPoly u(build_poly(NV, {{4, {2, 0, 0}}, {3, {1, 0, 0}}, {1, {0, 0, 0}}})), m(build_poly(NV, {{2, {1, 0, 0}}})), q, r;
    basic_poly_divide(u.p, m.p, &q.p, &r.p, 1);
    EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{2, {1, 0, 0}}}));
    EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{3, {1, 0, 0}}, {1, {0, 0, 0}}}));
}

// The divide-and-conquer path (deg m = 3, deg u = 61) and the schoolbook
// one (deg u = 60) agree with the planted values.
TEST(PolyDiv, LargeOneVariableDivisionModuloAPrime) {
    Ring p(65521);
    AttachedVars v(1);
    NumberGen g(41016);
    for (int32_t du : {60, 61, 200}) {
        const TermList m0 = canonical_terms(NV, with_lead(g, 3, small_coef(g), 3, true));
        TermList qt = random_terms(g, du - 3, 40, true);
        qt.emplace_back(small_coef(g), Exps{du - 3, 0, 0});
        const TermList q0 = canonical_terms(NV, qt), r0 = canonical_terms(NV, random_terms(g, 2, 3, true));
        const TermList u0 = product_plus(q0, m0, r0);
        HeldPoly u(build_poly(NV, u0)), m(build_poly(NV, m0)), q, r;
        basic_poly_divide(u.p, m.p, &q.p, &r.p, 1);
        EXPECT_EQ(read_poly(q.p, NV), q0) << du;
        EXPECT_EQ(read_poly(r.p, NV), r0) << du;
        EXPECT_EQ(read_poly(u.p, NV), u0);
        EXPECT_EQ(read_poly(m.p, NV), m0);
    }
}

TEST(PolyDiv, HandCases) {
    Ring z(0);
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        // 7x - 3 | 5 with pos_mod: 2x + 2; the quotient truncates: x.
        pos_mod = 1;
        HeldPoly u(build_poly(NV, {{7, {1, 0, 0}}, {-3, {0, 0, 0}}})), five(build_poly(NV, {{5, {0, 0, 0}}}));
        HeldPoly r, q, r2, q2;
        poly_mod_or_div(u.p, five.p, &r.p, '|', polynames);
        EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{2, {1, 0, 0}}, {2, {0, 0, 0}}}));
        poly_mod_or_div(u.p, five.p, &q.p, '/', polynames);
        EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{1, {1, 0, 0}}}));
        // Without pos_mod the remainder keeps the sign of each coefficient.
        pos_mod = 0;
        poly_mod_and_div(u.p, five.p, &r2.p, &q2.p, polynames);
        EXPECT_EQ(read_poly(r2.p, NV), canonical_terms(NV, {{2, {1, 0, 0}}, {-3, {0, 0, 0}}}));
        EXPECT_EQ(read_poly(q2.p, NV), canonical_terms(NV, {{1, {1, 0, 0}}}));
        pos_mod = 1;
    }
    {
        // Pseudo forms: x^2 by 2x + 1 gives remainder 1 and quotient 2x - 1.
        HeldPoly u(build_poly(NV, {{1, {2, 0, 0}}})), m(build_poly(NV, {{2, {1, 0, 0}}, {1, {0, 0, 0}}}));
        HeldPoly r, q;
        poly_mod_or_div(u.p, m.p, &r.p, '|', polynames);
        poly_mod_or_div(u.p, m.p, &q.p, '/', polynames);
        EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}}));
        EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{2, {1, 0, 0}}, {-1, {0, 0, 0}}}));
    }
    {
        // A divisor free of x divides each polynomial coefficient; the
        // number coefficient 5 stays in the remainder.
        // u = x^2(y^2 + y + 1) + x·y + 5, m = y: r = x^2 + 5, q = x^2(y + 1) + x.
        HeldPoly u(build_poly(NV, {{1, {2, 2, 0}}, {1, {2, 1, 0}}, {1, {2, 0, 0}}, {1, {1, 1, 0}}, {5, {0, 0, 0}}}));
        HeldPoly m(build_poly(NV, {{1, {0, 1, 0}}}));
        HeldPoly r, q, ro, qo;
        poly_mod_and_div(u.p, m.p, &r.p, &q.p, polynames);
        poly_mod_or_div(u.p, m.p, &ro.p, '|', polynames);
        poly_mod_or_div(u.p, m.p, &qo.p, '/', polynames);
        const TermList rr = canonical_terms(NV, {{1, {2, 0, 0}}, {5, {0, 0, 0}}});
        const TermList qq = canonical_terms(NV, {{1, {2, 1, 0}}, {1, {2, 0, 0}}, {1, {1, 0, 0}}});
        EXPECT_EQ(read_poly(r.p, NV), rr);
        EXPECT_EQ(read_poly(q.p, NV), qq);
        EXPECT_EQ(read_poly(ro.p, NV), rr);
        EXPECT_EQ(read_poly(qo.p, NV), qq);
        for (polynode* x : {r.p, q.p, ro.p, qo.p}) EXPECT_TRUE(check_poly_shape(x, NV));
    }
    {
        // Lower degree in x, and a plain number by a polynomial: all remainder.
        HeldPoly u(build_poly(NV, {{3, {1, 2, 0}}, {1, {0, 0, 1}}})), m(build_poly(NV, {{1, {2, 0, 0}}, {1, {0, 1, 0}}}));
        HeldPoly n(build_poly(NV, {{9, {0, 0, 0}}}));
        HeldPoly r, q, r2, q2, o;
        poly_mod_and_div(u.p, m.p, &r.p, &q.p, polynames);
        EXPECT_EQ(read_poly(r.p, NV), read_poly(u.p, NV));
        EXPECT_TRUE(read_poly(q.p, NV).empty());
        poly_mod_and_div(n.p, m.p, &r2.p, &q2.p, polynames);
        EXPECT_EQ(read_poly(r2.p, NV), read_poly(n.p, NV));
        EXPECT_TRUE(read_poly(q2.p, NV).empty());
        poly_mod_or_div(n.p, m.p, &o.p, '/', polynames);
        EXPECT_TRUE(read_poly(o.p, NV).empty());
        // Both free of x: the inner levels divide (y^2 + 1 by y: r 1, q y).
        HeldPoly a(build_poly(NV, {{1, {0, 2, 0}}, {1, {0, 0, 0}}})), b(build_poly(NV, {{1, {0, 1, 0}}}));
        HeldPoly ra, qa;
        poly_mod_and_div(a.p, b.p, &ra.p, &qa.p, polynames);
        EXPECT_EQ(read_poly(ra.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}}));
        EXPECT_EQ(read_poly(qa.p, NV), canonical_terms(NV, {{1, {0, 1, 0}}}));
        EXPECT_TRUE(check_poly_shape(qa.p, NV));
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolyDiv, ErrorsLeaveTheOperands) {
    Ring z(0);
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{1, {2, 1, 0}}, {2, {0, 0, 0}}})), zero(build_poly(NV, {}));
        const TermList u0 = read_poly(u.p, NV);
        HeldPoly q, r;
        for (int which = 0; which < 3; which++) {
            try {
                if (which == 0) poly_mod_and_div(u.p, zero.p, &r.p, &q.p, polynames);
                else if (which == 1) poly_mod_or_div(u.p, zero.p, &r.p, '|', polynames);
                else basic_poly_divide(u.p, zero.p, &q.p, &r.p, 1);
                ADD_FAILURE() << "no error " << which;
            } catch (const TarvexUnwind& e) {
                EXPECT_EQ(e.code, 22);
            }
        }
        EXPECT_EQ(read_poly(u.p, NV), u0);
        EXPECT_TRUE(q.p == nullptr && r.p == nullptr);

        laurent = 1;
        HeldPoly neg(build_poly(NV, {{1, {1, 0, 0}}, {1, {-1, 0, 0}}})), m(build_poly(NV, {{1, {1, 0, 0}}, {1, {0, 0, 0}}}));
        const TermList n0 = read_poly(neg.p, NV);
        for (int which = 0; which < 2; which++) {
            try {
                if (which == 0) poly_mod_and_div(neg.p, m.p, &r.p, &q.p, polynames);
                else poly_mod_or_div(neg.p, m.p, &r.p, '/', polynames);
                ADD_FAILURE() << "no error " << which;
            } catch (const TarvexUnwind& e) {
                EXPECT_EQ(e.code, 205);
            }
        }
        EXPECT_EQ(read_poly(neg.p, NV), n0);
        EXPECT_TRUE(q.p == nullptr && r.p == nullptr);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
