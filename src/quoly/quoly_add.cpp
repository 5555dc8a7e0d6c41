// Sums and differences of quolys in their three calling shapes. Each shape
// runs the same ladder of fast paths, cheapest first: two plain numbers
// (one machine word, or one digit chain), a plain number and a rational,
// two rationals; polynomial operands come last. p + n/d needs no gcd at
// all; a/b + c/d takes g = gcd(b, d) (skipped when b = d) and then only
// gcd(new numerator, g) (skipped when g = 1). With polynomial operands the
// in-place shapes build the value and move it into the first operand's
// record.
#include <cstdint>

#include "numbers/base10.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "gcd/exactdiv.h"
#include "gcd/nonfield_gcd.h"
#include "poly/coefops.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "toplevel/errors.h"
#include "quoly/field_reduce.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/records.h"

using namespace quoly_detail;

namespace {

inline int32_t wrap_add(int32_t a, int32_t b, bool add) {
    const uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
    return static_cast<int32_t>(add ? ua + ub : ua - ub);
}

// c := a + b (add) or a - b in the current ground ring; c may be a or b.
// A record owning no digits gets them here.
void number_sum(imag* a, imag* b, imag* c, bool add) {
    if (modularmode) {
        c->value = add ? mod_add(a->value, b->value, modulus) : mod_sub(a->value, b->value, modulus);
    } else if (lintmode) {
        c->value = wrap_add(a->value, b->value, add);   // no overflow test
    } else if (!integerflag) {
        if (add) summ(a, b, c, DIGIT_BASE);
        else sub(a, b, c);
    } else {
        // Integer-only evaluation keeps every value in its leading digit word;
        // a result beyond one digit is refused as the integer evaluator
        // refuses it, never wrapped into a wrong word.
        const int32_t x = a->head->digit, y = b->head->digit;
        const int64_t r = add ? int64_t{x} + y : int64_t{x} - y;
        if (r > DIGIT_MASK || r < -DIGIT_MASK) error(32, current_token());
        if (c->count == 0) setvalue(0, c);
        c->head->digit = wrap_add(x, y, add);
    }
}

// The result of k + r (add) or k - r (from_rational false), or of r + k and
// r - k (from_rational true), for a plain number k and a rational r, in a
// new record.
quoly* number_and_rational(quoly* k, quoly* r, bool add, bool from_rational) {
    QuolyHold t(blank_quoly());
    add_numb_rat(k, r, &t.q, add ? 1 : 0);
    if (from_rational && !add) quoly_inplace(t.q);   // k - r = -(r - k)
    return t.release();
}

// u with every number divided by the number node g.
polynode* coef_quot(polynode* u, polynode* g) {
    polynode* r = nullptr;
    poly_quot(u, g, &r, 0);
    return r;
}

// q becomes the plain number x (x taken over); its parts are freed.
void make_plain(quoly* q, imag* x) {
    if (q->isnum) {
        if (q->nnum) free_imag(&q->nnum);
    } else {
        free_poly(&q->pnum);
        free_poly(&q->den);
    }
    q->isnum = 1;
    q->rat = 0;
    q->nnum = x;
    q->den = nullptr;
}

// A lone number node copying the plain number k.
polynode* constant(imag* k) {
    imag* c = new_number();
    num_assign(k, c);
    return new_number_node(c);
}

// The rational flag of a result whose numerator or denominator changed:
// a lone number over a number, outside machine-integer mode.
void rational_rule(quoly* q) {
    q->rat = q->den && q->den->numb && lone_number(q->pnum) && !lintmode ? 1 : 0;
}

// q (blank) := p + n/d (flag 0) or p - n/d (flag 1). gcd(p d + n, d) =
// gcd(n, d) = 1, so no cancellation is needed.
void no_denom(polynode* p, polynode* n, polynode* d, quoly* q, int flag) {
    PolyHold t(times(p, d));
    if (flag) poly_sub(t.p, n, &q->pnum);
    else poly_add(t.p, n, &q->pnum);
    q->den = copy_poly(d);
    rational_rule(q);
}

// q (blank) := n/d - p.
void no_denom_minus_2(polynode* p, polynode* n, polynode* d, quoly* q) {
    PolyHold t(times(p, d));
    poly_sub(n, t.p, &q->pnum);
    q->den = copy_poly(d);
    rational_rule(q);
}

// The last rule of a sum of fractions: what a number denominator means.
void finish_denominator(quoly** slot) {
    quoly* q = *slot;
    if (!lone_number(q->den)) {
        q->rat = 0;
        return;
    }
    if (iszero(q->den->ncoef)) {
        // No value has a zero denominator: nothing to go on with.
        error(210, current_token());
        abandon_statement();
    }
    if (poly_eq_1(q->den)) {
        free_poly(&q->den);
        q->rat = 0;
        settle(slot);
        return;
    }
    if (lintmode) {
        num_poly_quot(q->pnum, q->den->ncoef, 0);
        free_poly(&q->den);
        settle(slot);
        return;
    }
    q->rat = lone_number(q->pnum) ? 1 : 0;
}

// *dst (blank) := P/Q + R/S (add) or P/Q - R/S, two reduced fractions.
// g = gcd(Q, S) is taken first (skipped when Q = S); then only
// g2 = gcd(new numerator, g) can remain, and the denominator is
// Q S / (g g2).
void gen_quoly_add(polynode* P, polynode* Q, polynode* R, polynode* S, quoly** dst, bool add) {
    // Over a field, or modulo a relation that makes none, the cofactors
    // come with a multiplier M: Q/g = Q1/M and S/g = S1/M.
    const bool over_field = field_depth > 0 && !lintmode;
    PolyHold M;
    bool ring_multiplier = false;
    quoly* q = *dst;
    const bool equal_dens = poly_equal(Q, S);
    bool coprime = false;
    PolyHold g, Q1, S1;   // g = gcd(Q, S); Q1 = Q/g, S1 = S/g (null: Q, S themselves)
    if (equal_dens) {
        if (add) poly_add(P, R, &q->pnum);
        else poly_sub(P, R, &q->pnum);
    } else {
        g.p = direct_gcd(Q, S);
        if (!g.p->numb && modout_above_field && nonfield_cancel(Q, S, g.p, &Q1.p, &S1.p, &M.p)) {
            // reduce would give cofactors right only up to a number, which
            // the sum cannot leave out. M need not divide their product
            // here: the numerator takes it instead.
            ring_multiplier = true;
        } else if (!g.p->numb && over_field) {
            field_reduce(&Q, &S, &g.p, &Q1.p, &S1.p, &M.p, 0, 0);
        } else if (!g.p->numb) {
            reduce(&Q, &S, &g.p, &Q1.p, &S1.p, 0, 0, 1, 1);
        } else if (poly_eq_1(g.p) || lintmode) {
            coprime = true;   // in machine integers every number gcd is a unit
        } else {
            Q1.p = coef_quot(Q, g.p);
            S1.p = coef_quot(S, g.p);
        }
        PolyHold t(times(R, Q1.p ? Q1.p : Q));
        q->pnum = times(P, S1.p ? S1.p : S);
        if (add) best_poly_add(q->pnum, t.release(), &q->pnum);
        else best_poly_sub(q->pnum, t.release(), &q->pnum);
    }
    if (poly_iszero(q->pnum)) {
        quoly_set(0, dst);
        return;
    }
    if (coprime) {
        q->den = times(Q, S);
    } else {
        // The part of the denominators' gcd that the numerator still shares.
        polynode* h = equal_dens ? Q : g.p;
        PolyHold g2(gcd_of(&q->pnum, &h, 0));
        PolyHold h1;   // h / g2
        if (!g2.p->numb) {
            reduce(&q->pnum, &h, &g2.p, &q->pnum, &h1.p, laurent, 0, 0, 1);
        } else if (!poly_eq_1(g2.p) && !lintmode) {
            num_poly_quot(q->pnum, g2.p->ncoef, 0);
            h1.p = coef_quot(h, g2.p);
        }
        polynode* hq = h1.p ? h1.p : h;
        if (equal_dens) {
            q->den = copy_poly(hq);
        } else {
            PolyHold d(times(Q1.p ? Q1.p : Q, hq));
            q->den = times(d.p, S1.p ? S1.p : S);
            if (M.p && !poly_eq_1(M.p)) {
                if (ring_multiplier) num_poly_mult(q->pnum, M.p->ncoef);
                else num_poly_quot(q->den, M.p->ncoef, 0);
            }
        }
    }
    finish_denominator(dst);
    q = *dst;
    if (q->isnum || !q->den) return;
    // The gcds fix the value, not the unit: the denominator's sign (or, modulo
    // a prime, its leading coefficient) is put right here.
    if (over_field || ring_multiplier) sanitize(q);
    if (!lintmode) normal_form(q, 0);
    else if (modularmode && !lone_number(q->den) && !poly_eq_1(leading_coef(q->den))) lint_normal_form(q, 0);
}

// *dst (blank) := a + b (add) or a - b when a polynomial or fraction is
// involved (two rationals and a plain number with a rational are done by
// the callers).
void sum_of_kinds(quoly* a, Kind ka, quoly* b, Kind kb, quoly** dst, bool add) {
    if (as_typed(a, b) && ka == POLYNOMIAL && kb == POLYNOMIAL && a->den && b->den && poly_equal(a->den, b->den)) {
        // One denominator: the numerators' sum over it, as typed. Its
        // square would leave a gcd to prove that may be out of reach (a
        // leading coefficient that is a zero divisor, a free variable
        // inside the relations), and 1/b + 1/b would not come back as 2/b.
        typed_quotient({{a, false, nullptr, false}, {b, false, nullptr, false, !add}}, {a, true, nullptr, false}, dst,
                       [a, b, add](quoly** slot) {
                           polynode* num = nullptr;
                           if (add) poly_add(a->pnum, b->pnum, &num);
                           else poly_sub(a->pnum, b->pnum, &num);
                           polynode* den = nullptr;
                           poly_assign(a->den, &den);
                           quotient_as_typed(num, den, slot);
                       });
        return;
    }
    if (as_typed(a, b)) {
        typed_quotient({{a, false, b, true}, {b, false, a, true, !add}}, {a, true, b, true}, dst,
                       [a, b, add](quoly** slot) {
                           PolyHold x(times_parts(a, false, b, true)), y(times_parts(b, false, a, true));
                           polynode* num = nullptr;
                           if (add) poly_add(x.p, y.p, &num);
                           else poly_sub(x.p, y.p, &num);
                           quotient_as_typed(num, times_parts(a, true, b, true), slot);
                       });
        return;
    }
    PolyHold ta, tb;   // constant polynomials made for plain numbers
    polynode* P = ka == PLAIN ? (ta.p = constant(a->nnum)) : a->pnum;
    polynode* Q = ka == PLAIN ? nullptr : a->den;
    polynode* R = kb == PLAIN ? (tb.p = constant(b->nnum)) : b->pnum;
    polynode* S = kb == PLAIN ? nullptr : b->den;
    quoly* q = *dst;
    if (!Q && !S) {
        if (add) poly_add(P, R, &q->pnum);
        else poly_sub(P, R, &q->pnum);
    } else if (!Q) {
        no_denom(P, R, S, q, add ? 0 : 1);
    } else if (!S) {
        if (add) no_denom(R, P, Q, q, 0);
        else no_denom_minus_2(R, P, Q, q);
    } else if (ka == RATIONAL && kb == RATIONAL) {
        add_rats(a, b, dst, add ? 1 : 0);
        return;
    } else {
        gen_quoly_add(P, Q, R, S, dst, add);
    }
    settle(dst);
    if (composite_fraction(*dst)) as_read_back(dst);
}

// The sum or difference of anything but two plain numbers, in a new record.
quoly* sum_record(quoly* a, Kind ka, quoly* b, Kind kb, bool add) {
    if (ka == PLAIN && kb == RATIONAL) return number_and_rational(a, b, add, false);
    if (ka == RATIONAL && kb == PLAIN) return number_and_rational(b, a, add, true);
    QuolyHold t(blank_quoly());
    sum_of_kinds(a, ka, b, kb, &t.q, add);
    return t.release();
}

void add_or_sub(quoly* a, quoly* b, quoly** r, bool add) {
    const Kind ka = kind_of(a), kb = kind_of(b);
    if (ka == PLAIN && kb == PLAIN) {
        if (*r && (*r)->isnum) {
            number_sum(a->nnum, b->nnum, (*r)->nnum, add);
            return;
        }
        QuolyHold t(plain_quoly(new_number()));
        number_sum(a->nnum, b->nnum, t.q->nnum, add);
        free_quoly(r);
        *r = t.release();
        return;
    }
    quoly* result = sum_record(a, ka, b, kb, add);
    free_quoly(r);
    *r = result;
}

void best_add_or_sub(quoly** a, quoly* b, bool add) {
    quoly* x = *a;
    const Kind ka = kind_of(x), kb = kind_of(b);
    if (ka == PLAIN && kb == PLAIN) {
        number_sum(x->nnum, b->nnum, x->nnum, add);
    } else if (ka == RATIONAL && kb == RATIONAL) {
        add_rats(x, b, a, add ? 1 : 0);
    } else {
        // a's record is kept: it takes over the new value.
        transplant(x, sum_record(x, ka, b, kb, add));
    }
    free_quoly(&b);
}

void better_add_or_sub(quoly* a, quoly* b, quoly** r, bool add) {
    const Kind ka = kind_of(a), kb = kind_of(b);
    if (*r == a) *r = nullptr;
    else free_quoly(r);

    if (ka == PLAIN && kb == PLAIN) {
        number_sum(a->nnum, b->nnum, a->nnum, add);
    } else if (ka == RATIONAL && kb == RATIONAL) {
        add_rats(a, b, &a, add ? 1 : 0);
    } else {
        transplant(a, sum_record(a, ka, b, kb, add));
    }
    *r = a;
}

bool is_one(const imag* x) { return x->count == 1 && x->head->digit == 1; }

}  // namespace

void quoly_add(quoly* a, quoly* b, quoly** r) { add_or_sub(a, b, r, true); }

void quoly_sub(quoly* a, quoly* b, quoly** r) {
    if (a == b) {
        quoly_set(0, r);
        return;
    }
    add_or_sub(a, b, r, false);
}

void best_quoly_add(quoly** a, quoly* b) { best_add_or_sub(a, b, true); }

void best_quoly_sub(quoly** a, quoly* b) { best_add_or_sub(a, b, false); }

void better_quoly_add(quoly* a, quoly* b, quoly** r) { better_add_or_sub(a, b, r, true); }

void better_quoly_sub(quoly* a, quoly* b, quoly** r) { better_add_or_sub(a, b, r, false); }

// P/Q + R/S (flag 1) or P/Q - R/S (flag 0) with g = gcd(Q, S):
// (P S/g +- R Q/g) / (Q S/g), then only the gcd of that numerator with g can
// remain, because P/Q and R/S are reduced.
void add_rats(quoly* a, quoly* b, quoly** r, int flag) {
    imag* P = a->pnum->ncoef;
    imag* Q = a->den->ncoef;
    imag* R = b->pnum->ncoef;
    imag* S = b->den->ncoef;
    NumberScratch s;

    imag* g = s.fresh();
    imag* Q1 = s.fresh();
    imag* S1 = s.fresh();
    int coprime = 0;
    extgcd(Q, S, g, Q1, S1, &coprime);
    if (coprime) {
        Q1 = Q;
        S1 = S;
    }

    imag* t = s.fresh();
    imag* u = s.fresh();
    fast_mult(P, S1, t);
    fast_mult(R, Q1, u);
    if (flag) fastsum(t, u);
    else fastdiff(t, u);

    imag* den = s.fresh();
    if (coprime) {
        fast_mult(Q, S1, den);
        finish_quoly(*r, s.keep(t), s.keep(den), nullptr, nullptr);
        return;
    }
    if (iszero(t)) {
        make_plain(*r, s.keep(t));
        return;
    }
    imag* g2 = s.fresh();
    int coprime2 = 0;
    extgcd(t, g, g2, t, g, &coprime2);   // the cofactors overwrite t and g
    if (coprime2) {
        fast_mult(Q, S1, den);
    } else {
        fast_mult(g, Q1, den);
        fast_mult(den, S1, den);
    }
    if (is_one(den)) make_plain(*r, s.keep(t));
    else finish_quoly(*r, s.keep(t), s.keep(den), nullptr, nullptr);
}
