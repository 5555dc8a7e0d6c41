// The gcd driver: the cheap cases (numbers, equal operands, one variable mod
// p, the main variable absent), then the common power and exponent stride
// of the main variable, early trial division and the contents w.r.t. the
// main variable; the primitive problem goes on to the method choice.
#include "gcd/polygcd.h"

#include <utility>

#include "gcd/coprime_tests.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_eliminate.h"
#include "gcd/exactdiv.h"
#include "gcd/gcd_state.h"
#include "gcd/modgcd.h"
#include "gcd/nonfield_gcd.h"
#include "gcd/onevar_gcd.h"
#include "gcd/split_field_gcd.h"
#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/laurent.h"
#include "poly/measures.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"

int32_t cntcount_limit = 1200000;
int32_t c_cntdepth = 0;
int32_t a_cntdepth = 0;
int32_t d_cntdepth = 0;
int16_t trial_cutoff = 25;
int32_t rat_yes = 1;

using namespace gcd_impl;

namespace {

void reset_level_counts(int allow_split, int reset_counts) {
    c_cntcount = c_cntdepth = a_cntcount = d_cntcount = 0;
    if (allow_split && reset_counts) {
        g_cntcount = 0;
        g_cutoff = 30;
    }
}

// g := the gcd of a number with anything: numbers combine by the integer
// gcd, a number with a polynomial by the polynomial's integer content.
// The zero number is the identity of the gcd, not the integer 0 of the
// content, so gcd(0, p) is p itself, normalised.
void number_gcd(polynode* u, polynode* v, polynode** g, int test_only, pt* vars) {
    if (is_number(u) && is_number(v)) {
        imag* c = new_number();
        if (iszero(u->ncoef) && iszero(v->ncoef))
            setvalue(0, c);
        else if (lintmode)
            setvalue(1, c);
        else
            binary_gcd(u->ncoef, v->ncoef, c);
        free_poly(g);
        *g = new_number_node(c);
        return;
    }
    if (!is_number(u)) std::swap(u, v);
    if (iszero(u->ncoef)) {
        polynode* r = nullptr;
        poly_assign(v, &r);
        if (!test_only) {
            if (modularmode && mod_is_prime) {
                polynode* lc = nullptr;
                monic_poly(&r, &lc, vars);
                free_poly(&lc);
            } else if (!lintmode) {
                make_positive(r);
            }
        }
        free_poly(g);
        *g = r;
        return;
    }
    polynode* c = integer_content(v);
    polygcd(u, c, g, test_only, 1, 0, vars, 1, 1, 0);
    free_poly(&c);
}

// Descends the exponent-0 levels both operands share; returns the number of
// levels left.
int32_t descend_shared_levels(polynode** u, polynode** v, pt** vars, int allow_split, int reset_counts) {
    int32_t k = 0;
    while (!(*u)->numb && !(*v)->numb && (*u)->exp < 1 && (*v)->exp < 1) {
        if ((*vars)->level == original_depth) {
            c_cntcount = c_cntdepth = a_cntcount = d_cntcount = 0;
            if (allow_split && reset_counts) {
                original_depth += 1;
                g_cntcount = 0;
                g_cutoff = 30;
            }
        }
        *u = (*u)->pcoef;
        *v = (*v)->pcoef;
        *vars = (*vars)->next;
        k++;
    }
    return k;
}

int32_t last_top_exp(const polynode* p) {
    while (p->next) p = p->next;
    return top_degree(p);
}

// The gcd of the differences between consecutive top exponents, stopping at 1.
int32_t exponent_stride(const polynode* u, const polynode* v) {
    int32_t s = 0;
    for (const polynode* p : {u, v}) {
        for (const polynode* t = p; t->next; t = t->next) {
            s = smallgcd(s, top_degree(t) - top_degree(t->next));
            if (s == 1) return 1;
        }
    }
    return s < 1 ? 1 : s;
}

// Undoes whatever the operands still carry and frees the state's partial
// results when the call unwinds (an error, an exception of a method).
struct StateGuard {
    gcd_state* st;
    explicit StateGuard(gcd_state* s) : st(s) {}
    ~StateGuard() {
        gcd_release_operand(st, 1);
        gcd_release_operand(st, 2);
        free_poly(&st->content_gcd);
        free_poly(&st->level_factor);
        free_poly(&st->x_power);
        free_poly(&st->answer);
        free_poly(&st->scratch1);
        free_poly(&st->scratch2);
        free_poly(&st->scratch3);
        if (st->sign_u) free_imag(&st->sign_u);
        if (st->sign_v) free_imag(&st->sign_v);
    }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;
};

// Steps 11 on: the working state is set up around the caller's operands.
void primitive_part_gcd(polynode* u, polynode* v, polynode** g, int test_only, int allow_tests,
                        int allow_split, pt* vars, int keep_u, int keep_v) {
    polynode* wu = u;
    polynode* wv = v;
    gcd_state st{};
    st.test_only = &test_only;
    st.vars = &vars;
    st.u = &wu;
    st.v = &wv;
    st.g = g;
    st.stride = 1;
    st.depth_u = st.depth_v = -1;
    st.keep_u = keep_u;
    st.keep_v = keep_v;
    st.allow_tests = allow_tests;
    st.allow_split = allow_split;
    st.degree_bound = 1;
    StateGuard guard(&st);

    // Common power of x.
    st.shift_u = wu->next ? last_top_exp(wu) : 0;
    st.shift_v = wv->next ? last_top_exp(wv) : 0;
    if (st.shift_u > 0) sub_expons(wu, &st.saved_u, st.shift_u);
    if (st.shift_v > 0) sub_expons(wv, &st.saved_v, st.shift_v);
    if (st.shift_u > 0 && st.shift_v > 0) {
        st.x_power = x_to(st.shift_u < st.shift_v ? st.shift_u : st.shift_v);
        if (test_only) {
            gcd_release_operand(&st, 1);
            gcd_release_operand(&st, 2);
            free_poly(g);
            *g = st.x_power;
            st.x_power = nullptr;
            return;
        }
    }

    // Exponent stride: x^s may stand for x when every exponent is a
    // multiple of s; mod p the one-variable images then stay small.
    if (modularmode && wu->next && wv->next) {
        st.stride = exponent_stride(wu, wv);
        if (st.stride > 1) {
            divide_top_exps(wu, st.stride);
            divide_top_exps(wv, st.stride);
        }
    }

    if (top_degree(wu) < top_degree(wv)) {
        std::swap(wu, wv);
        std::swap(st.shift_u, st.shift_v);
        std::swap(st.saved_u, st.saved_v);
        std::swap(st.keep_u, st.keep_v);
    }

    // Early trial division: a small v dividing a larger u is the gcd.
    int32_t nu = big_node_total(wu);
    int32_t nv = big_node_total(wv);
    if (field_depth == 0 && nv < 50 && nu > 20) {
        int try_it = 1;
        imag* q = nullptr;
        if (!lintmode) {
            polynode* cv = integer_content(wv);
            int m1 = 0;
            if (!equal_to_pm1(cv->ncoef, &m1)) {
                polynode* cu = integer_content(wu);
                q = new_number();
                imag* r = new_number();
                divide(cu->ncoef, cv->ncoef, q, r);
                try_it = iszero(r);
                free_imag(&r);
                free_poly(&cu);
                if (!try_it || !rat_yes || equal_to_pm1(q, &m1)) free_imag(&q);
            }
            free_poly(&cv);
        }
        if (try_it) {
            if (q) mult_num(wv, q);
            int ok = trial_poly_divide_noq(wu, wv, vars, 1, (!lintmode && rat_yes) ? 1 : 0, 0);
            if (q) num_poly_quot(wv, q, 0);
            if (ok) {
                if (q) free_imag(&q);
                polynode* ans = nullptr;
                poly_assign(wv, &ans);
                gcd_release_operand(&st, 1);
                gcd_release_operand(&st, 2);
                if (!lintmode) make_positive(ans);
                if (st.stride > 1) multiply_top_exps(ans, st.stride);
                mult_into(&ans, st.x_power, vars);
                free_poly(g);
                *g = ans;
                if (lintmode) {
                    polynode* f = nullptr;
                    correct_monic_form(g, &f, &st);
                }
                return;
            }
        }
        if (q) free_imag(&q);
    }

    // Contents may be split over other levels only in problems big enough to
    // pay for the extra gcds, and only while the statement's budget lasts.
    int32_t n = nu + nv;
    if (modularmode && n > 2000 && c_cntcount < cntcount_limit) st.allow_split = 1;
    if (st.allow_split) {
        if ((c_cntcount == 0 || vars->level == c_cntdepth) && depth_only_2(wu)) st.allow_split = 0;
        if (g_cntcount > g_cutoff) st.allow_split = 0;
    }

    if (gcd_impl::flat_first_step(&st)) return;
    // Coprimality tests: the gcd modulo a prime over the integers, images
    // at random points in modular arithmetic.
    if (gcd_modular_pretest(&st, n)) return;
    if (small_field_tower_step(&st)) return;
    if (field_coefficient_step(&st)) return;
    if (gcd_fast_pretests(&st)) return;
    if (eliminate_single_vars(&st, n)) return;

    // Contents w.r.t. x.
    polynode* cu = nullptr;
    polynode* cv = nullptr;
    content(wu, &cu, vars, 0, st.allow_split, 1);
    if (vars->level == original_depth) c_cntcount = c_cntdepth = 0;
    content(wv, &cv, vars, 0, st.allow_split, 1);
    if (!single_term(wu) && !single_term(wv)) {
        if (!poly_eq_1(cu)) {
            gcd_own_operand(&st, 1);
            divide_by_content(st.u, cu, vars, 21);
            if (!is_number(cu)) st.depth_u = -1;
        }
        if (!poly_eq_1(cv)) {
            gcd_own_operand(&st, 2);
            divide_by_content(st.v, cv, vars, 23);
            if (!is_number(cv)) st.depth_v = -1;
        }
    }
    polygcd(cu, cv, &st.content_gcd, 0, 1, st.allow_split, vars->next, 0, 0, 1);
    free_poly(&cu);
    free_poly(&cv);

    // A single term after the contents: the gcd is the common power of x
    // times the content gcd.
    if (single_term(*st.u) || single_term(*st.v)) {
        polynode* one = single_term(*st.u) ? *st.u : *st.v;
        polynode* other = one == *st.u ? *st.v : *st.u;
        int32_t other_shift = one == *st.u ? st.shift_v : st.shift_u;
        int32_t m = other_shift + last_top_exp(other);
        if (top_degree(one) < m) m = top_degree(one);
        polynode* core = m > 0 ? x_to(m) : one_node();
        free_poly(g);
        *g = core;
        finish_4(&st);
        return;
    }

    if (essentially_equal(*st.u, *st.v)) {
        polynode* ans = nullptr;
        if (test_only)
            ans = x_to(top_degree(*st.u));
        else
            poly_assign(*st.u, &ans);
        if (!lintmode) make_positive(ans);
        free_poly(g);
        *g = ans;
        finish_4(&st);
        return;
    }

    choose_method(&st);
}

}  // namespace

// ---------------------------------------------------------------- the working operands

namespace {

// Puts the caller's operand back: stride, then shift and saved node. The
// shift stays recorded in the state, since the answer still needs it.
void restore_callers(gcd_state* st, polynode* w, int which) {
    int32_t shift = which == 1 ? st->shift_u : st->shift_v;
    polynode*& saved = which == 1 ? st->saved_u : st->saved_v;
    if (st->stride > 1) multiply_top_exps(w, st->stride);
    if (shift > 0) restore_exps(w, saved, shift);
    saved = nullptr;
}

}  // namespace

void gcd_own_operand(gcd_state* st, int which) {
    int& owns = which == 1 ? st->owns_u : st->owns_v;
    polynode** w = which == 1 ? st->u : st->v;
    if (owns || !*w) return;
    polynode* copy = nullptr;
    poly_assign(*w, &copy);
    restore_callers(st, *w, which);
    *w = copy;
    owns = 1;
}

void gcd_release_operand(gcd_state* st, int which) {
    polynode** w = which == 1 ? st->u : st->v;
    int& owns = which == 1 ? st->owns_u : st->owns_v;
    if (!*w) return;
    if (owns)
        free_poly(w);
    else
        restore_callers(st, *w, which);
    owns = 0;
    *w = nullptr;
}

// ---------------------------------------------------------------- the driver

void polygcd(polynode* u, polynode* v, polynode** g, int test_only, int allow_tests, int allow_split,
             pt* vars, int keep_u, int keep_v, int reset_counts) {
    if (is_number(u) || is_number(v)) {
        int m1 = 0;
        if (is_number(u) && !is_number(v) && !iszero(u->ncoef) && equal_to_pm1(u->ncoef, &m1) && !m1) {
            free_poly(g);
            *g = one_node();
            return;
        }
        if (is_number(v) && !is_number(u) && !iszero(v->ncoef) && equal_to_pm1(v->ncoef, &m1) && !m1) {
            free_poly(g);
            *g = one_node();
            return;
        }
        number_gcd(u, v, g, test_only, vars);
        return;
    }
    if (!vars) {
        tarvex_error("pt nil in polygcd.", 1);
        return;
    }
    if (c_cntcount > cntcount_limit) allow_split = 0;

    // Over a relation that makes no field, or modulo a composite number,
    // the plain gcd proves nothing.
    if ((modout_above_field || (modularmode && !mod_is_prime && !finf)) && nonfield_gcd(u, v, g, vars)) return;

    // Field elements: only the integer contents have a gcd.
    if (field_depth > 0) {
        int32_t du = poly_depth(u), dv = poly_depth(v);
        int32_t outer = du < dv ? du : dv;
        if (vars->level + outer - 1 >= field_depth) {
            if (lintmode) {
                free_poly(g);
                *g = one_node();
            } else {
                polynode* cu = integer_content(u);
                polynode* cv = integer_content(v);
                polygcd(cv, cu, g, test_only, 1, 0, vars, 0, 0, 0);
                free_poly(&cu);
                free_poly(&cv);
            }
            return;
        }
    }

    if (u == v) {
        polynode* r = nullptr;
        poly_assign(u, &r);
        if (!lintmode && !test_only) make_positive(r);
        free_poly(g);
        *g = r;
        gcd_state st{};
        st.test_only = &test_only;
        st.vars = &vars;
        st.g = g;
        st.stride = 1;
        polynode* f = nullptr;
        correct_monic_form(g, &f, &st);
        return;
    }

    // Before any shortcut: a zero-divisor coefficient makes an operand
    // look different in each copy of a split field.
    if (split_field_gcd(u, v, g, allow_tests, allow_split, vars)) return;

    if (modularmode && mod_is_prime && number_polys == 1) {
        basic_poly_gcd(u, v, g, 1, vars);
        return;
    }

    // The main variable absent from one or both operands.
    if (top_degree(u) == 0 || top_degree(v) == 0) {
        if (top_degree(u) == 0 && top_degree(v) == 0) {
            pt* inner = vars;
            polynode* iu = u;
            polynode* iv = v;
            int32_t k = descend_shared_levels(&iu, &iv, &inner, allow_split, reset_counts);
            polynode* t = nullptr;
            polygcd(iu, iv, &t, test_only, allow_tests, allow_split, inner, keep_u, keep_v, 1);
            if (!is_number(t)) add_pad(&t, k);
            free_poly(g);
            *g = t;
            return;
        }
        polynode* t = nullptr;
        if (top_degree(u) == 0)
            aux_content(u, v, &t, vars, 0, allow_split, keep_u, keep_v);
        else
            aux_content(v, u, &t, vars, 0, allow_split, keep_v, keep_u);
        pad_unless_number(&t);
        free_poly(g);
        *g = t;
        return;
    }

    if (modularmode && mod_is_prime && height_is_1(u) && height_is_1(v)) {
        basic_poly_gcd(u, v, g, 1, vars);
        return;
    }

    if (allow_split && vars->level < original_depth) original_depth = vars->level;
    if (vars->level <= original_depth) reset_level_counts(allow_split, reset_counts);

    primitive_part_gcd(u, v, g, test_only, allow_tests, allow_split, vars, keep_u, keep_v);
}

void Lpolygcd(polynode** u, polynode** v, polynode** g, int strip_v, pt* vars) {
    alg_c_count = 0;
    original_depth = 1;
    if (!laurent) {
        polygcd(*u, *v, g, 0, 1, 1, vars, 1, 1, 1);
        return;
    }
    // The negative exponents are shifted out of copies: the operands are
    // often parts of stored values, and a shift can replace their first
    // nodes, which the values' own pointers would still name.
    struct Shifted {
        polynode* copy = nullptr;
        polynode* first = nullptr;
        polynode* last = nullptr;
        polynode* of(polynode* p) {
            if (is_number(p) || !anynegs(p)) return p;
            poly_assign(p, &copy);
            clear_bads(&copy, &first, &last, SHIFT_NEGATIVES, SHIFT_ALL_LEVELS);
            return copy;
        }
        ~Shifted() {
            release_shift_list(&first, &last);
            free_poly(&copy);
        }
    } su, sv;
    polynode* a = su.of(*u);
    // gcd(u, u) must see one and the same shifted operand twice.
    polynode* b = v == u ? a : strip_v ? sv.of(*v) : *v;
    if (b != a && strip_v && !is_number(a) && !is_number(b) && coefficient_zero_divisors()) {
        // Monomials are units: u times one is as good as u, v without its
        // least one as good as v. The monomial of v's degree in each
        // variable gives back lowest terms that zero divisors took from a
        // product, so that a factor of v dividing u over the Laurent
        // polynomials divides it over the polynomials too.
        if (!sv.copy) poly_assign(*v, &sv.copy);
        polynode *first = nullptr, *last = nullptr;
        clear_bads(&sv.copy, &first, &last, SHIFT_LEAST, SHIFT_ALL_LEVELS);
        release_shift_list(&first, &last);
        b = sv.copy;
        if (!su.copy) poly_assign(*u, &su.copy);
        a = su.copy;
        degree_shifts(b, &first, &last);
        if (first) {
            eliminate_bads(&su.copy, first, 1);
            release_shift_list(&first, &last);
            a = su.copy;
        }
    }
    polygcd(a, b, g, 0, 1, 1, vars, 1, 1, 1);
}

// ---------------------------------------------------------------- shared shape helpers

namespace gcd_impl {

polynode* one_node() {
    polynode* r = nullptr;
    poly_set(1, &r);
    return r;
}

polynode* x_to(int32_t e) { return new_term_node(e, one_node()); }

polynode* integer_content(polynode* p) {
    if (lintmode || is_number(p)) {
        if (lintmode) return one_node();
        imag* c = new_number();
        abs_val_num(p->ncoef, c);
        return new_number_node(c);
    }
    polynode* r = nullptr;
    gcd_coefs(p, &r);
    return r;
}

void divide_top_exps(polynode* p, int32_t k) {
    for (; p && !p->numb; p = p->next) p->exp /= k;
}

void multiply_top_exps(polynode* p, int32_t k) {
    for (; p && !p->numb; p = p->next) p->exp *= k;
}

void make_positive(polynode* p) {
    if (!lintmode && neg_leading_term(p)) poly_inplace(p);
}

void mult_into(polynode** p, polynode* m, pt* vars) {
    if (!m) return;
    poly_mult(*p, m, p, vars);
}

void pad_unless_number(polynode** p) {
    if (!is_number(*p)) add_pad(p, 1);
}

void divide_by_content(polynode** p, polynode* c, pt* vars, int32_t code) {
    if (is_number(c)) {
        num_poly_quot(*p, c->ncoef, 0);
        return;
    }
    if (field_depth > 0 && !lintmode) {
        polynode* m = c;
        special_div(p, &m, vars);
        return;
    }
    for (polynode* t = *p; t; t = t->next) {
        if (t->numb) tarvex_error(" tp numb in fast_divide.", 1);
        fast_poly_divide(&t->pcoef, c, vars->next, code);
        if (t->exp == 0 && is_number(t->pcoef)) remove_dummy(t);
    }
}

polynode* monomial_core(gcd_state* st) {
    polynode* u = *st->u;
    polynode* v = *st->v;
    int32_t m = 0;
    if (single_term(u)) {
        m = top_degree(u) < st->shift_v ? top_degree(u) : st->shift_v;
    } else if (single_term(v)) {
        m = top_degree(v) < st->shift_u ? top_degree(v) : st->shift_u;
    }
    return m > 0 ? x_to(m) : one_node();
}

}  // namespace gcd_impl
