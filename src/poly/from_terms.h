// Polynomials built from sorted term arrays: the inverse of reading a
// polynomial's terms level by level.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "storage/records.h"

// The polynomial with `count` terms whose exponents (nvars per term, levels
// outermost first) are in strictly decreasing lexicographic order;
// number(i) gives term i's coefficient as a fresh lone number node (non-
// zero). No terms give zero. The level shape is the one the terms' own
// records would have: a term ends in a number as soon as its remaining
// exponents are all 0.
polynode* poly_from_terms(const int32_t* exps, size_t count, int32_t nvars,
                          const std::function<polynode*(size_t)>& number);
