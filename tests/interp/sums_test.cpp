// Sums and products typed at the terminal and replayed from stored chains,
// checked against GMP, closed forms and identities of the summands; empty
// and nested ranges, the loop variable afterwards, and the errors.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <string>

#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "numbers/residue.h"
#include "support/expect_error.h"
#include "support/poly_build.h"
#include "token_chain.h"

namespace {

class Sums : public StoredCode {
protected:
    quoly* last_ = nullptr;
    void TearDown() override {
        free_quoly(&last_);
        StoredCode::TearDown();
    }

    // The value of one typed statement, as a rational.
    mpq_class typed(const std::string& text) {
        std::string printed;
        const int code = run(text + ";\n", &last_, &printed);
        EXPECT_EQ(code, 0) << text << "\n" << printed;
        return as_rational(last_);
    }
    int typed_error(const std::string& text) { return run(text + ";\n"); }

    // The value of an expression stored in a body; it must read the whole chain.
    mpq_class stored(const std::string& text) {
        TokenChain c(text);
        name** pending = c.start();
        free_quoly(&last_);
        old_expre(&nowhere_, &last_, pending);
        EXPECT_TRUE(token_is(&token, kEndToken)) << text << " stopped at " << token.name;
        return as_rational(last_);
    }
    int stored_error(const std::string& text) {
        TokenChain c(text);
        name** pending = c.start();
        return unwind_code([&] {
            free_quoly(&last_);
            old_expre(&nowhere_, &last_, pending);
        });
    }
    // A condition stored in a body (for values that are polynomials).
    int holds(const std::string& text) {
        TokenChain c(text);
        name** pending = c.start();
        return bool_expre(&nowhere_, pending);
    }

    static mpq_class as_rational(const quoly* q) {
        if (!q) return mpq_class(-424242);
        if (q->isnum) return lintmode ? mpq_class(q->nnum->value) : mpq_class(number_value(q->nnum));
        EXPECT_EQ(q->rat, 1);
        if (!q->rat) return mpq_class(-424242);
        return mpq_class(number_value(q->pnum->ncoef), number_value(q->den->ncoef));
    }
};

TEST_F(Sums, RangesAgainstClosedFormsAndGmp) {
    EXPECT_EQ(typed("Sigma<i = 1, 10>(i^2)"), 385);
    EXPECT_EQ(typed("Prod<i = 1, 6>(i)"), 720);
    mpz_class f;
    mpz_fac_ui(f.get_mpz_t(), 40);
    EXPECT_EQ(typed("Prod<i = 1, 40>(i)"), mpq_class(f));
    mpq_class h = 0;
    for (int i = 1; i <= 25; i++) h += mpq_class(1, i);
    EXPECT_EQ(typed("Sigma<i = 1, 25>(1/i)"), h);
    // Telescoping: the sum of 1/(i(i + 1)) to n is n/(n + 1); the product
    // of 1 - 1/i^2 from 2 to n is (n + 1)/(2n).
    EXPECT_EQ(typed("Sigma<i = 1, 30>(1/(i*(i + 1)))"), mpq_class(30, 31));
    EXPECT_EQ(typed("Prod<i = 2, 20>[1 - 1/i^2]"), mpq_class(21, 40));
    mpz_class p2 = mpz_class(1) << 100;
    EXPECT_EQ(typed("Sigma<k = 0, 99>(2^k) + 1"), mpq_class(p2));
}

TEST_F(Sums, StepsAndTheVariableAfterwards) {
    EXPECT_EQ(typed("Sigma<i = 10, 1, -3>(i)"), 10 + 7 + 4 + 1);
    EXPECT_EQ(scalar("i"), -2);
    EXPECT_EQ(typed("Prod<i = 1, 9, 2>(i)"), 1 * 3 * 5 * 7 * 9);
    EXPECT_EQ(scalar("i"), 11);
    EXPECT_EQ(typed("Sigma<j = -4, 4>(j^3)"), 0);
    EXPECT_EQ(scalar("j"), 5);
    EXPECT_EQ(typed("Sigma<j = 3, 3>(j)"), 3);
    EXPECT_EQ(scalar("j"), 4);
    // The value is a factor: postfix operators and the rest of the
    // expression follow.
    EXPECT_EQ(typed("2*Sigma<i = 1, 3>(i)^2 + 1"), 73);
    EXPECT_EQ(typed("Prod<i = 1, 3>(i)! - 1"), 719);
}

TEST_F(Sums, EmptyRanges) {
    EXPECT_EQ(typed("Sigma<i = 5, 4>(i)"), 0);
    EXPECT_EQ(scalar("i"), 5);
    EXPECT_EQ(typed("Prod<i = 1, 0>[i + 1]"), 1);
    EXPECT_EQ(typed("Sigma<i = 1, 3, -1>(i)"), 0);
    // The body is read past, however it nests.
    EXPECT_EQ(typed("Sigma<i = 2, 1>(i + ((i*3) + 1)) + 7"), 7);
    EXPECT_EQ(stored("Sigma<i = 2, 1>((i) + [2]) + 7"), 7);
    EXPECT_EQ(stored("3*Prod<i = 2, 1>[i + (1)] - 1"), 2);
    // A body that is not closed before its statement ends is refused.
    EXPECT_EQ(stored_error("Sigma<i = 2, 1>(i + (1)"), 274);
    EXPECT_EQ(stored_error("Sigma<i = 2, 1>()"), 2);
}

TEST_F(Sums, NestedRanges) {
    EXPECT_EQ(typed("Sigma<i = 1, 4><j = 1, 3>(i*j)"), 10 * 6);
    EXPECT_EQ(typed("Sigma<i = 1, 3><j = i, 3>(1)"), 6);   // pairs with i <= j
    EXPECT_EQ(typed("Prod<i = 1, 3><j = 1, 2>(i + j)"), 2 * 3 * 3 * 4 * 4 * 5);
    // Inner ranges that are empty for some outer values.
    EXPECT_EQ(typed("Sigma<i = 1, 3><j = i, 2>(1)"), 3);
    EXPECT_EQ(scalar("j"), 3);
    EXPECT_EQ(typed("Sigma<i = 3, 1><j = 1, 2>(1)"), 0);
    // A sum in the body.
    EXPECT_EQ(typed("Sigma<i = 1, 4>(Sigma<j = 1, i>(j))"), 1 + 3 + 6 + 10);
    EXPECT_EQ(stored("Sigma<i = 1, 4><j = 1, i>(j) - Sigma<i = 1, 4>(i*(i + 1)/2)"), 0);
    EXPECT_EQ(stored("Prod<i = 1, 2><j = 1, 2><k = 1, 2>[i + j + k]"), 3 * 4 * 4 * 5 * 4 * 5 * 5 * 6);
}

TEST_F(Sums, PolynomialsAndResidues) {
    ASSERT_EQ(run("&(J = x);\n"), 0);
    EXPECT_EQ(holds("Sigma<i = 0, 5>(x^i) * (x - 1) = x^6 - 1"), 1);
    EXPECT_EQ(holds("Prod<i = 1, 4>(x - i) = x^4 - 10*x^3 + 35*x^2 - 50*x + 24"), 1);
    EXPECT_EQ(holds("Sigma<i = 1, 3>(1/(x + i)) * (x + 1)*(x + 2)*(x + 3) = 3*x^2 + 12*x + 11"), 1);

    install_modulus(7);
    modularmode = lintmode = 1;
    EXPECT_EQ(typed("Sigma<i = 1, 6>(i)"), 0);
    EXPECT_EQ(typed("Prod<i = 1, 6>(i)"), 6);   // (p - 1)! = -1 mod p
    EXPECT_EQ(typed("Sigma<i = -3, 3>(i^2)"), 0);
    EXPECT_EQ(scalar("i"), 4);
    EXPECT_EQ(typed("Sigma<i = 3, -3, -1>(i)"), 0);
    EXPECT_EQ(scalar("i"), 3);   // once the sum is over the index is its residue
    EXPECT_EQ(typed("i"), 3);
}

TEST_F(Sums, Errors) {
    EXPECT_EQ(typed_error("Sigma(i)"), 144);
    EXPECT_EQ(typed_error("Sigma<i = 1, 3 (i)"), 81);
    EXPECT_EQ(typed_error("Sigma<i = 1, 3>i"), 145);
    EXPECT_EQ(typed_error("Sigma<i = 1, 3>(i"), 274);
    EXPECT_EQ(typed_error("Prod<i = 1 to 3>(i)"), 19);   // "to" is a variable here
    EXPECT_EQ(typed_error("Prod<I = 1, 3>(I)"), 51);
    EXPECT_EQ(typed_error("Sigma<i = 1, 3, 0>(i)"), 82);
    EXPECT_EQ(typed_error("Sigma<i = 268435450, 268435455>(1)"), 47);
    EXPECT_EQ(stored_error("Sigma(i)"), 144);
    EXPECT_EQ(stored_error("Sigma<n = 1, 3 (n)"), 78);
    EXPECT_EQ(stored_error("Sigma<i = 1, 3>"), 145);
    EXPECT_EQ(stored_error("Sigma<i = 1, 3>(i"), 274);
    EXPECT_EQ(stored_error("Sigma<i = 1, 3>(i ]"), 274);
}

}  // namespace
