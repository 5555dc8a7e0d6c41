// Read-only tests and measures of matrices, and the size formulas by which
// the determinant, inverse and normal-form routines choose a method or pace
// their progress reports. Sparse scans cover rows 1..n from the first frame.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

extern int32_t mincutoff;   // cap on the integer determinant's elimination steps (1,000,000)

// 1 when every stored element is a plain number (also for no element).
int sparse_allnumbs(sparse* first, int32_t n);
// *all := 1, cleared when some element is not a plain number; returns 0 at
// the first element with a denominator, else 1.
int sparse_allpolys(sparse* first, int32_t n, int* all);
// Clears *flag when some row holds an entry; otherwise leaves it.
void sparse_iszero(sparse* first, int32_t n, int* flag);
// Entries whose value word, read as a signed integer, is at least 1 (the
// vertex labels of the Hamiltonian-path layouts).
int32_t quick_row_mass(const colm* list);
// The smallest variable depth among the numerators of the non-number
// elements; 16,384 when there is none.
int32_t sparse_polydepth(sparse* first, int32_t n);
// 1 when every non-number element is a polynomial without denominator in
// one and the same variable level with constant coefficients.
int sparse_one_var_polys(sparse* first, int32_t n);
// Bits of a big integer from its top digit d and digit count c.
int32_t size_of(int32_t d, int32_t c);
// Cost weight of an n x n matrix for the pseudo-determinant choice.
double fsmallsize(int32_t n);
// mincutoff from the matrix size.
void set_min_cut(int32_t n);
// Progress-report interval for an n x n matrix.
int32_t disper(int32_t n);
// Some polynomial variable has a mod-out relation that makes a field.
int doing_polymod_field();
