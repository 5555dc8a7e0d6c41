// Products and quotients of quolys, three-address and in place. The same
// ladder as the sums: two plain numbers, a plain number and a rational, two
// rationals (cross-cancelled by the rational kernels), a number and a
// polynomial, and last fractions. P/Q times R/S cancels gcd(P, S) and
// gcd(R, Q) crosswise: both operands being reduced, the product of the
// cofactors is reduced too, and no gcd of the full products is needed.
// A quotient by a fraction is a product by it with its parts exchanged for
// the call.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "det/unit_det.h"
#include "gcd/exactdiv.h"
#include "gcd/field_levels.h"
#include "gcd/split_copies.h"
#include "gcd/split_field_gcd.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/measures.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/modout_suspend.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"

using namespace quoly_detail;

namespace {

// Set while a quotient is taken as typed after the copies declined it.
bool copies_declined = false;

bool zero_divisor_relations();

// Where typed_in_copies may find copies at all.
bool copies_may_serve() { return !laurent && field_depth > 0 && !modout_above_field; }

// Whether p (at `level`) has a term in a field level.
bool reaches_field_levels(const polynode* p, int32_t level) {
    for (; p; p = p->next) {
        if (p->exp != 0 && level >= field_depth) return true;
        if (!p->numb && reaches_field_levels(p->pcoef, level + 1)) return true;
    }
    return false;
}

bool part_reaches_field_levels(const quoly* q, bool den) {
    if (!q || q->isnum) return false;
    return reaches_field_levels(den ? q->den : q->pnum, 1);
}

inline int32_t wrap32(int64_t x) { return static_cast<int32_t>(static_cast<uint32_t>(x)); }
inline int32_t wrap_mult(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// c := a * b in the current ground ring; c may be a or b.
void number_product(imag* a, imag* b, imag* c) {
    if (modularmode) {
        c->value = modmult(a->value, b->value);
    } else if (lintmode) {
        c->value = wrap_mult(a->value, b->value);   // no overflow test
    } else if (!integerflag) {
        fast_mult(a, b, c);
    } else {
        // Integer-only evaluation keeps every value in its leading digit word;
        // a product beyond one digit is refused as the integer evaluator
        // refuses it, never wrapped into a wrong word.
        const int32_t x = a->head->digit, y = b->head->digit;
        const int64_t r = int64_t{x} * y;
        if (r > DIGIT_MASK || r < -DIGIT_MASK) error(32, current_token());
        if (c->count == 0) setvalue(0, c);
        c->head->digit = wrap_mult(x, y);
    }
}

// c := a / b for machine words (modular mode: a times the inverse of b);
// c may be a or b. b = 0 is error 22, after which c is 1.
void word_quotient(imag* a, imag* b, imag* c) {
    const int32_t x = a->value, y = b->value;
    if (y == 0) {
        error(22, quotsign);
        c->value = 1;
        return;
    }
    if (modularmode) {
        // The checked inverse: a non-unit of a composite modulus is error 85.
        int32_t inverse = 0;
        emod_inverse(y, &inverse);
        c->value = modmult(x, inverse);
    } else {
        c->value = wrap32(int64_t{x} / y);   // truncating; INT32_MIN / -1 wraps
    }
}

inline int sign_of(const imag* x) { return x->head->digit > 0 ? 1 : (x->head->digit < 0 ? -1 : 0); }

// a / b for digit numbers as a new quoly: the plain number when b divides
// a, else the reduced rational with the sign on the numerator.
quoly* digit_quotient(imag* a, imag* b) {
    quoly* q = nullptr;
    if (iszero(b)) {
        error(22, quotsign);
        quoly_set(1, &q);
        return q;
    }
    if (iszero(a)) {
        quoly_set(0, &q);
        return q;
    }
    if (integerflag) {
        // Integer-only evaluation: truncating division of the leading digit words.
        const int32_t x = a->head->digit, y = b->head->digit;
        quoly_set(0, &q);
        q->nnum->head->digit = wrap32(int64_t{x} / y);
        return q;
    }
    NumberScratch s;
    imag* g = s.fresh();
    imag* x = s.fresh();
    imag* y = s.fresh();
    int coprime = 0;
    extgcd(a, b, g, x, y, &coprime);
    if (coprime) {
        num_assign(a, x);
        num_assign(b, y);
    }
    int m1 = 0;
    if (equal_to_pm1(y, &m1)) {
        if (m1) in_place_neg(x);
        return plain_quoly(s.keep(x));
    }
    if (sign_of(y) < 0) {
        in_place_neg(x);
        in_place_neg(y);
    }
    QuolyHold t(blank_quoly());
    finish_quoly(t.q, s.keep(x), s.keep(y), nullptr, nullptr);
    return t.release();
}

// A rational divisor's numerator and denominator exchanged for the call, so
// that a product by it is the quotient; its denominator may be negative
// meanwhile, which mult_numb_rat allows. Put back on every exit.
class Exchanged {
public:
    explicit Exchanged(quoly* r) : r_(r) { std::swap(r_->pnum, r_->den); }
    ~Exchanged() { std::swap(r_->pnum, r_->den); }
    Exchanged(const Exchanged&) = delete;
    Exchanged& operator=(const Exchanged&) = delete;

private:
    quoly* r_;
};

// How a ladder step left its result.
enum Outcome {
    BUILT,         // built from the operands: finish() normalises it
    NORMAL,        // already normal (0, 1, or a copy of a normal operand)
};

// A new lone number node copying k.
polynode* constant(imag* k) {
    imag* c = new_number();
    num_assign(k, c);
    return new_number_node(c);
}

// u with every number divided by the number node g (code: the caller, for
// the diagnostic of a divisor that is not a number).
polynode* coef_quot(polynode* u, polynode* g, int32_t code) {
    polynode* r = nullptr;
    poly_quot(u, g, &r, code);
    return r;
}

polynode* times_nil(polynode* a, polynode* b) {
    polynode* c = nullptr;
    poly_mult(a, b, &c, nilpol);
    return c;
}

// A number gcd that is worth dividing by: not 1, and outside machine
// integers (where every non-zero number is a unit or the division truncates).
bool divides_out(polynode* g) { return !lintmode && !poly_eq_1(g); }

// In machine-integer mode a number denominator is divided into the numerator.
void fold_number_denominator(quoly* q) {
    if (lintmode && q->den && lone_number(q->den)) {
        num_poly_quot(q->pnum, q->den->ncoef, 0);
        free_poly(&q->den);
    }
}

// The number-denominator rules after the parts were multiplied.
void do_mults_rules(quoly* q) {
    if (lone_number(q->den)) {
        if (iszero(q->den->ncoef)) {
            // No value has a zero denominator: nothing to go on with.
            error(210, current_token());
            abandon_statement();
        }
        if (poly_iszero(q->pnum)) {
            free_poly(&q->den);
            return;
        }
        if (lintmode) {
            fold_number_denominator(q);
            return;
        }
        if (pseudo_polynames) sanitize(q);
        int m1 = 0;
        if (equal_to_pm1(q->den->ncoef, &m1)) {
            if (m1) poly_inplace(q->pnum);
            free_poly(&q->den);
        } else if (sign_of(q->den->ncoef) < 0) {
            poly_inplace(q->pnum);
            poly_inplace(q->den);
        }
        return;
    }
    if (poly_iszero(q->pnum)) free_poly(&q->den);
    else if (!lintmode && pseudo_polynames) sanitize(q);
}

// *dst (blank) := P/Q * R/S, both fractions in normal form; strip: the
// Laurent flag of the first gcd. gcd(P, S) and gcd(R, Q) are cancelled
// crosswise, so the product needs no further gcd.
void gen_quoly_mult(polynode* P, polynode* Q, polynode* R, polynode* S, quoly** dst, int strip) {
    quoly* q = *dst;
    if (poly_equal(P, S)) {
        if (poly_equal(R, Q)) {
            poly_set(1, &q->pnum);
            return;
        }
        q->pnum = copy_poly(R);
        q->den = copy_poly(Q);
        check_quoly(dst, 0);
        return;
    }
    if (poly_equal(R, Q)) {
        q->pnum = copy_poly(P);
        q->den = copy_poly(S);
        check_quoly(dst, laurent);
        return;
    }
    if (poly_equal(Q, S)) {
        q->pnum = times(P, R);
        q->den = times(Q, S);
        do_mults_rules(q);
        return;
    }
    // P1 = P / g1 and S1 = S / g1 (null: the operand itself), likewise R1, Q1.
    PolyHold P1, S1, R1, Q1;
    {
        PolyHold g1(gcd_of(&P, &S, strip));
        if (!g1.p->numb) {
            reduce(&P, &S, &g1.p, &P1.p, &S1.p, laurent, laurent, 1, 1);
        } else if (divides_out(g1.p)) {
            P1.p = coef_quot(P, g1.p, -121);
            S1.p = coef_quot(S, g1.p, -131);
        }
    }
    {
        PolyHold g2(gcd_of(&R, &Q, 0));
        if (!g2.p->numb) {
            reduce(&R, &Q, &g2.p, &R1.p, &Q1.p, laurent, 0, 1, 1);
        } else if (divides_out(g2.p)) {
            R1.p = coef_quot(R, g2.p, -137);
            Q1.p = coef_quot(Q, g2.p, -139);
        }
    }
    q->pnum = times(P1.p ? P1.p : P, R1.p ? R1.p : R);
    q->den = times(Q1.p ? Q1.p : Q, S1.p ? S1.p : S);
    do_mults_rules(q);
}

// Over field levels, and over the rationals modulo relations that make
// none, the product is reduced by the relations and may gain an integer
// content that the denominator shares (3/3 from (2 - t)(t + 2)/3 with
// t^2 = 1). Residues have no content to share.
bool content_may_change() {
    return !lintmode && (field_depth > 0 || (modout_above_field && !modularmode));
}

// *dst (blank) := P/Q * R with R a polynomial (no denominator).
void fraction_times_poly(polynode* P, polynode* Q, polynode* R, quoly** dst) {
    quoly* q = *dst;
    if (poly_equal(R, Q)) {
        q->pnum = copy_poly(P);
        return;
    }
    PolyHold g(gcd_of(&R, &Q, 0));
    if (!g.p->numb) {
        PolyHold R1;
        reduce(&R, &Q, &g.p, &R1.p, &q->den, laurent, 0, 1, 1);
        q->pnum = times(R1.p, P);
        fold_number_denominator(q);
    } else if (divides_out(g.p)) {
        PolyHold R1(coef_quot(R, g.p, -151));
        q->pnum = times(R1.p, P);
        q->den = coef_quot(Q, g.p, -157);
    } else {
        q->pnum = times(R, P);
        q->den = copy_poly(Q);
    }
    if (content_may_change()) sanitize(q);
}

// *dst (blank) := k * b for a plain number k and a polynomial or fraction b.
Outcome number_times(imag* k, quoly* b, quoly** dst) {
    if (iszero(k)) {
        quoly_set(0, dst);
        return NORMAL;
    }
    quoly* q = *dst;
    q->pnum = constant(k);
    if (b->den) {
        q->den = copy_poly(b->den);
        sanitize(q);   // the integer content shared by k and the denominator
    }
    polynode* n = times_nil(q->pnum, b->pnum);
    free_poly(&q->pnum);
    q->pnum = n;
    return BUILT;
}

// *dst (a blank record) := a * b for everything but two plain numbers.
Outcome product_of_kinds(quoly* a, Kind ka, quoly* b, Kind kb, quoly** dst) {
    if (as_typed(a, b)) {
        typed_quotient({{a, false, b, false}}, {a, true, b, true}, dst, [a, b](quoly** slot) {
            quotient_as_typed(times_parts(a, false, b, false), times_parts(a, true, b, true), slot);
        });
        return NORMAL;
    }
    if (ka == PLAIN && kb == RATIONAL) {
        mult_numb_rat(a, b, dst);
    } else if (ka == RATIONAL && kb == PLAIN) {
        mult_numb_rat(b, a, dst);
    } else if (ka == RATIONAL && kb == RATIONAL) {
        mult_rats(a, b, dst);
    } else if (ka == PLAIN) {
        return number_times(a->nnum, b, dst);
    } else if (kb == PLAIN) {
        return number_times(b->nnum, a, dst);
    } else if (!a->den && !b->den) {
        (*dst)->pnum = times(a->pnum, b->pnum);
    } else if (!b->den) {
        fraction_times_poly(a->pnum, a->den, b->pnum, dst);
    } else if (!a->den) {
        fraction_times_poly(b->pnum, b->den, a->pnum, dst);
    } else {
        gen_quoly_mult(a->pnum, a->den, b->pnum, b->den, dst, 0);
    }
    return BUILT;
}

// The gcd of two numerators for a quotient, or null when the division flag
// (two "/" tokens) says not to look for one.
polynode* numerator_gcd(polynode** P, polynode** R, int flag) { return flag ? nullptr : gcd_of(P, R, 1); }

// *dst (blank) := P / R for two polynomials, or P / (R/S) when S is non-null.
void poly_over(polynode* P, polynode* R, polynode* S, int flag, quoly** dst) {
    quoly* q = *dst;
    PolyHold g(numerator_gcd(&P, &R, flag));
    PolyHold P1;
    if (g.p && !g.p->numb) {
        reduce(&P, &R, &g.p, &P1.p, &q->den, laurent, laurent, 1, 1);
    } else if (g.p && divides_out(g.p)) {
        P1.p = coef_quot(P, g.p, -97);
        q->den = coef_quot(R, g.p, -101);
    } else {
        q->den = copy_poly(R);
    }
    polynode* n = P1.p ? P1.p : P;
    if (S) {
        q->pnum = times(n, S);
    } else {
        q->pnum = P1.p ? P1.release() : copy_poly(P);
    }
    if (content_may_change()) sanitize(q);
}

// *dst (blank) := (P/Q) / R for a polynomial R.
void fraction_over_poly(polynode* P, polynode* Q, polynode* R, int flag, quoly** dst) {
    quoly* q = *dst;
    PolyHold g(numerator_gcd(&P, &R, flag));
    if (g.p && !g.p->numb) {
        PolyHold T;
        reduce(&P, &R, &g.p, &q->pnum, &T.p, laurent, laurent, 1, 1);
        q->den = times(Q, T.p);
    } else if (g.p && divides_out(g.p)) {
        q->pnum = coef_quot(P, g.p, -103);
        PolyHold R1(coef_quot(R, g.p, -107));
        q->den = times(Q, R1.p);
    } else {
        q->pnum = copy_poly(P);
        q->den = times(Q, R);
    }
    // Q and R are non-zero, but over zero divisors (a composite modulus, a
    // relation that makes no domain) their product can vanish.
    if (poly_iszero(q->den)) {
        error(210, current_token());
        abandon_statement();
    }
    if (content_may_change()) sanitize(q);
}

// A disagreement of the copies' gcds in the usual road is an error here
// (an escape is waiting for it, or a GCD is asked), where the copies'
// own road may not meet it.
bool disagreement_is_error() { return zero_divisor_escape > 0 || (split_gcd_asked && split_gcd_asked == modulus); }

// Whether the quotient of two polynomials by the denominator r may take
// the usual road before the copies (see quotient_of_kinds): r leads with
// a number, a unit in every copy, and a disagreement is no error.
bool usual_road_first(const polynode* r) {
    if (disagreement_is_error()) return false;
    int32_t level = 1;
    for (; !r->numb && level + 1 < field_depth; level++) r = r->pcoef;
    return r->numb || !reaches_field_levels(r->pcoef, level + 1);
}

// *dst (a blank record) := a / b for everything but two plain numbers.
Outcome quotient_of_kinds(quoly* a, Kind ka, quoly* b, Kind kb, quoly** dst, int flag) {
    if (a == b) {
        // Not a plain number, hence not 0.
        quoly_set(1, dst);
        return NORMAL;
    }
    if (!flag && as_typed(a, b) && !(kb == PLAIN && (lintmode ? b->nnum->value == 0 : iszero(b->nnum)))) {
        typed_quotient({{a, false, b, true}}, {a, true, b, false}, dst, [a, b](quoly** slot) {
            quotient_as_typed(times_parts(a, false, b, true), times_parts(a, true, b, false), slot);
        });
        return NORMAL;
    }
    quoly* q = *dst;
    if (kb == PLAIN) {
        imag* k = b->nnum;
        if (lintmode ? k->value == 0 : iszero(k)) {
            error(22, quotsign);
            quoly_set(1, dst);
            return NORMAL;
        }
        if (ka == RATIONAL) {
            quot_rat_numb(a, b, dst);
            return BUILT;
        }
        if (lintmode ? k->value == 1 : equal(k, number_1)) {
            quoly_assign(a, dst);
            return NORMAL;
        }
        if (lintmode) {
            PolyHold c(constant(k));
            q->pnum = coef_quot(a->pnum, c.p, -161);
            q->den = copy_poly(a->den);
            return BUILT;
        }
        q->pnum = copy_poly(a->pnum);
        q->den = constant(k);
        sanitize(q);   // the integer content shared by the numerator and k
        if (a->den) {
            polynode* d = times_nil(q->den, a->den);
            free_poly(&q->den);
            q->den = d;
        }
        return BUILT;
    }
    if (ka == PLAIN) {
        imag* k = a->nnum;
        if (kb == RATIONAL) {
            Exchanged inverted(b);
            mult_numb_rat(a, b, dst);
            return BUILT;
        }
        if (lintmode ? k->value == 0 : iszero(k)) {
            quoly_set(0, dst);
            return NORMAL;
        }
        q->pnum = constant(k);
        q->den = copy_poly(b->pnum);
        if (!lintmode) sanitize(q);
        if (b->den) {
            polynode* n = lintmode ? times(q->pnum, b->den) : times_nil(q->pnum, b->den);
            free_poly(&q->pnum);
            q->pnum = n;
        }
        fold_number_denominator(q);
        return BUILT;
    }
    if (ka == RATIONAL && kb == RATIONAL) {
        quot_rats(a, b, dst);
        return BUILT;
    }
    // Two polynomials over split field levels take the form their sums
    // and products take: cancelled in each copy. A divisor of the field
    // levels alone is inverted there instead.
    if (!flag && !copies_declined && ka == POLYNOMIAL && kb == POLYNOMIAL && !a->den && !b->den &&
        poly_depth(b->pnum) < field_depth && copies_may_serve() &&
        (part_reaches_field_levels(a, false) || part_reaches_field_levels(b, false)) && zero_divisor_relations()) {
        const std::vector<PartPair> num{{a, false, nullptr, false}};
        const PartPair den{b, false, nullptr, false};
        if (!usual_road_first(b->pnum)) {
            if (typed_in_copies(num, den, dst)) return NORMAL;
        } else {
            // The usual road cancels the gcd the copies agree on and makes
            // the denominator monic as each copy does: its form is theirs
            // where it took the gcd in the copies and they agreed. Where
            // they disagreed it cancels only what they share: then the
            // copies' road, the usual form kept for where it declines.
            const int32_t agreed = split_copies_agreed, disagreed = split_copies_disagreed;
            poly_over(a->pnum, b->pnum, nullptr, flag, dst);
            fold_number_denominator(*dst);
            if (split_copies_agreed != agreed && split_copies_disagreed == disagreed) return BUILT;
            QuolyHold usual(blank_quoly());
            std::swap(usual.q, *dst);
            if (typed_in_copies(num, den, dst)) return NORMAL;
            std::swap(usual.q, *dst);
            return BUILT;
        }
    }
    if (!a->den) {
        poly_over(a->pnum, b->pnum, b->den, flag, dst);
    } else if (!b->den) {
        fraction_over_poly(a->pnum, a->den, b->pnum, flag, dst);
    } else if (lintmode && laurent) {
        // 1/b normalised on its own first, so that its monomial factors go.
        QuolyHold t(nullptr);
        quoly_assign(b, &t.q);
        lint_quoly_recip(&t.q);
        quoly_mult(a, t.q, dst);
        return BUILT;
    } else {
        Exchanged inverted(b);
        gen_quoly_mult(a->pnum, a->den, b->pnum, b->den, dst, laurent);
    }
    fold_number_denominator(*dst);
    return BUILT;
}

// The last step of a product (divide false) or a quotient: a lone-number
// numerator makes 0 or a plain number, and a record with a denominator is
// brought to normal form.
void finish(quoly** slot, bool divide) {
    quoly* q = *slot;
    if (q->isnum) return;
    if (divide && q->den && lone_number(q->den) && !lintmode) {
        int m1 = 0;
        if (equal_to_pm1(q->den->ncoef, &m1)) {
            if (m1) poly_inplace(q->pnum);
            free_poly(&q->den);
        }
    }
    settle(slot);
    q = *slot;
    if (q->isnum || !q->den) return;
    const int flag = divide ? laurent : 0;
    if (!lintmode) {
        q->rat = lone_number(q->pnum) && lone_number(q->den);
        normal_form(q, flag);
    } else if (composite_fraction(q)) {
        as_read_back(slot);
    } else if (divide || pseudo_polynames) {
        lint_normal_form(q, flag);
    }
}

}  // namespace

bool quoly_detail::composite_fraction(const quoly* q) {
    return modularmode && lintmode && !mod_is_prime && !finf && !q->isnum && q->den && !lone_number(q->den);
}

namespace {

bool polynomial_denominator(const quoly* q) { return !q->isnum && q->den && !lone_number(q->den); }

// A relation without the field flag, or a field's relation modulo a prime
// that splits it (or that is not proved not to). Field levels that stay a
// field have no zero divisors: their fractions cancel crosswise. A matrix
// routine that suspends the relations above the field eliminates plain
// polynomials, a domain, and reduces only its result.
bool zero_divisor_relations() {
    return (modout_above_field && !using_new_polynames) ||
           (field_depth > 0 && modularmode && !field_levels_make_field());
}

// A copy of q's numerator, or of its denominator (1 for none).
polynode* part_of(const quoly* q, bool den) {
    polynode* p = nullptr;
    if (q->isnum ? den : den && !q->den) poly_set(1, &p);
    else if (q->isnum) p = constant(q->nnum);
    else poly_assign(den ? q->den : q->pnum, &p);
    return p;
}

// A part for a product, which only reads it: the stored polynomial itself,
// built only for a number or the 1 of no denominator. Copying the parts
// cost a comparison of fractions a tenth of its products.
struct ReadPart {
    PolyHold own;
    polynode* p;
    ReadPart(const quoly* q, bool den) : p(q->isnum || (den && !q->den) ? nullptr : den ? q->den : q->pnum) {
        if (!p) p = own.p = part_of(q, den);
    }
};

}  // namespace

polynode* quoly_detail::times_parts(const quoly* a, bool den_a, const quoly* b, bool den_b) {
    ReadPart x(a, den_a), y(b, den_b);
    return times(x.p, y.p);
}

namespace {

// A denominator that some non-zero element of the relations' ring kills
// has no quotient to stand for: (u·w)/w need not give u back once u·w is
// reduced. Such a fraction stays formal, and its products and sums cancel
// crosswise as formal fractions do.
bool regular_denominator(const quoly* q) {
    if (q->isnum || !q->den || lone_number(q->den)) return true;
    return !modout_above_field || relation_regular(q->den);
}

}  // namespace

bool quoly_detail::as_typed(const quoly* a, const quoly* b) {
    if (modularmode && !mod_is_prime && !finf) return false;
    if (!polynomial_denominator(a) && !polynomial_denominator(b)) return false;
    if (!zero_divisor_relations()) return false;
    return regular_denominator(a) && regular_denominator(b);
}

namespace {

// Parts free of the field levels are the same in every copy: cancelled
// there as over Z/p, the form the usual road gives them at a fraction of
// the cost.
bool copies_differ(const std::vector<PartPair>& num, const PartPair& den) {
    auto reaches = [](const PartPair& pp) {
        return part_reaches_field_levels(pp.a, pp.den_a) || part_reaches_field_levels(pp.b, pp.den_b);
    };
    return reaches(den) || std::any_of(num.begin(), num.end(), reaches);
}

// Parts with fewer monomials than this in all (fresh fractions: 6 to 40)
// cost the copies more to find, fill and read back than the whole usual
// road; larger ones (an elimination's cells) meet copies whose gcds
// disagree often enough (one quotient in five to ten) that the usual road
// taken before them costs more than the copies alone, whose forms are the
// same where both agree.
constexpr int32_t SMALL_PARTS = 64;

bool small_parts(const std::vector<PartPair>& num, const PartPair& den) {
    int32_t total = 0;
    auto add = [&total](const quoly* q, bool part_den) {
        if (!q || q->isnum || (part_den && !q->den)) total += 1;
        else total += fast_numterms(part_den ? q->den : q->pnum);
        return total < SMALL_PARTS;
    };
    auto pair = [&add](const PartPair& pp) { return add(pp.a, pp.den_a) && add(pp.b, pp.den_b); };
    return pair(den) && std::all_of(num.begin(), num.end(), pair);
}

}  // namespace

bool quoly_detail::typed_in_copies(const std::vector<PartPair>& num, const PartPair& den, quoly** dst) {
    if (!copies_may_serve() || !copies_differ(num, den)) return false;
    std::deque<PolyHold> held;
    auto product = [&held](const PartPair& pp) {
        CopiesProduct c;
        for (int s = 0; s < 2; s++) {
            const quoly* q = s ? pp.b : pp.a;
            polynode* p = nullptr;
            if (q) p = part_of(q, s ? pp.den_b : pp.den_a);
            else poly_set(1, &p);
            held.emplace_back(p);
            c.factor[s] = p;
        }
        c.minus = pp.minus;
        return c;
    };
    std::vector<CopiesProduct> n;
    for (const PartPair& pp : num) n.push_back(product(pp));
    const CopiesProduct d = product(den);
    PolyHold qn, qd;
    if (!split_copies_cross_fraction(n, d, &qn.p, &qd.p)) return false;
    // A number over a number, or 0: the usual road has its own forms there.
    if (!qn.p || lone_number(qd.p)) return false;
    QuolyHold t(blank_quoly());
    t.q->pnum = qn.release();
    t.q->den = qd.release();
    finish(&t.q, true);
    free_quoly(dst);
    *dst = t.release();
    return true;
}

void quoly_detail::typed_quotient(const std::vector<PartPair>& num, const PartPair& den, quoly** dst,
                                  const std::function<void(quoly**)>& usual) {
    if (!copies_may_serve() || !copies_differ(num, den) || disagreement_is_error() || split_copies_over_roots() ||
        !small_parts(num, den)) {
        if (!typed_in_copies(num, den, dst)) usual(dst);
        return;
    }
    const int32_t agreed = split_copies_agreed, disagreed = split_copies_disagreed;
    const int32_t shared_only = split_copies_shared_only;
    QuolyHold first(blank_quoly());
    usual(&first.q);
    // One gcd, taken in the copies: where they agreed, or where some copy's
    // gcd is only what they share, the usual form is the copies' form.
    // Elsewhere (no gcd in the copies, a shortcut took it; or each copy
    // holds more than the shared part the usual road cancelled) the copies
    // decide, the usual form kept for where they decline.
    const int32_t a = split_copies_agreed - agreed, d = split_copies_disagreed - disagreed;
    const bool usual_form = (a == 1 && d == 0) || (a == 0 && d == 1 && split_copies_shared_only - shared_only == 1);
    if (!usual_form && typed_in_copies(num, den, dst)) return;
    free_quoly(dst);
    *dst = first.release();
}

void quoly_detail::quotient_as_typed(polynode* num, polynode* den, quoly** dst) {
    // Every caller has found that the copies do not serve.
    struct Declined {
        bool saved = copies_declined;
        Declined() { copies_declined = true; }
        ~Declined() { copies_declined = saved; }
    } declined;
    QuolyHold n(blank_quoly()), d(blank_quoly());
    n.q->pnum = num;
    d.q->pnum = den;
    settle(&n.q);
    settle(&d.q);
    // Two denominators that are not 0 can multiply to 0 over zero divisors.
    if (d.q->isnum && (lintmode ? d.q->nnum->value == 0 : iszero(d.q->nnum))) {
        error(210, current_token());
        abandon_statement();
    }
    quoly_quot(n.q, d.q, dst, 0);
}

void quoly_detail::as_read_back(quoly** slot) {
    QuolyHold parts(nullptr);
    std::swap(parts.q, *slot);
    QuolyHold t(blank_quoly());
    poly_over(parts.q->pnum, parts.q->den, nullptr, 0, &t.q);
    settle(&t.q);
    if (!t.q->isnum && t.q->den) lint_normal_form(t.q, laurent);
    *slot = t.release();
}

void quoly_mult(quoly* a, quoly* b, quoly** r) {
    const Kind ka = kind_of(a), kb = kind_of(b);
    if (ka == PLAIN && kb == PLAIN) {
        if (*r && (*r)->isnum) {
            number_product(a->nnum, b->nnum, (*r)->nnum);
            return;
        }
        QuolyHold t(plain_quoly(new_number()));
        number_product(a->nnum, b->nnum, t.q->nnum);
        free_quoly(r);
        *r = t.release();
        return;
    }
    QuolyHold t(blank_quoly());
    if (product_of_kinds(a, ka, b, kb, &t.q) == BUILT) finish(&t.q, false);
    free_quoly(r);
    *r = t.release();
}

void fast_quoly_mult(quoly** a, quoly** b) {
    quoly* x = *a;
    quoly* y = *b;
    const Kind ka = kind_of(x), kb = kind_of(y);
    if (ka == PLAIN && kb == PLAIN) {
        number_product(x->nnum, y->nnum, x->nnum);
        return;
    }
    QuolyHold t(blank_quoly());
    if (product_of_kinds(x, ka, y, kb, &t.q) == BUILT) finish(&t.q, false);
    transplant(x, t.release());
}

void quoly_quot(quoly* a, quoly* b, quoly** r, int flag) {
    const Kind ka = kind_of(a), kb = kind_of(b);
    if (ka == PLAIN && kb == PLAIN) {
        if (lintmode) {
            if (*r && (*r)->isnum) {
                word_quotient(a->nnum, b->nnum, (*r)->nnum);
                return;
            }
            QuolyHold t(plain_quoly(new_number()));
            word_quotient(a->nnum, b->nnum, t.q->nnum);
            free_quoly(r);
            *r = t.release();
            return;
        }
        quoly* t = digit_quotient(a->nnum, b->nnum);
        free_quoly(r);
        *r = t;
        return;
    }
    QuolyHold t(blank_quoly());
    if (quotient_of_kinds(a, ka, b, kb, &t.q, flag) == BUILT) finish(&t.q, true);
    free_quoly(r);
    *r = t.release();
}

void fast_quoly_quot(quoly** a, quoly** b, int flag) {
    quoly* x = *a;
    quoly* y = *b;
    const Kind ka = kind_of(x), kb = kind_of(y);
    if (ka == PLAIN && kb == PLAIN) {
        if (lintmode) word_quotient(x->nnum, y->nnum, x->nnum);
        else transplant(x, digit_quotient(x->nnum, y->nnum));
        return;
    }
    // A polynomial divided by 1 stays as it is.
    if (ka == POLYNOMIAL && kb == PLAIN && (lintmode ? y->nnum->value == 1 : equal(y->nnum, number_1))) return;
    QuolyHold t(blank_quoly());
    if (quotient_of_kinds(x, ka, y, kb, &t.q, flag) == BUILT) finish(&t.q, true);
    transplant(x, t.release());
}

void quoly_nils_mult(quoly* a, quoly* b, quoly** r) {
    if (!a || !b) {
        free_quoly(r);
        return;
    }
    quoly_mult(a, b, r);
    if (*r && (*r)->isnum && iszero((*r)->nnum)) free_quoly(r);
}
