// A cheap proof that two polynomials over a ring of one relation without
// a field share no factor but units, for cancelling fractions there
// (nonfield_gcd.h): a fraction needs to know only that its parts are
// coprime, which the full gcd over the ring proves at a cost that grows
// with the parts far faster than the parts do.
//
// The parts are mapped into R[x] for each free variable x in turn, R the
// relation's ring modulo a prime (the ground prime, or a word prime over
// the rationals) and the other free variables put to random values there.
// Where one part keeps its degree in x with a leading coefficient that is
// a unit of R, every factor it shares with the other part over a field of
// the relation's ring (the ring is such fields side by side where it has
// no nilpotents, and a shared factor of positive degree lives in one of
// them otherwise too) keeps its degree in the image, so Euclid over R
// ending in a unit rules out a shared factor of positive degree in x.
// None in any free variable leaves a common factor that divides a part not
// 0 in any of the fields: a unit. Whatever the images cannot settle (a
// leading coefficient that is no unit, an image gcd of positive degree, a
// shape other than one relation at the innermost level) is left to the
// full proof.
#pragma once
#include <cstdint>

#include "storage/records.h"

namespace nonfield {

// True when u and v (polynomials at `top`) are proved coprime up to a
// unit of the relation ring; false when not proved either way.
bool coprime_by_images(polynode* u, polynode* v, int32_t top);

}  // namespace nonfield
