// A polynomial evaluated at a square matrix, p(A), by Horner's rule over
// p's terms in its outermost variable, with matrix powers for the gaps
// between exponents; dense and sparse matrices alike.
#pragma once
#include <cstdio>

#include "matrix/array_value.h"
#include "storage/records.h"

struct name;

// The token is "[" (or the first token of an array factor): reads the
// matrix with arr_fact into v (cells: a work block of the caller) and
// replaces it by p(A), fresh. p is kept. Error 186 when p has a
// denominator (a rational number is a constant, outside machine-integer
// mode), 174 when the operand is not a square matrix.
void quoly_at_matrix(FILE** source, quoly* p, arr_value* v, name** pending);
// The same for a matrix already in v (square, count > 0).
void poly_at_matrix(quoly* p, arr_value* v);
