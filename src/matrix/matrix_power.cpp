#include "matrix/matrix_power.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <vector>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "det/unit_det.h"
#include "matrix/dense_rowcol.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

// The index of n's highest set bit (-1 for 0).
int32_t top_bit(uint32_t n) { return static_cast<int32_t>(std::bit_width(n)) - 1; }

void fail(int code, const char* word) {
    error(code, word);
    abandon_statement(code);
}

// Cells of a work block that the product has made (not shared with A):
// freed on every exit unless moved out.
struct WorkCells {
    quoly** cells;
    int64_t count = 0;
    bool owned = false;
    explicit WorkCells(quoly** c) : cells(c) {}
    ~WorkCells() {
        if (owned)
            for (int64_t c = 0; c < count; c++) free_quoly(&cells[c]);
    }
    // A's cells replaced by these (A's own freed when it owned them).
    void move_into(quoly** a, int* a_owned) {
        if (*a_owned)
            for (int64_t c = 0; c < count; c++) free_quoly(&a[c]);
        for (int64_t c = 0; c < count; c++) {
            a[c] = cells[c];
            cells[c] = nullptr;
        }
        owned = false;
        *a_owned = 1;
    }
};

// A sparse matrix owned by the scope unless released.
struct OwnedFrame {
    sparse* f = nullptr;
    int32_t rows;
    explicit OwnedFrame(int32_t r) : rows(r) {}
    ~OwnedFrame() {
        if (f) free_sparse(&f, rows, 1);
    }
};

// The degrees of A^n at the levels nothing reduces (no relation, not the
// level `reduced`, 0 for none) are at most n times the cells' own: past the
// exponent range the power cannot be stored, and forming it would run out
// of memory long before. Scalar powers are refused the same way.
bool cell_fits(const quoly* q, int64_t n, int32_t reduced) {
    if (!q || q->isnum) return true;
    return power_exponents_fit(q->pnum, n, polynames, reduced) &&
           (!q->den || power_exponents_fit(q->den, n, polynames, reduced));
}

void check_degrees(quoly** cells, const mat_shape* shape, sparse* frame, int64_t n, int32_t reduced,
                   const char* word) {
    if (frame) {
        for (int32_t base = 0; frame && base < shape->rows; base += SPARSE_FRAME_ROWS, frame = frame->next)
            for (int32_t r = 0; r < std::min(SPARSE_FRAME_ROWS, shape->rows - base); r++)
                for (colm* e = frame->row[r]; e; e = e->next)
                    if (!cell_fits(e->val, n, reduced)) fail(156, word);
        return;
    }
    for (int64_t c = 0; c < shape->count; c++)
        if (!cell_fits(cells[c], n, reduced)) fail(156, word);
}

// The first steps every routine shares: a negative exponent inverts A in
// place (fresh cells first), 0 and 1 finish. Returns false when done.
bool prepare(quoly** cells, mat_shape* shape, int* owned, int32_t* n, sparse** sparse_slot) {
    const int32_t rows = shape->rows;
    const bool sparse_m = sparse_slot && *sparse_slot;
    if (*n < 0) {
        sparse* none = nullptr;
        require_unit_determinant(cells, sparse_m ? sparse_slot : &none, rows);
        if (!*owned) {
            if (sparse_m) {
                sparse* copy = nullptr;
                copy_sparse(sparse_slot, &copy, rows, 0);
                *sparse_slot = copy;
            } else {
                for (int64_t c = 0; c < shape->count; c++) {
                    quoly* x = nullptr;
                    quoly_assign(cells[c], &x);
                    cells[c] = x;
                }
            }
            *owned = 1;
        }
        QuolyOwner det;
        quoly_set(1, &det.q);
        mat_invert(cells, cells, 1, 1, rows, &det.q, 1, 1, sparse_m ? sparse_slot : &none, nullptr, -1, -1, -1, 0,
                   0);
        *n = -*n;
    }
    if (*n == 1) return false;
    if (*n == 0) {
        if (sparse_m)
            spar_identi(sparse_slot, rows, *owned);
        else
            identi(cells, rows, *owned);
        *owned = 1;
        return false;
    }
    return true;
}

}  // namespace

void matrix_power(quoly** cells, mat_shape* shape, int* owned, int32_t n, sparse** sparse_slot) {
    if (n == INT32_MIN) fail(32, "^");
    if (!prepare(cells, shape, owned, &n, sparse_slot)) return;
    check_degrees(cells, shape, sparse_slot ? *sparse_slot : nullptr, n, 0, "^");
    const int32_t rows = shape->rows;
    const int32_t b = top_bit(static_cast<uint32_t>(n));
    if (sparse_slot && *sparse_slot) {
        OwnedFrame w(rows);
        copy_sparse(sparse_slot, &w.f, rows, 0);
        for (int32_t t = b - 1; t >= 0; t--) {
            {
                // The second factor is a copy: the product frees the first.
                OwnedFrame twin(rows);
                copy_sparse(&w.f, &twin.f, rows, 0);
                mult_sparses(&w.f, &twin.f, rows, rows, rows, 1);
            }
            if ((n >> t) & 1) mult_sparses(&w.f, sparse_slot, rows, rows, rows, 1);
        }
        if (*owned) free_sparse(sparse_slot, rows, 1);
        *sparse_slot = w.f;
        w.f = nullptr;
        *owned = 1;
        return;
    }
    WorkBlock block("^");
    WorkCells w(block.cells);
    w.count = shape->count;
    for (int64_t c = 0; c < w.count; c++) w.cells[c] = cells[c];
    mat_shape ws = *shape;
    for (int32_t t = b - 1; t >= 0; t--) {
        // The very first square must not free W's cells: they are A's.
        const int consume = w.owned ? 1 : 0;
        const mat_shape sq = ws;
        matrix_mult(w.cells, w.cells, &ws, &sq, consume, nullptr, nullptr);
        w.owned = true;
        if ((n >> t) & 1) matrix_mult(w.cells, cells, &ws, shape, 1, nullptr, nullptr);
    }
    w.move_into(cells, owned);
}

void alt_mat_power(quoly** cells, mat_shape* shape, int* owned, int32_t n) {
    if (n == INT32_MIN) fail(32, "Altpower");
    if (!prepare(cells, shape, owned, &n, nullptr)) return;
    check_degrees(cells, shape, nullptr, n, 0, "Altpower");
    const int32_t rows = shape->rows;
    const int32_t b = top_bit(static_cast<uint32_t>(n));
    // L: the power so far (A's cells until the first square), W: its square.
    std::vector<quoly*> list(cells, cells + shape->count);
    WorkCells l(list.data());
    l.count = shape->count;
    WorkBlock block("Altpower");
    WorkCells w(block.cells);
    w.count = shape->count;
    for (int64_t c = 0; c < w.count; c++) w.cells[c] = nullptr;
    w.owned = true;
    mat_shape ls = *shape;
    for (int32_t t = b - 1; t >= 0; t--) {
        fast_mat_mult(l.cells, l.cells, w.cells, rows, rows, rows);
        if (l.owned)
            for (int64_t c = 0; c < l.count; c++) free_quoly(&l.cells[c]);
        for (int64_t c = 0; c < l.count; c++) {
            l.cells[c] = w.cells[c];
            w.cells[c] = nullptr;
        }
        l.owned = true;
        if ((n >> t) & 1) matrix_mult(l.cells, cells, &ls, shape, 1, nullptr, nullptr);
    }
    l.move_into(cells, owned);
}

namespace {

// The exponent's binary digits, most significant first, from its top bit.
std::vector<bool> exponent_bits(imag* e) {
    std::vector<uint32_t> digits;
    for (numnode* d = e->head; d; d = d->next) digits.push_back(static_cast<uint32_t>(d->digit < 0 ? -d->digit : d->digit));
    std::vector<bool> bits;
    for (uint32_t d : digits)
        for (int32_t t = 27; t >= 0; t--) {
            const bool bit = (d >> t) & 1;
            if (bits.empty() && !bit) continue;
            bits.push_back(bit);
        }
    return bits;
}

int32_t exponent_sign(imag* e) { return e->head->digit < 0 ? -1 : e->head->digit > 0 ? 1 : 0; }

bool has_negative_exponent(polynode* p) {
    for (; p; p = p->next) {
        if (p->exp < 0) return true;
        if (!p->numb && has_negative_exponent(p->pcoef)) return true;
    }
    return false;
}

bool is_one(polynode* p) {
    if (!p->numb || p->next) return false;
    return lintmode ? p->ncoef->value == 1 : p->ncoef->count == 1 && p->ncoef->head->digit == 1;
}

// Monic in its main variable: below the exponent-0 padding levels, the
// leading term's coefficient is 1.
bool monic(polynode* p) {
    while (p && p->exp == 0 && !p->numb && !p->next) p = p->pcoef;
    if (!p || p->exp <= 0) return false;
    if (p->numb) return lintmode ? p->ncoef->value == 1 : p->ncoef->count == 1 && p->ncoef->head->digit == 1;
    return is_one(p->pcoef);
}

// The exponent of MPowermod as a count: past 2^40 it only matters as "more
// than any degree can take".
int64_t exponent_count(imag* e) {
    int64_t n = int64_t{1} << 40;
    if (e->count == 1)
        n = e->head->digit;
    else if (e->count == 2)
        n = std::min(n, (int64_t{e->head->digit} << DIGIT_BITS) + e->head->next->digit);
    return n;
}

void reduce_cell(quoly** cell, quoly* m, bool owned) {
    quoly* r = nullptr;
    quoly_mod_or_div(*cell, m, &r, '|');
    if (owned) free_quoly(cell);
    *cell = r;
}

// The square-and-multiply loop of MPowermod, reducing modulo m when given.
void power_loop(quoly** cells, mat_shape* shape, int* owned, imag* e, quoly* m, int show) {
    const std::vector<bool> bits = exponent_bits(e);
    const int64_t count = shape->count;
    const int32_t digits = e->count;
    WorkBlock block("MPowermod");
    WorkCells w(block.cells);
    w.count = count;
    for (int64_t c = 0; c < count; c++) w.cells[c] = cells[c];
    if (show) {
        std::printf("          counting to %1d\n", digits);
        std::printf("             %d ", 0);
    }
    mat_shape ws = *shape;
    // The first digit's bits start at its top bit; every later digit has 28.
    const size_t first_len = bits.size() - static_cast<size_t>(28) * (digits - 1);
    size_t k = 1;
    for (int32_t d = 0; d < digits; d++) {
        for (const size_t end = first_len + static_cast<size_t>(28) * d; k < end; k++) {
            const int consume = w.owned ? 1 : 0;
            const mat_shape sq = ws;
            matrix_mult(w.cells, w.cells, &ws, &sq, consume, nullptr, nullptr);
            w.owned = true;
            if (bits[k]) matrix_mult(w.cells, cells, &ws, shape, 1, nullptr, nullptr);
            if (m)
                for (int64_t c = 0; c < count; c++) reduce_cell(&w.cells[c], m, true);
        }
        if (show) {
            if ((d + 1) % 20 == 0) std::printf("\n             ");
            std::printf("%1d ", d + 1);
        }
    }
    if (show) std::printf("\n");
    if (w.owned) w.move_into(cells, owned);
}

}  // namespace

void matpowermod(quoly** cells, mat_shape* shape, int* owned, imag* e, quoly** modpoly_slot, int show) {
    const int32_t sign = exponent_sign(e);
    if (sign < 0) fail(287, "MPowermod");
    if (sign == 0) {
        identi(cells, shape->rows, *owned);
        *owned = 1;
        return;
    }
    bool numbers = true, zero = true;
    for (int64_t c = 0; c < shape->count; c++) {
        quoly* q = cells[c];
        if (q->isnum) {
            if (!iszero(q->nnum)) zero = false;
            continue;
        }
        if (q->den) fail(323, "MPowermod");
        numbers = false;
        zero = false;
    }
    if (zero) return;
    quoly* m = modpoly_slot ? *modpoly_slot : nullptr;
    if (!m) {
        if (!numbers) check_degrees(cells, shape, nullptr, exponent_count(e), 0, "MPowermod");
        power_loop(cells, shape, owned, e, nullptr, show);
        return;
    }
    if (!m->isnum) {
        polynode* p = m->pnum;
        if (laurent && has_negative_exponent(p)) fail(198, "MPowermod");
        if (field_depth > 0 && poly_depth(p) >= field_depth) fail(291, "MPowermod");
        if (!monic(p)) fail(197, "MPowermod");
        if (numbers) {
            power_loop(cells, shape, owned, e, nullptr, show);
            return;
        }
    }
    {
        // The stored array is never changed: its cells are reduced into copies.
        std::vector<quoly*> reduced(static_cast<size_t>(shape->count), nullptr);
        WorkCells r(reduced.data());
        r.count = shape->count;
        r.owned = true;
        for (int64_t c = 0; c < shape->count; c++) {
            quoly_mod_or_div(cells[c], m, &reduced[static_cast<size_t>(c)], '|');
        }
        r.move_into(cells, owned);
    }
    check_degrees(cells, shape, nullptr, exponent_count(e), m->isnum ? 0 : poly_depth(m->pnum), "MPowermod");
    power_loop(cells, shape, owned, e, m, show);
}
