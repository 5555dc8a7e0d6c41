// Frames, entries and the element operations of the sparse store.
#include "matrix/sparse.h"

#include "interp/integer_eval.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/held_targets.h"
#include "storage/nodetests.h"
#include "storage/stash.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

colm* take_colm() {
    colm* e;
    newcolm(&e);
    return e;
}

sparse* row_frame(sparse* f, int32_t r) {
    for (int32_t k = (r - 1) / SPARSE_FRAME_ROWS; k > 0 && f; k--) f = f->next;
    return f;
}

sparse* new_frame_chain(int32_t n) {
    sparse* first = nullptr;
    sparse** link = &first;
    int32_t left = n;
    do {
        sparse* f;
        newsparse(&f);
        const int32_t heads = left >= SPARSE_FRAME_ROWS ? SPARSE_FRAME_ROWS : (left > 0 ? left : 0);
        for (int32_t h = 0; h < heads; h++) f->row[h] = nullptr;
        f->pending = 0;
        f->next = nullptr;
        *link = f;
        link = &f->next;
        left -= SPARSE_FRAME_ROWS;
    } while (left > 0);
    return first;
}

void give_back_frames(sparse* first) {
    if (!first) return;
    sparse* last = first;
    if (any_held_target()) release_held_in(last->row, last->row + SPARSE_FRAME_ROWS);
    while (last->next) {
        last = last->next;
        if (any_held_target()) release_held_in(last->row, last->row + SPARSE_FRAME_ROWS);
    }
    last->next = spargarb;
    spargarb = first;
}

void give_back_list(colm* first) {
    if (!first) return;
    colm* last = first;
    if (any_held_target()) release_held_in(&last->val, &last->val + 1);
    while (last->next) {
        last = last->next;
        if (any_held_target()) release_held_in(&last->val, &last->val + 1);
    }
    last->next = colm_garb;
    colm_garb = first;
}

void sparse_init(sparse** slot, int32_t n) { *slot = new_frame_chain(n); }

void spar_identi(sparse** slot, int32_t n, int owned) {
    if (owned)
        free_sparse(slot, n, 1);
    else
        *slot = nullptr;
    sparse* f = new_frame_chain(n);
    for (int32_t i = 1; i <= n; i++) {
        colm* e = take_colm();
        e->col = i;
        e->val = nullptr;
        quoly_set(1, &e->val);
        e->next = nullptr;
        *row_head(f, i) = e;
    }
    *slot = f;
}

namespace {

// Frees the rows 1..n of the chain (quolys too when with_values) and the frames.
void release_chain(sparse* first, int32_t n, bool with_values) {
    int32_t r = 0;
    for (sparse* f = first; f && r < n; f = f->next)
        for (int32_t h = 0; h < SPARSE_FRAME_ROWS && r < n; h++, r++) {
            colm* e = f->row[h];
            if (!e) continue;
            if (with_values)
                for (colm* x = e; x; x = x->next) free_quoly(&x->val);
            give_back_list(e);
            f->row[h] = nullptr;
        }
    give_back_frames(first);
}

}  // namespace

void free_sparse(sparse** slot, int32_t n, int owned) {
    if (!*slot) return;
    if (owned) release_chain(*slot, n, true);
    *slot = nullptr;
}

void free_sparse_frame(sparse** slot, int32_t n) {
    if (!*slot) return;
    release_chain(*slot, n, false);
    *slot = nullptr;
}

void free_stuff(sparse* first, int32_t n) {
    if (!first) return;
    if (n < 1) {
        first->next = spargarb;
        spargarb = first;
        return;
    }
    release_chain(first, n, false);
}

void put_back_sparse(sparse* a, sparse* b, int32_t n) {
    for (int32_t r = 1; r <= n; r++) {
        colm** hb = row_head(b, r);
        for (colm* x = *hb; x; x = x->next) free_quoly(&x->val);
        give_back_list(*hb);
        colm** ha = row_head(a, r);
        *hb = *ha;
        *ha = nullptr;
    }
}

void move_data_into_quoly(sparse* first, int32_t n) {
    for (int32_t r = 1; r <= n; r++)
        for (colm* e = *row_head(first, r); e; e = e->next) {
            quoly* q = e->val;
            const int32_t v = q ? q->nnum->value : 0;
            free_quoly(&q);
            e->val = reinterpret_cast<quoly*>(static_cast<intptr_t>(v));
        }
}

void move_data_outof_quoly(sparse* first, int32_t n) {
    for (int32_t r = 1; r <= n; r++) {
        colm** p = row_head(first, r);
        while (*p) {
            colm* e = *p;
            const auto v = static_cast<int32_t>(reinterpret_cast<intptr_t>(e->val));
            e->val = nullptr;
            if (v == 0) {
                // Reported, and not kept: the store never holds a stored zero.
                tarvexerror("0 value in move_data_outof_quoly.");
                *p = e->next;
                e->next = colm_garb;
                colm_garb = e;
                continue;
            }
            quoly_set_lint(v, &e->val);
            p = &e->next;
        }
    }
}

// ---------------------------------------------------------------- elements

void sparse_subscripts(const array* a, int32_t first, int32_t second, int twosub, int32_t* row,
                       int32_t* col) {
    if (twosub) {
        *row = first - addresser + 1;
        *col = second - addresser + 1;
    } else {
        const int32_t k = first - addresser;
        *row = k % a->rows + 1;
        *col = k / a->rows + 1;
    }
}

namespace {

// The link slot in the row at *head where column col is or would be.
colm** place_in_row(colm** head, int32_t col) {
    colm** p = head;
    while (*p && (*p)->col < col) p = &(*p)->next;
    return p;
}

colm** element_place(array* a, int32_t first, int32_t second, int twosub, int32_t* col) {
    int32_t row;
    sparse_subscripts(a, first, second, twosub, &row, col);
    return place_in_row(row_head(a->sparse, row), *col);
}

colm* link_new(colm** at, int32_t col) {
    colm* e = take_colm();
    e->val = nullptr;
    e->col = col;
    e->next = *at;
    *at = e;
    return e;
}

}  // namespace

void sparse_insert(int32_t first, int32_t second, array* a, int twosub, quoly** q) {
    if (quoly_iszero(*q)) return;
    int32_t col;
    colm** at = element_place(a, first, second, twosub, &col);
    if (*at && (*at)->col == col) return;   // outside the contract: already stored
    colm* e = link_new(at, col);
    quoly_assign(*q, &e->val);
}

void sparse_set(int32_t first, int32_t second, array* a, quoly*** out, int twosub) {
    int32_t row, col;
    sparse_subscripts(a, first, second, twosub, &row, &col);
    sparse_zero_set(row_head(a->sparse, row), col, out);
}

void (*sparse_element_written)(colm** head, int32_t col) = nullptr;

void sparse_zero_set(colm** head, int32_t col, quoly*** out) {
    if (sparse_element_written) sparse_element_written(head, col);
    colm** at = place_in_row(head, col);
    colm* e = (*at && (*at)->col == col) ? *at : link_new(at, col);
    if (!e->val) quoly_set(0, &e->val);
    *out = &e->val;
}

void purge_sparse(colm** head, int32_t col) {
    colm** at = place_in_row(head, col);
    if (*at && (*at)->col == col && quoly_iszero((*at)->val)) free_colm(at);
}

void isparse_insert(int32_t first, int32_t second, int32_t v, array* a, int twosub, int set) {
    int32_t col;
    colm** at = element_place(a, first, second, twosub, &col);
    if (*at && (*at)->col == col) {
        colm* e = *at;
        if (v == 0) {
            if (set) free_colm(at);
            return;
        }
        // The stored value read as the integer evaluator reads it (error
        // 227 or 32 for a value that is no one-digit number), then the sum
        // in its bounded arithmetic: a value is never cut to one digit.
        const int32_t s = set ? v : iadd(istored_value(e->val, token.name), v);
        if (s == 0)
            free_colm(at);
        else
            istore(&e->val, s);
        return;
    }
    if (v == 0) {
        if (sparse_element_written) {
            int32_t row;
            sparse_subscripts(a, first, second, twosub, &row, &col);
            sparse_element_written(row_head(a->sparse, row), col);
        }
        return;
    }
    colm* e = link_new(at, col);
    quoly_set(v, &e->val);
}

void sparse_delete(int32_t first, int32_t second, array* a, int twosub) {
    int32_t col;
    colm** at = element_place(a, first, second, twosub, &col);
    if (*at && (*at)->col == col) free_colm(at);
}

quoly* spar_retrieve(sparse* first, int32_t row, int32_t col) {
    sparse* f = row_frame(first, row);
    if (!f) return quol_num_0;
    for (colm* e = f->row[(row - 1) % SPARSE_FRAME_ROWS]; e && e->col <= col; e = e->next)
        if (e->col == col) return e->val;
    return quol_num_0;
}

void get_sparse_colm(sparse* frame, int32_t row, int32_t col, colm*** out) {
    *out = place_in_row(&frame->row[(row - 1) % SPARSE_FRAME_ROWS], col);
}

quoly** get_sparse(int32_t r, int32_t col, colm*** head, sparse** frame) {
    quoly** found = nullptr;
    for (colm* e = **head; e && e->col <= col; e = e->next)
        if (e->col == col) found = &e->val;
    if (r % SPARSE_FRAME_ROWS == 0) {
        if (!(*frame)->next) return found;
        *frame = (*frame)->next;
    }
    *head = &(*frame)->row[r % SPARSE_FRAME_ROWS];
    return found;
}

void free_colm(colm** list) {
    colm* e = *list;
    if (any_held_target()) release_held_in(&e->val, &e->val + 1);
    *list = e->next;
    free_quoly(&e->val);
    e->next = colm_garb;
    colm_garb = e;
}
