// Copies, constants, negations and conversions of polynomials and quolys.
// Deep copies walk each chain iteratively and recurse only into the
// coefficients, so the stack depth is the number of variables, not the
// number of terms.
#include "storage/assign.h"

#include <cstdio>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"

namespace {

// A fresh number record (count 0) holding a copy of a, or its negation.
imag* copy_number(imag* a, bool negate) {
    imag* n = new_number();
    if (negate)
        makeneg(a, n);
    else
        num_assign(a, n);
    return n;
}

// A new quoly with every field set: den, rat and link cleared.
quoly* fresh_quoly(int32_t isnum, void* num) {
    quoly* q;
    newquoly(&q);
    q->link = nullptr;
    q->isnum = isnum;
    q->num = num;
    q->den = nullptr;
    q->rat = 0;
    return q;
}

inline bool lone_number(const polynode* p) { return p->numb && !p->next; }

// Builds the copy straight into *slot. Each node is complete (next and coef
// null) before it is linked, so an allocation failure part-way leaves a
// structure that free_poly can take apart.
void copy_into(const polynode* src, polynode** slot, bool negate) {
    polynode** link = slot;
    for (const polynode* s = src; s; s = s->next) {
        polynode* t;
        newpoly(&t);
        t->next = nullptr;
        t->coef = nullptr;
        t->exp = s->exp;
        t->numb = s->numb;
        *link = t;
        link = &t->next;
        if (s->numb)
            t->ncoef = copy_number(s->ncoef, negate);
        else
            copy_into(s->pcoef, &t->pcoef, negate);
    }
}

polynode* deep_copy(const polynode* src, bool negate) {
    polynode* r = nullptr;
    try {
        copy_into(src, &r, negate);
    } catch (...) {
        free_poly(&r);
        throw;
    }
    return r;
}

// A new quoly copying src (negating its number or numerator when asked).
// one_var: the numerator is taken below its padding and no denominator is kept.
quoly* quoly_copy(const quoly* src, bool negate, bool one_var) {
    quoly* r = fresh_quoly(src->isnum, nullptr);
    if (src->isnum) {
        r->nnum = copy_number(src->nnum, negate);
        return r;
    }
    // A rational is two lone number nodes; in machine-integer mode that form
    // does not exist, so the flag is not carried into it.
    r->rat = lintmode ? 0 : src->rat;
    try {
        if (one_var) {
            one_var_poly_assign(src->pnum, &r->pnum);
            if (negate) poly_inplace(r->pnum);
        } else {
            r->pnum = deep_copy(src->pnum, negate);
            r->den = deep_copy(src->den, false);
        }
    } catch (...) {
        free_quoly(&r);
        throw;
    }
    return r;
}

void replace_poly(polynode** dst, polynode* value) {
    free_poly(dst);
    *dst = value;
}

void replace_quoly(quoly** dst, quoly* value) {
    free_quoly(dst);
    *dst = value;
}

// Wraps p in k levels of exponent-0 single-term nodes.
polynode* padded(polynode* p, int32_t k) {
    for (int32_t i = 0; i < k; i++) p = new_term_node(0, p);
    return p;
}

// Puts a single node on polygarb.
void node_to_polygarb(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

}  // namespace

// ---------------------------------------------------------------- deep copies

void poly_assign(polynode* src, polynode** dst) { replace_poly(dst, deep_copy(src, false)); }

void poly_makeneg(polynode* src, polynode** dst) { replace_poly(dst, deep_copy(src, true)); }

void node_assign(polynode* node, polynode** dst) {
    replace_poly(dst, new_number_node(copy_number(node->ncoef, false)));
}

void quoly_assign(quoly* src, quoly** dst) {
    replace_quoly(dst, src ? quoly_copy(src, false, false) : nullptr);
}

void quoly_makeneg(quoly* src, quoly** dst) {
    replace_quoly(dst, src ? quoly_copy(src, true, false) : nullptr);
}

void one_var_quoly_assign(quoly* src, quoly** dst) {
    replace_quoly(dst, src ? quoly_copy(src, false, true) : nullptr);
}

void one_var_poly_assign(polynode* src, polynode** dst) {
    // A padding level is a single exponent-0 term; with Laurent exponents an
    // exponent-0 term followed by more terms is a real level and stays.
    while (src && !src->numb && src->exp == 0 && !src->next) src = src->pcoef;
    *dst = deep_copy(src, false);
}

// ---------------------------------------------------------------- constants and numbers

void poly_set(int32_t n, polynode** dst) {
    free_poly(dst);
    imag* x = new_number();
    setvalue(n, x);
    *dst = new_number_node(x);
}

void quoly_set(int32_t n, quoly** dst) {
    free_quoly(dst);
    imag* x = new_number();
    setvalue(modularmode ? word_residue(n) : n, x);
    *dst = fresh_quoly(1, x);
}

namespace {

// A new record that takes over n's value and digits; n is left owning no
// digits, so freeing or reusing it cannot release the chain twice.
imag* take_over(imag* n) {
    imag* x;
    newimag(&x);
    x->head = n->head;
    x->tail = n->tail;
    x->value = n->value;
    x->count = n->count;
    x->link = nullptr;
    n->count = 0;
    return x;
}

}  // namespace

void scalar_to_poly(imag* n, polynode** dst) {
    free_poly(dst);
    *dst = new_number_node(take_over(n));
}

void scalar_to_quoly(imag* n, quoly** dst) {
    free_quoly(dst);
    *dst = fresh_quoly(1, take_over(n));
}

namespace {
constexpr uint32_t OVERSIZED_SCALAR = uint32_t{1} << 30;
}

void spec_scalar_quoly(imag* n, quoly** dst) {
    free_quoly(dst);
    imag* x = new_number();
    if (lintmode && n->count > 0) {
        // The digits of a number computed by digit arithmetic inside a
        // machine-word mode become the value word. Folded with unsigned wrap;
        // anything past two digits is oversized in any case.
        uint32_t v = 0;
        int32_t i = 0;
        for (const numnode* d = n->head; d && i < n->count; d = d->next, i++)
            v = (v << DIGIT_BITS) + static_cast<uint32_t>(d->digit);
        x->value = static_cast<int32_t>(v);
        if (v > OVERSIZED_SCALAR)
            std::printf(" ** Warning. oversized value computed %liu in spec_scalar_quoly.\n",
                        static_cast<long>(x->value));
    } else {
        num_assign(n, x);
    }
    *dst = fresh_quoly(1, x);
}

void p_q_assign(polynode* p, quoly** dst) {
    free_quoly(dst);
    if (p && lone_number(p)) {
        *dst = fresh_quoly(1, copy_number(p->ncoef, false));
    } else {
        *dst = fresh_quoly(0, deep_copy(p, false));
    }
}

void base_poly(polynode** dst, int32_t n) {
    free_poly(dst);
    imag* one = new_number();
    setvalue(1, one);
    polynode* p = new_number_node(one);
    if (n > 0) p = padded(new_term_node(1, p), n - 1);
    *dst = p;
}

void base_quoly(quoly** dst, int32_t n) {
    free_quoly(dst);
    polynode* p = nullptr;
    base_poly(&p, n);
    *dst = fresh_quoly(0, p);
}

void poly_to_quoly(polynode* p, quoly** dst) { *dst = fresh_quoly(1, copy_number(p->ncoef, false)); }

void quoly_to_poly(quoly* q, polynode** dst) { *dst = new_number_node(copy_number(q->nnum, false)); }

void mod_quol_assign(quoly* q, quoly** dst) {
    imag* x = new_number();
    x->value = q->nnum->value;
    *dst = fresh_quoly(1, x);
}

// ---------------------------------------------------------------- leading term

void leading_term(quoly* q, quoly** dst) {
    if (q->isnum) {
        // A number is its own leading term.
        *dst = quoly_copy(q, false, false);
        return;
    }
    const polynode* f = q->pnum;
    int32_t pads = 0;
    if (!f->numb && f->exp == 0 && !f->next) {
        // Pass the padding levels; they are put back above the term so the
        // numerator keeps its variables' levels. A number below padding
        // cannot occur in shape (numbers are never padded), except one
        // followed by Laurent terms, which then stands unpadded.
        while (!f->numb && f->exp == 0 && !f->next) {
            f = f->pcoef;
            pads++;
        }
        if (f->numb) pads = 0;
    }
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->coef = nullptr;
    t->exp = f->exp;
    t->numb = f->numb;
    quoly* r = fresh_quoly(0, t);
    // A rational's leading term is itself; keep it rational.
    r->rat = lintmode ? 0 : q->rat;
    try {
        if (f->numb)
            t->ncoef = copy_number(f->ncoef, false);
        else
            t->pcoef = deep_copy(f->pcoef, false);
        r->pnum = padded(t, pads);
        r->den = deep_copy(q->den, false);
    } catch (...) {
        free_quoly(&r);
        throw;
    }
    *dst = r;
}

// ---------------------------------------------------------------- moving values

void mini_copy(polynode* node, polynode** dst) {
    if (node->numb) {
        poly_assign(node, dst);
        return;
    }
    *dst = new_term_node(node->exp, node->pcoef);
    (*dst)->next = node->next;
    node->next = nullptr;
    node->pcoef = nullptr;
}

void poly_consume(polynode** p, quoly** dst) {
    polynode* t = *p;
    *dst = fresh_quoly(1, t->ncoef);
    node_to_polygarb(t);
    *p = nullptr;
}

void use_up_poly(polynode** p, quoly** dst) {
    // A number node followed by Laurent terms is a polynomial, not a number.
    if (lone_number(*p))
        poly_consume(p, dst);
    else
        *dst = fresh_quoly(0, *p);
}

void quoly_consume(quoly** q, polynode** dst) {
    quoly* r = *q;
    *dst = new_number_node(r->nnum);
    r->nnum = nullptr;
    r->link = quolygarb;
    quolygarb = r;
    *q = nullptr;
}

void make_monomial(polynode** dst, int32_t e, polynode* c) {
    *dst = (e == 0 && lone_number(c)) ? c : new_term_node(e, c);
}

void spec_poly_assign(polynode* src, polynode** dst) {
    polynode** link = dst;
    polynode* s = src;
    for (; s && !s->numb; s = s->next) {
        polynode* t = new_term_node(s->exp, s->pcoef);
        *link = t;
        link = &t->next;
    }
    *link = s;
}

// ---------------------------------------------------------------- reshaping and negating

void fluff_out(polynode** p, int32_t e) {
    if (e == 0 && lone_number(*p)) return;
    *p = new_term_node(e, *p);
}

void add_pad(polynode** p, int32_t k) { *p = padded(*p, k); }

void poly_inplace(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb)
            in_place_neg(p->ncoef);
        else
            poly_inplace(p->pcoef);
    }
}

void quoly_inplace(quoly* q) {
    if (q->isnum)
        in_place_neg(q->nnum);
    else
        poly_inplace(q->pnum);
}

void remove_one(polynode** p, int32_t level) {
    polynode* f = *p;
    if (!f || f->numb) return;
    if (level <= 1) {
        // The variable occurs only with exponent 0: the first term's
        // coefficient is the whole value; the wrapper and any rest go.
        *p = f->pcoef;
        f->pcoef = nullptr;
        free_poly(&f);
        return;
    }
    for (polynode* t = f; t; t = t->next)
        if (!t->numb) remove_one(&t->pcoef, level - 1);
}

void remove_poly_var(quoly** q, int32_t level) {
    quoly* r = *q;
    if (r->isnum) return;
    remove_one(&r->pnum, level);
    remove_one(&r->den, level);
}
