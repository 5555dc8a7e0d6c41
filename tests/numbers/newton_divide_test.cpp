// Division through the divisor's reciprocal (whole or of its top half, for
// quotients shorter than twice the divisor): forced on at tiny lengths (so
// the reciprocal's own doubling steps and its digit-step base are both
// crossed) and at lengths around its cut-off, against GMP and against the
// recursive steps; the cyclic products it rests on against GMP's products
// reduced by hand modulo B^L - 1.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

mpz_class digit_power(int32_t k) { return mpz_class(1) << (DIGIT_BITS * k); }

// Digits in and out through GMP's own word export (28 of 32 bits used).
mpz_class from_mag(const digits::Mag& m) {
    mpz_class x;
    mpz_import(x.get_mpz_t(), m.size(), -1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, m.data());
    return x;
}

digits::Mag to_mag(const mpz_class& x, int32_t n) {
    digits::Mag m(static_cast<size_t>(n) + (mpz_sizeinbase(x.get_mpz_t(), 2) + DIGIT_BITS - 1) / DIGIT_BITS, 0u);
    mpz_export(m.data(), nullptr, -1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, x.get_mpz_t());
    m.resize(static_cast<size_t>(n));
    return m;
}

// Quotient and remainder of every sign combination against GMP's
// truncating division, with the reciprocal taken from newton_cut on.
void check_against_gmp(const mpz_class& a, const mpz_class& b, int32_t newton_cut, int32_t divide_cut) {
    Cut s1(digits::newton_cut, newton_cut), s2(digits::divide_cut, divide_cut);
    for (int s = 0; s < 4; s++) {
        const mpz_class x = s & 1 ? mpz_class(-a) : a, y = s & 2 ? mpz_class(-b) : b;
        mpz_class q;
        mpz_tdiv_q(q.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t());
        const mpz_class m = abs_of(x) % abs_of(y), r = sgn(x) * sgn(y) < 0 ? mpz_class(-m) : m;
        Num X(x), Y(y), Q(3), R(-4);
        divide(X, Y, Q, R);
        ASSERT_TRUE(check_number(Q) && check_number(R));
        EXPECT_TRUE(holds(Q, q)) << "quotient, signs " << s << ", cut " << newton_cut;
        EXPECT_TRUE(holds(R, r)) << "remainder, signs " << s << ", cut " << newton_cut;
        divide(X, Y, X, Y);
        EXPECT_TRUE(holds(X, q) && holds(Y, r)) << "results into the operands' records";
    }
}

TEST(NewtonDivide, ForcedAtSmallLengths) {
    NumberGen gen(3551);
    // Divisors from 2 digits (the reciprocal's word base) past the digit-step
    // base of the reciprocal, so one and two doubling steps are crossed.
    for (int32_t nb : {2, 3, 5, 24, 25, 26, 49, 50, 97, 200}) {
        for (int32_t na : {nb, nb + 1, 2 * nb - 1, 2 * nb, 2 * nb + 1, 3 * nb - 1, 3 * nb, 5 * nb + 3}) {
            SCOPED_TRACE(gen.trace());
            mpz_class b = gen.digits(nb), a = gen.digits(na);
            if (b == 0) b = 7;
            check_against_gmp(a, b, 2, 2);
            check_against_gmp(a, b, 2, 64);
        }
    }
}

TEST(NewtonDivide, AroundItsCutOff) {
    NumberGen gen(3552);
    const int32_t c = digits::newton_cut;
    for (int32_t nb : {c - 1, c, c + 1}) {
        // 2n by n, n by 2n quotient blocks sharing one reciprocal, n by 10n.
        for (int32_t na : {2 * nb, 3 * nb, 10 * nb + 5}) {
            SCOPED_TRACE(gen.trace());
            const mpz_class b = gen.nonneg_digits(nb) + 1, a = gen.digits(na);
            check_against_gmp(a, b, c, digits::divide_cut);
        }
    }
}

TEST(NewtonDivide, HardDivisorsAndDividends) {
    // All-ones digits, powers of two and their neighbours (the reciprocal of
    // B^n / 2 is exactly 2 B^n), and dividends at a multiple of b plus or
    // minus one, where an estimate off by a unit shows.
    for (int32_t n : {2, 7, 26, 60, 700}) {
        const mpz_class ones = digit_power(n) - 1;
        const mpz_class two = mpz_class(1) << (DIGIT_BITS * n - 1);
        for (const mpz_class& b : {ones, two, mpz_class(two + 1), mpz_class(two - 1), mpz_class(two + ones / 3)}) {
            for (const mpz_class& a :
                 {mpz_class(digit_power(2 * n) - 1), mpz_class(b * (digit_power(n) - 1)),
                  mpz_class(b * (digit_power(n) - 1) + b - 1), mpz_class(b * (digit_power(n) - 1) - 1),
                  mpz_class(b * b), mpz_class(b * b - 1), mpz_class(mpz_class(1) << (DIGIT_BITS * 2 * n - 1))}) {
                check_against_gmp(a, b, 2, 2);
                check_against_gmp(a, b, 2, 64);
            }
        }
    }
}

// a * b mod (B^L - 1) on the given points, both from the operands and from
// their wrapped forms, against GMP's product reduced by hand.
void check_cyclic(const mpz_class& a, int32_t na, const mpz_class& b, int32_t nb, size_t points) {
    const int32_t L = digits::ntt_wrap_digits(points);
    const mpz_class m = digit_power(L) - 1, want = a * b % m;
    const digits::Mag ma = to_mag(a, na), mb = to_mag(b, nb);
    digits::Mag r(static_cast<size_t>(L));
    digits::mag_mul_ntt_wrapped(ma.data(), na, mb.data(), nb, r.data(), points, false);
    const mpz_class got = from_mag(r);
    EXPECT_TRUE(got == want || (want == 0 && got == m)) << points << " points, " << na << " by " << nb;
    digits::NttForm fa, fb;
    digits::ntt_form(ma.data(), na, points, fa, true);
    digits::ntt_form(mb.data(), nb, points, fb, true);
    digits::Mag t;
    EXPECT_EQ(digits::ntt_sum_of_products(fa, fb, 1, nullptr, nullptr, 0, t), a * b == 0 ? 0 : 1);
    EXPECT_EQ(from_mag(t) % m, want) << "forms, " << points << " points, " << na << " by " << nb;
}

// Every packing and length of the cyclic products: small lengths of both
// shapes with random and all-ones operands (the modulus itself), and the
// all-ones operands on the most points a packing takes and the fewest
// beyond, where the convolution's values come nearest the primes' bound.
TEST(NewtonDivide, CyclicProductsAgreeWithReducedProducts) {
    NumberGen gen(3553);
    for (const bool wide : {true, false}) {
        Kept<bool> w(digits::ntt_wide);
        digits::ntt_wide = wide;
        EXPECT_EQ(digits::ntt_wrap_digits(64), (wide ? 3 : 2) * 64);
        for (size_t points : {4, 12, 32, 96, 512}) {
            const int32_t L = digits::ntt_wrap_digits(points);
            const mpz_class m = digit_power(L) - 1;
            for (int32_t na : {1, L / 2, L - 1, L}) {
                for (int32_t nb : {4, L / 2 + 1, L}) {
                    SCOPED_TRACE(gen.trace());
                    mpz_class a = gen.nonneg_digits(na), b = gen.nonneg_digits(nb);
                    if (na == L) a = m;
                    check_cyclic(a, na, b, nb, points);
                }
            }
        }
    }
    for (size_t points : {size_t{3} << 14, size_t{1} << 16, size_t{3} << 15, size_t{1} << 17}) {
        const int32_t L = digits::ntt_wrap_digits(points);
        const mpz_class m = digit_power(L) - 1;
        check_cyclic(m, L, m, L, points);
        check_cyclic(m, L, m - 1, L, points);
    }
    // The points chosen for a modulus: the fewest that reach it.
    for (int32_t l_min : {5, 100, 3001, 16003, 64003, 200000}) {
        const size_t p = digits::ntt_wrap_points(l_min);
        EXPECT_GE(digits::ntt_wrap_digits(p), l_min);
        const size_t fewer = p % 3 ? 3 * (p / 4) : 2 * (p / 3);
        EXPECT_TRUE(fewer < 2 || digits::ntt_wrap_digits(fewer) < l_min) << l_min;
    }
}

// Whole quotients by identities at the largest sizes, with the reciprocal
// on every division at a low cut-off: (a b) / b = a remainder 0, and
// a = q b + r, 0 <= r < b.
TEST(NewtonDivide, LargeIdentities) {
    NumberGen gen(3554);
    Cut s(digits::newton_cut, 100);
    for (int32_t n : {3000, 50000}) {
        SCOPED_TRACE(gen.trace());
        const mpz_class a = gen.nonneg_digits(n) + 1, b = gen.nonneg_digits(n) + 1;
        Num X(a), Y(b), P, Q, R;
        fast_mult(X, Y, P);
        divide(P, Y, Q, R);
        EXPECT_TRUE(holds(Q, a) && holds(R, 0)) << n << " digits";
        const mpz_class c = to_mpz(P) - 1;
        Num C(c);
        divide(C, Y, Q, R);
        const mpz_class q = to_mpz(Q), r = to_mpz(R);
        EXPECT_EQ(q * b + r, c);
        EXPECT_TRUE(r >= 0 && r < b);
        EXPECT_EQ(q, a - 1);   // c = (a - 1) b + (b - 1)
    }
}

}  // namespace
