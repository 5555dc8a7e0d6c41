// Determinants of many word matrices at once: the innermost interpolation
// level evaluates one matrix of polynomials at every point and needs each
// determinant. Four points' matrices lie side by side in the lanes of wide
// registers, so every vector operation serves four determinants, and the
// scalings of all points are inverted together.
#pragma once
#include <cstddef>
#include <cstdint>

#include "det/word_arith.h"

namespace wordmod {

// Four n x n matrices interleaved, entry (i, j) of matrix l at
// a[(i * n + j) * 4 + l], residues below the odd prime (destroyed): each
// determinant as num[l] / den[l], den[l] never 0 (num[l] = 0, den[l] = 1
// for a singular matrix). False, with nothing touched, when the processor
// lacks the vector instructions or p is 2. A pending interrupt is served
// at every pivot.
bool det_lanes4(uint64_t* a, int32_t n, const Prime& P, uint32_t* num, uint32_t* den);

// out[i] = det(sum_k planes_k xs[i]^k) for i < np: plane k (len of them)
// holds the n x n coefficients of x^k row-major.
void determinants_at_points(const uint32_t* planes, size_t len, int32_t n, const uint32_t* xs, size_t np,
                            const Prime& P, uint32_t* out);

// The same one point and one determinant at a time on scalar words.
void determinants_at_points_portable(const uint32_t* planes, size_t len, int32_t n, const uint32_t* xs,
                                     size_t np, const Prime& P, uint32_t* out);

}  // namespace wordmod
