// For headers replayed from stored chains as the for statement reads them:
// the variable, the bounds and the step, read with modular arithmetic off,
// and the errors of malformed headers.
#include <gtest/gtest.h>

#include <string>

#include "interp/functions.h"
#include "interp/scalars.h"
#include "numbers/residue.h"
#include "support/expect_error.h"
#include "token_chain.h"

namespace {

struct Header {
    var* variable = nullptr;
    int32_t first = 0, end = 0, step = 0;
};

class ForHeader : public StoredCode {
protected:
    // Reads the header; it must end at the end of its chain.
    Header header(const std::string& text) {
        TokenChain c(text, true);
        name** pending = c.start();
        Header h;
        numnode *list = nullptr, *cursor = nullptr;
        set_up_for_loop(&nowhere_, pending, &h.variable, &h.first, &h.end, &h.step, &list, &cursor);
        EXPECT_EQ(list, nullptr);
        EXPECT_TRUE(token_is(&token, kEndToken)) << text << " stopped at " << token.name;
        return h;
    }
    int header_error(const std::string& text) {
        TokenChain c(text, true);
        name** pending = c.start();
        return unwind_code([&] {
            var* v = nullptr;
            int32_t a, b, s;
            numnode *l, *k;
            set_up_for_loop(&nowhere_, pending, &v, &a, &b, &s, &l, &k);
        });
    }
    static void expect(const Header& h, int32_t first, int32_t end, int32_t step) {
        EXPECT_EQ(h.first, first);
        EXPECT_EQ(h.end, end);
        EXPECT_EQ(h.step, step);
    }
};

TEST_F(ForHeader, TheFourWaysOfWritingIt) {
    expect(header("i = 1 to 10"), 1, 10, 1);
    EXPECT_EQ(scalar("i"), 1);
    expect(header("i := 3 to -4 by -2"), 3, -4, -2);
    EXPECT_EQ(scalar("i"), 3);
    expect(header("j from 2, 9, 3"), 2, 9, 3);
    EXPECT_EQ(scalar("j"), 2);
    expect(header("k = 2*3 - 1 to 2^5 by (7 - 1)/2"), 5, 32, 3);
    expect(header("k = -268435455 to 268435455"), -268435455, 268435455, 1);
    EXPECT_EQ(scalar("k"), -268435455);
    // The bounds are whole expressions, variables included.
    ASSERT_EQ(run("n := 12;\n"), 0);
    expect(header("m = n - 11, n * 2, -n"), 1, 24, -12);
}

TEST_F(ForHeader, TheVariableIsFoundOrCreated) {
    ASSERT_EQ(run("&(J = x);\ni := x^2 + 1;\n"), 0);
    Header h = header("i = 4 to 5");
    EXPECT_EQ(scalar("i"), 4);
    tokenrec id;
    set_token(&id, "i");
    EXPECT_EQ(h.variable, find_var(&id));
    // The loop variable hides nothing: the one binding of the name is set.
    ASSERT_EQ(run("q := 9;\n"), 0);
    header("q = 6 to 1");
    EXPECT_EQ(scalar("q"), 6);
}

TEST_F(ForHeader, BoundsAreReadAsIntegersInModularArithmetic) {
    install_modulus(7);
    modularmode = lintmode = 1;
    // Not reduced modulo 7 while read; the variable holds the integer too
    // (a subscript reads it as it is, the ring's arithmetic as a residue).
    expect(header("i = -3 to 20 by 9"), -3, 20, 9);
    EXPECT_EQ(scalar("i"), -3);
    EXPECT_EQ(modularmode, 1);
    expect(header("i = 10 to 1 by -1"), 10, 1, -1);
    EXPECT_EQ(scalar("i"), 10);
}

TEST_F(ForHeader, MachineIntegerBounds) {
    lintmode = 1;
    expect(header("i = 2^20 to 2^29 by 2^28"), 1 << 20, 1 << 29, 1 << 28);
    EXPECT_EQ(scalar("i"), 1 << 20);
    // The variable itself stays within one digit's range.
    EXPECT_EQ(header_error("i = 2^28 to 2^29"), 47);
}

TEST_F(ForHeader, Errors) {
    EXPECT_EQ(header_error("I = 1 to 2"), 51);
    EXPECT_EQ(header_error("1 = 1 to 2"), 51);
    EXPECT_EQ(header_error("i 1 to 2"), 77);
    EXPECT_EQ(header_error("i : 1 to 2"), 77);
    EXPECT_EQ(header_error("i < 1 to 2"), 77);
    EXPECT_EQ(header_error("i = 1 by 2"), 49);
    EXPECT_EQ(header_error("i = 1"), 49);
    EXPECT_EQ(header_error("i = 1/2 to 3"), 50);
    EXPECT_EQ(header_error("i = 2^28 to 3"), 50);   // two digits
    EXPECT_EQ(header_error("i = 1 to 2^28"), 52);
    EXPECT_EQ(header_error("i = 1 to 5/3"), 52);
    EXPECT_EQ(header_error("i = 1 to 3 by -2^30"), 53);
    ASSERT_EQ(run("&(J = x);\n"), 0);
    EXPECT_EQ(header_error("i = x to 3"), 50);
    EXPECT_EQ(header_error("i = 1 to 3, x"), 53);
}

}  // namespace
