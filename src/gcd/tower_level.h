// A tower of field levels modulo a prime, read as one level.
//
// Modulo a prime q (or in GF(2^8), GF(2^16)) the tower of relations
// m_1(t_1), m_2(t_1, t_2), ... is an algebra of dimension D, the product of
// the degrees, over the ground field, with the basis products
// t_1^e_1 t_2^e_2 ... When it is a product of fields, an element theta
// whose powers 1, theta, ..., theta^(D - 1) are independent generates it:
// the algebra is then the ground field with one variable z modulo mu,
// theta's minimal polynomial, of degree D, and the change between the basis
// products and the powers of z is linear. So a tower that the prime splits
// only partly (one level splits and the other not, or the upper level
// splits over the lower one) is one level whose relation mu splits, and
// the copies of that level (factor_copies.h) are the copies of the tower.
#pragma once
#include <cstdint>
#include <vector>

#include "gcd/factor_copies.h"
#include "gcd/flat_modgcd.h"

struct pt;

struct TowerAsLevel {
    int32_t levels = 0;           // k, the field levels
    uint32_t dim = 0;             // D
    std::vector<uint32_t> degree; // the relations' degrees, innermost first
    SplitFactor mu;               // monic, of degree D
    std::vector<SplitFactor> factors;   // mu's irreducible factors, two or more
    // D x D, row-major: from_z takes the coefficients of 1, z, ... to those
    // of the basis products (index: the exponents as digits of mixed radix,
    // the innermost level's the lowest); to_z is its inverse.
    std::vector<uint32_t> from_z, to_z;
};

// The tower of `levels` (innermost first, from split_field_levels) as one
// level under the current modulus; null when it is a field (mu
// irreducible: the field roads serve), is no product of fields, or has no
// generator among those tried. Kept for the next call with the same
// relations.
const TowerAsLevel* tower_as_level(const std::vector<pt*>& levels);

// Whether the tower of `levels` (two or more) is a field under the
// current modulus: an element whose powers span it has an irreducible
// minimal polynomial. False where no such element is found (a tower of
// more than 64 dimensions, or no product of fields).
bool tower_is_field(const std::vector<pt*>& levels);

// f (terms over n columns, then the k field levels, outermost first) with
// each coefficient over the tower rewritten in z, which takes the
// innermost level's column; the other field columns are 0. False when a
// field exponent reaches its level's degree.
bool tower_to_level(const flatgcd::FlatPoly& f, int32_t n, const TowerAsLevel& T, flatgcd::FlatPoly* out);

// The inverse: f's coefficients, polynomials in z of degree below D in the
// last column, read back over the basis products. False when f uses
// another field column.
bool level_to_tower(const flatgcd::FlatPoly& f, int32_t n, const TowerAsLevel& T, flatgcd::FlatPoly* out);
