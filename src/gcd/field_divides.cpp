// Divisibility over the field by scaled division (see gcd/field_divides.h).
//
// Invariant of every division below: s·u = q·m + r with s a non-zero
// integer. Over the field m divides u exactly when the final r is 0, and
// a leading coefficient that m's does not divide (over the field, one level
// in) already proves that it does not: the leading coefficient of any
// multiple q·m is lc(q)·lc(m). Dividing r, q and s by a common integer
// keeps the invariant, which is what holds the numbers down.
#include "gcd/field_divides.h"

#include "gcd/dense_field_division.h"
#include "gcd/division_impl.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

using namespace division_impl;

// The number m is, when it is one under exponent-0 single terms; else null.
imag* constant_of(polynode* m) {
    while (!m->numb) {
        if (m->exp != 0 || m->next) return nullptr;
        m = m->pcoef;
    }
    return m->next ? nullptr : m->ncoef;
}

bool field_element(polynode* m, pt* rec) {
    return field_depth > 0 && field_depth <= level_of(rec) + poly_depth(m) - 1;
}

// Wanted results of an inner division: the quotient and its scale.
struct Scaled {
    PolyHold q;
    ImagHold s;
};

// a := a·b.
void times(imag* a, imag* b) {
    ImagHold prod;
    fast_mult(a, b, prod.n);
    num_assign(prod.n, a);
}

// a := a / g, exactly.
void exact_quotient(imag* a, imag* g) {
    ImagHold quo, rem;
    divide(a, g, quo.n, rem.n);
    num_assign(quo.n, a);
}

// q and s divided by their common integer content.
void cancel(Scaled* out) {
    if (poly_iszero(out->q.p)) return;
    ImagHold g, h;
    find_gcdcoefs(out->q.p, g.n);
    gcd(g.n, out->s.n, h.n);
    if (is_longint(h.n, 1)) return;
    num_poly_quot(out->q.p, h.n, 0);
    exact_quotient(out->s.n, h.n);
}

// r, and q and s when wanted, divided by their common integer content.
void shrink(PolyHold& r, Scaled* out) {
    if (!r.p) return;
    ImagHold g;
    find_gcdcoefs(r.p, g.n);
    if (out) {
        if (out->q.p && !is_longint(g.n, 1)) find_gcd(out->q.p, g.n);
        if (!is_longint(g.n, 1)) {
            ImagHold h;
            gcd(g.n, out->s.n, h.n);
            num_assign(h.n, g.n);
        }
    }
    if (is_longint(g.n, 1)) return;
    num_poly_quot(r.p, g.n, 0);
    if (!out) return;
    if (out->q.p) num_poly_quot(out->q.p, g.n, 0);
    exact_quotient(out->s.n, g.n);
}

// m a field element (or a number): always a divisor; with out, the
// quotient u·(1/m) as num/den, the integer den being the scale.
void by_field_element(polynode* u, polynode* m, pt* rec, Scaled* out) {
    if (imag* c = constant_of(m)) {
        poly_assign(u, &out->q.p);
        if (c->head && c->head->digit < 0) poly_inplace(out->q.p);
        abs_val_num(c, out->s.n);
    } else {
        quoly_detail::QuolyHold inv(nullptr);
        times_inverse_numerator(u, m, rec, &out->q.p, inv);
        if (inv.q->den)
            num_assign(inv.q->den->ncoef, out->s.n);
        else
            setvalue(1, out->s.n);
    }
    cancel(out);
}

bool divides(polynode* u, polynode* m, pt* rec, Scaled* out);

// m free of this level's variable (and no field element): it must divide
// every coefficient of u.
bool by_inner(polynode* u, polynode* m, pt* rec, Scaled* out) {
    polynode* head = nullptr;
    polynode* tail = nullptr;
    PolyHold built;
    if (out) setvalue(1, out->s.n);
    for (polynode* t = u; t; t = t->next) {
        // A number of this level is a multiple of no non-constant m.
        if (t->numb) return false;
        Scaled inner_q;
        if (!divides(t->pcoef, m->pcoef, inner(rec), out ? &inner_q : nullptr)) return false;
        if (!out) continue;
        // Earlier quotient terms take this scale, this one the earlier scale.
        if (built.p) rat_number_mult(built.p, inner_q.s.n);
        rat_number_mult(inner_q.q.p, out->s.n);
        times(out->s.n, inner_q.s.n);
        polynode* term = make_term(t->exp, inner_q.q.release());
        if (tail)
            tail->next = term;
        else
            head = term;
        tail = term;
        built.p = head;
    }
    if (out) {
        out->q.p = built.release();
        cancel(out);
    }
    return true;
}

bool divides(polynode* u, polynode* m, pt* rec, Scaled* out) {
    if (poly_iszero(u)) {
        if (out) {
            poly_set(0, &out->q.p);
            setvalue(1, out->s.n);
        }
        return true;
    }
    if (constant_of(m) || field_element(m, rec)) {
        if (out) by_field_element(u, m, rec, out);
        return true;
    }
    const int32_t dm = top_degree(m);
    if (dm == 0) return by_inner(u, m, rec, out);
    if (top_degree(u) < dm) return false;
    PolyHold r;
    poly_assign(u, &r.p);
    if (out) setvalue(1, out->s.n);
    polynode* q_tail = nullptr;
    NegatedTail mrest(m->next);
    while (r.p && top_degree(r.p) >= dm) {
        const int32_t e = r.p->exp - dm;
        Scaled lead;
        if (!divides(r.p->pcoef, m->pcoef, inner(rec), &lead)) return false;
        // r := sc·(r less its leading term) + qc·x^e·(−rest of m).
        polynode* first = r.p;
        r.p = first->next;
        first->next = nullptr;
        free_poly(&first);
        if (r.p) rat_number_mult(r.p, lead.s.n);
        PolyHold term;
        term.p = make_term(e, lead.q.release());
        if (mrest.p) {
            polynode* prod = nullptr;
            poly_mult(term.p, mrest.p, &prod, rec);
            add_into(&r.p, prod);
        }
        if (out) {
            if (out->q.p) rat_number_mult(out->q.p, lead.s.n);
            times(out->s.n, lead.s.n);
            if (q_tail)
                q_tail->next = term.p;
            else
                out->q.p = term.p;
            q_tail = term.release();
        }
        shrink(r, out);
    }
    if (r.p) return false;
    if (out && !out->q.p) poly_set(0, &out->q.p);
    return true;
}

}  // namespace

int field_divides(polynode* u, polynode* m, pt* rec) {
    if (poly_iszero(m)) {
        error(22, quotsign);
        abandon_statement();
    }
    if (const int dense = dense_field_divides(u, m, rec); dense >= 0) return dense;
    return divides(u, m, rec, nullptr) ? 1 : 0;
}
