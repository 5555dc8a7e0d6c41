// The subquadratic gcd reduction: gcds of long numbers against GMP with
// the reduction at its default cut-off, forced on from tiny lengths (so that
// short operands recurse deeply) and forced off, on planted common factors,
// consecutive Fibonacci numbers (the longest quotient sequences), powers of
// two and their neighbours, runs of all-ones digits and unbalanced lengths.
// The largest sizes are checked by the gcd's own properties instead.
#include <gtest/gtest.h>

#include <cstdint>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

// Sets the reduction's cut-off for the guard's lifetime.
class HalfGcdCut {
public:
    explicit HalfGcdCut(int32_t c) : before_(digits::half_gcd_cut) { digits::half_gcd_cut = c; }
    ~HalfGcdCut() { digits::half_gcd_cut = before_; }
    HalfGcdCut(const HalfGcdCut&) = delete;
    HalfGcdCut& operator=(const HalfGcdCut&) = delete;

private:
    int32_t before_;
};

constexpr int32_t kNever = INT32_MAX;

mpz_class digit_power(int32_t k) { return mpz_class(1) << (DIGIT_BITS * k); }

mpz_class fib(unsigned long n) {
    mpz_class f;
    mpz_fib_ui(f.get_mpz_t(), n);
    return f;
}

// gcd and extgcd of (a, b) under the cut-off, checked against GMP; the
// operands must come back unchanged and the results be well-formed chains.
void check_with_cut(const mpz_class& a, const mpz_class& b, int32_t cut) {
    HalfGcdCut guard(cut);
    const mpz_class g = gmp_gcd(a, b);
    Num x(a), y(b), c, gg, a1(3), b1(4);
    gcd(x, y, c);
    EXPECT_TRUE(check_number(c));
    EXPECT_TRUE(holds(c, g)) << "gcd, cut " << cut;
    int one = -1;
    extgcd(x, y, gg, a1, b1, &one);
    EXPECT_TRUE(holds(gg, g)) << "extgcd, cut " << cut;
    if (g > 1) {
        EXPECT_TRUE(holds(a1, a / g) && holds(b1, b / g)) << "cofactors, cut " << cut;
    }
    EXPECT_TRUE(holds(x, a) && holds(y, b)) << "an operand changed";
    // The result written into an operand's own record.
    gcd(x, y, x);
    EXPECT_TRUE(holds(x, g)) << "gcd into the first operand's record, cut " << cut;
}

void check_all_cuts(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    for (int32_t cut : {2, 9, 64, kNever}) check_with_cut(a, b, cut);
}

TEST(HalfGcd, PlantedFactorsAcrossTheCutOffs) {
    NumberGen gen(0x4a1f'9c03);
    SCOPED_TRACE(gen.trace());
    for (int32_t n : {3, 20, 49, 50, 63, 64, 65, 97, 131, 700}) {
        for (int rep = 0; rep < 3; rep++) {
            const mpz_class g = gen.nonneg_digits(gen.between(1, std::max(1, n / 3))) + 1;
            const mpz_class a = g * gen.digits(n), b = g * gen.digits(gen.between(std::max(1, n - 3), n + 2));
            check_all_cuts(a, b);
        }
    }
}

TEST(HalfGcd, LongestQuotientSequencesAndSpecialShapes) {
    // Consecutive Fibonacci numbers: every quotient 1, coprime.
    for (unsigned long k : {3000ul, 9000ul, 27000ul}) check_all_cuts(fib(k + 1), fib(k));
    // Fibonacci numbers with a planted factor, and one index apart by two.
    check_all_cuts(fib(20001) * 12345678901ul, fib(20000) * 12345678901ul);
    check_all_cuts(fib(15002), fib(15000));
    for (int32_t k : {160, 400}) {
        const mpz_class p = digit_power(k);
        check_all_cuts(p, p - 1);
        check_all_cuts(p + 1, p - 1);
        check_all_cuts(p * 3, p);
        check_all_cuts(p - 1, (digit_power(k / 2) - 1) * (digit_power(k / 2) + 1));   // b divides a
    }
    // Equal operands, one zero, one a single digit, very unequal lengths.
    NumberGen gen(77);
    const mpz_class big = gen.nonneg_digits(500);
    check_all_cuts(big, big);
    check_all_cuts(big, 0);
    check_all_cuts(big, 268435399);
    check_all_cuts(big * gen.nonneg_digits(300), gen.nonneg_digits(30) * big);
    check_all_cuts(gen.digits(2000), gen.digits(200));
}

TEST(HalfGcd, LargestSizesSatisfyTheGcdsProperties) {
    // At the default cut-off and above: g divides a and b, and the cofactors
    // are coprime (their gcd found by GMP, so only the long gcd is ours).
    NumberGen gen(2026);
    const int32_t cut = digits::half_gcd_cut;
    for (int32_t n : {cut, cut + 2, cut + cut / 2}) {
        const mpz_class h = gen.nonneg_digits(n / 4) + 1;
        const mpz_class a = h * gen.nonneg_digits(n), b = h * gen.nonneg_digits(n - 1);
        Num x(a), y(b), c;
        gcd(x, y, c);
        ASSERT_TRUE(check_number(c));
        const mpz_class g = to_mpz(c);
        ASSERT_GT(g, 0);
        EXPECT_EQ(a % g, 0);
        EXPECT_EQ(b % g, 0);
        EXPECT_EQ(gmp_gcd(a / g, b / g), 1);
        EXPECT_EQ(g % h, 0) << "the planted factor divides the gcd";
    }
}

}  // namespace
