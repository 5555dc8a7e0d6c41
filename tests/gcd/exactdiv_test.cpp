// Exact division on planted products u = q·m in several rings and numbers of
// variables, the non-exact pair u = q·m + r (r ≠ 0) reported by the flag or
// as an unwind with the operand unchanged, division by numbers, contents,
// the Laurent shift, and division by zero.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "gcd/exactdiv.h"
#include "numbers/numbers.h"
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
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"

namespace {

constexpr int NV = 3;

struct Ring {
    RingStateGuard saved;
    int laur = laurent;
    explicit Ring(int32_t m) {
        load_data_once();
        modularmode = m != 0;
        lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = m != 0;
    }
    ~Ring() { laurent = laur; }
};

using Exps = std::vector<int32_t>;

TermList random_terms(NumberGen& g, int32_t dx, int32_t n, int nvars) {
    TermList t;
    for (int i = 0; i < n; i++)
        t.emplace_back(small_coef(g), Exps{g.below(dx + 1), nvars > 1 ? g.below(3) : 0, nvars > 2 ? g.below(3) : 0});
    return t;
}

TermList sum(const TermList& a, const TermList& b) {
    TermList out = a;
    out.insert(out.end(), b.begin(), b.end());
    return canonical_terms(NV, out);
}

void planted(int32_t mod, int nvars, uint64_t seed) {
    Ring ring(mod);
    AttachedVars v(NV, nvars);
    NumberGen g(seed);
    for (int it = 0; it < scaled(40); it++) {
        RecordLedger ledger;
        {
            const TermList q0 = canonical_terms(NV, random_terms(g, g.between(0, 4), g.between(1, 5), nvars));
            TermList mt = random_terms(g, g.between(0, 3), g.between(1, 4), nvars);
            mt.emplace_back(small_coef(g), Exps{g.between(1, 3), 0, 0});   // m involves x
            const TermList m0 = canonical_terms(NV, mt);
            // Like terms may cancel m's x part: then there is nothing to plant.
            if (q0.empty() || m0.empty() || m0.front().exps[0] == 0) continue;
            const TermList u0 = product(NV, q0, m0);
            SCOPED_TRACE(g.trace() + " q=" + terms_to_string(q0) + " m=" + terms_to_string(m0));
            HeldPoly u(build_poly(NV, u0)), m(build_poly(NV, m0)), q;
            int fail = -1;
            gen_poly_divide(u.p, m.p, &q.p, polynames, &fail);
            EXPECT_EQ(fail, 0);
            ASSERT_TRUE(check_poly_shape(q.p, NV));
            EXPECT_EQ(read_poly(q.p, NV), q0);
            EXPECT_EQ(read_poly(u.p, NV), u0);
            EXPECT_EQ(read_poly(m.p, NV), m0);
            EXPECT_TRUE(check_poly_shape(m.p, NV));

            // In place: u becomes q.
            HeldPoly w(build_poly(NV, u0));
            fast_poly_divide(&w.p, m.p, polynames, 1);
            ASSERT_TRUE(check_poly_shape(w.p, NV));
            EXPECT_EQ(read_poly(w.p, NV), q0);

            // A non-zero remainder below m in x: not exact.
            const int32_t dm = m0.front().exps[0];
            const TermList r0 = canonical_terms(NV, random_terms(g, dm - 1, g.between(1, 3), nvars));
            if (r0.empty()) continue;
            const TermList n0 = sum(u0, r0);
            HeldPoly n(build_poly(NV, n0)), q2;
            gen_poly_divide(n.p, m.p, &q2.p, polynames, &fail);
            EXPECT_EQ(fail, 1);
            ASSERT_TRUE(check_poly_shape(q2.p, NV));
            EXPECT_EQ(read_poly(n.p, NV), n0);
            EXPECT_EQ(read_poly(m.p, NV), m0);
            try {
                fast_poly_divide(&n.p, m.p, polynames, 7);
                ADD_FAILURE() << "no error";
            } catch (const TarvexUnwind& e) {
                EXPECT_LT(e.code, 0);
            }
            EXPECT_EQ(read_poly(n.p, NV), n0);
            EXPECT_EQ(read_poly(m.p, NV), m0);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(ExactDiv, PlantedOverTheIntegers) {
    planted(0, 1, 41040);
    planted(0, 2, 41041);
    planted(0, 3, 41042);
}
TEST(ExactDiv, PlantedModuloPrimes) {
    planted(7, 1, 41043);
    planted(7, 3, 41044);
    planted(65521, 2, 41045);
    planted(65521, 3, 41046);
}

TEST(ExactDiv, HandCases) {
    Ring z(0);
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        HeldPoly m(build_poly(NV, {{1, {1, 0, 0}}, {1, {0, 0, 0}}}));
        HeldPoly a(build_poly(NV, {{1, {2, 0, 0}}, {-1, {0, 0, 0}}})), b(build_poly(NV, {{1, {2, 0, 0}}, {1, {0, 0, 0}}}));
        HeldPoly qa, qb, q0, q5, qh, q3;
        int fail = -1;
        gen_poly_divide(a.p, m.p, &qa.p, polynames, &fail);
        EXPECT_EQ(fail, 0);
        EXPECT_EQ(read_poly(qa.p, NV), canonical_terms(NV, {{1, {1, 0, 0}}, {-1, {0, 0, 0}}}));
        gen_poly_divide(b.p, m.p, &qb.p, polynames, &fail);
        EXPECT_EQ(fail, 1);
        HeldPoly zero(build_poly(NV, {})), five(build_poly(NV, {{5, {0, 0, 0}}}));
        gen_poly_divide(zero.p, m.p, &q0.p, polynames, &fail);
        EXPECT_EQ(fail, 0);
        EXPECT_TRUE(read_poly(q0.p, NV).empty());
        gen_poly_divide(five.p, m.p, &q5.p, polynames, &fail);
        EXPECT_EQ(fail, 1);
        // A divisor of higher degree.
        HeldPoly x2(build_poly(NV, {{1, {2, 0, 0}}}));
        gen_poly_divide(m.p, x2.p, &qh.p, polynames, &fail);
        EXPECT_EQ(fail, 1);
        EXPECT_TRUE(read_poly(qh.p, NV).empty());
        // 3x·y by 2x·y: the leading coefficients do not divide.
        HeldPoly u3(build_poly(NV, {{3, {1, 1, 0}}})), m2(build_poly(NV, {{2, {1, 1, 0}}}));
        gen_poly_divide(u3.p, m2.p, &q3.p, polynames, &fail);
        EXPECT_EQ(fail, 1);
        EXPECT_TRUE(read_poly(q3.p, NV).empty());
    }
    {
        // Divisors free of x: (x·y + y^2)·(y + 2) by y + 2 and by 3.
        HeldPoly m(build_poly(NV, {{1, {0, 1, 0}}, {2, {0, 0, 0}}})), three(build_poly(NV, {{3, {0, 0, 0}}}));
        HeldPoly u(build_poly(NV, {{1, {1, 2, 0}}, {2, {1, 1, 0}}, {1, {0, 3, 0}}, {2, {0, 2, 0}}}));
        HeldPoly q;
        int fail = -1;
        gen_poly_divide(u.p, m.p, &q.p, polynames, &fail);
        EXPECT_EQ(fail, 0);
        EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{1, {1, 1, 0}}, {1, {0, 2, 0}}}));
        // fast_divide takes the divisor at the level of u's coefficients.
        fast_divide(&u.p, m.p->pcoef, polynames, 3);
        EXPECT_TRUE(check_poly_shape(u.p, NV));
        EXPECT_EQ(read_poly(u.p, NV), canonical_terms(NV, {{1, {1, 1, 0}}, {1, {0, 2, 0}}}));
        HeldPoly w(build_poly(NV, {{6, {2, 1, 0}}, {3, {1, 0, 0}}}));
        fast_divide(&w.p, three.p, polynames, 3);
        EXPECT_TRUE(check_poly_shape(w.p, NV));
        EXPECT_EQ(read_poly(w.p, NV), canonical_terms(NV, {{2, {2, 1, 0}}, {1, {1, 0, 0}}}));
        // A number at the top level has no coefficient to divide.
        HeldPoly k(build_poly(NV, {{6, {1, 1, 0}}, {3, {0, 0, 0}}}));
        const TermList k0 = read_poly(k.p, NV);
        EXPECT_THROW(fast_divide(&k.p, three.p, polynames, 3), TarvexUnwind);
        EXPECT_EQ(read_poly(k.p, NV), k0);
        // 3 does not divide 4: an unwind, the operand as it was.
        HeldPoly n(build_poly(NV, {{6, {1, 1, 0}}, {4, {0, 1, 0}}}));
        const TermList n0 = read_poly(n.p, NV);
        EXPECT_THROW(fast_divide(&n.p, three.p, polynames, 3), TarvexUnwind);
        EXPECT_EQ(read_poly(n.p, NV), n0);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(ExactDiv, DivisionByNumbers) {
    Ring z(0);
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        HeldPoly two(build_poly(NV, {{2, {0, 0, 0}}})), zero(build_poly(NV, {}));
        HeldPoly a(build_poly(NV, {{6, {1, 0, 0}}, {4, {0, 0, 0}}})), b(build_poly(NV, {{6, {1, 0, 0}}, {3, {0, 0, 0}}}));
        HeldPoly r;
        int ok = -1;
        trial_poly_quot(a.p, two.p, &r.p, &ok);
        EXPECT_EQ(ok, 1);
        EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{3, {1, 0, 0}}, {2, {0, 0, 0}}}));
        polynode* before = r.p;
        trial_poly_quot(b.p, two.p, &r.p, &ok);
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(r.p, before);
        EXPECT_EQ(read_poly(r.p, NV), canonical_terms(NV, {{3, {1, 0, 0}}, {2, {0, 0, 0}}}));

        HeldPoly p, p1;
        poly_quot(a.p, two.p, &p.p, 5);
        EXPECT_TRUE(check_poly_shape(p.p, NV));
        EXPECT_EQ(read_poly(p.p, NV), canonical_terms(NV, {{3, {1, 0, 0}}, {2, {0, 0, 0}}}));
        EXPECT_THROW(poly_quot(b.p, two.p, &p1.p, 5), TarvexUnwind);
        EXPECT_EQ(p1.p, nullptr);
        // A multivariate dividend by a number, recursion included.
        HeldPoly c(build_poly(NV, {{-12, {2, 1, 1}}, {8, {2, 0, 0}}, {4, {0, 2, 0}}})), cq;
        poly_quot(c.p, two.p, &cq.p, 5);
        EXPECT_TRUE(check_poly_shape(cq.p, NV));
        EXPECT_EQ(read_poly(cq.p, NV), canonical_terms(NV, {{-6, {2, 1, 1}}, {4, {2, 0, 0}}, {2, {0, 2, 0}}}));

        for (int which = 0; which < 3; which++) {
            try {
                HeldPoly t;
                int f = 0;
                if (which == 0) trial_poly_quot(a.p, zero.p, &t.p, &f);
                else if (which == 1) poly_quot(a.p, zero.p, &t.p, 5);
                else gen_poly_divide(a.p, zero.p, &t.p, polynames, &f);
                ADD_FAILURE() << "no error " << which;
            } catch (const TarvexUnwind& e) {
                EXPECT_EQ(e.code, 22);
            }
        }

        HeldPoly cu(build_poly(NV, {{6, {2, 0, 0}}, {4, {0, 0, 0}}})), one(build_poly(NV, {{1, {1, 0, 0}}, {1, {0, 0, 0}}}));
        clear_up(&cu.p);
        EXPECT_EQ(read_poly(cu.p, NV), canonical_terms(NV, {{3, {2, 0, 0}}, {2, {0, 0, 0}}}));
        clear_up(&one.p);
        EXPECT_EQ(read_poly(one.p, NV), canonical_terms(NV, {{1, {1, 0, 0}}, {1, {0, 0, 0}}}));
    }
    EXPECT_TRUE(ledger.balanced());
}

// x^-1 + x^-2 by x + 1 gives x^-2, u restored on request.
TEST(ExactDiv, LaurentShiftAroundTheDivision) {
    Ring z(0);
    AttachedVars v(NV);
    laurent = 1;
    RecordLedger ledger;
    {
        const TermList u0 = canonical_terms(NV, {{1, {-1, 0, 0}}, {1, {-2, 0, 0}}});
        HeldPoly u(build_poly(NV, u0)), m(build_poly(NV, {{1, {1, 0, 0}}, {1, {0, 0, 0}}})), q;
        int fail = -1;
        Lpoly_divide(&u.p, &m.p, &q.p, 1, polynames, &fail);
        EXPECT_EQ(fail, 0);
        EXPECT_TRUE(check_poly_shape(q.p, NV));
        EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{1, {-2, 0, 0}}}));
        EXPECT_TRUE(check_poly_shape(u.p, NV));
        EXPECT_EQ(read_poly(u.p, NV), u0);
        // Not exact: the flag, and u still restored.
        const TermList w0 = canonical_terms(NV, {{1, {-1, 0, 0}}, {2, {-2, 0, 0}}});
        HeldPoly w(build_poly(NV, w0)), q2;
        Lpoly_divide(&w.p, &m.p, &q2.p, 1, polynames, &fail);
        EXPECT_EQ(fail, 1);
        EXPECT_EQ(read_poly(w.p, NV), w0);
        // The pseudo-division branch: x + x^-1 is x^-1·(x^2 + 1), and
        // x^2 + 1 = (x - 1)(x + 1) + 2, so the quotient is 1 - x^-1.
        const TermList s0 = canonical_terms(NV, {{1, {1, 0, 0}}, {1, {-1, 0, 0}}});
        HeldPoly s(build_poly(NV, s0)), q3, r3, k3;
        clear_and_operate(&s.p, &m.p, &q3.p, &r3.p, &k3.p, 1, 0, polynames, &fail);
        EXPECT_EQ(fail, 0);
        EXPECT_TRUE(check_poly_shape(q3.p, NV));
        EXPECT_EQ(read_poly(q3.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}, {-1, {-1, 0, 0}}}));
        EXPECT_EQ(read_poly(r3.p, NV), canonical_terms(NV, {{2, {0, 0, 0}}}));
        EXPECT_EQ(read_poly(k3.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}}));
        EXPECT_EQ(read_poly(s.p, NV), s0);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
