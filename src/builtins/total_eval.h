// Total evaluation of polynomials: values put for the variables from the
// outermost inward, the result a quoly.
//
// Values: a chain of quolys linked through their link word, the value of the
// outermost substituted variable first; a chain that ends early leaves the
// inner variables as they are. keep: the number of outermost variables left
// symbolic (each stays itself in the result); the first value belongs to
// the first variable after them. level: the depth of u, 0 at the top; a
// polynomial left unevaluated is padded by `level` exponent-0 levels so that
// it keeps its full depth in the result. u is kept; the slot is free-first.
#pragma once
#include <cstdint>

#include "storage/records.h"

// Horner's rule level by level, with a power of the value for each gap;
// negative (Laurent) exponents divide by the value's power.
void tot_eval_poly(polynode* u, quoly* values, quoly** slot, int16_t level, uint16_t keep);

// Characteristic 2, u of degree at most 1 in every variable, every value
// the number 0 or 1: a term of exponent 1 counts only where its value is 1,
// and numbers are added as field words. remaining: the values left in the
// chain. When every variable from here inward has a value (keep 0 and
// level + remaining = number_polys), the word evaluator takes over.
void tot_eval_poly2(polynode* u, quoly* values, quoly** slot, int16_t level, uint16_t keep, int32_t remaining);
