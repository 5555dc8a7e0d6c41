// The equal-degree split (Cantor-Zassenhaus): for a product P of distinct
// irreducibles of degree d, a random r gives gcd(r^((q^d-1)/2) - 1, P)
// (odd q) or gcd(trace of r, P) (q = 2^k) a proper factor about half the
// time; both parts are split again.
#include "builtins/ddf_bits.h"
#include "builtins/ddf_flat.h"
#include "builtins/factor.h"
#include "builtins/factor_impl.h"
#include "builtins/powermod.h"
#include "gcd/exactdiv.h"
#include "gcd/polydiv.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

using namespace factor_impl;
using namespace powermod_impl;

void random_poly(pt* rec, polynode** result, int32_t n, int32_t level) {
    // Coefficients: residues, or elements of the relations' field.
    pt* field = nullptr;
    int32_t k = 0, padding = 0;
    if (field_depth > 0 && level != 0) {
        field = field_record(level);
        if (!field || !field->relation || !field->field) {
            tarvex_error(" random_poly, pt mix up.", 1);
            abandon_statement();
        }
        k = levels_from(field);
        padding = field->level - level_of(rec) - 1;
    }
    polynode* head = new_term_node(n, number_poly(1));
    polynode** tail = &head->next;
    for (int32_t i = n - 1; i >= 0; i--) {
        polynode* c = nullptr;
        random_field_element(&c, k, field);
        if (!c) continue;
        for (int32_t j = 0; j < padding && !lone(c); j++) c = new_term_node(0, c);
        polynode* term = (i == 0 && lone(c)) ? c : new_term_node(i, c);
        *tail = term;
        tail = &term->next;
    }
    free_poly(result);
    *result = head;
}

namespace {

void split_and_recurse(polynode* P, polynode* G, int32_t d, int32_t m, FactorFrame& f, bool odd) {
    PolyHold P2;
    int fail = 0;
    gen_poly_divide(P, G, &P2.p, f.rec, &fail);
    if (fail) {
        tarvex_error(odd ? "failure in odd_cantor_zass." : "failure in even_cantor_zass.", 1);
        abandon_statement();
    }
    if (odd) {
        odd_cantor_zass(G, d, m, f);
        odd_cantor_zass(P2.p, d, m, f);
    } else {
        even_cantor_zass(G, d, m, f);
        even_cantor_zass(P2.p, d, m, f);
    }
}

const ExpDigits& half_power(int32_t d, FactorFrame& f) {
    auto it = f.half_powers.find(d);
    if (it != f.half_powers.end()) return it->second;
    ModesOff off;
    NumHold h;
    imag* e = h.x;
    number_of(f.q, e);
    number_power(e, static_cast<uint32_t>(d));
    sub(e, number_1, e);
    shift_right_1(e);
    ExpDigits r = digits_of(e);
    return f.half_powers[d] = r;
}

}  // namespace

void factor_impl::odd_cantor_zass(polynode* P, int32_t d, int32_t m, FactorFrame& f) {
    if (degree(P) / d == 1) {
        polynode* c = nullptr;
        poly_assign(P, &c);
        append_1(&c, m, f);
        return;
    }
    const ExpDigits& e = half_power(d, f);
    PolyHold G;
    for (;;) {
        PolyHold r;
        random_poly(f.rec, &r.p, 2 * d - 1, f.level);
        if (!flat_half_power(&r.p, d, P, f.rec)) poly_power_mod(&r.p, e, P, f.rec, 0);
        PolyHold one(number_poly(1));
        poly_sub(r.p, one.p, &r.p);
        if (!lone(r.p)) {
            field_gcd(r.p, P, &G.p, f.rec);
            if (!lone(G.p)) break;
        }
        poll_interrupt();
    }
    split_and_recurse(P, G.p, d, m, f, true);
}

void factor_impl::even_cantor_zass(polynode* P, int32_t d, int32_t m, FactorFrame& f) {
    if (bits_equal_degree(P, d, m, f)) return;
    const int32_t K = degree(P) / d;
    if (K == 1) {
        polynode* c = nullptr;
        poly_assign(P, &c);
        append_1(&c, m, f);
        return;
    }
    // Over GF(2) itself the candidates x, x^3, x^5, ... make the split
    // independent of random numbers.
    const bool plain = !finf && field_depth == 0;
    PolyHold r, s;
    if (plain) {
        r.reset(variable_poly());
        s.reset(new_term_node(2, number_poly(1)));
    } else {
        random_poly(f.rec, &r.p, 2 * d, f.level);
    }
    PolyHold G;
    for (;;) {
        if (K == 2 && !plain) poly_mod_or_div(r.p, P, &r.p, '|', f.rec);
        PolyHold T, u;
        poly_mod_or_div(r.p, P, &T.p, '|', f.rec);
        poly_assign(T.p, &u.p);
        for (int64_t i = 1; i < int64_t{f.log_q} * d; i++) {
            mult_mod(u.p, u.p, P, f.rec, &u.p);
            poly_add(T.p, u.p, &T.p);
        }
        if (!lone(T.p)) {
            field_gcd(T.p, P, &G.p, f.rec);
            if (!lone(G.p)) break;
        }
        if (plain)
            poly_mult(r.p, s.p, &r.p, f.rec);
        else
            random_poly(f.rec, &r.p, 2 * d, f.level);
        poll_interrupt();
    }
    split_and_recurse(P, G.p, d, m, f, false);
}
