// A cheap proof that two fractions are not the same value.
//
// a = b means N(a)·D(b) = N(b)·D(a), two products that cost far more than
// reading the values. Setting the free variables outside the relations to
// a number is a ring homomorphism in every ground ring (a composite
// modulus and zero divisors included), so where the images of the two
// products differ, the products differ too. Only that direction is
// proved here: images that agree decide nothing, and an equal pair pays
// for them on top of the products, so they may cost only a share of what
// the products would.
#pragma once

#include "storage/records.h"

// 1 when the images show that N(a)·D(b) differs from N(b)·D(a) (negated:
// from -N(b)·D(a)); 0 when they cannot tell. Both kept.
int images_differ(const quoly* a, const quoly* b, bool negated);
