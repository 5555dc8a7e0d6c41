// Primality and the n-th prime (see primality.h). The 64-bit test behind
// long_is_prime and longg_is_prime gives trial division's answers without
// its cost, so values near 2^63 answer at once.
#include "builtins/primality.h"

#include <vector>

#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

constexpr int32_t TOO_MANY_DIGITS = 289;
constexpr int32_t NTH_PRIME_RANGE = 346;
// Three digits stay below 2^63 while the leading one is at most this.
constexpr int32_t LARGEST_LEADING_DIGIT = 127;

int64_t machine_value_test(int64_t v) { return v < 2 ? 0 : long_is_prime(static_cast<int32_t>(v)); }

// The test's value for a digit number (count >= 1, the sign on every
// digit); -1 when it has too many digits.
int64_t digit_number_test(const imag* x) {
    if (x->count > 3) return -1;
    const numnode* d = x->head;
    const int32_t h = d->digit;
    // Every number below 2 gives 0, a negative one of three digits too:
    // the 64-bit test must never see a negative value.
    if (h < 0) return 0;
    if (x->count == 1) return machine_value_test(h);
    const int32_t second = d->next->digit;
    if (x->count == 2) {
        if (h <= 7) return machine_value_test(int64_t{h} * DIGIT_BASE + second);
        return longg_is_prime(0, h, second);
    }
    if (h > LARGEST_LEADING_DIGIT) return -1;
    return longg_is_prime(h, second, d->next->next->digit);
}

// The primes counted so far by stepping through the odd numbers past the
// table; a later call goes on where an earlier one stopped.
std::vector<int32_t>& primes_past_table() {
    static std::vector<int32_t> found;
    return found;
}

}  // namespace

void isprime_value(quoly** slot) {
    const imag* x = (*slot)->nnum;
    int64_t result;
    if (lintmode || x->count < 1)
        result = machine_value_test(x->value);
    else
        result = digit_number_test(x);
    if (result < 0) {
        error(TOO_MANY_DIGITS, token.name);
        quoly_set(0, slot);
        return;
    }
    if (result <= DIGIT_MASK) {
        quoly_set(static_cast<int32_t>(result), slot);
        return;
    }
    imag* n = int128_number(result);
    scalar_to_quoly(n, slot);
    free_imag(&n);
}

void nth_prime(quoly** slot) {
    const int32_t n = convert_to_int((*slot)->nnum);
    if (n < 1 || n > NTH_PRIME_LIMIT) {
        error(NTH_PRIME_RANGE, token.name);
        quoly_set(0, slot);
        return;
    }
    int32_t p;
    if (n <= SMALL_PRIME_COUNT) {
        p = small_prime[n - 1];
    } else {
        std::vector<int32_t>& found = primes_past_table();
        p = found.empty() ? small_prime[SMALL_PRIME_COUNT - 1] : found.back();
        while (SMALL_PRIME_COUNT + static_cast<int32_t>(found.size()) < n) {
            p += 2;
            if (long_is_prime(p) == 1) found.push_back(p);
        }
        p = found[n - SMALL_PRIME_COUNT - 1];
    }
    if (modularmode && modulus > 0) p %= modulus;
    quoly_set(p, slot);
}
