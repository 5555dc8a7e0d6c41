// The process clock behind the clocked draw is read afresh only when the
// coarse wall clock ticks: every value must still lie between the true CPU
// time a little before and the true CPU time after, and it must follow the
// CPU time through a busy stretch.
#include <gtest/gtest.h>

#include <ctime>

#include "numbers/random.h"

namespace {

// Generous: a coarse tick is a few milliseconds; the machine may be loaded.
constexpr long kSlack = CLOCKS_PER_SEC / 20;

TEST(ProcessClock, StaysWithinATickOfTheCpuTime) {
    reset_random_sources();
    long last = raw_clock();
    volatile uint64_t sink = 0;
    for (int i = 0; i < 20000; i++) {
        const long before = static_cast<long>(std::clock());
        const long c = raw_clock();
        const long after = static_cast<long>(std::clock());
        ASSERT_LE(c, after);
        ASSERT_GE(c, before - kSlack);
        ASSERT_GE(c, last);   // never goes back
        last = c;
        sink = sink + static_cast<uint64_t>(c) * 3 + 1;
    }
}

TEST(ProcessClock, FollowsABusyStretch) {
    reset_random_sources();
    const long cpu_start = static_cast<long>(std::clock());
    volatile uint64_t sink = 0;
    // About an eighth of a second of CPU time.
    while (static_cast<long>(std::clock()) - cpu_start < CLOCKS_PER_SEC / 8)
        for (int i = 0; i < 10000; i++) sink = sink * 6364136223846793005ULL + 1;
    const long cpu_end = static_cast<long>(std::clock());
    long seen = raw_clock();
    // The cached value may lag by one tick of the coarse clock.
    for (int k = 0; k < 1000 && seen < cpu_end - kSlack; k++) seen = raw_clock();
    EXPECT_GE(seen, cpu_end - kSlack);
    EXPECT_LE(seen, static_cast<long>(std::clock()));
}

}  // namespace
