// Derivatives of quolys with respect to one polynomial variable, in place:
// the postfix '"' (the outermost variable, once) and the derivative
// built-in (any level, k times). Results are in normal form.
#pragma once
#include <cstdint>

#include "storage/records.h"

// in place. *slot := its first derivative in the variable of `level`
// (1 = outermost). A number (a rational outside machine-integer mode too)
// becomes 0. With a polynomial denominator d the result is
// (d n' - n d') / g over d^2 / g, g = gcd(d, d'). A denominator that comes
// out 0 (zero divisors of a composite modulus) is error 22 with "/"; should
// the error return, *slot becomes 1.
void quoly_differen_once(quoly** slot, int32_t level);

// in place. *slot := its k-th derivative in the variable of `level`;
// nothing happens for k <= 0 on a quoly with a polynomial denominator.
void differentiate(quoly** slot, int32_t level, int32_t k);
