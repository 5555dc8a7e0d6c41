// Term, node and degree counts. Each capped walk tests its cap after every
// node, with the inner partial sum already added, so a walk never goes on
// with a level whose cap was passed.
#include "poly/measures.h"

#include <climits>

#include "poly/polyvars.h"

int32_t deglist[DEGLIST_SIZE];

namespace {

// The 16-bit counters wrap modulo 2^16; their callers compare the sign-extended
// value with fixed thresholds.
int16_t add16(int16_t s, int32_t x) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(s) + static_cast<uint32_t>(x)));
}

bool field_level(int32_t k) { return field_depth > 0 && k >= field_depth; }

template <int32_t Cap>
int16_t capped_monomials16(const polynode* p) {
    int16_t s = 0;
    for (; p; p = p->next) {
        s = add16(s, p->numb ? 1 : capped_monomials16<Cap>(p->pcoef));
        if (s > Cap) break;
    }
    return s;
}

template <int32_t Cap>
int32_t capped_nodes32(const polynode* p) {
    int32_t s = 0;
    for (; p; p = p->next) {
        s += 1;
        if (!p->numb) s += capped_nodes32<Cap>(p->pcoef);
        if (s > Cap) break;
    }
    return s;
}

int32_t clamp_to_int32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int64_t sum_degrees_walk(const polynode* p, int32_t k, int64_t bound) {
    int64_t e = p->exp;
    if (k == number_polys || p->numb) return e;
    int64_t best = 0;
    for (; p && !p->numb; p = p->next) {
        int64_t s = sum_degrees_walk(p->pcoef, k + 1, bound - e);
        if (s > best) {
            if (e + s >= bound) return e + s;
            best = s;
        }
    }
    return e + best;
}

constexpr int32_t EXPON_CAP = 1600;
constexpr int32_t EXPON_CLAMP = 3200;

int32_t expon_count(const polynode* p, int32_t k, int first) {
    int32_t e1 = static_cast<int32_t>(static_cast<uint32_t>(p->exp) + 1u);
    if (k >= 1 && k < DEGLIST_SIZE) {
        if (first) {
            deglist[k] = e1;
            for (int32_t j = k + 1; j <= number_polys && j < DEGLIST_SIZE; j++) deglist[j] = 0;
        } else if (e1 > deglist[k]) {
            deglist[k] = e1;
        }
    }
    int32_t count = 0;
    for (; p; p = p->next) {
        // An exponent-0 term node only carries its coefficient down a level:
        // it takes no cell of a dense array of its own.
        if (p->numb)
            count += 1;
        else
            count += (p->exp >= 1 ? 1 : 0) + expon_count(p->pcoef, k + 1, 0);
        if (count > EXPON_CAP) return count > EXPON_CLAMP ? EXPON_CLAMP : count;
    }
    return count;
}

}  // namespace

// ---------------------------------------------------------------- monomials

int32_t f_poly_numterms(const polynode* p) {
    int32_t s = 0;
    for (; p; p = p->next) s += p->numb ? 1 : f_poly_numterms(p->pcoef);
    return s;
}

int16_t fast_numterms(const polynode* p) { return capped_monomials16<60>(p); }

int16_t poly_nodes(const polynode* p) { return capped_monomials16<40>(p); }

int32_t q_poly_numterms(const polynode* p) {
    constexpr int32_t cap = 200010;
    int32_t s = 0;
    for (; p; p = p->next) {
        s += p->numb ? 1 : q_poly_numterms(p->pcoef);
        if (s > cap) return cap;
    }
    return s;
}

// ---------------------------------------------------------------- nodes

int16_t node_total(const polynode* p) {
    int16_t s = 0;
    for (; p; p = p->next) {
        s = add16(s, 1);
        if (!p->numb) s = add16(s, node_total(p->pcoef));
        if (s > 17) break;
    }
    return s;
}

int32_t bigg_node_total(const polynode* p) { return capped_nodes32<12000>(p); }

int32_t bigger_node_total(const polynode* p) { return capped_nodes32<2560000>(p); }

int16_t big_node_total(const polynode* p) {
    int16_t s = 0;
    for (; p; p = p->next) {
        s = add16(s, 1);
        if (!p->numb) s = add16(s, big_node_total(p->pcoef));
        if (s > 800) return s > 1600 ? int16_t{1600} : s;
    }
    return s;
}

int16_t new_node_total(const polynode* p) {
    int16_t s = 0;
    for (; p; p = p->next) {
        if (p->numb)
            s = add16(s, 1);
        else
            s = add16(add16(s, p->exp), new_node_total(p->pcoef));
        if (s > 100) return s > 200 ? int16_t{200} : s;
    }
    return s;
}

// ---------------------------------------------------------------- field-aware

int16_t fast_f_numterms(const polynode* p, int32_t k) {
    if (field_level(k)) return 1;
    int16_t s = 0;
    for (; p; p = p->next) {
        s = add16(s, p->numb ? 1 : fast_f_numterms(p->pcoef, k + 1));
        if (s > 100) break;
    }
    return s;
}

int32_t poly_numterms(const polynode* p, int32_t k) {
    if (field_level(k)) return 1;
    int32_t s = 0;
    for (; p; p = p->next) s += p->numb ? 1 : poly_numterms(p->pcoef, k + 1);
    return s;
}

int32_t qpoly_numterms(const polynode* p, int32_t k) {
    if (field_level(k)) return 1;
    int32_t s = 0;
    for (; p; p = p->next) {
        if (p->numb) {
            s += 1;
            continue;
        }
        s += qpoly_numterms(p->pcoef, k + 1);
        if (s > 1000) break;
    }
    return s;
}

// ---------------------------------------------------------------- quolys

int32_t f_numterms(const quoly* q) {
    if (q->isnum) return 1;
    return f_poly_numterms(q->pnum) + f_poly_numterms(q->den);
}

int32_t numterms(const quoly* q) {
    if (q->isnum) return 1;
    int32_t n = poly_numterms(q->pnum, 1);
    if (q->den) n += poly_numterms(q->den, 1);
    return n;
}

int32_t q_numterms(const quoly* q) {
    if (q->isnum) return 1;
    int32_t n = qpoly_numterms(q->pnum, 1);
    if (q->den) n += qpoly_numterms(q->den, 1);
    return n;
}

// ---------------------------------------------------------------- degrees and depths

void max_degree(const polynode* p, int32_t n, int32_t* m) {
    if (n == 1) {
        if (p->exp > *m) *m = p->exp;
        return;
    }
    for (; p; p = p->next) {
        if (p->numb) {
            if (*m < 0) *m = 0;
        } else {
            max_degree(p->pcoef, n - 1, m);
        }
    }
}

int32_t sum_degrees(const polynode* p, int32_t k, int32_t bound) {
    return clamp_to_int32(sum_degrees_walk(p, k, bound));
}

int32_t poly_weight(const polynode* p, int32_t k) {
    if (field_level(k)) return 1;
    if (!p) return 0;
    int64_t w = 0;
    for (; p; p = p->next) {
        w += p->numb ? int64_t{k} : int64_t{k} * poly_weight(p->pcoef, k + 1);
        if (w > POLY_WEIGHT_CAP) return POLY_WEIGHT_CAP;
    }
    if (w < 0) return POLY_WEIGHT_CAP;
    return static_cast<int32_t>(w);
}

int16_t depth_below(const polynode* p) {
    int16_t d = 0;
    for (; p; p = p->next) {
        if (p->numb) continue;
        int16_t c = add16(depth_below(p->pcoef), 1);
        if (c > d) d = c;
    }
    return d;
}

int16_t poly_height(const polynode* p) {
    while (p && !p->numb && p->exp == 0 && !p->next) p = p->pcoef;
    return depth_below(p);
}

int32_t expon_node_total(const polynode* p, int32_t k, int first, int64_t* size) {
    int32_t count = expon_count(p, k, first);
    if (!first) return count;
    int64_t s = 1;
    for (int32_t j = k; j <= number_polys && j >= 1 && j < DEGLIST_SIZE; j++) {
        if (deglist[j] == 0) break;
        // An overflowing product counts as not positive: the array could not
        // be allocated whatever the wrapped value says.
        if (__builtin_mul_overflow(s, int64_t{deglist[j]}, &s) || s <= 0) {
            s = DENSE_SIZE_TOO_BIG;
            break;
        }
    }
    *size = s;
    return count;
}
