// Derivatives of polynomials (any order, with respect to any variable level)
// and integer powers: the one routine behind every poly^n of the system.
//
// All four routines work in place on a slot holding a polynomial: the old
// value is consumed and the slot receives the result; zero is the zero
// polynomial (one number node holding 0), never null. When a routine
// raises an error the slot still holds its old value, untouched.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// ---- derivatives ----
// in place. *slot := its k-th derivative (k >= 1) with respect to its top
// variable. Characteristic 2 and prime moduli drop the terms whose falling
// factorial vanishes without forming it. A result exponent out of range is
// error 32, the slot untouched.
void poly_diff(polynode** slot, int32_t k);
// in place. The k-th derivative with respect to the variable `level` levels
// down (1 = the polynomial's own top variable).
void general_poly_diff(polynode** slot, int32_t k, int16_t level);

// ---- powers ----
// The power rows (Miller's recurrence) over Z: 0 when the polynomial
// qualifies (the default), -1 never. For tests and benchmarks.
extern int32_t power_rows_route;
// in place. *slot := *slot ^ n, products reduced with rec (nilpol: none).
// A dispatcher: a lone number is raised as a number; over a prime field an
// exponent of at least the modulus goes through the Frobenius map
// (poly_mod_prime); over Z a one-variable polynomial of few one-digit
// coefficients takes Miller's recurrence (binomial rows for a binomial);
// several variables with polynomial coefficients take repeated
// multiplication, everything else binary powering. n = 0 gives 1
// (modulo a prime, a lone 0 stays 0); a negative n raises a lone residue
// modulo a prime through the group order and is otherwise the fatal
// internal error "negative exponent". A result exponent beyond 32 bits
// (no mod-out relation to keep it down) is error 156.
void compute_power(polynode** slot, int32_t n, pt* rec);
// True when every exponent of p^n (n >= 0) stays in range. Left out: the
// levels whose variable has a mod-out relation (rec: the record of p's top
// level, null for none) and the level `reduced` (1 = p's top level, 0 =
// none), which the caller keeps down by a remainder.
bool power_exponents_fit(const polynode* p, int64_t n, const pt* rec, int32_t reduced);
// in place. *slot := *slot ^ n over the field of `modulus` elements
// (a prime, or the characteristic-2 fields), by the base-modulus digits of
// n: f^(q^i) is f with every exponent multiplied by q^i.
void poly_mod_prime(polynode** slot, int32_t n, pt* rec);
