#include "matrix/fflu.h"

#include <utility>
#include <vector>

#include "det/pivots.h"
#include "matrix/dense_rowcol.h"
#include "matrix/dense_vectors.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace dense_vectors;

namespace {

// Whether every cell is an integer or a polynomial over the integers: then
// each division below is exact as polynomials, and a remainder is a fault.
bool integral_cells(quoly** a, int64_t cells) {
    if (lintmode || modularmode) return false;
    for (int64_t c = 0; c < cells; c++)
        if (!a[c]->isnum && (a[c]->den || a[c]->rat)) return false;
    return true;
}

// *x := *x / d, known to be exact. Over the integers the division is
// checked; quotients and residues divide in their field.
void exact_divide(quoly** x, quoly* d, bool integral) {
    if (quoly_iszero(*x)) return;
    if (!integral) {
        fast_quoly_quot(x, &d, 0);
        return;
    }
    int flag = 0;
    quoly* divisor = d;
    if (trial_divide(&divisor, x, 1, 0, 0, &flag)) {
        tarvex_error(" FFLU", 1);
        abandon_statement();
    }
    if (!(*x)->isnum && (*x)->pnum && (*x)->pnum->numb && !(*x)->pnum->next && (*x)->pnum->exp == 0)
        polynum_to_quoly(x);
}

// Rows k .. n - 1 of columns k .. m - 1 move one column to the left over
// a column with nothing in them; the last column gets zeros there.
void skip_column(quoly** a, int32_t n, int32_t m, int32_t k) {
    for (int32_t i = k; i < n; i++) {
        quoly* gone = at(a, n, i, k);
        for (int32_t j = k; j + 1 < m; j++) at(a, n, i, j) = at(a, n, i, j + 1);
        at(a, n, i, m - 1) = gone;   // a zero already
    }
}

// Undoes skip_column: rows k .. n - 1 move one column to the right, the
// zeros of the last column coming back to column k.
void unskip_column(quoly** a, int32_t n, int32_t m, int32_t k) {
    for (int32_t i = k; i < n; i++) {
        quoly* zero = at(a, n, i, m - 1);
        for (int32_t j = m - 1; j > k; j--) at(a, n, i, j) = at(a, n, i, j - 1);
        at(a, n, i, k) = zero;
    }
}

}  // namespace

int32_t fract_free_lu(int full_pivoting, quoly** a, int32_t n, int32_t m, const int flags[6], quoly** D,
                      quoly** L, quoly** P, quoly** P2, quoly** Q, quoly** Q2) {
    const int32_t s = n < m ? n : m;
    const bool integral = integral_cells(a, int64_t{n} * m);
    identi(L, n, 0);
    for (int32_t i = 0; i < n; i++) {
        D[i] = nullptr;
        quoly_set(1, &D[i]);
    }
    if (flags[2]) identi(P, n, 0);
    if (flags[3]) identi(P2, n, 0);
    if (flags[4]) identi(Q, m, 0);
    if (flags[5]) identi(Q2, m, 0);
    VerboseLevel level("Fraction-Free LU, counting to ", s);
    std::vector<int32_t> skipped_at;   // the step of each column skip, oldest first
    int32_t k = 0;
    for (; k < s; k++) {
        poll_interrupt();
        int32_t p = -1, q = k;
        if (full_pivoting) {
            vec_findbest(a, n, k, k, m, &p, &q);
        } else {
            vec_findbest(a, n, k, k, k + 1, &p, &q);
            while (p < 0 && k + static_cast<int32_t>(skipped_at.size()) + 1 < m) {
                skip_column(a, n, m, k);
                skipped_at.push_back(k);
                vec_findbest(a, n, k, k, k + 1, &p, &q);
            }
        }
        if (p < 0) break;
        level.step(k + 1);
        if (q != k) {
            swap_cols(a, k, q, n);
            if (flags[4]) swap_cols(Q, k, q, m);
            if (flags[5]) swap_vector_rows(Q2, m, k, q);
        }
        if (p != k) {
            for (int32_t j = k; j < m; j++) std::swap(at(a, n, k, j), at(a, n, p, j));
            spec_swap_rows(L, k, p, n);
            if (flags[2]) swap_vector_rows(P, n, k, p);
            if (flags[3]) swap_cols(P2, k, p, n);
        }
        quoly* pivot = at(a, n, k, k);
        quoly_assign(pivot, &D[k]);
        for (int32_t i = k + 1; i < n; i++) {
            quoly* e = at(a, n, i, k);
            const bool e_zero = quoly_iszero(e);
            for (int32_t j = k + 1; j < m; j++) {
                quoly*& cell = at(a, n, i, j);
                if (!quoly_iszero(cell)) fast_quoly_mult(&cell, &pivot);
                if (!e_zero && !quoly_iszero(at(a, n, k, j))) {
                    quoly* t = nullptr;
                    quoly_mult(e, at(a, n, k, j), &t);
                    best_quoly_sub(&cell, t);
                }
                if (k > 0) exact_divide(&cell, D[k - 1], integral);
            }
            std::swap(at(L, n, i, k), at(a, n, i, k));   // L's zero comes back as the new zero
        }
        for (int32_t j = 0; j < k; j++)
            for (int32_t i = k + 1; i < n; i++) multiply_cell(&at(L, n, i, j), pivot);
    }
    for (auto it = skipped_at.rbegin(); it != skipped_at.rend(); ++it) unskip_column(a, n, m, *it);
    return k;
}
