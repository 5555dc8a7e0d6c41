// The folds of one relation: by division (general relations), by the
// replacement t^n = v while walking the terms (binomial relations), the
// negative-exponent part, the power table, and the schoolbook product that
// reduces as it goes.
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "gcd/pseudo_div.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/wide_sum.h"
#include "poly/modout.h"
#include "poly/modout_bare.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"
#include "toplevel/set_aside.h"

using namespace polyimpl;

namespace {

// One scratch number for the scope.
struct NumberScratch {
    imag* x = nullptr;
    imag* get() {
        if (!x) x = new_number();
        return x;
    }
    ~NumberScratch() {
        if (x) free_imag(&x);
    }
};

// The record's relation slot holds another relation for a while (a relation
// being declared is not in its record yet, nor is its field flag: the
// inverse of the variable is taken modulo the relation being folded, which
// Laurent mode only admits for fields). A level opened by an interrupt
// inside works with the record's own.
struct RelationSwap : SetAside {
    pt* rec;
    polynode* saved;
    int32_t saved_field;
    RelationSwap(pt* r, polynode* relation) : rec(r), saved(r->relation), saved_field(r->field) {
        r->relation = relation;
        r->field = 1;
    }
    ~RelationSwap() {
        rec->relation = saved;
        rec->field = saved_field;
    }
    void trade() {
        std::swap(rec->relation, saved);
        std::swap(rec->field, saved_field);
    }
    void put_back() override { trade(); }
};

void add_to(polynode** acc, polynode* x) {
    if (!x) return;
    if (*acc)
        best_poly_add(*acc, x, acc);
    else
        *acc = x;
}

polynode* number_node(int32_t v) {
    imag* n = new_number();
    setvalue(v, n);
    return new_number_node(n);
}

// u reduced by the monic relation m of degree d through division, with the
// relation-free record: u of degree below d comes back as it is.
void divide_out(polynode** u, polynode* m, int32_t d, pt* bare) {
    if ((*u)->numb || (*u)->exp < d) return;
    polynode* r = nullptr;
    pseudo_div_no_q(*u, m, &r, bare, 1);
    free_poly(u);
    *u = r ? r : zero_poly();
}

// v^k for the lone number v, as a lone number node.
polynode* number_power(polynode* v, int32_t k) {
    polynode* f = nullptr;
    poly_assign(v, &f);
    compute_power(&f, k, nilpol);
    return f;
}

bool has_negative_exponent(const polynode* p) {
    for (; p; p = p->next)
        if (p->exp < 0) return true;
    return false;
}

// The innermost level, every coefficient a number: the reduced powers are
// summed coefficient by coefficient into one row of numbers, with no
// polynomial formed per term. high: the terms of exponent n and above,
// low: the rest (both kept).
polynode* fold_row(polynode* high, polynode* low, pt* rec) {
    const int32_t n = rec->modout_degree;
    auto value = [](polynode* t) { return t->numb ? t->ncoef : t->pcoef->ncoef; };
    std::vector<int32_t> word(static_cast<size_t>(n), 0);   // machine-word modes
    std::vector<WideSum> wide(lintmode ? 0 : static_cast<size_t>(n));
    NumberScratch scratch;
    for (polynode* t = low; t; t = t->next) {
        if (lintmode)
            word[static_cast<size_t>(t->exp)] = value(t)->value;
        else
            wide[static_cast<size_t>(t->exp)].add(value(t));
    }
    polynode* power = rec->reductions;
    for (polynode* t = high; t; t = t->next) {
        while (power && power->exp > t->exp) power = power->next;
        if (!power || power->exp != t->exp) tarvex_error("mod-out power table.", 1);
        imag* c = value(t);
        for (polynode* u = power->pcoef; u; u = u->next) {
            imag* r = value(u);
            const size_t e = static_cast<size_t>(u->exp);
            if (modularmode) {
                word[e] = mod_add(word[e], modmult(c->value, r->value), modulus);
            } else if (lintmode) {
                // Machine integers wrap, as their products and sums do everywhere.
                word[e] = static_cast<int32_t>(static_cast<uint32_t>(word[e]) +
                                               static_cast<uint32_t>(c->value) * static_cast<uint32_t>(r->value));
            } else if (c->count == 1) {
                wide[e].add_product(r, c->head->digit);
            } else {
                fast_mult(c, r, scratch.get());
                wide[e].add(scratch.get());
            }
        }
    }
    Chain out;
    for (int32_t e = n - 1; e >= 0; e--) {
        imag* x = new_number();
        if (lintmode)
            setvalue(word[static_cast<size_t>(e)], x);
        else
            wide[static_cast<size_t>(e)].write(x);
        if (iszero(x)) {
            free_imag(&x);
            continue;
        }
        polynode* num = new_number_node(x);
        out.push(e == 0 ? num : new_term_node(e, num));
    }
    return out.head ? out.take() : zero_poly();
}

// Every term of p over a lone number, none with a negative exponent.
bool number_row(const polynode* p) {
    for (; p; p = p->next)
        if (p->exp < 0 || (!p->numb && !single_number(p->pcoef))) return false;
    return true;
}

}  // namespace

void num_fold_poly(polynode** p, polynode** relation, int32_t d) {
    polynode* v = *relation;
    if (!*p || d <= 0) return;
    if (has_negative_exponent(*p) && !poly_eq_pm1(v)) {
        std::printf(" *** Can't apply poly-mod-out of form t^n + c = 0 to a term with\n");
        std::printf("     a negative exponent, when c is not invertible.\n");
        std::printf("       Modding out aborted.  Some variable may have been\n");
        std::printf("     partially converted.\n");
        error(211, token.name);
        return;
    }
    // A leading constant says nothing of the terms behind it: 3 + t^-1 still
    // has a negative power to fold.
    if (!has_negative_exponent(*p) && ((*p)->numb || (*p)->exp < d)) return;

    polynode* acc = nullptr;
    Chain low;
    polynode* t = *p;
    *p = nullptr;
    while (t) {
        polynode* next = t->next;
        t->next = nullptr;
        const int32_t e = t->exp;
        if (t->numb || (e >= 0 && e < d)) {
            low.push(t);
            t = next;
            continue;
        }
        int32_t q = e / d, r = e % d, power = q < 0 ? -q : q;
        if (r < 0) {
            r += d;
            power = q - 1 < 0 ? 1 - q : q - 1;
        }
        polynode* c = t->pcoef;
        release_node(t);
        PolyHold f(number_power(v, power));
        if (is_zero_poly(f.p)) {
            free_poly(&c);
        } else {
            polynode* scaled = nullptr;
            scalar_by_poly(f.p->ncoef, c, &scaled);
            free_poly(&c);
            if (is_zero_poly(scaled))
                free_poly(&scaled);
            else
                add_to(&acc, monomial_term(r, scaled));
        }
        t = next;
    }
    add_to(&acc, low.take());
    *p = acc ? acc : zero_poly();
}

polynode* laurent_fold(polynode** p, polynode** relation, pt* rec, pt* bare) {
    polynode** link = p;
    while (*link && (*link)->exp >= 0) link = &(*link)->next;
    if (!*link) return nullptr;
    PolyHold shifted(*link);
    *link = nullptr;
    if (!*p) *p = zero_poly();

    polynode* last = shifted.p;
    while (last->next) last = last->next;
    const int32_t k = 1 - last->exp;
    for (polynode* t = shifted.p; t; t = t->next) t->exp += k;
    divide_out(&shifted.p, *relation, bare->modout_degree, bare);

    RelationSwap swap(rec, *relation);
    PolyHold t_poly(new_term_node(1, number_node(1)));
    struct Inverse {
        quoly* q = nullptr;
        ~Inverse() {
            if (q) free_quoly(&q);
        }
    } inv;
    poly_mod_invert(t_poly.p, &inv.q, rec);
    if (!inv.q->isnum && inv.q->den) tarvex_error("laurent_fold.", 1);
    PolyHold factor;
    if (inv.q->isnum) {
        quoly_to_poly(inv.q, &factor.p);
    } else {
        factor.p = inv.q->pnum;
        inv.q->pnum = nullptr;
    }
    compute_power(&factor.p, k, rec);
    polynode* out = nullptr;
    poly_mult(shifted.p, factor.p, &out, rec);
    return out;
}

void fold_poly(polynode** p, polynode** relation, int32_t d, pt* rec) {
    if (!*p || !*relation) return;
    if (single_number(*relation)) {
        num_fold_poly(p, relation, d);
        return;
    }
    BareRecord bare(rec);
    bare.rec->modout_degree = d;
    PolyHold negative;
    if (laurent) negative.p = laurent_fold(p, relation, rec, bare.rec);
    divide_out(p, *relation, d, bare.rec);
    if (negative.p) best_poly_add(*p, negative.release(), p);
}

void fast_fold_poly(polynode** p, pt* rec) {
    const int32_t n = rec->modout_degree;
    polynode* top = *p;
    if (!top) return;
    if (laurent && has_negative_exponent(top)) {
        // Negative powers are folded through the inverse of the variable.
        fold_poly(p, &rec->relation, n, rec);
        return;
    }
    if (top->numb || top->exp < n) return;
    if (!rec->reductions || top->exp > 2 * n - 2) {
        fold_poly(p, &rec->relation, n, rec);
        return;
    }
    // Split off the terms of exponent n and above.
    polynode* high = top;
    polynode** link = &top->next;
    while (*link && (*link)->exp >= n) link = &(*link)->next;
    polynode* low = *link;
    *link = nullptr;
    *p = nullptr;

    PolyHold rest(high);
    if (!rec->next && number_row(high) && number_row(low)) {
        PolyHold low_part(low);
        *p = fold_row(high, low, rec);
        return;
    }
    polynode* acc = nullptr;
    polynode* power = rec->reductions;
    for (polynode* t = high; t; t = t->next) {
        while (power && power->exp > t->exp) power = power->next;
        if (!power || power->exp != t->exp) tarvex_error("mod-out power table.", 1);
        // c x^e with x^e taken from the table: c times the reduced power.
        const int32_t e = t->exp;
        polynode* after = t->next;
        t->exp = 0;
        t->next = nullptr;
        polynode* part = nullptr;
        fast_mod_standard(t, power->pcoef, &part, rec);
        t->exp = e;
        t->next = after;
        if (is_zero_poly(part))
            free_poly(&part);
        else
            add_to(&acc, part);
    }
    add_to(&acc, low);
    *p = acc ? acc : zero_poly();
}

void make_muldata(polynode** table, polynode** relation, int32_t d, pt* rec) {
    // d - 1 powers, each up to d terms: past this degree the table costs
    // more than the folds it saves (a binomial of degree 2^24 took 47 s and
    // 1.8 GB to declare), and from 2^30 on its top exponent is no int32_t.
    // Without it every fold divides.
    *table = nullptr;
    if (d > MULDATA_MAX_DEGREE) return;
    Chain out;
    for (int32_t e = 2 * d - 2; e >= d; e--) {
        polynode* x = new_term_node(e, number_node(1));
        fold_poly(&x, relation, d, rec);
        out.push(new_term_node(e, x));
    }
    *table = out.take();
}

void mod_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res, pt* rec) {
    if (lb < la) std::swap(a, b);
    TermContext ctx;
    ctx.rec = rec;
    ctx.inner = rec->next;
    ctx.inner_relation = ctx.inner && ctx.inner->relation;
    polynode* rel = rec->relation;
    if (rel && single_number(rel)) {
        ctx.lone_relation = 1;
        ctx.r = rel;
        ctx.degree = rec->modout_degree;
    }
    polynode* acc = nullptr;
    for (polynode* t = a; t; t = t->next) {
        polynode* part = nullptr;
        node_by_poly_2(t, b, &part, &ctx);
        if (part && is_zero_poly(part))
            free_poly(&part);
        else
            add_to(&acc, part);
    }
    if (!acc) acc = zero_poly();
    if (rel && !ctx.lone_relation) fast_fold_poly(&acc, rec);
    replace_slot(res, acc);
}
