#include "det/pivots.h"

#include <cstdio>

#include "gcd/split_copies.h"
#include "matrix/array_store.h"
#include "matrix/measures.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/masses.h"
#include "storage/nodetests.h"

int32_t quoly_mass(quoly* q) {
    if (q->isnum) return lintmode ? 1 : q->nnum->count;
    int64_t m;
    if (q->rat && !lintmode) {
        m = int64_t{q->pnum->ncoef->count} + q->den->ncoef->count;
    } else if (!q->den) {
        m = poly_mass(q->pnum, depthnum, 1);
    } else if (q->den->numb && !q->den->next) {
        const imag* d = q->den->ncoef;
        const int32_t bits = lintmode ? logg2lint(d->value) : size_of(d->head->digit, d->count);
        m = int64_t{poly_mass(q->pnum, depthnum, 1)} + bits / 3 + 1;
    } else {
        m = int64_t{poly_mass(q->den, depthnum, 1)} * massnum + poly_mass(q->pnum, depthnum, 1);
    }
    if (m < 0 || m > INT32_MAX) {
        std::printf("Warning. quoly_mass was negative. ");
        return 1073741824;
    }
    return static_cast<int32_t>(m);
}

namespace {

bool zero_cell(quoly* q) { return !q || quoly_iszero(q); }

bool unit_number(quoly* q) {
    int m1 = 0;
    return equal_to_pm1(q->nnum, &m1);
}

// The running choice of a search: the least number and the least non-number.
struct Choice {
    int64_t number_at = -1;
    quoly* number = nullptr;
    int64_t other_at = -1;
    int32_t other_mass = 0;

    // Offers a non-zero value; true when it is a unit (the search may stop).
    template <class Smaller>
    bool offer(quoly* q, int64_t at, Smaller smaller) {
        if (q->isnum) {
            if (unit_number(q)) {
                number_at = at;
                return true;
            }
            if (number_at < 0 || smaller(q, number)) {
                number_at = at;
                number = q;
            }
            return false;
        }
        const int32_t m = quoly_mass(q);
        if (other_at < 0 || m < other_mass) {
            other_at = at;
            other_mass = m;
        }
        return false;
    }
    int64_t best() const { return number_at >= 0 ? number_at : other_at; }
};

bool abs_smaller(quoly* a, quoly* b) { return abs_larger(b->nnum, a->nnum); }

// Size in bits for the dense determinant's choice; the machine word itself
// in machine-integer mode.
int64_t spot_size(quoly* q) {
    const imag* x = q->nnum;
    if (lintmode) return x->value;
    return 28 * int64_t{x->count} + logg2lint(x->head->digit < 0 ? -x->head->digit : x->head->digit);
}

bool spot_smaller(quoly* a, quoly* b) { return spot_size(a) < spot_size(b); }

// The choice over rows k .. rows - 1 of columns c0 .. c1 - 1 of a
// column-major matrix whose cell at offset c x rows + r cell(off) reads.
template <class Cell>
void best_in_block(Cell cell, int32_t rows, int32_t k, int32_t c0, int32_t c1, int32_t* row_out,
                   int32_t* col_out) {
    Choice ch;
    for (int32_t c = c0; c < c1; c++) {
        for (int32_t r = k; r < rows; r++) {
            const int64_t off = int64_t{c} * rows + r;
            quoly* q = cell(off);
            if (zero_cell(q)) continue;
            if (ch.offer(q, off, abs_smaller)) {
                *row_out = r;
                *col_out = c;
                return;
            }
        }
    }
    const int64_t at = ch.best();
    if (at < 0) {
        *row_out = -1;
        return;
    }
    *row_out = static_cast<int32_t>(at % rows);
    *col_out = static_cast<int32_t>(at / rows);
}

}  // namespace

void findbest(int32_t first, int32_t last, int32_t rows, int32_t k, int32_t* row_out, int32_t* col_out,
              int first_column_only) {
    const int32_t columns = (last - first + 1) / rows;
    const int32_t end_col = first_column_only ? k + 1 : columns;
    best_in_block([first](int64_t off) { return *cell_at(first + off); }, rows, k, k, end_col, row_out, col_out);
}

void colfindbest(int32_t first, int32_t rows, int32_t k, int32_t c, int32_t* row_out) {
    Choice ch;
    for (int32_t r = k; r < rows; r++) {
        quoly* q = *cell_at(first + int64_t{c} * rows + r);
        if (zero_cell(q)) continue;
        if (ch.offer(q, r, abs_smaller)) {
            *row_out = r;
            return;
        }
    }
    const int64_t at = ch.best();
    *row_out = at < 0 ? -1 : static_cast<int32_t>(at);
}

void vec_findbest(quoly** v, int32_t rows, int32_t k, int32_t c0, int32_t c1, int32_t* row_out,
                  int32_t* col_out) {
    best_in_block([v](int64_t off) { return v[off]; }, rows, k, c0, c1, row_out, col_out);
}

void find_good_spot(quoly** cells, int32_t k, int32_t n, int32_t ncols, int32_t* row_out, int32_t* col_out) {
    Choice ch;
    *row_out = 0;
    // Over field levels that the prime splits an entry may vanish in one
    // copy: no division by it can run, so it is the pivot of last resort.
    int64_t zero_divisor_at = -1;
    const SplitZeroDivisors zero_divisor;
    const int32_t last_col = k + ncols - 1 < n ? k + ncols - 1 : n;
    for (int32_t c = k; c <= last_col; c++) {
        for (int32_t r = k; r <= n; r++) {
            const int64_t off = int64_t{c - 1} * n + (r - 1);
            quoly* q = cells[off];
            if (zero_cell(q)) continue;
            if (!q->isnum && !q->rat && zero_divisor(q->pnum)) {
                if (zero_divisor_at < 0) zero_divisor_at = off;
                continue;
            }
            if (ch.offer(q, off, spot_smaller)) {
                *row_out = r;
                *col_out = c;
                return;
            }
        }
        // A zero column below the elimination front: the matrix is singular.
        if (c == k && n > 1 && ch.best() < 0 && zero_divisor_at < 0) return;
    }
    const int64_t at = ch.best() >= 0 ? ch.best() : zero_divisor_at;
    if (at < 0) return;
    *row_out = static_cast<int32_t>(at % n) + 1;
    *col_out = static_cast<int32_t>(at / n) + 1;
}
