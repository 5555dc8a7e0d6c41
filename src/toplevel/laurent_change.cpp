// Laurent mode on and off: with it on a monomial denominator becomes
// negative exponents of the numerator (the normal form), with it off
// negative exponents go back into a monomial denominator. Every stored
// value is rewritten when the mode changes.
#include "interp/scalars.h"
#include "numbers/ring.h"
#include "poly/laurent.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "interp/token.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/ring_change.h"

void change_quol(quoly** slot) {
    quoly* q = *slot;
    if (!q || q->isnum || q->rat) return;
    if (laurent) {
        if (!q->den) return;
        if (lintmode)
            lint_normal_form(q, 1);
        else
            normal_form(q, 1);
        return;
    }
    polynode* first = nullptr;
    polynode* last = nullptr;
    clear_bads(&q->pnum, &first, &last, SHIFT_NEGATIVES, 0);
    if (!first) return;
    if (!q->den) poly_set(1, &q->den);
    eliminate_bads(&q->den, first, -1);
    release_shift_list(&first, &last);
}

void change_laurent(int state) {
    if (lintmode) {
        error(235, token.name);
        return;
    }
    laurent = state;
    change_quol(&prevnum);
    if (sysnum) change_quol(&sysnum);
    for (int32_t b = 0; b < SCA_BUCKETS; b++)
        for (var* v = sca_store[b]; v; v = v->next) change_quol(&v->value);
    laurent_change_arrays();
}
