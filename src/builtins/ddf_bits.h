// Factoring stages over GF(2) on bit-packed polynomials (poly/bitpoly.h):
// the distinct-degree split by baby steps and giant steps of the squaring
// map, and the equal-degree split by traces.
#pragma once
#include "builtins/factor_impl.h"

namespace factor_impl {

// The records (degree i, product of the factors of degree i) of the monic
// square-free one-variable *fslot (consumed), as distinct_degree appends
// them, modulo 2.
void even_distinct_degree(polynode** fslot, FactorFrame& fr);

// even_cantor_zass for P (kept) modulo 2 itself in one variable, with the
// same candidates x, x^3, x^5, ... and the same order of the factors;
// false (nothing appended) when P is not of that kind.
bool bits_equal_degree(polynode* P, int32_t d, int32_t m, FactorFrame& fr);

}  // namespace factor_impl
