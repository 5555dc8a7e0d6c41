// Column, raw-residue and integer pivot finders; the minors' row statistics.
#include "matrix/sparse_finders.h"

#include <cstdio>
#include <cstdlib>

#include "det/pivots.h"
#include "interp/settings.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_pivot.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/masses.h"
#include "poly/measures.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

int32_t sparse_number_col[MINOR_COLUMNS];
int32_t sparse_mass[MINOR_COLUMNS];

namespace {

colm* entry_in(colm* e, int32_t c) {
    while (e && e->col < c) e = e->next;
    return e && e->col == c ? e : nullptr;
}

int32_t count_from(const colm* e) {
    int32_t n = 0;
    for (; e; e = e->next) n++;
    return n;
}

int32_t raw_residue(const colm* e) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(e->val)); }

int32_t saturating_add(int32_t a, int64_t b) {
    const int64_t s = int64_t{a} + b;
    return s < 0 || s > INT32_MAX ? MASS_SATURATED : static_cast<int32_t>(s);
}

// Adds (sign 1) or takes away (sign -1) a row's entries in the statistics.
void account(const colm* e, int sign, int with_mass) {
    for (; e; e = e->next) {
        const int32_t i = e->col / 32768 - 1;
        if (i < 0 || i >= MINOR_COLUMNS) continue;
        sparse_number_col[i] += sign;
        if (with_mass) sparse_mass[i] = saturating_add(sparse_mass[i], int64_t{sign} * quoly_mass(e->val));
    }
}

}  // namespace

void sparse_colfindbest(sparse* first, int32_t n, int32_t k, int32_t c, int32_t* row_out) {
    *row_out = -1;
    const int32_t h = pseudet_heur;
    bool any = false;
    int32_t num_row = -1, num_mass = 0, other_row = -1, other_mass = 0;
    RowWalk w(row_frame(first, k));
    w.h = (k - 1) % SPARSE_FRAME_ROWS;
    for (int32_t r = k; r <= n; r++, w.next()) {
        if (*w.head()) any = true;
        colm* e = entry_in(*w.head(), c);
        if (!e) continue;
        const int32_t count = h > 0 ? count_from(e) : 0;
        quoly* q = e->val;
        if (q->isnum) {
            if (quoly_iszero(q)) {
                tarvexerror("p = 0 in sparse_colfindbest");
                continue;
            }
            int m1 = 0;
            if (count < 3 && equal_to_pm1(q->nnum, &m1)) {
                *row_out = r;
                return;
            }
            const int32_t m = h == 0 ? number_mass(q) : h == 1 ? count : number_mass(q) + count;
            if (num_row < 0 || m < num_mass) {
                num_row = r;
                num_mass = m;
            }
        } else {
            const int32_t m = h == 0   ? quoly_mass(q)
                              : h == 1 ? f_numterms(q) + count
                              : h == 2 ? quoly_mass(q) + count
                                       : better_quoly_mass(q) + count;
            if (other_row < 0 || m < other_mass) {
                other_row = r;
                other_mass = m;
            }
        }
    }
    *row_out = num_row >= 0 ? num_row : other_row >= 0 ? other_row : any ? -1 : -2;
}

namespace {

// The preference of the modular column finder, fed one row at a time in
// ascending order: true once a row settles the choice at once.
struct ModColumnChoice {
    int32_t h = pseudet_heur;
    int64_t m = modulus;
    int64_t best = 0;
    int32_t row = -1;
    bool raw = false;
    bool offer(int32_t r, colm* e) {
        const int32_t count = h > 0 ? count_from(e) : 0;
        // A value that is not a residue ranks behind every residue.
        int64_t d = INT32_MAX;
        if (raw || e->val->isnum) {
            const int64_t v = raw ? raw_residue(e) : e->val->nnum->value;
            if (v == 0) {
                tarvexerror("p = 0 in sparse_mod_colfindbest");
                return false;
            }
            d = m / 2 - std::llabs((m + 1) / 2 - v);
            if (d < 3 && (h <= 0 || count < 3)) {
                row = r;
                return true;
            }
        }
        const int64_t key = h < 1 ? d : count;
        if (row < 0 || key < best) {
            row = r;
            best = key;
        }
        return false;
    }
};

}  // namespace

void sparse_mod_colfindbest(sparse* first, int32_t n, int32_t k, int32_t c, int32_t* row_out) {
    ModColumnChoice choice;
    bool any = false;
    RowWalk w(row_frame(first, k));
    w.h = (k - 1) % SPARSE_FRAME_ROWS;
    for (int32_t r = k; r <= n; r++, w.next()) {
        if (*w.head()) any = true;
        colm* e = entry_in(*w.head(), c);
        if (e && choice.offer(r, e)) break;
    }
    *row_out = choice.row < 0 && !any ? -2 : choice.row;
}

void sparse_mod_colfindbest_among(sparse* first, int32_t n, int32_t k, int32_t c, const std::vector<int32_t>& rows,
                                  int raw, int32_t* row_out) {
    ModColumnChoice choice;
    choice.raw = raw != 0;
    for (int32_t r : rows) {
        if (r < k || r > n) continue;
        colm* e = entry_in(*row_head(first, r), c);
        if (e && choice.offer(r, e)) break;
    }
    *row_out = choice.row;
    if (choice.row >= 0) return;
    // Nothing in the column: only a full scan tells an empty block (-2) from -1.
    RowWalk w(row_frame(first, k));
    w.h = (k - 1) % SPARSE_FRAME_ROWS;
    for (int32_t r = k; r <= n; r++, w.next())
        if (*w.head()) return;
    *row_out = -2;
}

void special_mod_sparse_findbest(int stop_on_empty, sparse* first, int32_t n, int32_t k, int32_t* row_out,
                                 int32_t* col_out) {
    *row_out = -1;
    RowWalk w(row_frame(first, k));
    w.h = (k - 1) % SPARSE_FRAME_ROWS;
    for (int32_t r = k; r <= n; r++, w.next()) {
        colm* e = *w.head();
        while (e && e->col < k) e = e->next;
        if (!e) {
            if (stop_on_empty) return;
            continue;
        }
        if (raw_residue(e) == 0) {
            std::printf(" modulus, initrow, row, col, %li, %li, %li, %li\n", long{modulus}, long{k}, long{r},
                        long{e->col});
            tarvex_error("0 found in special_mod_sparse_findbest", 1);
            return;
        }
        *row_out = r;
        *col_out = e->col;
        return;
    }
}

void sparse_intfindbest(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                        int32_t* kind_out) {
    int32_t count = -1, mass = 0, terms = 0;
    sparse_fill_clc(first, n, k, row_out, col_out, &count, &mass, &terms);
    if (count == 1) {
        *kind_out = mass;
        return;
    }
    *row_out = -1;
    *kind_out = 0;
    quoly* best = nullptr;
    RowWalk w(row_frame(first, k));
    w.h = (k - 1) % SPARSE_FRAME_ROWS;
    for (int32_t r = k; r <= n; r++, w.next()) {
        for (colm* e = *w.head(); e; e = e->next) {
            if (e->col < k) continue;
            quoly* q = e->val;
            if (quoly_iszero(q)) {
                tarvexerror("p = 0 in sparse_intfindbest");
                continue;
            }
            int m1 = 0;
            if (equal_to_pm1(q->nnum, &m1)) {
                *row_out = r;
                *col_out = e->col;
                *kind_out = -1;
                return;
            }
            if (!best || abs_larger(best->nnum, q->nnum)) {
                best = q;
                *row_out = r;
                *col_out = e->col;
                *kind_out = 1;
            }
        }
    }
}

namespace {

// Rows r .. n of a chain, slot by slot across frames.
struct Slots : RowWalk {
    Slots(sparse* first, int32_t r) : RowWalk(row_frame(first, r)) { h = (r - 1) % SPARSE_FRAME_ROWS; }
};

}  // namespace

void remove_row(sparse* first, int32_t n, int32_t r, colm** saved, int with_mass) {
    Slots w(first, r);
    colm** prev = w.head();
    *saved = *prev;
    account(*saved, -1, with_mass);
    for (int32_t i = r + 1; i <= n; i++) {
        w.next();
        *prev = *w.head();
        prev = w.head();
    }
    *prev = nullptr;
}

void restore_row(sparse* first, int32_t n, int32_t r, colm* saved, int with_mass) {
    Slots w(first, r);
    colm* carry = saved;
    for (int32_t i = r; i <= n; i++, w.next()) {
        colm* t = *w.head();
        *w.head() = carry;
        carry = t;
        if (i == n) break;
    }
    account(saved, 1, with_mass);
}

int32_t row_mass(const colm* list) {
    int64_t s = 0;
    for (; list; list = list->next) {
        s += quoly_mass(list->val);
        if (s > INT32_MAX) return MASS_SATURATED;
    }
    return static_cast<int32_t>(s);
}
