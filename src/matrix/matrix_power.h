// Powers of a square matrix by left-to-right square-and-multiply: the power
// operator on dense or sparse arrays, the same with Winograd's squares, and
// powers to a big exponent with the entries reduced modulo a polynomial or
// a number after every product.
//
// A matrix is its cells (dense, column-major; unused for a sparse one), its
// shape, and an ownership flag: 0 when the cells are shared with a stored
// array (they are then never changed or freed). Every routine sets *owned
// to 1 when it put new cells in place.
#pragma once
#include <cstdint>

#include "matrix/products.h"
#include "storage/other_records.h"
#include "storage/records.h"

// A := A^n. n < 0 inverts first (error 44 when singular); A^0 is the
// identity; A^1 leaves cells and flag as they are. *sparse_slot not null:
// the matrix is that sparse one.
void matrix_power(quoly** cells, mat_shape* shape, int* owned, int32_t n, sparse** sparse_slot);
// The same for a dense matrix, the squares formed by Winograd's product.
void alt_mat_power(quoly** cells, mat_shape* shape, int* owned, int32_t n);
// A := A^e for a big exponent e >= 0 (a digit number in every ground
// ring; error 287 below 0), the entries
// reduced modulo *modpoly_slot after every product (null: no reduction).
// The modulus is a number or a polynomial monic in its main variable
// (errors 197, 198, 291); an entry with a denominator is error 323. show:
// progress lines.
void matpowermod(quoly** cells, mat_shape* shape, int* owned, imag* e, quoly** modpoly_slot, int show);
