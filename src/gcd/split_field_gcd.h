// Gcds over field levels that the prime splits.
//
// A relation declared a field may factor modulo the prime: t^2 - 2 modulo
// 7 is (t - 3)(t + 3). When every relation of the tower splits into
// distinct linear factors the ring is a product of copies of Z/p, one for
// each choice of roots, and a gcd over it is the gcd in every copy at
// once. Euclid and the other roads over the tower divide by elements that
// may vanish in one copy only (a zero divisor), and the shortcuts of the
// driver (contents, common powers, single terms) read a polynomial the same
// in every copy, which a zero-divisor coefficient breaks. So the gcd is
// taken in each copy, made monic there, and read back by interpolation
// over the roots. Copies whose gcds differ in their leading monomial have
// no common monic gcd: the GCD asked for is then error 22; elsewhere (a
// quotient, which needs only a common divisor to cancel) the gcd over Z/p
// of the copies' gcds stands for it.
//
// One field level whose relation the prime splits only partly, into
// distinct irreducible factors of several degrees, is the product of the
// fields of its factors: the copies are those fields (Z/p for a linear
// factor), each gcd is taken with the factor in the relation's place, and
// the answer is read back by Chinese remaindering. So also over GF(2^8)
// and GF(2^16), for any factors. Copies that disagree give the error as
// above; a quotient then cancels what their gcds share over the ground
// field (each copy's gcd lies in a field of its own). A tower of several
// levels split so, or partly (the inner level splits and the outer not, or
// the outer only over the inner one), is read as one level first
// (tower_level.h), whose copies are the tower's.
#pragma once
#include <cstdint>
#include <vector>

#include "numbers/ring.h"
#include "storage/records.h"

struct pt;
struct SplitRoots;

// The roots of the field levels (split_field_levels) under the current
// prime, every choice of them; null when some relation does not split into
// distinct linear factors. Kept, for the session, for the next call with
// the same modulus and relations (the records may be new ones).
const SplitRoots* tower_roots(const std::vector<pt*>& levels);

// 1 with the monic gcd of u and v (polynomials at vars's level, kept) in
// *g, its old value freed, or the common divisor above; 0 when this does
// not apply (no modular mode, a composite modulus, no field levels, a
// relation that stays irreducible or is not square-free, a tower that is
// a field or no product of fields or too large to read as one level,
// operands free of the field levels, negative exponents). Error 22 as above, or ZeroDivisorMet
// under a ZeroDivisorEscape when the copies disagree. The flags go to the
// gcds of the copies; a caller's test gets the whole gcd.
int split_field_gcd(polynode* u, polynode* v, polynode** g, int allow_tests, int allow_split, pt* vars);

// The fraction num/den (polynomials at vars's level, kept) over field
// levels that the prime splits into factors not all linear (one level, or
// a tower read as one): cancelled in each copy by the copy's whole gcd,
// its denominator made monic there, read back into *qn/*qd (new
// polynomials). A denominator that vanishes in some copy is error 22. With
// `whole` that is false instead, and so is a fraction whose copies' gcds
// lead with different monomials while some copy's holds only what they
// share over the ground field (the gcd above cancels that). False where
// this does not apply (the roots' copies serve, or none are built).
bool factor_copies_fraction(polynode* num, polynode* den, polynode** qn, polynode** qd, bool whole, pt* vars);

// Counts of the gcds above taken in the copies: those whose copies
// agreed (the whole gcd of every copy, read back) and those that answered
// with the common divisor where they disagreed. A caller can tell whether
// its quotient cancelled the whole gcd of every copy.
extern int32_t split_copies_agreed;
extern int32_t split_copies_disagreed;
// Of the disagreements over fields of factors, those where some copy's gcd
// holds no more than the common divisor (or none is taken there): the
// quotient that cancels each copy by its whole gcd declines those, and
// the quotient over the tower by the common divisor stands.
extern int32_t split_copies_shared_only;

// Alive while the user's GCD is computed (see above): the modulus it is
// asked under (0 outside modular mode), so that images modulo other primes
// inside it are not taken for it.
extern int32_t split_gcd_asked;
struct SplitGcdAsked {
    int32_t saved = split_gcd_asked;
    SplitGcdAsked() { split_gcd_asked = modularmode ? modulus : 0; }
    ~SplitGcdAsked() { split_gcd_asked = saved; }
    SplitGcdAsked(const SplitGcdAsked&) = delete;
    SplitGcdAsked& operator=(const SplitGcdAsked&) = delete;
};
