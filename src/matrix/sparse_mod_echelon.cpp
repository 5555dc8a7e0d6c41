// Echelon forms of residue-valued sparse matrices, each worked on a
// raw-residue copy whose rows replace the matrix's at the end (an error on
// the way leaves the matrix as it was); the transforms hold residue quolys.
#include "matrix/sparse_mod_echelon.h"

#include <algorithm>
#include <vector>

#include "matrix/sparse.h"
#include "matrix/sparse_finders.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_mod_rowcol.h"
#include "matrix/sparse_pivot_pairs.h"
#include "matrix/sparse_residue_rows.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_whole.h"
#include "toplevel/errors.h"

namespace {

// f^-1; the fatal report for 0 ends the statement if it returns.
int32_t inverse_of(int32_t f) {
    int32_t inv = 0;
    mod_inverse(f, &inv);
    if (inv == 0) abandon_statement();
    return inv;
}

// The raw-residue working copy, its frames and entries given back on any
// early exit (its values are not quolys).
struct RawCopy {
    sparse* c = nullptr;
    int32_t n;
    RawCopy(sparse* src, int32_t rows) : n(rows) {
        copy_sparse(&src, &c, n, 0);
        move_data_into_quoly(c, n);
    }
    ~RawCopy() {
        if (c) free_sparse_frame(&c, n);
    }
    RawCopy(const RawCopy&) = delete;
    RawCopy& operator=(const RawCopy&) = delete;
};

// For each column, the rows that may hold an entry there: every row that
// has held one since the start (a superset, checked on use), so that a step
// visits the rows of its column instead of every row. Rows are kept by an
// identity that follows them through interchanges.
struct ColumnRows {
    std::vector<std::vector<int32_t>> ids;   // by column 1..M
    std::vector<int32_t> pos_of, id_at;      // by identity / by position, 1..R
    ColumnRows(sparse* m, int32_t R, int32_t M) : ids(size_t(M) + 1), pos_of(size_t(R) + 1), id_at(size_t(R) + 1) {
        RowWalk w(m);
        for (int32_t r = 1; r <= R; r++, w.next()) {
            pos_of[r] = id_at[r] = r;
            for (const colm* e = *w.head(); e; e = e->next) ids[e->col].push_back(r);
        }
    }
    void swap_rows(int32_t a, int32_t b) {
        std::swap(id_at[a], id_at[b]);
        pos_of[id_at[a]] = a;
        pos_of[id_at[b]] = b;
    }
    void swap_cols(int32_t a, int32_t b) { std::swap(ids[a], ids[b]); }
    void note(int32_t col, int32_t pos) { ids[col].push_back(id_at[pos]); }
    // Column c's rows by current position, ascending, once each; the list
    // is not needed again once its column is done.
    std::vector<int32_t> take(int32_t c) {
        std::vector<int32_t> v;
        v.swap(ids[c]);
        for (auto& id : v) id = pos_of[id];
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
        return v;
    }
};

}  // namespace

int32_t sparse_mod_redrowech(sparse* m, const int flags[2], int32_t R, int32_t M, sparse* sparse_out[2]) {
    sparse* l = flags[0] ? sparse_out[0] : nullptr;
    sparse* li = flags[1] ? sparse_out[1] : nullptr;
    EchelonProgress progress(" Sparse modular reduce row echelon, cols ", M);
    // Worked on a raw-residue copy: one load a value instead of three.
    RawCopy work(m, R);
    sparse* w = work.c;
    const std::vector<sparse*> frames = frames_of(w);
    ColumnRows index(w, R, M);
    // Row i := row i - e x (pivot row r right of column c), with the transforms.
    auto eliminate = [&](int32_t i, int32_t r, int32_t c, colm** rrow) {
        colm** pe = echelon_slot(head_in(frames, i), c);
        if (!*pe || (*pe)->col != c) return;
        if (!*rrow) {
            tarvex_error("nil u^ in sparse reduce row echelon.", 1);
            abandon_statement();
        }
        const colm* rest = *echelon_slot(rrow, c);
        rest = rest ? rest->next : nullptr;
        const int32_t e = RawResidue::get(*pe);
        residue_row_axpy<RawResidue>(&(*pe)->next, rest, residue_neg(e), [&](int32_t j) { index.note(j, i); });
        if (li) sparse_mod_col_add(li, e, R, r, i);
        if (l) sparse_mod_row_add(l, residue_neg(e), i, r);
        RawResidue::drop(pe);
    };
    // Rows below each pivot are cleared as it is found; the rows above are
    // cleared afterwards row by row from the last pivot row up, when every
    // later pivot row holds no pivot column but its own: clearing row i then
    // walks it once and fills only columns without a pivot (a band fills
    // nothing above its diagonal). The pivots, the form and the identities
    // are those of clearing each column everywhere at once.
    std::vector<int32_t> pivot_row(size_t(M) + 1, 0);
    int32_t r = 1, pivots = 0;
    for (int32_t c = 1; c < M && pivots < R; c++) {
        poll_interrupt();
        int32_t p = -1;
        std::vector<int32_t> rows = index.take(c);
        sparse_mod_colfindbest_among(w, R, r, c, rows, 1, &p);
        if (p == -2) break;
        if (c % (M / 100 + 1) == 0) progress.step(c);
        if (p == -1) continue;
        if (p != r) {
            index.swap_rows(r, p);
            for (auto& x : rows) x = x == r ? p : x == p ? r : x;
            sp_switchrow(w, r, p);
            if (l) sp_switchrow(l, r, p);
            if (li) sp_switchcol(li, r, p, R, 1);
        }
        colm** rrow = head_in(frames, r);
        colm** pp = echelon_pivot_slot(rrow, c, "nil qp in sparse mod reduce row echelon.");
        const int32_t piv = RawResidue::get(*pp);
        if (piv != 1) {
            const int32_t inv = inverse_of(piv);
            for (colm* e = (*pp)->next; e; e = e->next) RawResidue::set(e, modmult(inv, RawResidue::get(e)));
            if (l) sparse_mod_divide_row(l, piv, r);
            if (li) sparse_mod_mult_col(li, piv, R, r);
            RawResidue::set(*pp, 1);
        }
        for (int32_t i : rows)
            if (i > r) eliminate(i, r, c, rrow);
        pivot_row[c] = r;
        pivots++;
        r++;
    }
    for (int32_t i = pivots - 1; i >= 1; i--) {
        poll_interrupt();
        colm** p = &(*head_in(frames, i))->next;   // past row i's own pivot
        while (*p) {
            const int32_t k = pivot_row[(*p)->col];
            if (k == 0) {
                p = &(*p)->next;
                continue;
            }
            const colm* rest = (*head_in(frames, k))->next;
            const int32_t e = RawResidue::get(*p);
            residue_row_axpy<RawResidue>(&(*p)->next, rest, residue_neg(e));
            if (li) sparse_mod_col_add(li, e, R, k, i);
            if (l) sparse_mod_row_add(l, residue_neg(e), i, k);
            RawResidue::drop(p);
        }
    }
    move_data_outof_quoly(w, R);
    put_back_sparse(w, m, R);
    give_back_frames(w);
    work.c = nullptr;
    return pivots;
}

int32_t sparse_mod_rowreduce(sparse* m, int pseudet, const int flags[4], int32_t R, int32_t M,
                             std::vector<int32_t>* pairs_out, sparse* sparse_out[4], int32_t limit) {
    const bool record = pseudet && flags[0];
    sparse* p_mat = !pseudet && flags[0] ? sparse_out[0] : nullptr;
    sparse* q_mat = flags[1] ? sparse_out[1] : nullptr;
    sparse* p2 = flags[2] ? sparse_out[2] : nullptr;
    sparse* q2 = flags[3] ? sparse_out[3] : nullptr;
    const int32_t s = std::min({R, M, std::max(limit, int32_t{0})});
    EchelonProgress progress(" Sparse row reduce, mod integer, size ", s);
    PivotPairLists lists;
    RawCopy work(m, R);
    sparse* w = work.c;
    const std::vector<sparse*> frames = frames_of(w);
    ColumnRows index(w, R, M);
    int32_t rank = s;
    for (int32_t k = 1; k <= s; k++) {
        poll_interrupt();
        int32_t row = -1, col = -1;
        special_mod_sparse_findbest(0, w, R, k, &row, &col);
        if (k % (s / 100 + 1) == 0) progress.step(k);
        if (row < 0) {
            rank = k - 1;
            break;
        }
        if (col != k) {
            sp_switchcol(w, k, col, R, pseudet ? k : 1);
            index.swap_cols(k, col);
            if (q_mat) sp_switchcol(q_mat, k, col, M, 1);
            if (q2) sp_switchrow(q2, k, col);
            if (record) lists.swap_cols(k, col);
        }
        if (row != k) {
            sp_switchrow(w, k, row);
            index.swap_rows(k, row);
            if (p_mat) sp_switchrow(p_mat, k, row);
            if (p2) sp_switchcol(p2, k, row, R, 1);
            if (record) lists.swap_rows(k, row);
        }
        colm** pp = echelon_pivot_slot(head_in(frames, k), k, "nil qp in sparse mod row reduce.");
        const int32_t a = RawResidue::get(*pp);
        const int32_t inv = a == 1 ? 1 : inverse_of(a);
        const colm* rest = (*pp)->next;
        for (int32_t i : index.take(k)) {
            if (i <= k) continue;
            colm** pe = echelon_slot(head_in(frames, i), k);
            if (!*pe || (*pe)->col != k) continue;
            const int32_t e = RawResidue::get(*pe);
            const int32_t mult = a == 1 ? e : modmult(e, inv);
            residue_row_axpy<RawResidue>(&(*pe)->next, rest, residue_neg(mult),
                                         [&](int32_t j) { index.note(j, i); });
            if (p2) sparse_mod_col_add(p2, mult, R, k, i);
            if (p_mat) sparse_mod_row_add(p_mat, residue_neg(mult), i, k);
            RawResidue::drop(pe);
        }
        if (pseudet) {
            give_back_list((*pp)->next);
            (*pp)->next = nullptr;
        }
    }
    move_data_outof_quoly(w, R);
    put_back_sparse(w, m, R);
    give_back_frames(w);
    work.c = nullptr;
    // The bound is the pair array's: without pairs any rank is fine.
    if (record) {
        check_pair_count(rank);
        write_pivot_pairs(lists, rank, pairs_out);
    }
    return rank;
}
