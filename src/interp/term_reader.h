// The direct reader of polynomials and quolys written out as sums of terms,
// the form the display and the save files write ("&_n" and the coefficient
// readers of built-ins). Terms in canonical order are linked into the
// polynomial as they are read, with no arithmetic; only a remainder out of
// that order (an outer variable with a negative exponent after inner terms,
// under Laurent exponents) is added by polynomial addition.
//
// A term: an optional coefficient (digits, '-' coefficient, or '('
// polynomial ')' in inner variables) and at most one polynomial variable
// with an optional '^' exponent. (3y)x stands for 3xy.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

// The level given to a term without a variable: below every variable.
constexpr int32_t CONSTANT_LEVEL = 16384;

extern int minus_warning;   // set while a file is read: the negative-value warning is still due

// The frame the term readers share with the polynomial reader: its token
// source and what it has built, which an error frees.
struct term_frame {
    FILE** source;
    name** pending;
    int32_t terms;          // terms placed so far (0: a zero ends the literal)
    int negative;           // a negative coefficient was met
    int32_t coef_level;     // get_the_coef: outermost level of a polynomial coefficient
};

// Reads a polynomial from the current token on into *slot (free-first
// unless *slot holds the coefficient of the terms that follow, at *level;
// that coefficient must not be zero, error 163). *level := the outermost
// level read (CONSTANT_LEVEL for a number). The result is a chain at that
// level, not padded above it. The token after the polynomial is left in
// `token`. Errors 1, 159 to 165, 204; when error() returns, the zero
// polynomial.
void poly_readin(FILE** source, polynode** slot, name** pending, int32_t* level);

// free-first. A numerator and an optional "/" denominator into a new quoly
// in normal form, reduced modulo the mod-out relations. Errors as
// poly_readin, 164 (zero numerator before "/"), 22 (zero denominator: the
// value becomes 1). *level as poly_readin's for the numerator.
void quoly_readin(FILE** source, quoly** value, name** pending, int32_t* level);

// The exponent after '^' (token at its first digit, or '-' under Laurent
// exponents), read with modular arithmetic off; 0 is error 204.
int32_t getit(term_frame* frame);

// A term's coefficient: "(" polynomial ")", "-" coefficient, digits, or
// nothing (then *is_one := 1 and the coefficient 1). A new polynomial (a
// lone number node, or a chain at frame->coef_level), or null when a zero
// number ends the literal before any term.
polynode* get_the_coef(int* is_one, term_frame* frame);
