// Adjoining and cancelling polynomial variables: the variable tables after
// every change, stored values converted (checked by their terms and by
// evaluation at random points with GMP, never by restating the
// conversion), zero denominators, the errors, and no record lost.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "interp/scalars.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/ring_setup.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using Exps = std::vector<int32_t>;
using Names = std::vector<std::string>;

void drop_all_vars() {
    drop_all_poly_vars();
    pseudo_polynames = nullptr;
}

class Adjoin : public ::testing::Test {
protected:
    RingStateGuard ring_;
    void SetUp() override {
        load_data_once();
        modularmode = lintmode = 0;
        drop_all_vars();
        clear_sca_store();
    }
    void TearDown() override {
        clear_sca_store();
        drop_all_vars();
        free_quoly(&prevnum);
    }

    static quoly* quoly_of(polynode* num, polynode* den) {
        quoly* q = nullptr;
        newquoly(&q);
        q->link = nullptr;
        q->isnum = 0;
        q->rat = 0;
        q->pnum = num;
        q->den = den;
        return q;
    }
    static void store(const char* s, quoly* q) {
        tokenrec t;
        set_token(&t, s);
        var* rec = nullptr;
        insert_var(&t, q, &rec);
    }
    static quoly* stored(const char* s) {
        tokenrec t;
        set_token(&t, s);
        var* v = find_var(&t);
        EXPECT_NE(v, nullptr) << s;
        return v ? v->value : nullptr;
    }
};

// polynames outermost first with levels 1, 2, ..., number_polys, and
// polyvar the same names in ascending order.
::testing::AssertionResult tables_are(const Names& outermost_first) {
    Names seen;
    int16_t level = 1;
    for (pt* v = polynames; v; v = v->next, level++) {
        if (v->level != level)
            return ::testing::AssertionFailure() << v->name << " has level " << v->level << ", want " << level;
        seen.push_back(v->name);
    }
    if (seen != outermost_first) return ::testing::AssertionFailure() << "polynames differ";
    if (number_polys != static_cast<int32_t>(seen.size()))
        return ::testing::AssertionFailure() << "number_polys " << number_polys;
    Names sorted = seen;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); i++)
        if (std::string(polyvar[i], strnlen(polyvar[i], 11)) != sorted[i])
            return ::testing::AssertionFailure() << "polyvar[" << i << "] = " << polyvar[i];
    for (const std::string& s : seen)
        if (!its_a_polyname(s.c_str())) return ::testing::AssertionFailure() << s << " not found";
    return ::testing::AssertionSuccess();
}

mpz_class eval_terms(const TermList& t, const std::vector<mpz_class>& at) {
    mpz_class sum = 0;
    for (const Term& x : t) {
        mpz_class m = x.coef;
        for (size_t i = 0; i < at.size(); i++) {
            mpz_class p;
            mpz_pow_ui(p.get_mpz_t(), at[i].get_mpz_t(), static_cast<unsigned long>(x.exps[i]));
            m *= p;
        }
        sum += m;
    }
    return sum;
}

TermList random_terms(NumberGen& g, int nvars, int count) {
    TermList t;
    for (int i = 0; i < count; i++) {
        Exps e;
        for (int v = 0; v < nvars; v++) e.push_back(g.below(4));
        mpz_class c = g.chance(20) ? g.digits(g.between(1, 3)) : mpz_class(g.between(-9, 9));
        t.emplace_back(c, e);
    }
    return t;
}

TEST_F(Adjoin, LastAdjoinedIsOutermostAndNamesStaySorted) {
    adjoin_poly_var("x", 0);
    EXPECT_TRUE(tables_are({"x"}));
    adjoin_poly_var("y", 0);
    adjoin_poly_var("b_2", 0);
    EXPECT_TRUE(tables_are({"b_2", "y", "x"}));
    adjoin_poly_var("w", 1);   // '>': innermost
    EXPECT_TRUE(tables_are({"b_2", "y", "x", "w"}));
    cancel_poly_var("y");
    EXPECT_TRUE(tables_are({"b_2", "x", "w"}));
    cancel_poly_var("b_2");
    cancel_poly_var("w");
    EXPECT_TRUE(tables_are({"x"}));
    adjoin_poly_var("y", 0);   // re-adjoined after a cancel
    EXPECT_TRUE(tables_are({"y", "x"}));
    cancel_poly_var("x");
    cancel_poly_var("y");
    EXPECT_TRUE(tables_are({}));
    EXPECT_EQ(polynames, nullptr);
}

TEST_F(Adjoin, ClashesAndLimits) {
    adjoin_poly_var("x", 0);
    EXPECT_EQ(error_code([] { adjoin_poly_var("x", 0); }), 126);
    EXPECT_EQ(error_code([] { adjoin_poly_var("x", 1); }), 126);
    EXPECT_EQ(error_code([] { cancel_poly_var("y"); }), 169);
    EXPECT_TRUE(tables_are({"x"}));
    // A prefix of a variable's name is another name.
    adjoin_poly_var("xx", 0);
    EXPECT_TRUE(tables_are({"xx", "x"}));

    Names want;
    drop_all_vars();
    for (int i = 0; i < MAX_POLY_VARS; i++) {
        char n[12];
        std::snprintf(n, sizeof n, "v%d", (i * 37) % MAX_POLY_VARS);
        adjoin_poly_var(n, 0);
        want.insert(want.begin(), n);
    }
    EXPECT_TRUE(tables_are(want));
    EXPECT_EQ(error_code([] { adjoin_poly_var("extra", 0); }), 228);
    EXPECT_TRUE(tables_are(want));
    cancel_poly_var("v7");
    want.erase(std::find(want.begin(), want.end(), "v7"));
    EXPECT_TRUE(tables_are(want));
    adjoin_poly_var("extra", 1);
    want.push_back("extra");
    EXPECT_TRUE(tables_are(want));
}

TEST_F(Adjoin, NewOutermostVariableWrapsStoredPolynomials) {
    adjoin_poly_var("x", 0);   // nothing stored, nothing to convert
    const TermList p = canonical_terms(1, {{3, {2}}, {-1, {0}}});
    const TermList d = canonical_terms(1, {{1, {1}}, {-7, {0}}});
    store("p", quoly_of(build_poly(1, p), nullptr));
    store("q", quoly_of(build_poly(1, {{1, {0}}}), build_poly(1, d)));   // 1/(x - 7)
    quoly* five = nullptr;
    quoly_set(5, &five);
    store("n", five);
    quoly* r = quoly_of(build_poly(1, {{2, {0}}}), build_poly(1, {{3, {0}}}));   // 2/3
    r->rat = 1;
    store("r", r);

    adjoin_poly_var("y", 0);
    auto lifted = [](const TermList& t) {
        TermList u;
        for (const Term& x : t) u.emplace_back(x.coef, Exps{0, x.exps[0]});
        return canonical_terms(2, u);
    };
    quoly* pv = stored("p");
    ASSERT_TRUE(check_quoly_normal(pv, 2));
    EXPECT_EQ(read_poly(pv->pnum, 2), lifted(p));
    EXPECT_EQ(pv->den, nullptr);
    quoly* qv = stored("q");
    ASSERT_TRUE(check_quoly_normal(qv, 2));
    EXPECT_EQ(read_poly(qv->pnum, 2), canonical_terms(2, {{1, {0, 0}}}));
    EXPECT_TRUE(qv->pnum->numb);   // a lone number numerator is left as it is
    EXPECT_EQ(read_poly(qv->den, 2), lifted(d));
    EXPECT_TRUE(holds(stored("n"), 5));
    EXPECT_TRUE(holds(stored("r"), mpq_class(2, 3)));

    // Appended innermost: the stored polynomials lie above it unchanged.
    adjoin_poly_var("w", 1);
    EXPECT_EQ(stored("p"), pv);
    EXPECT_EQ(read_poly(pv->pnum, 3), canonical_terms(3, {{3, {0, 2, 0}}, {-1, {0, 0, 0}}}));
    EXPECT_TRUE(check_poly_shape(pv->pnum, 3));

    // Cancelling the variable again gives back the old polynomial.
    cancel_poly_var("y");
    EXPECT_TRUE(tables_are({"x", "w"}));
    pv = stored("p");
    ASSERT_TRUE(check_quoly_normal(pv, 2));
    EXPECT_EQ(read_poly(pv->pnum, 1), p);
    qv = stored("q");
    ASSERT_TRUE(check_quoly_normal(qv, 2));
    EXPECT_EQ(read_poly(qv->den, 1), d);
}

// Random polynomials in three variables; each cancellation is checked by
// evaluating the old terms at random points with the cancelled variable at
// 1 against the new polynomial's terms at the same points.
TEST_F(Adjoin, CancellingEvaluatesAtOne) {
    NumberGen g(1225);
    for (int round = 0; round < scaled(30); round++) {
        drop_all_vars();
        clear_sca_store();
        adjoin_poly_var("x", 0);
        adjoin_poly_var("y", 0);
        adjoin_poly_var("z", 0);   // z, y, x: level 1 is z
        RecordTally base;
        ASSERT_TRUE(records_in_use(&base));
        const int nvals = 8;
        std::vector<TermList> vals;
        for (int i = 0; i < nvals; i++) {
            TermList t = canonical_terms(3, random_terms(g, 3, g.between(1, 6)));
            // Only polynomials that are not numbers are stored as such.
            bool constant = true;
            for (const Term& x : t)
                if (x.exps != Exps{0, 0, 0}) constant = false;
            if (constant) t = canonical_terms(3, {{1, {1, 1, 1}}, {2, {0, 0, 0}}});
            vals.push_back(t);
            char n[8];
            std::snprintf(n, sizeof n, "a%d", i);
            store(n, quoly_of(build_poly(3, t), nullptr));
        }
        const int level = g.between(1, 3);
        const char* names[] = {"z", "y", "x"};
        cancel_poly_var(names[level - 1]);
        Names left;
        for (int l = 1; l <= 3; l++)
            if (l != level) left.push_back(names[l - 1]);
        ASSERT_TRUE(tables_are(left));

        for (int i = 0; i < nvals; i++) {
            char n[8];
            std::snprintf(n, sizeof n, "a%d", i);
            quoly* q = stored(n);
            ASSERT_NE(q, nullptr);
            ASSERT_TRUE(check_quoly_normal(q, 2)) << "round " << round << " " << terms_to_string(vals[i]);
            TermList now = q->isnum ? TermList{Term(number_value(q->nnum), Exps{0, 0})} : read_poly(q->pnum, 2);
            for (int k = 0; k < 4; k++) {
                std::vector<mpz_class> at3 = {g.between(-5, 5), g.between(-5, 5), g.between(-5, 5)};
                at3[level - 1] = 1;
                std::vector<mpz_class> at2;
                for (int l = 0; l < 3; l++)
                    if (l != level - 1) at2.push_back(at3[l]);
                EXPECT_EQ(eval_terms(vals[i], at3), eval_terms(now, at2))
                    << "round " << round << " level " << level << " " << terms_to_string(vals[i]) << " -> "
                    << terms_to_string(now) << " " << g.trace();
            }
        }
        clear_sca_store();
        RecordTally after;
        ASSERT_TRUE(records_in_use(&after));
        EXPECT_EQ(after.terms, base.terms);
    }
}

TEST_F(Adjoin, ZeroDenominatorsBecomeOneWithCountedWarnings) {
    adjoin_poly_var("x", 0);
    const int cases = 45;
    for (int i = 0; i < cases; i++) {
        char n[8];
        std::snprintf(n, sizeof n, "d%d", i);
        // (i + x) / (x - 1)
        store(n, quoly_of(build_poly(1, {{1, {1}}, {i, {0}}}), build_poly(1, {{1, {1}}, {-1, {0}}})));
    }
    // x / (x + 1) at 1 is 1/2; 1/(x^2 + 3) is 1/4.
    store("h", quoly_of(build_poly(1, {{1, {1}}}), build_poly(1, {{1, {1}}, {1, {0}}})));
    store("f", quoly_of(build_poly(1, {{1, {0}}}), build_poly(1, {{1, {2}}, {3, {0}}})));
    testing::internal::CaptureStdout();
    cancel_poly_var("x");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string line = "Warning. A quoly denominator has become 0.  That variable has been set to 1.\n";
    size_t count = 0;
    for (size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) count++;
    EXPECT_EQ(count, 40u);
    EXPECT_NE(out.find("... There were 5 more such cases.\n"), std::string::npos) << out;
    for (int i = 0; i < cases; i++) {
        char n[8];
        std::snprintf(n, sizeof n, "d%d", i);
        EXPECT_TRUE(holds(stored(n), 1)) << n;
    }
    EXPECT_TRUE(holds(stored("h"), mpq_class(1, 2)));
    EXPECT_TRUE(holds(stored("f"), mpq_class(1, 4)));
    EXPECT_TRUE(tables_are({}));
}

TEST_F(Adjoin, ValuesFreeOfTheVariableKeepTheirForm) {
    adjoin_poly_var("y", 0);
    adjoin_poly_var("x", 0);   // x, y
    // (y^2 + 1) / (y + 3) does not involve x.
    const TermList n = canonical_terms(2, {{1, {0, 2}}, {1, {0, 0}}});
    const TermList d = canonical_terms(2, {{1, {0, 1}}, {3, {0, 0}}});
    store("v", quoly_of(build_poly(2, n), build_poly(2, d)));
    cancel_poly_var("x");
    quoly* v = stored("v");
    ASSERT_TRUE(check_quoly_normal(v, 1));
    EXPECT_EQ(read_poly(v->pnum, 1), canonical_terms(1, {{1, {2}}, {1, {0}}}));
    EXPECT_EQ(read_poly(v->den, 1), canonical_terms(1, {{1, {1}}, {3, {0}}}));
}

// These need the polynomial gcd: a common factor that appears only once
// the variable is 1.
TEST_F(Adjoin, CommonFactorsThatAppearAreCancelled) {
    adjoin_poly_var("y", 0);
    adjoin_poly_var("x", 0);   // x, y
    // (x y + 1) / (y + 1) at x = 1 is 1.
    store("u", quoly_of(build_poly(2, {{1, {1, 1}}, {1, {0, 0}}}), build_poly(2, {{1, {0, 1}}, {1, {0, 0}}})));
    // (x y^2 - x) / (2 y + 2) at x = 1 is (y - 1) / 2.
    store("w", quoly_of(build_poly(2, {{1, {1, 2}}, {-1, {1, 0}}}), build_poly(2, {{2, {0, 1}}, {2, {0, 0}}})));
    cancel_poly_var("x");
    EXPECT_TRUE(holds(stored("u"), 1));
    quoly* w = stored("w");
    ASSERT_TRUE(check_quoly_normal(w, 1));
    EXPECT_EQ(read_poly(w->pnum, 1), canonical_terms(1, {{1, {1}}, {-1, {0}}}));
    ASSERT_NE(w->den, nullptr);
    EXPECT_EQ(read_poly(w->den, 1), canonical_terms(1, {{2, {0}}}));
}

TEST_F(Adjoin, ModularValuesAndTheModularMark) {
    install_modulus(7);
    modularmode = lintmode = 1;
    mod_is_prime = 1;
    changed_in_modmode = 0;
    adjoin_poly_var("x", 0);
    EXPECT_EQ(changed_in_modmode, 1);
    // 3 x^6 + 5 x at x = 1 is 8 = 1 mod 7.
    store("m", quoly_of(build_poly(1, {{3, {6}}, {5, {1}}}), nullptr));
    cancel_poly_var("x");
    quoly* m = stored("m");
    ASSERT_TRUE(m->isnum);
    EXPECT_EQ(m->nnum->value, 1);
    changed_in_modmode = 0;
}

}  // namespace
