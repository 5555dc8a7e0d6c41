#include "matrix/smith_units.h"

#include <utility>

#include "numbers/numbers.h"

namespace {

struct Num {
    imag* n = new_number();
    Num() { setvalue(0, n); }
    ~Num() { free_imag(&n); }
    Num(const Num&) = delete;
    Num& operator=(const Num&) = delete;
};

bool negative(imag* x) { return !iszero(x) && x->head->digit < 0; }

// out := x mod m in [0, m).
void residue(imag* x, imag* m, imag* out) {
    Num q, r;
    divide(x, m, q.n, r.n);
    if (negative(r.n)) fastsum(r.n, m);
    num_assign(r.n, out);
}

// out := x^-1 mod m for x prime to m, by the extended Euclid on (m, x).
void inverse(imag* x, imag* m, imag* out) {
    Num r0, r1, t0, t1, q, rest, prod;
    num_assign(m, r0.n);
    residue(x, m, r1.n);
    setvalue(1, t1.n);
    while (!iszero(r1.n)) {
        divide(r0.n, r1.n, q.n, rest.n);
        std::swap(r0.n, r1.n);
        std::swap(r1.n, rest.n);
        multiply(q.n, t1.n, prod.n);
        sub(t0.n, prod.n, t0.n);
        std::swap(t0.n, t1.n);
    }
    residue(t0.n, m, out);
}

}  // namespace

SmithEntry smith_entry(imag* s, imag* m, imag* g, imag* u, imag* v) {
    Num r, h, c;
    residue(s, m, r.n);
    if (iszero(r.n)) {
        num_assign(m, g);
        return SmithEntry::zero;
    }
    gcd(r.n, m, g);
    // s = g·u0 with u0 prime to m/g; some u0 + k·(m/g), k < g, is prime
    // to m, and g·u ≡ s (mod m) for it.
    Num rem;
    divide(r.n, g, u, rem.n);
    divide(m, g, h.n, rem.n);
    for (;;) {
        gcd(u, m, c.n);
        if (is_longint(c.n, 1)) break;
        fastsum(u, h.n);
    }
    if (is_longint(u, 1)) return SmithEntry::unit_one;
    inverse(u, m, v);
    return SmithEntry::scaled;
}
