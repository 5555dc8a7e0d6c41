// The half-gcd's matrix steps with shared transforms: a matrix applied to
// low digits much longer than its entries goes in slices whose
// transforms the matrix product that follows reuses. Checked against GMP
// with the shared transforms just below, at and above their default
// cut-off and forced from short lengths, on planted factors, Fibonacci
// neighbours, unbalanced lengths and all-ones digits, also around the
// length from which the halving rounds run; and by a hand-known
// identity, gcd(2^i - 1, 2^j - 1) = 2^gcd(i, j) - 1, without GMP.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

// Sets the half-gcd's cut-offs for the guard's lifetime.
class GcdCuts {
public:
    GcdCuts(int32_t half, int32_t forms) : half_(digits::half_gcd_cut), forms_(digits::gcd_forms_cut) {
        digits::half_gcd_cut = half;
        digits::gcd_forms_cut = forms;
    }
    ~GcdCuts() {
        digits::half_gcd_cut = half_;
        digits::gcd_forms_cut = forms_;
    }
    GcdCuts(const GcdCuts&) = delete;
    GcdCuts& operator=(const GcdCuts&) = delete;

private:
    int32_t half_, forms_;
};

mpz_class all_ones(int32_t n) { return (mpz_class(1) << (DIGIT_BITS * n)) - 1; }

// gcd and extgcd (whose cofactors are the operands over the gcd) against
// GMP, into fresh records and into an operand's own.
void check_gcd(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    const mpz_class g = gmp_gcd(a, b);
    Num x(a), y(b), c, gg, a1(3), b1(4);
    gcd(x, y, c);
    EXPECT_TRUE(check_number(c));
    EXPECT_TRUE(holds(c, g)) << "gcd";
    int one = -1;
    extgcd(x, y, gg, a1, b1, &one);
    EXPECT_TRUE(holds(gg, g)) << "extgcd";
    EXPECT_EQ(one, g == 1);
    if (g > 1) {
        EXPECT_TRUE(check_number(a1) && check_number(b1));
        EXPECT_TRUE(holds(a1, a / g) && holds(b1, b / g)) << "cofactors";
    }
    EXPECT_TRUE(holds(x, a) && holds(y, b)) << "an operand changed";
    gcd(x, y, y);
    EXPECT_TRUE(holds(y, g)) << "gcd into the second operand's record";
}

TEST(GcdMatrixForms, AroundTheSharedTransformsCutOff) {
    NumberGen gen(3711);
    SCOPED_TRACE(gen.trace());
    const int32_t c = digits::gcd_forms_cut;
    for (int32_t forms : {c - 1, c, c + 1}) {
        // Matrices near the cut-off come from pairs of about four times its
        // length; the half-gcd runs from well below.
        const GcdCuts cuts(200, forms);
        for (int32_t n : {4 * forms - 3, 4 * forms + 5, 6 * forms}) {
            const mpz_class f = gen.nonneg_digits(gen.between(1, n / 3)) + 1;
            check_gcd(f * gen.nonneg_digits(n), f * gen.nonneg_digits(n + gen.between(-3, 3)));
        }
    }
}

TEST(GcdMatrixForms, SlicedLowDigitsForcedFromShortLengths) {
    // Every matrix step transformed, so that the sliced products meet
    // entries of one and two digits, zero slices and all sign patterns.
    NumberGen gen(3712);
    SCOPED_TRACE(gen.trace());
    for (int32_t forms : {1, 3, 30}) {
        const GcdCuts cuts(12, forms);
        for (int i = 0; i < scaled(6); i++) {
            const int32_t n = gen.between(50, 1500);
            const mpz_class f = gen.nonneg_digits(gen.between(1, n / 2)) + 1;
            check_gcd(f * gen.digits(n), f * gen.digits(n + gen.between(-2, 2)));
        }
        // Unbalanced pairs: a long quotient first, then the halving rounds.
        const mpz_class f = gen.nonneg_digits(20) + 1;
        check_gcd(f * gen.nonneg_digits(400), f * gen.nonneg_digits(800));
        check_gcd(f * gen.nonneg_digits(300), f * gen.digits(3000));
        check_gcd(all_ones(900) * all_ones(11), all_ones(900) * (all_ones(11) - 6));
        mpz_class f1, f2;
        mpz_fib2_ui(f1.get_mpz_t(), f2.get_mpz_t(), 40000);
        check_gcd(f1, f2);
        check_gcd(f1 * f2, f2 * (f1 + f2));
    }
}

TEST(GcdMatrixForms, AroundTheHalfGcdCutOff) {
    // The shorter operand just below, at and just above the length from
    // which the halving rounds run, with default transforms.
    NumberGen gen(3713);
    SCOPED_TRACE(gen.trace());
    const int32_t c = digits::half_gcd_cut;
    for (int32_t n : {c - 1, c, c + 1, c + 2}) {
        const mpz_class f = gen.nonneg_digits(gen.between(1, 40)) + 1;
        const mpz_class b = f * gen.nonneg_digits(n - 40);
        check_gcd(f * gen.nonneg_digits(n + gen.between(-39, 3)), b);
        check_gcd(f * gen.nonneg_digits(2 * n), b);
    }
    // Fibonacci neighbours of about the cut-off's length (2^28 per digit,
    // each number about 0.694 bits more than the last).
    mpz_class f1, f2;
    mpz_fib2_ui(f1.get_mpz_t(), f2.get_mpz_t(), static_cast<unsigned long>(c) * 28 * 1000 / 694);
    check_gcd(f1, f2);
}

TEST(GcdMatrixForms, MersenneNumbersByTheirIdentity) {
    // gcd(2^i - 1, 2^j - 1) = 2^gcd(i, j) - 1: a gcd known by hand, on
    // long runs of one bits, whose long quotients come before and between
    // the halving rounds.
    const GcdCuts cuts(100, 40);
    for (const auto& [i, j] : {std::pair{60000ul, 45000ul}, {90001ul, 60013ul}, {120000ul, 119999ul},
                               {77777ul, 7777ul}, {131072ul, 65536ul + 32768ul}}) {
        const mpz_class a = (mpz_class(1) << i) - 1, b = (mpz_class(1) << j) - 1;
        const mpz_class want = (mpz_class(1) << std::gcd(i, j)) - 1;
        Num x(a), y(b), c;
        gcd(x, y, c);
        EXPECT_TRUE(check_number(c));
        EXPECT_TRUE(holds(c, want)) << i << " and " << j << " bits";
    }
}

}  // namespace
