// powermod: numbers against GMP's modular power (bases that are multiples
// of the modulus and negative bases included; prime, composite and
// multi-digit moduli; exponents of one to five digits), polynomials modulo
// a random monic m against repeated multiplication and remainder, huge
// exponents against the test's own x^n mod f, residues against Fermat, the
// Frobenius map against plain powering, the progress lines and every error.
#include <gtest/gtest.h>

#include <gmpxx.h>

#include <random>
#include <utility>
#include <string>

#include "builtins/powermod.h"
#include "ff_arith.h"
#include "ff_setup.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"

namespace {

// The numbered error f unwinds with (9999 for none) and what it printed.
template <class F>
int code_and_output(F f, std::string* out) {
    int code = 9999;
    ::testing::internal::CaptureStdout();
    try {
        f();
    } catch (const TarvexUnwind& e) {
        code = e.code;
    }
    *out = ::testing::internal::GetCapturedStdout();
    return code;
}

quoly* number_quoly(const mpz_class& v) {
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = 1;
    q->rat = 0;
    q->den = nullptr;
    q->nnum = from_mpz(v);
    return q;
}

quoly* word_quoly(int32_t v) {
    quoly* q = nullptr;
    quoly_set(v, &q);
    return q;
}

struct Exponent {
    imag* n;
    explicit Exponent(const mpz_class& v) : n(from_mpz(v)) {}
    ~Exponent() { release(n); }
};

mpz_class random_mpz(std::mt19937_64& rng, int digits) {
    mpz_class v = 0;
    for (int i = 0; i < digits; i++) v = (v << 28) + static_cast<unsigned long>(rng() & 0xFFFFFFF);
    return v;
}

TEST(PowermodNumbers, AgainstGmp) {
    PrimeRing ring(0);
    std::mt19937_64 rng(11);
    const mpz_class moduli[] = {7, 65521, 268435399, 1000000, 15, mpz_class("123456789012345678901234567"),
                                mpz_class(1) << 90, 1};
    for (const mpz_class& M : moduli) {
        for (int c = 0; c < 40; c++) {
            mpz_class base = random_mpz(rng, 1 + c % 4);
            if (c % 5 == 0) base = M * static_cast<unsigned long>(1 + rng() % 9);   // a multiple of M
            if (c % 3 == 0) base = -base;
            const mpz_class e = random_mpz(rng, 1 + c % 5) + 1;
            mpz_class want;
            mpz_powm(want.get_mpz_t(), base.get_mpz_t(), e.get_mpz_t(), M.get_mpz_t());
            quoly* a = number_quoly(base);
            quoly* m = number_quoly(M);
            Exponent n(e);
            powermod(&a, &m, n.n, 0);
            ASSERT_TRUE(a->isnum);
            EXPECT_EQ(to_mpz(a->nnum), want) << base << "^" << e << " mod " << M;
            free_quoly(&a);
            free_quoly(&m);
        }
    }
}

TEST(PowermodNumbers, AMultipleOfThePrimeStaysZero) {
    PrimeRing ring(0);
    for (long b : {7L, 14L, -21L, 0L}) {
        quoly* a = number_quoly(b);
        quoly* m = number_quoly(7);
        Exponent n(6);
        powermod(&a, &m, n.n, 0);
        EXPECT_EQ(to_mpz(a->nnum), 0) << b;
        free_quoly(&a);
        free_quoly(&m);
    }
    // An exponent of three digits is reduced modulo 6 first: 3^(6k) = 1.
    quoly* a = number_quoly(3);
    quoly* m = number_quoly(7);
    Exponent n(mpz_class(6) << 60);
    powermod(&a, &m, n.n, 0);
    EXPECT_EQ(to_mpz(a->nnum), 1);
    free_quoly(&a);
    free_quoly(&m);
}

TEST(PowermodNumbers, ResiduesInTheField) {
    for (int32_t p : {7, 65521, 2147483629}) {
        PrimeRing ring(p);
        std::mt19937_64 rng(p);
        for (int c = 0; c < 20; c++) {
            const int32_t v = 1 + static_cast<int32_t>(rng() % (p - 1));
            quoly* a = word_quoly(v);
            Exponent n(mpz_class(p - 1) * static_cast<unsigned long>(1 + rng() % 1000));
            powermod(&a, nullptr, n.n, 0);
            EXPECT_EQ(a->nnum->value, 1) << v << " mod " << p;
            free_quoly(&a);
            // v^-1 · v = 1.
            a = word_quoly(v);
            Exponent m1(-1);
            powermod(&a, nullptr, m1.n, 0);
            EXPECT_EQ(static_cast<int64_t>(a->nnum->value) * v % p, 1);
            free_quoly(&a);
        }
    }
    PrimeRing ring(7);
    quoly* a = word_quoly(3);
    Exponent six(6), m1(-1);
    powermod(&a, nullptr, six.n, 0);
    EXPECT_EQ(a->nnum->value, 1);
    quoly_set(3, &a);
    powermod(&a, nullptr, m1.n, 0);
    EXPECT_EQ(a->nnum->value, 5);
    free_quoly(&a);
}

TEST(PowermodPolys, ModuloARandomMonicAgainstRepeatedProducts) {
    for (int32_t p : {2, 7, 65521, 2147483629, 256}) {
        OneVarField field(p);
        test_rng.seed(static_cast<uint64_t>(p) + 3);
        for (int c = 0; c < 10; c++) {
            const UPoly m = random_monic(1 + c % 9, test_draw);
            const UPoly base = random_monic(static_cast<int>(test_draw() % 12), test_draw);
            const int e = 1 + static_cast<int>(test_draw() % 40);
            UPoly want{1};
            for (int k = 0; k < e; k++) want = rem(mul(want, base), m);
            quoly* a = poly_quoly(to_poly(base));
            quoly* mq = poly_quoly(to_poly(m));
            Exponent n(e);
            powermod(&a, &mq, n.n, 0);
            const UPoly got = a->isnum ? (a->nnum->value ? UPoly{static_cast<uint64_t>(a->nnum->value)} : UPoly{})
                                       : from_poly(a->pnum);
            EXPECT_EQ(got, want) << "p " << p << ":" << to_text(base) << " ^ " << e << " mod" << to_text(m);
            free_quoly(&a);
            free_quoly(&mq);
        }
    }
}

TEST(PowermodPolys, HugeExponentsAgainstTheTestsOwnPowering) {
    for (int32_t p : {3, 65521, 2147483629}) {
        OneVarField field(p);
        test_rng.seed(static_cast<uint64_t>(p) + 5);
        for (int c = 0; c < 4; c++) {
            const UPoly m = random_monic(20 + c, test_draw);
            const uint64_t e = test_draw() >> 2;   // three base-2^28 digits
            quoly* a = poly_quoly(to_poly(UPoly{0, 1}));
            quoly* mq = poly_quoly(to_poly(m));
            Exponent n(mpz_class(static_cast<unsigned long>(e)));
            powermod(&a, &mq, n.n, 0);
            EXPECT_EQ(from_poly(a->pnum), x_power_mod(e, m));
            free_quoly(&a);
            free_quoly(&mq);
        }
    }
}

TEST(PowermodPolys, ANumberBaseModuloAPolynomialIsPowered) {
    {
        PrimeRing ring(0);
        AttachedVars vars(1);
        quoly* a = number_quoly(3);
        quoly* m = poly_quoly(build_poly(1, {{1, {2}}, {1, {0}}}));
        Exponent n(5);
        powermod(&a, &m, n.n, 0);
        ASSERT_TRUE(a->isnum);
        EXPECT_EQ(to_mpz(a->nnum), 243);
        free_quoly(&a);
        free_quoly(&m);
    }
    {
        OneVarField field(101);
        quoly* a = word_quoly(3);
        quoly* m = poly_quoly(build_poly(1, {{1, {2}}, {1, {0}}}));
        Exponent n(5);
        powermod(&a, &m, n.n, 0);
        EXPECT_EQ(a->nnum->value, 243 % 101);
        free_quoly(&a);
        free_quoly(&m);
    }
}

TEST(PowermodPolys, RationalCoefficientsByHand) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    // (x + 1)^5 mod x^2 + 1 = -4x - 4 over Z.
    quoly* a = poly_quoly(build_poly(1, {{1, {1}}, {1, {0}}}));
    quoly* m = poly_quoly(build_poly(1, {{1, {2}}, {1, {0}}}));
    Exponent n(5);
    powermod(&a, &m, n.n, 0);
    EXPECT_EQ(read_poly(a->pnum, 1), canonical_terms(1, {{-4, {1}}, {-4, {0}}}));
    free_quoly(&a);
    // Modulo the number 3 the coefficients are reduced: (x + 1)^3 = x^3 + 1.
    a = poly_quoly(build_poly(1, {{1, {1}}, {1, {0}}}));
    quoly* three = number_quoly(3);
    Exponent e3(3);
    powermod(&a, &three, e3.n, 0);
    EXPECT_EQ(read_poly(a->pnum, 1), canonical_terms(1, {{1, {3}}, {1, {0}}}));
    free_quoly(&a);
    free_quoly(&three);
    free_quoly(&m);
}

TEST(PowermodPolys, FrobeniusMapIsThePthPower) {
    for (int32_t p : {101, 65521}) {
        OneVarField field(p);
        test_rng.seed(static_cast<uint64_t>(p));
        const UPoly f = random_monic(6, test_draw);
        polynode* a = to_poly(f);
        polynode* want = to_poly(f);
        compute_power(&want, p, polynames);
        polynode* xp = build_poly(1, {{1, {p}}});
        polynode* table[3] = {nullptr, xp, nullptr};
        fast_mod_power(&a, polynames, table);
        EXPECT_EQ(read_poly(a, 1), read_poly(want, 1));
        free_poly(&a);
        free_poly(&want);
        free_poly(&xp);
    }
}

TEST(PowermodPolys, ProgressLines) {
    OneVarField field(7);
    quoly* a = poly_quoly(to_poly(UPoly{1, 1}));
    quoly* m = poly_quoly(to_poly(UPoly{3, 0, 0, 1}));
    Exponent n(mpz_class(1) << 30);   // two digits
    ::testing::internal::CaptureStdout();
    powermod(&a, &m, n.n, 1);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "          counting to 2\n             0 1 2 \n");
    free_quoly(&a);
    free_quoly(&m);
}

TEST(PowermodErrors, EveryError) {
    {
        PrimeRing ring(0);
        AttachedVars vars(1);
        quoly* a = number_quoly(3);
        quoly* m = number_quoly(7);
        Exponent neg(-2);
        std::string out;
        const int code = code_and_output([&] { powermod(&a, &m, neg.n, 0); }, &out);
        EXPECT_EQ(code, 287);
        EXPECT_NE(out.find("*** bad exponent (negative): \n"), std::string::npos) << out;
        free_quoly(&m);
        m = poly_quoly(build_poly(1, {{2, {2}}, {1, {0}}}));   // not monic
        Exponent two(2);
        EXPECT_TARVEX_ERROR(powermod(&a, &m, two.n, 0), 197);
        free_quoly(&a);
        free_quoly(&m);
    }
    {
        PrimeRing ring(15);
        mod_is_prime = 0;
        quoly* a = word_quoly(2);
        Exponent e(3);
        EXPECT_TARVEX_ERROR(powermod(&a, nullptr, e.n, 0), 290);
        free_quoly(&a);
    }
    {
        OneVarField field(7);
        quoly* a = word_quoly(0);
        Exponent neg(-1), big(mpz_class(1) << 31);
        EXPECT_TARVEX_ERROR(powermod(&a, nullptr, neg.n, 0), 22);
        free_quoly(&a);
        // x^(2^31) with no modulus: the warning, then the degree cannot be held.
        a = poly_quoly(to_poly(UPoly{0, 1}));
        std::string out;
        const int code = code_and_output([&] { powermod(&a, nullptr, big.n, 0); }, &out);
        EXPECT_EQ(code, 156);
        EXPECT_NE(out.find(" *** Warning. exponent overflow may occur.\n"), std::string::npos) << out;
        EXPECT_EQ(from_poly(a->pnum), (UPoly{0, 1}));
        free_quoly(&a);
    }
    {
        OneVarField field(7);
        VarGlobalsGuard g;
        quoly* a = poly_quoly(to_poly(UPoly{0, 1}));
        quoly* m = poly_quoly(to_poly(UPoly{1, 0, 1}));
        Exponent e(3);
        field_depth = 1;
        EXPECT_TARVEX_ERROR(powermod(&a, &m, e.n, 0), 291);
        field_depth = 0;
        laurent = 1;
        free_quoly(&m);
        m = poly_quoly(build_poly(1, {{1, {2}}, {1, {-1}}}));
        EXPECT_TARVEX_ERROR(powermod(&a, &m, e.n, 0), 198);
        free_quoly(&a);
        free_quoly(&m);
    }
}

TEST(FieldOrder, PlainFieldsWithoutRelations) {
    for (auto [m, k] : {std::pair<int32_t, int32_t>{65521, 1}, {2, 1}, {256, 8}, {65536, 16}}) {
        PrimeRing ring(m);
        AttachedVars vars(1);
        EXPECT_EQ(field_record(-1), nullptr);
        EXPECT_EQ(log_order_field(-1), k);
        imag* q = empty_number();
        {
            RingStateGuard saved;
            modularmode = lintmode = 0;
            order_of_field(q, 0, -1);
        }
        EXPECT_EQ(to_mpz(q), m);
        release(q);
    }
}

}  // namespace
