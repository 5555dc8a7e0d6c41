// Capture of bracketed token lists: mate, and attach on the
// edge cases that matter for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp/functions.h"
#include "interp/scanner.h"
#include "storage/equality.h"
#include "storage/other_records.h"
#include "stream_text.h"
#include "toplevel/errors.h"

namespace {

using V = std::vector<std::string>;

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        init_scanner_structures();
        func_def_count = 0;
        tt_flag = 0;
    }
    void TearDown() override {
        init_scanner_structures();
        Input = stdin;
    }

    struct Result {
        V tokens;          // captured texts, end token as "END"
        std::string now;   // the current token afterwards
        std::string saved;
        int read_next;
        std::vector<int> blanks;
    };

    // Captures text with `closing`; the first token is read first.
    static Result capture(const std::string& text, const char* closing, int for_header = 0) {
        TextStream s(text);
        FILE* f = s.f;
        leftover = 0;
        scanner(&f, &token, &zilch);
        tokenrec saved;
        set_token(&saved, "none");
        int read_next = 1;
        attach_frame frame{&f, &zilch, for_header, nullptr, &saved, &read_next};
        name* list = nullptr;
        attach(&list, closing, &frame);
        Result r;
        for (name* n = list; n; n = n->next) {
            r.tokens.push_back(std::string(n->token) == "\xC2\xA5" ? "END" : n->token);
            r.blanks.push_back(n->blank_follows);
        }
        EXPECT_EQ(last_attached, list);
        r.now = token.name;
        r.saved = saved.name;
        r.read_next = read_next;
        freename(list);
        return r;
    }
};

TEST(Mate, PairsOfTheTable) {
    EXPECT_EQ(mate("Function", "."), 1);
    EXPECT_EQ(mate("Func", "."), 1);
    EXPECT_EQ(mate("(", ")"), 1);
    EXPECT_EQ(mate("[", "]"), 1);
    EXPECT_EQ(mate("do", "od"), 1);
    EXPECT_EQ(mate("if", "fi"), 1);
    EXPECT_EQ(mate("if", "elfi*"), 1);
    EXPECT_EQ(mate("(", "."), 0);
    EXPECT_EQ(mate("if", "od"), 0);
    EXPECT_EQ(mate("do", "fi"), 0);
    EXPECT_EQ(mate("x", ")"), 0);
}

TEST_F(Capture, StatementUpToSemicolon) {
    Result r = capture("x := x + 1; y", "fi");
    EXPECT_EQ(r.tokens, (V{"x", ":", "=", "x", "+", "1", "END"}));
    EXPECT_EQ(r.now, ";");
}

TEST_F(Capture, NamesAreHashedForTheirTables) {
    TextStream s("abc + Fx;");
    FILE* f = s.f;
    scanner(&f, &token, &zilch);
    int read_next = 1;
    tokenrec saved;
    attach_frame frame{&f, &zilch, 0, nullptr, &saved, &read_next};
    name* list = nullptr;
    attach(&list, "fi", &frame);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->hash, hash("abc", 151));
    EXPECT_EQ(list->next->hash, UNHASHED);
    EXPECT_EQ(list->next->next->hash, hash("Fx", 71));
    freename(list);
}

TEST_F(Capture, DecimalPointInsideADefinitionBody) {
    Result r = capture("a := 2.5;", ".");
    EXPECT_EQ(r.tokens, (V{"a", ":", "=", "2", ".", "5", "END"}));
    EXPECT_EQ(r.now, ";");
}

TEST_F(Capture, DotAfterADigitClosesAndHandsBackTheNextToken) {
    Result r = capture("y := 3. fi", ".");
    EXPECT_EQ(r.tokens, (V{"y", ":", "=", "3", "END"}));
    EXPECT_EQ(r.now, ".");
    EXPECT_EQ(r.saved, "fi");
    EXPECT_EQ(r.read_next, 0);
}

TEST_F(Capture, DotNotAfterADigitCloses) {
    Result r = capture("y := x. z", ".");
    EXPECT_EQ(r.tokens, (V{"y", ":", "=", "x", "END"}));
    EXPECT_EQ(r.now, ".");
    EXPECT_EQ(r.read_next, 1);
}

TEST_F(Capture, ElseAndFiCloseAThenPart) {
    Result a = capture("x := 1 else", "elfi*");
    EXPECT_EQ(a.tokens, (V{"x", ":", "=", "1", "END"}));
    EXPECT_EQ(a.now, "else");
    Result b = capture("x := 1 fi", "elfi*");
    EXPECT_EQ(b.now, "fi");
    // Inside a nested if, "else" does not close; its "fi" does close the
    // nested if, and the next "fi" the capture.
    Result c = capture("if a then b else c fi fi", "elfi*");
    EXPECT_EQ(c.tokens, (V{"if", "a", "then", "b", "else", "c", "fi", "END"}));
    EXPECT_EQ(c.now, "fi");
}

TEST_F(Capture, BracketsNestOnlyForTheirOwnClosingWord) {
    Result a = capture("(a) + b)", ")");
    EXPECT_EQ(a.tokens, (V{"(", "a", ")", "+", "b", "END"}));
    EXPECT_EQ(a.now, ")");
    Result b = capture("(a) + b;", "fi");
    EXPECT_EQ(b.tokens, (V{"(", "a", ")", "+", "b", "END"}));
    EXPECT_EQ(b.now, ";");
}

TEST_F(Capture, CommentsAreCapturedRawAndHideSemicolons) {
    Result r = capture("x {a;b} + 1;", "fi");
    EXPECT_EQ(r.tokens, (V{"x", "{", "a", ";", "b", "}", "+", "1", "END"}));
    EXPECT_EQ(r.now, ";");
}

TEST_F(Capture, LiteralsAreCapturedRaw) {
    Result r = capture("x := 'a;b' + 1;", "fi");
    EXPECT_EQ(r.tokens, (V{"x", ":", "=", "'", "a", ";", "b", "'", "+", "1", "END"}));
}

TEST_F(Capture, ForHeader) {
    Result r = capture("i = 1 to 10 by 2 do", "do", 1);
    EXPECT_EQ(r.tokens, (V{":", "i", "=", "1", " to", "1", "0", " by", "2", "END"}));
    EXPECT_EQ(r.now, "do");
}

TEST_F(Capture, TheCurrentTokenIsAlwaysCaptured) {
    Result r = capture("fi fi", "fi");
    EXPECT_EQ(r.tokens, (V{"fi", "END"}));
    EXPECT_EQ(r.now, "fi");
}

TEST_F(Capture, BlankFollowsFlags) {
    Result r = capture("ab +c;", "fi");
    EXPECT_EQ(r.tokens, (V{"ab", "+", "c", "END"}));
    EXPECT_EQ(r.blanks[0], 1);
    EXPECT_EQ(r.blanks[1], 0);
}

TEST_F(Capture, DefinitionsInsideKeepTheirStatementsTogether) {
    Result r = capture("Func G = a; b. ; x", ".");
    EXPECT_EQ(r.tokens, (V{"Func", "G", "=", "a", ";", "b", ".", "END"}));
    EXPECT_EQ(r.now, ";");
}

}  // namespace
