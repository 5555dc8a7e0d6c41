// Random values as quolys: the inline built-ins that draw a random number
// and the cells of random arrays.
#pragma once
#include <cstdint>

#include "storage/records.h"

// The 28-bit random integer: two 14-bit halves of two generator draws
// (each capped at 2^14 - 1).
int32_t random_28bit();
// *slot := a random 28-bit integer (with use_clock: the processor clock
// added, masked to 28 bits) divided by the random denominator, in lowest
// terms; in modular mode the integer is reduced modulo the modulus first
// and the quotient is the residue's. Result slot: free-first.
void randomize(int use_clock, quoly** slot);
