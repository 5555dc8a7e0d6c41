// The random draws and the three raw sources behind them.
#include "numbers/random.h"

#include <cstdlib>
#include <ctime>
#include <time.h>

#include "numbers/ring.h"

double random_ext2 = 1.0;
double two_thirty1 = 2147483647.0;

namespace {

long platform_random() { return ::random(); }
int platform_rand() { return std::rand(); }
// The process CPU clock is a system call, and the interpolation methods draw
// a clocked value for every evaluation point. The coarse monotonic clock is
// read in user space: the CPU clock is read again only when it has ticked
// (a few milliseconds), so a value is never more than one tick behind.
long platform_clock() {
#ifdef CLOCK_MONOTONIC_COARSE
    static long last_tick = -1;
    static long cached = 0;
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0) {
        const long tick = static_cast<long>(now.tv_sec) * 1000000000L + static_cast<long>(now.tv_nsec);
        if (tick != last_tick) {
            last_tick = tick;
            cached = static_cast<long>(std::clock());
        }
        return cached;
    }
#endif
    return static_cast<long>(std::clock());
}

long (*random_source)() = platform_random;
int (*rand_source)() = platform_rand;
long (*clock_source)() = platform_clock;

// The range of random(): its maximum maps to the top of the basic draw.
constexpr double BASIC_DRAW_SCALE = 16384.0;
constexpr uint32_t CLOCKED_DRAW_MODULUS = 48871;

}  // namespace

long raw_random() { return random_source(); }
int raw_rand() { return rand_source(); }
long raw_clock() { return clock_source(); }

void set_random_sources(long (*random_fn)(), int (*rand_fn)(), long (*clock_fn)()) {
    random_source = random_fn ? random_fn : platform_random;
    rand_source = rand_fn ? rand_fn : platform_rand;
    clock_source = clock_fn ? clock_fn : platform_clock;
}

void reset_random_sources() { set_random_sources(nullptr, nullptr, nullptr); }

int32_t rand_integer2() {
    random_ext2 = static_cast<double>(raw_random());
    return static_cast<int32_t>(random_ext2 / two_thirty1 * BASIC_DRAW_SCALE);
}

int32_t rand_integer3() {
    uint32_t r = static_cast<uint32_t>(rand_integer2());
    uint32_t c = static_cast<uint32_t>(raw_clock());
    return static_cast<int32_t>((r * c) % CLOCKED_DRAW_MODULUS);
}

int32_t randdint(int32_t a, int32_t b) {
    int64_t span = int64_t{b} - a + 1;
    if (span <= 0) return a;
    return static_cast<int32_t>(raw_rand() % span + a);
}

bool points_fixed() { return modularmode && !mod_is_prime && !finf; }
