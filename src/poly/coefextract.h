// Taking polynomials apart for the built-in functions: the coefficient of a
// monomial, the leading coefficient of a quoly's numerator, the part of a
// given total degree in chosen variables, and the splice that puts a new
// coefficient into one term.
//
// Results keep the levels of the polynomial they come from: a level whose
// variable has been fixed stays as an exponent-0 padding level, so a
// coefficient is still a polynomial in the original variables.
#pragma once
#include <cstdint>

#include "storage/records.h"

// ---- coefficients of monomials ----
// A monomial pattern is a polynomial with one term per level (exponent 0 for
// absent variables) ending in a number node. m's exponents are matched; z's
// variables must occur with exactly m's exponent (0 where m has none); z = 1
// fixes nothing beyond m.

// Result slot: copy-then-free (result may be &p). Operands kept.
// result := the coefficient of m in p, restricted by z (0 when nothing matches).
void extract(polynode* p, polynode* m, polynode* z, polynode** result);
// Result slot: copy-then-free. Operands kept. The level at which neither
// pattern fixes p's variable: every term of p keeps its exponent, and its
// coefficient is extracted with m and z (m and z already one level down).
void pass_level(polynode* p, polynode* m, polynode* z, polynode** result);

// ---- parts of a given total degree ----
// Consumes p. The terms of p whose exponents over the marked levels from l
// inward sum to d; null when none is left (the caller makes that 0).
// marks[0] is the deepest marked level, marks[k] (k >= 1) non-zero when
// level k is counted. p's own chain is level l.
polynode* total_degree(polynode* p, int32_t l, int32_t d, const int32_t* marks);

// ---- leading coefficient of a quoly ----
// With *result null: *result := the leading coefficient of source's
// numerator in its outermost variable, over a copy of source's denominator;
// a number result without denominator is a plain number. With *result
// holding a quoly (source then unused): its numerator is cut down to that
// leading coefficient in place.
void quoly_leading_coef(quoly* source, quoly** result);

// ---- splicing a new coefficient ----
// Finishes the change of the coefficient of term t (exponent e) in the list
// whose head is *head; prev is the term before t (null when t is first).
// zero: the coefficient came out 0, so t is unlinked and freed (with newc),
// and an emptied list becomes the zero polynomial. Otherwise newc is the
// separately built new coefficient (null when it was computed in place in
// t), cur the coefficient as it now stands (newc, or t's own). newc is
// consumed; t's old coefficient is freed when it is replaced.
void set_it(int zero, polynode* t, polynode* prev, polynode* newc, polynode* cur, int32_t e, polynode** head);
