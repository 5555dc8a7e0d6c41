// User-function calls run through the dispatcher as the
// statement loop runs them: bindings that go exactly once however a call
// ends, "^" parameters, empty statements dropped from bodies, the
// temporary body of "<F".
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>

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

class Calls : public StatementRuns {
protected:
    void SetUp() override { start(1); }
    void TearDown() override {
        finish();
    }
};


bool defined(const char* s) {
    tokenrec t;
    set_token(&t, s);
    return find_var(&t) != nullptr;
}

int forms(const char* fname) {
    tokenrec t;
    set_token(&t, fname);
    func* f = find_func(&t);
    int n = 0;
    for (form* x = f ? f->body : nullptr; x; x = x->next) {
        n++;
        EXPECT_NE(x->stmt, nullptr);
        if (x->stmt && x->stmt->statement) {
            EXPECT_STRNE(x->stmt->statement->token, ";");
        }
    }
    return n;
}

TEST_F(Calls, ValuesAndMissingArguments) {
    EXPECT_EQ(val("Func Csq(x) = x^2.\nCsq(7);"), 49);
    EXPECT_EQ(val("Func Cadd(a, b) = a + b.\nCadd(3);"), 3);
    EXPECT_EQ(val("Cadd;"), 0);
    EXPECT_EQ(val("Cadd(Csq(2), 1) * 2;"), 10);
    EXPECT_FALSE(defined("a"));
    EXPECT_FALSE(defined("x"));
    EXPECT_EQ(statcount, 0);
}

TEST_F(Calls, EmptyStatementsAreDropped) {
    EXPECT_EQ(val("Func Cempty = ;; u := 1;; ; u + 1;."), 0);
    EXPECT_EQ(forms("Cempty"), 2);
    EXPECT_EQ(val("Cempty;"), 2);
}

TEST_F(Calls, AnUnwindingErrorLeavesNoBinding) {
    val("g := 5; k := 3;");
    EXPECT_EQ(err("Func Cbad(k, ^r) = r := 9; k := k +* 2.\nCbad(1, g);"), 337);
    EXPECT_EQ(lookup("k"), 3);
    EXPECT_EQ(lookup("g"), 9);   // the copy-out of "^" happens on unwinding too
    EXPECT_FALSE(defined("r"));
    EXPECT_EQ(statcount, 0);
    EXPECT_EQ(startexpr, nullptr);
    EXPECT_EQ(prev_expr, nullptr);
    // Nested calls unwound at once.
    EXPECT_EQ(err("Func Couter(k) = Cbad(k, g).\nCouter(4);"), 337);
    EXPECT_EQ(lookup("k"), 3);
    EXPECT_EQ(statcount, 0);
}

TEST_F(Calls, ReferenceParameters) {
    val("v := 2;");
    EXPECT_EQ(val("Func Ctwo(^a, ^b) = a := a + 1; b := b * 10; 0.\nCtwo(v, v);"), 0);
    EXPECT_EQ(lookup("v"), 20);   // copied out in parameter order: the last wins
    val("w := 1;");
    val("Ctwo(v, w);");
    EXPECT_EQ(lookup("v"), 21);
    EXPECT_EQ(lookup("w"), 10);
    // The body deletes its parameter: the caller keeps its variable.
    EXPECT_EQ(val("Func Cdel(^a) = @a; 7.\nCdel(v);"), 7);
    EXPECT_EQ(lookup("v"), 21);
    // The body deletes the caller's variable: nothing is written anywhere.
    val("Func Cdel2(^a) = @v; a := 3.\nCdel2(v);");
    EXPECT_FALSE(defined("v"));
    EXPECT_FALSE(defined("a"));
    // "&}" still copies out.
    val("v := 4; Func Cex(^a) = a := 11; &}; a := 12.\nCex(v);");
    EXPECT_EQ(lookup("v"), 11);
    EXPECT_EQ(err("Cex;"), 206);
    EXPECT_EQ(err("Cex(3);"), 207);
    EXPECT_EQ(err("Cex(nosuch);"), 19);
}

TEST_F(Calls, AParameterDeletedByTheBodyDoesNotCostTheCaller) {
    val("n := 8;");
    EXPECT_EQ(val("Func Cd(n) = @n; n + 1.\nCd(1);"), 9);
    EXPECT_EQ(lookup("n"), 8);
}

TEST_F(Calls, ARecordTheBodyDeletedAndTookAgainIsNotTheCalls) {
    // The deleted local's record is the first free one: the body's new
    // variable of the same name takes it.
    val("w := 2;");
    EXPECT_EQ(val("Func Cre(^a) = a := 3; @a; a := 8; 5.\nCre(w);"), 5);
    EXPECT_EQ(lookup("w"), 2);
    EXPECT_EQ(lookup("a"), 8);
    EXPECT_EQ(val("Func Crv(m) = @m; m := 4; 6.\nCrv(1);"), 6);
    EXPECT_EQ(lookup("m"), 4);
}

TEST_F(Calls, ArgumentsSeeTheCallersBindings) {
    val("x := 10;");
    EXPECT_EQ(val("Func Csh(x, y) = x + y.\nCsh(1, x);"), 11);
    EXPECT_EQ(lookup("x"), 10);
}

TEST_F(Calls, ArrayArgumentsWaitForTheArrayTable) {
    EXPECT_EQ(err("Func Carr(m) = m.\nCarr([q]);"), 28);
    EXPECT_EQ(err("Carr([<]);"), 176);
    EXPECT_FALSE(defined("m"));
}

TEST_F(Calls, DefinitionErrors) {
    EXPECT_EQ(err("Func cx = 1."), 11);
    EXPECT_EQ(err("Func Cx() = 1."), 5);
    EXPECT_EQ(err("Func Cx(x, x) = 1."), 237);
    EXPECT_EQ(err("Func Cx(x y) = 1."), 6);
    EXPECT_EQ(err("Func Cx(x) 1."), 7);
    EXPECT_EQ(err("Func Cx 1."), 12);
    EXPECT_EQ(err("Func Cx = fi."), 319);
    EXPECT_EQ(err("Func Cx = if a then 1 fi {c} ."), 35);
    EXPECT_EQ(err("Func Cx = if a then 1 fi 2."), 38);
    EXPECT_EQ(err("Func Cx = 1"), 103);
    EXPECT_EQ(err("Cx;"), 16);
    EXPECT_EQ(func_def_count, 0);
}

TEST_F(Calls, TheTemporaryBodyRunsAgain) {
    // A plain statement compiled as a construct typed outside a function.
    TextStream s("c := c + 1;");
    FILE* f = s.f;
    leftover = 0;
    val("c := 1;");
    scanner(&f, &token, &zilch);
    in_sys_func = 1;
    spec_right_side(&sys_func, &f, &zilch, ";");
    in_sys_func = 0;
    // An assignment inside stored code has the value 0.
    EXPECT_EQ(val("<F;"), 0);
    EXPECT_EQ(lookup("c"), 2);
    EXPECT_EQ(val("<F + 10;"), 10);
    EXPECT_EQ(lookup("c"), 3);
    EXPECT_EQ(err("Func Ctf = <F.\nCtf;"), 225);
}

TEST_F(Calls, DeletingFunctions) {
    val("Func Ce = 2.\nFunc Ce = 3.");
    EXPECT_EQ(val("Ce;"), 3);
    val("@Ce;");
    EXPECT_EQ(val("Ce;"), 2);
    val("@Ce;");
    EXPECT_EQ(err("Ce;"), 16);
    EXPECT_EQ(err("@Ce;"), 20);
    val("Func Cs = 5.\nFunc Cs = 6.\nFunc Cs = 7.\n@<Cs>;");
    EXPECT_EQ(val("Cs;"), 7);
    val("@Cs;");
    EXPECT_EQ(err("Cs;"), 16);
}

}  // namespace
