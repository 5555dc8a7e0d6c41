// The Smith form's pivot phase on a flat copy of a sparse integer matrix
// worked modulo m without transforms: rows of (column, digit array) pairs
// read from the chains once and written back once, so that the many
// reduction steps neither walk digit chains nor build a record per changed
// entry. The pivots, every step and every value are those of the chain
// road (sparse_phaseone with both set), and so are the progress lines.
#pragma once
#include <cstdint>

#include "matrix/sparse_int_steps.h"

// True when the flat road serves w: a modulus is set, no transform is
// kept, ordinary integers (not machine-integer mode) and every entry a
// plain number.
bool flat_pivots_apply(const SparseIntWork* w);
// sparse_phaseone(w, first_pivot, 1, nullptr, sign) on the flat copy; the
// matrix's chains hold the result afterwards.
int32_t flat_smith_pivots(SparseIntWork* w, int32_t first_pivot, int* sign);
