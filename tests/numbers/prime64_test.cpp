// The 64-bit primality test and least-factor search over the whole word:
// primality against GMP, the numbers that fool strong tests to fewer bases,
// least factors against plain trial division and, where that is too slow,
// against factors planted by construction.
#include <gtest/gtest.h>

#include <gmpxx.h>

#include <cstdint>
#include <vector>

#include "numbers/prime64.h"
#include "support/random_numbers.h"

namespace {

bool gmp_prime(uint64_t n) {
    const mpz_class v(static_cast<unsigned long>(n));
    return mpz_probab_prime_p(v.get_mpz_t(), 40) != 0;
}

uint64_t prime_at_or_after(uint64_t n) {
    while (!gmp_prime(n)) n++;
    return n;
}

TEST(Prime64, PrimalityAgreesWithGmpOverTheWord) {
    NumberGen gen(6401);
    std::vector<uint64_t> ns = {0, 1, 2, 3, 4, 1023, 1024, 1031, 1048573, 1048576, 1048583,
                                UINT64_MAX, UINT64_MAX - 58, (uint64_t{1} << 63) - 25, (uint64_t{1} << 63) + 29};
    for (int i = 0; i < scaled(20000); i++) ns.push_back((gen.bits() >> gen.below(64)) | 1);
    for (uint64_t n : ns) EXPECT_EQ(is_prime64(n), gmp_prime(n)) << n;
}

TEST(Prime64, StrongPseudoprimesToFewerBasesAreFound) {
    // Strong pseudoprimes to the bases 2; 2, 3; 2, 3, 5; 2 .. 7; 2 .. 11;
    // 2 .. 13; 2 .. 23 (the last passes the first nine primes), and
    // Carmichael numbers.
    const uint64_t fooling[] = {2047,          1373653,        25326001,        3215031751,      2152302898747,
                                3474749660383, 341550071728321, 3825123056546413051ULL, 561, 41041, 825265,
                                321197185,     5394826801,     232250619601,     9746347772161};
    for (uint64_t n : fooling) {
        EXPECT_FALSE(is_prime64(n)) << n;
        const uint64_t d = least_prime_factor64(n);
        EXPECT_EQ(d, trial_least_factor64(n)) << n;
        EXPECT_EQ(n % d, 0u) << n;
    }
}

TEST(Prime64, LeastFactorMatchesTrialDivision) {
    NumberGen gen(6402);
    for (uint64_t n = 0; n < 5000; n++) ASSERT_EQ(least_prime_factor64(n), trial_least_factor64(n)) << n;
    for (int i = 0; i < scaled(3000); i++) {
        const uint64_t n = gen.bits() >> (24 + gen.below(30));   // below 2^40
        ASSERT_EQ(least_prime_factor64(n), trial_least_factor64(n)) << n << " " << gen.trace();
    }
    // Products of two primes near 2^20 and cubes of primes: the rho search's work.
    for (int i = 0; i < scaled(300); i++) {
        const uint64_t p = prime_at_or_after((uint64_t{1} << 20) + gen.below(1 << 20));
        const uint64_t q = prime_at_or_after(p + 1 + gen.below(1 << 18));
        ASSERT_EQ(least_prime_factor64(p * q), p) << p << " * " << q;
        ASSERT_EQ(least_prime_factor64(q * p * p), p) << p;
        ASSERT_EQ(trial_least_factor64(p * q), p);
    }
}

TEST(Prime64, PlantedFactorsAcrossTheWord) {
    NumberGen gen(6403);
    for (int i = 0; i < scaled(200); i++) {
        // p < q, p * q in the upper half of what fits the word, p from 2^10 to 2^31.
        const int pbits = 11 + gen.below(21);
        const uint64_t p = prime_at_or_after((uint64_t{1} << (pbits - 1)) + (gen.bits() >> (65 - pbits)));
        const uint64_t qmax = UINT64_MAX / p;
        const uint64_t q = prime_at_or_after(qmax / 2 + gen.bits() % (qmax / 4));
        const uint64_t n = p * q;
        ASSERT_EQ(least_prime_factor64(n), p) << n << " = " << p << " * " << q << " " << gen.trace();
    }
    // The largest prime square and cube of the word, and the largest prime.
    EXPECT_EQ(least_prime_factor64(uint64_t{4294967291} * 4294967291u), 4294967291u);
    EXPECT_EQ(least_prime_factor64(uint64_t{2642239} * 2642239 * 2642239), 2642239u);
    EXPECT_EQ(least_prime_factor64(UINT64_MAX - 58), 1u);
    EXPECT_EQ(least_prime_factor64(uint64_t{2999999929} * 3000000019u), 2999999929u);
}

}  // namespace
