// Rational numbers (products, quotients, number-and-rational sums), integer
// powers, the factorial by a product tree over the tabled factorials, and
// the integer quotient and remainder in every ground ring.
//
// Rational results are computed into fresh number records first and only
// then written into the destination quoly, which is what lets the
// destination be an operand.
#include "numbers/rational.h"

#include "interp/token.h"

#include <cstdint>
#include <utility>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

int pos_mod = 1;
const char* factsign = "!";

namespace {

constexpr int BAR = '|';

// Above this a modular factorial's operands no longer multiply within 31
// bits; the limit holds whatever the modulus (46,341^2 > 2^31).
constexpr int32_t MAX_MODULAR_FACT = 46341;
// 13! is the last factorial the machine-integer mode computes (it already
// wraps in 32 bits, as every machine-integer product does).
constexpr int32_t MAX_LINT_FACT = 13;
// Ranges shorter than this are multiplied out one factor at a time.
constexpr int32_t PRODUCT_LEAF = 5;

inline uint32_t u32(int32_t x) { return static_cast<uint32_t>(x); }
inline int32_t s32(uint32_t x) { return static_cast<int32_t>(x); }
inline int32_t wrap32(int64_t x) { return static_cast<int32_t>(static_cast<uint32_t>(x)); }

// ---------------------------------------------------------------- digit helpers

inline int sign_of(const imag* x) { return x->head->digit > 0 ? 1 : (x->head->digit < 0 ? -1 : 0); }
inline bool is_one(const imag* x) { return x->count == 1 && x->head->digit == 1; }

imag* copy_of(imag* x) {
    imag* c = new_number();
    num_assign(x, c);
    return c;
}

imag* product_of(imag* a, imag* b) {
    imag* c = new_number();
    fast_mult(a, b, c);
    return c;
}

// dst := src's value (digits moved, dst's old chain given back); src's record is freed.
void take_words(imag* dst, imag* src) {
    free_num(dst);
    dst->head = src->head;
    dst->tail = src->tail;
    dst->count = src->count;
    dst->value = src->value;
    src->count = 0;
    free_imag(&src);
}

// x / g and y / g for g = gcd(x, y) (extgcd); x and y themselves when g = 1.
class Cancelled {
public:
    Cancelled(imag* x, imag* y) : x_(x), y_(y) {
        imag* g = new_number();
        imag* qx = new_number();
        imag* qy = new_number();
        int one = 0;
        extgcd(x, y, g, qx, qy, &one);
        free_imag(&g);
        if (one) {
            // The cofactor records may share the operands' chains: drop them bare.
            qx->count = qy->count = 0;
            free_imag(&qx);
            free_imag(&qy);
        } else {
            x_ = qx_ = qx;
            y_ = qy_ = qy;
        }
    }
    ~Cancelled() {
        if (qx_) free_imag(&qx_);
        if (qy_) free_imag(&qy_);
    }
    Cancelled(const Cancelled&) = delete;
    Cancelled& operator=(const Cancelled&) = delete;

    imag* x() const { return x_; }
    imag* y() const { return y_; }

private:
    imag* x_;
    imag* y_;
    imag* qx_ = nullptr;
    imag* qy_ = nullptr;
};

// ---------------------------------------------------------------- quoly results

imag* numerator_of(quoly* q) { return q->pnum->ncoef; }
imag* denominator_of(quoly* q) { return q->den->ncoef; }

// Frees the number, or numerator and denominator, that q holds.
void drop_parts(quoly* q) {
    if (q->isnum) {
        if (q->nnum) free_imag(&q->nnum);
    } else {
        free_poly(&q->pnum);
        free_poly(&q->den);
    }
    q->nnum = nullptr;
    q->den = nullptr;
}

// q := the number quoly x (x consumed).
void set_integer(quoly* q, imag* x) {
    drop_parts(q);
    q->isnum = 1;
    q->rat = 0;
    q->nnum = x;
    q->den = nullptr;
}

// The slot's lone number node takes x's value (node and record reused);
// anything else the slot holds is freed for a new node. x is consumed.
void place_number(polynode** slot, imag* x) {
    polynode* p = *slot;
    if (p && p->numb && !p->next && p->ncoef) {
        p->exp = 0;
        take_words(p->ncoef, x);
        return;
    }
    free_poly(slot);
    newpoly(slot);
    p = *slot;
    p->next = nullptr;
    p->exp = 0;
    p->numb = 1;
    p->ncoef = x;
}

// q := num / den with the sign moved onto the numerator; a denominator of 1
// gives the number quoly num. Both records consumed.
void set_quotient(quoly* q, imag* num, imag* den) {
    if (sign_of(den) < 0) {
        in_place_neg(num);
        in_place_neg(den);
    }
    if (is_one(den)) {
        free_imag(&den);
        set_integer(q, num);
        return;
    }
    finish_quoly(q, num, den, nullptr, nullptr);
}

// A rational's numerator and denominator exchanged for a division by it;
// a negative new denominator is negated too. Undone on every exit.
class Inverted {
public:
    explicit Inverted(quoly* r) : r_(r) {
        std::swap(r_->pnum, r_->den);
        negated_ = sign_of(denominator_of(r_)) < 0;
        if (negated_) in_place_neg(denominator_of(r_));
    }
    ~Inverted() {
        if (negated_) in_place_neg(denominator_of(r_));
        std::swap(r_->pnum, r_->den);
    }
    Inverted(const Inverted&) = delete;
    Inverted& operator=(const Inverted&) = delete;

    bool negated() const { return negated_; }

private:
    quoly* r_;
    bool negated_;
};

// ---------------------------------------------------------------- range products

// lo * (lo + 1) * ... * hi as a residue (modular mode) or a wrapping machine word.
uint32_t word_range_product(int32_t lo, int32_t hi) {
    if (hi - lo < PRODUCT_LEAF) {
        if (!modularmode) {
            uint32_t r = u32(lo);
            for (int32_t k = lo + 1; k <= hi; k++) r *= u32(k);
            return r;
        }
        const uint32_t p = u32(modulus);
        uint32_t r = p ? u32(lo) % p : u32(lo);
        for (int32_t k = lo + 1; k <= hi && r != 0; k++) r = u32(modmult(s32(r), s32(p ? u32(k) % p : u32(k))));
        return r;
    }
    const int32_t mid = static_cast<int32_t>((int64_t{lo} + hi) / 2);
    const uint32_t low = word_range_product(lo, mid);
    if (modularmode && low == 0) return 0;
    const uint32_t high = word_range_product(mid + 1, hi);
    return modularmode ? u32(modmult(s32(high), s32(low))) : high * low;
}

// n := lo * (lo + 1) * ... * hi in digits; every factor is below 2^28.
void digit_range_product(int32_t lo, int32_t hi, imag* n) {
    if (hi - lo < PRODUCT_LEAF) {
        setvalue(lo, n);
        for (int32_t k = lo + 1; k <= hi; k++) simp_mult(n, n, k, nullptr);
        return;
    }
    const int32_t mid = static_cast<int32_t>((int64_t{lo} + hi) / 2);
    imag* low = new_number();
    digit_range_product(lo, mid, low);
    digit_range_product(mid + 1, hi, n);
    fast_mult(n, low, n);
    free_imag(&low);
}

// n := lo * (lo + 1) * ... * hi by a product tree, in the current ground
// ring (a dispatcher between residues, machine words and digits); lo <= hi.
void multout(int32_t lo, int32_t hi, imag* n) {
    if (lintmode)
        n->value = s32(word_range_product(lo, hi));
    else
        digit_range_product(lo, hi, n);
}

// The largest i with factnum[i] <= v, 0 below factnum[1].
int fact_index(int32_t v) {
    int i = FACTS_COUNT - 1;
    while (i > 0 && factnum[i] > v) i--;
    return i;
}

// ---------------------------------------------------------------- quotient and remainder

// Machine-word quotient (truncated) and remainder (sign of a) in 64 bits,
// so that INT32_MIN / -1 wraps instead of trapping. With pos a negative
// remainder is raised by |b|; fix_q then keeps a = b q + r.
void word_div(int32_t a, int32_t b, bool pos, bool fix_q, int32_t* q, int32_t* r) {
    int64_t qq = int64_t{a} / b;
    int64_t rr = int64_t{a} - qq * b;
    if (pos && rr < 0) {
        rr += b < 0 ? -int64_t{b} : int64_t{b};
        if (fix_q) qq += b < 0 ? 1 : -1;
    }
    *q = wrap32(qq);
    *r = wrap32(rr);
}

// The digit-mode counterpart of word_div, into fresh records *q and *r.
void digit_div(imag* a, imag* b, bool pos, bool fix_q, imag** q, imag** r) {
    *q = new_number();
    *r = new_number();
    const int sb = sign_of(b);
    divide(a, b, *q, *r);   // the remainder comes with the sign of a * b
    if (sb < 0) in_place_neg(*r);
    if (pos && sign_of(*r) < 0) {
        if (sb < 0) fastdiff(*r, b);
        else fastsum(*r, b);
        if (fix_q) {
            if (sb < 0) fastsum(*q, number_1);
            else fastdiff(*q, number_1);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------- rationals

void finish_quoly(quoly* q, imag* num, imag* den, numnode* temp_head, numnode* temp_tail) {
    if (temp_head) give_back_chain(temp_head, temp_tail);
    if (q->isnum) drop_parts(q);
    q->isnum = 0;
    place_number(&q->pnum, num);
    place_number(&q->den, den);
    q->rat = 1;
}

void mult_rats(quoly* a, quoly* b, quoly** dst) {
    // Both operands are reduced, so cancelling each numerator against the
    // other denominator leaves a reduced product.
    Cancelled g1(numerator_of(a), denominator_of(b));
    Cancelled g2(numerator_of(b), denominator_of(a));
    imag* num = product_of(g1.x(), g2.x());
    imag* den = product_of(g2.y(), g1.y());
    set_quotient(*dst, num, den);
}

void quot_rats(quoly* a, quoly* b, quoly** dst) {
    if (a->pnum == b->pnum) {
        quoly_set(1, dst);
        return;
    }
    // b is put back after the product: a destination that is b itself
    // receives the result only afterwards.
    quoly* scratch = nullptr;
    if (*dst == b) {
        newquoly(&scratch);
        scratch->isnum = scratch->rat = 0;
        scratch->pnum = scratch->den = nullptr;
    }
    {
        Inverted inv(b);
        quoly* out = scratch ? scratch : *dst;
        mult_rats(a, b, &out);
        if (inv.negated()) quoly_inplace(out);
    }
    if (scratch) {
        drop_parts(b);
        b->isnum = scratch->isnum;
        b->rat = scratch->rat;
        b->num = scratch->num;
        b->den = scratch->den;
        scratch->num = nullptr;
        scratch->den = nullptr;
        free_quoly(&scratch);
    }
}

void mult_numb_rat(quoly* n, quoly* r, quoly** dst) {
    imag* k = n->nnum;
    if (iszero(k)) {
        quoly_set(0, dst);
        return;
    }
    Cancelled g(k, denominator_of(r));
    imag* num = product_of(g.x(), numerator_of(r));
    imag* den = copy_of(g.y());
    set_quotient(*dst, num, den);
}

void quot_rat_numb(quoly* r, quoly* n, quoly** dst) {
    imag* k = n->nnum;
    if (iszero(k)) {
        error(22, quotsign);
        quoly_set(1, dst);
        return;
    }
    Cancelled g(numerator_of(r), k);
    imag* num = copy_of(g.x());
    imag* den = product_of(denominator_of(r), g.y());
    // |den| >= 2: the result is never an integer.
    set_quotient(*dst, num, den);
}

void add_numb_rat(quoly* n, quoly* r, quoly** dst, int add) {
    // gcd(n d + m, d) = gcd(m, d) = 1: nothing to cancel.
    imag* num = product_of(n->nnum, denominator_of(r));
    if (add) fastsum(num, numerator_of(r));
    else fastdiff(num, numerator_of(r));
    imag* den = copy_of(denominator_of(r));
    set_quotient(*dst, num, den);
}

// ---------------------------------------------------------------- powers and factorial

void number_power(imag* n, uint32_t e) {
    if (e == 0) {
        setvalue(1, n);
        return;
    }
    int bit = 31;
    while (!(e >> bit & 1)) bit--;
    if (modularmode) {
        const int32_t base = n->value;
        int32_t r = base;
        for (bit--; bit >= 0; bit--) {
            r = modmult(r, r);
            if (e >> bit & 1) r = modmult(r, base);
        }
        n->value = r;
    } else if (lintmode) {
        const uint32_t base = u32(n->value);
        uint32_t r = base;
        for (bit--; bit >= 0; bit--) {
            r *= r;
            if (e >> bit & 1) r *= base;
        }
        n->value = s32(r);
    } else {
        imag* r = copy_of(n);
        for (bit--; bit >= 0; bit--) {
            poll_interrupt();
            fast_mult(r, r, r);
            if (e >> bit & 1) fast_mult(r, n, r);
        }
        take_words(n, r);
    }
}

void factorial(imag* n) {
    int32_t v;
    if (modularmode) {
        if (finf) {
            error(347, factsign);
            return;
        }
        v = n->value;
        if (v >= MAX_MODULAR_FACT) {
            error(94, factsign);
            return;
        }
        if (v >= modulus) {
            n->value = 0;
            return;
        }
    } else if (lintmode) {
        v = n->value;
        if (v > MAX_LINT_FACT) {
            error(240, factsign);
            return;
        }
    } else {
        if (n->count > 1) {
            error(94, factsign);
            return;
        }
        v = n->head->digit;
    }

    const int i = fact_index(v);
    if (v <= factnum[i]) {   // v = factnum[i], or anything up to factnum[0]
        if (modularmode) n->value = modout(facts[i]);
        else if (lintmode) n->value = facts[i]->value;
        else num_assign(facts[i], n);
        return;
    }
    multout(factnum[i] + 1, v, n);
    if (modularmode) {
        if (n->value != 0) n->value = modmult(n->value, modout(facts[i]));
    } else if (lintmode) {
        n->value = s32(u32(n->value) * u32(facts[i]->value));
    } else {
        fast_mult(n, facts[i], n);
    }
}

// ---------------------------------------------------------------- conversion, quotient, remainder

int32_t check_and_convert(imag* n) {
    if (!lintmode && n->count >= 2) {
        error(32, token.name);
        return 0;
    }
    return convert_to_int(n);
}

void quot(imag* a, imag* b, imag* c) {
    if (modularmode) {
        if (b->value == 0) {
            c->value = a->value;
            error(22, quotsign);
            return;
        }
        int32_t inv = 0;
        emod_inverse(b->value, &inv);   // the field table under finf; error 85 when none
        c->value = modmult(a->value, inv);
    } else if (lintmode) {
        if (b->value == 0) {
            c->value = a->value;
            error(22, quotsign);
            return;
        }
        c->value = wrap32(int64_t{a->value} / b->value);
    } else {
        if (sign_of(b) == 0) {
            setvalue(1, c);
            error(22, quotsign);
            return;
        }
        imag* r = new_number();
        divide(a, b, c, r);
        free_imag(&r);
    }
}

void mod_and_div(imag* a, imag* b, imag* r, imag* q) {
    if (lintmode) {
        if (b->value == 0) {
            error(22, token.name);
            r->value = a->value;
            q->value = 0;
            return;
        }
        word_div(a->value, b->value, pos_mod != 0, true, &q->value, &r->value);
        return;
    }
    if (sign_of(b) == 0) {
        error(22, token.name);
        num_assign(a, r);
        setvalue(0, q);
        return;
    }
    imag *tq, *tr;
    digit_div(a, b, pos_mod != 0, true, &tq, &tr);
    take_words(q, tq);
    take_words(r, tr);
}

void mod_or_div(imag* a, imag* b, imag* res, int op, int pos) {
    if (lintmode) {
        if (b->value == 0) {
            error(22, token.name);
            res->value = op == BAR ? a->value : 0;
            return;
        }
        int32_t q, r;
        word_div(a->value, b->value, pos != 0, false, &q, &r);
        res->value = op == BAR ? r : q;
        return;
    }
    if (sign_of(b) == 0) {
        error(22, token.name);
        if (op == BAR) num_assign(a, res);
        else setvalue(0, res);
        return;
    }
    imag *tq, *tr;
    digit_div(a, b, pos != 0, false, &tq, &tr);
    if (op == BAR) {
        take_words(res, tr);
        free_imag(&tq);
    } else {
        take_words(res, tq);
        free_imag(&tr);
    }
}
