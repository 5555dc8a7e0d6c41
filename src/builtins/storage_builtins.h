// Built-ins that look at or move stored values without copying them: the
// equality and negation tests on stored values (17 "Equal", 18
// "Equalneg"), a coefficient array made a polynomial (63 "Poly"), and the
// renaming of arrays, moving and swapping of stored values (77 "Rname",
// 51 "Move", 91 "Swap").
//
// Handlers: on entry `token` is the built-in's name; each reads its own
// arguments with the scanner, leaves its value in *result (free-first) and
// leaves the token after the last token of the call. The storage handlers
// leave the number 0.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/other_records.h"
#include "storage/records.h"

// ---- handlers ----
// n = 17: 1 when the two values are equal; n = 18: 1 when the first is the
// negative of the second; else 0. Arguments: "(" A "," B ")", each side
// optionally "Numer" "(" name ")" or "Denom" "(" name ")"; a leading "^"
// is skipped. Stored values are compared in place; an absent one is 0.
void builtin_equal(FILE** source, quoly** result, name** pending, int32_t n);
// "Poly" "[" array "]": the one-dimensional array as a polynomial in the
// outermost variable, the first cell the leading coefficient.
void builtin_poly(FILE** source, quoly** result, name** pending);
// "Rname" "[" old "]" ":=" "'" "[" new "]" "'": renames the newest array
// called old; it then hides any older array called new.
void namechange(FILE** source, quoly** result, name** pending);
// "Move" "(" target "," source ")": the target takes the source's value,
// the source becomes 0. Move(a, a) leaves a as it is.
void move_storage(FILE** source, quoly** result, name** pending);
// "Swap" "(" first "," second ")": the two stored values change places.
void swap_storage(FILE** source, quoly** result, name** pending);

// ---- the decisions of 17 and 18 (op 17: equality, any other: negation) ----
// Selection flags of finish_equal, in this order.
enum { FIRST_NUMER = 0, FIRST_DENOM = 1, SECOND_NUMER = 2, SECOND_DENOM = 3 };
// Result slot: free-first; receives the number 1 or 0. a and b are read
// only; a null or empty slot stands for 0.
void finish_equal(int32_t op, quoly** result, quoly** a, quoly** b, const int32_t* flags);
// Whether the quoly x is (op 17) or is the negative of (op 18) the
// denominator of the quoly y; *state := 1 or 0.
void handle_denom(quoly* x, quoly* y, int* state, int32_t op);
// The same for two polynomials, either of which may be null, standing for 1.
void look_at_polys(polynode* p, polynode* q, int* state, int32_t op);

// ---- arrays to polynomials ----
// Result slot: free-first. The cells a->first .. a->last of a dense array,
// the first the coefficient of x^(n-1), x the outermost variable. Empty and
// zero cells add no term; a cell that is not a plain number is error 227
// (the slot then holds 0).
void arr_to_poly(array* a, quoly** slot);
// The same for the n rows of a sparse array (first frame `frame`): row i's
// value is the first entry of its list; an empty row adds no term.
void arr_to_poly_sparse(sparse* frame, int32_t n, quoly** slot);
