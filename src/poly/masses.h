// Coefficient sizes, masses and storage sizes: how large the numbers inside
// a polynomial are and how deep and wide it is, for the algorithm choices;
// the exact bytes a polynomial or quoly holds, for the memory accounting.
//
// All read-only. Each mass has its own saturation value, part of its
// contract like the caps of the counts in poly/measures.h: a sum or product
// that would not fit a signed 32-bit word, or that comes out negative, gives
// the saturation value.
//
// Number sizes: bitlen(n) is the bit length of |n| (in machine-integer mode
// the index of its top bit, of the symmetric residue in modular mode, -1 for
// 0); topbits(n) is the bit size of a digit number read from its head digit
// (b + 28 x count - 28, b the top bit that differs from the sign).
#pragma once
#include <cstdint>

#include "storage/records.h"

extern int32_t depthnum;   // depth weight of a quoly's numerator in better_quoly_mass (2)
extern int32_t massnum;    // weight of a polynomial denominator in better_quoly_mass (3)

constexpr int32_t FULL_MASS_CAP = 0x10000000;
constexpr int32_t POLY_MASS_SATURATED = 0x1FFFFFE;
constexpr int32_t BETTER_MASS_SATURATED = 0x40000000;
constexpr int32_t NEW_MASS_CAP = 0x10000000;
constexpr int32_t PRODUCT_ESTIMATE_SATURATED = 0x7FFFFFFF;

// ---- coefficient sizes ----
// The greatest bitlen over p's numbers; -1 for null.
int32_t max_digits(const polynode* p);
// bitlen of a number quoly; else the greater max_digits of numerator and
// denominator; -1 when neither is present.
int32_t quoly_max_digits(const quoly* q);

// ---- masses ----
// Bit sizes of the numbers, a term node of exponent e != 0 weighing
// a x |e| x b times its coefficient (b falls by one per level); at most
// FULL_MASS_CAP, which an overflow or a negative sum also gives.
int32_t full_poly_mass(const polynode* p, int32_t a, int32_t b);
// Digit counts weighted by exponents and depth: the first term node of a list
// weighs a x b x |e|, the others b x |e| (b grows by one per level). In
// Laurent mode a monomial spanning m levels is m + 1 whatever its exponents.
// Overflow gives POLY_MASS_SATURATED.
int32_t poly_mass(const polynode* p, int32_t a, int32_t b);
// The same walk weighing a term ((|e| + 1) / 2) x ((b + 2) / 2); overflow
// gives BETTER_MASS_SATURATED.
int32_t better_poly_mass(const polynode* p, int32_t a, int32_t b);
// Mass of a matrix entry for the sparse pivot choice: digit counts of a number
// or rational, else better_poly_mass of the numerator (weight depthnum) plus
// the denominator's share. An overflowing or negative result prints
// "Warning. better_quoly_mass was negative. " and gives BETTER_MASS_SATURATED.
int32_t better_quoly_mass(const quoly* q);
// Weighted degree along the heaviest path: max over the first 7 terms of each
// list of k x e plus the coefficient's mass at level k + 1; at most NEW_MASS_CAP.
int32_t new_poly_mass(const polynode* p, int32_t k);

// ---- storage estimates ----
// S(p): a number node 31 + 8 x digit count (31 in machine-integer mode), a
// term node 13 + S(coefficient); 0 for null.
int32_t simple_poly_mass(const polynode* p);
// S(p), each list stopping once its running sum passes 250 (the partial sum).
int32_t very_simple_poly_mass(const polynode* p);
// S(p), each list stopping once its running sum passes 350 (the partial sum).
int32_t more_simple_poly_mass(const polynode* p);

// ---- storage in bytes ----
int64_t sizepoly(const polynode* p);    // records and digit nodes p holds; 0 for null
int64_t sizequoly(const quoly* q);      // the quoly record and everything it holds

// ---- estimates for the size of a product ----
// A polynomial that is a number is worth 9; else the walk over p's list (with
// down set: over its first term's coefficient list, starting at 4) adds 9 per
// number node and 4 plus the coefficient's estimate per term node; a
// coefficient that is a number is worth 9. PRODUCT_ESTIMATE_SATURATED on
// overflow. For machine-integer mode.
int32_t lint_mode_answer(const polynode* p, int down);
// The same with digit counts, *k being the digit count of the other factor: a
// polynomial or coefficient that is the number c is worth (count(c) + k) x 2 + 8,
// a number node in a walk (count + k) x 2 + 9.
int32_t rat_mode_answer(const polynode* p, int down, const int32_t* k);
// Estimate of n x p, n a number node: the walk over the coefficient list of
// p's first term starting at 4, in the current mode with k = count(n).
int32_t prod_num_size(const polynode* n, const polynode* p);
