// Absolute value, greatest integer (floor), integer square root, content
// and p-th root of single values, and the greatest integer or absolute
// value of every entry of a sparse matrix: the scalar built-ins behind "$",
// "|...|", Sqrt, Numcont and Pfroot.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// ---- absolute value (nothing changes in modular mode) ----
// In place on the number x: non-negative (the machine word in
// machine-integer mode).
void abs_value(imag* x);
// In place: every number leaf of u, at every level, made non-negative.
void poly_abs(polynode* u);
// In place on the record q: a number or rational its absolute value; a
// polynomial or rational function has every coefficient of numerator and
// denominator made non-negative and is brought back to normal form.
void quoly_abs(quoly* q);

// ---- greatest integer ----
// In place: the floor of a rational number; a quoly with a polynomial
// denominator becomes the polynomial quotient of its numerator by that
// denominator (as "\" gives it); plain numbers and polynomials are
// unchanged. Machine-integer mode without a modulus is error 62 ("$").
void quoly_great_int(quoly** slot);

// ---- square root ----
// result := the integer square root of the number x (result may be x):
// the field's table in GF(2^8) and GF(2^16); the root in 1 .. (p-1)/2
// modulo an odd prime (0 for 0 and for non-squares); otherwise the floor
// of the real root. Errors ("Sqrt"): 34 for another modulus, 37 for a
// negative number or a field element out of range; result is then left.
void square_root(imag* x, imag* result);

// ---- content (built-in Numcont) ----
// *result := 0 for 0; the absolute value of a number or rational (1 for a
// non-zero number in machine-integer and modular mode); the gcd of the
// coefficients of a polynomial. A rational function is error 196 (current
// token), after which *result is 0. arg null counts as 0. The old *result
// is freed; result may be arg's slot.
void number_content(quoly* arg, quoly** result);

// ---- p-th root (built-in Pfroot; modular mode, prime modulus) ----
// In place: the p-th root of the value, taken at the first variable its
// numerator depends on. That variable must lie in the field tower (level
// >= field_depth > 0): error 301 otherwise, the value unchanged. A plain
// number is its own root.
void quoly_pth_root(quoly** slot);

// ---- sparse matrices ----
// The greatest integer (take_abs 0) or absolute value (take_abs 1) of
// every stored entry of the n-row matrix at *frame_slot; a floor that
// gives 0 removes its entry, so no zero is stored. in_place 0: the matrix
// belongs to someone else and *frame_slot receives a changed copy.
void sparse_great_abs(sparse** frame_slot, int32_t n, int in_place, int take_abs);
