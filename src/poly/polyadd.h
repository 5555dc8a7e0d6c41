// Sums and differences of polynomials over every ground ring, and the small
// in-place services that go with them (making residues standard, scaling by
// a residue, freeing shared structure, splicing, exchanging the two outer
// variables).
//
// One merge of two term lists serves every variant; the variants differ
// only in which operand's nodes the result is made of. Vocabulary used at
// each declaration:
//   kept      the operand is only read; what the result needs is copied;
//   consumed  the operand's nodes and numbers become the result's or go back
//             to the free lists; the caller must not read it afterwards.
// Result slots:
//   copy-then-free  the result is built completely, then the slot's old
//                   value is freed: the slot may be either operand's;
//   never-free      the slot is overwritten; normally it is the consumed
//                   first operand's own slot.
// A consumed operand must not share nodes with the other operand (in
// particular a and b must not be the same polynomial). Every result keeps
// the shape rules of poly/polyvars.h: zero terms removed, levels that cancel
// collapse (to the number node of an exponent-0 term, or to the zero
// polynomial, one number node holding 0), padding and Laurent exponents
// kept.
#pragma once
#include <cstdint>

#include "storage/records.h"

// ---- sums and differences ----
// Result slot: copy-then-free (res may be &a or &b). Operands kept.
void poly_add(polynode* a, polynode* b, polynode** res);
// Result slot: copy-then-free (res may be &a or &b). Operands kept.
void poly_sub(polynode* a, polynode* b, polynode** res);
// Result slot: never-free. Consumes a (its nodes become the result); b kept.
void better_poly_add(polynode* a, polynode* b, polynode** res);
// Result slot: never-free. Consumes a; b kept (its copied terms negated).
void better_poly_sub(polynode* a, polynode* b, polynode** res);
// Result slot: never-free (normally &a). Consumes a and b: b's nodes are
// spliced in, its leftovers freed. The running-sum accumulator.
void best_poly_add(polynode* a, polynode* b, polynode** res);
// Result slot: never-free (normally &a). Consumes a and b; terms found only
// in b are negated in place.
void best_poly_sub(polynode* a, polynode* b, polynode** res);
// Result slot: never-free. Consumes a and b. Modular mode, polynomials in
// one variable only (every coefficient a number): no recursion, residues
// only.
void simplest_poly_add(polynode* a, polynode* b, polynode** res);
// Result slot: never-free. Consumes a and b; as simplest_poly_add.
void simplest_poly_sub(polynode* a, polynode* b, polynode** res);

// ---- in-place services ----
// in place. Modular mode: every negative residue of p, at every level, gets
// the modulus added.
void standard_form(polynode* p);
// Gives back the non-number term nodes of levels from .. to of p (p's own
// chain being level `from`) to polygarb. Number nodes with their numbers,
// the terms following a number node in its chain, and every coefficient
// below level `to` are left alone: they belong to another polynomial that
// shares them.
void free_nodes(polynode* p, int32_t from, int32_t to);
// in place, both consumed. Quolys without denominators (polynomials or
// plain numbers): *a := a + b·x^n, x the outermost variable, n >= 0; *b
// becomes null. A result that is a lone number is a number quoly.
void splice_poly(quoly** a, quoly** b, int32_t n);
// in place. Exchanges the two outermost variables of *p (a number is left
// as it is).
void swap_levels_1_2(polynode** p);

// ---- for the polynomial module only ----
// The matrix code has a divide_thru of its own; this one stays apart.
namespace polyimpl {
// in place. Multiplies every number of p, at every level, by the residue r
// (modmult); used to make a polynomial monic modulo p.
void divide_thru(polynode* p, int32_t r);
}  // namespace polyimpl
