// The driver's early field step: operands whose every coefficient is a
// field element (or a number) have their gcd by Euclid over the field.
#include <cstdint>
#include <vector>

#include "gcd/aux_source.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_special.h"
#include "gcd/gcd_state.h"
#include "gcd/polygcd.h"
#include "gcd/small_field_gcd.h"
#include "gcd/split_images.h"
#include "interp/settings.h"
#include "numbers/ring.h"
#include "poly/levels.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"

namespace gcd_impl {

namespace {

// Whether the modular method takes the split road at var's level: over
// the rationals, a field without first auxiliary primes, or a tower of two
// or more levels.
bool takes_split_road(pt* var) {
    std::vector<pt*> levels;
    return !modularmode && split_field_levels(var, &levels) && (levels.size() > 1 || first_aux_table().empty());
}

}  // namespace

bool field_coefficient_step(gcd_state* st) {
    // With second auxiliary primes the modular methods over the field are
    // faster than Euclid; without them (or where contents cannot be
    // divided out, in machine-integer arithmetic) Euclid is the method.
    if (field_depth <= 0 || !(lintmode || no_aux_primes2)) return false;
    pt* vars = *st->vars;
    // Where the modular method takes its images modulo primes that split
    // the tower, Euclid is not the method after all: over a tower of
    // several levels each monic remainder inverts an element whose norm
    // multiplies the integers by the field's degree, and a gcd of degree
    // 80 over Q(i)(sqrt 3)(sqrt 5) took minutes where the split images
    // take milliseconds.
    if (!lintmode && takes_split_road(vars)) return false;
    polynode* u = *st->u;
    polynode* v = *st->v;
    if (!all_coefs_invrtble_both(u, v, vars->level)) return false;
    if (lintmode) {
        st->content_gcd = one_node();
    } else {
        PolyHold cu(integer_content(u));
        PolyHold cv(integer_content(v));
        polygcd(cu.p, cv.p, &st->content_gcd, *st->test_only, 1, 0, vars, 1, 1, 1);
    }
    PolyHold a;
    field_coef_gcd(u, v, &a.p, vars);
    if (!lintmode && is_number(a.p)) {
        // Coprime over the field: the number Euclid leaves (the integer
        // content a monomial operand shares) is in the content gcd already.
        free_poly(&a.p);
        a.p = one_node();
    } else if (!lintmode) {
        // Euclid's pseudo-remainders leave an integer factor the operands
        // need not share; the content gcd above stands for the shared one.
        PolyHold c(integer_content(a.p));
        if (!poly_eq_1(c.p)) divide_by_content(&a.p, c.p, vars, 0);
    }
    polynode* core = monomial_core(st);
    mult_into(&core, a.p, vars);
    free_poly(st->g);
    *st->g = core;
    finish_4(st);
    return true;
}

bool small_field_tower_step(gcd_state* st) {
    // Modulo a small prime the field levels make a field with too few
    // points for interpolation, and Euclid over it builds remainder
    // sequences whose coefficients grow without end in the other
    // variables: the gcd is taken in an extension field holding the tower.
    if (*st->test_only || field_depth <= 0 || !modularmode || !mod_is_prime || modulus >= 1024) return false;
    pt* vars = *st->vars;
    if (vars->level + 2 > field_depth) return false;   // one variable: Euclid is fine
    PolyHold a;
    if (!small_field_gcd(*st->u, *st->v, &a.p, vars)) return false;
    // The power of x taken out of the other operand when one is a single
    // term is not in the working operands.
    polynode* core = monomial_core(st);
    mult_into(&core, a.p, vars);
    free_poly(st->g);
    *st->g = core;
    finish_4(st);
    return true;
}

}  // namespace gcd_impl
