// Images of a gcd over the field levels modulo primes where every field
// relation splits into distinct linear factors.
//
// Modulo such a prime q the tower is a product of copies of Z/q, one for
// each choice of roots (a root of the innermost relation, then a root of
// the next relation with that root put in, and so on outward): putting the
// roots in is a ring map onto Z/q, and all of them together lose nothing.
// A tower may have no prime modulo which it stays a field (Q(i)(sqrt 3)
// has none: modulo every prime one of -1, 3 and -3 is a square), but it
// always has primes where it splits. So the gcd modulo q is found as one
// gcd over Z/q for each choice, each made monic, and its coefficients in
// the tower are read back from their values at the roots by interpolation,
// level by level.
#pragma once
#include <cstdint>
#include <vector>

#include "gcd/flat_modgcd.h"
#include "storage/records.h"

struct pt;

// The roots of the field levels modulo one prime, every choice of them.
struct SplitRoots {
    uint32_t q = 0;
    // Field levels, innermost first (index 0), with their relation degrees.
    std::vector<pt*> level;
    std::vector<int32_t> degree;
    // The choices in the order of their indices: the innermost root varies
    // slowest. roots[c * levels + j] is the root of level j in choice c.
    std::vector<uint32_t> roots;
    // For each level j and each choice of the roots inside it (prefix p),
    // the d x d matrix taking values at the d roots of level j to the
    // coefficients of powers 0 .. d - 1: weights[j][p * d * d + e * d + i].
    std::vector<std::vector<uint32_t>> weights;
    size_t choices() const { return level.empty() ? 0 : roots.size() / level.size(); }
};

// A number of the ring (a word in machine-integer and modular mode, a
// digit chain otherwise) modulo F's prime; b^e modulo it (e >= 0).
uint32_t image_residue(const imag* n, const flatgcd::Field& F);
uint32_t image_power(uint32_t b, int32_t e, const flatgcd::Field& F);
// The value of p (at the level of index j, innermost 0) with the roots of
// levels j, j - 1, ... put in; false on a negative exponent or a level
// below the innermost.
bool split_value_at(const polynode* p, int32_t j, const uint32_t* roots, const flatgcd::Field& F, uint32_t* out);
// The relation of level j (monic in its variable) as a polynomial over
// Z/q, the roots of the inner levels put in (none for the innermost);
// false unless it is monic there.
bool relation_modulo(pt* rec, int32_t j, int32_t degree, const uint32_t* inner_roots, const flatgcd::Field& F,
                     std::vector<uint32_t>* f);

// The field levels from the record at field_depth inward, when the levels
// from var down to them carry no relation and var lies above them; false
// otherwise (the road does not apply).
bool split_field_levels(pt* var, std::vector<pt*>* levels_innermost_first);

// *out := the roots modulo the prime q < 2^31 of the field levels
// (from split_field_levels); false when some relation, its inner roots put
// in, is not a product of distinct linear factors modulo q.
bool split_roots(const std::vector<pt*>& levels, uint32_t q, SplitRoots* out);

// How the word primes looked at for the split road have fared for one set
// of field levels, across gcds: a relation whose roots generate a group G
// splits modulo about one prime in |G| (d! for most relations of degree
// d), and a scan that never meets one is not worth repeating at every gcd.
struct SplitScan {
    int64_t scanned = 0;
    int64_t split = 0;
};
// The record of `levels` as their relations now stand (a few sets are
// kept, the latest asked first).
SplitScan& split_scan_of(const std::vector<pt*>& levels);

// f (terms over the levels from some var inward, the field levels R.level
// its last columns) with the roots of choice `choice` put in: the terms
// over the other columns.
flatgcd::FlatPoly split_specialise(const flatgcd::FlatPoly& f, const SplitRoots& R, size_t choice);

// *g := the polynomial over n columns and the field levels whose value at
// each choice c of R is images[c] (over the n columns; monic, all with the
// same leading monomial): each coefficient interpolated from its values.
void split_join(const std::vector<flatgcd::FlatPoly>& images, int32_t n, const SplitRoots& R, flatgcd::FlatPoly* g);

// Whether some term of f has a non-zero exponent in a column from `from`
// on (the field levels, when they are f's last columns).
bool flat_uses_columns(const flatgcd::FlatPoly& f, int32_t from);

// f over its first n columns (the others zero in every term).
flatgcd::FlatPoly flat_first_columns(const flatgcd::FlatPoly& f, int32_t n);

// What split_image found.
enum class SplitOutcome { ok, unusable_prime, declined };

// The monic gcd modulo R.q of u and v (integer polynomials at var's level,
// field elements at the field levels; kept) as terms over every level from
// var inward, the field levels' exponents below their degrees, monic: the
// lexicographically leading coefficient over the other levels is the field
// element 1. unusable_prime: a choice of roots lowers an operand's leading
// term, or the choices' gcds disagree in their leading monomial (some
// choice is unlucky); declined: the flat routine will not do these
// operands (negative or very large exponents, too much work).
SplitOutcome split_image(polynode* u, polynode* v, pt* var, const SplitRoots& R, flatgcd::FlatPoly* g);
