// Determinants of sparse matrices by recursive Laplace expansion along the
// sparsest row or column, each minor of a middle size computed once (the
// minor stash). Two twins: quoly entries with quoly arithmetic, and (in
// modular mode, every entry a plain number) residues with word arithmetic.
//
// The expansion works on a private copy of the matrix, whose entries carry
// the column field c * 32769: the quotient by 32,768 is the entry's column
// in the full matrix, the remainder its position among the columns still
// present. Rows and columns are unlinked and relinked in place; every one
// taken out is put back, and the copy, the key and the stash are freed, on
// every exit, errors and interrupts included. The caller's matrix is only
// read.
//
// One expansion at a time: a second one (from a nested command level
// opened while one runs) is error 309. n above 32,766 is error 310.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

extern long sp_total_cnt;   // branches of the running expansion (one per term); 0 when none runs
extern long sp_lowcnt;      // leaves: 1 x 1 minors and empty lines met
extern int minors_running;  // an expansion is under way

// *result := the determinant of the n x n matrix at *matrix (n >= 2).
// `copied` and `zero` are accepted for the callers' sake; the caller's
// matrix is never changed whatever *copied says.
void sparse_minors_det(quoly** result, sparse** matrix, int32_t n, int* copied, int zero);
// The same on plain-number entries in modular mode: *result := the
// determinant as a residue modulo `modulus`.
void int_sparse_minors_det(int32_t* result, sparse** matrix, int32_t n, int* copied, int zero);

// The memory check after each minor: false when memory is low and the
// free lists short (store nothing); with memory back on the free lists
// after purges, the stash window and purge size are restored.
bool minors_may_store(int modular);

// A removed-column record, and a renumbering record (only `entry` used):
// where the entry was linked, the entry, its row and column position.
struct minor_fix {
    colm** link;
    colm* entry;
    int32_t row;
    int32_t pos;
    minor_fix* next;
};

// Column number col out of rows 1..m of the working matrix, the entries to
// its right renumbered; and back. Removals and restorations nest strictly.
void remove_col(sparse* frame, int32_t col, int32_t m, minor_fix** removed, minor_fix** renumbered);
void restore_col(int32_t col, minor_fix* removed, minor_fix* renumbered);

// Clears column col's bit, or the bit of the r-th row still present, in the
// key; *bit and *word tell where, so that the caller can set it again.
void update_col_list(imag* key, int32_t col, int32_t* bit, numnode** word);
void update_row_list(imag* key, int32_t r, int32_t* bit, numnode** word);
