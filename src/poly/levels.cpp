// Structure queries over variable levels, and the dummy variable record.
//
// Every query only reads the polynomial. They recurse once per level, so
// the stack depth is the number of variables, not the number of terms.
#include "poly/levels.h"

#include <algorithm>
#include <cstring>

#include "poly/polyvars.h"
#include "storage/other_records.h"

namespace {

// Factoring handles no level at or beyond this one when there are no field
// levels to stop at.
constexpr int32_t NO_LEVEL_LIMIT = 16384;

// 1 + the depth of c's terms, where a chain that begins with its constant
// (a number node) is not looked into.
int32_t chain_depth(const polynode* p);

int32_t coef_depth(const polynode* c) { return c->numb ? 0 : chain_depth(c); }

int32_t chain_depth(const polynode* p) {
    int32_t d = 0;
    for (const polynode* t = p; t; t = t->next)
        if (!t->numb) d = std::max(d, 1 + coef_depth(t->pcoef));
    return d;
}

template <class T>
void ensure(std::vector<T>& flags, int32_t index) {
    if (flags.size() <= static_cast<size_t>(index)) flags.resize(static_cast<size_t>(index) + 1, 0);
}

}  // namespace

int32_t max_below(polynode* p, int32_t k) {
    if (!p || field_depth <= k) return 0;
    int32_t m = p->exp != 0 ? k : 0;
    for (const polynode* t = p; t; t = t->next)
        if (!t->numb && !t->pcoef->numb) m = std::max(m, max_below(t->pcoef, k + 1));
    return m;
}

int32_t quick_depth_below(polynode* p, int32_t k) {
    if (field_depth < 1) return p ? chain_depth(p) : 0;
    if (!p) return 1;
    int32_t deepest = k;
    for (const polynode* t = p; t; t = t->next)
        if (!t->numb && !t->pcoef->numb) deepest = std::max(deepest, max_below(t->pcoef, k + 1));
    return 1 + (deepest - k);
}

// A chain depends on its variable when its first exponent is non-zero:
// with Laurent exponents a chain may also begin below 0.
void mark_vars(polynode* q, std::vector<int32_t>& flags, int32_t L) {
    ensure(flags, L);
    if (q->exp != 0) flags[static_cast<size_t>(L)] = 1;
    for (polynode* t = q; t; t = t->next)
        if (!t->numb) mark_vars(t->pcoef, flags, L + 1);
}

int32_t polys_there(polynode* p, int32_t k) {
    if (k > number_polys || k < 0) return 0;
    std::vector<int32_t> flags(static_cast<size_t>(number_polys) + 2, 0);
    flags[static_cast<size_t>(k)] = 1;
    for (polynode* t = p; t; t = t->next)
        if (!t->numb) mark_vars(t->pcoef, flags, k + 1);
    int32_t count = 0;
    for (int32_t L = k; L <= number_polys; L++) count += flags[static_cast<size_t>(L)] != 0;
    return count;
}

void poly_vars(polynode* q, int32_t L, std::vector<uint16_t>& flags) {
    for (polynode* t = q; t; t = t->next) {
        if (t->numb) continue;
        if (t->exp != 0) {
            ensure(flags, L);
            flags[static_cast<size_t>(L)] = 1;
        }
        poly_vars(t->pcoef, L + 1, flags);
    }
}

int32_t driver_poly_vars(polynode* p) {
    std::vector<uint16_t> flags(static_cast<size_t>(std::max(number_polys, 0)) + 1, 0);
    poly_vars(p, 0, flags);
    int32_t count = 0;
    for (uint16_t f : flags) count += f;
    return count;
}

int exists_field_element(polynode* q, int32_t k) {
    for (polynode* t = q; t; t = t->next) {
        if (t->numb) continue;
        if (k >= field_depth || exists_field_element(t->pcoef, k + 1)) return 1;
    }
    return 0;
}

int both_above_field_depth(polynode* u, polynode* v, int32_t k) {
    for (polynode* op : {u, v}) {
        if (!op) continue;
        polynode* t = op;
        if (t->numb)
            t = t->next;   // the constant term reaches no level
        else if (k >= field_depth)
            return 0;
        for (; t; t = t->next)
            if (!t->numb && exists_field_element(t->pcoef, k + 1)) return 0;
    }
    return 1;
}

int nogood(polynode* q, int32_t k, int32_t stop) {
    if (!q || k + 1 == stop) return 0;
    for (polynode* t = q; t; t = t->next) {
        if (t->numb) continue;
        polynode* c = t->pcoef;
        if (c->exp != 0 || (!c->numb && nogood(c, k + 1, stop))) return 1;
    }
    return 0;
}

int all_coefs_invrtble(polynode* p, int32_t k) {
    if (!p || field_depth == k + 1) return 1;
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        polynode* c = t->pcoef;
        if (c->exp != 0 || (!c->numb && nogood(c, k + 1, field_depth))) return 0;
    }
    return 1;
}

int all_coefs_invrtble_both(polynode* u, polynode* v, int32_t k) {
    if (field_depth == k + 1) return 1;
    return all_coefs_invrtble(u, k) && all_coefs_invrtble(v, k);
}

int cant_factor(polynode* p, int32_t* code, int check) {
    // p's main level: the first chain, along exponent-0 terms, that is more
    // than padding.
    int32_t m = 1;
    polynode* chain = p;
    while (!chain->numb && chain->exp == 0) {
        chain = chain->pcoef;
        m++;
    }
    // The deepest modded-out variable that makes no field.
    int32_t non_field = -1;
    int32_t pos = 1;
    for (const pt* v = polynames; v; v = v->next, pos++)
        if (v->relation && !v->field) non_field = pos;

    *code = 298;
    int32_t f, limit;
    if (m > non_field) {
        *code = 299;
        f = field_depth;
        limit = field_depth ? field_depth : NO_LEVEL_LIMIT;
    } else {
        if (field_depth) return 1;
        *code = 299;
        f = 0;
        limit = NO_LEVEL_LIMIT;
    }
    if (!check) return 0;
    if (m >= limit || f == m + 1) return 0;
    for (polynode* t = chain; t; t = t->next) {
        if (t->numb) continue;
        polynode* c = t->pcoef;
        if (c->exp != 0 || (!c->numb && nogood(c, m + 1, f))) return 1;
    }
    return 0;
}

void newdummy(const pt* src, pt** dst) {
    newpt(dst);
    pt* d = *dst;
    std::memcpy(d->name, src->name, sizeof d->name);
    d->hash = src->hash;
    d->level = src->level;
    d->modout_degree = src->modout_degree;
    d->next = src->next;
}
