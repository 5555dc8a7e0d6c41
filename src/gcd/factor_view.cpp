// The copies of split field levels over irreducible factors (see
// factor_view.h).
#include "gcd/factor_view.h"

#include <algorithm>

#include "gcd/field_levels.h"
#include "gcd/split_field_gcd.h"
#include "gcd/split_images.h"
#include "gcd/tower_level.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

namespace {

using flatgcd::FlatPoly;

// The field levels from rec inward, innermost first, and the ordinary
// columns outside them.
bool view_levels(pt* rec, std::vector<pt*>* levels, int32_t* n) {
    if (split_field_levels(rec, levels)) {
        *n = levels_from(rec) - static_cast<int32_t>(levels->size());
        return true;
    }
    levels->clear();
    for (pt* r = rec; r; r = r->next) {
        if (!r->relation || !r->field || r->modout_degree < 2) return false;
        levels->push_back(r);
    }
    std::reverse(levels->begin(), levels->end());
    *n = 0;
    return !levels->empty();
}

// The tower's one level, looked up afresh: the kept ones move.
const TowerAsLevel* tower_of(pt* rec, int32_t n) {
    std::vector<pt*> levels;
    int32_t m = 0;
    if (!view_levels(rec, &levels, &m) || m != n || levels.size() < 2) return nullptr;
    return tower_as_level(levels);
}

// f (n + k columns, the tower's z in the last, the other field columns 0)
// over n + 1 columns, and back.
FlatPoly squeezed(const FlatPoly& f, int32_t n) {
    FlatPoly out;
    out.nvars = n + 1;
    std::vector<int32_t> row(static_cast<size_t>(n) + 1);
    for (size_t i = 0; i < f.terms(); i++) {
        std::copy(f.exp(i), f.exp(i) + n, row.begin());
        row[static_cast<size_t>(n)] = f.exp(i)[f.nvars - 1];
        out.push(row.data(), f.coefs[i]);
    }
    return out;
}

FlatPoly widened(const FlatPoly& f, int32_t n, int32_t k) {
    FlatPoly out;
    out.nvars = n + k;
    std::vector<int32_t> row(static_cast<size_t>(n + k), 0);
    for (size_t i = 0; i < f.terms(); i++) {
        std::copy(f.exp(i), f.exp(i) + n, row.begin());
        row[static_cast<size_t>(n + k - 1)] = f.exp(i)[n];
        out.push(row.data(), f.coefs[i]);
    }
    return out;
}

}  // namespace

namespace {

// The field levels from rec inward (and the ordinary columns outside
// them) where they make no field modulo the prime and their copies are
// not those of roots: where this view is wanted.
bool unsplit_levels(pt* rec, std::vector<pt*>* levels, int32_t* n) {
    if (!modularmode || !(mod_is_prime || finf) || modulus < 2 || field_depth <= 0 || !rec) return false;
    if (field_levels_make_field() || !view_levels(rec, levels, n)) return false;
    return finf || modulus < 3 || !tower_roots(*levels);
}

}  // namespace

bool factor_view_at(pt* rec, FactorView* v) {
    std::vector<pt*> levels;
    if (!unsplit_levels(rec, &levels, &v->n)) return false;
    v->rec = rec;
    const uint32_t q = static_cast<uint32_t>(modulus);
    if (levels.size() == 1) {
        if (!relation_factors(levels[0], q, &v->factors)) return false;
    } else {
        const TowerAsLevel* T = tower_as_level(levels);
        if (!T) return false;
        v->factors = T->factors;
    }
    if (v->factors.size() < 2 || v->factors.size() > 64) return false;
    std::sort(v->factors.begin(), v->factors.end());
    v->levels = static_cast<int32_t>(levels.size());
    return true;
}

bool factor_view_missing(pt* rec) {
    std::vector<pt*> levels;
    int32_t n = 0;
    if (!unsplit_levels(rec, &levels, &n)) return false;
    FactorView v;
    return !factor_view_at(rec, &v);
}

namespace {

// f over the n + 1 columns of the one level.
bool one_level(const FactorView& v, const FlatPoly& f, FlatPoly* one) {
    if (f.nvars != v.n + v.levels) return false;
    *one = f;
    if (v.levels == 1) return true;
    const TowerAsLevel* T = tower_of(v.rec, v.n);
    FlatPoly z;
    if (!T || !tower_to_level(f, v.n, *T, &z)) return false;
    *one = squeezed(z, v.n);
    return true;
}

// The inverse: the one level's terms over the n + levels columns.
bool from_one_level(const FactorView& v, const FlatPoly& one, FlatPoly* out) {
    if (v.levels == 1) {
        *out = one;
        out->nvars = v.n + 1;
        return true;
    }
    const TowerAsLevel* T = tower_of(v.rec, v.n);
    return T && level_to_tower(widened(one, v.n, v.levels), v.n, *T, out);
}

}  // namespace

bool factor_view_vanishing(const FactorView& v, const FlatPoly& f, uint64_t* where) {
    FlatPoly one;
    if (!one_level(v, f, &one)) return false;
    *where = 0;
    for (size_t c = 0; c < v.count(); c++)
        if (reduce_by_factor(one, v.n, v.factors[c], static_cast<uint32_t>(modulus)).terms() == 0)
            *where |= uint64_t{1} << c;
    return true;
}

bool factor_view_idempotent(const FactorView& v, uint64_t copies, FlatPoly* out) {
    std::vector<FlatPoly> images(v.count());
    const std::vector<int32_t> zero(static_cast<size_t>(v.n) + 1, 0);
    for (size_t c = 0; c < v.count(); c++) {
        images[c].nvars = v.n + 1;
        if (copies >> c & 1) images[c].push(zero.data(), 1);
    }
    FlatPoly one;
    factor_join(images, v.n, v.factors, static_cast<uint32_t>(modulus), &one);
    return from_one_level(v, one, out);
}

bool factor_view_inverse(const FactorView& v, const FlatPoly& f, FlatPoly* out, uint64_t* where) {
    FlatPoly one;
    if (v.n != 0 || !one_level(v, f, &one)) return false;
    const uint32_t q = static_cast<uint32_t>(modulus);
    SplitFactor a;
    for (size_t i = 0; i < one.terms(); i++) {
        const size_t e = static_cast<size_t>(one.exp(i)[0]);
        if (a.size() <= e) a.resize(e + 1, 0);
        a[e] = one.coefs[i];
    }
    std::vector<FlatPoly> images(v.count());
    *where = 0;
    for (size_t c = 0; c < v.count(); c++) {
        const SplitFactor inv = inverse_by_factor(a, v.factors[c], q);
        images[c].nvars = 1;
        if (inv.empty()) *where |= uint64_t{1} << c;
        for (size_t e = inv.size(); e-- > 0;) {
            const int32_t k = static_cast<int32_t>(e);
            if (inv[e]) images[c].push(&k, inv[e]);
        }
    }
    if (*where) return true;
    FlatPoly joined;
    factor_join(images, 0, v.factors, q, &joined);
    return from_one_level(v, joined, out);
}

int factor_view_divide(const FactorView& v, const FlatPoly& u, const FlatPoly& m, FlatPoly* out) {
    FlatPoly ou, om;
    if (!one_level(v, u, &ou) || !one_level(v, m, &om)) return -1;
    const uint32_t q = static_cast<uint32_t>(modulus);
    std::vector<FlatPoly> images(v.count());
    for (size_t c = 0; c < v.count(); c++) {
        const FlatPoly mc = reduce_by_factor(om, v.n, v.factors[c], q);
        if (mc.terms() == 0) return -1;
        if (!divide_by_factor(reduce_by_factor(ou, v.n, v.factors[c], q), mc, v.n, v.factors[c], q, &images[c]))
            return 0;
    }
    FlatPoly joined;
    factor_join(images, v.n, v.factors, q, &joined);
    return from_one_level(v, joined, out) ? 1 : -1;
}
