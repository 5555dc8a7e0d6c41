// Statements at a nested command level, where errors 19 and 22 warn and
// return: an undefined variable reads as 0, a quotient (integer quotients
// too) by 0 is 1 and a remainder by 0 is 0, in every ground ring and for
// polynomials; the statement runs on to its end and the next one runs.
// Values are worked by hand.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "interp/dispatcher.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "stream_text.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using Exps = std::vector<int32_t>;

struct Statements {
    int error = -1;            // the code that unwound, -1 for none
    std::string printed;
    std::vector<bool> is_number;      // every statement's value: a number or rational,
    std::vector<mpq_class> numbers;   // its value (0 for a polynomial)
    std::vector<TermList> polys;      // a polynomial value's terms, empty for a number
};

class NestedLevel : public ::testing::Test {
protected:
    RingStateGuard ring_;
    int saved_level_ = levelcount;

    void SetUp() override {
        load_data_once();
        init_scanner_structures();
        tt_flag = 1;
        modularmode = lintmode = 0;
        clear_sca_store();
        drop_vars();
    }
    void TearDown() override {
        levelcount = saved_level_;
        free_quoly(&prevnum);
        clear_sca_store();
        drop_vars();
        init_scanner_structures();
    }
    static void drop_vars() { drop_all_poly_vars(); }

    // The lines as the statement loop runs them, one level down.
    static Statements run(const std::string& text) {
        Statements out;
        TextStream s(text);
        leftover = 0;
        testing::internal::CaptureStdout();
        try {
            for (;;) {
                levelcount = 2;
                scanner(&s.f, &token, &zilch);
                quoly* value = nullptr;
                parse(&s.f, &value, &zilch);
                if (!value) quoly_set(0, &value);
                EXPECT_TRUE(check_quoly_normal(value, 1)) << text;
                const bool number = value->isnum || value->rat;
                out.is_number.push_back(number);
                // quoly_value reads digit chains only; words are read here.
                out.numbers.push_back(!number ? mpq_class(0)
                                      : value->isnum ? mpq_class(number_value(value->nnum))
                                                     : quoly_value(value));
                out.polys.push_back(number || value->den ? TermList{} : read_poly(value->pnum, 1));
                free_quoly(&value);
                if (leftover == 0) getc(s.f);
                int c = getc(s.f);
                if (c == EOF) break;
                ungetc(c, s.f);
            }
        } catch (const TarvexUnwind& e) {
            out.error = e.code;
        }
        out.printed = testing::internal::GetCapturedStdout();
        // What the level gave up lives until the top level's statement ends.
        levelcount = 1;
        bury_retired();
        return out;
    }
    // v as the ground ring holds it.
    static mpq_class n(long v) {
        if (!modularmode) return v;
        return ((v % modulus) + modulus) % modulus;
    }
};

TEST_F(NestedLevel, UndefinedVariablesReadAsZero) {
    RecordLedger ledger;
    {
        Statements r = run("y + 1;\n3 * y - 2;\nq := y + 5;\nq * 2;\n");
        EXPECT_EQ(r.error, -1) << r.printed;
        ASSERT_EQ(r.numbers.size(), 4u) << r.printed;
        EXPECT_EQ(r.numbers[0], 1);
        EXPECT_EQ(r.numbers[1], -2);
        EXPECT_EQ(r.numbers[3], 10);
        EXPECT_NE(r.printed.find("Undefined variable: y"), std::string::npos) << r.printed;
        clear_sca_store();
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(NestedLevel, QuotientsByZeroAreOneAndRemaindersZero) {
    // The digit chains, machine words, and residues modulo 101.
    for (int mode = 0; mode < 3; mode++) {
        SCOPED_TRACE(mode);
        modularmode = 0;
        lintmode = mode != 0;
        install_modulus(0);
        if (mode == 2) use_modulus(101);
        Statements r = run("5/0 + 2;\nz := 7; z / (z - z) - 4;\n7 | 0;\n7 \\ 0;\n12345678901 * 0 / 0;\n9;\n");
        EXPECT_EQ(r.error, -1) << r.printed;
        ASSERT_EQ(r.numbers.size(), 7u) << r.printed;
        for (bool b : r.is_number) EXPECT_TRUE(b);
        EXPECT_EQ(r.numbers[0], n(3));
        EXPECT_EQ(r.numbers[2], n(-3));
        EXPECT_EQ(r.numbers[3], 0);
        EXPECT_EQ(r.numbers[4], 1);
        EXPECT_EQ(r.numbers[5], 1);
        EXPECT_EQ(r.numbers[6], 9);
    }
    modularmode = lintmode = 0;
    install_modulus(0);
    Statements rat = run("(1/2) / 0 + 1/3;\n(2/3) | 0;\n");
    ASSERT_EQ(rat.numbers.size(), 2u) << rat.printed;
    EXPECT_EQ(rat.numbers[0], mpq_class(4, 3));
    EXPECT_EQ(rat.numbers[1], 0);
}

TEST_F(NestedLevel, PolynomialsByZero) {
    for (int32_t mod : {0, 7}) {
        SCOPED_TRACE(mod);
        modularmode = lintmode = 0;
        install_modulus(0);
        if (mod) use_modulus(mod);
        Statements r = run("&(J = x);\n(x^2 + 3) / 0;\n(x^2 + 3) | 0;\n(x + 1) \\ (x - x);\n(x^2 + 3) / (x - x) + x;\n");
        EXPECT_EQ(r.error, -1) << r.printed;
        ASSERT_EQ(r.numbers.size(), 5u) << r.printed;
        for (int i = 1; i <= 3; i++) EXPECT_TRUE(r.is_number[i]) << i;
        EXPECT_EQ(r.numbers[1], 1);
        EXPECT_EQ(r.numbers[2], 0);
        EXPECT_EQ(r.numbers[3], 1);
        EXPECT_EQ(r.polys[4], canonical_terms(1, {{1, Exps{1}}, {1, Exps{0}}}));
        drop_vars();
    }
}

}  // namespace
