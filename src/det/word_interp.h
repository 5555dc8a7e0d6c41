// Interpolation on machine words: from the values of polynomials at the
// same points to their coefficients. The polynomial determinant's levels
// hand every monomial's values (a column) at once, so the work that only
// depends on the points is done once for all columns.
#pragma once
#include <cstddef>
#include <cstdint>

#include "det/word_arith.h"

namespace wordmod {

// For each of ncols columns (vals[c * np + i] the value at xs[i]) the
// np coefficients, constant first, of the polynomial of degree below np
// through those values, into out[c * np + k]. The points are distinct
// residues below p; an all-zero column gives zeros. On wide registers
// the points are taken four at a time.
void interpolate_columns(const uint32_t* xs, size_t np, const uint32_t* vals, size_t ncols, const Prime& P,
                         uint32_t* out);

// The same on scalar words alone, for processors without wide registers.
void interpolate_columns_portable(const uint32_t* xs, size_t np, const uint32_t* vals, size_t ncols,
                                  const Prime& P, uint32_t* out);

}  // namespace wordmod
