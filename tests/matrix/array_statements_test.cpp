// Array statements as a file reads them (line-aware lists): rows typed on
// lines, sparse literals with duplicate, cancelling and zero entries, the
// fallback to a dense list and its value in modular arithmetic, errors that
// leave the target as it was, self-assignment, and re-shaping in a loop
// without leaking records or piling up arrays under one name.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <string>

#include "array_walks.h"
#include "interp/array_table.h"
#include "sparse_check.h"
#include "support/node_count.h"
#include "support/stream_capture.h"
#include "toplevel/save_file.h"

namespace {

using array_walks::ArrayWalks;
using array_walks::digits_value;

class ArrayStatements : public ArrayWalks {
protected:
    // As a file is read: an error unwinds to the terminal's line mode, which
    // the next statement of these tests does not want.
    static int err(const std::string& text) {
        tt_flag = 0;
        return run(text).error;
    }
    static array* named(const char* s) {
        tokenrec t = tok(s);
        array* a = nullptr;
        fastestlookup(&t, &a);
        return a;
    }
    // Records under the name (a re-shaped array must leave one).
    static int records_named(const char* s) {
        int n = 0;
        for (array* b : arr_store)
            for (array* a = b; a; a = a->link)
                if (std::string(a->name) == s) n++;
        return n;
    }
    // The exact values of a dense or sparse array, row by row.
    static std::vector<mpq_class> values(array* a) {
        std::vector<mpq_class> v;
        const int32_t cols = a->onedim ? 1 : array_columns(a);
        for (int32_t i = 1; i <= a->rows; i++)
            for (int32_t j = 1; j <= cols; j++) {
                quoly* q = at(a, i, j);
                v.push_back(q ? digits_value(q) : mpq_class(0));
            }
        return v;
    }
    static std::vector<mpq_class> ints(std::initializer_list<long> l) {
        std::vector<mpq_class> v;
        for (long x : l) v.push_back(x);
        return v;
    }
};

TEST_F(ArrayStatements, RowsOnLinesAndOneLineAsAColumn) {
    ASSERT_EQ(err("Array a[2,3];\n[a] := [[1, 2, 3,\n4, 5, 6]];"), 0);
    EXPECT_EQ(values(named("a")), ints({1, 2, 3, 4, 5, 6}));
    // A new name takes the literal's own shape: one line is a column.
    ASSERT_EQ(err("[b] := [[7, 8, 9]];"), 0);
    array* b = named("b");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->rows, 3);
    EXPECT_EQ(cell_count(b), 3);
    ASSERT_EQ(err("[c] := [[1, 2,\n3, 4,\n5, 6]];"), 0);
    array* c = named("c");
    EXPECT_EQ(c->rows, 3);
    EXPECT_EQ(values(c), ints({1, 2, 3, 4, 5, 6}));
    // Without the comma the line break is no separator: long numbers are
    // written in groups across lines, so "3" and "4" make 34.
    ASSERT_EQ(err("[e] := [[1, 2, 3\n4, 5, 6]];"), 0);
    EXPECT_EQ(values(named("e")), ints({1, 2, 34, 5, 6}));
    // Lengths that do not divide: error 173, the target as it was.
    EXPECT_EQ(err("[a] := [[9, 9, 9,\n9, 9]];"), 173);
    EXPECT_EQ(values(named("a")), ints({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(err("[a] := [[1, 2 ; 3]];"), 70);
    EXPECT_EQ(values(named("a")), ints({1, 2, 3, 4, 5, 6}));
}

TEST_F(ArrayStatements, SparseLiteralsSumCancelAndSkipZeros) {
    ASSERT_EQ(err("&(J = x);"), 0);
    ASSERT_EQ(err("Array s[3,4] Sparse;\n"
                  "[s] := [[1, 2, 5, 4, 1, 2, -5],\n"
                  "        [3, 1, 0],\n"
                  "        [2, 3, 7, 3, 1/2, 1, -2]];"),
              0);
    array* s = named("s");
    ASSERT_TRUE(s && s->sparse);
    EXPECT_TRUE(sparse_ok(s->sparse, 3, 4));
    EXPECT_EQ(entries(s->sparse, 3), 3);   // (1,4), (2,1), (2,3)
    EXPECT_EQ(values(s), std::vector<mpq_class>({0, 0, 0, 1, -2, 0, mpq_class(15, 2), 0, 0, 0, 0, 0}));
    const std::vector<mpq_class> before = values(s);
    // A later group's row out of range: error 27, nothing changed or leaked.
    const int64_t colms = colms_in_use();
    EXPECT_EQ(err("[s] := [[1, 1, 4], [0, 1, 1]];"), 27);
    EXPECT_EQ(err("[s] := [[1, 5, 4]];"), 27);
    EXPECT_EQ(err("[s] := [[1, 1, 4 ; 2]];"), 251);
    EXPECT_EQ(err("[s] := [[1, 1, 4], 2];"), 255);
    EXPECT_EQ(err("[s] := [[1, x, 4]];"), 265);
    EXPECT_EQ(values(s), before);
    EXPECT_EQ(colms_in_use(), colms);
    // A first row index out of range: a dense list, three lines of four.
    ASSERT_EQ(err("[s] := [[0, 1, 0, 2,\n0, 0, 0, 0,\n3, 0, 0, 4]];"), 0);
    s = named("s");
    ASSERT_TRUE(s->sparse);
    EXPECT_TRUE(sparse_ok(s->sparse, 3, 4));
    EXPECT_EQ(entries(s->sparse, 3), 4);
    EXPECT_EQ(values(s), ints({0, 1, 0, 2, 0, 0, 0, 0, 3, 0, 0, 4}));
}

// The first element of a dense list that falls back from the sparse reader
// has the value it has when read in modular arithmetic.
TEST_F(ArrayStatements, ModularFallbackGivesTheFirstElementItsResidue) {
    ASSERT_EQ(err("&(p = 7);"), 0);
    ASSERT_EQ(err("Array t[2,2] Sparse;"), 0);
    struct Case {
        const char* first;
        int32_t want;
    };
    for (const Case& c : {Case{"1/2", 4}, Case{"10^20", 2}, Case{"-3", 4}, Case{"100000000000000000003", 5},
                          Case{"3/(-2)", 2}}) {
        const std::string text = std::string("[t] := [[") + c.first + ", 1,\n6, 5]];";
        ASSERT_EQ(err(text), 0) << text;
        array* t = named("t");
        ASSERT_TRUE(t->sparse);
        quoly* q = at(t, 1, 1);
        ASSERT_TRUE(q && q->isnum) << c.first;
        EXPECT_EQ(q->nnum->value, c.want) << c.first;
        EXPECT_EQ(at(t, 2, 1)->nnum->value, 6);
    }
    EXPECT_EQ(err("[t] := [[14, 1,\n2, 3]];"), 359);
    array* t = named("t");
    ASSERT_TRUE(t && t->sparse);
    ASSERT_NE(at(t, 2, 1), nullptr);
    EXPECT_EQ(at(t, 2, 1)->nnum->value, 6);
    // Indices are machine words in modular mode: a sparse literal stays one,
    // its values residues, a pair that cancels modulo 7 leaving nothing.
    ASSERT_EQ(err("Array u[4,1] Sparse;\n[u] := [[2, 1, 6], [4, 1, 1/2], [2, 1, 1], [1, 1, 10^20]];"), 0);
    array* u = named("u");
    ASSERT_TRUE(u && u->sparse);
    EXPECT_TRUE(sparse_ok(u->sparse, 4, 1));
    EXPECT_EQ(entries(u->sparse, 4), 2);
    EXPECT_EQ(at(u, 4, 1)->nnum->value, 4);
    EXPECT_EQ(at(u, 1, 1)->nnum->value, 2);
    ASSERT_EQ(err("&p;"), 0);
}

// [s] := [s] leaves any array as it was and takes no record for good.
TEST_F(ArrayStatements, SelfAssignmentChangesAndLeaksNothing) {
    ASSERT_EQ(err("&(J = x);"), 0);
    ASSERT_EQ(err("Array s[30,30] Sparse, d[3,2];\n"
                  "[s] := [[1, 1, 2, 30, 1/3], [17, 4, x]];\n"
                  "[d] := [[1, 2,\n3, 4,\n5, 6]];"),
              0);
    const std::vector<mpq_class> d_before = values(named("d"));
    for (int round = 0; round < 2; round++) {
        const int64_t colms = colms_in_use();
        const int64_t frames = frames_free();
        const int64_t records = arrays_free();
        RecordLedger ledger;
        for (int k = 0; k < 5; k++) {
            ASSERT_EQ(err("[s] := [s];"), 0);
            ASSERT_EQ(err("[d] := [d];"), 0);
        }
        free_quoly(&prevnum);
        array* s = named("s");
        EXPECT_TRUE(sparse_ok(s->sparse, 30, 30));
        EXPECT_EQ(entries(s->sparse, 30), 3);
        EXPECT_EQ(digits_value(at(s, 1, 30)), mpq_class(1, 3));
        EXPECT_EQ(values(named("d")), d_before);
        if (round == 0) continue;   // the first round may take the stash's first records
        EXPECT_EQ(colms_in_use(), colms);
        EXPECT_EQ(frames_free(), frames);
        EXPECT_EQ(arrays_free(), records);
        EXPECT_TRUE(ledger.balanced());
    }
    EXPECT_EQ(records_named("s"), 1);
    EXPECT_EQ(records_named("d"), 1);
}

// Re-shaping a whole array in a loop neither leaks nor fills the store,
// and a save then holds one array under the name.
TEST_F(ArrayStatements, ReshapingLeavesOneRecordAndNoLeak) {
    ASSERT_EQ(err("Array a[2,2], s[3,3] Sparse;"), 0);
    const char* cycle =
        "[a] := [(1, 2, 3)]; [a] := [(1, 2, 3, 4, 5)]; [a] := 2*[a] - [a];"
        "[s] := [3]; [s] := [s] * 2 - Trans [(1, 2, 3)] * [(1, 2, 3)]; [s] := Trans [(1, 2, 3)] * [(1, 2)];";
    ASSERT_EQ(err(cycle), 0);
    free_quoly(&prevnum);
    const int64_t colms = colms_in_use();
    const int64_t records = arrays_free();
    const int32_t top = endarr;
    RecordLedger ledger;
    for (int k = 0; k < 20; k++) ASSERT_EQ(err(cycle), 0);
    free_quoly(&prevnum);
    EXPECT_EQ(records_named("a"), 1);
    EXPECT_EQ(records_named("s"), 1);
    EXPECT_EQ(values(named("a")), ints({1, 2, 3, 4, 5}));
    EXPECT_EQ(colms_in_use(), colms);
    EXPECT_EQ(arrays_free(), records);
    EXPECT_EQ(endarr, top);
    EXPECT_TRUE(ledger.balanced());
    const std::string listed = to_stream([](FILE** out) { do_array_p(out, named("a")); });
    EXPECT_EQ(listed.find("Array a["), listed.rfind("Array a[")) << listed;
}

// An error anywhere in the right side leaves the target and the records
// as they were.
TEST_F(ArrayStatements, ErrorsLeaveTheTargetAndTheRecords) {
    ASSERT_EQ(err("&(J = x);"), 0);
    ASSERT_EQ(err("Array a[2,3], b[3,3], s[3,3] Sparse;\n"
                  "[a] := [[1, 2, 3,\n4, 5, 6]]; [b] := [[1, 0, 2,\n0, 1, 0,\n3, 0, 1]]; [s] := [2];"),
              0);
    ASSERT_EQ(err("[a] := [a] * [b]; [a] := [a] + [a] * [b];"), 0);   // warm-up
    ASSERT_EQ(err("[a] := [[1, 2, 3,\n4, 5, 6]];"), 0);
    free_quoly(&prevnum);
    const std::vector<mpq_class> a_before = values(named("a"));
    const int64_t colms = colms_in_use();
    RecordLedger ledger;
    const struct {
        const char* text;
        int code;
    } bad[] = {
        {"[a] := [a] * [b] * [(1, 2)];", 39},        {"[a] := [a] * [b] + [b];", 39},
        {"[a] := [b] * [b] _ [s];", 242},       {"[a] := [s] * [s] * [a] * 2 * [a];", 39},
        {"[a] := Trans [a] * [a] + [zz];", 28}, {"[a] := [a] * [b] + [(1, 2, 3, 4, 5, 6, ];", 2},
        {"[a] := [[1, 2, 3,\n4, 5]];", 173},    {"[a] := [a] * [b] # (x = [a]);", 0},
    };
    for (const auto& c : bad) {
        RecordLedger each;
        const int e = err(c.text);
        free_quoly(&prevnum);
        EXPECT_TRUE(each.balanced()) << c.text;
        if (c.code) {
            EXPECT_EQ(e, c.code) << c.text;
        } else {
            EXPECT_NE(e, 0) << c.text;
        }
        EXPECT_EQ(values(named("a")), a_before) << c.text;
    }
    free_quoly(&prevnum);
    EXPECT_EQ(colms_in_use(), colms);
    EXPECT_TRUE(ledger.balanced());
}

// Generated arrays against the values computed here, dense and straight
// into a sparse target, at the terminal and inside a function; an error in
// one cell leaves the target as it was and gives every record back.
TEST_F(ArrayStatements, GeneratedArraysCellByCell) {
    ASSERT_EQ(err("[g] := [<i = 1, 7><j = 1, 5> i^2 - 3*j + 1/(i + j)];"), 0);
    array* g = named("g");
    ASSERT_TRUE(g);
    ASSERT_EQ(g->rows, 7);
    ASSERT_EQ(cell_count(g), 35);
    std::vector<mpq_class> want;
    for (int i = 1; i <= 7; i++)
        for (int j = 1; j <= 5; j++) want.push_back(mpq_class(i * i - 3 * j) + mpq_class(1, i + j));
    EXPECT_EQ(values(g), want);

    ASSERT_EQ(err("Array s[40,40] Sparse;\n[s] := [<i = 1, 40><j = 1, 40> (i - j) * (i + j - 41)];"), 0);
    array* s = named("s");
    ASSERT_TRUE(s && s->sparse);
    EXPECT_TRUE(sparse_ok(s->sparse, 40, 40));
    int64_t nonzero = 0;
    std::vector<mpq_class> sw;
    for (int i = 1; i <= 40; i++)
        for (int j = 1; j <= 40; j++) {
            sw.push_back((i - j) * (i + j - 41));
            if (sw.back() != 0) nonzero++;
        }
    EXPECT_EQ(entries(s->sparse, 40), nonzero);
    EXPECT_EQ(values(s), sw);

    // A step leaves zeros between; a function builds one from its argument.
    ASSERT_EQ(err("Func G(n) = [w] := [<i = 1, 2*n, 2> i*n]; 1.\nG(3);"), 0);
    EXPECT_EQ(values(named("w")), ints({3, 0, 9, 0, 15, 0}));
    ASSERT_EQ(err("@G;"), 0);

    ASSERT_EQ(err("[g] := [<i = 1, 7><j = 1, 5> i^2 - 3*j + 1/(i + j)];"), 0);
    free_quoly(&prevnum);
    const int64_t colms = colms_in_use();
    RecordLedger ledger;
    EXPECT_NE(err("[g] := [<i = 1, 5><j = 1, 2> i + 1/(i - 3)];"), 0);
    EXPECT_NE(err("[s] := [<i = 1, 5><j = 1, 2> i + 1/(i - 3)];"), 0);
    EXPECT_EQ(err("[g] := [<i = 1, 5> i;"), 24);
    EXPECT_EQ(err("[g] := [<i = 0, 5> i];"), 79);
    EXPECT_EQ(err("[g] := [<i = 1, 0> i];"), 80);
    EXPECT_EQ(err("[g] := [<i = 1, 5, -1> i];"), 82);
    EXPECT_EQ(err("[g] := [<i = 1, 5 i];"), 78);
    EXPECT_EQ(err("[g] := [<i = 1, 1001><j = 1, 1000> i];"), 43);
    free_quoly(&prevnum);
    EXPECT_EQ(values(named("g")), want);
    EXPECT_EQ(values(named("s")), sw);
    EXPECT_EQ(colms_in_use(), colms);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(ArrayStatements, GreatestIntegerAndAbsoluteValueOfCells) {
    ASSERT_EQ(err("Array a[2,3];\n[a] := [[-7/2, 5/3, -4,\n0, 9/10, -1/3]];"
                  "[f] := $[a]; [b] := |[a]|; [c] := $-[a] + |Trans Trans [a]|;"),
              0);
    const std::vector<mpq_class> a = values(named("a"));
    std::vector<mpq_class> f, b, c;
    for (const mpq_class& x : a) {
        mpz_class fl;
        mpz_fdiv_q(fl.get_mpz_t(), x.get_num().get_mpz_t(), x.get_den().get_mpz_t());
        f.push_back(mpq_class(fl));
        b.push_back(abs(x));
        mpz_class nf;
        mpz_fdiv_q(nf.get_mpz_t(), mpz_class(-x.get_num()).get_mpz_t(), x.get_den().get_mpz_t());
        c.push_back(mpq_class(nf) + abs(x));
    }
    EXPECT_EQ(values(named("f")), f);
    EXPECT_EQ(values(named("b")), b);
    EXPECT_EQ(values(named("c")), c);
    EXPECT_EQ(values(named("a")), a);   // the named cells are shared, never changed
    EXPECT_EQ(err("[b] := |[a] * 2|;"), 63);
}

}  // namespace
