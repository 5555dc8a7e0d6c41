// Cancelling a common divisor of two polynomials whose coefficients lie in
// an extension field over the rationals: the divisor's leading coefficient
// may be a field element, so the quotients come from pseudo-division and
// carry integer multipliers.
#pragma once
#include "storage/records.h"

// Result slots: free-first (a_out may be a, d_out may be d; g is kept).
// g divides a and d; a/g = a'/M and d/g = d'/M with M an integer, held in
// *m (a lone number node) when m is not null. With wrap_a (wrap_d) set the
// negative exponents of a (d) are shifted away around its division. A
// division that leaves a remainder is the fatal internal error
// " field_reduce " with the digit 3 (a) or 4 (d); multipliers that are not
// numbers "non-numbers. field_reduce.". Rational mode with field levels only.
void field_reduce(polynode** a, polynode** d, polynode** g, polynode** a_out, polynode** d_out, polynode** m,
                  int wrap_a, int wrap_d);

// The same cancellation for reduce: a' = a/g and d' = d/g up to one common
// integer factor, which cancels in a fraction a'/d'. Its failures read
// " reduce 3. Try setting &_t to 0.", " reduce 4. ..." and "non-numbers. reduce.".
void field_cancel_fraction(polynode** a, polynode** d, polynode** g, polynode** a_out, polynode** d_out,
                           int wrap_a, int wrap_d);
