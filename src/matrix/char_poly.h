// The characteristic polynomial det(A - xI) of a sparse matrix by the
// Leverrier-Faddeev recurrence, and the Lagrange basis polynomials through
// the points 1 .. m that interpolation of det(A - kI) needs. x is always
// the outermost polynomial variable.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// *result := det(A - xI) of the n x n sparse matrix whose first frame is a
// (never changed). Errors 36 (n not below a machine-word modulus, or
// characteristic 2) and 88 (no work block for the dense iterates) leave
// *result as it was.
void sparse_chpoly(sparse* a, int32_t n, quoly** result);

// *result := L_i(x) = prod_{j != i} (x - j) / prod_{j != i} (i - j) over
// the points j = 1 .. m, for 1 <= i <= m <= 998, in the current ring.
void compute_char_poly(int32_t m, int32_t i, quoly** result);
