// Exchanges, fills and initialisations of dense matrices: arrays in the
// cell store (index k at page k >> 10, slot k & 1023) or vectors of n x n
// quoly pointers, column by column (element (r, c) from 0 at c x n + r).
// Exchanges move pointers only.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// In the cell store from index `first` (rows cells a column): code 93 (']')
// exchanges rows i and j over row_length columns, any other code columns i
// and j over column_length rows; i and j from 0.
void switchrow_col(int code, int32_t i, int32_t j, int32_t first, int32_t rows, int32_t column_length,
                   int32_t row_length);
// Exchanges columns i and j (n cells each) of a vector matrix.
void swap_cols(quoly** v, int32_t i, int32_t j, int32_t n);
// Exchanges rows i and j in columns 0..i-1 only (column stride n).
void spec_swap_rows(quoly** v, int32_t i, int32_t j, int32_t n);
// The rows x columns pointers of v move into the cells from index first.
void fillup(int32_t rows, int32_t columns, int32_t first, quoly** v);
// Reverses the order of a's dense cells.
void reverse_array(array* a);
// v := the n x n identity; owned: the old values are freed, else forgotten.
void identi(quoly** v, int32_t n, int owned);
// Cells (r, c), r <= c, := 1 on the diagonal, 0 above (old values forgotten).
void uppertri(quoly** v, int32_t n);
// The image of x under the recorded exchanges, first node first: a node
// whose first two words hold (a, b) maps a to b and b to a.
int32_t permute(const col* list, int32_t x);
