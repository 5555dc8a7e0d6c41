// The word determinant on wide vector registers, where the processor has
// them: four entries of a row updated at once, each sum of two products
// reduced by Montgomery's method rather than by a 128-bit product.
#pragma once
#include <cstdint>

#include "det/word_arith.h"

namespace wordmod {

// det of the n x n residues a (row-major, destroyed) modulo the odd prime
// into *value, as det() computes it; false, with a untouched, when the
// processor lacks the vector instructions or the prime is 2.
bool det_wide(uint32_t* a, int32_t n, const Prime& P, uint32_t* value);

}  // namespace wordmod
