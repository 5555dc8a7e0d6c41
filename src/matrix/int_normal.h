// Hermite and Smith normal forms of dense integer matrices, in place, on
// flat column-major vectors of plain-integer quolys (element (i, j) at
// j x R + i), with the unimodular transforms on request.
//
// flags[0..3] ask for T0 (R x R), T1 (K x K), T2 = T0^-1 (R x R) and
// T3 = T1^-1 (K x K); each wanted vector (cells not yet owned) is filled,
// the others are not touched. Always T0 x A0 x T1 = the form (modulo m
// before the last step when a modulus is given).
#pragma once
#include <cstdint>

#include "storage/records.h"

// Column Hermite form: lower triangular, each pivot the first non-zero
// entry of its column and positive, entries left of a pivot in its row in
// [0, pivot), zero columns after the rank. Column operations only, so
// T0 = T2 = I. Returns the rank.
int32_t int_hermite(quoly** a, int32_t R, int32_t K, const int flags[4], quoly** T0, quoly** T1, quoly** T2,
                    quoly** T3);

// Smith form diag(d1, d2, ...), d1 | d2 | ..., non-negative. m null: exact,
// returns the rank. m a positive integer, a multiple of the product of the
// invariants: entries are kept in (-m/2, m/2] and each diagonal entry ends
// as gcd(d, m); every_position: at every diagonal position (a zero gives m),
// else only where d is not 0 modulo m (those stay 0). Returns the number of
// non-zero diagonal entries. tell_modulus: the verbose trace gives m's
// digit count.
int32_t int_smith(quoly** a, int32_t R, int32_t K, const int flags[4], quoly** T0, quoly** T1, quoly** T2,
                  quoly** T3, quoly* m, bool every_position, bool tell_modulus = false);

// Phase one with row and column operations on the R x K cells: pivots
// first .. last (0-based) are placed on the diagonal, each dividing and
// clearing the rest of its row and column. m non-null: every changed entry
// is kept in (-m/2, m/2], entries are taken as they come. *sign toggles at
// every swap and every column negation, so a square matrix's determinant
// is (-1)^sign times the diagonal's product (times the trailing block's
// determinant when the phase stops early). Returns the index of the last
// pivot placed: below last when the rest of the block is zero.
int32_t phaseone(quoly** a, int32_t R, int32_t K, int32_t first, int32_t last, int* sign, quoly* m);

// Whether q is a plain integer (the only cells the forms accept).
bool integer_cell(const quoly* q);
