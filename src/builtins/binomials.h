// Binomial coefficients C(n, k) in every ground ring, stepped from the
// start-up table `binom` (the rows n = 3, 6, .., 150) to the row wanted.
//
// Arguments are machine integers with 0 <= k <= n (the callers answer 0
// otherwise). Each routine first folds k to min(k, n - k); then k < 1 gives
// 1, C(2, 1) is 2 and any other n < 3 gives 1. Quoly results replace the
// caller's slot (the old quoly is freed); when an error returns at a nested
// command level the result is 0.
#pragma once
#include <cstdint>

#include "storage/records.h"

// Big integers, exact. Rows below 153 step from the table; rows up to 500
// with n - k < 148 step up from the row 150; the rest is the product
// formula, for n <= 1,754 (beyond: error 87).
void rat_binom(int32_t n, int32_t k, quoly** slot);
// Machine integers: n <= 30 (error 239 beyond), where every value fits.
void lint_binom(int32_t n, int32_t k, quoly** slot);
// Residues modulo `modulus`. With a prime modulus and k below it, n is
// first reduced modulo the modulus (Lucas; the result is 0 when k exceeds
// the reduced n). The row then used must be at most 150: error 87 beyond.
void mod_binom(int32_t n, int32_t k, quoly** slot);

// The integer-only evaluator's words. ilint_binom: the exact value, which
// must fit one base-2^28 digit (error 32 otherwise, ending the statement,
// as for every value of that evaluator); imod_binom: the residue, with the
// reduction of mod_binom. n (after the reduction) above 150 is error 279.
void ilint_binom(int32_t n, int32_t k, int32_t* out);
void imod_binom(int32_t n, int32_t k, int32_t* out);

// The binomial form of the factor routine: 0 unless 0 <= k <= n, else the
// routine of the current ground ring.
void binom_value(int32_t n, int32_t k, quoly** slot);
