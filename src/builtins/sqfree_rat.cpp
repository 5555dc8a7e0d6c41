// Square-free decomposition: the content in the main variable split off
// and decomposed one level down, the primitive part by the modular
// routine or, over the rationals, by Yun's method, whose exact divisions
// restart with a recomputed gcd when a probabilistic gcd was wrong.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "builtins/factor.h"
#include "builtins/factor_impl.h"
#include "gcd/exactdiv.h"
#include "gcd/division_impl.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/nonfield_ring.h"
#include "gcd/polygcd.h"
#include "gcd/pseudo_div.h"
#include "gcd/sqfree.h"
#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/set_aside.h"

using division_impl::ImagHold;
using gcd_impl::is_number;

int32_t reduce2_restarts = 0;

using factor_impl::fresh_gcd;

void factor_impl::fresh_gcd(polynode* a, polynode* b, polynode** g, pt* vars, bool exact) {
    // The user's switch of the probabilistic division test comes back for
    // a level opened by an interrupt inside (and for a save made there).
    struct Saved : SetAside {
        int32_t c = alg_c_count, d = original_depth;
        int t = try_rat;
        int32_t r = rat_yes;
        ~Saved() {
            alg_c_count = c;
            original_depth = d;
            try_rat = t;
            rat_yes = r;
        }
        void put_back() override {
            std::swap(alg_c_count, c);
            std::swap(original_depth, d);
            std::swap(try_rat, t);
            std::swap(rat_yes, r);
        }
    } saved;
    alg_c_count = 0;
    original_depth = 1;
    if (exact) {
        try_rat = 0;
        rat_yes = 0;
    }
    polygcd(a, b, g, 0, exact ? 0 : 1, 1, vars, 1, 1, 0);
}

void (*reduce2_gcd)(polynode* a, polynode* b, polynode** g, pt* vars, bool exact) = fresh_gcd;

namespace {

bool is_zero(const polynode* p) { return is_number(p) && iszero(p->ncoef); }

int32_t degree(const polynode* p) { return p->numb ? 0 : p->exp; }

void push_record(polynode** list, int32_t* count, int32_t m, polynode* part) {
    polynode* rec = new_term_node(m, part);
    rec->next = *list;
    *list = rec;
    (*count)++;
}

// acc := gcd(acc, every number leaf of p) (digit numbers).
void leaf_gcd(polynode* p, imag* acc) {
    for (; p; p = p->next) {
        if (p->numb)
            gcd(acc, p->ncoef, acc);
        else
            leaf_gcd(p->pcoef, acc);
    }
}

// mult · x = quo · g with the numeric content shared by quo and mult
// cancelled; false when g leaves a remainder.
bool field_quotient(polynode* x, polynode* g, polynode** quo, polynode** mult, pt* vars) {
    PolyHold rem;
    num_pseudo_div(x, g, quo, &rem.p, mult, vars);
    if (!is_zero(rem.p)) return false;
    if (!is_number(*mult)) {
        tarvex_error("non-numbers. reduce2.", 1);
        abandon_statement();
    }
    imag* k = new_number();
    num_assign((*mult)->ncoef, k);
    leaf_gcd(*quo, k);
    if (!iszero(k)) {
        num_poly_quot(*quo, k, 0);
        num_poly_quot(*mult, k, 0);
    }
    free_imag(&k);
    return true;
}

// a / g and b / g times one number, so that the two stay in step: false
// when g leaves a remainder.
bool scaled_quotients(polynode* a, polynode* b, polynode* g, PolyHold& q1, PolyHold& q2, pt* vars) {
    PolyHold m1, m2;
    if (!field_quotient(a, g, &q1.p, &m1.p, vars)) return false;
    if (!field_quotient(b, g, &q2.p, &m2.p, vars)) return false;
    imag* k = new_number();
    gcd(m1.p->ncoef, m2.p->ncoef, k);
    if (!iszero(k)) {
        num_poly_quot(m1.p, k, 0);
        num_poly_quot(m2.p, k, 0);
    }
    free_imag(&k);
    if (!poly_eq_1(m2.p)) poly_mult(q1.p, m2.p, &q1.p, vars);
    if (!poly_eq_1(m1.p)) poly_mult(q2.p, m1.p, &q2.p, vars);
    return true;
}

// Over relations without the field flag on the rationals the gcd may lead
// with an element that is a unit only up to a number (t, as t·t = 2 modulo
// t^2 - 2): 2x + t divides (x + 1)(tx + 1) there, but not with integer
// coefficients. Its multiple N·g by the inverse of that leading element up
// to the number d (e·N = d) leads with d, and divides d^k·a with k = deg a -
// deg g + 1; the quotients change by the unit d^k/N, both alike. A leading
// coefficient that is no unit of the relations (or involves a free
// variable) leaves nothing proved: error 271.
bool relation_quotients(polynode* a, polynode* b, polynode* g, PolyHold& q1, PolyHold& q2, pt* vars) {
    const char* ring = nullptr;
    for (pt* r = vars; r && !ring; r = r->next)
        if (r->relation && !r->field) ring = r->name;
    if (g->numb) nonfield::refuse(ring);
    polynode* e = g->pcoef;
    pt* rec = inner(vars);
    int32_t pad = 1;
    while (!e->numb && rec && !rec->relation && e->exp == 0 && !e->next) {
        e = e->pcoef;
        rec = inner(rec);
        pad++;
    }
    if (!e->numb && (!rec || !rec->relation)) nonfield::refuse(ring);
    PolyHold n;
    ImagHold d;
    if (e->numb) {
        poly_set(1, &n.p);
        num_assign(e->ncoef, d.n);
    } else {
        imag* inv_den = nullptr;
        if (!nonfield::invert(e, rec, &n, &inv_den)) nonfield::refuse(ring);
        num_assign(inv_den, d.n);
        free_imag(&inv_den);
        if (!is_number(n.p)) add_pad(&n.p, pad);
    }
    PolyHold led;
    poly_mult(g, n.p, &led.p, vars);
    ImagHold scale, step;
    num_assign(d.n, scale.n);
    const int32_t k = std::max(degree(a), degree(b)) - degree(g) + 1;
    for (int32_t i = 1; i < k; i++) {
        fast_mult(scale.n, d.n, step.n);
        num_assign(step.n, scale.n);
    }
    PolyHold sa, sb;
    poly_assign(a, &sa.p);
    poly_assign(b, &sb.p);
    rat_number_mult(sa.p, scale.n);
    rat_number_mult(sb.p, scale.n);
    int fail = 0;
    gen_poly_divide(sa.p, led.p, &q1.p, vars, &fail);
    if (!fail) gen_poly_divide(sb.p, led.p, &q2.p, vars, &fail);
    if (fail) return false;
    ImagHold c;
    leaf_gcd(q1.p, c.n);
    leaf_gcd(q2.p, c.n);
    if (!iszero(c.n)) {
        num_poly_quot(q1.p, c.n, 0);
        num_poly_quot(q2.p, c.n, 0);
    }
    return true;
}

// One attempt: false when g does not divide a or b.
bool try_reduce2(polynode* a, polynode* b, polynode* g, polynode** out1, polynode** out2, pt* vars) {
    PolyHold q1, q2;
    if (field_depth > 0 && !lintmode) {
        // Field-element coefficients: exact division goes through pseudo-division.
        if (!scaled_quotients(a, b, g, q1, q2, vars)) return false;
    } else {
        int fail = 0;
        gen_poly_divide(a, g, &q1.p, vars, &fail);
        if (!fail) gen_poly_divide(b, g, &q2.p, vars, &fail);
        if (fail) {
            if (lintmode || !nonfield_relation_inward(vars)) return false;
            free_poly(&q1.p);
            free_poly(&q2.p);
            if (!relation_quotients(a, b, g, q1, q2, vars)) return false;
        }
    }
    free_poly(out1);
    *out1 = q1.release();
    free_poly(out2);
    *out2 = q2.release();
    return true;
}

// The least exponent of p's main variable: the power of it dividing p (0
// when a term is free of it, or for negative exponents).
int32_t main_power(const polynode* p) {
    const polynode* t = p;
    while (t->next) t = t->next;
    return t->numb ? 0 : std::max(t->exp, 0);
}

// A new polynomial p / x^s, x the main variable, s at most main_power(p).
polynode* without_main_power(const polynode* p, int32_t s) {
    polynode* head = nullptr;
    polynode** tail = &head;
    for (const polynode* t = p; t; t = t->next) {
        polynode* c = nullptr;
        poly_assign(t->pcoef, &c);
        make_monomial(tail, t->exp - s, c);
        tail = &(*tail)->next;
    }
    return head;
}

// Where a multiplicity stands in a list the decompositions build: records
// go to the front as they are found, and modulo p the multiplicity m p^k
// (p not dividing m) is found in round k, at step m.
std::pair<int32_t, int32_t> found_at(int32_t m) {
    int32_t k = 0;
    const int32_t e = finf ? 2 : modulus;
    if (modularmode && e > 1)
        for (; m % e == 0; m /= e) k++;
    return {k, m};
}

// Adds x^s (x the main variable, prime to every part) to the decomposition
// *list of rest = p / x^s, as the road below would have listed it: into the
// part of multiplicity s, or as a part of its own in its place. Over the
// rationals the first part carries the sign of p's leading coefficient.
void add_main_power(polynode** list, int32_t* count, int32_t s, polynode* rest, pt* vars) {
    PolyHold x, one;
    poly_set(1, &one.p);
    make_monomial(&x.p, 1, one.release());
    polynode** at = list;
    for (; *at; at = &(*at)->next) {
        if ((*at)->exp == s) {
            poly_mult((*at)->pcoef, x.p, &(*at)->pcoef, vars);
            return;
        }
        if (found_at((*at)->exp) < found_at(s)) break;
    }
    if (at == list && !modularmode) {
        polynode* signed_part = *list ? (*list)->pcoef : rest;
        if (neg_leading_term(signed_part)) {
            if (*list) poly_makeneg(signed_part, &(*list)->pcoef);
            poly_makeneg(x.p, &x.p);
        }
    }
    polynode* rec = new_term_node(s, x.release());
    rec->next = *at;
    *at = rec;
    (*count)++;
}

}  // namespace

void reduce2(polynode* a, polynode* b, polynode** g, polynode** out1, polynode** out2, pt* vars) {
    if (try_reduce2(a, b, *g, out1, out2, vars)) return;
    // The gcd routines may answer wrongly with small probability: a fresh
    // gcd usually mends it, the exact road surely does; a gcd that still
    // does not divide is a fault of this system.
    for (int i = 0; i <= REDUCE2_RESTARTS; i++) {
        reduce2_restarts++;
        if (verbose) std::fputs("starting over, reduce2\n", stdout);
        PolyHold fresh;
        reduce2_gcd(a, b, &fresh.p, vars, i == REDUCE2_RESTARTS);
        free_poly(g);
        *g = fresh.release();
        if (try_reduce2(a, b, *g, out1, out2, vars)) return;
    }
    // Over relations without the field flag a gcd that the division does
    // not bear out proves nothing there: the refusal such rings get.
    for (pt* r = vars; r; r = r->next)
        if (r->relation && !r->field) nonfield::refuse(r->name);
    tarvex_error("reduce2: the gcd does not divide.", 1);
    abandon_statement();
}

void rat_sq_free_factor(polynode** p, polynode** list, int32_t* count, pt* vars) {
    PolyHold d;
    poly_assign(*p, &d.p);
    poly_diff(&d.p, 1);
    PolyHold g;
    fresh_gcd(d.p, *p, &g.p, vars, false);
    if (is_number(g.p)) {
        polynode* part = nullptr;
        poly_assign(*p, &part);
        push_record(list, count, 1, part);
        return;
    }
    PolyHold w, y, z, wd;
    reduce2(*p, d.p, &g.p, &w.p, &y.p, vars);
    auto next_z = [&] {
        poly_assign(w.p, &wd.p);
        poly_diff(&wd.p, 1);
        poly_sub(y.p, wd.p, &z.p);
    };
    next_z();
    int32_t i = 0;
    while (!is_zero(z.p)) {
        PolyHold h;
        if (!is_number(z.p)) fresh_gcd(w.p, z.p, &h.p, vars, false);
        i++;
        if (!h.p || is_number(h.p)) {
            std::swap(y.p, z.p);
        } else {
            PolyHold w2, y2;
            reduce2(w.p, z.p, &h.p, &w2.p, &y2.p, vars);
            std::swap(w.p, w2.p);
            std::swap(y.p, y2.p);
            push_record(list, count, i, h.release());
        }
        next_z();
        poll_interrupt();
    }
    if (!is_number(w.p)) push_record(list, count, i + 1, w.release());
}

void total_sq_free(polynode** p, polynode** list, int32_t* count, int top, pt* vars) {
    if (top) {
        *count = 0;
        if (modularmode && !is_number(*p)) {
            PolyHold lc;
            monic_poly(p, &lc.p, vars);
        }
    }
    if (is_number(*p)) return;
    PolyHold c;
    content(*p, &c.p, vars, 0, 1, 1);
    PolyHold content_list;
    if (is_number(c.p)) {
        if (!lintmode) num_poly_quot(*p, c.p->ncoef, 0);
    } else {
        if (field_depth > 0 && !lintmode)
            special_div(p, &c.p, vars);
        else
            fast_divide(p, c.p, vars, 43);
        total_sq_free(&c.p, &content_list.p, count, 0, inner(vars));
        // The content's parts stand one level down: pad them to *p's depth.
        for (polynode* r = content_list.p; r; r = r->next) r->pcoef = new_term_node(0, r->pcoef);
    }
    // The power of the main variable dividing p is a part of its own, read
    // off its exponent: the roads below would take it apart one power at a
    // time, in time linear in the exponent.
    // *p stays as it is: callers read it after.
    const int32_t s = is_number(*p) || (lintmode && !modularmode) ? 0 : main_power(*p);
    PolyHold rest;
    polynode** f = p;
    if (s > 0) {
        rest.reset(without_main_power(*p, s));
        f = &rest.p;
    }
    PolyHold own;
    if (!is_number(*f)) {
        if (modularmode)
            square_free_factor(*f, &own.p, count, vars);
        else
            rat_sq_free_factor(f, &own.p, count, vars);
    }
    if (s > 0) add_main_power(&own.p, count, s, *f, vars);
    polynode** tail = &own.p;
    while (*tail) tail = &(*tail)->next;
    *tail = content_list.release();
    polynode** end = list;
    while (*end) end = &(*end)->next;
    *end = own.release();
}
