// The copies of split field levels over irreducible factors (see
// factor_view.h).
#include "gcd/factor_view.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "gcd/field_levels.h"
#include "gcd/split_field_gcd.h"
#include "gcd/split_images.h"
#include "gcd/upoly_field.h"
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

// f (n + 1 columns, the one level's z in the last) over n + k columns,
// the tower's z in the last and the other field columns 0.
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

// The field levels from rec inward (and the ordinary columns outside
// them) where they make no field modulo the prime and their copies are
// not those of roots: where this view is wanted.
bool unsplit_levels(pt* rec, std::vector<pt*>* levels, int32_t* n) {
    if (!modularmode || !(mod_is_prime || finf) || modulus < 2 || field_depth <= 0 || !rec) return false;
    if (field_levels_make_field() || !view_levels(rec, levels, n)) return false;
    return finf || modulus < 3 || !tower_roots(*levels);
}

template <class Run>
auto over_view_field(Run run) {
    if (finf) return run(upoly::GF2k{2, static_cast<uint32_t>(modulus)});
    return run(flatgcd::Field(static_cast<uint32_t>(modulus)));
}

std::shared_ptr<const FactorView> built(const std::vector<pt*>& levels, int32_t n) {
    auto v = std::make_shared<FactorView>();
    const uint32_t q = static_cast<uint32_t>(modulus);
    if (levels.size() == 1) {
        if (!relation_factors(levels[0], q, &v->factors)) return nullptr;
    } else {
        const TowerAsLevel* T = tower_as_level(levels);
        if (!T) return nullptr;
        v->tower = *T;
        v->factors = T->factors;
    }
    if (v->factors.size() < 2 || v->factors.size() > 64) return nullptr;
    std::sort(v->factors.begin(), v->factors.end());
    v->whole = over_view_field([&](const auto& F) {
        SplitFactor w{1};
        for (const SplitFactor& m : v->factors) {
            SplitFactor next(w.size() + m.size() - 1, 0);
            for (size_t i = 0; i < w.size(); i++)
                for (size_t j = 0; j < m.size(); j++) next[i + j] = F.add(next[i + j], F.mul(w[i], m[j]));
            w = std::move(next);
        }
        return w;
    });
    v->n = n;
    v->levels = static_cast<int32_t>(levels.size());
    const size_t k = levels.size();
    v->degree.resize(k);
    v->stride.resize(k);
    v->dim = 1;
    for (size_t j = k; j-- > 0;) {
        v->degree[j] = static_cast<uint32_t>(levels[k - 1 - j]->modout_degree);
        v->stride[j] = v->dim;
        v->dim *= v->degree[j];
    }
    return v;
}

// Every pivot search and every pivot asks: the views of a few sets of
// relations are kept by their print (the prime and the relations' terms)
// and the ordinary columns, and a nested question under other relations
// (a factor's copy, another prime) finds its own.
std::shared_ptr<const FactorView> kept_view(const std::vector<pt*>& levels, int32_t n) {
    struct Kept {
        std::vector<uint64_t> print;
        int32_t n = -1;
        std::shared_ptr<const FactorView> view;
    };
    static std::array<Kept, 4> kept;
    static size_t next_slot = 0;
    for (const Kept& k : kept)
        if (k.n == n && same_relation_print(levels, k.print)) return k.view;
    std::vector<uint64_t> print;
    std::shared_ptr<const FactorView> view = built(levels, n);
    if (!relation_print(levels, &print)) return view;
    Kept& k = kept[next_slot];
    next_slot = (next_slot + 1) % kept.size();
    k = Kept{std::move(print), n, view};
    return view;
}

}  // namespace

std::shared_ptr<const FactorView> factor_view_at(pt* rec) {
    std::vector<pt*> levels;
    int32_t n = 0;
    return unsplit_levels(rec, &levels, &n) ? kept_view(levels, n) : nullptr;
}

bool factor_view_missing(pt* rec) {
    std::vector<pt*> levels;
    int32_t n = 0;
    return unsplit_levels(rec, &levels, &n) && !kept_view(levels, n);
}

namespace {

// The copies in which an element vanishes, read off its terms as stored:
// each coefficient over the ordinary columns is gathered on the basis
// products of the levels, taken to the one level (z), and reduced by each
// factor still in question.
template <class Fld>
class Vanishing {
public:
    // The room is the caller's, kept between questions (no question is
    // asked inside another).
    struct Room {
        std::vector<uint32_t> at, z, rest, used;
    };
    Vanishing(const FactorView& v, const Fld& F, bool some_only, Room* room)
        : v_(v), F_(F), some_only_(some_only), at_(room->at), z_(room->z), rest_(room->rest), used_(room->used) {
        at_.assign(v.dim, 0);
        z_.assign(v.dim, 0);
        used_.clear();
        where_ = v.count() == 64 ? ~uint64_t{0} : (uint64_t{1} << v.count()) - 1;
    }

    bool read(const polynode* p) {
        if (v_.n > 0) return ordinary(p, 0);
        if (!levels(p, 0, 0)) return false;
        settle();
        return true;
    }
    uint64_t where() const { return where_; }

private:
    const FactorView& v_;
    const Fld& F_;
    bool some_only_;
    uint64_t where_;
    std::vector<uint32_t>& at_;
    std::vector<uint32_t>& z_;
    std::vector<uint32_t>& rest_;
    std::vector<uint32_t>& used_;

    uint32_t number(const polynode* t) const {
        const int64_t q = modulus;
        const int64_t r = t->ncoef->value % q;
        return static_cast<uint32_t>(r < 0 ? r + q : r);
    }

    void add(uint32_t b, uint32_t c) {
        if (!c) return;
        if (!at_[b]) used_.push_back(b);
        at_[b] = F_.add(at_[b], c);
    }

    // The terms at field column j, the basis index so far `base`.
    bool levels(const polynode* p, size_t j, uint32_t base) {
        for (const polynode* t = p; t; t = t->next) {
            if (t->numb) {
                add(base, number(t));
                continue;
            }
            if (j >= v_.degree.size() || t->exp < 0) return false;
            // One level reduces whatever it holds; a tower's basis has no
            // room past a level's degree.
            const uint32_t e = static_cast<uint32_t>(t->exp);
            if (v_.levels > 1 && e >= v_.degree[j]) return false;
            const uint32_t b = base + e * v_.stride[j];
            if (b >= at_.size()) at_.resize(size_t{b} + 1, 0);
            if (!levels(t->pcoef, j + 1, b)) return false;
        }
        return true;
    }

    bool ordinary(const polynode* p, int32_t depth) {
        for (const polynode* t = p; t; t = t->next) {
            if (t->exp < 0) return false;
            if (t->numb) {
                add(0, number(t));
                settle();
            } else if (depth + 1 == v_.n) {
                if (!levels(t->pcoef, 0, 0)) return false;
                settle();
            } else if (!ordinary(t->pcoef, depth + 1)) {
                return false;
            }
            if (some_only_ && !where_) return true;
        }
        return true;
    }

    // The coefficient gathered: the copies in which it does not vanish
    // leave where_.
    void settle() {
        const uint32_t D = v_.dim;
        if (v_.levels == 1) {
            z_.assign(at_.begin(), at_.end());
        } else {
            std::fill(z_.begin(), z_.end(), 0);
            for (uint32_t b : used_) {
                const uint32_t c = at_[b];
                if (!c) continue;
                for (uint32_t i = 0; i < D; i++) z_[i] = F_.add(z_[i], F_.mul(v_.tower.to_z[size_t{i} * D + b], c));
            }
        }
        for (uint32_t b : used_) at_[b] = 0;
        used_.clear();
        for (size_t c = 0; c < v_.count(); c++) {
            if (!(where_ >> c & 1)) continue;
            rest_.assign(z_.begin(), z_.end());
            upoly::rem_in_place(rest_, v_.factors[c], F_);
            if (!rest_.empty()) where_ &= ~(uint64_t{1} << c);
        }
    }
};

// The inverse: the one level's terms over the n + levels columns.
bool from_one_level(const FactorView& v, const FlatPoly& one, FlatPoly* out) {
    if (v.levels == 1) {
        *out = one;
        out->nvars = v.n + 1;
        return true;
    }
    return level_to_tower(widened(one, v.n, v.levels), v.n, v.tower, out);
}

// f (n + k columns, the tower's z in the last, the other field columns 0)
// over n + 1 columns.
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

// f over the n + levels columns read on the one level (n + 1 columns).
bool one_level(const FactorView& v, const FlatPoly& f, FlatPoly* one) {
    if (f.nvars != v.n + v.levels) return false;
    *one = f;
    if (v.levels == 1) return true;
    FlatPoly z;
    if (!tower_to_level(f, v.n, v.tower, &z)) return false;
    *one = squeezed(z, v.n);
    return true;
}

}  // namespace

bool factor_view_vanishing(const FactorView& v, const polynode* p, uint64_t* where, bool some_only) {
    return over_view_field([&](const auto& F) {
        using Walk = Vanishing<std::decay_t<decltype(F)>>;
        static typename Walk::Room room;
        Walk walk(v, F, some_only, &room);
        if (!walk.read(p)) return false;
        *where = walk.where();
        return true;
    });
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
    if (v.n != 0 || f.nvars != v.levels) return false;
    const uint32_t q = static_cast<uint32_t>(modulus);
    const size_t k = static_cast<size_t>(v.levels);
    const uint32_t D = v.dim;
    return over_view_field([&](const auto& F) {
        // f on the basis products, and as a polynomial in the one level's z.
        SplitFactor a(D, 0);
        for (size_t i = 0; i < f.terms(); i++) {
            size_t b = 0;
            for (size_t j = 0; j < k; j++) {
                const int32_t e = f.exp(i)[j];
                if (e < 0 || (k > 1 && static_cast<uint32_t>(e) >= v.degree[j])) return false;
                b += static_cast<size_t>(e) * v.stride[j];
            }
            if (b >= a.size()) a.resize(b + 1, 0);
            a[b] = F.add(a[b], f.coefs[i]);
        }
        SplitFactor z = a;
        if (k > 1) {
            std::fill(z.begin(), z.end(), 0);
            for (uint32_t b = 0; b < D; b++)
                if (a[b])
                    for (uint32_t i = 0; i < D; i++) z[i] = F.add(z[i], F.mul(v.tower.to_z[size_t{i} * D + b], a[b]));
        }
        upoly::trim(z);
        // Euclid modulo the whole relation, over the ground field, meets
        // no zero divisor: the inverse there is the one the copies'
        // inverses join to, and where there is none some copy's is missing.
        *where = 0;
        const SplitFactor inv = inverse_by_factor(z, v.whole, q);
        if (inv.empty()) {
            for (size_t c = 0; c < v.count(); c++)
                if (inverse_by_factor(z, v.factors[c], q).empty()) *where |= uint64_t{1} << c;
            return *where != 0;
        }
        SplitFactor back = inv;
        if (k > 1) {
            back.assign(D, 0);
            for (uint32_t e = 0; e < inv.size(); e++)
                if (inv[e])
                    for (uint32_t b = 0; b < D; b++)
                        back[b] = F.add(back[b], F.mul(v.tower.from_z[size_t{b} * D + e], inv[e]));
        }
        out->nvars = v.levels;
        out->exps.clear();
        out->coefs.clear();
        std::vector<int32_t> row(k);
        for (size_t b = back.size(); b-- > 0;) {
            if (!back[b]) continue;
            for (size_t j = 0; j < k; j++)
                row[j] = static_cast<int32_t>(k > 1 ? b / v.stride[j] % v.degree[j] : b);
            out->push(row.data(), back[b]);
        }
        return true;
    });
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
