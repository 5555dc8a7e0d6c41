// One-variable gcd modulo p. Every route (dense Euclid with table or
// modmult products, list half-gcd) is compared with a plain Euclid written
// here on coefficient vectors, on planted problems g·a, g·b: the answer is
// monic, divisible by g, and equal to the reference. The half-gcd's own
// contract (the pair's degrees halved, the matrix taking the old pair to the
// new one) and the extended Euclid's Bezout identity are checked by
// multiplying out in the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gcd/gcdstash.h"
#include "gcd/halfgcd.h"
#include "gcd/onevar_div.h"
#include "gcd/onevar_gcd.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"

namespace {

struct RingScope {
    RingStateGuard saved;
    int32_t cutoff = poly_cutoff;
    explicit RingScope(int32_t m) {
        modularmode = 1;
        lintmode = 1;
        install_modulus(m);
        mod_is_prime = 1;
    }
    ~RingScope() { poly_cutoff = cutoff; }
};

// ---- the reference: coefficient vectors, lowest power first, no zero top ----
using Vec = std::vector<uint64_t>;

uint64_t P() { return static_cast<uint64_t>(modulus); }
void trim(Vec& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}
uint64_t inv(uint64_t a) {
    uint64_t r = 1, e = P() - 2;
    for (a %= P(); e; e >>= 1, a = a * a % P())
        if (e & 1) r = r * a % P();
    return r;
}
Vec mul(const Vec& a, const Vec& b) {
    if (a.empty() || b.empty()) return {};
    Vec r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) r[i + j] = (r[i + j] + a[i] * b[j]) % P();
    trim(r);
    return r;
}
Vec add(const Vec& a, const Vec& b) {
    Vec r(std::max(a.size(), b.size()), 0);
    for (size_t i = 0; i < r.size(); i++)
        r[i] = ((i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0)) % P();
    trim(r);
    return r;
}
void mod_in_place(Vec& a, const Vec& b) {
    const uint64_t c = inv(b.back());
    const size_t db = b.size() - 1;
    while (a.size() > db) {
        const uint64_t t = a.back() * c % P();
        const size_t s = a.size() - 1 - db;
        for (size_t i = 0; i < db; i++) a[i + s] = (a[i + s] + (P() - t) * b[i]) % P();
        a.pop_back();
        trim(a);
    }
}
Vec monic(Vec a) {
    if (a.empty()) return a;
    const uint64_t c = inv(a.back());
    for (auto& x : a) x = x * c % P();
    return a;
}
Vec ref_gcd(Vec a, Vec b) {
    while (!b.empty()) {
        mod_in_place(a, b);
        std::swap(a, b);
    }
    return monic(a);
}

Vec vec_of(const polynode* p) {
    Vec v;
    for (const Term& t : read_poly(p, 1)) {
        const size_t e = static_cast<size_t>(t.exps[0]);
        if (v.size() <= e) v.resize(e + 1, 0);
        v[e] = t.coef.get_ui();
    }
    return v;
}
polynode* poly_of(const Vec& v) {
    TermList t;
    for (size_t e = 0; e < v.size(); e++)
        if (v[e]) t.emplace_back(static_cast<long>(v[e]), std::vector<int32_t>{static_cast<int32_t>(e)});
    return build_poly(1, t);
}
Vec random_vec(NumberGen& g, int32_t d, bool sparse = false) {
    Vec v(static_cast<size_t>(d) + 1, 0);
    for (auto& x : v)
        if (!sparse || g.chance(10)) x = static_cast<uint64_t>(g.between(0, modulus - 1));
    v.back() = static_cast<uint64_t>(g.between(1, modulus - 1));
    return v;
}

class OnevarGcdTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        load_data_once();
        init_poly_work_arrays();
    }
    AttachedVars vars{1};
};

enum class Route { Fastest, Faster, HalfGcd, Basic };
const char* name(Route r) {
    switch (r) {
        case Route::Fastest: return "fastest_poly_gcd";
        case Route::Faster: return "faster_poly_gcd";
        case Route::HalfGcd: return "emgcd_poly";
        default: return "basic_poly_gcd";
    }
}

// The monic gcd by one route; the operands must come back unchanged.
Vec gcd_by(Route route, polynode* u, polynode* v) {
    const TermList before_u = read_poly(u, 1), before_v = read_poly(v, 1);
    HeldPoly g;
    switch (route) {
        case Route::Fastest: fastest_poly_gcd(u, v, &g.p, 1, polynames); break;
        case Route::Faster: faster_poly_gcd(u, v, &g.p, 1, polynames); break;
        case Route::Basic: basic_poly_gcd(u, v, &g.p, 1, polynames); break;
        case Route::HalfGcd: {
            emgcd_poly(u, v, &g.p, polynames, 1);
            if (!g.p->numb) {
                HeldPoly lc;
                monic_poly(&g.p, &lc.p, polynames);
            }
            break;
        }
    }
    EXPECT_TRUE(check_poly_shape(g.p, 1)) << name(route);
    EXPECT_EQ(read_poly(u, 1), before_u) << name(route);
    EXPECT_EQ(read_poly(v, 1), before_v) << name(route);
    return vec_of(g.p);
}

// gcd(g·a, g·b) by the given routes against the reference.
void planted(NumberGen& rng, int32_t dg, int32_t da, int32_t db, std::initializer_list<Route> routes,
             bool sparse = false) {
    const Vec g = random_vec(rng, dg, sparse), a = random_vec(rng, da, sparse), b = random_vec(rng, db, sparse);
    const Vec u = mul(g, a), v = mul(g, b);
    const Vec want = ref_gcd(u, v);
    ASSERT_FALSE(want.empty());
    Vec rest = want;
    mod_in_place(rest, g);
    ASSERT_TRUE(rest.empty()) << "the reference gcd must contain g";
    HeldPoly pu(poly_of(u)), pv(poly_of(v));
    for (Route r : routes) {
        EXPECT_EQ(gcd_by(r, pu.p, pv.p), want) << name(r) << " p=" << modulus << " deg g=" << dg << " "
                                                << rng.trace();
        if (u.size() < 1000) {
            EXPECT_EQ(gcd_by(r, pv.p, pu.p), want) << name(r) << " swapped";
        }
    }
}

constexpr std::initializer_list<Route> kAll = {Route::Fastest, Route::Faster, Route::HalfGcd, Route::Basic};

TEST_F(OnevarGcdTest, PlantedFactorsEveryRouteSmallDegrees) {
    NumberGen rng(101);
    for (int32_t m : {7, 65521, 2147483629}) {
        RingScope ring(m);
        RecordLedger ledger;
        for (int round = 0; round < 12; round++) {
            const int32_t dg = rng.between(0, 60), da = rng.between(1, 90), db = rng.between(1, 90);
            planted(rng, dg, da, db, kAll, round % 3 == 0);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST_F(OnevarGcdTest, HalfGcdBelowItsCutoffAndAbove) {
    // The list half-gcd recurses only above poly_cutoff: with a tiny cut-off
    // every stage of the recursion runs even on small problems.
    NumberGen rng(202);
    for (int32_t m : {7, 65521, 2147483629}) {
        RingScope ring(m);
        for (int32_t cut : {2, 5, 40}) {
            poly_cutoff = cut;
            for (int round = 0; round < 8; round++)
                planted(rng, rng.between(0, 150), rng.between(1, 250), rng.between(1, 250), {Route::HalfGcd},
                        round % 2 == 1);
        }
    }
}

TEST_F(OnevarGcdTest, LargeDegreesDenseAndHalfGcd) {
    NumberGen rng(303);
    {
        RingScope ring(65521);
        planted(rng, 6000, 14000, 13000, {Route::Fastest, Route::HalfGcd, Route::Basic});
        planted(rng, 3, 29990, 29000, {Route::HalfGcd, Route::Basic});   // above the dense arrays
    }
    {
        RingScope ring(2147483629);
        planted(rng, 2000, 10000, 9000, {Route::Faster, Route::HalfGcd});
    }
}

// Characteristic 2: no reference here, so the answer is checked by its
// properties: monic, a multiple of g, dividing both operands, and the same
// by every route.
TEST_F(OnevarGcdTest, PlantedFactorsInCharacteristicTwo) {
    NumberGen rng(909);
    for (int32_t m : {256, 65536}) {
        RingScope ring(m);
        RecordLedger ledger;
        for (int round = 0; round < 6; round++) {
            const Vec g = random_vec(rng, rng.between(1, 40)), a = random_vec(rng, rng.between(1, 300)),
                      b = random_vec(rng, rng.between(1, 300));
            HeldPoly pg(poly_of(g)), pa(poly_of(a)), pb(poly_of(b)), u, v;
            poly_mult(pg.p, pa.p, &u.p, polynames);
            poly_mult(pg.p, pb.p, &v.p, polynames);
            std::vector<TermList> answers;
            for (Route r : kAll) {
                HeldPoly gcd(poly_of(gcd_by(r, u.p, v.p)));
                const TermList t = read_poly(gcd.p, 1);
                ASSERT_FALSE(t.empty());
                EXPECT_EQ(t.front().coef, 1) << name(r) << " monic";
                HeldPoly q;
                EXPECT_EQ(fastest_poly_div(gcd.p, pg.p, &q.p), 1) << name(r) << " g divides the gcd";
                EXPECT_EQ(fastest_poly_div(u.p, gcd.p, &q.p), 1) << name(r) << " the gcd divides u";
                EXPECT_EQ(fastest_poly_div(v.p, gcd.p, &q.p), 1) << name(r) << " the gcd divides v";
                answers.push_back(t);
            }
            for (const TermList& t : answers) EXPECT_EQ(t, answers.front()) << "GF " << m;
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST_F(OnevarGcdTest, DegenerateShapes) {
    RingScope ring(65521);
    NumberGen rng(404);
    const Vec a = random_vec(rng, 300), b = random_vec(rng, 120);
    HeldPoly pa(poly_of(a)), pb(poly_of(b)), pab(poly_of(mul(a, b)));
    for (Route r : kAll) {
        EXPECT_EQ(gcd_by(r, pa.p, pa.p), monic(a)) << name(r) << " equal operands";
        EXPECT_EQ(gcd_by(r, pab.p, pb.p), monic(b)) << name(r) << " one divides the other";
        // x^k - 1 and x^k + 1 are coprime for odd p: every remainder chain
        // ends on a non-zero constant, which must read as 1.
        HeldPoly xm(poly_of(Vec{P() - 1, 0, 0, 0, 0, 1})), xp(poly_of(Vec{1, 0, 0, 0, 0, 1}));
        EXPECT_EQ(gcd_by(r, xm.p, xp.p), (Vec{1})) << name(r) << " constant gcd";
    }
    // The answer is monic only when asked.
    HeldPoly g;
    HeldPoly twice(poly_of(Vec{2, 2}));   // 2x + 2 divides itself
    basic_poly_gcd(twice.p, twice.p, &g.p, 0, polynames);
    EXPECT_EQ(vec_of(g.p), (Vec{2, 2}));
    basic_poly_gcd(twice.p, twice.p, &g.p, 1, polynames);
    EXPECT_EQ(vec_of(g.p), (Vec{1, 1}));
    // A number is not a one-variable operand here.
    HeldPoly five;
    poly_set(5, &five.p);
    EXPECT_THROW(basic_poly_gcd(pa.p, five.p, &g.p, 1, polynames), TarvexUnwind);
}

TEST_F(OnevarGcdTest, MonomialOperand) {
    for (int32_t m : {7, 2147483629}) {
        RingScope ring(m);
        HeldPoly x5(poly_of(Vec{0, 0, 0, 0, 0, 3}));
        HeldPoly low2(poly_of(Vec{0, 0, 1, 4, 0, 0, 0, 0, 1}));   // lowest power x^2
        HeldPoly low9(poly_of(Vec{0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1}));
        HeldPoly cst(poly_of(Vec{1, 1}));
        EXPECT_EQ(gcd_by(Route::Basic, x5.p, low2.p), (Vec{0, 0, 1}));
        EXPECT_EQ(gcd_by(Route::Basic, low9.p, x5.p), (Vec{0, 0, 0, 0, 0, 1}));
        EXPECT_EQ(gcd_by(Route::Basic, cst.p, x5.p), (Vec{1}));
    }
}

TEST_F(OnevarGcdTest, HalfGcdContract) {
    // deg b < ceil(deg a0 / 2) <= deg a afterwards, and (a, b) = M (a0, b0).
    NumberGen rng(505);
    for (int32_t m : {7, 65521, 2147483629}) {
        RingScope ring(m);
        RecordLedger ledger;
        for (int32_t n : {1, 39, 40, 41, 200, 1500}) {
            for (int round = 0; round < 3; round++) {
                const Vec a0 = random_vec(rng, n, round == 2), b0 = random_vec(rng, rng.between(0, n), round == 2);
                polynode *a = poly_of(a0), *b = poly_of(b0);
                polynode *m11 = nullptr, *m12 = nullptr, *m21 = nullptr, *m22 = nullptr;
                emgcd_full(&a, &b, &m11, &m12, &m21, &m22, 1);
                const int32_t half = (n + 1) / 2;
                const Vec va = vec_of(a), vb = vec_of(b);
                if (static_cast<int32_t>(b0.size()) - 1 < half) {
                    EXPECT_EQ(va, a0) << "nothing to do: a kept";
                    EXPECT_EQ(vb, b0) << "nothing to do: b kept";
                }
                EXPECT_LT(static_cast<int32_t>(vb.size()) - 1, half) << "n=" << n;
                EXPECT_GE(static_cast<int32_t>(va.size()) - 1, half) << "n=" << n;
                EXPECT_EQ(add(mul(vec_of(m11), a0), mul(vec_of(m12), b0)), va) << "n=" << n;
                EXPECT_EQ(add(mul(vec_of(m21), a0), mul(vec_of(m22), b0)), vb) << "n=" << n;
                for (polynode** p : {&a, &b, &m11, &m12, &m21, &m22}) free_poly(p);
            }
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST_F(OnevarGcdTest, HalfGcdHalvesAtFortyThousand) {
    RingScope ring(65521);
    NumberGen rng(606);
    const Vec a0 = random_vec(rng, 40000), b0 = random_vec(rng, 39999);
    polynode *a = poly_of(a0), *b = poly_of(b0);
    polynode *m11 = nullptr, *m12 = nullptr, *m21 = nullptr, *m22 = nullptr;
    emgcd_full(&a, &b, &m11, &m12, &m21, &m22, 0);
    // a random pair has a normal remainder sequence: the reduction stops
    // right below the half.
    EXPECT_EQ(onevar_degree(a), 20000);
    EXPECT_EQ(onevar_degree(b), 19999);
    for (polynode** p : {&a, &b, &m11, &m12, &m21, &m22}) free_poly(p);
}

TEST_F(OnevarGcdTest, ExtendedEuclid) {
    {
        RingScope ring(5);
        HeldPoly a(poly_of(Vec{1, 0, 1})), b(poly_of(Vec{1, 1})), s, t;
        ASSERT_EQ(mod_rev_euclid(a.p, b.p, &s.p, &t.p, polynames), 1);
        EXPECT_EQ(add(mul(vec_of(s.p), Vec{1, 0, 1}), mul(vec_of(t.p), Vec{1, 1})), (Vec{1}));
        HeldPoly c(poly_of(Vec{1, 0, 1})), d(poly_of(Vec{3, 1}));   // (x-2)(x+2) and x-2
        EXPECT_EQ(mod_rev_euclid(c.p, d.p, &s.p, &t.p, polynames), 0);
        HeldPoly three;
        poly_set(3, &three.p);
        EXPECT_EQ(mod_rev_euclid(a.p, three.p, &s.p, &t.p, polynames), 0);
    }
    NumberGen rng(707);
    for (int32_t m : {7, 65521, 2147483629}) {
        RingScope ring(m);
        RecordLedger ledger;
        for (int round = 0; round < 10; round++) {
            const Vec va = random_vec(rng, rng.between(1, 200)), vb = random_vec(rng, rng.between(1, 200));
            const Vec g = ref_gcd(va, vb);
            HeldPoly a(poly_of(va)), b(poly_of(vb)), s, t;
            const int ok = mod_rev_euclid(a.p, b.p, &s.p, &t.p, polynames);
            if (g != Vec{1} || vb.size() == 1) {
                EXPECT_EQ(ok, 0);
                continue;
            }
            ASSERT_EQ(ok, 1);
            EXPECT_EQ(add(mul(vec_of(s.p), va), mul(vec_of(t.p), vb)), (Vec{1})) << rng.trace();
            EXPECT_LT(vec_of(s.p).size(), vb.size());
            EXPECT_LT(vec_of(t.p).size(), va.size());
            EXPECT_EQ(vec_of(a.p), va);
            EXPECT_EQ(vec_of(b.p), vb);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST_F(OnevarGcdTest, StashedSecondCall) {
    RingScope ring(65521);
    NumberGen rng(808);
    const Vec g = random_vec(rng, 20), a = random_vec(rng, 40), b = random_vec(rng, 30);
    const Vec u = mul(g, a), v = mul(g, b);   // degrees 60 and 50
    HeldPoly pu(poly_of(u)), pv(poly_of(v)), first, second;
    struct Budget {
        int32_t was = initial_memory;
        Budget() { initial_memory = 1 << 24; }
        ~Budget() { initial_memory = was; }
    } budget;
    init_gcd_stash();
    basic_poly_gcd(pu.p, pv.p, &first.p, 1, polynames);
    const int32_t mass = gcdmass;
    EXPECT_GT(mass, 0);
    basic_poly_gcd(pu.p, pv.p, &second.p, 1, polynames);
    EXPECT_EQ(gcdmass, mass) << "a hit adds nothing";
    EXPECT_EQ(polygcd_stack_depth, 0);
    EXPECT_EQ(vec_of(first.p), ref_gcd(u, v));
    EXPECT_EQ(vec_of(second.p), ref_gcd(u, v));
    EXPECT_EQ(vec_of(pu.p), u);
    EXPECT_EQ(vec_of(pv.p), v);
    free_gcd_stash();
    sure_free_gcd_stash();
}

}  // namespace
