// Exact division. One term-by-term loop serves both the flagged and the
// in-place routines: it builds the quotient on copies and says whether the
// division came out exact, so that an in-place caller changes its operand
// only after success.
#include "gcd/exactdiv.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "gcd/division_impl.h"
#include "gcd/polydiv.h"
#include "gcd/pseudo_div.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/laurent.h"
#include "poly/measures.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

using namespace division_impl;



polynode* copy_of(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

void store(polynode** slot, polynode* v) {
    if (!v) poly_set(0, &v);
    polynode* old = *slot;
    *slot = v;
    if (old != v) free_poly(&old);
}

// Integers are divided exactly; residues and machine words by quot, which
// always has an answer there.
bool exact_numbers() { return !modularmode && !lintmode; }

// c := a / b; false when b does not divide a (integers only).
bool number_quot(imag* a, imag* b, imag* c) {
    if (!exact_numbers()) {
        quot(a, b, c);
        return true;
    }
    ImagHold r;
    divide(a, b, c, r.n);
    return iszero(r.n);
}

// A copy of u with every number divided by d; null when one does not divide.
polynode* divided_copy(polynode* u, imag* d) {
    if (u->numb && !u->next) {
        polynode* n = nullptr;
        poly_set(0, &n);
        if (!number_quot(u->ncoef, d, n->ncoef)) {
            free_poly(&n);
            return nullptr;
        }
        return n;
    }
    PolyHold head;
    polynode** link = &head.p;
    for (polynode* t = u; t; t = t->next) {
        polynode* n = nullptr;
        if (t->numb) {
            poly_set(0, &n);
            *link = n;
            link = &n->next;
            if (!number_quot(t->ncoef, d, n->ncoef)) return nullptr;
            continue;
        }
        polynode* c = divided_copy(t->pcoef, d);
        if (!c) return nullptr;
        newpoly(&n);
        n->next = nullptr;
        n->exp = t->exp;
        n->numb = 0;
        n->pcoef = c;
        *link = n;
        link = &n->next;
    }
    return head.release();
}

// The inverse of a field element as numerator · 1/den.
struct FieldInverse {
    PolyHold num;
    imag* den = nullptr;
    FieldInverse(polynode* p, pt* rec) {
        quoly* q = nullptr;
        poly_mod_invert(p, &q, rec);
        struct Free {
            quoly* q;
            ~Free() { free_quoly(&q); }
        } hold{q};
        if (q->isnum) {
            poly_set(0, &num.p);
            num_assign(q->nnum, num.p->ncoef);
        } else {
            poly_assign(q->pnum, &num.p);
        }
        if (q->den) {
            den = new_number();
            num_assign(q->den->ncoef, den);
        }
    }
    ~FieldInverse() {
        if (den) free_imag(&den);
    }
    FieldInverse(const FieldInverse&) = delete;
    FieldInverse& operator=(const FieldInverse&) = delete;
    // c · num / den, a new polynomial.
    polynode* times(polynode* c, pt* rec) const {
        PolyHold t;
        poly_mult(c, num.p, &t.p, rec);
        if (den) num_poly_quot(t.p, den, 0);
        return t.release();
    }
};

bool field_divisor(polynode* m, pt* rec) {
    return field_depth > 0 && rec && field_depth <= rec->level + poly_depth(m) - 1;
}

// t := c / lc for a coefficient c; false when lc does not divide c.
bool exact_div_coef(polynode* c, polynode* lc, pt* rec, PolyHold& t) {
    if (plain(lc)) {
        if (iszero(lc->ncoef)) {
            // The leading coefficient of a divisor cannot be 0: m is broken.
            error(22, quotsign);
            abandon_statement();
        }
        t.p = divided_copy(c, lc->ncoef);
        return t.p != nullptr;
    }
    int fail = 0;
    gen_poly_divide(c, lc, &t.p, rec, &fail);
    return !fail;
}

struct Outcome {
    bool exact = true;
    int32_t rem_degree = -1;   // the remainder's degree when one was left
};

// quo := u / m for m not led by a number (rec non-null). The core of
// gen_poly_divide from its field-divisor step on.
Outcome exact_div(polynode* u, polynode* m, pt* rec, PolyHold& quo) {
    Outcome out;
    auto inexact = [&out, &quo]() {
        free_poly(&quo.p);
        out.exact = false;
        return out;
    };
    if (field_divisor(m, rec)) {
        FieldInverse inv(m, rec);
        quo.p = inv.times(u, rec);
        return out;
    }
    if (plain(u)) {
        return poly_iszero(u) ? out : inexact();
    }
    if (number_polys == 1 || (height_is_1(u) && height_is_1(m))) {
        PolyHold r;
        basic_poly_divide(u, m, &quo.p, &r.p, 1);
        if (!poly_iszero(r.p)) {
            out.exact = false;
            out.rem_degree = top_degree(r.p);
        }
        return out;
    }
    const int32_t dm = top_degree(m), du = top_degree(u);
    if (dm > du) return poly_iszero(u) ? out : inexact();
    polynode* lc = m->pcoef;
    if (dm == 0) {
        polynode** link = &quo.p;
        for (polynode* t = u; t; t = t->next) {
            if (t->numb) return inexact();
            PolyHold c;
            if (!exact_div_coef(t->pcoef, lc, inner(rec), c)) return inexact();
            polynode* term = make_term(t->exp, c.release());
            *link = term;
            link = &term->next;
        }
        return out;
    }
    std::unique_ptr<FieldInverse> inv;
    if (field_depth > 0 && !lc->numb && field_depth <= poly_depth(lc) + level_of(rec)) {
        inv = std::make_unique<FieldInverse>(lc, inner(rec));
    }
    PolyHold r;
    poly_assign(u, &r.p);
    if (poly_iszero(r.p)) free_poly(&r.p);
    polynode** link = &quo.p;
    NegatedTail mrest(m->next);
    while (r.p && top_degree(r.p) >= dm) {
        const int32_t e = top_degree(r.p) - dm;
        polynode* c = r.p->numb ? r.p : r.p->pcoef;
        PolyHold t;
        if (plain(lc)) {
            t.p = divided_copy(c, lc->ncoef);
            if (!t.p) return inexact();
        } else if (inv) {
            t.p = inv->times(c, inner(rec));
        } else if (!exact_div_coef(c, lc, inner(rec), t)) {
            return inexact();
        }
        if (poly_iszero(t.p)) return inexact();
        PolyHold lead;
        lead.p = r.p;
        r.p = lead.p->next;
        lead.p->next = nullptr;
        polynode* term = make_term(e, t.release());
        *link = term;
        link = &term->next;
        if (mrest.p) {
            polynode* prod = nullptr;
            poly_mult(term, mrest.p, &prod, rec);
            add_into(&r.p, prod);
        }
    }
    if (r.p) {
        out.exact = false;
        out.rem_degree = top_degree(r.p);
    }
    return out;
}

// Modulo a composite number the coefficients have zero divisors: the
// remainder sequences and contents that promise these divisions exact hold
// over a domain only, so a divisor that fails there is no internal fault
// but a gcd the modulus does not have. The refusal is the one for a
// missing inverse, and the operand is left as it was.
void refuse_composite_divisor() {
    if (modularmode && !mod_is_prime && !finf) refuse_without_inverse();
}

}  // namespace

void gen_poly_divide(polynode* u, polynode* m, polynode** quo, pt* rec, int* fail) {
    *fail = 0;
    if (!rec) tarvex_error("pt nil in poly_divide.", 1);
    if (poly_iszero(m)) {
        // The exact divisors come from gcds and contents, never 0: the
        // state is inconsistent.
        error(22, quotsign);
        abandon_statement();
    }
    PolyHold q;
    if (m->numb) {
        if (modularmode && plain(m) && is_longint(m->ncoef, 1)) {
            store(quo, copy_of(u));
            return;
        }
        tarvex_error("m is number in poly_divide.", 1);
        // Should the report return, the division goes on as a division by
        // the number.
        if (plain(m)) {
            q.p = divided_copy(u, m->ncoef);
            *fail = q.p == nullptr;
        } else {
            *fail = 1;
        }
        store(quo, q.release());
        return;
    }
    if (!exact_div(u, m, rec, q).exact) *fail = 1;
    store(quo, q.release());
}

void clear_and_operate(polynode** u, polynode** m, polynode** quo, polynode** rem, polynode** mult,
                       int restore_u, int divide, pt* rec, int* fail) {
    *fail = 0;
    // The shift of u's negative exponents, put back on u on every exit
    // (when the division unwinds whatever restore_u says).
    // Where the coefficients may have zero divisors the lifted u goes up by
    // m's degree in each variable too, and always comes back down from it.
    struct Shift {
        polynode** u;
        polynode* first = nullptr;
        polynode* last = nullptr;
        polynode* wide_first = nullptr;
        polynode* wide_last = nullptr;
        bool restore = true;
        ~Shift() {
            if (wide_first) {
                eliminate_bads(u, wide_first, -1);
                release_shift_list(&wide_first, &wide_last);
            }
            if (first && restore) eliminate_bads(u, first, 1);
            if (first) release_shift_list(&first, &last);
        }
    } shift{u};
    if (!plain(*u)) clear_bads(u, &shift.first, &shift.last, SHIFT_NEGATIVES, SHIFT_ALL_LEVELS);
    if (divide && !plain(*u) && !plain(*m) && coefficient_zero_divisors()) {
        degree_shifts(*m, &shift.wide_first, &shift.wide_last);
        if (shift.wide_first) eliminate_bads(u, shift.wide_first, 1);
    }
    PolyHold q;
    if (divide) {
        gen_poly_divide(*u, *m, &q.p, rec, fail);
    } else {
        PolyHold r, mu;
        num_pseudo_div(*u, *m, &q.p, &r.p, &mu.p, rec);
        store(rem, r.release());
        store(mult, mu.release());
    }
    if (shift.wide_first) eliminate_bads(&q.p, shift.wide_first, -1);
    if (shift.first) eliminate_bads(&q.p, shift.first, 1);
    shift.restore = restore_u != 0;
    store(quo, q.release());
}

void Lpoly_divide(polynode** u, polynode** m, polynode** quo, int restore_u, pt* rec, int* fail) {
    if (!laurent) {
        gen_poly_divide(*u, *m, quo, rec, fail);
        return;
    }
    clear_and_operate(u, m, quo, nullptr, nullptr, restore_u, 1, rec, fail);
}

void fast_poly_divide(polynode** u, polynode* m, pt* rec, int32_t code) {
    if (!rec) tarvex_error("pt nil in fast_poly_divide.", 1);
    if (m->numb) tarvex_error("m is number in fast_poly_divide.", 1);
    const int32_t dm = top_degree(m);
    if ((*u)->numb) {
        if (poly_iszero(*u)) return;
        refuse_composite_divisor();
        std::printf("*** n is number in fast_poly_divide, %li, %li, %li\n", static_cast<long>(dm), 0L,
                    static_cast<long>(code));
        tarvex_error("n is number in fast_poly_divide.", 1);
        return;
    }
    const int32_t du = top_degree(*u);
    if (dm > du) {
        refuse_composite_divisor();
        std::printf("*** bad exps %li, %li, %li, %li, %li\n", static_cast<long>(dm), static_cast<long>(du),
                    static_cast<long>(poly_numterms(m, level_of(rec))),
                    static_cast<long>(poly_numterms(*u, level_of(rec))), static_cast<long>(code));
        tarvex_error("bad exps in fast_poly divide. ", 1);
        return;
    }
    PolyHold q;
    Outcome out = exact_div(*u, m, rec, q);
    if (!out.exact) {
        refuse_composite_divisor();
        if (dm == 0) {
            tarvex_error("head number in fast_poly_divide.", 1);
            return;
        }
        std::printf("*** bad nexp in fast_poly_divide, %li, %li, %li\n", static_cast<long>(dm),
                    static_cast<long>(out.rem_degree), static_cast<long>(code));
        tarvex_error("bad nexp in fast_poly_divide.", 1);
        return;
    }
    store(u, q.release());
}

void fast_divide(polynode** u, polynode* m, pt* rec, int32_t code) {
    if (!*u || plain(*u)) {
        if (*u && !poly_iszero(*u)) tarvex_error(" tp numb in fast_divide.", 1);
        return;
    }
    // The new coefficients are all formed before any replaces its old one,
    // so that a failing division leaves u as it was.
    struct Coefs {
        std::vector<polynode*> v;
        ~Coefs() {
            for (polynode*& p : v) free_poly(&p);
        }
    } fresh;
    for (polynode* t = *u; t; t = t->next) {
        if (t->numb) tarvex_error(" tp numb in fast_divide.", 1);
        fresh.v.push_back(nullptr);
        if (m->numb) {
            poly_quot(t->pcoef, m, &fresh.v.back(), code);
        } else {
            poly_assign(t->pcoef, &fresh.v.back());
            fast_poly_divide(&fresh.v.back(), m, inner(rec), code);
        }
    }
    size_t i = 0;
    for (polynode* t = *u; t; t = t->next, i++) {
        std::swap(t->pcoef, fresh.v[i]);
        if (t->exp == 0 && plain(t->pcoef)) remove_dummy(t);
    }
}

void poly_quot(polynode* u, polynode* m, polynode** result, int32_t code) {
    if (plain(m) && is_longint(m->ncoef, 1)) {
        store(result, copy_of(u));
        return;
    }
    if (!plain(m)) {
        std::printf("code %li\n", static_cast<long>(code));
        tarvex_error("divisor not number in poly quot.", 1);
        if (lintmode) std::printf("  modularmode");
        std::printf("\n");
        std::fflush(stdout);
        return;
    }
    if (iszero(m->ncoef)) {
        // Goes on as the division by 1 above.
        error(22, quotsign);
        store(result, copy_of(u));
        return;
    }
    PolyHold q;
    if (plain(u)) {
        poly_set(0, &q.p);
        if (!number_quot(u->ncoef, m->ncoef, q.p->ncoef)) {
            std::printf("code %li\n", static_cast<long>(code));
            tarvex_error("zero node t.", 1);
            return;
        }
        store(result, q.release());
        return;
    }
    polynode** link = &q.p;
    for (polynode* t = u; t; t = t->next) {
        polynode* n = nullptr;
        if (t->numb) {
            poly_set(0, &n);
            *link = n;
            link = &n->next;
            // An inexact or vanishing leaf quotient means m was not a
            // divisor of u after all.
            if (!number_quot(t->ncoef, m->ncoef, n->ncoef) || iszero(n->ncoef)) {
                std::printf("code %li\n", static_cast<long>(code));
                tarvex_error("zero node t.", 1);
                return;
            }
            continue;
        }
        PolyHold c;
        poly_quot(t->pcoef, m, &c.p, code - 1001);
        n = make_term(t->exp, c.release());
        *link = n;
        link = &n->next;
    }
    store(result, q.release());
}

void trial_poly_quot(polynode* u, polynode* m, polynode** result, int* ok) {
    *ok = 1;
    polynode* d = m->numb ? m : m->pcoef;
    if (iszero(d->ncoef)) {
        error(22, quotsign);
        *ok = 0;
        return;
    }
    polynode* q = divided_copy(u, d->ncoef);
    if (!q) {
        *ok = 0;
        return;
    }
    store(result, q);
}

void clear_up(polynode** p) {
    if (lintmode || modularmode || poly_iszero(*p)) return;
    ImagHold g;
    find_gcdcoefs(*p, g.n);
    if (!is_longint(g.n, 1)) num_poly_quot(*p, g.n, 0);
}
