// Monic forms and division by a divisor whose leading coefficient can be
// inverted: a residue modulo a prime, or an element of an extension field.
// The field-element branches go through poly_mod_invert (poly/modout.h).
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// in place. Modular mode only (error 284 otherwise): *p divided by its
// leading number (the number at the end of the first-term chain; with field
// levels the first field element or number met) so that it becomes 1.
// *lc := the former leading coefficient as a new lone number node (or the
// field inverse's numerator); free-first, the caller frees it. A leading 0
// is error 22, a residue without inverse error 85, both with "/"; *p is
// unchanged on either error. When error 284 or 22 returns, *lc is 1.
void monic_poly(polynode** p, polynode** lc, pt* rec);

// Result slots: copy-then-free (quo and rem may hold old values; they are
// freed once both results exist). u = quo·m + rem with deg rem < deg m in
// the top variable of rec's level; u and m kept (m's tail is negated while
// the division runs and negated back on every exit). m's leading
// coefficient must be a number in modular mode with a prime modulus, or a
// field element; deg m > deg u gives quo 0 and rem a copy of u. A zero m is
// error 22 with "/", after which (should it return) so does a zero m.
void field_coef_poly_divide(polynode* u, polynode* m, pt* rec, polynode** quo, polynode** rem);
