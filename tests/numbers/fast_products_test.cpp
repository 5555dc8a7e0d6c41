// The long-product paths (transforms, slices of unbalanced operands, the
// squaring paths) against GMP: each path forced by lowering its cut-off and
// run just below, at and above the default ones, on balanced and unbalanced
// operands, all-ones digits (the largest convolution terms), powers of two
// and their neighbours, in every sign, into fresh records and into the
// operands' own. The largest sizes are checked by exact division as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

constexpr int32_t kNever = INT32_MAX;

mpz_class all_ones(int32_t n) { return (mpz_class(1) << (DIGIT_BITS * n)) - 1; }

// fast_mult(a, b) into a fresh record and into a's own; a squared through one
// record when a and b are equal. Every result must be a * b.
void check_product(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    const mpz_class want = a * b;
    {
        Num X(a), Y(b), Z(12345);
        fast_mult(X, Y, Z);
        EXPECT_TRUE(holds(Z, want)) << "fresh result";
        EXPECT_TRUE(holds(X, a) && holds(Y, b)) << "an operand changed";
        fast_mult(X, Y, X);
        EXPECT_TRUE(holds(X, want)) << "result into the first operand";
    }
    if (a == b) {
        Num X(a), Z;
        fast_mult(X, X, Z);
        EXPECT_TRUE(holds(Z, want)) << "square";
        EXPECT_TRUE(holds(X, a)) << "the squared operand changed";
        fast_mult(X, X, X);
        EXPECT_TRUE(holds(X, want)) << "square into its operand";
        if (Z->count <= 1000) {
            multiply(Z, Z, Z);
            EXPECT_TRUE(holds(Z, want * want)) << "schoolbook square";
        }
    }
}

// Both signs of each operand.
void check_signed(const mpz_class& a, const mpz_class& b) {
    for (int s = 0; s < 4; s++) check_product(s & 1 ? mpz_class(-a) : a, s & 2 ? mpz_class(-b) : b);
}

TEST(FastProducts, TransformsForcedOnEveryShape) {
    NumberGen gen(3601);
    Cut ntt(digits::ntt_cut, 1);
    // One-digit and odd lengths leave half-filled coefficients; equal operands
    // take the squaring transform.
    for (int i = 0; i < scaled(60); i++) {
        const auto [na, nb] = gen.lengths(300);
        SCOPED_TRACE(gen.trace());
        const mpz_class a = gen.digits(na);
        check_product(a, gen.digits(nb));
        check_product(a, a);
    }
    for (int32_t n : {1, 2, 3, 7, 64, 65, 333}) {
        check_signed(all_ones(n), all_ones(n));
        check_signed(all_ones(n), all_ones(2 * n + 1));
        check_product(all_ones(n), all_ones(n));
    }
}

TEST(FastProducts, AroundTheDefaultCutOffs) {
    NumberGen gen(3602);
    for (int32_t c : {digits::ntt_cut, digits::ntt_square_cut, digits::unbalanced_cut, multcut}) {
        for (int32_t n : {c - 1, c, c + 1}) {
            for (int32_t m : {n, n + 1, 2 * n - 1, 2 * n, 2 * n + 1, 10 * n}) {
                SCOPED_TRACE(gen.trace());
                const mpz_class a = gen.digits(n);
                check_product(a, gen.digits(m));
                check_product(gen.digits(m), a);
            }
            const mpz_class a = gen.digits(n);
            check_product(a, a);
        }
    }
}

TEST(FastProducts, SlicesOfUnbalancedOperands) {
    NumberGen gen(3603);
    Cut slice(digits::unbalanced_cut, 2);
    for (int32_t n : {2, 3, 17, 40}) {
        // Lengths that are not a multiple of the short operand leave a short
        // last slice; all-ones slices carry into the slice above.
        for (int32_t m : {2 * n, 2 * n + 1, 3 * n - 1, 10 * n, 10 * n + 3}) {
            SCOPED_TRACE(gen.trace());
            check_signed(gen.digits(n), gen.digits(m));
            check_product(all_ones(m), all_ones(n));
        }
    }
}

TEST(FastProducts, KaratsubaSquaresAndSchoolbookSquares) {
    NumberGen gen(3604);
    for (int32_t cut : {2, 3, 16}) {
        Cut k(multcut, cut);
        Cut ntt(digits::ntt_cut, kNever);
        Cut words(digits::words_cut, kNever);
        for (int i = 0; i < scaled(30); i++) {
            SCOPED_TRACE(gen.trace());
            const mpz_class a = gen.digits(gen.length(1, 200));
            check_product(a, a);
        }
        for (int32_t n : {1, 2, 5, 33, 100}) {
            // Zero low halves, and all-ones digits whose doubled cross
            // products carry furthest.
            const mpz_class p = mpz_class(1) << (DIGIT_BITS * n);
            for (const mpz_class& a : std::vector<mpz_class>{p, p - 1, p + 1, all_ones(n), p * p - 1, p << 13})
                check_product(a, a);
        }
    }
}

TEST(FastProducts, PowersOfTwoAndNeighboursAtTheTransformSizes) {
    Cut ntt(digits::ntt_cut, 64);
    for (int32_t bits : {64 * DIGIT_BITS, 64 * DIGIT_BITS + 1, 1000 * DIGIT_BITS - 1, 4096 * DIGIT_BITS}) {
        const mpz_class p = mpz_class(1) << bits;
        const std::vector<mpz_class> near = {p - 1, p, p + 1};
        for (const mpz_class& a : near)
            for (const mpz_class& b : near) check_product(a, b);
    }
}

// Lengths whose coefficients just fill, just miss and just pass 3 * 2^k
// points, with the transforms on those points allowed and with powers of
// two alone, and with two and three digits to a coefficient, so that every
// shape of transform meets the same products.
TEST(FastProducts, EveryTransformLengthAndCoefficientWidth) {
    NumberGen gen(3606);
    Cut ntt(digits::ntt_cut, 1);
    Kept<bool> threes(digits::ntt_threes), wide(digits::ntt_wide);
    // The coefficient counts are of two-digit coefficients: with three
    // digits to one the same lengths meet other point counts.
    for (int shape = 0; shape < 3; shape++) {
        const bool threes = shape != 1;
        digits::ntt_threes = threes;
        digits::ntt_wide = shape == 2;
        for (int32_t k : {0, 1, 2, 5, 9, 12}) {
            const int32_t t3 = 3 << k;   // points, two digits a coefficient
            for (int32_t terms : {t3 - 1, t3, t3 + 1}) {
                if (terms < 1) continue;
                // na digits make ca coefficients; nb makes the rest, its last
                // coefficient half filled when nb is odd.
                const int32_t ca = (terms + 1) / 2, cb = terms + 1 - ca;
                const int32_t na = 2 * ca - (k & 1), nb = std::max(1, 2 * cb - 1);
                const size_t points = digits::ntt_points(na, nb);
                if (shape == 0 && terms <= t3 && k >= 1) {
                    ASSERT_EQ(points, static_cast<size_t>(t3));
                }
                SCOPED_TRACE(gen.trace());
                check_signed(gen.digits(na), gen.digits(nb));
                check_product(all_ones(na), all_ones(nb));
                const mpz_class a = gen.digits(na);
                check_product(a, a);
                check_product(all_ones(na), all_ones(na));
            }
        }
    }
}

// All-ones operands (the largest convolution terms) with the most
// coefficients three digits wide that one product may have, and one digit
// more (two digits to a coefficient), checked by GMP.
TEST(FastProducts, WidestCoefficientsAtTheirLimit) {
    for (int32_t n : {3 * 131072, 3 * 131072 + 1}) {
        const mpz_class x = all_ones(n);
        Num X(x), Z;
        fast_mult(X, X, Z);
        EXPECT_TRUE(holds(Z, x * x)) << n;
    }
}

TEST(FastProducts, FiftyThousandDigits) {
    NumberGen gen(3605);
    const mpz_class a = gen.nonneg_digits(50000), b = gen.digits(50000);
    check_product(a, b);
    check_product(b, b);
    check_product(all_ones(50000), all_ones(50000));
    check_product(a, gen.digits(5000));
}

TEST(FastProducts, ExactQuotientsOfTheLargestProducts) {
    // Without the reference: (a b) / b = a with remainder 0.
    NumberGen gen(3606);
    for (int32_t n : {20000, 60000}) {
        Num A(gen.digits(n)), Bn(mpz_class(gen.nonneg_digits(n / 2 + 3) + 1)), P, Q, R;
        imag *a = A, *q = Q, *r = R;
        fast_mult(A, Bn, P);
        EXPECT_TRUE(check_number(P));
        divide(P, Bn, Q, R);
        EXPECT_TRUE(equal(q, a)) << n << " digits: quotient";
        EXPECT_TRUE(iszero(r)) << n << " digits: remainder";
        fast_mult(A, A, P);
        divide(P, A, Q, R);
        EXPECT_TRUE(equal(q, a) && iszero(r)) << n << " digits: square over its root";
    }
}

}  // namespace

namespace {

// s^2 <= a < (s + 1)^2, by products only.
bool is_root_of(const mpz_class& s, const mpz_class& a) { return s >= 0 && s * s <= a && a < (s + 1) * (s + 1); }

TEST(FastSqrt, RecursiveEstimatesAtEveryDepth) {
    // A low recursion cut-off sends small numbers through several levels of
    // estimates, each finished by one step and a square.
    NumberGen gen(3607);
    for (int32_t cut : {8, 9, sqcut}) {
        Cut guard(sqcut, cut);
        for (int32_t n : {cut - 1, cut, cut + 1, 2 * cut, 2 * cut + 1, 101}) {
            SCOPED_TRACE(gen.trace());
            const mpz_class s = gen.nonneg_digits((n + 1) / 2) + 1;
            const mpz_class ones = all_ones((n + 1) / 2);
            const std::vector<mpz_class> values = {gen.nonneg_digits(n) + 1, s * s, s * s - 1, s * s + 2 * s,
                                                   ones * ones, ones * ones - 1};
            for (const mpz_class& a : values) {
                Num x(a), r;
                int_sqrt(x, r, 1);
                EXPECT_TRUE(check_number(r));
                EXPECT_TRUE(is_root_of(to_mpz(r), a)) << describe(a);
                EXPECT_TRUE(holds(x, a)) << "the operand changed";
            }
        }
    }
}

TEST(FastSqrt, FiftyThousandDigitsByTheDefiningInequality) {
    NumberGen gen(3608);
    const mpz_class s = gen.nonneg_digits(25000) + 1;
    for (const mpz_class& a : std::vector<mpz_class>{s * s - 1, s * s, gen.nonneg_digits(50001)}) {
        Num x(a), r;
        int_sqrt(x, r, 1);
        EXPECT_TRUE(check_number(r));
        EXPECT_TRUE(is_root_of(to_mpz(r), a)) << describe(a);
    }
}

}  // namespace
