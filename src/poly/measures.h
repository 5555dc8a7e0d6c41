// Term, node and degree counts: the read-only sizes that the gcd driver,
// content, trial division and interpolation consult to choose a method.
//
// Most counts stop once their running sum passes a cap, because the caller
// only asks whether the operand is bigger than some fixed threshold. The cap,
// the value returned at the stop and the counter's width are part of each
// count's contract: a 16-bit counter wraps and is compared with its cap after
// sign extension, exactly as the callers' thresholds expect. A list that
// stops early hands its partial sum to the level above, which adds it and
// tests its own cap, so the returned value can exceed the cap by a whole
// sub-count unless the routine says it clamps.
//
// Nothing here allocates or changes its argument; expon_node_total writes
// deglist. A null polynomial counts 0 unless a routine says otherwise.
// Levels: 1 = outermost; level k is a field level when field_depth > 0 and
// k >= field_depth, and a field-aware count takes a whole coefficient at a
// field level as one monomial (one element of the extension field).
#pragma once
#include <cstdint>

#include "storage/records.h"

// Entry L (from 1): one more than the greatest leading exponent that the last
// expon_node_total met at level L. Written by nothing else.
constexpr int DEGLIST_SIZE = 152;
extern int32_t deglist[DEGLIST_SIZE];

// Dense-array size that expon_node_total reports when the product of the
// level sizes does not fit.
constexpr int64_t DENSE_SIZE_TOO_BIG = (int64_t{0x3FFFFFED} << 32) | 0x169;

// Saturation of poly_weight.
constexpr int32_t POLY_WEIGHT_CAP = 10000000;

// ---- monomial counts (a number node is one monomial) ----
int32_t f_poly_numterms(const polynode* p);     // all monomials
int16_t fast_numterms(const polynode* p);       // stops past 60; the partial sum
int16_t poly_nodes(const polynode* p);          // stops past 40; the partial sum
int32_t q_poly_numterms(const polynode* p);     // past 200,010 gives exactly 200,010, at every level

// ---- node counts (every node 1, number or not) ----
int16_t node_total(const polynode* p);          // stops past 17; the partial sum
int32_t bigg_node_total(const polynode* p);     // stops past 12,000; the partial sum
int32_t bigger_node_total(const polynode* p);   // stops past 2,560,000; the partial sum
int16_t big_node_total(const polynode* p);      // stops past 800; clamped to 1,600 at every level
// A number node 1, a term node its exponent plus its coefficient's count;
// stops past 100, clamped to 200 at every level.
int16_t new_node_total(const polynode* p);

// ---- field-aware monomial counts of p at level k (p's own level) ----
int16_t fast_f_numterms(const polynode* p, int32_t k);  // stops past 100; the partial sum
int32_t poly_numterms(const polynode* p, int32_t k);    // uncapped
// Stops past 1,000, tested only after a term node's coefficient was added
// (number nodes add 1 untested); the partial sum.
int32_t qpoly_numterms(const polynode* p, int32_t k);

// ---- quoly wrappers ----
// 1 for a number; else f_poly_numterms of numerator plus denominator.
int32_t f_numterms(const quoly* q);
// Field-aware count from level 1 of the numerator plus the denominator (when
// present). Its callers pass no number quoly; one counts 1.
int32_t numterms(const quoly* q);
// As numterms with qpoly_numterms (each part stopping past 1,000); 1 for a number.
int32_t q_numterms(const quoly* q);

// ---- degrees and depths ----
// Raises *m to the greatest exponent of the variable n levels down from p's
// own (n = 1: p's first exponent; p not null). A number node met above that
// level (a term that does not reach it) lifts a negative *m to 0.
void max_degree(const polynode* p, int32_t n, int32_t* m);
// Upper bound of the total degree of p (at level k): the leading exponent
// plus the greatest bound among the coefficients, returned as soon as it
// reaches bound. p not null.
int32_t sum_degrees(const polynode* p, int32_t k, int32_t bound);
// Each monomial weighs the product of the levels along its path from k (a
// field-level coefficient one monomial), saturated at POLY_WEIGHT_CAP.
int32_t poly_weight(const polynode* p, int32_t k);
// Levels below p's own that p uses: 0 for null or all-number lists.
int16_t depth_below(const polynode* p);
// depth_below after skipping the outer levels p does not depend on (lone
// exponent-0 term nodes); p not null.
int16_t poly_height(const polynode* p);
// Node count of p at level k that also fills deglist; a term node of
// exponent <= 0 is not counted itself (its coefficient is). Stops past 1,600,
// clamped to 3,200 at every level. With first non-zero, deglist is reset
// from level k inward first and *size receives the product deglist[k] x
// deglist[k+1] x ... (up to the first zero entry or number_polys), or
// DENSE_SIZE_TOO_BIG when that does not fit; with first 0 *size is untouched.
int32_t expon_node_total(const polynode* p, int32_t k, int first, int64_t* size);
