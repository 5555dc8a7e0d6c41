// Reference arithmetic on coefficients, written out independently of the
// system's tables: products in the fields of 2^8 and 2^16 elements, and
// sums and products in the current ground ring.
#pragma once
#include <gmpxx.h>

#include <cstdint>

// GF(2^8) = GF(2)[a]/(a^8 + a^4 + a^3 + a + 1), bit i the coefficient of
// a^i: carry-less product, reduced. Operands below 256.
uint32_t gf8_mul(uint32_t a, uint32_t b);

// GF(2^16) = GF(2^8)[b]/(b^2 + 2b + 1), value 256h + l = h b + l:
// (h1 b + l1)(h2 b + l2) = (2 h1h2 + h1l2 + l1h2) b + (h1h2 + l1l2).
uint32_t gf16_mul(uint32_t x, uint32_t y);

// c as the current ground ring holds it: a residue modulo the modulus, a
// field element as given, a machine word wrapped around to 32 bits, or the
// integer itself.
mpz_class ring_reduce(const mpz_class& c);
mpz_class ring_mul(const mpz_class& a, const mpz_class& b);
mpz_class ring_add(const mpz_class& a, const mpz_class& b);

// Word arithmetic of the current modular ring on residues 0 .. modulus-1:
// 64-bit remainders, or under finf exclusive or and the field's product
// table.
uint32_t r_add(uint32_t a, uint32_t b);
uint32_t r_mul(uint32_t a, uint32_t b);
