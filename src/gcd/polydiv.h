// Quotient and remainder of multivariate polynomials: the "|" operator and
// its quotient partner, both results at once, and the one-variable
// schoolbook division the field-coefficient and Hensel code call directly.
//
// Over a field (a prime modulus, or an invertible leading coefficient) the
// results are the true quotient and remainder; a divisor of positive degree
// whose leading coefficient is neither 1 nor invertible gives the
// pseudo-quotient and pseudo-remainder (gcd/pseudo_div.h). Degrees are in
// the top variable of the dividend; rec is that level's variable record.
//
// Result slots are copy-then-free: results are formed completely and only
// then the slots' old values (null or a polynomial) freed. Operands are
// kept (a divisor's tail is negated while a division runs and negated back
// on every exit). A zero divisor is error 22; in Laurent mode an operand
// with a negative exponent is error 205, which ends the statement even
// when it returns. After error 22 returns the remainder is u and the
// quotient 0.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// u = quo·m + rem (pseudo forms as above).
void poly_mod_and_div(polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec);
// op '|' asks for the remainder, any other character for the quotient. A
// plain-number divisor acts on every number coefficient, the remainder made
// non-negative when pos_mod is set.
void poly_mod_or_div(polynode* u, polynode* m, polynode** result, int op, pt* rec);
// One variable: u = quo·m + rem, deg rem < deg m. fast non-zero lets large
// divisions under a prime modulus take divide and conquer. Outside modular
// arithmetic a leading coefficient of the remainder that lc(m) does not
// divide ends the division there: u = quo·m + rem still holds, with
// deg rem >= deg m telling the caller that m does not divide.
void basic_poly_divide(polynode* u, polynode* m, polynode** quo, polynode** rem, int fast);
