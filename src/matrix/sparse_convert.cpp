// Dense cells into sparse matrices, filling with a scalar, and the diagonal.
#include <cstdio>

#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

void clear_rows(sparse* first, int32_t n) {
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next()) {
        colm* e = *w.head();
        if (!e) continue;
        for (colm* x = e; x; x = x->next) free_quoly(&x->val);
        give_back_list(e);
        *w.head() = nullptr;
    }
}

namespace {

// a's matrix emptied, or made when it has none.
void empty_matrix(array* a) {
    if (a->sparse)
        clear_rows(a->sparse, a->rows);
    else
        sparse_init(&a->sparse, a->rows);
}

}  // namespace

void standard_to_sparse(array* a, quoly** cells, int32_t c, int move) {
    empty_matrix(a);
    const int32_t rows = a->rows;
    RowWalk w(a->sparse);
    for (int32_t i = 1; i <= rows; i++, w.next()) {
        colm** link = w.head();
        for (int32_t j = 1; j <= c; j++) {
            quoly* q = cells[(i - 1) + int64_t{j - 1} * rows];
            if (!q || quoly_iszero(q)) continue;
            colm* e = take_colm();
            e->col = j;
            e->val = nullptr;
            if (move)
                e->val = q;
            else
                quoly_assign(q, &e->val);
            *link = e;
            link = &e->next;
        }
        *link = nullptr;
    }
}

void fill_sparse(array* a) {
    const int32_t rows = a->rows;
    const int32_t c = array_columns(a);
    if (!a->sparse) newsparse(&a->sparse);
    sparse* f = a->sparse;
    f->pending = 0;
    f->next = nullptr;
    for (int32_t i = 1; i <= rows; i++) {
        if (i > 1 && (i - 1) % SPARSE_FRAME_ROWS == 0) {
            sparse* g;
            newsparse(&g);
            g->pending = 0;
            g->next = nullptr;
            f->next = g;
            f = g;
        }
        colm** link = &f->row[(i - 1) % SPARSE_FRAME_ROWS];
        for (int32_t j = 1; j <= c; j++) {
            quoly** cell = cell_at(a->first + (i - 1) + int64_t{j - 1} * rows);
            if (!*cell) continue;
            if (quoly_iszero(*cell)) {
                free_quoly(cell);
                continue;
            }
            colm* e = take_colm();
            e->col = j;
            e->val = *cell;
            *cell = nullptr;
            *link = e;
            link = &e->next;
        }
        *link = nullptr;
    }
    const int32_t first = a->first, last = a->last;
    a->first = 0;
    a->last = -1;
    close_store_gap(first, last);

    // A parameter bound to a (its record carries the negated stamp) shares
    // the frames from now on; it is reported once the conversion is whole.
    const array* alias = nullptr;
    if (storage_shared(a))
        for (array* b : arr_store)
            for (; b; b = b->link)
                if (b != a && b->stamp == -a->stamp) {
                    warning(342, b->name);
                    std::printf(" If necessary, do a panic stop as soon as possible. Then if\n");
                    std::printf(" necessary, delete the parameter %s.\n", b->name);
                    b->sparse = a->sparse;
                    b->first = 0;
                    b->last = -1;
                    set_token(&token, b->name);
                    alias = b;
                }
    if (alias) error(342, token.name);
}

void sparse_set_scalar(array* a, int32_t c, quoly* q) {
    empty_matrix(a);
    if (quoly_iszero(q)) return;
    RowWalk w(a->sparse);
    for (int32_t i = 1; i <= a->rows; i++, w.next()) {
        colm** link = w.head();
        for (int32_t j = 1; j <= c; j++) {
            colm* e = take_colm();
            e->col = j;
            e->val = nullptr;
            quoly_assign(q, &e->val);
            *link = e;
            link = &e->next;
        }
        *link = nullptr;
    }
}

void extract_diagonal(quoly** dst, quoly** src, array* rec, int consume, int32_t* rows, sparse** frame) {
    const int32_t n = *rows;
    const int64_t c = number_cells(&rec->size) / n;
    const int32_t m = static_cast<int32_t>(c < n ? c : n);
    special_set(m, &rec->size);
    rec->rows = 1;
    if (*frame) {
        for (int32_t i = 1; i <= m; i++) {
            quoly* d = spar_retrieve(*frame, i, i);
            if (consume) {
                dst[i - 1] = nullptr;
                quoly_assign(d, &dst[i - 1]);
            } else {
                dst[i - 1] = d;
            }
        }
        if (consume)
            free_sparse(frame, n, 1);
        else
            *frame = nullptr;
    } else if (!consume) {
        for (int32_t i = 1; i <= m; i++) dst[i - 1] = src[int64_t{i - 1} * (n + 1)];
    } else {
        // The other cells are freed first and the diagonal moved down
        // after, so dst may be src itself.
        const int64_t total = int64_t{n} * c;
        for (int64_t k = 0; k < total; k++)
            if (k % (n + 1) != 0 || k / (n + 1) >= m) free_quoly(&src[k]);
        for (int32_t i = 1; i <= m; i++) {
            const int64_t k = int64_t{i - 1} * (n + 1);
            quoly* d = src[k];
            src[k] = nullptr;
            dst[i - 1] = d;
        }
    }
    *rows = m;
}
