#include "matrix/sparse_int_steps.h"

#include <optional>

#include "matrix/dense_vectors.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_finders.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_int_flat_pivots.h"
#include "matrix/sparse_pivot.h"
#include "matrix/sparse_rowcol.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

int sign_of(quoly* q) {
    if (!q || quoly_iszero(q)) return 0;
    return q->nnum->head->digit < 0 ? -1 : 1;
}

bool is_unit(quoly* q) {
    int m1 = 0;
    return q && !quoly_iszero(q) && equal_to_pm1(q->nnum, &m1);
}

// |x| < |y|, y non-zero.
bool abs_below(quoly* x, quoly* y) { return int_abs_bigger(y->nnum, x->nnum, 0) != 0; }

colm** slot_of(colm** head, int32_t col) {
    colm** p = head;
    while (*p && (*p)->col < col) p = &(*p)->next;
    return p;
}

// Rows r0 .. n of a chain, crossing frames.
struct RowsFrom : RowWalk {
    RowsFrom(sparse* first, int32_t r0) : RowWalk(row_frame(first, r0)) { h = (r0 - 1) % SPARSE_FRAME_ROWS; }
};

// x into [-m/2, m/2]; entries already inside stay as they are.
void reduce_entry(quoly** x, const SparseIntWork* w) {
    if (!w->m || quoly_iszero(*x) || !int_abs_bigger((*x)->nnum, w->half.q->nnum, 0)) return;
    QuolyOwner q, r;
    quoly_set(0, &q.q);
    quoly_set(0, &r.q);
    divide((*x)->nnum, w->m->nnum, q.q->nnum, r.q->nnum);
    if (int_abs_bigger(r.q->nnum, w->half.q->nnum, 0)) {
        if (sign_of(r.q) > 0)
            sub(r.q->nnum, w->m->nnum, r.q->nnum);
        else
            fastsum(r.q->nnum, w->m->nnum);
    }
    if (quoly_iszero(r.q)) quoly_set(0, &r.q);
    free_quoly(x);
    *x = r.q;
    r.q = nullptr;
}

using Pairs = std::vector<std::pair<int32_t, quoly*>>;

// The steps' arithmetic on flat digit arrays: each changed entry is read
// and written once, where products and sums of quolys walk and rebuild its
// chain several times. Plain numbers only, outside machine-integer mode.

// One row of cols_add_rows: (j, c_j) adds c_j x v at column j. Column s
// is never a target: v stays in place meanwhile.
void add_to_row(colm** head, const Pairs& cs, quoly* v, const SparseIntWork* w) {
    colm** p = head;
    for (const auto& [j, c] : cs) {
        while (*p && (*p)->col < j) p = &(*p)->next;
        quoly* t = nullptr;
        quoly_mult(c, v, &t);
        if (*p && (*p)->col == j) {
            best_quoly_add(&(*p)->val, t);
        } else if (quoly_iszero(t)) {
            free_quoly(&t);
            continue;
        } else {
            colm* e = take_colm();
            e->col = j;
            e->val = t;
            e->next = *p;
            *p = e;
        }
        if (w) reduce_entry(&(*p)->val, w);
        if (quoly_iszero((*p)->val))
            free_colm(p);
        else
            p = &(*p)->next;
    }
}

// True when the row's entries are all plain numbers.
bool plain_row(const colm* e) {
    for (; e; e = e->next)
        if (!e->val->isnum) return false;
    return true;
}

// cols_add_rows on the matrix itself, every value a plain number.
void flat_cols_add_rows(const Pairs& cs, int32_t r0, int32_t s, const SparseIntWork* w) {
    std::vector<FlatInt> c(cs.size());
    for (size_t t = 0; t < cs.size(); t++) flat_read(cs[t].second->nnum, c[t]);
    FlatInt v, x, r, sum;
    RowsFrom rw(w->a, r0);
    for (int32_t row = r0; row <= w->R; row++, rw.next()) {
        colm* ps = *slot_of(rw.head(), s);
        if (!ps || ps->col != s) continue;
        if (!plain_row(*rw.head())) {
            add_to_row(rw.head(), cs, ps->val, w);
            continue;
        }
        flat_read(ps->val->nnum, v);
        colm** p = rw.head();
        for (size_t t = 0; t < cs.size(); t++) {
            const int32_t j = cs[t].first;
            while (*p && (*p)->col < j) p = &(*p)->next;
            const bool there = *p && (*p)->col == j;
            if (there)
                flat_read((*p)->val->nnum, x);
            else
                flat_set(0, x);
            flat_mul(c[t], v, r);
            if (!there && flat_zero(r)) continue;
            r.sign = -r.sign;
            flat_sub(x, r, sum);
            flat_reduce(sum, w);
            if (there) {
                free_quoly(&(*p)->val);
                (*p)->val = flat_quoly(sum);
            } else {
                if (flat_zero(sum)) continue;
                colm* e = take_colm();
                e->col = j;
                e->val = flat_quoly(sum);
                e->next = *p;
                *p = e;
            }
            if (quoly_iszero((*p)->val))
                free_colm(p);
            else
                p = &(*p)->next;
        }
    }
}

// The quotients of a sweep, freed on every exit.
struct Quotients {
    Pairs v;
    Quotients() = default;
    ~Quotients() {
        for (auto& e : v) free_quoly(&e.second);
    }
    Quotients(const Quotients&) = delete;
    Quotients& operator=(const Quotients&) = delete;
};

// In rows r0 .. n: (r, j) += c_j x (r, s) for each listed (j, c_j); each
// changed entry goes through w's reduction when w is given.
void cols_add_rows(sparse* first, const Pairs& cs, int32_t r0, int32_t n, int32_t s, const SparseIntWork* w) {
    if (cs.empty() || r0 > n) return;
    if (w && first == w->a && n == w->R) {
        bool flat = !lintmode;
        for (const auto& e : cs) flat = flat && e.second->isnum;
        if (flat) {
            flat_cols_add_rows(cs, r0, s, w);
            return;
        }
    }
    RowsFrom rw(first, r0);
    for (int32_t r = r0; r <= n; r++, rw.next()) {
        colm* ps = *slot_of(rw.head(), s);
        if (!ps || ps->col != s) continue;
        add_to_row(rw.head(), cs, ps->val, w);
    }
}

void negate_entry(quoly* q) {
    if (!quoly_iszero(q)) in_place_neg(q->nnum);
}

void negate_row(colm* e) {
    for (; e; e = e->next) negate_entry(e->val);
}

void negate_col(sparse* first, int32_t r0, int32_t n, int32_t j) {
    RowsFrom rw(first, r0);
    for (int32_t r = r0; r <= n; r++, rw.next()) {
        colm** p = slot_of(rw.head(), j);
        if (*p && (*p)->col == j) negate_entry((*p)->val);
    }
}

// Row i := row i - q x row s (entries of row s from e on), each changed
// entry reduced as it is made; the caller reduces the rest of the row.
void flat_row_sub(colm** p, const colm* e, quoly* q, const SparseIntWork* w) {
    FlatInt fq, v, x, r;
    flat_read(q->nnum, fq);
    for (; e; e = e->next) {
        while (*p && (*p)->col < e->col) p = &(*p)->next;
        const bool there = *p && (*p)->col == e->col;
        flat_read(e->val->nnum, v);
        if (there)
            flat_read((*p)->val->nnum, x);
        else
            flat_set(0, x);
        flat_sub_mul(x, fq, v, r);
        flat_reduce(r, w);
        if (flat_zero(r)) {
            if (there) free_colm(p);
            continue;
        }
        if (there) {
            free_quoly(&(*p)->val);
            (*p)->val = flat_quoly(r);
        } else {
            colm* n = take_colm();
            n->col = e->col;
            n->val = flat_quoly(r);
            n->next = *p;
            *p = n;
        }
        p = &(*p)->next;
    }
}

}  // namespace

void flat_reduce(FlatInt& r, const SparseIntWork* w) {
    if (!w->m || flat_cmp_abs(r, w->flat_half) <= 0) return;
    const FlatInt& m = w->flat_m;
    const size_t nm = m.mag.size(), nr = r.mag.size();
    if (nm >= 2 && nr <= nm + 1) {
        // A quotient from the leading digits, never above |r| div m, takes
        // r toward 0 without changing its sign; whole moduli then bring it
        // into range. The value left is the one the division leaves: the
        // residue in [-m/2, m/2], on a tie (m/2 exactly) with r's sign.
        unsigned __int128 top = 0;
        for (size_t i = nr; i-- > nm - 2;) top = (top << DIGIT_BITS) | r.mag[i];
        const uint64_t lead = (uint64_t{m.mag[nm - 1]} << DIGIT_BITS | m.mag[nm - 2]) + 1;
        const unsigned __int128 q = top / lead;
        if (q < static_cast<unsigned __int128>(DIGIT_BASE)) {
            if (q) flat_sub_digit_times(r, static_cast<uint32_t>(q), m, r.sign);
            while (flat_cmp_abs(r, w->flat_half) > 0) flat_sub_digit_times(r, 1, m, r.sign);
            return;
        }
    }
    flat_rem(r, m, r);
    if (flat_cmp_abs(r, w->flat_half) > 0) flat_sub_digit_times(r, 1, m, r.sign);
}

quoly* flat_quoly(const FlatInt& r) {
    quoly* q = nullptr;
    quoly_set(0, &q);
    flat_write(r, q->nnum);
    return q;
}

SparseIntWork::SparseIntWork(sparse* first, int32_t rows, int32_t cols)
    : a(first), R(rows), K(cols), frames(frames_of(first)) {}

void SparseIntWork::set_modulus(quoly* modulus) {
    m = modulus;
    QuolyOwner two, rem;
    quoly_set(2, &two.q);
    quoly_set(0, &half.q);
    quoly_set(0, &rem.q);
    divide(m->nnum, two.q->nnum, half.q->nnum, rem.q->nnum);
    if (!lintmode) {
        flat_read(m->nnum, flat_m);
        flat_read(half.q->nnum, flat_half);
    }
    for (int32_t r = 1; r <= R; r++) reduce_row(r);
}

colm** SparseIntWork::head(int32_t r) const { return head_in(frames, r); }

// Every entry of row r into the modulus's range, zeros unlinked.
void SparseIntWork::reduce_row(int32_t r) {
    colm** p = head(r);
    while (*p) {
        reduce_entry(&(*p)->val, this);
        if (quoly_iszero((*p)->val))
            free_colm(p);
        else
            p = &(*p)->next;
    }
}

quoly* SparseIntWork::get(int32_t r, int32_t c) const {
    colm* e = *slot_of(head(r), c);
    return e && e->col == c ? e->val : nullptr;
}

void SparseIntWork::col_sub(int32_t j, int32_t s, quoly* q, int32_t r0) { cols_sub({{j, q}}, s, r0); }

void SparseIntWork::cols_sub(const Pairs& qs, int32_t s, int32_t r0) {
    Quotients neg;
    for (const auto& [j, q] : qs) {
        neg.v.emplace_back(j, nullptr);
        quoly_makeneg(q, &neg.v.back().second);
    }
    cols_add_rows(a, neg.v, r0, R, s, this);
    if (T[1]) cols_add_rows(T[1], neg.v, 1, K, s, nullptr);
    if (T[3])
        for (const auto& [j, q] : qs) sparse_row_add(T[3], q, s, j);
}

void SparseIntWork::row_sub(int32_t i, int32_t s, quoly* q) {
    QuolyOwner neg;
    quoly_makeneg(q, &neg.q);
    if (!lintmode && q->isnum && plain_row(*head(i)) && plain_row(*head(s)))
        flat_row_sub(head(i), *head(s), q, this);
    else
        sparse_row_add(a, neg.q, i, s);
    if (m) reduce_row(i);
    if (T[0]) sparse_row_add(T[0], neg.q, i, s);
    if (T[2]) cols_add_rows(T[2], {{s, q}}, 1, R, i, nullptr);
}

void SparseIntWork::col_swap(int32_t i, int32_t j, int32_t r0) {
    if (i == j) return;
    const int32_t lo = i < j ? i : j, hi = i < j ? j : i;
    sp_switchcol(a, lo, hi, R, r0);
    if (T[1]) sp_switchcol(T[1], lo, hi, K, 1);
    if (T[3]) sp_switchrow(T[3], lo, hi);
}

void SparseIntWork::row_swap(int32_t i, int32_t j) {
    if (i == j) return;
    const int32_t lo = i < j ? i : j, hi = i < j ? j : i;
    sp_switchrow(a, lo, hi);
    if (T[0]) sp_switchrow(T[0], lo, hi);
    if (T[2]) sp_switchcol(T[2], lo, hi, R, 1);
}

void SparseIntWork::col_neg(int32_t j, int32_t r0) {
    negate_col(a, r0, R, j);
    if (T[1]) negate_col(T[1], 1, K, j);
    if (T[3]) negate_row(*row_head(T[3], j));
}

void int_quotient(quoly* b, quoly* a, bool floor, QuolyOwner* q) {
    QuolyOwner r;
    quoly_set(0, &q->q);
    quoly_set(0, &r.q);
    divide(b->nnum, a->nnum, q->q->nnum, r.q->nnum);
    if (floor && sign_of(r.q) < 0) sub(q->q->nnum, number_1, q->q->nnum);
    if (quoly_iszero(q->q)) quoly_set(0, &q->q);
}

namespace {

// Every entry of row i right of the pivot (i, k) becomes its remainder by
// the pivot (truncated quotients, taken from the row as it stands: each
// column operation changes only its own column), over rows r0 ..; whether
// a non-zero remainder is left.
bool sweep_row(SparseIntWork* w, int32_t i, int32_t k, int32_t r0) {
    quoly* p = w->get(i, k);
    Quotients qs;
    for (colm* e = *slot_of(w->head(i), k + 1); e; e = e->next) {
        QuolyOwner q;
        int_quotient(e->val, p, false, &q);
        if (quoly_iszero(q.q)) continue;
        qs.v.emplace_back(e->col, q.q);
        q.q = nullptr;
    }
    w->cols_sub(qs.v, k, r0);
    return *slot_of(w->head(i), k + 1) != nullptr;
}

// The Hermite pivots: column operations only, one row at a time.
int32_t hermite_pivots(SparseIntWork* w, std::vector<int32_t>* pivot_rows) {
    dense_vectors::VerboseLevel level("Phase 1, ", w->R);
    const int32_t every = disper(w->R);
    int32_t k = 1;
    for (int32_t i = 1; i <= w->R && k <= w->K; i++) {
        poll_interrupt();
        if (i % every == 0) level.step(i);
        bool found = false;
        for (;;) {
            // The least entry of row i right of the done columns, a unit at once.
            int32_t bj = 0;
            quoly* best = nullptr;
            for (colm* e = *slot_of(w->head(i), k); e; e = e->next) {
                if (!best || abs_below(e->val, best)) {
                    best = e->val;
                    bj = e->col;
                    if (is_unit(best)) break;
                }
            }
            if (!best) break;
            found = true;
            // Columns k .. are zero above row i: nothing there to move.
            w->col_swap(k, bj, i);
            if (!sweep_row(w, i, k, i)) break;
        }
        if (!found) continue;
        if (sign_of(w->get(i, k)) < 0) w->col_neg(k, i);
        pivot_rows->push_back(i);
        k++;
    }
    return k - 1;
}

// The least entry of rows and columns k .. (a unit at once); false when
// the block is zero.
bool least_in_block(SparseIntWork* w, int32_t k, int32_t* bi, int32_t* bj) {
    quoly* best = nullptr;
    for (int32_t r = k; r <= w->R; r++)
        for (colm* e = *slot_of(w->head(r), k); e; e = e->next)
            if (!best || abs_below(e->val, best)) {
                best = e->val;
                *bi = r;
                *bj = e->col;
                if (is_unit(best)) return true;
            }
    return best != nullptr;
}

// report: the progress lines of a first phase (not of the reruns that
// phase two makes).
int32_t smith_pivots(SparseIntWork* w, int32_t k, int* sign, bool report) {
    const int32_t side = w->R < w->K ? w->R : w->K;
    std::optional<dense_vectors::VerboseLevel> level;
    if (report) level.emplace("Phase 1, ", side);
    const int32_t every = disper(side);
    for (; k <= side; k++) {
        poll_interrupt();
        if (level && k % every == 0) level->step(k);
        int32_t bi = 0, bj = 0, kind = 0;
        // A rerun from phase two must start from the least entry: a lone
        // entry of its column could be d_j itself, and the pass would
        // only exchange the two diagonal entries again. The shared search
        // keeps tables of SPARSE_PIVOT_MAX rows.
        if (report && w->R <= SPARSE_PIVOT_MAX)
            sparse_intfindbest(w->a, w->R, k, &bi, &bj, &kind);
        else
            kind = least_in_block(w, k, &bi, &bj) ? 1 : 0;
        if (kind == 0 || bi < 0) return k - 1;
        for (;;) {
            if (bj != k) *sign = -*sign;
            if (bi != k) *sign = -*sign;
            w->col_swap(k, bj, k);
            w->row_swap(k, bi);
            if (!*w->head(k)) {
                tarvex_error("u is nil in sparse_phaseone.", 1);
                abandon_statement();
            }
            if (sign_of(w->get(k, k)) < 0) {
                w->col_neg(k, k);
                *sign = -*sign;
            }
            bool clear = true;
            std::vector<int32_t> rows;
            for (int32_t i = k + 1; i <= w->R; i++)
                if (w->get(i, k)) rows.push_back(i);
            for (int32_t i : rows) {
                QuolyOwner q;
                int_quotient(w->get(i, k), w->get(k, k), false, &q);
                if (!quoly_iszero(q.q)) w->row_sub(i, k, q.q);
                if (w->get(i, k)) clear = false;
            }
            if (sweep_row(w, k, k, k)) clear = false;
            if (clear) break;
            // A remainder smaller than the pivot is left: it leads next.
            least_in_block(w, k, &bi, &bj);
        }
    }
    return side;
}

// Among the diagonal entries t .. last the first unit, else the first of
// least absolute value. Under a modulus a diagonal entry can vanish (a
// multiple of m is no entry at all): such an entry never leads.
int32_t sparse_best_diag(SparseIntWork* w, int32_t t, int32_t last) {
    int32_t pos = t;
    for (int32_t j = t; j <= last; j++) {
        quoly* d = w->get(j, j);
        if (!d) continue;
        if (is_unit(d)) return j;
        quoly* best = w->get(pos, pos);
        if (!best || abs_below(d, best)) pos = j;
    }
    return pos;
}

// A later diagonal entry that d_t does not divide: the first whose
// remainder is a unit, else the first of least absolute remainder; 0 when
// d_t divides them all.
int32_t sparse_best_other(SparseIntWork* w, int32_t t, int32_t last) {
    int32_t pos = 0;
    QuolyOwner least;
    quoly* dt = w->get(t, t);
    if (!dt) return 0;
    for (int32_t j = t + 1; j <= last; j++) {
        quoly* dj = w->get(j, j);
        if (!dj) continue;  // a vanished entry: every d_t divides it
        QuolyOwner q, r;
        quoly_set(0, &q.q);
        quoly_set(0, &r.q);
        divide(dj->nnum, dt->nnum, q.q->nnum, r.q->nnum);
        if (quoly_iszero(r.q)) continue;
        if (is_unit(r.q)) return j;
        if (!least.q || abs_below(r.q, least.q)) {
            free_quoly(&least.q);
            least.q = r.q;
            r.q = nullptr;
            pos = j;
        }
    }
    return pos;
}

}  // namespace

int32_t sparse_phaseone(SparseIntWork* w, int32_t first_pivot, int both, std::vector<int32_t>* pivot_rows,
                        int* sign) {
    if (!both) return hermite_pivots(w, pivot_rows);
    if (flat_pivots_apply(w)) return flat_smith_pivots(w, first_pivot, sign);
    return smith_pivots(w, first_pivot, sign, true);
}

void sp_hermite_two(SparseIntWork* w, const std::vector<int32_t>& pivot_rows) {
    const int32_t last = static_cast<int32_t>(pivot_rows.size());
    dense_vectors::VerboseLevel level("Hermite Phase 2, ", last);
    const int32_t every = disper(last > 0 ? last : 1);
    for (int32_t t = 2; t <= last; t++) {
        poll_interrupt();
        if (t % every == 0) level.step(t);
        const int32_t i = pivot_rows[static_cast<size_t>(t - 1)];
        quoly* p = w->get(i, t);
        if (sign_of(p) <= 0) {
            tarvex_error("bad t in hermite phase two", 1);
            abandon_statement();
            return;
        }
        Quotients qs;
        for (colm* e = *w->head(i); e && e->col < t; e = e->next) {
            // Rounded down always, so that the entry left is in [0, pivot).
            QuolyOwner q;
            int_quotient(e->val, p, true, &q);
            if (quoly_iszero(q.q)) continue;
            qs.v.emplace_back(e->col, q.q);
            q.q = nullptr;
        }
        w->cols_sub(qs.v, t, i);
    }
}

void swap_them(SparseIntWork* w, int32_t r, int32_t k) {
    if (r == k) return;
    // Rows, then columns: each diagonal entry keeps its own row and column.
    w->row_swap(r, k);
    w->col_swap(r, k, 1);
}

void sparse_phasetwo(SparseIntWork* w, int32_t t, int32_t last) {
    int sign = 1;
    QuolyOwner minus_one;
    quoly_set(-1, &minus_one.q);
    for (;;) {
        swap_them(w, t, sparse_best_diag(w, t, last));
        if (is_unit(w->get(t, t))) return;
        const int32_t j = sparse_best_other(w, t, last);
        if (j == 0) return;
        // d_j enters column t in row j (a new entry); phase one from t
        // then leaves a smaller entry, the gcd of the two, at (t, t).
        w->col_sub(t, j, minus_one.q, t);
        smith_pivots(w, t, &sign, false);
    }
}
