// Matrix products: the dense product and its machine-word path, the three
// sparse products, a sparse matrix by a scalar, and Winograd's scheme.
#include "matrix/products.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "gcd/factor_copies.h"
#include "gcd/nonfield_ring.h"
#include "gcd/relation_field.h"
#include "matrix/array_store.h"
#include "matrix/measures.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/measures.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/modout_suspend.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

// The machine-word path applies when every cell is a plain number and
// numbers are machine words (of a modulus, or wrapping at 32 bits as the
// word arithmetic itself does), or under the integer evaluator.
bool word_ring() { return integerflag || lintmode; }

bool all_plain(quoly** cells, int64_t n) {
    for (int64_t c = 0; c < n; c++)
        if (!cells[c]->isnum) return false;
    return true;
}

int32_t word_of(const quoly* q) {
    const imag* n = q->nnum;
    if (lintmode || modularmode) return n->value;
    return n->count > 0 ? n->head->digit : 0;
}

// Sums products of residues: small moduli add unreduced into 64 bits (each
// product is below 2^32, so a million terms cannot overflow) and reduce
// once; large moduli reduce as they go; characteristic 2 adds by XOR.
struct WordSum {
    uint64_t s = 0;
    void add(int32_t a, int32_t b) {
        if (!modularmode) {
            s += static_cast<uint64_t>(static_cast<int64_t>(a) * b);
        } else if (finf) {
            s ^= static_cast<uint32_t>(modmult(a, b));
        } else if (smallmodulus) {
            s += static_cast<uint32_t>(modmult(a, b));
        } else {
            s += static_cast<uint32_t>(modmult(a, b));
            if (s >= static_cast<uint64_t>(modulus)) s -= static_cast<uint64_t>(modulus);
        }
    }
    int32_t value() const {
        if (modularmode && !finf) return static_cast<int32_t>(s % static_cast<uint64_t>(modulus));
        return static_cast<int32_t>(s);
    }
};

// *sum += a x b in quoly arithmetic (a null *sum is 0); zeros skipped.
void add_product(quoly** sum, quoly* a, quoly* b) {
    if (quoly_iszero(a) || quoly_iszero(b)) return;
    quoly* t = nullptr;
    quoly_mult(a, b, &t);
    if (!*sum) {
        *sum = t;
    } else {
        best_quoly_add(sum, t);
    }
}

void settle_cell(quoly** cell) {
    if (!*cell) quoly_set(0, cell);
}

// Appends (col, value) at *tail and advances it.
void append_entry(colm*** tail, int32_t col, quoly* v) {
    colm* e = take_colm();
    e->col = col;
    e->val = v;
    e->next = nullptr;
    **tail = e;
    *tail = &e->next;
}

// A quotient of polynomials, not a rational number.
bool is_fraction(const quoly* q) { return !q->isnum && q->den && !q->rat; }

// Total degrees of the denominators that the sums along one line of an
// operand meet: `distinct` adds each unlike one once, as an lcm at rest
// multiplies them, `largest` is the greatest of them, about what a sum
// whose gcds see the relations keeps.
struct LineDegrees {
    int64_t distinct = 0;
    int64_t largest = 0;
};

LineDegrees line_degrees(const std::vector<polynode*>& dens) {
    LineDegrees d;
    for (size_t k = 0; k < dens.size(); k++) {
        bool seen = false;
        for (size_t l = 0; l < k && !seen; l++) seen = dens[l] == dens[k] || poly_equal(dens[l], dens[k]);
        if (seen) continue;
        const int64_t g = sum_degrees(dens[k], 1, INT32_MAX);
        d.distinct += g;
        if (g > d.largest) d.largest = g;
    }
    return d;
}

// The greatest LineDegrees among the operand's lines: its rows (`rows_of`,
// the left operand) or its columns (the right one). Dense cells are stored
// column by column.
LineDegrees operand_degrees(quoly** cells, int64_t count, sparse* frame, int32_t rows, bool rows_of) {
    LineDegrees most;
    const int32_t cols = rows > 0 ? static_cast<int32_t>(count / rows) : 0;
    std::vector<std::vector<polynode*>> lines(static_cast<size_t>(rows_of ? rows : cols));
    auto take = [&](int32_t r, int32_t c, const quoly* q) {
        if (is_fraction(q)) lines[static_cast<size_t>(rows_of ? r : c)].push_back(q->den);
    };
    if (!frame) {
        for (int32_t c = 0; c < cols; c++)
            for (int32_t r = 0; r < rows; r++) take(r, c, cells[int64_t{c} * rows + r]);
    } else {
        RowWalk w(frame);
        for (int32_t r = 0; r < rows; r++, w.next())
            for (const colm* e = *w.head(); e; e = e->next)
                if (rows_of || e->col - 1 < cols) take(r, e->col - 1, e->val);
    }
    for (const auto& line : lines) {
        const LineDegrees d = line_degrees(line);
        if (d.distinct > most.distinct) most.distinct = d.distinct;
        if (d.largest > most.largest) most.largest = d.largest;
    }
    return most;
}

// A cell reduced by the relations that rested. A denominator that divides
// its numerator once both are reduced (the diagonal of a product by an
// inverse) leaves the quotient; the ring's gcd would find it only by
// remainders that swell, in several variables for seconds a cell.
void reduce_cell(quoly** q) {
    quoly* r = *q;
    if (is_fraction(r)) {
        total_poly_modout(&r->pnum, polynames);
        total_poly_modout(&r->den, polynames);
        if (!poly_iszero(r->den) && !poly_iszero(r->pnum)) {
            struct Held {
                quoly* q = nullptr;
                ~Held() { free_quoly(&q); }
            } divisor, quotient;
            for (auto [part, held] : {std::pair{r->den, &divisor}, std::pair{r->pnum, &quotient}}) {
                polynode* copy = nullptr;
                poly_assign(part, &copy);
                use_up_poly(&copy, &held->q);
            }
            // A division that would need an inverse the ring does not prove
            // only fails: the gcd decides that cell.
            int flag = 1;
            try {
                nonfield::RefusalEscape escape;
                flag = 0;
                trial_divide(&divisor.q, &quotient.q, 1, 0, 0, &flag);
            } catch (const nonfield::NoProof&) {
                flag = 1;
            }
            if (flag == 0) {
                free_quoly(q);
                *q = quotient.q;
                quotient.q = nullptr;
            }
        }
    }
    recheck(q);
}

// The product's cells reduced; a sparse entry the relations make 0 leaves
// the row.
void reduce_product(quoly** cells, int64_t count, sparse* frame, int32_t rows) {
    if (!frame) {
        for (int64_t c = 0; c < count; c++) reduce_cell(&cells[c]);
        return;
    }
    RowWalk w(frame);
    for (int32_t r = 1; r <= rows; r++, w.next()) {
        colm** link = w.head();
        while (*link) {
            reduce_cell(&(*link)->val);
            if (quoly_iszero((*link)->val))
                free_colm(link);
            else
                link = &(*link)->next;
        }
    }
}

// Whether a product of these operands may rest the relations (see
// matrix_mult).
bool may_rest() {
    // Modulo a composite number the plain polynomial ring has no gcds
    // either; its sums stay on the ring's own road.
    const bool ground_field = !lintmode || (modularmode && mod_is_prime);
    return ground_field && need_to_turn_off_mod_out(0, 0, 0, 0, 0);
}

// Whether the relation is one that the prime splits into exactly two
// distinct factors (t^4 + 1 into two quadratics modulo every odd prime,
// t^2 + 1 into two linear ones modulo 13 and 101, t^3 - 2 into a linear
// and a quadratic one modulo 11). The ring is then a product of two
// fields, which the ring's road reaches only by remainders that must part
// them wherever a coefficient vanishes in one, and rest is the cheaper
// road by any degrees: a 4 x 4 in x, y by its Adjoint modulo 11 under
// t^3 - 2 0.5 G instructions at rest against 6.6 G, modulo 7 under t^4 + 1
// 1 G against 18 G. Over 111 such products by an Adjoint or another
// matrix, under 9 relations split so with fields of 3 to 343 elements,
// the ring's road was never more than 1.7 times as cheap, and no measure
// of the operands told those apart from products where it costs up to 13
// times as much (both roads summing their products of residues in the
// box, poly/boxmult.cpp).
bool splits_in_two() {
    const std::vector<pt*> run = relation_run();
    if (run.size() != 1) return false;
    std::vector<SplitFactor> factors;
    return relation_factors(run[0], static_cast<uint32_t>(modulus), &factors) && factors.size() == 2;
}

// Whether a product of these operands rests the relations. At
// rest a sum's denominator is the lcm of its terms' in the free ring: the
// product of the unlike denominators along a row of A and a column of B,
// unreduced in the relations' variables. Modulo a prime that lcm's gcds
// are what a sum at rest pays, and they grow with its degree; where it
// stays within two and a half times the largest single denominator, or
// small, rest is the cheaper road (a product by an inverse, whose columns
// hold one or two unlike denominators: under t^4 + 1 modulo 7 0.2 s at
// rest, past 30 s on the ring's road; products of matrices with linear
// denominators). A product by an Adjoint, whose column's n denominators
// are unlike reduced products of A's, multiplies them all at rest (3 to 4
// times the largest at n = 4 and 5): there the ring's road, whose sums
// keep about the largest, is the cheaper one (over GF(2^8) under t^4 + 1
// a 5 x 5 1.7 s against 6.6 s, modulo 5 under t^2 - 2, s^2 - t 1 s
// against 20 s). Over the rationals the ring's remainders swell, and every
// product holding fractions rests; so does every product under a
// relation split in two fields (splits_in_two).
bool stays_at_rest(quoly** a, int64_t a_count, sparse* a_frame, int32_t a_rows, quoly** b, int64_t b_count,
                   sparse* b_frame, int32_t b_rows) {
    const LineDegrees in_a = operand_degrees(a, a_count, a_frame, a_rows, true);
    const LineDegrees in_b = operand_degrees(b, b_count, b_frame, b_rows, false);
    const int64_t at_rest = in_a.distinct + in_b.distinct;
    if (at_rest == 0) return false;
    if (!lintmode) return true;
    const int64_t kept = in_a.largest + in_b.largest;
    if (2 * at_rest <= 5 * kept || at_rest <= 32) return true;
    return splits_in_two();
}

void product_of(quoly** a_cells, quoly** b_cells, mat_shape* a_shape, const mat_shape* b_shape, int consume,
                sparse** a_slot, sparse** b_slot);
void winograd_product(quoly** a, quoly** b, quoly** r, int32_t m, int32_t n, int32_t p);

}  // namespace

// Sums of fraction products under relations without the field flag cancel
// by the ring's remainders, whose numbers swell past anything the operands
// hold (a 5 x 5 by its inverse under t^2 - 1: seconds a cell). With the
// relations at rest the cells are fractions over a polynomial ring, whose
// gcds are the usual ones, and only the product is reduced, as the inverse
// is. That is sound: every denominator divides a product of the operands'
// denominators, none of which the relations make a zero divisor, so no
// factor cancelled on the way becomes one.
void matrix_mult(quoly** a_cells, quoly** b_cells, mat_shape* a_shape, const mat_shape* b_shape, int consume,
                 sparse** a_slot, sparse** b_slot) {
    ModoutSuspension rest;
    // Judged before the relations rest: the judge reads them.
    if (may_rest() && stays_at_rest(a_cells, a_shape->count, a_slot ? *a_slot : nullptr, a_shape->rows, b_cells,
                                    b_shape->count, b_slot ? *b_slot : nullptr, b_shape->rows))
        rest.start();
    product_of(a_cells, b_cells, a_shape, b_shape, consume, a_slot, b_slot);
    if (!rest.on) return;
    rest.finish();
    reduce_product(a_cells, a_shape->count, a_slot ? *a_slot : nullptr, a_shape->rows);
}

namespace {

void product_of(quoly** a_cells, quoly** b_cells, mat_shape* a_shape, const mat_shape* b_shape, int consume,
                sparse** a_slot, sparse** b_slot) {
    const int32_t rows_a = a_shape->rows;
    const int32_t inner = b_shape->rows;
    const int32_t cols = inner > 0 ? static_cast<int32_t>(b_shape->count / inner) : 0;
    const bool a_sparse = a_slot && *a_slot;
    const bool b_sparse = b_slot && *b_slot;
    if (a_sparse && b_sparse) {
        mult_sparses(a_slot, b_slot, rows_a, inner, cols, consume);
        a_shape->count = int64_t{rows_a} * cols;
        return;
    }
    if (oversize(rows_a, cols)) {
        error(43, "*");
        abandon_statement(43);
    }
    if (a_sparse) {
        mult_sparse_norm(a_slot, b_cells, a_cells, consume, rows_a, inner, cols);
        *a_slot = nullptr;
        a_shape->count = int64_t{rows_a} * cols;
        return;
    }
    const int64_t a_count = a_shape->count;
    if (b_sparse) {
        mult_norm_sparse(a_cells, b_cells, b_slot, rows_a, inner, cols);
        if (consume)
            for (int64_t c = 0; c < a_count; c++) free_quoly(&a_cells[c]);
        const int64_t n = int64_t{rows_a} * cols;
        for (int64_t c = 0; c < n; c++) {
            a_cells[c] = b_cells[c];
            b_cells[c] = nullptr;
        }
        a_shape->count = n;
        return;
    }
    WorkBlock w("*");
    quoly** out = w.cells;
    const int64_t n = int64_t{rows_a} * cols;
    for (int64_t c = 0; c < n; c++) out[c] = nullptr;
    const bool numeric = word_ring() && all_plain(a_cells, int64_t{rows_a} * inner) &&
                         all_plain(b_cells, int64_t{inner} * cols);
    if (numeric) {
        // Machine words read once, so the inner loop touches no records.
        std::vector<int32_t> aw(static_cast<size_t>(rows_a) * inner), bw(static_cast<size_t>(inner) * cols);
        for (size_t c = 0; c < aw.size(); c++) aw[c] = word_of(a_cells[c]);
        for (size_t c = 0; c < bw.size(); c++) bw[c] = word_of(b_cells[c]);
        for (int32_t j = 0; j < cols; j++)
            for (int32_t i = 0; i < rows_a; i++) {
                WordSum s;
                for (int32_t k = 0; k < inner; k++)
                    s.add(aw[static_cast<size_t>(k) * rows_a + i], bw[static_cast<size_t>(j) * inner + k]);
                quoly_set(s.value(), &out[int64_t{j} * rows_a + i]);
            }
    } else {
        // Row i of A gathered once, so that both operands of every inner
        // product are read in order (A is stored column by column).
        std::vector<quoly*> row(static_cast<size_t>(inner));
        for (int32_t i = 0; i < rows_a; i++) {
            for (int32_t k = 0; k < inner; k++) row[static_cast<size_t>(k)] = a_cells[int64_t{k} * rows_a + i];
            for (int32_t j = 0; j < cols; j++) {
                quoly** cell = &out[int64_t{j} * rows_a + i];
                quoly** bcol = b_cells + int64_t{j} * inner;
                for (int32_t k = 0; k < inner; k++) add_product(cell, row[static_cast<size_t>(k)], bcol[k]);
                settle_cell(cell);
            }
            poll_interrupt();
        }
    }
    if (consume)
        for (int64_t c = 0; c < a_count; c++) free_quoly(&a_cells[c]);
    for (int64_t c = 0; c < n; c++) {
        a_cells[c] = out[c];
        out[c] = nullptr;
    }
    a_shape->count = n;
}

}  // namespace

namespace {

// The transposed operand and the product under construction, given back
// if a cell product unwinds.
struct SparseScratch {
    sparse* bt = nullptr;
    int32_t bt_rows;
    sparse* product = nullptr;
    int32_t product_rows;
    SparseScratch(int32_t b, int32_t p) : bt_rows(b), product_rows(p) {}
    ~SparseScratch() {
        if (bt) free_sparse_frame(&bt, bt_rows);
        if (product) free_sparse(&product, product_rows, 1);
    }
    SparseScratch(const SparseScratch&) = delete;
    SparseScratch& operator=(const SparseScratch&) = delete;
};

}  // namespace

void mult_sparses(sparse** a_slot, sparse** b_slot, int32_t rows_a, int32_t rows_b, int32_t cols_b, int consume) {
    SparseScratch scratch(cols_b, rows_a);
    sparse*& bt = scratch.bt;
    flip_sparse(b_slot, &bt, rows_b, cols_b);
    int all = 1;
    bool numeric = false;
    if (word_ring()) {
        sparse_allpolys(*a_slot, rows_a, &all);
        int all_b = 1;
        if (all) sparse_allpolys(*b_slot, rows_b, &all_b);
        numeric = all && all_b;
    }
    const std::vector<sparse*> bt_frames = frames_of(bt);
    sparse*& product = scratch.product;
    product = new_frame_chain(rows_a);
    RowWalk arow(*a_slot);
    RowWalk prow(product);
    for (int32_t i = 1; i <= rows_a; i++, arow.next(), prow.next()) {
        colm* ai = *arow.head();
        if (!ai) continue;
        colm** tail = prow.head();
        for (int32_t j = 1; j <= cols_b; j++) {
            colm* x = ai;
            colm* y = *head_in(bt_frames, j);
            if (!y) continue;
            WordSum ws;
            quoly* sum = nullptr;
            bool met = false;
            while (x && y) {
                if (x->col < y->col) {
                    x = x->next;
                } else if (y->col < x->col) {
                    y = y->next;
                } else {
                    met = true;
                    if (numeric)
                        ws.add(word_of(x->val), word_of(y->val));
                    else
                        add_product(&sum, x->val, y->val);
                    x = x->next;
                    y = y->next;
                }
            }
            if (!met) continue;
            if (numeric) {
                const int32_t v = ws.value();
                if (v != 0) {
                    quoly_set(v, &sum);
                }
            }
            if (sum && !quoly_iszero(sum))
                append_entry(&tail, j, sum);
            else
                free_quoly(&sum);
        }
        poll_interrupt();
    }
    free_sparse_frame(&bt, cols_b);
    if (consume) free_sparse(a_slot, rows_a, 1);
    *a_slot = product;
    product = nullptr;
}

void mult_sparse_norm(sparse** a_slot, quoly** b_cells, quoly** out, int consume, int32_t rows_a, int32_t rows_b,
                      int32_t cols_b) {
    for (int64_t c = 0; c < int64_t{rows_a} * cols_b; c++) out[c] = nullptr;
    RowWalk arow(*a_slot);
    for (int32_t i = 0; i < rows_a; i++, arow.next())
        for (int32_t j = 0; j < cols_b; j++) {
            quoly** cell = &out[int64_t{j} * rows_a + i];
            for (colm* e = *arow.head(); e; e = e->next)
                add_product(cell, e->val, b_cells[int64_t{j} * rows_b + (e->col - 1)]);
            settle_cell(cell);
        }
    if (consume) free_sparse(a_slot, rows_a, 1);
}

void mult_norm_sparse(quoly** a_cells, quoly** out, sparse** b_slot, int32_t rows_a, int32_t rows_b,
                      int32_t cols_b) {
    SparseScratch scratch(cols_b, 0);
    sparse*& bt = scratch.bt;
    flip_sparse(b_slot, &bt, rows_b, cols_b);
    const std::vector<sparse*> bt_frames = frames_of(bt);
    for (int64_t c = 0; c < int64_t{rows_a} * cols_b; c++) out[c] = nullptr;
    for (int32_t j = 0; j < cols_b; j++) {
        colm* list = *head_in(bt_frames, j + 1);
        for (int32_t i = 0; i < rows_a; i++) {
            quoly** cell = &out[int64_t{j} * rows_a + i];
            for (colm* e = list; e; e = e->next) add_product(cell, a_cells[int64_t{e->col - 1} * rows_a + i], e->val);
            settle_cell(cell);
        }
    }
    free_sparse_frame(&bt, cols_b);
}

void mult_cons_sparse(sparse** a_slot, quoly* c, int in_place, int32_t rows) {
    if (in_place) {
        RowWalk w(*a_slot);
        for (int32_t r = 1; r <= rows; r++, w.next()) {
            colm** link = w.head();
            while (*link) {
                fast_quoly_mult(&(*link)->val, &c);
                if (quoly_iszero((*link)->val))
                    free_colm(link);
                else
                    link = &(*link)->next;
            }
        }
        return;
    }
    sparse* product = new_frame_chain(rows);
    RowWalk from(*a_slot);
    RowWalk to(product);
    for (int32_t r = 1; r <= rows; r++, from.next(), to.next()) {
        colm** tail = to.head();
        for (colm* e = *from.head(); e; e = e->next) {
            quoly* p = nullptr;
            quoly_mult(e->val, c, &p);
            if (quoly_iszero(p))
                free_quoly(&p);
            else
                append_entry(&tail, e->col, p);
        }
    }
    *a_slot = product;
}

// As matrix_mult, for the same reason.
void fast_mat_mult(quoly** a, quoly** b, quoly** r, int32_t m, int32_t n, int32_t p) {
    ModoutSuspension rest;
    if (may_rest() && stays_at_rest(a, int64_t{m} * n, nullptr, m, b, int64_t{n} * p, nullptr, n)) rest.start();
    winograd_product(a, b, r, m, n, p);
    if (!rest.on) return;
    rest.finish();
    reduce_product(r, int64_t{m} * p, nullptr, m);
}

namespace {

void winograd_product(quoly** a, quoly** b, quoly** r, int32_t m, int32_t n, int32_t p) {
    const int32_t h = n / 2;
    auto A = [&](int32_t i, int32_t k) { return a[int64_t{k} * m + i]; };   // from 0
    auto B = [&](int32_t k, int32_t j) { return b[int64_t{j} * n + k]; };
    std::vector<quoly*> col_f(static_cast<size_t>(p), nullptr);
    struct Factors {
        std::vector<quoly*>& v;
        ~Factors() {
            for (quoly*& q : v) free_quoly(&q);
        }
    } hold{col_f};
    for (int32_t j = 0; j < p; j++) {
        for (int32_t t = 0; t < h; t++) add_product(&col_f[j], B(2 * t, j), B(2 * t + 1, j));
        settle_cell(&col_f[j]);
    }
    // The row factor and the running sums are held with the column factors,
    // so an interrupt or an error inside the loop gives them back too.
    quoly* row_f = nullptr;
    quoly* s1 = nullptr;
    quoly* s2 = nullptr;
    struct Scratch {
        quoly** r;
        quoly** a;
        quoly** b;
        ~Scratch() {
            free_quoly(r);
            free_quoly(a);
            free_quoly(b);
        }
    } hold_row{&row_f, &s1, &s2};
    for (int32_t i = 0; i < m; i++) {
        for (int32_t t = 0; t < h; t++) add_product(&row_f, A(i, 2 * t + 1), A(i, 2 * t));
        settle_cell(&row_f);
        for (int32_t j = 0; j < p; j++) {
            quoly** cell = &r[int64_t{j} * m + i];
            *cell = nullptr;
            for (int32_t t = 0; t < h; t++) {
                quoly_add(A(i, 2 * t + 1), B(2 * t, j), &s1);
                quoly_add(A(i, 2 * t), B(2 * t + 1, j), &s2);
                add_product(cell, s1, s2);
            }
            free_quoly(&s1);
            free_quoly(&s2);
            settle_cell(cell);
            better_quoly_sub(*cell, row_f, cell);
            better_quoly_sub(*cell, col_f[j], cell);
            if (n % 2 == 1) {
                add_product(cell, A(i, n - 1), B(n - 1, j));
            }
        }
        free_quoly(&row_f);
        poll_interrupt();
    }
}

}  // namespace
