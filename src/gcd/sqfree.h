// Square-free factorisation over a field of prime characteristic: the
// integers modulo a prime, GF(2^8) or GF(2^16). In characteristic p a zero
// derivative means a p-th power, so the gcd-with-derivative steps alternate
// with taking p-th roots, and a factor of multiplicity p·k is reported once
// with p·k, never as k separate factors.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// Pushes one record per square-free factor of f in its top variable onto
// *list (newest first): exp = the multiplicity, numb = 0, pcoef = the
// factor (as the gcd routine normalises it); *count is raised by one per
// record. f is kept. var is f's top-level variable record. Modular mode
// only. The product of the factors to their multiplicities is f up to a unit.
void square_free_factor(polynode* f, polynode** list, int32_t* count, pt* var);

// in place. *slot := its p-th root, p the characteristic (2 in GF(2^k)):
// top exponents divided by p, number coefficients replaced by their root
// (a residue modulo a prime is its own p-th root; in GF(2^k) the square
// root table), coefficients in an extension field of the integers modulo p
// by their root there. *slot must be a polynomial in the p-th power of its
// top variable; a coefficient that is neither a number nor a field element
// is error 308 in characteristic 2 and error 352 otherwise. On error *slot
// is unchanged.
void pth_power_root(polynode** slot, pt* var);
