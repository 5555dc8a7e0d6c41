// Numerical coefficients and the leading monomial (see numeric_coefficients.h).
#include "builtins/numeric_coefficients.h"

#include "interp/builtin_args.h"
#include "interp/token.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

bool lone_number(const polynode* p) { return p->numb && !p->next; }

// *result := the number of leaf (0 for null). copy-then-free.
void number_result(const polynode* leaf, quoly** result) {
    quoly* q = nullptr;
    if (leaf)
        poly_to_quoly(const_cast<polynode*>(leaf), &q);
    else
        quoly_set(0, &q);
    free_quoly(result);
    *result = q;
}

// *result := the polynomial p taken over (a lone number: a plain number).
void poly_result(polynode* p, quoly** result) {
    quoly* q = nullptr;
    use_up_poly(&p, &q);
    free_quoly(result);
    *result = q;
}

// The first-term chain of p copied, the first `keep_first` levels reduced
// to their first term and the rest copied whole; an exponent-0 term whose
// coefficient came out a lone number is that number.
polynode* first_terms(polynode* p, int32_t keep_first) {
    polynode* r = nullptr;
    if (keep_first <= 0) {
        poly_assign(p, &r);
        return r;
    }
    if (p->numb) {
        node_assign(p, &r);
        return r;
    }
    polynode* c = first_terms(p->pcoef, keep_first - 1);
    if (p->exp == 0 && lone_number(c)) return c;
    return new_term_node(p->exp, c);
}

}  // namespace

polynode* poly_trail_num_coef(polynode* p) {
    for (;;) {
        while (p->next) p = p->next;
        if (p->numb) return node_iszero(p) ? nullptr : p;
        p = p->pcoef;
    }
}

polynode* poly_z_num_coef(polynode* p) {
    for (;;) {
        // With negative exponents the exponent-0 term may stand mid-list.
        while (p && p->exp > 0) p = p->next;
        if (!p || p->exp != 0) return nullptr;
        if (p->numb) return node_iszero(p) ? nullptr : p;
        p = p->pcoef;
    }
}

polynode* poly_mono_num_coef(polynode* p, polynode* m) {
    for (;;) {
        const int32_t e = m->exp;
        while (p && p->exp > e) p = p->next;
        if (!p || p->exp != e) return nullptr;
        if (m->pcoef->numb) {
            // The monomial ends here: what is left is p's constant term.
            if (p->numb) return node_iszero(p) ? nullptr : p;
            return poly_z_num_coef(p->pcoef);
        }
        if (p->numb) return nullptr;
        p = p->pcoef;
        m = m->pcoef;
    }
}

void quoly_leading_num_coef(quoly* arg, quoly** result) { number_result(leading_coef(arg->pnum), result); }

void quoly_trail_num_coef(quoly* arg, quoly** result) { number_result(poly_trail_num_coef(arg->pnum), result); }

void quoly_z_num_coef(quoly* arg, quoly** result) { number_result(poly_z_num_coef(arg->pnum), result); }

void quoly_mono_num_coef(quoly* arg, quoly** result, polynode* m) {
    number_result(poly_mono_num_coef(arg->pnum, m), result);
}

void quoly_field_leading_coef(quoly* arg, quoly** result) {
    polynode* p = arg->pnum;
    pt* v = polynames;
    int32_t passed = 0;
    while (!p->numb && v && v->level < field_depth) {
        p = p->pcoef;
        v = v->next;
        passed++;
    }
    if (p->numb) {
        number_result(p, result);
        return;
    }
    polynode* c = nullptr;
    poly_assign(p, &c);
    add_pad(&c, passed);
    poly_result(c, result);
}

void leading_mon(quoly* arg, quoly* var, quoly** result) {
    if (arg->den) bfail(196, token.name);
    int32_t keep_first = 16384;
    if (var) {
        int32_t level = 0;
        if (!is_poly_var(var, &level)) bfail(282, token.name);
        keep_first = level - 1;
    }
    poly_result(first_terms(arg->pnum, keep_first), result);
}
