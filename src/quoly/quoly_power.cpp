// Powers of quolys (the "^" operator, negative exponents through the
// reciprocal) and the remainder and integer-quotient operators "|" and "\".
#include <cstdint>

#include "det/unit_det.h"
#include "gcd/polydiv.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"

using namespace quoly_detail;

namespace {

// The token reported with a zero denominator made by a power.
constexpr const char* EXPSIGN = "^";

// compute_power takes a signed count; larger exponents cannot leave a
// non-constant polynomial within 32-bit exponents anyway (error 156 there).
int32_t poly_exponent(uint32_t n) { return n > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(n); }

// *q := *q ^ n, n >= 1, in machine-integer mode.
void lint_power(quoly** q, uint32_t n) {
    quoly* x = *q;
    if (x->isnum) {
        number_power(x->nnum, n);
        return;
    }
    compute_power(&x->pnum, poly_exponent(n), polynames);
    if (pseudo_polynames && poly_iszero(x->pnum)) {
        quoly_set(0, q);
        return;
    }
    if (x->den) {
        compute_power(&x->den, poly_exponent(n), polynames);
        // Under a relation modulo a composite number a denominator can be
        // nilpotent, and no value has a zero denominator.
        if (poly_iszero(x->den)) {
            error(210, EXPSIGN);
            abandon_statement();
        }
        if (pseudo_polynames && !lone_number(x->den)) {
            // A relation can shrink the power of a denominator to one
            // that is neither monic nor coprime to the numerator's power.
            lint_check_quoly(q, 0);
            x = *q;
            if (x->isnum) return;
        } else if (lone_number(x->den)) {
            num_poly_quot(x->pnum, x->den->ncoef, 0);
            free_poly(&x->den);
        }
    }
    settle(q);
    if (composite_fraction(*q)) as_read_back(q);
}

// *q := *q ^ n, n >= 1, for a polynomial or fraction outside machine
// integers. Powers of coprime polynomials are coprime: only mod-out
// relations (which can make a power smaller) need a new cancellation.
void poly_power(quoly** q, uint32_t n) {
    quoly* x = *q;
    compute_power(&x->pnum, poly_exponent(n), polynames);
    if (pseudo_polynames && poly_iszero(x->pnum)) {
        quoly_set(0, q);
        return;
    }
    if (x->den) {
        compute_power(&x->den, poly_exponent(n), polynames);
        if (x->den->numb && lone_number(x->pnum)) {
            if (poly_iszero(x->den)) {
                // No value has a zero denominator: nothing to go on with.
                error(210, EXPSIGN);
                abandon_statement();
            }
            if (poly_eq_1(x->den)) {
                free_poly(&x->den);
            } else {
                NumberScratch s;
                imag* h = s.fresh();
                binary_gcd(x->pnum->ncoef, x->den->ncoef, h);
                if (!equal(h, number_1)) {
                    simple_quot(x->pnum->ncoef, h, 0);
                    simple_quot(x->den->ncoef, h, 0);
                    if (poly_eq_1(x->den)) free_poly(&x->den);
                }
                if (x->den) x->rat = 1;
            }
        } else if (pseudo_polynames) {
            if (poly_iszero(x->den)) {
                error(210, EXPSIGN);
                abandon_statement();
            }
            check_quoly(q, 0);
            x = *q;
        }
    }
    if (!x->isnum && lone_number(x->pnum)) {
        if (!x->den) settle(q);
        else if (x->den->numb) x->rat = 1;
    }
}

// *q := *q ^ n, n >= 1. Powers of a reduced rational stay reduced, and the
// denominator stays positive.
void power(quoly** q, uint32_t n) {
    if (lintmode) {
        lint_power(q, n);
        return;
    }
    quoly* x = *q;
    switch (kind_of(x)) {
    case PLAIN:
        number_power(x->nnum, n);
        return;
    case RATIONAL:
        number_power(x->pnum->ncoef, n);
        number_power(x->den->ncoef, n);
        return;
    case POLYNOMIAL:
        poly_power(q, n);
        return;
    }
}

// A new lone number node copying a plain number.
polynode* constant_of(quoly* q) {
    imag* c = new_number();
    num_assign(q->nnum, c);
    return new_number_node(c);
}

// The number that divides: a plain number's, or a rational's numerator.
imag* numerator_number(quoly* q) { return q->isnum ? q->nnum : q->pnum->ncoef; }

}  // namespace

void raise_to_power(quoly** q, imag* e, bool beyond_word) {
    quoly* x = *q;
    const bool residue = modularmode && mod_is_prime && x->isnum && x->nnum->value != 0;
    if (beyond_word && !residue) {
        error(32, current_token());
        return;
    }
    if (residue) {
        // x^(p-1) = 1 for a non-zero residue modulo a prime p; over a
        // composite modulus, or for 0, the exponent must stay as it is.
        const int64_t order = int64_t{modulus} - 1;
        int64_t r = int64_t{e->value} % order;
        if (r < 0) r += order;
        e->value = static_cast<int32_t>(r);
    }
    if (!lintmode && e->count >= 2) {
        error(32, current_token());
        return;
    }
    const int32_t n = convert_to_int(e);
    if (n > 0) {
        power(q, static_cast<uint32_t>(n));
    } else if (n == 0) {
        quoly_set(1, q);   // 0^0 included
    } else {
        // |INT32_MIN| only fits the unsigned word (machine-integer mode).
        power(q, 0u - static_cast<uint32_t>(n));
        quoly_reciprocal(q);
        // The reciprocal is a quotient: one by a zero divisor is refused as
        // "/" refuses it.
        require_regular_denominator(*q);
    }
}

void quoly_compute_power(quoly** q, int32_t n) {
    if (n < 1) {
        tarvex_error("negative exponent", 1);
        return;
    }
    power(q, static_cast<uint32_t>(n));
}

void lint_quoly_compute_power(quoly** q, int32_t n) {
    if (n < 1) {
        tarvex_error("negative exponent", 1);
        return;
    }
    lint_power(q, static_cast<uint32_t>(n));
}

namespace {

// p rem m ('|') or p quo m, as a new polynomial.
polynode* poly_rem_or_quo(polynode* p, polynode* m, int op) {
    polynode* r = nullptr;
    poly_mod_or_div(p, m, &r, op, polynames);
    return r;
}

}  // namespace

void quoly_mod_or_div(quoly* a, quoly* b, quoly** r, int op) {
    const Kind ka = kind_of(a), kb = kind_of(b);
    if (kb == PLAIN && iszero(b->nnum)) {
        // Checked here rather than in the kernels, so that a return from
        // the error at a nested command level goes on whatever a is: a
        // quotient 1, as every division by 0 gives, a remainder 0.
        error(22, current_token());
        quoly_set(op == '|' ? 0 : 1, r);
        return;
    }
    if (ka == POLYNOMIAL || kb == POLYNOMIAL) {
        // Only b's numerator divides; its denominator plays no part.
        PolyHold tb, ta;
        polynode* m = b->isnum ? (tb.p = constant_of(b)) : b->pnum;
        QuolyHold t(blank_quoly());
        if (a->isnum) {
            ta.p = constant_of(a);
            t.q->pnum = poly_rem_or_quo(ta.p, m, op);
        } else {
            t.q->pnum = poly_rem_or_quo(a->pnum, m, op);
            if (a->den) {
                t.q->den = poly_rem_or_quo(a->den, m, op);
                if (poly_iszero(t.q->den)) {
                    error(210, current_token());
                    return;
                }
                check_quoly(&t.q, 0);
            }
        }
        settle(&t.q);
        free_quoly(r);
        *r = t.release();
        return;
    }
    // Only b's numerator divides; a's numerator and denominator are each
    // reduced by it, so a rational a can come out with any denominator.
    imag* m = numerator_number(b);
    if (ka == PLAIN) {
        QuolyHold t(plain_quoly(new_number()));
        mod_or_div(a->nnum, m, t.q->nnum, op, pos_mod);
        free_quoly(r);
        *r = t.release();
        return;
    }
    NumberScratch s;
    imag* num = s.fresh();
    imag* den = s.fresh();
    mod_or_div(a->pnum->ncoef, m, num, op, pos_mod);
    mod_or_div(a->den->ncoef, m, den, op, pos_mod);
    if (iszero(den)) {
        error(210, current_token());
        return;
    }
    QuolyHold t(blank_quoly());
    t.q->pnum = new_number_node(s.keep(num));
    t.q->den = new_number_node(s.keep(den));
    check_quoly(&t.q, 0);
    free_quoly(r);
    *r = t.release();
}

void quoly_mod_and_quot(quoly** a, quoly** b) {
    if (kind_of(*b) == PLAIN && iszero((*b)->nnum)) {
        // As in quoly_mod_or_div: remainder 0 and quotient 1 whatever a is.
        error(22, current_token());
        if (*a == *b) *b = nullptr;   // one record, freed once
        quoly_set(0, a);
        quoly_set(1, b);
        return;
    }
    if (kind_of(*a) == POLYNOMIAL || kind_of(*b) == POLYNOMIAL) {
        // The numerators divide (a plain number as a constant polynomial).
        PolyHold ta, tb, rem, quo;
        polynode* u = (*a)->isnum ? (ta.p = constant_of(*a)) : (*a)->pnum;
        polynode* m = (*b)->isnum ? (tb.p = constant_of(*b)) : (*b)->pnum;
        poly_mod_and_div(u, m, &rem.p, &quo.p, polynames);
        QuolyHold ra(blank_quoly()), rb(blank_quoly());
        ra.q->pnum = rem.release();
        rb.q->pnum = quo.release();
        settle(&ra.q);
        settle(&rb.q);
        const bool same = *a == *b;
        free_quoly(a);
        if (same) *b = nullptr;
        else free_quoly(b);
        *a = ra.release();
        *b = rb.release();
        return;
    }
    // Denominators play no part: the numerators are divided.
    NumberScratch s;
    imag* rem = s.fresh();
    imag* quo = s.fresh();
    mod_and_div(numerator_number(*a), numerator_number(*b), rem, quo);
    quoly* old_a = *a;
    quoly* old_b = *b;
    *a = plain_quoly(s.keep(rem));
    *b = plain_quoly(s.keep(quo));
    const bool same = old_a == old_b;
    free_quoly(&old_a);
    if (!same) free_quoly(&old_b);
}
