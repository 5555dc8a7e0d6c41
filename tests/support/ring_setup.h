// Ground rings switched on for the scope of a test.
#pragma once
#include <cstdint>

#include "numbers/ring.h"
#include "poly/polyvars.h"

// The integers (m = 0) or the residues modulo the prime m, with the data
// tables loaded and the work arrays ready; the ring, its flags and the
// statement depth are restored at the end of the scope.
struct PrimeRing {
    RingStateGuard saved;
    int32_t depth;
    explicit PrimeRing(int32_t m);
    ~PrimeRing();
    PrimeRing(const PrimeRing&) = delete;
    PrimeRing& operator=(const PrimeRing&) = delete;
};

// The ground rings the arithmetic is checked in: big integers in digit
// chains, integers in machine words, residues modulo small, mid-size and
// near-word primes, and the fields of 2^8 and 2^16 elements.
enum class RingMode { digits, words, residues };

struct RingChoice {
    const char* name;
    RingMode mode;
    int32_t modulus;
};

extern const RingChoice kRingChoices[7];

// The polynomial-variable globals tests change (the count of variables, the
// field depth, Laurent exponents), restored at the end of the scope.
struct VarGlobalsGuard {
    int32_t s_number_polys = number_polys;
    int16_t s_field_depth = field_depth;
    int s_laurent = laurent;
    ~VarGlobalsGuard() {
        number_polys = s_number_polys;
        field_depth = s_field_depth;
        laurent = s_laurent;
    }
};

// n is prime, by trial division.
bool naive_prime(uint64_t n);

// Cancels every polynomial variable: the list, its count and the names.
void drop_all_poly_vars();

// Puts the ground ring into modular mode modulo m, primality by trial
// division; the caller's guard restores it.
void use_modulus(int32_t m);
