// The gcd in several free variables over a ring of relations that make no
// field (nonfield_gcd.h), by contents and primitive pseudo-remainders.
//
// The ring C must be proved reduced first: every relation of the band
// square-free over the levels below it (relations_square_free). C is then
// a product of fields C_i, and the algorithm is the field one in every C_i
// at once as long as every element it divides by or keeps is non-zero in
// every C_i; that is made sure by asking of each such polynomial that its
// leading coefficient in C (of its first term in every free variable) be a
// unit. Where that fails the gcd is refused with error 271.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

namespace nonfield {

struct Band {
    int32_t first;        // the outermost level of the coefficient ring
    const char* name;     // the relation named by a refusal
};

// The gcd of a and b (taken), polynomials in the variable of xrec over
// the ring of the levels inside it, by Euclid's algorithm with checked
// inverses: sound over any commutative ring. Normalised monic, then
// integral and primitive. Refuses when a leading coefficient is no unit.
polynode* euclid(polynode* a, polynode* b, pt* xrec, const char* name);

// True when every relation without a field in the band is proved
// square-free over the levels below it (a Bezout identity with m').
bool relations_square_free(const Band& band);

// The gcd of a and b, polynomials at `level` (above the band), as a new
// polynomial at that level, normalised to a leading coefficient in C
// that is a unit; up to a unit of C. a and b kept.
polynode* multi_gcd(polynode* a, polynode* b, int32_t level, const Band& band);

// multi_gcd, given up (null) once its steps have worked on about `units`
// nodes and digits in all (the same on every machine): the budget is looked
// at between steps, so one long step may overrun it. A nested run keeps
// what is left of the budget around it.
polynode* multi_gcd_within(polynode* a, polynode* b, int32_t level, const Band& band, int64_t units);

// q with b·q = s·a for a non-zero number s (*scale, a new number, or
// null), or null when b does not divide a. b's leading coefficient in C
// must be a unit. a and b kept.
polynode* exact_div(polynode* a, polynode* b, int32_t level, const Band& band, imag** scale);

// In place: p times the inverse of its leading coefficient in C, then
// integral and primitive with a positive leading number (monic modulo a
// prime). Refuses when that coefficient is no unit.
void normalise(polynode** p, int32_t level, const Band& band);

}  // namespace nonfield
