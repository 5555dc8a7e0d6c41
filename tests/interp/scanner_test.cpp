#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "interp/scanner.h"
#include "storage/other_records.h"
#include "stream_text.h"
#include "toplevel/errors.h"

namespace {

using V = std::vector<std::string>;

class Scanner : public ::testing::Test {
protected:
    void SetUp() override {
        init_scanner_structures();
        func_def_count = 0;
    }
    void TearDown() override {
        init_scanner_structures();
        Input = stdin;
    }

    // The next n tokens of s through scanner, each as its text.
    static std::vector<std::string> scan(TextStream& s, int n) {
        std::vector<std::string> out;
        for (int i = 0; i < n; i++) {
            tokenrec t;
            scanner(&s.f, &t, &zilch);
            EXPECT_EQ(t.hash, UNHASHED);
            out.emplace_back(t.name);
        }
        return out;
    }
};

TEST_F(Scanner, NamesAndOneByteTokens) {
    TextStream s("abc; x1_y2 _x 2x 12 A_b9+");
    EXPECT_EQ(scan(s, 2), (V{"abc", ";"}));
    EXPECT_EQ(leftover, 0);
    EXPECT_EQ(scan(s, 10), (V{"x1_y2", "_", "x", "2", "x", "1", "2", "A_b9", "+", ";"}));
}

TEST_F(Scanner, LongNamesAreCutAtNamelength) {
    TextStream s("abcdefghijkl abcdefghij1_ q");
    // The character after the cut begins the next token, whatever it is.
    EXPECT_EQ(scan(s, 6), (V{"abcdefghij", "kl", "abcdefghij", "1", "_", "q"}));
}

TEST_F(Scanner, LineEndIsAStatementEndOnlyAtTheTerminal) {
    {
        TextStream s("a := 3\nb");
        EXPECT_EQ(scan(s, 5), (V{"a", ":", "=", "3", ";"}));
        EXPECT_EQ(getc(s.f), '\n');   // left for the statement loop
    }
    {
        TextStream s("abc\n");
        EXPECT_EQ(scan(s, 2), (V{"abc", ";"}));
        EXPECT_EQ(getc(s.f), '\n');
    }
    tt_flag = 0;
    {
        TextStream s("a := 3\nb\n  \n c");
        EXPECT_EQ(scan(s, 7), (V{"a", ":", "=", "3", "b", "c", ";"}));
    }
}

TEST_F(Scanner, ContinuationLines) {
    semicount = 5;
    TextStream s("a := 1 +` anything ; here\n2;");
    EXPECT_EQ(scan(s, 7), (V{"a", ":", "=", "1", "+", "2", ";"}));
    EXPECT_EQ(semicount, 0);

    // Inside a name the continuation ends the name like a blank.
    semicount = 3;
    TextStream t("ab`x\ncd;");
    EXPECT_EQ(scan(t, 3), (V{"ab", "cd", ";"}));
    EXPECT_EQ(semicount, 0);
}

// A CRLF line that ends in a name ends like any other line.
TEST_F(Scanner, TabsAndReturnsAfterANameAreBlanks) {
    TextStream s("ab\t+ \t\r c\r\n");
    EXPECT_EQ(scan(s, 4), (V{"ab", "+", "c", ";"}));
    EXPECT_EQ(getc(s.f), '\n');
    tt_flag = 0;
    TextStream file("x\r\n:= y\t\r\n;");
    EXPECT_EQ(scan(file, 5), (V{"x", ":", "=", "y", ";"}));
}

TEST_F(Scanner, EndOfInputIsASemicolonForEver) {
    TextStream empty("");
    EXPECT_EQ(scan(empty, 3), (V{";", ";", ";"}));
    TextStream name("xyz");
    EXPECT_EQ(scan(name, 4), (V{"xyz", ";", ";", ";"}));
    TextStream blanks("+  \t ");
    EXPECT_EQ(scan(blanks, 3), (V{"+", ";", ";"}));
    tt_flag = 0;
    TextStream lines("x\n\n");
    EXPECT_EQ(scan(lines, 3), (V{"x", ";", ";"}));
}

// The ring's records from start to finish.
std::vector<std::string> ring_contents() {
    std::vector<std::string> out;
    if (!finish) return out;
    for (name* n = start;; n = n->next) {
        out.emplace_back(n->token);
        if (n == finish || out.size() > 100) break;
    }
    return out;
}

TEST_F(Scanner, RingHoldsTheLastSixtyTokens) {
    std::string text;
    for (int i = 0; i < 70; i++) text += std::string("t").append(std::to_string(i)).append(" ");
    TextStream s(text);
    scan(s, 5);
    EXPECT_EQ(ring_contents(), (V{"t0", "t1", "t2", "t3", "t4"}));
    scan(s, 65);
    V ring = ring_contents();
    ASSERT_EQ(ring.size(), 60u);
    for (int i = 0; i < 60; i++) EXPECT_EQ(ring[i], std::string("t").append(std::to_string(i + 10)));

    // A new statement starts the ring afresh.
    finish = nullptr;
    scan(s, 1);
    EXPECT_EQ(ring_contents(), (V{";"}));
}

TEST_F(Scanner, SpecScannerReadsThroughBlanks) {
    int crossed = 7;
    tokenrec t;
    {
        TextStream s("ab cd;");
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, "abcd");
        EXPECT_EQ(crossed, 0);
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, ";");
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, ";");
    }
    {
        // At the terminal a line end still ends the name.
        TextStream s("ab\ncd");
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, "ab");
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, ";");
        EXPECT_EQ(crossed, 0);
    }
    {
        TextStream s("ab`junk\ncd+");
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, "abcd");
        EXPECT_EQ(crossed, 1);
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, "+");
        EXPECT_EQ(crossed, 0);
    }
    tt_flag = 0;
    {
        TextStream s("ab\n  c d\n\n+");
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, "abcd");
        EXPECT_EQ(crossed, 1);
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, "+");
        EXPECT_EQ(crossed, 0);
    }
    {
        // leftover is taken as it is, a blank included.
        TextStream s("x");
        leftover = ' ';
        spec_scanner(&s.f, &t, &zilch, &crossed);
        EXPECT_STREQ(t.name, " ");
        EXPECT_EQ(leftover, 0);
    }
}

TEST_F(Scanner, DumbScannerReadsRawCharacters) {
    TextStream s("a b`skip\nc\n");
    V got;
    std::vector<int> lines;
    for (int i = 0; i < 6; i++) {
        tokenrec t;
        int nl = -1;
        dumbscanner(&s.f, &t, &zilch, &nl);
        got.emplace_back(t.name);
        lines.push_back(nl);
    }
    EXPECT_EQ(got, (V{"a", " ", "b", " ", "c", "\r"}));
    EXPECT_EQ(lines, (std::vector<int>{0, 0, 0, 0, 0, 1}));

    // A raw reader meeting the end of input ends the statement.
    tokenrec t;
    int nl = 0;
    EXPECT_THROW(dumbscanner(&s.f, &t, &zilch, &nl), TarvexUnwind);
}

TEST_F(Scanner, DumbScannerIgnoresLeftover) {
    TextStream s("ab+c");
    tokenrec t;
    scanner(&s.f, &t, &zilch);
    EXPECT_EQ(leftover, '+');
    int nl;
    dumbscanner(&s.f, &t, &zilch, &nl);
    EXPECT_STREQ(t.name, "c");
    EXPECT_EQ(leftover, '+');
}

// A chain header -> texts..., each record hashed as given.
name* make_chain(const std::vector<std::pair<const char*, uint16_t>>& items, std::vector<name*>& recs) {
    name* header;
    newname(&header);
    header->next = nullptr;
    name* last = header;
    for (auto& [text, h] : items) {
        name* r;
        newname(&r);
        std::memset(r->token, 0, sizeof r->token);
        std::strcpy(r->token, text);
        r->hash = h;
        r->next = nullptr;
        last->next = r;
        last = r;
        recs.push_back(r);
    }
    return header;
}

TEST_F(Scanner, PendingListsDeliverStoredTokens) {
    std::vector<name*> recs;
    name* header = make_chain({{"x", 17}, {"+", UNHASHED}, {"yz", 42}, {";", UNHASHED}}, recs);
    name* word = header;
    TextStream s("stream text");
    leftover = 'q';
    finish = nullptr;

    tokenrec t;
    scanner(&s.f, &t, &word);
    EXPECT_STREQ(t.name, "x");
    EXPECT_EQ(t.hash, 17);
    EXPECT_EQ(word, recs[0]);
    EXPECT_EQ(currentchar, recs[1]);

    int flag = 5;
    spec_scanner(&s.f, &t, &word, &flag);
    EXPECT_STREQ(t.name, "+");
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(currentchar, recs[2]);

    flag = 5;
    dumbscanner(&s.f, &t, &word, &flag);
    EXPECT_STREQ(t.name, "yz");
    EXPECT_EQ(t.hash, 42);
    EXPECT_EQ(flag, 5);   // untouched for a stored token

    scanner(&s.f, &t, &word);
    EXPECT_STREQ(t.name, ";");
    EXPECT_EQ(currentchar, nullptr);

    // Neither the look-ahead nor the ring nor the stream were touched.
    EXPECT_EQ(leftover, 'q');
    EXPECT_EQ(finish, nullptr);
    EXPECT_EQ(getc(s.f), 's');
    give_back_names(header);
}

// The texts of a captured list after its header.
V list_texts(name* header) {
    V out;
    for (name* r = header->next; r; r = r->next) out.emplace_back(r->token);
    return out;
}

TEST_F(Scanner, SaveInputStreamCapturesTheRestOfTheStatement) {
    {
        // The statement's own stream is read, not the terminal's.
        TextStream s("a + bc;\nnext");
        TextStream terminal("z;\n");
        Input = terminal.f;
        name* list = nullptr;
        save_input_stream(&s.f, &list);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list_texts(list), (V{"a", "+", "bc", ";"}));
        // Replayed from the header, the list gives the statement back.
        tokenrec t;
        name* word = list;
        scanner(&s.f, &t, &word);
        EXPECT_STREQ(t.name, "a");
        give_back_names(list);
    }
    {
        TextStream s("\nrest");
        name* list = reinterpret_cast<name*>(1);
        save_input_stream(&s.f, &list);
        EXPECT_EQ(list, nullptr);
        EXPECT_EQ(getc(s.f), '\n');
    }
    {
        // In a file a line end is a blank: the list goes on on the next line.
        tt_flag = 0;
        TextStream s("\n *a,\r\n b);\nnext;");
        name* list = nullptr;
        save_input_stream(&s.f, &list);
        tt_flag = 1;
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list_texts(list), (V{"*", "a", ",", "b", ")", ";"}));
        give_back_names(list);
    }
    {
        TextStream s("  ;");
        name* list = reinterpret_cast<name*>(1);
        save_input_stream(&s.f, &list);
        EXPECT_EQ(list, nullptr);
    }
    {
        // Inside a definition being typed ";" does not end the capture;
        // the end of input does.
        func_def_count = 1;
        TextStream s("x; y;");
        name* list = nullptr;
        save_input_stream(&s.f, &list);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list_texts(list), (V{"x", ";", "y", ";"}));
        give_back_names(list);
    }
}

TEST_F(Scanner, StartUpStructures) {
    EXPECT_EQ(namelength, 10);
    EXPECT_EQ(continuation, '`');
    EXPECT_EQ(tt_flag, 1);
    EXPECT_EQ(token.hash, UNHASHED);
    EXPECT_STREQ(token.name, "");
    EXPECT_EQ(finish, nullptr);
    int n = 1;
    for (name* r = start->next; r != start; r = r->next) n++;
    EXPECT_EQ(n, TOKEN_RING_SIZE);

    // Bytes above 127 are members only where listed, as int or as char.
    EXPECT_FALSE(in_set(EOF, throwaways));
    EXPECT_FALSE(in_set(static_cast<char>(0xA0), throwaways));
    EXPECT_TRUE(in_set(static_cast<char>(179), cond_set));
    EXPECT_TRUE(in_set(173, poly_cond_set));
}

}  // namespace
