// One-variable division modulo p on planted answers: u is built as q·m + r
// (deg r < deg m) with the general product and sum, and every route
// (schoolbook, dense arrays, divide and conquer, each of its balanced cases
// forced) must give back q and r, leave u and m node for node as they were,
// and lose no record. The same for the divide and conquer on bivariate
// polynomials over a monic divisor, over the integers and modulo p.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gcd/onevar_div.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"

namespace {

struct Ground {
    const char* name;
    int32_t m;
};
const Ground kGrounds[] = {{"7", 7}, {"65521", 65521}, {"2147483629", 2147483629}, {"GF(2^8)", 256}, {"GF(2^16)", 65536}};

// Residues modulo a prime, the cut-offs put back at the end of the scope.
struct RingScope {
    RingStateGuard saved;
    int32_t div_cut = div_poly_cutoff, cutoff = poly_cutoff;
    explicit RingScope(int32_t m) {
        modularmode = 1;
        lintmode = 1;
        install_modulus(m);
        mod_is_prime = 1;
        div_poly_cutoff = 25;
    }
    ~RingScope() {
        div_poly_cutoff = div_cut;
        poly_cutoff = cutoff;
    }
};

using Exps = std::vector<int32_t>;

// deg d, about n terms, lowest exponent low; every coefficient non-zero.
TermList random_poly(NumberGen& g, int32_t d, int32_t n, int32_t low = 0) {
    TermList t;
    if (d < 0) return t;
    const int32_t span = d - low + 1;
    for (int32_t e = d; e >= low; e--)
        if (e == d || g.below(span) < n) t.emplace_back(static_cast<long>(g.between(1, modulus - 1)), Exps{e});
    return t;
}

// Every node with its links, exponent, flag and residue, depth first.
struct NodeRecord {
    const void *node, *next, *coef;
    int32_t exp, numb, value;
    bool operator==(const NodeRecord&) const = default;
};
void snapshot(const polynode* p, std::vector<NodeRecord>* out) {
    for (; p; p = p->next) {
        out->push_back({p, p->next, p->coef, p->exp, p->numb, p->numb ? p->ncoef->value : 0});
        if (!p->numb) snapshot(p->pcoef, out);
    }
}
std::vector<NodeRecord> snapshot(const polynode* p) {
    std::vector<NodeRecord> s;
    snapshot(p, &s);
    return s;
}

struct Planted {
    TermList q, m, r;
    polynode* u = nullptr;   // q·m + r, by the general product and sum
    polynode* pm = nullptr;
    Planted(const TermList& tq, const TermList& tm, const TermList& tr) : q(canonical_terms(1, tq)), m(canonical_terms(1, tm)), r(canonical_terms(1, tr)) {
        polynode* pq = build_poly(1, q);
        polynode* pr = build_poly(1, r);
        pm = build_poly(1, m);
        poly_mult(pq, pm, &u, nilpol);
        poly_add(u, pr, &u);
        free_poly(&pq);
        free_poly(&pr);
    }
    ~Planted() {
        free_poly(&u);
        free_poly(&pm);
    }
};

class OnevarDivTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        load_data_once();
        init_poly_work_arrays();
    }
};

// Calls one route and checks what every route promises.
struct RouteCheck {
    Planted& p;
    std::string what;
    void results(polynode* quo, polynode* rem, const char* route, bool with_q = true) {
        if (with_q) {
            ASSERT_TRUE(check_poly_shape(quo, 1)) << what << route;
            EXPECT_EQ(read_poly(quo, 1), p.q) << what << route;
        }
        ASSERT_TRUE(check_poly_shape(rem, 1)) << what << route;
        EXPECT_EQ(read_poly(rem, 1), p.r) << what << route;
    }
    void run() {
        const auto su = snapshot(p.u), sm = snapshot(p.pm);
        const TermList vu = read_poly(p.u, 1);
        const int32_t du = p.u->numb ? 0 : p.u->exp, dm = p.pm->numb ? 0 : p.pm->exp;
        polynode *quo = nullptr, *rem = nullptr;
        for (int fast : {0, 1}) {
            simplest_poly_divide(p.u, p.pm, &quo, &rem, fast);
            results(quo, rem, fast ? " simplest_poly_divide fast" : " simplest_poly_divide");
        }
        fast_mod_and_div(p.u, p.pm, &rem, &quo, nullptr, 1);
        results(quo, rem, " fast_mod_and_div");
        karat_mod_and_div(1, p.u, p.pm, &rem, &quo, nullptr);
        results(quo, rem, " karat_mod_and_div");
        three_case(1, p.u, p.pm, &rem, &quo, nullptr);
        results(quo, rem, " three_case");
        poly_div_no_q(p.u, p.pm, &rem);
        results(nullptr, rem, " poly_div_no_q", false);
        if (du >= dm) {
            simplest_div_no_q(p.u, p.pm, &rem);
            results(nullptr, rem, " simplest_div_no_q", false);
        }
        // Exactness: u is a multiple of m exactly when r is 0; and u - r always is.
        const int exact = fastest_poly_div(p.u, p.pm, &quo);
        EXPECT_EQ(exact, p.r.empty() ? 1 : 0) << what;
        if (exact) results(quo, rem, " fastest_poly_div");
        else EXPECT_EQ(quo, nullptr) << what;
        polynode* multiple = nullptr;
        polynode* pr = build_poly(1, p.r);
        poly_sub(p.u, pr, &multiple);
        EXPECT_EQ(fastest_poly_div(multiple, p.pm, &quo), 1) << what;
        EXPECT_EQ(read_poly(quo, 1), p.q) << what << " fastest_poly_div of u - r";
        free_poly(&pr);
        free_poly(&multiple);
        free_poly(&quo);
        free_poly(&rem);
        EXPECT_TRUE(snapshot(p.u) == su) << what << ": u changed";
        EXPECT_TRUE(snapshot(p.pm) == sm) << what << ": m changed";
        EXPECT_EQ(read_poly(p.u, 1), vu) << what;
    }
};

TEST_F(OnevarDivTest, EveryRouteRecoversThePlantedQuotientAndRemainder) {
    struct Shape {
        int32_t du, dm, terms_m, terms_q;   // terms: how full (out of the degree + 1)
    };
    // Across the cut-offs: tiny, balanced (karat), 3x (three_case), 4x
    // (the split at x^2k), 20x (fast path for a small divisor), sparse,
    // divisors below and above div_poly_cutoff and poly_cutoff.
    const Shape shapes[] = {{0, 0, 1, 1},       {5, 0, 1, 6},        {9, 3, 4, 7},         {40, 20, 21, 21},
                            {60, 20, 21, 41},   {80, 20, 21, 61},    {30, 10, 11, 21},     {100, 45, 46, 56},
                            {100, 45, 8, 56},   {130, 41, 42, 90},   {1000, 45, 46, 956},  {700, 300, 12, 40},
                            {2000, 700, 701, 1301}, {3100, 1000, 1001, 2101}};
    NumberGen g(0x4103);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground.m);
        RecordLedger ledger;
        for (const Shape& s : shapes) {
            if (ground.m == 2147483629 && s.du > 1000) continue;   // schoolbook with 64-bit products: slow, covered at 65521
            for (int zero_r : {0, 1}) {
                const TermList q = random_poly(g, s.du - s.dm, s.terms_q);
                const TermList m = random_poly(g, s.dm, s.terms_m);
                const TermList r = zero_r ? TermList{} : random_poly(g, s.dm - 1, s.dm);
                Planted p(q, m, r);
                for (int32_t cut : {25, 2}) {   // 2: recursion down to the smallest pieces
                    if (cut == 2 && s.du > 500) continue;   // forced balanced routes on tiny pieces: slow
                    div_poly_cutoff = cut;
                    RouteCheck{p, std::string(ground.name) + " du " + std::to_string(s.du) + " dm " + std::to_string(s.dm) +
                                      " cut " + std::to_string(cut) + " " + g.trace()}
                        .run();
                }
                div_poly_cutoff = 25;
            }
        }
        EXPECT_TRUE(ledger.balanced()) << ground.name;
    }
}

TEST_F(OnevarDivTest, HandComputedCases) {
    RingScope ring(5);
    RecordLedger ledger;
    polynode* quo = nullptr;
    polynode* u = build_poly(1, {{1, {2}}, {1, {1}}});
    polynode* m = build_poly(1, {{1, {1}}, {1, {0}}});
    EXPECT_EQ(fastest_poly_div(u, m, &quo), 1);   // x^2 + x = x (x + 1)
    EXPECT_EQ(read_poly(quo, 1), canonical_terms(1, {{1, {1}}}));
    free_poly(&u);
    u = build_poly(1, {{1, {2}}, {1, {0}}});
    EXPECT_EQ(fastest_poly_div(u, m, &quo), 0);   // x^2 + 1 = (x - 1)(x + 1) + 2
    EXPECT_EQ(quo, nullptr);
    polynode* rem = nullptr;
    simplest_poly_divide(u, m, &quo, &rem, 0);
    EXPECT_EQ(read_poly(quo, 1), canonical_terms(1, {{1, {1}}, {4, {0}}}));
    EXPECT_EQ(read_poly(rem, 1), canonical_terms(1, {{2, {0}}}));
    // 3x^3 + 1 by 2x + 0 mod 5: quotient 4x^2, remainder 1 (2·4 = 3).
    free_poly(&u);
    free_poly(&m);
    u = build_poly(1, {{3, {3}}, {1, {0}}});
    m = build_poly(1, {{2, {1}}});
    poly_div_no_q(u, m, &rem);
    EXPECT_EQ(read_poly(rem, 1), canonical_terms(1, {{1, {0}}}));
    simplest_poly_divide(u, m, &quo, &rem, 1);
    EXPECT_EQ(read_poly(quo, 1), canonical_terms(1, {{4, {2}}}));
    // The quotient slot holding the dividend on entry.
    polynode* alias = u;
    simplest_poly_divide(u, m, &alias, &rem, 0);
    EXPECT_EQ(read_poly(alias, 1), canonical_terms(1, {{4, {2}}}));
    u = nullptr;   // freed through the slot
    for (polynode** p : {&quo, &rem, &alias, &m}) free_poly(p);
    EXPECT_TRUE(ledger.balanced());
}

// Dividends above the dense limit are tested by divide and conquer. Its
// products may use the dense arrays, but only for operands far shorter than
// the dividend: the top words, which the dense elimination would fill with
// the dividend, stay as they were.
TEST_F(OnevarDivTest, LongDividendsStayOutOfTheDenseArrays) {
    RingScope ring(65521);
    RecordLedger ledger;
    NumberGen g(0x15000);
    const TermList q = random_poly(g, 15200 - 3000, 12201);
    const TermList m = random_poly(g, 3000, 3001);
    for (int zero_r : {1, 0}) {
        Planted p(q, m, zero_r ? TermList{} : random_poly(g, 2999, 3000));
        for (int32_t i = 0; i < DENSE_WORDS; i++) xx[i] = yy[i] = zz[i] = 0xdeadbeefu;
        polynode* quo = nullptr;
        EXPECT_EQ(fastest_poly_div(p.u, p.pm, &quo), zero_r);
        if (zero_r) EXPECT_EQ(read_poly(quo, 1), p.q);
        else EXPECT_EQ(quo, nullptr);
        int32_t touched = 0;
        for (int32_t i = 12000; i <= 15200; i++) touched += xx[i] != 0xdeadbeefu;
        EXPECT_EQ(touched, 0);
        free_poly(&quo);
    }
    EXPECT_TRUE(ledger.balanced());
}

// Sparse operands of degree near the top of an exponent word: the route
// choices compare multiples of the degrees, which must not wrap round. A
// handful of terms keeps every route cheap whatever the degree.
TEST_F(OnevarDivTest, DegreesNearTheExponentLimitChooseTheirRoutesSoundly) {
    struct Shape {
        int32_t du, dm;
    };
    const Shape shapes[] = {{268435456, 268435455}, {2147483600, 268435455}, {2147483600, 1000000000},
                            {2000000000, 600000000}, {2147483600, 700001}, {1073741824, 1073741823}};
    NumberGen g(0x7fff);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground.m);
        RecordLedger ledger;
        for (const Shape& s : shapes) {
            auto coef = [&] { return static_cast<long>(g.between(1, modulus - 1)); };
            const int32_t dq = s.du - s.dm;
            TermList q{{coef(), Exps{dq}}, {coef(), Exps{dq / 3}}, {coef(), Exps{0}}};
            if (dq == 0) q = {{coef(), Exps{0}}};
            const TermList m{{1, Exps{s.dm}}, {coef(), Exps{s.dm / 2}}, {coef(), Exps{0}}};
            for (int zero_r : {0, 1}) {
                const TermList r = zero_r ? TermList{} : TermList{{coef(), Exps{s.dm - 1}}, {coef(), Exps{1}}};
                Planted p(q, m, r);
                for (int32_t cut : {25, 2}) {
                    div_poly_cutoff = cut;
                    RouteCheck{p, std::string(ground.name) + " du " + std::to_string(s.du) + " dm " +
                                      std::to_string(s.dm) + " cut " + std::to_string(cut)}
                        .run();
                }
                div_poly_cutoff = 25;
            }
        }
        EXPECT_TRUE(ledger.balanced()) << ground.name;
    }
}

TEST_F(OnevarDivTest, DivisionByZeroIsError22AndKeepsEverything) {
    RingScope ring(65521);
    RecordLedger ledger;
    polynode* u = build_poly(1, {{3, {4}}, {1, {0}}});
    polynode* zero = build_poly(1, {});
    polynode* quo = build_poly(1, {{5, {0}}});
    polynode* rem = nullptr;
    const auto su = snapshot(u), sq = snapshot(quo);
    auto expect_22 = [&](auto&& call, const char* what) {
        ::testing::internal::CaptureStdout();
        try {
            call();
            ADD_FAILURE() << what << ": no error";
        } catch (const TarvexUnwind& e) {
            EXPECT_EQ(e.code, 22) << what;
        }
        ::testing::internal::GetCapturedStdout();
    };
    expect_22([&] { simplest_poly_divide(u, zero, &quo, &rem, 1); }, "simplest_poly_divide");
    expect_22([&] { poly_div_no_q(u, zero, &rem); }, "poly_div_no_q");
    expect_22([&] { fast_mod_and_div(u, zero, &rem, &quo, nullptr, 1); }, "fast_mod_and_div");
    expect_22([&] { fastest_poly_div(u, zero, &quo); }, "fastest_poly_div");
    EXPECT_TRUE(snapshot(u) == su);
    EXPECT_TRUE(snapshot(quo) == sq);
    EXPECT_EQ(rem, nullptr);
    // 0 divided by anything non-zero is exact.
    EXPECT_EQ(fastest_poly_div(zero, u, &quo), 1);
    EXPECT_EQ(read_poly(quo, 1), TermList{});
    for (polynode** p : {&u, &zero, &quo}) free_poly(p);
    EXPECT_TRUE(ledger.balanced());
}

// General polynomials (modflag 0): x over y, the divisor monic in x, over
// the integers and modulo 65,521; the balanced cases run over products of
// bivariate polynomials and pseudo division at the base.
TermList random_bivariate(NumberGen& g, int32_t dx, int32_t dy, int percent, bool monic) {
    TermList t;
    for (int32_t i = 0; i <= dx; i++)
        for (int32_t j = 0; j <= dy; j++) {
            if (monic && i == dx) continue;
            if (!g.chance(percent)) continue;
            mpz_class c = modularmode ? mpz_class(g.between(1, modulus - 1)) : g.digits(g.between(1, 2));
            if (c != 0) t.emplace_back(c, Exps{i, j});
        }
    if (monic) t.emplace_back(1, Exps{dx, 0});
    else if (dx >= 0) t.emplace_back(g.between(1, 50), Exps{dx, dy});
    return t;
}

TEST_F(OnevarDivTest, GeneralPolynomialsOverAMonicDivisor) {
    NumberGen g(0x4103b);
    for (int32_t mod : {0, 65521}) {
        RingStateGuard saved;
        const int32_t div_cut = div_poly_cutoff;
        modularmode = mod != 0;
        lintmode = mod != 0;
        install_modulus(mod);
        mod_is_prime = mod != 0;
        AttachedVars vars(2);
        RecordLedger ledger;
        struct Shape {
            int32_t du, dm;
        };
        for (Shape s : {Shape{12, 6}, Shape{20, 8}, Shape{27, 9}, Shape{40, 9}, Shape{30, 10}, Shape{4, 6}}) {
            for (int zero_r : {0, 1}) {
                const TermList q = s.du >= s.dm ? random_bivariate(g, s.du - s.dm, 3, 40, false) : TermList{};
                const TermList m = random_bivariate(g, s.dm, 3, 50, true);
                const TermList r = zero_r ? TermList{} : random_bivariate(g, s.dm - 1, 4, 40, false);
                polynode* pq = build_poly(2, q);
                polynode* pm = build_poly(2, m);
                polynode* pr = build_poly(2, r);
                polynode* u = nullptr;
                poly_mult(pq, pm, &u, polynames);
                poly_add(u, pr, &u);
                const TermList want_q = canonical_terms(2, s.du >= s.dm ? q : TermList{});
                const TermList want_r = canonical_terms(2, s.du >= s.dm ? r : read_poly(u, 2));
                const auto su = snapshot(u), sm = snapshot(pm);
                for (int32_t cut : {6, 2}) {
                    div_poly_cutoff = cut;
                    const std::string what = std::string(mod ? "mod 65521" : "over Z") + " du " + std::to_string(s.du) +
                                             " dm " + std::to_string(s.dm) + " cut " + std::to_string(cut) + " " + g.trace();
                    polynode *quo = nullptr, *rem = nullptr;
                    fast_mod_and_div(u, pm, &rem, &quo, polynames, 0);
                    for (int route = 0; route < 3; route++) {
                        if (route == 1) karat_mod_and_div(0, u, pm, &rem, &quo, polynames);
                        if (route == 2) three_case(0, u, pm, &rem, &quo, polynames);
                        ASSERT_TRUE(check_poly_shape(quo, 2)) << what << " route " << route;
                        ASSERT_TRUE(check_poly_shape(rem, 2)) << what << " route " << route;
                        EXPECT_EQ(read_poly(quo, 2), want_q) << what << " route " << route;
                        EXPECT_EQ(read_poly(rem, 2), want_r) << what << " route " << route;
                    }
                    free_poly(&quo);
                    free_poly(&rem);
                    EXPECT_TRUE(snapshot(u) == su) << what << ": u changed";
                    EXPECT_TRUE(snapshot(pm) == sm) << what << ": m changed";
                }
                for (polynode** p : {&pq, &pm, &pr, &u}) free_poly(p);
            }
        }
        div_poly_cutoff = div_cut;
        EXPECT_TRUE(ledger.balanced()) << mod;
    }
}

}  // namespace
