// The number built-ins on primes: the primality test (1 for a prime, else
// the least prime factor) and the n-th prime. Each takes its argument, a
// plain number the caller has checked, in the slot and replaces it there
// with the value (in place); refused arguments go to the error routine with
// the current token, and when it returns the slot holds 0.
#pragma once
#include <cstdint>

#include "storage/records.h"

// Largest n the n-th prime accepts (error 346 above it and below 1).
constexpr int32_t NTH_PRIME_LIMIT = 15000;

// *slot := 0 below 2, 1 for a prime, else the least prime factor. The
// machine value in machine-integer mode; otherwise digit numbers below 2^63
// (three base-2^28 digits, the leading one at most 127), error 289 beyond.
// A factor of 2^28 or more is a two-digit number.
void isprime_value(quoly** slot);

// *slot := the n-th prime (2, 3, 5, ...) for n in 1 .. 15,000, error 346
// otherwise; in modular mode reduced modulo the modulus, as a typed
// constant would be.
void nth_prime(quoly** slot);
