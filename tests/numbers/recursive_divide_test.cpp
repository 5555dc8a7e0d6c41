// Recursive division against the digit-by-digit steps and GMP: every
// division is run with the recursion forced off and on (at the default
// cut-off and at a tiny one, so that small operands recurse deeply), in all
// four sign combinations, into fresh records and into the operands' own,
// and the results must agree with each other and with GMP. The largest
// sizes are checked by identities instead.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

const mpz_class B = mpz_class(1) << DIGIT_BITS;

mpz_class digit_power(int32_t k) { return mpz_class(1) << (DIGIT_BITS * k); }

// Sets the recursion cut-off for the guard's lifetime.
class CutOff {
public:
    explicit CutOff(int32_t c) : before_(digits::divide_cut) { digits::divide_cut = c; }
    ~CutOff() { digits::divide_cut = before_; }
    CutOff(const CutOff&) = delete;
    CutOff& operator=(const CutOff&) = delete;

private:
    int32_t before_;
};

constexpr int32_t kNever = INT32_MAX;

struct Result {
    mpz_class q, r;
};

// divide(a, b) into fresh records, and again with q into a's record and r
// into b's; both must match.
Result divide_with_cut(const mpz_class& a, const mpz_class& b, int32_t cut) {
    CutOff guard(cut);
    Num X(a), Y(b), Q(7), R(-9);
    divide(X, Y, Q, R);
    EXPECT_TRUE(check_number(Q));
    EXPECT_TRUE(check_number(R));
    EXPECT_TRUE(holds(X, a) && holds(Y, b)) << "an operand changed";
    Result res{to_mpz(Q), to_mpz(R)};
    divide(X, Y, X, Y);
    EXPECT_TRUE(holds(X, res.q)) << "quotient into the dividend's record, cut " << cut;
    EXPECT_TRUE(holds(Y, res.r)) << "remainder into the divisor's record, cut " << cut;
    return res;
}

void check_paths(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    for (int s = 0; s < 4; s++) {
        const mpz_class x = s & 1 ? mpz_class(-a) : a, y = s & 2 ? mpz_class(-b) : b;
        mpz_class q, m = abs_of(x) % abs_of(y);
        mpz_tdiv_q(q.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t());
        const mpz_class r = sgn(x) * sgn(y) < 0 ? mpz_class(-m) : m;
        const Result school = divide_with_cut(x, y, kNever);
        EXPECT_EQ(school.q, q) << "digit steps, signs " << s;
        EXPECT_EQ(school.r, r) << "digit steps, signs " << s;
        for (int32_t cut : {2, 5, digits::divide_cut}) {
            const Result rec = divide_with_cut(x, y, cut);
            EXPECT_EQ(rec.q, school.q) << "recursive quotient, cut " << cut << ", signs " << s;
            EXPECT_EQ(rec.r, school.r) << "recursive remainder, cut " << cut << ", signs " << s;
        }
    }
    // The remainder-only path divides without a quotient record.
    for (int32_t cut : {2, kNever}) {
        CutOff guard(cut);
        Num X(abs_of(a)), Y(abs_of(b)), R;
        pos_divide_noq(X->head, Y->head, Y->tail, X->count, Y->count, R);
        EXPECT_TRUE(holds(R, abs_of(a) % abs_of(b))) << "pos_divide_noq, cut " << cut;
    }
}

TEST(RecursiveDivide, RandomAroundTheCutOff) {
    NumberGen gen(3501);
    const int32_t c = digits::divide_cut;
    for (int32_t nb : {c - 1, c, c + 1, 2 * c + 1}) {
        for (int32_t extra : {c - 1, c, c + 1, nb, nb + 1, 3 * nb + 7}) {
            SCOPED_TRACE(gen.trace());
            mpz_class b = gen.digits(nb), a = gen.digits(nb + extra);
            if (b == 0) b = 1;
            check_paths(a, b);
        }
    }
}

TEST(RecursiveDivide, UnbalancedAndSmallShapes) {
    NumberGen gen(3502);
    // n by 2n, n by 10n, quotients of one digit and shorter than the divisor.
    for (int32_t n : {9, 33, 130}) {
        for (int32_t na : {2 * n, 10 * n, n + 1, n + n / 2, n}) {
            SCOPED_TRACE(gen.trace());
            mpz_class b = gen.digits(n), a = gen.digits(na);
            if (b == 0) b = 3;
            check_paths(a, b);
        }
    }
}

TEST(RecursiveDivide, GuessesFromTheDivisorTopAreCorrected) {
    // All-ones digits, powers of two and their neighbours, and dividends just
    // below a multiple of b times a power of the base: the top digits of the
    // running remainder then equal the divisor's, the guess is the all-ones
    // quotient, and the corrections add b back.
    const int32_t c = digits::divide_cut;
    for (int32_t n : {c, 2 * c + 3, 150}) {
        const mpz_class ones = digit_power(n) - 1;
        const mpz_class two = mpz_class(1) << (DIGIT_BITS * n - 1);
        const std::vector<mpz_class> divisors = {ones, two, two + 1, two - 1, two + ones / 3};
        for (const mpz_class& b : divisors) {
            const std::vector<mpz_class> dividends = {
                digit_power(2 * n) - 1, b * digit_power(n) - 1, b * digit_power(n + 3) - b - 1,
                b * (digit_power(n) - 1), b * (digit_power(n) - 1) + b - 1, (b - 1) * digit_power(n) + b / 2,
                mpz_class(1) << (DIGIT_BITS * 2 * n - 1)};
            for (const mpz_class& a : dividends) check_paths(a, b);
        }
    }
}

// The largest sizes, by identities: (a b) / b = a remainder 0, and
// a = q b + r with 0 <= r < b, checked in GMP arithmetic only.
TEST(RecursiveDivide, LargeIdentities) {
    NumberGen gen(3503);
    for (int32_t n : {4000, 50000}) {
        SCOPED_TRACE(gen.trace());
        const mpz_class a = gen.nonneg_digits(n) + 1, b = gen.nonneg_digits(n) + 1;
        Num X(a), Y(b), P, Q, R;
        fast_mult(X, Y, P);
        divide(P, Y, Q, R);
        EXPECT_TRUE(check_number(Q) && check_number(R));
        EXPECT_TRUE(holds(Q, a)) << "(a b) / b, " << n << " digits";
        EXPECT_TRUE(holds(R, 0)) << "(a b) mod b, " << n << " digits";
        // A dividend of 2n digits not a multiple of b.
        const mpz_class c = to_mpz(P) + b / 2 + 1;
        Num C(c);
        divide(C, Y, Q, R);
        const mpz_class q = to_mpz(Q), r = to_mpz(R);
        EXPECT_EQ(q * b + r, c);
        EXPECT_TRUE(r >= 0 && r < b);
    }
    // n by 10n at the largest size against GMP.
    const mpz_class a = gen.nonneg_digits(100000), b = gen.nonneg_digits(10000) + 1;
    Num X(a), Y(b), Q, R;
    divide(X, Y, Q, R);
    EXPECT_TRUE(holds(Q, a / b) && holds(R, a % b));
}

// The square root's Newton steps divide by the running estimate, so long
// roots go through the recursive division: the root must not depend on the
// path, must be GMP's, and exact squares and their neighbours must land on
// the right side.
TEST(RecursiveDivide, SquareRootsOnEitherPath) {
    NumberGen gen(3504);
    for (int32_t n : {130, 1001, 6000}) {
        SCOPED_TRACE(gen.trace());
        const mpz_class r0 = gen.nonneg_digits(n / 2) + 1;
        for (const mpz_class& a : {gen.nonneg_digits(n), mpz_class(r0 * r0), mpz_class(r0 * r0 - 1),
                                   mpz_class(digit_power(n) - 1)}) {
            const mpz_class want = sqrt(a);
            for (int32_t cut : {kNever, 2, digits::divide_cut}) {
                if (cut == 2 && n > 1001) continue;   // deep recursion on every step: slow, nothing new
                CutOff guard(cut);
                Num X(a), R(5);
                int_sqrt(X, R, 1);
                EXPECT_TRUE(check_number(R));
                EXPECT_TRUE(holds(R, want)) << n << " digits, cut " << cut;
                EXPECT_TRUE(holds(X, a)) << "the operand changed";
                int_sqrt(X, X, 0);
                EXPECT_TRUE(holds(X, want)) << "root into the operand's record, cut " << cut;
            }
        }
    }
    // The largest size by the defining inequality s^2 <= a < (s + 1)^2.
    const mpz_class a = gen.nonneg_digits(50000);
    Num X(a), S;
    int_sqrt(X, S, 1);
    ASSERT_TRUE(check_number(S));
    const mpz_class s = to_mpz(S);
    EXPECT_TRUE(s * s <= a && a < (s + 1) * (s + 1));
}

}  // namespace
