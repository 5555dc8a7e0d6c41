// Monic forms modulo a prime and division by a divisor with an invertible
// number leading coefficient: lc·monic = input, leading coefficient 1,
// planted u = q·m + r recovered exactly, operands left as they were, the
// errors as unwinds, no record lost.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
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

constexpr int NV = 2;

struct Ring {
    RingStateGuard saved;
    int16_t depth = field_depth;
    explicit Ring(int32_t m, int prime = 1) {
        load_data_once();
        modularmode = m != 0;
        lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = m != 0 && prime;
    }
    ~Ring() { field_depth = depth; }
};

using Exps = std::vector<int32_t>;

// Degree d in x exactly, with a number leading coefficient.
TermList random_poly(NumberGen& g, int32_t d, int32_t n) {
    TermList t;
    t.emplace_back(static_cast<long>(g.between(1, modulus - 1)), Exps{d, 0});
    for (int i = 0; i < n && d > 0; i++)
        t.emplace_back(static_cast<long>(g.between(1, modulus - 1)), Exps{g.below(d), g.below(4)});
    return t;
}


TEST(MonicPoly, LeadingCoefficientBecomesOneAndMultipliesBack) {
    for (int32_t mod : {7, 65521, 2147483629, 256, 65536}) {
        Ring ring(mod);
        AttachedVars v(NV);
        NumberGen g(500 + mod % 1000);
        for (int it = 0; it < scaled(30); it++) {
            RecordLedger ledger;
            {
                TermList terms = random_poly(g, g.between(0, 5), g.between(0, 6));
                if (g.chance(30)) terms.emplace_back(static_cast<long>(g.between(1, modulus - 1)), Exps{terms[0].exps[0], 2});
                HeldPoly p(build_poly(NV, terms)), lc;
                const TermList p0 = read_poly(p.p, NV);
                SCOPED_TRACE(g.trace() + " p=" + terms_to_string(p0));
                monic_poly(&p.p, &lc.p, polynames);
                ASSERT_TRUE(check_poly_shape(p.p, NV));
                ASSERT_TRUE(check_poly_shape(lc.p, NV));
                EXPECT_EQ(leading_coef(p.p)->ncoef->value, 1);
                HeldPoly back;
                poly_mult(lc.p, p.p, &back.p, polynames);
                EXPECT_EQ(read_poly(back.p, NV), p0);
            }
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

TEST(MonicPoly, Errors) {
    load_data_once();   // before the ledger: the tables stay in use
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        Ring z(0);
        HeldPoly p(build_poly(NV, {{3, {1, 0}}, {1, {0, 0}}})), lc;
        try {
            monic_poly(&p.p, &lc.p, polynames);
            ADD_FAILURE();
        } catch (const TarvexUnwind& e) {
            EXPECT_EQ(e.code, 284);
        }
    }
    {
        Ring p7(7);
        HeldPoly zero(build_poly(NV, {})), lc;
        try {
            monic_poly(&zero.p, &lc.p, polynames);
            ADD_FAILURE();
        } catch (const TarvexUnwind& e) {
            EXPECT_EQ(e.code, 22);
            EXPECT_EQ(e.token, "/");
        }
    }
    {
        // 3 has no inverse modulo 65535; p is left as it was.
        Ring c(65535, 0);
        HeldPoly p(build_poly(NV, {{3, {2, 0}}, {1, {0, 1}}})), lc;
        const TermList p0 = read_poly(p.p, NV);
        try {
            monic_poly(&p.p, &lc.p, polynames);
            ADD_FAILURE();
        } catch (const TarvexUnwind& e) {
            EXPECT_EQ(e.code, 85);
            EXPECT_EQ(e.token, "/");
        }
        EXPECT_EQ(read_poly(p.p, NV), p0);
    }
    {
        // A field element as leading coefficient reaches the field inverse.
        Ring p7(7);
        field_depth = 2;
        HeldPoly p(build_poly(NV, {{1, {1, 1}}, {1, {0, 0}}})), lc;
        EXPECT_THROW(monic_poly(&p.p, &lc.p, polynames), TarvexUnwind);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(FieldCoefPolyDivide, RecoversPlantedQuotientAndRemainder) {
    for (int32_t mod : {7, 65521, 256}) {
        Ring ring(mod);
        AttachedVars v(NV);
        NumberGen g(600 + mod);
        for (int it = 0; it < scaled(40); it++) {
            RecordLedger ledger;
            {
                const int32_t dm = g.between(0, 4);
                HeldPoly m(build_poly(NV, random_poly(g, dm, g.between(0, 4))));
                HeldPoly q(build_poly(NV, random_poly(g, g.between(0, 4), g.between(0, 4))));
                HeldPoly r(dm > 0 ? build_poly(NV, random_poly(g, g.between(0, dm - 1), g.between(0, 3)))
                              : build_poly(NV, {}));
                HeldPoly u;
                poly_mult(q.p, m.p, &u.p, polynames);
                poly_add(u.p, r.p, &u.p);
                const TermList u0 = read_poly(u.p, NV), m0 = read_poly(m.p, NV);
                SCOPED_TRACE(g.trace() + " u=" + terms_to_string(u0) + " m=" + terms_to_string(m0));
                HeldPoly qq, rr;
                field_coef_poly_divide(u.p, m.p, polynames, &qq.p, &rr.p);
                ASSERT_TRUE(check_poly_shape(qq.p, NV));
                ASSERT_TRUE(check_poly_shape(rr.p, NV));
                EXPECT_EQ(read_poly(qq.p, NV), read_poly(q.p, NV));
                EXPECT_EQ(read_poly(rr.p, NV), read_poly(r.p, NV));
                EXPECT_EQ(read_poly(u.p, NV), u0);
                EXPECT_EQ(read_poly(m.p, NV), m0);
                // The divisor of higher degree leaves everything in the remainder.
                HeldPoly q2, r2;
                field_coef_poly_divide(r.p, m.p, polynames, &q2.p, &r2.p);
                if (dm > 0) {
                    EXPECT_TRUE(read_poly(q2.p, NV).empty());
                    EXPECT_EQ(read_poly(r2.p, NV), read_poly(r.p, NV));
                }
            }
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

TEST(FieldCoefPolyDivide, ZeroDivisorAndFieldLead) {
    Ring p7(7);
    AttachedVars v(NV);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{1, {2, 0}}})), zero(build_poly(NV, {})), q, r;
        try {
            field_coef_poly_divide(u.p, zero.p, polynames, &q.p, &r.p);
            ADD_FAILURE();
        } catch (const TarvexUnwind& e) {
            EXPECT_EQ(e.code, 22);
        }
        field_depth = 2;
        HeldPoly m(build_poly(NV, {{1, {1, 1}}, {2, {0, 0}}}));
        const TermList m0 = read_poly(m.p, NV);
        EXPECT_THROW(field_coef_poly_divide(u.p, m.p, polynames, &q.p, &r.p), TarvexUnwind);
        EXPECT_EQ(read_poly(m.p, NV), m0);
        EXPECT_TRUE(q.p == nullptr && r.p == nullptr);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
