#include "matrix/sparse_int_normal.h"

#include <cstdio>
#include <vector>

#include "matrix/array_store.h"
#include "matrix/dense_vectors.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_int_steps.h"
#include "matrix/smith_units.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

void start_transforms(SparseIntWork* w, const int flags[4], sparse* out[4]) {
    for (int t = 0; t < 4; t++) {
        if (!flags[t]) continue;
        spar_identi(&out[t], t % 2 == 0 ? w->R : w->K, 0);
        w->T[t] = out[t];
    }
}

void scale_entry(colm* e, imag* k) { multiply(e->val->nnum, k, e->val->nnum); }

// (t, t) := gcd(d, m), or m for a d that m divides, the unit between them
// moved into t1 and t3; false when d is 0 modulo m.
bool settle_diagonal(SparseIntWork* w, int32_t t) {
    QuolyOwner g, u, v, zero;
    quoly_set(0, &g.q);
    quoly_set(0, &u.q);
    quoly_set(0, &v.q);
    quoly_set(0, &zero.q);
    quoly* d = w->get(t, t);
    const SmithEntry kind =
        smith_entry(d ? d->nnum : zero.q->nnum, w->m->nnum, g.q->nnum, u.q->nnum, v.q->nnum);
    if (kind == SmithEntry::scaled) {
        for (int32_t r = 1; w->T[1] && r <= w->K; r++)
            for (colm* e = *row_head(w->T[1], r); e && e->col <= t; e = e->next)
                if (e->col == t) scale_entry(e, v.q->nnum);
        for (colm* e = w->T[3] ? *row_head(w->T[3], t) : nullptr; e; e = e->next) scale_entry(e, u.q->nnum);
    }
    quoly** slot = nullptr;
    if (d) {
        colm* e = *w->head(t);
        while (e->col != t) e = e->next;
        slot = &e->val;
    } else {
        sparse_zero_set(w->head(t), t, &slot);
    }
    free_quoly(slot);
    *slot = g.q;
    g.q = nullptr;
    return kind != SmithEntry::zero;
}

}  // namespace

int32_t sparse_int_hermite(array* a, const int flags[4], sparse* out[4]) {
    SparseIntWork w(a->sparse, a->rows, array_columns(a));
    const int32_t side = w.R < w.K ? w.R : w.K;
    dense_vectors::VerboseLevel level("Hermite Normal Form, side ", side);
    start_transforms(&w, flags, out);
    std::vector<int32_t> pivot_rows;
    int sign = 1;
    const int32_t rank = sparse_phaseone(&w, 1, 0, &pivot_rows, &sign);
    sp_hermite_two(&w, pivot_rows);
    return rank;
}

int32_t sparse_int_smith(array* a, const int flags[4], sparse* out[4], quoly* m, bool every_position,
                         bool given_m) {
    SparseIntWork w(a->sparse, a->rows, array_columns(a));
    const int32_t side = w.R < w.K ? w.R : w.K;
    dense_vectors::VerboseLevel level("Smith Normal Form, side ", side);
    if (verbose && given_m && m) std::printf(" pseudo-determinant size: %d\n", static_cast<int>(m->nnum->count));
    start_transforms(&w, flags, out);
    if (m) w.set_modulus(m);
    int sign = 1;
    const int32_t rank = sparse_phaseone(&w, 1, 1, nullptr, &sign);
    {
        dense_vectors::VerboseLevel two("Smith Normal Form, phase 2's, rank ", rank);
        const int32_t every = disper(rank > 0 ? rank : 1);
        for (int32_t t = 1; t < rank; t++) {
            poll_interrupt();
            if (t % every == 0) two.step(t);
            sparse_phasetwo(&w, t, rank);
        }
    }
    if (!m) return rank;
    int32_t nonzero = 0;
    for (int32_t t = 1; t <= side; t++)
        if ((w.get(t, t) || every_position) && settle_diagonal(&w, t)) nonzero++;
    return nonzero;
}
