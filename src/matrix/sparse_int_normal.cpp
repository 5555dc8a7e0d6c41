#include "matrix/sparse_int_normal.h"

#include <cstdio>
#include <vector>

#include "matrix/array_store.h"
#include "matrix/dense_vectors.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_int_steps.h"
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

// (t, t) := gcd(d, m), or m for a zero d.
void settle_diagonal(SparseIntWork* w, int32_t t) {
    QuolyOwner g;
    quoly_set(0, &g.q);
    quoly* d = w->get(t, t);
    if (!d)
        num_assign(w->m->nnum, g.q->nnum);
    else
        gcd(d->nnum, w->m->nnum, g.q->nnum);
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
    for (int32_t t = 1; t <= side; t++) {
        if (w.get(t, t) || every_position) settle_diagonal(&w, t);
        if (w.get(t, t)) nonzero++;
    }
    return nonzero;
}
