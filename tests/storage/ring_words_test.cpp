// Machine integers stored as values in modular mode (counts, codes,
// settings) become the element of the ring they stand for: the element a
// digit number of the same value converts to, held as a residue that sums
// and products leave as it is.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/ring_setup.h"

namespace {

// The residue the digit-number conversion gives for n.
int32_t converted(int32_t n) {
    imag* x = new_number();
    {
        LintOff digits;
        setvalue(n, x);
    }
    change_num(x, 1, 0);
    const int32_t r = x->value;
    free_imag(&x);
    return r;
}

std::vector<int32_t> words(int32_t p) {
    return {0, 1, -1, 12, 97, 300, p - 1, p, p + 1, 2 * (p / 2) + 3, -p, -(p + 5),
            INT32_MAX, INT32_MIN + 1, 268435455, 268435456, -268435457};
}

TEST(RingWords, QuolySetGivesTheConvertedElement) {
    for (int32_t p : {2, 7, 65521, 2147483629, 256, 65536}) {
        PrimeRing ring(0);
        use_modulus(p);
        for (int32_t n : words(p)) {
            quoly* q = nullptr;
            quoly_set(n, &q);
            const int32_t v = q->nnum->value;
            // A number past one digit is outside GF(2^k) altogether; its
            // conversion is not this test's business.
            if (!finf || (n <= DIGIT_MASK && n >= -DIGIT_MASK)) {
                EXPECT_EQ(v, converted(n)) << "p = " << p << ", n = " << n;
            }
            EXPECT_GE(v, 0) << "p = " << p << ", n = " << n;
            EXPECT_LT(v, p) << "p = " << p << ", n = " << n;
            EXPECT_EQ(mod_add(v, 0, p), v) << "p = " << p << ", n = " << n;
            EXPECT_EQ(modmult(v, 1), v) << "p = " << p << ", n = " << n;
            free_quoly(&q);
        }
    }
}

TEST(RingWords, OutsideModularModeTheWordIsKept) {
    PrimeRing ring(0);
    use_modulus(7);
    modularmode = 0;   // machine integers with a modulus set, as a count argument reads
    quoly* q = nullptr;
    quoly_set(12, &q);
    EXPECT_EQ(q->nnum->value, 12);
    quoly_set(-5, &q);
    EXPECT_EQ(q->nnum->value, -5);
    free_quoly(&q);
}

TEST(RingWords, NumberIntoRingTakesWordsAndDigits) {
    PrimeRing ring(0);
    use_modulus(7);
    imag* x = new_number();
    x->value = 50;
    number_into_ring(x);
    EXPECT_EQ(x->value, 1);
    {
        LintOff digits;
        setvalue(-(1 << 29) - 3, x);   // two digits
    }
    number_into_ring(x);
    EXPECT_EQ(x->count, 0);
    EXPECT_EQ(x->value, static_cast<int32_t>(((-(int64_t{1} << 29) - 3) % 7 + 7) % 7));
    modularmode = 0;
    x->value = 50;
    number_into_ring(x);
    EXPECT_EQ(x->value, 50);
    free_imag(&x);
}

}  // namespace
