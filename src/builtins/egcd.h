// Extended gcds for the Egcd built-in: of two integers, and of two
// polynomials in one variable over Z/p (or a polynomial and a number). The
// two cofactors s, t with s a + t b = g go into the two variables the
// input names next: the first followed by "," (error 202), the second by
// ")" (error 1), where the call is left.
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// In place: *a := gcd(|a|, |b|) of two integer quolys (*b changed too).
// Refused in machine-integer mode: error 348 in modular mode, else 62.
void egcd_nums(quoly** a, quoly** b, FILE** source, name** pending);
// free-first: *g := the monic gcd of the polynomials u and v (kept), which
// must be in one and the same single variable (error 349); modular mode
// only (284); no negative exponents (198); not a field variable (348).
// swapped: the cofactors are stored in the order (t, s).
void egcd_polys(polynode* u, polynode* v, quoly** g, FILE** source, name** pending, bool swapped);
// The same with a plain number *num beside the polynomial quoly *poly; the
// gcd goes into *num. swapped: the number was the first argument.
void egcd_num_poly(quoly** num, quoly** poly, FILE** source, name** pending, bool swapped);
