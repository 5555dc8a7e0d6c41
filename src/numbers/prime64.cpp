// Primality and least prime factors of 64-bit integers (see prime64.h).
// Residues modulo an odd n are kept in Montgomery form x * 2^64 mod n,
// always reduced into 0 .. n - 1, so that products need no 128-bit division.
#include "numbers/prime64.h"

#include <array>
#include <cmath>

namespace {

using u128 = unsigned __int128;

// Trial division runs through the primes below this bound before the
// strong test; a value below its square with no factor there is prime.
constexpr uint32_t TRIAL_BOUND = 1024;

constexpr int count_primes_below(uint32_t bound) {
    int c = 0;
    for (uint32_t n = 2; n < bound; n++) {
        bool prime = true;
        for (uint32_t d = 2; d * d <= n; d++)
            if (n % d == 0) prime = false;
        c += prime;
    }
    return c;
}

constexpr int TRIAL_PRIME_COUNT = count_primes_below(TRIAL_BOUND);

constexpr std::array<uint16_t, TRIAL_PRIME_COUNT> trial_primes = [] {
    std::array<uint16_t, TRIAL_PRIME_COUNT> t{};
    int k = 0;
    for (uint32_t n = 2; n < TRIAL_BOUND; n++) {
        bool prime = true;
        for (uint32_t d = 2; d * d <= n; d++)
            if (n % d == 0) prime = false;
        if (prime) t[k++] = static_cast<uint16_t>(n);
    }
    return t;
}();

// The first twelve primes as bases decide every n below 3.18 * 10^23
// (Sorenson and Webster), so every 64-bit n.
constexpr uint64_t SPRP_BASES[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};

// Arithmetic modulo an odd n > 1 on Montgomery residues.
struct Montgomery {
    uint64_t n;
    uint64_t inv;   // n^-1 mod 2^64
    uint64_t one;   // 2^64 mod n: the residue 1
    uint64_t r2;    // 2^128 mod n: converts into the form

    explicit Montgomery(uint64_t modulus) : n(modulus) {
        // Newton's iteration doubles the correct low bits: 3 (n * n = 1 mod 8), 6, ..., 96.
        inv = n;
        for (int i = 0; i < 5; i++) inv *= 2 - n * inv;
        one = (0 - n) % n;
        r2 = static_cast<uint64_t>(static_cast<u128>(one) * one % n);
    }

    // t * 2^-64 mod n for t < n * 2^64; never overflows, whatever the size of n.
    uint64_t reduce(u128 t) const {
        const uint64_t m = static_cast<uint64_t>(t) * inv;
        const uint64_t hi = static_cast<uint64_t>(t >> 64);
        const uint64_t mn = static_cast<uint64_t>((static_cast<u128>(m) * n) >> 64);
        return hi >= mn ? hi - mn : hi - mn + n;
    }
    uint64_t mul(uint64_t a, uint64_t b) const { return reduce(static_cast<u128>(a) * b); }
    uint64_t to_form(uint64_t a) const { return mul(a % n, r2); }
    uint64_t add(uint64_t a, uint64_t b) const {
        const uint64_t s = a + b;
        return (s < a || s >= n) ? s - n : s;
    }
    uint64_t power(uint64_t base, uint64_t e) const {
        uint64_t r = one;
        for (; e; e >>= 1) {
            if (e & 1) r = mul(r, base);
            base = mul(base, base);
        }
        return r;
    }
};

// n odd and above the largest base.
bool strong_probable_prime(uint64_t n) {
    const Montgomery m(n);
    uint64_t d = n - 1;
    const int s = __builtin_ctzll(d);
    d >>= s;
    const uint64_t minus_one = n - m.one;
    for (uint64_t a : SPRP_BASES) {
        uint64_t x = m.power(m.to_form(a), d);
        if (x == m.one || x == minus_one) continue;
        bool witness = true;
        for (int i = 1; i < s && witness; i++) {
            x = m.mul(x, x);
            if (x == minus_one) witness = false;
        }
        if (witness) return false;
    }
    return true;
}

uint64_t gcd64(uint64_t a, uint64_t b) {
    if (a == 0) return b;
    if (b == 0) return a;
    const int shift = __builtin_ctzll(a | b);
    a >>= __builtin_ctzll(a);
    do {
        b >>= __builtin_ctzll(b);
        if (a > b) {
            const uint64_t t = a;
            a = b;
            b = t;
        }
        b -= a;
    } while (b);
    return a << shift;
}

// One run of Brent's cycle search with x -> x^2 + c (in Montgomery form) from
// the start value x0: a divisor of n above 1, n itself when the run failed.
// The differences are multiplied together in batches and one gcd taken per
// batch; a batch that swallows every factor at once is replayed step by step.
uint64_t brent_run(const Montgomery& m, uint64_t c, uint64_t x0) {
    constexpr uint64_t BATCH = 128;
    const uint64_t n = m.n;
    auto step = [&](uint64_t v) { return m.add(m.mul(v, v), c); };
    uint64_t y = x0, x = x0, saved = x0;
    uint64_t q = m.one, g = 1;
    for (uint64_t r = 1; g == 1; r <<= 1) {
        x = y;
        for (uint64_t i = 0; i < r; i++) y = step(y);
        for (uint64_t k = 0; k < r && g == 1; k += BATCH) {
            saved = y;
            const uint64_t len = r - k < BATCH ? r - k : BATCH;
            for (uint64_t i = 0; i < len; i++) {
                y = step(y);
                q = m.mul(q, x > y ? x - y : y - x);
            }
            g = gcd64(q, n);
        }
    }
    if (g == n) {
        do {
            saved = step(saved);
            g = gcd64(x > saved ? x - saved : saved - x, n);
        } while (g == 1);
    }
    return g;
}

// A proper divisor of the odd composite n, checked to divide it.
uint64_t proper_divisor(uint64_t n) {
    const Montgomery m(n);
    for (uint64_t c = 1;; c++) {
        const uint64_t d = brent_run(m, m.to_form(c), m.to_form(c + 1));
        if (d > 1 && d < n && n % d == 0) return d;
    }
}

// *least := min(*least, the least prime factor of n), for n > 1 with no
// prime factor below TRIAL_BOUND (so n odd).
void lower_by_factors(uint64_t n, uint64_t* least) {
    if (is_prime64(n)) {
        if (n < *least) *least = n;
        return;
    }
    const uint64_t d = proper_divisor(n);
    lower_by_factors(d, least);
    lower_by_factors(n / d, least);
}

}  // namespace

uint64_t floor_sqrt64(uint64_t n) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(n)));
    if (r > 0xFFFFFFFFu) r = 0xFFFFFFFFu;
    while (r * r > n) r--;
    while (r < 0xFFFFFFFFu && (r + 1) * (r + 1) <= n) r++;
    return r;
}

bool is_prime64(uint64_t n) {
    if (n < 2) return false;
    for (uint16_t p : trial_primes) {
        if (n == p) return true;
        if (n % p == 0) return false;
    }
    if (n < uint64_t{TRIAL_BOUND} * TRIAL_BOUND) return true;
    return strong_probable_prime(n);
}

uint64_t least_prime_factor64(uint64_t n) {
    if (n < 2) return n;
    for (uint16_t p : trial_primes) {
        if (n % p == 0) return n == p ? 1 : p;
    }
    if (n < uint64_t{TRIAL_BOUND} * TRIAL_BOUND || strong_probable_prime(n)) return 1;
    uint64_t least = n;
    lower_by_factors(n, &least);
    return least;
}

uint64_t trial_least_factor64(uint64_t n) {
    if (n < 2) return n;
    if (n == 2 || n == 3) return 1;
    if (n % 2 == 0) return 2;
    if (n % 3 == 0) return 3;
    const uint64_t s = floor_sqrt64(n) + 2;
    if (s < 5) return 1;
    if (n % 5 == 0) return 5;
    for (uint64_t c = 5;;) {
        const uint64_t d = c + 2;
        if (n % d == 0) return d > s ? 1 : d;   // d > s only when n is d itself
        c += 6;
        if (c > s) return 1;
        if (n % c == 0) return c;
    }
}
