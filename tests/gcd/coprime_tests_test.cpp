// The coprimality tests: on pairs that share a planted factor of positive
// degree in x they never claim coprimality and the degree they report is at
// least the factor's degree (and the true gcd's, computed with every test
// off); on random pairs, which are almost always coprime, they mostly prove
// it (the rates are printed). Operands, ring state, command_int and
// lookupgcd are as before every call, and no record is lost. The driver
// gives the same gcd with the tests on as with all of them off.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "gcd/coprime_tests.h"
#include "gcd/exactdiv.h"
#include "gcd/gcd_state.h"
#include "gcd/gcdstash.h"
#include "gcd/polygcd.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/dense.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using Exps = std::vector<int32_t>;

// What the tests must leave as they found it.
struct Globals {
    int modularmode_, lintmode_, mod_is_prime_, command_int_;
    int32_t modulus_, smallmodulus_;
    int16_t lookupgcd_, tripval_;
    int32_t alg_c_count_;
    static Globals now() {
        return {modularmode, lintmode, mod_is_prime, command_int, modulus, smallmodulus, lookupgcd, tripval, alg_c_count};
    }
    bool operator==(const Globals&) const = default;
};

mpz_class coef(NumberGen& r, bool big) {
    mpz_class c;
    if (modulus)
        c = r.between(1, modulus - 1 < 1000000 ? modulus - 1 : 1000000);
    else
        c = big && r.chance(15) ? mpz_class(r.digits(r.between(1, 3))) : mpz_class(r.between(1, 30));
    if (c == 0) c = 1;
    if (!modulus && r.chance(50)) c = -c;
    return c;
}

TermList random_poly(NumberGen& r, int nv, int terms, int deg, bool big = true) {
    TermList t;
    for (int i = 0; i < terms; i++) {
        Exps e(nv, 0);
        for (int k = 0; k < nv; k++) e[k] = r.below(deg + 1);
        t.emplace_back(coef(r, big), e);
    }
    return canonical_terms(nv, t);
}

int32_t x_degree(const TermList& t) {
    int32_t d = 0;
    for (const Term& s : t) d = std::max(d, s.exps[0]);
    return d;
}

// A factor of positive degree in x that is hard for images: its leading
// coefficient vanishes at the small points (y(y-1)(y-2), z - 1, ...), or
// its value at them loses degree, or it is a pure power of a linear form.
TermList planted_factor(NumberGen& r, int nv) {
    TermList f;
    switch (r.below(5)) {
        case 0: {    // (y^2 - 3y + 2)·x + (z or 1)
            Exps a(nv, 0), b(nv, 0), c(nv, 0), d(nv, 0);
            a[0] = 1;
            if (nv > 1) a[1] = 2;
            b[0] = 1;
            if (nv > 1) b[1] = 1;
            c[0] = 1;
            if (nv > 2) d[2] = 1;
            f = {Term(1, a), Term(-3, b), Term(2, c), Term(1, d)};
            break;
        }
        case 1: {    // y·x^2 + x - 1: loses degree at y = 0
            Exps a(nv, 0), b(nv, 0), c(nv, 0);
            a[0] = 2;
            if (nv > 1) a[1] = 1;
            b[0] = 1;
            f = {Term(1, a), Term(1, b), Term(-1, c)};
            break;
        }
        case 2: {    // (x + y + 1)^2
            TermList l;
            Exps a(nv, 0), b(nv, 0), c(nv, 0);
            a[0] = 1;
            if (nv > 1) b[1] = 1;
            l = canonical_terms(nv, {Term(1, a), Term(1, b), Term(1, c)});
            f = product(nv, l, l);
            break;
        }
        default:
            do f = random_poly(r, nv, r.between(1, 4), 2);
            while (x_degree(f) == 0);
    }
    f = canonical_terms(nv, f);
    // A content in the other variables and an integer content on top, now and then.
    if (nv > 1 && r.chance(25)) {
        Exps e(nv, 0);
        e[nv - 1] = 1;
        Exps one(nv, 0);
        f = product(nv, f, canonical_terms(nv, {Term(1, e), Term(1, one)}));
    }
    if (!modulus && r.chance(25)) f = product(nv, f, {Term(6, Exps(nv, 0))});
    return f;
}

// The working state of a driver call around u and v, as the driver hands it
// to the fast tests.
struct TestState {
    gcd_state st{};
    int test_only = 0;
    pt* vars;
    polynode* wu;
    polynode* wv;
    TestState(polynode* u, polynode* v) : vars(polynames), wu(u), wv(v) {
        st.test_only = &test_only;
        st.vars = &vars;
        st.u = &wu;
        st.v = &wv;
        st.stride = 1;
        st.depth_u = st.depth_v = -1;
        st.test_base = static_cast<int16_t>(modularmode ? 7 : 3);
        const int16_t* list = modularmode ? base_7_list : base_3_list;
        const int n = modularmode ? BASE_7_COUNT : BASE_3_COUNT;
        for (int i = 0; i < n; i++) st.points[i] = list[i];
        assign_levels(&st);
    }
};

// Reference gcd with every coprimality test off.
polynode* reference_gcd(polynode* u, polynode* v) {
    const int16_t saved = tripval;
    tripval = 16384;
    polynode* g = nullptr;
    reset_statement_state();
    polygcd(u, v, &g, 0, 0, 1, polynames, 1, 1, 1);
    tripval = saved;
    return g;
}

struct Rates {
    int proven = 0, tried = 0;
};

// Runs fast_test_2 (k = 1 .. 4) and, over the integers, use_modular on
// planted pairs (must never prove coprime) and on random pairs (counted).
void run_pairs(int nv, int32_t mod, int count, uint64_t seed, Rates* fast, Rates* modular) {
    PrimeRing ring(mod);
    AttachedVars vars(nv);
    NumberGen r(seed);
    for (int it = 0; it < scaled(count); it++) {
        SCOPED_TRACE(r.trace() + " case " + std::to_string(it));
        const bool planted = it % 2 == 0;
        TermList f = planted ? planted_factor(r, nv) : TermList{Term(1, Exps(nv, 0))};
        const int deg = nv > 3 ? 2 : 3;
        TermList a = random_poly(r, nv, r.between(1, 6), deg), b = random_poly(r, nv, r.between(1, 6), deg);
        // A prime that divides a leading number: the first primes of the
        // table are skipped for u.
        if (!mod && r.chance(15)) a = product(nv, a, {Term(mpz_class(prime[0]->value) * prime[1]->value, Exps(nv, 0))});
        const TermList tu = product(nv, f, a), tv = product(nv, f, b);
        if (tu.empty() || tv.empty() || x_degree(tu) == 0 || x_degree(tv) == 0) continue;
        RecordLedger ledger;
        {
            HeldPoly u(build_poly(nv, tu)), v(build_poly(nv, tv));
            const int32_t want_min = planted ? x_degree(f) : 0;
            // The true degree, for a few pairs.
            int32_t true_deg = want_min;
            if (it % 8 < 2) {
                HeldPoly G(reference_gcd(u.p, v.p));
                true_deg = G.p->numb ? 0 : G.p->exp;
                ASSERT_GE(true_deg, want_min);
            }
            const Globals before = Globals::now();
            TestState ts(u.p, v.p);
            if (ts.st.test_levels >= 2) {
                for (int k = 1; k <= 4; k++) {
                    int32_t d = -1;
                    const int c = fast_test_2(k, &d, &ts.st);
                    EXPECT_GE(d, true_deg) << "k=" << k;
                    if (true_deg > 0) { EXPECT_EQ(c, 0) << "planted pair called coprime, k=" << k; }
                    if (!planted) {
                        fast->tried++;
                        fast->proven += c;
                    }
                    EXPECT_TRUE(Globals::now() == before);
                }
            }
            if (!mod) {
                int deg0 = -1, constant = -1;
                int32_t d = -1;
                use_modular(u.p, v.p, &deg0, &constant, polynames, 10, prime, &d);
                EXPECT_TRUE(Globals::now() == before);
                EXPECT_TRUE(deg0 == 0 || deg0 == 1);
                if (true_deg > 0) { EXPECT_EQ(deg0, 0) << "planted pair called free of x"; }
                if (deg0 == 1) { EXPECT_EQ(d, 0); }
                if (!planted) {
                    modular->tried++;
                    modular->proven += deg0;
                }
            }
            EXPECT_EQ(read_poly(u.p, nv), tu);
            EXPECT_EQ(read_poly(v.p, nv), tv);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

void report(const char* what, const Rates& r) {
    if (r.tried) std::printf("  %s: %d of %d coprime pairs proven (%.0f%%)\n", what, r.proven, r.tried, 100.0 * r.proven / r.tried);
}

TEST(CoprimeTests, OverTheIntegers) {
    Rates fast, modular;
    for (int nv = 2; nv <= 5; nv++) run_pairs(nv, 0, 700, 81000 + nv, &fast, &modular);
    report("fast_test_2 over Z (per test)", fast);
    report("use_modular over Z", modular);
    // Random pairs with random cofactors are coprime nearly always.
    EXPECT_GT(modular.proven * 10, modular.tried * 8);
}

TEST(CoprimeTests, ModuloPrimes) {
    Rates fast, unused;
    for (int nv = 2; nv <= 4; nv++) run_pairs(nv, 65521, 600, 81010 + nv, &fast, &unused);
    for (int nv = 2; nv <= 4; nv++) run_pairs(nv, 2147483629, 300, 81020 + nv, &fast, &unused);
    report("fast_test_2 mod 65521 / 2147483629 (per test)", fast);
    EXPECT_GT(fast.proven * 10, fast.tried * 6);
    Rates small;
    for (int nv = 2; nv <= 3; nv++) run_pairs(nv, 7, 400, 81030 + nv, &small, &unused);
    report("fast_test_2 mod 7 (per test)", small);
}

// No usable prime: every one of them divides a leading number.
TEST(CoprimeTests, UseModularWithoutUsablePrime) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    RecordLedger ledger;
    {
        mpz_class all = 1;
        for (int i = 0; i < 10; i++) all *= prime[i]->value;
        HeldPoly u(build_poly(2, {Term(all, {2, 1}), Term(1, {0, 0})})), v(build_poly(2, {Term(1, {1, 0}), Term(1, {0, 1})}));
        const Globals before = Globals::now();
        int deg0 = -1, constant = -1;
        int32_t d = -1;
        use_modular(u.p, v.p, &deg0, &constant, polynames, 10, prime, &d);
        EXPECT_EQ(deg0, 0);
        EXPECT_EQ(d, -1);
        use_modular(u.p, v.p, &deg0, &constant, polynames, 0, prime, &d);
        EXPECT_EQ(deg0, 0);
        EXPECT_TRUE(Globals::now() == before);
        // With an eleventh prime the pair (coprime) is proven so.
        use_modular(u.p, v.p, &deg0, &constant, polynames, 11, prime, &d);
        EXPECT_EQ(deg0, 1);
        EXPECT_EQ(constant, 1);
        EXPECT_TRUE(Globals::now() == before);
    }
    EXPECT_TRUE(ledger.balanced());
}

// An image that loses degree proves nothing: u = y·x^2 + x + 1 at y = 0.
// Outside modular arithmetic test k puts y := (table entry k) mod base.
TEST(CoprimeTests, LostDegreeIsInconclusive) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(2, {Term(1, {2, 1}), Term(1, {1, 0}), Term(1, {0, 0})}));
        HeldPoly v(build_poly(2, {Term(1, {1, 0}), Term(2, {0, 0})}));
        TestState ts(u.p, v.p);
        ts.st.points[1] = 3;    // level 2 gets 3 mod 3 = 0
        int32_t d = -1;
        EXPECT_EQ(fast_test_2(1, &d, &ts.st), 0);
        EXPECT_EQ(d, 1);        // still a bound: the smaller degree
        ts.st.points[1] = 4;    // y = 1: x^2 + x + 1 and x + 2, coprime
        EXPECT_EQ(fast_test_2(1, &d, &ts.st), 1);
        EXPECT_EQ(d, 0);
    }
    EXPECT_TRUE(ledger.balanced());
}

bool divides(polynode* d, polynode* p, int nv) {
    if (d->numb && !d->next) {
        // A constant: modulo a prime a unit; over Z it divides every coefficient.
        if (modulus) return true;
        const mpz_class c = number_value(d->ncoef);
        for (const Term& t : read_poly(p, nv))
            if (!mpz_divisible_p(t.coef.get_mpz_t(), c.get_mpz_t())) return false;
        return true;
    }
    polynode* q = nullptr;
    int fail = -1;
    gen_poly_divide(p, d, &q, polynames, &fail);
    free_poly(&q);
    return fail == 0;
}

// The driver with its tests on against every test off, on planted problems;
// the answer divides both operands and keeps the planted factor; in test
// mode a planted pair never comes back as a number.
void driver_agrees(int nv, int32_t mod, int count, uint64_t seed) {
    PrimeRing ring(mod);
    AttachedVars vars(nv);
    NumberGen r(seed);
    for (int it = 0; it < scaled(count); it++) {
        SCOPED_TRACE(r.trace() + " case " + std::to_string(it));
        const bool planted = it % 3 != 2;
        TermList f = planted ? planted_factor(r, nv) : TermList{Term(1, Exps(nv, 0))};
        const int deg = nv > 3 ? 2 : 3;
        const TermList tu = product(nv, f, random_poly(r, nv, r.between(2, 8), deg));
        const TermList tv = product(nv, f, random_poly(r, nv, r.between(2, 8), deg));
        if (tu.empty() || tv.empty()) continue;
        RecordLedger ledger;
        {
            HeldPoly u(build_poly(nv, tu)), v(build_poly(nv, tv)), F(build_poly(nv, f));
            HeldPoly want(reference_gcd(u.p, v.p)), got, marker;
            reset_statement_state();
            polygcd(u.p, v.p, &got.p, 0, 1, 1, polynames, 1, 1, 1);
            EXPECT_EQ(read_poly(got.p, nv), read_poly(want.p, nv));
            EXPECT_TRUE(divides(got.p, u.p, nv));
            EXPECT_TRUE(divides(got.p, v.p, nv));
            EXPECT_TRUE(divides(F.p, got.p, nv)) << "planted factor lost";
            reset_statement_state();
            polygcd(u.p, v.p, &marker.p, 1, 1, 1, polynames, 1, 1, 1);
            if (x_degree(f) > 0) { EXPECT_FALSE(marker.p->numb && !marker.p->next) << "test mode: called coprime"; }
            EXPECT_EQ(read_poly(u.p, nv), tu);
            EXPECT_EQ(read_poly(v.p, nv), tv);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(CoprimeTests, DriverAgreesOverTheIntegers) {
    for (int nv = 2; nv <= 4; nv++) driver_agrees(nv, 0, 40, 81100 + nv);
}
TEST(CoprimeTests, DriverAgreesModuloPrimes) {
    for (int nv = 2; nv <= 4; nv++) driver_agrees(nv, 65521, 40, 81110 + nv);
    for (int nv = 2; nv <= 3; nv++) driver_agrees(nv, 2147483629, 25, 81120 + nv);
    for (int nv = 2; nv <= 3; nv++) driver_agrees(nv, 5, 25, 81130 + nv);
}

}  // namespace
