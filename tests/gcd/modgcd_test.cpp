// The modular gcd over Z on planted problems: with g, a, b random and
// primitive in x1, G = basic_mod_method(g·a, g·b) equals the gcd of
// Algorithm C run alone, is divisible by g and divides both operands (each
// division confirmed by a GMP-side product of the quotient). Unlucky primes
// are planted on purpose: leading coefficients divisible by every prime of
// the table window the method starts in, and cofactors congruent modulo
// those primes, so that the early images have a spurious factor. The ring
// state and the operands are as before afterwards, also when the method
// gives up; no record is lost. Also the Horner evaluations of the
// reconstruction, the stash around the method in the driver and the early
// trial division with a scaled v.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gcd/gcdstash.h"
#include "gcd/modgcd.h"
#include "gcd/polygcd.h"
#include "gcd/trialdiv.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/dense.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "support/data_once.h"
#include "support/forced_algc.h"
#include "support/node_count.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using Exps = std::vector<int32_t>;

// Everything a temporary switch to residues must put back.
struct GlobalShot {
    int modularmode_, lintmode_, smallmodulus_, mod_is_prime_, finf_, command_int_;
    int32_t modulus_, half_modulus_, two28_mod_;
    int16_t lookupgcd_;
    fix* log_;
    GlobalShot()
        : modularmode_(modularmode), lintmode_(lintmode), smallmodulus_(smallmodulus), mod_is_prime_(mod_is_prime),
          finf_(finf), command_int_(command_int), modulus_(modulus), half_modulus_(half_modulus),
          two28_mod_(two28_mod), lookupgcd_(lookupgcd), log_(masterfix) {}
    bool operator==(const GlobalShot&) const = default;
};

// d divides n: the system's quotient times d, multiplied out with GMP, is n.
::testing::AssertionResult divides(polynode* d, polynode* n, int nv) {
    if (d->numb && !d->next) {
        const mpz_class c = number_value(d->ncoef);
        for (const Term& t : read_poly(n, nv))
            if (!mpz_divisible_p(t.coef.get_mpz_t(), c.get_mpz_t()))
                return ::testing::AssertionFailure() << "constant does not divide";
        return ::testing::AssertionSuccess();
    }
    polynode* q = nullptr;
    if (trial_poly_divide(n, d, &q, polynames, 0, 0, 0) != 1) {
        free_poly(&q);
        return ::testing::AssertionFailure() << terms_to_string(read_poly(d, nv)) << " does not divide";
    }
    const bool ok = product(nv, read_poly(q, nv), read_poly(d, nv)) == read_poly(n, nv);
    free_poly(&q);
    if (!ok) return ::testing::AssertionFailure() << "quotient times divisor differs from the dividend";
    return ::testing::AssertionSuccess();
}

// A random polynomial with positive degree in x1 whose x1^0 coefficient is
// the integer c: its content w.r.t. x1 is then an integer, divided out.
TermList random_primitive(NumberGen& r, int nv, int terms, int deg, bool dense, int digits, mpz_class c) {
    TermList t;
    t.emplace_back(c, Exps(nv, 0));
    for (int i = 0; i < terms; i++) {
        Exps e(nv, 0);
        e[0] = r.between(1, deg);
        for (int k = 1; k < nv; k++)
            if (dense || r.chance(35)) e[k] = r.below(deg + 1);
        mpz_class x = digits > 0 && r.chance(60) ? r.digits(digits) : mpz_class(r.between(1, 30));
        if (x == 0) x = 1;
        if (r.chance(50)) x = -x;
        t.emplace_back(x, e);
    }
    t = canonical_terms(nv, t);
    mpz_class g = 0;
    for (const Term& s : t) mpz_gcd(g.get_mpz_t(), g.get_mpz_t(), s.coef.get_mpz_t());
    for (Term& s : t) s.coef /= g;
    return t;
}

// Product of the primes of the table window where the method starts, and
// a few beyond it.
// The table primes from the 11th to the last-th; with words, times the 80
// largest primes below 2^31 too (several-variable pairs draw their primes
// from there, starting within the first 64).
mpz_class window_product(int last = 80, bool words = true) {
    mpz_class w = 1;
    for (int i = 10; i < last; i++) w *= prime[i]->value;
    mpz_class c = 2147483647;
    for (int k = 0; words && k < 80; c -= 2)
        if (mpz_probab_prime_p(c.get_mpz_t(), 30)) {
            w *= c;
            k++;
        }
    return w;
}

struct Problem {
    TermList g, a, b;
};

void check_problem(int nv, const Problem& pr, const std::string& trace) {
    SCOPED_TRACE(trace);
    const TermList tu = product(nv, pr.g, pr.a), tv = product(nv, pr.g, pr.b);
    HeldPoly u(build_poly(nv, tu)), v(build_poly(nv, tv)), g(build_poly(nv, pr.g));
    HeldPoly want(forced_algorithm_c(u.p, v.p, polynames));
    const auto su = snapshot_nodes(u.p), sv = snapshot_nodes(v.p);
    const GlobalShot before;
    RecordLedger ledger;
    {
        HeldPoly G;
        int ok = -1;
        basic_mod_method(u.p, v.p, &G.p, &ok, polynames);
        EXPECT_TRUE(GlobalShot() == before) << "ring state changed";
        ASSERT_EQ(ok, 1);
        ASSERT_TRUE(check_poly_shape(G.p, nv));
        EXPECT_EQ(read_poly(G.p, nv), read_poly(want.p, nv));
        EXPECT_TRUE(divides(g.p, G.p, nv)) << "planted factor lost";
        EXPECT_TRUE(divides(G.p, u.p, nv));
        EXPECT_TRUE(divides(G.p, v.p, nv));
    }
    EXPECT_TRUE(ledger.balanced());
    EXPECT_TRUE(snapshot_nodes(u.p) == su) << "u changed";
    EXPECT_TRUE(snapshot_nodes(v.p) == sv) << "v changed";
    EXPECT_EQ(read_poly(u.p, nv), tu);
    EXPECT_EQ(read_poly(v.p, nv), tv);
}

enum class Plant { plain, lead_vanishes, congruent_cofactors, coprime };

void planted(int nv, bool dense, int count, int digits, Plant kind, uint64_t seed, int small = 0) {
    PrimeRing ring(0);
    AttachedVars vars(nv);
    NumberGen r(seed);
    const mpz_class w = window_product();
    for (int it = 0; it < count; it++) {
        const int deg = dense ? (nv > 3 ? 2 : 3) : (nv > 3 ? 3 : 5);
        const int terms = small ? small : dense ? 4 : (nv > 3 ? 3 : 5);
        Problem p;
        p.g = random_primitive(r, nv, r.between(1, terms), deg, dense, digits, r.between(1, 9));
        p.a = random_primitive(r, nv, r.between(1, terms), deg, dense, 0, 1);
        p.b = random_primitive(r, nv, r.between(1, terms), deg, dense, 0, 1);
        if (kind == Plant::coprime) p.g = TermList{Term(1, Exps(nv, 0))};
        if (kind == Plant::lead_vanishes) {
            // Every prime of the window divides lc(a): the images come from
            // primes beyond it.
            for (Term& t : p.a)
                if (t.exps[0] == p.a.front().exps[0]) t.coef *= w;
        }
        if (kind == Plant::congruent_cofactors) {
            // b = a + w·h: modulo each window prime the images share a.
            TermList h = random_primitive(r, nv, 2, deg, dense, 0, 1);
            h.pop_back();   // the constant term goes: b keeps constant 1 + 1
            TermList b = p.a;
            for (Term t : h) {
                t.coef *= w;
                b.push_back(t);
            }
            p.b = canonical_terms(nv, b);
        }
        check_problem(nv, p, "seed " + std::to_string(seed) + " case " + std::to_string(it) +
                                 " g=" + terms_to_string(p.g) + " a=" + terms_to_string(p.a) +
                                 " b=" + terms_to_string(p.b));
    }
}

TEST(ModGcd, PlantedDenseTwoToSixVariables) {
    for (int nv = 2; nv <= 6; nv++) planted(nv, true, nv <= 3 ? 6 : 3, 0, Plant::plain, 100 + nv);
}

TEST(ModGcd, PlantedSparseTwoToSixVariables) {
    for (int nv = 2; nv <= 6; nv++) planted(nv, false, nv <= 3 ? 6 : 3, 0, Plant::plain, 200 + nv);
}

TEST(ModGcd, CoprimePairsGiveOne) {
    for (int nv = 2; nv <= 4; nv++) planted(nv, nv % 2 == 0, 4, 3, Plant::coprime, 300 + nv);
}

TEST(ModGcd, HundredDigitCoefficients) {
    planted(2, true, 3, 110, Plant::plain, 401, 2);
    planted(3, false, 3, 120, Plant::plain, 402, 2);
}

TEST(ModGcd, LeadingCoefficientVanishesAtTheFirstPrimes) {
    planted(2, true, 3, 0, Plant::lead_vanishes, 501, 3);
    planted(3, false, 3, 2, Plant::lead_vanishes, 502, 2);
}

TEST(ModGcd, UnluckyPrimesWithSpuriousFactors) {
    planted(2, true, 3, 0, Plant::congruent_cofactors, 601);
    planted(3, false, 3, 0, Plant::congruent_cofactors, 602);
    planted(4, true, 2, 5, Plant::congruent_cofactors, 603);
}

// Without the big primes every usable prime lies in the window; when all of
// them divide a leading coefficient the method gives up, and leaves
// everything as it was. One variable: pairs in several take word-sized
// primes for the flat images instead of the table.
TEST(ModGcd, GivesUpCleanlyWhenNoPrimeIsUsable) {
    PrimeRing ring(0);
    const int nv = 1;
    AttachedVars vars(nv);
    NumberGen r(701);
    TermList g = random_primitive(r, nv, 3, 3, true, 0, 2);
    TermList a = random_primitive(r, nv, 3, 3, true, 0, 1);
    TermList b = random_primitive(r, nv, 3, 3, true, 0, 1);
    const mpz_class w = window_product(PRIME_COUNT, false);
    for (Term& t : a)
        if (t.exps[0] == a.front().exps[0]) t.coef *= w;
    const TermList tu = product(nv, g, a), tv = product(nv, g, b);
    HeldPoly u(build_poly(nv, tu)), v(build_poly(nv, tv));
    const auto su = snapshot_nodes(u.p), sv = snapshot_nodes(v.p);
    int32_t* saved_big = big_prime;
    big_prime = nullptr;
    const GlobalShot before;
    RecordLedger ledger;
    HeldPoly G;
    int ok = -1;
    basic_mod_method(u.p, v.p, &G.p, &ok, polynames);
    big_prime = saved_big;
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(G.p, nullptr);
    EXPECT_TRUE(GlobalShot() == before);
    EXPECT_TRUE(ledger.balanced());
    free_poly(&G.p);
    EXPECT_TRUE(snapshot_nodes(u.p) == su);
    EXPECT_TRUE(snapshot_nodes(v.p) == sv);
    EXPECT_EQ(read_poly(u.p, nv), tu);
    EXPECT_EQ(read_poly(v.p, nv), tv);
}

// The word primes are exactly the primes below 2^31, none skipped, no
// composite taken (GMP's test, independent of the method's own).
TEST(ModGcd, WordPrimesAreThePrimesBelowTwoToThe31) {
    mpz_class c = 2147483647;
    for (int32_t i = 1; i <= 2200; i++) {
        while (!mpz_probab_prime_p(c.get_mpz_t(), 30)) c -= 1;
        ASSERT_EQ(word_prime_at(i), c.get_si()) << "prime " << i;
        c -= 1;
    }
}

// Mixed radix: c0 + p0 (c1 + p1 c2) reduced modulo P, by hand.
TEST(ModGcd, ChineseEvaluatesTheMixedRadixForm) {
    PrimeRing ring(0);
    const int nv = 2;
    AttachedVars vars(nv);
    HeldPoly c0(build_poly(nv, {{5, {1, 0}}, {-3, {0, 1}}})), c1(build_poly(nv, {{7, {1, 0}}, {2, {0, 0}}})),
        c2(build_poly(nv, {{11, {0, 1}}})), P(build_poly(nv, {{101, {0, 0}}}));
    const std::vector<int32_t> primes{65521, 65519, 65497};
    HeldPoly r(Chinese({c0.p, c1.p, c2.p}, P.p, primes, polynames));
    // x: 5 + 65521·7 ; y: -3 + 65521·65519·11 ; 1: 65521·2
    const mpz_class p0 = 65521, p1 = 65519;
    auto m = [](mpz_class x) { return mpz_class(((x % 101) + 101) % 101); };
    TermList want = canonical_terms(nv, {{m(5 + p0 * 7), {1, 0}}, {m(-3 + p0 * p1 * 11), {0, 1}}, {m(p0 * 2), {0, 0}}});
    TermList nonzero;
    for (const Term& t : want)
        if (t.coef != 0) nonzero.push_back(t);
    ASSERT_TRUE(check_poly_shape(r.p, nv));
    EXPECT_EQ(read_poly(r.p, nv), nonzero);
    EXPECT_EQ(Chinese({}, P.p, {}, polynames), nullptr);
}

// Newton form: at the points it interpolates, the value is the divided
// difference sum; checked against the expansion done by hand mod 101.
TEST(ModGcd, ModChineseEvaluatesTheNewtonForm) {
    PrimeRing ring(101);
    const int nv = 2;
    AttachedVars vars(nv);
    // c0 + (x - 3)(c1 + (x - 5) c2), c0 = y + 4, c1 = 2, c2 = 7y.
    HeldPoly c0(build_poly(1, {{1, {1}}, {4, {0}}})), c1(build_poly(1, {{2, {0}}})), c2(build_poly(1, {{7, {1}}}));
    HeldPoly r(mod_Chinese({c0.p, c1.p, c2.p}, {3, 5}, polynames));
    // (x-3)(2 + 7y(x-5)) + y + 4 = 7x^2 y - 56 x y + 105 y + 2x - 6 + y + 4
    TermList want = canonical_terms(nv, {{7, {2, 1}}, {-56 + 101, {1, 1}}, {106 % 101, {0, 1}}, {2, {1, 0}},
                                         {-2 + 101, {0, 0}}});
    ASSERT_TRUE(check_poly_shape(r.p, nv));
    EXPECT_EQ(read_poly(r.p, nv), want);
}

// ---------------------------------------------------------------- in the driver

polynode* power_of_sum(int c, int nv, int k) {
    TermList s{{c, Exps(nv, 0)}};
    for (int i = 0; i < nv; i++) {
        Exps e(nv, 0);
        e[i] = 1;
        s.emplace_back(1, e);
    }
    TermList p{{1, Exps(nv, 0)}};
    for (int i = 0; i < k; i++) p = product(nv, p, s);
    return build_poly(nv, p);
}

// Stored gcds of the stash, for the test to see which answer came from it.
std::vector<polynode*> stored_gcds() {
    std::vector<polynode*> out;
    for (quoly* e : gcd_stash)
        for (; e; e = e->link)
            if (stashed_gcd(e->den)) out.push_back(e->den);
    return out;
}

TEST(ModGcd, DriverAnswersTheSecondIdenticalGcdFromTheStash) {
    PrimeRing ring(0);
    const int nv = 3;
    AttachedVars vars(nv);
    sure_free_gcd_stash();
    HeldPoly f(power_of_sum(1, nv, 6)), a(power_of_sum(2, nv, 4)), b(power_of_sum(3, nv, 4));
    HeldPoly u, v;
    poly_mult(f.p, a.p, &u.p, polynames);
    poly_mult(f.p, b.p, &v.p, polynames);
    poly_inplace(v.p);   // a negative operand: its sign comes back
    const TermList tu = read_poly(u.p, nv), tv = read_poly(v.p, nv);
    reset_statement_state();
    const int32_t saved_memory = initial_memory;
    initial_memory = 100000000;
    init_gcd_stash();
    HeldPoly g1, g2;
    polygcd(u.p, v.p, &g1.p, 0, 1, 1, polynames, 1, 1, 1);
    EXPECT_EQ(polygcd_stack_depth, 0);
    EXPECT_EQ(read_poly(g1.p, nv), read_poly(f.p, nv));
    EXPECT_EQ(read_poly(u.p, nv), tu);
    EXPECT_EQ(read_poly(v.p, nv), tv);
    std::vector<polynode*> records = stored_gcds();
    ASSERT_FALSE(records.empty()) << "nothing stored";
    // A marker in place of every stored gcd shows where the answer comes from.
    for (polynode* rec : records) {
        free_poly(&rec->next);
        rec->next = build_poly(nv, {{12345, {1, 0, 0}}, {1, {0, 0, 0}}});
    }
    polygcd(u.p, v.p, &g2.p, 0, 1, 1, polynames, 1, 1, 1);
    EXPECT_EQ(polygcd_stack_depth, 0);
    EXPECT_NE(read_poly(g2.p, nv), read_poly(g1.p, nv)) << "second gcd not taken from the stash";
    EXPECT_EQ(read_poly(u.p, nv), tu);
    EXPECT_EQ(read_poly(v.p, nv), tv);
    free_gcd_stash();
    sure_free_gcd_stash();
    lookupgcd = 0;
    initial_memory = saved_memory;
}

// The full driver on planted problems large enough for the modular method.
TEST(ModGcd, DriverAgreesWithAlgorithmC) {
    PrimeRing ring(0);
    for (int nv = 3; nv <= 4; nv++) {
        AttachedVars vars(nv);
        NumberGen r(800 + nv);
        for (int it = 0; it < 3; it++) {
            TermList g = random_primitive(r, nv, 6, 3, false, 4, 3);
            TermList a = random_primitive(r, nv, 8, 3, false, 0, 1);
            TermList b = random_primitive(r, nv, 8, 3, false, 0, 1);
            HeldPoly u(build_poly(nv, product(nv, g, a))), v(build_poly(nv, product(nv, g, b)));
            HeldPoly gp(build_poly(nv, g));
            HeldPoly want(forced_algorithm_c(u.p, v.p, polynames)), G;
            reset_statement_state();
            polygcd(u.p, v.p, &G.p, 0, 1, 1, polynames, 1, 1, 1);
            EXPECT_EQ(read_poly(G.p, nv), read_poly(want.p, nv)) << "nv " << nv << " case " << it;
            EXPECT_TRUE(divides(gp.p, G.p, nv));
        }
    }
}

// Early trial division with an integer content: 6(x + y + 1)·w against
// 3(x + y + 1) scales v by 2 for the test and gives v back unchanged.
TEST(ModGcd, EarlyTrialDivisionScalesV) {
    PrimeRing ring(0);
    const int nv = 2;
    AttachedVars vars(nv);
    for (int rat : {1, 0}) {
        SCOPED_TRACE("rat_yes " + std::to_string(rat));
        const int32_t saved = rat_yes;
        rat_yes = rat;
        TermList vt{{3, {1, 0}}, {3, {0, 1}}, {3, {0, 0}}};
        TermList w;
        for (int i = 0; i <= 5; i++)
            for (int j = 0; j + i <= 5; j++) w.emplace_back(i + 2 * j + 1, Exps{i, j});
        const TermList ut = product(nv, product(nv, vt, w), {{2, {0, 0}}});
        HeldPoly u(build_poly(nv, ut)), v(build_poly(nv, canonical_terms(nv, vt))), G;
        const auto sv = snapshot_nodes(v.p);
        reset_statement_state();
        polygcd(u.p, v.p, &G.p, 0, 1, 1, polynames, 1, 1, 1);
        rat_yes = saved;
        EXPECT_EQ(read_poly(G.p, nv), canonical_terms(nv, vt));
        EXPECT_TRUE(snapshot_nodes(v.p) == sv);
        EXPECT_EQ(read_poly(v.p, nv), canonical_terms(nv, vt));
        EXPECT_EQ(read_poly(u.p, nv), ut);
    }
}

}  // namespace
