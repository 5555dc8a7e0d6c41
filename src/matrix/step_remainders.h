// One pivot step's live entries B modulo the last pivot determinant d,
// for the row-reduction pivot rule: which values B / d are integers, and
// the common divisor that turns every gcd(B, d) into a small one.
//
// Every gcd(B, d) over the step's fractions divides G = gcd(d, the product
// of all their B), so gcd(B, d) = gcd(B rem d, G). For a random matrix G is
// d's few small factors met among the entries, often 1, where a full gcd
// with d for every candidate made the rule cost more than the elimination.
#pragma once
#include <cstdint>
#include <vector>

#include "matrix/int_pivot_product.h"
#include "numbers/flat_int.h"

struct StepRemainders {
    std::vector<FlatInt> rem;  // B rem d by cell (the block's index), for non-zero B
    bool any_integer = false;  // some live B is a multiple of d
    FlatInt common;            // G above; only when no B is a multiple of d
};

// Fills s for the live block of a (rows and columns k onward) and d,
// d neither zero nor a unit.
void step_remainders(PivotBlock& a, int32_t k, const FlatInt& d, StepRemainders& s);
// The digit counts of numerator and denominator of B / d in lowest terms,
// for the non-zero B at cell, not a multiple of d, after step_remainders
// found no integer.
int32_t step_fraction_mass(const StepRemainders& s, const FlatInt& b, size_t cell, const FlatInt& d);
