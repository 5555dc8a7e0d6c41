// Determinant of a small dense matrix by expansion in cofactors along the
// line with the most zeros, recursively. Works on any values.
#pragma once
#include <cstdint>

#include "storage/records.h"

// *result := det of the n x n column-major cells (n >= 2; at most 40). The
// cells' order is changed during the call and put back; no value changes.
// trace prints one progress step per top-level term.
void small_determ(quoly** result, quoly** cells, int32_t n, int trace);
