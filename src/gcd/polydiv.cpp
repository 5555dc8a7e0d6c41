// Division with remainder. A plain-number divisor acts coefficient by
// coefficient; a divisor free of the top variable divides each polynomial
// coefficient of the dividend; otherwise the one-variable schoolbook or
// divide-and-conquer division, or pseudo division.
#include "gcd/polydiv.h"

#include "gcd/division_impl.h"
#include "gcd/onevar_div.h"
#include "gcd/pseudo_div.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/levels.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"

namespace {

using namespace division_impl;



// A result list grown at its end; terms whose coefficient is zero are
// dropped, an exponent-0 term over a lone number becomes that number.
struct Builder {
    PolyHold head;
    polynode* tail = nullptr;
    void link(polynode* t) {
        if (tail) tail->next = t;
        else head.p = t;
        tail = t;
    }
    void number(imag* v) {   // a copy of v as the number node of the level
        if (iszero(v)) return;
        polynode* n = nullptr;
        poly_set(0, &n);
        num_assign(v, n->ncoef);
        link(n);
    }
    void term(int32_t e, polynode* c) {   // takes c over
        if (poly_iszero(c)) {
            free_poly(&c);
            return;
        }
        link(make_term(e, c));
    }
};

polynode* copy_of(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

// Copy-then-free of a finished value; null stands for zero.
void store(polynode** slot, polynode* v) {
    if (!v) poly_set(0, &v);
    polynode* old = *slot;
    *slot = v;
    if (old != v) free_poly(&old);
}

void store_pair(polynode** a, polynode* va, polynode** b, polynode* vb) {
    if (!va) poly_set(0, &va);
    if (!vb) poly_set(0, &vb);
    polynode* oa = *a;
    polynode* ob = *b;
    *a = va;
    *b = vb;
    if (ob == oa) ob = nullptr;
    free_poly(&oa);
    free_poly(&ob);
}

void laurent_check(polynode* u, polynode* m) {
    if (laurent && (anynegs(u) || anynegs(m))) {
        // The division steps below assume no negative exponents.
        error(205, token.name);
        abandon_statement();
    }
}

bool lead_is_one(polynode* m) {
    polynode* c = m->numb ? m : m->pcoef;
    return plain(c) && is_longint(c->ncoef, 1);
}

bool one_variable_mod(polynode* u, polynode* m) {
    return modularmode && (number_polys == 1 || (height_is_1(u) && height_is_1(m)));
}

// The record the pseudo division runs under: a private copy when the
// level lies inside the field levels, so that its products are not
// reduced modulo the field relation.
struct RecordChoice {
    pt* rec;
    pt* dummy = nullptr;
    explicit RecordChoice(pt* r) : rec(r) {
        if (r && field_depth > 0 && field_depth <= r->level) {
            newdummy(r, &dummy);
            rec = dummy;
        }
    }
    ~RecordChoice() {
        if (dummy) free_pt(&dummy);
    }
    RecordChoice(const RecordChoice&) = delete;
    RecordChoice& operator=(const RecordChoice&) = delete;
};

// Both operands free of the outer levels of rec: steps them down together;
// 0 when nothing can be stepped over.
int16_t step_down(polynode** u, polynode** m, pt** rec) {
    int16_t h = 0;
    findHeight(u, m, &h, rec);
    return h;
}

void pad(polynode** p, int16_t k) {
    if (k > 0 && !(*p)->numb) add_pad(p, k);
}

void gen_case_1(polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec) {
    if (top_degree(u) == 0) {
        if (top_degree(m) != 0) {
            store_pair(rem, copy_of(u), quo, nullptr);
            return;
        }
        polynode *su = u, *sm = m;
        pt* v = rec;
        const int16_t k = step_down(&su, &sm, &v);
        if (k == 0 || plain(su) || top_degree(su) == 0) {
            store_pair(rem, copy_of(u), quo, nullptr);
            return;
        }
        PolyHold r, q;
        poly_mod_and_div(su, sm, &r.p, &q.p, v);
        pad(&r.p, k);
        pad(&q.p, k);
        store_pair(rem, r.release(), quo, q.release());
        return;
    }
    if (top_degree(m) == 0) {
        polynode* lc = m->numb ? m : m->pcoef;
        Builder r, q;
        for (polynode* t = u; t; t = t->next) {
            if (t->numb) {
                r.number(t->ncoef);
                continue;
            }
            PolyHold rc, qc;
            poly_mod_and_div(t->pcoef, lc, &rc.p, &qc.p, inner(rec));
            r.term(t->exp, rc.release());
            q.term(t->exp, qc.release());
        }
        store_pair(rem, r.head.release(), quo, q.head.release());
        return;
    }
    if (one_variable_mod(u, m)) {
        basic_poly_divide(u, m, quo, rem, 1);
        return;
    }
    RecordChoice choice(rec);
    PolyHold q, r;
    if (!lead_is_one(m))
        pseudo_div(u, m, &q.p, &r.p, 1, choice.rec);
    else
        fast_mod_and_div(u, m, &r.p, &q.p, choice.rec, 0);
    store_pair(rem, r.release(), quo, q.release());
}

void gen_case(polynode* u, polynode* m, polynode** result, int op, pt* rec) {
    const bool want_rem = op == '|';
    if (top_degree(u) == 0) {
        PolyHold res;
        if (top_degree(m) == 0) {
            polynode *su = u, *sm = m;
            pt* v = rec;
            const int16_t k = step_down(&su, &sm, &v);
            if (k > 0 && !plain(su) && top_degree(su) != 0) {
                poly_mod_or_div(su, sm, &res.p, op, v);
                pad(&res.p, k);
                store(result, res.release());
                return;
            }
        }
        store(result, want_rem ? copy_of(u) : nullptr);
        return;
    }
    if (top_degree(m) == 0) {
        polynode* lc = m->numb ? m : m->pcoef;
        Builder b;
        for (polynode* t = u; t; t = t->next) {
            if (t->numb) {
                // A number coefficient is all remainder; for the quotient it
                // ends the list (only negative Laurent terms could follow).
                if (!want_rem) break;
                b.number(t->ncoef);
                continue;
            }
            PolyHold c;
            poly_mod_or_div(t->pcoef, lc, &c.p, op, inner(rec));
            b.term(t->exp, c.release());
        }
        store(result, b.head.release());
        return;
    }
    if (one_variable_mod(u, m)) {
        PolyHold q, r;
        if (want_rem && modularmode && mod_is_prime)
            simplest_poly_divide(u, m, nullptr, &r.p, 1);   // no quotient as long as u gathered
        else
            basic_poly_divide(u, m, &q.p, &r.p, 1);
        store(result, want_rem ? r.release() : q.release());
        return;
    }
    RecordChoice choice(rec);
    PolyHold res;
    if (!lead_is_one(m) && unit_lead_div(u, m, want_rem ? nullptr : &res.p, want_rem ? &res.p : nullptr, choice.rec)) {
        // A unit leading coefficient of a ring without a field divides as
        // over a field: the true quotient, not a scaled one.
        store(result, res.release());
        return;
    }
    if (want_rem) {
        pseudo_div_no_q(u, m, &res.p, choice.rec, 1);
    } else {
        PolyHold scratch;
        pseudo_div(u, m, &res.p, &scratch.p, 0, choice.rec);
    }
    store(result, res.release());
}

}  // namespace

void poly_mod_and_div(polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec) {
    if (!plain(m)) {
        if (plain(u)) {
            store_pair(rem, copy_of(u), quo, nullptr);
            return;
        }
        laurent_check(u, m);
        gen_case_1(u, m, rem, quo, rec);
        return;
    }
    imag* c = m->ncoef;
    if (plain(u)) {
        ImagHold r, q;
        mod_and_div(u->ncoef, c, r.n, q.n);
        Builder br, bq;
        br.number(r.n);
        bq.number(q.n);
        store_pair(rem, br.head.release(), quo, bq.head.release());
        return;
    }
    Builder r, q;
    for (polynode* t = u; t; t = t->next) {
        if (t->numb) {
            ImagHold rn, qn;
            mod_and_div(t->ncoef, c, rn.n, qn.n);
            r.number(rn.n);
            q.number(qn.n);
            continue;
        }
        PolyHold rc, qc;
        poly_mod_and_div(t->pcoef, m, &rc.p, &qc.p, inner(rec));
        r.term(t->exp, rc.release());
        q.term(t->exp, qc.release());
    }
    store_pair(rem, r.head.release(), quo, q.head.release());
}

void poly_mod_or_div(polynode* u, polynode* m, polynode** result, int op, pt* rec) {
    if (plain(m)) {
        imag* c = m->ncoef;
        Builder b;
        if (plain(u)) {
            ImagHold v;
            mod_or_div(u->ncoef, c, v.n, op, pos_mod);
            b.number(v.n);
        } else {
            for (polynode* t = u; t; t = t->next) {
                if (t->numb) {
                    ImagHold v;
                    mod_or_div(t->ncoef, c, v.n, op, pos_mod);
                    b.number(v.n);
                    continue;
                }
                PolyHold cc;
                poly_mod_or_div(t->pcoef, m, &cc.p, op, inner(rec));
                b.term(t->exp, cc.release());
            }
        }
        store(result, b.head.release());
        return;
    }
    if (plain(u)) {
        store(result, op == '|' ? copy_of(u) : nullptr);
        return;
    }
    laurent_check(u, m);
    gen_case(u, m, result, op, rec);
}

void basic_poly_divide(polynode* u, polynode* m, polynode** quo, polynode** rem, int fast) {
    if (poly_iszero(m)) {
        // A zero m divides nothing: u = 0 * m + u.
        error(22, quotsign);
        store_pair(rem, copy_of(u), quo, nullptr);
        return;
    }
    if (modularmode && mod_is_prime) {
        simplest_poly_divide(u, m, quo, rem, fast);
        return;
    }
    const int32_t dm = top_degree(m);
    if (dm > top_degree(u) || poly_iszero(u)) {
        store_pair(rem, copy_of(u), quo, nullptr);
        return;
    }
    imag* lc = (m->numb ? m : m->pcoef)->ncoef;
    int minus = 0;
    const bool unit = !modularmode && equal_to_pm1(lc, &minus);
    PolyHold r;
    Builder q;
    poly_assign(u, &r.p);
    {
        NegatedTail mrest(m->next);
        ImagHold t, left;
        while (r.p && top_degree(r.p) >= dm) {
            imag* c = (r.p->numb ? r.p : r.p->pcoef)->ncoef;
            if (unit) {
                if (minus) makeneg(c, t.n);
                else num_assign(c, t.n);
            } else if (modularmode) {
                quot(c, lc, t.n);
            } else {
                // Outside a field the division stops at the first leading
                // coefficient that lc(m) does not divide: the partial results
                // still satisfy u = q·m + r.
                divide(c, lc, t.n, left.n);
                if (!iszero(left.n)) break;
            }
            PolyHold term;
            term.p = take_leading_term(&r.p, dm);
            num_assign(t.n, (term.p->numb ? term.p : term.p->pcoef)->ncoef);
            if (mrest.p) {
                polynode* prod = nullptr;
                poly_mult(term.p, mrest.p, &prod, nullptr);
                add_into(&r.p, prod);
            }
            q.link(term.release());
        }
    }
    store_pair(quo, q.head.release(), rem, r.release());
}
