// The Compile statement through the dispatcher, as the statement loop runs
// it: compiled functions give the results of uncompiled ones, bindings
// follow the call that runs (recursion, deleted and re-created variables,
// a parameter of the other kind), and long element texts are compared whole.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "interp/dispatcher.h"
#include "interp/functions.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "statement_runs.h"
#include "stream_text.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "toplevel/call_history.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using namespace statement_runs;

class CompileStmt : public StatementRuns {
protected:
    void SetUp() override { start(1); }
    void TearDown() override {
        forget_compilations();
        finish();
    }
};



func* function_named(const char* s) {
    tokenrec t;
    set_token(&t, s);
    return find_func(&t);
}

// No token of a parameter's use chain may address a slot other than the
// running call's: with no call running, none is resolved.
int resolved_uses(name* first) {
    int n = 0;
    for (name* t = first; t; t = t->next_use) n += t->resolved;
    return n;
}

// Resolved tokens by kind, through every sub-body.
void count_bound(form* list, int kinds[4]) {
    for (form* at = list; at; at = at->next) {
        cond* c = at->stmt;
        if (!c) continue;
        for (name* t = c->statement; t; t = t->next) kinds[t->resolved ? t->bind_kind : 0]++;
        for (name* t = c->condition; t; t = t->next) kinds[t->resolved ? t->bind_kind : 0]++;
        count_bound(c->first, kinds);
        count_bound(c->second, kinds);
    }
}

TEST_F(CompileStmt, GivesTheResultsOfTheUncompiledFunctionForManyArguments) {
    val("Func CpA(a, b) = Compile; s := 0; for i := 1 to b do s := s + a*i od; s - a^2.\n");
    val("Func CpU(a, b) = s := 0; for i := 1 to b do s := s + a*i od; s - a^2.\n");
    std::mt19937 rng(20261207);
    for (int k = 0; k < 40; k++) {
        const long a = static_cast<long>(rng() % 2001) - 1000;
        const long b = static_cast<long>(rng() % 30);
        const std::string args = "(" + std::to_string(a) + ", " + std::to_string(b) + ");\n";
        const mpq_class expect = mpq_class(a) * b * (b + 1) / 2 - mpq_class(a) * a;
        EXPECT_EQ(val("CpA" + args), expect) << "seed 20261207, case " << k;
        EXPECT_EQ(val("CpU" + args), expect) << "seed 20261207, case " << k;
    }
    // A rational argument through the same bound tokens.
    EXPECT_EQ(val("CpA(1/3, 3);\n"), mpq_class(2) - mpq_class(1, 9));
    EXPECT_EQ(resolved_uses(function_named("CpA")->params->uses), 0);
}

TEST_F(CompileStmt, RecursionReadsItsOwnParameterAfterTheInnerCall) {
    val("Func CpF(n) = Compile; if n < 1 then 0 else m := CpF(n - 1); n + m fi.\n");
    for (long n = 0; n <= 60; n += 7) EXPECT_EQ(val("CpF(" + std::to_string(n) + ");\n"), n * (n + 1) / 2) << n;
    // Mutual recursion: A(n) = n + B(n - 1), B(n) = 2n + A(n - 1).
    val("Func CpX(n) = Compile; if n < 1 then 0 else m := CpY(n - 1); n + m fi.\n");
    val("Func CpY(n) = Compile; if n < 1 then 0 else m := CpX(n - 1); 2*n + m fi.\n");
    long a[40], b[40];
    a[0] = b[0] = 0;
    for (int n = 1; n < 40; n++) {
        a[n] = n + b[n - 1];
        b[n] = 2 * n + a[n - 1];
    }
    for (int n = 0; n < 40; n += 3) EXPECT_EQ(val("CpX(" + std::to_string(n) + ");\n"), a[n]) << n;
    // In machine integers too.
    val("Func CpI(n) = Compile; Integer; if n < 1 then 0 else m := CpI(n - 1); n * 3 + m fi.\n");
    EXPECT_EQ(val("CpI(25);\n"), 3 * 25 * 26 / 2);
    EXPECT_EQ(resolved_uses(function_named("CpF")->params->uses), 0);
    EXPECT_EQ(resolved_uses(function_named("CpI")->params->uses), 0);
}

TEST_F(CompileStmt, ListedVariablesFollowDeletionAndRecreation) {
    val("x := 5;\n");
    val("Func CpK(a) = Compile (x); x := x + a; x.\n");
    EXPECT_EQ(val("CpK(2);\n"), 7);
    val("@x;\n");
    // Reading the deleted variable is the undefined variable it would be
    // uncompiled; the assignment creates it again.
    EXPECT_EQ(err("x := 40; @x; y := CpK(1);\n"), 0);
    EXPECT_EQ(lookup("x"), 1);
    val("x := 100;\n");
    EXPECT_EQ(val("CpK(1);\n"), 101);
    EXPECT_EQ(lookup("x"), 101);
    // Deleted and created again by the body itself, between two uses.
    val("Func CpD(a) = Compile (x); @x; x := a; x + 1.\n");
    EXPECT_EQ(val("CpD(5);\n"), 6);
    EXPECT_EQ(lookup("x"), 5);
    EXPECT_EQ(val("CpD(8);\n"), 9);
    EXPECT_EQ(lookup("x"), 8);
    // A parameter deleted by its own body is looked up by name afterwards.
    val("Func CpP(a) = Compile; @a; a := 3; a * 2.\n");
    EXPECT_EQ(val("CpP(5);\n"), 6);
    val("@a;\n");
    EXPECT_EQ(val("CpP(9);\n"), 6);
    val("@a;\n");
    EXPECT_EQ(err("@x; CpK(1);\n"), 0);
}

TEST_F(CompileStmt, AParameterOfTheOtherKindCompilesAgain) {
    val("Func CpM(a, b) = Compile; if b = 0 then a * 10 else a[1] * 10 + b fi.\n");
    EXPECT_EQ(val("CpM(1, 0);\n"), 10);
    func* f = function_named("CpM");
    ASSERT_NE(f->compiled, nullptr);
    EXPECT_EQ(f->params->uses->bind_kind, 1);
    // An array argument: compiled again with the array entry ("A"), which
    // the plain use of a does not match.
    val("Array cpm[2]; cpm[1] := 3;\n");
    EXPECT_EQ(val("CpM([cpm], 4);\n"), 34);
    ASSERT_NE(f->params->uses, nullptr);
    EXPECT_EQ(f->params->uses->bind_kind, 3);
    EXPECT_EQ(f->params->uses->next_use, nullptr);
    EXPECT_EQ(val("CpM(5, 0);\n"), 50);
    EXPECT_EQ(f->params->uses->bind_kind, 1);
    val("Array cps[3] Sparse; cps[1] := 7;\n");
    EXPECT_EQ(err("CpM([cps], 8);\n"), 247);
    EXPECT_EQ(f->params->array_binding, 0);   // given back with the call
    EXPECT_EQ(val("CpM([cpm], 8);\n"), 38);
    // Once compiled for a dense array, a sparse one is refused on the run.
    EXPECT_EQ(err("CpM([cps], 8);\n"), 247);
    EXPECT_EQ(val("CpM(7, 0);\n"), 70);
    val("@[cpm]; @[cps];\n");
}

// Random shapes, cells moved by deleting older arrays, the array deleted
// and re-created, elements written: a compiled function and its uncompiled
// twin leave the same values and give the same results, which a model of
// the cells kept here predicts.
TEST_F(CompileStmt, ListedArraysFollowDeletionShapeAndMovedCells) {
    const std::string body = "s := 0; for i := 1 to n do s := s + ra[i] * i od; ra[2] := ra[2] + n; ra[1, 2] :+ 1; "
                             "s + ra[2] * 1000.\n";
    val("Func CpR(n) = Compile ([ra], ra[2]); " + body);
    val("Func CpQ(n) = " + body);
    // The integer evaluator's reads and writes through the same bindings.
    val("Func CpJ(n) = Compile ([ra], ra[2]); Integer; s := 0; for i := 1 to n do s := s + ra[i] * i od; "
        "ra[2] := ra[2] + n; ra[1, 2] :+ 1; s + ra[2] * 1000.\n");
    std::mt19937 rng(77031);
    std::vector<long> model;
    long rows = 0;
    val("Array ra[1];\n");
    for (int round = 0; round < 30; round++) {
        const int what = static_cast<int>(rng() % 3);
        if (round == 0 || what == 0) {
            // Re-created with another shape, after an older array that is
            // then deleted: the new cells move down.
            rows = 2 + static_cast<long>(rng() % 4);
            const long cols = 2 + static_cast<long>(rng() % 3);
            val("@[ra];\n");
            val("Array rb[" + std::to_string(1 + rng() % 50) + "];\n");
            val("Array ra[" + std::to_string(rows) + ", " + std::to_string(cols) + "];\n");
            model.assign(static_cast<size_t>(rows * cols), 0);
            for (size_t k = 0; k < model.size(); k++) {
                model[k] = static_cast<long>(rng() % 19) - 9;
                val("ra[" + std::to_string(k + 1) + "] := " + std::to_string(model[k]) + ";\n");
            }
            val("@[rb];\n");
        } else if (what == 1) {
            val("Array rc[3]; @[rc];\n");
        }
        const long n = 1 + static_cast<long>(rng() % model.size());
        long s = 0;
        for (long i = 1; i <= n; i++) s += model[static_cast<size_t>(i - 1)] * i;
        model[1] += n;
        model[static_cast<size_t>(rows)] += 1;
        const char* f = round % 3 == 0 ? "CpR" : round % 3 == 1 ? "CpQ" : "CpJ";
        EXPECT_EQ(val(std::string(f) + "(" + std::to_string(n) + ");\n"), s + model[1] * 1000) << round;
        for (size_t k = 0; k < model.size(); k++)
            ASSERT_EQ(val("ra[" + std::to_string(k + 1) + "];\n"), model[k]) << round << " " << k;
    }
    // The element and the whole array were bound, not left to look-ups.
    int kinds[4] = {0, 0, 0, 0};
    count_bound(function_named("CpR")->compiled, kinds);
    EXPECT_EQ(kinds[2], 3);   // ra[2] in the sum, and twice in its update
    EXPECT_EQ(kinds[3], 2);   // ra[i], ra[1, 2]
    // Deleted: the bound tokens meet what the name meets.
    val("@[ra];\n");
    EXPECT_EQ(err("CpR(1);\n"), err("CpQ(1);\n"));
    EXPECT_EQ(err("CpJ(1);\n"), 28);
}

// An array deleted and made again by the body between two uses, and a
// recursion passing its array parameter on.
TEST_F(CompileStmt, ArraysChangedInsideTheBody) {
    val("Array rk[4]; rk[4] := 7; Array rl[2]; rl[1] := 1;\n");
    val("Func CpV(n) = Compile ([rl], rk[4]); t := rk[4]; @[rk]; Array rk[2, 3]; rk[4] := 100 + n; "
        "t + rk[4] + rl[1].\n");
    EXPECT_EQ(val("CpV(1);\n"), 7 + 101 + 1);
    EXPECT_EQ(val("CpV(2);\n"), 101 + 102 + 1);
    val("Array rm[5]; for i := 1 to 5 do rm[i] := i od;\n");
    val("Func CpW(x, n) = Compile; if n < 1 then 0 else x[n] + 10 * CpW([x], n - 1) fi.\n");
    EXPECT_EQ(val("CpW([rm], 5);\n"), 12345);
    EXPECT_EQ(val("CpW([rm], 3);\n"), 123);
    val("@[rk]; @[rl]; @[rm];\n");
}

TEST_F(CompileStmt, LongElementTextsAreComparedWhole) {
    // The subscript text runs far past ten characters; the name before it
    // is neither an element nor an array entry and stays unbound.
    val("Func CpT(abcdefghij) = Compile; if 0 then abcdefghij[123456789012345] else abcdefghij + 1 fi.\n");
    EXPECT_EQ(val("CpT(4);\n"), 5);
    func* f = function_named("CpT");
    int resolved = 0, bound_before_bracket = 0;
    for (form* at = f->compiled; at; at = at->next)
        for (name* t = at->stmt->first->stmt->statement; t; t = t->next)
            if (t->next && !std::strcmp(t->next->token, "[")) bound_before_bracket += t->resolved;
    for (name* t = f->params->uses; t; t = t->next_use) resolved++;
    EXPECT_EQ(bound_before_bracket, 0);
    EXPECT_EQ(resolved, 1);   // only the plain use in the else-part
}

TEST_F(CompileStmt, ErrorsLeaveTheFunctionUncompiled) {
    EXPECT_EQ(err("Compile;\n"), 234);
    val("Func CpE(a) = Compile (a); a.\n");
    EXPECT_EQ(err("CpE(1);\n"), 233);
    EXPECT_EQ(function_named("CpE")->compiled, nullptr);
    val("Func CpN(a) = Compile (nothere); a.\n");
    EXPECT_EQ(err("CpN(1);\n"), 19);
    val("nothere := 2;\n");
    EXPECT_EQ(val("CpN(3);\n"), 3);   // compiles on the next call
    EXPECT_NE(function_named("CpN")->compiled, nullptr);
    val("Func CpS(a) = Compile (nothere[nothere]); a.\n");
    EXPECT_EQ(err("CpS(1);\n"), 29);   // no array of that name
    val("Func CpZ = Compile.\n");
    EXPECT_EQ(val("CpZ;\n"), 0);
}

}  // namespace
