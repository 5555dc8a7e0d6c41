// The gcd under relations that make no field.
//
// Modulo a relation that is not declared a field (t^2 - 2 without the
// flag, or t^3 - t, which splits) the coefficients form a ring C, not a
// field, and the gcd of the plain polynomials says nothing about common
// factors modulo the relation: x - t divides x^2 - 2 only there. This
// module answers only what it can prove: in one free variable x it runs
// Euclid's algorithm over C, dividing only by leading coefficients whose
// inverse in C it has found and checked, so that every step keeps the
// common divisors and the last remainder is a gcd; in several variables
// it first proves C a product of fields and then runs the field algorithm
// in all of them at once (nonfield_multi.h). Whatever it cannot prove (a
// leading coefficient that is no unit, a relation not shown square-free)
// is refused with error 271. Modulo a composite number the ground ring has
// zero divisors too: the same Euclid serves a gcd in one free variable
// there, with or without relations, and a residue without inverse in its
// way is error 85 when no relation is to blame.
#pragma once

#include "storage/records.h"

struct pt;

// Returns false when the problem is not one for this module (no relation
// without a field among the levels the operands use, unless modulo a
// composite number in one free variable; Laurent exponents; a call inside
// one of its own): the caller goes on
// with the plain gcd. Otherwise *g := the gcd of u and v over C (slot
// freed first; u and v kept), normalised as the field gcd is: monic over
// C, then integral and primitive with the operands' common integer
// content; or error 271 ends the statement.
bool nonfield_gcd(polynode* u, polynode* v, polynode** g, pt* vars);

// While above 0 the caller only cancels a common factor of a fraction,
// where any factor dividing both keeps the value: a gcd that cannot be
// proved gives way to the plain gcd of the representatives, which divides
// them modulo the relations as well, instead of error 271.
extern int nonfield_any_common_factor;
struct AnyCommonFactor {
    AnyCommonFactor() { nonfield_any_common_factor++; }
    ~AnyCommonFactor() { nonfield_any_common_factor--; }
    AnyCommonFactor(const AnyCommonFactor&) = delete;
    AnyCommonFactor& operator=(const AnyCommonFactor&) = delete;
};

// In place, for a fraction *qu/*qv just cancelled: a denominator that is a
// unit of relations without the field flag may still share that unit with
// the numerator, the gcd being monic over them ((tx + 1)/(tx + 1) leaves
// t/t); the common factor of the two representatives is divided out.
void nonfield_shared_unit(polynode** qu, polynode** qv);

// In place, for a fraction *qu/*qv just cancelled by a gcd that is fixed
// only up to a unit of the relations' ring: the unit the gcd's
// normalisation left on both parts ((2t + 4)/((4t + 3)x + t + 2) for
// 2/((t + 2)x + 1) under t^2 + 1) is taken away again. Of the fraction as
// it is and the two made monic over the ring in the numerator's or the
// denominator's leading coefficient, the one with the fewest terms stays
// (the first on a tie).
void nonfield_fewest_terms(polynode** qu, polynode** qv);

// The fraction u/v with the common factor g cancelled modulo the relations
// (u, v and g at the outermost level, g's leading coefficient over the
// relations a unit): *qu/*qv, new polynomials, equal to u/v. With m given,
// *qu and *qv are u/g and v/g times one number M, which *m (freed first)
// holds as a lone number node. False, the slots untouched, when this module
// does not apply or g does not divide.
bool nonfield_cancel(polynode* u, polynode* v, polynode* g, polynode** qu, polynode** qv,
                     polynode** m = nullptr);
