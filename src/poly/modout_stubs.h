// Reduction modulo the mod-out relations of polynomial variables. The
// polynomial code calls these only when some variable has a relation;
// until the extension-field code exists each one reports that it is not
// available and unwinds.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;
struct quoly;

// in place. *p reduced modulo the relation of rec's variable (relation is
// that record's relation slot, d its mod-out degree).
void fold_poly(polynode** p, polynode** relation, int32_t d, pt* rec);
// Result slot: copy-then-free. The schoolbook product at a level whose
// record (or an inner one) has a relation; la, lb the top term counts.
void mod_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res, pt* rec);
// in place. *slot reduced modulo the relation of every variable from rec inward.
void total_poly_modout(polynode** slot, pt* rec);
// Result slot: never-free. *inv := a new quoly whose numerator is the
// inverse of the field element p (the level of rec) up to the number
// denominator it carries (null = 1).
void poly_mod_invert(polynode* p, quoly** inv, pt* rec);
