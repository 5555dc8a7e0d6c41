// Copies of one field level whose relation splits into irreducible factors.
//
// Modulo a prime q where the relation m of the one field level (the
// innermost) is square-free, Z/q[t]/(m) is the product of the fields
// Z/q[t]/(m_i) over the irreducible factors m_i: a copy of the level for
// each factor, of degree deg m_i (a linear factor's copy is Z/q itself). A
// polynomial is read in a copy by taking each coefficient modulo m_i, and
// read back from all copies by Chinese remaindering over the factors.
// Factors are coefficient vectors over Z/q, the constant first, monic. In
// GF(2^8) and GF(2^16) all of this holds over them, q their element count
// (256 or 65536, the modulus there).
#pragma once
#include <cstdint>
#include <vector>

#include "gcd/flat_modgcd.h"

struct pt;

using SplitFactor = std::vector<uint32_t>;

// *factors := the distinct monic irreducible factors modulo q of the
// relation of `level` (the innermost level, a field level); false when the
// relation is not square-free there.
bool relation_factors(pt* level, uint32_t q, std::vector<SplitFactor>* factors);

// The same for f, monic over the field of q elements, the constant first.
bool split_factors(const SplitFactor& f, uint32_t q, std::vector<SplitFactor>* factors);

// f (terms over n columns and the level's, its last) with each coefficient
// taken modulo m.
flatgcd::FlatPoly reduce_by_factor(const flatgcd::FlatPoly& f, int32_t n, const SplitFactor& m, uint32_t q);

// in place. h (reduced modulo m) divided by its leading coefficient over
// the n columns, inverted modulo the irreducible m; false (h untouched)
// when that coefficient is 0 modulo m.
bool monic_by_factor(flatgcd::FlatPoly* h, int32_t n, const SplitFactor& m, uint32_t q);
// The same for den, and num divided by den's leading coefficient with it
// (both reduced modulo m): a fraction's denominator made monic.
bool monic_pair_by_factor(flatgcd::FlatPoly* num, flatgcd::FlatPoly* den, int32_t n, const SplitFactor& m,
                          uint32_t q);

// *g := the polynomial over the n columns and the level whose coefficients
// are images[c]'s modulo factors[c] for every c, the factors' product the
// level's relation.
void factor_join(const std::vector<flatgcd::FlatPoly>& images, int32_t n, const std::vector<SplitFactor>& factors,
                 uint32_t q, flatgcd::FlatPoly* g);

// The inverse of a (over the field of q elements, the constant first)
// modulo m (irreducible, or any monic m); empty when a shares a factor
// with m (is 0 modulo the irreducible m).
SplitFactor inverse_by_factor(const SplitFactor& a, const SplitFactor& m, uint32_t q);

// *quo := u / m over the field of the irreducible f, both (terms over the
// n columns and the level's) reduced modulo f, m not 0 there; false when
// m does not divide u.
bool divide_by_factor(const flatgcd::FlatPoly& u, const flatgcd::FlatPoly& m, int32_t n, const SplitFactor& f,
                      uint32_t q, flatgcd::FlatPoly* quo);

// f (reduced modulo m) with each coefficient c(t) made c(t^q) modulo m:
// the Frobenius map of the factor's field, which fixes the ground field.
// What is fixed by it lies in the ground field.
flatgcd::FlatPoly frobenius_by_factor(const flatgcd::FlatPoly& f, int32_t n, const SplitFactor& m, uint32_t q);
