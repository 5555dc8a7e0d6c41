// Division that is expected to be exact: a gcd cancelled from a quoly, a
// content removed, a factor split off. gen_poly_divide and trial_poly_quot
// report an inexact division through their flags; fast_poly_divide,
// fast_divide and poly_quot treat it as a fatal internal error (after their
// diagnostic line on standard output), and the operand they work on is then
// left as it was. A field divisor is inverted and multiplied by.
//
// Result slots are copy-then-free unless said otherwise. A zero divisor is
// error 22; should it return, poly_quot divides by 1 and trial_poly_quot
// answers "not divisible", while the others end the statement.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// quo := u / m; fail := 1 when m does not divide u (quo then 0, or the
// quotient found before the remainder was seen not to vanish).
void gen_poly_divide(polynode* u, polynode* m, polynode** quo, pt* rec, int* fail);
// gen_poly_divide, with negative exponents of u shifted away first in
// Laurent mode and put back on the quotient (and on u when restore_u is set).
void Lpoly_divide(polynode** u, polynode** m, polynode** quo, int restore_u, pt* rec, int* fail);
// divide non-zero: gen_poly_divide; zero: num_pseudo_div with rem and mult.
// u's negative exponents are shifted away around the division.
void clear_and_operate(polynode** u, polynode** m, polynode** quo, polynode** rem, polynode** mult,
                       int restore_u, int divide, pt* rec, int* fail);
// in place: *u := *u / m, which must be exact. code identifies the caller in
// the diagnostic lines.
void fast_poly_divide(polynode** u, polynode* m, pt* rec, int32_t code);
// in place: every top-level coefficient of *u divided by m, which does not
// involve *u's top variable.
void fast_divide(polynode** u, polynode* m, pt* rec, int32_t code);
// result := u with every number divided by the number m (exactly outside
// modular and machine-integer arithmetic).
void poly_quot(polynode* u, polynode* m, polynode** result, int32_t code);
// result := u / m for the number m when every number of u is divisible;
// ok := 1. Otherwise ok := 0 and the result slot is untouched.
void trial_poly_quot(polynode* u, polynode* m, polynode** result, int* ok);
// in place: *p divided by the gcd of its integer coefficients.
void clear_up(polynode** p);
