// Coefficient sizes, masses and storage sizes. The masses are summed in
// 64 bits and saturate as soon as a partial result leaves the non-negative
// 32-bit range, so a huge operand can never wrap round to a small mass.
#include "poly/masses.h"

#include <climits>
#include <cstdio>
#include <initializer_list>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

int32_t depthnum = 2;
int32_t massnum = 3;

namespace {

int32_t high_bit(uint32_t v) {
    int32_t b = -1;
    while (v) {
        v >>= 1;
        b++;
    }
    return b;
}

bool fits32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

int64_t abs64(int32_t v) { return v < 0 ? -int64_t{v} : int64_t{v}; }

int32_t bitlen(const imag* n) {
    if (lintmode) return logg2lint(n->value);
    int32_t d = n->head->digit;
    uint32_t a = d < 0 ? 0u - static_cast<uint32_t>(d) : static_cast<uint32_t>(d);
    return high_bit(a & 0x1FFFFFFFu) + 28 * n->count - 27;
}

int32_t topbits(const imag* n) {
    // A machine word has no head digit; its top bit is the same measure.
    if (lintmode) return logg2lint(n->value);
    int32_t d = n->head->digit;
    int32_t b;
    if (d >= 0) {
        b = high_bit(static_cast<uint32_t>(d));
    } else {
        b = high_bit(~static_cast<uint32_t>(d) & 0x1FFFFFFFu);
        if (b < 0) b = 0;
    }
    return b + 28 * n->count - 28;
}

int32_t digit_count(const imag* n) { return lintmode ? 1 : n->count; }

int64_t number_estimate(const imag* n) { return lintmode ? 31 : 31 + 8 * int64_t{n->count}; }

// The product of the factors, or false when it leaves the 32-bit range. A
// zero factor makes the product 0 whatever the others are; otherwise every
// factor has magnitude at least 1, so the partial products never shrink
// and the first one out of range decides.
bool product32(std::initializer_list<int64_t> factors, int64_t* out) {
    for (int64_t f : factors)
        if (f == 0) {
            *out = 0;
            return true;
        }
    int64_t r = 1;
    for (int64_t f : factors) {
        r *= f;
        if (!fits32(r)) return false;
    }
    *out = r;
    return true;
}

// A Laurent monomial: one term per level from the top down to the number;
// *m := the term nodes on the chain.
bool chain_monomial(const polynode* p, int32_t* m) {
    if (!p || p->numb || p->next) return false;
    int32_t n = 0;
    for (; p; p = p->pcoef) {
        if (p->next) return false;
        if (p->numb) {
            *m = n;
            return true;
        }
        n++;
    }
    return false;
}

template <bool Better>
int32_t weighted_mass(const polynode* p, int32_t a, int32_t b) {
    constexpr int32_t saturated = Better ? BETTER_MASS_SATURATED : POLY_MASS_SATURATED;
    int32_t m;
    if (laurent && chain_monomial(p, &m)) return m + 1;
    if (!p) return 0;
    int64_t s = 0;
    int64_t f = a;   // the first term of a list carries the caller's weight
    for (; p; p = p->next, f = 1) {
        if (p->numb) {
            s += digit_count(p->ncoef);
        } else if (p->exp == 0) {
            s += weighted_mass<Better>(p->pcoef, static_cast<int32_t>(f), b);
        } else {
            int64_t e = abs64(p->exp);
            int64_t below = weighted_mass<Better>(p->pcoef, 1, b + 1);
            int64_t t;
            bool ok = Better ? product32({(e + 1) / 2, (int64_t{b} + 2) / 2, f, below}, &t)
                             : product32({int64_t{b}, e, f, below}, &t);
            if (!ok || t < 0) return saturated;
            s += t;
        }
        if (s < 0 || s > INT32_MAX) return saturated;
    }
    return static_cast<int32_t>(s);
}

template <int64_t Cap>
int32_t storage_estimate(const polynode* p) {
    int64_t s = 0;
    for (; p; p = p->next) {
        s += p->numb ? number_estimate(p->ncoef) : 13 + int64_t{storage_estimate<Cap>(p->pcoef)};
        if (s > Cap) break;
    }
    return s > INT32_MAX ? INT32_MAX : static_cast<int32_t>(s);
}

// The product estimates of machine-integer mode (rat false) and digit mode.
struct ProductEstimate {
    bool rat;
    int64_t k;   // digit count of the other factor

    // A polynomial or coefficient that is a number.
    int64_t lone(const imag* n) const { return rat ? (n->count + k) * 2 + 8 : 9; }
    // A number node met in a walk.
    int64_t in_walk(const imag* n) const { return rat ? (n->count + k) * 2 + 9 : 9; }

    int64_t list(const polynode* p, int64_t start) const {
        int64_t s = start;
        for (; p; p = p->next) {
            s += p->numb ? in_walk(p->ncoef) : 4 + poly(p->pcoef);
            if (!fits32(s) || s < 0) return PRODUCT_ESTIMATE_SATURATED;
        }
        return s;
    }
    int64_t poly(const polynode* p) const { return p->numb ? lone(p->ncoef) : list(p, 0); }

    int32_t answer(const polynode* p, int down) const {
        int64_t r = p->numb ? lone(p->ncoef) : down ? list(p->pcoef, 4) : list(p, 0);
        return fits32(r) && r >= 0 ? static_cast<int32_t>(r) : PRODUCT_ESTIMATE_SATURATED;
    }
};

}  // namespace

// ---------------------------------------------------------------- coefficient sizes

int32_t max_digits(const polynode* p) {
    int32_t m = -1;
    for (; p; p = p->next) {
        int32_t b = p->numb ? bitlen(p->ncoef) : max_digits(p->pcoef);
        if (b > m) m = b;
    }
    return m;
}

int32_t quoly_max_digits(const quoly* q) {
    if (q->isnum) return bitlen(q->nnum);
    int32_t a = max_digits(q->pnum);
    int32_t b = max_digits(q->den);
    return a > b ? a : b;
}

// ---------------------------------------------------------------- masses

int32_t full_poly_mass(const polynode* p, int32_t a, int32_t b) {
    if (!p) return 0;
    int64_t s = 0;
    for (; p; p = p->next) {
        if (p->numb) {
            s += lintmode ? 1 : topbits(p->ncoef);
        } else {
            int64_t below = full_poly_mass(p->pcoef, a, b - 1);
            if (p->exp == 0) {
                s += below;
            } else {
                int64_t t;
                if (!product32({int64_t{a}, abs64(p->exp), int64_t{b}, below}, &t)) return FULL_MASS_CAP;
                s += t;
            }
        }
        if (s < 0 || s > INT32_MAX) return FULL_MASS_CAP;
    }
    return s < FULL_MASS_CAP ? static_cast<int32_t>(s) : FULL_MASS_CAP;
}

int32_t poly_mass(const polynode* p, int32_t a, int32_t b) { return weighted_mass<false>(p, a, b); }

int32_t better_poly_mass(const polynode* p, int32_t a, int32_t b) { return weighted_mass<true>(p, a, b); }

int32_t better_quoly_mass(const quoly* q) {
    int64_t r;
    if (q->isnum) {
        r = digit_count(q->nnum);
    } else if (q->rat && !lintmode) {
        r = int64_t{q->pnum->ncoef->count} + q->den->ncoef->count;
    } else {
        r = better_poly_mass(q->pnum, depthnum, 1);
        if (q->den && q->den->numb)
            r += topbits(q->den->ncoef) / 3 + 1;
        else if (q->den)
            r += int64_t{massnum} * better_poly_mass(q->den, depthnum, 1);
    }
    if (r < 0 || r > INT32_MAX) {
        std::printf("Warning. better_quoly_mass was negative. ");
        std::fflush(stdout);
        return BETTER_MASS_SATURATED;
    }
    return static_cast<int32_t>(r);
}

int32_t new_poly_mass(const polynode* p, int32_t k) {
    if (!p || p->numb) return 0;
    int64_t m = 0;
    // Seven terms say enough about the heaviest path; the walk stays short
    // however long the list is.
    for (int visited = 0; p && !p->numb && visited < 7; p = p->next, visited++) {
        const polynode* c = p->pcoef;
        int64_t below = (c && !c->numb) ? new_poly_mass(c, k + 1) : 0;
        if (below > NEW_MASS_CAP) below = NEW_MASS_CAP;
        int64_t here = below + int64_t{k} * p->exp;
        if (here > m) m = here;
    }
    return m < NEW_MASS_CAP ? static_cast<int32_t>(m) : NEW_MASS_CAP;
}

// ---------------------------------------------------------------- storage estimates

int32_t simple_poly_mass(const polynode* p) { return storage_estimate<INT64_MAX>(p); }

int32_t very_simple_poly_mass(const polynode* p) { return storage_estimate<250>(p); }

int32_t more_simple_poly_mass(const polynode* p) { return storage_estimate<350>(p); }

// ---------------------------------------------------------------- bytes

int64_t sizepoly(const polynode* p) {
    int64_t s = 0;
    for (; p; p = p->next) {
        s += polynodesize;
        if (p->numb)
            s += lintmode ? numbersize : numbersize + int64_t{p->ncoef->count} * numnodesize;
        else
            s += sizepoly(p->pcoef);
    }
    return s;
}

int64_t sizequoly(const quoly* q) {
    if (q->isnum)
        return quolysize + numbersize + (lintmode ? 0 : int64_t{q->nnum->count} * numnodesize);
    return quolysize + sizepoly(q->pnum) + sizepoly(q->den);
}

// ---------------------------------------------------------------- product estimates

int32_t lint_mode_answer(const polynode* p, int down) { return ProductEstimate{false, 0}.answer(p, down); }

int32_t rat_mode_answer(const polynode* p, int down, const int32_t* k) {
    return ProductEstimate{true, *k}.answer(p, down);
}

int32_t prod_num_size(const polynode* n, const polynode* p) {
    if (lintmode) return lint_mode_answer(p, 1);
    int32_t k = n->ncoef->count;
    return rat_mode_answer(p, 1, &k);
}
