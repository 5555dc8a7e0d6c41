// Greatest common divisors: of machine words (the word method), of digit
// numbers by the binary method and by Euclid, the gcd with its exact
// cofactors for rational cancellation, and the gcd built-in on two quolys.
//
// The digit-number routines work on their operands' own records, negated
// (and for the binary method shifted) in place; guards put them back on
// every exit. Results are built in temporaries and written last, so a
// result record may be an operand.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>

#include "numbers/numbers.h"
#include "numbers/ring.h"

namespace {

void drop_chain(imag* x) {
    if (x->count > 0) give_back_chain(x->head, x->tail);
    x->count = 0;
}

// dst takes src's chain (dst's old chain given back); src owns nothing after.
void adopt_chain(imag* dst, imag* src) {
    if (dst == src) return;
    free_num(dst);
    dst->head = src->head;
    dst->tail = src->tail;
    dst->count = src->count;
    src->count = 0;
}

struct TempNum {
    imag* p;
    TempNum() : p(new_number()) {}
    ~TempNum() {
        drop_chain(p);
        free_imag(&p);
    }
    TempNum(const TempNum&) = delete;
    TempNum& operator=(const TempNum&) = delete;
    imag* operator->() const { return p; }
    operator imag*() const { return p; }
};

// A working value of a Euclid loop: an operand's own record, only read, or a
// temporary the loop owns and gives back.
struct Working {
    imag* p = nullptr;
    bool own = false;
    explicit Working(imag* operand) : p(operand) {}
    ~Working() { release(); }
    Working(const Working&) = delete;
    Working& operator=(const Working&) = delete;
    void release() {
        if (own) {
            drop_chain(p);
            free_imag(&p);
        }
        own = false;
        p = nullptr;
    }
    void take(imag* t) {
        release();
        p = t;
        own = true;
    }
    // Moves the value into dst: the chain itself when owned, else a copy.
    void store(imag* dst) {
        if (own) adopt_chain(dst, p);
        else fast_num_assign(p->head, p->count, dst);
    }
};

void swap_working(Working& x, Working& y) {
    std::swap(x.p, y.p);
    std::swap(x.own, y.own);
}

inline bool is_zero_digits(const imag* x) { return x->count == 1 && x->head->digit == 0; }
inline bool is_one_digits(const imag* x) { return x->count == 1 && x->head->digit == 1; }

inline uint32_t magnitude(int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

void negate_digits(imag* x) {
    for (numnode* p = x->head; p; p = p->next) p->digit = -p->digit;
}

// The word method. A zero operand gives the other one: the subtractive loop
// would never reach a zero difference from it.
uint32_t word_gcd(uint32_t u, uint32_t v) {
    if (u == 0) return v;
    if (v == 0) return u;
    int e = 0;
    while (((u | v) & 1u) == 0) {
        u >>= 1;
        v >>= 1;
        e++;
    }
    while (!(u & 1u)) u >>= 1;
    while (!(v & 1u)) v >>= 1;
    for (;;) {
        uint32_t t = u > v ? u - v : v - u;
        if (t == 0) return u << e;
        while (!(t & 1u)) t >>= 1;
        if (t == 1) return uint32_t{1} << e;
        if (u > v) u = t;
        else v = t;
    }
}

// Bits of 2 dividing a non-zero digit number.
int32_t trailing_zero_bits(const imag* x) {
    int32_t zero_digits = 0;
    uint32_t last = 0;
    for (const numnode* p = x->head; p; p = p->next) {
        if (p->digit == 0) {
            zero_digits++;
        } else {
            zero_digits = 0;
            last = magnitude(p->digit);
        }
    }
    return DIGIT_BITS * zero_digits + std::countr_zero(last);
}

// Makes an operand non-negative in place for the life of the guard.
class PositiveOperand {
public:
    explicit PositiveOperand(imag* x) : x_(x), negated_(x->head->digit < 0) {
        if (negated_) negate_digits(x_);
    }
    ~PositiveOperand() {
        if (negated_) negate_digits(x_);
    }
    PositiveOperand(const PositiveOperand&) = delete;
    PositiveOperand& operator=(const PositiveOperand&) = delete;
    bool negated() const { return negated_; }

private:
    imag* x_;
    bool negated_;
};

// Makes a non-zero operand odd and positive in place for the life of the
// guard: negated, then its factors of 2 shifted out.
class OddOperand {
public:
    explicit OddOperand(imag* x) : sign_(x), x_(x), shift_(trailing_zero_bits(x)) {
        if (shift_) shift_right(x_, shift_);
    }
    ~OddOperand() {
        if (shift_) shift_left(x_, shift_);
    }
    OddOperand(const OddOperand&) = delete;
    OddOperand& operator=(const OddOperand&) = delete;
    int32_t shift() const { return shift_; }

private:
    PositiveOperand sign_;   // constructed first, so restored last
    imag* x_;
    int32_t shift_;
};

// x and y positive with x >= y: the step of both Euclid loops. When x < 2y
// (same length, head below twice y's) the difference is the remainder and is
// cheaper than a division.
inline bool difference_step(const imag* x, const imag* y) {
    return x->count == y->count && x->head->digit < 2 * y->head->digit;
}

void remainder_into(imag* x, imag* y, imag* t) {
    if (difference_step(x, y)) {
        meddiff(x->count, y->count, x->head, y->head, t);
        if (t->head->digit < 0) negate_digits(t);
    } else {
        pos_divide_noq(x->head, y->head, y->tail, x->count, y->count, t);
    }
}

// g := gcd of odd positive x0, y0 by the binary method.
void odd_gcd(imag* x0, imag* y0, imag* g) {
    Working x(x0), y(y0);
    if (pos_bigger(y.p, x.p)) swap_working(x, y);
    for (;;) {
        if (x.p->count == 1) {
            special_set(static_cast<int32_t>(word_gcd(magnitude(x.p->head->digit),
                                                      magnitude(y.p->head->digit))), g);
            return;
        }
        imag* t = new_number();
        remainder_into(x.p, y.p, t);
        if (is_zero_digits(t) || is_one_digits(t)) {
            if (is_zero_digits(t)) y.store(g);
            else special_set(1, g);
            drop_chain(t);
            free_imag(&t);
            return;
        }
        // y is odd, so the factors of 2 of t are not in the gcd.
        shift_right(t, trailing_zero_bits(t));
        x.take(t);
        if (pos_bigger(y.p, x.p)) swap_working(x, y);
    }
}

// g := |x| for a digit number x.
void abs_into(imag* x, imag* g) {
    fast_num_assign(x->head, x->count, g);
    if (g->head->digit < 0) negate_digits(g);
}

}  // namespace

int32_t smallgcd(int32_t u, int32_t v) {
    return static_cast<int32_t>(word_gcd(magnitude(u), magnitude(v)));
}

void binary_gcd(imag* a, imag* b, imag* c) {
    if (a->count == 1 && b->count == 1) {
        setvalue(static_cast<int32_t>(word_gcd(magnitude(a->head->digit), magnitude(b->head->digit))), c);
        return;
    }
    TempNum g;
    if (is_zero_digits(a)) {
        abs_into(b, g);
    } else if (is_zero_digits(b) || a == b) {
        abs_into(a, g);
    } else {
        int32_t e;
        {
            OddOperand x(a), y(b);
            e = std::min(x.shift(), y.shift());
            odd_gcd(a, b, g);
        }
        shift_left(g, e);
    }
    adopt_chain(c, g);
}

void gcd(imag* a, imag* b, imag* c) {
    if (a->count == 1 && b->count == 1) {
        setvalue(static_cast<int32_t>(word_gcd(magnitude(a->head->digit), magnitude(b->head->digit))), c);
        return;
    }
    TempNum g;
    if (a == b) {
        abs_into(a, g);
        adopt_chain(c, g);
        return;
    }
    {
        PositiveOperand pa(a), pb(b);
        Working x(a), y(b);
        if (pos_bigger(y.p, x.p)) swap_working(x, y);
        for (;;) {
            if (is_zero_digits(y.p)) {
                x.store(g);
                break;
            }
            if (y.p->count == 1) {
                // The remainder by a one-digit y has one digit: finish in words.
                TempNum t;
                pos_divide_noq(x.p->head, y.p->head, y.p->tail, x.p->count, 1, t);
                special_set(static_cast<int32_t>(word_gcd(magnitude(y.p->head->digit),
                                                          magnitude(t->head->digit))), g);
                break;
            }
            imag* t = new_number();
            remainder_into(x.p, y.p, t);
            swap_working(x, y);
            y.take(t);
        }
    }
    adopt_chain(c, g);
}

namespace {

// Tags in a recorded quotient's value word.
constexpr int32_t STEP_DIVISION = 0;     // the record's digits are the quotient
constexpr int32_t STEP_DIFFERENCE = 1;   // x - y was the remainder: quotient 1, no digits

// The quotients of extgcd's Euclid steps, newest first through link.
struct QuotientLog {
    imag* newest = nullptr;
    bool on = true;
    imag* push(int32_t tag) {
        imag* q = new_number();
        q->value = tag;
        q->link = newest;
        newest = q;
        return q;
    }
    void clear() {
        while (newest) {
            imag* q = newest;
            newest = q->link;
            drop_chain(q);
            free_imag(&q);
        }
    }
    void drop() {
        clear();
        on = false;
    }
    ~QuotientLog() { clear(); }
};

// Recording costs a continuant rebuild quadratic in the steps; dividing by g
// afterwards costs about the operands' lengths times g's. Keep recording
// while the first is the cheaper.
bool recording_too_dear(int64_t steps_before, int32_t r, int32_t la, int32_t lb) {
    int64_t rebuild = ((steps_before + 1) / 11) * steps_before;
    int64_t division = 2 * static_cast<int64_t>(r) * (static_cast<int64_t>(la) + lb + 2 - 2 * static_cast<int64_t>(r));
    return rebuild > division;
}

// From r_{i-1} = q_i r_i + r_{i+1}, newest step first, with r_n / g = 1 and
// r_{n+1} = 0: X := x / g and Y := y / g for the loop's first pair (x, y).
void rebuild_cofactors(const QuotientLog& log, imag* X, imag* Y) {
    special_set(1, X);
    special_set(0, Y);
    TempNum t;
    for (imag* q = log.newest; q; q = q->link) {
        if (q->value == STEP_DIFFERENCE) {
            medsum(X->count, Y->count, X->head, Y->head, t);
        } else {
            multiply(X, q, t);
            fastsum(t, Y);
        }
        adopt_chain(Y, X);
        adopt_chain(X, t);
    }
}

}  // namespace

void extgcd(imag* a, imag* b, imag* g, imag* a1, imag* b1, int* one) {
    if (a->count == 1 && b->count == 1) {
        const int32_t u = a->head->digit, v = b->head->digit;
        const int32_t d = static_cast<int32_t>(word_gcd(magnitude(u), magnitude(v)));
        *one = d == 1;
        setvalue(d, g);
        if (d != 1) {
            // gcd(0, 0) = 0 has no quotient; the cofactors are the operands.
            setvalue(d ? u / d : u, a1);
            setvalue(d ? v / d : v, b1);
        }
        return;
    }
    if (a == b) {
        // Negating one record in place twice would undo itself.
        TempNum copy;
        fast_num_assign(b->head, b->count, copy);
        extgcd(a, copy, g, a1, b1, one);
        return;
    }

    TempNum G, X, Y;
    bool recorded;
    bool a_first;
    bool a_neg, b_neg;
    {
        PositiveOperand pa(a), pb(b);
        a_neg = pa.negated();
        b_neg = pb.negated();
        a_first = !pos_bigger(b, a);
        const int32_t la = a->count, lb = b->count;
        QuotientLog log;
        Working x(a_first ? a : b), y(a_first ? b : a);
        int64_t steps = 0;
        for (;; steps++) {
            if (is_zero_digits(y.p)) {
                x.store(G);
                break;
            }
            if (!log.on && y.p->count == 1) {
                TempNum t;
                pos_divide_noq(x.p->head, y.p->head, y.p->tail, x.p->count, 1, t);
                special_set(static_cast<int32_t>(word_gcd(magnitude(y.p->head->digit),
                                                          magnitude(t->head->digit))), G);
                break;
            }
            imag* t = new_number();
            if (difference_step(x.p, y.p)) {
                meddiff(x.p->count, y.p->count, x.p->head, y.p->head, t);
                if (log.on) {
                    if (is_zero_digits(t)) special_set(1, log.push(STEP_DIVISION));
                    else log.push(STEP_DIFFERENCE);
                }
            } else if (log.on) {
                pos_divide(x.p, y.p, log.push(STEP_DIVISION), t);
            } else {
                pos_divide_noq(x.p->head, y.p->head, y.p->tail, x.p->count, y.p->count, t);
            }
            if (log.on && !is_zero_digits(t) && recording_too_dear(steps, t->count, la, lb))
                log.drop();
            swap_working(x, y);
            y.take(t);
        }
        recorded = log.on;
        if (recorded && !is_one_digits(G)) rebuild_cofactors(log, X, Y);
    }

    *one = is_one_digits(G);
    if (!*one) {
        imag* ca = X;
        imag* cb = Y;
        if (recorded) {
            if (!a_first) std::swap(ca, cb);
            if (a_neg) negate_digits(ca);
            if (b_neg) negate_digits(cb);
        } else {
            // The operands are themselves again: exact signed quotients.
            TempNum r;
            divide(a, G, ca, r);
            divide(b, G, cb, r);
        }
        // Written last: g, a1 and b1 may be the operands' own records.
        adopt_chain(g, G);
        adopt_chain(a1, ca);
        adopt_chain(b1, cb);
        return;
    }
    // One: a1 and b1 carry nothing; callers use a and b themselves.
    adopt_chain(g, G);
}

void gcdnum(quoly** q1, quoly** q2) {
    if (lintmode) {
        (*q1)->nnum->value = 1;
        return;
    }
    imag* x = (*q1)->nnum;
    imag* y = (*q2)->nnum;
    if (is_zero_digits(x)) {
        if (y->head->digit < 0) negate_digits(y);
        free_quoly(q1);
        *q1 = *q2;
        *q2 = nullptr;
        return;
    }
    if (is_zero_digits(y)) {
        if (x->head->digit < 0) negate_digits(x);
        return;
    }
    binary_gcd(x, y, x);
}
