#include "quoly/trial_divide.h"

#include "gcd/image_reject.h"
#include "gcd/trialdiv.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/laurent.h"
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

// a (at rec's level) reaches the field levels: an element of the extension
// field, which divides every polynomial over it up to the integer
// denominator of its inverse.
bool field_divisor(polynode* a, pt* rec) {
    return field_depth > 0 && !lone(a) && level_of(rec) + poly_depth(a) - 1 >= field_depth;
}

// Top-level terms of p, counted up to 5.
int32_t capped_terms(const polynode* p) {
    int32_t n = 0;
    for (; p && n < 5; p = p->next) n++;
    return n;
}

// p's leading coefficient followed down from rec's level until a number or
// a field level is met; *at := the record of the level reached.
polynode* leading_chain(polynode* p, pt* rec, pt** at, const char* what) {
    while (!p->numb) {
        if (!rec) {
            tarvex_error(what, 1);
            abandon_statement();
        }
        if (field_depth > 0 && rec->level >= field_depth) break;
        p = p->pcoef;
        rec = rec->next;
    }
    *at = rec;
    return p;
}

// a's leading coefficient, followed down the free levels, ends in an
// element of the relation levels that is not a number.
bool lead_in_relations(polynode* a, pt* rec) {
    while (!a->numb && rec && !rec->relation) {
        a = a->pcoef;
        rec = rec->next;
    }
    return !a->numb && rec;
}

// The leading coefficient of a divides that of b, as it must when a
// divides b: a cheap refusal before the full division.
bool leading_coefs_divide(polynode* a, polynode* b, pt* rec) {
    pt *ra = nullptr, *rb = nullptr;
    polynode* la = leading_chain(a, rec, &ra, "leading_coef_check n");
    polynode* lb = leading_chain(b, rec, &rb, "leading_coef_check m");
    if (la->numb) {
        if (lb->numb) return number_divides(la->ncoef, lb->ncoef, false);
        return leaves_divisible(la->ncoef, lb);
    }
    // la stopped at the field level with an element of the field; lb is
    // there too, or a number.
    if (!lb->numb) return trial_poly_divide_noq(lb, la, ra, 0, 0, 0);
    PolyHold n;
    imag* copy = new_number();
    num_assign(lb->ncoef, copy);
    scalar_to_poly(copy, &n.p);
    free_imag(&copy);
    return trial_poly_divide_noq(n.p, la, ra, 0, 0, 0);
}

// A monomial factor cleared off a Laurent polynomial (a copy the caller
// owns): divisibility is decided on what is left, and the factor goes onto
// the quotient afterwards. The list goes back to the free list on every exit.
// The divisor loses its whole monomial content, positive powers too: every
// monomial is a unit here, and a divisor kept as y*h could not divide
// (x*y - 1)*h over the polynomials although it does over the Laurent ones.
// The dividend only needs lifting to a polynomial.
struct Padding {
    polynode* first = nullptr;
    polynode* last = nullptr;
    Padding() = default;
    Padding(const Padding&) = delete;
    Padding& operator=(const Padding&) = delete;
    ~Padding() { release_shift_list(&first, &last); }
    void clear(polynode** p, int32_t seed) {
        if (!lone(*p)) clear_bads(p, &first, &last, seed, SHIFT_ALL_LEVELS);
    }
    void put_back(polynode** p, int32_t sign) const {
        if (first) eliminate_bads(p, first, sign);
    }
};

// A number n divided by a Laurent polynomial d: a monomial times a number or
// a field element divides n; anything else cannot. *q := the quotient when
// perform is set and the answer is 1.
bool laurent_into_number(polynode* d, imag* n, bool perform, int opt_a, int opt_b, PolyHold* q) {
    PolyHold a;
    poly_assign(d, &a.p);
    Padding pad;
    pad.clear(&a.p, SHIFT_LEAST);
    if (!lone(a.p) && !field_divisor(a.p, polynames)) return false;
    PolyHold b;
    imag* copy = new_number();
    num_assign(n, copy);
    scalar_to_poly(copy, &b.p);
    free_imag(&copy);
    if (!check_polys(a.p, &b.p, polynames, perform, opt_a, opt_b)) return false;
    if (perform) {
        // n / (a * m) = (n / a) * m^-1.
        pad.put_back(&b.p, -1);
        q->p = b.release();
    }
    return true;
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
    if (field_divisor(a, rec)) {
        PolyHold quo;
        const int ok = trial_poly_divide(*b, a, &quo.p, rec, !opt_b, !perform, 0);
        if (ok && perform) {
            free_poly(b);
            *b = quo.release();
        }
        return ok;
    }
    // Over a relation without a field a number can be a multiple of a
    // polynomial (2 = t·t modulo t^2 - 2), and images that set its variable
    // to a value map no division: the division alone decides. So it does
    // where a leads with an element of field levels that a prime may split
    // (b·(5t + 6) = 2t + 1 for b = (t + 3)x^2 - 1 modulo 7 and t^2 - 2): a
    // leading zero divisor makes degrees and leading coefficients prove
    // nothing, and the division runs in the copies.
    if (nonfield_relation_inward(rec) || (modularmode && lead_in_relations(a, rec))) {
        PolyHold quo;
        const int ok = trial_poly_divide(*b, a, &quo.p, rec, 0, !perform, 0);
        if (ok && perform) {
            free_poly(b);
            *b = quo.release();
        }
        return ok;
    }
    if ((*b)->numb) return 0;
    if (a->exp > 0) {
        if ((*b)->exp == 0) return 0;
        // Few terms divide at once; the leading-coefficient test pays only
        // on longer polynomials.
        if (!lintmode && !opt_b && capped_terms(a) + capped_terms(*b) >= 7 && !leading_coefs_divide(a, *b, rec))
            return 0;
        int pretest = !opt_b;
        if (!opt_b) {
            // The images modulo a prime refuse most non-divisors for a small
            // part of the division's cost; images that divide leave nothing
            // for the evaluation pre-tests over the integers to find.
            const ImageVerdict v = image_division_test(*b, a, rec);
            if (v == ImageVerdict::not_divisible) return 0;
            if (v == ImageVerdict::divides) pretest = 0;
        }
        polynode* quo = nullptr;
        const int ok = trial_poly_divide(*b, a, &quo, rec, pretest, !perform, 0);
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
        error(281, token.name);
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
    } else if (u->isnum && laurent) {
        PolyHold q;
        ok = laurent_into_number(d->pnum, u->nnum, perform && !test_mode, opt_a, opt_b, &q);
        if (ok && perform && !test_mode) {
            quoly* r = nullptr;
            use_up_poly(&q.p, &r);
            q.p = nullptr;
            free_quoly(dividend);
            *dividend = r;
        }
    } else if (u->isnum) {
        // Only a field element divides a number, or an element of a ring
        // bound by a relation without a field; the quotient is a polynomial.
        ok = field_divisor(d->pnum, polynames) || nonfield_relation_inward(polynames);
        if (ok) {
            PolyHold b;
            imag* n = new_number();
            num_assign(u->nnum, n);
            scalar_to_poly(n, &b.p);
            free_imag(&n);
            ok = check_polys(d->pnum, &b.p, polynames, perform && !test_mode, opt_a, opt_b);
            if (ok && perform && !test_mode) {
                quoly* q = nullptr;
                use_up_poly(&b.p, &q);
                b.p = nullptr;
                free_quoly(dividend);
                *dividend = q;
            }
        }
    } else {
        // On a copy, so that a failure leaves the dividend whole.
        PolyHold b;
        poly_assign(u->pnum, &b.p);
        // Laurent mode: the negative powers are units; the division is
        // decided on what is left once both have had them lifted to 0.
        PolyHold a;
        Padding pad_a, pad_b, widen;
        polynode* divisor_poly = d->pnum;
        if (laurent) {
            poly_assign(d->pnum, &a.p);
            pad_a.clear(&a.p, SHIFT_LEAST);
            // The monomial taken off the divisor goes onto the dividend
            // before its negative powers are lifted, not onto the quotient
            // after; and where the coefficients may have zero divisors the
            // lifted dividend goes up by the divisor's degree in each variable
            // (2 + 4t and 2 + 3t multiply to 0 modulo 7 over t^2 - 2, and a
            // product with them loses its lowest terms).
            pad_a.put_back(&b.p, -1);
            pad_b.clear(&b.p, SHIFT_NEGATIVES);
            if (!lone(a.p) && coefficient_zero_divisors()) {
                degree_shifts(a.p, &widen.first, &widen.last);
                widen.put_back(&b.p, 1);
            }
            divisor_poly = a.p;
        }
        ok = check_polys(divisor_poly, &b.p, polynames, perform && !test_mode, opt_a, opt_b);
        if (ok && perform && !test_mode) {
            widen.put_back(&b.p, -1);
            pad_b.put_back(&b.p, 1);
            free_poly(&u->pnum);
            u->pnum = b.release();
            if (!u->den && lone(u->pnum)) polynum_to_quoly(dividend);
            else if (u->rat && !lone(u->pnum)) u->rat = 0;
        }
    }
    if (test_mode) {
        quoly_set(ok ? 1 : 0, divisor);
        return ok ? 1 : 0;
    }
    *flag = ok ? 0 : 1;
    return *flag;
}
