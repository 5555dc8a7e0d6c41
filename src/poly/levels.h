// Read-only questions about the variable levels a polynomial uses: how deep
// it reaches above the field-extension levels, which variables occur,
// whether extension-field elements occur, whether every coefficient is
// surely invertible, whether factoring is possible; and newdummy, the
// temporary copy of a variable record.
//
// Levels: 1 is the outermost variable; a polynomial handed over "at level
// k" is a chain of terms in the variable of level k. A chain depends on its
// variable when its first exponent is non-zero. field_depth is compared
// with levels directly: level L lies in the field levels when
// L >= field_depth.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

struct pt;

// ---- depth and variable queries ----
// The deepest level from k down to field_depth - 1 at which p has a chain
// depending on its variable; 0 when there is none or field_depth <= k.
int32_t max_below(polynode* p, int32_t k);
// The depth of p (at level k) counted in levels that carry a variable,
// stopping at the field levels when there are any. Null p: 0, or 1 with
// field levels.
int32_t quick_depth_below(polynode* p, int32_t k);
// flags[L] := 1 when q (at level L) depends on its variable, and likewise
// for every coefficient chain below it. flags grows as needed.
void mark_vars(polynode* q, std::vector<int32_t>& flags, int32_t L);
// The number of levels k .. number_polys that p (at level k) uses; level k
// itself always counts. 0 when k > number_polys.
int32_t polys_there(polynode* p, int32_t k);
// flags[L] := 1 for every level L below q (at level L) that has a term of
// non-zero exponent. flags grows as needed.
void poly_vars(polynode* q, int32_t L, std::vector<uint16_t>& flags);
// The number of distinct variables occurring in p with a non-zero exponent.
int32_t driver_poly_vars(polynode* p);

// ---- field elements and invertibility ----
// 1 when a term node of q (at level k), or of a chain below it, lies at a
// level >= field_depth.
int exists_field_element(polynode* q, int32_t k);
// 1 when neither u nor v (at level k) reaches a field level; an operand
// that is only a number passes. The modular methods are open only then.
int both_above_field_depth(polynode* u, polynode* v, int32_t k);
// 1 when a coefficient below q (at level k) depends on the variable of a
// level strictly between k and stop (stop 0: every level below k).
int nogood(polynode* q, int32_t k, int32_t stop);
// 1 when every coefficient of p (at level k) is a number or lies in the
// field levels, so can be inverted; null p: 1.
int all_coefs_invrtble(polynode* p, int32_t k);
// all_coefs_invrtble of u and of v; a null operand passes.
int all_coefs_invrtble_both(polynode* u, polynode* v, int32_t k);
// 1 when factoring p (not a number) is impossible in the present setting;
// *code := the error to report (298: a modded-out variable that makes no
// field lies at or below p's main variable, with field levels present;
// 299: coefficients depend on variables that factoring cannot handle).
// With check 0 only the first case is looked for.
int cant_factor(polynode* p, int32_t* code, int check);

// ---- dummy variable record ----
// *dst := a fresh record (pt_garb first) set up as newpt does, with src's
// name and hash, level, mod-out degree and next link; never its relation or
// other mod-out data. Give it back with free_pt.
void newdummy(const pt* src, pt** dst);
