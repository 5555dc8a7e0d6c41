// Derivatives of quolys: the numerator alone when the denominator is a
// constant or does not depend on the variable, the quotient rule over
// gcd(d, d') otherwise, so that the result needs only that one gcd before
// its closing normalisation.
#include "builtins/derivative.h"

#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

using quoly_detail::lone_number;

// Numbers have derivative 0; rationals exist outside machine-integer mode only.
bool is_constant(const quoly* q) { return q->isnum || (q->rat && !lintmode); }

// A polynomial quoly whose numerator came out a lone number is that number.
void settle_polynomial(quoly** slot) {
    if (lone_number((*slot)->pnum)) polynum_to_quoly(slot);
}

polynode* product(polynode* a, polynode* b) {
    polynode* c = nullptr;
    poly_mult(a, b, &c, polynames);
    return c;
}

}  // namespace

void quoly_differen_once(quoly** slot, int32_t level) {
    quoly* q = *slot;
    if (is_constant(q)) {
        quoly_set(0, slot);
        return;
    }
    if (!q->den) {
        general_poly_diff(&q->pnum, 1, static_cast<int16_t>(level));
        settle_polynomial(slot);
        return;
    }
    if (level == 1 && q->den->exp == 0) {
        // The denominator does not depend on the outermost variable.
        poly_diff(&q->pnum, 1);
        check_quoly(slot, laurent);
        return;
    }
    polynode* n = q->pnum;
    polynode* d = q->den;
    PolyHold dn, dd;
    poly_assign(n, &dn.p);
    poly_assign(d, &dd.p);
    general_poly_diff(&dn.p, 1, static_cast<int16_t>(level));
    general_poly_diff(&dd.p, 1, static_cast<int16_t>(level));
    PolyHold num, den;
    if (poly_iszero(dd.p)) {
        num.p = dn.release();
        poly_assign(d, &den.p);
    } else {
        num.p = product(d, dn.p);
        PolyHold g(quoly_detail::direct_gcd(d, dd.p));   // the gcd's bookkeeping reset around it
        PolyHold ndd(product(n, dd.p));
        best_poly_sub(num.release(), ndd.release(), &num.p);
        if (g.p->numb) {
            den.p = product(d, d);
        } else {
            // g divides d and d', so also d n' - n d'.
            PolyHold reduced_d;
            poly_assign(d, &reduced_d.p);
            reduce(&num.p, &reduced_d.p, &g.p, &num.p, &reduced_d.p, laurent, laurent, 0, 0);
            den.p = product(d, reduced_d.p);
        }
    }
    if (poly_iszero(den.p)) {
        error(22, "/");
        quoly_set(1, slot);
        return;
    }
    free_poly(&q->pnum);
    free_poly(&q->den);
    q->pnum = num.release();
    q->den = den.release();
    check_quoly(slot, laurent);
}

void differentiate(quoly** slot, int32_t level, int32_t k) {
    quoly* q = *slot;
    if (is_constant(q)) {
        quoly_set(0, slot);
        return;
    }
    if (!q->den || lone_number(q->den)) {
        general_poly_diff(&q->pnum, k, static_cast<int16_t>(level));
        if (!q->den)
            settle_polynomial(slot);
        else
            check_quoly(slot, laurent);
        return;
    }
    for (int32_t i = 0; i < k; i++) quoly_differen_once(slot, level);
}
