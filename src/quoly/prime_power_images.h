// Unequal products modulo a composite q, seen modulo its primes.
//
// Modulo 9 a product of factors that are each a multiple of 3 at every
// point of Z/9 vanishes at all of them, and points of extension rings
// Z/q[z]/(f) cost r^2 word products a term. For a prime p whose power p^k
// divides q, a polynomial c over Z/p^k is p^v·c' with c' not 0 modulo p,
// and for a product v adds and c' multiplies modulo p, where F_p[x, y] has
// no zero divisors. So two products modulo q differ where their v differ
// (the smaller one's c' not 0) or their c' differ modulo p, and c' modulo p
// is read at points of a field GF(p^r) by its logarithm tables: a few word
// operations a term.
#pragma once

#include <cstdint>

#include "storage/records.h"

// Whether N(a)·D(b) and N(b)·D(a) (negated: -N(b)·D(a)) are seen to differ
// modulo some prime power of the modulus. Every level is free, or the
// innermost is under the monic relation of the given degree whose lower
// coefficients are words modulo q (its variable then goes to a root of the
// relation modulo p, where there is one). False decides nothing.
bool prime_power_images_differ(polynode* na, polynode* db, polynode* nb, polynode* da, bool negated,
                               const uint64_t* relation = nullptr, int32_t degree = 0);
