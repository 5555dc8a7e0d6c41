// The polynomial determinant by evaluation and interpolation, over Z and
// modulo primes small and large: values checked at random points against
// GMP determinants of the evaluated matrices, against the hub's
// elimination, and the degree bound against the assignment maximum.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "det/poly_det.h"
#include "det_support.h"
#include "poly_det_support.h"
#include "numbers/tables.h"
#include "storage/nodetests.h"
#include "support/expect_error.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using namespace polydet_test;

struct Case {
    int vars;
    int32_t n;
};

TEST(PolyDet, IntegerMatricesAgreeWithPointValuesAndElimination) {
    PrimeRing ring(0);
    std::vector<Case> cases;
    for (int32_t n = 1; n <= 12; n++) cases.push_back({1, n});
    for (int32_t n : {2, 4, 7, 10, 12}) cases.push_back({2, n});
    for (int32_t n : {3, 5, 7}) cases.push_back({3, n});
    for (int32_t n : {4, 5}) cases.push_back({4, n});
    std::mt19937_64 rng(11);
    bool saw_method = false;
    for (const Case& c : cases) {
        AttachedVars xs(c.vars);
        PolyMatrix a(c.vars, c.n);
        fill_random(a, rng);
        const std::string what = std::to_string(c.vars) + " vars, n = " + std::to_string(c.n);
        std::string said;
        quoly* r = interp_det(a, &said);
        saw_method = saw_method || said.find("LaGrange interpolation over Z, rows ") != std::string::npos;
        expect_det_values(a, r, 0, rng, what);
        // The method itself, at every size.
        std::vector<quoly*> v = a.m.cells();
        quoly* direct = nullptr;
        quoly_set(1, &direct);
        ASSERT_EQ(rat_poly_determ(v.data(), a.depth(), c.n, &direct, 0, nullptr, -1), 1) << what;
        EXPECT_TRUE(same_value(direct, r)) << what;
        if (c.n <= 6 && c.vars <= 2) {
            quoly* elim = hub_det(a.m, {"bareiss", 0, 1});
            EXPECT_TRUE(same_value(elim, r)) << what;
            free_quoly(&elim);
        }
        // The bound the modular method starts from is never below the degree.
        if (!r->isnum) {
            int32_t top = 0;
            for (const Term& t : read_poly(r->pnum, c.vars)) top = std::max(top, t.exps[0]);
            EXPECT_GE(poly_det_degree_bound(v.data(), c.n, 1), top) << what;
        }
        free_quoly(&r);
        free_quoly(&direct);
        EXPECT_EQ(lagrangedepth, 0);
        EXPECT_EQ(first_available, 1);
    }
    EXPECT_TRUE(saw_method);
}

TEST(PolyDet, ResidueMatricesSmallAndLargePrimes) {
    const int32_t large = 2147483629;   // a prime below 2^31
    std::mt19937_64 rng(12);
    for (int32_t p : {2, 3, 7, 101, large}) {
        PrimeRing ring(p);
        for (const Case& c : std::vector<Case>{{1, 4}, {1, 9}, {2, 7}, {3, 5}, {2, 12}, {4, 4}}) {
            if (p < 101 && c.n == 12) continue;   // the integer road: one n = 12 case there is enough
            AttachedVars xs(c.vars);
            PolyMatrix a(c.vars, c.n);
            fill_random(a, rng);
            const std::string what =
                "p = " + std::to_string(p) + ", " + std::to_string(c.vars) + " vars, n = " + std::to_string(c.n);
            quoly* r = interp_det(a);
            expect_det_values(a, r, p, rng, what);
            std::vector<quoly*> v = a.m.cells();
            quoly* direct = nullptr;
            quoly_set(1, &direct);
            ASSERT_EQ(mod_poly_determ(v.data(), a.depth(), c.n, &direct, 0, nullptr, -1), 1) << what;
            EXPECT_TRUE(same_value(direct, r)) << what;
            if (c.n <= 7 && c.vars <= 2) {
                quoly* elim = hub_det(a.m, {"bareiss", 0, 1});
                EXPECT_TRUE(same_value(elim, r)) << what;
                free_quoly(&elim);
            }
            free_quoly(&r);
            free_quoly(&direct);
            EXPECT_EQ(lagrangedepth, 0);
        }
    }
}

TEST(PolyDet, SmallModulusTakesTheIntegerRoad) {
    PrimeRing ring(7);
    AttachedVars xs(1);
    std::mt19937_64 rng(13);
    PolyMatrix a(1, 7);
    fill_random(a, rng);
    std::string said;
    quoly* r = interp_det(a, &said);
    EXPECT_NE(said.find(" is too large for this modulus. will try rational algorithm.\n"), std::string::npos) << said;
    EXPECT_NE(said.find("LaGrange interpolation over Z, rows 7"), std::string::npos) << said;
    expect_det_values(a, r, 7, rng, "p = 7");
    // Back in the user's ring, cells untouched.
    EXPECT_EQ(modulus, 7);
    EXPECT_TRUE(modularmode);
    for (int32_t i = 0; i < 7; i++)
        for (int32_t j = 0; j < 7; j++) {
            quoly* q = a.m.cell(i, j);
            if (q->isnum) continue;
            EXPECT_EQ(read_poly(q->pnum, 1), canonical_terms(1, a.e[static_cast<size_t>(i) * 7 + j]));
        }
    free_quoly(&r);
}

// The assignment maximum: the largest sum of degrees over permutations;
// -1 when every permutation meets an absent entry.
int64_t assignment_max(const std::vector<int64_t>& d, int32_t n) {
    std::vector<int32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0);
    int64_t best = -1;
    do {
        int64_t s = 0;
        bool ok = true;
        for (int32_t i = 0; i < n && ok; i++) {
            const int64_t e = d[static_cast<size_t>(i) * n + perm[i]];
            if (e < 0) ok = false;
            s += e;
        }
        if (ok) best = std::max(best, s);
    } while (std::next_permutation(perm.begin(), perm.end()));
    return best;
}

TEST(PolyDet, DegreeBoundCoversEveryPermutation) {
    // By hand: a diagonal adds up; a full matrix of degree d gives n * d; an
    // empty row or column means a zero determinant (bound 2).
    EXPECT_EQ(max_plus_degree_bound({3, -1, -1, -1, 5, -1, -1, -1, 2}, 3), 10);
    EXPECT_EQ(max_plus_degree_bound(std::vector<int64_t>(16, 3), 4), 12);
    EXPECT_EQ(max_plus_degree_bound({1, 2, -1, -1}, 2), 2);
    EXPECT_EQ(max_plus_degree_bound({1, -1, 4, -1}, 2), 2);
    // A row of degree 0 and a column of degree 5 elsewhere: 0 + 5 + 1.
    EXPECT_EQ(max_plus_degree_bound({0, 0, 0, 5, 1, 1, 5, 1, 1}, 3), 6);
    std::mt19937_64 rng(14);
    std::uniform_int_distribution<int> deg(-1, 6), size(1, 7);
    for (int trial = 0; trial < 400; trial++) {
        const int32_t n = size(rng);
        std::vector<int64_t> d(static_cast<size_t>(n) * n);
        for (auto& x : d) x = deg(rng);
        const int64_t want = assignment_max(d, n);
        const int32_t got = max_plus_degree_bound(d, n);
        if (want >= 0) {
            EXPECT_GE(got, want) << "trial " << trial;
        }
    }
}

TEST(PolyDet, ZeroDeterminants) {
    for (int32_t p : {0, 101}) {
        PrimeRing ring(p);
        AttachedVars xs(2);
        std::mt19937_64 rng(15);
        PolyMatrix a(2, 7);
        fill_random(a, rng);
        for (int32_t j = 0; j < 7; j++) a.set(3, j, a.e[static_cast<size_t>(1) * 7 + j]);   // rows 2 and 4 equal
        quoly* r = interp_det(a);
        EXPECT_TRUE(quoly_iszero(r)) << p;
        free_quoly(&r);
        for (int32_t j = 0; j < 7; j++) a.set(5, j, {});   // a zero row
        EXPECT_EQ(poly_det_degree_bound(a.m.cells().data(), 7, 1), 2);
        r = interp_det(a);
        EXPECT_TRUE(quoly_iszero(r)) << p;
        free_quoly(&r);
    }
}

// Determinants whose coefficients the first primes of the table divide:
// Q is the product of every prime the loop can start with and the next.
TEST(PolyDet, DeterminantsTheFirstPrimesDivide) {
    PrimeRing ring(0);
    AttachedVars xs(1);
    mpz_class Q = 1;
    for (int k = 5; k <= 11; k++) Q *= prime[k]->value;
    std::mt19937_64 rng(16);
    // Q * (x^2 + 1): every image is 0; then Q * x^3 + x + 1: the images
    // are those of x + 1.
    for (const TermList& corner : {TermList{{Q, {2}}, {Q, {0}}}, TermList{{Q, {3}}, {1, {1}}, {1, {0}}}}) {
        PolyMatrix a(1, 5);
        for (int32_t i = 0; i < 5; i++)
            for (int32_t j = 0; j < 5; j++) a.set(i, j, j > i ? random_entry(rng, 1) : TermList{});
        for (int32_t i = 1; i < 5; i++) a.set(i, i, {{1, {0}}});
        a.set(0, 0, corner);
        quoly* r = interp_det(a);
        ASSERT_FALSE(r->isnum);
        EXPECT_EQ(read_poly(r->pnum, 1), canonical_terms(1, corner));
        free_quoly(&r);
    }
}

TEST(PolyDet, FactorErrorsLeaveEverythingAsItWas) {
    PrimeRing ring(0);
    AttachedVars xs(2);
    std::mt19937_64 rng(17);
    PolyMatrix a(2, 7);
    // Entries in y only: the interpolation variable is y, a factor in x is refused.
    for (int32_t i = 0; i < 7; i++)
        for (int32_t j = 0; j < 7; j++) {
            TermList t = random_entry(rng, 2);
            for (Term& term : t) term.exps[0] = 0;
            a.set(i, j, t);
        }
    BuiltPoly fx(2, {{1, {1, 0}}, {1, {0, 0}}});
    const int saved_verbose = verbose, saved_ci = command_int;
    std::vector<quoly*> v = a.m.cells();
    quoly* r = nullptr;
    quoly_set(1, &r);
    EXPECT_TARVEX_ERROR(rat_poly_determ(v.data(), 2, 7, &r, 0, fx.p, -1), 305);
    EXPECT_EQ(modularmode, 0);
    EXPECT_EQ(lintmode, 0);
    EXPECT_EQ(verbose, saved_verbose);
    EXPECT_EQ(command_int, saved_ci);
    EXPECT_EQ(lagrangedepth, 0);
    EXPECT_EQ(first_available, 1);
    for (int32_t i = 0; i < 7; i++)
        for (int32_t j = 0; j < 7; j++) {
            quoly* q = a.m.cell(i, j);
            const TermList want = canonical_terms(2, a.e[static_cast<size_t>(i) * 7 + j]);
            if (q->isnum) {
                const bool constant = want.size() == 1 && want[0].exps == std::vector<int32_t>({0, 0});
                EXPECT_TRUE(constant && want[0].coef == plain_value(q));
            } else {
                EXPECT_EQ(read_poly(q->pnum, 2), want);
            }
        }
    EXPECT_EQ(read_poly(fx.p, 2), canonical_terms(2, {{1, {1, 0}}, {1, {0, 0}}}));
    free_quoly(&r);

    // A number matrix with a factor that is not a number.
    {
        PrimeRing mod(101);
        PolyMatrix b(2, 4);
        for (int32_t i = 0; i < 4; i++)
            for (int32_t j = 0; j < 4; j++) b.set(i, j, {{static_cast<int>(i == j) + i * j, {0, 0}}});
        BuiltPoly f(2, {{1, {1, 0}}});
        std::vector<quoly*> w = b.m.cells();
        quoly* d = nullptr;
        quoly_set(1, &d);
        EXPECT_TARVEX_ERROR(mod_poly_determ(w.data(), 16384, 4, &d, 0, f.p, -1), 305);
        EXPECT_EQ(lagrangedepth, 0);
        free_quoly(&d);
    }
    // Every point of the first interval a root of the factor: with the
    // degree 28 given and a factor of degree 4, 25 points 4 apart.
    {
        PrimeRing mod(101);
        AttachedVars one(1);
        PolyMatrix b(1, 7);
        fill_random(b, rng);
        BuiltPoly f(1, {{1, {4}}, {-6, {3}}, {11, {2}}, {-6, {1}}});   // x(x-1)(x-2)(x-3)
        std::vector<quoly*> w = b.m.cells();
        quoly* d = nullptr;
        quoly_set(1, &d);
        EXPECT_TARVEX_ERROR(mod_poly_determ(w.data(), 1, 7, &d, 0, f.p, 28), 304);
        EXPECT_EQ(lagrangedepth, 0);
        free_quoly(&d);
    }
}

TEST(PolyDet, FactorsDivideTheAnswer) {
    for (int32_t p : {0, 101}) {
        PrimeRing ring(p);
        AttachedVars xs(2);
        std::mt19937_64 rng(18);
        PolyMatrix a(2, 7);
        fill_random(a, rng);
        // Column 1 times (x + 2): the determinant has the factor.
        for (int32_t i = 0; i < 7; i++) {
            TermList t;
            for (const Term& term : a.e[static_cast<size_t>(i) * 7]) {
                t.push_back({term.coef, {term.exps[0] + 1, term.exps[1]}});
                t.push_back({term.coef * 2, term.exps});
            }
            a.set(i, 0, t);
        }
        quoly* whole = interp_det(a);
        BuiltPoly f(2, {{1, {1, 0}}, {2, {0, 0}}});
        quoly* part = interp_det(a, nullptr, f.p);
        quoly* fq = nullptr;
        p_q_assign(f.p, &fq);
        quoly* back = nullptr;
        quoly_mult(part, fq, &back);
        EXPECT_TRUE(same_value(back, whole)) << p;
        // A constant factor too.
        BuiltPoly three(2, {{3, {0, 0}}});
        quoly* third = interp_det(a, nullptr, three.p);
        quoly* c3 = nullptr;
        p_q_assign(three.p, &c3);
        quoly* again = nullptr;
        quoly_mult(third, c3, &again);
        EXPECT_TRUE(same_value(again, whole)) << p;
        for (quoly** q : {&whole, &part, &fq, &back, &third, &c3, &again}) free_quoly(q);
    }
}

TEST(PolyDet, NegativeExponentsAreRefusedWithThreeWarnings) {
    PrimeRing ring(0);
    AttachedVars xs(1);
    const int saved_laurent = laurent;
    laurent = 1;
    neg_exponent_warning = 0;
    std::mt19937_64 rng(19);
    PolyMatrix a(1, 7);
    fill_random(a, rng);
    a.set(2, 3, {{1, {-1}}, {2, {0}}});
    std::vector<std::string> said(4);
    for (auto& s : said) {
        ::testing::internal::CaptureStdout();
        quoly* r = interp_det(a);
        s = ::testing::internal::GetCapturedStdout();
        quoly* elim = hub_det(a.m, {"plain", 0, 0});
        EXPECT_TRUE(same_value(elim, r));   // the hub eliminated instead
        free_quoly(&elim);
        free_quoly(&r);
    }
    const std::string lines =
        " Warning.  matrix contains negative exponents.  Fast\n"
        " determinant method cannot be used.  It would be better\n"
        " to remove the negative exponents and try again.\n";
    EXPECT_EQ(said[0], lines);
    EXPECT_EQ(said[1], lines);
    EXPECT_EQ(said[2], lines + " *** This is the last warning message.\n");
    EXPECT_EQ(said[3], "");
    laurent = saved_laurent;
    neg_exponent_warning = 0;
}

TEST(PolyDet, NestingPastTheCutDeclines) {
    PrimeRing ring(101);
    AttachedVars xs(2);
    std::mt19937_64 rng(20);
    PolyMatrix a(2, 7);
    fill_random(a, rng);
    std::vector<quoly*> v = a.m.cells();
    quoly* r = nullptr;
    quoly_set(1, &r);
    const int32_t saved = lagrangecut;
    lagrangecut = 1;   // the outer level runs, the nested one declines
    ASSERT_EQ(mod_poly_determ(v.data(), 1, 7, &r, 0, nullptr, -1), 1);
    quoly* elim = hub_det(a.m, {"plain", 0, 0});
    EXPECT_TRUE(same_value(elim, r));
    lagrangecut = 0;
    quoly* untouched = nullptr;
    quoly_set(1, &untouched);
    EXPECT_EQ(mod_poly_determ(v.data(), 1, 7, &untouched, 0, nullptr, -1), 0);
    EXPECT_TRUE(quoly_eq_1(untouched));
    lagrangecut = saved;
    EXPECT_EQ(lagrangedepth, 0);
    for (quoly** q : {&r, &elim, &untouched}) free_quoly(q);
}

}  // namespace
