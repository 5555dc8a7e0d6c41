// Built-in 63, "Poly": a column of numbers becomes a polynomial in the
// outermost variable, the first cell being the leading coefficient. The
// terms are linked as they are met, so the exponents fall as the shape
// rules want.
#include "builtins/storage_builtins.h"

#include <cstdio>

#include "interp/array_table.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/left_out_cells.h"
#include "matrix/sparse.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// The terms gathered so far, freed unless handed over.
struct TermChain {
    PolyHold first;
    polynode** end = &first.p;
    bool failed = false;

    // The cell value q as the coefficient of x^e; null and zero add nothing.
    void add(quoly* q, int32_t e) {
        if (failed || !q || quoly_iszero(q)) return;
        if (!q->isnum) {
            error(227, token.name);
            failed = true;
            return;
        }
        polynode* leaf = nullptr;
        quoly_to_poly(q, &leaf);
        polynode* t = nullptr;
        make_monomial(&t, e, leaf);
        *end = t;
        end = &t->next;
    }

    // No term: 0; a lone number: a plain number; else a polynomial.
    void finish(quoly** slot) {
        free_quoly(slot);
        if (failed || !first.p) {
            quoly_set(0, slot);
            return;
        }
        polynode* p = first.release();
        use_up_poly(&p, slot);
    }
};

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

}  // namespace

void arr_to_poly(array* a, quoly** slot) {
    TermChain terms;
    const int32_t n = a->last - a->first + 1;
    for (int32_t i = 0; i < n; i++) terms.add(*cell_at(int64_t{a->first} + i), n - 1 - i);
    terms.finish(slot);
}

void arr_to_poly_sparse(sparse* frame, int32_t n, quoly** slot) {
    TermChain terms;
    for (int32_t r = 1; r <= n && frame; r++) {
        colm* e = frame->row[(r - 1) % SPARSE_FRAME_ROWS];
        if (e) terms.add(e->val, n - r);
        if (r % SPARSE_FRAME_ROWS == 0) frame = frame->next;
    }
    terms.finish(slot);
}

void builtin_poly(FILE** source, quoly** result, name** pending) {
    free_quoly(result);
    quoly_set(0, result);
    // Without a variable there is nothing to make a polynomial in; the
    // argument is still read when the error comes back.
    const bool no_variable = number_polys == 0;
    if (no_variable) error(213, token.name);
    next_token(source, pending);
    if (!token_is(&token, "[")) {
        error(178, token.name);
        return;
    }
    array_operand op;
    left_side(source, pending, &op, 0);
    if (!op.record) {
        error(28, op.nm.name);
        return;
    }
    if (op.sub_first_row >= 0) {
        error(182, op.nm.name);
        return;
    }
    if (no_variable) return;
    // A left-out array is read as its elements of the ring.
    SparseInRing in_ring(op.record);
    array* r = in_ring.record();
    if (r->sparse) {
        arr_to_poly_sparse(r->sparse, r->rows, result);
        return;
    }
    CellsInRing cells(r->first, r->last - r->first + 1, 1, 0);
    arr_to_poly(r, result);
}
