// Reading a Chinese-remainder image as fractions: the monic gcd over an
// extension field has rational coefficients, which images modulo primes
// determine once their modulus is large enough against numerators and
// denominators both.
#pragma once
#include <cstdint>

#include "storage/records.h"

// A new polynomial: G (digit numbers in 0 .. M - 1) with each coefficient
// replaced by the fraction a/b congruent to it modulo M with |a| and b at
// most sqrt(M / 2), then multiplied by the least common denominator and
// divided by its integer content, its leading number made positive. Null
// when some coefficient has no such fraction (M too small yet). *bits :=
// the bit length of the largest |a| or b met.
polynode* rational_lift(polynode* G, imag* M, int32_t* bits);
