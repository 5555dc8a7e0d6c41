// Whether the field levels are a field modulo the current prime.
//
// A relation declared a field may split modulo a prime (t^2 - 2 modulo 7
// is (t - 3)(t + 3)), and the roads that allow for zero divisors cost far
// more than the field's own. Most relations stay irreducible, so the
// answer is worth a cache; it is keyed by what it is computed from (the
// modulus, the kind of ground ring and the relations' terms as they are
// stored), so a relation replaced for a while (a factor's copy, images
// modulo another prime, a new declaration) is seen at the next question.
#pragma once
#include <cstdint>
#include <vector>

struct pt;

// *print := a fingerprint of the modular ring and of the relations of
// `levels` as they are stored now: equal prints read equal relations
// (smallgcd::read_relations, relation_factors). False, *print empty,
// where the numbers are no residue words.
bool relation_print(const std::vector<pt*>& levels, std::vector<uint64_t>* print);
// Whether the relations of `levels` print as `print` now (matched in place).
bool same_relation_print(const std::vector<pt*>& levels, const std::vector<uint64_t>& print);
// What an answer about the relations of `levels` is computed from, in any
// ground ring (digit numbers too): the ground ring, the variable count, and
// each relation's level and terms as stored. Equal keys read equal
// relations.
std::vector<int64_t> relations_key(const std::vector<pt*>& levels);

// Modulo a prime (or in GF(2^8), GF(2^16)): every field level's relation
// is irreducible over the levels inside it, so that the field levels make
// a field. False outside modular mode, modulo a composite number, without
// field levels, and where it is not proved (a tower too large to read as
// one level).
bool field_levels_make_field();
// The same test for the relations of `levels` (innermost first, each over
// the ones after it in the list) whatever their flags: the relations make
// a field modulo the prime. Not cached.
bool levels_make_field(const std::vector<pt*>& levels);
