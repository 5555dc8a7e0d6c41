// Coef, Mcoef and Mcoef2: the selectors are read first, the polynomial is
// walked afterwards (see coef_extraction.h).
#include "builtins/coef_extraction.h"

#include <vector>

#include "builtins/coefficients.h"
#include "interp/exact_read.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "poly/coefextract.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

bool lone_number(const polynode* p) { return p->numb && !p->next; }

// One expression at the current token, read with modular arithmetic off.
void read_unreduced(FILE** source, name** pending, quoly** v) {
    read_count_value(source, pending, v);
}

// An exponent: a plain number that fits a machine integer.
int32_t exponent_of(const quoly* v) {
    if (!v->isnum) bfail(155, token.name);
    const int32_t e = quoly_convert_to_int(const_cast<quoly*>(v));
    if (e == INT_DOES_NOT_FIT) bfail(156, token.name);
    return e;
}

// What Coef's arguments select.
struct exponent_list {
    std::vector<int32_t> exps;   // one per level from the top; empty: the leading coefficient
    int32_t var_level = 0;       // non-zero: the coefficient of that variable's power var_exp
    int32_t var_exp = 0;
};

void read_exponents(FILE** source, name** pending, exponent_list* sel) {
    while (token_is(&token, ",")) {
        bnext(source, pending);
        SlotHold v;
        read_unreduced(source, pending, &v.q);
        if (!v.q->isnum && sel->exps.empty()) {
            // A variable in place of the first exponent.
            if (!is_poly_var(v.q, &sel->var_level)) bfail(315, token.name);
            next_argument(source, pending);
            SlotHold e;
            read_unreduced(source, pending, &e.q);
            sel->var_exp = exponent_of(e.q);
            return;
        }
        sel->exps.push_back(exponent_of(v.q));
    }
}

// The term of exponent e in the list p, or null.
polynode* term_of(polynode* p, int32_t e) {
    while (p && p->exp > e) p = p->next;
    return p && p->exp == e ? p : nullptr;
}

// The coefficient the exponent list selects in p, at full depth: the
// coefficient found k levels down is padded by k exponent-0 levels (never
// a lone number). Exponents past p's depth select a number only with 0.
polynode* get_coef(polynode* p, const exponent_list& sel) {
    polynode* r = nullptr;
    if (sel.var_level) {
        extract_coef(p, &r, sel.var_level - 1, sel.var_exp, sel.var_exp == 0);
        return r;
    }
    std::vector<int32_t> exps = sel.exps;
    if (exps.empty()) exps.push_back(p->exp);
    polynode* t = nullptr;
    polynode* level = p;
    bool leaf_only = false;   // level is a number leaf standing for itself alone
    for (size_t k = 0; k < exps.size(); k++) {
        const int32_t e = exps[k];
        if (leaf_only)
            t = e == 0 ? level : nullptr;
        else
            t = term_of(level, e);
        if (!t) break;
        // Below a number leaf only exponent 0 finds it again; the terms of
        // negative exponent after it belong to this level, not below.
        leaf_only = t->numb;
        level = t->numb ? t : t->pcoef;
    }
    if (!t) {
        poly_set(0, &r);
        return r;
    }
    if (t->numb) {
        node_assign(t, &r);
        return r;
    }
    poly_assign(t->pcoef, &r);
    if (!lone_number(r)) add_pad(&r, static_cast<int32_t>(exps.size()));
    return r;
}

// A monomial argument: null for a plain number (the monomial 1), else its
// numerator, which must be one term at every level, without denominator.
polynode* monomial_of(const quoly* m) {
    if (m->isnum) return nullptr;
    if (m->den || !monomial(m->pnum)) bfail(307, token.name);
    return m->pnum;
}

polynode* get_Mcoef(polynode* p, polynode* m1, polynode* m2, int full) {
    polynode* r = nullptr;
    if (!full) {
        if (!m1) {
            poly_assign(p, &r);
            return r;
        }
        if (anynegs(m1)) bfail(321, token.name);
        int32_t levels = 0;
        polynode* node = m1;
        while (node->exp == 0) {
            node = node->pcoef;
            levels++;
        }
        cullout(p, node, &r, levels);
        return r;
    }
    PolyHold one1, one2;
    if (!m1) {
        poly_set(1, &one1.p);
        m1 = one1.p;
    }
    if (!m2) {
        poly_set(1, &one2.p);
        m2 = one2.p;
    }
    extract(p, m1, m2, &r);
    return r;
}

}  // namespace

void quoly_get_coef(FILE** source, quoly** slot, name** pending, int mode, int only_quotient, quoly** result) {
    exponent_list sel;
    SlotHold m1, m2;
    if (mode == 0) {
        read_exponents(source, pending, &sel);
    } else {
        next_argument(source, pending, 192);
        value_argument(source, pending, &m1.q);
        monomial_of(m1.q);
        if (token_is(&token, ",")) {
            if (only_quotient) bfail(320, token.name);
            bnext(source, pending);
            value_argument(source, pending, &m2.q);
            monomial_of(m2.q);
        }
    }

    quoly* u = slot ? *slot : nullptr;
    PolyHold number;
    polynode* p = nullptr;
    if (!u || u->isnum) {
        if (u)
            quoly_to_poly(u, &number.p);
        else
            poly_set(0, &number.p);
        p = number.p;
    } else {
        p = u->pnum;
    }
    PolyHold r(mode == 0 ? get_coef(p, sel)
                         : get_Mcoef(p, monomial_of(m1.q), m2.q ? monomial_of(m2.q) : nullptr, !only_quotient));

    SlotHold value;
    polynode* coef = r.release();
    use_up_poly(&coef, &value.q);
    // A number denominator belongs to every coefficient (u is a polynomial
    // with fractions); a polynomial one is left aside.
    if (u && !u->isnum && u->den && lone_number(u->den)) {
        SlotHold d;
        poly_to_quoly(u->den, &d.q);
        fast_quoly_quot(&value.q, &d.q, 0);
    }
    free_quoly(result);
    *result = value.release();
}
