// The determinant of a sparse matrix of plain numbers in modular arithmetic
// (residues modulo `modulus`, or GF(2^8) / GF(2^16)) by Gaussian
// elimination on raw residues held in the entries' value words, with a
// pivot choice that keeps fill-in low.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// *result := det of the n x n matrix at *matrix, as a plain number.
// consume set: the matrix is a private copy, eliminated where it lies and
// freed; *matrix := null at once. Clear: a raw-residue copy is worked on
// and the caller's matrix is not touched. trace: progress lines.
// Under a modulus that is not prime a pivot without an inverse is error 85.
// Every exit frees the working matrix and closes the progress level.
void sparse_mod_int_determ(quoly** result, sparse** matrix, int32_t n, int consume, int trace);

// Called after each elimination step k with the raw-residue matrix under
// work, when set (a checking aid; null in the system).
extern void (*sparse_mod_step_hook)(sparse* first, int32_t n, int32_t k);
