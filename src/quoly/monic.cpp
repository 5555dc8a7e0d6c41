// Making a polynomial monic modulo a prime or in an extension field, and
// division with remainder by a divisor whose leading coefficient inverts.
#include "quoly/monic.h"

#include "gcd/division_impl.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

using namespace division_impl;


// The inverse of a field element c at rec's level, as a polynomial padded
// up `pad` levels (the denominator of the inverse is divided out).
polynode* field_inverse(polynode* c, pt* rec, int32_t pad) {
    quoly* inv = nullptr;
    poly_mod_invert(c, &inv, rec);
    quoly_detail::QuolyHold hold(inv);
    PolyHold num;
    if (inv->isnum) {
        newpoly(&num.p);
        num.p->next = nullptr;
        num.p->exp = 0;
        num.p->numb = 1;
        num.p->ncoef = new_number();
        num_assign(inv->nnum, num.p->ncoef);
    } else {
        poly_assign(inv->pnum, &num.p);
        if (inv->den) num_poly_quot(num.p, inv->den->ncoef, 0);
        add_pad(&num.p, pad);
    }
    return num.release();
}

}  // namespace

void monic_poly(polynode** p, polynode** lc, pt* rec) {
    if (!modularmode) {
        // p = 1 * p: left as it is, with the multiplier 1.
        error(284, quoly_detail::current_token());
        poly_set(1, lc);
        return;
    }
    polynode* c;
    pt* w = rec;
    if (field_depth >= 1 && rec)
        c = field_leading_coef(*p, rec, &w);
    else
        c = leading_coef(*p);

    if (!c->numb) {
        // A field element: multiply through by its inverse.
        PolyHold inv;
        inv.p = field_inverse(c, w, w->level - rec->level);
        poly_mult(*p, inv.p, p, rec);
        free_poly(lc);
        *lc = inv.release();
        return;
    }
    int32_t v = c->ncoef->value;
    if (v == 0) {
        error(22, quotsign);
        poly_set(1, lc);
        return;
    }
    int32_t inv = 1;
    if (v != 1) emod_inverse(v, &inv);
    free_poly(lc);
    poly_set(v, lc);
    if (v != 1) mod_num_poly_mult(*p, inv);
}

void field_coef_poly_divide(polynode* u, polynode* m, pt* rec, polynode** quo, polynode** rem) {
    const bool zero = poly_iszero(m);
    if (zero) error(22, quotsign);
    const int32_t dm = top_degree(m);
    PolyHold q, r;
    // A zero m let through by the error divides nothing: u = 0 * m + u.
    if (zero || dm > top_degree(u) || poly_iszero(u)) {
        poly_assign(u, &r.p);
        poly_set(0, &q.p);
    } else {
        polynode* c = m->numb ? m : m->pcoef;
        int32_t inv = 1;
        PolyHold field_inv;
        if (c->numb && !c->next) {
            // Under a composite modulus the number may have no inverse:
            // emod_inverse says so with error 85 and ends the statement.
            if (!modularmode) tarvex_error("bad lead coef in field_coef_poly_divide.", 1);
            int32_t v = c->ncoef->value;
            if (v == 0) {
                // A non-zero m with a zero leading number is no polynomial.
                error(22, quotsign);
                abandon_statement();
            }
            if (v != 1) emod_inverse(v, &inv);
        } else {
            // The coefficient lives one level in; the inverse is wrapped back
            // to this level as an exponent-0 term. The levels inside need
            // not form the declared field: relations without the flag are
            // taken for fields while a gcd over them seeks an inverse, and
            // the inversion itself refuses a level that is none.
            if (field_depth < 1 && !(rec && rec->next))
                tarvex_error("bad lead coef in field_coef_poly_divide.", 1);
            field_inv.p = field_inverse(c, rec ? rec->next : nullptr, 1);
        }

        poly_assign(u, &r.p);
        NegatedTail mrest(m->next);
        polynode* tail = nullptr;
        while (r.p && top_degree(r.p) >= dm) {
            PolyHold t;
            t.p = take_leading_term(&r.p, dm);
            if (field_inv.p)
                poly_mult(t.p, field_inv.p, &t.p, rec);
            else if (inv != 1)
                mod_num_poly_mult(t.p, inv);
            if (mrest.p) {
                polynode* prod = nullptr;
                poly_mult(t.p, mrest.p, &prod, rec);
                add_into(&r.p, prod);
            }
            polynode* term = t.release();
            if (tail)
                tail->next = term;
            else
                q.p = term;
            tail = term;
        }
        if (!q.p) poly_set(0, &q.p);
        if (!r.p) poly_set(0, &r.p);
    }
    free_poly(quo);
    *quo = q.release();
    free_poly(rem);
    *rem = r.release();
}
