// Equal/Equalneg, Poly, Move, Swap and Rname run as typed statements.
// Equality answers are checked against a decision made here from the
// numerators and denominators the test wrote down; Poly against a
// polynomial built by hand; Move and Swap against a model of the cells,
// with the sparse rows walked for order and stored zeros.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "builtins/storage_builtins.h"
#include "interp/dispatcher.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "../interp/statement_runs.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using statement_runs::Outcome;

class StorageBuiltins : public statement_runs::StatementRuns {
protected:
    void SetUp() override {
        start(0);
        drop_all_poly_vars();
    }
    void TearDown() override {
        finish();
        drop_all_poly_vars();
    }

    // A line end after the last statement would run one more, empty, statement.
    static Outcome run(std::string text) {
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return StatementRuns::run(text);
    }
    // The value of the last statement, a plain machine-size integer.
    long number(const std::string& text) {
        Outcome r = run(text);
        EXPECT_EQ(r.error, 0) << text << "\n" << r.printed;
        EXPECT_EQ(r.last.get_den(), 1) << text;
        return r.last.get_num().get_si();
    }
    // The value of the last statement, which the statement loop keeps.
    quoly* value(const std::string& text) {
        Outcome r = run(text);
        EXPECT_EQ(r.error, 0) << text << "\n" << r.printed;
        return prevnum;
    }
    void ok(const std::string& text) {
        Outcome r = run(text);
        ASSERT_EQ(r.error, 0) << text << "\n" << r.printed;
    }
    static quoly* find_var_by(const char* s) {
        tokenrec t;
        set_token(&t, s);
        var* v = find_var(&t);
        return v ? v->value : nullptr;
    }
    static array* arr(const char* s) {
        tokenrec t;
        set_token(&t, s);
        return find_array(&t);
    }
};

// ---- equality: a decision from numerators and denominators ----

using Coefs = std::vector<long>;   // ascending powers of x

Coefs mul(const Coefs& a, const Coefs& b) {
    Coefs r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) r[i + j] += a[i] * b[j];
    while (r.size() > 1 && r.back() == 0) r.pop_back();
    return r;
}
Coefs neg(Coefs a) {
    for (long& c : a) c = -c;
    return a;
}

struct Value {
    const char* name;
    const char* text;   // how it is stored; null: left unset
    Coefs n, d;
};

// Numerators and denominators as the normal form keeps them: a positive
// denominator, monic when it is a polynomial.
const std::vector<Value> kValues = {
    {"vzero", "0", {0}, {1}},
    {"s[1]", nullptr, {0}, {1}},       // an absent sparse entry
    {"dd[1]", nullptr, {0}, {1}},      // a dense cell never assigned
    {"vone", "1", {1}, {1}},
    {"vmone", "-1", {-1}, {1}},
    {"vthree", "3", {3}, {1}},
    {"vmthree", "-3", {-3}, {1}},
    {"vfour", "4", {4}, {1}},
    {"vq", "3/4", {3}, {4}},
    {"vmq", "-3/4", {-3}, {4}},
    {"vqq", "1/4", {1}, {4}},
    {"vp", "x + 1", {1, 1}, {1}},
    {"vmp", "-x - 1", {-1, -1}, {1}},
    {"vpp", "x^2 - 1", {-1, 0, 1}, {1}},
    {"vr", "(x + 1)/(x - 2)", {1, 1}, {-2, 1}},
    {"vmr", "(-x - 1)/(x - 2)", {-1, -1}, {-2, 1}},
    {"vri", "(x - 2)/(x + 1)", {-2, 1}, {1, 1}},
    {"vu", "1/(x + 1)", {1}, {1, 1}},
    {"vmu", "-1/(x + 1)", {-1}, {1, 1}},
    {"s[2]", "4", {4}, {1}},           // a sparse entry
};

// The part a side selects, as a fraction (numerator, denominator).
std::pair<Coefs, Coefs> part(const Value& v, int wrap) {
    if (wrap == 1) return {v.n, {1}};
    if (wrap == 2) return {v.d, {1}};
    return {v.n, v.d};
}

std::string side(const Value& v, int wrap) {
    static const char* open[] = {"", "Numer(", "Denom("};
    return std::string(open[wrap]) + v.name + (wrap ? ")" : "");
}

TEST_F(StorageBuiltins, EqualityAgainstNumeratorsAndDenominators) {
    std::string setup = "&(J = x);\nArray s[2] Sparse, dd[1];\n";
    for (const Value& v : kValues)
        if (v.text) setup += std::string(v.name) + " := " + v.text + ";\n";
    ok(setup);
    int checked = 0;
    for (const Value& a : kValues)
        for (const Value& b : kValues)
            for (int wa = 0; wa < 3; wa++)
                for (int wb = 0; wb < 3; wb++) {
                    auto [an, ad] = part(a, wa);
                    auto [bn, bd] = part(b, wb);
                    const Coefs l = mul(an, bd), r = mul(bn, ad);
                    const std::string args = "(" + side(a, wa) + ", " + side(b, wb) + ");\n";
                    EXPECT_EQ(number("Equal" + args), l == r ? 1 : 0) << "Equal" << args;
                    EXPECT_EQ(number("Equalneg" + args), l == neg(r) ? 1 : 0) << "Equalneg" << args;
                    checked += 2;
                }
    EXPECT_EQ(checked, 2 * 9 * int(kValues.size() * kValues.size()));
    // Nothing was made or changed on the way: the sparse array holds one entry.
    array* s = arr("s");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(*row_head(s->sparse, 1), nullptr);
    ok("@[s]; @[dd];\n");
}

TEST_F(StorageBuiltins, EqualityInResidueRingsAndMachineWords) {
    ok("&(J = x);\nu := x + 1;\nv := 3;\n");
    EXPECT_EQ(number("Equalneg(Denom(u), Denom(v));\n"), 0);
    {
        // 1 = -1 modulo 2: both denominators (absent, 1) are negatives.
        PrimeRing two(2);
        ok("a := x + 1;\nb := x + 1;\n");
        EXPECT_EQ(number("Equalneg(a, b);\n"), 1);
        EXPECT_EQ(number("Equalneg(Denom(a), Denom(b));\n"), 1);
        EXPECT_EQ(number("Equalneg(Denom(a), Numer(b));\n"), 0);
        // Values made in this ring are freed in it.
        free_quoly(&prevnum);
        clear_sca_store();
    }
    {
        PrimeRing seven(7);
        ok("a := 3;\nb := 4;\nc := 3*x + 2;\nd := 4*x + 5;\ne := (x + 1)/(x + 3);\n");
        EXPECT_EQ(number("Equalneg(a, b);\n"), 1);
        EXPECT_EQ(number("Equal(a, b);\n"), 0);
        EXPECT_EQ(number("Equalneg(c, d);\n"), 1);
        EXPECT_EQ(number("Equalneg(Numer(e), Denom(e));\n"), 0);
        EXPECT_EQ(number("Equal(Denom(e), Denom(e));\n"), 1);
        EXPECT_EQ(number("Equalneg(Denom(a), 6);\n"), 1);
        free_quoly(&prevnum);
        clear_sca_store();
    }
    {
        // Machine integers: negation by the word.
        RingStateGuard words;
        lintmode = 1;
        modularmode = 0;
        ok("a := 5;\nb := -5;\nc := 0;\n");
        EXPECT_EQ(number("Equalneg(a, b);\n"), 1);
        EXPECT_EQ(number("Equal(a, b);\n"), 0);
        EXPECT_EQ(number("Equal(Denom(b), 1);\n"), 1);
        EXPECT_EQ(number("Equalneg(c, c);\n"), 1);
        free_quoly(&prevnum);
        clear_sca_store();
    }
}

TEST_F(StorageBuiltins, PolyInResidueRings) {
    ok("&(J = x);\n");
    PrimeRing seven(7);
    ok("Array pm[3];\npm[1] := 3; pm[2] := -1; pm[3] := 7;\n");
    quoly* r = value("Poly[pm];\n");
    ASSERT_FALSE(r->isnum);
    PolyHold want(build_poly(1, {{3, {2}}, {6, {1}}}));
    EXPECT_TRUE(check_poly_shape(r->pnum, 1));
    EXPECT_TRUE(poly_equal(r->pnum, want.p));
    EXPECT_EQ(number("pm[3] := 2; pm[1] := 0; pm[2] := 0; Poly[pm];\n"), 2);
    free_quoly(&prevnum);
    ok("@[pm];\n");
}

TEST_F(StorageBuiltins, EqualityErrorsGoOnAtANestedLevel) {
    ok("u := 3;\n");
    EXPECT_EQ(run("Equal u, u);\n").error, 177);
    EXPECT_EQ(run("Equal(u u);\n").error, 202);
    EXPECT_EQ(run("Equal(u, u;\n").error, 1);
    EXPECT_EQ(run("Equal(Numer u), u);\n").error, 177);
    EXPECT_EQ(run("Equal(Numer(u, u);\n").error, 1);
    EXPECT_EQ(run("Equal(nosuchvar, u);\n").error, 19);
}

// ---- Poly ----

TEST_F(StorageBuiltins, PolyOfDenseAndSparseArrays) {
    ok("&(J = x); &(J = y);\nArray pa[5], ps[6] Sparse;\n"
       "pa[1] := 7; pa[2] := -3; pa[4] := 123456789012345678901; pa[5] := 0;\n"
       "ps[2] := 5; ps[6] := -1;\n");
    quoly* r = value("Poly[pa];\n");
    ASSERT_FALSE(r->isnum);
    EXPECT_EQ(r->den, nullptr);
    EXPECT_EQ(r->rat, 0);
    {
        PolyHold want(build_poly(2, {{7, {4, 0}}, {-3, {3, 0}}, {"123456789012345678901", {1, 0}}}));
        EXPECT_TRUE(check_poly_shape(r->pnum, 2));
        EXPECT_TRUE(poly_equal(r->pnum, want.p));
    }
    r = value("Poly[ps];\n");
    {
        PolyHold want(build_poly(2, {{5, {4, 0}}, {-1, {0, 0}}}));
        EXPECT_TRUE(check_quoly_normal(r, 2));
        EXPECT_TRUE(poly_equal(r->pnum, want.p));
    }
    // A constant stays a plain number; nothing at all is 0.
    EXPECT_EQ(number("Array pc[3]; pc[3] := 5; Poly[pc];\n"), 5);
    EXPECT_EQ(number("Array pz[3] Sparse; Poly[pz];\n"), 0);
    EXPECT_EQ(number("Array pe[2]; Poly[pe];\n"), 0);
    // A sparse array over more than one frame.
    ok("Array big[5000] Sparse; big[1] := 2; big[2049] := 3; big[5000] := 4;\n");
    r = value("Poly[big];\n");
    {
        PolyHold want(build_poly(2, {{2, {4999, 0}}, {3, {2951, 0}}, {4, {0, 0}}}));
        EXPECT_TRUE(poly_equal(r->pnum, want.p));
    }
    // The array is read, not consumed.
    EXPECT_EQ(number("pa[4] - 123456789012345678900;\n"), 1);
    ok("@[pa]; @[ps]; @[pc]; @[pz]; @[pe]; @[big];\n");
}

TEST_F(StorageBuiltins, PolyErrors) {
    EXPECT_EQ(run("Array pn[2]; Poly[pn];\n").error, 213);
    ok("&(J = x);\n");
    EXPECT_EQ(run("Poly pn;\n").error, 178);
    EXPECT_EQ(run("Poly[nosuch];\n").error, 28);
    EXPECT_EQ(run("pn[1] := 1/2; Poly[pn];\n").error, 227);
    EXPECT_EQ(run("pn[1] := x; Poly[pn];\n").error, 227);
    ok("@[pn];\n");
}

// ---- Move and Swap against a model ----

// Every row ascending, no stored zero; the values as plain numbers.
std::map<std::pair<int, int>, long> sparse_cells(array* a, bool* sound) {
    std::map<std::pair<int, int>, long> out;
    *sound = true;
    const int32_t cols = array_columns(a);
    for (int32_t r = 1; r <= a->rows; r++) {
        int32_t last = 0;
        for (colm* e = *row_head(a->sparse, r); e; e = e->next) {
            if (e->col <= last || e->col > cols || !e->val || quoly_iszero(e->val) || !e->val->isnum)
                *sound = false;
            last = e->col;
            if (e->val && e->val->isnum) out[{r, e->col}] = number_value(e->val->nnum).get_si();
        }
    }
    return out;
}

TEST_F(StorageBuiltins, MoveAndSwapFollowAModel) {
    // Cells: scalars a, b; dense d[1..3]; sparse s[1..2, 1..3] and t[1..2].
    ok("Array d[3], s[2,3] Sparse, t[2] Sparse;\n");
    std::vector<std::string> cells = {"a",      "b",      "d[1]",   "d[2]",   "d[3]", "s[1,1]",
                                      "s[1,2]", "s[1,3]", "s[2,1]", "s[2,3]", "t[1]", "t[2]"};
    std::map<std::string, long> model;
    auto set = [&](const std::string& c, long v) {
        model[c] = v;
        ok(c + " := " + std::to_string(v) + ";\n");
    };
    const long start_values[] = {5, 0, -7, 0, 11, 3, 0, 0, 9, 0, 0, 8};
    for (size_t i = 0; i < cells.size(); i++) set(cells[i], start_values[i]);
    uint32_t seed = 12345;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    for (int step = 0; step < 400; step++) {
        const std::string& x = cells[next() % cells.size()];
        const std::string& y = cells[next() % cells.size()];
        const bool swap = next() % 2;
        if (next() % 5 == 0) set(cells[next() % cells.size()], long(next() % 7) - 3);
        if (swap) {
            ok("Swap(" + x + ", " + y + ");\n");
            std::swap(model[x], model[y]);
        } else {
            ok("Move(" + x + ", " + y + ");\n");
            if (x != y) {
                model[x] = model[y];
                model[y] = 0;
            }
        }
        const std::string what = std::string(swap ? "Swap(" : "Move(") + x + ", " + y + ") at step " +
                                 std::to_string(step);
        for (const std::string& c : cells) ASSERT_EQ(number(c + ";\n"), model[c]) << what << ", cell " << c;
        // The stored entries are exactly the non-zero cells of the model.
        for (const char* m : {"s", "t"}) {
            array* a = arr(m);
            bool sound = false;
            auto stored = sparse_cells(a, &sound);
            ASSERT_TRUE(sound) << what;
            for (const std::string& c : cells) {
                if (c[0] != m[0]) continue;
                const int r = c[2] - '0', k = a->onedim ? 1 : c[4] - '0';
                auto at = stored.find({r, k});
                EXPECT_EQ(at != stored.end(), model[c] != 0) << what << ", entry " << c;
                if (at != stored.end()) {
                    EXPECT_EQ(at->second, model[c]) << what;
                }
            }
        }
    }
    ok("@[d]; @[s]; @[t];\n");
}

TEST_F(StorageBuiltins, MoveOfALargeValueKeepsItsRecord) {
    ok("&(J = x);\nArray s[3] Sparse;\nv := (x + 1)^40/(x - 3);\n");
    quoly* before = find_var_by("v");
    ok("Move(s[2], v);\n");
    array* s = arr("s");
    ASSERT_NE(*row_head(s->sparse, 2), nullptr);
    EXPECT_EQ((*row_head(s->sparse, 2))->val, before);   // moved, not copied
    EXPECT_EQ(number("v;\n"), 0);
    ok("Swap(s[3], s[2]);\n");
    EXPECT_EQ(*row_head(s->sparse, 2), nullptr);
    EXPECT_EQ((*row_head(s->sparse, 3))->val, before);
    ok("@[s];\n");
}

TEST_F(StorageBuiltins, MoveAndSwapErrorsChangeNothing) {
    ok("&(J = x);\na := 2; b := 3;\n");
    const char* bad[] = {"Move a, b);", "Move(a b);",    "Move(a, b;",      "Move(a, 3);",
                         "Move(2, a);", "Move(a^2, b);", "Swap(a, b + 1);", "Swap a, b);",
                         "Swap(a, b;",  "Swap(x, a);",   "Move(a, x);",     "Move(a, nosuch);"};
    for (const char* t : bad) {
        EXPECT_NE(run(std::string(t) + "\n").error, 0) << t;
        EXPECT_EQ(number("a;\n"), 2) << t;
        EXPECT_EQ(number("b;\n"), 3) << t;
    }
    EXPECT_EQ(run("Move(a, 3);\n").error, 316);
    EXPECT_EQ(run("Swap(x, a);\n").error, 316);
    EXPECT_EQ(run("Move(a, b;\n").error, 1);
    EXPECT_EQ(run("Move a, b);\n").error, 177);
    EXPECT_EQ(run("Move(a b);\n").error, 202);
    EXPECT_EQ(run("Move(a, nosuch);\n").error, 19);
    // The value of the call is 0, and the token after it is read.
    EXPECT_EQ(number("Move(a, b) + 4;\n"), 4);
    EXPECT_EQ(number("a;\n"), 3);
}

// ---- Rname ----

TEST_F(StorageBuiltins, RenameHidesAnOlderArray) {
    ok("Array ra[2], rb[3];\nra[1] := 11; rb[1] := 22;\n");
    array* first = arr("ra");
    ok("Rname[ra] := '[rb]';\n");
    EXPECT_EQ(arr("ra"), nullptr);
    EXPECT_EQ(arr("rb"), first);
    EXPECT_EQ(number("rb[1];\n"), 11);
    EXPECT_EQ(run("rb[3];\n").error, 27);
    ok("@[rb];\n");
    EXPECT_EQ(number("rb[1] + rb[3];\n"), 22);   // the older one shows again
    EXPECT_EQ(number("Rname[rb] := '[rc]'; rc[1];\n"), 22);
    ok("@[rc];\n");
}

TEST_F(StorageBuiltins, RenameErrorsLeaveTheName) {
    ok("Array rn[2];\nrn[1] := 5;\n");
    const std::pair<const char*, int> cases[] = {
        {"Rname rn] := '[rm]';", 100}, {"Rname[rn := '[rm]';", 101}, {"Rname[rn] = '[rm]';", 152},
        {"Rname[rn] : '[rm]';", 4},    {"Rname[rn] := [rm]';", 102}, {"Rname[rn] := 'rm]';", 100},
        {"Rname[rn] := '[Rm]';", 40},  {"Rname[nosuch] := '[rm]';", 28}, {"Rname[rn] := '[rm';", 101},
        {"Rname[rn] := '[rm]x;", 102},
    };
    for (auto& [text, code] : cases) {
        EXPECT_EQ(run(std::string(text) + "\n").error, code) << text;
        EXPECT_NE(arr("rn"), nullptr) << text;
        EXPECT_EQ(arr("rm"), nullptr) << text;
    }
    ok("@[rn];\n");
}

}  // namespace
