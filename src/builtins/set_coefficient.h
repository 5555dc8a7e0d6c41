// Recoef: one coefficient of a stored value (a scalar or an array cell, or
// only its numerator or denominator) changed in place, the rest of the
// polynomial kept as it is.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

// Recoef "(" target {"," e} ")" ":" "=" value, the token at "Recoef" on
// entry; the target is a name, name[i] or name[i, j], or Numer(...) or
// Denom(...) of one. Exponents (one per variable from the outermost, read
// with modular arithmetic off) select the term; none replaces the whole
// value. The value must not depend on the variables the exponents fix.
// An unset scalar is created; a sparse entry left 0 is removed. *result
// (free-first) := a copy of the changed value at the terminal, 0 in stored
// code. Leaves the token after the value.
void change_coef(FILE** source, quoly** result, name** pending);

// In place: the coefficient of the term exps[0 .. d-1] of the list *p
// (null: the zero polynomial) becomes c (consumed; null or a zero number:
// the term goes). c is a polynomial d levels below *p's top. Absent terms
// are inserted in exponent order; a constant term is a number leaf; a
// level emptied by the change goes, and *p becomes null when nothing is
// left.
void set_coef(polynode** p, const int32_t* exps, int32_t d, polynode* c);

// In place: *slot (empty, a plain number or a polynomial without
// denominator) with its coefficient at exps[0 .. d-1] set to c (consumed).
// A result that is a number is a plain number.
void quoly_set_coef(quoly** slot, const int32_t* exps, int32_t d, polynode* c);
