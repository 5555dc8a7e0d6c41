// The step routines of the integer normal forms and of the integer
// determinant's elimination, on a flat column-major matrix of plain
// integers (element (i, j) at j x R + i) with its wanted transforms kept in
// step: every operation on the matrix is mirrored on them, so that
// T0 x A0 x T1 stays equal to the matrix (modulo m when a modulus is set).
//
// No routine negates a remainder on its own: the entry a reduction leaves
// is b - q x a for the truncated quotient q it records.
#pragma once
#include <cstdint>

#include "det/det_state.h"
#include "matrix/dense_rowcol.h"
#include "matrix/dense_vectors.h"
#include "numbers/flat_int.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"

namespace int_steps {

using dense_vectors::add_scaled;
using dense_vectors::at;
using dense_vectors::sub_scaled;
using dense_vectors::swap_vector_rows;

int sign_of(const quoly* q);        // -1, 0 or 1
bool is_unit(quoly* q);             // +-1
bool abs_below(quoly* x, quoly* y);   // |x| < |y|, y non-zero
void negate_cell(quoly** cell);

struct Work {
    quoly** a;
    int32_t R, K;
    quoly** T[4] = {nullptr, nullptr, nullptr, nullptr};
    quoly* m = nullptr;     // reduce changed entries into (-m/2, m/2]
    QuolyOwner half;
    int sign = 0;           // toggled by every swap and column negation
    FlatInt flat_m, flat_half;   // m and half, for sub_reduced

    void set_modulus(quoly* mod) {
        m = mod;
        QuolyOwner two, rem;
        quoly_set(2, &two.q);
        quoly_set(0, &half.q);
        quoly_set(0, &rem.q);
        divide(m->nnum, two.q->nnum, half.q->nnum, rem.q->nnum);
        if (!lintmode) {
            flat_read(m->nnum, flat_m);
            flat_read(half.q->nnum, flat_half);
        }
    }

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

    // x[t] := x[t] - q x y[t], then reduced, for t = 0 .. count - 1 at the
    // stride: sub_scaled and reduce in one pass, each value read and
    // written once.
    void sub_reduced(quoly** x, quoly** y, int64_t stride, int32_t count, quoly* q);

    // column j -= q x column s, where column s is zero but in row i: only
    // A(i, j) changes.
    void col_sub_one_row(int32_t j, int32_t s, int32_t i, quoly* q);
    void col_sub(int32_t j, int32_t s, quoly* q) {
        sub_reduced(&at(a, R, 0, j), &at(a, R, 0, s), 1, R, q);
        if (T[1]) sub_scaled(&at(T[1], K, 0, j), &at(T[1], K, 0, s), 1, K, q);
        if (T[3]) add_scaled(&at(T[3], K, s, 0), &at(T[3], K, j, 0), K, K, q);
    }
    // row i -= q x row s
    void row_sub(int32_t i, int32_t s, quoly* q) {
        sub_reduced(&at(a, R, i, 0), &at(a, R, s, 0), R, K, q);
        if (T[0]) sub_scaled(&at(T[0], R, i, 0), &at(T[0], R, s, 0), R, R, q);
        if (T[2]) add_scaled(&at(T[2], R, 0, s), &at(T[2], R, 0, i), 1, R, q);
    }
    void col_swap(int32_t i, int32_t j) {
        if (i == j) return;
        sign ^= 1;
        swap_cols(a, i, j, R);
        if (T[1]) swap_cols(T[1], i, j, K);
        if (T[3]) swap_vector_rows(T[3], K, i, j);
    }
    void row_swap(int32_t i, int32_t j) {
        if (i == j) return;
        sign ^= 1;
        swap_vector_rows(a, R, i, j, K);
        if (T[0]) swap_vector_rows(T[0], R, i, j);
        if (T[2]) swap_cols(T[2], i, j, R);
    }
    // A determinant read off the diagonal changes sign with the column.
    void col_neg(int32_t j) {
        sign ^= 1;
        for (int32_t i = 0; i < R; i++) negate_cell(&at(a, R, i, j));
        if (T[1])
            for (int32_t i = 0; i < K; i++) negate_cell(&at(T[1], K, i, j));
        if (T[3])
            for (int32_t i = 0; i < K; i++) negate_cell(&at(T[3], K, j, i));
    }
};

// *q := b div a, truncated; floor: rounded down instead (a > 0), so that
// b - q x a lies in [0, a).
void quotient(quoly* b, quoly* a, bool floor, QuolyOwner* q);

// Each wanted transform starts as the identity of its size.
void start_transforms(Work* w, const int flags[4], quoly** T0, quoly** T1, quoly** T2, quoly** T3);

// The pivot search of the block from (k, k): scanning column by column,
// the first +-1 met (returns -1), else the first entry of least absolute
// value (returns 1); 0 when the block is zero.
int intfindbest(Work* w, int32_t k, int32_t* bi, int32_t* bj);

// row i -= q x row prow, q = A(i, pcol) div A(prow, pcol). When it leaves
// a non-zero entry in row i (columns k on) smaller than the pivot, the
// smallest such is reported in (*ni, *nj) and the result is -1 for +-1,
// else 1; 0 when none.
int int_rowreduce(Work* w, int32_t k, int32_t prow, int32_t pcol, int32_t i, int32_t* ni, int32_t* nj);

// column j -= q x column pcol, q = A(prow, j) div A(prow, pcol), floor
// rounding when floor is set (an entry in [0, pivot) for a positive
// pivot). Returns -1 when the remainder left in row prow is +-1, 1 when it
// is another non-zero, 0 when it is zero.
int int_colreduce(Work* w, int32_t prow, int32_t pcol, int32_t j, bool floor = false);
// The same for a pivot whose column is otherwise zero: only A(prow, j)
// changes in the matrix.
int fast_colreduce(Work* w, int32_t prow, int32_t pcol, int32_t j);

// Among the diagonal entries t .. last: the first +-1 (*unit := -1), else
// the first of least absolute value (*unit := 1). Returns its position.
int32_t best_on_diag(Work* w, int32_t t, int32_t last, int* unit);
// Among the diagonal entries after t up to last, one that d_t does not
// divide: the first whose remainder is +-1, else the first of least
// absolute remainder. Returns its position, or 0 when d_t divides them all.
int32_t best_other(Work* w, int32_t t, int32_t last);
// Diagonal positions s and t exchanged: rows and columns of the matrix and
// of the transforms.
void swap_them_1(Work* w, int32_t s, int32_t t);

}  // namespace int_steps
