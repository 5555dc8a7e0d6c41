// The built-ins that rearrange a stored array in place: Sort, Swapcols and
// Swaprows, Tablemerge (set operations on sorted sparse columns), Reverse
// and STrans.
//
// Each is called with `token` at its name, reads its own arguments, leaves
// its value in *result and the token after the call current. A refused
// argument ends the statement before anything is changed.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

// Sort[a]: the rows of a ordered by their first entries (the monomial
// order of storage/sorting.h), the other columns carried along. Errors
// 178, 28, 182, 369 (dense: an empty cell in the first column), 370
// (sparse: an empty row), 371 (a sort through spsort under way), 372 (more
// than 10,240,000 rows). Value 0.
void builtin_sort(FILE** source, quoly** result, name** pending);
// ([a], i, j): n 92 exchanges columns i and j, n 93 rows i and j (indices
// from addresser). Errors 177, 178, 28, 244, 180, 181, 202, 313, 227, 32,
// 70, 179. Value 0.
void builtin_swap_lines(FILE** source, quoly** result, name** pending, int32_t n);
// ([a], [b], k): a := a intersected with b (k 0), their union (1) or their
// merge, duplicates kept (2); both sparse, every row holding one monomial,
// in ascending order. b is left as it was. Errors 177, 178, 28, 182, 333,
// 70, 227, 32, 373, 1, 370. Value: the rows a holds afterwards.
void builtin_tablemerge(FILE** source, quoly** result, name** pending);
// Reverse[a]: dense, the cells in reverse order; sparse, row i becomes row
// n + 1 - i. Errors 178, 28, 182. Value 0.
void builtin_reverse(FILE** source, quoly** result, name** pending);
// STrans[a]: a sparse matrix becomes its transpose. Errors 178, 28, 182,
// 333. Value 0.
void builtin_strans(FILE** source, quoly** result, name** pending);
