// Sums and differences of quolys in their three calling shapes. Each shape
// runs the same ladder of fast paths, cheapest first: two plain numbers
// (one machine word, or one digit chain), a plain number and a rational,
// two rationals; polynomial operands come last.
#include <cstdint>

#include "numbers/base10.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
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
        // Integer-only evaluation keeps every value in its leading digit word.
        const int32_t x = a->head->digit, y = b->head->digit;
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
    quoly* result;
    if (ka == PLAIN && kb == RATIONAL) {
        result = number_and_rational(a, b, add, false);
    } else if (ka == RATIONAL && kb == PLAIN) {
        result = number_and_rational(b, a, add, true);
    } else if (ka == RATIONAL && kb == RATIONAL) {
        QuolyHold t(blank_quoly());
        add_rats(a, b, &t.q, add ? 1 : 0);
        result = t.release();
    } else {
        quoly_poly_unavailable();
        return;
    }
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
    } else if (ka == PLAIN && kb == RATIONAL) {
        quoly* t = number_and_rational(x, b, add, false);
        free_quoly(a);
        *a = t;
    } else if (ka == RATIONAL && kb == PLAIN) {
        quoly* t = number_and_rational(b, x, add, true);
        free_quoly(a);
        *a = t;
    } else {
        quoly_poly_unavailable();
        return;
    }
    free_quoly(&b);
}

void better_add_or_sub(quoly* a, quoly* b, quoly** r, bool add) {
    const Kind ka = kind_of(a), kb = kind_of(b);
    if (ka == POLYNOMIAL || kb == POLYNOMIAL) {
        quoly_poly_unavailable();
        return;
    }
    if (*r == a) *r = nullptr;
    else free_quoly(r);

    if (ka == PLAIN && kb == PLAIN) {
        number_sum(a->nnum, b->nnum, a->nnum, add);
    } else if (ka == RATIONAL && kb == RATIONAL) {
        add_rats(a, b, &a, add ? 1 : 0);
    } else {
        quoly* t = ka == PLAIN ? number_and_rational(a, b, add, false) : number_and_rational(b, a, add, true);
        free_quoly(&a);
        a = t;
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
