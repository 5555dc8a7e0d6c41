// Sums of many products by one-digit multipliers, with their carries
// settled only now and then, against GMP: mixed signs, cancellation to
// zero and to small values, sums far longer than the carry interval, and a
// result record that held an unrelated value before.
#include <gtest/gtest.h>

#include "numbers/numbers.h"
#include "numbers/wide_sum.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

TEST(WideSum, AgreesWithGmpOverLongMixedSums) {
    NumberGen gen(2027);
    SCOPED_TRACE(gen.trace());
    for (int round = 0; round < 60; round++) {
        WideSum s;
        mpz_class want = 0;
        const int count = round % 3 == 0 ? 400 : gen.between(1, 30);
        std::vector<mpz_class> terms;
        for (int k = 0; k < count; k++) {
            const mpz_class r = gen.digits(gen.between(1, 6));
            const int32_t c = gen.chance(20) ? (gen.chance(50) ? DIGIT_MASK : -DIGIT_MASK) : gen.between(-1000, 1000);
            imag* x = from_mpz(r);
            s.add_product(x, c);
            release(x);
            want += r * c;
            terms.push_back(r * c);
        }
        if (round % 5 == 4) {
            // Everything taken away again: the sum is 0.
            for (const mpz_class& t : terms) {
                imag* x = from_mpz(-t);
                s.add(x);
                release(x);
            }
            want = 0;
        }
        imag* out = from_mpz(gen.digits(3));
        s.write(out);
        EXPECT_TRUE(check_number(out));
        EXPECT_EQ(to_mpz(out), want) << "round " << round;
        release(out);
    }
}

}  // namespace
