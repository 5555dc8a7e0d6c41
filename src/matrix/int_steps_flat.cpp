// The combined row and column step of the integer forms on flat digit
// arrays: the step runs once per entry of every elimination, and through
// quoly products and sums each entry's digit chain was walked and rebuilt
// four or five times.
#include "matrix/int_steps.h"

#include "numbers/ring.h"
#include "quoly/quoly.h"

namespace int_steps {

void Work::sub_reduced(quoly** x, quoly** y, int64_t stride, int32_t count, quoly* q) {
    if (lintmode || !q->isnum) {
        sub_scaled(x, y, stride, count, q);
        for (int32_t t = 0; t < count; t++) reduce(&x[t * stride]);
        return;
    }
    FlatInt fq, fx, fy, r;
    flat_read(q->nnum, fq);
    for (int32_t t = 0; t < count; t++) {
        quoly** cell = &x[t * stride];
        quoly* b = y[t * stride];
        if (quoly_iszero(b)) {
            reduce(cell);
            continue;
        }
        if (!b->isnum || !(*cell)->isnum) {
            sub_scaled(cell, &y[t * stride], 1, 1, q);
            reduce(cell);
            continue;
        }
        flat_read((*cell)->nnum, fx);
        flat_read(b->nnum, fy);
        flat_sub_mul(fx, fq, fy, r);
        // Into (-m/2, m/2] as reduce leaves it: the truncated remainder,
        // moved by m when it is still above half in size.
        if (m && flat_cmp_abs(r, flat_half) > 0) {
            flat_rem(r, flat_m, r);
            if (flat_cmp_abs(r, flat_half) > 0) {
                FlatInt moved, m_toward = flat_m;
                // r - m above, r + m below.
                if (r.sign < 0) m_toward.sign = -m_toward.sign;
                flat_sub(r, m_toward, moved);
                r = moved;
            }
        }
        quoly* fresh = nullptr;
        quoly_set(0, &fresh);
        flat_write(r, fresh->nnum);
        free_quoly(cell);
        *cell = fresh;
    }
}

}  // namespace int_steps
