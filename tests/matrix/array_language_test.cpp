// Arrays through the command language: record conservation over
// create/fill/evaluate/delete cycles, the store after deletions, sparse
// invariants after random statement sequences checked against a dense
// model, and the linear element lookup of compiled code.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "../interp/statement_runs.h"
#include "interp/char_arrays.h"
#include "interp/array_table.h"
#include "poly/polyvars.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "matrix/sparse_whole.h"
#include "quoly/quoly_eval.h"
#include "sparse_check.h"
#include "support/node_count.h"
#include "toplevel/display_array.h"
#include "support/ring_setup.h"

using statement_runs::Outcome;
using statement_runs::StatementRuns;
using statement_runs::value_of;

namespace {

class ArrayLanguage : public StatementRuns {
protected:
    void SetUp() override {
        start(0);
        addresser = 1;
        run("&(J = x);");
    }
    void TearDown() override {
        run("@[**];");
        addresser = 1;
        drop_all_poly_vars();
        finish();
    }
    static array* named(const char* s) {
        tokenrec t;
        set_token(&t, s);
        array* a = nullptr;
        fastestlookup(&t, &a);
        return a;
    }
};

// One cycle of everything the language does with arrays of every kind.
const char* const kCycle =
    "Array a[3,4], b[5], s[40,40] Sparse, t[5000] Sparse;"
    "a[1,1] := 5; a[2,2] := -7/3; a[3,4] := (x^2 + 1)/(x - 2); a[1,3] := 2^90;"
    "b[2] := x^3 - x; b[3] := b[2]#(x = 2); b[4] := a[3,4]#(1/x); b[5] :+ 9;"
    "s[1,1] := x + 1; s[40,40] := 1/x; s[7,3] := 3; s[7,3] := 0; s[2,2] :+ 4; s[2,2] :- 4;"
    "t[4097] := 8; t[2049] := x; t[2048] := 1/3;"
    "q := s[1,1]#(x = 3) + t[2049]#(2) + a[2,2];"
    "Func F(m, ^e) = m[1,1] := m[1,1] + 1; e := e * 2; 1."
    "F([a], b[2]); F([s], s[40,40]);"
    "@[b]; @[a]; @[s]; @[t]; @q; @F;";

TEST_F(ArrayLanguage, CyclesGiveEveryRecordBack) {
    // A first cycle takes the frames and records the cycles reuse.
    Outcome first = run(kCycle);
    ASSERT_EQ(first.error, 0) << first.printed;
    free_quoly(&prevnum);
    const int64_t colms = colms_in_use();
    const int64_t frames = frames_free();
    const int64_t records = arrays_free();
    const int32_t top = endarr;
    RecordLedger ledger;
    for (int k = 0; k < 3; k++) {
        Outcome o = run(kCycle);
        ASSERT_EQ(o.error, 0) << o.printed;
        free_quoly(&prevnum);
    }
    EXPECT_TRUE(ledger.balanced());
    EXPECT_EQ(colms_in_use(), colms);
    EXPECT_EQ(frames_free(), frames);
    EXPECT_EQ(arrays_free(), records);
    EXPECT_EQ(endarr, top);
}

TEST_F(ArrayLanguage, DeletingAMiddleArrayKeepsTheOthers) {
    const int32_t base = endarr;
    ASSERT_EQ(run("Array a[2,3], b[4], c[2,2];"
                  "a[2,3] := 11; b[1] := 21; b[4] := 24; c[1,2] := 32; c[2,2] := 1/2;")
                  .error,
              0);
    EXPECT_EQ(named("b")->first, base + 7);
    EXPECT_EQ(val("@[b]; c[1,2];"), 32);
    EXPECT_EQ(endarr, base + 6 + 4);
    EXPECT_EQ(named("c")->first, base + 7);
    EXPECT_EQ(val("c[2,2];"), mpq_class(1, 2));
    EXPECT_EQ(val("a[2,3];"), 11);
    EXPECT_EQ(err("b[1];"), 28);
    // One statement declaring two: b follows a's six cells.
    EXPECT_EQ(val("@[a]; Array a[2,3], b[4]; b[1] := 5; @[a]; b[1];"), 5);
}

TEST_F(ArrayLanguage, ErrorsLeaveNothingHalfMade) {
    const int32_t base = endarr;
    const int64_t records = arrays_free();
    EXPECT_EQ(err("Array g[1000,1001];"), 43);
    EXPECT_EQ(err("Array g[0];"), 27);
    EXPECT_EQ(err("Array g[-2];"), 314);
    EXPECT_EQ(err("Array G[2];"), 40);
    EXPECT_EQ(err("Array g 2;"), 178);
    EXPECT_EQ(endarr, base);
    EXPECT_EQ(arrays_free(), records);
    EXPECT_EQ(named("g"), nullptr);
    // The store's limit: five arrays of a million cells fit, the sixth not.
    EXPECT_EQ(run("Array h1[1000,1000], h2[1000,1000], h3[1000,1000], h4[1000,1000], h5[1000,1000];").error,
              0);
    EXPECT_EQ(err("Array h6[1000,200];"), 26);
    EXPECT_EQ(named("h6"), nullptr);
    EXPECT_EQ(val("h5[1000,1000] := 3; @[h1]; h5[1000,1000];"), 3);
}

TEST_F(ArrayLanguage, OriginZeroAddressesFromTheFirstCell) {
    addresser = 0;
    ASSERT_EQ(run("Array a[2,2], s[3,3] Sparse; a[0,0] := 4; a[1,1] := 9; s[0,0] := 7; s[2,2] := 8;").error, 0);
    array* a = named("a");
    EXPECT_EQ(value_of(*cell_at(a->first)), 4);
    EXPECT_EQ(value_of(*cell_at(a->first + 3)), 9);
    array* s = named("s");
    EXPECT_EQ(value_of(spar_retrieve(s->sparse, 1, 1)), 7);
    EXPECT_EQ(value_of(spar_retrieve(s->sparse, 3, 3)), 8);
    EXPECT_EQ(val("a[3];"), 9);
    EXPECT_EQ(err("a[2,0];"), 27);
}

// The compiled linear lookup makes a missing sparse entry where it looked
// (row from 0, column from 1), so that the next lookup finds it.
TEST_F(ArrayLanguage, LinearLookupMakesTheEntryItSearched) {
    ASSERT_EQ(run("Array s[3,4] Sparse;").error, 0);
    tokenrec nm;
    set_token(&nm, "s");
    array* rec = nullptr;
    for (int32_t k = 1; k <= 12; k++) {
        quoly** slot = spec_lookup(&nm, k, &rec);
        free_quoly(slot);
        quoly_set(100 + k, slot);
    }
    ASSERT_TRUE(sparse_ok(rec->sparse, 3, 4));
    for (int32_t k = 1; k <= 12; k++) {
        const int32_t row = (k - 1) % 3 + 1, col = (k - 1) / 3 + 1;
        EXPECT_EQ(value_of(spar_retrieve(rec->sparse, row, col)), 100 + k) << k;
        quoly** again = spec_lookup(&nm, k, &rec);
        EXPECT_EQ(value_of(*again), 100 + k);
    }
    EXPECT_EQ(err("q := 1;"), 0);
    EXPECT_THROW(spec_lookup(&nm, 13, &rec), TarvexUnwind);
    EXPECT_THROW(spec_lookup(&nm, 0, &rec), TarvexUnwind);
}

// Every entry evaluated at one reading of the arguments; entries that
// become 0 go, the stored matrix stays as it was; a matrix without entries
// still reads its arguments.
TEST_F(ArrayLanguage, SparseEvaluationCopiesAndDropsZeros) {
    ASSERT_EQ(run("Array s[2,3] Sparse, e[4,4] Sparse; s[1,1] := x - 1; s[2,3] := x^2 + 1; s[1,2] := 1/(x + 1);").error,
              0);
    array* a = named("s");
    sparse* m = a->sparse;
    int copied = 0;
    quoly* value = nullptr;
    TextStream st("(1);");
    scanner(&st.f, &token, &zilch);
    sparse_evalquoly(&value, &m, 2, &copied, &st.f, &zilch);
    EXPECT_EQ(copied, 1);
    EXPECT_NE(m, a->sparse);
    EXPECT_TRUE(token_is(&token, ";"));
    EXPECT_EQ(value, nullptr);
    ASSERT_TRUE(sparse_ok(m, 2, 3));
    Model want(2, 3);
    want.at(1, 2) = mpq_class(1, 2);
    want.at(2, 3) = 2;
    EXPECT_TRUE(matches(m, want));
    free_sparse(&m, 2, 1);
    EXPECT_EQ(val("s[1,1]#(x = 3);"), 2);

    array* empty = named("e");
    m = empty->sparse;
    copied = 0;
    TextStream st2("(2) + 1;");
    scanner(&st2.f, &token, &zilch);
    sparse_evalquoly(&value, &m, 4, &copied, &st2.f, &zilch);
    EXPECT_TRUE(token_is(&token, "+"));
    EXPECT_TRUE(sparse_ok(m, 4, 4));
    free_sparse(&m, 4, 1);
}

// What write puts in a file.
template <typename Write>
std::string captured(Write write) {
    FILE* f = tmpfile();
    write(&f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(f);
    return text;
}

std::string file_text(void (*write)(FILE**, array*), array* a) {
    return captured([&](FILE** f) { write(f, a); });
}

// In a file a sparse array takes the sparse literal's groups (row, then
// column and value pairs), which the literal reader reads back; rows
// without entries are left out and the subscripts follow the origin.
TEST_F(ArrayLanguage, FilesTakeTheSparseLiteral) {
    ASSERT_EQ(run("Array s[3,4] Sparse, d[2,2], e[2] Sparse;"
                  "s[1,2] := 4; s[1,4] := -1/2; s[3,1] := x^2 - 1; d[1,1] := 7; d[2,2] := 2^40;")
                  .error,
              0);
    EXPECT_EQ(file_text(write_array_value, named("s")),
              "[s] := [ [1, 2, 4, 4, -1 / 2], \n         [3, 1, &_n ( x^2 - 1 )]]; \n \n");
    addresser = 0;
    EXPECT_EQ(file_text(write_array_value, named("s")),
              "[s] := [ [0, 1, 4, 3, -1 / 2], \n         [2, 0, &_n ( x^2 - 1 )]]; \n \n");
    addresser = 1;
    // An empty sparse array is its declaration alone.
    EXPECT_EQ(file_text(write_array_value, named("e")), "");
    EXPECT_EQ(file_text(write_array_value, named("d")), "[d] := [[  7, 0, \n          0,  1099511627776   ]];\n");
}

std::string shown(array* a, int32_t width) {
    return captured([&](FILE** f) { arrdisplay_whole(f, a, 1, width, 0); });
}

// The matrix layout at the terminal: the header with the prompt and name,
// cells padded to the width with their commas, rows joined by the
// continuation mark and indented under the first; the system array's
// cells come from its own block, indented by 3.
TEST_F(ArrayLanguage, MatrixLayoutAtTheTerminal) {
    ASSERT_EQ(run("Array m[2,2], v[3]; m[1,1] := 1; m[1,2] := 2; m[2,1] := 3; m[2,2] := 4; v[2] := 10;").error, 0);
    EXPECT_EQ(shown(named("m"), 4), ">[m] := [[  1,  2, `\n            3,  4   ]]\n");
    EXPECT_EQ(shown(named("v"), 4), ">[v] := [[  *,  `\n            10, `\n            *    ]]\n");
    quoly* cells[4] = {};
    for (int k = 0; k < 4; k++) quoly_set(k + 5, &cells[k]);
    imag* count = new_number();
    special_set(4, count);
    fill_syst_array(cells, count, 1, nullptr, 2);
    free_imag(&count);
    EXPECT_EQ(shown(syst, 4), "[[  5,  7, `\n    6,  8   ]]\n");
    syst_dump = 0;
}

TEST_F(ArrayLanguage, CharacterAndCutoffArrays) {
    ASSERT_EQ(run("&(J = y); Array h[3], c[2], n[2,2], long[300], sp[2] Sparse;"
                  "h[1] := 72; h[2] := 32; h[3] := 105; c[1] := 3; c[2] := 50;"
                  "for i = 1 to 300 do long[i] := 97 + i | 26 od;")
                  .error,
              0);
    std::string text;
    TextStream st("[h]; [long]; [sp]; [zz]; [n];");
    scanner(&st.f, &token, &zilch);
    get_from_array(&st.f, &zilch, &text);
    EXPECT_EQ(text, "Hi");
    scanner(&st.f, &token, &zilch);
    get_from_array(&st.f, &zilch, &text);
    ASSERT_EQ(text.size(), 255u);
    for (size_t k = 0; k < text.size(); k++) EXPECT_EQ(text[k], 'a' + static_cast<char>((k + 1) % 26)) << k;
    scanner(&st.f, &token, &zilch);
    testing::internal::CaptureStdout();
    EXPECT_THROW(get_from_array(&st.f, &zilch, &text), TarvexUnwind);
    testing::internal::GetCapturedStdout();

    const int32_t outer = polynames->cutoff;
    const int32_t saved_cutoff = poly_cutoff;
    TextStream cuts("[c];");
    scanner(&cuts.f, &token, &zilch);
    get_cut_from_array(&cuts.f, &zilch);
    EXPECT_EQ(polynames->cutoff, outer);
    EXPECT_EQ(poly_cutoff, 40);
    EXPECT_EQ(polynames->next->cutoff, 50);
    poly_cutoff = saved_cutoff;
}

// Random statements on a sparse array around the frame boundaries, the
// matrix checked against a dense model after each batch.
TEST_F(ArrayLanguage, RandomStatementsKeepTheSparseInvariants) {
    for (int32_t rows : {2048, 2049, 4097}) {
        const int32_t cols = 5;
        ASSERT_EQ(run("Array s[" + std::to_string(rows) + "," + std::to_string(cols) + "] Sparse;").error, 0);
        Model model(rows, cols);
        std::mt19937 gen(static_cast<uint32_t>(rows));
        std::uniform_int_distribution<int32_t> row_of(1, rows), col_of(1, cols), small(-3, 3), kind(0, 5);
        // Rows near the frame edges come up often.
        const int32_t edges[] = {1, 2047, 2048, 2049, 2050, rows - 1, rows};
        for (int batch = 0; batch < 20; batch++) {
            std::string text;
            for (int k = 0; k < 25; k++) {
                const int32_t r = (k % 3 == 0) ? std::min(edges[gen() % 7], rows) : row_of(gen);
                const int32_t c = col_of(gen);
                const int32_t v = small(gen);
                const std::string at = "s[" + std::to_string(r) + "," + std::to_string(c) + "]";
                switch (kind(gen)) {
                case 0:
                case 1:
                    text += at + " := " + std::to_string(v) + ";";
                    model.at(r, c) = v;
                    break;
                case 2:
                    text += at + " := " + std::to_string(v) + "/7;";
                    model.at(r, c) = mpq_class(v, 7);
                    break;
                case 3:
                    if (model.at(r, c).get_den() != 1) break;
                    text += at + " :+ " + std::to_string(v < 0 ? -v : v) + ";";
                    model.at(r, c) += (v < 0 ? -v : v);
                    break;
                case 4:
                    text += at + " := 0;";
                    model.at(r, c) = 0;
                    break;
                default:
                    // Linear subscripts count column by column.
                    text += "s[" + std::to_string(int64_t{c - 1} * rows + r) + "] := " + std::to_string(v) + ";";
                    model.at(r, c) = v;
                    break;
                }
            }
            Outcome o = run(text);
            ASSERT_EQ(o.error, 0) << text << o.printed;
            array* s = named("s");
            ASSERT_TRUE(sparse_ok(s->sparse, rows, cols)) << text;
            ASSERT_TRUE(matches(s->sparse, model)) << text;
        }
        ASSERT_EQ(run("@[s];").error, 0);
    }
}

}  // namespace
