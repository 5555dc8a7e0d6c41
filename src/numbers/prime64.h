// Primality and the least prime factor of unsigned 64-bit integers, fast
// enough for the interactive primality test on values near 2^63: trial
// division by the primes below 2^10, a strong-probable-prime test whose
// fixed bases decide every value below 2^64, and Pollard's rho in Brent's
// form on Montgomery residues for what is left.
#pragma once
#include <cstdint>

// True exactly when n is prime (deterministic for every 64-bit n).
bool is_prime64(uint64_t n);

// 0 for 0, 1 for 1 and for a prime, else the least prime factor of n.
uint64_t least_prime_factor64(uint64_t n);

// floor(sqrt(n)).
uint64_t floor_sqrt64(uint64_t n);

// The same answer by plain trial division with 2, 3, 5 and then the numbers
// 6k -+ 1 up to the square root: about sqrt(n) / 3 divisions, so only for
// small n or as a reference.
uint64_t trial_least_factor64(uint64_t n);
