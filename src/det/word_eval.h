// Many polynomials in one variable evaluated at one point on machine
// words: the inner step of the innermost interpolation level, where every
// cell of a matrix is evaluated at each point.
#pragma once
#include <cstddef>
#include <cstdint>

#include "det/word_arith.h"

namespace wordmod {

// out[c] = sum_k planes[k * count + c] xpow[k] mod p for c < count: plane k
// holds every polynomial's coefficient of x^k, and xpow[k] = x^k for
// k < len. On wide registers four polynomials at a time when the sums fit
// in 64 bits (len <= 4).
void evaluate_planes(const uint32_t* planes, const uint32_t* xpow, size_t len, size_t count, const Prime& P,
                     uint32_t* out);

// The same on scalar words alone, for processors without wide registers.
void evaluate_planes_portable(const uint32_t* planes, const uint32_t* xpow, size_t len, size_t count,
                              const Prime& P, uint32_t* out);

}  // namespace wordmod
