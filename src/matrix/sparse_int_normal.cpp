#include "matrix/sparse_int_normal.h"

#include <cstdio>
#include <vector>

#include "matrix/array_store.h"
#include "matrix/dense_vectors.h"
#include "matrix/flat_normal.h"
#include "matrix/hermite_by_inverse.h"
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

// Past this many cells (matrix and square transforms together) a dense
// copy would take too much memory; the sparse steps go on there.
constexpr int64_t kFlatCells = 1200000;

// Whether the dense flat road serves a sparse R x K matrix with transforms
// of t x t cells: it fits, and it is filled enough (or small enough) that
// whole-row scans cost no more than the sparse steps' fill-in.
bool flat_road(sparse* f, int64_t R, int64_t K, int64_t t) {
    if (R * K + t > kFlatCells) return false;
    if (R * K <= 10000) return true;
    int64_t filled = 0;
    for (int32_t r = 1; r <= R; r++)
        for (colm* e = *row_head(f, r); e; e = e->next) filled++;
    return filled * 10 >= R * K;
}

void read_flat(sparse* f, int32_t R, int32_t K, FlatMatrix& m) {
    m = FlatMatrix(R, K);
    for (int32_t r = 1; r <= R; r++)
        for (colm* e = *row_head(f, r); e; e = e->next) flat_read(e->val->nnum, m.at(r - 1, e->col - 1));
}

// Rows 1 .. n of f (emptied first) := m, or m transposed; zeros stay out.
void write_flat(FlatMatrix& m, sparse* f, bool transposed) {
    const int32_t n = transposed ? m.K : m.R, cols = transposed ? m.R : m.K;
    for (int32_t r = 1; r <= n; r++) {
        colm** head = row_head(f, r);
        while (*head) free_colm(head);
        colm** tail = head;
        for (int32_t c = 1; c <= cols; c++) {
            FlatInt& x = transposed ? m.at(c - 1, r - 1) : m.at(r - 1, c - 1);
            if (flat_zero(x)) continue;
            colm* e = take_colm();
            e->col = c;
            e->val = flat_quoly(x);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
}

// The exact Smith form with transforms on a dense flat copy, as the dense
// matrices take it (U kept transposed).
int32_t flat_sparse_smith(array* a, const int flags[4], sparse* out[4]) {
    const int32_t R = a->rows, K = array_columns(a);
    FlatMatrix m, t[4];
    read_flat(a->sparse, R, K, m);
    for (int i = 0; i < 4; i++)
        if (flags[i]) t[i] = flat_identity(i % 2 == 0 ? R : K);
    auto kept = [&](int i) { return flags[i] ? &t[i] : nullptr; };
    const int32_t rank = flat_smith(m, FlatTransform{kept(0), kept(2)}, FlatTransform{kept(1), kept(3)});
    write_flat(m, a->sparse, false);
    for (int i = 0; i < 4; i++) {
        if (!flags[i]) continue;
        sparse_init(&out[i], t[i].R);
        write_flat(t[i], out[i], i % 2 == 0);
    }
    return rank;
}

// The Hermite form on a dense flat copy, as the dense matrices take it.
int32_t flat_sparse_hermite(array* a, const int flags[4], sparse* out[4]) {
    const int32_t R = a->rows, K = array_columns(a);
    FlatMatrix m, v, vi;
    read_flat(a->sparse, R, K, m);
    FlatTransform t;
    if (flags[1]) v = flat_identity(K), t.fwd = &v;
    if (flags[3]) vi = flat_identity(K), t.inv = &vi;
    // A kept transform cannot be taken modulo the bound: it has a road of
    // its own.
    const int32_t rank = t.fwd || t.inv ? flat_hermite_kept(m, t, HermiteTrace::sparse)
                                        : flat_hermite(m, t, HermiteTrace::sparse, bounded_by(m, flags).get());
    write_flat(m, a->sparse, false);
    // Rows never move: T0 = T2 = I.
    for (int i = 0; i < 4; i += 2)
        if (flags[i]) spar_identi(&out[i], R, 0);
    FlatMatrix* kept[4] = {nullptr, &v, nullptr, &vi};
    for (int i = 1; i < 4; i += 2) {
        if (!flags[i]) continue;
        sparse_init(&out[i], K);
        write_flat(*kept[i], out[i], false);
    }
    return rank;
}

// The verbose display of the sparse steps' two phases, once their rank is
// known: the pivots placed (and the one looked for past the rank), then
// the diagonal positions settled.
void show_phases(int32_t side, int32_t rank) {
    {
        dense_vectors::VerboseLevel level("Phase 1, ", side);
        const int32_t every = disper(side);
        for (int32_t k = 1; k <= side && k <= rank + 1; k++)
            if (k % every == 0) level.step(k);
    }
    dense_vectors::VerboseLevel two("Smith Normal Form, phase 2's, rank ", rank);
    const int32_t every = disper(rank > 0 ? rank : 1);
    for (int32_t t = 1; t < rank; t++)
        if (t % every == 0) two.step(t);
}

// The invariants alone, exactly on a dense flat copy: faster than the
// steps modulo a multiple of the determinant, whose entries all grow to
// its size. Modulo m each then becomes gcd(d, m) as those steps leave it:
// 0 where m divides d, unless every_position asks for m there.
int32_t flat_sparse_invariants(array* a, quoly* m, bool every_position) {
    const int32_t R = a->rows, K = array_columns(a);
    FlatMatrix f;
    read_flat(a->sparse, R, K, f);
    int32_t nonzero = flat_smith(f, FlatTransform{}, FlatTransform{});
    if (m) {
        FlatInt mod, r;
        flat_read(m->nnum, mod);
        nonzero = 0;
        for (int32_t t = 0; t < R && t < K; t++) {
            FlatInt& d = f.at(t, t);
            if (flat_zero(d) && !every_position) continue;
            flat_rem(d, mod, r);
            if (flat_zero(r)) {
                d = every_position ? mod : FlatInt{};
                continue;
            }
            nonzero++;
            flat_gcd(r, mod, d);
        }
    }
    write_flat(f, a->sparse, false);
    // The steps modulo m count as their rank the entries m does not divide.
    if (verbose) show_phases(R < K ? R : K, nonzero);
    return nonzero;
}

}  // namespace

bool sparse_invariants_flat(array* a) { return flat_road(a->sparse, a->rows, array_columns(a), 0); }

int32_t sparse_int_hermite(array* a, const int flags[4], sparse* out[4]) {
    {
        const int64_t R = a->rows, K = array_columns(a);
        if (flat_road(a->sparse, R, K, (flags[1] || flags[3]) ? 2 * K * K : 0)) {
            dense_vectors::VerboseLevel level("Hermite Normal Form, side ", R < K ? R : K);
            return flat_sparse_hermite(a, flags, out);
        }
    }
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
    const int64_t R = a->rows, K = array_columns(a);
    const bool kept = flags[0] || flags[1] || flags[2] || flags[3];
    if (!kept && flat_road(a->sparse, R, K, 0)) return flat_sparse_invariants(a, m, every_position);
    if (!m && kept && flat_road(a->sparse, R, K, 2 * (R * R + K * K))) return flat_sparse_smith(a, flags, out);
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
