// Products and quotients of quolys, three-address and in place. The same
// ladder as the sums: two plain numbers, a plain number and a rational, two
// rationals (cross-cancelled by the rational kernels), then polynomials.
// A quotient by a rational is a product by it with its parts exchanged for
// the call.
#include <cstdint>
#include <utility>

#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/errors.h"

using namespace quoly_detail;

namespace {

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
        // Integer-only evaluation keeps every value in its leading digit word.
        const int32_t x = a->head->digit, y = b->head->digit;
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
    UNAVAILABLE,   // a polynomial branch: nothing was built
    BUILT,         // built from the operands: finish() normalises it
    NORMAL,        // already normal (0, 1, or a copy of a normal operand)
};

// *dst (a blank record) := a * b for everything but two plain numbers.
Outcome product_of_kinds(quoly* a, Kind ka, quoly* b, Kind kb, quoly** dst) {
    if (ka == PLAIN && kb == RATIONAL) {
        mult_numb_rat(a, b, dst);
    } else if (ka == RATIONAL && kb == PLAIN) {
        mult_numb_rat(b, a, dst);
    } else if (ka == RATIONAL && kb == RATIONAL) {
        mult_rats(a, b, dst);
    } else if ((ka == PLAIN && iszero(a->nnum)) || (kb == PLAIN && iszero(b->nnum))) {
        quoly_set(0, dst);
        return NORMAL;
    } else {
        quoly_poly_unavailable();
        return UNAVAILABLE;
    }
    return BUILT;
}

// *dst (a blank record) := a / b for everything but two plain numbers.
Outcome quotient_of_kinds(quoly* a, Kind ka, quoly* b, Kind kb, quoly** dst) {
    if (a == b) {
        // Not a plain number, hence not 0.
        quoly_set(1, dst);
        return NORMAL;
    }
    if (kb == PLAIN) {
        imag* k = b->nnum;
        if (iszero(k)) {
            error(22, quotsign);
            quoly_set(1, dst);
            return NORMAL;
        }
        if (ka == RATIONAL) {
            quot_rat_numb(a, b, dst);
            return BUILT;
        }
        if (equal(k, number_1)) {
            quoly_assign(a, dst);
            return NORMAL;
        }
    } else if (ka == PLAIN) {
        if (kb == RATIONAL) {
            Exchanged inverted(b);
            mult_numb_rat(a, b, dst);
            return BUILT;
        }
        if (iszero(a->nnum)) {
            quoly_set(0, dst);
            return NORMAL;
        }
    } else if (ka == RATIONAL && kb == RATIONAL) {
        quot_rats(a, b, dst);
        return BUILT;
    }
    quoly_poly_unavailable();
    return UNAVAILABLE;
}

// The last step of a product (divide false) or a quotient: a lone-number
// numerator makes 0 or a plain number, and a record with a denominator is
// brought to normal form.
void finish(quoly** slot, bool divide) {
    quoly* q = *slot;
    if (q->isnum) return;
    if (lone_number(q->pnum)) {
        if (iszero(q->pnum->ncoef)) {
            quoly_set(0, slot);
            return;
        }
        if (!q->den) {
            polynum_to_quoly(slot);
            q->rat = 0;
            return;
        }
    }
    if (!q->den) return;
    const int flag = divide ? laurent : 0;
    if (!lintmode) {
        q->rat = lone_number(q->pnum) && lone_number(q->den);
        normal_form(q, flag);
    } else if (divide || pseudo_polynames) {
        lint_normal_form(q, flag);
    }
}

// dst's record takes over src's value (dst's old parts freed); src's
// record goes back to the free list. Keeps the in-place routines' first
// operand in its own record.
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

}  // namespace

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
    const Outcome k = product_of_kinds(a, ka, b, kb, &t.q);
    if (k == UNAVAILABLE) return;
    if (k == BUILT) finish(&t.q, false);
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
    const Outcome k = product_of_kinds(x, ka, y, kb, &t.q);
    if (k == UNAVAILABLE) return;
    if (k == BUILT) finish(&t.q, false);
    transplant(x, t.release());
}

void quoly_quot(quoly* a, quoly* b, quoly** r, int flag) {
    (void)flag;   // cancels nothing between numbers: it matters only for polynomial numerators
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
    const Outcome k = quotient_of_kinds(a, ka, b, kb, &t.q);
    if (k == UNAVAILABLE) return;
    if (k == BUILT) finish(&t.q, true);
    free_quoly(r);
    *r = t.release();
}

void fast_quoly_quot(quoly** a, quoly** b, int flag) {
    (void)flag;
    quoly* x = *a;
    quoly* y = *b;
    const Kind ka = kind_of(x), kb = kind_of(y);
    if (ka == PLAIN && kb == PLAIN) {
        if (lintmode) word_quotient(x->nnum, y->nnum, x->nnum);
        else transplant(x, digit_quotient(x->nnum, y->nnum));
        return;
    }
    // A polynomial divided by 1 stays as it is.
    if (ka == POLYNOMIAL && kb == PLAIN && equal(y->nnum, number_1)) return;
    QuolyHold t(blank_quoly());
    const Outcome k = quotient_of_kinds(x, ka, y, kb, &t.q);
    if (k == UNAVAILABLE) return;
    if (k == BUILT) finish(&t.q, true);
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
