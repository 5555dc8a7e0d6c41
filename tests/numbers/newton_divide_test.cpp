// Division through the divisor's reciprocal: forced on at tiny lengths (so
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

// Sets a cut-off for the guard's lifetime.
class Setting {
public:
    Setting(int32_t& var, int32_t value) : var_(var), before_(var) { var = value; }
    ~Setting() { var_ = before_; }
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;

private:
    int32_t& var_;
    int32_t before_;
};

mpz_class from_mag(const digits::Mag& m) {
    mpz_class x = 0;
    for (size_t i = m.size(); i-- > 0;) x = (x << DIGIT_BITS) + m[i];
    return x;
}

digits::Mag to_mag(const mpz_class& x, int32_t n) {
    digits::Mag m(static_cast<size_t>(n), 0u);
    mpz_class t = x;
    for (int32_t i = 0; i < n && t != 0; i++) {
        m[i] = static_cast<uint32_t>(mpz_class(t & DIGIT_MASK).get_ui());
        t >>= DIGIT_BITS;
    }
    return m;
}

// Quotient and remainder of every sign combination against GMP's
// truncating division, with the reciprocal taken from newton_cut on.
void check_against_gmp(const mpz_class& a, const mpz_class& b, int32_t newton_cut, int32_t divide_cut) {
    Setting s1(digits::newton_cut, newton_cut), s2(digits::divide_cut, divide_cut);
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
        for (int32_t na : {nb, nb + 1, 2 * nb - 1, 2 * nb, 2 * nb + 1, 5 * nb + 3}) {
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

TEST(NewtonDivide, CyclicProductsAgreeWithReducedProducts) {
    NumberGen gen(3553);
    Setting cut(digits::ntt_cut, 4);
    for (int32_t L : {8, 64, 1024}) {
        const mpz_class m = digit_power(L) - 1;
        for (int32_t na : {1, L / 2, L - 1, L}) {
            for (int32_t nb : {4, L / 2 + 1, L}) {
                if (nb > L) continue;
                mpz_class a = gen.nonneg_digits(na), b = gen.nonneg_digits(nb);
                if (na == L) a = m;   // all-ones digits: the modulus itself
                const digits::Mag ma = to_mag(a, na), mb = to_mag(b, nb);
                digits::Mag r(static_cast<size_t>(L));
                digits::mag_mul_ntt_wrapped(ma.data(), na, mb.data(), nb, r.data(), L, false);
                const mpz_class got = from_mag(r), want = a * b % m;
                EXPECT_TRUE(got == want || (want == 0 && got == m)) << "L " << L << ", " << na << " by " << nb;
            }
        }
    }
}

// Whole quotients by identities at the largest sizes, with the reciprocal
// on every division at a low cut-off: (a b) / b = a remainder 0, and
// a = q b + r, 0 <= r < b.
TEST(NewtonDivide, LargeIdentities) {
    NumberGen gen(3554);
    Setting s(digits::newton_cut, 100);
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
