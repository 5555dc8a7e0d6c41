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

[[maybe_unused]] const bool scratch_noted = digits::note_scratch([] {
    digits::give_back(gu);
    digits::give_back(gv);
    digits::give_back(gr);
});

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

// g := gcd(u, v) for the pair as mag_gcd_reduce leaves it: the word method
// on the one-digit v and the remainder of u by it (u is taken when v is 0).
void finish_gcd(Mag& u, const Mag& v, Mag& g) {
    if (v.empty()) {
        g.swap(u);
        return;
    }
    const uint32_t y = v[0];
    const uint32_t t = digits::mag_divmod_word(u.data(), static_cast<int32_t>(u.size()), y, nullptr);
    g.assign(1, word_gcd(y, t));
}

// Operands this long are gcd'd on copies of the routine's own, so that the
// reduction may stop for an interrupt (whose level may run gcds of its own
// and change the records the operands came from).
bool long_pair(const imag* a, const imag* b) { return a->count + b->count >= digits::kPrivateDigits; }

// g := gcd(|a|, |b|) as a magnitude: Lehmer's method (halving rounds on
// long pairs) down to a one-digit second value, then the word method.
void gcd_magnitude(const imag* a, const imag* b, Mag& g) {
    if (long_pair(a, b)) {
        Mag u, v;
        digits::read_chain(a->head, a->count, u);
        digits::read_chain(b->head, b->count, v);
        digits::PrivateOperands mark;
        digits::mag_gcd_reduce(u, v);
        finish_gcd(u, v, g);
        return;
    }
    digits::read_chain(a->head, a->count, gu);
    digits::read_chain(b->head, b->count, gv);
    digits::mag_gcd_reduce(gu, gv);
    finish_gcd(gu, gv, g);
}

// The gcd of two digit numbers into c, through the word method when both
// have one digit (c then set as setvalue would).
void gcd_into(imag* a, imag* b, imag* c) {
    if (a->count == 1 && b->count == 1) {
        setvalue(static_cast<int32_t>(word_gcd(magnitude(a->head->digit), magnitude(b->head->digit))), c);
        return;
    }
    if (long_pair(a, b)) {
        // Its own result buffer: gr is shared with any gcd an interrupt runs.
        Mag g;
        gcd_magnitude(a, b, g);
        digits::write_number(c, g, 1);
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

// extgcd on a long pair: each operand read once, as the gcd may stop for an
// interrupt, after which the records may hold other values.
void long_extgcd(imag* a, imag* b, imag* g, imag* a1, imag* b1, int* one) {
    Mag A, B, G, qa, qb, rest;
    const int sa = digits::read_chain(a->head, a->count, A);
    const int sb = digits::read_chain(b->head, b->count, B);
    {
        digits::PrivateOperands mark;
        Mag u = A, v = B;
        digits::mag_gcd_reduce(u, v);
        finish_gcd(u, v, G);
        *one = G.size() == 1 && G[0] == 1;
        if (!*one) {
            const int32_t ng = static_cast<int32_t>(G.size());
            digits::mag_divmod(A.data(), static_cast<int32_t>(A.size()), G.data(), ng, &qa, rest);
            digits::mag_divmod(B.data(), static_cast<int32_t>(B.size()), G.data(), ng, &qb, rest);
        }
    }
    digits::write_number(g, G, 1);
    if (*one) return;
    digits::write_number(a1, qa, sa);
    digits::write_number(b1, qb, sb);
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
    if (long_pair(a, b)) {
        long_extgcd(a, b, g, a1, b1, one);
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
