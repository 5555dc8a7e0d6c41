#include "builtins/chpoly.h"

#include <vector>

#include "builtins/matrix_workers.h"
#include "det/det_state.h"
#include "det/hessenberg.h"
#include "det/mat_invert.h"
#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/char_poly.h"
#include "matrix/extremes.h"
#include "matrix/left_out_cells.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_sums.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/datafiles.h"
#include "toplevel/loop.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

// Sizes whose basis polynomials the table pol holds.
constexpr int32_t POL_LARGEST_N = 40;
// From this size on a matrix of numbers takes the Hessenberg road (n^3 per
// prime) rather than a determinant per point (n^4) or of A - xI.
constexpr int32_t HESSENBERG_FROM = 12;
// A sparse matrix takes it up to this size, through a dense view of n^2
// cells: the determinant of A - xI fills in, and even banded ones ran
// slower that way from 500 rows on. Past it the view's memory decides.
constexpr int32_t SPARSE_HESSENBERG_LARGEST = 2000;

struct SparseCopy {
    sparse* frame = nullptr;
    int32_t rows = 0;
    ~SparseCopy() { free_sparse(&frame, rows, 1); }
};

// command_int cleared for the scope unless interrupts may come anywhere.
struct DeterminantInterrupts {
    int saved = command_int;
    DeterminantInterrupts() { command_int = command_int && danger_ok; }
    ~DeterminantInterrupts() { command_int = saved; }
    DeterminantInterrupts(const DeterminantInterrupts&) = delete;
    DeterminantInterrupts& operator=(const DeterminantInterrupts&) = delete;
};

// The progress phase of the interpolation, closed on every exit.
struct InterpolationTrace {
    int32_t n;
    explicit InterpolationTrace(int32_t size) : n(size) {
        dumpitt_level++;
        if (verbose) dumpitt("Lagrange interpolation, degree ", n, 1, 1, 1);
    }
    void step(int32_t k) const {
        if (verbose) dumpitt(" ", k, 0, 0, 1);
    }
    ~InterpolationTrace() { decr_dumpitt(n, 1, verbose); }
    InterpolationTrace(const InterpolationTrace&) = delete;
    InterpolationTrace& operator=(const InterpolationTrace&) = delete;
};

void determinant_into(quoly** cells, int32_t n, quoly** slot) {
    sparse* none = nullptr;
    quoly_set(1, slot);
    mat_invert(cells, nullptr, 0, 0, n, slot, 0, 0, &none, nullptr, -1, -1, -1, 0, 0);
}

// The dense matrix A (its cells, column by column) and its working copy W,
// which every determinant works on: A itself is only read.
struct DenseChpoly {
    std::vector<quoly*> a;   // A's cells, not owned
    WorkCopy w;
    int32_t n;
    DenseChpoly(array* r, int32_t size) : w(nullptr, 0, "Chpoly"), n(size) {
        const int64_t count = int64_t{n} * n;
        a.resize(static_cast<size_t>(count));
        for (int64_t c = 0; c < count; c++) {
            quoly** cell = cell_at(r->first + c);
            if (!*cell) set_uninitialised(cell);
            a[static_cast<size_t>(c)] = *cell;
        }
        for (int64_t c = 0; c < count; c++) {
            w.cells[c] = nullptr;
            quoly_assign(a[static_cast<size_t>(c)], &w.cells[c]);
            w.count = c + 1;
        }
    }
    quoly*& diag_w(int32_t i) { return w.cells[int64_t{i} * n + i]; }
    quoly* diag_a(int32_t i) { return a[static_cast<size_t>(int64_t{i} * n + i)]; }
    // W := A - shift I; the determinant routines may have used W's cells.
    void shift(quoly* s) {
        for (int64_t c = 0; c < int64_t{n} * n; c++) {
            free_quoly(&w.cells[c]);
            quoly_assign(a[static_cast<size_t>(c)], &w.cells[c]);
        }
        for (int32_t i = 0; i < n; i++) quoly_sub(diag_a(i), s, &diag_w(i));
    }
    bool all_numbers() const {
        for (quoly* q : a)
            if (!q->isnum) return false;
        return true;
    }
    // Numbers, and outside modular mode rational numbers too.
    bool hessenberg_cells() const {
        for (quoly* q : a)
            if (!q->isnum && (modularmode || !q->rat)) return false;
        return true;
    }
    // det(A - kI).
    void det_at(int32_t k, quoly** slot) {
        SlotHold kq;
        quoly_set(k, &kq.q);
        shift(kq.q);
        DeterminantInterrupts quiet;
        if (modularmode) {
            determinant_into(w.cells, n, slot);
        } else {
            int_determ_ctx ctx{nullptr, w.cells, n, nullptr};
            do_int_determ(slot, k, &ctx);
        }
    }
};

// Hessenberg's reduction divides, so it needs a field: a prime modulus or
// GF(2^8)/GF(2^16); over the rationals its entries are numbers, their
// denominators cleared.
bool hessenberg_allowed(int32_t n) {
    if (n < HESSENBERG_FROM) return false;
    return !modularmode || finf || mod_is_prime;
}

// Under a composite modulus the determinant of A - xI meets pivots without
// inverses; the integers of A's residues give the same polynomial.
bool composite_numbers() { return modularmode && !finf && !mod_is_prime; }

bool interpolation_allowed(int32_t n) {
    if (!modularmode) return true;
    return !finf && n <= int64_t{modulus} + 1 && mod_is_prime && !chpoly_block;
}

// The basis polynomial of point k among 1 .. n - 2: the table's when it is
// there, else computed (owned then by *made).
quoly* basis(int32_t n, int32_t k, quoly** made) {
    const int32_t row = n - 3;
    if (n <= POL_LARGEST_N && (row <= 11 || !need_to_set_char_poly)) {
        quoly* q = pol[POL_SIDE * row + (k - 1)];
        if (q) return q;
    }
    compute_char_poly(n - 2, k, made);
    return *made;
}

// det(A - xI) = d0 + x S(x) + s (x - t) x^(n-1), S through the points
// 1 .. n - 2 from d_k = det(A - kI), s = (-1)^n, t = trace(A).
void interpolate(DenseChpoly& m, quoly** result) {
    const int32_t n = m.n;
    SlotHold t, d0, S, x, tail;
    quoly_set(0, &t.q);
    for (int32_t i = 0; i < n; i++) better_quoly_add(t.q, m.diag_a(i), &t.q);
    set_min_cut(n);
    InterpolationTrace trace(n);
    m.det_at(0, &d0.q);
    trace.step(0);
    quoly_set(0, &S.q);
    const bool odd = n % 2 == 1;
    for (int32_t k = 1; k <= n - 2; k++) {
        SlotHold dk, kq, pw, r, made, term;
        m.det_at(k, &dk.q);
        trace.step(k);
        quoly_set(k, &kq.q);
        quoly_assign(kq.q, &pw.q);
        if (lintmode)
            lint_quoly_compute_power(&pw.q, n - 1);
        else
            quoly_compute_power(&pw.q, n - 1);
        quoly_sub(kq.q, t.q, &term.q);
        fast_quoly_mult(&term.q, &pw.q);
        quoly_sub(dk.q, d0.q, &r.q);
        if (odd)
            better_quoly_add(r.q, term.q, &r.q);
        else
            better_quoly_sub(r.q, term.q, &r.q);
        fast_quoly_quot(&r.q, &kq.q, 0);
        quoly* L = basis(n, k, &made.q);
        fast_quoly_mult(&r.q, &L);
        best_quoly_add(&S.q, r.release());
    }
    base_quoly(&x.q, 1);
    fast_quoly_mult(&S.q, &x.q);
    quoly_sub(x.q, t.q, &tail.q);
    if (odd) quoly_inplace(tail.q);
    for (int32_t e = 1; e < n; e++) fast_quoly_mult(&tail.q, &x.q);
    best_quoly_add(&S.q, tail.release());
    best_quoly_add(&S.q, d0.release());
    free_quoly(result);
    *result = S.release();
}

void symbolic(DenseChpoly& m, quoly** result) {
    SlotHold x, d;
    base_quoly(&x.q, 1);
    m.shift(x.q);
    DeterminantInterrupts quiet;
    determinant_into(m.w.cells, m.n, &d.q);
    free_quoly(result);
    *result = d.release();
}

// A sparse matrix of numbers as dense column-major cells, absent entries
// the shared zero; empty when an entry is not a number (a rational one
// outside modular mode).
std::vector<quoly*> dense_view(sparse* first, int32_t n) {
    std::vector<quoly*> cells(static_cast<size_t>(n) * n, quol_num_0);
    for (int32_t r = 1; r <= n; r++)
        for (colm* c = *row_head(first, r); c; c = c->next) {
            if (!c->val->isnum && (modularmode || !c->val->rat)) return {};
            cells[static_cast<size_t>(c->col - 1) * n + (r - 1)] = c->val;
        }
    return cells;
}

// det(A - xI) of a sparse A by one determinant of a shifted copy.
void sparse_symbolic(array* r, int32_t n, quoly** result) {
    SparseCopy copy;
    copy_sparse(&r->sparse, &copy.frame, n, 0);
    copy.rows = n;
    SlotHold x, d;
    base_quoly(&x.q, 1);
    quoly_inplace(x.q);
    add_to_diag(x.q, copy.frame, n);
    quoly_set(1, &d.q);
    DeterminantInterrupts quiet;
    mat_invert(nullptr, nullptr, 0, 0, n, &d.q, 0, 0, &copy.frame, nullptr, -1, -1, -1, 0, 0);
    free_quoly(result);
    *result = d.release();
}

}  // namespace

void builtin_chpoly(FILE** source, quoly** result, name** pending) {
    if (number_polys == 0) bfail(213, token.name);
    array_operand a;
    read_command(source, pending, &a, nullptr, false);
    whole_array(a);
    if (a.rows != a.columns) bfail(212, a.nm.name);
    SlotHold v;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        value_argument(source, pending, &v.q);
    }
    close_arguments(source, pending);
    const int32_t n = a.rows;
    // A left-out array is read as its elements of the ring.
    SparseInRing sparse_in_ring(a.record);
    array* r = sparse_in_ring.record();
    if (r->sparse) {
        if (v.q && v.q->isnum && !quoly_iszero(v.q)) {
            sparse_chpoly(r->sparse, n, result);
            return;
        }
        if ((hessenberg_allowed(n) || composite_numbers()) && n <= SPARSE_HESSENBERG_LARGEST &&
            !(lintmode && !modularmode)) {
            std::vector<quoly*> cells = dense_view(r->sparse, n);
            if (!cells.empty()) {
                DeterminantInterrupts quiet;
                if (composite_numbers())
                    composite_chpoly(cells.data(), n, result);
                else
                    hessenberg_chpoly(cells.data(), n, result);
                return;
            }
        }
        sparse_symbolic(r, n, result);
        return;
    }
    if (lintmode && !modularmode) bfail(62, a.nm.name);
    CellsInRing cells_in_ring(r->first, n, n, n);
    DenseChpoly m(r, n);
    if (composite_numbers() && m.all_numbers()) {
        DeterminantInterrupts quiet;
        composite_chpoly(m.a.data(), n, result);
        return;
    }
    if (hessenberg_allowed(n) && m.hessenberg_cells()) {
        DeterminantInterrupts quiet;
        hessenberg_chpoly(m.a.data(), n, result);
        return;
    }
    if (n >= 4 && n <= 1000 && interpolation_allowed(n) && m.all_numbers())
        interpolate(m, result);
    else
        symbolic(m, result);
}
