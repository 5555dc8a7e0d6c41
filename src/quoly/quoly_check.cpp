// Cancellation of a known common factor (reduce), with the repair of a
// wrong probabilistic gcd, and the normalisation of quolys whose parts were
// assembled by other code (check_quoly).
//
// The fast gcd methods accept a candidate after tests at random points; an
// exact division that then fails proves the candidate wrong. reduce
// switches the shortcuts off one at a time (they stay off until the user
// sets &_t again), recomputes the gcd and tries once more.
#include <cstdint>
#include <cstdio>

#include "gcd/exactdiv.h"
#include "gcd/nonfield_gcd.h"
#include "gcd/polygcd.h"
#include "gcd/trialdiv.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyvars.h"
#include "quoly/field_convert.h"
#include "numbers/residue.h"
#include "quoly/field_reduce.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace quoly_detail;

namespace {

// A gcd that keeps failing to divide is a fault of the gcd code, not bad
// luck of its random points: after this many recomputations reduce gives up
// with an internal error instead of looping for ever.
constexpr int MAX_GCD_RETRIES = 40;

// Over a relation that makes no field a common factor whose leading
// coefficient is no unit there need not divide out by any division the
// code has: no recomputed gcd mends that, so after the switch ladder the
// statement is refused, naming the relation as the cause.
constexpr int MAX_NON_FIELD_RETRIES = 3;
constexpr int NOT_A_FIELD = 271;

// *q := u / g, exactly (exact) or as a division that may fail. Returns
// false when g does not divide u. With exact set in Laurent mode u's
// negative exponents are shifted away for the division; restore_u says
// whether u gets them back.
bool divide_by(polynode** u, polynode** g, polynode** q, int exact, int restore_u) {
    int fail = 0;
    if (exact && laurent) {
        clear_and_operate(u, g, q, nullptr, nullptr, restore_u, 1, polynames, &fail);
    } else if (exact) {
        gen_poly_divide(*u, *g, q, polynames, &fail);
    } else if (laurent && anynegs(*u)) {
        // The trial division knows no negative exponents: shift them away
        // around an exact division, and give them back to u.
        clear_and_operate(u, g, q, nullptr, nullptr, 1, 1, polynames, &fail);
    } else {
        fail = !trial_poly_divide(*u, *g, q, polynames, 1, 0, 0);
    }
    alg_c_count = 0;
    original_depth = 1;
    return !fail;
}

void say(const char* text) {
    if (verbose) std::fputs(text, stdout);
}

// The gcd recomputed after a failed division: the slow, sure methods once
// the switches are off.
void recompute(polynode** u, polynode** v, polynode** g) {
    alg_c_count = 0;
    original_depth = 1;
    polynode* fresh = nullptr;
    AnyCommonFactor fraction;
    polygcd(*u, *v, &fresh, 0, 1, 1, polynames, 1, 1, 1);
    free_poly(g);
    *g = fresh;
}

void reduce_retry(polynode** u, polynode** v, polynode** g, polynode** u_out, polynode** v_out, int exact_u,
                  int exact_v, int opt_u, int opt_v, int depth);

// One failed division (of u when first, else of v): the switch ladder.
void after_failure(bool first, polynode** u, polynode** v, polynode** g, polynode** u_out, polynode** v_out,
                   int exact_u, int exact_v, int opt_u, int opt_v, int depth) {
    if (modout_above_field && depth >= MAX_NON_FIELD_RETRIES) {
        error(NOT_A_FIELD, token.name);
        abandon_statement(NOT_A_FIELD);
    }
    if (depth >= MAX_GCD_RETRIES) {
        // Modulo a composite number polynomials have no gcd in general: the
        // fraction has no normal form, as when an inverse is missing.
        if (modularmode && !mod_is_prime && !finf) refuse_without_inverse();
        tarvex_error("gcd keeps failing to divide. reduce.", 1);
        return;
    }
    if (try_rat && !exact_u && !exact_v) {
        try_rat = 0;
        say(first ? " Warning 1. A fast probabilistic test for exact poly division has been turned off (&_t).\n"
                  : " Warning 2. A fast probabilistic test for exact poly division has been turned off (&_t).\n");
        recompute(u, v, g);
        reduce_retry(u, v, g, u_out, v_out, 0, 0, opt_u, opt_v, depth + 1);
        return;
    }
    if (!exact_u && rat_yes && !exact_v) {
        rat_yes = 0;
        say(first ? " Warning 3. Another fast probabilistic test for exact poly division has been turned off.\n"
                  : " Warning 4. Another fast probabilistic test for exact poly division has been turned off.\n");
        recompute(u, v, g);
        reduce_retry(u, v, g, u_out, v_out, exact_u, exact_v, opt_u, opt_v, depth + 1);
        return;
    }
    say(first ? " *** Warning 5. A  fast probabilistic gcd algorithm is being retried.\n"
              : " *** Warning 6. A  fast probabilistic gcd algorithm is being retried.\n");
    recompute(u, v, g);
    reduce_retry(u, v, g, u_out, v_out, exact_u, exact_v, opt_u, opt_v, depth + 1);
}

void reduce_retry(polynode** u, polynode** v, polynode** g, polynode** u_out, polynode** v_out, int exact_u,
                  int exact_v, int opt_u, int opt_v, int depth) {
    polynode* nu = nullptr;
    polynode* nv = nullptr;
    if (modout_above_field && nonfield_cancel(*u, *v, *g, &nu, &nv)) {
        // Over a relation that makes no field the common factor divides
        // modulo the relation, which the plain divisions do not see.
        nonfield_shared_unit(&nu, &nv);
        nonfield_fewest_terms(&nu, &nv);
        free_poly(u_out);
        *u_out = nu;
        free_poly(v_out);
        *v_out = nv;
        return;
    }
    if (field_depth > 0 && !lintmode) {
        // Field-element leading coefficients need the pseudo-division form;
        // it has no retries: a gcd that does not divide is an internal fault.
        field_cancel_fraction(u, v, g, u_out, v_out, exact_u, exact_v);
        return;
    }
    PolyHold q1, q2;
    if ((*g)->numb) {
        // A recomputed gcd may be a number: the common factor was none, and
        // there is no polynomial to divide by.
        poly_assign(*u, &q1.p);
        poly_assign(*v, &q2.p);
        if (!poly_eq_1(*g) && !node_iszero(*g)) {
            num_poly_quot(q1.p, (*g)->ncoef, 0);
            num_poly_quot(q2.p, (*g)->ncoef, 0);
        }
        free_poly(u_out);
        *u_out = q1.release();
        free_poly(v_out);
        *v_out = q2.release();
        return;
    }
    if (!divide_by(u, g, &q1.p, exact_u, opt_u)) {
        q1.reset();
        after_failure(true, u, v, g, u_out, v_out, exact_u, exact_v, opt_u, opt_v, depth);
        return;
    }
    if (!divide_by(v, g, &q2.p, exact_v, opt_v)) {
        q1.reset();
        q2.reset();
        after_failure(false, u, v, g, u_out, v_out, exact_u, exact_v, opt_u, opt_v, depth);
        return;
    }
    // Both quotients exist: only now may the outputs (possibly u and v
    // themselves) be replaced.
    free_poly(u_out);
    *u_out = q1.release();
    free_poly(v_out);
    *v_out = q2.release();
}

}  // namespace

void reduce(polynode** u, polynode** v, polynode** g, polynode** u_out, polynode** v_out, int exact_u,
            int exact_v, int opt_u, int opt_v) {
    reduce_retry(u, v, g, u_out, v_out, exact_u, exact_v, opt_u, opt_v, 0);
}

void check_quoly(quoly** slot, int flag) {
    quoly* q = *slot;
    if (node_iszero(q->pnum)) {
        quoly_set(0, slot);
        return;
    }
    if (field_depth > 0 && !q->den->numb && poly_depth(q->den) >= field_depth) {
        quoly_mod_convert(q);
        return;
    }
    if (lintmode) {
        lint_check_quoly(slot, flag);
        return;
    }
    if (lone_number(q->den)) {
        int m1 = 0;
        if (!equal_to_pm1(q->den->ncoef, &m1)) sanitize(q);
        normal_form(q, flag);
        return;
    }
    PolyHold g(gcd_of(&q->pnum, &q->den, flag));
    if (!g.p->numb) {
        reduce(&q->pnum, &q->den, &g.p, &q->pnum, &q->den, laurent, flag, 0, 0);
    } else if (!poly_eq_1(g.p) && !iszero(g.p->ncoef)) {
        num_poly_quot(q->pnum, g.p->ncoef, 0);
        num_poly_quot(q->den, g.p->ncoef, 0);
    }
    // Whatever integer content the gcd left in both parts goes too.
    sanitize(q);
    if (field_depth > 0 && !q->den->numb && poly_depth(q->den) >= field_depth) {
        quoly_mod_convert(q);
        return;
    }
    normal_form(q, flag);
}

void lint_check_quoly(quoly** slot, int flag) {
    quoly* q = *slot;
    if (!lone_number(q->den)) {
        PolyHold g(gcd_of(&q->pnum, &q->den, flag));
        // A number gcd is a unit here.
        if (!g.p->numb) reduce(&q->pnum, &q->den, &g.p, &q->pnum, &q->den, laurent, flag, 0, 0);
        if (!lone_number(q->den)) {
            if (field_depth > 0 && !q->den->numb && poly_depth(q->den) >= field_depth) {
                quoly_mod_convert(q);
                return;
            }
            lint_normal_form(q, flag);
            return;
        }
    }
    num_poly_quot(q->pnum, q->den->ncoef, 0);   // times the inverse in modular mode
    free_poly(&q->den);
    settle(slot);
}
