// Total evaluation: Horner's rule over the levels in quoly arithmetic, and
// its characteristic-2 form for multilinear polynomials at 0/1 points.
#include "builtins/total_eval.h"

#include "numbers/ring.h"
#include "poly/evaluate.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "toplevel/progress.h"

namespace {

using quoly_detail::QuolyHold;
// A number first in a chain is the whole polynomial only when nothing
// follows it: with Laurent exponents the terms of negative exponent come
// after the constant term.
using quoly_detail::lone_number;

// u unevaluated, at its full depth.
void padded_copy(polynode* u, quoly** slot, int16_t level) {
    p_q_assign(u, slot);
    if (!(*slot)->isnum) add_pad(&(*slot)->pnum, level);
}

long term_count(const polynode* u) {
    long n = 0;
    for (; u; u = u->next) n++;
    return n;
}

void power_in_place(quoly** q, int32_t n) {
    if (lintmode)
        lint_quoly_compute_power(q, n);
    else
        quoly_compute_power(q, n);
}

// *acc := *acc * x^e (e > 0) or *acc / x^-e (e < 0); scratch holds powers.
void times_power(quoly** acc, quoly* x, int32_t e, quoly** scratch) {
    if (e == 0) return;
    const int32_t m = e < 0 ? -e : e;
    quoly* factor = x;
    if (m > 1) {
        quoly_assign(x, scratch);
        power_in_place(scratch, m);
        factor = *scratch;
    }
    if (e > 0)
        fast_quoly_mult(acc, &factor);
    else
        fast_quoly_quot(acc, &factor, 0);
}

}  // namespace

void tot_eval_poly(polynode* u, quoly* values, quoly** slot, int16_t level, uint16_t keep) {
    free_quoly(slot);
    if (lone_number(u)) {
        poly_to_quoly(u, slot);
        return;
    }
    if (!values) {
        padded_copy(u, slot, level);
        return;
    }
    const long n = term_count(u);
    Progress progress("total eval, counting to ", n - 1);

    QuolyHold kept_variable(nullptr);
    quoly* x = values;
    if (keep > 0) {
        base_quoly(&kept_variable.q, level + 1);
        x = kept_variable.q;
    }
    quoly* inner_values = keep > 0 ? values : values->link;
    const uint16_t inner_keep = keep > 0 ? static_cast<uint16_t>(keep - 1) : 0;
    auto coefficient = [&](polynode* t, quoly** dst) {
        if (t->numb)
            poly_to_quoly(t, dst);
        else
            tot_eval_poly(t->pcoef, inner_values, dst, static_cast<int16_t>(level + 1), inner_keep);
    };

    QuolyHold result(nullptr);
    QuolyHold scratch(nullptr);
    coefficient(u, &result.q);
    int32_t previous = u->exp;
    long k = 0;
    for (polynode* t = u->next; t; t = t->next) {
        times_power(&result.q, x, previous - t->exp, &scratch.q);
        QuolyHold c(nullptr);
        coefficient(t, &c.q);
        best_quoly_add(&result.q, c.release());
        previous = t->exp;
        progress.step(++k);
    }
    times_power(&result.q, x, previous, &scratch.q);
    *slot = result.release();
}

void tot_eval_poly2(polynode* u, quoly* values, quoly** slot, int16_t level, uint16_t keep, int32_t remaining) {
    free_quoly(slot);
    if (lone_number(u)) {
        poly_to_quoly(u, slot);
        return;
    }
    if (!values) {
        padded_copy(u, slot, level);
        return;
    }
    if (keep == 0 && level + remaining == number_polys) {
        // Every variable from here inward has its 0/1 value: words only.
        PolyHold points;
        polynode** tail = &points.p;
        for (quoly* v = values; v; v = v->link) {
            poly_set(v->nnum->value, tail);
            tail = &(*tail)->next;
        }
        int32_t word = 0;
        tot_eval_poly2_fast(u, points.p, &word);
        quoly_set(word, slot);
        return;
    }
    const long n = u->next ? 2 : 1;
    Progress progress("total eval, numbers char 2, counting to ", n - 1);

    QuolyHold kept_variable(nullptr);
    if (keep > 0) base_quoly(&kept_variable.q, level + 1);
    const bool value_is_one = keep == 0 && values->nnum->value == 1;
    QuolyHold result(nullptr);
    long k = 0;
    for (polynode* t = u; t; t = t->next) {
        QuolyHold c(nullptr);
        if (keep == 0 && t->exp == 1 && !value_is_one) {
            quoly_set(0, &c.q);   // the term vanishes at 0
        } else if (t->numb) {
            poly_to_quoly(t, &c.q);
        } else if (keep > 0) {
            tot_eval_poly2(t->pcoef, values, &c.q, static_cast<int16_t>(level + 1), static_cast<uint16_t>(keep - 1),
                           remaining);
            if (t->exp == 1) fast_quoly_mult(&c.q, &kept_variable.q);
        } else {
            tot_eval_poly2(t->pcoef, values->link, &c.q, static_cast<int16_t>(level + 1), 0, remaining - 1);
        }
        if (!result.q) {
            result.q = c.release();
        } else if (result.q->isnum && c.q->isnum) {
            result.q->nnum->value ^= c.q->nnum->value;   // addition in characteristic 2
        } else {
            best_quoly_add(&result.q, c.release());
        }
        progress.step(++k);
    }
    *slot = result.release();
}
