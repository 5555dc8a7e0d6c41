// Conditions replayed from stored chains: the precedence of "and" over
// "or", brackets and "not" against C++'s own logic, orderings of numbers
// and rationals against GMP's, equality of polynomials, and the errors.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp/functions.h"
#include "numbers/residue.h"
#include "support/expect_error.h"
#include "token_chain.h"

namespace {

class Conditions : public StoredCode {
protected:
    // The value of the condition; it must have read its whole chain.
    int cond(const std::string& text) {
        TokenChain c(text);
        name** pending = c.start();
        const int v = bool_expre(&nowhere_, pending);
        EXPECT_TRUE(token_is(&token, kEndToken)) << text << " stopped at " << token.name;
        return v;
    }
    // The numbered error the condition raises.
    int cond_error(const std::string& text) {
        TokenChain c(text);
        name** pending = c.start();
        return unwind_code([&] { bool_expre(&nowhere_, pending); });
    }
};

TEST_F(Conditions, AndBindsTighterThanOr) {
    for (int a = 0; a < 2; a++)
        for (int b = 0; b < 2; b++)
            for (int c = 0; c < 2; c++) {
                // A false operand written as 0, 2 or -1 in turn: only 1 is true.
                const std::string f[] = {"0", "2", "-1"};
                auto t = [&](int x, int k) { return x ? std::string("1") : f[k % 3]; };
                const std::string A = t(a, a + b), B = t(b, b + c + 1), C = t(c, a + c + 2);
                SCOPED_TRACE(A + " " + B + " " + C);
                EXPECT_EQ(cond(A + " or " + B + " and " + C), a || (b && c));
                EXPECT_EQ(cond(A + " and " + B + " or " + C), (a && b) || c);
                EXPECT_EQ(cond("[" + A + " or " + B + "] and " + C), (a || b) && c);
                EXPECT_EQ(cond("not " + A + " or " + B), !a || b);
                EXPECT_EQ(cond("not [" + A + " or " + B + "]"), !(a || b));
                EXPECT_EQ(cond("not not " + A + " and [[" + B + "] or " + C + "]"), a && (b || c));
            }
}

TEST_F(Conditions, OrderingsOfNumbersAndRationals) {
    struct Value {
        const char* text;
        mpq_class q;
    };
    const mpz_class big = mpz_class(1) << 40;
    const std::vector<Value> values = {
        {"0", 0},
        {"1", 1},
        {"-1", -1},
        {"(7/3)", mpq_class(7, 3)},
        {"(14/6)", mpq_class(7, 3)},
        {"(-1/2)", mpq_class(-1, 2)},
        {"(2^40)", mpq_class(big)},
        {"(-2^40 + 1)", mpq_class(-big + 1)},
        {"(1/2^40)", mpq_class(1, big)},
        {"(2^40/3)", mpq_class(big, 3)},
        {"(2^40 + 1)/3", mpq_class(big + 1, 3)},
        {"268435455", 268435455},
        {"268435456", 268435456},
    };
    // Each operator as typed in two tokens, in one, and what it means.
    struct Op {
        const char* two;
        const char* one;
        bool (*holds)(int);
    };
    const Op ops[] = {
        {"=", "=", [](int c) { return c == 0; }},
        {"< >", "\xAD", [](int c) { return c != 0; }},
        {"<", "<", [](int c) { return c < 0; }},
        {">", ">", [](int c) { return c > 0; }},
        {"< =", "\xB2", [](int c) { return c <= 0; }},
        {">=", "\xB3", [](int c) { return c >= 0; }},
    };
    for (const Value& a : values)
        for (const Value& b : values) {
            const int c = cmp(a.q, b.q);
            for (const Op& op : ops) {
                const int want = op.holds(c < 0 ? -1 : (c > 0 ? 1 : 0)) ? 1 : 0;
                EXPECT_EQ(cond(std::string(a.text) + " " + op.two + " " + b.text), want)
                    << a.text << " " << op.two << " " << b.text;
                EXPECT_EQ(cond(std::string(a.text) + op.one + b.text), want) << a.text << " " << op.one << " " << b.text;
            }
        }
}

TEST_F(Conditions, BareExpressionIsTrueOnlyWhenExactlyOne) {
    EXPECT_EQ(cond("1"), 1);
    EXPECT_EQ(cond("3 - 2"), 1);
    EXPECT_EQ(cond("(2/3)*(3/2)"), 1);
    EXPECT_EQ(cond("2"), 0);
    EXPECT_EQ(cond("-1"), 0);
    EXPECT_EQ(cond("0"), 0);
    EXPECT_EQ(cond("1/2"), 0);
    EXPECT_EQ(cond("2^28 + 1"), 0);   // its last digit is 1
    ASSERT_EQ(run("&(J = x);\n"), 0);
    EXPECT_EQ(cond("x"), 0);
    EXPECT_EQ(cond("x - x + 1"), 1);
    EXPECT_EQ(cond("[x]"), 0);

    lintmode = 1;
    EXPECT_EQ(cond("1"), 1);
    EXPECT_EQ(cond("4 - 3"), 1);
    EXPECT_EQ(cond("5"), 0);
}

TEST_F(Conditions, ResiduesCompareAsResidues) {
    install_modulus(7);
    modularmode = lintmode = 1;
    EXPECT_EQ(cond("8"), 1);   // 8 is the residue 1
    EXPECT_EQ(cond("8 = 1"), 1);
    EXPECT_EQ(cond("3 * 5 = 1"), 1);
    EXPECT_EQ(cond("6 < 8"), 0);   // 6 against the residue 1
}

TEST_F(Conditions, PolynomialsAreComparedForEqualityOnly) {
    ASSERT_EQ(run("&(J = x);\n&(J > y);\np := (x + y)^2;\n"), 0);
    EXPECT_EQ(cond("p = x^2 + 2*x*y + y^2"), 1);
    EXPECT_EQ(cond("p = x^2 + y^2"), 0);
    EXPECT_EQ(cond("p < > x^2 + y^2"), 1);
    EXPECT_EQ(cond("p \xAD p"), 0);
    EXPECT_EQ(cond("1/(x - y) = (x + y)/(x^2 - y^2)"), 1);
    EXPECT_EQ(cond("x/y = y/x"), 0);
    EXPECT_EQ(cond("x = 1 or p = p"), 1);
    EXPECT_EQ(cond_error("x < 1"), 123);
    EXPECT_EQ(cond_error("1 >= x"), 123);
    EXPECT_EQ(cond_error("1/x < = 2"), 123);
}

TEST_F(Conditions, EveryOperandIsEvaluated) {
    // A sum leaves its variable past its range: the variable shows that
    // the sum was read.
    EXPECT_EQ(cond("Sigma<i = 1, 1>(1) = 1 or Sigma<j = 1, 3>(1) = 1"), 1);
    EXPECT_EQ(scalar("j"), 4);
    EXPECT_EQ(cond("1 = 2 and Sigma<k = 5, 6>(k) = 11"), 0);
    EXPECT_EQ(scalar("k"), 7);
    EXPECT_EQ(cond("[1 = 1 or Sigma<m = 1, 2>(m) = 0] and not Sigma<n = 3, 3>(n) = 0"), 1);
    EXPECT_EQ(scalar("m"), 3);
    EXPECT_EQ(scalar("n"), 4);
}

TEST_F(Conditions, MalformedConditions) {
    EXPECT_EQ(cond_error("1 = 1 ,"), 104);
    EXPECT_EQ(cond_error("[1 = 1) = 1"), 153);
    EXPECT_EQ(cond_error("1 )"), 13);
    EXPECT_EQ(cond_error("[1 ) or 2 = 2]"), 13);
    EXPECT_EQ(cond_error("[1 = 1"), 153);
    EXPECT_EQ(cond_error("[[1 = 1] or 1 = 2"), 153);
    EXPECT_EQ(cond_error("undefined = 1"), 19);
    // A condition may end at "]", which the statement around it reads.
    TokenChain c("1 = 1 ] x");
    name** pending = c.start();
    EXPECT_EQ(bool_expre(&nowhere_, pending), 1);
    EXPECT_TRUE(token_is(&token, "]"));
}

}  // namespace
