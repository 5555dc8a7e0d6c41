// A ± B on row lists, sparse into dense, and whole-matrix sums.
#include "matrix/sparse_sums.h"

#include "interp/integer_eval.h"
#include "matrix/sparse_impl.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// a's value := a ± b in place (b kept).
void combine_into(colm* a, const colm* b, int add) {
    if (add)
        better_quoly_add(a->val, b->val, &a->val);
    else
        better_quoly_sub(a->val, b->val, &a->val);
}

// X's row at xhead := X ± Y's row y (see add_onto), Y kept.
void add_row_onto(colm** xhead, const colm* y, int reversed, int add) {
    const bool negate_x = reversed && !add;
    colm** p = xhead;
    for (const colm* b = y; b; b = b->next) {
        while (*p && (*p)->col < b->col) {
            if (negate_x) quoly_inplace((*p)->val);
            p = &(*p)->next;
        }
        if (*p && (*p)->col == b->col) {
            colm* a = *p;
            if (!reversed)
                combine_into(a, b, add);
            else if (add)
                better_quoly_add(a->val, b->val, &a->val);
            else
                quoly_sub(b->val, a->val, &a->val);   // a stands for B: A - B
            if (quoly_iszero(a->val))
                free_colm(p);
            else
                p = &a->next;
        } else {
            colm* e = take_colm();
            e->col = b->col;
            e->val = nullptr;
            if (!reversed && !add)
                quoly_makeneg(b->val, &e->val);
            else
                quoly_assign(b->val, &e->val);
            e->next = *p;
            *p = e;
            p = &e->next;
        }
    }
    if (negate_x)
        for (; *p; p = &(*p)->next) quoly_inplace((*p)->val);
}

// A's row at ahead := A ± B's row, B's entries reused or freed.
void merge_row_consuming(colm** ahead, colm* b, int add) {
    colm** p = ahead;
    while (b) {
        while (*p && (*p)->col < b->col) p = &(*p)->next;
        if (*p && (*p)->col == b->col) {
            colm* a = *p;
            combine_into(a, b, add);
            if (quoly_iszero(a->val))
                free_colm(p);
            else
                p = &a->next;
            free_colm(&b);
        } else {
            colm* e = b;
            b = b->next;
            if (!add) quoly_inplace(e->val);
            e->next = *p;
            *p = e;
            p = &e->next;
        }
    }
}

// A new row list: A's row ± B's row from copies.
colm* sum_of_rows(const colm* a, const colm* b, int add) {
    colm* first = nullptr;
    colm** link = &first;
    auto append = [&link](int32_t col, quoly* v) {
        colm* e = take_colm();
        e->col = col;
        e->val = v;
        *link = e;
        link = &e->next;
    };
    while (a || b) {
        quoly* v = nullptr;
        if (b == nullptr || (a && a->col < b->col)) {
            quoly_assign(a->val, &v);
            append(a->col, v);
            a = a->next;
        } else if (a == nullptr || b->col < a->col) {
            if (add)
                quoly_assign(b->val, &v);
            else
                quoly_makeneg(b->val, &v);
            append(b->col, v);
            b = b->next;
        } else {
            if (add)
                quoly_add(a->val, b->val, &v);
            else
                quoly_sub(a->val, b->val, &v);
            if (quoly_iszero(v))
                free_quoly(&v);
            else
                append(a->col, v);
            a = a->next;
            b = b->next;
        }
    }
    *link = nullptr;
    return first;
}

}  // namespace

void add_onto(sparse* x, sparse* y, int reversed, int add, int32_t n) {
    RowWalk wx(x), wy(y);
    for (int32_t r = 1; r <= n; r++, wx.next(), wy.next()) {
        const colm* yr = *wy.head();
        if (yr || (reversed && !add)) add_row_onto(wx.head(), yr, reversed, add);
    }
}

void add_sparses(sparse** a, sparse** b, int a_disposable, int b_disposable, int32_t n, int add) {
    if (a_disposable && !b_disposable) {
        add_onto(*a, *b, 0, add, n);
    } else if (a_disposable && b_disposable) {
        if (n < 1) {
            give_back_frames(*b);
            *b = nullptr;
            return;
        }
        RowWalk wa(*a), wb(*b);
        sparse* done_frame = *b;
        for (int32_t r = 1; r <= n; r++, wa.next()) {
            colm* br = *wb.head();
            *wb.head() = nullptr;
            if (br) merge_row_consuming(wa.head(), br, add);
            wb.next();
            // A frame of B whose rows are all merged goes back at once.
            if (wb.h == 0 || r == n) {
                sparse* next = wb.f;
                done_frame->next = spargarb;
                spargarb = done_frame;
                done_frame = next;
            }
        }
        *b = nullptr;
    } else if (b_disposable) {
        add_onto(*b, *a, 1, add, n);
        *a = *b;
        *b = nullptr;
    } else {
        sparse* fresh = new_frame_chain(n);
        RowWalk wa(*a), wb(*b), wf(fresh);
        for (int32_t r = 1; r <= n; r++, wa.next(), wb.next(), wf.next())
            *wf.head() = sum_of_rows(*wa.head(), *wb.head(), add);
        *a = fresh;
    }
}

void add_one_sparse(quoly** cells, int32_t rows, int consume, sparse* first, int add) {
    RowWalk w(first);
    for (int32_t i = 1; i <= rows; i++, w.next()) {
        for (colm* e = *w.head(); e; e = e->next) {
            quoly** cell = &cells[(i - 1) + int64_t{e->col - 1} * rows];
            if (!*cell) {
                if (add)
                    quoly_assign(e->val, cell);
                else
                    quoly_makeneg(e->val, cell);
            } else if (add) {
                better_quoly_add(*cell, e->val, cell);
            } else {
                better_quoly_sub(*cell, e->val, cell);
            }
            if (consume) free_quoly(&e->val);
        }
        if (consume) {
            give_back_list(*w.head());
            *w.head() = nullptr;
        }
    }
    if (consume) give_back_frames(first);
}

void sparse_sum(quoly** r, sparse* first, int32_t n) {
    quoly_set(0, r);
    RowWalk w(first);
    for (int32_t i = 1; i <= n; i++, w.next())
        for (const colm* e = *w.head(); e; e = e->next) better_quoly_add(*r, e->val, r);
}

void sparse_trace(quoly** r, sparse* first, int32_t n) {
    quoly_set(0, r);
    RowWalk w(first);
    for (int32_t i = 1; i <= n; i++, w.next())
        for (const colm* e = *w.head(); e && e->col <= i; e = e->next)
            if (e->col == i) better_quoly_add(*r, e->val, r);
}

void sum_arr(quoly** cells, int32_t count, quoly** r) {
    if (integerflag) {
        int32_t s = 0;
        for (int32_t k = 0; k < count; k++) s = iadd(s, istored_value(cells[k], "+"));
        free_quoly(r);
        istore(r, s);
        return;
    }
    quoly_set(0, r);
    for (int32_t k = 0; k < count; k++)
        if (cells[k]) better_quoly_add(*r, cells[k], r);
}

void add_to_diag(quoly* c, sparse* first, int32_t n) {
    if (quoly_iszero(c)) return;
    RowWalk w(first);
    for (int32_t i = 1; i <= n; i++, w.next()) {
        colm** p = w.head();
        while (*p && (*p)->col < i) p = &(*p)->next;
        if (*p && (*p)->col == i) {
            better_quoly_add((*p)->val, c, &(*p)->val);
            if (quoly_iszero((*p)->val)) free_colm(p);
        } else {
            colm* e = take_colm();
            e->col = i;
            e->val = nullptr;
            quoly_assign(c, &e->val);
            e->next = *p;
            *p = e;
        }
    }
}

void sparse_mod_or_div(sparse** slot, quoly* d, int32_t n, int in_place, int op) {
    if (in_place) {
        RowWalk w(*slot);
        for (int32_t i = 1; i <= n; i++, w.next()) {
            colm** p = w.head();
            while (*p) {
                quoly_mod_or_div((*p)->val, d, &(*p)->val, op);
                if (quoly_iszero((*p)->val))
                    free_colm(p);
                else
                    p = &(*p)->next;
            }
        }
        return;
    }
    sparse* fresh = new_frame_chain(n);
    RowWalk w(*slot), wf(fresh);
    for (int32_t i = 1; i <= n; i++, w.next(), wf.next()) {
        colm** link = wf.head();
        for (const colm* e = *w.head(); e; e = e->next) {
            quoly* v = nullptr;
            quoly_mod_or_div(e->val, d, &v, op);
            if (quoly_iszero(v)) {
                free_quoly(&v);
                continue;
            }
            colm* c = take_colm();
            c->col = e->col;
            c->val = v;
            *link = c;
            link = &c->next;
        }
        *link = nullptr;
    }
    *slot = fresh;
}
