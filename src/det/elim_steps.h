// The steps of dense elimination on an n x n column-major vector of quoly
// pointers (row i, column j from 0 at j*n + i), with k the 1-based pivot
// index: the pivot sits at (k-1, k-1). Multipliers may be recorded on a
// list of `col` nodes, newest first: (first, second, factor), the indices
// held in the first two words and the factor (a quoly of the list's own,
// or null) in the third. Residue cells hold the residue in their number's
// value word and are changed in place.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Pushes (a, b, f) on *list; f is taken over.
void push_col(col** list, int32_t a, int32_t b, quoly* f);
int32_t col_first(const col* c);
int32_t col_second(const col* c);
quoly* col_factor(const col* c);
// Frees every factor and gives the nodes back to colgarb.
void free_col_list(col** list);

// Exchanges rows i and j (from 0) over all n columns when whole is set,
// else over columns i .. n-1; with negate set *det changes sign.
void swap_rows(quoly** det, quoly** cells, int negate, int whole, int32_t i, int32_t j, int32_t n);

// Scales row k-1 so that its pivot becomes 1. With record set the pivot
// goes on the list as (k-1, k-1, pivot), else *det is multiplied by it.
void divide_thru(quoly** det, quoly** cells, int record, int32_t k, int32_t n, col** list);
// The same on residues.
void numb_divide_thru(quoly** det, quoly** cells, int record, int32_t k, int32_t n, col** list);
// Clears column k-1 below the pivot (a pivot of 1), recording (k-1, i, e)
// for the entry e of each row i it subtracts from.
void zero_out(quoly** cells, int32_t k, int32_t n, int modular, col** list);
// The same without records; column k-1 below the pivot is left as it was.
void simple_zero_out(quoly** cells, int32_t k, int32_t n, int modular);

// *det := *det / f for a factor known to divide it. With flag set and both
// polynomial, the numerator is divided exactly: an inexact division is
// error 305 and leaves *det as it was.
void divide_fct(quoly** det, polynode* f, int flag = 1);
