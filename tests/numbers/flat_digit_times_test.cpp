// The in-place x - q b steps on flat integers against GMP, over every way
// the operands' lengths, signs and the shift can meet: x empty, shorter
// than, as long as and longer than the shifted product, carries that run
// off the top, sign changes and exact cancellation.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "numbers/flat_int.h"

namespace {

FlatInt flat_of(const mpz_class& v) {
    FlatInt x;
    x.sign = sgn(v);
    size_t count = 0;
    std::vector<uint32_t> words(mpz_sizeinbase(v.get_mpz_t(), 2) / 28 + 2);
    mpz_export(words.data(), &count, -1, sizeof(uint32_t), 0, 4, v.get_mpz_t());
    x.mag.assign(words.begin(), words.begin() + static_cast<long>(count));
    return x;
}

mpz_class mpz_of(const FlatInt& x) {
    mpz_class v;
    if (!x.mag.empty()) mpz_import(v.get_mpz_t(), x.mag.size(), -1, sizeof(uint32_t), 0, 4, x.mag.data());
    return x.sign < 0 ? mpz_class(-v) : v;
}

// A value of the given digit count whose digits lean to the extremes, so
// that carries and borrows run far.
mpz_class value_of_digits(std::mt19937_64& rng, int digits) {
    std::uniform_int_distribution<uint32_t> any(0, (1u << 28) - 1);
    std::uniform_int_distribution<int> kind(0, 3);
    mpz_class v = 0;
    for (int i = 0; i < digits; i++) {
        const int k = kind(rng);
        const uint32_t d = k == 0 ? 0u : k == 1 ? (1u << 28) - 1 : any(rng);
        v = (v << 28) + (i == 0 && d == 0 ? 1u : d);
    }
    return v;
}

::testing::AssertionResult well_formed(const FlatInt& x) {
    if (!x.mag.empty() && x.mag.back() == 0) return ::testing::AssertionFailure() << "leading zero digit";
    if (x.mag.empty() != (x.sign == 0)) return ::testing::AssertionFailure() << "sign and digits disagree";
    for (uint32_t d : x.mag)
        if (d >> 28) return ::testing::AssertionFailure() << "digit out of range";
    return ::testing::AssertionSuccess();
}

TEST(FlatDigitTimes, SubtractsOneDigitTimesAShiftedValueInPlace) {
    std::mt19937_64 rng(2890);
    std::uniform_int_distribution<int> len(0, 6), shift(0, 3), sign(0, 1);
    std::uniform_int_distribution<uint32_t> digit(1, (1u << 28) - 1);
    for (int round = 0; round < 20000; round++) {
        const mpz_class l = value_of_digits(rng, 1 + len(rng));
        const size_t sh = static_cast<size_t>(shift(rng));
        const uint32_t w = round % 5 == 0 ? (1u << 28) - 1 : digit(rng);
        const int ps = sign(rng) ? 1 : -1;
        mpz_class x = value_of_digits(rng, len(rng));
        if (sign(rng)) x = -x;
        // Now and then x is exactly the product: the result is zero.
        if (round % 97 == 0) x = ps * mpz_class(w) * l * (mpz_class(1) << static_cast<unsigned>(28 * sh));
        FlatInt fx = flat_of(x);
        flat_sub_digit_times(fx, w, flat_of(l), ps, sh);
        const mpz_class want = x - ps * mpz_class(w) * l * (mpz_class(1) << static_cast<unsigned>(28 * sh));
        ASSERT_TRUE(well_formed(fx)) << x << " " << w << " " << l << " " << sh;
        ASSERT_EQ(mpz_of(fx), want) << x << " - " << ps << " * " << w << " * " << l << " << " << sh;
    }
}

TEST(FlatDigitTimes, SubMulToMatchesGmp) {
    std::mt19937_64 rng(2891);
    std::uniform_int_distribution<int> len(0, 9), sign(0, 1);
    for (int round = 0; round < 5000; round++) {
        mpz_class x = value_of_digits(rng, len(rng)), q = value_of_digits(rng, len(rng)),
                  b = value_of_digits(rng, len(rng));
        if (sign(rng)) x = -x;
        if (sign(rng)) q = -q;
        if (sign(rng)) b = -b;
        FlatInt fx = flat_of(x);
        flat_sub_mul_to(fx, flat_of(q), flat_of(b));
        ASSERT_TRUE(well_formed(fx));
        ASSERT_EQ(mpz_of(fx), x - q * b) << x << " - " << q << " * " << b;
    }
}

}  // namespace
