// One number out of a polynomial (the leading, trailing and constant
// numerical coefficients, the coefficient of a given monomial), the leading
// coefficient over a field tower, and the leading monomial.
//
// Arguments are quolys without denominator that are not plain numbers (the
// built-ins copy a plain number and refuse a denominator themselves); they
// are only read. Results: copy-then-free (result may be the argument's slot).
#pragma once
#include <cstdint>

#include "storage/records.h"

// ---- the number leaf chosen, or null when that coefficient is 0 ----
// Following the last term at every level.
polynode* poly_trail_num_coef(polynode* p);
// The term of exponent 0 at every level (the constant term).
polynode* poly_z_num_coef(polynode* p);
// The coefficient of exactly the monomial m (m's own number is ignored).
polynode* poly_mono_num_coef(polynode* p, polynode* m);

// ---- as quolys ----
// Following the first term at every level.
void quoly_leading_num_coef(quoly* arg, quoly** result);
void quoly_trail_num_coef(quoly* arg, quoly** result);
void quoly_z_num_coef(quoly* arg, quoly** result);
void quoly_mono_num_coef(quoly* arg, quoly** result, polynode* m);
// The leading coefficient in the variables outside the field tower: the
// first-term chain is followed down to the first field level (or a
// number); a field element found there keeps the levels passed as padding.
void quoly_field_leading_coef(quoly* arg, quoly** result);

// The leading term of arg's numerator down to the variable var (a quoly
// that must be one polynomial variable, error 282; null: every level): the
// levels above var's keep only their first term, var's level and those
// below it keep everything. Exponent-0 levels left standing over a lone
// number are dropped. A denominator is error 196.
void leading_mon(quoly* arg, quoly* var, quoly** result);
