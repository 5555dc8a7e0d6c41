// Multivariate gcd over a prime field by evaluation and interpolation: the
// main (outermost) variable x is replaced by residues, the gcds of the
// images (polynomials in the remaining variables) come from the driver,
// and the gcd is rebuilt by Newton interpolation in x. Images are compared
// and normalised with respect to the second variable y.
//
// Operands are kept. The pt record passed is the operands' top-level
// variable. Modular mode with a prime modulus (or GF(2^8)/GF(2^16)).
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// 1 with the gcd of u and v in *result (copy-then-free), or 0 when the
// method does not apply or gives up (*result then freed to null). bound
// bounds the degree of the gcd in x. A candidate is accepted only when it
// divides both operands, so a 1 answer is never wrong.
int mod_multivar_Chinese(polynode* u, polynode* v, polynode** result, int32_t bound, pt* var);

// Set while the gcd being computed is one image of the modular method over
// the integers, whose answer is checked against both integer operands in
// the end: a candidate is then taken without dividing here.
extern int images_checked_later;

// One attempt: 1 with a monic candidate in *result, 0 on failure (the
// images kept losing degree, too few points, an unlucky first point).
// deg_u, deg_v: the degrees in y that an image must keep.
int sub_mod_multivar_Chinese(polynode* u, polynode* v, polynode** result, int32_t bound, int32_t deg_u,
                             int32_t deg_v, pt* var);

// The driver's choice between evaluation and interpolation and Algorithm C
// for the primitive pair u, v at `level` (deg u >= deg v): 1 prefers
// Algorithm C. Only reads its operands and the per-statement counters.
int prefer_alg_c(polynode* u, polynode* v, int32_t level);
