// Leverrier-Faddeev on sparse iterates. With p(x) = det(xI - A) = x^n + p_1
// x^(n-1) + ... + p_n, M_1 = I, M_k = A M_(k-1) + p_(k-1) I and p_k =
// -trace(A M_k) / k; then A^-1 = -M_n / p_n and det A = (-1)^n p_n. The loop
// keeps B = A M_(k-1) on entry to step k and c = p_(k-1).
#include "matrix/sparse_invert.h"

#include <numeric>

#include "matrix/products.h"
#include "matrix/sparse.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_sums.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

// Iterates past this many cells stay sparse whatever their fill: the dense
// continuation needs one work block per matrix.
constexpr int64_t DENSE_CELLS_MAX = 1000000;

// What the recurrence holds, given back on every exit; release() before an
// error so that a nested command level sees the store as it was.
struct Work {
    int32_t n;
    sparse* b = nullptr;          // the sparse iterate
    sparse* p = nullptr;          // the last product A x B
    quoly* c = nullptr;           // the current coefficient
    quoly** d = nullptr;          // the dense iterate (the caller's cells) once switched
    int32_t block = 0;            // the work block of the dense products, when taken
    bool leveled = false;
    const std::function<void(int32_t, quoly*)>* each = nullptr;   // told every p_k
    const char* word;             // the statement's token, named by the errors
    Work(int32_t size, const char* token_word) : n(size), word(token_word) {}
    void free_dense() {
        if (!d) return;
        for (int64_t i = 0; i < int64_t{n} * n; i++) free_quoly(&d[i]);
        d = nullptr;
    }
    void give_block() {
        if (!block) return;
        quoly** w = workhead[block - 1];
        for (int64_t i = 0; i < int64_t{n} * n; i++) free_quoly(&w[i]);
        block = 0;
        free_work();
    }
    void release() {
        free_sparse(&b, n, 1);
        free_sparse(&p, n, 1);
        free_quoly(&c);
        free_dense();
        give_block();
        if (leveled) decr_dumpitt(n, 1, verbose);
        leveled = false;
    }
    ~Work() { release(); }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
};

// The recurrence divides by every k <= n: in machine words each must be a
// unit, which fails from the characteristic on (2 in GF(2^8) and GF(2^16))
// and, modulo a composite, at its least prime factor.
void refuse_step_divisions(int32_t n, const char* word) {
    if (!lintmode) return;
    bool refused = n >= modulus || (finf && n >= 2);
    if (!refused && modularmode && !finf && !mod_is_prime)
        for (int32_t k = 2; k <= n && !refused; k++) refused = std::gcd(k, modulus) != 1;
    if (!refused) return;
    error(36, word);
    abandon_statement(36);
}

// Tells the listener p_k; c holds p_k, or -p_n at the last step.
void report(Work& w, int32_t k) {
    if (!w.each) return;
    quoly* t = nullptr;
    quoly_assign(w.c, &t);
    if (k == w.n && k > 1) quoly_inplace(t);
    (*w.each)(k, t);
}

[[noreturn]] void fail(Work& w, int code) {
    w.release();
    error(code, w.word);
    abandon_statement(code);
}

// c := c / k.
void divide_by_step(quoly** c, int32_t k) {
    quoly* kq = nullptr;
    quoly_set(k, &kq);
    fast_quoly_quot(c, &kq, 0);
    free_quoly(&kq);
}

int64_t entry_count(sparse* first, int32_t n) {
    int64_t count = 0;
    RowWalk w(first);
    for (int32_t i = 1; i <= n; i++, w.next())
        for (const colm* e = *w.head(); e; e = e->next) count++;
    return count;
}

// B's values moved into the dense cells (column by column), B freed.
void to_dense(Work& w, quoly** cells) {
    const int32_t n = w.n;
    for (int64_t i = 0; i < int64_t{n} * n; i++) cells[i] = nullptr;
    w.d = cells;
    RowWalk r(w.b);
    for (int32_t i = 1; i <= n; i++, r.next())
        for (colm* e = *r.head(); e; e = e->next) {
            cells[int64_t{e->col - 1} * n + (i - 1)] = e->val;
            e->val = nullptr;
        }
    for (int64_t i = 0; i < int64_t{n} * n; i++)
        if (!cells[i]) quoly_set(0, &cells[i]);
    free_sparse_frame(&w.b, n);
}

void progress(int32_t k, int32_t n) {
    if (verbose && k % (n / 100 + 1) == 0) dumpitt(" ", k, 0, 0, 1);
}

// Steps from..n on the dense iterate D = w.d; A stays sparse.
void finish_dense(Work& w, sparse* a, int32_t from) {
    const int32_t n = w.n;
    if (first_available > WORK_BLOCKS) fail(w, 88);
    enew_worknode(&w.block, w.word);
    quoly** cells = workhead[w.block - 1];
    for (int64_t i = 0; i < int64_t{n} * n; i++) cells[i] = nullptr;
    for (int32_t k = from; k <= n; k++) {
        poll_interrupt();
        if (!quoly_iszero(w.c))
            for (int32_t i = 0; i < n; i++) {
                quoly** cell = &w.d[int64_t{i} * n + i];
                better_quoly_add(*cell, w.c, cell);
            }
        for (int64_t i = 0; i < int64_t{n} * n; i++) free_quoly(&cells[i]);
        mult_sparse_norm(&a, w.d, cells, 0, n, n, n);
        progress(k, n);
        quoly_set(0, &w.c);
        for (int32_t i = 0; i < n; i++) better_quoly_add(w.c, cells[int64_t{i} * n + i], &w.c);
        divide_by_step(&w.c, k);
        if (k == n) break;
        quoly_inplace(w.c);
        report(w, k);
        for (int64_t i = 0; i < int64_t{n} * n; i++) {
            free_quoly(&w.d[i]);
            w.d[i] = cells[i];
            cells[i] = nullptr;
        }
    }
}

// The steps k = 2 .. n on w.c = trace(A) (n >= 2); the iterates may move
// into d_cells. Leaves c = -p_n; returns whether the iterate went dense.
bool recurrence(Work& w, sparse* a, quoly** d_cells, const char* label) {
    const int32_t n = w.n;
    quoly_inplace(w.c);
    report(w, 1);
    copy_sparse(&a, &w.b, n, 0);
    dumpitt_level++;
    w.leveled = true;
    if (verbose) dumpitt(label, n, 1, 1, 1);
    const bool may_switch = d_cells && int64_t{n} * n <= DENSE_CELLS_MAX;
    const int64_t half = int64_t{n} * n / 2;
    for (int32_t k = 2; k <= n; k++) {
        poll_interrupt();
        add_to_diag(w.c, w.b, n);
        // The product takes w.p only once formed: should it unwind, the
        // work must not free A, which is the caller's.
        sparse* product = a;
        mult_sparses(&product, &w.b, n, n, n, 0);
        w.p = product;
        progress(k, n);
        sparse_trace(&w.c, w.p, n);
        divide_by_step(&w.c, k);
        if (k == n) break;
        free_sparse(&w.b, n, 1);
        w.b = w.p;
        w.p = nullptr;
        quoly_inplace(w.c);
        report(w, k);
        if (may_switch && entry_count(w.b, n) > half) {
            to_dense(w, d_cells);
            finish_dense(w, a, k + 1);
            report(w, n);
            return true;
        }
    }
    report(w, n);
    return false;
}

}  // namespace

void invert_sparse(sparse** a_slot, quoly** d_cells, int consume, int want_inverse, int32_t n, quoly** det_slot) {
    refuse_step_divisions(n, "/");
    sparse* a = *a_slot;
    Work w(n, "/");
    sparse_trace(&w.c, a, n);
    if (n == 1) {
        if (!want_inverse) {
            free_quoly(det_slot);
            *det_slot = w.c;
            w.c = nullptr;
            if (consume) free_sparse(&a, n, 1);
            *a_slot = nullptr;
            return;
        }
        if (quoly_iszero(w.c)) fail(w, 44);
        quoly_reciprocal(&w.c);
        if (consume) {
            colm* e = *row_head(a, 1);
            free_quoly(&e->val);
            e->val = w.c;
        } else {
            sparse* one = new_frame_chain(1);
            colm* e = take_colm();
            e->col = 1;
            e->val = w.c;
            e->next = nullptr;
            *row_head(one, 1) = e;
            *a_slot = one;
        }
        w.c = nullptr;
        return;
    }
    const bool dense = recurrence(w, a, d_cells, "Invert sparse. Leverrier-Fadeev. Counting to ");
    if (!want_inverse) {
        if (n % 2 == 0) quoly_inplace(w.c);
        free_quoly(det_slot);
        *det_slot = w.c;
        w.c = nullptr;
        w.release();
        if (consume) free_sparse(&a, n, 1);
        *a_slot = nullptr;
        return;
    }
    if (quoly_iszero(w.c)) fail(w, 44);
    quoly_reciprocal(&w.c);
    if (dense) {
        for (int64_t i = 0; i < int64_t{n} * n; i++) fast_quoly_mult(&w.d[i], &w.c);
        w.d = nullptr;   // the caller's now
    } else {
        mult_cons_sparse(&w.b, w.c, 1, n);
    }
    sparse* inverse = w.b;
    w.b = nullptr;
    w.release();
    if (consume) free_sparse(&a, n, 1);
    *a_slot = inverse;
}

void sparse_char_coefficients(sparse* a, int32_t n, quoly** d_cells,
                              const std::function<void(int32_t, quoly*)>& each) {
    refuse_step_divisions(n, "Chpoly");
    Work w(n, "Chpoly");
    w.each = &each;
    sparse_trace(&w.c, a, n);
    if (n == 1) {
        quoly_inplace(w.c);
        report(w, 1);
        return;
    }
    recurrence(w, a, d_cells, "Counting to ");
}
