// Pseudo-quotients and pseudo-remainders. One loop, four variants: the
// leading term of the running remainder r is cancelled against m after r
// (and the quotient so far) have been scaled so that the cancellation
// stays inside the ring. Invariant after every step: scale·u = q·m + r.
#include "gcd/pseudo_div.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "gcd/division_impl.h"
#include "gcd/nonfield_ring.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

using namespace division_impl;



// A quotient chain grown at its end.
struct Chain {
    PolyHold head;
    polynode* tail = nullptr;
    void append(polynode* t) {
        if (tail)
            tail->next = t;
        else
            head.p = t;
        tail = t;
    }
    // After head has been replaced by a product.
    void retail() { tail = head.p ? lastnode(head.p) : nullptr; }
};

polynode* lead_coef_node(polynode* m) { return m->numb ? m : m->pcoef; }
bool lone_number(const polynode* p) { return p->numb && !p->next; }

void drop_zero(polynode** r) {
    if (*r && poly_iszero(*r)) free_poly(r);
}

// *r := *r · b (b kept); an empty *r stays empty.
void mult_into(polynode** r, polynode* b, pt* rec) {
    if (!*r) return;
    poly_mult(*r, b, r, rec);
    drop_zero(r);
}

// lc(m) as a polynomial of m's own level: a number as it is, anything else
// under an exponent-0 term. A new polynomial.
polynode* lead_coef_poly(polynode* m) {
    polynode* c = lead_coef_node(m);
    PolyHold lc;
    if (lone_number(c)) {
        poly_assign(c, &lc.p);
    } else {
        newpoly(&lc.p);
        lc.p->next = nullptr;
        lc.p->exp = 0;
        lc.p->numb = 0;
        lc.p->pcoef = nullptr;
        poly_assign(c, &lc.p->pcoef);
    }
    return lc.release();
}

// first_coef_invrtble answers for numbers only when the node itself is
// one; a lone number under m's leading term is just as invertible modulo
// a prime, and ordinary division is then the exact answer.
bool lead_invertible(polynode* m, int32_t level) {
    if (first_coef_invrtble(m, level)) return true;
    return modularmode && mod_is_prime && !m->numb && lone_number(m->pcoef);
}

void store(polynode** slot, PolyHold& value) {
    if (!value.p) poly_set(0, &value.p);
    free_poly(slot);
    *slot = value.release();
}

// *a := *a · b for two lone number nodes.
void number_times(polynode* a, polynode* b) {
    ImagHold prod;
    fast_mult(a->ncoef, b->ncoef, prod.n);
    imag* old = a->ncoef;
    a->ncoef = prod.n;
    prod.n = old;
}

int32_t level_of(pt* rec, int32_t fallback) { return rec ? rec->level : fallback; }

void field_div_at(polynode* u, polynode* m, pt* rec, polynode** quo, polynode** rem, polynode** mult);
void num_pseudo_div_at(polynode* u, polynode* m, polynode** quo, polynode** rem, polynode** mult,
                       pt* rec, int32_t level);

// ---------------------------------------------------------------- the field-of-fractions division

// The inverse of m's leading coefficient as num/den: num a polynomial of
// m's level (null: 1) or a residue, den a positive integer (null: 1).
struct Inverse {
    PolyHold num;
    int32_t residue = 1;
    imag* den = nullptr;
    ~Inverse() {
        if (den) free_imag(&den);
    }
};

void invert_lead(polynode* m, pt* rec, Inverse* inv) {
    polynode* c = lead_coef_node(m);
    if (lone_number(c)) {
        if (modularmode) {
            int32_t v = c->ncoef->value;
            if (v == 0) {
                // m is not zero, so a zero leading number means a broken m.
                error(22, quotsign);
                abandon_statement();
            }
            if (v != 1) emod_inverse(v, &inv->residue);
            return;
        }
        if (lintmode) tarvex_error("bad lead coef in pseudo_field_coef_poly_div.", 1);
        // 1/c = sign(c) / |c|.
        if (iszero(c->ncoef)) {
            error(22, quotsign);
            abandon_statement();
        }
        if (c->ncoef->head->digit < 0) poly_set(-1, &inv->num.p);
        inv->den = new_number();
        abs_val_num(c->ncoef, inv->den);
        return;
    }
    quoly* q = nullptr;
    poly_mod_invert(c, &q, inner(rec));
    // The inverse's numerator, brought up to m's level; its number
    // denominator becomes ours.
    struct Free {
        quoly* q;
        ~Free() { free_quoly(&q); }
    } hold{q};
    if (q->isnum) {
        newpoly(&inv->num.p);
        inv->num.p->next = nullptr;
        inv->num.p->exp = 0;
        inv->num.p->numb = 1;
        inv->num.p->ncoef = new_number();
        num_assign(q->nnum, inv->num.p->ncoef);
        return;
    }
    poly_assign(q->pnum, &inv->num.p);
    add_pad(&inv->num.p, 1);
    if (q->den && !modularmode) {
        inv->den = new_number();
        num_assign(q->den->ncoef, inv->den);
    } else if (q->den) {
        num_poly_quot(inv->num.p, q->den->ncoef, 0);
    }
}

// The last search for a unit's inverse with all that it depends on: the
// element, the ground ring and the relations from its level in. Loops that
// divide by one divisor (Powermod, a\b over and over) search once, where a
// tower's search through its copies costs more than a small division.
struct LeadSearch {
    int32_t ring[5] = {};
    pt* crec = nullptr;
    std::vector<pt*> levels;
    std::vector<int> fields;
    std::vector<polynode*> relations;   // copies, null at a free level
    polynode* lead = nullptr;           // null: nothing remembered
    polynode* inverse = nullptr;        // null: none was found

    void ring_now(int32_t* r) const {
        const int32_t now[5] = {modularmode, modulus, finf, lintmode, laurent};
        std::copy(now, now + 5, r);
    }
    bool same(polynode* c, pt* at) const {
        int32_t now[5];
        ring_now(now);
        if (!lead || at != crec || !std::equal(now, now + 5, ring)) return false;
        size_t i = 0;
        for (pt* r = at; r; r = r->next, i++) {
            if (i == levels.size() || r != levels[i] || r->field != fields[i]) return false;
            if (!r->relation != !relations[i] || (r->relation && !poly_equal(r->relation, relations[i])))
                return false;
        }
        return i == levels.size() && poly_equal(c, lead);
    }
    void remember(polynode* c, pt* at, polynode* found) {
        for (polynode*& r : relations)
            if (r) free_poly(&r);
        if (lead) free_poly(&lead);
        if (inverse) free_poly(&inverse);
        levels.clear();
        fields.clear();
        relations.clear();
        ring_now(ring);
        crec = at;
        for (pt* r = at; r; r = r->next) {
            levels.push_back(r);
            fields.push_back(r->field);
            relations.push_back(nullptr);
            if (r->relation) poly_assign(r->relation, &relations.back());
        }
        poly_assign(c, &lead);
        if (found) poly_assign(found, &inverse);
    }
};

// Never freed: it may hold polynomials until the very end.
LeadSearch& last_lead_search() {
    static LeadSearch* last = new LeadSearch;
    return *last;
}

// The search behind unit_lead: n := the inverse of c (an element at crec's
// level) brought up to the level above.
bool search_unit_inverse(polynode* c, pt* crec, PolyHold& n) {
    imag* d = nullptr;
    if (!nonfield::invert(c, crec, &n, &d)) return false;
    ImagHold dh;
    num_assign(d, dh.n);
    free_imag(&d);
    if (modularmode) {
        if (!finf && smallgcd(dh.n->value, modulus) != 1) return false;
        num_poly_quot(n.p, dh.n, 0);
    } else {
        ImagHold g, quo, r;
        find_gcdcoefs(n.p, g.n);
        divide(g.n, dh.n, quo.n, r.n);
        if (!iszero(r.n)) return false;
        num_poly_quot(n.p, dh.n, 0);
    }
    if (!lone_number(n.p)) add_pad(&n.p, 1);
    return true;
}

// m's leading coefficient, an element of relations that make no field, with
// an inverse in that ring itself (t modulo 7 over t^2 - 2: t·4t = 1), found
// and checked by the product; inv->num := that inverse at m's level. False
// when there is none, none without a denominator over the integers (t
// over t^2 - 2: t·t = 2), or none that Euclid's search down the levels
// reaches without meeting a zero divisor (a residue without inverse modulo
// a composite number, a leading coefficient of a lower level that the
// prime splits), and the pseudo-division stands.
bool unit_lead(polynode* m, pt* rec, Inverse* inv) {
    if (!rec || m->numb || (lintmode && !modularmode) || !nonfield_relation_inward(inner(rec))) return false;
    LeadSearch& last = last_lead_search();
    if (!last.same(m->pcoef, inner(rec))) {
        PolyHold n;
        const bool found = search_unit_inverse(m->pcoef, inner(rec), n);
        last.remember(m->pcoef, inner(rec), found ? n.p : nullptr);
    }
    if (!last.inverse) return false;
    poly_assign(last.inverse, &inv->num.p);
    return true;
}

// mult·u = quo·m + rem with inv the inverse of m's leading coefficient.
void divide_by_inverse(polynode* u, polynode* m, pt* rec, Inverse& inv, polynode** quo, polynode** rem,
                       polynode** mult);

void field_div_at(polynode* u, polynode* m, pt* rec, polynode** quo, polynode** rem, polynode** mult) {
    if (poly_iszero(m)) {
        // Pseudo division is asked of non-zero divisors only: a zero one
        // means an inconsistent state.
        error(22, quotsign);
        abandon_statement();
    }
    Inverse inv;
    if (top_degree(m) <= top_degree(u) && !poly_iszero(u)) invert_lead(m, rec, &inv);
    divide_by_inverse(u, m, rec, inv, quo, rem, mult);
}

void divide_by_inverse(polynode* u, polynode* m, pt* rec, Inverse& inv, polynode** quo, polynode** rem,
                       polynode** mult) {
    const int32_t dm = top_degree(m);
    PolyHold mul, r;
    Chain q;
    poly_set(1, &mul.p);
    if (dm > top_degree(u) || poly_iszero(u)) {
        poly_assign(u, &r.p);
    } else {
        poly_assign(u, &r.p);
        NegatedTail mrest(m->next);
        ImagHold g, d, scratch;
        while (r.p && top_degree(r.p) >= dm) {
            PolyHold t;
            t.p = take_leading_term(&r.p, dm);
            if (inv.num.p) {
                if (lone_number(inv.num.p) && !modularmode && is_longint(inv.num.p->ncoef, -1))
                    poly_inplace(t.p);
                else
                    poly_mult(t.p, inv.num.p, &t.p, rec);
            } else if (inv.residue != 1) {
                mod_num_poly_mult(t.p, inv.residue);
            }
            if (inv.den) {
                // The term's new denominator is den / gcd(content, den); it
                // scales everything else so that the term stays integral.
                find_gcdcoefs(t.p, g.n);
                gcd(g.n, inv.den, scratch.n);
                num_poly_quot(t.p, scratch.n, 0);
                divide(inv.den, scratch.n, d.n, g.n);
                if (!is_longint(d.n, 1)) {
                    fast_mult(mul.p->ncoef, d.n, scratch.n);
                    num_assign(scratch.n, mul.p->ncoef);
                    rat_number_mult(r.p, d.n);
                    rat_number_mult(q.head.p, d.n);
                }
            }
            if (mrest.p) {
                polynode* prod = nullptr;
                poly_mult(t.p, mrest.p, &prod, rec);
                add_into(&r.p, prod);
            }
            q.append(t.release());
        }
    }
    store(quo, q.head);
    store(rem, r);
    store(mult, mul);
}

// ---------------------------------------------------------------- integer multipliers

void num_pseudo_div_at(polynode* u, polynode* m, polynode** quo, polynode** rem, polynode** mult,
                       pt* rec, int32_t level) {
    if (poly_iszero(m)) {
        error(22, quotsign);
        abandon_statement();
    }
    const int32_t dm = top_degree(m), du = top_degree(u);
    PolyHold q, r, mul;
    if (dm > du) {
        poly_assign(u, &r.p);
        poly_set(1, &mul.p);
        store(quo, q);
        store(rem, r);
        store(mult, mul);
        return;
    }
    if (lead_invertible(m, level)) {
        field_div_at(u, m, rec, quo, rem, mult);
        return;
    }
    if (dm == 0 && du == 0) {
        polynode *pu = u, *pm = m;
        int16_t h = 0;
        pt* v = rec;
        findHeight(&pu, &pm, &h, &v);
        if (h > 0) {
            num_pseudo_div_at(pu, pm, &q.p, &r.p, &mul.p, v, level + h);
            if (!q.p->numb) add_pad(&q.p, h);
            if (!r.p->numb) add_pad(&r.p, h);
            store(quo, q);
            store(rem, r);
            store(mult, mul);
            return;
        }
        if (lone_number(u) && lone_number(m)) {
            // Two numbers with no inverse for m: m·u = u·m.
            poly_assign(m, &mul.p);
            poly_assign(u, &q.p);
            store(quo, q);
            store(rem, r);
            store(mult, mul);
            return;
        }
    }
    poly_assign(u, &r.p);
    poly_set(1, &mul.p);
    polynode* mc = lead_coef_node(m);
    if (dm == 0) {
        // m does not involve this level: every coefficient of u is divided
        // by m's on its own, the others scaled as the multiplier grows.
        for (polynode* t = r.p; t; t = t->next) {
            if (t->numb) {
                tarvex_error("n number in num_pseudo poly div.", 1);
                break;
            }
            PolyHold qc, rc, mi;
            num_pseudo_div_at(t->pcoef, mc, &qc.p, &rc.p, &mi.p, inner(rec), level + 1);
            if (!poly_iszero(rc.p)) tarvex_error("r not 0 in num_pseudo poly div.", 1);
            number_times(mul.p, mi.p);
            rat_number_mult(t->next, mi.p->ncoef);
            for (polynode* done = r.p; done != t; done = done->next) rat_number_mult(done->pcoef, mi.p->ncoef);
            free_poly(&t->pcoef);
            t->pcoef = qc.release();
            if (t->exp == 0 && lone_number(t->pcoef)) remove_dummy(t);
        }
        store(quo, r);
        poly_set(0, &r.p);
        store(rem, r);
        store(mult, mul);
        return;
    }
    drop_zero(&r.p);
    Chain qc_chain;
    NegatedTail mrest(m->next);
    while (r.p && top_degree(r.p) >= dm) {
        PolyHold qc, rc, mi;
        num_pseudo_div_at(r.p->pcoef, mc, &qc.p, &rc.p, &mi.p, inner(rec), level + 1);
        if (!poly_iszero(rc.p)) tarvex_error("rem not 0 in num_pseudo_div.", 1);
        number_times(mul.p, mi.p);
        PolyHold t;
        t.p = r.p;
        r.p = t.p->next;
        t.p->next = nullptr;
        rat_number_mult(r.p, mi.p->ncoef);
        rat_number_mult(qc_chain.head.p, mi.p->ncoef);
        free_poly(&t.p->pcoef);
        t.p->pcoef = qc.release();
        t.p->exp -= dm;
        if (t.p->exp == 0 && lone_number(t.p->pcoef)) remove_dummy(t.p);
        if (mrest.p) {
            polynode* prod = nullptr;
            poly_mult(t.p, mrest.p, &prod, rec);
            add_into(&r.p, prod);
        }
        qc_chain.append(t.release());
    }
    store(quo, qc_chain.head);
    store(rem, r);
    store(mult, mul);
}

}  // namespace

// ---------------------------------------------------------------- the pseudo-division loop

void pseudo_div(polynode* u, polynode* m, polynode** quo, polynode** rem, int want_rem, pt* rec) {
    if (poly_iszero(m)) {
        error(22, quotsign);
        abandon_statement();
    }
    const int32_t dm = top_degree(m), du = top_degree(u);
    PolyHold r;
    Chain q;
    if (dm > du) {
        if (want_rem) {
            poly_assign(u, &r.p);
            store(rem, r);
        }
        store(quo, q.head);
        return;
    }
    if (lead_invertible(m, level_of(rec, 1))) {
        PolyHold mult;
        if (modularmode)
            field_coef_poly_divide(u, m, rec, &q.head.p, &r.p);
        else
            field_div_at(u, m, rec, &q.head.p, &r.p, &mult.p);
        if (want_rem) store(rem, r);
        store(quo, q.head);
        return;
    }
    PolyHold lc;
    lc.p = lead_coef_poly(m);
    poly_assign(u, &r.p);
    drop_zero(&r.p);
    int32_t e = du - dm + 1;
    {
        NegatedTail mrest(m->next);
        while (r.p && top_degree(r.p) >= dm) {
            PolyHold t;
            t.p = take_leading_term(&r.p, dm);
            mult_into(&r.p, lc.p, rec);
            if (q.head.p) {
                mult_into(&q.head.p, lc.p, rec);
                q.retail();
            }
            --e;
            if (mrest.p) {
                polynode* prod = nullptr;
                poly_mult(t.p, mrest.p, &prod, rec);
                add_into(&r.p, prod);
            }
            q.append(t.release());
        }
    }
    // The steps taken fall short of deg u - deg m + 1 when the degree of r
    // dropped by more than one; the missing power completes both results.
    PolyHold c;
    if (e >= 1) {
        poly_assign(lc.p, &c.p);
        if (e > 1) compute_power(&c.p, e, rec);
    }
    if (want_rem) {
        if (c.p) mult_into(&r.p, c.p, rec);
        store(rem, r);
    }
    if (c.p) mult_into(&q.head.p, c.p, rec);
    store(quo, q.head);
}

void pseudo_div_no_q(polynode* u, polynode* m, polynode** rem, pt* rec, int full) {
    if (poly_iszero(m)) {
        error(22, quotsign);
        abandon_statement();
    }
    const int32_t dm = top_degree(m), du = top_degree(u);
    if (dm < 1) {
        tarvex_error("bad m^.exp in pseudo div no q: ", 0);
        std::printf("%li\n", static_cast<long>(dm));
    }
    PolyHold r;
    if (du < dm) {
        poly_assign(u, &r.p);
        store(rem, r);
        return;
    }
    if (lead_invertible(m, level_of(rec, 1))) {
        PolyHold q, mult;
        if (modularmode)
            field_coef_poly_divide(u, m, rec, &q.p, &r.p);
        else
            field_div_at(u, m, rec, &q.p, &r.p, &mult.p);
        store(rem, r);
        return;
    }
    PolyHold lc;
    lc.p = lead_coef_poly(m);
    poly_assign(u, &r.p);
    drop_zero(&r.p);
    int32_t steps = 0;
    {
        NegatedTail mrest(m->next);
        while (r.p && top_degree(r.p) >= dm) {
            PolyHold t;
            t.p = take_leading_term(&r.p, dm);
            mult_into(&r.p, lc.p, rec);
            ++steps;
            if (mrest.p) {
                polynode* prod = nullptr;
                poly_mult(t.p, mrest.p, &prod, rec);
                add_into(&r.p, prod);
            }
        }
    }
    const int32_t e = du - dm + 1 - steps;
    if (r.p && full && e >= 1) {
        PolyHold c;
        poly_assign(lc.p, &c.p);
        if (e > 1) compute_power(&c.p, e, rec);
        mult_into(&r.p, c.p, rec);
    }
    store(rem, r);
}

void num_pseudo_div(polynode* u, polynode* m, polynode** quo, polynode** rem, polynode** mult, pt* rec) {
    num_pseudo_div_at(u, m, quo, rem, mult, rec, level_of(rec, 1));
}

void pseudo_field_coef_poly_div(polynode* u, polynode* m, pt* rec, polynode** quo, polynode** rem,
                                polynode** mult) {
    field_div_at(u, m, rec, quo, rem, mult);
}

bool unit_lead_div(polynode* u, polynode* m, polynode** quo, polynode** rem, pt* rec) {
    if (poly_iszero(m) || plain(u)) return false;
    Inverse unit;
    if (!unit_lead(m, rec, &unit)) return false;
    PolyHold q, r, mult;
    divide_by_inverse(u, m, rec, unit, &q.p, &r.p, &mult.p);
    if (quo) store(quo, q);
    if (rem) store(rem, r);
    return true;
}
