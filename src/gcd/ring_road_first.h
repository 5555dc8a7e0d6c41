// Which road a gcd in several free variables takes first over relations
// without the flag.
//
// Over the rationals the field's road needs the proof that the relations
// make a field, and primes modulo which they stay irreducible (about one
// in d for a relation of degree d, each found by a test that costs about
// d^3), then images over fields of d digits: at a field's degree of some
// tens that fixed cost passes a second, while the ring's remainders end in
// a fraction of it unless they swell, which they do on other operands at
// the same degree (sums of many fractions with shared factors). So at such
// degrees the remainders go first, given up after a budget of work
// about what the field's road would have cost; a set of relations under which they were
// given up takes the field's road at once afterwards. Both roads end in the
// same normalised gcd, so the road taken changes no value or form.
#pragma once
#include <cstdint>

#include "gcd/nonfield_multi.h"
#include "storage/records.h"

// Over the rationals, when the relations (a run without the flag, of a
// field's degree where the field's road costs much) did not swell the
// remainders before: *g := multi_gcd(u, v, level, band) if it ends within
// its budget (true); otherwise false, *g untouched. A refusal of the
// remainders is false too: the caller's roads decide.
bool ring_road_first(polynode* u, polynode* v, int32_t level, const nonfield::Band& band, polynode** g);
