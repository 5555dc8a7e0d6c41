// The field road for relations declared without the field flag.
//
// A relation irreducible over the ground field (t^2 - 2 over Q, or modulo
// 5) makes a field whether or not the flag says so, and the gcd over a
// field is far cheaper than the primitive remainder sequences that a ring
// with possible zero divisors needs. This module proves it once for each
// set of relations (a tower by the tower test modulo the prime; over the
// rationals a prime modulo which every level stays irreducible over the
// levels inside it, which a factorisation over Q would survive) and keeps
// the answer, with the auxiliary primes the field's gcd uses, until the
// relations, the variables or the ground ring change. Not proved (t^2 - 1,
// t^2, x^4 + 1 over Q, which every prime splits; a free variable inside
// the relations' levels; field levels declared beside them; a composite
// modulus): the ring's own road stays.
#pragma once

#include <vector>

#include "storage/records.h"

struct pt;

// The relation levels, innermost first, when they are one run that ends at
// the innermost variable, none flagged a field; empty otherwise (a free
// variable inside them would be a coefficient of the ring, no field).
std::vector<pt*> relation_run();

// The relations of the run were tried for a field and none was proved
// (the answer kept): the field's road will not be taken under them.
bool proved_no_field(const std::vector<pt*>& run);

// When the relations now installed, none flagged, fill the innermost
// levels and are proved to make a field: *g (freed first) := a gcd of u
// and v (polynomials at the level of vars; kept) over that field, by the
// algorithm a declared field uses, up to a unit of the field; true.
// Otherwise false, *g untouched. one_free: u and v use one free variable,
// for which the second auxiliary primes are found whatever the field's
// degree.
bool relation_field_gcd(polynode* u, polynode* v, pt* vars, polynode** g, bool one_free = false);
