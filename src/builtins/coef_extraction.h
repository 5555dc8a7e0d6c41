// The coefficient built-ins that read their own selectors from the token
// stream: Coef (an exponent list, or a polynomial variable and its
// exponent) and Mcoef / Mcoef2 (one or two monomials).
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// `token` stands after the first argument (at the "," before the selectors,
// or at whatever follows). Reads the selectors, leaves the token after the
// last one (the caller reads ")"), then takes the coefficient of the value
// in *slot (a null slot or value counts as 0).
//   mode 0 (Coef): "," e1 "," e2 ... one exponent per level from the
//     outermost; none: the leading coefficient; "," v "," e with v one
//     polynomial variable: the coefficient of v^e. Exponents are read with
//     modular arithmetic off. Errors 155, 156, 202, 315.
//   mode 1 (Mcoef): "," m1 ["," m2]: the coefficient of the monomial m1,
//     the variables of m2 held at exponent 0; only_quotient (Mcoef2): the
//     terms divisible by m1, divided by it, and no m2. Errors 192, 307,
//     320, 321.
// The value in *slot is read only after the selectors, which may run a
// function that changes it. Of a value with a polynomial denominator only
// the numerator is looked at; a number denominator divides the result.
// *result: copy-then-free (result may be slot).
void quoly_get_coef(FILE** source, quoly** slot, name** pending, int mode, int only_quotient, quoly** result);
