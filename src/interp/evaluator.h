// The expression evaluator: one routine per precedence level, evaluating
// while it reads (there is no syntax tree). expre reads sums and the
// assignment forms, term products and quotients, fact one factor with its
// prefix and postfix operators.
//
// Value slot and reference: each routine gets a value slot owned by the
// caller and a reference out-parameter. A routine that computed a value
// leaves it in the slot and sets the reference to the slot; one that only
// named a stored value (a scalar) leaves the slot empty and hands back the
// address of the stored slot, which the caller copies only if it must
// change it. A null reference means the factor gave no value (take 0).
// The slot is free-first: fact frees it on entry.
//
// Sparse position: the entry list and second subscript of an element of a
// sparse array, set by fact for such an element (null otherwise); an
// assignment would use them to create or remove the entry.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

// A sum or difference of terms, or an assignment after the first term:
// ":=" expression, ":+" [amount], ":-" [amount], or ':' directly before the
// end of a top-level statement (computed, not displayed: `token` becomes ":").
void expre(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
           name** pending);
// Factors joined by '*', '/', "//", '\' (integer quotient), '|' (remainder)
// or juxtaposition; the words "or" and "and" end it.
void term(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
          name** pending);
// One factor: a prefix form, then at most one of '^', '!', '#', then any
// number of '"'. references_only: the raw reference of an unset element is
// wanted (built-ins that move stored values).
void fact(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
          name** pending, int references_only);
// `token` is "^": reads the exponent (a factor when as_factor is 1, else a
// whole expression) with modular arithmetic off; it must be a plain number
// (error 116). *exponent := its number record, which the caller frees.
// In a machine-word ring the exponent is read exactly and handed on as a
// word; one that does not fit is error 32, or, with beyond_word, sets it
// and comes as its residue modulo the modulus less one (prime modulus) for
// raise_to_power to use on a residue.
void get_exponent(FILE** source, name** pending, imag** exponent, int as_factor, bool* beyond_word = nullptr);

// Raised by the array reader while a scalar factor is read in an array
// expression: a factor p#[...] then stops at the "[" and lowers it, and the
// array reader applies p to the matrix. Cleared by every error.
extern int32_t matrix_eval;

// Reports a construct that a later stage of the system provides: the
// message as an internal note, then the numbered error nearest to it.
void feature_unavailable(const char* what, int code, const char* text);
