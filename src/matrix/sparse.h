// The sparse matrix store: row lists of `colm` entries in chains of 2,048-row
// frames, and the element operations on them.
//
// Invariants after every operation: each row list strictly ascending by
// column (from 1), no entry beyond the owner's column count, no stored
// value that is the plain number 0 (the find-or-make protocol holds one for
// a moment). An absent element reads as the shared quol_num_0. Row and
// column counts belong to the owner (an array record or the caller), who
// passes the row count n to whole-matrix operations; heads past row n of
// the last frame are never read. Entries come from colm_garb, else
// colmstash; frames from spargarb, else the heap; whole row lists and
// frame chains go back in one relink.
//
// Entries own their quolys, except in the shared-value indexes of
// flip_sparse and the integer-valued copies, which are released with
// free_sparse_frame.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Called, when set, with the row head and column of every element
// sparse_zero_set or sparse_set finds or makes, and of every absent element
// the integer evaluator stores 0 into: a write that leaves no entry is
// otherwise invisible.
extern void (*sparse_element_written)(colm** head, int32_t col);

// A new entry from colm_garb or the stash; fields unset.
colm* take_colm();
// The frame holding row r (from 1) of the chain at f; null past its end.
sparse* row_frame(sparse* f, int32_t r);
// The head slot of row r (from 1).
inline colm** row_head(sparse* f, int32_t r) {
    return &row_frame(f, r)->row[(r - 1) % SPARSE_FRAME_ROWS];
}
// A new chain of (n - 1) div 2,048 + 1 frames, heads of rows 1..n null, last link null.
sparse* new_frame_chain(int32_t n);
// Gives a frame chain to spargarb in one relink.
void give_back_frames(sparse* first);
// Gives a row list to colm_garb in one relink (values not freed).
void give_back_list(colm* first);

// ---- whole matrices ----
void sparse_init(sparse** slot, int32_t n);                 // empty matrix of n rows
// The n x n identity into *slot; owned: the old matrix (n rows) is freed first.
void spar_identi(sparse** slot, int32_t n, int owned);
// owned: every quoly and entry of rows 1..n and the frames freed; otherwise
// only forgotten. The slot becomes null; an empty slot is left alone.
void free_sparse(sparse** slot, int32_t n, int owned);
void free_sparse_frame(sparse** slot, int32_t n);           // entries and frames, not the quolys
void free_stuff(sparse* first, int32_t n);                  // the same for a chain given directly
// Row by row 1..n: B's row freed, A's row moved into B, A's head nulled.
void put_back_sparse(sparse* a, sparse* b, int32_t n);
// Every value becomes the machine integer of its quoly's number; the quolys are freed.
void move_data_into_quoly(sparse* first, int32_t n);
// The inverse: every value word becomes a plain-number quoly holding it. A
// value 0 is reported as an internal fault and its entry dropped.
void move_data_outof_quoly(sparse* first, int32_t n);

// ---- elements of an array record (subscripts offset by addresser) ----
// A copy of *q as a new entry (nothing for the plain number 0). The element must be absent.
void sparse_insert(int32_t first, int32_t second, array* a, int twosub, quoly** q);
// A new entry holding the quoly 0; *out := its value slot. The element must be absent.
void sparse_set(int32_t first, int32_t second, array* a, quoly*** out, int twosub);
// The same in a located row: linked in column order.
void sparse_zero_set(colm** head, int32_t col, quoly*** out);
// Removes the column's entry when it holds the plain number 0.
void purge_sparse(colm** head, int32_t col);
// The integer evaluator's store: set (flag non-zero) or add v. The sum is
// taken in the ring's word arithmetic: residues, or an exact one-digit
// integer (beyond one digit error 32 ends the statement, nothing written).
// A zero result removes the entry.
void isparse_insert(int32_t first, int32_t second, int32_t v, array* a, int twosub, int set);
// Unlinks and frees the element's entry. Absent: nothing.
void sparse_delete(int32_t first, int32_t second, array* a, int twosub);
// The element (row, column from 1) or quol_num_0; never allocates.
quoly* spar_retrieve(sparse* first, int32_t row, int32_t col);
// *out := the link slot where column col's entry is or would be linked.
void get_sparse_colm(sparse* frame, int32_t row, int32_t col, colm*** out);
// The value slot of column col in the row at *head (or null), then moves
// *head to row r + 1 (crossing to the next frame after a multiple of 2,048).
quoly** get_sparse(int32_t r, int32_t col, colm*** head, sparse** frame);
// Frees the first entry of *list and its quoly; *list := its next.
void free_colm(colm** list);
// Rows of array a's element (first, second): row from 1 and column from 1.
void sparse_subscripts(const array* a, int32_t first, int32_t second, int twosub, int32_t* row,
                       int32_t* col);
