#include "quoly/trial_divide.h"

#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

bool lone(const polynode* p) { return p->numb && !p->next; }

// n divisible by d (digit numbers); with perform n := n / d.
bool number_divides(imag* d, imag* n, bool perform) {
    if (lintmode) {
        if (perform) n->value = modmult(n->value, imod_inverse(d->value));
        return true;
    }
    imag* q = new_number();
    imag* r = new_number();
    divide(n, d, q, r);
    const bool ok = iszero(r);
    if (ok && perform) num_assign(q, n);
    free_imag(&q);
    free_imag(&r);
    return ok;
}

bool leaves_divisible(imag* d, polynode* p) {
    for (; p; p = p->next) {
        if (p->numb) {
            if (!number_divides(d, p->ncoef, false)) return false;
        } else if (!leaves_divisible(d, p->pcoef)) {
            return false;
        }
    }
    return true;
}

void divide_leaves(imag* d, polynode* p) {
    for (; p; p = p->next) {
        if (p->numb)
            number_divides(d, p->ncoef, true);
        else
            divide_leaves(d, p->pcoef);
    }
}

// An exponent-0 term over a coefficient that became a lone number is that number.
void unwrap(polynode** slot) {
    polynode* t = *slot;
    if (!t->numb && t->exp == 0 && lone(t->pcoef)) {
        polynode* num = t->pcoef;
        num->next = t->next;
        t->pcoef = nullptr;
        t->next = nullptr;
        t->numb = 0;
        free_poly(&t);
        *slot = num;
    }
}

}  // namespace

int check_num_poly(imag* d, polynode* p, int perform) {
    if (!leaves_divisible(d, p)) return 0;
    if (perform) divide_leaves(d, p);
    return 1;
}

int height_check(polynode* d, polynode* p) {
    if (d->numb) return 1;
    if (d->exp > 0) return !p->numb && p->exp >= d->exp;
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) return 0;
        if (!height_check(d->pcoef, t->pcoef)) return 0;
    }
    return 1;
}

int check_polys(polynode* a, polynode** b, pt* rec, int perform, int opt_a, int opt_b) {
    (void)opt_a;
    if (lone(a)) {
        if (lone(*b)) return number_divides(a->ncoef, (*b)->ncoef, perform);
        return check_num_poly(a->ncoef, *b, perform);
    }
    if ((*b)->numb) return 0;
    if (a->exp > 0) {
        if ((*b)->exp == 0) return 0;
        polynode* quo = nullptr;
        const int ok = trial_poly_divide(*b, a, &quo, rec, !opt_b, !perform, 0);
        if (ok && perform && quo) {
            free_poly(b);
            *b = quo;
        } else {
            free_poly(&quo);
        }
        return ok;
    }
    // a does not depend on this level's variable: its one coefficient c
    // must divide every coefficient of b.
    polynode* c = a->pcoef;
    if ((*b)->exp == 0 && !(*b)->next) {
        if (!check_polys(c, &(*b)->pcoef, inner(rec), perform, opt_a, opt_b)) return 0;
        unwrap(b);
        return 1;
    }
    for (polynode* t = *b; t; t = t->next)
        if (t->numb || !height_check(c, t->pcoef)) return 0;
    for (polynode** slot = b; *slot; slot = &(*slot)->next) {
        if (!check_polys(c, &(*slot)->pcoef, inner(rec), perform, opt_a, opt_b)) return 0;
        if ((*slot)->exp == 0) unwrap(slot);
    }
    return 1;
}

int trial_divide(quoly** divisor, quoly** dividend, int perform, int opt_a, int opt_b, int* flag) {
    const bool test_mode = *flag != 0;
    if (lintmode && !(modularmode && mod_is_prime)) {
        error(281, "");
        abandon_statement(281);
    }
    quoly* u = *dividend;
    quoly* d = *divisor;
    bool ok;
    if (quoly_iszero(u)) {
        ok = true;
    } else if (d->isnum) {
        if (u->isnum) {
            imag* n = new_number();
            num_assign(u->nnum, n);
            ok = number_divides(d->nnum, n, true);
            if (ok && perform && !test_mode) num_assign(n, u->nnum);
            free_imag(&n);
        } else {
            ok = check_num_poly(d->nnum, u->pnum, perform && !test_mode);
        }
    } else if (u->isnum) {
        ok = false;
    } else {
        // On a copy, so that a failure leaves the dividend whole.
        polynode* b = nullptr;
        poly_assign(u->pnum, &b);
        ok = check_polys(d->pnum, &b, polynames, perform && !test_mode, opt_a, opt_b);
        if (ok && perform && !test_mode) {
            free_poly(&u->pnum);
            u->pnum = b;
            if (!u->den && lone(b)) polynum_to_quoly(dividend);
        } else {
            free_poly(&b);
        }
    }
    if (test_mode) {
        quoly_set(ok ? 1 : 0, divisor);
        return ok ? 1 : 0;
    }
    *flag = ok ? 0 : 1;
    return *flag;
}
