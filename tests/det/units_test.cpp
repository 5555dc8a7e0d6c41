// The pieces on their own: pivot preference, cofactor expansion along the
// line with most zeros (and its sign), the machine-word power against
// python3's pow, and exact division that leaves a failed dividend whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "det/inumber_power.h"
#include "det/pivots.h"
#include "det/small_determ.h"
#include "det_support.h"
#include "quoly/trial_divide.h"
#include "storage/nodetests.h"
#include "support/expect_error.h"
#include "support/ring_setup.h"
#include "support/sympy_ref.h"

namespace {

// A 3 x 3 vector of values: numbers from mpz, or polynomial quolys.
struct Cells {
    std::vector<quoly*> v;
    int32_t n;
    explicit Cells(int32_t size) : v(static_cast<size_t>(size) * size, nullptr), n(size) {
        for (auto& q : v) quoly_set(0, &q);
    }
    ~Cells() {
        for (auto& q : v) free_quoly(&q);
    }
    void num(int32_t i, int32_t j, const mpz_class& x) {
        free_quoly(&v[j * n + i]);
        v[j * n + i] = ring_number(x);
    }
    void poly(int32_t i, int32_t j, const TermList& t) {
        BuiltPoly p(1, t);
        p_q_assign(p.p, &v[j * n + i]);
    }
};

std::pair<int32_t, int32_t> spot(Cells& c, int32_t k = 1, int32_t ncols = -1) {
    int32_t r = -7, col = -7;
    find_good_spot(c.v.data(), k, c.n, ncols < 0 ? c.n - k + 1 : ncols, &r, &col);
    return {r, col};
}

TEST(Pivots, PreferenceOrder) {
    PrimeRing ring(0);
    AttachedVars xs(1);
    Cells c(3);
    // Only polynomials: the least mass wins.
    c.poly(0, 0, {{3, {2}}, {1, {0}}});
    c.poly(1, 0, {{1, {1}}});
    c.poly(2, 1, {{5, {3}}});
    EXPECT_EQ(spot(c), std::make_pair(2, 1));
    // One integer anywhere beats every polynomial; the least number wins.
    c.num(2, 2, 1000);
    c.num(1, 2, -30);
    EXPECT_EQ(spot(c), std::make_pair(2, 3));
    // A unit is taken at once, even after a smaller-mass candidate.
    c.num(0, 1, -1);
    c.num(2, 1, 1);
    EXPECT_EQ(spot(c), std::make_pair(1, 2));
    // Ties keep the first met (column by column, rows downward).
    Cells t(3);
    t.num(1, 1, 12);
    t.num(2, 0, 13);
    t.num(0, 2, 14);
    EXPECT_EQ(spot(t), std::make_pair(3, 1));
    // A window of one column; an empty first column: no pivot.
    EXPECT_EQ(spot(t, 1, 1), std::make_pair(3, 1));
    Cells e(3);
    e.num(1, 1, 5);
    EXPECT_EQ(spot(e).first, 0);
    Cells z(2);
    EXPECT_EQ(spot(z).first, 0);
    // The same preferences in the cell store.
    StoredMatrix m("piv", 3);
    fill(m, {{0, 40, 7}, {0, 3, 0}, {0, 0, -1}});
    int32_t r = 0, col = 0;
    findbest(m.rec->first, m.rec->last, 3, 0, &r, &col, 0);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(col, 2);
    findbest(m.rec->first, m.rec->last, 3, 0, &r, &col, 1);
    EXPECT_EQ(r, -1);
    colfindbest(m.rec->first, 3, 0, 1, &r);
    EXPECT_EQ(r, 1);
}

TEST(Cofactors, ZeroRichMatricesAndTheSignOfColumnExpansion) {
    PrimeRing ring(0);
    std::mt19937_64 rng(10);
    std::uniform_int_distribution<int> v(-9, 9), z(0, 2);
    for (int32_t n = 2; n <= 7; n++) {
        for (int rep = 0; rep < 20; rep++) {
            IntMatrix a(n, std::vector<mpz_class>(n));
            for (auto& row : a)
                for (auto& x : row) x = z(rng) ? 0 : v(rng);
            // Now and then a column other than the first has the most zeros,
            // or a row is all zero.
            if (rep % 3 == 1)
                for (int32_t i = 0; i + 1 < n; i++) a[i][n - 1] = 0;
            if (rep % 7 == 2) a[n / 2].assign(n, 0);
            Cells c(n);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) c.num(i, j, a[i][j]);
            std::vector<quoly*> before = c.v;
            quoly* r = nullptr;
            quoly_set(1, &r);
            small_determ(&r, c.v.data(), n, 0);
            EXPECT_EQ(plain_value(r), gmp_det(a)) << n << " " << rep;
            EXPECT_EQ(c.v, before);   // lines exchanged back
            free_quoly(&r);
        }
    }
}

TEST(InumberPower, AgreesWithPythonPow) {
    ASSERT_TRUE(sympy_importable());
    struct Case {
        int32_t b, e, m;   // m 0: integers
    };
    std::vector<Case> cases;
    std::mt19937_64 rng(77);
    for (int32_t m : {65521, 2147483629, 7, 3}) {
        std::uniform_int_distribution<int32_t> b(0, m - 1), e(-100000, 2000000000);
        for (int k = 0; k < 40; k++) cases.push_back({b(rng), e(rng), m});
        cases.push_back({0, 5, m});
        cases.push_back({0, m - 1, m});
        cases.push_back({0, 0, m});
        cases.push_back({5, 0, m});
        cases.push_back({m - 1, -3, m});
    }
    for (int32_t b = -3; b <= 3; b++)
        for (int32_t e = 0; e <= 12; e++) cases.push_back({b, e, 0});
    cases.push_back({-1, -7, 0});
    cases.push_back({1, -4, 0});
    std::ostringstream script;
    script << "for b, e, m in [";
    for (const Case& c : cases) script << "(" << c.b << "," << c.e << "," << c.m << "),";
    script << "]: print(pow(b, e, m) if m else (b ** e if e >= 0 else int(round(b ** e))))";
    FILE* f = popen((python_command() + " -c '" + script.str() + "'").c_str(), "r");
    ASSERT_NE(f, nullptr);
    for (const Case& c : cases) {
        long long want = 0;
        ASSERT_EQ(std::fscanf(f, "%lld", &want), 1);
        PrimeRing ring(c.m);
        int32_t b = c.b, e = c.e;
        inumber_power(&b, &e);
        EXPECT_EQ(b, want) << c.b << "^" << c.e << " mod " << c.m;
    }
    pclose(f);
}

TEST(InumberPower, ZeroAndRefusedPowers) {
    {
        PrimeRing ring(65521);
        int32_t b = 0, e = 65520;   // a multiple of p - 1
        inumber_power(&b, &e);
        EXPECT_EQ(b, 0);
        b = 0, e = -2;
        EXPECT_TARVEX_ERROR(inumber_power(&b, &e), 85);
    }
    PrimeRing ring(0);
    int32_t b = 2, e = -1;
    EXPECT_TARVEX_ERROR(inumber_power(&b, &e), 226);
    b = 0, e = -1;
    EXPECT_TARVEX_ERROR(inumber_power(&b, &e), 226);
    b = 2, e = 28;
    EXPECT_TARVEX_ERROR(inumber_power(&b, &e), 32);
    b = -1, e = -5;
    inumber_power(&b, &e);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(e, 5);
}

TEST(TrialDivide, ExactQuotientsAndWholeDividendsOnFailure) {
    PrimeRing ring(0);
    AttachedVars xs(2);
    auto q_of = [](const TermList& t) {
        BuiltPoly p(2, t);
        quoly* q = nullptr;
        p_q_assign(p.p, &q);
        return q;
    };
    quoly* six = ring_number(6);
    quoly* three = ring_number(3);
    int flag = 0;   // division mode; a failure leaves 1 in it
    EXPECT_EQ(trial_divide(&three, &six, 1, 0, 0, &flag), 0);
    EXPECT_EQ(plain_value(six), 2);
    quoly* seven = ring_number(7);
    EXPECT_EQ(trial_divide(&three, &seven, 1, 0, 0, &(flag = 0)), 1);
    EXPECT_EQ(plain_value(seven), 7);
    // 6x + 3 by 2 fails at the constant: the x term is not left halved.
    quoly* two = ring_number(2);
    quoly* u = q_of({{6, {1, 0}}, {3, {0, 0}}});
    EXPECT_EQ(trial_divide(&two, &u, 1, 0, 0, &(flag = 0)), 1);
    EXPECT_EQ(read_poly(u->pnum, 2), canonical_terms(2, {{6, {1, 0}}, {3, {0, 0}}}));
    // x^2 y - y by x + 1 (a polynomial divisor); x^2 + 1 by x + 1 fails whole.
    quoly* d = q_of({{1, {1, 0}}, {1, {0, 0}}});
    quoly* v = q_of({{1, {2, 1}}, {-1, {0, 1}}});
    EXPECT_EQ(trial_divide(&d, &v, 1, 0, 0, &(flag = 0)), 0);
    EXPECT_EQ(read_poly(v->pnum, 2), canonical_terms(2, {{1, {1, 1}}, {-1, {0, 1}}}));
    quoly* w = q_of({{1, {2, 0}}, {1, {0, 0}}});
    EXPECT_EQ(trial_divide(&d, &w, 1, 0, 0, &(flag = 0)), 1);
    EXPECT_EQ(read_poly(w->pnum, 2), canonical_terms(2, {{1, {2, 0}}, {1, {0, 0}}}));
    // A divisor in y only into a polynomial in x and y; test mode.
    quoly* yy = q_of({{2, {0, 1}}});
    quoly* p = q_of({{4, {3, 2}}, {6, {0, 1}}});
    EXPECT_EQ(trial_divide(&yy, &p, 1, 0, 0, &(flag = 0)), 0);
    EXPECT_EQ(read_poly(p->pnum, 2), canonical_terms(2, {{2, {3, 1}}, {3, {0, 0}}}));
    int test = 1;
    quoly* probe = q_of({{1, {1, 0}}, {1, {0, 0}}});
    EXPECT_EQ(trial_divide(&probe, &w, 1, 0, 0, &test), 0);
    EXPECT_TRUE(quoly_iszero(probe));
    for (quoly* q : {six, three, seven, two, u, d, v, w, yy, p, probe}) free_quoly(&q);
}

}  // namespace
