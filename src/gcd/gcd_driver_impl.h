// Private to the gcd driver's files (polygcd.cpp, gcd_finish.cpp,
// content.cpp, gcd_method.cpp): small shape helpers and the continuation of
// the driver into the method choice.
#pragma once
#include <cstdint>

#include "gcd/gcd_state.h"
#include "storage/records.h"

struct pt;

namespace gcd_impl {

// A lone number node: a constant, at any level.
inline bool is_number(const polynode* p) { return p->numb && !p->next; }
inline int32_t top_degree(const polynode* p) { return p->numb ? 0 : p->exp; }
inline bool single_term(const polynode* p) { return p->next == nullptr; }

// A lone number node holding 1.
polynode* one_node();
// x^e at the level of x (e > 0).
polynode* x_to(int32_t e);
// A lone number node holding the integer content of p (1 in lint mode).
polynode* integer_content(polynode* p);
// in place. Every top exponent of p divided (multiplied) by k.
void divide_top_exps(polynode* p, int32_t k);
void multiply_top_exps(polynode* p, int32_t k);
// in place. Sign made positive outside machine-word arithmetic.
void make_positive(polynode* p);
// in place. *p := *p * m, m kept; a null m does nothing.
void mult_into(polynode** p, polynode* m, pt* vars);
// *p padded one level unless it is a lone number.
void pad_unless_number(polynode** p);
// in place. *p := *p / c where c is p's content w.r.t. its top variable (a
// lone number, or a polynomial one level inside); code names the caller in
// the diagnostic lines. A term of exponent 0 left over a lone number
// becomes that number node.
void divide_by_content(polynode** p, polynode* c, pt* vars, int32_t code);
// The core of the monomial rule: x^m or 1.
polynode* monomial_core(gcd_state* st);

// Operands whose coefficients are all field elements or numbers, when the
// modular methods over the field lack their second primes: Euclid over the
// field, the integer contents' gcd beside it. Ends the call when it applies.
bool field_coefficient_step(gcd_state* st);

// Two or more variables over field levels modulo a prime below 1024: the
// gcd in an extension field (small_field_gcd). Ends the call when it
// answers.
bool small_field_tower_step(gcd_state* st);

// The second half of the driver: the content split over other levels and the main
// method. Ends the call (finishes or returns with *st->g set).
void choose_method(gcd_state* st);

}  // namespace gcd_impl
