// Elementary operations on sparse matrices whose entries are plain-number
// quolys holding residues of the current prime modulus (or elements of
// GF(2^8) / GF(2^16)): the transforms the modular echelon routines build.
// Rows and columns count from 1; first is the matrix's first frame; no
// residue 0 is left stored.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Row target := row target + f x row source (target != source).
void sparse_mod_row_add(sparse* first, int32_t f, int32_t target, int32_t source);
// In rows 1..n: column target := column target + f x column source.
void sparse_mod_col_add(sparse* first, int32_t f, int32_t n, int32_t target, int32_t source);
// In rows 1..n: the entry in column c := f x that entry (f non-zero).
void sparse_mod_mult_col(sparse* first, int32_t f, int32_t n, int32_t c);
// Row r := f^-1 x row r. f = 0 is the fatal internal error "bad seca.".
void sparse_mod_divide_row(sparse* first, int32_t f, int32_t r);
