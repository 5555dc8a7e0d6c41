// Large powers without the full power: modulo a number, modulo a monic
// polynomial, or inside the field of the current modulus (and of the
// mod-out relations once they exist); the small-exponent powering routines
// and the Frobenius map they rest on; the order of the field.
//
// Exponents are number records of any size: a digit chain (count >= 1,
// base-2^28 digits carrying the sign), or the value word when the record
// owns no digits (count 0). Exponents are never consumed.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// The dispatcher behind Powermod and the factoring code: *a := (*a)^n,
// reduced modulo *m when m is non-null and *m holds a number or a monic
// polynomial; without m, in modular mode, the power is taken in the field
// (a residue base by the exponent reduced modulo p - 1). In place: *a is
// replaced, a one-node polynomial result becoming a plain number; *m kept.
// show: the progress lines of the polynomial case. Errors 287 (negative
// exponent where none is allowed), 197, 198, 291 (unusable modulus
// polynomial), 290, 22 and 156 (a power whose degree leaves 32 bits). When
// an error returns, *a holds a well-formed value (the base or 1).
void powermod(quoly** a, quoly** m, imag* n, int show);

// ---- small exponents (e >= 0; e = 0 gives 1) ----
// c := c^e mod M for digit numbers, c reduced into 0 .. M - 1 first; M > 0.
void num_to_small_exponent(imag* c, imag* M, int32_t e);
// in place. *a := (*a)^e, every product reduced modulo the monic M (M
// null: no reduction); products under rec, the record of *a's top level.
void poly_mod_to_small_exp(polynode** a, int32_t e, polynode* M, pt* rec);
// in place. *a := (*a)^e, the products reduced by the mod-out relations
// from rec inward (none: plain products).
void mod_poly_to_small_exponent(polynode** a, int32_t e, pt* rec);
// in place. *a := (*a)^p, p the modulus (a prime), term by term from
// x_to_p[L], the p-th power of the variable of level L reduced modulo its
// relation, for every level L from rec's inward (rec: the record of *a's
// top level; the table is the caller's). A number stays itself.
void fast_mod_power(polynode** a, pt* rec, polynode* const* x_to_p);

// ---- the field ----
// The record of the outermost field variable for a factoring level: -1,
// the record at level field_depth (not the first record flagged a field:
// while a relation is tested over the field below it, the levels above are
// still flagged); n >= 0, the record of level number_polys + 1 - n (none
// for 0: the prime field, every relation variable an ordinary one). Null
// when there is none.
pt* field_record(int32_t level);
// *q := the order of the field (digit number; call with modular and
// machine-integer mode off): modulus^(d1 d2 ...), the di the relation
// degrees from field_record(level) inward. report: no field variable is
// the fatal internal error " pt nil in order_of_field." (q is then the
// modulus).
void order_of_field(imag* q, int report, int32_t level);
// k with q = 2^k in characteristic 2: 8 for GF(2^8), 16 for GF(2^16), 1
// otherwise, times the relation degrees.
int32_t log_order_field(int32_t level);
