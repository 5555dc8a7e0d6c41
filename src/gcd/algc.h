// The last resort of the gcd driver: the subresultant pseudo-remainder
// sequence in the main variable ("Algorithm C"), after an optional move of
// a better variable to the top, with a cost rule that may hand a large pair
// back to the full driver (at most four times per statement).
#pragma once

struct gcd_state;

// Computes the gcd of the driver's working pair (*st->u, *st->v: primitive
// w.r.t. the main variable, deg u >= 1, deg v >= 1) and ends the driver call
// through finish_4; the caller returns at once afterwards. Operands the
// driver does not own yet are copied first and the caller's ones restored;
// the driver's own copies are consumed (*st->u and *st->v are null on
// return). allow_tests and allow_split are the driver call's flags, passed
// on when the pair is handed back to polygcd.
void algorithm_c(gcd_state* st, int allow_tests, int allow_split);

// The abandonment switch (&O clears it: "Use no Hensel or CRT for GCD"):
// 0 forces this path in modular arithmetic and makes an abandonment warn.
extern int chinhensel;
// Raised while the variable levels are shifted (the error routine reads it).
extern int globalpoly;
