// The product dispatcher: poly_mult picks, in this order, the number
// products, scaling by a number, descent through padding levels (with a
// level record), over Z the images modulo word primes when their estimated
// cost is well below the term-list routes' (poly/multimod.cpp), the
// one-variable modular product (transforms above a size, then the dense
// arrays and list Karatsuba), the dense two-variable modular product, the
// schoolbook product below the cut-off (the machine-accumulator box for
// small integer coefficients and residues, under relations folded after),
// and Karatsuba on the term lists above it.
#include "poly/polymult.h"

#include <algorithm>
#include <cstdlib>

#include "numbers/ring.h"
#include "poly/exponent_range.h"
#include "poly/method_tests.h"
#include "poly/modmult.h"
#include "poly/modout.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

using namespace polyimpl;

namespace {

// The dense two-variable arrays are tried only when both top degrees exceed
// this; smaller pairs are cheaper on the term lists.
constexpr int32_t DENSE_2_VAR_MIN_DEGREE = 30;

// Laurent operands with negative exponents of at least this many terms each
// are shifted onto the one-variable routes.
constexpr int32_t LAURENT_SHIFT_TERMS = 150;

// a and b both start with an exponent-0 padding level: both step inward,
// with their records, to the first level where either depends on its
// variable; the product formed there is padded back.
polynode* padded_product(polynode* a, polynode* b, pt* rec) {
    int32_t k = 0;
    while (rec && !a->numb && !b->numb && a->exp == 0 && b->exp == 0) {
        a = a->pcoef;
        b = b->pcoef;
        rec = rec->next;
        k++;
    }
    polynode* p = nullptr;
    poly_mult(a, b, &p, rec);
    if (!p->numb) add_pad(&p, k);
    return p;
}

// Under relations modulo a prime the product in the machine-accumulator
// box, every level then folded by its relation, is the one reduced form
// that folding level by level as the terms are multiplied reaches, in a
// single pass over the box (a product of fraction matrices under t^2 - 2
// modulo 7 spent three quarters of its time in such products, term by
// term). Not
// with negative powers, which fold through the variable's inverse, nor in
// characteristic 2, whose field elements are no residues of integers.
polynode* folded_box_product(polynode* a, polynode* b, pt* rec) {
    if (!modularmode || finf || !mod_is_prime || laurent) return nullptr;
    polynode* p = small_integer_product(a, b);
    if (p) total_poly_modout(&p, rec);
    return p;
}

bool reduce_after_one_var(const pt* rec) {
    return (field_depth >= 1 || modout_above_field) && rec && rec->relation;
}

polynode* product(polynode* a, polynode* b, pt* rec) {
    const bool a_num = lone_number(a), b_num = lone_number(b);
    polynode* p = nullptr;
    if (a_num && b_num) return new_node(0, 1, number_product(a->ncoef, b->ncoef));
    if (a_num || b_num) {
        polynode* n = a_num ? a : b;
        if (number_is_zero(n->ncoef))
            poly_set(0, &p);
        else
            scalar_by_poly(n->ncoef, a_num ? b : a, &p);
        return p;
    }

    if (!laurent && rec && !a->numb && !b->numb && a->exp == 0 && b->exp == 0) return padded_product(a, b, rec);

    // Over Z, large coefficients or many terms: images modulo word primes.
    // A relation at this level alone is applied to the whole product after.
    if (!modularmode && !lintmode && !relation_inward(inner(rec)) && term_products == 0)
        if (polynode* m = multimodular_product(a, b)) {
            if (rec && rec->relation) fast_fold_poly(&m, rec);
            return m;
        }

    int flag_a = 1, flag_b = 1;
    int32_t last_a, last_b, lb;
    const int32_t la = exp_poly_length(a, &last_a, &flag_a);
    if (a == b) {
        lb = la;
        last_b = last_a;
        flag_b = flag_a;
    } else {
        lb = exp_poly_length(b, &last_b, &flag_b);
    }
    // Every route below adds the top exponents term by term; the extreme
    // sums are the first terms' and, with negative exponents, the last
    // terms'. The inner levels are checked where their products are formed.
    if (!exponent_fits(int64_t{a->exp} + b->exp) || !exponent_fits(int64_t{last_a} + last_b))
        exponent_overflow();

    // Negative exponents keep a product off the one-variable routes; long
    // operands go there as shifted copies (the transforms' lengths) rather
    // than onto the term lists' Karatsuba.
    if (modularmode && laurent && !(flag_a && flag_b) && (last_a < 0 || last_b < 0) &&
        std::min(std::abs(la), std::abs(lb)) >= LAURENT_SHIFT_TERMS)
        if (polynode* s = laurent_residue_product(a, b, last_a, last_b)) {
            PolyHold q(s);
            if (reduce_after_one_var(rec)) fast_fold_poly(&q.p, rec);
            return q.release();
        }

    if (flag_a && flag_b) {
        PolyHold q;
        simplest_poly_mult(a, b, &q.p, la, lb, last_a, last_b);
        if (reduce_after_one_var(rec)) fast_fold_poly(&q.p, rec);
        return q.release();
    }

    if (modularmode && !laurent && a->exp > DENSE_2_VAR_MIN_DEGREE && b->exp > DENSE_2_VAR_MIN_DEGREE &&
        try_fast_2_var(a, b)) {
        fastest_poly2_mult(a, b, &p);
        return p;
    }

    // Two variables, long: Kronecker's substitution onto the one-variable
    // transforms, where the term lists' Karatsuba grows as length^1.58.
    if (modularmode && !relation_inward(rec))
        if (polynode* k = packed_residue_product(a, b)) return k;

    // A sparse operand carries a negative count and always lands here; a
    // split needs two terms on each side whatever the cut-off says.
    const int32_t cut = rec ? rec->cutoff : poly_cutoff;
    if (la < cut || lb < cut || la < 2 || lb < 2) {
        if (relation_inward(rec)) {
            if (polynode* f = folded_box_product(a, b, rec)) return f;
            mod_standard(a, b, std::abs(la), std::abs(lb), &p, rec);
        } else {
            simple_standard(a, b, std::abs(la), std::abs(lb), &p);
        }
        return p;
    }
    return list_karatsuba(a, b, la, lb, last_a, last_b, rec);
}

// A coefficient that is not a number and not a lone number node.
bool non_trivial(const polynode* t) { return !t->numb && !lone_number(t->pcoef); }

}  // namespace

void poly_mult(polynode* a, polynode* b, polynode** res, pt* rec) { replace_slot(res, product(a, b, rec)); }

namespace {

bool combination_applies() {
    if (laurent || term_products != 0) return false;
    for (const pt* v = polynames; v; v = v->next)
        if (v->relation) return false;
    return true;
}

}  // namespace

bool poly_mult_difference(polynode* g, polynode* a, polynode* e, polynode* b, polynode** res) {
    if (!combination_applies()) return false;
    polynode* d = multimodular_combination(g, a, e, b);
    if (!d) return false;
    *res = d;
    return true;
}

void poly_mult_difference_quotients(DifferenceQuotient* jobs, int32_t count) {
    if (!combination_applies()) {
        for (int32_t t = 0; t < count; t++) jobs[t].quotient = nullptr;
        return;
    }
    multimodular_combination_quotients(jobs, count);
}

int bysquaring(polynode* p) {
    if (!polynames || !polynames->next || pseudo_polynames) return 1;
    for (const polynode* level = p; level;) {
        bool any = false;
        for (const polynode* t = level; t && !any; t = t->next) any = non_trivial(t);
        if (!any) return 1;
        if (level->next) return 0;
        level = level->pcoef;
    }
    return 1;
}
