// Arrays through the changes of the variables: Laurent mode off and on, a
// variable adjoined outermost and cancelled (sparse entries that become 0
// removed, zero denominators made 1 with the warnings), and the texts and
// cut-offs read from character arrays.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "array_walks.h"
#include "interp/switch_impl.h"
#include "poly/polyvars.h"
#include "support/poly_build.h"
#include "toplevel/read_file.h"

namespace {

using array_walks::ArrayWalks;
using array_walks::big_q;
using array_walks::quoly_of;
using statement_runs::Outcome;
using statement_runs::value_of;

quoly* poly_q(int nvars, const TermList& t) { return quoly_of(build_poly(nvars, t), nullptr); }

class ArrayVars : public ArrayWalks {
protected:
    static TermList num_terms(quoly* q, int nvars) {
        EXPECT_FALSE(q->isnum);
        EXPECT_TRUE(check_poly_shape(q->pnum, nvars));
        return read_poly(q->pnum, nvars);
    }
    static TermList den_terms(quoly* q, int nvars) {
        if (!q->den) return {};
        EXPECT_TRUE(check_poly_shape(q->den, nvars));
        return read_poly(q->den, nvars);
    }
    // A dense row of character codes; 0 leaves a cell empty.
    static array* chars(const char* n, const std::string& text) {
        array* a = dense(n, 1, static_cast<int32_t>(text.size()));
        for (size_t k = 0; k < text.size(); k++)
            if (text[k]) put(a, 1, static_cast<int32_t>(k) + 1, big_q(mpq_class(static_cast<unsigned char>(text[k]))));
        return a;
    }
};

TEST_F(ArrayVars, LaurentModeRewritesCellsEntriesAndTheSystemArray) {
    ASSERT_EQ(err("&(J = x);"), 0);
    const TermList num = canonical_terms(1, {{1, {2}}, {1, {0}}}), den = canonical_terms(1, {{1, {2}}});
    auto fraction = [] { return quoly_of(build_poly(1, {{1, {2}}, {1, {0}}}), build_poly(1, {{1, {2}}})); };
    array* d = dense("d", 2, 1);
    put(d, 1, 1, fraction());
    put(d, 2, 1, poly_q(1, {{1, {1}}, {3, {0}}}));
    array* s = sparse_array("s", 3, 3);
    put(s, 1, 1, fraction());
    quoly* cells[1] = {fraction()};
    imag count{};
    special_set(1, &count);
    fill_syst_array(cells, &count, 1, nullptr, 1);
    special_free(&count);

    ASSERT_EQ(err("&(l = 1);"), 0);
    const TermList lnum = canonical_terms(1, {{1, {0}}, {1, {-2}}});
    for (quoly* q : {at(d, 1, 1), at(s, 1, 1), syst_cells[0]}) {
        EXPECT_EQ(num_terms(q, 1), lnum);
        EXPECT_EQ(q->den, nullptr);
    }
    EXPECT_EQ(num_terms(at(d, 2, 1), 1), canonical_terms(1, {{1, {1}}, {3, {0}}}));

    ASSERT_EQ(err("&(l = 0);"), 0);
    for (quoly* q : {at(d, 1, 1), at(s, 1, 1), syst_cells[0]}) {
        EXPECT_EQ(num_terms(q, 1), num);
        EXPECT_EQ(den_terms(q, 1), den);
    }
}

TEST_F(ArrayVars, AdjoinAndCancelWithSparseArraysPresent) {
    ASSERT_EQ(err("&(J = x);"), 0);
    const TermList p1 = canonical_terms(1, {{1, {2}}, {3, {1}}});
    array* d = dense("d", 2, 2);
    put(d, 1, 1, poly_q(1, {{1, {2}}, {3, {1}}}));
    put(d, 2, 1, quoly_of(build_poly(1, {{1, {0}}}), build_poly(1, {{1, {1}}, {-1, {0}}})));
    put(d, 1, 2, big_q(mpq_class(5)));
    array* s = sparse_array("s", 2500, 4);
    put(s, 2, 2, poly_q(1, {{1, {2}}, {3, {1}}}));
    put(s, 2049, 4, poly_q(1, {{1, {2}}, {3, {1}}}));
    put(s, 1, 1, quoly_of(build_poly(1, {{1, {0}}}), build_poly(1, {{1, {1}}, {-1, {0}}})));
    put(s, 1, 3, poly_q(1, {{1, {1}}, {-1, {0}}}));
    put(s, 2, 1, big_q(mpq_class(5)));
    put(s, 2, 3, big_q(mpq_class(2, 3)));
    alias_of(s, "alias");

    // y outermost: every polynomial gets a level above it, once.
    ASSERT_EQ(err("&(J = y);"), 0);
    const TermList p2 = canonical_terms(2, {{1, {0, 2}}, {3, {0, 1}}});
    EXPECT_EQ(num_terms(at(d, 1, 1), 2), p2);
    EXPECT_EQ(num_terms(at(s, 2, 2), 2), p2);
    EXPECT_EQ(num_terms(at(s, 2049, 4), 2), p2);
    EXPECT_EQ(den_terms(at(s, 1, 1), 2), canonical_terms(2, {{1, {0, 1}}, {-1, {0, 0}}}));
    EXPECT_EQ(value_of(at(s, 2, 1)), 5);
    EXPECT_EQ(value_of(at(s, 2, 3)), mpq_class(2, 3));
    EXPECT_TRUE(sparse_ok(s->sparse, s->rows, 4));

    // y cancelled: back to polynomials in x.
    ASSERT_EQ(err("&(J = -y);"), 0);
    EXPECT_EQ(num_terms(at(d, 1, 1), 1), p1);
    EXPECT_EQ(num_terms(at(s, 2049, 4), 1), p1);
    EXPECT_EQ(den_terms(at(s, 1, 1), 1), canonical_terms(1, {{1, {1}}, {-1, {0}}}));

    // x cancelled: values at x = 1. x - 1 becomes 0 and leaves the array;
    // 1/(x - 1) becomes 1 with a warning.
    const Outcome o = run("&(J = -x);");
    EXPECT_EQ(o.error, 0);
    EXPECT_NE(o.printed.find("Warning. A quoly denominator has become 0.  That array entry has been set to 1.\n"),
              std::string::npos)
        << o.printed;
    EXPECT_NE(o.printed.find("Warning. A quoly denominator in a sparse array entry has become 0.  That entry has "
                             "been set to 1.\n"),
              std::string::npos);
    EXPECT_EQ(value_of(at(d, 1, 1)), 4);
    EXPECT_EQ(value_of(at(d, 2, 1)), 1);
    EXPECT_EQ(value_of(at(d, 1, 2)), 5);
    EXPECT_EQ(value_of(at(s, 2, 2)), 4);
    EXPECT_EQ(value_of(at(s, 2049, 4)), 4);
    EXPECT_EQ(value_of(at(s, 1, 1)), 1);
    EXPECT_EQ(at(s, 1, 3), quol_num_0);
    EXPECT_EQ(entries(s->sparse, s->rows), 5);
    EXPECT_TRUE(sparse_ok(s->sparse, s->rows, 4));
}

TEST_F(ArrayVars, ZeroDenominatorWarningsStopAtFortyAndAreCounted) {
    ASSERT_EQ(err("&(J = x);"), 0);
    array* s = sparse_array("s", 45, 1);
    for (int32_t r = 1; r <= 45; r++)
        put(s, r, 1, quoly_of(build_poly(1, {{r, {0}}}), build_poly(1, {{1, {1}}, {-1, {0}}})));
    const Outcome o = run("&(J = -x);");
    size_t warnings = 0;
    for (size_t at = o.printed.find("Warning. A quoly"); at != std::string::npos;
         at = o.printed.find("Warning. A quoly", at + 1))
        warnings++;
    EXPECT_EQ(warnings, 40u);
    EXPECT_NE(o.printed.find("... There were 5 more such cases.\n"), std::string::npos) << o.printed;
    for (int32_t r = 1; r <= 45; r++) EXPECT_EQ(value_of(at(s, r, 1)), 1);
}

TEST_F(ArrayVars, NamesAndCutOffsFromCharacterArrays) {
    chars("nm", std::string("f o\0o", 5));
    ASSERT_EQ(err("&(J = [nm]);"), 0);
    EXPECT_TRUE(its_a_polyname("foo"));

    char saved_prompt[sizeof prompt];
    std::memcpy(saved_prompt, prompt, sizeof prompt);
    ASSERT_EQ(err("&(M = [nm]);"), 0);
    EXPECT_STREQ(prompt, "foo");
    install_prompt(saved_prompt);

    // A file name spelled by an array.
    char path[] = "/tmp/tarvex_chars_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE* f = fdopen(fd, "w");
    std::fprintf(f, "zz := 41;\n&x;\n");
    std::fclose(f);
    chars("fname", path);
    EXPECT_EQ(err("&(R = [fname]);"), 0);
    EXPECT_EQ(lookup("zz"), 41);
    std::remove(path);

    // The name asked for at the terminal: the answer's line, and no more,
    // as with a name typed out.
    auto asked = [](const char* typed, std::string* rest) {
        TextStream answer(typed);
        FILE* const saved_input = Input;
        Input = answer.f;
        const std::string name = ask_file_name();
        rest->clear();
        for (int c; (c = std::fgetc(answer.f)) != EOF;) rest->push_back(static_cast<char>(c));
        Input = saved_input;
        return name;
    };
    std::string rest_typed, rest_array;
    EXPECT_EQ(asked("foo\nnext line;\n", &rest_typed), "foo");
    EXPECT_EQ(asked("[nm]\nnext line;\n", &rest_array), "foo");
    EXPECT_EQ(rest_array, rest_typed);
    EXPECT_NE(rest_array.find("next line;"), std::string::npos);

    // Cut-offs: the first cell sets poly_cutoff too; an empty cell counts
    // as a cell without moving to the next variable; small values are no
    // cut-offs.
    ASSERT_EQ(err("&(J = b);"), 0);
    ASSERT_EQ(err("&(J = a);"), 0);   // a, b, foo from the outermost
    const int32_t saved_cutoff = poly_cutoff;
    array* cuts = dense("cuts", 3, 1);
    put(cuts, 1, 1, big_q(mpq_class(9)));
    put(cuts, 3, 1, big_q(mpq_class(12)));
    ASSERT_EQ(err("&(# = [cuts]);"), 0);
    EXPECT_EQ(polynames->cutoff, 9);
    EXPECT_EQ(poly_cutoff, 9);
    EXPECT_EQ(polynames->next->cutoff, 12);
    put(cuts, 1, 1, big_q(mpq_class(3)));
    ASSERT_EQ(err("&(# = [cuts]);"), 0);
    EXPECT_EQ(poly_cutoff, 40);
    EXPECT_EQ(polynames->cutoff, 9);
    poly_cutoff = saved_cutoff;

    // Refusals: numbered errors, nothing adjoined.
    array* sp = sparse_array("sp", 2, 2);
    put(sp, 1, 1, big_q(mpq_class('q')));
    chars("bad", "1x");
    array* pol = dense("pol", 1, 1);
    put(pol, 1, 1, poly_q(3, {{1, {1, 0, 0}}}));
    const int32_t vars = number_polys;
    EXPECT_EQ(err("&(J = [sp]);"), 259);
    EXPECT_EQ(err("&(J = [nope]);"), 28);
    EXPECT_EQ(err("&(J = [bad]);"), 124);
    EXPECT_EQ(err("&(J = [pol]);"), 260);
    EXPECT_EQ(err("&(J = [nm[1]]);"), 258);
    EXPECT_EQ(err("&(J = [<]);"), 176);
    EXPECT_EQ(err("&(J = [nm);"), 24);
    EXPECT_EQ(number_polys, vars);
    dense("hollow", 2, 1);
    const Outcome o = run("&(M = [hollow]);");
    EXPECT_NE(o.printed.find("*** Warning. array [hollow] is empty.\n"), std::string::npos) << o.printed;
    install_prompt(saved_prompt);
}

}  // namespace
