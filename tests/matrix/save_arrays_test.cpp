// Arrays in the save text and the variable listing, against texts written
// by hand: the compact row-by-row form, the list form, the sparse literal
// (row, column, value, column, value ...) with subscripts from the index
// origin; the arrays section of a whole save.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "array_walks.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "interp/array_table.h"
#include "../interp/stream_text.h"
#include "support/stream_capture.h"
#include "toplevel/save_file.h"

namespace {

using array_walks::ArrayWalks;
using array_walks::big_q;
using array_walks::digits_value;

quoly* poly_q(int nvars, const TermList& t) { return array_walks::quoly_of(build_poly(nvars, t), nullptr); }

std::string saved(array* a) {
    return to_stream([a](FILE** out) { do_array_p(out, a); });
}

std::string file_text(const char* path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SaveArrays : public ArrayWalks {
protected:
    // The statements that save into the file path.
    static void save_into(const char* path) {
        EXPECT_EQ(err(std::string("&(S = '") + path + "');"), 0);
        EXPECT_EQ(err("&s;"), 0);
        EXPECT_EQ(err("&(S = @);"), 0);
    }
};

TEST_F(SaveArrays, SmallNumbersTakeTheCompactRowByRowForm) {
    array* a = dense("a", 2, 3);
    put(a, 1, 1, big_q(1));
    put(a, 1, 2, big_q(-2));
    put(a, 1, 3, big_q(3));
    put(a, 2, 1, big_q(4));
    put(a, 2, 2, big_q(mpq_class(5, 7)));
    put(a, 2, 3, big_q(0));
    EXPECT_EQ(saved(a),
              "\nArray a[2,3];\n"
              "[a] := [[  1,  -2,  3, \n"
              "           4,  5 / 7,  0   ]];\n");

    tokenrec t = tok("v");
    array* v = insertarr(&t, 3, 1, 1);
    put(v, 1, 1, big_q(7));
    put(v, 2, 1, big_q(0));
    put(v, 3, 1, big_q(9));
    EXPECT_EQ(saved(v), "\nArray v[3];\n[v] := [[  7,  0,  9  ]];\n");

    array* r = dense("row", 1, 2);
    put(r, 1, 1, big_q(8));
    put(r, 1, 2, big_q(-1));
    EXPECT_EQ(saved(r), "\nArray row[1,2];\n[row] := [[  8,  -1   ]];\n");
}

TEST_F(SaveArrays, CellsNeverSetAreLeftOut) {
    // Read back, a cell never set stays so: only the set ones are written,
    // one assignment a line, column by column.
    array* a = dense("a", 2, 3);
    put(a, 1, 1, big_q(1));
    put(a, 2, 2, big_q(mpq_class(5, 7)));
    put(a, 1, 3, big_q(0));
    EXPECT_EQ(saved(a), "\nArray a[2,3];\n a[1,1] := 1;\n a[2,2] := 5 / 7;\n a[1,3] := 0;\n");
    tokenrec t = tok("v");
    array* v = insertarr(&t, 3, 1, 1);
    put(v, 3, 1, big_q(9));
    EXPECT_EQ(saved(v), "\nArray v[3];\n v[3] := 9;\n");
    EXPECT_EQ(saved(dense("none", 1, 2)), "\nArray none[1,2];\n");
}

TEST_F(SaveArrays, BigNumbersAndPolynomialsTakeTheListForm) {
    // Ten base-2^28 digits: too big for the compact form.
    const mpz_class big = mpz_class(1) << (28 * 9 + 3);
    array* b = dense("b", 2, 2);
    put(b, 1, 1, big_q(mpq_class(big)));
    put(b, 2, 1, big_q(mpq_class(1, 3)));
    put(b, 1, 2, big_q(-5));
    put(b, 2, 2, big_q(0));
    // A long number is written as the scalars are, its digit groups
    // separated by blanks where a line would be long.
    const std::string text = saved(b);
    const std::string head = "\nArray b[2,2];\n[b] := [( ";
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    const size_t end = text.find(",\n", head.size());
    std::string digits = text.substr(head.size(), end - head.size());
    std::erase(digits, ' ');
    EXPECT_EQ(digits, big.get_str());
    EXPECT_EQ(text.substr(end),
              ",\n"
              "          1 / 3,\n"
              " \n"
              "          -5,\n"
              "          0 \n"
              "          )];\n");

    ASSERT_EQ(err("&(J = x);"), 0);
    array* p = dense("p", 1, 2);
    put(p, 1, 1, poly_q(1, {{1, {1}}, {1, {0}}}));
    put(p, 1, 2, big_q(2));
    EXPECT_EQ(saved(p),
              "\nArray p[1,2];\n"
              "[p] := [( &_n ( x + 1 ),\n"
              "          2 \n"
              "          )];\n");
}

TEST_F(SaveArrays, SparseArraysInTheLiteralsGrammar) {
    ASSERT_EQ(err("&(J = x);"), 0);
    array* s = sparse_array("s", 3000, 4);
    put(s, 1, 2, big_q(5));
    put(s, 1, 4, big_q(-7));
    put(s, 2049, 1, poly_q(1, {{1, {2}}}));
    put(s, 3000, 3, big_q(mpq_class(-1, 2)));
    const std::string expect_1 =
        "\nArray s[3000,4] Sparse;\n"
        "[s] := [[ 1, 2, 5, 4, -7 ],\n"
        "        [ 2049, 1, &_n ( x^2 ) ],\n"
        "        [ 3000, 3, -1 / 2 ]];\n";
    EXPECT_EQ(saved(s), expect_1);
    addresser = 0;
    EXPECT_EQ(saved(s),
              "\nArray s[3000,4] Sparse;\n"
              "[s] := [[ 0, 1, 5, 3, -7 ],\n"
              "        [ 2048, 0, &_n ( x^2 ) ],\n"
              "        [ 2999, 2, -1 / 2 ]];\n");
    addresser = 1;

    // Without entries the declaration makes it; an alias is not saved.
    array* e = sparse_array("e", 5, 5);
    EXPECT_EQ(saved(e), "\nArray e[5,5] Sparse;\n");
    EXPECT_EQ(saved(alias_of(s, "al")), "");

    // A long row is broken between pairs.
    array* w = sparse_array("w", 1, 60);
    for (int32_t c = 1; c <= 60; c++) put(w, 1, c, big_q(1000000 + c));
    const std::string text = saved(w);
    EXPECT_NE(text.find(",\n           "), std::string::npos) << text;
    for (int32_t c = 1; c <= 60; c++)
        EXPECT_NE(text.find(std::to_string(c) + ", " + std::to_string(1000000 + c)), std::string::npos) << c;
    size_t longest = 0;
    for (size_t at = 0, next; at < text.size(); at = next + 1) {
        next = text.find('\n', at);
        if (next == std::string::npos) next = text.size();
        longest = std::max(longest, next - at);
    }
    EXPECT_LE(longest, 170u);
}

TEST_F(SaveArrays, TheArraysSectionAndTheListing) {
    array* b = dense("bb", 1, 1);
    put(b, 1, 1, big_q(2));
    array* a = sparse_array("aa", 2, 3);
    put(a, 2, 3, big_q(9));
    char path[] = "/tmp/tarvex_save_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    save_into(path);
    const std::string text = file_text(path);
    std::remove(path);
    const std::string section =
        ";;**  arrays:\n"
        "\nArray aa[2,3] Sparse;\n[aa] := [[ 2, 3, 9 ]];\n"
        "\nArray bb[1,1];\n[bb] := [[  2  ]];\n"
        "&x;\n";
    ASSERT_GE(text.size(), section.size());
    EXPECT_EQ(text.substr(text.size() - section.size()), section) << text;

    const statement_runs::Outcome o = run("&v;");
    EXPECT_NE(o.printed.find("arrays:\n\nArray aa[2,3] Sparse;\nArray bb[1,1];\n"), std::string::npos) << o.printed;
}

array* named(const char* n) {
    tokenrec t;
    set_token(&t, n);
    array* a = nullptr;
    fastestlookup(&t, &a);
    return a;
}

// Runs a save file's statements as the statement loop reads a file: each
// statement through the loop's dispatch, the rest of its line (the save's
// ";;" section marks) not run. Returns the first numbered error, or 0.
int read_as_the_loop(const std::string& text) {
    TextStream s(text);
    leftover = 0;
    quoly* value = nullptr;
    int code = 0;
    testing::internal::CaptureStdout();
    try {
        for (;;) {
            scanner(&s.f, &token, &zilch);
            if (std::feof(s.f) && token_is(&token, ";")) break;
            reset_statement_state();
            dispatch_statement(&s.f, &value, &zilch);
            zilch = nullptr;
            free_quoly(&value);
            if (!(token_is(&token, ";") || token_is(&token, "@"))) {
                code = 129;
                break;
            }
            int c;
            while ((c = std::getc(s.f)) != EOF && c != '\n') {}
            leftover = 0;
            if (c == EOF) break;
        }
    } catch (const TarvexUnwind& e) {
        code = e.code;
    }
    free_quoly(&value);
    testing::internal::GetCapturedStdout();
    return code;
}

// A save read back as a fresh session reads it: no polynomial variable and
// no array left from the session that wrote it (in the writing session
// itself the file's declarations clash with them: x is already a variable,
// and the file stays open for input until the loop reaches its end), every
// element equal to what was saved, and a second save the same text. An
// absent cell is written "0" and comes back a present zero, written " 0":
// from the second save on the text no longer changes.
TEST_F(SaveArrays, ArraysComeBackFromASave) {
    ASSERT_EQ(err("&(J = x);"), 0);
    array* d = dense("d", 3, 2);
    array* l = dense("l", 2, 2);
    array* s = sparse_array("s", 2100, 5);
    const mpz_class big = mpz_class(1) << 400;
    for (int32_t i = 1; i <= 3; i++) {
        put(d, i, 1, big_q(i * 10 - 7));
        put(d, i, 2, big_q(0));
    }
    put(d, 2, 2, big_q(mpq_class(-4, 9)));
    put(l, 1, 1, big_q(mpq_class(big)));
    put(l, 1, 2, big_q(0));
    put(l, 2, 1, big_q(0));
    put(l, 2, 2, poly_q(1, {{3, {2}}, {-1, {0}}}));
    put(s, 1, 5, big_q(mpq_class(-big)));
    put(s, 2050, 2, poly_q(1, {{1, {1}}}));
    char path[] = "/tmp/tarvex_round_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    save_into(path);
    const std::string before = file_text(path);
    auto fresh_read = [&](const std::string& text) {
        for (array*& head : arr_store)
            while (head) remove_array(head);
        drop_all_poly_vars();
        return read_as_the_loop(text);
    };
    ASSERT_EQ(fresh_read(before), 0) << before;

    d = named("d");
    l = named("l");
    s = named("s");
    ASSERT_TRUE(d && l && s);
    ASSERT_TRUE(s->sparse);
    for (int32_t i = 1; i <= 3; i++) EXPECT_EQ(digits_value(at(d, i, 1)), i * 10 - 7);
    EXPECT_EQ(digits_value(at(d, 2, 2)), mpq_class(-4, 9));
    EXPECT_EQ(digits_value(at(d, 1, 2)), 0);
    EXPECT_EQ(digits_value(at(d, 3, 2)), 0);
    EXPECT_EQ(digits_value(at(l, 1, 1)), mpq_class(big));
    EXPECT_EQ(digits_value(at(l, 1, 2)), 0);
    EXPECT_EQ(read_poly(at(l, 2, 2)->pnum, 1), canonical_terms(1, {{3, {2}}, {-1, {0}}}));
    EXPECT_EQ(entries(s->sparse, 2100), 2);
    EXPECT_EQ(digits_value(at(s, 1, 5)), mpq_class(-big));
    EXPECT_EQ(read_poly(at(s, 2050, 2)->pnum, 1), canonical_terms(1, {{1, {1}}}));
    save_into(path);
    EXPECT_EQ(file_text(path), before);

    // Absent cells come back absent, and the text is the same at once.
    array* h = dense("h", 2, 3);
    put(h, 2, 2, big_q(mpq_class(5, 7)));
    save_into(path);
    const std::string with_absent = file_text(path);
    ASSERT_EQ(fresh_read(with_absent), 0) << with_absent;
    h = named("h");
    ASSERT_TRUE(h);
    for (int32_t i = 1; i <= 2; i++)
        for (int32_t j = 1; j <= 3; j++) {
            if (i == 2 && j == 2)
                EXPECT_EQ(digits_value(at(h, i, j)), mpq_class(5, 7));
            else
                EXPECT_EQ(at(h, i, j), nullptr);
        }
    save_into(path);
    EXPECT_EQ(file_text(path), with_absent);
    std::remove(path);
}

}  // namespace
