// Whole sparse matrices at once: copies, transposes, row reversal,
// conversion from dense cells, filling with a scalar, the diagonal, and the
// merge and union of sorted one-column monomial arrays. n is the source's
// row count. A new chain has a head for every row and its last link null.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// ---- copies (the caller owns the copy) ----
// *dst := a copy of *src (values by quoly_assign, or quoly_makeneg with negate).
void copy_sparse(sparse** src, sparse** dst, int32_t n, int negate);
// *dst := an integer-valued copy: each value the one-word value of the
// entry's number. Release it with free_sparse_frame.
void special_copy_sparse(sparse* src, sparse** dst, int32_t n);
// *dst := a copy whose values are one_var_quoly_assign's.
void one_var_copy_sparse(sparse** src, sparse** dst, int32_t n);
// Negates *slot: in place when *owned, else *slot := a negated copy (the old
// matrix stays with its owner) and *owned := 1.
void sparse_makeneg(sparse** slot, int32_t n, int* owned);
// The system array into the destination: its matrix (n rows) by copy_sparse
// into *dst_frame, else its dense cells 0..last copied into cells.
void copy_syst(quoly** cells, int32_t n, sparse** dst_frame);

// ---- moving entries ----
// In place: the n x m matrix becomes its m x n transpose (old frames freed).
void trans_sparse(sparse** slot, int32_t n, int32_t m);
// *dst := a shared-value index of the transpose (m rows); src unchanged.
// It must not outlive src; release it with free_sparse_frame.
void flip_sparse(sparse** src, sparse** dst, int32_t n, int32_t m);
// In place: row i becomes row n + 1 - i.
void reverse_sparse(sparse** slot, int32_t n);

// ---- dense and sparse ----
// Empties a's matrix, then stores the dense cells (a->rows x c, column by
// column) into it: moved pointers with move (the caller drops the cells),
// else copies. Plain-number zeros and empty cells are left out.
void standard_to_sparse(array* a, quoly** cells, int32_t c, int move);
// Turns the dense array a into a sparse one in place: its values move into
// entries, its cells leave the store (later arrays move down). An alias of
// a (a record with the negated stamp) gets warning 342, shares the new
// frames, and error 342 follows once the conversion is complete.
void fill_sparse(array* a);
// Empties a's matrix; unless q is zero, every element of the rows x c
// matrix becomes a copy of q.
void sparse_set_scalar(array* a, int32_t c, quoly* q);
// The Diag statement: the m = min(rows, columns) diagonal elements of the
// source (*frame when not null, else the dense cells src) into dst[0..m-1].
// rec is the record that holds the cell count (set to m, its rows to 1);
// *rows holds the row count and receives m. Consume clear: dst receives
// the diagonal quolys themselves (quol_num_0 for a missing sparse one) and
// *frame is only forgotten. Consume set: dense cells move (the others are
// freed); sparse elements are copied and the matrix freed.
void extract_diagonal(quoly** dst, quoly** src, array* rec, int consume, int32_t* rows, sparse** frame);

// ---- sorted one-column monomial arrays ----
// A := the merge (synth_merge) or union (synth_union) of A and B, both one
// entry per row in ascending monomial order; row lists are moved out of
// both (B's skipped duplicates stay in B, whose release is the caller's).
// Returns A's new row count.
int32_t synth_merge(array* a, array* b);
int32_t synth_union(array* a, array* b);
