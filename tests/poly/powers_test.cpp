// Powers against repeated multiplication in every ground ring, the
// Frobenius route against plain binary powering, derivatives by the product
// rule and against term lists differentiated here, the characteristic
// cases, and outsized exponents refused before anything changes.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "interp/token.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/other_records.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

struct Ring {
    const char* name;
    int modular;
    int lint;
    int32_t modulus;
    int prime;
};

const std::vector<Ring> kRings = {
    {"Z", 0, 0, 0, 0},           {"Z in machine words", 0, 1, 0, 0}, {"Z/7", 1, 1, 7, 1},
    {"Z/65521", 1, 1, 65521, 1}, {"Z/2147483629", 1, 1, 2147483629, 1}, {"GF(2^8)", 1, 1, 256, 1},
    {"GF(2^16)", 1, 1, 65536, 1}, {"Z/1000000", 1, 1, 1000000, 0},
};

class RingScope {
public:
    explicit RingScope(const Ring& r, bool with_laurent = false) : saved_laurent_(laurent) {
        load_data_once();
        modularmode = r.modular;
        lintmode = r.lint;
        install_modulus(r.modulus);
        mod_is_prime = r.prime;
        laurent = with_laurent;
    }
    ~RingScope() { laurent = saved_laurent_; }

private:
    RingStateGuard guard_;
    int saved_laurent_;
};

mpz_class random_coef(NumberGen& g, const Ring& r) {
    if (!r.modular) return g.between(-30, 30);
    return g.between(0, std::min<int32_t>(r.modulus - 1, 1000));
}

TermList random_terms(NumberGen& g, const Ring& r, int nvars, int nterms, int32_t lo, int32_t hi) {
    TermList t;
    for (int i = 0; i < nterms; i++) {
        std::vector<int32_t> e(nvars);
        for (int v = 0; v < nvars; v++) e[v] = g.chance(25) ? 0 : g.between(lo, hi);
        t.emplace_back(random_coef(g, r), e);
    }
    return t;
}

polynode* copy_of(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

// p^n by n - 1 products with poly_mult.
polynode* repeated_product(polynode* p, int32_t n) {
    polynode* r = nullptr;
    if (n == 0) {
        poly_set(1, &r);
        return r;
    }
    poly_assign(p, &r);
    for (int32_t i = 1; i < n; i++) poly_mult(r, p, &r, nilpol);
    return r;
}

// ---------------------------------------------------------------- powers

TEST(PowerTest, EqualsRepeatedMultiplicationInEveryRing) {
    NumberGen g(0x5eed2101);
    for (const Ring& r : kRings) {
        RingScope ring(r);
        for (int nvars = 1; nvars <= 3; nvars++) {
            AttachedVars vars(nvars);
            RecordLedger ledger;
            for (int it = 0; it < scaled(12); it++) {
                polynode* p = build_poly(nvars, random_terms(g, r, nvars, g.between(1, 4), 0, 4));
                const int32_t n = g.between(0, 7);
                polynode* want = repeated_product(p, n);
                polynode* got = copy_of(p);
                compute_power(&got, n, nilpol);
                EXPECT_TRUE(check_poly_shape(got, nvars)) << r.name << g.trace();
                EXPECT_TRUE(poly_equal(got, want)) << r.name << " n=" << n << " " << terms_to_string(read_poly(p, nvars))
                                                   << g.trace();
                free_poly(&p);
                free_poly(&got);
                free_poly(&want);
            }
            EXPECT_TRUE(ledger.balanced()) << r.name;
        }
    }
}

TEST(PowerTest, LaurentPowersEqualRepeatedMultiplication) {
    NumberGen g(0x5eed2102);
    for (const Ring& r : {kRings[0], kRings[3]}) {
        RingScope ring(r, true);
        AttachedVars vars(2);
        for (int it = 0; it < scaled(20); it++) {
            polynode* p = build_poly(2, random_terms(g, r, 2, g.between(1, 4), -3, 3));
            const int32_t n = g.between(1, 5);
            polynode* want = repeated_product(p, n);
            compute_power(&p, n, nilpol);
            EXPECT_TRUE(check_poly_shape(p, 2));
            EXPECT_TRUE(poly_equal(p, want)) << r.name << g.trace();
            free_poly(&p);
            free_poly(&want);
        }
    }
}

// Over a prime field an exponent of at least the modulus goes through the
// Frobenius map; with mod_is_prime cleared the same power is taken by
// binary powering, which is the reference.
TEST(PowerTest, FrobeniusRouteEqualsPlainPower) {
    NumberGen g(0x5eed2103);
    const Ring small_primes[] = {{"Z/2", 1, 1, 2, 1}, {"Z/3", 1, 1, 3, 1}, {"Z/5", 1, 1, 5, 1}, {"Z/7", 1, 1, 7, 1},
                                 {"GF(2^8)", 1, 1, 256, 1}};
    for (const Ring& r : small_primes) {
        RingScope ring(r);
        for (int nvars = 1; nvars <= 2; nvars++) {
            // The plain powers of two variables grow quadratically: small moduli only.
            if (nvars == 2 && r.modulus > 5) continue;
            AttachedVars vars(nvars);
            for (int it = 0; it < scaled(10); it++) {
                polynode* p = build_poly(nvars, random_terms(g, r, nvars, g.between(1, 3), 0, 3));
                const int32_t n = r.modulus == 256 ? g.between(256, 600)
                                                   : g.between(r.modulus, r.modulus * r.modulus + r.modulus + 2);
                polynode* want = copy_of(p);
                mod_is_prime = 0;
                compute_power(&want, n, nilpol);
                mod_is_prime = 1;
                compute_power(&p, n, nilpol);
                EXPECT_TRUE(check_poly_shape(p, nvars));
                EXPECT_TRUE(poly_equal(p, want)) << r.name << " n=" << n << g.trace();
                free_poly(&p);
                free_poly(&want);
            }
        }
    }
}

TEST(PowerTest, FrobeniusByHand) {
    RingScope ring({"Z/5", 1, 1, 5, 1});
    AttachedVars vars(1);
    // (x + 1)^5 = x^5 + 1 modulo 5.
    polynode* p = build_poly(1, {{1, {1}}, {1, {0}}});
    compute_power(&p, 5, nilpol);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {5}}, {1, {0}}}));
    free_poly(&p);
    // n = 27 = 5^2 + 2: (x^25 + 1)(x + 1)^2 = x^27 + 2x^26 + x^25 + x^2 + 2x + 1.
    p = build_poly(1, {{1, {1}}, {1, {0}}});
    poly_mod_prime(&p, 27, nilpol);
    EXPECT_TRUE(check_poly_shape(p, 1));
    EXPECT_EQ(read_poly(p, 1),
              canonical_terms(1, {{1, {27}}, {2, {26}}, {1, {25}}, {1, {2}}, {2, {1}}, {1, {0}}}));
    free_poly(&p);
}

TEST(PowerTest, NumbersModuloAPrimeReduceTheExponent) {
    RingScope ring(kRings[2]);   // Z/7
    AttachedVars vars(1);
    for (int32_t n : {0, 6, 12, 600, -6}) {
        polynode* c = build_poly(1, {{3, {0}}});
        compute_power(&c, n, nilpol);
        EXPECT_EQ(read_poly(c, 1), canonical_terms(1, {{1, {0}}})) << n;
        free_poly(&c);
        polynode* z = build_poly(1, {});
        compute_power(&z, n, nilpol);
        EXPECT_EQ(read_poly(z, 1), TermList{}) << n;
        EXPECT_TRUE(check_poly_shape(z, 1));
        free_poly(&z);
    }
    // 3^-1 = 5 modulo 7.
    polynode* c = build_poly(1, {{3, {0}}});
    compute_power(&c, -1, nilpol);
    EXPECT_EQ(read_poly(c, 1), canonical_terms(1, {{5, {0}}}));
    free_poly(&c);
}

TEST(PowerTest, BigIntegerNumberPower) {
    RingScope ring(kRings[0]);
    AttachedVars vars(1);
    polynode* c = build_poly(1, {{-12345, {0}}});
    compute_power(&c, 9, nilpol);
    mpz_class want;
    mpz_pow_ui(want.get_mpz_t(), mpz_class(-12345).get_mpz_t(), 9);
    EXPECT_EQ(read_poly(c, 1), canonical_terms(1, {{want, {0}}}));
    EXPECT_TRUE(check_poly_shape(c, 1));
    free_poly(&c);
}

TEST(PowerTest, ExponentBeyond32BitsIsRefused) {
    RingScope ring(kRings[0]);
    AttachedVars vars(2);
    polynode* p = build_poly(2, {{1, {3, 100000}}, {1, {0, 0}}});
    polynode* before = copy_of(p);
    EXPECT_EQ(unwind_code([&] { compute_power(&p, 30000, nilpol); }), 156);
    EXPECT_TRUE(poly_equal(p, before));
    // Just inside the limit is fine: exponent 21474 * 100000 < 2^31.
    polynode* q = build_poly(1, {{1, {100000}}});
    {
        AttachedVars one(1);
        compute_power(&q, 21474, nilpol);
        EXPECT_EQ(read_poly(q, 1), canonical_terms(1, {{1, {2147400000}}}));
    }
    free_poly(&p);
    free_poly(&q);
    free_poly(&before);
    // Modulo a prime, the Frobenius route checks as well.
    RingScope modp(kRings[3]);
    AttachedVars one(1);
    polynode* x = build_poly(1, {{1, {40000}}, {1, {0}}});
    EXPECT_EQ(unwind_code([&] { compute_power(&x, 65521, nilpol); }), 156);
    free_poly(&x);
}

TEST(PowerTest, NegativeExponentOfAPolynomialIsAnInternalError) {
    RingScope ring(kRings[0]);
    AttachedVars vars(1);
    polynode* p = build_poly(1, {{1, {1}}, {1, {0}}});
    EXPECT_EQ(unwind_code([&] { compute_power(&p, -2, nilpol); }), -1);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {1}}, {1, {0}}}));
    compute_power(&p, 0, nilpol);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {0}}}));
    free_poly(&p);
}

// ---------------------------------------------------------------- derivatives

int64_t falling(int64_t e, int32_t k) {
    int64_t f = 1;
    for (int32_t j = 0; j < k; j++) f *= e - j;
    return f;
}

// The k-th derivative with respect to variable `var` (0 = outermost),
// computed on the term list.
TermList diff_terms(const TermList& t, int nvars, int var, int32_t k) {
    TermList out;
    for (const Term& s : t) {
        const int64_t f = falling(s.exps[var], k);
        if (f == 0) continue;
        Term d = s;
        d.coef *= static_cast<long>(f);
        d.exps[var] -= k;
        out.push_back(d);
    }
    return canonical_terms(nvars, out);
}

TEST(PowerTest, DerivativeAgainstTermLists) {
    NumberGen g(0x5eed2104);
    for (const Ring& r : kRings) {
        if (r.modulus == 256 || r.modulus == 65536) continue;   // field coefficients: product rule below
        for (bool laur : {false, true}) {
            RingScope ring(r, laur);
            for (int nvars = 1; nvars <= 3; nvars++) {
                AttachedVars vars(nvars);
                RecordLedger ledger;
                for (int it = 0; it < scaled(10); it++) {
                    const TermList terms = random_terms(g, r, nvars, g.between(1, 6), laur ? -4 : 0, 9);
                    const int var = g.below(nvars);
                    const int32_t k = g.between(1, 3);
                    polynode* p = build_poly(nvars, terms);
                    if (var == 0)
                        poly_diff(&p, k);
                    else
                        general_poly_diff(&p, k, static_cast<int16_t>(var + 1));
                    EXPECT_TRUE(check_poly_shape(p, nvars)) << r.name << g.trace();
                    EXPECT_EQ(read_poly(p, nvars), diff_terms(terms, nvars, var, k))
                        << r.name << " var " << var << " k " << k << " of " << terms_to_string(terms) << g.trace();
                    free_poly(&p);
                }
                EXPECT_TRUE(ledger.balanced());
            }
        }
    }
}

// d(ab) = a'b + ab', with respect to each variable, in every ring.
TEST(PowerTest, DerivativeProductRule) {
    NumberGen g(0x5eed2105);
    for (const Ring& r : kRings) {
        RingScope ring(r);
        for (int nvars = 1; nvars <= 3; nvars++) {
            AttachedVars vars(nvars);
            for (int it = 0; it < scaled(8); it++) {
                polynode* a = build_poly(nvars, random_terms(g, r, nvars, g.between(1, 5), 0, 7));
                polynode* b = build_poly(nvars, random_terms(g, r, nvars, g.between(1, 5), 0, 7));
                const int16_t level = static_cast<int16_t>(g.between(1, nvars));
                polynode* ab = nullptr;
                poly_mult(a, b, &ab, nilpol);
                general_poly_diff(&ab, 1, level);
                polynode* da = copy_of(a);
                polynode* db = copy_of(b);
                general_poly_diff(&da, 1, level);
                general_poly_diff(&db, 1, level);
                EXPECT_TRUE(check_poly_shape(da, nvars));
                polynode* s1 = nullptr;
                polynode* s2 = nullptr;
                poly_mult(da, b, &s1, nilpol);
                poly_mult(a, db, &s2, nilpol);
                poly_add(s1, s2, &s1);
                EXPECT_TRUE(poly_equal(ab, s1)) << r.name << " level " << level << g.trace();
                for (polynode** q : {&a, &b, &ab, &da, &db, &s1, &s2}) free_poly(q);
            }
        }
    }
}

TEST(PowerTest, DerivativeCharacteristicCases) {
    for (const Ring& r : {kRings[2], kRings[3]}) {   // x^p vanishes modulo p
        RingScope ring(r);
        AttachedVars vars(1);
        polynode* p = build_poly(1, {{5, {r.modulus}}, {3, {2 * r.modulus}}});
        poly_diff(&p, 1);
        EXPECT_TRUE(check_poly_shape(p, 1));
        EXPECT_EQ(read_poly(p, 1), TermList{}) << r.name;
        free_poly(&p);
        // Modulo 7 the third derivative of x^9 has factor 9*8*7 = 0.
        if (r.modulus == 7) {
            p = build_poly(1, {{1, {9}}, {1, {3}}});
            poly_diff(&p, 3);
            EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{6, {0}}}));
            free_poly(&p);
        }
    }
    for (const Ring& r : {kRings[5], kRings[6]}) {   // characteristic 2
        RingScope ring(r);
        AttachedVars vars(2);
        polynode* p = build_poly(2, {{7, {5, 1}}, {9, {4, 2}}, {3, {3, 0}}, {1, {0, 3}}});
        polynode* q = copy_of(p);
        poly_diff(&p, 2);
        EXPECT_EQ(read_poly(p, 2), TermList{}) << r.name;
        poly_diff(&q, 1);
        EXPECT_TRUE(check_poly_shape(q, 2));
        EXPECT_EQ(read_poly(q, 2), canonical_terms(2, {{7, {4, 1}}, {3, {2, 0}}})) << r.name;
        free_poly(&p);
        free_poly(&q);
    }
}

TEST(PowerTest, DerivativeSmallCases) {
    RingScope ring(kRings[0], true);
    AttachedVars vars(2);
    polynode* c = build_poly(2, {{42, {0, 0}}});
    poly_diff(&c, 1);
    EXPECT_TRUE(check_poly_shape(c, 2));
    EXPECT_EQ(read_poly(c, 2), TermList{});
    free_poly(&c);
    polynode* p = build_poly(2, {{1, {-2, 0}}});
    poly_diff(&p, 1);
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{-2, {-3, 0}}}));
    free_poly(&p);
    // d/dx (x y + 3) = y: the result is padded at the x level.
    p = build_poly(2, {{1, {1, 1}}, {3, {0, 0}}});
    poly_diff(&p, 1);
    EXPECT_TRUE(check_poly_shape(p, 2));
    ASSERT_FALSE(p->numb);
    EXPECT_EQ(p->exp, 0);
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {0, 1}}}));
    free_poly(&p);
    // d/dy (x^2 y + y) = x^2 + 1: the exponent-0 term collapses to a number.
    p = build_poly(2, {{1, {2, 1}}, {1, {0, 1}}});
    general_poly_diff(&p, 1, 2);
    EXPECT_TRUE(check_poly_shape(p, 2));
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {2, 0}}, {1, {0, 0}}}));
    free_poly(&p);
}

TEST(PowerTest, DerivativeExponentRange) {
    // Exponents and factors of any size in range: 2^28 x^(2^28 - 1) + 1
    // from x^(2^28) + x, and (2^28 - 1) 2^28 x^-(2^28 + 1) from the second
    // derivative of x^-(2^28 - 1).
    RingScope ring(kRings[0], true);
    AttachedVars vars(1);
    const int32_t digit = (1 << 28) - 1;
    polynode* p = build_poly(1, {{1, {digit + 1}}, {1, {1}}});
    poly_diff(&p, 1);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{mpz_class(digit + 1), {digit}}, {1, {0}}}));
    free_poly(&p);
    p = build_poly(1, {{1, {-digit}}});
    poly_diff(&p, 2);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{mpz_class(digit) * (digit + 1), {-digit - 2}}}));
    free_poly(&p);
    // A new exponent out of range is error 32 with the polynomial untouched,
    // in every ring.
    for (int r : {0, 1, 2, 4, 5}) {
        RingScope words(kRings[r], true);
        p = build_poly(1, {{1, {INT32_MIN + 1}}, {1, {3}}});
        polynode* before = copy_of(p);
        EXPECT_EQ(unwind_code([&] { poly_diff(&p, 1); }), 32);
        EXPECT_TRUE(poly_equal(p, before));
        free_poly(&p);
        free_poly(&before);
    }
}

}  // namespace
