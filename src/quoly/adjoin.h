// Adjoining and cancelling polynomial variables: the &J command in its
// prompting and inline forms, and the conversions that keep every stored
// value consistent with the changed list of variables.
//
// A change either completes or leaves everything as it was: the converted
// values are all computed before the first stored value or the variable
// list is touched, so an error in the middle (a gcd that fails, an
// interrupt) changes nothing.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>

#include "storage/records.h"

struct name;

// The variables changed while the ground ring was modular; the switch back
// to rational arithmetic refuses to run after that.
extern int changed_in_modmode;
// Modular arithmetic was entered with a conversion list: values left out of
// it, or converted only for the time being, need the way back to rational
// arithmetic that a change of variables or relations would close.
extern int values_await_rational;
// Error 377 (ending the statement) when such a change would strand them.
void refuse_while_values_await_rational(const char* text);

// ---- the command ----
// &J (prompting 1: `token` is "J", the answer is read from Input) or the
// rest of &(J = ...) / &(J > ...) (prompting 0: `token` is "=" or ">").
// *out_flag := 1 on entry; the inline form clears it once it has read the
// ")" that ends the switch, so that the caller reads no further ")".
void attach_poly(FILE** source, name** pending, int prompting, int* out_flag);

// ---- the changes ----
// Adjoins the variable `var_name` (a valid name, at most 10 characters) as
// the outermost variable, or the innermost with innermost 1, converting
// every stored value. Errors 126 (already a variable) and 228 (too many),
// after which (should they return) nothing has changed.
void adjoin_poly_var(const char* var_name, int innermost);
// Cancels the variable `var_name`: every stored value is taken at
// var_name = 1 and loses that level. Error 169 when it is no variable, 380
// when another variable's relation uses it, after which (should they
// return) nothing has changed.
void cancel_poly_var(const char* var_name);

// ---- conversions of single values ----
// in place. q gets a new outermost level above its numerator and
// denominator; numbers and lone number nodes are left as they are.
void quoly_new_top_level(quoly* q);
// A new polynomial: p with the variable of level `level` (1 = p's own top
// variable) set to 1 and that level removed. *touched := 1 when the
// variable occurred in p with a non-zero exponent (left alone otherwise).
polynode* poly_at_one_removed(const polynode* p, int32_t level, int* touched);
// Result slot: never-free (*r is overwritten). *r := q with the variable of
// level `level` set to 1 and that level removed, in normal form. Returns 0
// and leaves *r null when q's denominator becomes 0 there. q is kept.
int quoly_at_one_removed(const quoly* q, int32_t level, quoly** r);

// ---- arrays ----
// Hooks for the array tables, called when the scalars have been converted:
// after an outermost variable was adjoined (the list already changed)
// every dense cell, the system array and the sparse frames need a new top
// level; before the variable of `level` leaves the list they need it set
// to 1 and removed, zero denominators becoming 1 with the array warnings
// (*zero_dens counts every such case, the scalars' included, for the
// 40-warning limit).
void adjoin_convert_arrays();
void cancel_convert_arrays(int32_t level, long* zero_dens);
// f(slot) for every stored array value: dense cells, the dense system
// array's cells, the value of every sparse entry (each frame chain once).
void each_array_value(const std::function<void(quoly**)>& f);
// Unlinks and frees the sparse entries (the system array's too) that hold 0.
void drop_zero_sparse_entries();
