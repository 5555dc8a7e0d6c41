// Square roots by halves: forced on from two digits, so every split of odd
// and even lengths and every normalising shift is crossed, and around the
// default cut-off, against GMP; the operands that put the single correction
// to work (squares and their neighbours, all-ones digits, powers of two and
// four); and at 50,000 digits by the defining inequality on our own
// products, without GMP.
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

void expect_root(const mpz_class& a) {
    mpz_class want;
    mpz_sqrt(want.get_mpz_t(), a.get_mpz_t());
    Num x(a), r(-5);
    int_sqrt(x, r, 1);
    ASSERT_TRUE(check_number(r));
    EXPECT_TRUE(holds(r, want)) << describe(a);
    EXPECT_TRUE(holds(x, a)) << "the operand changed";
}

// Operands whose low half lands on or next to a correction.
std::vector<mpz_class> hard_operands(const mpz_class& s) {
    return {s * s - 1, s * s, s * s + 1, s * s + 2 * s, (s + 1) * (s + 1) - 2};
}

TEST(SqrtHalves, EveryLengthAndHeadFromTwoDigits) {
    NumberGen gen(4401);
    Cut cut(digits::sqrt_rem_cut, 2);
    for (int32_t n = 2; n <= 41; n++) {
        SCOPED_TRACE(gen.trace());
        // Heads of every bit length, so each normalising shift is taken.
        for (uint32_t head : {1u, 2u, 3u, 1u << 13, (1u << 26) - 1, 1u << 26, 1u << 27, static_cast<uint32_t>(DIGIT_MASK)}) {
            expect_root(head * digit_power(n - 1) + gen.nonneg_digits(n - 1));
        }
        for (const mpz_class& a : hard_operands(gen.nonneg_digits((n + 1) / 2) + 1)) expect_root(a);
        expect_root(digit_power(n) - 1);
        expect_root(mpz_class(1) << (DIGIT_BITS * n - 1));
        expect_root((mpz_class(1) << (DIGIT_BITS * n - 1)) - 1);
        expect_root(mpz_class(1) << (DIGIT_BITS * n - 2));
        expect_root((mpz_class(1) << (DIGIT_BITS * n - 2)) + 1);
        if (HasFailure()) return;
    }
}

TEST(SqrtHalves, AroundItsCutOffAndAtLength) {
    NumberGen gen(4402);
    const int32_t c = digits::sqrt_rem_cut;
    for (int32_t n : {c - 1, c, c + 1, 1001, 4000, 12001}) {
        SCOPED_TRACE(gen.trace());
        expect_root(gen.nonneg_digits(n - 1) + digit_power(n - 1));
        for (const mpz_class& a : hard_operands(digit_power(n / 2) - 1)) expect_root(a);
        for (const mpz_class& a : hard_operands(gen.nonneg_digits(n / 2) + 1)) expect_root(a);
    }
}

// s^2 <= a < (s + 1)^2 from our own square and sum, s's length checked
// against a's.
TEST(SqrtHalves, FiftyThousandDigitsByTheInequality) {
    NumberGen gen(4403);
    const mpz_class s0 = gen.nonneg_digits(25000) + 1;
    for (const mpz_class& a : {gen.nonneg_digits(50001), mpz_class(s0 * s0), mpz_class(s0 * s0 - 1),
                               mpz_class(digit_power(50000) - 1)}) {
        Num x(a), s, sq, next, one(1);
        int_sqrt(x, s, 1);
        ASSERT_TRUE(check_number(s));
        fast_mult(s, s, sq);
        EXPECT_FALSE(pos_bigger(sq, x)) << "s^2 > a";
        Num t;
        fast_assign(s->head, s->count, t);
        fastsum(t, one);
        fast_mult(t, t, next);
        EXPECT_TRUE(pos_bigger(next, x)) << "(s + 1)^2 <= a";
        EXPECT_GE(s->count, (x->count - 1) / 2);
    }
}

}  // namespace
