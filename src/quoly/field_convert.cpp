// Field-element denominators moved into the numerator.
#include "quoly/field_convert.h"

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

using namespace quoly_detail;

void quoly_mod_convert(quoly* q) {
    quoly* inverse = nullptr;
    poly_mod_invert(q->den, &inverse, polynames);
    QuolyHold inv(inverse);
    // Nothing of q changes before the inverse exists.
    PolyHold n;
    if (inv.q->isnum) {
        PolyHold f;
        poly_set(0, &f.p);
        num_assign(inv.q->nnum, f.p->ncoef);
        poly_mult(q->pnum, f.p, &n.p, polynames);
    } else {
        poly_mult(q->pnum, inv.q->pnum, &n.p, polynames);
    }
    free_poly(&q->pnum);
    free_poly(&q->den);
    q->pnum = n.release();
    q->rat = 0;
    if (!inv.q->isnum && inv.q->den) {
        q->den = inv.q->den;
        inv.q->den = nullptr;
        sanitize(q);
        if (poly_eq_1(q->den)) free_poly(&q->den);
    }
    if (lone_number(q->pnum)) {
        // A zero product is a plain 0 (only a reducible "field" could give one).
        if (iszero(q->pnum->ncoef)) free_poly(&q->den);
        if (q->den) {
            q->rat = 1;
        } else {
            quoly* r = q;
            polynum_to_quoly(&r);
            q->den = nullptr;
        }
    }
}
