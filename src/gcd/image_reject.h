// A cheap refusal of an exact division over the integers: both operands
// are mapped into GF(p)[x] (x the top variable, every inner variable at a
// random residue, p = 2^31 - 1) and the one-variable images divided.
// An exact division u = q·m maps to an exact division of the images, so a
// non-zero image remainder proves that m does not divide u; an image that
// divides proves nothing. The work is bounded by a small multiple of the
// operands' sizes, so a true division pays only a few per cent for it.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

enum class ImageVerdict {
    unusable,       // no test made: outside its ground ring, too deep a
                    // division, or an image of m that is constant
    not_divisible,  // proven: m does not divide u
    divides         // the images divide (no proof of anything)
};

// Operands at rec's level, kept. Only over the integers with no mod-out
// relation (a relation makes a random point meaningless) and outside
// Laurent mode's negative exponents; otherwise unusable.
ImageVerdict image_division_test(polynode* u, polynode* m, pt* rec);
