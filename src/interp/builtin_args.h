// The argument readers every built-in shares: parentheses and commas, a
// value or a '^' reference, a variable's own value slot, an array operand,
// a count read with modular arithmetic off, and the output variable a
// built-in stores a second result into.
//
// Every reader starts with its first token in `token` and leaves the token
// after what it read there. A refused argument is a numbered error; when
// the error routine returns (a nested level) the statement is abandoned,
// since no reader has a value to go on with, except where a routine below
// names its replacement.
#pragma once
#include <cstdint>
#include <cstdio>

#include "interp/array_table.h"
#include "storage/records.h"

struct name;

// ---- tokens ----
// Reads the next token.
void bnext(FILE** source, name** pending);
// `token` must be `what`, else error code (and the statement ends).
void bexpect(const char* what, int code);
// error(code) and, should it return, the end of the statement.
[[noreturn]] void bfail(int code, const char* text);
// The next token must be "(" (error 177); the token after it is read.
void open_arguments(FILE** source, name** pending);
// `token` must be ")" (error 1); the token after it is read.
void close_arguments(FILE** source, name** pending);
// `token` must be "," (error code, 202 by default); the token after it is read.
void next_argument(FILE** source, name** pending, int code = 202);

// ---- values ----
// A value argument: one expression into *slot (free-first; an expression
// that gave nothing is 0). refuse_ref: a leading '^' is error 313.
void value_argument(FILE** source, name** pending, quoly** slot, bool refuse_ref = false);
// A variable at the current token (optional '^'): a scalar, an element, an
// element of '%'. Returns the address of its value slot; null for an
// absent sparse entry. *sparse (when given) := 1 for an element of a
// sparse array. Errors 125 (a polynomial variable), 243 ("<"), 19 (no such
// scalar), 28 (no such array), 29 (not a variable). For an element of a
// sparse array, *row (when given) := the address of its row's head and
// *column := its column from 1, where an absent entry would be linked
// (sparse_zero_set, purge_sparse); *row := null otherwise.
quoly** get_quoly_ptr(FILE** source, name** pending, int* sparse = nullptr, colm*** row = nullptr,
                      int32_t* column = nullptr);
// The value a variable holds, not copied (null: an absent sparse entry or
// an empty cell). "<" and "<"[i, j] are allowed.
quoly* get_quoly(FILE** source, name** pending);
// The same variable's value slot (null for an absent sparse entry): a
// built-in that evaluates further arguments reads the value through it
// afterwards, since those arguments may run a function that replaces it.
quoly** get_quoly_slot(FILE** source, name** pending);
// One argument that is a value or a '^' reference: returns the slot to
// read: the variable's own (it must not be changed) or *arg holding the
// expression's value (an empty variable makes *arg 0).
quoly** get_the_data(FILE** source, name** pending, quoly** arg);
// "(" get_the_data ")" after the built-in's name (token at the name).
quoly** standard_read(FILE** source, name** pending, quoly** arg);
// "(" r "," r ")" after the built-in's name: the two slots to read, as
// get_the_data gives them (args holds the two argument slots).
void get_two_data(FILE** source, name** pending, quoly** args[2], quoly*** out_a, quoly*** out_b);
// A variable reference, '^' optional: its value slot; an empty or absent
// one makes *arg 0 and returns arg.
quoly** read_quoly_ptr2(FILE** source, name** pending, quoly** arg);

// ---- counts ----
// An expression read with modular arithmetic off; it must be a plain
// number (error not_number, 227 by default) and fit a machine integer
// (error 32). refuse_ref: a leading '^' is error 313.
int32_t count_argument(FILE** source, name** pending, bool refuse_ref = false, int not_number = 227);
// The same for a level or a count that must be one digit (error 314) and,
// with non_negative, not below 0 (error 300).
int32_t get_level_k(FILE** source, name** pending, bool non_negative);

// ---- arrays ----
// "(" ["*"] "[" operand: the token after the built-in's name first. The
// operand is read by left_side; a missing array is error 28. *star := 1
// when "*" was given (allow_star; otherwise "*" is not accepted here).
void read_command(FILE** source, name** pending, array_operand* out, int* star, bool allow_star);
// "[" operand after a comma in an argument list (token at "[", error 178).
void array_argument(FILE** source, name** pending, array_operand* out);
// The operand must be a whole array: subscripts are error 182.
void whole_array(const array_operand& a);
// "[" name "]" of an array the built-in fills (token at "["): an existing
// array is not needed. Errors 178, 296 ("%"), 176 ("<"), 42, 125, 182
// (subscripts), 24. Leaves the token after "]".
void output_array_argument(FILE** source, name** pending, tokenrec* nm);
// A new rows x columns array named nm, dense (its cells empty) or sparse
// (its frames made, no entries), in place of the newest array of that name,
// which is deleted first under the alias rules of array parameters.
array* replace_output_array(tokenrec* nm, int32_t rows, int32_t columns, bool sparse, name** pending);

// ---- output variables ----
// Stores value (ownership passes) into the variable or element that the
// current token names, then `token` must begin with end (error code).
// A zero stored into a sparse entry removes the entry. Errors 125, 232,
// 176 ("<" as a target), 28.
void set_quotient(quoly* value, FILE** source, name** pending, int code, char end);
