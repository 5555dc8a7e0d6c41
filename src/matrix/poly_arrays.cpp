// Monomial columns, factor arrays and denominator dropping (poly_arrays.h).
#include "matrix/poly_arrays.h"

#include <cstdio>
#include <vector>

#include "interp/scalars.h"
#include "matrix/array_store.h"
#include "matrix/extremes.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "toplevel/ring_change.h"

namespace {

// The next row of a frame chain, frames appended when the chain ends.
struct RowWriter {
    sparse* frame;
    int32_t in_frame = 0;   // rows used in the current frame
    int32_t rows = 0;

    void append(quoly* value) {
        if (in_frame == SPARSE_FRAME_ROWS) {
            if (!frame->next) frame->next = new_frame_chain(1);
            frame = frame->next;
            in_frame = 0;
        }
        colm* e = take_colm();
        e->col = 1;
        e->val = value;
        e->next = nullptr;
        frame->row[in_frame++] = e;
        rows++;
    }
};

// The depth-first walk of dump_mons: path[k] is the exponent of the term
// being visited at level k + 1.
struct MonomialWalk {
    RowWriter out;
    int one;
    std::vector<int32_t> path;

    // The monomial path[0 .. levels - 1] over tail (taken over): a lone
    // number tail drops the exponent-0 levels just above it.
    quoly* monomial(int32_t levels, polynode* tail) {
        if (tail->numb && !tail->next)
            while (levels > 0 && path[levels - 1] == 0) levels--;
        polynode* p = tail;
        for (int32_t k = levels - 1; k >= 0; k--) p = new_term_node(path[k], p);
        quoly* q = nullptr;
        use_up_poly(&p, &q);
        return q;
    }

    polynode* number_tail(imag* n) {
        polynode* t = nullptr;
        if (one) {
            poly_set(1, &t);
        } else {
            imag* c = new_number();
            num_assign(n, c);
            t = new_number_node(c);
        }
        return t;
    }

    // p: the list of level `level` (from 1).
    void walk(polynode* p, int32_t level) {
        if (field_depth > 0 && level >= field_depth && !(p->numb && !p->next)) {
            polynode* t = nullptr;
            if (one)
                poly_set(1, &t);
            else
                poly_assign(p, &t);
            out.append(monomial(level - 1, t));
            return;
        }
        if (static_cast<int32_t>(path.size()) < level) path.resize(level);
        for (polynode* t = p; t; t = t->next) {
            path[level - 1] = t->exp;
            if (t->numb)
                out.append(monomial(level - 1, number_tail(t->ncoef)));
            else
                walk(t->pcoef, level + 1);
        }
    }
};

}  // namespace

int32_t dump_mons(array* a, quoly* q, int one) {
    if (!a->sparse) a->sparse = new_frame_chain(1);
    a->sparse->row[0] = nullptr;
    MonomialWalk w{RowWriter{a->sparse}, one, {}};
    if (q->isnum) {
        if (!one && iszero(q->nnum)) return 0;
        quoly* v = nullptr;
        if (one)
            quoly_set(1, &v);
        else
            quoly_assign(q, &v);
        w.out.append(v);
        return w.out.rows;
    }
    w.walk(q->pnum, 1);
    return w.out.rows;
}

void note_reduced_count(int32_t n) {
    if (!modularmode || n < modulus) return;
    std::printf(" *** Warning. A count or multiplicity of %d is kept modulo %d.\n", n, modulus);
    std::fflush(stdout);
}

void poly_to_array(int32_t n, int32_t first, polynode** list) {
    if (n <= 0) {
        quoly_set(1, cell_at(first));
        quoly_set(0, cell_at(first + 1));
        free_poly(list);
        return;
    }
    polynode* c = *list;
    polynode* last = nullptr;
    for (int32_t t = 0; t < n && c; t++, last = c, c = c->next) {
        quoly** factor = cell_at(first + t);
        free_quoly(factor);
        use_up_poly(&c->pcoef, factor);
        c->pcoef = nullptr;
        note_reduced_count(c->exp);
        quoly_set(c->exp, cell_at(first + n + t));
    }
    // The cells moved out own nothing now: back to the free list in one
    // splice; cells past n (none from the factoring routines) are freed.
    if (last) {
        last->next = polygarb;
        polygarb = *list;
        *list = c;
    }
    free_poly(list);
}

void kill_denominator(quoly* q) {
    if (q->isnum || !q->den) return;
    free_poly(&q->den);
    q->rat = 0;
    if (q->pnum->numb && !q->pnum->next) polynum_to_quoly(&q);
}

void kill_denominator_in_ring(quoly** slot) {
    quoly* read = nullptr;
    if (!read_left_out_converted(*slot, &read)) {
        kill_denominator(*slot);
        return;
    }
    // A left-out value: its element of the ring loses its denominator. One
    // whose element has none is left as it is, as a starred value is.
    if (read->isnum || !read->den) {
        free_quoly(&read);
        return;
    }
    kill_denominator(read);
    retire_value(slot);
    *slot = read;
}

void killdenoms(sparse* frame, int32_t first, int32_t rows, int32_t length, int32_t columns) {
    // Nothing changes unless every left-out value has an element of the ring.
    if (frame) {
        sparse* f = frame;
        for (int32_t r = 1; r <= rows && f; r++) {
            const int32_t k = (r - 1) % SPARSE_FRAME_ROWS;
            for (colm* e = f->row[k]; e; e = e->next) refuse_unless_converts(e->val);
            if (k == SPARSE_FRAME_ROWS - 1) f = f->next;
        }
        f = frame;
        for (int32_t r = 1; r <= rows && f; r++) {
            const int32_t k = (r - 1) % SPARSE_FRAME_ROWS;
            for (colm* e = f->row[k]; e; e = e->next) kill_denominator_in_ring(&e->val);
            if (k == SPARSE_FRAME_ROWS - 1) f = f->next;
        }
        return;
    }
    for (int32_t j = 0; j < columns; j++)
        for (int32_t i = 0; i < length; i++) refuse_unless_converts(*cell_at(first + i + int64_t{j} * rows));
    int64_t c = first;
    for (int32_t j = 0; j < columns; j++) {
        for (int32_t i = 0; i < length; i++, c++) {
            quoly** cell = cell_at(c);
            if (!*cell)
                set_uninitialised(cell);
            else
                kill_denominator_in_ring(cell);
        }
        c += rows - length;
    }
}
