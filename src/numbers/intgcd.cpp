// Greatest common divisors: of machine words (the word method), of digit
// numbers by Lehmer's method, the gcd with its exact cofactors for rational
// cancellation, and the gcd built-in on two quolys.
//
// The digit-number routines read their operands once into magnitude arrays
// and never change them; results are written last, so a result record may
// be an operand's.
#include <cstdint>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"

namespace {

using digits::Mag;

thread_local Mag gu, gv, gr;

inline bool is_zero_digits(const imag* x) { return x->count == 1 && x->head->digit == 0; }

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

// g := gcd(|a|, |b|) as a magnitude: Lehmer's method down to a one-digit
// second value, then the word method on it and the remainder by it.
void gcd_magnitude(const imag* a, const imag* b, Mag& g) {
    digits::read_chain(a->head, a->count, gu);
    digits::read_chain(b->head, b->count, gv);
    digits::mag_gcd_reduce(gu, gv);
    if (gv.empty()) {
        g.swap(gu);
        return;
    }
    const uint32_t y = gv[0];
    const uint32_t t = digits::mag_divmod_word(gu.data(), static_cast<int32_t>(gu.size()), y, nullptr);
    g.assign(1, word_gcd(y, t));
}

// The gcd of two digit numbers into c, through the word method when both
// have one digit (c then set as setvalue would).
void gcd_into(imag* a, imag* b, imag* c) {
    if (a->count == 1 && b->count == 1) {
        setvalue(static_cast<int32_t>(word_gcd(magnitude(a->head->digit), magnitude(b->head->digit))), c);
        return;
    }
    gcd_magnitude(a, b, gr);
    digits::write_number(c, gr, 1);
}

// q := x / g exactly, with x's sign, for the magnitude g.
void exact_quotient(const imag* x, const Mag& g, Mag& q, int* sign) {
    *sign = digits::read_chain(x->head, x->count, gu);
    digits::mag_divmod(gu.data(), x->count, g.data(), static_cast<int32_t>(g.size()), &q, gv);
}

}  // namespace

int32_t smallgcd(int32_t u, int32_t v) {
    return static_cast<int32_t>(word_gcd(magnitude(u), magnitude(v)));
}

// The binary method has no edge over Lehmer's on arrays: both routines give
// the same gcd the same way.
void binary_gcd(imag* a, imag* b, imag* c) { gcd_into(a, b, c); }

void gcd(imag* a, imag* b, imag* c) { gcd_into(a, b, c); }

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
    Mag G, qa, qb;
    gcd_magnitude(a, b, G);
    *one = G.size() == 1 && G[0] == 1;
    if (*one) {
        // a1 and b1 carry nothing; callers use a and b themselves.
        digits::write_number(g, G, 1);
        return;
    }
    // Multi-digit operands are not both zero, so g > 0.
    int sa, sb;
    exact_quotient(a, G, qa, &sa);
    exact_quotient(b, G, qb, &sb);
    // Written last: g, a1 and b1 may be the operands' own records.
    digits::write_number(g, G, 1);
    digits::write_number(a1, qa, sa);
    digits::write_number(b1, qb, sb);
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
