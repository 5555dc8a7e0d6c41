// p-th roots over a tower of extension fields of the integers modulo a
// prime p. Frobenius (x -> x^p) is linear over the prime field, so each
// field level keeps the p-th roots of the powers of its generator, found by
// inverting the matrix of Frobenius on a basis of the level's field once
// per level and modulus; a root is then one table look-up and one reduced
// product per term.
//
// The basis of the field that begins at a field level t of relation degree
// n: element j is t^(j div D) times element (j mod D) of the next inner
// level's basis, D the product of the relation degrees inside t (1 at the
// innermost level, whose element j is t^j); coordinates in this basis form
// a mixed-radix vector, the outermost level most significant.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// in place. *slot, a reduced polynomial at rec's level (rec a field level,
// modular mode with a prime modulus), := its p-th root. A number is its own
// root. The tables of rec and of every level inside it are built first
// when missing or built for another modulus. A record not on the variable
// list is the fatal internal error "make pth roots.".
void pth_root(polynode** slot, pt* rec);

// rec's root_table := the roots of t^e for e = n-1 down to 0 (each node's
// coefficient a polynomial at rec's level), root_modulus := modulus. The
// inner levels' tables are not needed. A Frobenius matrix without inverse
// (a "field" whose relation has a repeated factor) is error 44, a field of
// dimension above 1000 (a matrix beyond one work block) error 43; rec is
// then left without a table.
void do_this_level(pt* rec);

// Result slot: free-first. *slot := basis element j of the field that begins
// at the record after rec (the number 1 when there is none), at that
// record's level.
void basis(polynode** slot, int32_t j, pt* rec);

// The dimension of the field that begins at rec over the prime field: the
// product of the relation degrees from rec inward.
int32_t field_dimension(const pt* rec);
