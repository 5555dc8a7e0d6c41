// Row and column additions and exchanges on sparse row lists.
#include "matrix/sparse_rowcol.h"

#include "matrix/sparse_impl.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

colm** place_of(colm** head, int32_t col) {
    colm** p = head;
    while (*p && (*p)->col < col) p = &(*p)->next;
    return p;
}

// Links a new entry (col, v) at p, or frees v when it is zero.
void link_product(colm** p, int32_t col, quoly* v) {
    if (quoly_iszero(v)) {
        free_quoly(&v);
        return;
    }
    colm* e = take_colm();
    e->col = col;
    e->val = v;
    e->next = *p;
    *p = e;
}

// a's entry at *p += t (t consumed); a zero sum is unlinked. Returns the
// slot after the entry (or the same slot when it was removed).
colm** add_into(colm** p, quoly* t) {
    best_quoly_add(&(*p)->val, t);
    if (quoly_iszero((*p)->val)) {
        free_colm(p);
        return p;
    }
    return &(*p)->next;
}

}  // namespace

void sparse_row_add(sparse* first, quoly* c, int32_t i, int32_t j) {
    colm* b = *row_head(first, j);
    if (!b) return;
    colm** p = row_head(first, i);
    if (i == j) {
        // Row i := (1 + c) x row i.
        while (*p) {
            quoly* t = nullptr;
            quoly_mult(c, (*p)->val, &t);
            p = add_into(p, t);
        }
        return;
    }
    for (; b; b = b->next) {
        while (*p && (*p)->col < b->col) p = &(*p)->next;
        quoly* t = nullptr;
        quoly_mult(c, b->val, &t);
        if (*p && (*p)->col == b->col) {
            p = add_into(p, t);
        } else {
            const bool kept = !quoly_iszero(t);
            link_product(p, b->col, t);
            if (kept) p = &(*p)->next;
        }
    }
}

void sparse_col_add(sparse* first, quoly* c, int32_t n, int32_t j, int32_t k) {
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next()) {
        colm** pk = place_of(w.head(), k);
        if (!*pk || (*pk)->col != k) continue;
        quoly* t = nullptr;
        quoly_mult(c, (*pk)->val, &t);
        colm** pj = place_of(w.head(), j);
        if (*pj && (*pj)->col == j)
            add_into(pj, t);
        else
            link_product(pj, j, t);
    }
}

void sparse_row_sub_right(colm** head, colm* pivot_rest, quoly* mult, int32_t k) {
    colm** p = place_of(head, k);
    // (r, k) itself is dropped by the caller once mult is no longer needed.
    if (*p && (*p)->col == k) p = &(*p)->next;
    for (colm* a = pivot_rest; a; a = a->next) {
        while (*p && (*p)->col < a->col) p = &(*p)->next;
        quoly* t = nullptr;
        quoly_mult(mult, a->val, &t);
        if (*p && (*p)->col == a->col) {
            best_quoly_nils_sub(&(*p)->val, t);
            if (!(*p)->val) {
                colm* dead = *p;
                *p = dead->next;
                dead->next = colm_garb;
                colm_garb = dead;
            } else {
                p = &(*p)->next;
            }
        } else if (quoly_iszero(t)) {
            free_quoly(&t);
        } else {
            quoly_inplace(t);
            colm* e = take_colm();
            e->col = a->col;
            e->val = t;
            e->next = *p;
            *p = e;
            p = &e->next;
        }
    }
}

void sp_switchrow(sparse* first, int32_t i, int32_t j) {
    colm** a = row_head(first, i);
    colm** b = row_head(first, j);
    colm* t = *a;
    *a = *b;
    *b = t;
}

void sp_switchcol(sparse* first, int32_t i, int32_t j, int32_t n, int32_t r0) {
    if (i == j) return;
    sparse* f = row_frame(first, r0);
    int32_t h = (r0 - 1) % SPARSE_FRAME_ROWS;
    for (int32_t r = r0; r <= n; r++) {
        colm** head = &f->row[h];
        colm** si = place_of(head, i);
        colm** sj = place_of(si, j);
        const bool has_i = *si && (*si)->col == i;
        const bool has_j = *sj && (*sj)->col == j;
        if (has_i && has_j) {
            quoly* t = (*si)->val;
            (*si)->val = (*sj)->val;
            (*sj)->val = t;
        } else if (has_i) {
            colm* e = *si;
            e->col = j;
            if (sj != &e->next) {   // something lies between: relink before the first key > j
                *si = e->next;
                e->next = *sj;
                *sj = e;
            }
        } else if (has_j) {
            colm* e = *sj;
            e->col = i;
            if (sj != si) {
                *sj = e->next;
                e->next = *si;
                *si = e;
            }
        }
        if (++h == SPARSE_FRAME_ROWS) {
            h = 0;
            f = f->next;
        }
    }
}

void sparse_qq_set(int32_t r, sparse** frame, quoly** out) {
    const colm* e = (*frame)->row[(r - 1) % SPARSE_FRAME_ROWS];
    while (e && e->col < r) e = e->next;
    if (!e) {
        tarvex_error("bad t in sparse_qq_set, 1.", 1);
        *out = quol_num_0;
    } else if (e->col != r) {
        tarvex_error("bad t in sparse_qq_set, 2.", 1);
        *out = quol_num_0;
    } else {
        *out = e->val;
    }
    if (r % SPARSE_FRAME_ROWS == 0 && (*frame)->next) *frame = (*frame)->next;
}

void spec2_mod_sparse_findbest(sparse* first, int32_t r, int32_t* out) {
    const colm* e = *row_head(first, r);
    while (e && e->col < r) e = e->next;
    *out = e ? e->col : -1;
}

void best_quoly_nils_sub(quoly** a, quoly* b) {
    if (b) {
        if (!*a) {
            *a = b;
            quoly_inplace(*a);
        } else {
            best_quoly_sub(a, b);
        }
    }
    if (*a && quoly_iszero(*a)) free_quoly(a);
}
