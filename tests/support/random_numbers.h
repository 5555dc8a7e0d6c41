// Seeded random digit numbers for the differential tests, biased towards the
// values that break carry, borrow and normalisation code.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>

// TARVEX_TEST_SCALE (default 1) multiplies iteration counts.
int test_scale();
// n * test_scale(), at least 1.
int scaled(int n);

class NumberGen {
public:
    // The seed may be overridden by TARVEX_TEST_SEED to explore other inputs;
    // trace() names the seed in use so a failure can be replayed.
    explicit NumberGen(uint64_t seed);

    uint64_t seed() const { return seed_; }
    std::string trace() const;
    std::mt19937_64& engine() { return rng_; }

    uint64_t bits();
    int32_t below(int32_t n);                      // uniform in 0 .. n-1
    int32_t between(int32_t lo, int32_t hi);       // uniform in lo .. hi
    bool chance(int percent);

    // A number of exactly n base-2^28 digits (n >= 1; with n = 1 it may be
    // zero), drawn from edge-heavy shapes, negative half of the time.
    mpz_class digits(int32_t n);
    mpz_class nonneg_digits(int32_t n);
    // A small value from the edge list: 0, +-1, +-(2^28-1), +-2^28, +-2^31, ...
    mpz_class edge_value();
    // A digit count in lo .. hi, favouring both ends and small counts.
    int32_t length(int32_t lo, int32_t hi);
    // Two digit counts up to max: equal, adjacent, very unequal or independent.
    std::pair<int32_t, int32_t> lengths(int32_t max);

private:
    uint32_t digit();   // one 28-bit digit, edge-biased
    uint64_t seed_;
    std::mt19937_64 rng_;
};

// A non-zero coefficient for the current ring: a residue 1 .. modulus-1 in
// modular mode, else -9 .. 9.
long small_coef(NumberGen& g);
