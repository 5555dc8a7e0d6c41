// Divisibility over an extension field of the rationals, for operands kept
// with integer coefficients (elements of Z[t]/(m) at the field levels).
//
// The integer trial division sees only quotients with integer coefficients:
// a divisor whose leading coefficient is an integer c > 1, or a field
// element that is no unit of Z[t]/(m), may divide u over the field with a
// quotient that has denominators. Here every step multiplies the running
// remainder by an integer instead, and strips its integer content again, so
// that the numbers stay the size of the operands.
#pragma once

#include "storage/records.h"

struct pt;

// 1 when m divides u over the field (over Q when no level is a field
// level), 0 when it does not. Operands kept; rec is their top level's
// record. Digit-number mode (not modular, not machine integers).
int field_divides(polynode* u, polynode* m, pt* rec);
