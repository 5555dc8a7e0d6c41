// Exponent shifts of whole polynomials: dividing out the monomial that lifts
// every negative exponent to 0 (or the least power of each variable) before
// an algorithm for ordinary polynomials runs, multiplying it back after;
// and the substitution x -> x^modulus of every variable.
//
// Shift list: a chain of term nodes used for their exp and next fields only,
// one per level from the level of the polynomial handed over inward; the
// exp of a level's entry is that level's shift. Entries come from polygarb
// (else the stash) and go back there with exp 0 (release_shift_list).
//
// Every routine here works in place and keeps the shape rules of
// poly/polyvars.h. A shift or scaling that would carry an exponent beyond
// 32 bits is error 156, raised before anything changes.
#pragma once
#include <cstdint>

#include "storage/records.h"

// Seeds of clear_bads.
constexpr int32_t SHIFT_NEGATIVES = 0;            // only exponents below 0 are shifted
constexpr int32_t SHIFT_LEAST = 0x7FFFFFFF;       // each variable's least exponent is shifted out
constexpr int32_t SHIFT_ALL_LEVELS = 16384;       // a stop value no level reaches

// in place. p is not a lone number. Builds the shift list of *p for the
// levels above `stop` (0: all), and when some shift is non-zero divides *p
// by the monomial; *first, *last then hold the list, which the caller
// multiplies back with eliminate_bads(.., +1) and gives back with
// release_shift_list. With no shift, *p is untouched and *first, *last are
// null.
void clear_bads(polynode** p, polynode** first, polynode** last, int32_t seed, int32_t stop);
// in place. *p := *p times the product over levels of x_L^(sign * shift_L),
// e the entry of *p's own level, sign +1 or -1. Null *p: nothing.
void eliminate_bads(polynode** p, polynode* e, int32_t sign);
// Lowers the entries from e (the entry of q's level) inward to the least
// exponents of q's lists; a constant term cuts every positive entry from its
// level inward to 0.
void find_bads(polynode* q, polynode* e);
// The coefficients may have zero divisors: under a relation (one declared a
// field may still split) or modulo a composite number. A product of Laurent
// polynomials there can lose its lowest terms, so that its quotient by a
// factor lifted to a polynomial needs negative powers: up to the factor's
// degree in each variable (in every factor of a product of fields).
bool coefficient_zero_divisors();
// The shift list of p's degree in each free variable, from the outermost
// level inward (levels whose variable carries a relation get 0); *first,
// *last null when p has no positive degree in any.
void degree_shifts(const polynode* p, polynode** first, polynode** last);
// Gives a shift list back to polygarb in one splice; both slots become null.
void release_shift_list(polynode** first, polynode** last);

// in place. Every exponent of every non-number node, at every level, is
// multiplied by `modulus`: p(x, y, ...) -> p(x^m, y^m, ...). Null p: nothing.
void poly_to_prime(polynode* p);
