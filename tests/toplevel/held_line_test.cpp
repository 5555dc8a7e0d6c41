// The rest of an interrupted line, held aside and read again: the order of
// the characters across the held text and the stream, the peek pattern
// (read, put back) at the seam between them, and several levels giving
// their rests back one inside the other.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../interp/stream_text.h"
#include "toplevel/errors.h"
#include "toplevel/held_line.h"

namespace {

std::string read_all(FILE* f) {
    std::string out;
    int c;
    while ((c = read_input_char(f)) != EOF) out.push_back(static_cast<char>(c));
    return out;
}

// Reads every character with a peek before it, as the scanner does.
std::string read_all_peeking(FILE* f) {
    std::string out;
    for (;;) {
        const int peeked = read_input_char(f);
        unread_input_char(peeked, f);
        const int c = read_input_char(f);
        EXPECT_EQ(c, peeked);
        if (c == EOF) return out;
        out.push_back(static_cast<char>(c));
    }
}

}  // namespace

TEST(HeldLine, TheRestOfTheLineComesBackAheadOfTheLinesAfterIt) {
    TextStream s("w := 3 + 1: v := w;\n2 + 2;\n&_p;\n");
    for (int i = 0; i < 6; i++) read_input_char(s.f);   // "w := 3" read by the statement
    HeldLine rest = take_rest_of_line(s.f);
    EXPECT_EQ(rest.text, " + 1: v := w;");
    EXPECT_EQ(rest.stream, s.f);
    // The level reads the next line itself.
    std::string level;
    int c;
    while ((c = read_input_char(s.f)) != '\n') level.push_back(static_cast<char>(c));
    EXPECT_EQ(level, "2 + 2;");
    for (int i = 0; i < 4; i++) read_input_char(s.f);    // "&_p;", its line end left
    give_back(rest);
    EXPECT_EQ(read_all_peeking(s.f), " + 1: v := w;\n");
}

TEST(HeldLine, APeekAtTheSeamAndARestGivenBackInsideAnother) {
    TextStream s("ab\ncd\n");
    give_back({s.f, "xy"});
    EXPECT_EQ(read_input_char(s.f), 'x');
    // An inner level gives back its rest while the outer one is held:
    // the inner statement reads first.
    give_back({s.f, "12"});
    EXPECT_EQ(read_input_char(s.f), '1');
    unread_input_char('1', s.f);
    EXPECT_EQ(read_all(s.f), "12yab\ncd\n");

    // A character read from the stream goes back to the stream even while
    // something was held before.
    TextStream t("pq");
    give_back({t.f, "z"});
    EXPECT_EQ(read_input_char(t.f), 'z');
    EXPECT_EQ(read_input_char(t.f), 'p');
    unread_input_char('p', t.f);
    EXPECT_EQ(read_all(t.f), "pq");
}

TEST(HeldLine, NothingHeldAtTheEndOfTheLineOrOfTheInput) {
    TextStream s("a;\nb;");
    for (int i = 0; i < 2; i++) read_input_char(s.f);
    HeldLine rest = take_rest_of_line(s.f);
    EXPECT_EQ(rest.text, "");
    give_back(rest);
    EXPECT_EQ(read_input_char(s.f), 'b');
    EXPECT_EQ(take_rest_of_line(s.f).text, ";");
    EXPECT_EQ(read_input_char(s.f), EOF);
    // Nothing held comes back as a character after the end.
    unread_input_char(EOF, s.f);
    EXPECT_EQ(read_input_char(s.f), EOF);
}
