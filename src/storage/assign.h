// Filling result slots with copies, constants, negations and conversions of
// polynomials and quolys, and moving values between record kinds without
// copying.
//
// Every routine that fills a slot follows one discipline for the slot's old
// value, named beside its declaration:
//   copy-then-free  the new value is built completely, then the old one is
//                   freed and replaced; the source may be the slot's value;
//   free-first      the old value is freed before anything is built; the
//                   source must not lie inside it;
//   never-free      the slot is overwritten; the caller passes an empty slot
//                   or one whose old value it still owns elsewhere.
// "Copy" of a number means the value word in machine-integer and modular
// mode, the digit chain otherwise; "negate" follows the ground ring
// (residue v -> modulus - v, unchanged under characteristic 2). Every new
// number quoly has den cleared, so a recycled record never carries the
// array-parameter marker into a new value.
#pragma once
#include <cstdint>

#include "storage/records.h"

// ---- deep copies ----
// Result slot: copy-then-free (dst may be src). A null src makes dst null.
void poly_assign(polynode* src, polynode** dst);
// Result slot: copy-then-free (dst may be src). Every number negated.
void poly_makeneg(polynode* src, polynode** dst);
// Result slot: copy-then-free (dst may be node). A lone number node copying node's number.
void node_assign(polynode* node, polynode** dst);
// Result slot: copy-then-free (dst may be src). rat kept only outside machine-integer mode.
void quoly_assign(quoly* src, quoly** dst);
// Result slot: copy-then-free (dst may be src). Number or numerator negated, denominator as is.
void quoly_makeneg(quoly* src, quoly** dst);
// Result slot: copy-then-free (dst may be src). Numerator by one_var_poly_assign, no denominator.
void one_var_quoly_assign(quoly* src, quoly** dst);
// never-free. A deep copy of src below its top run of exponent-0 padding levels.
void one_var_poly_assign(polynode* src, polynode** dst);

// ---- constants and numbers ----
// free-first. dst := the number n as a lone number node.
void poly_set(int32_t n, polynode** dst);
// free-first. dst := the number quoly n. In modular mode n enters the ring
// first (word_residue): counts, codes and settings stored as values must show,
// add and compare as the element they stand for; a residue stays as it is.
void quoly_set(int32_t n, quoly** dst);
// free-first. A lone number node takes over n's digits; n keeps its record, now owning none.
void scalar_to_poly(imag* n, polynode** dst);
// free-first. A number quoly takes over n's digits; n keeps its record, now owning none.
void scalar_to_quoly(imag* n, quoly** dst);
// free-first. A number quoly copying n; in machine-integer mode n's digits become the value word.
void spec_scalar_quoly(imag* n, quoly** dst);
// free-first. A lone number node gives a number quoly, anything else a polynomial quoly; p copied.
void p_q_assign(polynode* p, quoly** dst);
// free-first. dst := the n-th polynomial variable (1 = outermost); n = 0 gives 1.
void base_poly(polynode** dst, int32_t n);
// free-first. dst := the polynomial quoly base_poly(n).
void base_quoly(quoly** dst, int32_t n);
// never-free. dst := a number quoly copying the number of the number node p.
void poly_to_quoly(polynode* p, quoly** dst);
// never-free. dst := a lone number node copying the number of the number quoly q.
void quoly_to_poly(quoly* q, polynode** dst);
// never-free. dst := a number quoly with q's value word (residues and machine integers only).
void mod_quol_assign(quoly* q, quoly** dst);

// ---- leading term ----
// never-free. The leading term of q's numerator over a copy of q's denominator.
void leading_term(quoly* q, quoly** dst);

// ---- moving values between record kinds ----
// never-free. Moves node's exponent, next and coefficient into a new dst node (a number node: poly_assign, which frees dst).
void mini_copy(polynode* node, polynode** dst);
// never-free. Consumes p (a lone number node; p := null): its number moves into a number quoly.
void poly_consume(polynode** p, quoly** dst);
// never-free. p becomes dst's numerator (p's slot keeps a pointer it no longer owns); a lone number node as poly_consume.
void use_up_poly(polynode** p, quoly** dst);
// never-free. Consumes q (a number quoly; q := null): its number moves into a lone number node.
void quoly_consume(quoly** q, polynode** dst);
// never-free. dst := c·v^e, c taken over; e = 0 with a lone number c gives c itself.
void make_monomial(polynode** dst, int32_t e, polynode* c);
// never-free. Shallow top-level copy: new nodes share the leading terms' coefficients; the first number term on is shared.
void spec_poly_assign(polynode* src, polynode** dst);

// ---- reshaping and negating in place ----
// in place. p := p·v^e one level up, unless e = 0 and p is a lone number node.
void fluff_out(polynode** p, int32_t e);
// in place. k >= 0 padding levels (exponent 0) above p.
void add_pad(polynode** p, int32_t k);
// in place. Negates every number of p.
void poly_inplace(polynode* p);
// in place. Negates q's number or every number of its numerator.
void quoly_inplace(quoly* q);
// in place. Drops level `level` (1 = top), whose variable occurs only with exponent 0.
void remove_one(polynode** p, int32_t level);
// in place. remove_one on numerator and denominator; number quolys are left alone.
void remove_poly_var(quoly** q, int32_t level);
