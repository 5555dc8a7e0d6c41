// The workers behind the gcd and content built-ins: they prepare the
// operands (Laurent exponents, levels), call the multivariate gcd and
// content routines, and put the result back at full depth. Results are
// normalised as polygcd normalises a gcd; a lone number becomes a plain
// number.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// free-first: *result := gcd(*u, *v) of two polynomials (vars: the head of
// the variable list). In Laurent mode both operands' negative exponents
// are cleared for the call and put back after; otherwise u, v are kept.
void Lpolygcd2(polynode** u, polynode** v, quoly** result, pt* vars);
// free-first: *result := gcd(*u, 0), that is *u normalised as a gcd; *u's
// negative exponents (Laurent mode) cleared for the call and put back.
void gcd_0_poly(polynode** u, quoly** result);

// free-first: *result := the content of u in the variable of level k (1 =
// outermost), or with !given in the outermost variable u depends on: the
// gcd of u's coefficients as a polynomial in that variable. A number gives
// its absolute value (1 for 0 and in machine-integer mode). owned: u is
// the caller's work value, which Laurent mode may change (its negative
// exponents cleared); a value not owned is refused in Laurent mode (error
// 312). Errors 196 (a denominator), 344 (a field variable), 345 (k outside
// 1 .. number_polys).
void call_content(quoly* u, quoly** result, bool given, int32_t k, bool owned);
// The level named by the content built-in's variable argument: a number is
// the level itself (a number beyond a machine word gives 0), a polynomial
// variable its level; anything else is error 282, a denominator 196.
int32_t content_level(quoly* v);
