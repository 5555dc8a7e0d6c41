// The normal form every quoly operation ends with, the cancellation of a
// quoly assembled by other code, reciprocals, and the helpers the quoly
// sources share.
#include <cstdint>
#include <utility>

#include "gcd/nonfield_gcd.h"
#include "gcd/polygcd.h"
#include "gcd/split_copies.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/laurent.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/field_convert.h"
#include "quoly/monic.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace quoly_detail;

namespace {

inline int sign_of(const imag* x) { return x->head->digit > 0 ? 1 : (x->head->digit < 0 ? -1 : 0); }

// A lone-number numerator without denominator becomes the plain number.
void to_plain(quoly** slot) {
    polynum_to_quoly(slot);
    (*slot)->rat = 0;
    (*slot)->den = nullptr;
}

bool is_one(const imag* x) { return lintmode ? x->value == 1 : x->count == 1 && x->head->digit == 1; }

}  // namespace

// ---------------------------------------------------------------- shared helpers

namespace quoly_detail {

Kind kind_of(const quoly* q) {
    if (q->isnum) return PLAIN;
    return q->rat && !lintmode ? RATIONAL : POLYNOMIAL;
}

const char* current_token() { return token.name; }

quoly* blank_quoly() {
    quoly* q;
    newquoly(&q);
    q->link = nullptr;
    q->isnum = 0;
    q->rat = 0;
    q->pnum = nullptr;
    q->den = nullptr;
    return q;
}

quoly* plain_quoly(imag* x) {
    quoly* q = blank_quoly();
    q->isnum = 1;
    q->nnum = x;
    return q;
}

NumberScratch::~NumberScratch() {
    for (int i = 0; i < count_; i++)
        if (held_[i]) free_imag(&held_[i]);
}

imag* NumberScratch::fresh() {
    imag* x = new_number();
    if (count_ < CAPACITY) held_[count_++] = x;
    else tarvex_error("quoly number scratch exhausted.", 1);   // x is then the caller's to lose
    return x;
}

imag* NumberScratch::keep(imag* x) {
    for (int i = 0; i < count_; i++)
        if (held_[i] == x) held_[i] = nullptr;
    return x;
}

polynode* copy_poly(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

polynode* times(polynode* a, polynode* b) {
    polynode* c = nullptr;
    poly_mult(a, b, &c, polynames);
    return c;
}

namespace {

// gcd(u, v) when one of them is a lone number: the gcd of that number with
// the other's integer content; a unit in machine integers.
polynode* number_gcd(polynode* u, polynode* v) {
    imag* g = new_number();
    if (lintmode) {
        setvalue(1, g);
        return new_number_node(g);
    }
    polynode* n = lone_number(u) ? u : v;
    polynode* other = n == u ? v : u;
    abs_val_num(n->ncoef, g);
    if (iszero(g)) {
        find_gcdcoefs(other, g);
    } else if (!is_one(g)) {
        find_gcd(other, g);
    }
    return new_number_node(g);
}

}  // namespace

polynode* gcd_of(polynode** u, polynode** v, int strip_v) {
    if (lone_number(*u) || lone_number(*v)) return number_gcd(*u, *v);
    polynode* g = nullptr;
    AnyCommonFactor fraction;
    Lpolygcd(u, v, &g, strip_v, polynames);
    alg_c_count = 0;
    original_depth = 1;
    return g;
}

polynode* direct_gcd(polynode* u, polynode* v) {
    if (lone_number(u) || lone_number(v)) return number_gcd(u, v);
    alg_c_count = 0;
    original_depth = 1;
    polynode* g = nullptr;
    AnyCommonFactor fraction;
    polygcd(u, v, &g, 0, 1, 1, polynames, 1, 1, 1);
    alg_c_count = 0;
    original_depth = 1;
    return g;
}

void settle(quoly** slot) {
    quoly* q = *slot;
    if (q->isnum || !lone_number(q->pnum)) return;
    if (iszero(q->pnum->ncoef)) {
        quoly_set(0, slot);
        return;
    }
    if (!q->den) to_plain(slot);
}

void transplant(quoly* dst, quoly* src) {
    if (dst->isnum) {
        if (dst->nnum) free_imag(&dst->nnum);
    } else {
        free_poly(&dst->pnum);
        free_poly(&dst->den);
    }
    dst->isnum = src->isnum;
    dst->rat = src->rat;
    dst->num = src->num;
    dst->den = src->den;
    src->isnum = 0;
    src->pnum = nullptr;
    src->den = nullptr;
    free_quoly(&src);
}

}  // namespace quoly_detail

// ---------------------------------------------------------------- normal form

namespace {

// With Laurent exponents: the least power of each variable in the
// denominator is divided out of both parts, so the denominator keeps no
// monomial factor (the numerator may get negative exponents).
void divide_out_monomial(quoly* q) {
    polynode* first = nullptr;
    polynode* last = nullptr;
    clear_bads(&q->den, &first, &last, SHIFT_LEAST, SHIFT_ALL_LEVELS);
    if (!first) return;
    eliminate_bads(&q->pnum, first, -1);
    release_shift_list(&first, &last);
    // Dividing by the monomial may raise the numerator's degrees above the
    // relations of the modded-out variables outside the field.
    if (modout_above_field) above_field_modout(&q->pnum);
}

}  // namespace

void rat_monic_poly(polynode** den, polynode** factor, pt* varrec) {
    *factor = nullptr;
    pt* w = nullptr;
    polynode* c = field_leading_coef(*den, varrec, &w);
    if (!c->numb) {
        // A field element: multiply by the numerator of its inverse.
        quoly* inverse = nullptr;
        poly_mod_invert(c, &inverse, w);
        QuolyHold inv(inverse);
        polynode* f = inv.q->isnum ? nullptr : inv.q->pnum;
        if (inv.q->isnum) quoly_to_poly(inv.q, &f);
        else inv.q->pnum = nullptr;
        if (w && varrec && w->level > varrec->level) add_pad(&f, w->level - varrec->level);
        *factor = f;
        polynode* d = nullptr;
        poly_mult(*den, f, &d, varrec);
        free_poly(den);
        *den = d;
        return;
    }
    if (lintmode) return;
    NumberScratch s;
    imag* g = s.fresh();
    find_gcdcoefs(*den, g);
    if (!is_one(g)) num_poly_quot(*den, g, 0);
}

void normal_form(quoly* q, int flag) {
    if (field_depth > 0 && !q->den->numb) {
        if (poly_depth(q->den) >= field_depth) {
            quoly_mod_convert(q);   // the denominator is a field element
            return;
        }
        if (invertible_coef(q->den, polynames)) {
            PolyHold factor;
            rat_monic_poly(&q->den, &factor.p, polynames);
            if (factor.p) {
                polynode* n = nullptr;
                poly_mult(q->pnum, factor.p, &n, polynames);
                free_poly(&q->pnum);
                q->pnum = n;
            }
            sanitize(q);
        }
    }
    if (neg_leading_term(q->den)) {
        poly_inplace(q->pnum);
        poly_inplace(q->den);
    }
    if (flag && !lone_number(q->den)) divide_out_monomial(q);
    if (lone_number(q->den) && poly_eq_1(q->den)) free_poly(&q->den);

    if (lone_number(q->pnum)) {
        if (!q->den) {
            quoly* r = q;
            to_plain(&r);
        } else {
            q->rat = q->den->numb ? 1 : 0;
        }
    }
}

void lint_normal_form(quoly* q, int flag) {
    if (field_depth > 0 && !q->den->numb && poly_depth(q->den) >= field_depth) {
        quoly_mod_convert(q);
        return;
    }
    // Raises 284 without a modulus, 22 / 85 for a leading number without inverse.
    PolyHold factor;
    bool zero_divisor_lead = false;
    try {
        ZeroDivisorEscape escape;
        monic_poly(&q->den, &factor.p, polynames);
    } catch (const ZeroDivisorMet&) {
        zero_divisor_lead = true;
    }
    if (zero_divisor_lead) {
        // A denominator whose leading coefficient is a zero divisor of
        // split field levels need not be one itself: the fraction is
        // cancelled and made monic in each copy. Elsewhere the division
        // by that coefficient is the error it was.
        PolyHold qn, qd;
        if (split_copies_fraction(q->pnum, q->den, &qn.p, &qd.p)) {
            std::swap(q->pnum, qn.p);
            std::swap(q->den, qd.p);
            poly_set(1, &factor.p);
        } else {
            monic_poly(&q->den, &factor.p, polynames);
        }
    }
    if (factor.p->numb && !factor.p->next) {
        num_poly_quot(q->pnum, factor.p->ncoef, 0);
    } else {
        polynode* n = nullptr;
        poly_mult(q->pnum, factor.p, &n, polynames);
        free_poly(&q->pnum);
        q->pnum = n;
    }
    if (flag && !lone_number(q->den)) divide_out_monomial(q);
    if (lone_number(q->den)) {
        // A monic number denominator is 1 (or, after the monomial went, a
        // number to divide into the numerator).
        if (!poly_eq_1(q->den)) num_poly_quot(q->pnum, q->den->ncoef, 0);
        free_poly(&q->den);
    }
    quoly* r = q;
    settle(&r);
}

// ---------------------------------------------------------------- reciprocals

void quoly_reciprocal(quoly** slot) {
    if (lintmode) {
        lint_quoly_recip(slot);
        return;
    }
    quoly* q = *slot;
    switch (kind_of(q)) {
    case PLAIN: {
        imag* n = q->nnum;
        if (iszero(n)) {
            error(22, current_token());
            quoly_set(1, slot);
            return;
        }
        int m1 = 0;
        if (equal_to_pm1(n, &m1)) return;
        // n's record moves into the denominator; the sign goes to the numerator.
        const bool negative = sign_of(n) < 0;
        polynode* one = nullptr;
        poly_set(negative ? -1 : 1, &one);
        if (negative) in_place_neg(n);
        q->isnum = 0;
        q->pnum = one;
        q->den = new_number_node(n);
        q->rat = 1;
        return;
    }
    case RATIONAL: {
        imag* d = q->den->ncoef;
        int m1 = 0;
        if (equal_to_pm1(q->pnum->ncoef, &m1)) {
            // +-1/d: the integer +-d, held in d's own record.
            if (m1) in_place_neg(d);
            q->den->ncoef = nullptr;
            free_poly(&q->den);
            free_poly(&q->pnum);
            q->isnum = 1;
            q->rat = 0;
            q->nnum = d;
            return;
        }
        std::swap(q->pnum, q->den);
        if (sign_of(q->den->ncoef) < 0) {
            in_place_neg(q->pnum->ncoef);
            in_place_neg(q->den->ncoef);
        }
        return;
    }
    case POLYNOMIAL:
        // Never zero (normal form), so no test is needed.
        if (q->den) {
            std::swap(q->pnum, q->den);
        } else {
            q->den = q->pnum;
            q->pnum = nullptr;
            poly_set(1, &q->pnum);
        }
        q->rat = 0;
        normal_form(q, laurent);
        return;
    }
}

void lint_quoly_recip(quoly** slot) {
    quoly* q = *slot;
    if (!q->isnum) {
        if (q->den) {
            std::swap(q->pnum, q->den);
            if (lone_number(q->den)) {
                num_poly_quot(q->pnum, q->den->ncoef, 0);
                free_poly(&q->den);
                settle(slot);
                return;
            }
        } else {
            q->den = q->pnum;
            q->pnum = nullptr;
            poly_set(1, &q->pnum);
        }
        lint_normal_form(q, laurent);
        if (composite_fraction(*slot)) as_read_back(slot);
        return;
    }
    int32_t inverse = 0;
    if (modularmode) {
        // 0 and the non-units have no inverse: error 85 with "/" (the
        // characteristic-2 table would answer 0 for 0).
        emod_inverse(q->nnum->value, &inverse);
    } else if (q->nnum->value == 0) {
        error(22, quotsign);
        inverse = 1;
    } else {
        NumberScratch s;
        imag* c = s.fresh();
        quot(number_1, q->nnum, c);   // truncating: 0 unless the word is +-1
        inverse = c->value;
    }
    quoly_set_lint(inverse, slot);
}

void quoly_set_lint(int32_t value, quoly** q) {
    free_quoly(q);
    imag* x = new_number();
    x->value = value;
    *q = plain_quoly(x);
}
