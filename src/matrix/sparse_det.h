// Determinants of n x n sparse matrices by elimination on the row lists:
// Gaussian elimination over the quotient field, and fraction-free
// (Gauss-Bareiss) elimination in which every new entry is divided exactly
// by the previous pivot. Each pivot comes from the sparse pivot search.
//
// in_place non-zero: the matrix is consumed (eliminated where it lies; the
// caller frees what is left). Zero: a private copy is worked on and freed,
// and the caller's matrix is not touched. n above 50,000 is error 375.
// Every exit, errors and interrupts included, frees the copy, closes the
// progress level and the gcd-stash level, and gives back suspended mod-out
// relations.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// *det := the determinant (set to 1 first).
void sparse_gauss_elim(sparse* first, quoly** det, int32_t n, int32_t cutoff, int in_place);
// *det enters holding 1 (or a sign to carry): it is negated at each
// interchange and multiplied by the last pivot.
void sparse_gauss_Bareiss(sparse* first, quoly** det, int32_t n, int32_t cutoff, int in_place);

// Called after each elimination step k with the matrix under work, when
// set (a checking aid; null in the system).
extern void (*sparse_elim_step_hook)(sparse* first, int32_t n, int32_t k);

// Set: fraction-free elimination brings every row to each step as it goes,
// even where a row left behind could wait (a checking aid; clear in the
// system). The entries and the determinant are the same either way.
extern bool sparse_bareiss_step_by_step;
