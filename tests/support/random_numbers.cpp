#include "support/random_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"

int test_scale() {
    static const int scale = [] {
        const char* s = std::getenv("TARVEX_TEST_SCALE");
        int v = s ? std::atoi(s) : 1;
        return v > 0 ? v : 1;
    }();
    return scale;
}

int scaled(int n) { return std::max(1, n * test_scale()); }

NumberGen::NumberGen(uint64_t seed) : seed_(seed) {
    if (const char* s = std::getenv("TARVEX_TEST_SEED")) seed_ = std::strtoull(s, nullptr, 0);
    rng_.seed(seed_);
}

std::string NumberGen::trace() const {
    return "random seed " + std::to_string(seed_) + " (replay with TARVEX_TEST_SEED=" +
           std::to_string(seed_) + ")";
}

uint64_t NumberGen::bits() { return rng_(); }

int32_t NumberGen::below(int32_t n) { return n <= 1 ? 0 : static_cast<int32_t>(rng_() % static_cast<uint64_t>(n)); }

int32_t NumberGen::between(int32_t lo, int32_t hi) {
    uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
    return static_cast<int32_t>(lo + static_cast<int64_t>(rng_() % span));
}

bool NumberGen::chance(int percent) { return below(100) < percent; }

uint32_t NumberGen::digit() {
    static const uint32_t edges[] = {0, 1, 2, 1u << 14, (1u << 18) - 1, 1u << 18, 1u << 27,
                                     (1u << 27) - 1, DIGIT_MASK - 1, DIGIT_MASK};
    if (chance(25)) return edges[below(sizeof edges / sizeof edges[0])];
    return static_cast<uint32_t>(rng_()) & DIGIT_MASK;
}

mpz_class NumberGen::edge_value() {
    static const char* const edges[] = {"0", "1", "2", "3", "268435455", "268435456", "268435457",
                                        "134217728", "262143", "262144", "16384", "2147483647",
                                        "2147483648", "4294967295", "72057594037927935",
                                        "72057594037927936"};
    mpz_class v(edges[below(sizeof edges / sizeof edges[0])]);
    return chance(50) ? mpz_class(-v) : v;
}

mpz_class NumberGen::digits(int32_t n) {
    mpz_class v = nonneg_digits(n);
    if (chance(50)) v = -v;
    return v;
}

mpz_class NumberGen::nonneg_digits(int32_t n) {
    if (n < 1) n = 1;
    std::vector<uint32_t> d(n);   // most significant first
    int shape = below(100);
    if (shape < 35) {
        for (auto& x : d) x = static_cast<uint32_t>(rng_()) & DIGIT_MASK;
    } else if (shape < 45) {
        for (auto& x : d) x = digit();
    } else if (shape < 52) {
        // B^n - 1 and its neighbours: carries and borrows through every digit.
        for (auto& x : d) x = DIGIT_MASK;
        if (chance(50)) d[n - 1] = DIGIT_MASK - below(3);
    } else if (shape < 60) {
        // A power of B, plus or minus nothing or a little at the bottom.
        std::fill(d.begin(), d.end(), 0u);
        d[0] = chance(70) ? 1 : static_cast<uint32_t>(between(2, 15));
        if (n > 1 && chance(50)) d[n - 1] = digit();
    } else if (shape < 75) {
        // Runs of one and zero bits of random lengths across digit borders.
        bool one = chance(50);
        int64_t bit = static_cast<int64_t>(n) * DIGIT_BITS - 1;
        while (bit >= 0) {
            int64_t run = 1 + below(chance(30) ? 4 * DIGIT_BITS : 40);
            for (; run > 0 && bit >= 0; run--, bit--)
                if (one) d[n - 1 - bit / DIGIT_BITS] |= 1u << (bit % DIGIT_BITS);
            one = !one;
        }
    } else if (shape < 87) {
        // Random digits interrupted by long runs of zero digits.
        for (int32_t i = 0; i < n;) {
            if (chance(30)) {
                int32_t run = 1 + below(std::max(1, n / 2));
                for (; run > 0 && i < n; run--) d[i++] = 0;
            } else {
                d[i++] = digit();
            }
        }
    } else {
        // A small or a full head digit over random digits: the quotient
        // estimates of division depend most on the divisor's head.
        for (auto& x : d) x = digit();
        static const uint32_t heads[] = {1, 2, 15, 16, 17, DIGIT_MASK, 1u << 27};
        d[0] = heads[below(sizeof heads / sizeof heads[0])];
    }
    if (n == 1 && chance(10)) d[0] = 0;
    else if (d[0] == 0) d[0] = 1 + below(chance(50) ? 3 : DIGIT_MASK);

    mpz_class v;
    mpz_import(v.get_mpz_t(), d.size(), 1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, d.data());
    return v;
}

int32_t NumberGen::length(int32_t lo, int32_t hi) {
    if (hi <= lo) return lo;
    int pick = below(10);
    if (pick == 0) return lo;
    if (pick == 1) return hi;
    if (pick < 5) return between(lo, std::min(hi, lo + 20));
    // Log-uniform over the range, so every order of magnitude is visited.
    double t = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
    double base = std::max(lo, 1);
    double v = base * std::pow(hi / base, t);
    return std::clamp(static_cast<int32_t>(v), lo, hi);
}

std::pair<int32_t, int32_t> NumberGen::lengths(int32_t max) {
    int32_t n = length(1, max);
    int pick = below(8);
    int32_t m;
    if (pick < 3) m = n;
    else if (pick < 4) m = std::clamp(n + between(-1, 1), 1, max);
    else if (pick < 6) m = length(1, std::min<int32_t>(max, 3));
    else m = length(1, max);
    if (chance(50)) std::swap(n, m);
    return {n, m};
}

long small_coef(NumberGen& g) {
    if (modulus) return g.between(1, modulus - 1);
    long c = g.between(1, 9);
    return g.chance(50) ? -c : c;
}
