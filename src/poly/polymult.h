// Products of polynomials over every ground ring: the dispatcher poly_mult
// that the rest of the system calls, and the term products it is built on.
//
// poly_mult chooses among number products, scaling by a number, descent
// through padding levels, the multi-modular product over Z, the one- and
// two-variable modular products of poly/modmult.h, the schoolbook product
// and Karatsuba on the term lists. Every route gives the same polynomial,
// node for node; the choice is by measured costs only.
// Operands are always kept: Karatsuba splits them in place while it works
// and puts them back node for node before it returns, also when it unwinds.
// Every result keeps the shape rules of poly/polyvars.h; a coefficient that
// vanishes (a composite modulus makes products of non-zero residues 0) never
// reaches a result.
//
// A level record (pt) may be passed: products at that level and below are
// then reduced modulo the variables' mod-out relations. nilpol (null) means
// no reduction.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// What the term products of a level with mod-out relations need to know.
struct TermContext {
    pt* inner = nullptr;        // record of the next inner level; null: none
    int inner_relation = 0;     // that record has a relation
    int lone_relation = 0;      // this level's relation is a lone number node: x^degree = r
    polynode* r = nullptr;      // that number node
    int32_t degree = 0;         // this level's mod-out degree
    pt* rec = nullptr;          // this level's record
};

// ---- route choice ----
// The multi-modular product over Z: 0 when its estimated cost says so (the
// default), 1 whenever the operands allow it, -1 never. For tests and
// benchmarks.
extern int32_t multimod_route;
// The machine-accumulator box of small integer coefficients may cut a
// product too large for one box into slices by its outer exponents: 1 by
// size (the default), 0 never, 2 always (the innermost level alone).
extern int32_t box_slices;
// ... and multiply runs of terms along the innermost variable as short
// convolutions summed in registers: 1 above a size (the default), 0 never
// (term by term), 2 always.
extern int32_t box_runs;
// ... and carries its accumulators into the next limb whenever this many
// limb products may have met in one (2^15; tests lower it).
extern int64_t box_limb_products;

// ---- the product ----
// Result slot: copy-then-free (res may be &a or &b). Operands kept.
void poly_mult(polynode* a, polynode* b, polynode** res, pt* rec);
// *res (an empty slot) := g a - e b over Z, with both products' images
// modulo word primes joined once: for large operands whose products go
// through transforms anyway. False, *res untouched, when that route does
// not take them (modular or machine-integer mode, Laurent exponents,
// relations, short operands, sparse boxes).
bool poly_mult_difference(polynode* g, polynode* a, polynode* e, polynode* b, polynode** res);
// One quotient (g a - e b) / d of a batch; one of the products may be
// absent (both its operands null), and g or e may stand for 1 (null).
struct DifferenceQuotient {
    const polynode *g, *a, *e, *b, *d;
    polynode* quotient;   // set by the call: null when not taken
};
// Every quotient of the batch by the images of g a - e b, the division
// done on them so that no dividend is built, and each operand that several
// quotients share (the same polynode) transformed once. Size is the
// caller's choice: short operands are taken too. A quotient is left null
// when that route does not take it (modular or machine-integer mode,
// Laurent exponents, relations, sparse boxes, a divisor of higher degree,
// memory) or when d does not divide g a - e b exactly; never one that is
// not exact. Operands kept.
void poly_mult_difference_quotients(DifferenceQuotient* jobs, int32_t count);
// 1 when the power routine should raise p by repeated squaring, 0 when by
// repeated multiplication (a long leading chain of several terms makes the
// squares expensive).
int bysquaring(polynode* p);

// ---- products by a number or a single term ----
// Result slot: never-free. res := num * p in new records; p kept.
void scalar_by_poly(imag* num, polynode* p, polynode** res);
// Modular mode only. With copy non-zero, res := a copy of p first
// (copy-then-free); then every number of *res is multiplied by the residue
// r in place; terms that vanish are removed.
void number_by_poly(int32_t r, polynode* p, polynode** res, int copy);
// Result slot: never-free. res := (the single term t) * p; t and p kept.
void node_by_poly(polynode* t, polynode* p, polynode** res);
// Result slot: never-free. As node_by_poly, the coefficient products reduced
// with ctx->inner.
void node_by_poly_1(polynode* t, polynode* p, polynode** res, const TermContext* ctx);
// Result slot: never-free. The term product of the mod-out schoolbook: as
// node_by_poly_1, and when this level's relation is a lone number r every
// power x^e with e >= degree becomes r x^(e - degree). Other relations are
// the caller's to reduce.
void node_by_poly_2(polynode* t, polynode* p, polynode** res, const TermContext* ctx);
// Result slot: never-free. A number term t scales p; any other term is
// multiplied in with node_by_poly_1 and the record below rec.
void fast_mod_standard(polynode* t, polynode* p, polynode** res, pt* rec);

// ---- schoolbook ----
// Result slot: copy-then-free. la, lb: the operands' top term counts; the
// shorter operand drives, one term product per term, summed as it goes.
// Small integer coefficients whose products fill most of a small box of
// exponents are summed in machine accumulators instead (same result).
void simple_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res);
