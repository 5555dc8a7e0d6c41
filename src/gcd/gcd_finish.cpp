// The two ways a driver call ends: finish_4 (the answer in g) and
// alternate_finish (the answer from the stash or the modular method), the
// final monic/primitive normalisation, and exact division by a content
// through pseudo-division for field coefficients.
#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_state.h"
#include "gcd/exactdiv.h"
#include "gcd/gcdstash.h"
#include "gcd/polygcd.h"
#include "gcd/pseudo_div.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"

using namespace gcd_impl;

namespace {

void store_in_stash(gcd_state* st, polynode* answer) {
    if (lookupgcd <= 0 || !st->stash_pending) return;
    store_stashed_gcd(st->stash_entry, answer);
    st->stash_pending = 0;
    polygcd_stack_depth -= 1;
    if (polygcd_stack_depth < 0) tarvex_error("negative polygcd_stack_depth 1", 0);
}

// Puts back what the driver divided out before computing: the content gcd,
// the level factor, the stride and the common power of x.
void put_back_factors(gcd_state* st, polynode** a) {
    pt* vars = *st->vars;
    if (st->content_gcd) {
        pad_unless_number(&st->content_gcd);
        mult_into(a, st->content_gcd, vars);
        free_poly(&st->content_gcd);
    }
    if (st->level_factor) {
        mult_into(a, st->level_factor, vars);
        free_poly(&st->level_factor);
    }
    if (st->stride > 1 && !is_number(*a)) multiply_top_exps(*a, st->stride);
    if (st->x_power) {
        mult_into(a, st->x_power, vars);
        free_poly(&st->x_power);
    }
}

// u := q after an exact pseudo-division, then made primitive.
void finish_special_div(polynode** u, polynode* q, polynode* r, const char* message) {
    if (!node_iszero(r)) tarvex_error(message, 0);
    free_poly(u);
    *u = q;
    if (lintmode) return;
    polynode* c = integer_content(*u);
    if (!poly_eq_1(c)) num_poly_quot(*u, c->ncoef, 0);
    free_poly(&c);
}

}  // namespace

void finish_4(gcd_state* st) {
    gcd_release_operand(st, 1);
    gcd_release_operand(st, 2);
    polynode** g = st->g;
    if (!lintmode) make_positive(*g);
    store_in_stash(st, *g);
    polynode* f = nullptr;
    if (!lintmode && field_depth >= 1 && !*st->test_only && st->content_gcd)
        f = integer_content(st->content_gcd);
    put_back_factors(st, g);
    correct_monic_form(g, &f, st);
    free_poly(&f);
}

void alternate_finish(int undo_signs, gcd_state* st) {
    if (neg_leading_term(st->answer)) poly_inplace(st->answer);
    store_in_stash(st, st->answer);
    if (undo_signs) {
        int m1 = 0;
        if (!st->owns_u && *st->u && st->sign_u && equal_to_pm1(st->sign_u, &m1) && m1) poly_inplace(*st->u);
        if (!st->owns_v && *st->v && st->sign_v && equal_to_pm1(st->sign_v, &m1) && m1) poly_inplace(*st->v);
    }
    if (st->sign_u) free_imag(&st->sign_u);
    if (st->sign_v) free_imag(&st->sign_v);
    gcd_release_operand(st, 1);
    gcd_release_operand(st, 2);
    put_back_factors(st, &st->answer);
    free_poly(st->g);
    *st->g = st->answer;
    st->answer = nullptr;
}

void correct_monic_form(polynode** g, polynode** f, gcd_state* st) {
    polynode* h = nullptr;
    if (!is_number(*g) && !*st->test_only) {
        if (!lintmode && field_depth > 0) {
            // Monic in the field and primitive, then the integer content of
            // the content gcd back in.
            field_monic(g, *st->vars);
            if (*f) poly_mult(*g, *f, g, *st->vars);
        } else if (lintmode && modularmode && mod_is_prime) {
            monic_poly(g, &h, *st->vars);
        }
    }
    free_poly(f);
    free_poly(&h);
}

void field_monic(polynode** p, pt* vars) {
    if (is_number(*p)) return;
    PolyHold factor;
    rat_monic_poly(p, &factor.p, vars);
    // A field leading coefficient leaves the inverse's integer denominator
    // as the leading number: the integer content takes it out.
    if (factor.p) clear_up(p);
}

void special_div(polynode** u, polynode** m, pt* vars) {
    add_pad(m, 1);
    polynode* q = nullptr;
    polynode* r = nullptr;
    polynode* mult = nullptr;
    num_pseudo_div(*u, *m, &q, &r, &mult, vars);
    free_poly(&mult);
    // Take the padding node off again: m is the caller's, at its own level.
    polynode* pad = *m;
    *m = pad->pcoef;
    pad->pcoef = nullptr;
    free_poly(&pad);
    finish_special_div(u, q, r, "not 0 in special_div");
    free_poly(&r);
}

void special_div_2(polynode** u, polynode** m, pt* vars) {
    polynode* q = nullptr;
    polynode* r = nullptr;
    polynode* mult = nullptr;
    num_pseudo_div(*u, *m, &q, &r, &mult, vars);
    free_poly(&mult);
    finish_special_div(u, q, r, "not 0 in special_div_2");
    free_poly(&r);
}
