// Rational reconstruction by the half-extended Euclid on (M, c): the first
// remainder at most sqrt(M / 2) and its cofactor give the fraction, which
// is unique when one exists within those bounds.
#include "gcd/rational_lift.h"

#include <utility>
#include <vector>

#include "gcd/exactdiv.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"

namespace {

struct Number {
    imag* n = new_number();
    Number() = default;
    explicit Number(int32_t v) { setvalue(v, n); }
    ~Number() {
        if (n) free_imag(&n);
    }
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;
    Number(Number&& o) noexcept : n(o.n) { o.n = nullptr; }
};

bool negative(imag* x) { return x->head && x->head->digit < 0; }

int32_t bit_length(imag* x) {
    if (iszero(x)) return 0;
    if (!negative(x)) return logg2(x);
    Number a;
    abs_val_num(x, a.n);
    return logg2(a.n);
}

// c in 0 .. M - 1: num/den ≡ c with |num|, den <= bound, gcd 1, den > 0.
bool reconstruct(imag* c, imag* M, imag* bound, imag* num, imag* den) {
    Number r0, r1, s0(0), s1(1), q, rem, t, w;
    num_assign(M, r0.n);
    num_assign(c, r1.n);
    while (bigger(r1.n, bound)) {
        pos_divide(r0.n, r1.n, q.n, rem.n);
        std::swap(r0.n, r1.n);
        std::swap(r1.n, rem.n);
        multiply(q.n, s1.n, t.n);
        sub(s0.n, t.n, w.n);
        std::swap(s0.n, s1.n);
        std::swap(s1.n, w.n);
    }
    if (iszero(s1.n)) return false;
    abs_val_num(s1.n, den);
    if (bigger(den, bound)) return false;
    Number g;
    gcd(r1.n, den, g.n);
    if (!is_longint(g.n, 1)) return false;
    if (negative(s1.n))
        makeneg(r1.n, num);
    else
        num_assign(r1.n, num);
    return true;
}

void leaves(polynode* p, std::vector<imag*>* out) {
    for (; p; p = p->next) {
        if (p->numb)
            out->push_back(p->ncoef);
        else
            leaves(p->pcoef, out);
    }
}

}  // namespace

polynode* rational_lift(polynode* G, imag* M, int32_t* bits) {
    *bits = 0;
    if (!G) return nullptr;
    Number half, rem, bound, two(2);
    pos_divide(M, two.n, half.n, rem.n);
    int_sqrt(half.n, bound.n, 1);
    PolyHold lifted;
    poly_assign(G, &lifted.p);
    std::vector<imag*> at;
    leaves(lifted.p, &at);
    std::vector<Number> nums(at.size()), dens(at.size());
    Number lcm(1);
    for (size_t i = 0; i < at.size(); i++) {
        if (!reconstruct(at[i], M, bound.n, nums[i].n, dens[i].n)) return nullptr;
        int32_t b = bit_length(nums[i].n);
        if (b > *bits) *bits = b;
        b = bit_length(dens[i].n);
        if (b > *bits) *bits = b;
        Number g, q, r;
        gcd(lcm.n, dens[i].n, g.n);
        pos_divide(dens[i].n, g.n, q.n, r.n);
        multiply(lcm.n, q.n, lcm.n);
    }
    for (size_t i = 0; i < at.size(); i++) {
        Number q, r;
        pos_divide(lcm.n, dens[i].n, q.n, r.n);
        multiply(nums[i].n, q.n, at[i]);
    }
    clear_up(&lifted.p);
    if (neg_leading_term(lifted.p)) poly_inplace(lifted.p);
    return lifted.release();
}
