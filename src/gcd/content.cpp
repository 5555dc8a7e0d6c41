// Contents: the gcd of a polynomial's coefficients w.r.t. its main
// variable (content), together with an operand free of it (aux_content),
// of two polynomials together (dual_content), and w.r.t. an inner variable
// (general_content, content_2).
//
// Every polynomial gcd goes through polygcd. The running gcd starts from
// the two smallest coefficients so that it is small early, and it stops
// as soon as it reaches a unit; the scan for that pair is bounded by the
// per-statement work counters.
#include <cstdint>
#include <vector>

#include "gcd/gcd_driver_impl.h"
#include "gcd/polygcd.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/levels.h"
#include "poly/measures.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "poly/residue_conv.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"

using namespace gcd_impl;

namespace {

constexpr int32_t UNSET_SIZE = 2147483647;

// One coefficient taking part in a content, with the keep flag it is
// handed to polygcd with.
struct Coef {
    polynode** slot;
    int keep;
};

// out := gcd(out, c); out consumed.
void gcd_into(polynode** out, const Coef& c, pt* inner, int allow_split, int reset_counts) {
    polynode* t = nullptr;
    polygcd(*out, *c.slot, &t, 0, 1, allow_split, inner, 0, c.keep, reset_counts);
    free_poly(out);
    *out = t;
}

// Counts one scanned term; a counter that wrapped stops all scans until
// the next statement (the warning resets the counters high).
bool count_and_check(int32_t* counter) {
    *counter += 1;
    if (*counter < 0) warning(0, "          ");
    return *counter <= cntcount_limit;
}

// Picks the two smallest coefficients of cs (by bigger_node_total), the
// first being cs[0]; returns false when no second one was chosen. The scan
// stops early once a small enough pair is in hand.
bool choose_pair(const std::vector<Coef>& cs, int32_t* counter, int32_t small_stop, int32_t second_stop,
                 int32_t second_start, size_t* first, size_t* second) {
    *first = 0;
    *second = cs.size();
    int32_t s1 = bigger_node_total(*cs[0].slot);
    int32_t s2 = second_start;
    for (size_t i = 1; i < cs.size(); i++) {
        if (s1 < small_stop || s2 < second_stop) break;
        if (!count_and_check(counter)) break;
        int32_t s = bigger_node_total(*cs[i].slot);
        if (s < s1) {
            *second = *first;
            s2 = s1;
            *first = i;
            s1 = s;
        } else if (s < s2) {
            *second = i;
            s2 = s;
        }
    }
    return *second < cs.size();
}

// in place. Positive leading coefficient over the integers, monic modulo a
// prime (a constant becomes 1).
void normalise(polynode** p, pt* vars) {
    if (modularmode && mod_is_prime) {
        if (is_number(*p)) {
            if (!iszero((*p)->ncoef)) poly_set(1, p);
        } else {
            polynode* lc = nullptr;
            monic_poly(p, &lc, vars);
            free_poly(&lc);
        }
    } else if (!lintmode) {
        if (is_number(*p))
            abs_val_num((*p)->ncoef, (*p)->ncoef);
        else
            make_positive(*p);
    }
}

// The gcd of all the coefficients, from a chosen pair on; stops at a unit.
void run_content(std::vector<Coef>& cs, polynode** out, pt* inner, int allow_split, bool scan,
                 int32_t* counter, int32_t small_stop, int32_t second_stop, int32_t second_start,
                 int reset_counts) {
    size_t a = 0, b = cs.size();
    bool pair = scan && choose_pair(cs, counter, small_stop, second_stop, second_start, &a, &b);
    polynode* r = nullptr;
    if (pair) {
        polygcd(*cs[a].slot, *cs[b].slot, &r, 0, 1, allow_split, inner, cs[a].keep, cs[b].keep, reset_counts);
    } else {
        if (cs[a].keep)
            poly_assign(*cs[a].slot, &r);
        else
            std::swap(r, *cs[a].slot);
    }
    bool combined = pair;
    for (size_t i = 0; i < cs.size(); i++) {
        if (poly_eq_pm1(r) || (lintmode && is_number(r))) break;
        if (i == a || i == b) continue;
        gcd_into(&r, cs[i], inner, allow_split, reset_counts);
        combined = true;
    }
    // A lone coefficient is its own content, normalised like every gcd.
    if (!combined) normalise(&r, inner);
    free_poly(out);
    *out = r;
}

bool is_field_element(pt* vars) { return field_depth >= 1 && field_depth <= vars->level; }

int32_t leading_zero_levels(const polynode* p) {
    int32_t k = 0;
    while (!p->numb && p->exp == 0) {
        p = p->pcoef;
        k++;
    }
    return k;
}

// Inserts an empty level at depth k into p, whose top lies at depth cur.
polynode* insert_level(polynode* p, int32_t cur, int32_t k) {
    if (is_number(p)) return p;
    if (cur == k) return new_term_node(0, p);
    for (polynode* t = p; t; t = t->next)
        if (!t->numb) t->pcoef = insert_level(t->pcoef, cur + 1, k);
    return p;
}

}  // namespace

void content(polynode* p, polynode** out, pt* vars, int /*trace*/, int allow_split, int keep) {
    if (is_field_element(vars)) {
        polynode* r = modularmode ? one_node() : integer_content(p);
        free_poly(out);
        *out = r;
        return;
    }
    if (lastnode(p)->numb || number_polys == 1 || height_is_1(p) || all_coefs_invrtble(p, vars->level)) {
        polynode* r = integer_content(p);
        free_poly(out);
        *out = r;
        return;
    }
    if (c_cntcount == 0) c_cntdepth = vars->level + leading_zero_levels(p);
    std::vector<Coef> cs;
    for (polynode* t = p; t; t = t->next) {
        // Only a Laurent tail can put a number term after the filter above.
        if (t->numb) tarvex_error(" *** pp numb in content", 1);
        cs.push_back({&t->pcoef, keep});
    }
    bool scan = vars->level <= c_cntdepth + 10 && c_cntcount <= cntcount_limit;
    run_content(cs, out, vars->next, allow_split, scan, &c_cntcount, 25, 50, UNSET_SIZE, 0);
}

void aux_content(polynode* w, polynode* p, polynode** out, pt* vars, int /*trace*/, int allow_split,
                 int keep_w, int keep_p) {
    if (is_field_element(vars) || lastnode(p)->numb || height_is_1(p) || all_coefs_invrtble(p, vars->level)) {
        polynode* r = nullptr;
        if (is_field_element(vars) && modularmode) {
            r = one_node();
        } else {
            polynode* c = integer_content(p);
            polygcd(c, w, &r, 0, 1, 0, vars, 1, 1, 0);
            free_poly(&c);
        }
        free_poly(out);
        *out = r;
        return;
    }
    if (a_cntcount == 0) a_cntdepth = vars->level + leading_zero_levels(p);
    std::vector<Coef> cs;
    cs.push_back({&w->pcoef, keep_w});
    for (polynode* t = p; t; t = t->next) cs.push_back({&t->pcoef, keep_p});
    bool scan = vars->level <= a_cntdepth + 10 && a_cntcount <= cntcount_limit &&
                bigger_node_total(w->pcoef) >= 20;
    run_content(cs, out, vars->next, allow_split, scan, &a_cntcount, 20, 40, UNSET_SIZE, 1);
}

void dual_content(polynode* u, polynode* v, polynode** out, pt* vars, int /*trace*/, int allow_split,
                  int keep_u, int keep_v) {
    if (is_field_element(vars) || lastnode(u)->numb || lastnode(v)->numb || all_coefs_invrtble(v, vars->level) ||
        all_coefs_invrtble(u, vars->level)) {
        polynode* r = nullptr;
        if (modularmode) {
            r = one_node();
        } else {
            polynode* cu = integer_content(u);
            polynode* cv = integer_content(v);
            polygcd(cv, cu, &r, 0, 0, 0, vars, 1, 1, 0);
            free_poly(&cu);
            free_poly(&cv);
        }
        free_poly(out);
        *out = r;
        return;
    }
    if (d_cntcount == 0) d_cntdepth = vars->level + (2 * quick_depth_below(u, vars->level)) / 3 + 1;
    // Both operands' coefficients form one list; the term lists themselves
    // are never relinked.
    std::vector<Coef> cs;
    for (polynode* t = u; t; t = t->next) cs.push_back({&t->pcoef, keep_u});
    for (polynode* t = v; t; t = t->next) cs.push_back({&t->pcoef, keep_v});
    bool scan = vars->level <= d_cntdepth + 2 && d_cntcount <= cntcount_limit && u->next &&
                bigger_node_total(u->pcoef) >= 20;
    run_content(cs, out, vars->next, allow_split, scan, &d_cntcount, 20, 40, 268435455, 0);
}

void general_content(polynode* p, int32_t k, polynode** out, pt* vars, int* absent, int big) {
    if (p->numb || p->exp == 0) tarvex_error(" 0 exp head node in general_content", 1);
    if (k <= 1) {
        content(p, out, vars, 0, big, 1);
        return;
    }
    polynode* q = nullptr;
    convert_poly(p, &q, 1, k);
    if (q->numb) tarvex_error("q number in general content", 1);
    polynode* r = nullptr;
    bool computed = false;
    if (top_degree(q) != 0) {
        content(q, &r, vars, 0, big, 1);
        computed = true;
    } else if (!*absent) {
        r = one_node();
        *absent = 1;
    } else {
        poly_assign(p, &r);
    }
    free_nodes(q, 1, k);
    // The content lacks the level the conversion moved to the top.
    if (computed) r = insert_level(r, 1, k);
    free_poly(out);
    *out = r;
}

polynode* content_2(polynode* p, pt* vars) {
    polynode* out = nullptr;
    if (p->numb || p->exp == 0) {
        poly_assign(p, &out);
        return out;
    }
    int absent = 1;
    general_content(p, 2, &out, vars, &absent, 1);
    return out;
}

void patch_up(polynode* p, int32_t cur, int32_t k) {
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (cur == k) {
            if (!is_number(t->pcoef)) t->pcoef = new_term_node(0, t->pcoef);
        } else {
            patch_up(t->pcoef, cur + 1, k);
        }
    }
}
