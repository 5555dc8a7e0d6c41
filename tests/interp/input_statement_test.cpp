// The input statement from sources other than the terminal's own line: a
// file stream, a function body's stored tokens, and an answer that ends in
// an error. The answers come from a stream of their own standing in for
// the terminal, so each test can tell which stream was read and check that
// the statement around the question goes on where it stood.
#include <gtest/gtest.h>

#include <string>

#include "interp/dispatcher.h"
#include "interp/scanner.h"
#include "stream_text.h"
#include "support/number_check.h"
#include "token_chain.h"
#include "toplevel/errors.h"

namespace {

class InputStatement : public StoredCode {
protected:
    // The rest of a stream, unread.
    static std::string rest(FILE* f) {
        std::string s;
        int c;
        while ((c = getc(f)) != EOF) s += static_cast<char>(c);
        return s;
    }
};

TEST_F(InputStatement, FromAFileTheAnswerComesFromTheTerminal) {
    TextStream file("?x;\nx + 1;\n");
    TextStream answers("\n5 + 2\n?9\n");
    Input = answers.f;
    tt_flag = 0;   // a file is read without line mode
    leftover = 0;
    scanner(&file.f, &token, &zilch);
    quoly* value = nullptr;
    testing::internal::CaptureStdout();
    parse(&file.f, &value, &zilch);
    const std::string asked = testing::internal::GetCapturedStdout();
    EXPECT_NE(asked.find("x := "), std::string::npos) << asked;
    // The file's statement goes on at its own terminator, in its own mode.
    EXPECT_STREQ(token.name, ";");
    EXPECT_EQ(tt_flag, 0);
    EXPECT_EQ(leftover, 0);
    ASSERT_NE(value, nullptr);
    EXPECT_TRUE(value->isnum);
    EXPECT_EQ(value->nnum->head->digit, 7);
    EXPECT_EQ(scalar("x"), 7);
    free_quoly(&value);
    // The answer was one line of the terminal, read in line mode; the file
    // is untouched past the statement.
    EXPECT_EQ(rest(answers.f), "\n?9\n");
    scanner(&file.f, &token, &zilch);
    EXPECT_STREQ(token.name, "x");
}

TEST_F(InputStatement, InABodyTheLookAheadOfTheCallerIsKept) {
    TokenChain body("?t");
    TextStream answers("\n3*4\n");
    Input = answers.f;
    tt_flag = 1;
    // A call typed as "F;" holds the ";" after the name as look-ahead while
    // its body runs; the question must not lose it.
    leftover = ';';
    name** pending = body.start();
    quoly* value = nullptr;
    testing::internal::CaptureStdout();
    parse(&Input, &value, pending);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(leftover, ';');
    EXPECT_EQ(tt_flag, 1);
    EXPECT_STREQ(token.name, kEndToken);
    // Stored, but inside a body the statement's value is 0.
    EXPECT_EQ(scalar("t"), 12);
    ASSERT_NE(value, nullptr);
    EXPECT_TRUE(value->isnum);
    EXPECT_TRUE(holds(value->nnum, 0));
    free_quoly(&value);
}

TEST_F(InputStatement, QuestionsInACalledBodyTakeSuccessiveLines) {
    TextStream answers("\n10\n@\n20\n");
    Input = answers.f;
    tt_flag = 1;   // typed: a line end ends a definition's statement
    quoly* last = nullptr;
    std::string printed;
    ASSERT_EQ(run("v := 7;\nFunc Two = ?u; ?v; ?w; u*100 + v*10 + w.\nr := Two;\n", &last, &printed), 0)
        << printed;
    // v answered "@": it keeps its value.
    EXPECT_EQ(scalar("u"), 10);
    EXPECT_EQ(scalar("v"), 7);
    EXPECT_EQ(scalar("w"), 20);
    EXPECT_EQ(scalar("r"), 1090);
    free_quoly(&last);
}

TEST_F(InputStatement, AnAnswerInErrorLeavesTheLineModeAsItWas) {
    TextStream file("?x;\n");
    TextStream answers("\nnowhere + 1\n");
    Input = answers.f;
    tt_flag = 0;
    leftover = 0;
    scanner(&file.f, &token, &zilch);
    quoly* value = nullptr;
    int code = 0;
    testing::internal::CaptureStdout();
    try {
        parse(&file.f, &value, &zilch);
    } catch (const TarvexUnwind& e) {
        code = e.code;
    }
    testing::internal::GetCapturedStdout();
    free_quoly(&value);
    EXPECT_EQ(code, 19);
    EXPECT_EQ(tt_flag, 0);
    tokenrec x;
    set_token(&x, "x");
    EXPECT_EQ(find_var(&x), nullptr);
}

TEST_F(InputStatement, TargetsThatAreNotScalars) {
    TextStream answers("\n1\n");
    Input = answers.f;
    EXPECT_EQ(run("?X;\n"), 3);
    EXPECT_EQ(run("?a[1, 2];\n"), 28);
    EXPECT_EQ(run("?[a];\n"), 28);
    // Nothing was asked, nothing read.
    EXPECT_EQ(rest(answers.f), "\n1\n");
}

}  // namespace
