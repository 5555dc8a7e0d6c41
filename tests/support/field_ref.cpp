#include "support/field_ref.h"

#include "numbers/residue.h"
#include "numbers/ring.h"

uint32_t gf8_mul(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int i = 0; i < 8; i++)
        if (b >> i & 1) r ^= a << i;
    for (int i = 14; i >= 8; i--)
        if (r >> i & 1) r ^= 0x11Bu << (i - 8);
    return r;
}

uint32_t gf16_mul(uint32_t x, uint32_t y) {
    uint32_t h1 = x >> 8, l1 = x & 0xFF, h2 = y >> 8, l2 = y & 0xFF;
    uint32_t hh = gf8_mul(h1, h2);
    uint32_t high = gf8_mul(2, hh) ^ gf8_mul(h1, l2) ^ gf8_mul(l1, h2);
    uint32_t low = hh ^ gf8_mul(l1, l2);
    return high << 8 | low;
}

mpz_class ring_reduce(const mpz_class& c) {
    if (modularmode) {
        if (finf) return c;
        mpz_class r;
        mpz_fdiv_r_ui(r.get_mpz_t(), c.get_mpz_t(), static_cast<unsigned long>(modulus));
        return r;
    }
    if (lintmode) {
        // Machine words wrap around.
        mpz_class r;
        mpz_fdiv_r_2exp(r.get_mpz_t(), c.get_mpz_t(), 32);
        if (r >= mpz_class(1) << 31) r -= mpz_class(1) << 32;
        return r;
    }
    return c;
}

mpz_class ring_mul(const mpz_class& a, const mpz_class& b) {
    if (f256) return gf8_mul(static_cast<uint32_t>(a.get_ui()), static_cast<uint32_t>(b.get_ui()));
    if (f2t16) return gf16_mul(static_cast<uint32_t>(a.get_ui()), static_cast<uint32_t>(b.get_ui()));
    return ring_reduce(a * b);
}

mpz_class ring_add(const mpz_class& a, const mpz_class& b) {
    if (finf) return mpz_class(a ^ b);
    return ring_reduce(a + b);
}

uint32_t r_add(uint32_t a, uint32_t b) {
    if (finf) return a ^ b;
    return static_cast<uint32_t>((uint64_t{a} + b) % static_cast<uint32_t>(modulus));
}

uint32_t r_mul(uint32_t a, uint32_t b) {
    if (finf) return static_cast<uint32_t>(modmult(static_cast<int32_t>(a), static_cast<int32_t>(b)));
    return static_cast<uint32_t>(uint64_t{a} * b % static_cast<uint32_t>(modulus));
}
