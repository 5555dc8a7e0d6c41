// Sparse Gaussian and fraction-free elimination for determinants.
#include "matrix/sparse_det.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "det/det_state.h"
#include "det/small_determ.h"
#include "det/split_pivots.h"
#include "gcd/split_copies.h"
#include "interp/token.h"
#include "matrix/sparse.h"
#include "matrix/sparse_bareiss_factored.h"
#include "matrix/sparse_pivot.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/modout_suspend.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

void (*sparse_elim_step_hook)(sparse* first, int32_t n, int32_t k) = nullptr;

namespace {

// What one elimination holds, given back on every exit in this order: the
// copy, the progress level, the suspended relations (with the final
// reduction of the determinant on a normal finish).
struct ElimScope {
    sparse* m = nullptr;
    int32_t n;
    bool copied = false;
    bool leveled = false;
    bool suspended = false;
    quoly** det;
    ElimScope(sparse* first, quoly** d, int32_t size, int in_place) : n(size), det(d) {
        if (in_place) {
            m = first;
        } else {
            copy_sparse(&first, &m, n, 0);
            copied = true;
        }
    }
    void release() {
        if (copied) free_sparse(&m, n, 1);
        copied = false;
        if (leveled) decr_dumpitt(n, 1, verbose);
        leveled = false;
        if (suspended) resume_old_polynames();
    }
    // The normal finish: the determinant is reduced once, at the end.
    void finish() {
        const bool was_suspended = suspended;
        release();
        suspended = false;
        quoly* d = *det;
        if (was_suspended && !d->isnum && (!d->rat || lintmode)) recheck(det);
    }
    ~ElimScope() {
        release();
    }
    ElimScope(const ElimScope&) = delete;
    ElimScope& operator=(const ElimScope&) = delete;
};

// Before any copy is made: the pivot search's tables bound the size.
void check_size(int32_t n) {
    if (n > SPARSE_PIVOT_MAX) {
        error(375, token.name);
        abandon_statement(375);
    }
}

void begin_elimination(ElimScope& s, const char* header, bool gauss, int32_t cutoff) {
    dumpitt_level++;
    s.leveled = true;
    if (verbose) {
        dumpitt(header, s.n, 1, 1, 1);
        if (gauss && modularmode && modulus == 2)
            std::printf("  Consider using &O to turn off Hensel and C.R.T. for GCD over Z/2.\n");
    }
    if (need_to_turn_off_mod_out(1, 0, 1, cutoff, s.n)) {
        adjust_polyname_ptrs();
        s.suspended = true;
    }
}

// The slot holding row r's entry at column >= k (the first such).
colm** at_or_after(colm** p, int32_t k) {
    while (*p && (*p)->col < k) p = &(*p)->next;
    return p;
}

bool zero_divisor_entry(quoly* q) { return !q->isnum && !q->rat && split_copies_zero_divisor(q->pnum); }

// Over field levels that the prime splits no division by an entry that
// vanishes in some copy can run: such a pivot gives way to the first entry
// left that vanishes in none.
void avoid_zero_divisor(sparse* m, int32_t n, int32_t k, int32_t* row, int32_t* col) {
    if (*row < 0) return;
    colm* chosen = *at_or_after(row_head(m, *row), *col);
    if (!chosen || chosen->col != *col || !zero_divisor_entry(chosen->val)) return;
    for (int32_t r = k; r <= n; r++)
        for (colm* e = *at_or_after(row_head(m, r), k); e && e->col <= n; e = e->next)
            if (!quoly_iszero(e->val) && !zero_divisor_entry(e->val)) {
                *row = r;
                *col = e->col;
                return;
            }
}

// The pivot for step k moved to (k, k): false when there is none.
// *moved := the row brought up to k (k when none).
// shadow, when given, takes the same interchanges.
bool place_pivot(sparse* m, int32_t n, int32_t k, quoly** det, bool bareiss, int32_t* moved = nullptr,
                 sparse* shadow = nullptr) {
    poll_interrupt();
    int32_t row = -1, col = -1;
    if (modularmode && mod_is_prime)
        mod_sparse_findbest(1, m, n, k, &row, &col);
    else
        sparse_findbest(1, m, n, k, &row, &col);
    avoid_zero_divisor(m, n, k, &row, &col);
    if (verbose && windy) {
        if (bareiss)
            std::printf("  choosing pivot at: %li, %li, %li\n", long{k}, long{row}, long{col});
        else
            std::printf("  choosing pivot at: %d, %d, %d\n", k, row, col);
    }
    if (verbose && k % (n / 100 + 1) == 0) dumpitt(" ", k, 0, 0, 1);
    if (row < 0) return false;
    if (col != k) {
        sp_switchcol(m, k, col, n, k);
        if (shadow) sp_switchcol(shadow, k, col, n, k);
        quoly_inplace(*det);
    }
    if (row != k) {
        sp_switchrow(m, k, row);
        if (shadow) sp_switchrow(shadow, k, row);
        quoly_inplace(*det);
        if (moved) *moved = row;
    }
    return true;
}

// Unlinks the entry at *p, frees its value, gives the node back.
void drop(colm** p) { free_colm(p); }

// Links a new entry (col, v) before *p; returns the slot after it.
colm** link_new(colm** p, int32_t col, quoly* v) {
    colm* e = take_colm();
    e->col = col;
    e->val = v;
    e->next = *p;
    *p = e;
    return &e->next;
}

// The merged row's new value s at column j (null for zero): it replaces the
// entry at *q when the row had one there (present), which is dropped for a
// zero, else it is linked in before *q. Returns the slot after column j.
colm** settle_entry(colm** q, bool present, int32_t j, quoly* s) {
    if (!present) return s ? link_new(q, j, s) : q;
    if (!s) {
        drop(q);
        return q;
    }
    free_quoly(&(*q)->val);
    (*q)->val = s;
    return &(*q)->next;
}

// A pivot that vanishes in some copies of split relations (split_pivots.h)
// takes in, for each, a row below whose entry there does not: row k +=
// e x row j, e the idempotent of the copies it serves, keeps the
// determinant. Returns the copies in which the whole column vanishes: the
// pivot takes dead_weight (1 when null) in them, and the determinant is
// cut to 0 there at the end.
uint64_t mend_zero_divisor_pivot(sparse* m, int32_t n, int32_t k, quoly* dead_weight = nullptr) {
    colm* pk = *at_or_after(row_head(m, k), k);
    uint64_t left = 0;
    if (pk && pk->col == k) refuse_unproved_pivot(pk->val);
    if (!pk || pk->col != k || !zero_divisor_entry(pk->val) || !vanishing_copies(pk->val, &left)) return 0;
    for (int32_t j = k + 1; j <= n && left; j++) {
        colm* ej = *at_or_after(row_head(m, j), k);
        uint64_t v = 0;
        if (!ej || ej->col != k || !vanishing_copies(ej->val, &v) || !(left & ~v)) continue;
        QuolyOwner factor(idempotent_quoly(left & ~v)), minus, product;
        if (!factor.q) return 0;
        left &= v;
        quoly_assign(factor.q, &minus.q);
        quoly_inplace(minus.q);
        sparse_row_sub_right(row_head(m, k), ej->next, minus.q, k);
        quoly_mult(factor.q, ej->val, &product.q);
        best_quoly_add(&pk->val, product.q);
        product.q = nullptr;
    }
    if (!left) return 0;
    quoly* e = idempotent_quoly(left);
    if (!e) return 0;
    if (dead_weight) fast_quoly_mult(&e, &dead_weight);
    best_quoly_add(&pk->val, e);
    return left;
}

// The block of rows and columns k .. n into the determinant by cofactors:
// no division by a pivot that vanishes in some copy runs.
void finish_by_minors(sparse* m, int32_t n, int32_t k, quoly** det) {
    const int32_t r = n + 1 - k;
    std::vector<quoly*> block(size_t(r) * size_t(r), nullptr);
    for (int32_t i = 0; i < r; i++)
        for (colm* e = *at_or_after(row_head(m, k + i), k); e && e->col <= n; e = e->next)
            block[size_t(e->col - k) * size_t(r) + size_t(i)] = e->val;
    // The cofactor expansion reads every cell: zeros stand in for absent ones.
    std::vector<QuolyOwner> zeros(block.size());
    for (size_t c = 0; c < block.size(); c++)
        if (!block[c]) {
            quoly_set(0, &zeros[c].q);
            block[c] = zeros[c].q;
        }
    QuolyOwner minor;
    quoly_set(1, &minor.q);
    small_determ(&minor.q, block.data(), r, verbose);
    fast_quoly_mult(det, &minor.q);
}

// The entry (k, k) of the pivot row; a missing one is an internal fault.
quoly* pivot_value(colm* row, int32_t k, const char* which) {
    colm* e = row;
    while (e && e->col < k) e = e->next;
    if (!e || e->col != k) {
        tarvex_error(which, 1);
        abandon_statement();
    }
    return e->val;
}

// The last diagonal entry into the determinant (0 when absent).
void last_entry(sparse* m, int32_t n, quoly** det) {
    colm* e = *at_or_after(row_head(m, n), n);
    if (e && e->col == n)
        fast_quoly_mult(det, &e->val);
    else
        quoly_set(0, det);
}

}  // namespace

void sparse_gauss_elim(sparse* first, quoly** det, int32_t n, int32_t cutoff, int in_place) {
    check_size(n);
    ElimScope s(first, det, n, in_place);
    begin_elimination(s, "Gauss-Jordan elim method, sparse, size ", true, cutoff);
    GcdStashLevel stash;
    quoly_set(1, det);
    sparse* m = s.m;
    uint64_t dead_copies = 0;
    for (int32_t k = 1; k < n; k++) {
        if (!place_pivot(m, n, k, det, false)) {
            quoly_set(0, det);
            s.finish();
            return;
        }
        dead_copies |= mend_zero_divisor_pivot(m, n, k);
        colm** krow = row_head(m, k);
        quoly* p = pivot_value(*krow, k, "nil qp in sparse Gauss-Jordan.");
        if (zero_divisor_entry(p) && n + 1 - k <= cutoff) {
            finish_by_minors(m, n, k, det);
            cut_dead_copies(det, dead_copies);
            s.finish();
            return;
        }
        const bool p_is_1 = quoly_eq_1(p);
        if (!p_is_1) fast_quoly_mult(det, &p);
        colm* rest = *at_or_after(krow, k);
        rest = rest->next;   // right of the pivot
        for (int32_t r = k + 1; r <= n; r++) {
            colm** head = row_head(m, r);
            colm** pk = at_or_after(head, k);
            if (!*pk || (*pk)->col != k) continue;
            QuolyOwner mult;
            quoly* e = (*pk)->val;
            if (!p_is_1) quoly_quot(e, p, &mult.q, 0);
            sparse_row_sub_right(head, rest, p_is_1 ? e : mult.q, k);
            drop(at_or_after(head, k));
        }
        // The pivot row is spent: its values freed, its list given back.
        for (colm* e = *krow; e; e = e->next) free_quoly(&e->val);
        give_back_list(*krow);
        *krow = nullptr;
        if (sparse_elim_step_hook) sparse_elim_step_hook(m, n, k);
    }
    if (n >= 1) last_entry(m, n, det);
    cut_dead_copies(det, dead_copies);
    s.finish();
}

namespace {

// *s := *s / c in place for two polynomials, as trial_divide divides them
// but without its copy of the dividend (kept there so that a failed test
// leaves it whole) and without the tests that only speed up refusals:
// these quotients are exact. False when the division fails; *s is then
// spoiled.
bool divide_polys_in_place(quoly** s, quoly* c) {
    quoly* u = *s;
    if (!check_polys(c->pnum, &u->pnum, polynames, 1, 0, 1)) return false;
    if (!u->den && u->pnum->numb && !u->pnum->next) polynum_to_quoly(s);
    return true;
}

bool plain_polys(const quoly* a, const quoly* b) { return !a->isnum && !b->isnum && !lintmode; }

bool fractional(const quoly* q) { return !q->isnum && q->den; }

// s := s / c, exact (Bareiss); s null stays null, a zero result becomes null.
// in_copies: c divides only in the copies of split field levels.
void div_s_by_c(quoly** s, quoly** c, bool in_copies = false) {
    if (!*s) return;
    if (quoly_iszero(*s)) {
        free_quoly(s);
        return;
    }
    if (in_copies) {
        if (!divide_in_copies(s, *c)) {
            tarvex_error(" trial divide 2, Sparse Gauss-Bareiss", 1);
            abandon_statement();
        }
    } else if (fractional(*s) || fractional(*c)) {
        // Dividing numerators alone would leave c's denominator out: in the
        // quotient field the exact quotient is the plain one.
        quoly* q = nullptr;
        quoly_quot(*s, *c, &q, 0);
        free_quoly(s);
        *s = q;
    } else if (plain_polys(*s, *c) && !laurent) {
        // (Negative powers are units that only trial_divide lifts out.)
        if (!divide_polys_in_place(s, *c)) {
            tarvex_error(" trial divide 2, Sparse Gauss-Bareiss", 1);
            abandon_statement();
        }
    } else {
        int flag = 0;
        if (trial_divide(c, s, 1, 0, 0, &flag)) {
            tarvex_error(" trial divide 2, Sparse Gauss-Bareiss", 1);
            abandon_statement();
        }
    }
    if (quoly_iszero(*s)) free_quoly(s);
}

// A row left alone since step l holds its entries of step l times p/p_l,
// p the latest pivot, so its entries of any later step follow from those of
// step l in one step (Sylvester's identity). That they equal the step-by-step
// values needs exact quotients to be unique: no zero divisors, no
// relations, no negative exponents.
bool lagging_allowed() {
    if (sparse_bareiss_step_by_step) return false;
    if (modularmode && !mod_is_prime) return false;
    if (laurent) return false;
    for (pt* v = polynames; v; v = v->next)
        if (v->relation) return false;
    return true;
}

// One Bareiss row: for each column j > k, new := (p a_rj - e a_kj) / c, where
// c is the previous pivot (null at the first step and while it is 1).
void bareiss_row(colm** head, colm* pivot_rest, quoly* p, bool p_is_1, quoly** c, bool in_copies, int32_t k) {
    colm** pk = at_or_after(head, k);
    quoly* e = nullptr;
    if (*pk && (*pk)->col == k) {
        e = (*pk)->val;
        (*pk)->val = nullptr;
        colm* dead = *pk;
        *pk = dead->next;
        dead->next = colm_garb;
        colm_garb = dead;
    }
    QuolyOwner own_e(e);
    colm** q = pk;
    if (!e && p_is_1 && !*c) return;   // the row is unchanged
    colm* a = e ? pivot_rest : nullptr;
    while (*q || a) {
        const int32_t jr = *q ? (*q)->col : INT32_MAX;
        const int32_t ja = a ? a->col : INT32_MAX;
        const int32_t j = jr < ja ? jr : ja;
        quoly* s = nullptr;
        if (jr == j) {
            if (p_is_1)
                quoly_assign((*q)->val, &s);
            else
                quoly_mult(p, (*q)->val, &s);
        }
        if (ja == j) {
            quoly* t = nullptr;
            quoly_mult(e, a->val, &t);
            best_quoly_nils_sub(&s, t);
            a = a->next;
        }
        if (s && quoly_iszero(s)) free_quoly(&s);
        if (*c) div_s_by_c(&s, c, in_copies);
        q = settle_entry(q, jr == j, j, s);
    }
}

// Fraction-free elimination with rows left behind: a row whose entry in the
// pivot column is absent keeps (in `kept`) its entries of the step l it was
// last met, and the matrix shows them brought to the current step,
// x p / p_l, so that the pivot search reads true sizes. When a pivot column
// meets the row again, its new entries come from the kept ones in one step,
// (p b_j - b_k a_kj) / p_l, with products of small entries and a division by
// an old, small pivot instead of a chain of large ones.
struct Lagging {
    int32_t n;
    sparse* kept;                 // per row: its entries of step since[r], when has[r]
    std::vector<char> has;        // the row's kept entries are in `kept` (else the matrix row is current)
    std::vector<int32_t> since;   // the step whose entries the row keeps (0: the original ones)
    std::vector<quoly*> pivots;   // pivots[l]: the pivot of step l; null for 1 (and for step 0)
    explicit Lagging(int32_t size)
        : n(size),
          kept(new_frame_chain(size > 0 ? size : 1)),
          has(size_t(size > 0 ? size : 0) + 1, 0),
          since(size_t(size > 0 ? size : 0) + 1, 0),
          pivots(size_t(size > 0 ? size : 0) + 1, nullptr) {}
    ~Lagging() {
        free_sparse(&kept, n > 0 ? n : 1, 1);
        for (quoly*& q : pivots) free_quoly(&q);
    }
    Lagging(const Lagging&) = delete;
    Lagging& operator=(const Lagging&) = delete;

    void interchange(int32_t k, int32_t moved) {
        std::swap(has[size_t(k)], has[size_t(moved)]);
        std::swap(since[size_t(k)], since[size_t(moved)]);
    }
    // The pivot row is not met again: what it kept is not needed.
    void end_step(int32_t k) {
        free_row(row_head(kept, k));
        has[size_t(k)] = 0;
    }
    void pivot(int32_t k, quoly* p) {
        if (!quoly_eq_1(p)) quoly_assign(p, &pivots[size_t(k)]);
    }
    static void free_row(colm** head) {
        for (colm* e = *head; e; e = e->next) free_quoly(&e->val);
        give_back_list(*head);
        *head = nullptr;
    }

    // Row r at step k (pivot row entries right of k at rest). A pivot row
    // left behind longer than row r gives the step from its own kept
    // entries instead: (b'_k a_rj - a_rk b'_j) / p_m, m its step.
    void row(sparse* m, int32_t r, int32_t k, colm* rest) {
        colm** mhead = row_head(m, r);
        colm** khead = row_head(kept, r);
        const bool lagging = has[size_t(r)] != 0;
        int32_t l = since[size_t(r)];
        const bool by_pivot = has[size_t(k)] && since[size_t(k)] < l;
        colm* src = *at_or_after(lagging && !by_pivot ? khead : mhead, k);
        quoly* p = pivots[size_t(k)];
        quoly* e = nullptr;
        if (src && src->col == k) {
            e = src->val;
            src = src->next;
        }
        if (e && by_pivot) {
            colm* kp = *at_or_after(row_head(kept, k), k);
            p = kp->val;
            rest = kp->next;
            l = since[size_t(k)];
        } else if (lagging && !e) {
            src = *at_or_after(khead, k);
        }
        quoly** c = &pivots[size_t(l)];
        if (!e && !lagging && !p && !*c) {
            since[size_t(r)] = k;   // p / p_l is 1: the row is current as it stands
            return;
        }
        colm* fresh = nullptr;
        colm** tail = &fresh;
        colm* a = e ? rest : nullptr;
        while (src || a) {
            const int32_t jr = src ? src->col : INT32_MAX;
            const int32_t ja = a ? a->col : INT32_MAX;
            const int32_t j = jr < ja ? jr : ja;
            quoly* v = nullptr;
            if (jr == j) {
                if (p)
                    quoly_mult(p, src->val, &v);
                else
                    quoly_assign(src->val, &v);
                src = src->next;
            }
            if (ja == j) {
                quoly* t = nullptr;
                quoly_mult(e, a->val, &t);
                best_quoly_nils_sub(&v, t);
                a = a->next;
            }
            if (v && quoly_iszero(v)) free_quoly(&v);
            if (*c) div_s_by_c(&v, c);
            if (v) tail = link_new(tail, j, v);
        }
        if (e) {
            // Met by the pivot column: the new entries are current and kept nowhere else.
            free_row(mhead);
            if (lagging) free_row(khead);
            has[size_t(r)] = 0;
            since[size_t(r)] = k;
        } else if (lagging) {
            free_row(mhead);
        } else {
            *khead = *mhead;   // the row as it stood is what it keeps
            has[size_t(r)] = 1;
        }
        *mhead = fresh;
    }
};

}  // namespace

bool sparse_bareiss_step_by_step = false;

void sparse_gauss_Bareiss(sparse* first, quoly** det, int32_t n, int32_t cutoff, int in_place) {
    check_size(n);
    ElimScope s(first, det, n, in_place);
    begin_elimination(s, "Gauss-Bareiss method, sparse, size ", false, cutoff);
    sparse* m = s.m;
    if (lagging_allowed() && factored_rows_allowed(m, n)) {
        FactoredRows rows(m, n);
        for (int32_t k = 1; k < n; k++) {
            int32_t moved = k;
            if (!place_pivot(m, n, k, det, true, &moved, rows.local)) {
                quoly_set(0, det);
                s.finish();
                return;
            }
            rows.interchange(k, moved);
            rows.step(m, k);
            if (sparse_elim_step_hook) sparse_elim_step_hook(m, n, k);
        }
        if (n >= 1) last_entry(m, n, det);
        s.finish();
        return;
    }
    if (lagging_allowed()) {
        Lagging lag(n);
        for (int32_t k = 1; k < n; k++) {
            int32_t moved = k;
            if (!place_pivot(m, n, k, det, true, &moved, lag.kept)) {
                quoly_set(0, det);
                s.finish();
                return;
            }
            lag.interchange(k, moved);
            colm** krow = row_head(m, k);
            quoly* p = pivot_value(*krow, k, "nil qp in sparse Gauss-Bareiss.");
            lag.pivot(k, p);
            colm* rest = (*at_or_after(krow, k))->next;
            for (int32_t r = k + 1; r <= n; r++) lag.row(m, r, k, rest);
            lag.end_step(k);
            if (sparse_elim_step_hook) sparse_elim_step_hook(m, n, k);
        }
        if (n >= 1) last_entry(m, n, det);
        s.finish();
        return;
    }
    QuolyOwner c;   // the previous pivot; null before the first step and while it is 1
    bool in_copies = false;
    uint64_t dead_copies = 0;
    for (int32_t k = 1; k < n; k++) {
        if (!place_pivot(m, n, k, det, true)) {
            quoly_set(0, det);
            s.finish();
            return;
        }
        // Where the column vanishes whole the pivot takes the previous one:
        // the step changes nothing there and every division stays exact.
        dead_copies |= mend_zero_divisor_pivot(m, n, k, c.q);
        colm** krow = row_head(m, k);
        quoly* p = pivot_value(*krow, k, "nil qp in sparse Gauss-Bareiss.");
        refuse_rational_field_pivot(p);
        const bool p_is_1 = quoly_eq_1(p);
        colm* rest = (*at_or_after(krow, k))->next;
        for (int32_t r = k + 1; r <= n; r++) bareiss_row(row_head(m, r), rest, p, p_is_1, &c.q, in_copies, k);
        free_quoly(&c.q);
        if (!p_is_1) quoly_assign(p, &c.q);
        in_copies = c.q && divides_in_copies(c.q);
        if (sparse_elim_step_hook) sparse_elim_step_hook(m, n, k);
    }
    if (n >= 1) last_entry(m, n, det);
    cut_dead_copies(det, dead_copies);
    s.finish();
}
