// Residue elimination on sparse row lists. Invariant during step k: rows
// below k hold entries in columns >= k only, so a row's first entry tells
// whether it meets the pivot column; rows above k hold just their pivot.
// Per column, the count of entries in rows k .. n lets a step stop walking
// the rows once it has met them all: a banded matrix then costs time in
// proportion to n, not n^2. An empty row the walk no longer meets is found
// when the pivot search reaches it, with the same value 0.
#include "det/sparse_mod_determ.h"

#include <numeric>
#include <utility>
#include <vector>

#include "matrix/row_length_index.h"
#include "matrix/sparse.h"
#include "matrix/sparse_finders.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_whole.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

void (*sparse_mod_step_hook)(sparse* first, int32_t n, int32_t k) = nullptr;

namespace {

inline uint32_t raw(const colm* e) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(e->val)); }
inline quoly* as_val(uint32_t v) { return reinterpret_cast<quoly*>(static_cast<uintptr_t>(v)); }

// Products in the current ring, chosen once per determinant.
struct Products {
    uint32_t p = static_cast<uint32_t>(modulus);
    bool gf8 = f256 != 0;
    bool gf16 = f2t16 != 0;
    bool small = smallmodulus != 0;
    uint32_t operator()(uint32_t a, uint32_t b) const {
        // Masked so that a word outside the field cannot index past the table.
        if (gf8) return f256prod[(a & 0xFF) << 8 | (b & 0xFF)];
        if (gf16) return static_cast<uint32_t>(modmult(static_cast<int32_t>(a), static_cast<int32_t>(b)));
        if (small) {
            const uint32_t t = a * b;
            return t >= p ? t % p : t;
        }
        return static_cast<uint32_t>(uint64_t{a} * b % p);
    }
};

// What one determinant holds, given back on every exit.
struct Work {
    sparse* m = nullptr;
    int32_t n;
    int trace;
    Work(int32_t size, int tr) : n(size), trace(tr) {
        if (trace) {
            dumpitt_level++;
            dumpitt(" Sparse mod integral determ, size ", n, 1, 1, 1);
        }
    }
    ~Work() {
        if (m) free_sparse_frame(&m, n);
        clean_up_colm();
        if (trace) decr_dumpitt(n, 1, 1);
    }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
};

// Row j := row j - f x (pivot row right of column k); entry (j, k) given back.
void reduce_row(colm** head, const colm* rest, uint32_t f, const Products& mul, bool char2,
                std::vector<int32_t>& count, int32_t* length) {
    colm* ejk = *head;
    colm** link = &ejk->next;
    for (const colm* s = rest; s; s = s->next) {
        while (*link && (*link)->col < s->col) link = &(*link)->next;
        const uint32_t fv = mul(f, raw(s));
        if (*link && (*link)->col == s->col) {
            const uint32_t old = raw(*link);
            const uint32_t v = char2 ? old ^ fv : old >= fv ? old - fv : old + (mul.p - fv);
            if (v == 0) {
                count[s->col]--;
                (*length)--;
                colm* dead = *link;
                *link = dead->next;
                dead->next = colm_garb;
                colm_garb = dead;
            } else {
                (*link)->val = as_val(v);
                link = &(*link)->next;
            }
        } else if (fv != 0) {
            count[s->col]++;
            (*length)++;
            colm* e = take_colm();
            e->col = s->col;
            e->val = as_val(char2 ? fv : mul.p - fv);
            e->next = *link;
            *link = e;
            link = &e->next;
        }
    }
    count[ejk->col]--;
    (*length)--;
    *head = ejk->next;
    ejk->next = colm_garb;
    colm_garb = ejk;
}

// Exchanges columns k and c (k < c) in rows k .. n, walking only until
// every entry of the two columns has been met.
void swap_columns(sparse* m, int32_t n, int32_t k, int32_t c, std::vector<int32_t>& count) {
    int32_t left = count[k] + count[c];
    for (int32_t r = k; r <= n && left > 0; r++) {
        const colm* e = *row_head(m, r);
        while (e && e->col < k) e = e->next;
        int32_t met = 0;
        for (; e && e->col <= c; e = e->next)
            if (e->col == k || e->col == c) met++;
        if (!met) continue;
        sp_switchcol(m, k, c, r, r);
        left -= met;
    }
    std::swap(count[k], count[c]);
}

// The pivot for step k moved to (k, k); false when the block is singular.
bool place_pivot(sparse* m, int32_t n, int32_t k, bool* searching, bool* sign, std::vector<int32_t>& count,
                 std::vector<int32_t>& length, RowLengthIndex& index) {
    int32_t row = k, col = -1;
    bool taken = false;
    if (*searching || k < n / 2) {
        int32_t r = k, c = -1;
        *searching = indexed_mod_sparse_findbest(m, n, k, &r, &c, index) != 0;
        if (*searching) {
            if (c < 0) return false;
            row = r;
            col = c;
            taken = true;
        }
    }
    if (!taken) {
        spec2_mod_sparse_findbest(m, k, &col);
        if (col < 0) return false;
    }
    if (col != k) {
        swap_columns(m, n, k, col, count);
        *sign = !*sign;
    }
    if (row != k) {
        sp_switchrow(m, k, row);
        std::swap(length[k], length[row]);
        index.set(k, length[k]);
        index.set(row, length[row]);
        *sign = !*sign;
    }
    return true;
}

// Under a composite modulus the pivot at (k, k) may be a zero divisor,
// which no step can divide by; a unit anywhere in the active block is
// brought there instead. False when the block holds no unit: elimination
// has no way on, although the determinant may still be a unit.
bool place_unit_pivot(sparse* m, int32_t n, int32_t k, uint32_t p, bool* sign, std::vector<int32_t>& count,
                      std::vector<int32_t>& length, RowLengthIndex& index) {
    const auto unit = [p](uint32_t v) { return std::gcd(v, p) == 1; };
    if (unit(raw(*row_head(m, k)))) return true;
    for (int32_t r = k; r <= n; r++)
        for (const colm* e = *row_head(m, r); e; e = e->next) {
            if (!unit(raw(e))) continue;
            const int32_t c = e->col;
            if (c != k) {
                swap_columns(m, n, k, c, count);
                *sign = !*sign;
            }
            if (r != k) {
                sp_switchrow(m, k, r);
                std::swap(length[k], length[r]);
                index.set(k, length[k]);
                index.set(r, length[r]);
                *sign = !*sign;
            }
            return true;
        }
    return false;
}

}  // namespace

void sparse_mod_int_determ(quoly** result, sparse** matrix, int32_t n, int consume, int trace) {
    Work w(n, trace);
    if (consume) {
        move_data_into_quoly(*matrix, n);
        w.m = *matrix;
        *matrix = nullptr;
    } else {
        special_copy_sparse(*matrix, &w.m, n);
    }
    const Products mul;
    const bool char2 = finf != 0;
    // Without a prime modulus a pivot may be a zero divisor, which no
    // elimination step can divide by.
    const bool check_units = !finf && !mod_is_prime;
    uint32_t d = 1;
    bool sign = false, searching = true;
    sparse* m = w.m;
    // Entries per column in rows k .. n, and per row. A word of 0 (a value
    // the ring change left out, read in this ring) is no entry: a pivot
    // must be a unit or a non-zero residue.
    std::vector<int32_t> count(static_cast<size_t>(n > 0 ? n : 0) + 1, 0);
    std::vector<int32_t> length(count.size(), 0);
    {
        RowWalk rows(m);
        for (int32_t i = 1; i <= n; i++, rows.next())
            for (colm** link = rows.head(); *link;) {
                colm* e = *link;
                if (raw(e) == 0) {
                    *link = e->next;
                    e->next = colm_garb;
                    colm_garb = e;
                    continue;
                }
                count[e->col]++;
                length[i]++;
                link = &e->next;
            }
    }
    RowLengthIndex index(length);
    for (int32_t k = 1; k <= n && d != 0; k++) {
        poll_interrupt();
        if (trace && k % (n / 100 + 1) == 0) dumpitt(" ", k, 0, 0, 1);
        if (!place_pivot(m, n, k, &searching, &sign, count, length, index)) {
            d = 0;
            break;
        }
        if (check_units && !place_unit_pivot(m, n, k, mul.p, &sign, count, length, index)) refuse_without_inverse();
        colm* pivot = *row_head(m, k);
        if (!pivot || pivot->col != k) {
            tarvex_error("nil qp in sparse mod integral determ.", 1);
            abandon_statement();
        }
        const uint32_t p = raw(pivot);
        d = mul(d, p);
        uint32_t pinv = 1;
        if (p != 1) {
            int32_t inv = 0;
            if (check_units)
                emod_inverse(static_cast<int32_t>(p), &inv);
            else
                mod_inverse(static_cast<int32_t>(p), &inv);
            pinv = static_cast<uint32_t>(inv);
        }
        const colm* rest = pivot->next;
        RowWalk rows(row_frame(m, k));
        rows.h = (k - 1) % SPARSE_FRAME_ROWS;
        // Rows below k with an entry in column k: all but the pivot's.
        for (int32_t j = k + 1; j <= n && count[k] > 1; j++) {
            rows.next();
            colm** head = rows.head();
            if (!*head) {
                d = 0;
                break;
            }
            if ((*head)->col != k) continue;
            const uint32_t a = raw(*head);
            reduce_row(head, rest, p == 1 ? a : mul(a, pinv), mul, char2, count, &length[j]);
            index.set(j, length[j]);
        }
        if (d == 0) break;
        // Row k leaves the active rows.
        for (const colm* e = pivot; e; e = e->next) count[e->col]--;
        give_back_list(pivot->next);
        pivot->next = nullptr;
        if (sparse_mod_step_hook) sparse_mod_step_hook(m, n, k);
    }
    if (d != 0 && sign && !char2) d = mul.p - d;
    quoly_set(static_cast<int32_t>(d), result);
}
