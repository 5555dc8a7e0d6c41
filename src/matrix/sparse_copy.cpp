// Copies of sparse matrices: plain, negated, integer-valued, one-variable,
// and of the system array.
#include "matrix/array_store.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_whole.h"
#include "storage/assign.h"

namespace {

// A copy of every row of src into a new chain; value(dst_slot, src_entry)
// fills each new entry's value.
template <class Value>
sparse* copy_rows(sparse* src, int32_t n, Value value) {
    sparse* dst = new_frame_chain(n);
    RowWalk from(src), to(dst);
    for (int32_t r = 1; r <= n; r++, from.next(), to.next()) {
        colm** link = to.head();
        for (const colm* e = *from.head(); e; e = e->next) {
            colm* c = take_colm();
            c->col = e->col;
            c->val = nullptr;
            c->next = nullptr;
            value(&c->val, e);
            *link = c;
            link = &c->next;
        }
        *link = nullptr;
    }
    return dst;
}

}  // namespace

colm* copy_list(const colm* src, int negate) {
    colm* first = nullptr;
    colm** link = &first;
    for (; src; src = src->next) {
        colm* c = take_colm();
        c->col = src->col;
        c->val = nullptr;
        if (negate)
            quoly_makeneg(src->val, &c->val);
        else
            quoly_assign(src->val, &c->val);
        *link = c;
        link = &c->next;
    }
    *link = nullptr;
    return first;
}

void copy_sparse(sparse** src, sparse** dst, int32_t n, int negate) {
    *dst = copy_rows(*src, n, [negate](quoly** v, const colm* e) {
        if (negate)
            quoly_makeneg(e->val, v);
        else
            quoly_assign(e->val, v);
    });
}

void special_copy_sparse(sparse* src, sparse** dst, int32_t n) {
    *dst = copy_rows(src, n, [](quoly** v, const colm* e) {
        *v = reinterpret_cast<quoly*>(static_cast<intptr_t>(e->val->nnum->value));
    });
}

void one_var_copy_sparse(sparse** src, sparse** dst, int32_t n) {
    *dst = copy_rows(*src, n, [](quoly** v, const colm* e) { one_var_quoly_assign(e->val, v); });
}

void sparse_makeneg(sparse** slot, int32_t n, int* owned) {
    if (!*owned) {
        sparse* copy;
        copy_sparse(slot, &copy, n, 1);
        *slot = copy;
        *owned = 1;
        return;
    }
    RowWalk w(*slot);
    for (int32_t r = 1; r <= n; r++, w.next())
        for (colm* e = *w.head(); e; e = e->next) quoly_inplace(e->val);
}

void copy_syst(quoly** cells, int32_t n, sparse** dst_frame) {
    if (syst->sparse) {
        copy_sparse(&syst->sparse, dst_frame, n, 0);
        return;
    }
    for (int32_t c = 0; c <= syst->last; c++) {
        cells[c] = nullptr;
        if (syst_cells[c]) quoly_assign(syst_cells[c], &cells[c]);
    }
}
