// Binomial coefficients against GMP's exact ones: every n <= 600 and random
// rows to 1,754 with big integers, Pascal's rule across the seams where the
// method changes (rows 150/153 and 500/501), residues modulo small, table-
// sized and word primes (Lucas reductions included) and composite moduli,
// machine words to row 30, the integer evaluator's words, and every limit.
#include <gtest/gtest.h>

#include <gmpxx.h>

#include <cstdint>
#include <algorithm>
#include <random>
#include <vector>

#include "builtins/binomials.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

mpz_class comb(uint32_t n, uint32_t k) {
    mpz_class c;
    mpz_bin_uiui(c.get_mpz_t(), n, k);
    return c;
}

int32_t comb_mod(uint32_t n, uint32_t k, int32_t p) {
    mpz_class c = comb(n, k) % p;
    return static_cast<int32_t>(c.get_si());
}

// The value a binomial routine leaves in a fresh slot.
template <class F>
mpz_class value_of(F routine, int32_t n, int32_t k) {
    quoly* q = nullptr;
    routine(n, k, &q);
    EXPECT_TRUE(q && q->isnum);
    mpz_class v = number_value(q->nnum);
    free_quoly(&q);
    return v;
}

struct Integers {
    PrimeRing ring{0};
};

TEST(RatBinom, EveryRowTo600) {
    Integers z;
    for (int32_t n = 0; n <= 600; n++)
        for (int32_t k = 0; k <= n; k++) {
            quoly* q = nullptr;
            rat_binom(n, k, &q);
            ASSERT_TRUE(check_quoly_normal(q)) << n << " " << k;
            ASSERT_EQ(to_mpz(q->nnum), comb(n, k)) << "C(" << n << ", " << k << ")";
            free_quoly(&q);
        }
}

TEST(RatBinom, RandomRowsTo1754AndTheLimit) {
    Integers z;
    std::mt19937 rng(1754);
    for (int i = 0; i < 400; i++) {
        const int32_t n = 601 + static_cast<int32_t>(rng() % 1154);
        const int32_t k = static_cast<int32_t>(rng() % (n + 1));
        ASSERT_EQ(value_of(rat_binom, n, k), comb(n, k)) << "C(" << n << ", " << k << ")";
    }
    for (int32_t k : {0, 1, 2, 877, 1754}) EXPECT_EQ(value_of(rat_binom, 1754, k), comb(1754, k));
    // Beyond the last row the product path refuses, even for k = 1; k = 0
    // and k = n are settled before that.
    for (int32_t k : {1, 2, 3, 900, 1754})
        EXPECT_TARVEX_ERROR({ quoly* q = nullptr; rat_binom(1755, k, &q); free_quoly(&q); }, 87);
    EXPECT_EQ(value_of(rat_binom, 1755, 0), 1);
    EXPECT_EQ(value_of(rat_binom, 1755, 1755), 1);
}

TEST(RatBinom, PascalAcrossTheSeams) {
    Integers z;
    for (int32_t lo : {148, 498})
        for (int32_t n = lo; n <= lo + 8; n++)
            for (int32_t k = 1; k < n; k++)
                ASSERT_EQ(value_of(rat_binom, n, k),
                          value_of(rat_binom, n - 1, k) + value_of(rat_binom, n - 1, k - 1))
                    << "C(" << n << ", " << k << ")";
}

TEST(RatBinom, SmallCases) {
    Integers z;
    EXPECT_EQ(value_of(rat_binom, 0, 0), 1);
    EXPECT_EQ(value_of(rat_binom, 2, 1), 2);
    EXPECT_EQ(value_of(rat_binom, 152, 2), 152 * 151 / 2);
    EXPECT_EQ(value_of(rat_binom, 151, 150), 151);
    EXPECT_EQ(value_of(binom_value, 5, 6), 0);
    EXPECT_EQ(value_of(binom_value, 5, -1), 0);
    EXPECT_EQ(value_of(binom_value, -3, -4), 0);
}

TEST(LintBinom, MachineWordsToRow30) {
    RingStateGuard saved;
    PrimeRing z(0);
    lintmode = 1;
    for (int32_t n = 0; n <= 30; n++)
        for (int32_t k = 0; k <= n; k++) {
            quoly* q = nullptr;
            binom_value(n, k, &q);
            ASSERT_EQ(q->nnum->value, comb(n, k).get_si()) << "C(" << n << ", " << k << ")";
            free_quoly(&q);
        }
    for (int32_t k = 1; k <= 30; k++)
        EXPECT_TARVEX_ERROR({ quoly* q = nullptr; lint_binom(31, k, &q); free_quoly(&q); }, 239);
}

// Residues against GMP for every row of the table, and rows beyond it
// where a prime modulus above k allows the reduction of n.
void check_modulus(int32_t p) {
    SCOPED_TRACE(p);
    RingStateGuard saved;
    PrimeRing ring(p);
    use_modulus(p);
    for (int32_t n = 0; n <= 150; n++)
        for (int32_t k = 0; k <= n; k++) {
            quoly* q = nullptr;
            binom_value(n, k, &q);
            ASSERT_EQ(q->nnum->value, comb_mod(n, k, p)) << "C(" << n << ", " << k << ")";
            free_quoly(&q);
            int32_t w = -1;
            imod_binom(n, k, &w);
            ASSERT_EQ(w, comb_mod(n, k, p));
        }
    if (!mod_is_prime) {
        EXPECT_TARVEX_ERROR({ quoly* q = nullptr; mod_binom(151, 3, &q); free_quoly(&q); }, 87);
        return;
    }
    // Beyond the table: with k' = min(k, n - k) below p, n reduces to
    // n mod p (0 when k' exceeds it); otherwise the row is out of reach.
    std::mt19937 rng(static_cast<uint32_t>(p));
    for (int i = 0; i < 400; i++) {
        const int32_t n = 151 + static_cast<int32_t>(rng() % 6000);
        const int32_t k = static_cast<int32_t>(i % 2 ? rng() % (n + 1) : rng() % std::min(n + 1, p));
        const int32_t folded = std::min(k, n - k);
        const bool refused = folded >= 1 && (folded >= p || (folded <= n % p && n % p > 150));
        quoly* q = nullptr;
        const int code = unwind_code([&] { binom_value(n, k, &q); });
        if (refused) {
            ASSERT_EQ(code, 87) << "C(" << n << ", " << k << ")";
        } else {
            ASSERT_EQ(code, 9999) << "C(" << n << ", " << k << ")";
            ASSERT_EQ(q->nnum->value, comb_mod(n, k, p)) << "C(" << n << ", " << k << ")";
            int32_t w = -1;
            imod_binom(n, k, &w);
            ASSERT_EQ(w, comb_mod(n, k, p));
        }
        free_quoly(&q);
    }
}

TEST(ModBinom, PrimeModuli) {
    for (int32_t p : {2, 3, 7, 149, 151, 65521, 2147483629}) check_modulus(p);
}

TEST(ModBinom, CompositeModuliAndTheFields) {
    for (int32_t m : {9, 100, 256, 65536}) check_modulus(m);
}

TEST(ModBinom, LucasReductionAndItsLimits) {
    RingStateGuard saved;
    PrimeRing ring(151);
    // 1000 = 6 * 151 + 94: C(1000, 5) = C(94, 5) C(6, 0).
    quoly* q = nullptr;
    mod_binom(1000, 5, &q);
    EXPECT_EQ(q->nnum->value, comb_mod(1000, 5, 151));
    // 302 mod 151 = 0 < 100: C(302, 100) = C(0, 100) C(2, 0) = 0.
    mod_binom(302, 100, &q);
    EXPECT_EQ(q->nnum->value, 0);
    EXPECT_EQ(comb_mod(302, 100, 151), 0);
    free_quoly(&q);
    // k at or above p: no reduction, and the row is beyond the table.
    EXPECT_TARVEX_ERROR({ quoly* r = nullptr; mod_binom(1000, 200, &r); free_quoly(&r); }, 87);
    EXPECT_TARVEX_ERROR({ int32_t w; imod_binom(1000, 200, &w); }, 279);
    // A composite modulus has no reduction either.
    use_modulus(9);
    EXPECT_TARVEX_ERROR({ quoly* r = nullptr; mod_binom(151, 1, &r); free_quoly(&r); }, 87);
    // A word prime leaves every n below it as it is.
    use_modulus(2147483629);
    EXPECT_TARVEX_ERROR({ quoly* r = nullptr; mod_binom(200, 3, &r); free_quoly(&r); }, 87);
    // C(2, 1) modulo 2 is 0.
    use_modulus(2);
    mod_binom(2, 1, &q);
    EXPECT_EQ(q->nnum->value, 0);
    free_quoly(&q);
}

TEST(IlintBinom, OneDigitValuesOnly) {
    Integers z;
    const mpz_class digit = mpz_class(1) << 28;
    for (int32_t n = 0; n <= 150; n++)
        for (int32_t k = 0; k <= n; k++) {
            const mpz_class c = comb(n, k);
            int32_t w = -1;
            if (c < digit) {
                ilint_binom(n, k, &w);
                ASSERT_EQ(w, c.get_si()) << "C(" << n << ", " << k << ")";
            } else if (k % 7 == 0 || comb(n, k - 1) < digit || comb(n, k + 1) < digit) {
                // A value of a digit or more is refused, never cut to a digit.
                ASSERT_EQ(unwind_code([&] { ilint_binom(n, k, &w); }), 32) << "C(" << n << ", " << k << ")";
            }
        }
    int32_t w = -1;
    ilint_binom(151, 0, &w);
    EXPECT_EQ(w, 1);
    EXPECT_TARVEX_ERROR({ ilint_binom(151, 1, &w); }, 279);
}

}  // namespace
