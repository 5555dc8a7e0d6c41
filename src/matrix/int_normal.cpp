#include "matrix/int_normal.h"

#include <cstdio>
#include <vector>

#include "matrix/flat_normal.h"
#include "matrix/hermite_by_inverse.h"
#include "matrix/int_steps.h"
#include "matrix/smith_units.h"

#include "det/det_state.h"
#include "matrix/dense_rowcol.h"
#include "matrix/dense_vectors.h"
#include "matrix/measures.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace dense_vectors;
using namespace int_steps;

namespace {

// Clears column and row of the pivot (prow, pcol) in the block from k, the
// pivot moving to every smaller entry the reductions leave: the rows are
// reduced first, one at a time, so that the pivot column runs through a
// Euclidean chain; the row only once the column is clear, which touches
// the pivot row alone.
void clear_around(Work* w, int32_t k, int32_t* prow, int32_t* pcol) {
    for (;;) {
        poll_interrupt();
        bool moved = false;
        for (int32_t i = k; i < w->R && !moved; i++)
            if (i != *prow) moved = int_rowreduce(w, k, *prow, *pcol, i, prow, pcol) != 0;
        if (moved) continue;
        for (int32_t j = k; j < w->K && !moved; j++) {
            if (j == *pcol || fast_colreduce(w, *prow, *pcol, j) == 0) continue;
            *pcol = j;
            moved = true;
        }
        if (!moved) return;
    }
}

// Diagonalises the block from position k on by row and column operations,
// placing pivots k .. end - 1 at most (end < 0: up to the side); returns
// the position after the last pivot placed (the block's rank from k).
int32_t smith_phase_one(Work* w, int32_t k, int32_t end = -1) {
    const int32_t side = w->R < w->K ? w->R : w->K;
    if (end < 0 || end > side) end = side;
    VerboseLevel level("Phase 1, ", end - k);
    const int32_t every = disper(end - k);
    for (int32_t first = k; k < end; k++) {
        poll_interrupt();
        if ((k - first) % every == 0) level.step(k - first + 1);
        int32_t bi = 0, bj = 0;
        if (intfindbest(w, k, &bi, &bj) == 0) return k;
        clear_around(w, k, &bi, &bj);
        w->col_swap(k, bj);
        w->row_swap(k, bi);
        if (sign_of(w->cell(k, k)) < 0) w->col_neg(k);
    }
    return end;
}

// Makes each diagonal entry divide the next: at each position the best
// diagonal entry from there on leads; a later entry it does not divide is
// mixed into its column and the block from there diagonalised again.
void smith_phase_two(Work* w, int32_t rank) {
    if (verbose) dumpitt("Smith Normal Form, phase 2's, rank ", rank, 1, 1, 1);
    const int32_t every = disper(rank);
    QuolyOwner minus_one;
    quoly_set(-1, &minus_one.q);
    const int32_t last = rank - 1;
    for (int32_t t = 0; t < rank; t++) {
        poll_interrupt();
        if (verbose && t % every == 0) dumpitt(" ", t + 1, 0, 0, 1);
        int unit = 0;
        swap_them_1(w, t, best_on_diag(w, t, last, &unit));
        while (unit > 0) {
            const int32_t j = best_other(w, t, last);
            if (!j) break;
            w->col_sub(t, j, minus_one.q);
            smith_phase_one(w, t);
            swap_them_1(w, t, best_on_diag(w, t, last, &unit));
        }
    }
}

// The R x K cells := m, the old cells freed.
void give_back(FlatMatrix& m, quoly** a, int32_t R, int32_t K) {
    for (int64_t c = 0; c < int64_t{R} * K; c++) free_quoly(&a[c]);
    flat_to_cells(m, a);
}

// The exact Smith form with transforms (U kept transposed: its row
// operations are column operations there).
int32_t exact_smith(quoly** a, int32_t R, int32_t K, const int flags[4], quoly** T0, quoly** T1, quoly** T2,
                    quoly** T3) {
    FlatMatrix m, u, ui, v, vi;
    flat_from_cells(a, R, K, m);
    FlatTransform rows, cols;
    if (flags[0]) u = flat_identity(R), rows.fwd = &u;
    if (flags[2]) ui = flat_identity(R), rows.inv = &ui;
    if (flags[1]) v = flat_identity(K), cols.fwd = &v;
    if (flags[3]) vi = flat_identity(K), cols.inv = &vi;
    const int32_t rank = flat_smith(m, rows, cols);
    give_back(m, a, R, K);
    if (flags[0]) flat_to_cells(u, T0, true);
    if (flags[2]) flat_to_cells(ui, T2, true);
    if (flags[1]) flat_to_cells(v, T1);
    if (flags[3]) flat_to_cells(vi, T3);
    return rank;
}

// x := x·k for a plain integer cell.
void scale(quoly** x, imag* k) {
    if (!quoly_iszero(*x)) multiply((*x)->nnum, k, (*x)->nnum);
}

// Each diagonal entry d of the diagonal form taken modulo m becomes
// gcd(d, m), the unit between the two moved into T1 and T3; returns the
// number of entries not 0 modulo m. Such an entry stays 0 unless
// every_position asks for m there.
int32_t settle_modulo(quoly** a, int32_t R, int32_t K, quoly** T1, quoly** T3, quoly* m, bool every_position) {
    const int32_t side = R < K ? R : K;
    int32_t nonzero = 0;
    for (int32_t t = 0; t < side; t++) {
        quoly** d = &at(a, R, t, t);
        if (quoly_iszero(*d) && !every_position) continue;
        QuolyOwner g, u, v;
        quoly_set(0, &g.q);
        quoly_set(0, &u.q);
        quoly_set(0, &v.q);
        const SmithEntry kind = smith_entry((*d)->nnum, m->nnum, g.q->nnum, u.q->nnum, v.q->nnum);
        if (kind == SmithEntry::scaled) {
            for (int32_t i = 0; T1 && i < K; i++) scale(&at(T1, K, i, t), v.q->nnum);
            for (int32_t j = 0; T3 && j < K; j++) scale(&at(T3, K, t, j), u.q->nnum);
        }
        // An entry that m divides is 0 modulo m: shown as m, not counted.
        if (kind != SmithEntry::zero) nonzero++;
        if (kind == SmithEntry::zero && !every_position) {
            // Not yet so when the form was found exactly.
            if (!quoly_iszero(*d)) {
                free_quoly(d);
                quoly_set(0, d);
            }
            continue;
        }
        free_quoly(d);
        *d = g.q;
        g.q = nullptr;
    }
    return nonzero;
}

// The verbose display of the steps' two phases, once their rank is known:
// the pivots placed (and the one looked for past the rank), then the
// diagonal positions settled.
void show_phases(int32_t side, int32_t rank) {
    {
        VerboseLevel level("Phase 1, ", side);
        const int32_t every = disper(side);
        for (int32_t k = 0; k < side && k <= rank; k++)
            if (k % every == 0) level.step(k + 1);
    }
    dumpitt("Smith Normal Form, phase 2's, rank ", rank, 1, 1, 1);
    const int32_t every = disper(rank);
    for (int32_t t = 0; t < rank; t++)
        if (t % every == 0) dumpitt(" ", t + 1, 0, 0, 1);
}

// The invariants alone: the exact form by the Hermite forms' road, which
// keeps every entry near the size of the matrix's minors, is faster than
// steps modulo a multiple of the determinant whose entries all grow to
// its size. Modulo m the entries are then settled as that road's would be.
int32_t plain_smith(quoly** a, int32_t R, int32_t K, quoly* m, bool every_position) {
    FlatMatrix f;
    flat_from_cells(a, R, K, f);
    const int32_t rank = flat_smith(f, FlatTransform{}, FlatTransform{});
    give_back(f, a, R, K);
    if (verbose) show_phases(R < K ? R : K, rank);
    return m ? settle_modulo(a, R, K, nullptr, nullptr, m, every_position) : rank;
}

}  // namespace

int32_t phaseone(quoly** a, int32_t R, int32_t K, int32_t first, int32_t last, int* sign, quoly* m) {
    Work w(a, R, K);
    if (m) w.set_modulus(m);
    const int32_t end = smith_phase_one(&w, first, last + 1);
    *sign ^= w.sign;
    return end - 1;
}

bool integer_cell(const quoly* q) { return q && q->isnum == 1 && !q->rat; }

int32_t int_hermite(quoly** a, int32_t R, int32_t K, const int flags[4], quoly** T0, quoly** T1, quoly** T2,
                    quoly** T3) {
    VerboseLevel level("Hermite Normal Form, side ", R < K ? R : K);
    FlatMatrix m, v, vi;
    flat_from_cells(a, R, K, m);
    FlatTransform t;
    if (flags[1]) v = flat_identity(K), t.fwd = &v;
    if (flags[3]) vi = flat_identity(K), t.inv = &vi;
    // A kept transform cannot be taken modulo the bound: it has a road of
    // its own.
    const int32_t rank = t.fwd || t.inv ? flat_hermite_kept(m, t, HermiteTrace::dense)
                                        : flat_hermite(m, t, HermiteTrace::dense, bounded_by(m, flags).get());
    // Rows never move: T0 = T2 = I.
    Work w(a, R, K);
    start_transforms(&w, flags, T0, nullptr, T2, nullptr);
    give_back(m, a, R, K);
    if (flags[1]) flat_to_cells(v, T1);
    if (flags[3]) flat_to_cells(vi, T3);
    return rank;
}

int32_t int_smith(quoly** a, int32_t R, int32_t K, const int flags[4], quoly** T0, quoly** T1, quoly** T2,
                  quoly** T3, quoly* m, bool every_position, bool tell_modulus) {
    VerboseLevel level("Smith Normal Form, side ", R < K ? R : K);
    if (verbose && tell_modulus && m) std::printf(" pseudo-determinant size: %d\n", static_cast<int>(m->nnum->count));
    const bool kept = flags[0] || flags[1] || flags[2] || flags[3];
    if (!kept) return plain_smith(a, R, K, m, every_position);
    if (!m) return exact_smith(a, R, K, flags, T0, T1, T2, T3);
    Work w(a, R, K);
    start_transforms(&w, flags, T0, T1, T2, T3);
    if (m) {
        w.set_modulus(m);
        for (int64_t c = 0; c < int64_t{R} * K; c++) w.reduce(&a[c]);
    }
    const int32_t rank = smith_phase_one(&w, 0);
    smith_phase_two(&w, rank);
    if (!m) return rank;
    return settle_modulo(a, R, K, T1, T3, m, every_position);
}
