// Residue arithmetic on machine words modulo one odd or even prime p below
// 2^31, without the ground ring's globals: the inner loops of the
// polynomial determinant run on these. A multiplier used many times is
// prepared once (Shoup), a 63-bit sum of products is reduced by Barrett.
#pragma once
#include <cstddef>
#include <algorithm>
#include <cstdint>

namespace wordmod {

// a^-1 modulo m (any m >= 2, a of either sign); 0 when gcd(a, m) != 1.
int64_t inverse_mod(int64_t a, int64_t m);

struct Prime {
    uint32_t p;
    uint64_t mu;     // floor(2^64 / p): Barrett's reciprocal
    uint64_t lazy;   // products of residues a sum below p may take on before 2^64
    explicit Prime(uint32_t prime)
        : p(prime),
          mu(~uint64_t{0} / prime),
          lazy(prime <= 2 ? uint64_t{1} << 40
                          : std::min<uint64_t>((~uint64_t{0} - prime) / (uint64_t{prime - 1} * (prime - 1)),
                                               uint64_t{1} << 40)) {}

    // x mod p for any x below 2^64.
    uint32_t reduce(uint64_t x) const {
        const uint64_t q = static_cast<uint64_t>((static_cast<unsigned __int128>(x) * mu) >> 64);
        uint64_t r = x - q * p;
        while (r >= p) r -= p;
        return static_cast<uint32_t>(r);
    }
    uint32_t add(uint32_t a, uint32_t b) const {
        const uint32_t s = a + b;   // below 2^32: both are below 2^31
        return s >= p ? s - p : s;
    }
    uint32_t sub(uint32_t a, uint32_t b) const { return a >= b ? a - b : a + (p - b); }
    uint32_t mul(uint32_t a, uint32_t b) const { return reduce(uint64_t{a} * b); }
    uint32_t pow(uint32_t a, uint64_t e) const {
        uint32_t r = 1 % p;
        while (e) {
            if (e & 1) r = mul(r, a);
            a = mul(a, a);
            e >>= 1;
        }
        return r;
    }
    // sum a_i b_i mod p over len residues.
    uint32_t dot(const uint32_t* a, const uint32_t* b, size_t len) const {
        uint64_t s = 0;
        size_t i = 0;
        while (i < len) {
            const size_t end = len - i > lazy ? i + lazy : len;
            for (; i < end; i++) s += uint64_t{a[i]} * b[i];
            s = reduce(s);
        }
        return static_cast<uint32_t>(s);
    }
    // a^-1 for a not divisible by p (0 for 0).
    uint32_t inv(uint32_t a) const;
    // Each of the count residues replaced by its inverse, with one inverse
    // in all; none may be 0.
    void invert_all(uint32_t* a, size_t count) const;
};

// A fixed multiplier w < p with its Shoup companion floor(w 2^32 / p).
struct Multiplier {
    uint32_t w, ws, p;
    Multiplier(uint32_t w_, const Prime& P)
        : w(w_), ws(static_cast<uint32_t>((uint64_t{w_} << 32) / P.p)), p(P.p) {}
    // a w mod p for a < 2^32.
    uint32_t times(uint32_t a) const {
        const uint32_t q = static_cast<uint32_t>((uint64_t{a} * ws) >> 32);
        const uint32_t r = a * w - q * p;   // the true remainder plus 0 or p, below 2^32
        return r >= p ? r - p : r;
    }
};

// det of the n x n residues a (row-major, destroyed) modulo the prime:
// fraction-free elimination, one inverse at the end. A pending interrupt
// is served at every pivot.
uint32_t det(uint32_t* a, int32_t n, const Prime& P);
// The same on scalar words alone, for processors without wide registers.
uint32_t det_portable(uint32_t* a, int32_t n, const Prime& P);

}  // namespace wordmod
