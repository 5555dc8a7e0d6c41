// Equality of two values as values, not as stored forms.
//
// Every ground ring, every polynomial and every fraction over a field has
// one stored form, so the structural test of storage/equality.h decides
// most comparisons. A fraction with a polynomial denominator under
// relations without the flag, under field levels that the prime splits or
// modulo a composite number need not: over zero divisors a common factor
// may be cancelled in one copy of the ring and kept in another, and a ring
// leaves a denominator's leading coefficient a ring element rather than 1.
// There the fractions are compared crosswise, which is what their
// difference being 0 means.
#pragma once

#include "storage/records.h"

// 1 when a and b stand for the same value, else 0; both kept. Numbers,
// polynomials and fractions that are stored alike cost no more than the
// structural test.
int quoly_same_value(quoly* a, quoly* b);
// 1 when a stands for -b, else 0; both kept.
int quoly_negated_value(quoly* a, quoly* b);
