// The derivative and degree workers on hand-made values: the quotient
// rule's two denominator cases, a denominator free of the variable, a
// denominator that vanishes modulo a composite modulus, the monic and
// single-variable checks, codegrees and the level shifts. Random values
// against sympy are in tests/transcripts/deriv_differential.py.
#include <gtest/gtest.h>

#include "builtins/degrees.h"
#include "builtins/derivative.h"
#include "interp/statement_runs.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

using statement_runs::StatementRuns;

constexpr int NV = 2;   // x outermost, then y

class DerivativeWorkers : public StatementRuns {
protected:
    VarGlobalsGuard vars_;
    void SetUp() override {
        start(0);
        drop_all_poly_vars();
        val("&(J = y); &(J = x);");
    }
    void TearDown() override {
        finish();
        drop_all_poly_vars();
    }
};

// A quoly num / den from term lists (den empty: none), not normalised.
quoly* make(const TermList& num, const TermList& den = {}) {
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = build_poly(NV, num);
    q->den = den.empty() ? nullptr : build_poly(NV, den);
    return q;
}

TermList numerator_terms(const quoly* q) { return read_poly(q->pnum, NV); }
TermList denominator_terms(const quoly* q) { return q->den ? read_poly(q->den, NV) : TermList{}; }

TEST_F(DerivativeWorkers, QuotientRuleDenominators) {
    // 1/x: g = gcd(x, 1) is a number, the denominator x^2.
    quoly* q = make({{1, {0, 0}}}, {{1, {1, 0}}});
    quoly_differen_once(&q, 1);
    EXPECT_TRUE(check_quoly_normal(q, NV));
    EXPECT_EQ(numerator_terms(q), canonical_terms(NV, {{-1, {0, 0}}}));
    EXPECT_EQ(denominator_terms(q), canonical_terms(NV, {{1, {2, 0}}}));
    free_quoly(&q);
    // 1/x^2: g = x, the denominator x^2 x^2 / x.
    q = make({{1, {0, 0}}}, {{1, {2, 0}}});
    quoly_differen_once(&q, 1);
    EXPECT_EQ(numerator_terms(q), canonical_terms(NV, {{-2, {0, 0}}}));
    EXPECT_EQ(denominator_terms(q), canonical_terms(NV, {{1, {3, 0}}}));
    free_quoly(&q);
    // x/(y + 1) in x: the denominator stays.
    q = make({{1, {1, 0}}}, {{1, {0, 1}}, {1, {0, 0}}});
    quoly_differen_once(&q, 1);
    EXPECT_EQ(numerator_terms(q), canonical_terms(NV, {{1, {0, 0}}}));
    EXPECT_EQ(denominator_terms(q), canonical_terms(NV, {{1, {0, 1}}, {1, {0, 0}}}));
    free_quoly(&q);
    // x y^2 / (x + 1), third derivative in y: 0; second: 2x/(x + 1).
    q = make({{1, {1, 2}}}, {{1, {1, 0}}, {1, {0, 0}}});
    differentiate(&q, 2, 2);
    EXPECT_EQ(numerator_terms(q), canonical_terms(NV, {{2, {1, 0}}}));
    differentiate(&q, 2, 1);
    EXPECT_TRUE(q->isnum);
    EXPECT_EQ(quoly_value(q), 0);
    free_quoly(&q);
}

TEST_F(DerivativeWorkers, ConstantsAndNumberDenominators) {
    quoly* q = nullptr;
    quoly_set(7, &q);
    quoly_differen_once(&q, 1);
    EXPECT_EQ(quoly_value(q), 0);
    free_quoly(&q);
    // (x^3 + y)/2 three times in x: 3, a plain number.
    q = make({{1, {3, 0}}, {1, {0, 1}}}, {{2, {0, 0}}});
    differentiate(&q, 1, 3);
    ASSERT_TRUE(q->isnum);
    EXPECT_EQ(quoly_value(q), 3);
    free_quoly(&q);
    // k <= 0 on a rational function changes nothing.
    q = make({{1, {0, 0}}}, {{1, {1, 0}}, {1, {0, 1}}});
    differentiate(&q, 1, 0);
    EXPECT_EQ(denominator_terms(q), canonical_terms(NV, {{1, {1, 0}}, {1, {0, 1}}}));
    free_quoly(&q);
}

TEST_F(DerivativeWorkers, DenominatorVanishingModuloFour) {
    // (2x + 2)^2 = 4 (x + 1)^2 is 0 modulo 4: the derivative's denominator.
    RingStateGuard ring;
    use_modulus(4);
    quoly* q = make({{1, {0, 0}}}, {{2, {1, 0}}, {2, {0, 0}}});
    EXPECT_TARVEX_ERROR(quoly_differen_once(&q, 1), 22);
    free_quoly(&q);
}

TEST_F(DerivativeWorkers, MonicAndVariableChecks) {
    quoly* q = make({{1, {0, 2}}, {1, {0, 0}}});   // y^2 + 1
    int32_t level = 0, degree = 0;
    polynode *node = nullptr, *parent = nullptr;
    EXPECT_TRUE(check_for_monic_poly(282, q, &level, &degree, &node, &parent));
    EXPECT_EQ(level, 2);
    EXPECT_EQ(degree, 2);
    EXPECT_EQ(parent, q->pnum);
    EXPECT_EQ(node, q->pnum->pcoef);
    int32_t height = 0;
    EXPECT_TARVEX_ERROR(check_get_height(q, &height, 282), 282);
    free_quoly(&q);
    q = make({{3, {1, 0}}});
    EXPECT_TARVEX_ERROR(check_for_monic_poly(282, q, &level, &degree, &node, &parent), 197);
    free_quoly(&q);
    q = make({{1, {0, 1}}});
    EXPECT_TRUE(check_get_height(q, &height, 282));
    EXPECT_EQ(height, 1);
    free_quoly(&q);
    q = make({{1, {1, 0}}, {1, {0, 0}}});   // x + 1 is no variable
    EXPECT_TARVEX_ERROR(check_get_height(q, &height, 282), 282);
    free_quoly(&q);
}

TEST_F(DerivativeWorkers, CodegreesAndShifts) {
    PolyHold p(build_poly(NV, {{1, {5, 2}}, {1, {3, 4}}, {1, {3, 1}}}));
    EXPECT_EQ(codegree(p.p, 1), 3);
    EXPECT_EQ(codegree(p.p, 2), 1);
    PolyHold c(build_poly(NV, {{1, {5, 2}}, {1, {0, 0}}}));
    EXPECT_EQ(codegree(c.p, 1), 0);
    EXPECT_EQ(codegree(c.p, 2), 0);
    // (x^2 + 1)/x lowered to (y^2 + 1)/y and back.
    quoly* q = make({{1, {2, 0}}, {1, {0, 0}}}, {{1, {1, 0}}});
    EXPECT_TRUE(lower_quoly(&q, 1));
    EXPECT_EQ(numerator_terms(q), canonical_terms(NV, {{1, {0, 2}}, {1, {0, 0}}}));
    EXPECT_EQ(denominator_terms(q), canonical_terms(NV, {{1, {0, 1}}}));
    EXPECT_TARVEX_ERROR(lower_quoly(&q, 1), 277);
    EXPECT_TRUE(raise_quoly(&q, 1));
    EXPECT_EQ(numerator_terms(q), canonical_terms(NV, {{1, {2, 0}}, {1, {0, 0}}}));
    EXPECT_TARVEX_ERROR(raise_quoly(&q, 1), 275);
    EXPECT_TARVEX_ERROR(raise_quoly(&q, -1), 273);
    EXPECT_EQ(denominator_terms(q), canonical_terms(NV, {{1, {1, 0}}}));
    free_quoly(&q);
}

}  // namespace
