// The column Hermite form of an integer matrix together with its transform,
// without following the transform through the elimination: the exact steps
// leave the entries left of each pivot unreduced until the end, and the
// inverse of a transform built under such a triangle holds that triangle's
// inverse, whose entries grow with the product of all of them; the
// elimination's own remaining block grows as well on larger matrices.
//
// Here the form comes from the elimination modulo the determinant, which
// keeps every entry bounded; the transform's inverse is then X = H^-1 A by
// exact forward substitution (its entries are as small as A's lattice
// allows) and the transform itself X^-1, found modulo word primes and
// joined by the Chinese remainder theorem until it stops changing and
// X X^-1 = I holds exactly.
#pragma once
#include <cstdint>

#include "matrix/flat_normal.h"

// The exact inverse of a unimodular square matrix; false (out untouched)
// when x is singular modulo a prime, i.e. not unimodular.
bool flat_unimodular_inverse(FlatMatrix& x, FlatMatrix& out);

// As flat_hermite(a, t, trace): the column Hermite form of a in place, a :=
// a G with G unimodular kept in t (t.fwd := t.fwd G, t.inv := G^-1 t.inv).
// Takes the road above for a matrix at least 12 x 12 outside modular
// arithmetic (with no transform kept, the bounded form alone when a has
// full row rank), else (or when a check on the way fails) flat_hermite's
// exact steps. Returns the rank.
int32_t flat_hermite_kept(FlatMatrix& a, FlatTransform t, HermiteTrace trace = HermiteTrace::none);
