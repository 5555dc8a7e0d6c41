// Products by a number and by a single term, and the schoolbook product
// built from them: the leaves of every polynomial product.
//
// Each term of a result is formed once and appended in order; a coefficient
// that vanishes is dropped where it is formed (a composite modulus, or a
// wrapped-around machine word, can make a product of non-zero numbers 0),
// and an exponent-0 term over a lone number is stored as that number node.
#include <utility>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"
#include "storage/assign.h"

namespace polyimpl {

bool is_zero_poly(const polynode* p) { return lone_number(p) && number_is_zero(p->ncoef); }

polynode* new_node(int32_t exp, int32_t numb, void* coef) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = exp;
    t->numb = numb;
    t->coef = coef;
    return t;
}

void release_node(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

polynode* monomial_term(int32_t e, polynode* c) {
    if (e == 0 && lone_number(c)) return c;
    return new_node(e, 0, c);
}

imag* number_product(imag* x, imag* y) {
    imag* n = new_number();
    if (modularmode) {
        n->value = modmult(x->value, y->value);
    } else if (lintmode) {
        // The machine product wraps like the machine-integer sums do.
        n->value = static_cast<int32_t>(static_cast<uint32_t>(x->value) * static_cast<uint32_t>(y->value));
    } else {
        fast_mult(x, y, n);
    }
    return n;
}

bool number_is_zero(imag* x) { return iszero(x) != 0; }

void replace_slot(polynode** slot, polynode* value) {
    free_poly(slot);
    *slot = value;
}

thread_local int32_t term_products = 0;

polynode* zero_poly() {
    imag* n = new_number();
    setvalue(0, n);
    return new_node(0, 1, n);
}

}  // namespace polyimpl

using namespace polyimpl;

namespace {

bool is_one(imag* x) { return lintmode ? x->value == 1 : x->count == 1 && x->head->digit == 1; }

// num * p in new records; null when every term vanished.
polynode* scaled_copy(imag* num, polynode* p) {
    Chain out;
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            imag* n = number_product(num, t->ncoef);
            if (number_is_zero(n)) {
                free_imag(&n);
                continue;
            }
            out.push(new_node(0, 1, n));
        } else {
            polynode* c = scaled_copy(num, t->pcoef);
            if (c) out.push(monomial_term(t->exp, c));
        }
    }
    return out.head;
}

// Every residue of p times r, in p's own records; null when every term vanished.
polynode* scale_in_place(polynode* p, int32_t r) {
    Chain out;
    while (p) {
        polynode* t = p;
        p = p->next;
        if (t->numb) {
            t->ncoef->value = modmult(t->ncoef->value, r);
            if (t->ncoef->value == 0) {
                free_imag(&t->ncoef);
                release_node(t);
            } else {
                out.push(t);
            }
            continue;
        }
        polynode* c = scale_in_place(t->pcoef, r);
        if (!c || (t->exp == 0 && lone_number(c))) {
            release_node(t);
            if (c) out.push(c);
        } else {
            t->pcoef = c;
            out.push(t);
        }
    }
    return out.head;
}

// The coefficient of the product of the single terms t and u, the inner
// product reduced with rec.
polynode* coef_product(polynode* t, polynode* u, pt* rec) {
    polynode* c = nullptr;
    if (t->numb && u->numb)
        c = new_node(0, 1, number_product(t->ncoef, u->ncoef));
    else if (u->numb)
        scalar_by_poly(u->ncoef, t->pcoef, &c);
    else if (t->numb)
        scalar_by_poly(t->ncoef, u->pcoef, &c);
    else
        poly_mult(t->pcoef, u->pcoef, &c, rec);
    return c;
}

void add_into(polynode** acc, polynode* x) {
    if (!x) return;
    if (*acc)
        best_poly_add(*acc, x, acc);
    else
        *acc = x;
}

// t * p, one term of the result per term of p. With lower set and a lone
// relation x^d = r, powers from x^d up are folded down by d (times r) until
// they lie below x^d. The folded terms come out in decreasing order as long
// as the operands were reduced; each run of them is merged in at once.
polynode* term_times(polynode* t, polynode* p, pt* inner, const TermContext* lower) {
    const bool fold = lower && lower->lone_relation && lower->degree > 0;
    const int32_t d = fold ? lower->degree : 0;
    Chain kept, folded;
    int32_t folded_last = 0;
    polynode* acc = nullptr;
    for (polynode* u = p; u; u = u->next) {
        polynode* c = coef_product(t, u, inner);
        int32_t e = t->exp + u->exp;
        if (fold && e >= d) {
            while (e >= d && !is_zero_poly(c)) {
                poly_mult(c, lower->r, &c, nilpol);
                e -= d;
            }
            if (is_zero_poly(c)) {
                free_poly(&c);
                continue;
            }
            if (folded.head && e >= folded_last) add_into(&acc, folded.take());
            folded.push(monomial_term(e, c));
            folded_last = e;
            continue;
        }
        if (is_zero_poly(c)) {
            free_poly(&c);
            continue;
        }
        kept.push(monomial_term(e, c));
    }
    add_into(&acc, kept.head);
    add_into(&acc, folded.head);
    return acc ? acc : zero_poly();
}

}  // namespace

void scalar_by_poly(imag* num, polynode* p, polynode** res) {
    if (is_one(num)) {
        polynode* c = nullptr;
        poly_assign(p, &c);
        *res = c;
        return;
    }
    polynode* c = scaled_copy(num, p);
    *res = c ? c : zero_poly();
}

void number_by_poly(int32_t r, polynode* p, polynode** res, int copy) {
    if (copy) poly_assign(p, res);
    if (!*res) return;
    polynode* c = scale_in_place(*res, r);
    *res = c ? c : zero_poly();
}

void node_by_poly(polynode* t, polynode* p, polynode** res) { *res = term_times(t, p, nilpol, nullptr); }

void node_by_poly_1(polynode* t, polynode* p, polynode** res, const TermContext* ctx) {
    *res = term_times(t, p, ctx->inner, nullptr);
}

void node_by_poly_2(polynode* t, polynode* p, polynode** res, const TermContext* ctx) {
    *res = term_times(t, p, ctx->inner, ctx);
}

void fast_mod_standard(polynode* t, polynode* p, polynode** res, pt* rec) {
    if (t->numb) {
        scalar_by_poly(t->ncoef, p, res);
        return;
    }
    TermContext ctx;
    ctx.inner = rec ? rec->next : nullptr;
    ctx.inner_relation = ctx.inner && ctx.inner->relation;
    node_by_poly_1(t, p, res, &ctx);
}

void simple_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res) {
    if (polynode* p = small_integer_product(a, b)) {
        replace_slot(res, p);
        return;
    }
    if (la > lb) std::swap(a, b);
    // The route of the whole product was chosen above: the coefficient
    // products below skip the multi-modular estimate.
    TermProducts mark;
    PairwiseSum sum(best_poly_add);
    for (polynode* t = a; t; t = t->next) {
        polynode* part = nullptr;
        if (t->numb)
            scalar_by_poly(t->ncoef, b, &part);
        else
            node_by_poly(t, b, &part);
        sum.push(part);
    }
    replace_slot(res, sum.take());
}
