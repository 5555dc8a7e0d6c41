// Array values: release, copying shared cells, gathering a named array,
// the system array, and the array language's error exit.
#include "matrix/array_value.h"

#include "interp/suspended_store.h"
#include "matrix/array_store.h"
#include "matrix/extremes.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

int want_sparse = 0;
int cancelflag = 0;

void release_value(arr_value* v) {
    if (v->fresh) {
        if (v->frame)
            free_sparse(&v->frame, v->rows, 1);
        else
            for (int64_t c = 0; c < v->count; c++) free_quoly(&v->cells[c]);
    }
    v->frame = nullptr;
    v->count = 0;
    v->fresh = 0;
}

void make_fresh(arr_value* v) {
    if (v->fresh || v->count == 0) return;
    if (v->frame) {
        sparse* src = v->frame;
        sparse* copy = nullptr;
        copy_sparse(&src, &copy, v->rows, 0);
        v->frame = copy;
    } else {
        for (int64_t c = 0; c < v->count; c++) {
            quoly* x = nullptr;
            quoly_assign(v->cells[c], &x);
            v->cells[c] = x;
        }
    }
    v->fresh = 1;
}

namespace {
ArrValueHold* newest_hold = nullptr;
}

ArrValueHold::ArrValueHold(arr_value* x) : v(x), older(newest_hold) { newest_hold = this; }

ArrValueHold::~ArrValueHold() {
    newest_hold = older;
    release_value(v);
}

void freshen_values_in_flight() {
    for (ArrValueHold* h = newest_hold; h; h = h->older) make_fresh(h->v);
}

void arr_error(int code, const char* token) {
    error(code, token);
    abandon_statement(code);
}

void fillit_1(array* a, quoly** out) {
    const int64_t n = cell_count(a);
    for (int64_t c = 0; c < n; c++) {
        quoly** cell = cell_at(a->first + c);
        if (!*cell) set_uninitialised(cell);
        out[c] = *cell;
    }
}

void sparse_operand(array* a, arr_value* v) {
    v->frame = a->sparse;
    v->fresh = 0;
    // A sparse array a conversion list left out enters as elements of the
    // ring, in a copy of its own.
    if (sparse* in_ring = sparse_read_in_ring(a)) {
        v->frame = in_ring;
        v->fresh = 1;
    }
}

void fillit(int32_t rows, int32_t columns, int32_t first, int32_t stride, quoly** out) {
    int64_t k = 0;
    for (int32_t c = 0; c < columns; c++)
        for (int32_t r = 0; r < rows; r++) {
            quoly** cell = cell_at(int64_t{first} + r + int64_t{c} * stride);
            if (!*cell) set_uninitialised(cell);
            out[k++] = *cell;
        }
}

void settle_suspended_cells(arr_value* v, quoly** scalar) {
    if (!modular_suspended()) return;
    settle_suspended_store(scalar, true);
    if (v->count == 0) return;
    make_fresh(v);
    if (!v->frame) {
        for (int64_t c = 0; c < v->count; c++) settle_suspended_store(&v->cells[c], true);
        return;
    }
    for (sparse* f = v->frame; f; f = f->next)
        for (colm*& head : f->row)
            for (colm** at = &head; *at;) {
                settle_suspended_store(&(*at)->val, true);
                if (quoly_iszero((*at)->val))
                    free_colm(at);
                else
                    at = &(*at)->next;
            }
}

void enter_left_out_cells(arr_value* v) {
    if (v->frame) return;
    bool any = false;
    // Every cell is tried before anything is copied: one without an
    // element ends the statement with nothing to give back.
    for (int64_t c = 0; c < v->count; c++)
        if (left_out_needs_reading(v->cells[c])) {
            refuse_unless_converts(v->cells[c]);
            any = true;
        }
    if (!any) return;
    // A copy made in modular mode keeps only a left-out value's words, so
    // the elements are read from the cells themselves.
    for (int64_t c = 0; c < v->count; c++) {
        quoly* read = nullptr;
        if (read_left_out_converted(v->cells[c], &read)) {
            if (v->fresh) free_quoly(&v->cells[c]);
        } else if (!v->fresh) {
            quoly_assign(v->cells[c], &read);
        } else {
            continue;
        }
        v->cells[c] = read;
    }
    v->fresh = 1;
}

void value_to_syst(arr_value* v) {
    imag* n = new_number();
    special_set_2(v->rows, v->columns(), n);
    fill_syst_array(v->cells, n, v->fresh, v->frame, v->rows);
    free_imag(&n);
    if (v->fresh) {
        v->frame = nullptr;
        v->count = 0;
    }
}

void take_syst(arr_value* v) {
    v->rows = syst->rows;
    v->count = cell_count(syst);
    v->frame = nullptr;
    copy_syst(v->cells, syst->rows, &v->frame);
    v->fresh = 1;
}
