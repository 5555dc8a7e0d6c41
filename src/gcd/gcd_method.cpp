// The second half of the gcd driver: the content split over other levels
// and the choice of the method for the primitive problem. A dispatcher: in
// order, trial division, the field Euclid, trial division mod p, and last
// Algorithm C, which always answers. The level surveys used by the choice
// and by the coprimality tests are here too.
#include <cstdint>
#include <utility>

#include "gcd/algc.h"
#include "gcd/coprime_tests.h"
#include "gcd/exactdiv.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_special.h"
#include "gcd/gcd_state.h"
#include "gcd/interp_gcd.h"
#include "gcd/modgcd.h"
#include "gcd/polygcd.h"
#include "gcd/small_field_gcd.h"
#include "gcd/trialdiv.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/levels.h"
#include "poly/masses.h"
#include "poly/measures.h"
#include "poly/method_tests.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"

using namespace gcd_impl;

namespace {

// The working v divides the working u: v is the gcd.
void answer_with_v(gcd_state* st) {
    polynode* ans = nullptr;
    if (st->owns_v) {
        std::swap(ans, *st->v);
        st->owns_v = 0;
    } else {
        poly_assign(*st->v, &ans);
    }
    free_poly(st->g);
    *st->g = ans;
    finish_4(st);
}

bool v_divides_u(gcd_state* st, pt* vars, int modular) {
    return trial_poly_divide_noq(*st->u, *st->v, vars, modular, 0, 0) == 1;
}


// Divides the working operand `which` by its partial content c (in the
// operand's own level structure), on the driver's own copy.
void divide_out(gcd_state* st, int which, polynode* c, int32_t code) {
    gcd_own_operand(st, which);
    polynode** w = which == 1 ? st->u : st->v;
    if (is_number(c))
        num_poly_quot(*w, c->ncoef, 0);
    else if (field_depth > 0 && !lintmode)
        special_div_2(w, &c, *st->vars);
    else
        fast_poly_divide(w, c, *st->vars, code);
}

int32_t max32(int32_t a, int32_t b) { return a > b ? a : b; }

// The early division through primes with field operands only while few
// levels lie above the field: each level there multiplies the work.
constexpr int32_t FEW_LEVELS_ABOVE_FIELD = 4;
// Beyond this many digits the division through primes costs more than it
// is likely to save.
constexpr int32_t TRIAL_DIGITS_LIMIT = 35;

// Ends the call from inside the level loop when an operand lost the main
// variable: the rest of the gcd is a content computation one level down.
void finish_without_main_variable(gcd_state* st) {
    pt* vars = *st->vars;
    polynode* u = *st->u;
    polynode* v = *st->v;
    if (st->content_gcd) {
        pad_unless_number(&st->content_gcd);
        if (st->level_factor) {
            mult_into(&st->level_factor, st->content_gcd, vars);
            free_poly(&st->content_gcd);
        } else {
            std::swap(st->level_factor, st->content_gcd);
        }
    }
    polynode* ans = nullptr;
    if (top_degree(u) == 0 && top_degree(v) == 0) {
        int32_t k = 0;
        pt* inner = vars;
        while (!u->numb && !v->numb && u->exp < 1 && v->exp < 1) {
            u = u->pcoef;
            v = v->pcoef;
            inner = inner->next;
            k++;
        }
        polygcd(u, v, &ans, *st->test_only, st->allow_tests, 0, inner, 1, 1, 0);
        if (!is_number(ans)) add_pad(&ans, k);
    } else {
        if (top_degree(u) == 0)
            aux_content(u, v, &ans, vars, 0, st->allow_split, 1, 1);
        else
            aux_content(v, u, &ans, vars, 0, st->allow_split, 1, 1);
        pad_unless_number(&ans);
    }
    free_poly(st->g);
    *st->g = ans;
    finish_4(st);
}

// The content split over the levels below the main variable: every partial
// content taken out of u and v here is a smaller problem, and their gcd
// goes into level_factor. Returns true when the call has ended.
bool split_contents(gcd_state* st) {
    pt* vars = *st->vars;
    int32_t level = vars->level;
    polynode** u = st->u;
    polynode** v = st->v;
    if (!(poly_nodes(*u) >= 4 && poly_nodes(*v) >= 4 && (poly_nodes(*u) > 40 || poly_nodes(*v) > 40))) {
        st->allow_split = 0;
        return false;
    }
    assign_levels(st);
    int32_t lo = 2, hi = 0;
    poly_level_depth(st->depth_u, st->depth_v, bigg_node_total(*u) + bigg_node_total(*v), &lo, &hi);
    if (field_depth > 0 && hi > field_depth - level) hi = field_depth - level;
    int64_t sum = 0;
    int32_t nodes = expon_node_total(*u, level, 1, &sum);
    int64_t avg = nodes > 0 ? sum / nodes : 0;
    int32_t cut = g_cutoff;
    if (avg > 6000 && avg <= 20000) cut = max32(50, g_cutoff);
    if (avg > 20000) cut = max32(100, g_cutoff);
    int32_t total = 0;
    for (int32_t L = lo; L <= hi; L++) {
        g_cutoff = cut;
        int flag_u = 0, flag_v = 0;
        int32_t t1 = 0, t2 = 0;
        polynode* cu = nullptr;
        polynode* cv = nullptr;
        polynode* h = nullptr;
        general_content(*u, L, &cu, vars, &flag_u, bigg_node_total(*u) > 13000);
        if (top_degree(cu) > 0) st->changed = 1;
        if (!poly_eq_1(cu)) divide_out(st, 1, cu, 11);
        g_cntcount += 1;
        t1 = fast_numterms(cu) - 1;
        if (t1 < 12) {
            general_content(*v, L, &cv, vars, &flag_v, bigg_node_total(*v) > 13000);
            if (top_degree(cv) > 0) st->changed = 1;
            if (!poly_eq_1(cv)) divide_out(st, 2, cv, 13);
            g_cntcount += 1;
            t2 = fast_numterms(cv) - 1;
            // An operand free of the variable stands for its own part.
            if (!flag_u && !flag_v)
                polygcd(cu, cv, &h, 0, 1, 0, vars, 0, 0, 0);
            else if (!flag_u)
                polygcd(cu, *v, &h, 0, 1, 0, vars, 0, 1, 0);
            else if (!flag_v)
                polygcd(*u, cv, &h, 0, 1, 0, vars, 1, 0, 0);
            else
                h = one_node();
            if (!flag_u && !flag_v)
                cut = max32(t1 + t2, g_cutoff);
            else if (!flag_u)
                cut = max32(fast_numterms(*v) + t1, g_cutoff);
            else if (!flag_v)
                cut = max32(fast_numterms(*u) + t2, g_cutoff);
            else
                cut = max32(fast_numterms(*u) + fast_numterms(*v), g_cutoff);
        } else {
            polygcd(cu, *v, &h, 0, 1, 0, vars, 0, 1, 0);
            t2 = fast_numterms(h) - 1;
            if (!poly_eq_1(h)) divide_out(st, 2, h, 15);
            cut = max32(t1 + t2, g_cutoff);
        }
        free_poly(&cu);
        free_poly(&cv);
        total += t1 + t2;
        if (total / (L - lo + 1) > 3 * g_cutoff) g_cutoff = 3 * g_cutoff + 2;
        if (top_degree(h) > 0) st->changed = 1;
        if (poly_eq_1(h)) {
            free_poly(&h);
        } else if (st->level_factor) {
            mult_into(&st->level_factor, h, vars);
            free_poly(&h);
        } else {
            st->level_factor = h;
        }

        if (is_number(*u) || is_number(*v)) {
            gcd_release_operand(st, 1);
            gcd_release_operand(st, 2);
            free_poly(st->g);
            *st->g = one_node();
            finish_4(st);
            return true;
        }
        if (top_degree(*u) == 0 || top_degree(*v) == 0) {
            finish_without_main_variable(st);
            return true;
        }
        if (single_term(*u) || single_term(*v)) {
            polynode* core = monomial_core(st);
            free_poly(st->g);
            *st->g = core;
            finish_4(st);
            return true;
        }
        if (g_cntcount >= g_cutoff) break;
        int32_t a = big_node_total(*u), b = big_node_total(*v);
        int32_t small = a < b ? a : b, large = a < b ? b : a;
        int32_t limit = (small + large < 501 || large <= 8 * small) ? 18 : 30;
        if (total >= limit) break;
    }
    if (st->allow_split && top_degree(*u) < top_degree(*v)) {
        std::swap(*st->u, *st->v);
        std::swap(st->owns_u, st->owns_v);
        std::swap(st->shift_u, st->shift_v);
        std::swap(st->saved_u, st->saved_v);
        std::swap(st->keep_u, st->keep_v);
        st->depth_u = st->depth_v = -1;
    }
    return false;
}

}  // namespace

namespace gcd_impl {

void choose_method(gcd_state* st) {
    if (st->allow_split && split_contents(st)) return;
    pt* vars = *st->vars;
    polynode* u = *st->u;
    polynode* v = *st->v;
    int32_t n = big_node_total(u) + big_node_total(v);
    int32_t deg_v = top_degree(v);
    assign_levels(st);

    if (!lintmode && field_depth == 0) {
        if ((deg_v == 1 || n > trial_cutoff) && v_divides_u(st, vars, 0)) {
            answer_with_v(st);
            return;
        }
    }
    if (!lintmode && field_depth > 0 && number_polys - field_depth < FEW_LEVELS_ABOVE_FIELD) {
        if ((deg_v == 1 || n > trial_cutoff) && max_digits(u) < TRIAL_DIGITS_LIMIT) {
            // Over the field v divides u when an associate of v does, but the
            // exact confirmation over the integers sees only v itself: a
            // unit whose inverse has an integer denominator would hide the
            // divisor. So the test runs on copies made monic in the field
            // and primitive; the later methods keep the operands as given.
            PolyHold mu, mv;
            poly_assign(u, &mu.p);
            poly_assign(v, &mv.p);
            field_monic(&mu.p, vars);
            field_monic(&mv.p, vars);
            int decided = 0, divides = 0;
            mod_trial_poly_divide(mu.p, mv.p, 0, &decided, &divides, vars);
            if (decided && divides) {
                free_poly(st->g);
                *st->g = mv.release();
                finish_4(st);
                return;
            }
        }
    }
    bool modular_tried = false;
    if (modular_method_step(st, &modular_tried)) return;
    if (gcd_fast_test_loop(st, n, st->changed)) return;
    if (stash_lookup_step(st)) return;
    if (!modular_tried && late_modular_method(st)) return;
    if (!lintmode && field_depth > 0 && all_coefs_invrtble_both(u, v, vars->level)) {
        polynode* a = nullptr;
        field_coef_gcd(u, v, &a, vars);
        polynode* c = integer_content(a);
        if (!is_number(a) && !poly_eq_1(c)) divide_by_content(&a, c, vars, 0);
        free_poly(&c);
        free_poly(st->g);
        *st->g = a;
        finish_4(st);
        return;
    }
    if (modularmode && mod_is_prime) {
        bool lc_poly = !v->numb && !is_number(v->pcoef);
        if ((deg_v == 1 || (n > trial_cutoff && (lc_poly || st->test_levels > 2))) && v_divides_u(st, vars, 1)) {
            answer_with_v(st);
            return;
        }
        // A prime too small to give the points that interpolation needs
        // takes them from an extension field; Algorithm C would build
        // remainder sequences whose coefficients grow without end.
        if (st->test_levels > 1 && chinhensel) {
            polynode* a = nullptr;
            if (small_field_gcd(*st->u, *st->v, &a, vars)) {
                free_poly(st->g);
                *st->g = a;
                finish_4(st);
                return;
            }
        }
        if (st->test_levels > 1 && chinhensel && !prefer_alg_c(*st->u, *st->v, vars->level) &&
            mod_do_Chinese(*st->u, *st->v, st->degree_bound)) {
            polynode* a = nullptr;
            if (mod_multivar_Chinese(*st->u, *st->v, &a, st->degree_bound, vars)) {
                free_poly(st->g);
                *st->g = a;
                finish_4(st);
                return;
            }
        }
    }
    algorithm_c(st, st->allow_tests, st->allow_split);
}

}  // namespace gcd_impl

void assign_levels(gcd_state* st) {
    int32_t level = (*st->vars)->level;
    if (st->depth_u == -1) st->depth_u = static_cast<int16_t>(quick_depth_below(*st->u, level));
    if (st->depth_v == -1) st->depth_v = static_cast<int16_t>(quick_depth_below(*st->v, level));
    if (field_depth < 1) {
        st->limited_depth_u = st->depth_u;
        st->limited_depth_v = st->depth_v;
    } else {
        int32_t cap = field_depth - level;
        st->limited_depth_u = static_cast<int16_t>(st->depth_u < cap ? st->depth_u : cap);
        st->limited_depth_v = static_cast<int16_t>(st->depth_v < cap ? st->depth_v : cap);
    }
    st->level_count = st->limited_depth_u > st->limited_depth_v ? st->limited_depth_u : st->limited_depth_v;
    st->test_levels = st->depth_u > st->depth_v ? st->depth_u : st->depth_v;
    st->unlimited = st->limited_depth_u == st->depth_u && st->limited_depth_v == st->depth_v;
}

void scan_poly(polynode* p, int which, int32_t level, level_survey* survey) {
    if (level > survey->limit || level >= 150) return;
    if (survey->deepest[which] < level) survey->deepest[which] = static_cast<int16_t>(level);
    if (!p->numb && p->exp > 0) survey->flag[which][level] = 1;
    for (polynode* t = p; t; t = t->next)
        if (!t->numb && !t->pcoef->numb) scan_poly(t->pcoef, which, level + 1, survey);
}
