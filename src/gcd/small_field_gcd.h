// Multivariate gcd modulo a prime too small for evaluation and interpolation.
//
// Interpolating a gcd of degree d in a variable takes d + 1 points where
// the leading coefficients do not vanish, and more to get past unlucky
// ones; Z/p with p near or below the degrees has too few. The monic gcd of
// polynomials over Z/p is the same over every extension field, so here the
// points are elements of GF(p^k), with k chosen to give thousands of them:
// the operands are read into dense boxes of coefficients and interpolated
// variable by variable down to a one-variable Euclid, and the monic answer
// comes back with its coefficients in Z/p.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

struct pt;

// 1 with the monic gcd of u and v in *result (its old value freed), proved
// by division of both operands; 0 when the route does not apply (a prime
// of 1024 or more, GF(2^16), relations other than field levels innermost,
// field levels over GF(2^8) or with more than FIELD_LIMIT elements,
// negative exponents) or gives up, *result then untouched. rec is the
// operands' top-level variable; operands kept. Over field levels
// GF(p)[t]/(m) = GF(p^d) the points come from an extension holding a root
// of m (see small_field_tower.h), and the answer's coefficients are read
// back in the basis 1, t, ..., t^(d-1).
int small_field_gcd(polynode* u, polynode* v, polynode** result, pt* rec);

namespace smallgcd {

// An element of the field below by its digits in base p: 64 bits, as the
// fields without tables reach past 2^32 elements.
using Code = uint64_t;

// GF(p^k) as this route computes in it (exposed for the unit tests):
// elements are their digit vectors in base p in the polynomial basis of a
// primitive element, so the codes 0 .. p - 1 are Z/p itself. Over GF(2^8)
// the extension is GF(2^16) with the ground ring's own tables, whose codes
// 0 .. 255 are GF(2^8).
struct ExtField {
    uint32_t p = 0, k = 0;
    uint64_t q = 0;                 // p^k
    uint32_t base = 0;              // the codes below it are the ground field
    std::vector<uint32_t> exp;      // alpha^i for 0 <= i < 2 (q - 1)
    std::vector<uint32_t> log;      // of each non-zero code
    std::vector<uint32_t> zech;     // log(1 + alpha^i), or `none` when that is 0
    uint32_t minus_one = 0;         // log(-1)
    static constexpr uint32_t none = ~0u;
    // A field too large for the tables is GF(p)[t]/(m) itself, computed on
    // the digits (see wide_field.h): then no tables, and t^k, m's
    // remainder, in `relation` (its digits) and `t_power` (its code), with
    // the reciprocal that divides by p.
    bool wide = false;
    std::vector<uint32_t> relation;
    Code t_power = 0;
    uint64_t reciprocal = 0;

    Code mul(Code a, Code b) const {
        if (wide) return wide_mul(a, b);
        return a && b ? exp[log[a] + log[b]] : 0;
    }
    Code add(Code a, Code b) const {
        if (p == 2) return a ^ b;
        if (wide) return wide_add(a, b);
        if (!a) return b;
        if (!b) return a;
        const uint32_t la = log[a], lb = log[b];
        const uint32_t z = zech[lb >= la ? lb - la : lb + (q - 1) - la];
        return z == none ? 0 : exp[la + z];
    }
    Code neg(Code a) const {
        if (p == 2 || !a) return a;
        return wide ? wide_neg(a) : exp[log[a] + minus_one];
    }
    Code sub(Code a, Code b) const { return add(a, neg(b)); }
    Code inv(Code a) const {   // a != 0
        return wide ? wide_inv(a) : exp[(q - 1 - log[a]) % (q - 1)];
    }

    Code wide_mul(Code a, Code b) const;
    Code wide_add(Code a, Code b) const;
    Code wide_neg(Code a) const;
    Code wide_inv(Code a) const;
};

// The field of p^k elements for the smallest k with p^k >= at_least, or
// the largest with p^k <= FIELD_LIMIT (p prime, at most FIELD_LIMIT).
constexpr uint32_t FIELD_LIMIT = uint32_t{1} << 21;
ExtField make_field(uint32_t p, uint32_t at_least);
// GF(p^k) itself (p^k at most FIELD_LIMIT).
ExtField make_field_of_degree(uint32_t p, uint32_t k);

// GF(2^16) from the ground ring's tables, as the extension of GF(2^8).
ExtField gf2t16_field();

}  // namespace smallgcd
