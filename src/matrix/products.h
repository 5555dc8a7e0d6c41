// Matrix products over quoly cells: dense by dense (with a machine-word path
// for numeric matrices in modular or machine-integer mode), sparse by sparse,
// sparse by dense, dense by sparse, a sparse matrix by a scalar, and the
// dense product by Winograd's inner-product scheme.
//
// Dense matrices are column-major cell vectors (cell (i, j) from 0 at
// i + j x rows). Operands are kept unless `consume` says A's old cells or
// frames belong to the product; B is never changed. No routine stores a
// zero in a sparse result.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// The shape of an operand: its cell count and its rows (columns = count / rows).
struct mat_shape {
    int64_t count;
    int32_t rows;
};

// A := A x B. Inner size = b_shape.rows; B has b_shape.count / inner
// columns, none when the inner size is 0 (no division: the product is then
// empty, rows(A) x 0; the routines below, given the column count, give zeros).
// *a_slot not null: A is sparse; *b_slot likewise. The result replaces A: in
// *a_slot when both are sparse, else dense in a_cells (*a_slot := null).
// When B is sparse and A dense, b_cells is scratch for rows(A) x cols(B)
// cells. Error 43 for a dense product beyond 1,000,000 cells.
void matrix_mult(quoly** a_cells, quoly** b_cells, mat_shape* a_shape, const mat_shape* b_shape, int consume,
                 sparse** a_slot, sparse** b_slot);
// *a_slot := A x B for sparse A (rows_a rows) and B (rows_b x cols_b); A
// freed when consume; B unchanged.
void mult_sparses(sparse** a_slot, sparse** b_slot, int32_t rows_a, int32_t rows_b, int32_t cols_b, int consume);
// out := A x B for sparse A and dense B (rows_b x cols_b); A freed when consume.
void mult_sparse_norm(sparse** a_slot, quoly** b_cells, quoly** out, int consume, int32_t rows_a, int32_t rows_b,
                      int32_t cols_b);
// out := A x B for dense A and sparse B; both unchanged.
void mult_norm_sparse(quoly** a_cells, quoly** out, sparse** b_slot, int32_t rows_a, int32_t rows_b,
                      int32_t cols_b);
// c x A for sparse A (rows rows): in place (entries that become 0 removed),
// or into a new matrix in *a_slot (the old one stays with its owner).
void mult_cons_sparse(sparse** a_slot, quoly* c, int in_place, int32_t rows);
// R := A x B by Winograd's scheme, A m x n, B n x p, R distinct from both
// (m x p new cells).
void fast_mat_mult(quoly** a, quoly** b, quoly** r, int32_t m, int32_t n, int32_t p);
