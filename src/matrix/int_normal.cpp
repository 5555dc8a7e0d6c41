#include "matrix/int_normal.h"

#include "det/det_state.h"
#include "matrix/dense_rowcol.h"
#include "matrix/dense_vectors.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

using namespace dense_vectors;

namespace {

int sign_of(const quoly* q) {
    if (quoly_iszero(const_cast<quoly*>(q))) return 0;
    return q->nnum->head->digit < 0 ? -1 : 1;
}

bool is_unit(quoly* q) {
    int m1 = 0;
    return !quoly_iszero(q) && equal_to_pm1(q->nnum, &m1);
}

// |x| < |y|, y non-zero.
bool abs_below(quoly* x, quoly* y) { return int_abs_bigger(y->nnum, x->nnum, 0) != 0; }

void negate_cell(quoly** cell) {
    if (!quoly_iszero(*cell)) in_place_neg((*cell)->nnum);
}

// The matrix and its wanted transforms; every operation on the matrix is
// mirrored on them so that T0 x A0 x T1 keeps equal to the matrix.
struct Work {
    quoly** a;
    int32_t R, K;
    quoly** T[4] = {nullptr, nullptr, nullptr, nullptr};
    quoly* m = nullptr;     // reduce changed entries into (-m/2, m/2]
    QuolyOwner half;

    Work(quoly** cells, int32_t rows, int32_t cols) : a(cells), R(rows), K(cols) {}

    bool zero(int32_t i, int32_t j) { return quoly_iszero(at(a, R, i, j)); }
    quoly* cell(int32_t i, int32_t j) { return at(a, R, i, j); }

    void reduce(quoly** x) {
        // Entries inside the range stay as they are, remainders too.
        if (!m || quoly_iszero(*x) || !int_abs_bigger((*x)->nnum, half.q->nnum, 0)) return;
        QuolyOwner q, r;
        quoly_set(0, &q.q);
        quoly_set(0, &r.q);
        divide((*x)->nnum, m->nnum, q.q->nnum, r.q->nnum);
        if (int_abs_bigger(r.q->nnum, half.q->nnum, 0)) {
            if (sign_of(r.q) > 0)
                sub(r.q->nnum, m->nnum, r.q->nnum);
            else
                fastsum(r.q->nnum, m->nnum);
        }
        free_quoly(x);
        *x = r.q;
        r.q = nullptr;
    }
    void reduce_col(int32_t j) {
        for (int32_t i = 0; i < R; i++) reduce(&at(a, R, i, j));
    }
    void reduce_row(int32_t i) {
        for (int32_t j = 0; j < K; j++) reduce(&at(a, R, i, j));
    }

    // column j -= q x column s
    void col_sub(int32_t j, int32_t s, quoly* q) {
        sub_scaled(&at(a, R, 0, j), &at(a, R, 0, s), 1, R, q);
        reduce_col(j);
        if (T[1]) sub_scaled(&at(T[1], K, 0, j), &at(T[1], K, 0, s), 1, K, q);
        if (T[3]) add_scaled(&at(T[3], K, s, 0), &at(T[3], K, j, 0), K, K, q);
    }
    // row i -= q x row s
    void row_sub(int32_t i, int32_t s, quoly* q) {
        sub_scaled(&at(a, R, i, 0), &at(a, R, s, 0), R, K, q);
        reduce_row(i);
        if (T[0]) sub_scaled(&at(T[0], R, i, 0), &at(T[0], R, s, 0), R, R, q);
        if (T[2]) add_scaled(&at(T[2], R, 0, s), &at(T[2], R, 0, i), 1, R, q);
    }
    void col_swap(int32_t i, int32_t j) {
        if (i == j) return;
        swap_cols(a, i, j, R);
        if (T[1]) swap_cols(T[1], i, j, K);
        if (T[3]) swap_vector_rows(T[3], K, i, j);
    }
    void row_swap(int32_t i, int32_t j) {
        if (i == j) return;
        swap_vector_rows(a, R, i, j, K);
        if (T[0]) swap_vector_rows(T[0], R, i, j);
        if (T[2]) swap_cols(T[2], i, j, R);
    }
    void col_neg(int32_t j) {
        for (int32_t i = 0; i < R; i++) negate_cell(&at(a, R, i, j));
        if (T[1])
            for (int32_t i = 0; i < K; i++) negate_cell(&at(T[1], K, i, j));
        if (T[3])
            for (int32_t i = 0; i < K; i++) negate_cell(&at(T[3], K, j, i));
    }
};

// *q := b div a, truncated; floor: rounded down instead (a > 0), so that
// b - q x a lies in [0, a).
void quotient(quoly* b, quoly* a, bool floor, QuolyOwner* q) {
    QuolyOwner r;
    quoly_set(0, &q->q);
    quoly_set(0, &r.q);
    divide(b->nnum, a->nnum, q->q->nnum, r.q->nnum);
    if (floor && sign_of(r.q) < 0) sub(q->q->nnum, number_1, q->q->nnum);
    if (quoly_iszero(q->q)) quoly_set(0, &q->q);
}

void start_transforms(Work* w, const int flags[4], quoly** T0, quoly** T1, quoly** T2, quoly** T3) {
    quoly** given[4] = {T0, T1, T2, T3};
    for (int t = 0; t < 4; t++) {
        w->T[t] = flags[t] ? given[t] : nullptr;
        if (w->T[t]) identi(w->T[t], t % 2 == 0 ? w->R : w->K, 0);
    }
}

// The entry of least absolute value in rows k .. R-1 of columns k .. K-1,
// the first unit met winning at once; false when the block is zero.
bool find_best(Work* w, int32_t k, int32_t* bi, int32_t* bj) {
    quoly* best = nullptr;
    for (int32_t j = k; j < w->K; j++)
        for (int32_t i = k; i < w->R; i++) {
            if (w->zero(i, j)) continue;
            if (!best || abs_below(w->cell(i, j), best)) {
                best = w->cell(i, j);
                *bi = i;
                *bj = j;
                if (is_unit(best)) return true;
            }
        }
    return best != nullptr;
}

// Diagonalises the block from position k on by row and column operations;
// returns the number of pivots placed (the block's rank from k).
int32_t smith_phase_one(Work* w, int32_t k) {
    const int32_t side = w->R < w->K ? w->R : w->K;
    for (; k < side; k++) {
        int32_t bi = 0, bj = 0;
        if (!find_best(w, k, &bi, &bj)) return k;
        for (;;) {
            w->col_swap(k, bj);
            w->row_swap(k, bi);
            if (sign_of(w->cell(k, k)) < 0) w->col_neg(k);
            bool clear = true;
            for (int32_t i = k + 1; i < w->R; i++) {
                if (w->zero(i, k)) continue;
                QuolyOwner q;
                quotient(w->cell(i, k), w->cell(k, k), false, &q);
                if (!quoly_iszero(q.q)) w->row_sub(i, k, q.q);
                if (!w->zero(i, k)) clear = false;
            }
            for (int32_t j = k + 1; j < w->K; j++) {
                if (w->zero(k, j)) continue;
                QuolyOwner q;
                quotient(w->cell(k, j), w->cell(k, k), false, &q);
                if (!quoly_iszero(q.q)) w->col_sub(j, k, q.q);
                if (!w->zero(k, j)) clear = false;
            }
            if (clear) break;
            // A remainder smaller than the pivot is left: it leads next.
            find_best(w, k, &bi, &bj);
        }
    }
    return side;
}

// Makes each diagonal entry divide the next: an entry d_j that d_t does not
// divide is mixed into column t and the block from t diagonalised again.
void smith_phase_two(Work* w, int32_t rank) {
    QuolyOwner minus_one;
    quoly_set(-1, &minus_one.q);
    for (int32_t t = 0; t < rank; t++) {
        for (;;) {
            if (is_unit(w->cell(t, t))) break;
            int32_t bad = -1;
            for (int32_t j = t + 1; j < rank && bad < 0; j++) {
                QuolyOwner q, r;
                quoly_set(0, &q.q);
                quoly_set(0, &r.q);
                divide(w->cell(j, j)->nnum, w->cell(t, t)->nnum, q.q->nnum, r.q->nnum);
                if (!quoly_iszero(r.q)) bad = j;
            }
            if (bad < 0) break;
            w->col_sub(t, bad, minus_one.q);
            smith_phase_one(w, t);
        }
    }
}

}  // namespace

bool integer_cell(const quoly* q) { return q && q->isnum == 1 && !q->rat; }

int32_t int_hermite(quoly** a, int32_t R, int32_t K, const int flags[4], quoly** T0, quoly** T1, quoly** T2,
                    quoly** T3) {
    Work w(a, R, K);
    start_transforms(&w, flags, T0, T1, T2, T3);
    int32_t k = 0;
    for (int32_t i = 0; i < R && k < K; i++) {
        // Each pivot is sought in one row, rows never move: the column
        // lattice stays A0's and H = A0 x T1.
        bool found = false;
        for (;;) {
            int32_t bj = -1;
            for (int32_t j = k; j < K; j++) {
                if (w.zero(i, j)) continue;
                if (bj < 0 || abs_below(w.cell(i, j), w.cell(i, bj))) bj = j;
                if (is_unit(w.cell(i, bj))) break;
            }
            if (bj < 0) break;
            found = true;
            w.col_swap(k, bj);
            bool clear = true;
            for (int32_t j = k + 1; j < K; j++) {
                if (w.zero(i, j)) continue;
                QuolyOwner q;
                quotient(w.cell(i, j), w.cell(i, k), false, &q);
                if (!quoly_iszero(q.q)) w.col_sub(j, k, q.q);
                if (!w.zero(i, j)) clear = false;
            }
            if (clear) break;
        }
        if (!found) continue;
        if (sign_of(w.cell(i, k)) < 0) w.col_neg(k);
        for (int32_t j = 0; j < k; j++) {
            if (w.zero(i, j)) continue;
            QuolyOwner q;
            quotient(w.cell(i, j), w.cell(i, k), true, &q);
            if (!quoly_iszero(q.q)) w.col_sub(j, k, q.q);
        }
        k++;
    }
    return k;
}

int32_t int_smith(quoly** a, int32_t R, int32_t K, const int flags[4], quoly** T0, quoly** T1, quoly** T2,
                  quoly** T3, quoly* m, bool every_position) {
    Work w(a, R, K);
    start_transforms(&w, flags, T0, T1, T2, T3);
    if (m) {
        w.m = m;
        QuolyOwner two, rem;
        quoly_set(2, &two.q);
        quoly_set(0, &w.half.q);
        quoly_set(0, &rem.q);
        divide(m->nnum, two.q->nnum, w.half.q->nnum, rem.q->nnum);
        for (int64_t c = 0; c < int64_t{R} * K; c++) w.reduce(&a[c]);
    }
    const int32_t rank = smith_phase_one(&w, 0);
    smith_phase_two(&w, rank);
    if (!m) return rank;
    const int32_t side = R < K ? R : K;
    int32_t nonzero = 0;
    for (int32_t t = 0; t < side; t++) {
        quoly** d = &at(a, R, t, t);
        if (!quoly_iszero(*d) || every_position) {
            QuolyOwner g;
            quoly_set(0, &g.q);
            if (quoly_iszero(*d))
                num_assign(m->nnum, g.q->nnum);
            else
                gcd((*d)->nnum, m->nnum, g.q->nnum);
            free_quoly(d);
            *d = g.q;
            g.q = nullptr;
        }
        if (!quoly_iszero(*d)) nonzero++;
    }
    return nonzero;
}
