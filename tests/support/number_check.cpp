#include "support/number_check.h"
#include "support/gmp_bridge.h"

#include <cstdint>

#include "numbers/numbers.h"

::testing::AssertionResult check_number(const imag* x) {
    if (!x) return ::testing::AssertionFailure() << "null number record";
    if (x->count < 1) return ::testing::AssertionFailure() << "count " << x->count << " (no digits)";
    if (!x->head) return ::testing::AssertionFailure() << "null head with count " << x->count;
    if (!x->tail) return ::testing::AssertionFailure() << "null tail with count " << x->count;

    int sign = 0;
    const numnode* last = nullptr;
    int32_t n = 0;
    // Walk at most count + 1 nodes so a cycle or a missing terminator is
    // reported instead of looping.
    for (const numnode* p = x->head; p; p = p->next) {
        if (n == x->count)
            return ::testing::AssertionFailure()
                   << "chain longer than count " << x->count << " (node past the count has digit "
                   << p->digit << ")";
        int32_t d = p->digit;
        if (d <= -DIGIT_BASE || d >= DIGIT_BASE)
            return ::testing::AssertionFailure() << "digit " << n << " from the head is " << d
                                                 << ", outside (-2^28, 2^28)";
        int s = (d > 0) - (d < 0);
        if (s != 0) {
            if (sign != 0 && s != sign)
                return ::testing::AssertionFailure()
                       << "digit " << n << " from the head is " << d << " but an earlier digit has the opposite sign";
            sign = s;
        }
        last = p;
        n++;
    }
    if (n != x->count)
        return ::testing::AssertionFailure() << "chain has " << n << " digits but count is " << x->count;
    if (last != x->tail)
        return ::testing::AssertionFailure() << "tail is not the last node of the chain";
    if (x->count > 1 && x->head->digit == 0)
        return ::testing::AssertionFailure() << "zero head digit in a number of " << x->count << " digits";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult holds(const imag* x, const mpz_class& want) {
    auto shape = check_number(x);
    if (!shape) return shape;
    mpz_class got = to_mpz(x);
    if (got != want)
        return ::testing::AssertionFailure() << "got " << describe(got) << ", expected " << describe(want);
    return ::testing::AssertionSuccess();
}
