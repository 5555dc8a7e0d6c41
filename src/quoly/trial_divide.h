// Exact division of one quoly's numerator by another's, when the quotient
// is known or suspected to be exact, with quick necessary tests first. A
// failed division leaves the dividend exactly as it was. A divisor that is an
// element of the extension field (its numerator reaches the field levels)
// divides through its inverse: exactly when the inverse's integer
// denominator divides the product, always modulo a prime; a plain-number
// dividend then becomes a polynomial. In Laurent mode monomials are units:
// the divisor's monomial content is moved onto the dividend and the
// dividend's negative powers are lifted off before the tests (where the
// coefficients may have zero divisors, the dividend goes up by the divisor's
// degree in each variable too), and the quotient comes back down by them.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// *flag 0 on entry (division mode): with perform set and the division
// exact, *dividend becomes the quotient; *flag := 1 on failure, 0 on
// success, and the same is returned. *flag non-zero (test mode): *divisor
// := the quoly 1 when the division is exact, 0 when not; returns 1 / 0.
// Machine-integer mode needs a prime modulus (error 281). opt_b skips the
// leading-coefficient test and every pre-test. Before the full division
// over the integers, one-variable images modulo a prime may refuse; they
// never prove divisibility, so opt_a (let a conclusive modular "divides"
// stand) is accepted and changes nothing.
int trial_divide(quoly** divisor, quoly** dividend, int perform, int opt_a, int opt_b, int* flag);

// a divides *b (both polynomials at the level of rec; *b may be a lone
// number when a is a field element); *b divided when perform is set and the
// answer is 1. On 0, *b may be partly divided: pass
// a copy.
int check_polys(polynode* a, polynode** b, pt* rec, int perform, int opt_a, int opt_b);
// Every number leaf of p is divisible by d: 1, and with perform every leaf
// is divided; 0 leaves p unchanged.
int check_num_poly(imag* d, polynode* p, int perform);
// The degree-dominance test: 0 when p cannot be a multiple of d.
int height_check(polynode* d, polynode* p);
