// Factoring one-variable polynomials over finite fields (Z/p, GF(2^8),
// GF(2^16), and the fields of the mod-out relations once they exist), the
// irreducibility test, and square-free decomposition over the rationals
// and modulo p.
//
// Factor lists are chains of polynode records: exp the multiplicity (or,
// inside the factoring, a degree), pcoef the factor polynomial, numb 0,
// linked through next. A list is freed with free_poly.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;
struct quoly;

// ---- square-free decomposition ----
// Appends to *list (empty on an outside call) one record per square-free
// part of *p with its multiplicity: the primitive part's records by
// decreasing multiplicity, then those of its content in the main variable,
// each padded to *p's depth. A number content is dropped. top: 1 for an
// outside call (*count reset; in modular mode *p made monic first), 0 for
// the recursion on the content. *p is left as its primitive part, still
// the caller's. vars: the record of *p's top level.
void total_sq_free(polynode** p, polynode** list, int32_t* count, int top, pt* vars);
// Yun's method over the rationals (or outside modular mode generally) for
// a primitive, non-constant *p (kept): pushes the records on the front of
// *list, raising *count.
void rat_sq_free_factor(polynode** p, polynode** list, int32_t* count, pt* vars);
// *out1 := a / g and *out2 := b / g (copy-then-free). When g fails to
// divide, the gcd was wrong: it is recomputed (into *g) and the division
// repeated; after REDUCE2_RESTARTS restarts the gcd is recomputed once with
// the probabilistic shortcuts off, and a further failure is the fatal
// internal error "reduce2: the gcd does not divide.". a, b kept.
void reduce2(polynode* a, polynode* b, polynode** g, polynode** out1, polynode** out2, pt* vars);
constexpr int REDUCE2_RESTARTS = 3;
// Counts the restarts of reduce2 since start-up (for tests).
extern int32_t reduce2_restarts;
// The gcd reduce2 recomputes with (exact: shortcuts off); tests replace it.
extern void (*reduce2_gcd)(polynode* a, polynode* b, polynode** g, pt* vars, bool exact);

// ---- factoring ----
// Replaces the list in *list (freed first) by the irreducible monic factors
// of *p with their multiplicities, *count their number; *p (a polynomial in
// one variable over the field, at the level of polynames) is consumed.
// stop_first: the irreducibility test's mode (see irreducible_poly).
// print: each factor shown on the terminal as it is found, with the
// powering progress. level: -1 the field of the relations (or the plain
// modulus), 0 the prime field (relation variables as ordinary ones), n > 0
// the field below variable level number_polys + 1 - n. Modular mode with a prime modulus only (errors 284,
// 293); a level without an extension field, or below it, is error 300; a
// square-free part with coefficients outside the level's field is error
// 299, reported against `who`.
void factor_poly(polynode** p, polynode** list, int32_t* count, int stop_first, int print, int32_t level,
                 const char* who = "Factor");
// Milliseconds the last factor_poly call spent in its distinct-degree stage
// (for the benchmark driver).
extern double factor_distinct_degree_ms;
// *q := the irreducibility answer for the polynomial *q: 1 irreducible; k
// when it is k distinct irreducibles of one degree; a proper factor (a
// polynomial); 0 for a number. Errors 186 (a denominator), 198 (negative
// exponents), cant_factor's code where the polynomial cannot be factored
// in the present setting, those of factor_poly.
void irreducible_poly(quoly** q, int32_t level);
// The same answer as a plain integer, for callers that must not read a
// count in the ring (k factors with k = 1 modulo p would read as
// "irreducible"): 1, k, 0 as above; -1 with the proper factor in *factor
// (free-first). p is a polynomial that can be factored here; who: the
// command named in factor_poly's errors.
int32_t irreducibility(polynode* p, int32_t level, polynode** factor, const char* who = "Factor");
// irreducibility(p, level) is 1.
bool is_irreducible(polynode* p, int32_t level);

// ---- the splitting steps (for tests) ----
// *result := a random monic polynomial of degree n in the variable of
// rec's level, coefficients in the field (level as for factor_poly).
void random_poly(pt* rec, polynode** result, int32_t n, int32_t level);
