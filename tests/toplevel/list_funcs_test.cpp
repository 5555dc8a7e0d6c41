// Listings of compiled bodies built by hand: whole definitions, statement
// lists with comments, conditionals and loops with their indentation, the
// blanks put back into tokens and comparisons, the terminal and the
// unformatted forms. Every expected text is worked out by hand.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "code_build.h"
#include "interp/scanner.h"
#include "support/stream_capture.h"
#include "toplevel/display.h"
#include "toplevel/list_funcs.h"

namespace {

class Listing : public ::testing::Test {
protected:
    CodeBuilder b;
    int saved_ugly = uglyprint;
    char saved_cont = continuation;
    int16_t saved_cut = dispcutoff;

    void SetUp() override {
        init_scanner_structures();
        uglyprint = 0;
        continuation = '`';
        dispcutoff = 76;
    }
    void TearDown() override {
        uglyprint = saved_ugly;
        continuation = saved_cont;
        dispcutoff = saved_cut;
    }

    static std::string whole(func* f, int terminal) {
        return to_stream([&](FILE** s) {
            listing_frame frame{s, f, 0, terminal};
            big_write_p(&frame);
        });
    }
    static std::string header(func* f) {
        return to_stream([&](FILE** s) {
            listing_frame frame{s, f, 0, 0};
            simple_write_p(&frame);
        });
    }
    static std::string statement(form* f, int terminal = 0, int32_t indent = 4) {
        return to_stream([&](FILE** s) { listrht(s, terminal, f->stmt, f->comments, indent); });
    }
    // The tokens of a plain statement (condition 0) or a condition (1).
    std::string tokens(const std::string& text, int condition = 0) {
        name* chain = b.chain(text);
        return to_stream([&](FILE** s) {
            int32_t col = 0;
            int blank = 1;
            listchars(s, chain, &col, &blank, condition);
        });
    }
};

TEST_F(Listing, DefinitionsWithAndWithoutParameters) {
    form* body = CodeBuilder::list({b.plain("x := x + 1"), b.plain("y := x")});
    EXPECT_EQ(whole(b.function("F", "", body), 0), "\n Function F =  \n    x := x + 1; \n    y := x.");
    func* g = b.function("Gcdall", "a,^b,c", b.plain("a := b"));
    EXPECT_EQ(whole(g, 0), "\n Function Gcdall(a,^b,c) =  \n    a := b.");
    EXPECT_EQ(header(g), "\nGcdall(a,^b,c)\n");
    EXPECT_EQ(header(b.function("F", "", body)), "\nF\n");
    func* one = b.function("H", "^m", b.plain("m := 0"));
    EXPECT_EQ(header(one), "\nH(^m)\n");

    // The column counter follows what the header wrote.
    std::string text = to_stream([&](FILE** s) {
        listing_frame frame{s, g, 0, 0};
        simple_write_p(&frame);
        EXPECT_EQ(frame.column, static_cast<int32_t>(std::string("Gcdall(a,^b,c)").size()));
    });
    EXPECT_EQ(text, "\nGcdall(a,^b,c)\n");
    int32_t col = 3;
    EXPECT_EQ(to_stream([&](FILE** s) { listpars(s, g->params, &col); }), "a,^b,c");
    EXPECT_EQ(col, 9);
}

TEST_F(Listing, OperatorsAssignmentsAndSubscripts) {
    EXPECT_EQ(tokens("x:=x+1"), "x := x + 1");
    EXPECT_EQ(tokens("y := -1"), "y := -1");          // no blank after ":="'s own
    EXPECT_EQ(tokens("y := x - -1"), "y := x - - 1");
    EXPECT_EQ(tokens("s := a[i+1, j-1] + b[k]"), "s := a[i+1,j-1] + b[k]");
    EXPECT_EQ(tokens("a[b[i]-1] := 2"), "a[b[i]-1] := 2");
    EXPECT_EQ(tokens("r := Gcd(p, q)"), "r := Gcd(p, q)");
    // A bracket closed once too often does not drive the depth negative.
    EXPECT_EQ(tokens("]x+y"), "]x + y");
    // "and" and "or" are spaced in conditions only.
    EXPECT_EQ(tokens("x=1 and y<2 or z", 1), "x = 1 and y < 2 or z");
    EXPECT_EQ(tokens("q:=p and(r)", 0), "q := p and(r)");
    EXPECT_EQ(tokens("q:=p and(r)", 1), "q := p and (r)");
    // A delete statement's ">" is no comparison.
    EXPECT_EQ(tokens("@>F"), "@>F");
    EXPECT_EQ(tokens("x>F"), "x > F");
}

TEST_F(Listing, EveryComparison) {
    EXPECT_EQ(tokens("x = y", 1), "x = y");
    EXPECT_EQ(tokens("x < y", 1), "x < y");
    EXPECT_EQ(tokens("x > y", 1), "x > y");
    // The second character of a two-character comparison is not spaced
    // again: the pair stays together and the blank after it was the one
    // written after the first.
    EXPECT_EQ(tokens("x >= y", 1), "x >=y");
    EXPECT_EQ(tokens("x <= y", 1), "x <=y");
    EXPECT_EQ(tokens("x <> y", 1), "x <>y");
    // The one-byte codes: a blank before, none inside, one after.
    EXPECT_EQ(tokens("x\xB3y", 1), "x \xB3 y");
    EXPECT_EQ(tokens("x\xB2y", 1), "x \xB2 y");
    EXPECT_EQ(tokens("x\xADy", 1), "x \xAD y");
    EXPECT_EQ(tokens("x \xAD y", 1), "x \xAD y");
    // A comparison after a spaced sign, and one that follows a sign at
    // once: only a comparison keeps the next comparison character close.
    EXPECT_EQ(tokens("x+1>-y", 1), "x + 1 > - y");
    EXPECT_EQ(tokens("x+=y", 1), "x + = y");
}

TEST_F(Listing, LiteralsAndCommentsInsideStatementsAreKeptAsTyped) {
    // Respacing a quoted literal would change the text it holds.
    EXPECT_EQ(tokens("w := 'a+b, c'"), "w := 'a+b, c'");
    EXPECT_EQ(tokens("w := x {a+b\nc} + 1"), "w := x {a+b\nc} + 1");
}

TEST_F(Listing, CommentsBeforeStatements) {
    form* f = b.plain("x := 1", b.comments({"first", " two\nlines "}));
    EXPECT_EQ(statement(f), "{first }\n    { two\nlines  }\n    x := 1");
    EXPECT_EQ(statement(f, 1), "{first} `\n    { two\nlines } `\n    x := 1");
    uglyprint = 1;
    continuation = ' ';
    EXPECT_EQ(statement(f), "{first}  \n    { two\nlines }  \n    x := 1");
}

TEST_F(Listing, IfWithElseAndComments) {
    form* body = CodeBuilder::list(
        {b.if_("x>0", CodeBuilder::list({b.plain("y := 1"), b.plain("z := 2")}),
               b.plain("y := -1", b.comments({"neg"})), b.comments({"first"})),
         b.plain("w := y")});
    EXPECT_EQ(whole(b.function("H", "x", body), 0),
              "\n Function H(x) =  \n"
              "    {first }\n"
              "    if x > 0 then \n"
              "       y := 1; \n"
              "       z := 2\n"
              "    else\n"
              "       {neg }\n"
              "       y := -1\n"
              "    fi; \n"
              "    w := y.");
    // Without an else part.
    EXPECT_EQ(statement(b.if_("a = b", b.plain("c := 0")), 0, 0), "if a = b then \n   c := 0\nfi");
}

TEST_F(Listing, LoopsNestedInLoops) {
    form* inner = b.for_("i = 1 to n by 2", b.plain("s := s + a[i+1, j-1]"));
    form* body = b.while_("n > 1", CodeBuilder::list({inner, b.plain("n := n - 1")}));
    EXPECT_EQ(statement(body),
              "while n > 1 do \n"
              "       for i = 1 to n  by 2 do \n"
              "          s := s + a[i+1,j-1]\n"
              "       od; \n"
              "       n := n - 1\n"
              "    od");
    // A header of digits and a loop at indentation 0.
    EXPECT_EQ(statement(b.for_("k = 10 to 1 by -1", b.plain("t := k")), 0, 0),
              "for k = 10 to 1 by - 1 do \n   t := k\nod");
}

TEST_F(Listing, DeepNestingAndItsIndentation) {
    form* deepest = b.plain("u := 0", b.comments({"deep"}));
    form* inner_if = b.if_("u <> 0", deepest, b.while_("v < 3", b.plain("v := v + 1")));
    form* outer = b.for_("i = 1 to 2", CodeBuilder::list({b.plain("u := i"), inner_if}));
    func* f = b.function("Deep", "", CodeBuilder::list({outer, b.plain("Deep := u")}));
    EXPECT_EQ(whole(f, 0),
              "\n Function Deep =  \n"
              "    for i = 1 to 2 do \n"
              "       u := i; \n"
              "       if u <>0 then \n"
              "          {deep }\n"
              "          u := 0\n"
              "       else\n"
              "          while v < 3 do \n"
              "             v := v + 1\n"
              "          od\n"
              "       fi\n"
              "    od; \n"
              "    Deep := u.");
}

TEST_F(Listing, AtTheTerminalEveryLineIsContinued) {
    form* deepest = b.plain("u := 0", b.comments({"deep"}));
    form* inner_if = b.if_("u <> 0", deepest, b.while_("v < 3", b.plain("v := v + 1")));
    form* outer = b.for_("i = 1 to 2", CodeBuilder::list({b.plain("u := i"), inner_if}));
    func* f = b.function("Deep", "n", CodeBuilder::list({outer, b.plain("Deep := u")}));
    const std::string text = whole(f, 1);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "");
    EXPECT_EQ(lines.back(), "    Deep := u.");
    for (size_t i = 1; i + 1 < lines.size(); i++) {
        ASSERT_GE(lines[i].size(), 2u) << i;
        EXPECT_EQ(lines[i].substr(lines[i].size() - 2), " `") << "line " << i << ": " << lines[i];
    }
    EXPECT_EQ(text,
              "\n Function Deep(n) =  `\n"
              "    for i = 1 to 2 do `\n"
              "       u := i; `\n"
              "       if u <>0 then `\n"
              "          {deep} `\n"
              "          u := 0 `\n"
              "       else `\n"
              "          while v < 3 do `\n"
              "             v := v + 1 `\n"
              "          od `\n"
              "       fi `\n"
              "    od; `\n"
              "    Deep := u.");
}

TEST_F(Listing, UnformattedFormAwayFromTheTerminal) {
    uglyprint = 1;
    continuation = ' ';
    form* body = CodeBuilder::list({b.if_("a=1", b.plain("b := 2"), b.plain("b := 3")), b.plain("b")});
    EXPECT_EQ(whole(b.function("U", "a", body), 0),
              "\n Function U(a) =  \n"
              "    if a = 1 then  \n"
              "       b := 2  \n"
              "    else  \n"
              "       b := 3  \n"
              "    fi;  \n"
              "    b.");
}

TEST_F(Listing, CommentTextAndDeepIndentation) {
    // Stored line ends of either kind become newlines.
    name* chain = b.comments({"a\nb"})->text;
    chain->next->token[0] = '\n';
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { listchars_com(s, chain, &col); }), "a\nb");
    // An indentation that reaches the line width is held at 12 short of it.
    form* f = b.if_("p", b.plain("q"));
    EXPECT_EQ(statement(f, 0, 70),
              "if p then \n" + std::string(64, ' ') + "q\n" + std::string(70, ' ') + "fi");
}

}  // namespace
