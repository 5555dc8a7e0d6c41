// Inverses in a ring of relations over the rationals by images modulo word
// primes.
//
// Over the rationals the field inversion runs the extended Euclid's
// algorithm level by level, and its cofactors swell with the degree: an
// element of 40 terms of a tower of degree 40 took over a second, where
// the images of its multiplication matrix modulo word primes, solved and
// put together by Chinese remaindering, give the same inverse in
// milliseconds. The inverse found is checked by one product, so it is a
// proof; a matrix singular modulo a prime (an element that may be no unit)
// leaves the question to the field inversion.
#pragma once

#include <cstdint>

#include "storage/records.h"

struct pt;

// Over the rationals, c (an element of the levels from crec in, every one
// of them with a monic relation, their degrees' product at least a few
// dozen): N := the integral polynomial and *d := the positive number with
// c·N = d, N's content prime to d; true. False (N and *d untouched) where
// this road does not apply or finds nothing; the caller's road decides.
bool multimodular_inverse(polynode* c, pt* crec, PolyHold* N, imag** d);

// About what multimodular_inverse(c, crec, ...) costs, in the units a
// budgeted gcd charges the field inversion's steps (products of the sizes
// they work on); 0 where it does not apply.
int64_t multimodular_work(polynode* c, pt* crec);

// Over the rationals, where multimodular_inverse applies: true when c's
// multiplication matrix is invertible modulo a word prime, so its
// determinant is no zero and c is a unit (a proof); false decides nothing.
// Much cheaper than the inverse where only the unit is asked about.
bool multimodular_unit(polynode* c, pt* crec);
