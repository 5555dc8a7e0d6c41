// The list half-gcd splits both operands at x^m in place, reduces the
// upper halves recursively, and applies the matrix it gets to the lower
// halves. The second stage splits at k = 2m - deg a (a being the pair's
// larger member after the middle division step): the upper halves then
// have degree 2(deg a - m), so the recursion brings the smaller member
// below m and every stage works on half the degree. Splitting at
// 2m - deg r instead lets the upper halves grow with the remainder and the
// guarantee is lost.
#include "gcd/halfgcd.h"

#include <utility>

#include "gcd/onevar_div.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

int32_t onevar_degree(const polynode* p) {
    if (!p->numb) return p->exp;
    return node_iszero(const_cast<polynode*>(p)) ? -1 : 0;
}

void euclid_divide(polynode* u, polynode* m, polynode** quo, polynode** rem) {
    const int fast = onevar_degree(u) - onevar_degree(m) > poly_cutoff ? 1 : 0;
    simplest_poly_divide(u, m, quo, rem, fast);
}

namespace {

struct Matrix {
    PolyHold e[4];   // 11, 12, 21, 22
    void identity() {
        for (auto& x : e)
            if (x.p) free_poly(&x.p);
        poly_set(1, &e[0].p);
        poly_set(0, &e[1].p);
        poly_set(0, &e[2].p);
        poly_set(1, &e[3].p);
    }
    void hand_over(polynode** m11, polynode** m12, polynode** m21, polynode** m22) {
        polynode** slots[4] = {m11, m12, m21, m22};
        for (int i = 0; i < 4; i++) {
            if (*slots[i]) free_poly(slots[i]);
            *slots[i] = e[i].release();
        }
    }
};

polynode* mul(polynode* x, polynode* y) {
    polynode* r = nullptr;
    simplest_poly_mult(x, y, &r, 0, 0, 0, 0);
    return r;
}
// Both consumed.
polynode* add(polynode* x, polynode* y) {
    polynode* r = nullptr;
    simplest_poly_add(x, y, &r);
    return r;
}

polynode* sub(polynode* x, polynode* y) {
    polynode* r = nullptr;
    simplest_poly_sub(x, y, &r);
    return r;
}

// The split keeps term nodes: only the one that lands on x^0 (or leaves it)
// changes kind, since a constant term is a bare number node.
void release_node(polynode* node) {
    node->next = polygarb;
    polygarb = node;
}

// In place: *a := the terms of exponent >= m lowered by m, *lo := the others
// (zero when there are none). m >= 1.
void split_at(polynode** a, int32_t m, polynode** lo) {
    polynode *before = nullptr, *prev = nullptr, *p = *a;
    while (p && !p->numb && p->exp >= m) {
        before = prev;
        prev = p;
        p = p->next;
    }
    if (p) {
        *lo = p;
    } else {
        *lo = nullptr;
        poly_set(0, lo);
    }
    if (!prev) {
        *a = nullptr;
        poly_set(0, a);
        return;
    }
    prev->next = nullptr;
    for (polynode* q = *a; q; q = q->next) q->exp -= m;
    if (prev->exp == 0) {
        polynode* number = prev->pcoef;
        if (before)
            before->next = number;
        else
            *a = number;
        release_node(prev);
    }
}

// In place: *a := *a · x^m, m >= 1.
void shift_up(polynode** a, int32_t m) {
    polynode* prev = nullptr;
    for (polynode* p = *a; p; prev = p, p = p->next) {
        if (!p->numb) {
            p->exp += m;
            continue;
        }
        if (node_iszero(p)) return;   // only the whole polynomial can be zero
        polynode* term = new_term_node(m, p);
        if (prev)
            prev->next = term;
        else
            *a = term;
        return;
    }
}

// (x, y) := (r1·x0 + r2·y0 + x, ...) for one row: x += r1·lo_a + r2·lo_b.
void add_row(polynode** x, polynode* r1, polynode* r2, polynode* lo_a, polynode* lo_b) {
    polynode* s = add(mul(r1, lo_a), mul(r2, lo_b));
    *x = add(*x, s);
}

// One stage: split at m, reduce the upper halves, put the lower halves back
// through the stage's matrix r.
void stage(polynode** a, polynode** b, int32_t m, Matrix& r) {
    PolyHold a0, b0;
    split_at(a, m, &a0.p);
    split_at(b, m, &b0.p);
    emgcd_full(a, b, &r.e[0].p, &r.e[1].p, &r.e[2].p, &r.e[3].p, 1);
    shift_up(a, m);
    shift_up(b, m);
    add_row(a, r.e[0].p, r.e[1].p, a0.p, b0.p);
    add_row(b, r.e[2].p, r.e[3].p, a0.p, b0.p);
}

// m := r · m (2x2 products of polynomials).
void compose(Matrix& r, Matrix& m) {
    polynode* n11 = add(mul(r.e[0].p, m.e[0].p), mul(r.e[1].p, m.e[2].p));
    polynode* n12 = add(mul(r.e[0].p, m.e[1].p), mul(r.e[1].p, m.e[3].p));
    polynode* n21 = add(mul(r.e[2].p, m.e[0].p), mul(r.e[3].p, m.e[2].p));
    polynode* n22 = add(mul(r.e[2].p, m.e[1].p), mul(r.e[3].p, m.e[3].p));
    polynode* n[4] = {n11, n12, n21, n22};
    for (int i = 0; i < 4; i++) {
        free_poly(&m.e[i].p);
        m.e[i].p = n[i];
    }
}

// One Euclid step on the pair: (a, b) := (b, a mod b); with the matrix,
// its rows become (row 2, row 1 - q·row 2).
void division_step(polynode** a, polynode** b, Matrix* m) {
    PolyHold q, r;
    euclid_divide(*a, *b, &q.p, &r.p);
    free_poly(a);
    *a = *b;
    *b = r.release();
    if (!m) return;
    polynode* n21 = sub(m->e[0].release(), mul(q.p, m->e[2].p));
    polynode* n22 = sub(m->e[1].release(), mul(q.p, m->e[3].p));
    m->e[0].p = m->e[2].release();
    m->e[1].p = m->e[3].release();
    m->e[2].p = n21;
    m->e[3].p = n22;
}

void basic_steps(polynode** a, polynode** b, Matrix* m) {
    const int32_t half = (onevar_degree(*a) + 1) / 2;
    while (!(*b)->numb && onevar_degree(*b) >= half) division_step(a, b, m);
}

}  // namespace

void emgcd_basic(polynode** a, polynode** b, polynode** m11, polynode** m12, polynode** m21,
                 polynode** m22, int with_matrix) {
    Matrix m;
    m.identity();
    basic_steps(a, b, with_matrix ? &m : nullptr);
    m.hand_over(m11, m12, m21, m22);
}

void emgcd_fastest(polynode** a, polynode** b, polynode** m11, polynode** m12, polynode** m21,
                   polynode** m22, int with_matrix) {
    emgcd_basic(a, b, m11, m12, m21, m22, with_matrix);
}

void emgcd_full(polynode** a, polynode** b, polynode** m11, polynode** m12, polynode** m21,
                polynode** m22, int with_matrix) {
    Matrix m;
    m.identity();
    const int32_t n = onevar_degree(*a);
    const int32_t half = (n + 1) / 2;
    if (onevar_degree(*b) < half) {
        m.hand_over(m11, m12, m21, m22);
        return;
    }
    if (n < poly_cutoff) {
        basic_steps(a, b, with_matrix ? &m : nullptr);
        m.hand_over(m11, m12, m21, m22);
        return;
    }
    {
        Matrix r;
        stage(a, b, half, r);
        if (with_matrix)
            for (int i = 0; i < 4; i++) std::swap(m.e[i].p, r.e[i].p);
    }
    if (onevar_degree(*b) < half) {
        m.hand_over(m11, m12, m21, m22);
        return;
    }
    division_step(a, b, with_matrix ? &m : nullptr);
    const int32_t k = 2 * half - onevar_degree(*a);
    if (onevar_degree(*b) >= half) {
        if (k >= 1) {
            Matrix r;
            stage(a, b, k, r);
            if (with_matrix) compose(r, m);
        }
        // Plain steps finish what a stage left: never needed when the
        // first stage halved as it should, but the contract stays exact.
        while (!(*b)->numb && onevar_degree(*b) >= half) division_step(a, b, with_matrix ? &m : nullptr);
    }
    m.hand_over(m11, m12, m21, m22);
}

int mod_rev_euclid(polynode* a, polynode* b, polynode** s, polynode** t, pt* /*var*/) {
    if (b->numb) return 0;
    // Remainder sequence with the cofactors of both members: r0 = s0·a + t0·b.
    PolyHold r0, r1, s0, s1, t0, t1;
    poly_assign(a, &r0.p);
    poly_assign(b, &r1.p);
    poly_set(1, &s0.p);
    poly_set(0, &s1.p);
    poly_set(0, &t0.p);
    poly_set(1, &t1.p);
    for (;;) {
        PolyHold q, r;
        euclid_divide(r0.p, r1.p, &q.p, &r.p);
        if (node_iszero(r.p) && r.p->numb) return 0;
        polynode* s2 = sub(s0.release(), mul(q.p, s1.p));
        polynode* t2 = sub(t0.release(), mul(q.p, t1.p));
        if (r.p->numb) {
            int32_t inv = 0;
            emod_inverse(r.p->ncoef->value, &inv);
            PolyHold ss, tt;
            ss.p = s2;
            tt.p = t2;
            if (!node_iszero(ss.p)) mod_num_poly_mult(ss.p, inv);
            if (!node_iszero(tt.p)) mod_num_poly_mult(tt.p, inv);
            if (*s) free_poly(s);
            if (*t) free_poly(t);
            *s = ss.release();
            *t = tt.release();
            return 1;
        }
        free_poly(&r0.p);
        r0.p = r1.release();
        r1.p = r.release();
        s0.p = s1.release();
        s1.p = s2;
        t0.p = t1.release();
        t1.p = t2;
    }
}
