// The normal form every quoly operation ends with, the cancellation of a
// quoly assembled by other code, reciprocals, and the helpers the quoly
// sources share.
#include <cstdint>
#include <utility>

#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace quoly_detail;

namespace {

// The error reported for the missing polynomial branch: the numbered error
// for a construct that needs polynomial variables, none of which can be
// used in arithmetic yet.
constexpr int POLY_UNAVAILABLE_ERROR = 213;

inline int sign_of(const imag* x) { return x->head->digit > 0 ? 1 : (x->head->digit < 0 ? -1 : 0); }

// The denominator is a field element, or its leading chain meets a field
// level before a number: the extension-field steps of the normal form.
bool needs_field_step(const quoly* q) {
    return field_depth > 0 && !q->den->numb &&
           (poly_depth(q->den) >= field_depth || invertible_coef(q->den, polynames));
}

// A lone-number numerator without denominator becomes the plain number.
void to_plain(quoly** slot) {
    polynum_to_quoly(slot);
    (*slot)->rat = 0;
    (*slot)->den = nullptr;
}

// n / d with n and d numbers: both divided by their gcd.
void cancel_numbers(imag* n, imag* d) {
    NumberScratch s;
    int one = 0;
    // extgcd writes its cofactors last, so they may be the operands.
    extgcd(n, d, s.fresh(), n, d, &one);
}

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

}  // namespace quoly_detail

void quoly_poly_unavailable() {
    tarvex_error("polynomial arithmetic on quolys is not available yet.", 0);
    error(POLY_UNAVAILABLE_ERROR, current_token());
}

// ---------------------------------------------------------------- normal form

void normal_form(quoly* q, int flag) {
    if (needs_field_step(q)) {
        quoly_poly_unavailable();
        return;
    }
    if (neg_leading_term(q->den)) {
        poly_inplace(q->pnum);
        poly_inplace(q->den);
    }
    if (flag && !lone_number(q->den)) {
        // Dividing out the denominator's monomial factor needs polynomial division.
        quoly_poly_unavailable();
        return;
    }
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
    (void)flag;   // a number denominator leaves no monomial to divide out
    if (field_depth > 0 && !q->den->numb && poly_depth(q->den) >= field_depth) {
        quoly_poly_unavailable();
        return;
    }
    // Making a denominator monic needs inverses, which only a modulus gives.
    if (!modularmode) {
        error(284, current_token());
        return;
    }
    if (!lone_number(q->den) || !lone_number(q->pnum)) {
        quoly_poly_unavailable();
        return;
    }
    imag* n = q->pnum->ncoef;
    quot(n, q->den->ncoef, n);
    free_poly(&q->den);
    quoly* r = q;
    to_plain(&r);
}

void check_quoly(quoly** slot, int flag) {
    quoly* q = *slot;
    if (node_iszero(q->pnum)) {
        quoly_set(0, slot);
        return;
    }
    if (field_depth > 0 && !q->den->numb && poly_depth(q->den) >= field_depth) {
        quoly_poly_unavailable();
        return;
    }
    if (lintmode) {
        lint_check_quoly(slot, flag);
        return;
    }
    if (!lone_number(q->den)) {
        quoly_poly_unavailable();   // the gcd of two polynomials
        return;
    }
    int m1 = 0;
    if (!equal_to_pm1(q->den->ncoef, &m1)) {
        if (!lone_number(q->pnum)) {
            quoly_poly_unavailable();   // the integer content of a polynomial
            return;
        }
        cancel_numbers(q->pnum->ncoef, q->den->ncoef);
    }
    normal_form(q, flag);
}

void lint_check_quoly(quoly** slot, int flag) {
    (void)flag;
    quoly* q = *slot;
    if (!lone_number(q->den) || !lone_number(q->pnum)) {
        quoly_poly_unavailable();
        return;
    }
    imag* n = q->pnum->ncoef;
    quot(n, q->den->ncoef, n);   // times the inverse in modular mode
    free_poly(&q->den);
    to_plain(slot);
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
        quoly_poly_unavailable();
        return;
    }
}

void lint_quoly_recip(quoly** slot) {
    quoly* q = *slot;
    if (!q->isnum) {
        quoly_poly_unavailable();
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
