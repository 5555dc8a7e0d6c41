// Reduction modulo the mod-out relations of polynomial variables.
//
// A variable t may carry a relation m(t) = 0 in its record (pt): a general
// relation keeps the monic m itself in `relation` (at t's own level, its
// coefficients polynomials of the inner variables); a binomial relation
// t^n + c keeps the lone number -c there (the value t^n is replaced by) and
// t^n + c in `binomial`. `reductions` holds t^e reduced for e = 2n-2 down to
// n, so that a product of two reduced elements folds with one product per
// high term and no division.
//
// Every routine here keeps the shape rules of poly/polyvars.h: zero
// coefficients dropped, an exponent-0 term over a lone number stored as that
// number node, an emptied polynomial the zero polynomial.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;
struct quoly;

// ---- one relation ----
// in place. *p (at rec's level) reduced modulo the relation held in
// *relation, of degree d. The relation is taken from the slot, not from rec,
// so that a relation not yet installed in its record can be applied.
void fold_poly(polynode** p, polynode** relation, int32_t d, pt* rec);
// in place. The binomial case: *relation is the lone number v with t^d = v.
// A negative exponent (Laurent mode) needs v = 1 or -1: otherwise four lines
// and error 211, *p unchanged.
void num_fold_poly(polynode** p, polynode** relation, int32_t d);
// Detaches the negative-exponent terms of *p and returns them reduced
// modulo the relation (null when there are none); *p keeps the rest.
polynode* laurent_fold(polynode** p, polynode** relation, pt* rec, pt* bare);
// in place. *p of top exponent below 2n - 1 reduced by rec's power table;
// anything higher goes through fold_poly.
void fast_fold_poly(polynode** p, pt* rec);
// Result slot: never-free. *table := the power table of a relation of
// degree d >= 2: one term for each e = 2d-2 down to d holding t^e reduced;
// none (null) past MULDATA_MAX_DEGREE, where fast_fold_poly divides.
inline constexpr int32_t MULDATA_MAX_DEGREE = 1 << 16;
void make_muldata(polynode** table, polynode** relation, int32_t d, pt* rec);

// ---- products ----
// Result slot: copy-then-free. The schoolbook product at a level whose
// record (or an inner one) has a relation; la, lb the top term counts.
void mod_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res, pt* rec);

// ---- several relations ----
// in place. *p (its top at rec's level) reduced by the relation in
// *relation of degree d belonging to the variable k levels down (k = 1: the
// top level). A null *p becomes the zero polynomial.
void mod_out_poly(polynode** p, polynode** relation, int32_t k, int32_t d, pt* rec);
// in place. *p (a whole polynomial) reduced by the relations of the levels
// above the field (of every level when there is no field).
void above_field_modout(polynode** p);
// in place. *slot reduced modulo the relation of every variable from rec inward.
void total_poly_modout(polynode** slot, pt* rec);

// ---- bookkeeping ----
// Set when the search for first auxiliary primes found none; no later field
// searches again. Cleared with the field.
extern int aux1_hit_0;
// Recomputes field_depth, pseudo_polynames, modout_above_field, char2_degs1
// and the auxiliary-prime state from the variable list; the field flags are
// made to form one run ending at the innermost variable.
void reset_pseudo_poly();
// Every record's relation data converted to residues modulo the current
// modulus, each change on the undo log (restore_from_mod puts them back).
void change_poly_modout_data();

// ---- inverses ----
// Result slot: never-free. *inv := a new quoly whose numerator is the
// inverse of the field element p (the level of rec) up to the number
// denominator it carries (null = 1).
// A relation declared a field that is reducible leaves some elements without
// inverse: error 22 with "/", and the statement is abandoned; while a
// ZeroDivisorEscape is alive ZeroDivisorMet is thrown instead.
void poly_mod_invert(polynode* p, quoly** inv, pt* rec);

// A computation at a chosen point (an image of a gcd) that meets an element
// without inverse has only met an unlucky point: its caller catches this and
// takes another point instead of ending the statement.
struct ZeroDivisorMet {};
extern int32_t zero_divisor_escape;
// An element without inverse was met: ZeroDivisorMet under a
// ZeroDivisorEscape, else error 22 with "/" and the statement abandoned.
[[noreturn]] void zero_divisor_met();
struct ZeroDivisorEscape {
    ZeroDivisorEscape() { zero_divisor_escape++; }
    ~ZeroDivisorEscape() { zero_divisor_escape--; }
    ZeroDivisorEscape(const ZeroDivisorEscape&) = delete;
    ZeroDivisorEscape& operator=(const ZeroDivisorEscape&) = delete;
};
// While set, told of the two factors of each step's products in
// reverse_euclid (the quotient and the divisor after its division, the
// quotient and the cofactor before their product): a gcd run within a
// budget of work charges them, and may throw out of the inverse.
extern void (*euclid_step_meter)(const polynode* a, const polynode* b);
// Result slots: free-first. mult·a + s·b = r with r of degree 0 in rec's
// variable; a, b kept. Products under rec (reduced by the relations), the
// divisions under bare, rec's relation-free copy.
void reverse_euclid(polynode* a, polynode* b, polynode** mult, polynode** s, polynode** r, pt* rec, pt* bare);
