// Pseudo division: division with remainder by a divisor m whose leading
// coefficient need not be invertible, the dividend being scaled by powers
// of that coefficient (or by an integer multiplier) so that every step
// stays inside the ring.
//
// Degrees are taken in the top variable of u and m; rec is the variable
// record of that level, passed to every product (null: no mod-out
// reduction). u and m are always kept: m's tail is negated while a routine
// runs and negated back on every exit, an unwinding error included. A zero
// divisor is error 22 with "/", which ends the statement even when it returns.
//
// Result slots are copy-then-free: each result is built completely, then
// the slot's old value (null or a polynomial) is freed and replaced.
// Divisors whose leading coefficient is invertible (modular mode with a
// prime modulus, or a field element; a number too when field levels exist)
// take ordinary division instead of the pseudo-division loop.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// lc(m)^(deg u - deg m + 1) · u = quo · m + rem. rem is written only when
// want_rem is non-zero. deg m > deg u gives quo 0 and rem a copy of u.
void pseudo_div(polynode* u, polynode* m, polynode** quo, polynode** rem, int want_rem, pt* rec);

// The remainder alone. full non-zero: lc(m)^(deg u - deg m + 1) · u ≡ rem;
// full zero: lc(m)^s · u ≡ rem with s the steps taken (modulo m). A divisor
// of degree 0 is reported as an internal error (non-fatal) and the division
// goes on.
void pseudo_div_no_q(polynode* u, polynode* m, polynode** rem, pt* rec, int full);

// mult · u = quo · m + rem with mult an integer, as a lone number node. The
// chain of m's leading coefficients must reach an invertible coefficient;
// a leading coefficient of the dividend that it does not divide is a fatal
// internal error.
void num_pseudo_div(polynode* u, polynode* m, polynode** quo, polynode** rem, polynode** mult, pt* rec);

// mult · u = quo · m + rem, m's leading coefficient being inverted exactly:
// a number in the field of fractions (mult the product of the denominators
// cleared) or modulo the modulus (mult 1), a field element modulo the
// relation of its variable.
void pseudo_field_coef_poly_div(polynode* u, polynode* m, pt* rec, polynode** quo, polynode** rem,
                                polynode** mult);

// u = quo·m + rem by ordinary division when m's leading coefficient lies in
// relations that make no field and has an inverse there (checked): the true
// quotient and remainder, where pseudo_div would scale u. False, the slots
// untouched, when it has none. A null slot is not written.
bool unit_lead_div(polynode* u, polynode* m, polynode** quo, polynode** rem, pt* rec);
