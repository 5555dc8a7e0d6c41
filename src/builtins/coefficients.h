// Taking coefficients out of a polynomial: the coefficient of a power of
// the variable some levels below the outermost one, and the quotient of the
// terms divisible by a monomial, both kept at full depth so they are still
// polynomials in the original variables.
//
// Result slots are copy-then-free: the result is built completely, then the
// slot's old value is freed and replaced (the slot may hold u). Operands kept.
#pragma once
#include <cstdint>

#include "storage/records.h"

// *slot := the coefficient of x^e in u, x being the variable `levels` levels
// below u's own (0 = u's top variable). Levels above x keep their exponents;
// a result that is a lone number stays unwrapped; nothing found gives the
// zero polynomial. take_constants must be 1 exactly when e = 0: the number
// leaves met above x's level then belong to x^0. A null u gives 0.
void extract_coef(polynode* u, polynode** slot, int32_t levels, int32_t e, int take_constants);

// *slot := the sum of the terms of u divisible by the monomial m, each
// divided by m (nothing divisible, or a null u: 0). m has no negative
// exponent; `m` points at its first level with a non-zero exponent, which
// lies `levels` levels below u's own top level.
void cullout(polynode* u, polynode* m, polynode** slot, int32_t levels);
