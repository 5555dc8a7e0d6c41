// Exponents taken apart for the powering routines, and the polynomial
// helpers that the powering and factoring sources share.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "builtins/powermod_impl.h"
#include "gcd/onevar_div.h"
#include "gcd/polydiv.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "storage/assign.h"

namespace powermod_impl {

ExpDigits digits_of(const imag* n) {
    ExpDigits e;
    if (n->count == 0) {
        int64_t v = n->value;
        e.negative = v < 0;
        v = std::llabs(v);
        while (v) {
            e.d.insert(e.d.begin(), static_cast<int32_t>(v & DIGIT_MASK));
            v >>= DIGIT_BITS;
        }
        return e;
    }
    for (numnode* p = n->head; p; p = p->next) {
        if (p->digit < 0) e.negative = true;
        const int32_t mag = std::abs(p->digit);
        if (e.d.empty() && mag == 0) continue;
        e.d.push_back(mag);
    }
    return e;
}

ModesOff::ModesOff() : m(modularmode), l(lintmode) { modularmode = lintmode = 0; }
ModesOff::~ModesOff() {
    modularmode = m;
    lintmode = l;
}
void ModesOff::put_back() {
    std::swap(modularmode, m);
    std::swap(lintmode, l);
}

NumHold::NumHold() : x(new_number()) {}
NumHold::~NumHold() {
    if (x) free_imag(&x);
}

void number_of(const ExpDigits& e, imag* x) {
    if (e.zero()) {
        setvalue(0, x);
        return;
    }
    setvalue(e.d.front(), x);
    for (size_t i = 1; i < e.d.size(); i++) {
        fillout(x, 1);
        x->tail->digit = e.d[i];
    }
}

polynode* number_poly(int32_t v) {
    polynode* p = nullptr;
    poly_set(v, &p);
    return p;
}

polynode* variable_poly() { return new_term_node(1, number_poly(1)); }

polynode* lift_level(polynode* c) { return lone(c) ? c : new_term_node(0, c); }

void mult_mod(polynode* a, polynode* b, polynode* M, pt* rec, polynode** r) {
    PolyHold t;
    poly_mult(a, b, &t.p, rec);
    if (!M) {
        free_poly(r);
        *r = t.release();
        return;
    }
    if (modularmode && mod_is_prime && smallmodulus && !finf && !relation_inward(rec) && height_is_1(t.p) && height_is_1(M)) {
        // One variable modulo a small prime: the remainder alone, no quotient
        // formed (above 16 bits the divide-and-conquer quotient route is faster).
        poly_div_no_q(t.p, M, r);
        return;
    }
    poly_mod_or_div(t.p, M, r, '|', rec);
}

bool has_negative_exponent(const polynode* p) {
    for (; p; p = p->next) {
        if (p->exp < 0) return true;
        if (!p->numb && has_negative_exponent(p->pcoef)) return true;
    }
    return false;
}

int32_t max_exponent(const polynode* p) {
    int32_t m = 0;
    for (; p; p = p->next) {
        if (p->numb) continue;
        m = std::max({m, p->exp, max_exponent(p->pcoef)});
    }
    return m;
}

}  // namespace powermod_impl
