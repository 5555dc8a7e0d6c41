// Half-gcd reduction and the extended Euclid for one-variable polynomials
// with residue coefficients modulo a prime (modular mode), on term lists of
// the one-level modular shape of poly/modmult.h.
//
// The reduction keeps the 2x2 transformation of the pair: after a call the
// pair (a, b) is (M11·a0 + M12·b0, M21·a0 + M22·b0) of the pair (a0, b0) at
// entry, with a matrix of determinant ±1, so the gcd is unchanged. The
// reduced pair satisfies deg b < ceil(deg a0 / 2) <= deg a, or b is a
// number.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// The degree of a one-variable polynomial: -1 for zero, 0 for any other number.
int32_t onevar_degree(const polynode* p);
// quo, rem := u / m, u mod m as simplest_poly_divide, choosing its divide
// and conquer only for long quotients: a remainder step of the Euclid
// usually drops the degree by one, and the schoolbook step then costs
// O(deg m) where divide and conquer costs a full product.
void euclid_divide(polynode* u, polynode* m, polynode** quo, polynode** rem);

// a and b are owned one-variable polynomials with deg a >= deg b; on return
// they hold the reduced pair. The matrix slots are free-first: their old
// values are freed, then they receive the matrix, the identity when nothing
// was done. with_matrix 0: the matrix is not tracked (its products are
// never formed) and the slots receive the identity. Subquadratic: each
// stage recurses on the upper halves of the pair.
void emgcd_full(polynode** a, polynode** b, polynode** m11, polynode** m12, polynode** m21,
                polynode** m22, int with_matrix);
// The same contract by plain Euclid steps until deg b < ceil(deg a0 / 2).
void emgcd_basic(polynode** a, polynode** b, polynode** m11, polynode** m12, polynode** m21,
                 polynode** m22, int with_matrix);
// A second entry with the steps and the behaviour of emgcd_basic.
void emgcd_fastest(polynode** a, polynode** b, polynode** m11, polynode** m12, polynode** m21,
                   polynode** m22, int with_matrix);

// Returns 1 and sets s and t (free-first) so that s·a + t·b = 1 when a and b
// are coprime, with deg s < deg b and deg t < deg a; returns 0 when they have
// a common factor or when b is a number (s and t then left as they were).
// a and b are kept. A constant remainder without an inverse (composite
// modulus) is error 85.
int mod_rev_euclid(polynode* a, polynode* b, polynode** s, polynode** t, pt* var);
