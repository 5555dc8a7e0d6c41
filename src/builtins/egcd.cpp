// Extended Euclid on integers and on one-variable polynomials modulo p
// (egcd.h). The cofactor pairs follow the remainders: at every step each
// of the two current remainders is s·(first operand) + t·(second).
#include "builtins/egcd.h"

#include <utility>

#include "gcd/polydiv.h"
#include "gcd/polygcd.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modmult.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

// s into the variable named next (then ","), t into the one after (then ")").
void store_cofactors(quoly* s, quoly* t, FILE** source, name** pending) {
    SlotHold t_hold;
    t_hold.q = t;
    set_quotient(s, source, pending, 202, ',');
    bnext(source, pending);
    set_quotient(t_hold.release(), source, pending, 1, ')');
}

quoly* poly_quoly(polynode** p) {
    quoly* q = nullptr;
    use_up_poly(p, &q);
    *p = nullptr;
    return q;
}

imag* number_of(int32_t v) {
    imag* n = new_number();
    setvalue(v, n);
    return n;
}

// Every coefficient a number: a polynomial in its top variable alone.
bool one_variable(const polynode* p) {
    for (; p; p = p->next)
        if (!p->numb && !single_number(p->pcoef)) return false;
    return true;
}

// Below the exponent-0 padding, counting the levels passed.
polynode* below_padding(polynode* p, int16_t* h) {
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        ++*h;
    }
    return p;
}

bool padded_here(const polynode* p) { return !p->numb && p->exp == 0 && !p->next; }

int32_t top_degree(const polynode* p) { return p->numb ? 0 : p->exp; }

}  // namespace

void egcd_nums(quoly** a, quoly** b, FILE** source, name** pending) {
    if (lintmode) bfail(modularmode ? 348 : 62, token.name);
    imag* x = (*a)->nnum;
    imag* y = (*b)->nnum;
    const bool neg_a = x->head->digit < 0;
    const bool neg_b = y->head->digit < 0;
    abs_val_num(x, x);
    abs_val_num(y, y);
    NumberHold s0, s1, t0, t1, q, product;
    s0.n = number_of(1);
    s1.n = number_of(0);
    t0.n = number_of(0);
    t1.n = number_of(1);
    q.n = new_number();
    product.n = new_number();
    // y is the larger; a zero x (with y not zero) goes back to the other side.
    bool exchanged = false;
    if (bigger(x, y)) {
        std::swap(x, y);
        exchanged = true;
    }
    if (!iszero(y) && iszero(x)) {
        std::swap(x, y);
        exchanged = !exchanged;
    }
    if (!iszero(x)) {
        for (;;) {
            divide(y, x, q.n, y);
            if (iszero(y)) break;
            fast_mult(q.n, s0.n, product.n);
            sub(s1.n, product.n, s1.n);
            fast_mult(q.n, t0.n, product.n);
            sub(t1.n, product.n, t1.n);
            std::swap(x, y);
            std::swap(s0.n, s1.n);
            std::swap(t0.n, t1.n);
        }
    }
    // x = s0·(the operand first in x) + t0·(the other).
    imag* cof_a = exchanged ? t0.n : s0.n;
    imag* cof_b = exchanged ? s0.n : t0.n;
    if (neg_a) in_place_neg(cof_a);
    if (neg_b) in_place_neg(cof_b);
    NumberHold g;
    g.n = new_number();
    num_assign(x, g.n);
    free_quoly(a);
    scalar_to_quoly(g.n, a);
    quoly* s = nullptr;
    quoly* t = nullptr;
    scalar_to_quoly(cof_a, &s);
    SlotHold s_hold;
    s_hold.q = s;
    scalar_to_quoly(cof_b, &t);
    store_cofactors(s_hold.release(), t, source, pending);
}

void egcd_polys(polynode* u, polynode* v, quoly** g_slot, FILE** source, name** pending, bool swapped) {
    if (laurent && (anynegs(u) || anynegs(v))) bfail(198, token.name);
    if (!modularmode) bfail(284, token.name);
    // Down to the one variable both live in.
    int16_t h = 0;
    polynode* a = u;
    polynode* b = v;
    if (single_number(a)) {
        b = below_padding(b, &h);
    } else if (single_number(b)) {
        a = below_padding(a, &h);
    } else {
        pt* rec = polynames;
        findHeight(&a, &b, &h, &rec);
        if (padded_here(a) != padded_here(b)) bfail(349, token.name);
    }
    if (!one_variable(a) || !one_variable(b)) bfail(349, token.name);
    if (field_depth >= 1 && field_depth <= h + 1) bfail(348, token.name);

    if (top_degree(b) > top_degree(a)) {
        std::swap(a, b);
        swapped = !swapped;
    }
    // a = s0·(first) + t0·(second), b = s1·(first) + t1·(second).
    PolyHold s0, s1, t0, t1, own_a, own_b;
    poly_set(1, &s0.p);
    poly_set(0, &s1.p);
    poly_set(0, &t0.p);
    poly_set(1, &t1.p);
    if (poly_iszero(b)) {
        // gcd(a, 0) = a: the cofactors (1, 0) describe a itself.
        std::swap(s0.p, s1.p);
        std::swap(t0.p, t1.p);
        b = a;
    } else if (!single_number(b)) {
        for (;;) {
            PolyHold q, r;
            basic_poly_divide(a, b, &q.p, &r.p, 1);
            if (poly_iszero(r.p)) break;
            polynode* product = nullptr;
            simplest_poly_mult(q.p, s1.p, &product, 0, 0, 0, 0);
            polynode* next_s = nullptr;
            simplest_poly_sub(s0.release(), product, &next_s);
            s0.p = s1.release();
            s1.p = next_s;
            product = nullptr;
            simplest_poly_mult(q.p, t1.p, &product, 0, 0, 0, 0);
            polynode* next_t = nullptr;
            simplest_poly_sub(t0.release(), product, &next_t);
            t0.p = t1.release();
            t1.p = next_t;
            own_a.reset(own_b.release());
            a = b;
            b = r.p;
            own_b.p = r.release();
            if (single_number(b)) break;
        }
    }
    // b is the gcd, s1 and t1 its cofactors: made monic.
    PolyHold g;
    poly_assign(b, &g.p);
    polynode* lead = single_number(g.p) ? g.p : leading_coef(g.p);
    NumberHold lc;
    lc.n = new_number();
    num_assign(lead->ncoef, lc.n);
    if (!equal(lc.n, number_1)) {
        num_poly_quot(s1.p, lc.n, 0);
        num_poly_quot(t1.p, lc.n, 0);
        num_poly_quot(g.p, lc.n, 0);
    }
    for (PolyHold* x : {&s1, &t1, &g})
        if (!single_number(x->p)) add_pad(&x->p, h);
    if (swapped) std::swap(s1.p, t1.p);
    free_quoly(g_slot);
    *g_slot = poly_quoly(&g.p);
    SlotHold s;
    s.q = poly_quoly(&s1.p);
    quoly* t = poly_quoly(&t1.p);
    store_cofactors(s.release(), t, source, pending);
}

void egcd_num_poly(quoly** num, quoly** poly, FILE** source, name** pending, bool swapped) {
    PolyHold leaf;
    quoly_to_poly(*num, &leaf.p);
    SlotHold g;
    egcd_polys((*poly)->pnum, leaf.p, &g.q, source, pending, swapped);
    free_quoly(num);
    *num = g.release();
}
