// Sums and differences of polynomials: one merge of two term lists, told
// which operands it may consume, behind the eight entry points; and the
// in-place services built on it.
//
// The merge walks both chains of a level from the front (exponents are
// signed, so Laurent terms take part in the order), recursing only into
// coefficients: the stack depth is the number of variables, not the number
// of terms. It returns the merged chain, or null when every term cancelled;
// only the entry points turn null into the zero polynomial.
#include "poly/polyadd.h"

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/exponent_range.h"
#include "storage/assign.h"

namespace {

// What the merge may do with its operands' records.
struct Mode {
    bool sub;      // a - b
    bool own_a;    // a's nodes and numbers may become the result's or be freed
    bool own_b;
};

inline bool lone_number(const polynode* p) { return p->numb && !p->next; }

inline bool zero_node(polynode* t) { return t->numb && iszero(t->ncoef); }

void node_to_polygarb(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

// One term with its coefficient, not the terms after it.
void free_term(polynode* t) {
    if (t->numb)
        free_imag(&t->ncoef);
    else
        free_poly(&t->pcoef);
    node_to_polygarb(t);
}

polynode* new_node(int32_t exp, int32_t numb, void* coef) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = exp;
    t->numb = numb;
    t->coef = coef;
    return t;
}

// A copy of the single term t (negated when asked) in fresh records.
polynode* copy_term(polynode* t, bool negate) {
    if (t->numb) {
        imag* n = new_number();
        if (negate)
            makeneg(t->ncoef, n);
        else
            num_assign(t->ncoef, n);
        return new_node(0, 1, n);
    }
    polynode* c = nullptr;
    if (negate)
        poly_makeneg(t->pcoef, &c);
    else
        poly_assign(t->pcoef, &c);
    return new_node(t->exp, 0, c);
}

void negate_term(polynode* t) {
    if (t->numb)
        in_place_neg(t->ncoef);
    else
        poly_inplace(t->pcoef);
}

// Residue a - b or a + b; never a division, at most one correction.
inline int32_t residue_combine(int32_t a, int32_t b, bool sub) {
    uint32_t u = static_cast<uint32_t>(a), v = static_cast<uint32_t>(b);
    uint32_t m = static_cast<uint32_t>(modulus);
    if (finf) return static_cast<int32_t>(u ^ v);
    if (sub) return static_cast<int32_t>(u >= v ? u - v : u - v + m);
    uint32_t s = u + v;   // both below 2^31: no wrap
    return static_cast<int32_t>(s >= m ? s - m : s);
}

// x + y or x - y in the ground ring (modular, machine word, digits), in x's
// record when a owns it, else in y's when b owns it, else in a new record.
imag* combine(imag* x, imag* y, const Mode& m) {
    imag* r = m.own_a ? x : m.own_b ? y : new_number();
    if (modularmode) {
        r->value = residue_combine(x->value, y->value, m.sub);
    } else if (lintmode) {
        uint32_t u = static_cast<uint32_t>(x->value), v = static_cast<uint32_t>(y->value);
        r->value = static_cast<int32_t>(m.sub ? u - v : u + v);
    } else if (m.own_a) {
        if (m.sub)
            fastdiff(x, y);
        else
            fastsum(x, y);
    } else if (m.sub) {
        // Both chains are read before r is written, so r may be y.
        meddiff(x->count, y->count, x->head, y->head, r);
    } else {
        medsum(x->count, y->count, x->head, y->head, r);
    }
    return r;
}

// Appends detached terms.
struct Chain {
    polynode* head = nullptr;
    polynode** tail = &head;
    void push(polynode* t) {
        t->next = nullptr;
        *tail = t;
        tail = &t->next;
    }
    void link(polynode* rest) { *tail = rest; }
};

polynode* merge(polynode* a, polynode* b, const Mode& m);

// The term for exponent e over the merged coefficient coef, in the node
// keep: an exponent-0 term over a lone number is that number node.
polynode* wrap(polynode* keep, polynode* coef) {
    if (!coef) {
        node_to_polygarb(keep);
        return nullptr;
    }
    if (keep->exp == 0 && lone_number(coef)) {
        node_to_polygarb(keep);
        return coef;
    }
    keep->numb = 0;
    keep->pcoef = coef;
    return keep;
}

// a and b have equal exponents; their next links are saved by the caller.
// Returns the combined term, null when it cancelled.
polynode* merge_equal(polynode* a, polynode* b, const Mode& m) {
    if (a->numb && b->numb) {
        imag* r = combine(a->ncoef, b->ncoef, m);
        polynode* keep = m.own_a ? a : m.own_b ? b : new_node(0, 1, r);
        if (m.own_a && m.own_b) free_term(b);
        if (iszero(r)) {
            free_term(keep);
            return nullptr;
        }
        return keep;
    }
    if (!a->numb && !b->numb) {
        polynode* coef = merge(a->pcoef, b->pcoef, m);
        polynode* keep = m.own_a ? a : m.own_b ? b : new_node(a->exp, 0, nullptr);
        if (m.own_a && m.own_b) node_to_polygarb(b);
        return wrap(keep, coef);
    }
    // A number against a polynomial coefficient (both at exponent 0): the
    // number, cut from the Laurent terms after it, becomes the coefficient's
    // constant term. A kept number is copied so the inner merge may own it.
    if (a->numb) {
        polynode* lone = m.own_a ? a : copy_term(a, false);
        lone->next = nullptr;
        polynode* coef = merge(lone, b->pcoef, Mode{m.sub, true, m.own_b});
        return wrap(m.own_b ? b : new_node(0, 0, nullptr), coef);
    }
    polynode* lone = m.own_b ? b : copy_term(b, false);
    lone->next = nullptr;
    polynode* coef = merge(a->pcoef, lone, Mode{m.sub, m.own_a, true});
    return wrap(m.own_a ? a : new_node(0, 0, nullptr), coef);
}

polynode* merge(polynode* a, polynode* b, const Mode& m) {
    Chain out;
    while (a && b) {
        // A zero number node can only be a whole operand (the zero
        // polynomial); it contributes nothing.
        if (zero_node(a)) {
            polynode* n = a->next;
            if (m.own_a) free_term(a);
            a = n;
            continue;
        }
        if (zero_node(b)) {
            polynode* n = b->next;
            if (m.own_b) free_term(b);
            b = n;
            continue;
        }
        if (a->exp > b->exp) {
            polynode* n = a->next;
            out.push(m.own_a ? a : copy_term(a, false));
            a = n;
        } else if (b->exp > a->exp) {
            polynode* n = b->next;
            if (m.own_b) {
                if (m.sub) negate_term(b);
                out.push(b);
            } else {
                out.push(copy_term(b, m.sub));
            }
            b = n;
        } else {
            polynode* na = a->next;
            polynode* nb = b->next;
            polynode* t = merge_equal(a, b, m);
            if (t) out.push(t);
            a = na;
            b = nb;
        }
    }
    if (a) {
        if (m.own_a) {
            out.link(a);
        } else {
            polynode* c = nullptr;
            poly_assign(a, &c);
            out.link(c);
        }
    } else if (b) {
        if (m.own_b) {
            if (m.sub) poly_inplace(b);
            out.link(b);
        } else {
            polynode* c = nullptr;
            if (m.sub)
                poly_makeneg(b, &c);
            else
                poly_assign(b, &c);
            out.link(c);
        }
    }
    return out.head;
}

// The whole sum or difference: two lone numbers give one number node even
// when it is 0; otherwise the merge, with nothing left meaning zero.
polynode* add_top(polynode* a, polynode* b, const Mode& m) {
    if (lone_number(a) && lone_number(b)) {
        imag* r = combine(a->ncoef, b->ncoef, m);
        polynode* keep = m.own_a ? a : m.own_b ? b : new_node(0, 1, r);
        if (m.own_a && m.own_b) free_term(b);
        return keep;
    }
    polynode* r = merge(a, b, m);
    if (!r) poly_set(0, &r);
    return r;
}

// ---- one variable, residues only ----

inline imag* leaf(polynode* t) { return t->numb ? t->ncoef : t->pcoef->ncoef; }

inline void negate_residue(imag* x) {
    if (!finf && x->value) x->value = modulus - x->value;
}

polynode* simplest_merge(polynode* a, polynode* b, bool sub) {
    Chain out;
    while (a && b) {
        if (a->numb && a->ncoef->value == 0) {
            polynode* n = a->next;
            free_term(a);
            a = n;
        } else if (b->numb && b->ncoef->value == 0) {
            polynode* n = b->next;
            free_term(b);
            b = n;
        } else if (a->exp > b->exp) {
            polynode* n = a->next;
            out.push(a);
            a = n;
        } else if (b->exp > a->exp) {
            polynode* n = b->next;
            if (sub) negate_residue(leaf(b));
            out.push(b);
            b = n;
        } else {
            polynode* na = a->next;
            polynode* nb = b->next;
            imag* x = leaf(a);
            x->value = residue_combine(x->value, leaf(b)->value, sub);
            free_term(b);
            if (x->value == 0)
                free_term(a);
            else
                out.push(a);
            a = na;
            b = nb;
        }
    }
    if (a) {
        out.link(a);
    } else if (b) {
        if (sub)
            for (polynode* t = b; t; t = t->next) negate_residue(leaf(t));
        out.link(b);
    }
    if (!out.head) poly_set(0, &out.head);
    return out.head;
}

}  // namespace

// ---------------------------------------------------------------- sums and differences

void poly_add(polynode* a, polynode* b, polynode** res) {
    polynode* r = add_top(a, b, Mode{false, false, false});
    free_poly(res);
    *res = r;
}

void poly_sub(polynode* a, polynode* b, polynode** res) {
    polynode* r = add_top(a, b, Mode{true, false, false});
    free_poly(res);
    *res = r;
}

void better_poly_add(polynode* a, polynode* b, polynode** res) { *res = add_top(a, b, Mode{false, true, false}); }

void better_poly_sub(polynode* a, polynode* b, polynode** res) { *res = add_top(a, b, Mode{true, true, false}); }

void best_poly_add(polynode* a, polynode* b, polynode** res) { *res = add_top(a, b, Mode{false, true, true}); }

void best_poly_sub(polynode* a, polynode* b, polynode** res) { *res = add_top(a, b, Mode{true, true, true}); }

void simplest_poly_add(polynode* a, polynode* b, polynode** res) { *res = simplest_merge(a, b, false); }

void simplest_poly_sub(polynode* a, polynode* b, polynode** res) { *res = simplest_merge(a, b, true); }

// ---------------------------------------------------------------- in-place services

void standard_form(polynode* p) {
    for (; p; p = p->next) {
        if (!p->numb)
            standard_form(p->pcoef);
        else if (p->ncoef->value < 0)
            p->ncoef->value += modulus;
    }
}

void polyimpl::divide_thru(polynode* p, int32_t r) {
    for (; p; p = p->next) {
        if (p->numb)
            p->ncoef->value = modmult(p->ncoef->value, r);
        else
            divide_thru(p->pcoef, r);
    }
}

void free_nodes(polynode* p, int32_t from, int32_t to) {
    if (from > to) return;
    while (p && !p->numb) {
        polynode* n = p->next;
        if (from < to) free_nodes(p->pcoef, from + 1, to);
        node_to_polygarb(p);
        p = n;
    }
}

namespace {

// The polynomial held by a quoly without denominator; the quoly record
// goes back to its free list and the slot becomes null.
polynode* take_poly(quoly** q) {
    polynode* p = nullptr;
    if ((*q)->isnum) {
        quoly_consume(q, &p);
        return p;
    }
    p = (*q)->pnum;
    (*q)->pnum = nullptr;
    free_quoly(q);
    return p;
}

// p·x^n in place, x the outermost variable, n >= 0.
polynode* shift_top(polynode* p, int32_t n) {
    if (n == 0) return p;
    Chain out;
    while (p) {
        polynode* next = p->next;
        if (p->numb) {
            p->next = nullptr;
            out.push(new_node(n, 0, p));
        } else {
            p->exp += n;
            // A Laurent term raised to exponent 0 over a lone number is
            // that number node.
            if (p->exp == 0 && lone_number(p->pcoef)) {
                out.push(p->pcoef);
                node_to_polygarb(p);
            } else {
                out.push(p);
            }
        }
        p = next;
    }
    return out.head;
}

}  // namespace

void splice_poly(quoly** a, quoly** b, int32_t n) {
    // b's first term carries its highest exponent; checked before either
    // value is taken apart.
    if (!(*b)->isnum) checked_exponent(int64_t{(*b)->pnum->exp} + n);
    polynode* pa = take_poly(a);
    polynode* pb = take_poly(b);
    polynode* r = nullptr;
    if (lone_number(pb) && iszero(pb->ncoef)) {
        // 0·x^n would be a zero term, not a term of the sum.
        free_term(pb);
        r = pa;
    } else {
        // b's shifted terms lie above a's in the usual case, so the merge
        // relinks them and then appends a's chain whole.
        best_poly_add(shift_top(pb, n), pa, &r);
    }
    use_up_poly(&r, a);
}

void swap_levels_1_2(polynode** p) {
    if (lone_number(*p)) return;
    polynode* acc = nullptr;
    poly_set(0, &acc);
    polynode* t = *p;
    *p = nullptr;
    while (t) {
        polynode* next = t->next;
        t->next = nullptr;
        if (t->numb) {
            // The constant term stays the constant term.
            best_poly_add(acc, t, &acc);
        } else if (lone_number(t->pcoef)) {
            // c·x^e does not depend on the new outer variable: e becomes
            // the second level's exponent below a padding level.
            add_pad(&t, 1);
            best_poly_add(acc, t, &acc);
        } else {
            int32_t e = t->exp;
            polynode* c = t->pcoef;
            node_to_polygarb(t);
            while (c) {
                polynode* cn = c->next;
                c->next = nullptr;
                polynode* piece;
                if (c->numb) {
                    // y^0·x^e·k: a number stays one only when e is 0.
                    piece = e == 0 ? c : new_node(0, 0, new_node(e, 0, c));
                } else {
                    // y^f·x^e·d: the new second level carries e over d.
                    if (!(e == 0 && lone_number(c->pcoef))) c->pcoef = new_node(e, 0, c->pcoef);
                    piece = c;
                }
                best_poly_add(acc, piece, &acc);
                c = cn;
            }
        }
        t = next;
    }
    *p = acc;
}
