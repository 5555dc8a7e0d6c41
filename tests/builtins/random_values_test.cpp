// Random values: two 14-bit halves of two draws, the clock mixed in on
// request, and the random denominator; the sources are fixed here so each
// value is known in advance.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "builtins/random_values.h"
#include "interp/settings.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "support/data_once.h"
#include "support/ring_setup.h"

namespace {

long draws[2];
int next_draw = 0;
long fixed_random() { return draws[next_draw++ % 2]; }
long fixed_clock() { return 1000003; }

struct FixedSources {
    RingStateGuard saved;
    FixedSources(long a, long b) {
        load_data_once();
        modularmode = lintmode = 0;
        draws[0] = a;
        draws[1] = b;
        next_draw = 0;
        set_random_sources(fixed_random, nullptr, fixed_clock);
    }
    ~FixedSources() { reset_random_sources(); }
};

// trunc(r / (2^31 - 1) * 16384), as the generator's draws are scaled.
int64_t half(long r) { return static_cast<int64_t>(static_cast<double>(r) / 2147483647.0 * 16384); }

TEST(Randomize, HalvesOfTwoDraws) {
    for (long a : {0L, 1L, 123456789L, 2147483646L})
        for (long b : {0L, 99999L, 2147483000L}) {
            FixedSources s(a, b);
            quoly* q = nullptr;
            randomize(0, &q);
            ASSERT_TRUE(q->isnum);
            const int64_t want = half(a) * 16384 + half(b);
            EXPECT_EQ(q->nnum->head->digit, want);
            EXPECT_LE(want, (int64_t{1} << 28) - 1);
            free_quoly(&q);
        }
}

TEST(Randomize, HalvesCappedBelowTwoTo14) {
    // The generator's maximum scales to 2^14 itself; the value stays below 2^28.
    const long top = 2147483647L;
    ASSERT_EQ(half(top), 16384);
    for (auto [a, b, want] : {std::tuple{top, top, (int64_t{1} << 28) - 1}, std::tuple{top, 0L, int64_t{16383} * 16384},
                              std::tuple{0L, top, int64_t{16383}}}) {
        FixedSources s(a, b);
        EXPECT_EQ(random_28bit(), want);
        next_draw = 0;
        quoly* q = nullptr;
        randomize(0, &q);
        EXPECT_EQ(q->nnum->head->digit, want);
        free_quoly(&q);
    }
}

TEST(Randomize, ResiduesInModularMode) {
    FixedSources s(2000000000L, 1500000000L);
    const int64_t v = half(2000000000L) * 16384 + half(1500000000L);
    PrimeRing ring(97);
    quoly* q = nullptr;
    randomize(0, &q);
    ASSERT_TRUE(q->isnum);
    EXPECT_EQ(q->nnum->value, v % 97);
    // A denominator set in modular mode lives in the machine word: the value
    // times it gives the draw back.
    random_denominator()->value = 7;
    next_draw = 0;
    randomize(0, &q);
    ASSERT_TRUE(q->isnum);
    EXPECT_EQ(q->nnum->value * 7 % 97, v % 97);
    random_denominator()->value = 1;
    free_quoly(&q);
}

TEST(Randomize, ClockMixedInTo28Bits) {
    FixedSources s(2000000000L, 1500000000L);
    quoly* q = nullptr;
    randomize(1, &q);
    const int64_t v = half(2000000000L) * 16384 + half(1500000000L);
    EXPECT_EQ(q->nnum->head->digit, (v + 1000003) & 0x0FFFFFFF);
    free_quoly(&q);
}

TEST(Randomize, DividedByTheRandomDenominator) {
    FixedSources s(6L << 20, 0);
    imag* saved = new_number();
    num_assign(random_denominator(), saved);
    special_set(4, rand_denom_n);
    rand_denom_n->value = 4;
    quoly* q = nullptr;
    randomize(0, &q);
    // 6 * 2^20 / (2^31 - 1) * 2^14 truncates to 47; 47 * 2^14 / 4 = 192512.
    const int64_t v = half(6L << 20) * 16384;
    ASSERT_EQ(v % 4, 0);
    EXPECT_TRUE(q->isnum);
    EXPECT_EQ(q->nnum->head->digit, v / 4);
    free_quoly(&q);
    // An odd draw over 4 stays a fraction in lowest terms.
    draws[0] = 0;
    draws[1] = 400000;   // 400000 / (2^31 - 1) * 2^14 truncates to 3
    next_draw = 0;
    randomize(0, &q);
    EXPECT_EQ(q->rat, 1);
    EXPECT_EQ(q->den->ncoef->head->digit, 4);
    EXPECT_EQ(q->pnum->ncoef->head->digit, 3);
    free_quoly(&q);
    num_assign(saved, rand_denom_n);
    free_imag(&saved);
}

}  // namespace
