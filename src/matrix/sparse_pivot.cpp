// The sparse pivot search: two counting passes and the two finders.
#include "matrix/sparse_pivot.h"

#include "det/pivots.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/sparse_impl.h"
#include "numbers/numbers.h"
#include "poly/masses.h"
#include "poly/measures.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

int32_t clc[SPARSE_PIVOT_MAX + 1];
int32_t clc_min[SPARSE_PIVOT_MAX + 1];
int32_t clr[SPARSE_PIVOT_MAX + 1];
quoly* clbest[SPARSE_PIVOT_MAX + 1];

namespace {

constexpr int32_t NO_MASS = 2147483647;

// Rows k, k + 1, ... of a chain.
struct RowsFrom : RowWalk {
    RowsFrom(sparse* first, int32_t k) : RowWalk(row_frame(first, k)) { h = (k - 1) % SPARSE_FRAME_ROWS; }
};

// The first entry of a row at column >= k.
colm* from_column(colm* e, int32_t k) {
    while (e && e->col < k) e = e->next;
    return e;
}

bool zero_number(const quoly* q) { return q->isnum && quoly_iszero(const_cast<quoly*>(q)); }

// Steps 4 and 5 of a counting pass over the indices k .. last: a singleton
// with the largest mass, else the least count (ties: smaller mass, lower index).
int32_t choose(int32_t k, int32_t last, int32_t* count_out) {
    int32_t best = -1;
    for (int32_t j = k; j <= last; j++)
        if (clc[j] == 1 && (best < 0 || clc_min[j] > clc_min[best])) best = j;
    if (best >= 0) {
        *count_out = 1;
        return best;
    }
    for (int32_t j = k; j <= last; j++) {
        if (clc[j] <= 0) continue;
        if (best < 0 || clc[j] < clc[best] || (clc[j] == clc[best] && clc_min[j] < clc_min[best])) best = j;
    }
    *count_out = best < 0 ? -1 : clc[best];
    return best;
}

// Entries in columns >= k and their summed term counts (when wanted).
void row_measure(colm* e, bool terms, int32_t* count, int32_t* row_terms) {
    *count = 0;
    *row_terms = 0;
    for (; e; e = e->next) {
        ++*count;
        if (terms) *row_terms += f_numterms(e->val);
    }
}

// The column pass's answer, kept for heuristics 5 and 6.
struct ColumnChoice {
    int32_t row = -1, col = -1, count = -1, mass = 0, terms = 0;
};

// Heuristics 1 .. 6 and the step-1 shortcut shared by both finders: true
// when the search is over (*row_out, *col_out set).
bool column_first(int stop_on_empty, sparse* first, int32_t n, int32_t k, ColumnChoice* c, int32_t* row_out,
                  int32_t* col_out) {
    sparse_fill_clc(first, n, k, &c->row, &c->col, &c->count, &c->mass, &c->terms);
    if (c->count == 1) {
        *row_out = c->row;
        *col_out = c->col;
        return true;
    }
    if (pseudet_heur != 6) return false;
    if (c->count == -1) {
        // An empty row or column: a determinant is 0 (no pivot), which is
        // an answer; a reduction that must go past it is refused.
        if (!stop_on_empty) error(376, token.name);
        return true;
    }
    int32_t r = -1, col = -1, count = -1, mass = 0, terms = 0;
    sparse_fill_rowc(first, n, k, &r, &col, &count, &mass, &terms);
    if (count < 0 || c->count < count || (c->count == count && c->mass < mass)) {
        *row_out = c->row;
        *col_out = c->col;
    } else {
        *row_out = r;
        *col_out = col;
    }
    return true;
}

// Heuristic 5's last step: the column choice replaces a pivot of much larger
// mass when it costs little fill-in.
void heuristic_5(const ColumnChoice& c, bool number, int32_t mass, int32_t row_count, int32_t* row_out,
                 int32_t* col_out) {
    if (pseudet_heur != 5 || c.count < 1 || *row_out < 0) return;
    const int64_t estimate = int64_t{c.count} * c.terms + c.mass;
    if (mass <= estimate || *col_out == c.col) return;
    const bool replace = number ? (c.count <= 3 && estimate < mass / 8) : (c.count <= row_count + 3);
    if (replace) {
        *row_out = c.row;
        *col_out = c.col;
    }
}

}  // namespace

void sparse_fill_clc(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                     int32_t* count_out, int32_t* mass_out, int32_t* terms_out) {
    *row_out = -1;
    *count_out = -1;
    int32_t last = n;
    for (int32_t j = k; j <= SPARSE_PIVOT_MAX && j <= n; j++) {
        clc[j] = 0;
        clc_min[j] = NO_MASS;
    }
    RowsFrom w(first, k);
    for (int32_t r = k; r <= n; r++, w.next()) {
        colm* e = from_column(*w.head(), k);
        if (!e) return;
        for (; e; e = e->next) {
            if (e->col > SPARSE_PIVOT_MAX) break;
            if (zero_number(e->val)) {
                tarvexerror("p = 0 in sparse_fill_clc");
                continue;
            }
            const int32_t j = e->col;
            // Columns past n (a wider matrix under row reduction) are
            // counted as well; their tables start clear on first sight.
            if (j > last) {
                for (int32_t i = last + 1; i <= j; i++) {
                    clc[i] = 0;
                    clc_min[i] = NO_MASS;
                }
                last = j;
            }
            clc[j]++;
            const int32_t m = better_quoly_mass(e->val);
            if (m < clc_min[j]) {
                clc_min[j] = m;
                clr[j] = r;
                clbest[j] = e->val;
            }
        }
    }
    // The tables end at SPARSE_PIVOT_MAX: wider blocks are never read past it.
    const int32_t top = n < SPARSE_PIVOT_MAX ? n : SPARSE_PIVOT_MAX;
    for (int32_t j = k; j <= top; j++)
        if (clc[j] == 0) return;
    int32_t count = -1;
    const int32_t j = choose(k, top, &count);
    if (j < 0) return;
    *count_out = count;
    *col_out = j;
    *row_out = clr[j];
    *mass_out = clc_min[j];
    if (count != 1) *terms_out = f_numterms(clbest[j]);
}

void sparse_fill_rowc(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                      int32_t* count_out, int32_t* mass_out, int32_t* terms_out) {
    *row_out = -1;
    *count_out = -1;
    RowsFrom w(first, k);
    for (int32_t r = k; r <= n; r++, w.next()) {
        colm* e = from_column(*w.head(), k);
        if (!e) return;
        clc[r] = 0;
        clc_min[r] = NO_MASS;
        for (; e; e = e->next) {
            if (zero_number(e->val)) {
                tarvexerror("p = 0 in sparse_fill_rowc");
                continue;
            }
            clc[r]++;
            const int32_t m = better_quoly_mass(e->val);
            if (m < clc_min[r]) {
                clc_min[r] = m;
                clr[r] = e->col;
                clbest[r] = e->val;
            }
        }
    }
    int32_t count = -1;
    const int32_t r = choose(k, n, &count);
    if (r < 0) return;
    *count_out = count;
    *row_out = r;
    *col_out = clr[r];
    *mass_out = clc_min[r];
    if (count != 1) *terms_out = f_numterms(clbest[r]);
}

void sparse_findbest(int stop_on_empty, sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out) {
    *row_out = -1;
    ColumnChoice c;
    if (column_first(stop_on_empty, first, n, k, &c, row_out, col_out)) return;
    const int32_t h = pseudet_heur;
    int32_t num_row = -1, num_col = -1, num_mass = 0, num_count = 0;
    int32_t other_row = -1, other_col = -1, other_mass = 0, other_count = 0;
    RowsFrom w(first, k);
    for (int32_t r = k; r <= n; r++, w.next()) {
        colm* row = from_column(*w.head(), k);
        if (!row) {
            if (stop_on_empty) return;
            continue;
        }
        int32_t count = 0, terms = 0;
        row_measure(row, h > 0, &count, &terms);
        for (colm* e = row; e; e = e->next) {
            quoly* q = e->val;
            if (q->isnum) {
                if (quoly_iszero(q)) {
                    tarvexerror("p = 0 in sparse_findbest");
                    continue;
                }
                int m1 = 0;
                if (count < 3 && equal_to_pm1(q->nnum, &m1)) {
                    *row_out = r;
                    *col_out = e->col;
                    return;
                }
                const int32_t m = h == 0 ? number_mass(q) : h == 1 ? terms : number_mass(q) + terms;
                if (num_row < 0 || m < num_mass) {
                    num_row = r;
                    num_col = e->col;
                    num_mass = m;
                    num_count = count;
                }
            } else {
                int32_t m;
                switch (h) {
                case 0: m = quoly_mass(q); break;
                case 1: m = f_numterms(q) + terms; break;
                case 2: m = quoly_mass(q) + terms; break;
                case 4: m = f_numterms(q); break;
                default: m = better_quoly_mass(q) + terms; break;
                }
                if (other_row < 0 || m < other_mass) {
                    other_row = r;
                    other_col = e->col;
                    other_mass = m;
                    other_count = count;
                }
            }
        }
    }
    const bool number = num_row >= 0;
    if (number) {
        *row_out = num_row;
        *col_out = num_col;
    } else if (other_row >= 0) {
        *row_out = other_row;
        *col_out = other_col;
    } else {
        return;
    }
    heuristic_5(c, number, number ? num_mass : other_mass, number ? num_count : other_count, row_out, col_out);
}

void mod_sparse_findbest(int stop_on_empty, sparse* first, int32_t n, int32_t k, int32_t* row_out,
                         int32_t* col_out) {
    *row_out = -1;
    ColumnChoice c;
    if (column_first(stop_on_empty, first, n, k, &c, row_out, col_out)) return;
    const int32_t h = pseudet_heur;
    int32_t best_mass = 0, best_count = 0;
    bool best_number = false;
    RowsFrom w(first, k);
    for (int32_t r = k; r <= n; r++, w.next()) {
        colm* row = from_column(*w.head(), k);
        if (!row) {
            if (stop_on_empty) return;
            continue;
        }
        int32_t count = 0, terms = 0;
        row_measure(row, h > 0, &count, &terms);
        for (colm* e = row; e; e = e->next) {
            quoly* q = e->val;
            const bool number = q->isnum;
            if (number && quoly_iszero(q)) {
                // Never a pivot: a stored zero breaks the store's invariant.
                tarvexerror("0 found in mod_sparse_findbest");
                continue;
            }
            if (number && count < 3) {
                *row_out = r;
                *col_out = e->col;
                return;
            }
            int32_t m;
            switch (h) {
            case 0: m = number ? 1 : quoly_mass(q); break;
            case 1: m = f_numterms(q) + terms; break;
            case 2: m = (number ? 1 : quoly_mass(q)) + terms; break;
            case 4: m = number ? 1 : f_numterms(q); break;
            default: m = better_quoly_mass(q) + terms; break;
            }
            if (*row_out < 0 || m < best_mass) {
                *row_out = r;
                *col_out = e->col;
                best_mass = m;
                best_count = count;
                best_number = number;
            }
        }
    }
    heuristic_5(c, best_number, best_mass, best_count, row_out, col_out);
}
