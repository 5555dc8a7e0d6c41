// Denominator lcm, monomial-list intersection and the extreme-value step.
#include "matrix/extremes.h"

#include <cstdio>

#include "interp/functions.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/monorder.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

void set_uninitialised(quoly** cell, const char* array_name) {
    quoly_set(0, cell);
    uninit++;
    if (uninit <= 20 && array_name)
        std::printf("Warning. Uninitialized array element in [%s] has been set to 0.\n", array_name);
    else if (uninit <= 20)
        std::printf("Warning. Uninitialized array element has been set to 0.\n");
    else if (uninit == 21)
        std::printf(" ....etc...\n");
}

namespace {

// The integer denominator q brings to the lcm, or null.
imag* denominator_of(const quoly* q) {
    if (q->isnum) return nullptr;
    if (q->rat) return q->den->ncoef;
    if (q->den && monomial(q->den)) return leading_coef(q->den)->ncoef;
    return nullptr;
}

// L := lcm(L, |d|).
void lcm_step(imag* l, imag* d) {
    imag* a = new_number();
    imag* g = new_number();
    imag* rem = new_number();
    abs_val_num(d, a);
    binary_gcd(l, a, g);
    if (!equal(g, number_1)) divide(l, g, l, rem);
    fast_mult(l, a, l);
    free_imag(&a);
    free_imag(&g);
    free_imag(&rem);
}

}  // namespace

void findlcm(quoly** r, sparse* frame, int32_t first, int32_t stride, int32_t rows, int32_t columns) {
    // Machine words and residues have no denominators to clear.
    if (lintmode) {
        quoly_set(1, r);
        return;
    }
    imag* l = new_number();
    special_set(1, l);
    auto offer = [l](const quoly* q) {
        if (imag* d = denominator_of(q)) lcm_step(l, d);
    };
    if (frame) {
        RowWalk w(frame);
        for (int32_t i = 1; i <= stride; i++, w.next())
            for (const colm* e = *w.head(); e; e = e->next) offer(e->val);
    } else {
        for (int32_t j = 0; j < columns; j++)
            for (int32_t i = 0; i < rows; i++) {
                quoly** cell = cell_at(first + i + int64_t{j} * stride);
                if (!*cell) set_uninitialised(cell);
                offer(*cell);
            }
    }
    scalar_to_quoly(l, r);
    free_imag(&l);
}

int32_t intersect(array* a, array* b) {
    const int32_t columns = array_columns(a);
    RowWalk wa(a->sparse), wb(b->sparse);
    int32_t i = 1, j = 1;
    ChainBuilder out;
    auto drop_a = [&]() {
        colm* e = *wa.head();
        for (colm* x = e; x; x = x->next) free_quoly(&x->val);
        give_back_list(e);
        *wa.head() = nullptr;
        wa.next();
        i++;
    };
    auto keep_a = [&]() {
        out.push(*wa.head());
        *wa.head() = nullptr;
        wa.next();
        i++;
        wb.next();
        j++;
    };
    while (i <= a->rows && j <= b->rows) {
        const colm* ea = *wa.head();
        const colm* eb = *wb.head();
        if (!ea) {   // an empty row holds no monomial to keep
            drop_a();
            continue;
        }
        if (!eb) {
            wb.next();
            j++;
            continue;
        }
        const int c = quoly_mon_compare(ea->val, eb->val);
        if (c == 0) {
            keep_a();
        } else if (c < 0) {
            drop_a();
        } else {
            wb.next();
            j++;
        }
    }
    while (i <= a->rows) drop_a();
    give_back_frames(a->sparse);
    const int32_t kept = out.rows;
    a->sparse = out.finish();
    if (kept == 0) {
        a->sparse->row[0] = nullptr;
        a->rows = 1;
        special_set_2(1, columns, &a->size);
    } else {
        a->rows = kept;
        special_set_2(kept, columns, &a->size);
    }
    return kept;
}

void consider(quoly* value, int64_t position, extreme_state* st) {
    if (!value->isnum) {
        error(119, token.name);
        return;
    }
    bool take;
    if (st->maximum)
        take = !st->found || quoly_larger(value, st->best);
    else if (st->positive && !quoly_larger(value, quol_num_0))
        take = false;   // only values above 0, as the positive minimum everywhere
    else
        take = !st->found || quoly_larger(st->best, value);
    if (take) {
        st->found = 1;
        st->best = value;
        st->position = position;
    }
}
