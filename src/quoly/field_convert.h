// A quoly whose denominator is an element of the extension field becomes a
// polynomial: the numerator is multiplied by the denominator's inverse.
#pragma once
#include "storage/records.h"

// in place. q = a/b with b a field element (its outermost variable at a
// field level): q := a·b^-1 reduced by the relations, in normal form; only
// the integer denominator of the inverse can remain (never in machine-integer
// mode). A reducible "field" is error 22 with "/", q unchanged.
void quoly_mod_convert(quoly* q);
