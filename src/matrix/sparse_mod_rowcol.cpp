// Row and column operations on residue-valued sparse matrices.
#include "matrix/sparse_mod_rowcol.h"

#include "matrix/sparse_impl.h"
#include "matrix/sparse_residue_rows.h"
#include "toplevel/errors.h"

namespace {

colm** place_of(colm** head, int32_t col) {
    colm** p = head;
    while (*p && (*p)->col < col) p = &(*p)->next;
    return p;
}

}  // namespace

void sparse_mod_row_add(sparse* first, int32_t f, int32_t target, int32_t source) {
    residue_row_axpy<QuolyResidue>(row_head(first, target), *row_head(first, source), f);
}

void sparse_mod_col_add(sparse* first, int32_t f, int32_t n, int32_t target, int32_t source) {
    if (f == 0) return;
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next()) {
        colm** ps = place_of(w.head(), source);
        if (!*ps || (*ps)->col != source) continue;
        const int32_t t = modmult(f, QuolyResidue::get(*ps));
        if (t == 0) continue;
        colm** pt = place_of(w.head(), target);
        if (*pt && (*pt)->col == target) {
            const int32_t s = mod_add(QuolyResidue::get(*pt), t, modulus);
            if (s == 0)
                QuolyResidue::drop(pt);
            else
                QuolyResidue::set(*pt, s);
        } else {
            colm* e = take_colm();
            e->col = target;
            QuolyResidue::fill(e, t);
            e->next = *pt;
            *pt = e;
        }
    }
}

void sparse_mod_mult_col(sparse* first, int32_t f, int32_t n, int32_t c) {
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next()) {
        colm** p = place_of(w.head(), c);
        if (!*p || (*p)->col != c) continue;
        // Only a zero f (no prime modulus) could make a stored 0.
        const int32_t v = modmult(f, QuolyResidue::get(*p));
        if (v == 0)
            QuolyResidue::drop(p);
        else
            QuolyResidue::set(*p, v);
    }
}

void sparse_mod_divide_row(sparse* first, int32_t f, int32_t r) {
    int32_t inv = 0;
    mod_inverse(f, &inv);
    if (inv == 0) abandon_statement();   // the fatal report returned: nothing sound to multiply by
    for (colm* e = *row_head(first, r); e; e = e->next) QuolyResidue::set(e, modmult(inv, QuolyResidue::get(e)));
}
