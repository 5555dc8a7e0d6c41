// Field levels modulo a small prime, carried into one extension field.
//
// A tower of relations m_1(t_1), m_2(t_1, t_2), ... over Z/p that makes a
// field of p^D elements (D the product of the degrees) is GF(p^D) itself,
// and GF(p^D) lies in every GF(p^K) with D dividing K. Putting in for each
// t_j a root of m_j (the roots of the inner levels put in) is then a ring
// map into GF(p^K) that loses nothing: the D products t_1^e_1 t_2^e_2 ...
// of the basis go to elements independent over Z/p. So the gcd over the
// tower is computed in GF(p^K), where points are plenty, and each
// coefficient of the answer is read back by a small linear solve over Z/p.
#pragma once
#include <cstdint>
#include <vector>

#include "gcd/flat_modgcd.h"
#include "gcd/small_field_gcd.h"

struct pt;

namespace smallgcd {

struct Tower {
    ExtField F;
    // The levels' relation degrees, innermost first.
    std::vector<uint32_t> degree;
    uint32_t dim = 1;   // D: the product of the degrees
    // The code of each basis product, by its index: the exponents of the
    // levels as digits of mixed radix, the innermost level's the lowest.
    std::vector<Code> basis;
    // dim rows of F.k: the coefficients of an element of the subfield from
    // its digits in base p (any element: one that is not in the subfield
    // fails the check in coefficients()).
    std::vector<uint32_t> solve;
    // What it was built from: the modulus and each level's relation.
    std::vector<uint32_t> key;
};

// The tower of the field levels inward of rec, in a field of at least
// at_least elements where p allows (the modulus a prime below 1024, the
// levels above the field free of relations, each relation irreducible over
// the levels inside it: checked); null when this does not apply. The
// tower is kept for the next call with the same relations.
const Tower* tower_of(pt* rec, uint32_t at_least);

// The relation of each level (innermost first) over the levels from it
// inward, and a key that names them all with the modulus; false when one
// cannot be read (negative exponents, a degree that does not match).
bool read_relations(const std::vector<pt*>& levels, std::vector<flatgcd::FlatPoly>* rel, std::vector<uint32_t>* key);

// The coefficients (dim of them, by basis index) of the element `code`;
// false when it lies outside the tower's subfield.
bool coefficients(const Tower& T, Code code, uint32_t* out);

}  // namespace smallgcd
