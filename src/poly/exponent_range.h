// The exponents a polynomial record can hold, and the one way every routine
// that adds, subtracts or multiplies exponents leaves when a result would
// fall outside them: error 32, the statement abandoned, every stored value
// as it was (the routines check before they change anything, or work on
// copies).
//
// The range is the signed 32-bit word without its most negative value, so
// that an exponent can always be negated (the Laurent shifts do).
#pragma once
#include <cstdint>

constexpr int64_t MAX_EXPONENT = INT32_MAX;
constexpr int64_t MIN_EXPONENT = -int64_t{INT32_MAX};

inline bool exponent_fits(int64_t e) { return e >= MIN_EXPONENT && e <= MAX_EXPONENT; }

// Error 32 with the current token; ends the statement.
[[noreturn]] void exponent_overflow();

inline int32_t checked_exponent(int64_t e) {
    if (!exponent_fits(e)) exponent_overflow();
    return static_cast<int32_t>(e);
}
