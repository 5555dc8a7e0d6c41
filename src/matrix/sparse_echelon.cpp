// Sparse echelon forms over any ground ring: the reduced row echelon form
// of an augmented matrix and row reduction with full pivoting, with their
// transforms. A prime modulus with every entry a number goes to the residue
// versions instead.
#include "matrix/sparse_echelon.h"

#include <algorithm>
#include <cstdio>

#include "det/det_state.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_finders.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_mod_echelon.h"
#include "matrix/sparse_pivot.h"
#include "matrix/sparse_pivot_pairs.h"
#include "matrix/sparse_rowcol.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

EchelonProgress::EchelonProgress(const char* header, long size) : n(size) {
    dumpitt_level++;
    if (verbose) dumpitt(header, n, 1, 1, 1);
}

void EchelonProgress::step(long count) const {
    if (verbose) dumpitt(" ", count, 0, 0, 1);
}

EchelonProgress::~EchelonProgress() { decr_dumpitt(n, 1, verbose); }

colm** echelon_slot(colm** head, int32_t col) {
    colm** p = head;
    while (*p && (*p)->col < col) p = &(*p)->next;
    return p;
}

colm** echelon_pivot_slot(colm** head, int32_t col, const char* which) {
    colm** p = echelon_slot(head, col);
    if (!*p || (*p)->col != col) {
        tarvex_error(which, 1);
        abandon_statement();
    }
    return p;
}

namespace {

bool residue_route(sparse* m, int32_t n) { return modularmode && mod_is_prime && sparse_allnumbs(m, n); }


// In rows 1..n: the entry in column c := f x that entry.
void mult_col(sparse* first, quoly* f, int32_t n, int32_t c) {
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next()) {
        colm** p = echelon_slot(w.head(), c);
        if (!*p || (*p)->col != c) continue;
        fast_quoly_mult(&(*p)->val, &f);
        if (quoly_iszero((*p)->val)) free_colm(p);
    }
}

// Row i := row i - m x row r, right of the pivot column c, with the
// transforms following; entry (i, c) goes last, as m is read from it.
void eliminate_row(colm** head, colm* rest, int32_t c, sparse* l, sparse* li, int32_t R, int32_t i, int32_t r) {
    colm** pe = echelon_slot(head, c);
    quoly* e = (*pe)->val;
    sparse_row_sub_right(head, rest, e, c);
    if (li) sparse_col_add(li, e, R, r, i);
    if (l) {
        quoly* neg = nullptr;
        quoly_makeneg(e, &neg);
        QuolyOwner hold(neg);
        sparse_row_add(l, hold.q, i, r);
    }
    free_colm(echelon_slot(head, c));
}

}  // namespace

int32_t sparse_redrowech(array* a, const int flags[2], sparse* sparse_out[2]) {
    const int32_t R = a->rows;
    const int32_t M = array_columns(a);
    sparse* m = a->sparse;
    for (int i = 0; i < 2; i++)
        if (flags[i]) spar_identi(&sparse_out[i], R, 1);
    if (residue_route(m, R)) return sparse_mod_redrowech(m, flags, R, M, sparse_out);
    sparse* l = flags[0] ? sparse_out[0] : nullptr;
    sparse* li = flags[1] ? sparse_out[1] : nullptr;
    EchelonProgress progress(" Sparse reduce row echelon, cols ", M);
    const std::vector<sparse*> frames = frames_of(m);
    int32_t r = 1, pivots = 0;
    // The last column holds the right-hand sides: never a pivot column.
    for (int32_t c = 1; c < M && pivots < R; c++) {
        poll_interrupt();
        int32_t p = -1;
        sparse_colfindbest(m, R, r, c, &p);
        if (p == -2) break;
        if (c % (M / 100 + 1) == 0) progress.step(c);
        if (p == -1) continue;
        if (p != r) {
            sp_switchrow(m, r, p);
            if (l) sp_switchrow(l, r, p);
            if (li) sp_switchcol(li, r, p, R, 1);
        }
        colm** rrow = head_in(frames, r);
        colm** pp = echelon_pivot_slot(rrow, c, "nil qp in sparse reduce row echelon.");
        if (!quoly_eq_1((*pp)->val)) {
            QuolyOwner piv;
            quoly_assign((*pp)->val, &piv.q);
            for (colm* e = (*pp)->next; e; e = e->next) fast_quoly_quot(&e->val, &piv.q, 0);
            if (l)
                for (colm* e = *row_head(l, r); e; e = e->next) fast_quoly_quot(&e->val, &piv.q, 0);
            if (li) mult_col(li, piv.q, R, r);
            quoly_set(1, &(*pp)->val);
        }
        colm* rest = (*pp)->next;
        for (int32_t i = 1; i <= R; i++) {
            if (i == r) continue;
            colm** head = head_in(frames, i);
            colm** pe = echelon_slot(head, c);
            if (!*pe || (*pe)->col != c) continue;
            if (!*rrow) {
                tarvex_error("nil u^ in sparse reduce row echelon.", 1);
                abandon_statement();
            }
            eliminate_row(head, rest, c, l, li, R, i, r);
        }
        pivots++;
        r++;
    }
    return pivots;
}

int32_t sparse_rowreduce(array* a, int pseudet, const int flags[4], std::vector<int32_t>* pairs_out,
                         sparse* sparse_out[4], int32_t limit) {
    const int32_t R = a->rows;
    const int32_t M = array_columns(a);
    sparse* m = a->sparse;
    const bool residues = residue_route(m, R);
    // The pivot search's column tables bound rows and columns alike; refused
    // before anything is made.
    if (!residues && (R > SPARSE_PIVOT_MAX || M > SPARSE_PIVOT_MAX)) {
        error(375, token.name);
        abandon_statement(375);
    }
    if (!pseudet && flags[0]) spar_identi(&sparse_out[0], R, 1);
    if (flags[1]) spar_identi(&sparse_out[1], M, 1);
    if (flags[2]) spar_identi(&sparse_out[2], R, 1);
    if (flags[3]) spar_identi(&sparse_out[3], M, 1);
    if (residues) return sparse_mod_rowreduce(m, pseudet, flags, R, M, pairs_out, sparse_out, limit);
    const bool record = pseudet && flags[0];
    sparse* p_mat = !pseudet && flags[0] ? sparse_out[0] : nullptr;
    sparse* q_mat = flags[1] ? sparse_out[1] : nullptr;
    sparse* p2 = flags[2] ? sparse_out[2] : nullptr;
    sparse* q2 = flags[3] ? sparse_out[3] : nullptr;
    const int32_t s = std::min({R, M, std::max(limit, int32_t{0})});
    EchelonProgress progress(" Sparse row reduce, size ", s);
    PivotPairLists lists;
    const std::vector<sparse*> frames = frames_of(m);
    int32_t rank = s;
    for (int32_t k = 1; k <= s; k++) {
        poll_interrupt();
        int32_t row = -1, col = -1;
        if (modularmode && mod_is_prime)
            mod_sparse_findbest(0, m, R, k, &row, &col);
        else
            sparse_findbest(0, m, R, k, &row, &col);
        if (verbose && windy) std::printf("  choosing pivot at: %li, %li, %li\n", long{k}, long{row}, long{col});
        if (k % (s / 100 + 1) == 0) progress.step(k);
        if (row < 0) {
            rank = k - 1;
            break;
        }
        if (col != k) {
            // Under Pseudet the rows above are finished pivots: they keep their columns.
            sp_switchcol(m, k, col, R, pseudet ? k : 1);
            if (q_mat) sp_switchcol(q_mat, k, col, M, 1);
            if (q2) sp_switchrow(q2, k, col);
            if (record) lists.swap_cols(k, col);
        }
        if (row != k) {
            sp_switchrow(m, k, row);
            if (p_mat) sp_switchrow(p_mat, k, row);
            if (p2) sp_switchcol(p2, k, row, R, 1);
            if (record) lists.swap_rows(k, row);
        }
        colm** krow = head_in(frames, k);
        colm** pp = echelon_pivot_slot(krow, k, "nil qp in sparse row reduce.");
        quoly* piv = (*pp)->val;
        const bool piv_is_1 = quoly_eq_1(piv);
        colm* rest = (*pp)->next;
        for (int32_t i = k + 1; i <= R; i++) {
            colm** head = head_in(frames, i);
            colm** pe = echelon_slot(head, k);
            if (!*pe || (*pe)->col != k) continue;
            QuolyOwner mult;
            if (!piv_is_1) quoly_quot((*pe)->val, piv, &mult.q, 0);
            quoly* mq = piv_is_1 ? (*pe)->val : mult.q;
            sparse_row_sub_right(head, rest, mq, k);
            if (p2) sparse_col_add(p2, mq, R, k, i);
            if (p_mat) {
                QuolyOwner neg;
                quoly_makeneg(mq, &neg.q);
                sparse_row_add(p_mat, neg.q, i, k);
            }
            free_colm(echelon_slot(head, k));
        }
        if (pseudet) {
            // Only the pivot is wanted from a finished row.
            colm* after = (*pp)->next;
            (*pp)->next = nullptr;
            while (after) free_colm(&after);
        }
    }
    // The bound is the pair array's: without pairs any rank is fine.
    if (record) {
        check_pair_count(rank);
        write_pivot_pairs(lists, rank, pairs_out);
    }
    return rank;
}
