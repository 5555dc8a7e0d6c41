// One number applied to every leaf of a polynomial: quotients, products,
// integer content, monic pairs, equality up to a unit.
//
// The walks are templates over a per-leaf step, so the arithmetic is
// inlined into the loop along each level and only the descent to the next
// variable is a call; the depth is bounded by the number of variables.
#include "poly/coefops.h"

#include <cstdio>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

inline uint32_t u32(int32_t x) { return static_cast<uint32_t>(x); }
inline int32_t s32(uint32_t x) { return static_cast<int32_t>(x); }

template <class F>
void each_leaf(polynode* p, F& step) {
    for (; p; p = p->next) {
        if (p->numb) step(p->ncoef);
        else each_leaf(p->pcoef, step);
    }
}

// Stops at the first leaf for which step returns true; returns whether it did.
template <class F>
bool leaves_until(polynode* p, F& step) {
    for (; p; p = p->next) {
        if (p->numb ? step(p->ncoef) : leaves_until(p->pcoef, step)) return true;
    }
    return false;
}

// Product of a residue by the fixed residue x in the current ground ring,
// the branch chosen once per walk rather than per leaf.
class ResidueTimes {
public:
    explicit ResidueTimes(int32_t x) : x_(u32(x)), m_(u32(modulus)) {
        if (f256) {
            kind_ = Kind::f256;
            x_ &= 0xFF;
        } else if (f2t16) {
            kind_ = Kind::f2t16;
            x_ &= 0xFFFF;
            logx_ = f2t16log[x_];
        } else {
            kind_ = smallmodulus ? Kind::small : Kind::wide;
        }
    }
    uint32_t operator()(uint32_t c) const {
        switch (kind_) {
        case Kind::f256:
            return f256prod[(x_ << 8) | (c & 0xFF)];
        case Kind::f2t16: {
            c &= 0xFFFF;
            if (c == 0 || x_ == 0) return 0;
            uint32_t s = uint32_t{f2t16log[c]} + logx_;
            return f2t16exp[s < 65535 ? s : s - 65535];
        }
        case Kind::small: {
            // Residues below 65,535: the product fits 32 bits.
            uint32_t p = c * x_;
            return p < m_ || m_ == 0 ? p : p % m_;
        }
        case Kind::wide: {
            uint64_t p = uint64_t{c} * x_;
            return static_cast<uint32_t>(p < m_ || m_ == 0 ? p : p % m_);
        }
        }
        return 0;
    }

private:
    enum class Kind { f256, f2t16, small, wide } kind_;
    uint32_t x_, m_;
    uint32_t logx_ = 0;
};

bool is_one(const imag* n) {
    return lintmode ? n->value == 1 : n->count == 1 && n->head->digit == 1;
}

// The inverse of a residue used as a divisor: 0 is the internal error of a
// zero divisor; one that shares a factor with a composite modulus would
// give a wrong "inverse", so it is error 85 as in every modular quotient.
int32_t divisor_inverse(int32_t d) {
    int32_t inv = 0;
    if (d == 0) {
        mod_inverse(d, &inv);
        return inv;
    }
    emod_inverse(d, &inv);
    return inv;
}

// Truncating machine quotient; -2^31 / -1 wraps instead of trapping.
int32_t word_quotient(int32_t c, int32_t d) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(c) / d));
}

int32_t wrap_product(int32_t a, int32_t b) { return s32(u32(a) * u32(b)); }

void scale_residues(polynode* p, int32_t x) {
    const ResidueTimes times(x);
    auto step = [&](imag* c) { c->value = s32(times(u32(c->value))); };
    each_leaf(p, step);
}

// Every leaf times n, in the current ground ring.
void times_number(polynode* p, imag* n) {
    if (modularmode) {
        scale_residues(p, n->value);
    } else if (lintmode) {
        const int32_t x = n->value;
        auto step = [&](imag* c) { c->value = wrap_product(c->value, x); };
        each_leaf(p, step);
    } else {
        auto step = [&](imag* c) { fast_mult(c, n, c); };
        each_leaf(p, step);
    }
}

// The machine-word content: residues are units (content 1), machine
// integers have the gcd of their magnitudes.
uint32_t word_gcd(uint32_t u, uint32_t v) {
    while (v) {
        uint32_t t = u % v;
        u = v;
        v = t;
    }
    return u;
}

uint32_t magnitude(int32_t v) { return v < 0 ? 0u - u32(v) : u32(v); }

}  // namespace

// ---------------------------------------------------------------- division

void simple_quot(imag* a, imag* b, int32_t inv) {
    if (modularmode) {
        if (inv == 0) inv = divisor_inverse(b->value);
        a->value = s32(ResidueTimes(inv)(u32(a->value)));
    } else if (lintmode) {
        if (b->value == 0) {
            error(22, quotsign);
            return;
        }
        a->value = word_quotient(a->value, b->value);
    } else {
        if (iszero(b)) {
            error(22, quotsign);
            return;
        }
        imag* r = new_number();
        divide(a, b, a, r);
        if (!iszero(r)) tarvexerror("non-0 rem, num_poly_quot");
        free_imag(&r);
    }
}

void num_poly_quot(polynode* p, imag* d, int32_t inv) {
    if (!p || is_one(d)) return;
    if (modularmode) {
        // One inverse for the whole walk.
        if (inv == 0) inv = divisor_inverse(d->value);
        scale_residues(p, inv);
    } else if (lintmode) {
        const int32_t x = d->value;
        if (x == 0) {
            error(22, quotsign);
            return;
        }
        auto step = [&](imag* c) { c->value = word_quotient(c->value, x); };
        each_leaf(p, step);
    } else {
        if (iszero(d)) {
            error(22, quotsign);
            return;
        }
        // One remainder record serves every leaf.
        imag* r = new_number();
        auto step = [&](imag* c) {
            divide(c, d, c, r);
            if (!iszero(r)) tarvexerror("non-0 rem, num_poly_quot");
        };
        each_leaf(p, step);
        free_imag(&r);
    }
}

// ---------------------------------------------------------------- residue products

void mod_num_poly_mult(polynode* p, int32_t x) {
    if (x == 1) return;
    if (x <= 0 || x >= modulus) {
        std::printf("bad x in mod_num_poly_mult, %li, %li\n", static_cast<long>(x), static_cast<long>(modulus));
        std::fflush(stdout);
        tarvex_error("bad x in mod_num_poly_mult.", 1);
        return;
    }
    scale_residues(p, x);
}

void sub_mod_num_poly_mult(polynode* p, int32_t x) { scale_residues(p, x); }

void mod_mult_num(polynode* p, int32_t x) { scale_residues(p, x); }

void fast_mod_num_poly_mult(polynode* p, int64_t x) {
    const int64_t m = modulus;
    if (m <= 0) return;
    // Reduced first: c * x for c and x below 2^31 fits a signed 64-bit word.
    int64_t r = x % m;
    if (r < 0) r += m;
    auto step = [&](imag* c) { c->value = static_cast<int32_t>(int64_t{c->value} * r % m); };
    each_leaf(p, step);
}

// ---------------------------------------------------------------- number products

void mult_num(polynode* p, imag* n) { times_number(p, n); }

void rat_number_mult(polynode* p, imag* n) {
    if (is_one(n)) return;
    times_number(p, n);
}

void num_poly_mult(polynode* p, imag* n) {
    if (is_one(n)) return;
    times_number(p, n);
}

void int_mult(imag* a, imag* b, imag* c) {
    if (modularmode) {
        c->value = s32(ResidueTimes(b->value)(u32(a->value)));
    } else if (lintmode) {
        c->value = wrap_product(a->value, b->value);
    } else {
        // Two digits below 2^28: a product of two digits needs at most two.
        special_set_2(a->head->digit, b->head->digit, c);
    }
}

// ---------------------------------------------------------------- monic pairs

void monic_coefs(polynode* u, polynode* v, int32_t* lead_u, int32_t* lead_v) {
    polynode* polys[2] = {u, v};
    int32_t* leads[2] = {lead_u, lead_v};
    for (int i = 0; i < 2; i++) {
        *leads[i] = 1;
        if (!polys[i]) continue;
        const int32_t a = leading_coef(polys[i])->ncoef->value;
        *leads[i] = a;
        if (a != 1) mod_num_poly_mult(polys[i], divisor_inverse(a));
    }
}

// ---------------------------------------------------------------- content

int find_gcd(polynode* p, imag* g) {
    if (lintmode) {
        if (modularmode) {
            g->value = 1;
            return 1;
        }
        uint32_t w = magnitude(g->value);
        auto step = [&](imag* c) {
            w = word_gcd(w, magnitude(c->value));
            return w == 1;
        };
        const bool stopped = leaves_until(p, step);
        g->value = s32(w);
        return stopped;
    }
    auto step = [&](imag* c) {
        binary_gcd(g, c, g);
        return is_one(g);
    };
    return leaves_until(p, step);
}

void find_gcdcoefs(polynode* p, imag* g) {
    if (!p) return;
    if (p->numb && node_iszero(p)) {
        tarvexerror("0 in find gcd coefs.");
        setvalue(1, g);
        return;
    }
    if (modularmode) {
        g->value = 1;
        return;
    }
    abs_val_num(leading_coef(p)->ncoef, g);
    if (is_one(g)) return;
    find_gcd(p, g);
}

void sanitize(quoly* q) {
    if (!q || q->isnum || lintmode) return;
    // A product that the relations make 0 (x/2 * x under x^2) has no
    // content to share; the caller makes the value 0.
    if (poly_iszero(q->pnum)) return;
    imag* c = new_number();
    find_gcdcoefs(q->pnum, c);
    if (!is_one(c)) {
        // Without a denominator there is no common factor to remove.
        if (q->den) find_gcd(q->den, c);
        else setvalue(1, c);
    }
    if (!is_one(c)) {
        num_poly_quot(q->pnum, c, 0);
        num_poly_quot(q->den, c, 0);
    }
    free_imag(&c);
}

void gcd_coefs(polynode* p, polynode** out) {
    imag* c = new_number();
    if (lintmode) setvalue(1, c);
    else find_gcdcoefs(p, c);
    polynode* node;
    newpoly(&node);
    node->next = nullptr;
    node->exp = 0;
    node->numb = 1;
    node->ncoef = c;
    free_poly(out);
    *out = node;
}

// ---------------------------------------------------------------- equality up to a unit

namespace {

bool leaves_match(imag* a, imag* b, const CheckContext& ctx) {
    switch (ctx.mode) {
    case CheckMode::equal:
        return equal(a, b);
    case CheckMode::negated:
        return negtive(a, b);
    case CheckMode::times:
        return u32(a->value) == ResidueTimes(ctx.ratio)(u32(b->value));
    }
    return false;
}

}  // namespace

int check_all(polynode* u, polynode* v, const CheckContext& ctx) {
    for (; u && v; u = u->next, v = v->next) {
        if (u->numb != v->numb) return 0;
        if (u->numb) {
            if (!leaves_match(u->ncoef, v->ncoef, ctx)) return 0;
        } else {
            if (u->exp != v->exp || !check_all(u->pcoef, v->pcoef, ctx)) return 0;
        }
    }
    return !u && !v;
}

int essentially_equal(polynode* u, polynode* v) {
    if (!u || !v) return !u && !v;
    imag* a = leading_coef(u)->ncoef;
    imag* b = leading_coef(v)->ncoef;
    CheckContext ctx{CheckMode::equal, 1};
    if (modularmode && (mod_is_prime || finf)) {
        if (b->value == 0 && !finf) {
            int32_t dummy;
            mod_inverse(0, &dummy);
            return 0;
        }
        // In a field a zero leading number has no inverse either.
        if (b->value == 0) return a->value == 0 && check_all(u, v, ctx);
        int32_t inv;
        mod_inverse(b->value, &inv);
        const int32_t r = s32(ResidueTimes(a->value)(u32(inv)));
        if (r != 1) ctx = CheckContext{CheckMode::times, r};
    } else if (lintmode) {
        return 0;
    } else if (negtive(a, b)) {
        ctx.mode = CheckMode::negated;
    } else if (!equal(a, b)) {
        return 0;
    }
    return check_all(u, v, ctx);
}
