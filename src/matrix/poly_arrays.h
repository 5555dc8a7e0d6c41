// Polynomials into arrays: the monomials of a quoly as a one-column sparse
// array, a factor list as a two-column dense array, and dropping the
// denominators of an array's elements.
//
// Factor lists are chains of polynode records used as list cells: exp the
// multiplicity, pcoef the factor polynomial, next the next cell (as the
// factoring routines return them).
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Rows 1, 2, ... of a's sparse frames (a sparse array of one column, made
// with its frames) receive the monomials of q's numerator in stored term
// order (the denominator is ignored), one entry in column 1 each; rows past
// the first frame's 2,048 continue in the chained frames (made when
// missing). one: each monomial's coefficient is 1. A plain number is one
// row (1 with `one`, a copy otherwise; no row for 0 without `one`); past
// field_depth the rest of a polynomial counts as one coefficient. Returns
// the rows written. q kept; the rows' old entries must be empty.
int32_t dump_mons(array* a, quoly* q, int one);

// Store cells first .. first + 2n - 1 (a dense n x 2 array, n > 0): column
// 1 the factors (moved out of the cells), column 2 the multiplicities. n =
// 0 writes [1, 0] into cells first and first + 1. The list is consumed
// (*list := null); the cells' old values are freed.
void poly_to_array(int32_t n, int32_t first, polynode** list);
// In modular mode a count or a multiplicity of n >= modulus cannot be held
// as an integer: the warning says it is kept modulo the modulus.
void note_reduced_count(int32_t n);

// Every element that has a denominator keeps only its numerator (a lone
// number numerator becomes a plain number); left-out ones as
// kill_denominator_in_ring, none changed unless each has an element. Sparse (frame not null): rows
// 1 .. rows. Dense: `columns` columns of `length` cells from store index
// first, `rows` cells apart; an empty cell becomes 0 with the
// uninitialised-element warning.
void killdenoms(sparse* frame, int32_t first, int32_t rows, int32_t length, int32_t columns);

// In place: a quoly with a denominator keeps only its numerator.
void kill_denominator(quoly* q);
// The same for a stored value; a value a conversion list left out loses
// the denominator of its element of the ring (error 85 when it has none).
void kill_denominator_in_ring(quoly** slot);
