// Scans of sparse matrices and the method thresholds by matrix size.
#include "matrix/measures.h"

#include "matrix/sparse_impl.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"

int32_t mincutoff = 1000000;

namespace {

constexpr int32_t NO_DEPTH = 16384;

// Calls f on every stored value of rows 1..n until it returns false.
template <class F>
bool each_value(sparse* first, int32_t n, F f) {
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next())
        for (colm* e = *w.head(); e; e = e->next)
            if (!f(e->val)) return false;
    return true;
}

}  // namespace

int sparse_allnumbs(sparse* first, int32_t n) {
    return each_value(first, n, [](const quoly* q) { return q->isnum != 0; });
}

int sparse_allpolys(sparse* first, int32_t n, int* all) {
    *all = 1;
    return each_value(first, n, [all](const quoly* q) {
        if (q->isnum) return true;
        *all = 0;
        return q->den == nullptr;
    });
}

void sparse_iszero(sparse* first, int32_t n, int* flag) {
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next())
        if (*w.head()) {
            *flag = 0;
            return;
        }
}

int32_t quick_row_mass(const colm* list) {
    int32_t k = 0;
    for (; list; list = list->next)
        if (static_cast<int32_t>(reinterpret_cast<intptr_t>(list->val)) >= 1) k++;
    return k;
}

int32_t sparse_polydepth(sparse* first, int32_t n) {
    int32_t best = NO_DEPTH;
    each_value(first, n, [&best](const quoly* q) {
        if (q->isnum) return true;
        const polynode* p = q->pnum;
        int32_t depth;
        if (p->numb) {
            depth = p->next ? 1 : NO_DEPTH;
        } else {
            depth = 1;
            while (p->exp == 0 && !p->next && !p->numb) {
                p = p->pcoef;
                depth++;
            }
        }
        if (depth < best) best = depth;
        return true;
    });
    return best;
}

int sparse_one_var_polys(sparse* first, int32_t n) {
    int32_t level = -1;
    return each_value(first, n, [&level](const quoly* q) {
        if (q->isnum) return true;
        if (q->den) return false;
        int32_t levels = 0;
        if (!all_coefs_numb(q->pnum, &levels)) return false;
        if (level >= 0 && levels != level) return false;
        level = levels;
        return true;
    });
}

int32_t size_of(int32_t d, int32_t c) {
    int32_t top = -1;
    for (int32_t b = 28; b >= 0; b--) {
        const bool set = (d >> b) & 1;
        if (d >= 0 ? set : !set) {
            top = b;
            break;
        }
    }
    if (d < 0 && top < 0) top = 0;   // -1: all 29 low bits set
    return 28 * (c - 1) + top;
}

double fsmallsize(int32_t n) {
    static const double small_arr[13] = {100000, 100, 80, 60, 44, 28, 20, 15, 15, 15, 11, 5, 1};
    if (n >= 1 && n <= 13) return small_arr[n - 1];
    if (n >= 14 && n <= 18) return 1.0;
    if (n >= 19 && n <= 23) return 0.333333;
    return 0.0;
}

void set_min_cut(int32_t n) {
    if (n > 15)
        mincutoff = 6;
    else if (n >= 14)
        mincutoff = 5;
    else if (n >= 9)
        mincutoff = n - 3;
    else if (n >= 6)
        mincutoff = n - 4;
    else
        mincutoff = 1000000;
}

int32_t disper(int32_t n) {
    if (n <= 100) return 1;
    if (n <= 1000) return 5;
    if (n <= 5000) return 10;
    return 50;
}

int doing_polymod_field() {
    for (const pt* v = polynames; v; v = v->next)
        if (v->relation && v->field) return 1;
    return 0;
}
