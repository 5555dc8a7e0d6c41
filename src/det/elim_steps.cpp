#include "det/elim_steps.h"

#include <cstdint>

#include "builtins/floor_roots.h"
#include "gcd/trialdiv.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {
inline quoly*& at(quoly** cells, int32_t n, int32_t i, int32_t j) { return cells[int64_t{j} * n + i]; }
inline int32_t& val(quoly* q) { return q->nnum->value; }
}  // namespace

void push_col(col** list, int32_t a, int32_t b, quoly* f) {
    col* c = nullptr;
    newcol(&c);
    c->word1 = reinterpret_cast<void*>(static_cast<intptr_t>(a));
    c->word2 = reinterpret_cast<void*>(static_cast<intptr_t>(b));
    c->word3 = f;
    c->next = *list;
    *list = c;
}

int32_t col_first(const col* c) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(c->word1)); }
int32_t col_second(const col* c) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(c->word2)); }
quoly* col_factor(const col* c) { return static_cast<quoly*>(c->word3); }

void free_col_list(col** list) {
    if (!*list) return;
    col* last = *list;
    for (col* c = *list; c; c = c->next) {
        quoly* f = col_factor(c);
        free_quoly(&f);
        c->word3 = nullptr;
        last = c;
    }
    last->next = colgarb;
    colgarb = *list;
    *list = nullptr;
}

void swap_rows(quoly** det, quoly** cells, int negate, int whole, int32_t i, int32_t j, int32_t n) {
    for (int32_t c = whole ? 0 : i; c < n; c++) {
        quoly* t = at(cells, n, i, c);
        at(cells, n, i, c) = at(cells, n, j, c);
        at(cells, n, j, c) = t;
    }
    if (negate) quoly_inplace(*det);
}

void divide_thru(quoly** det, quoly** cells, int record, int32_t k, int32_t n, col** list) {
    const int32_t r = k - 1;
    quoly* p = nullptr;
    quoly_assign(at(cells, n, r, r), &p);
    quoly_detail::QuolyHold hold(p);
    if (record) {
        quoly* kept = nullptr;
        quoly_assign(p, &kept);
        push_col(list, r, r, kept);
    } else {
        fast_quoly_mult(det, &hold.q);
    }
    const bool invert = hold.q->isnum || (laurent && !hold.q->den && monomial(hold.q->pnum));
    if (invert) {
        quoly_reciprocal(&hold.q);
        for (int32_t j = k; j < n; j++) fast_quoly_mult(&at(cells, n, r, j), &hold.q);
    } else {
        for (int32_t j = k; j < n; j++) fast_quoly_quot(&at(cells, n, r, j), &hold.q, 0);
    }
    quoly_set(1, &at(cells, n, r, r));
}

void numb_divide_thru(quoly** det, quoly** cells, int record, int32_t k, int32_t n, col** list) {
    const int32_t r = k - 1;
    const int32_t p = val(at(cells, n, r, r));
    if (record) {
        quoly* f = nullptr;
        quoly_set_lint(p, &f);
        push_col(list, r, r, f);
    } else {
        val(*det) = modmult(val(*det), p);
    }
    val(at(cells, n, r, r)) = 1;
    const int32_t inv = imod_inverse(p);
    for (int32_t j = k; j < n; j++) val(at(cells, n, r, j)) = modmult(val(at(cells, n, r, j)), inv);
}

namespace {

// Row i := row i - e x row k-1 over columns k .. n-1.
void subtract_row(quoly** cells, int32_t k, int32_t n, int32_t i, quoly* e, int modular) {
    const int32_t r = k - 1;
    if (modular) {
        const int32_t ev = val(e);
        for (int32_t j = k; j < n; j++) {
            const int32_t b = val(at(cells, n, r, j));
            if (b == 0) continue;
            int32_t& a = val(at(cells, n, i, j));
            a = mod_sub(a, modmult(ev, b), modulus);
        }
        return;
    }
    for (int32_t j = k; j < n; j++) {
        quoly* b = at(cells, n, r, j);
        if (quoly_iszero(b)) continue;
        quoly* t = nullptr;
        quoly_mult(e, b, &t);
        best_quoly_sub(&at(cells, n, i, j), t);
    }
}

}  // namespace

void zero_out(quoly** cells, int32_t k, int32_t n, int modular, col** list) {
    for (int32_t i = k; i < n; i++) {
        quoly*& e = at(cells, n, i, k - 1);
        if (quoly_iszero(e)) continue;
        subtract_row(cells, k, n, i, e, modular);
        // The entry itself goes on the list; the cell becomes a fresh 0.
        push_col(list, k - 1, i, e);
        e = nullptr;
        if (modular)
            quoly_set_lint(0, &e);
        else
            quoly_set(0, &e);
    }
}

void simple_zero_out(quoly** cells, int32_t k, int32_t n, int modular) {
    for (int32_t i = k; i < n; i++) {
        quoly* e = at(cells, n, i, k - 1);
        if (quoly_iszero(e)) continue;
        subtract_row(cells, k, n, i, e, modular);
    }
}

void divide_fct(quoly** det, polynode* f, int flag) {
    if (flag && !(f->numb && !f->next) && !(*det)->isnum) {
        // Over the rationals the numerator is kept integral, its content
        // shared with the denominator: a factor with a number content need
        // not divide it. Its primitive part does, and the content goes
        // through the quotient as a number.
        quoly* fq = nullptr;
        p_q_assign(f, &fq);
        quoly_detail::QuolyHold part(fq);
        quoly_detail::QuolyHold content(nullptr);
        if (!modularmode && !lintmode) {
            number_content(part.q, &content.q);
            fast_quoly_quot(&part.q, &content.q, 0);
        }
        if (field_depth && !modularmode && !lintmode && !part.q->isnum) {
            // Over field levels their elements are units too, and the
            // integral numerator of a factor that divides over the field
            // need not divide the determinant's (t*x - 2 over t^2 - 2
            // leads with t): the quotient over the field must come out
            // with a number denominator. Only the numerator is divided: the
            // denominator of a determinant of fractions stays as it was.
            quoly_detail::QuolyHold quo(nullptr);
            p_q_assign((*det)->pnum, &quo.q);
            fast_quoly_quot(&quo.q, &part.q, 0);
            if (!quo.q->isnum && quo.q->den && !quoly_detail::lone_number(quo.q->den)) {
                error(305, "Det");
                return;
            }
            if ((*det)->den) {
                quoly_detail::QuolyHold den(nullptr);
                p_q_assign((*det)->den, &den.q);
                fast_quoly_quot(&quo.q, &den.q, 0);
            }
            free_quoly(det);
            *det = quo.release();
        } else if (laurent) {
            // Negative powers are units, beyond the polynomial trial
            // division: the quoly one lifts them out of both first.
            int failed = 0;
            if (trial_divide(&part.q, det, 1, 0, 0, &failed)) {
                error(305, "Det");
                return;
            }
        } else {
            polynode* quo = nullptr;
            if (part.q->isnum || part.q->den ||
                !trial_poly_divide((*det)->pnum, part.q->pnum, &quo, polynames, 1, 0, 0)) {
                free_poly(&quo);
                error(305, "Det");
                return;
            }
            free_poly(&(*det)->pnum);
            (*det)->pnum = quo;
            if (!(*det)->den && quo->numb && !quo->next) polynum_to_quoly(det);
        }
        if (content.q) fast_quoly_quot(det, &content.q, 0);
        return;
    }
    quoly* q = nullptr;
    p_q_assign(f, &q);
    quoly_detail::QuolyHold hold(q);
    fast_quoly_quot(det, &hold.q, 0);
}
