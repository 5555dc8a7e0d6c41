// Coefficient sizes, masses and storage sizes: hand values that pin the
// leaf measures, the weights and the saturation values; storage sizes and
// estimates checked against the records a polynomial was found to take from
// the stashes when it was built; coefficient sizes against GMP.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "numbers/ring.h"
#include "poly/masses.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

struct PolyGlobalsGuard {
    int s_laurent = laurent;
    int32_t s_depthnum = depthnum;
    int32_t s_massnum = massnum;
    ~PolyGlobalsGuard() {
        laurent = s_laurent;
        depthnum = s_depthnum;
        massnum = s_massnum;
    }
};

// Machine words, or residues modulo m when m > 0, until the end of the scope.
struct WordRing {
    RingStateGuard saved;
    explicit WordRing(int32_t m = 0) {
        lintmode = 1;
        modularmode = m > 0;
        if (m > 0) install_modulus(m);
    }
};

// A quoly over polynomials the caller owns; nothing is freed.
quoly poly_quoly(polynode* num, polynode* den) {
    quoly q{};
    q.isnum = 0;
    q.pnum = num;
    q.den = den;
    return q;
}

int32_t digits_of(const mpz_class& v) {
    mpz_class a = abs(v);
    return a == 0 ? 1 : static_cast<int32_t>((mpz_sizeinbase(a.get_mpz_t(), 2) + 27) / 28);
}

int32_t bit_length(const mpz_class& v) {
    return v == 0 ? 0 : static_cast<int32_t>(mpz_sizeinbase(mpz_class(abs(v)).get_mpz_t(), 2));
}

// ------------------------------------------------------------ coefficient sizes

TEST(Masses, MaxDigitsMeasuresBits) {
    auto md = [](const mpz_class& c) {
        BuiltPoly p(1, {{c, {0}}});
        return max_digits(p);
    };
    EXPECT_EQ(md(1), 1);
    EXPECT_EQ(md(-1), 1);
    EXPECT_EQ(md(mpz_class(1) << 28), 29);
    EXPECT_EQ(md(-(mpz_class(1) << 28)), 29);
    EXPECT_EQ(md((mpz_class(1) << 28) - 1), 28);
    EXPECT_EQ(md(mpz_class(1) << 100), 101);
    BuiltPoly zero(1, {});
    EXPECT_EQ(max_digits(zero), 0);
    EXPECT_EQ(max_digits(nullptr), -1);
    BuiltPoly p(2, {{3, {4, 1}}, {"-1000000000000", {1, 0}}, {7, {0, 0}}});
    EXPECT_EQ(max_digits(p), bit_length(mpz_class("1000000000000")));

    {
        WordRing words;
        EXPECT_EQ(md(1), 0);   // the index of the top bit
        EXPECT_EQ(md(-8), 3);
        EXPECT_EQ(md(INT32_MIN), 31);
        BuiltPoly z(1, {});
        EXPECT_EQ(max_digits(z), -1);
    }
    {
        WordRing mod7(7);
        EXPECT_EQ(md(6), 0);   // 6 is -1
        EXPECT_EQ(md(3), 1);
        EXPECT_EQ(md(4), 1);   // 4 is -3
    }
}

TEST(Masses, QuolyMaxDigits) {
    BuiltPoly num(1, {{5, {2}}, {1, {0}}});
    BuiltPoly den(1, {{"123456789012", {1}}, {1, {0}}});
    quoly q = poly_quoly(num, nullptr);
    EXPECT_EQ(quoly_max_digits(&q), 3);
    q.den = den;
    EXPECT_EQ(quoly_max_digits(&q), bit_length(mpz_class("123456789012")));
    q.pnum = nullptr;
    q.den = nullptr;
    EXPECT_EQ(quoly_max_digits(&q), -1);

    quoly n{};
    n.isnum = 1;
    n.nnum = from_mpz(mpz_class(1) << 28);
    EXPECT_EQ(quoly_max_digits(&n), 29);
    release(n.nnum);
}

// ------------------------------------------------------------ masses

TEST(Masses, FullPolyMassWeighsTopBits) {
    auto fpm = [](const mpz_class& c) {
        BuiltPoly p(1, {{c, {0}}});
        return full_poly_mass(p, 2, 1);
    };
    // The top bit that differs from the sign, plus 28 per further digit.
    EXPECT_EQ(fpm(1), 0);
    EXPECT_EQ(fpm(5), 2);
    EXPECT_EQ(fpm(-1), 0);
    EXPECT_EQ(fpm(-2), 0);
    EXPECT_EQ(fpm(-3), 1);
    EXPECT_EQ(fpm(-4), 1);
    EXPECT_EQ(fpm(-5), 2);
    EXPECT_EQ(fpm((mpz_class(1) << 28) - 1), 27);
    EXPECT_EQ(fpm(mpz_class(1) << 28), 28);
    EXPECT_EQ(fpm(-(mpz_class(1) << 28)), 28);
    // Zero weighs -1, which reads as an overflow.
    EXPECT_EQ(fpm(0), FULL_MASS_CAP);
    EXPECT_EQ(full_poly_mass(nullptr, 2, 1), 0);

    // 5 x^3 + 2: 2 x 3 x 1 x topbits(5) + topbits(2).
    BuiltPoly p(1, {{5, {3}}, {2, {0}}});
    EXPECT_EQ(full_poly_mass(p, 2, 1), 2 * 3 * 1 * 2 + 1);
    // 6 x^2 y^3 + y at a = 2, b = 2: x^2 weighs 2 x 2 x 2 times y's
    // 2 x 3 x 1 x topbits(6); the padding over y passes its mass on.
    BuiltPoly q(2, {{6, {2, 3}}, {3, {0, 1}}});
    EXPECT_EQ(full_poly_mass(q, 2, 2), 2 * 2 * 2 * (2 * 3 * 1 * 2) + 2 * 1 * 1 * 1);

    // Above the cap, and an overflow: 2 x 2^30 x 1 x 2 is 2^32, which a
    // 32-bit sum would have wrapped round to 0.
    BuiltPoly r(1, {{5, {200000000}}});
    EXPECT_EQ(full_poly_mass(r, 2, 1), FULL_MASS_CAP);
    BuiltPoly s(1, {{5, {1 << 30}}});
    EXPECT_EQ(full_poly_mass(s, 2, 1), FULL_MASS_CAP);

    WordRing words;
    BuiltPoly w(1, {{5, {3}}, {-2, {0}}});
    EXPECT_EQ(full_poly_mass(w, 2, 1), 2 * 3 * 1 * 1 + 1);
}

TEST(Masses, PolyMassAndBetterPolyMass) {
    PolyGlobalsGuard guard;
    laurent = 0;
    // 7 x^3 + 2 at (2, 1): the first term weighs a.
    BuiltPoly p(1, {{7, {3}}, {2, {0}}});
    EXPECT_EQ(poly_mass(p, 2, 1), 1 * 3 * 2 * 1 + 1);
    EXPECT_EQ(better_poly_mass(p, 2, 1), 2 * 1 * 2 * 1 + 1);   // ((3+1)/2) ((1+2)/2) a
    // x^3 + 3 x^2 + 5: only the first term carries a.
    BuiltPoly q(1, {{1, {3}}, {3, {2}}, {5, {0}}});
    EXPECT_EQ(poly_mass(q, 2, 1), 6 + 2 + 1);
    EXPECT_EQ(better_poly_mass(q, 2, 1), 4 + 1 + 1);

    // x^2 (5 y^3 + 1) + 4: y's list is weighed at (1, 2).
    BuiltPoly r(2, {{5, {2, 3}}, {1, {2, 0}}, {4, {0, 0}}});
    EXPECT_EQ(poly_mass(r, 2, 1), 1 * 2 * 2 * (2 * 3 * 1 * 1 + 1) + 1);
    EXPECT_EQ(better_poly_mass(r, 2, 1), 1 * 1 * 2 * (2 * 2 * 1 * 1 + 1) + 1);
    // y alone: the padding passes (a, b) through.
    BuiltPoly y(2, {{5, {0, 3}}, {1, {0, 0}}});
    EXPECT_EQ(poly_mass(y, 2, 1), 1 * 3 * 2 * 1 + 1);
    // Digit counts, not bits.
    BuiltPoly big(1, {{mpz_class(1) << 60, {1}}});
    EXPECT_EQ(poly_mass(big, 2, 1), 1 * 1 * 2 * 3);
    EXPECT_EQ(poly_mass(nullptr, 2, 1), 0);

    // No clamp below the saturation value's overflow...
    BuiltPoly s(1, {{1, {100000000}}});
    EXPECT_EQ(poly_mass(s, 2, 1), 200000000);
    // ...but an overflow saturates, also one a 32-bit product would have
    // wrapped round to a positive value (2^32 + 2^29).
    BuiltPoly t(1, {{mpz_class(1) << 28, {2000000000}}});
    EXPECT_EQ(poly_mass(t, 2, 1), POLY_MASS_SATURATED);
    EXPECT_EQ(better_poly_mass(t, 2, 1), BETTER_MASS_SATURATED);
    BuiltPoly u(1, {{1, {1073741824 + 134217728}}});
    EXPECT_EQ(poly_mass(u, 2, 2), POLY_MASS_SATURATED);   // 2 x (2^30 + 2^27) x 2
    // A saturated coefficient may still be added up to below 2^31.
    BuiltPoly v(2, {{mpz_class(1) << 28, {1, 2000000000}}});
    EXPECT_EQ(poly_mass(v, 1, 1), POLY_MASS_SATURATED);

    WordRing words;
    BuiltPoly w(1, {{7, {3}}, {2, {0}}});
    EXPECT_EQ(poly_mass(w, 2, 1), 7);
}

TEST(Masses, LaurentMonomialsWeighTheirLevels) {
    PolyGlobalsGuard guard;
    laurent = 1;
    BuiltPoly p(1, {{1, {-5}}});
    EXPECT_EQ(poly_mass(p, 2, 1), 2);
    EXPECT_EQ(better_poly_mass(p, 2, 1), 2);
    BuiltPoly q(2, {{9, {3, -2}}});
    EXPECT_EQ(poly_mass(q, 2, 1), 3);
    BuiltPoly big(2, {{mpz_class(1) << 90, {300000, 200000}}});
    EXPECT_EQ(poly_mass(big, 2, 1), 3);
    // Two terms: the general rule, each exponent by its size.
    BuiltPoly r(1, {{1, {-5}}, {1, {-6}}});
    EXPECT_EQ(poly_mass(r, 2, 1), 1 * 5 * 2 * 1 + 1 * 6 * 1 * 1);
    // A constant is no monomial chain.
    BuiltPoly c(1, {{mpz_class(1) << 40, {0}}});
    EXPECT_EQ(poly_mass(c, 2, 1), 2);
    laurent = 0;
    EXPECT_EQ(poly_mass(p, 2, 1), 1 * 5 * 2 * 1);
}

TEST(Masses, BetterQuolyMass) {
    PolyGlobalsGuard guard;
    depthnum = 2;
    massnum = 3;
    quoly n{};
    n.isnum = 1;
    n.nnum = from_mpz(mpz_class(1) << 60);
    EXPECT_EQ(better_quoly_mass(&n), 3);

    // A rational: the two digit counts.
    BuiltPoly rn(1, {{mpz_class(1) << 28, {0}}});
    BuiltPoly rd(1, {{3, {0}}});
    quoly r = poly_quoly(rn, rd);
    r.rat = 1;
    EXPECT_EQ(better_quoly_mass(&r), 3);

    BuiltPoly num(1, {{7, {3}}, {2, {0}}});            // better_poly_mass at (2, 1): 5
    BuiltPoly den(1, {{1, {1}}, {1, {0}}});            // x + 1: 1 x 1 x 2 x 1 + 1 = 3
    BuiltPoly cden(1, {{mpz_class(1) << 40, {0}}});    // topbits 40
    quoly q = poly_quoly(num, nullptr);
    EXPECT_EQ(better_quoly_mass(&q), 5);
    q.den = cden;
    EXPECT_EQ(better_quoly_mass(&q), 5 + 40 / 3 + 1);
    q.den = den;
    EXPECT_EQ(better_quoly_mass(&q), 5 + 3 * 3);
    massnum = 1;
    EXPECT_EQ(better_quoly_mass(&q), 5 + 3);
    massnum = 3;

    // Saturated parts: the warning and the saturation value, also when a
    // 32-bit sum would have wrapped round to 0 (2^30 + 3 x 2^30).
    BuiltPoly huge(1, {{mpz_class(1) << 28, {2000000000}}});
    q.den = huge;
    testing::internal::CaptureStdout();
    EXPECT_EQ(better_quoly_mass(&q), BETTER_MASS_SATURATED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning. better_quoly_mass was negative. ");
    q.pnum = huge;
    testing::internal::CaptureStdout();
    EXPECT_EQ(better_quoly_mass(&q), BETTER_MASS_SATURATED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning. better_quoly_mass was negative. ");
    q.den = nullptr;
    testing::internal::CaptureStdout();
    EXPECT_EQ(better_quoly_mass(&q), BETTER_MASS_SATURATED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    {
        WordRing words;
        imag* w = empty_number();
        w->value = 123456;
        quoly wn{};
        wn.isnum = 1;
        wn.nnum = w;
        EXPECT_EQ(better_quoly_mass(&wn), 1);
        free_imag(&w);
    }
    release(n.nnum);
}

TEST(Masses, NewPolyMassFollowsTheHeaviestOfSevenTerms) {
    EXPECT_EQ(new_poly_mass(nullptr, 1), 0);
    BuiltPoly c(2, {{5, {0, 0}}});
    EXPECT_EQ(new_poly_mass(c, 1), 0);
    BuiltPoly p(1, {{1, {5}}, {1, {0}}});
    EXPECT_EQ(new_poly_mass(p, 1), 5);
    EXPECT_EQ(new_poly_mass(p, 3), 15);
    // x^2 y^3 + x y^10: max(2 + 2 x 3, 1 + 2 x 10).
    BuiltPoly q(2, {{1, {2, 3}}, {1, {1, 10}}});
    EXPECT_EQ(new_poly_mass(q, 1), 21);
    // x^10 y .. x^4 y, then x^3 y^100: the eighth term is not looked at.
    TermList t;
    for (int32_t i = 10; i >= 4; i--) t.emplace_back(1, std::vector<int32_t>{i, 1});
    BuiltPoly r(2, t);
    EXPECT_EQ(new_poly_mass(r, 1), 12);
    t.emplace_back(1, std::vector<int32_t>{3, 100});
    BuiltPoly s(2, t);
    EXPECT_EQ(new_poly_mass(s, 1), 12);
    t.erase(t.begin());
    BuiltPoly u(2, t);
    EXPECT_EQ(new_poly_mass(u, 1), 3 + 200);
    // The cap, also where a 32-bit k x e would wrap.
    BuiltPoly v(1, {{1, {300000000}}});
    EXPECT_EQ(new_poly_mass(v, 1), NEW_MASS_CAP);
    BuiltPoly w(1, {{1, {1 << 30}}});
    EXPECT_EQ(new_poly_mass(w, 4), NEW_MASS_CAP);
}

// ------------------------------------------------------------ storage

TEST(Masses, StorageEstimatesStopPerList) {
    BuiltPoly five(1, {{5, {0}}});
    EXPECT_EQ(simple_poly_mass(five), 39);
    BuiltPoly xp1(1, {{1, {1}}, {1, {0}}});
    EXPECT_EQ(simple_poly_mass(xp1), 91);
    EXPECT_EQ(simple_poly_mass(nullptr), 0);

    // Ten terms x^i c: 52 each.
    TermList t;
    for (int32_t i = 1; i <= 10; i++) t.emplace_back(i + 1, std::vector<int32_t>{i});
    BuiltPoly ten(1, t);
    EXPECT_EQ(simple_poly_mass(ten), 520);
    EXPECT_EQ(very_simple_poly_mass(ten), 260);
    EXPECT_EQ(more_simple_poly_mass(ten), 364);

    // The inner list stops at its own cap; the outer one adds 13 and stops.
    TermList nested;
    for (int32_t i = 1; i <= 10; i++) nested.emplace_back(2, std::vector<int32_t>{1, i});
    nested.emplace_back(3, std::vector<int32_t>{0, 0});
    BuiltPoly n(2, nested);
    EXPECT_EQ(very_simple_poly_mass(n), 13 + 260);
    EXPECT_EQ(more_simple_poly_mass(n), 13 + 364);
    EXPECT_EQ(simple_poly_mass(n), 13 + 520 + 39);

    // Digits count 8 each; a machine word is 31.
    BuiltPoly big(1, {{mpz_class(1) << 60, {2}}});
    EXPECT_EQ(simple_poly_mass(big), 13 + 31 + 8 * 3);
    WordRing words;
    BuiltPoly w(1, {{1, {1}}, {1, {0}}});
    EXPECT_EQ(simple_poly_mass(w), 13 + 31 + 31);
}

TEST(Masses, SizeQuolyOfANumber) {
    quoly n{};
    n.isnum = 1;
    n.nnum = from_mpz(7);
    EXPECT_EQ(sizequoly(&n), 48);
    release(n.nnum);
    n.nnum = from_mpz(mpz_class(1) << 56);
    EXPECT_EQ(sizequoly(&n), 20 + 20 + 3 * 8);
    {
        WordRing words;
        EXPECT_EQ(sizequoly(&n), 40);
    }
    release(n.nnum);
    EXPECT_EQ(sizepoly(nullptr), 0);
}

// Records taken from the stashes while building a polynomial.
struct Taken {
    int64_t terms, numbers, digits;
};

::testing::AssertionResult build_counting(int nvars, const TermList& t, polynode** out, Taken* taken) {
    RecordTally before, after;
    auto r = records_in_use(&before);
    if (!r) return r;
    *out = build_poly(nvars, t);
    r = records_in_use(&after);
    if (!r) return r;
    *taken = {after.terms - before.terms, after.numbers - before.numbers, after.digits - before.digits};
    return ::testing::AssertionSuccess();
}

TermList random_terms(NumberGen& g, int nvars, bool words) {
    for (;;) {
        int n = g.chance(20) ? g.between(1, 3) : g.between(1, 60);
        int32_t top = g.chance(50) ? 2 : 30;
        TermList t;
        for (int i = 0; i < n; i++) {
            std::vector<int32_t> e(nvars);
            for (int32_t& x : e) x = g.chance(35) ? 0 : g.below(top + 1);
            // Words small enough that like terms still add up within one.
            mpz_class c = words ? mpz_class(g.between(-(1 << 24), 1 << 24))
                                : g.chance(40) ? g.edge_value()
                                               : g.digits(g.length(1, 4));
            if (words && g.chance(30)) c = g.between(-9, 9);
            t.emplace_back(c, e);
        }
        t = canonical_terms(nvars, t);
        if (!t.empty()) return t;
    }
}

// Sizes in bytes and estimates against the records the polynomial holds, and
// its largest coefficient against GMP, in each of the three number forms.
TEST(Masses, SizesMatchTheRecordsHeld) {
    NumberGen g(0x3144);
    for (int form = 0; form < 3; form++) {
        RingStateGuard saved;
        if (form >= 1) lintmode = 1;
        if (form == 2) {
            modularmode = 1;
            install_modulus(1000003);
        }
        for (int iter = 0; iter < scaled(150); iter++) {
            int nvars = g.between(1, 5);
            TermList t = random_terms(g, nvars, form >= 1);
            polynode* p = nullptr;
            Taken k{};
            ASSERT_TRUE(build_counting(nvars, t, &p, &k));
            BuiltPoly owner(p);
            SCOPED_TRACE(g.trace() + ", form " + std::to_string(form) + ", iteration " + std::to_string(iter) +
                         ": " + terms_to_string(t));
            ASSERT_TRUE(check_poly_shape(p, nvars));
            TermList held = read_poly(p, nvars);
            ASSERT_EQ(k.numbers, static_cast<int64_t>(held.size()));

            int64_t digits = 0;
            int32_t bits = -1;
            for (const Term& s : held) {
                digits += digits_of(s.coef);
                mpz_class c = s.coef;
                if (form == 2 && c > 1000003 / 2) c = 1000003 - c;
                bits = std::max(bits, form == 0 ? bit_length(c) : bit_length(c) - 1);
            }
            if (form == 0) {
                ASSERT_EQ(k.digits, digits);
            }
            EXPECT_EQ(max_digits(p), bits);

            int64_t term_nodes = k.terms - k.numbers;
            EXPECT_EQ(sizepoly(p), polynodesize * k.terms + numbersize * k.numbers + numnodesize * k.digits);
            int64_t estimate = 13 * term_nodes + 31 * k.numbers + 8 * k.digits;
            EXPECT_EQ(simple_poly_mass(p), estimate);
            int32_t vs = very_simple_poly_mass(p);
            int32_t ms = more_simple_poly_mass(p);
            if (estimate <= 250) EXPECT_EQ(vs, estimate);
            else EXPECT_TRUE(vs > 250 && vs <= estimate) << vs;
            if (estimate <= 350) EXPECT_EQ(ms, estimate);
            else EXPECT_TRUE(ms > 350 && ms <= estimate) << ms;

            quoly q = poly_quoly(p, nullptr);
            EXPECT_EQ(sizequoly(&q), quolysize + sizepoly(p));
            q.den = p;
            EXPECT_EQ(sizequoly(&q), quolysize + 2 * sizepoly(p));
        }
    }
}

// ------------------------------------------------------------ product estimates

TEST(Masses, ProductEstimates) {
    BuiltPoly five(1, {{5, {0}}});
    BuiltPoly p(1, {{3, {2}}, {1, {1}}, {7, {0}}});   // 3 x^2 + x + 7
    BuiltPoly y(2, {{1, {0, 2}}, {4, {0, 0}}});       // y^2 + 4 below its padding
    int32_t k = 2;
    {
        WordRing words;
        EXPECT_EQ(lint_mode_answer(five, 0), 9);
        EXPECT_EQ(lint_mode_answer(p, 0), (4 + 9) + (4 + 9) + 9);
        EXPECT_EQ(lint_mode_answer(p, 1), 4 + 9);            // 3 as a number node of a walk
        EXPECT_EQ(lint_mode_answer(y, 1), 4 + (4 + 9) + 9);
        EXPECT_EQ(prod_num_size(five, p), 4 + 9);
    }
    EXPECT_EQ(rat_mode_answer(five, 0, &k), (1 + 2) * 2 + 8);
    EXPECT_EQ(rat_mode_answer(p, 0, &k), (4 + 14) + (4 + 14) + 15);
    EXPECT_EQ(rat_mode_answer(p, 1, &k), 4 + 15);
    EXPECT_EQ(rat_mode_answer(y, 1, &k), 4 + (4 + 14) + 15);
    BuiltPoly big(1, {{mpz_class(1) << 60, {0}}});   // three digits
    EXPECT_EQ(prod_num_size(big, p), 4 + (1 + 3) * 2 + 9);
    EXPECT_EQ(prod_num_size(big, five), (1 + 3) * 2 + 8);

    // A sum that leaves 32 bits saturates: only the digit count is read, so a
    // record claiming a billion digits will do.
    imag* n = five.p->ncoef;
    int32_t count = n->count;
    n->count = 1100000000;
    EXPECT_EQ(rat_mode_answer(five, 0, &k), PRODUCT_ESTIMATE_SATURATED);
    BuiltPoly q(1, {{1, {1}}});
    polynode* saved = q.p->pcoef;
    q.p->pcoef = five.p;
    EXPECT_EQ(rat_mode_answer(q, 0, &k), PRODUCT_ESTIMATE_SATURATED);
    q.p->pcoef = saved;
    n->count = count;
}

}  // namespace
