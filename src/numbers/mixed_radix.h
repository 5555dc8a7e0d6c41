// Integers given by their digits in a mixed radix of word primes, as the
// multi-modular routines build them digit by digit (Garner's form).
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/records.h"

// A fresh digit number holding d_0 + p_0 (d_1 + p_1 (d_2 + ...)), the k
// digits oldest first, each in the symmetric range of its prime
// (|d_i| <= p_i / 2, 2 < p_i < 2^32). 0 as one digit 0. Digit mode only.
imag* mixed_radix_number(const int32_t* digits, const uint32_t* primes, size_t k);
