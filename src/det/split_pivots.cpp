#include "det/split_pivots.h"

#include "det/det_state.h"
#include "det/elim_steps.h"
#include "gcd/split_copies.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

bool vanishing_copies(quoly* q, uint64_t* where) {
    *where = 0;
    return q->isnum || (!q->rat && split_copies_vanishing(q->pnum, where));
}

quoly* idempotent_quoly(uint64_t copies) {
    polynode* e = split_copies_idempotent(copies);
    if (!e) return nullptr;
    quoly* q = nullptr;
    p_q_assign(e, &q);
    free_poly(&e);
    return q;
}

void cut_dead_copies(quoly** det, uint64_t dead) {
    if (!dead) return;
    quoly* e = idempotent_quoly(dead);
    if (!e) return;
    quoly* part = nullptr;
    quoly_mult(*det, e, &part);
    free_quoly(&e);
    best_quoly_sub(det, part);
}

namespace {

// Error 22 unless the leading coefficient of pivot (a polynomial) is proved a unit.
void refuse_unless_unit_lead(quoly* pivot) {
    PolyHold copy, lead;
    poly_assign(pivot->pnum, &copy.p);
    bool unit = true;
    try {
        ZeroDivisorEscape escape;
        monic_poly(&copy.p, &lead.p, polynames);
    } catch (const ZeroDivisorMet&) {
        unit = false;
    }
    if (!unit) zero_divisor_met();
}

}  // namespace

void refuse_unproved_pivot(quoly* pivot) {
    if (pivot->isnum || quoly_iszero(pivot) || !split_copies_missing()) return;
    refuse_unless_unit_lead(pivot);
}

void refuse_rational_field_pivot(quoly* pivot) {
    if (modularmode || field_depth <= 0 || pivot->isnum || pivot->rat || quoly_iszero(pivot)) return;
    // The leading coefficient down the free levels, an element of the field levels.
    polynode* c = pivot->pnum;
    pt* rec = polynames;
    while (!c->numb && rec && !rec->relation) {
        c = c->pcoef;
        rec = rec->next;
    }
    if (c->numb || !rec || !rec->field || rec->level < field_depth) return;
    QuolyOwner inverse;
    poly_mod_invert(c, &inverse.q, rec);   // error 22 where it has none
}

namespace {

inline quoly*& at(quoly** c, int32_t n, int32_t i, int32_t j) { return c[int64_t{j} * n + i]; }

bool zero_divisor_cell(quoly* q) {
    return !q->isnum && !q->rat && !quoly_iszero(q) && split_copies_zero_divisor(q->pnum);
}

}  // namespace

uint64_t mend_dense_pivot(quoly** w, int32_t k, int32_t n, quoly* dead_weight, bool record, col** list) {
    const int32_t p = k - 1;
    uint64_t left = 0;
    refuse_unproved_pivot(at(w, n, p, p));
    if (!zero_divisor_cell(at(w, n, p, p)) || !vanishing_copies(at(w, n, p, p), &left)) return 0;
    for (int32_t j = k; j < n && left; j++) {
        quoly* e = at(w, n, j, p);
        uint64_t v = 0;
        if (quoly_iszero(e) || !vanishing_copies(e, &v) || !(left & ~v)) continue;
        QuolyOwner factor(idempotent_quoly(left & ~v));
        if (!factor.q) return 0;
        left &= v;
        for (int32_t c = p; c < n; c++) {
            quoly* b = at(w, n, j, c);
            if (quoly_iszero(b)) continue;
            quoly* t = nullptr;
            quoly_mult(factor.q, b, &t);
            best_quoly_add(&at(w, n, p, c), t);
        }
        if (record) {
            quoly* minus = nullptr;
            quoly_assign(factor.q, &minus);
            quoly_inplace(minus);
            push_col(list, j, p, minus);
        }
    }
    if (!left || record) return left;
    quoly* e = idempotent_quoly(left);
    if (!e) return 0;
    if (dead_weight) fast_quoly_mult(&e, &dead_weight);
    best_quoly_add(&at(w, n, p, p), e);
    return left;
}

bool divides_in_copies(quoly* c) { return !c->isnum && !c->rat && split_copies_lead_zero_divisor(c->pnum); }

bool divide_in_copies(quoly** s, quoly* c) {
    if ((*s)->rat || c->isnum || c->rat) return false;
    PolyHold number, quo;
    if ((*s)->isnum) {
        imag* n = new_number();
        num_assign((*s)->nnum, n);
        scalar_to_poly(n, &number.p);
        free_imag(&n);
    }
    if (split_copies_factor_divide(number.p ? number.p : (*s)->pnum, c->pnum, &quo.p) <= 0) return false;
    quoly* r = nullptr;
    use_up_poly(&quo.p, &r);
    quo.p = nullptr;
    free_quoly(s);
    *s = r;
    return true;
}
