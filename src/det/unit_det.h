// The inverse of a matrix over relations that make no field.
//
// Without the field flag a quotient is kept as a formal fraction, never
// inverted, so the elimination divides by any pivot: a determinant that
// is a zero divisor (2t + 1 modulo 7 and t^2 - 2 vanishes where t = 3)
// would come back as an "inverse" whose product with the matrix is no
// identity. The inverse exists exactly when the determinant is no zero
// divisor, which is proved here before any work.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Returns when no relation without the field flag is declared, or when
// the determinant's coefficients over the free variables (wherever they
// stand in the variable order) are proved to generate the unit ideal of
// the relations' ring (no non-zero element then kills it). A zero
// determinant is error 44 (a singular matrix), any other error 271 naming
// the relation; the statement ends. The cells (dense, or the
// sparse frame in *sparse_slot) are kept.
void require_unit_determinant(quoly** cells, sparse** sparse_slot, int32_t n);

// A quotient over the same relations is a fraction, kept as it is: one
// whose denominator (after the common factor went) is a zero divisor
// stands for no value, and its products answer wrongly. Returns when q has
// no polynomial denominator, when the test above does not apply, or when
// the denominator's coefficients are proved to generate the unit ideal;
// otherwise error 271 naming the relation, and the statement ends (q, a
// value under construction, is left to its owner).
void require_regular_denominator(const quoly* q);

// Whether p (a polynomial at the outermost level) is proved no zero
// divisor over the relations that make no field: its coefficients over the
// free variables generate the unit ideal, in every variable order. True
// as well when no such relation is declared. Where a relation uses a free
// variable (t^2 - y) only a sufficient test is made: false may then stand
// for a regular p, never true for a zero divisor.
bool relation_regular(polynode* p);
