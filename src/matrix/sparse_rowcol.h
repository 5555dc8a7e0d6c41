// Elementary row and column operations on a sparse matrix, for elimination,
// echelon and normal forms. Rows and columns count from 1; `first` is the
// matrix's first frame. No zero is left stored; products are freed or kept.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Row i := row i + c x row j; row j kept.
void sparse_row_add(sparse* first, quoly* c, int32_t i, int32_t j);
// In rows 1..n: element (r, j) := (r, j) + c x (r, k).
void sparse_col_add(sparse* first, quoly* c, int32_t n, int32_t j, int32_t k);
// The row at head := row - mult x pivot_rest (the pivot row's entries right
// of column k); the row's own entry at column k is kept for the caller to
// drop. mult is kept; zero results are unlinked.
void sparse_row_sub_right(colm** head, colm* pivot_rest, quoly* mult, int32_t k);
// Exchanges rows i and j (head pointers only).
void sp_switchrow(sparse* first, int32_t i, int32_t j);
// Exchanges columns i <= j in rows r0..n, relinking at most one entry a row.
void sp_switchcol(sparse* first, int32_t i, int32_t j, int32_t n, int32_t r0);
// *out := the value of (r, r) from the row at index (r - 1) mod 2,048 of
// *frame, which then moves to the next frame when r is a multiple of 2,048.
// A missing diagonal is a fatal internal error (*out := quol_num_0 if it returns).
void sparse_qq_set(int32_t r, sparse** frame, quoly** out);
// *out := the smallest stored column >= r in row r, -1 when none.
void spec2_mod_sparse_findbest(sparse* first, int32_t r, int32_t* out);
// Consumes b: *a := *a - b, null read as 0 on either side; a zero result
// leaves *a null.
void best_quoly_nils_sub(quoly** a, quoly* b);
