// Polynomial variables at the command level: &J and &(J = ...) adjoin and
// cancel, the variables read in expressions as polynomials (terms checked
// against hand values), stored values following each change, the messages,
// and the errors of the command, each leaving the variables as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "interp/dispatcher.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "storage/assign.h"
#include "stream_text.h"
#include "support/ring_setup.h"
#include "support/data_once.h"
#include "support/poly_build.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using Exps = std::vector<int32_t>;

struct Session {
    int error = 0;
    std::string printed;
    quoly* last = nullptr;   // value of the last statement, owned by the fixture
};

class PolyVars : public ::testing::Test {
protected:
    RingStateGuard ring_;
    FILE* saved_input_ = Input;
    quoly* last_ = nullptr;

    void SetUp() override {
        load_data_once();
        init_scanner_structures();
        tt_flag = 1;
        modularmode = lintmode = 0;
        clear_sca_store();
        drop_vars();
    }
    void TearDown() override {
        free_quoly(&last_);
        free_quoly(&prevnum);
        clear_sca_store();
        drop_vars();
        Input = saved_input_;
        init_scanner_structures();
    }
    static void drop_vars() { drop_all_poly_vars(); }

    // Runs the lines as the statement loop does, with the text as the
    // terminal (prompted answers come from it too); stops at an error.
    Session run(const std::string& text) {
        Session out;
        TextStream s(text);
        Input = s.f;
        leftover = 0;
        testing::internal::CaptureStdout();
        try {
            for (;;) {
                scanner(&s.f, &token, &zilch);
                quoly* value = nullptr;
                parse(&s.f, &value, &zilch);
                if (!value) quoly_set(0, &value);
                free_quoly(&last_);
                last_ = value;
                if (leftover == 0) getc(s.f);
                int c = getc(s.f);
                if (c == EOF) break;
                ungetc(c, s.f);
            }
        } catch (const TarvexUnwind& e) {
            out.error = e.code;
        }
        out.printed = testing::internal::GetCapturedStdout();
        out.last = last_;
        Input = saved_input_;
        return out;
    }
    // The last statement's value as terms in n variables, outermost first.
    TermList terms(const std::string& text, int n) {
        Session r = run(text);
        EXPECT_EQ(r.error, 0) << text << "\n" << r.printed;
        if (!r.last) return {};
        EXPECT_TRUE(check_quoly_normal(r.last, n)) << text;
        if (r.last->isnum) return {Term(number_value(r.last->nnum), Exps(n, 0))};
        EXPECT_EQ(r.last->den, nullptr) << text;
        return read_poly(r.last->pnum, n);
    }
    static std::vector<std::string> vars() {
        std::vector<std::string> v;
        for (pt* p = polynames; p; p = p->next) v.push_back(p->name);
        return v;
    }
};

TEST_F(PolyVars, VariablesReadAsPolynomials) {
    EXPECT_EQ(terms("&(J = x);\nx;\n", 1), canonical_terms(1, {{1, {1}}}));
    EXPECT_EQ(terms("x^3;\n", 1), canonical_terms(1, {{1, {3}}}));
    EXPECT_EQ(terms("(x + 1)^2 - 2x;\n", 1), canonical_terms(1, {{1, {2}}, {1, {0}}}));
    EXPECT_EQ(terms("&(J = y);\n2*x*y;\n", 2), canonical_terms(2, {{2, {1, 1}}}));
    EXPECT_EQ(terms("x;\n", 2), canonical_terms(2, {{1, {0, 1}}}));
    EXPECT_EQ(terms("y;\n", 2), canonical_terms(2, {{1, {1, 0}}}));
    EXPECT_EQ(terms("&(J = z);\nz - x*y + 3;\n", 3),
              canonical_terms(3, {{1, {1, 0, 0}}, {-1, {0, 1, 1}}, {3, {0, 0, 0}}}));
    EXPECT_EQ(vars(), (std::vector<std::string>{"z", "y", "x"}));
    // x - x is the number 0.
    Session r = run("x - x;\n");
    ASSERT_EQ(r.error, 0);
    EXPECT_TRUE(holds(r.last, 0));
}

TEST_F(PolyVars, AVariableHidesAScalarOfItsName) {
    ASSERT_EQ(run("x := 5;\n").error, 0);
    EXPECT_EQ(terms("&(J = x);\nx + 1;\n", 1), canonical_terms(1, {{1, {1}}, {1, {0}}}));
    EXPECT_EQ(run("x := 3;\n").error, 316);
    EXPECT_EQ(run("2 + *x;\n").error, 363);
    // Cancelled, the name is the scalar again.
    Session r = run("&(J = -x);\nx;\n");
    ASSERT_EQ(r.error, 0) << r.printed;
    EXPECT_TRUE(holds(r.last, 5));
}

TEST_F(PolyVars, StoredValuesFollowTheVariables) {
    ASSERT_EQ(run("&(J = x);\np := x^2 + 1;\nq := 1/(x - 1);\nh := x/(x + 1);\nn := 7;\n").error, 0);
    // A new outermost y: p is the same polynomial in x.
    EXPECT_EQ(terms("&(J = y);\np;\n", 2), canonical_terms(2, {{1, {0, 2}}, {1, {0, 0}}}));
    EXPECT_EQ(terms("p*y;\n", 2), canonical_terms(2, {{1, {1, 2}}, {1, {1, 0}}}));
    // Cancelling x takes every value at x = 1.
    Session r = run("&(J = -x);\np;\n");
    ASSERT_EQ(r.error, 0) << r.printed;
    EXPECT_TRUE(holds(r.last, 2));
    EXPECT_NE(r.printed.find("Warning. A quoly denominator has become 0.  That variable has been set to 1.\n"),
              std::string::npos)
        << r.printed;
    EXPECT_TRUE(holds(run("q;\n").last, 1));
    EXPECT_TRUE(holds(run("h;\n").last, mpq_class(1, 2)));
    EXPECT_TRUE(holds(run("n;\n").last, 7));
    EXPECT_EQ(vars(), (std::vector<std::string>{"y"}));
}

TEST_F(PolyVars, InlineMessages) {
    Session r = run("&(J = x);\n");
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.printed, " Change of polynomial variable: x.\n");
    r = run("&(J > w);\n");
    EXPECT_EQ(r.printed, " Change of polynomial variable: w.\n");
    EXPECT_EQ(vars(), (std::vector<std::string>{"x", "w"}));
    r = run("&(J = -x);\n");
    EXPECT_EQ(r.printed, " Change of polynomial variable: cancel x.\nx now cancelled.\n");
    r = run("&(J > -w);\n");
    EXPECT_EQ(r.printed, " Change of polynomial variable: cancel w.\nWarning.  '>' ignored.\nw now cancelled.\n");
    EXPECT_TRUE(vars().empty());
    // "Var" k names the k-th variable, outermost first.
    ASSERT_EQ(run("&(J = a);\n&(J = b);\n&(J = c);\n").error, 0);
    r = run("&(J = -Var 2);\n");
    EXPECT_EQ(r.error, 0) << r.printed;
    EXPECT_EQ(vars(), (std::vector<std::string>{"c", "a"}));
}

TEST_F(PolyVars, PromptingForm) {
    promptsize = 1;
    Session r = run("&J\nw\n");
    ASSERT_EQ(r.error, 0) << r.printed;
    EXPECT_EQ(vars(), (std::vector<std::string>{"w"}));
    EXPECT_EQ(r.printed.rfind(" Change of polynomial variable.\n Enter variable name:\n", 0), 0u) << r.printed;
    r = run("&J\n-w\n");
    ASSERT_EQ(r.error, 0) << r.printed;
    EXPECT_NE(r.printed.find("w now cancelled.\n"), std::string::npos);
    EXPECT_TRUE(vars().empty());
    EXPECT_EQ(run("&J\n>w\n").error, 362);
    EXPECT_TRUE(vars().empty());
}

TEST_F(PolyVars, ErrorsLeaveTheVariablesAlone) {
    ASSERT_EQ(run("&(J = x);\n").error, 0);
    const struct {
        const char* text;
        int code;
    } cases[] = {
        {"&(J = x);\n", 126},       {"&(J = -y);\n", 169},     {"&(J = X);\n", 124},
        {"&(J = 3);\n", 124},       {"&(J = x;\n", 135},       {"&(J = y z);\n", 135},
        {"&(J - y);\n", 4},         {"&(J = -y, P = y);\n", 356}, {"&(J > y, P = y);\n", 361},
        {"&(J = y, Q);\n", 355},    {"&(J = y, P > 1);\n", 4},  {"&(J = -Var 2);\n", 124},
        {"&(J = -Var 0);\n", 124},  {"&(J = Var 1);\n", 124},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.text).error, c.code) << c.text;
        EXPECT_EQ(vars(), (std::vector<std::string>{"x"})) << c.text;
    }
    field_depth = 1;
    EXPECT_EQ(run("&(J > y);\n").error, 360);
    field_depth = 0;
    EXPECT_EQ(vars(), (std::vector<std::string>{"x"}));
    // The command goes on working after the errors.
    EXPECT_EQ(terms("&(J = y);\nx*y;\n", 2), canonical_terms(2, {{1, {1, 1}}}));
}

}  // namespace
