// Inverses of field elements: the extended Euclidean algorithm modulo the
// relation of the element's level, inner field levels inverted recursively.
#include "gcd/capped_steps.h"
#include "gcd/multimodular_inverse.h"
#include "gcd/pseudo_div.h"
#include "gcd/split_copies.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/modout_bare.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using quoly_detail::QuolyHold;

int32_t zero_divisor_escape = 0;
void (*euclid_step_meter)(const polynode* a, const polynode* b) = nullptr;

namespace {

// A term list of degree 0 in its top variable: a number, or a padding node
// over an element of the inner levels.
bool degree_zero(const polynode* p) { return p->exp == 0 && (p->numb || !p->next); }

polynode* product(polynode* a, polynode* b, pt* rec) {
    polynode* c = nullptr;
    poly_mult(a, b, &c, rec);
    return c;
}

// c·a = quo·b + rem: the field-of-fractions division (c an integer), or in
// machine-integer mode the division by the inverted leading coefficient (c = 1).
void divide_step(polynode* a, polynode* b, pt* bare, PolyHold* c, PolyHold* quo, PolyHold* rem) {
    if (lintmode) {
        field_coef_poly_divide(a, b, bare, &quo->p, &rem->p);
        poly_set(1, &c->p);
        return;
    }
    pseudo_field_coef_poly_div(a, b, bare, &quo->p, &rem->p, &c->p);
}

// Over the integers the pseudo-remainders grow without end unless their
// content goes: p divided by its integer content, returned as a lone
// number node (null when it is 1, and always in machine-integer mode).
polynode* take_content(polynode* p) {
    if (lintmode) return nullptr;
    imag* k = new_number();
    find_gcdcoefs(p, k);
    int m1 = 0;
    if (equal_to_pm1(k, &m1) || iszero(k)) {
        free_imag(&k);
        return nullptr;
    }
    num_poly_quot(p, k, 0);
    return new_number_node(k);
}

// mult·a + s·b = r holds for any common factor of the three: the common
// integer content goes.
void drop_common_content(polynode* mult, polynode* s, polynode* r) {
    if (lintmode || poly_iszero(r)) return;
    imag* k = new_number();
    find_gcdcoefs(r, k);
    int m1 = 0;
    if (!equal_to_pm1(k, &m1) && !find_gcd(s, k) && !find_gcd(mult, k) && !equal_to_pm1(k, &m1)) {
        num_poly_quot(mult, k, 0);
        num_poly_quot(s, k, 0);
        num_poly_quot(r, k, 0);
    }
    free_imag(&k);
}

}  // namespace

void reverse_euclid(polynode* a, polynode* b, polynode** mult, polynode** s, polynode** r, pt* rec, pt* bare) {
    PolyHold c, quo, rem;
    divide_step(a, b, bare, &c, &quo, &rem);
    if (euclid_step_meter) euclid_step_meter(quo.p, b);
    if (!rem.p || degree_zero(rem.p)) {
        if (!rem.p) poly_set(0, &rem.p);
        poly_inplace(quo.p);
        free_poly(mult);
        *mult = c.release();
        free_poly(s);
        *s = quo.release();
        free_poly(r);
        *r = rem.release();
        return;
    }
    // From M'·b + s'·(rem/k) = r' and rem = c·a - quo·b:
    // (c·s')·a + (k·M' - quo·s')·b = k·r'.
    PolyHold k(take_content(rem.p));
    PolyHold m1, s1, r1;
    reverse_euclid(b, rem.p, &m1.p, &s1.p, &r1.p, rec, bare);
    if (k.p) {
        m1.reset(product(k.p, m1.p, rec));
        r1.reset(product(k.p, r1.p, rec));
    }
    if (euclid_step_meter) euclid_step_meter(quo.p, s1.p);
    PolyHold m(product(c.p, s1.p, rec));
    PolyHold qs(product(quo.p, s1.p, rec));
    PolyHold sn;
    poly_sub(m1.p, qs.p, &sn.p);
    drop_common_content(m.p, sn.p, r1.p);
    free_poly(mult);
    *mult = m.release();
    free_poly(s);
    *s = sn.release();
    free_poly(r);
    *r = r1.release();
}

namespace {

// The quoly num/den (den a lone number node, or null) with the common
// integer content gone, the sign on the numerator and a denominator 1 dropped.
quoly* finish_inverse(polynode* num, polynode* den) {
    quoly* q = quoly_detail::blank_quoly();
    q->pnum = num;
    q->den = den;
    if (den) {
        sanitize(q);
        if (q->den->ncoef->head->digit < 0) {
            poly_inplace(q->pnum);
            in_place_neg(q->den->ncoef);
        }
        if (poly_eq_1(q->den)) free_poly(&q->den);
    }
    if (quoly_detail::lone_number(q->pnum)) {
        if (q->den) {
            q->rat = 1;
        } else {
            polynum_to_quoly(&q);
            q->rat = 0;
            q->den = nullptr;
        }
    }
    return q;
}

bool digits_at_most(polynode* p, int32_t most) {
    bool within = true;
    each_poly_number(p, [&](imag* x) { within = within && x->count <= most; });
    return within;
}

}  // namespace

void zero_divisor_met() {
    if (zero_divisor_escape > 0) throw ZeroDivisorMet{};
    error(22, quotsign);
    abandon_statement();
}

namespace {

// The inverse of p, an element of rec's level, needs the levels from rec
// inwards to make a field. A relation whose field below was taken away
// (t^2 - x after x's relation went) is left over a ring where its
// elements have no inverses: the statement is refused, naming it.
void require_field_below(const polynode* p, pt* rec, const pt* outer) {
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        rec = inner(rec);
    }
    if (p->numb || (rec && rec->relation && rec->field)) return;
    // A caller that tries an inverse to see whether there is one hears
    // of it as of a zero divisor.
    if (zero_divisor_escape > 0) throw ZeroDivisorMet{};
    error(271, outer->name);
    abandon_statement(271);
}

// The inverse of p (an element of rec's level, pad padding levels taken
// off) by the extended Euclid's algorithm.
void euclid_inverse(polynode* p, pt* rec, int32_t pad, quoly** inv);

}  // namespace

void poly_mod_invert(polynode* p, quoly** inv, pt* rec) {
    if (p->numb) tarvex_error("poly invertibility failure. q is a number", 1);
    if (rec) require_field_below(p, rec, rec);
    int32_t pad = 0;
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        rec = inner(rec);
        pad++;
    }
    if (p->numb || !rec || !rec->relation || !rec->field)
        tarvex_error("poly invertibility failure. bad pp2", 1);
    {
        PolyHold split;
        if (split_copies_inverse(p, rec, &split.p)) {
            if (pad > 0 && !quoly_detail::lone_number(split.p)) add_pad(&split.p, pad);
            *inv = finish_inverse(split.release(), nullptr);
            return;
        }
    }
    // Over the rationals the cofactors of Euclid's steps swell with the
    // levels' degrees (5 s for an element of 60-digit numbers under k^2 + 3,
    // t^20 - t - k, where the images of its multiplication matrix take
    // 0.04 s); on other elements the steps end at once. The steps go first,
    // held to about the images' work; a capped run around this one holds
    // them already. The cap counts the steps' digit products as the
    // schoolbook does: past its lengths the steps are cheaper than it
    // counts, and the images' residues of the long numbers dearer (an
    // element of 1000-digit numbers: 3 s by the steps, 7 s by the images).
    if (CappedSteps::running == 0 && digits_at_most(p, multcut)) {
        if (const int64_t cap = multimodular_work(p, rec)) {
            try {
                CappedSteps steps(cap);
                euclid_inverse(p, rec, pad, inv);
                return;
            } catch (const CappedSteps::Reached&) {
            }
            PolyHold N;
            imag* d = nullptr;
            if (multimodular_inverse(p, rec, &N, &d)) {
                if (pad > 0 && !quoly_detail::lone_number(N.p)) add_pad(&N.p, pad);
                *inv = finish_inverse(N.release(), new_number_node(d));
                return;
            }
        }
    }
    euclid_inverse(p, rec, pad, inv);
}

namespace {

void euclid_inverse(polynode* p, pt* rec, int32_t pad, quoly** inv) {
    polynode* m = rec->binomial ? rec->binomial : rec->relation;

    BareRecord bare(rec);
    PolyHold mult, s, r;
    reverse_euclid(m, p, &mult.p, &s.p, &r.p, rec, bare.rec);
    if (r.p->numb && iszero(r.p->ncoef)) {
        // The element shares a factor with the relation: the relation was
        // declared a field but is reducible, and nothing inverts this.
        zero_divisor_met();
    }

    PolyHold num, den;
    if (r.p->numb) {
        if (lintmode) {
            num_poly_quot(s.p, r.p->ncoef, 0);
        } else {
            den.p = r.release();
        }
        num.p = s.release();
    } else {
        // r is an element of the inner levels: s/r = s·(1/r), the inverse
        // brought back to this level by poly_mod_invert itself.
        quoly* inner_inv = nullptr;
        require_field_below(r.p, rec, rec);
        poly_mod_invert(r.p, &inner_inv, rec);
        QuolyHold ih(inner_inv);
        PolyHold f;
        if (ih.q->isnum) {
            poly_set(0, &f.p);
            num_assign(ih.q->nnum, f.p->ncoef);
        } else {
            f.p = ih.q->pnum;
            ih.q->pnum = nullptr;
            if (ih.q->den) {
                if (!ih.q->den->numb) tarvex_error("poly mod invert", 1);
                den.p = ih.q->den;
                ih.q->den = nullptr;
            }
        }
        num.p = product(s.p, f.p, rec);
    }
    if (pad > 0 && !quoly_detail::lone_number(num.p)) add_pad(&num.p, pad);
    polynode* d = den.release();
    *inv = finish_inverse(num.release(), d);
}

}  // namespace
