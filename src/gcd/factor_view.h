// The copies of split field levels as the fields of irreducible factors,
// for elements that a pivot search asks about.
//
// Where every field level splits into linear factors the copies are Z/p,
// one for each choice of roots (split_images.h). Elsewhere (one level that
// the prime splits only partly, GF(2^8) or GF(2^16), or a tower that it
// splits partly) the levels read as one level (tower_level.h for a tower)
// are the product of the fields of its relation's irreducible factors, and
// those fields are the copies: bit c for the c-th factor in a fixed order,
// so that bits from one question mean the same at the next.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "gcd/factor_copies.h"
#include "gcd/flat_modgcd.h"
#include "gcd/tower_level.h"
#include "storage/records.h"

struct pt;

// The copies of the field levels with n ordinary columns outside them.
struct FactorView {
    std::vector<SplitFactor> factors;
    int32_t n = 0;       // the ordinary columns
    int32_t levels = 0;  // the field columns
    TowerAsLevel tower;  // for two or more levels: their reading as one
    // The field levels' degrees, outermost first, and the step of each in
    // the index of the basis products (the innermost level's 1).
    std::vector<uint32_t> degree, stride;
    uint32_t dim = 0;    // the basis products
    SplitFactor whole;   // the one level's relation, the factors' product
    size_t count() const { return factors.size(); }
};

// The copies of the field levels from rec (the current variables) inward:
// null where the levels are a field, split into linear factors all
// through (the roots serve), have more than 64 copies, or cannot be read
// as one level. Built once for each set of relations, prime and number of
// ordinary columns, and kept while the caller holds it.
std::shared_ptr<const FactorView> factor_view_at(pt* rec);

// Field levels from rec inward that are no field under the current
// modulus, whose copies are built neither over roots nor here (a tower
// with no element whose powers span it, a relation with a repeated factor
// modulo the prime): a zero divisor among their elements goes unseen.
bool factor_view_missing(pt* rec);

// The copies in which p (a polynomial over the n + levels columns, as
// stored) vanishes; false where its terms do not read so (a negative
// exponent, a field exponent past its level's degree). With `some_only`
// the reading stops, *where 0, at a coefficient over the ordinary columns
// that vanishes in no copy: p is then no zero divisor.
bool factor_view_vanishing(const FactorView& v, const polynode* p, uint64_t* where, bool some_only = false);

// The element that is 1 in the given copies and 0 in the others, as terms
// over the n + levels columns (none in the ordinary ones).
bool factor_view_idempotent(const FactorView& v, uint64_t copies, flatgcd::FlatPoly* out);

// The inverse of f, an element of the levels (n = 0), from its inverses in
// the copies; *where := the copies in which f vanishes (then it has none).
bool factor_view_inverse(const FactorView& v, const flatgcd::FlatPoly& f, flatgcd::FlatPoly* out, uint64_t* where);

// *out := u / m (terms over the n + levels columns), divided in each copy:
// 1, or 0 when m does not divide u; -1 when m vanishes in some copy or the
// terms cannot be read there.
int factor_view_divide(const FactorView& v, const flatgcd::FlatPoly& u, const flatgcd::FlatPoly& m,
                       flatgcd::FlatPoly* out);
