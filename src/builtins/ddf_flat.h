// The distinct-degree stage for one variable over a prime field Z/p, and
// the power of the equal-degree stage for odd p, on arrays of machine words
// instead of term lists.
//
// For p = 2 the stage of ddf_bits.h works on packed words with products
// modulo f and needs no rows. For odd p the degrees are looked at an
// interval at a time (baby steps and giant steps) with products modulo f by
// transforms, so only a few gcds with f are needed; those go to the
// one-variable gcd of the gcd module.
#pragma once
#include "builtins/factor_impl.h"

namespace factor_impl {

// The records (degree i, product of the factors of degree i) of the monic
// square-free part *fslot, appended as distinct_degree does; true when done
// (*fslot consumed), false (nothing touched) when the route does not fit:
// not a plain prime field, not one variable, or past the degrees the route
// can hold.
bool flat_distinct_degree(polynode** fslot, FactorFrame& fr);

// *r := r^((q - 1) / 2) mod P for q = p^d, the power of the equal-degree
// split, on word arrays: P monic of degree at least 2 in the variable of
// rec; true when done, false (nothing touched) when the route does not fit
// (p = 2, not a plain prime field, not one variable, P not monic, past the
// memory budget).
bool flat_half_power(polynode** r, int32_t d, polynode* P, pt* rec);

}  // namespace factor_impl
