// The postfix '#' where the random differential does not reach: Laurent
// exponents (lifted out before a substitution, divided by the value's power
// in Horner's rule and in total evaluation), residues, and the
// characteristic-2 evaluator against the general one. Each result is
// checked in the language itself: the evaluation minus the value worked out
// by hand must be 0.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "builtins/total_eval.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "statement_runs.h"
#include "storage/assign.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

using statement_runs::StatementRuns;

class QuolyEval : public StatementRuns {
protected:
    VarGlobalsGuard vars_;
    void SetUp() override {
        start(0);
        drop_all_poly_vars();
    }
    void TearDown() override {
        finish();
        drop_all_poly_vars();
    }
    static void zero(const std::string& difference) { EXPECT_EQ(val(difference), 0) << difference; }
};

TEST_F(QuolyEval, LaurentExponentsCountInEveryRoute) {
    laurent = 1;
    val("&(J = y); &(J = x);");
    // Single substitution: the negative exponent is lifted out first.
    EXPECT_EQ(val("(x^(-1) + 1)#(2);"), mpq_class(3, 2));
    zero("(x^(-3)*y + x)#(x = 2) - (y/8 + 2);");
    zero("(y^(-2)*x + y)#(y = x + 1) - (x/(x + 1)^2 + x + 1);");
    // Horner's rule (a value with a polynomial denominator) keeps the
    // terms of negative exponent.
    zero("(x^(-2) + 3*x)#(x = (y + 1)/y) - (((y + 1)/y)^(-2) + 3*(y + 1)/y);");
    zero("((x^(-1) + y)/(x + 2))#(x = (y - 1)/(y + 1)) - "
         "((((y - 1)/(y + 1))^(-1) + y)/((y - 1)/(y + 1) + 2));");
    // Total evaluation divides by the value's power.
    EXPECT_EQ(val("(x^(-1)*y + y^(-2))#(2, 3);"), mpq_class(3, 2) + mpq_class(1, 9));
    EXPECT_EQ(val("(x^(-2)*y^(-1) - x^3)#(-1/2, 5);"), mpq_class(4, 5) + mpq_class(1, 8));
}

TEST_F(QuolyEval, ResiduesAndZeroDenominators) {
    val("&(J = y); &(J = x);");
    use_prime(7);
    EXPECT_EQ(val("(x^2 + 3)#(5);"), 0);          // 28 = 0 mod 7
    EXPECT_EQ(val("(x^3 + y)#(2, 6);"), 0);       // 14 = 0 mod 7
    zero("(x*y + 1)#(y = 3) - (3*x + 1);");
    EXPECT_EQ(err("(1/(x + 2))#(5);"), 22);       // 1/7
    EXPECT_EQ(err("(1/(x*y - 1))#(2, 4);"), 22);  // 1/7
    modularmode = lintmode = 0;
    EXPECT_EQ(err("((1/(x^2 - y))#(x = 3))#(y = 9);"), 22);
    EXPECT_EQ(err("(x + y)#(1, 2, 3);"), 193);
    EXPECT_EQ(err("(x + y)#(1 = 2);"), 150);
    EXPECT_EQ(err("(x + y)#(3, 4;"), 1);
}

// The characteristic-2 evaluator with any field words as coefficients,
// at every 0/1 point, keeping outer variables or not, against Horner's rule.
TEST_F(QuolyEval, CharacteristicTwoAgreesWithHorner) {
    std::mt19937 rng(17);
    for (int32_t m : {2, 256}) {
        RingStateGuard ring;
        use_modulus(m);
        if (m == 256) f256 = finf = 1;
        const int nv = 3;
        val("&(J = z); &(J = y); &(J = x);");
        for (int trial = 0; trial < 40; trial++) {
            TermList terms;
            for (int k = 0; k < 5; k++)
                terms.push_back(Term(static_cast<int>(rng() % (m - 1)) + 1,
                                     {static_cast<int32_t>(rng() % 2), static_cast<int32_t>(rng() % 2),
                                      static_cast<int32_t>(rng() % 2)}));
            PolyHold u(build_poly(nv, terms));
            for (uint16_t keep = 0; keep < 2; keep++) {
                for (int point = 0; point < 8; point++) {
                    quoly* chain = nullptr;
                    quoly** tail = &chain;
                    const int count = nv - keep;
                    for (int i = 0; i < count; i++) {
                        quoly_set((point >> i) & 1, tail);
                        (*tail)->link = nullptr;
                        tail = &(*tail)->link;
                    }
                    quoly* general = nullptr;
                    quoly* fast = nullptr;
                    tot_eval_poly(u.p, chain, &general, 0, keep);
                    tot_eval_poly2(u.p, chain, &fast, 0, keep, count);
                    quoly* difference = nullptr;
                    quoly_sub(general, fast, &difference);
                    EXPECT_TRUE(difference->isnum && difference->nnum->value == 0)
                        << "modulus " << m << " keep " << keep << " point " << point;
                    free_quoly(&difference);
                    free_quoly(&general);
                    free_quoly(&fast);
                    while (chain) {
                        quoly* next = chain->link;
                        free_quoly(&chain);
                        chain = next;
                    }
                }
            }
        }
        drop_all_poly_vars();
        f256 = finf = 0;
    }
}

}  // namespace
