// Sums of sparse matrices and elementwise arithmetic on them: A ± B, a
// sparse matrix into dense cells, the sum of all elements and of the
// diagonal, a scalar onto the diagonal, remainder or quotient of every
// element, and the position of an extreme element. Every result keeps the
// sparse invariants (ascending columns, no stored zero).
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// *a := A + B (add 1) or A - B (add 0), n rows. A disposable operand may be
// changed or consumed; the other is left as it was:
//   A only:   A changed in place, B read;
//   both:     B merged into A and consumed (*b := null);
//   B only:   B changed in place to A ± B and moved to *a (*b := null; A's
//             old matrix stays with its owner);
//   neither:  *a := a new matrix built from copies.
void add_sparses(sparse** a, sparse** b, int a_disposable, int b_disposable, int32_t n, int add);
// X := X ± Y in place, Y unchanged; reversed: X stands for B and Y for A,
// so the result is still A ± B.
void add_onto(sparse* x, sparse* y, int reversed, int add, int32_t n);
// Each stored element of the sparse matrix (rows rows) added to (add 1) or
// subtracted from the dense cell at its place; consume: the sparse matrix
// is freed as it is read.
void add_one_sparse(quoly** cells, int32_t rows, int consume, sparse* first, int add);
// Free-first: *r := the sum of all stored elements of rows 1..n.
void sparse_sum(quoly** r, sparse* first, int32_t n);
// Free-first: *r := the sum of the stored elements (i, i), i = 1..n.
void sparse_trace(quoly** r, sparse* first, int32_t n);
// Free-first: *r := the sum of cells[0 .. count - 1] (empty cells count 0).
// Under integerflag the words are added in the ring's word arithmetic,
// exactly: a sum beyond one digit is error 32 and ends the statement.
void sum_arr(quoly** cells, int32_t count, quoly** r);
// c added to every diagonal element (i, i), i = 1..n; nothing for c = 0.
void add_to_diag(quoly* c, sparse* first, int32_t n);
// Every element := element rem d (op '|') or quo d (any other op): in place,
// or into a new matrix in *slot (the old one stays with its owner).
void sparse_mod_or_div(sparse** slot, quoly* d, int32_t n, int in_place, int op);
// *pos := the column-major linear index (from addresser) of the largest
// element (maximum), the smallest, or the smallest above 0 (positive), of
// the n x m matrix, implicit zeros included except in the positive mode;
// addresser - 1 when none qualifies. A value that is not a plain number is
// error 119.
void sparse_max_min(sparse* first, int32_t n, int32_t m, int maximum, int positive, int64_t* pos);
