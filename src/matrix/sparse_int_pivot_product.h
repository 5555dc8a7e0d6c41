// The pivots of sparse_rowreduce's reduction of a small sparse integer
// matrix (the pseudo-determinant's), found without fractions on a dense
// copy: the same choice as sparse_findbest under pivot heuristic 0 among
// the values B / d the rational reduction would hold, and the product of
// those pivots.
#pragma once
#include <cstdint>
#include <vector>

#include "numbers/flat_int.h"
#include "storage/other_records.h"
#include "storage/records.h"

// True when the fraction-free road gives sparse_rowreduce's pivots for the
// n x m matrix of frames first: ordinary integers (not machine-integer or
// modular mode), heuristic 0, every entry a non-zero plain number, and few
// enough cells for a dense copy.
bool sparse_pivot_product_applies(sparse* first, int32_t n, int32_t m);
// The rank r and the product of the r pivots (1 when r = 0); with pairs,
// each pivot's row and then column in the matrix given, from 0. The frames
// are left unchanged; progress is reported as sparse_rowreduce reports it.
int32_t sparse_int_pivot_product(sparse* first, int32_t n, int32_t m, FlatInt* product,
                                 std::vector<int32_t>* pairs);
