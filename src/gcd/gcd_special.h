// Two gcd special cases: a single-term operand, and Euclid for polynomials
// whose coefficients lie in an extension field (every leading coefficient
// invertible). Operands are kept; result slots are copy-then-free.
#pragma once

#include "storage/records.h"

struct pt;

// out := gcd(m, p) for a single term m = c·x^a (c a number; a lone number
// counts as a = 0) and a polynomial p: k·x^min(a, e), e the exponent of p's
// last term, k the gcd of the integer contents of m and p (1 in
// machine-integer and modular mode). e = 0 gives the number k.
void monomial2(polynode* m, polynode* p, polynode** out);
// out := gcd(u, v) over the field by Euclid: pseudo division with the
// remainder's integer content removed outside lint mode, exact field
// division in lint mode. Not made monic; coprime operands give 1.
void field_coef_gcd(polynode* u, polynode* v, polynode** out, pt* vars);
