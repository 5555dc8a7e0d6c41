// Mixed-radix digits in the symmetric ranges of word primes, read back as
// digit numbers, against GMP's Horner evaluation of the same digits: the
// extremes of every digit (the largest and smallest values k primes can
// hold), zero and leading zero digits, single digits, and primes just below
// 2^32 beside the word primes of the multi-modular routines.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gcd/modgcd.h"
#include "numbers/mixed_radix.h"
#include "numbers/numbers.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

mpz_class horner(const std::vector<int32_t>& d, const std::vector<uint32_t>& p) {
    mpz_class v = 0;
    for (size_t i = d.size(); i-- > 0;) v = v * p[i] + d[i];
    return v;
}

void expect_reads(const std::vector<int32_t>& d, const std::vector<uint32_t>& p) {
    imag* x = mixed_radix_number(d.data(), p.data(), d.size());
    EXPECT_TRUE(check_number(x));
    EXPECT_EQ(to_mpz(x), horner(d, p)) << d.size() << " digits";
    release(x);
}

TEST(MixedRadix, AgreesWithGmpAtTheExtremesAndAtRandom) {
    // 4294967291 is the largest prime below 2^32.
    const std::vector<uint32_t> big(12, 4294967291u);
    std::vector<uint32_t> word;
    for (int32_t i = 1; i <= 40; i++) word.push_back(static_cast<uint32_t>(word_prime_at(i)));
    for (const std::vector<uint32_t>* primes : {&big, static_cast<const std::vector<uint32_t>*>(&word)}) {
        for (size_t k = 1; k <= primes->size(); k++) {
            std::vector<int32_t> hi(k), lo(k);
            for (size_t i = 0; i < k; i++) {
                hi[i] = static_cast<int32_t>((*primes)[i] / 2);
                lo[i] = -hi[i];
            }
            expect_reads(hi, *primes);
            expect_reads(lo, *primes);
            // The top digit alone, and a value that is all low digits.
            std::vector<int32_t> top(k, 0), low(k, 0);
            top[k - 1] = -1;
            low[0] = 7;
            expect_reads(top, *primes);
            expect_reads(low, *primes);
        }
    }
    expect_reads({0}, {word[0]});
    expect_reads({0, 0, 0}, {word[0], word[1], word[2]});
    NumberGen g(4401);
    SCOPED_TRACE(g.trace());
    for (int it = 0; it < 300; it++) {
        const size_t k = static_cast<size_t>(g.between(1, 40));
        std::vector<int32_t> d(k);
        std::vector<uint32_t> p(word.begin(), word.begin() + static_cast<std::ptrdiff_t>(k));
        for (size_t i = 0; i < k; i++) {
            const int32_t h = static_cast<int32_t>(p[i] / 2);
            d[i] = g.chance(10) ? 0 : g.between(-h, h);
        }
        expect_reads(d, p);
    }
}

}  // namespace
