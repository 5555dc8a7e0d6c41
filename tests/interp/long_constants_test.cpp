// Long decimal constants, read by halves, against GMP's own reading of the
// same text: signs, leading zeros (whole zero limbs among them), runs of 0
// and 9 across the limb and halving boundaries, decimal fractions, and the
// values a long constant takes once it is stored.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "statement_runs.h"

using namespace statement_runs;

namespace {

class LongConstants : public StatementRuns {
protected:
    void SetUp() override { start(0); }
    void TearDown() override { finish(); }
};

std::string random_digits(std::mt19937& rng, size_t len) {
    std::string s;
    s.reserve(len);
    const uint32_t mode = rng() % 3;
    for (size_t i = 0; i < len; i++) {
        const uint32_t r = rng() % 10;
        // Runs of 0 and 9 stress the carries of the joins.
        if (mode == 1 && r < 7) s += (i % 64 < 32 ? '9' : '0');
        else if (mode == 2 && r < 5) s += '0';
        else s += static_cast<char>('0' + rng() % 10);
    }
    return s;
}

TEST_F(LongConstants, SignedConstantsWithLeadingZerosAgainstGmp) {
    std::mt19937 rng(55081);
    // Limb counts about the cut to the halving and a few halvings above it,
    // each with the short first limb of every length.
    for (int iter = 0; iter < 120; iter++) {
        const size_t limbs = iter < 60 ? 28 + rng() % 12 : (iter < 100 ? 60 + rng() % 200 : 1000 + rng() % 6000);
        const size_t len = 8 * limbs - rng() % 8;
        std::string digits = random_digits(rng, len);
        digits[0] = static_cast<char>('1' + rng() % 9);
        const size_t zeros = rng() % 4 == 0 ? rng() % 40 : 0;
        const std::string text = std::string(zeros, '0') + digits;
        const bool negative = rng() % 2;
        const mpz_class want = mpz_class(digits, 10) * (negative ? -1 : 1);
        SCOPED_TRACE("length " + std::to_string(text.size()));
        EXPECT_EQ(val(std::string("c := ") + (negative ? "-" : "") + text + ";"), want);
        // The stored value, used: c - (that number) is zero, c + 1 steps once.
        EXPECT_EQ(val("c - (" + std::string(negative ? "-" : "") + digits + ");"), 0);
        EXPECT_EQ(val("c + 1;"), want + 1);
    }
}

TEST_F(LongConstants, ExactPowersAndTheirNeighbours) {
    // 10^k and 10^k - 1 at every k about the limb and halving boundaries.
    for (int k : {255, 256, 257, 263, 264, 265, 511, 512, 513, 2048, 2049, 20000, 65536}) {
        SCOPED_TRACE(k);
        mpz_class p;
        mpz_ui_pow_ui(p.get_mpz_t(), 10, static_cast<unsigned long>(k));
        EXPECT_EQ(val("1" + std::string(static_cast<size_t>(k), '0') + " - 10^" + std::to_string(k) + ";"), 0);
        EXPECT_EQ(val(std::string(static_cast<size_t>(k), '9') + ";"), p - 1);
        EXPECT_EQ(val(std::string(static_cast<size_t>(k), '0') + "7;"), 7);
    }
}

TEST_F(LongConstants, LongDecimalFractions) {
    std::mt19937 rng(55082);
    for (int iter = 0; iter < 12; iter++) {
        const std::string whole = random_digits(rng, 1 + rng() % 3000);
        const std::string frac = random_digits(rng, 1 + rng() % 3000);
        mpz_class scale;
        mpz_ui_pow_ui(scale.get_mpz_t(), 10, frac.size());
        mpq_class want(mpz_class(whole, 10) * scale + mpz_class(frac, 10), scale);
        want.canonicalize();
        EXPECT_EQ(val(whole + "." + frac + ";"), want);
    }
}

}  // namespace
