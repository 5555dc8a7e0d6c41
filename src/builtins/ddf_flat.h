// The distinct-degree stage for one variable over a prime field Z/p, on
// arrays of machine words instead of term lists.
//
// The powers x^(p^i) modulo f are taken by the p-th power map as a linear
// map: the rows x^(p j) mod f (j < deg f) are formed once, after which each
// next power is one matrix-vector product, whatever the size of p. For
// odd p the gcds go to the one-variable gcd of the gcd module; p = 2 goes
// to the packed-word stage of ddf_bits.h, which needs no rows.
#pragma once
#include "builtins/factor_impl.h"

namespace factor_impl {

// The records (degree i, product of the factors of degree i) of the monic
// square-free part *fslot, appended as distinct_degree does; true when done
// (*fslot consumed), false (nothing touched) when the route does not fit:
// not a plain prime field, not one variable, or past the degrees whose
// matrix the route is willing to hold.
bool flat_distinct_degree(polynode** fslot, FactorFrame& fr);

}  // namespace factor_impl
