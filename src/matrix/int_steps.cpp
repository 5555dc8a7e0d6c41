#include "matrix/int_steps.h"

#include <utility>

namespace int_steps {

int sign_of(const quoly* q) {
    if (quoly_iszero(const_cast<quoly*>(q))) return 0;
    return q->nnum->head->digit < 0 ? -1 : 1;
}

bool is_unit(quoly* q) {
    int m1 = 0;
    return !quoly_iszero(q) && equal_to_pm1(q->nnum, &m1);
}

bool abs_below(quoly* x, quoly* y) { return int_abs_bigger(y->nnum, x->nnum, 0) != 0; }

void negate_cell(quoly** cell) {
    if (!quoly_iszero(*cell)) in_place_neg((*cell)->nnum);
}

void Work::col_sub_one_row(int32_t j, int32_t s, int32_t i, quoly* q) {
    sub_scaled(&at(a, R, i, j), &at(a, R, i, s), 1, 1, q);
    reduce(&at(a, R, i, j));
    if (T[1]) sub_scaled(&at(T[1], K, 0, j), &at(T[1], K, 0, s), 1, K, q);
    if (T[3]) add_scaled(&at(T[3], K, s, 0), &at(T[3], K, j, 0), K, K, q);
}

void quotient(quoly* b, quoly* a, bool floor, QuolyOwner* q) {
    QuolyOwner r;
    quoly_set(0, &q->q);
    quoly_set(0, &r.q);
    divide(b->nnum, a->nnum, q->q->nnum, r.q->nnum);
    if (floor && sign_of(r.q) < 0) sub(q->q->nnum, number_1, q->q->nnum);
    if (quoly_iszero(q->q)) quoly_set(0, &q->q);
}

void start_transforms(Work* w, const int flags[4], quoly** T0, quoly** T1, quoly** T2, quoly** T3) {
    quoly** given[4] = {T0, T1, T2, T3};
    for (int t = 0; t < 4; t++) {
        w->T[t] = flags[t] ? given[t] : nullptr;
        if (w->T[t]) identi(w->T[t], t % 2 == 0 ? w->R : w->K, 0);
    }
}

int intfindbest(Work* w, int32_t k, int32_t* bi, int32_t* bj) {
    quoly* best = nullptr;
    for (int32_t j = k; j < w->K; j++)
        for (int32_t i = k; i < w->R; i++) {
            if (w->zero(i, j)) continue;
            if (!best || abs_below(w->cell(i, j), best)) {
                best = w->cell(i, j);
                *bi = i;
                *bj = j;
                if (is_unit(best)) return -1;
            }
        }
    return best ? 1 : 0;
}

int int_rowreduce(Work* w, int32_t k, int32_t prow, int32_t pcol, int32_t i, int32_t* ni, int32_t* nj) {
    if (w->zero(i, pcol)) return 0;
    QuolyOwner q;
    quotient(w->cell(i, pcol), w->cell(prow, pcol), false, &q);
    if (!quoly_iszero(q.q)) w->row_sub(i, prow, q.q);
    quoly* best = w->cell(prow, pcol);
    bool found = false;
    for (int32_t j = k; j < w->K; j++) {
        // Only entries the row operation made can be new.
        if (w->zero(prow, j) || w->zero(i, j) || !abs_below(w->cell(i, j), best)) continue;
        best = w->cell(i, j);
        *ni = i;
        *nj = j;
        found = true;
    }
    if (!found) return 0;
    return is_unit(best) ? -1 : 1;
}

namespace {

int kind_left(Work* w, int32_t i, int32_t j) {
    if (w->zero(i, j)) return 0;
    return is_unit(w->cell(i, j)) ? -1 : 1;
}

}  // namespace

int int_colreduce(Work* w, int32_t prow, int32_t pcol, int32_t j, bool floor) {
    if (w->zero(prow, j)) return 0;
    QuolyOwner q;
    quotient(w->cell(prow, j), w->cell(prow, pcol), floor, &q);
    if (!quoly_iszero(q.q)) w->col_sub(j, pcol, q.q);
    return kind_left(w, prow, j);
}

int fast_colreduce(Work* w, int32_t prow, int32_t pcol, int32_t j) {
    if (w->zero(prow, j)) return 0;
    QuolyOwner q;
    quotient(w->cell(prow, j), w->cell(prow, pcol), false, &q);
    if (!quoly_iszero(q.q)) w->col_sub_one_row(j, pcol, prow, q.q);
    return kind_left(w, prow, j);
}

int32_t best_on_diag(Work* w, int32_t t, int32_t last, int* unit) {
    int32_t pos = t;
    for (int32_t s = t; s <= last; s++) {
        quoly* d = w->cell(s, s);
        if (quoly_iszero(d)) continue;
        if (is_unit(d)) {
            *unit = -1;
            return s;
        }
        if (quoly_iszero(w->cell(pos, pos)) || abs_below(d, w->cell(pos, pos))) pos = s;
    }
    *unit = 1;
    return pos;
}

int32_t best_other(Work* w, int32_t t, int32_t last) {
    int32_t pos = 0;
    QuolyOwner best;
    for (int32_t s = t + 1; s <= last; s++) {
        QuolyOwner q, r;
        quoly_set(0, &q.q);
        quoly_set(0, &r.q);
        divide(w->cell(s, s)->nnum, w->cell(t, t)->nnum, q.q->nnum, r.q->nnum);
        if (quoly_iszero(r.q)) continue;
        if (is_unit(r.q)) return s;
        if (!pos || abs_below(r.q, best.q)) {
            pos = s;
            std::swap(best.q, r.q);
        }
    }
    return pos;
}

void swap_them_1(Work* w, int32_t s, int32_t t) {
    w->row_swap(s, t);
    w->col_swap(s, t);
}

}  // namespace int_steps
