// Divisions over field levels that the prime splits into linear factors,
// taken in the copies of Z/p one for each choice of roots (split_images.h).
//
// t^2 - 2 declared a field modulo 7 is (t - 3)(t + 3): (t + 3)x + 1 is no
// zero divisor (6x + 1 and 1 in the two copies), but its leading
// coefficient t + 3 is one, so no division that makes it 1 can run. In the
// copies the division is over Z/p, and the answers read back over the
// roots are the answers over the tower. A divisor that vanishes in some
// copy is a zero divisor: error 22, as for its inverse.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/records.h"

struct pt;

// Divisibility of u by m (polynomials at rec's level, kept) when m's
// leading coefficient over the ordinary levels is a zero divisor of the
// split relation levels, with or without the field flag: 1 with *quo :=
// u / m (when quo is not null; slot freed first), 0 when m does not divide
// u, -1 when this does not apply (the caller divides as usual). A divisor
// that is a zero divisor is error 22 (without the flag: -1).
int split_copies_divide(polynode* u, polynode* m, pt* rec, polynode** quo);

// The fraction num/den (at the outermost level, kept) cancelled and its
// denominator made monic in every copy, read back: *qn/*qd new
// polynomials. The denominator's leading coefficient over the tower is
// then 1 where the copies agree on its leading monomial, and otherwise a
// sum of the idempotents of the copies that keep it. Levels that do not
// split into linear factors all through take the fields of the factors
// as copies (factor_copies_fraction). False when this does not apply (no
// split field levels, Laurent exponents).
bool split_copies_fraction(polynode* num, polynode* den, polynode** qn, polynode** qd);

// Whether the copies of the field levels at the outermost level are the
// Z/p copies of their roots (split_copies_cross_fraction's own road);
// elsewhere they are the fields of factors, or there are none.
bool split_copies_over_roots();

// A product of two polynomials at the outermost level (kept), negated
// with `minus`.
struct CopiesProduct {
    polynode* factor[2];
    bool minus = false;
};

// The same for the fraction (sum of the products of num) / (den's
// product), the products taken in the copies too, where the denominator
// vanishes in no copy and the gcds of the copies lead with one monomial,
// or else each holds more than what they all share over Z/p: every copy
// is cancelled by its whole gcd, reached without a product or division
// over the tower (over the fields of factors the products are taken over
// the tower, the gcds and divisions in the copies). False elsewhere (the quotient over the tower cancels
// the shared part: split_field_gcd.h), and where split_copies_fraction
// does not apply.
bool split_copies_cross_fraction(const std::vector<CopiesProduct>& num, const CopiesProduct& den, polynode** qn,
                                 polynode** qd);

// The next three also take the copies of levels that do not split into
// linear factors all through (one level split partly, GF(2^8), GF(2^16),
// a tower read as one level): the fields of its relation's irreducible
// factors (factor_view.h), one bit each.

// Whether p (at the outermost level) vanishes in some copy while not
// vanishing in all: false too when no split applies.
bool split_copies_zero_divisor(polynode* p);

// The field levels are split, but their copies are not built (see
// factor_view_missing): whether an element vanishes in some copy is not
// known.
bool split_copies_missing();

// The same test for many elements under one set of relations (the entries
// a pivot search looks at): the copies found once.
struct SplitRoots;
struct FactorView;
class SplitZeroDivisors {
public:
    SplitZeroDivisors();
    ~SplitZeroDivisors();
    SplitZeroDivisors(const SplitZeroDivisors&) = delete;
    SplitZeroDivisors& operator=(const SplitZeroDivisors&) = delete;
    bool operator()(const polynode* p) const;

private:
    const SplitRoots* roots_ = nullptr;
    int32_t columns_ = 0;   // the ordinary levels above the field levels
    // Where the copies are the fields of factors that are not all linear.
    std::shared_ptr<const FactorView> factors_;
};

// The copies in which p (at the outermost level, kept) vanishes, bit k for
// the k-th choice of roots: false when no split applies or there are more
// than 64 copies.
bool split_copies_vanishing(polynode* p, uint64_t* where);

// The idempotent that is 1 in the given copies (bits as above) and 0 in
// the others, a new polynomial over the field levels; null when no split
// applies.
polynode* split_copies_idempotent(uint64_t copies);

// The inverse of p, an element of the field levels from rec (a field
// level) inward, when they split, into linear factors or those fields: the
// inverses in the copies read back, where Euclid over the tower may meet a
// zero divisor on the way to a unit's inverse. *inv (an empty slot) at
// rec's level. False when this does not apply; error 22 when p vanishes in
// some copy.
bool split_copies_inverse(polynode* p, pt* rec, polynode** inv);

// u / m (at the outermost level, kept) taken in the fields of the factors
// (factor_view.h), where m vanishes in no copy but its leading coefficient
// may: 1 with *quo (an empty slot) the quotient, 0 when m does not divide
// u, -1 when this does not apply.
int split_copies_factor_divide(polynode* u, polynode* m, polynode** quo);

// Whether p's coefficient at its leading monomial over the ordinary
// levels (at the outermost level, kept) vanishes in some copy of the
// fields of the factors: a division by p that makes that coefficient 1
// cannot run over the levels.
bool split_copies_lead_zero_divisor(polynode* p);
