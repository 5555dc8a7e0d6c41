#include "matrix/matrix_poly.h"

#include <vector>

#include "interp/readers.h"
#include "det/det_state.h"
#include "matrix/matrix_power.h"
#include "matrix/products.h"
#include "matrix/sparse.h"
#include "matrix/sparse_sums.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

// A dense or sparse n x n matrix owned by the scope (dense cells in a
// work block).
struct Mat {
    int32_t n;
    bool sparse_m;
    WorkBlock block;
    sparse* frame = nullptr;
    mat_shape shape;
    int owned = 0;
    Mat(int32_t size, bool sp) : n(size), sparse_m(sp), block("#"), shape{int64_t{size} * size, size} {
        for (int64_t c = 0; c < shape.count; c++) block.cells[c] = nullptr;
    }
    ~Mat() { clear(); }
    void clear() {
        if (owned) {
            if (sparse_m)
                free_sparse(&frame, n, 1);
            else
                for (int64_t c = 0; c < shape.count; c++) free_quoly(&block.cells[c]);
        }
        frame = nullptr;
        owned = 0;
    }
    // A copy of A's cells (shared, not owned) or of its frame (owned).
    void share(const arr_value* a) {
        if (sparse_m) {
            sparse* src = a->frame;
            copy_sparse(&src, &frame, n, 0);
            owned = 1;
        } else {
            for (int64_t c = 0; c < shape.count; c++) block.cells[c] = a->cells[c];
            owned = 0;
        }
    }
    void own_cells() {
        if (owned || sparse_m) return;
        for (int64_t c = 0; c < shape.count; c++) {
            quoly* x = nullptr;
            quoly_assign(block.cells[c], &x);
            block.cells[c] = x;
        }
        owned = 1;
    }
    // The cell := f(cell, c), freed first when it was the scope's own.
    void replace(quoly** cell, quoly* c, void (*f)(quoly*, quoly*, quoly**)) {
        quoly* r = nullptr;
        f(*cell, c, &r);
        if (owned) free_quoly(cell);
        *cell = r;
    }
    void scale(quoly* c) {
        if (sparse_m) {
            mult_cons_sparse(&frame, c, 1, n);
            return;
        }
        own_cells();
        for (int64_t k = 0; k < shape.count; k++) replace(&block.cells[k], c, quoly_mult);
    }
    void add_diagonal(quoly* c) {
        own_cells();
        if (sparse_m) {
            add_to_diag(c, frame, n);
            return;
        }
        for (int32_t i = 0; i < n; i++) replace(&block.cells[int64_t{i} * n + i], c, quoly_add);
    }
    // this := this x b.
    void times(Mat& b) {
        own_cells();
        sparse* none = nullptr;
        matrix_mult(block.cells, b.block.cells, &shape, &b.shape, 1, sparse_m ? &frame : &none,
                    b.sparse_m ? &b.frame : &none);
    }
    Mat(const Mat&) = delete;
    Mat& operator=(const Mat&) = delete;
};

// this := A^g (g >= 1).
void power_of(Mat& m, const arr_value* a, int32_t g) {
    m.share(a);
    if (g > 1) matrix_power(m.block.cells, &m.shape, &m.owned, g, m.sparse_m ? &m.frame : nullptr);
}

// r := r x A^g.
void times_power(Mat& r, const arr_value* a, int32_t g) {
    Mat p(r.n, r.sparse_m);
    power_of(p, a, g);
    r.times(p);
}

// A coefficient of p's outermost level as a quoly.
quoly* coefficient(polynode* term) {
    quoly* q = nullptr;
    if (term->numb) {
        poly_to_quoly(term, &q);
        return q;
    }
    if (term->pcoef->numb && !term->pcoef->next) {
        p_q_assign(term->pcoef, &q);
        return q;
    }
    // A polynomial of the inner variables keeps its level under a term of
    // exponent 0 in the outermost one.
    polynode* inner = nullptr;
    poly_assign(term->pcoef, &inner);
    polynode* padded = new_term_node(0, inner);
    p_q_assign(padded, &q);
    free_poly(&padded);
    return q;
}

}  // namespace

void poly_at_matrix(quoly* p, arr_value* v) {
    const int32_t n = v->rows;
    const bool sp = v->frame != nullptr;
    Mat r(n, sp);
    const bool constant = p->isnum || p->rat || (!p->pnum->next && p->pnum->exp == 0);
    if (constant) {
        if (sp) {
            spar_identi(&r.frame, n, 0);
            r.owned = 1;
        } else {
            for (int64_t c = 0; c < r.shape.count; c++) quoly_set(0, &r.block.cells[c]);
            r.owned = 1;
            for (int32_t i = 0; i < n; i++) free_quoly(&r.block.cells[int64_t{i} * n + i]);
            for (int32_t i = 0; i < n; i++) quoly_set(1, &r.block.cells[int64_t{i} * n + i]);
        }
        r.scale(p);
    } else {
        polynode* term = p->pnum;
        auto gap = [](polynode* t) { return t->next ? t->exp - t->next->exp : t->exp; };
        {
            QuolyOwner c(coefficient(term));
            power_of(r, v, gap(term));
            r.scale(c.q);
        }
        for (term = term->next; term; term = term->next) {
            QuolyOwner c(coefficient(term));
            r.add_diagonal(c.q);
            if (gap(term) > 0) times_power(r, v, gap(term));
        }
        r.own_cells();
    }
    release_value(v);
    if (sp) {
        v->frame = r.frame;
        r.frame = nullptr;
    } else {
        for (int64_t c = 0; c < r.shape.count; c++) {
            v->cells[c] = r.block.cells[c];
            r.block.cells[c] = nullptr;
        }
    }
    r.owned = 0;
    v->count = int64_t{n} * n;
    v->rows = n;
    v->fresh = 1;
}

void quoly_at_matrix(FILE** source, quoly* p, arr_value* v, name** pending) {
    if (!p->isnum && p->den && !(p->rat && !lintmode)) arr_error(186, "#");
    SlotHold scalar;
    {
        // p is held while the matrix is read.
        ReadingValue reading;
        arr_fact(source, &scalar.q, v, pending);
    }
    if (v->count == 0 || v->count != int64_t{v->rows} * v->rows) {
        release_value(v);
        arr_error(174, "#");
    }
    poly_at_matrix(p, v);
}
