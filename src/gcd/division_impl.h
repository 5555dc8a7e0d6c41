// Private to the division routines (src/gcd and the monic forms of
// src/quoly): guards for polynomials under construction and for a
// divisor's tail negated during a division, and the leading-term steps.
#pragma once
#include <cstdint>

#include "numbers/numbers.h"
#include "quoly/quoly.h"
#include "poly/polyadd.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"

struct pt;

namespace division_impl {

// Negates a divisor's tail in place for the lifetime of the guard: each
// step then adds term·(−tail), and the divisor is whole again on every exit.
struct NegatedTail {
    polynode* p;
    explicit NegatedTail(polynode* t) : p(t) {
        if (p) poly_inplace(p);
    }
    ~NegatedTail() {
        if (p) poly_inplace(p);
    }
    NegatedTail(const NegatedTail&) = delete;
    NegatedTail& operator=(const NegatedTail&) = delete;
};

inline int32_t top_degree(const polynode* p) { return p->numb ? 0 : p->exp; }

// A lone number node: a constant polynomial.
inline bool plain(const polynode* p) { return p->numb && !p->next; }

// c x^e as one detached term (c taken over): a term of exponent 0 over a
// lone number is that number node.
inline polynode* make_term(int32_t e, polynode* c) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = e;
    t->numb = 0;
    t->pcoef = c;
    if (e == 0 && plain(c)) remove_dummy(t);
    return t;
}

// A number record owned by the scope (a multiplier, a leading coefficient).
struct ImagHold {
    imag* n = new_number();
    ImagHold() = default;
    ~ImagHold() { free_imag(&n); }
    ImagHold(const ImagHold&) = delete;
    ImagHold& operator=(const ImagHold&) = delete;
};

// Unlinks r's leading term and lowers its exponent by k; a term that ends
// at exponent 0 over a lone number becomes that number node.
inline polynode* take_leading_term(polynode** r, int32_t k) {
    polynode* t = *r;
    *r = t->next;
    t->next = nullptr;
    if (!t->numb) {
        t->exp -= k;
        if (t->exp == 0 && t->pcoef->numb && !t->pcoef->next) remove_dummy(t);
    }
    return t;
}

// *r := *r + b, both consumed; null stands for the empty sum, and a zero
// result becomes null.
inline void add_into(polynode** r, polynode* b) {
    if (!b) return;
    if (!*r) *r = b;
    else best_poly_add(*r, b, r);
    if (*r && poly_iszero(*r)) free_poly(r);
}

// *q := u times the numerator of m's inverse modulo the relations (m a
// field element); inv keeps that inverse, whose number denominator
// (inv->den, null for 1) the caller still owes the product.
void times_inverse_numerator(polynode* u, polynode* m, pt* rec, polynode** q, quoly_detail::QuolyHold& inv);

}  // namespace division_impl
