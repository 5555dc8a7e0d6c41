// GF(p^k) past the size where tables of logarithms pay: GF(p)[t]/(m) for
// an irreducible m, computed on the digits of its elements.
//
// The gcd modulo a small prime over one field relation m of degree k needs
// no extension when p^k is already far above the degrees: the field's own
// elements are points enough. Past FIELD_LIMIT elements the tables of
// logarithms and Zech logarithms would take hundreds of megabytes and
// seconds to build, so products are taken on the digit vectors instead:
// the codes are, as in the tables' fields, the digits in base p, here the
// coefficients of 1, t, ..., t^(k-1), so that t^e is the code p^e and the
// codes 0 .. p - 1 are Z/p.
#pragma once
#include <cstdint>
#include <vector>

#include "gcd/small_field_gcd.h"

namespace smallgcd {

// p^k at most 2^63 (so that every code and the count of elements fit a
// word of 64 bits): the largest field this road computes in, GF(2^63).
constexpr uint64_t WIDE_LIMIT = uint64_t{1} << 63;

// *F := GF(p)[t]/(m) for m = t^k + m[k-1] t^(k-1) + ... + m[0] (the
// coefficients below the top, residues modulo the prime p < 1024, k at
// least 2); false, *F untouched, when m is reducible over GF(p) or p^k
// passes WIDE_LIMIT.
bool make_wide_field(uint32_t p, const std::vector<uint32_t>& m, ExtField* F);

// GF(p^k) as above from an irreducible m of degree k found at random (seed
// its draws); false when none was found or p^k passes WIDE_LIMIT.
bool make_wide_field_of_degree(uint32_t p, uint32_t k, uint64_t seed, ExtField* F);

// A root in the wide field F of c[0] + c[1] z + ... + c[d] z^d (codes),
// found by random splitting (seed its draws); 0 when none was found: the
// polynomial has no root in F, or its roots repeat, or the draws failed.
Code wide_root(const ExtField& F, std::vector<Code> c, uint64_t seed);

}  // namespace smallgcd
