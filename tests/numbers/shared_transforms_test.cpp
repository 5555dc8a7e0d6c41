// Sums of two products from operands transformed once (the gcd's matrix
// products, the division's reciprocal and remainders) against GMP: every sign, sums that cancel to nothing, to a
// small value and to a power of the base, all-ones digits, lengths far
// apart. Then the gcd with every matrix product forced onto that path, and
// the gcd's base rounds on long runs of small and large quotients.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

using digits::Mag;

Mag mag_of(const mpz_class& v) {
    Mag m((mpz_sizeinbase(v.get_mpz_t(), 2) + DIGIT_BITS - 1) / DIGIT_BITS + 1, 0u);
    size_t n = 0;
    mpz_export(m.data(), &n, -1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, v.get_mpz_t());
    m.resize(n);
    return m;
}

mpz_class value_of(const Mag& m) {
    mpz_class v;
    mpz_import(v.get_mpz_t(), m.size(), -1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, m.data());
    return v;
}

// s0 x0 y0 + s1 x1 y1 through the shared transforms, as a signed value;
// the magnitude must come back trimmed.
mpz_class sum_of_products(const mpz_class& x0, const mpz_class& y0, int s0, const mpz_class& x1,
                          const mpz_class& y1, int s1) {
    const Mag a = mag_of(x0), b = mag_of(y0), c = mag_of(x1), d = mag_of(y1);
    const int32_t la = static_cast<int32_t>(std::max(a.size(), c.size()));
    const int32_t lb = static_cast<int32_t>(std::max(b.size(), d.size()));
    const size_t n = digits::ntt_points(std::max(la, 1), std::max(lb, 1));
    digits::NttForm fa, fb, fc, fd;
    digits::ntt_form(a.data(), static_cast<int32_t>(a.size()), n, fa);
    digits::ntt_form(b.data(), static_cast<int32_t>(b.size()), n, fb);
    digits::ntt_form(c.data(), static_cast<int32_t>(c.size()), n, fc);
    digits::ntt_form(d.data(), static_cast<int32_t>(d.size()), n, fd);
    Mag r;
    const int sign = digits::ntt_sum_of_products(fa, fb, s0, &fc, &fd, s1, r);
    EXPECT_TRUE(r.empty() || r.back() != 0) << "untrimmed";
    EXPECT_EQ(sign == 0, r.empty());
    return sign * value_of(r);
}

mpz_class all_ones(int32_t n) { return (mpz_class(1) << (DIGIT_BITS * n)) - 1; }

TEST(SharedTransforms, SignedSumsOfTwoProducts) {
    NumberGen gen(0x5eed'3501);
    SCOPED_TRACE(gen.trace());
    for (int32_t n : {1, 2, 7, 64, 401, 1000}) {
        for (int rep = 0; rep < 3; rep++) {
            const mpz_class x0 = gen.nonneg_digits(n), y0 = gen.nonneg_digits(gen.between(1, 2 * n));
            const mpz_class x1 = gen.nonneg_digits(gen.between(1, n)), y1 = gen.nonneg_digits(n);
            for (int s0 : {-1, 0, 1}) {
                for (int s1 : {-1, 0, 1}) {
                    EXPECT_EQ(sum_of_products(x0, y0, s0, x1, y1, s1), s0 * x0 * y0 + s1 * x1 * y1)
                        << "n " << n << " signs " << s0 << " " << s1;
                }
            }
        }
    }
}

// Forms on 3 * 2^k points (operand lengths whose coefficients fill them)
// and on the power of two above, with two and three digits to a
// coefficient, for the same sums.
TEST(SharedTransforms, SumsOnEveryShapeOfTransform) {
    NumberGen gen(0x5eed'3503);
    SCOPED_TRACE(gen.trace());
    Kept<bool> threes(digits::ntt_threes), wide(digits::ntt_wide);
    for (int32_t n : {2, 3, 6, 12, 48, 768, 1536}) {
        // n digits by n digits: n - 1 coefficients of the product, for even
        // n; both operands' top coefficients full.
        const mpz_class x0 = gen.nonneg_digits(n), y0 = gen.nonneg_digits(n);
        const mpz_class x1 = gen.nonneg_digits(n), y1 = all_ones(n);
        for (int shape = 0; shape < 4; shape++) {
            const bool threes = shape & 1;
            digits::ntt_threes = threes;
            digits::ntt_wide = shape & 2;
            for (int s0 : {-1, 1}) {
                for (int s1 : {-1, 0, 1})
                    EXPECT_EQ(sum_of_products(x0, y0, s0, x1, y1, s1), s0 * x0 * y0 + s1 * x1 * y1)
                        << "n " << n << " shape " << shape << " signs " << s0 << " " << s1;
            }
            const mpz_class bn = mpz_class(1) << (DIGIT_BITS * n);
            EXPECT_EQ(sum_of_products(bn - 1, bn + 1, 1, bn, bn, -1), -1) << n;
            EXPECT_EQ(sum_of_products(x0, y0, 1, y0, x0, -1), 0) << n;
        }
    }
}

// The largest terms a sum of two products can have, all-ones digits
// throughout, on the most points that take three digits to a coefficient
// and just past them (two digits), in both signs.
TEST(SharedTransforms, WidestCoefficientsAtTheirLimit) {
    // 32,768 coefficients of three digits each way: 65,535 terms.
    for (int32_t n : {3 * 32768, 3 * 32768 + 1}) {
        const mpz_class x = all_ones(n), want = 2 * x * x;
        EXPECT_EQ(sum_of_products(x, x, 1, x, x, 1), want) << n;
        EXPECT_EQ(sum_of_products(x, x, -1, x, x, -1), -want) << n;
        EXPECT_EQ(sum_of_products(x, x, 1, x + 1, x - 1, -1), 1) << n;
    }
    // Just below the limit the forms are wide, just above narrow: both
    // shapes take part.
    EXPECT_EQ(digits::ntt_form_digits(digits::ntt_points(3 * 32768, 3 * 32768), false), 3);
    EXPECT_EQ(digits::ntt_form_digits(digits::ntt_points(3 * 32768 + 1, 3 * 32768 + 1), false), 2);
}

TEST(SharedTransforms, CancellingSums) {
    NumberGen gen(0x5eed'3502);
    SCOPED_TRACE(gen.trace());
    for (int32_t n : {3, 90, 700}) {
        const mpz_class x = gen.nonneg_digits(n) + 1, y = gen.nonneg_digits(n) + 1;
        // To nothing, to plus or minus x, and to a small value at the top
        // of long operands.
        EXPECT_EQ(sum_of_products(x, y, 1, y, x, -1), 0);
        EXPECT_EQ(sum_of_products(x, y + 1, 1, x, y, -1), x);
        EXPECT_EQ(sum_of_products(x, y, 1, x, y + 1, -1), -x);
        EXPECT_EQ(sum_of_products(x, y, -1, x + 1, y, 1), y);
        // (B^n - 1)(B^n + 1) - (B^n)(B^n) = -1, and products of all-ones
        // digits whose difference is a power of the base.
        const mpz_class bn = mpz_class(1) << (DIGIT_BITS * n);
        EXPECT_EQ(sum_of_products(bn - 1, bn + 1, 1, bn, bn, -1), -1);
        EXPECT_EQ(sum_of_products(all_ones(n), all_ones(n), 1, all_ones(n), all_ones(n), 1),
                  2 * all_ones(n) * all_ones(n));
        EXPECT_EQ(sum_of_products(bn, bn, -1, mpz_class(0), mpz_class(5), 1), -bn * bn);
        EXPECT_EQ(sum_of_products(all_ones(n) + 1, all_ones(n), 1, all_ones(n), all_ones(n), -1), all_ones(n));
    }
}

void check_gcd(const mpz_class& a, const mpz_class& b) {
    const mpz_class g = gmp_gcd(a, b);
    Num x(a), y(b), c, gg, a1, b1;
    gcd(x, y, c);
    EXPECT_TRUE(check_number(c));
    EXPECT_TRUE(holds(c, g)) << describe(a) << " " << describe(b);
    int one = -1;
    extgcd(x, y, gg, a1, b1, &one);
    EXPECT_TRUE(holds(gg, g));
    if (g > 1) {
        EXPECT_TRUE(holds(a1, a / g) && holds(b1, b / g));
    }
    EXPECT_TRUE(holds(x, a) && holds(y, b)) << "an operand changed";
}

// The transforms forced on for every matrix product long enough to have
// the shared forms, with the half-gcd from short lengths, so that deep
// recursions meet both paths and the matrices' signs in all patterns; on
// every shape of transform (3 * 2^k points or not, two or three digits to
// a coefficient).
TEST(SharedTransforms, GcdWithEveryMatrixProductTransformed) {
    NumberGen gen(0x5eed'3503);
    SCOPED_TRACE(gen.trace());
    Kept<bool> threes(digits::ntt_threes), wide(digits::ntt_wide);
    for (int32_t shaped : {0, 1, 2, 3, 8, 40, 149, 150, 151}) {
        // The first four: the shapes, with the forms from two digits on.
        const int32_t forms = shaped < 4 ? 2 : shaped;
        digits::ntt_threes = shaped >= 4 || (shaped & 1);
        digits::ntt_wide = shaped >= 4 || (shaped & 2);
        Cut c1(digits::gcd_forms_cut, forms), c2(digits::half_gcd_cut, 20);
        for (int32_t n : {60, 200, 900, 1300}) {
            const mpz_class f = gen.nonneg_digits(gen.between(1, n / 4)) + 1;
            check_gcd(f * gen.nonneg_digits(n), f * gen.nonneg_digits(n + gen.between(-2, 2)));
        }
        mpz_class f1, f2;
        mpz_fib2_ui(f1.get_mpz_t(), f2.get_mpz_t(), 12000);
        check_gcd(f1, f2);
        check_gcd(all_ones(300) * all_ones(7), all_ones(300) * (all_ones(7) - 2));
    }
}

// Base rounds that meet quotients too long for a round (a matrix of Lehmer
// rounds flushed before each division step), and the matrices' products of
// the leaves' rounds with the steps before them.
TEST(SharedTransforms, BaseRoundsBetweenLongQuotients) {
    Cut c(digits::half_gcd_cut, 3);
    NumberGen gen(0x5eed'3504);
    SCOPED_TRACE(gen.trace());
    for (int rep = 0; rep < 4; rep++) {
        // A continued fraction whose partial quotients alternate between
        // one-digit runs and a few multi-digit ones.
        mpz_class p = 1, q = 0;
        for (int i = 0; i < 400; i++) {
            const mpz_class quotient = (i % 37 == 5) ? gen.nonneg_digits(gen.between(2, 4)) + 1
                                                      : mpz_class(gen.between(1, 9));
            const mpz_class t = quotient * p + q;
            q = p;
            p = t;
        }
        const mpz_class f = gen.nonneg_digits(3) + 1;
        check_gcd(f * p, f * q);
    }
}

// Division through the reciprocal with its transforms and the divisor's
// kept across the quotient blocks: unbalanced dividends (n by 2n, by 10n
// and a partial last block), the transforms' cut-off just below, at and
// above the operands' lengths, all-ones digits and powers of two.
TEST(SharedTransforms, DivisionBlocksShareTheirTransforms) {
    NumberGen gen(0x5eed'3506);
    SCOPED_TRACE(gen.trace());
    Cut c1(digits::newton_cut, 30), c2(digits::divide_cut, 8);
    for (int32_t nb : {40, 97, 300}) {
        for (int32_t ntt : {nb / 2 - 1, nb / 2, nb / 2 + 1, nb - 1, nb, nb + 1}) {
            Cut c3(digits::ntt_cut, std::max(2, ntt));
            for (int32_t factor : {2, 10}) {
                const mpz_class b = gen.digits(nb), a = gen.digits(factor * nb + gen.between(0, nb - 1));
                // A block whose leading part is short: the reciprocal's
                // transforms are then wanted on fewer points.
                const mpz_class short_top = (b << (DIGIT_BITS * (factor - 1) * nb)) +
                                            (gen.nonneg_digits(nb / 3) << (DIGIT_BITS * (factor - 1) * nb / 2));
                for (const auto& [x, y] : {std::pair{a, b}, {short_top, b}, {all_ones(factor * nb + 3), all_ones(nb)},
                                           {mpz_class(1) << (DIGIT_BITS * factor * nb), mpz_class(1) << (DIGIT_BITS * nb - 1)},
                                           {all_ones(factor * nb), (mpz_class(1) << (DIGIT_BITS * nb - 1)) + 1}}) {
                    Num X(x), Y(y), Q, R;
                    divide(X, Y, Q, R);
                    const mpz_class q = x / y;
                    EXPECT_TRUE(holds(Q, q) && holds(R, sgn(x) * sgn(y) * (abs_of(x) - abs_of(q * y))))
                        << describe(x) << " by " << describe(y) << ", transforms from " << ntt;
                }
            }
        }
    }
}

// At 50,000 digits, by the gcd's own properties and our own routines only:
// g divides a and b (remainders by our division are 0), gcd(a/g, b/g) is 1,
// and extgcd's cofactors times g give the operands back.
TEST(SharedTransforms, LargestSizesWithoutAReference) {
    NumberGen gen(0x5eed'3505);
    SCOPED_TRACE(gen.trace());
    const int32_t n = 50000;
    const mpz_class h = gen.nonneg_digits(n / 10) + 1;
    Num a(h * gen.nonneg_digits(n - n / 10)), b(h * gen.nonneg_digits(n - n / 10 - 3));
    Num g, a1, b1, q, r, one, back;
    int is_one = -1;
    extgcd(a, b, g, a1, b1, &is_one);
    ASSERT_TRUE(check_number(g));
    ASSERT_EQ(is_one, 0);
    for (imag* x : {static_cast<imag*>(a), static_cast<imag*>(b)}) {
        divide(x, g, q, r);
        EXPECT_TRUE(holds(r, 0)) << "g divides the operand";
    }
    fast_mult(a1, g, back);
    EXPECT_EQ(to_mpz(back), to_mpz(a));
    fast_mult(b1, g, back);
    EXPECT_EQ(to_mpz(back), to_mpz(b));
    gcd(a1, b1, one);
    EXPECT_TRUE(holds(one, 1)) << "the cofactors are coprime";
}

}  // namespace
