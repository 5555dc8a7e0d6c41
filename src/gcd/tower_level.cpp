// A tower of field levels read as one level (see tower_level.h).
#include "gcd/tower_level.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "gcd/small_field_tower.h"
#include "gcd/upoly_field.h"
#include "numbers/ring.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"

namespace {

using flatgcd::FlatPoly;
using upoly::GF2k;

// Larger towers keep to the roads they had.
constexpr uint32_t MAX_DIM = 64;
constexpr int TRIES = 24;

template <class Run>
auto over_field(uint32_t q, Run run) {
    if (finf) return run(GF2k{2, q});
    return run(flatgcd::Field(q));
}

// The inverse of the D x D matrix a (row-major) into *inv; false when it
// is singular.
template <class Fld>
bool invert(std::vector<uint32_t> a, uint32_t D, const Fld& F, std::vector<uint32_t>* inv) {
    inv->assign(static_cast<size_t>(D) * D, 0);
    for (uint32_t i = 0; i < D; i++) (*inv)[i * D + i] = 1;
    for (uint32_t c = 0; c < D; c++) {
        uint32_t r = c;
        while (r < D && a[r * D + c] == 0) r++;
        if (r == D) return false;
        for (uint32_t j = 0; j < D; j++) {
            std::swap(a[r * D + j], a[c * D + j]);
            std::swap((*inv)[r * D + j], (*inv)[c * D + j]);
        }
        const uint32_t s = F.inv(a[c * D + c]);
        for (uint32_t j = 0; j < D; j++) {
            a[c * D + j] = F.mul(a[c * D + j], s);
            (*inv)[c * D + j] = F.mul((*inv)[c * D + j], s);
        }
        for (uint32_t i = 0; i < D; i++) {
            const uint32_t f = a[i * D + c];
            if (i == c || f == 0) continue;
            for (uint32_t j = 0; j < D; j++) {
                a[i * D + j] = F.sub(a[i * D + j], F.mul(f, a[c * D + j]));
                (*inv)[i * D + j] = F.sub((*inv)[i * D + j], F.mul(f, (*inv)[c * D + j]));
            }
        }
    }
    return true;
}

// The basis index of the field columns of e (from column n on, the
// outermost level first).
uint32_t index_of(const int32_t* e, int32_t n, int32_t k, const std::vector<uint32_t>& degree) {
    uint32_t idx = 0;
    for (int32_t c = 0; c < k; c++) idx = idx * degree[static_cast<size_t>(k - 1 - c)] + static_cast<uint32_t>(e[n + c]);
    return idx;
}

// The coordinates of a tower element (at the outermost field level).
bool coordinates(const polynode* p, pt* outer, int32_t k, const std::vector<uint32_t>& degree, uint32_t D,
                 std::vector<uint32_t>* v) {
    FlatPoly f;
    if (!flatten_residues(p, outer, &f) || f.nvars != k) return false;
    v->assign(D, 0);
    for (size_t i = 0; i < f.terms(); i++) {
        for (int32_t c = 0; c < k; c++)
            if (static_cast<uint32_t>(f.exp(i)[c]) >= degree[static_cast<size_t>(k - 1 - c)]) return false;
        (*v)[index_of(f.exp(i), 0, k, degree)] = f.coefs[i];
    }
    return true;
}

// theta, given by its coordinates; the coordinates of its powers 0 .. D
// as the columns of *from_z (D of them) and *last.
bool powers(const std::vector<pt*>& levels, const std::vector<uint32_t>& theta_at,
            const std::vector<uint32_t>& degree, uint32_t D, std::vector<uint32_t>* from_z,
            std::vector<uint32_t>* last) {
    const int32_t k = static_cast<int32_t>(levels.size());
    pt* outer = levels.back();
    FlatPoly th;
    th.nvars = k;
    std::vector<int32_t> e(static_cast<size_t>(k), 0);
    for (uint32_t idx = D; idx-- > 0;) {
        if (!theta_at[idx]) continue;
        uint32_t rest = idx;
        for (int32_t j = 0; j < k; j++) {
            e[static_cast<size_t>(k - 1 - j)] = static_cast<int32_t>(rest % degree[static_cast<size_t>(j)]);
            rest /= degree[static_cast<size_t>(j)];
        }
        th.push(e.data(), theta_at[idx]);
    }
    FlatPoly one;
    one.nvars = k;
    std::fill(e.begin(), e.end(), 0);
    one.push(e.data(), 1);
    PolyHold theta(poly_from_flat(th)), power(poly_from_flat(one));
    from_z->assign(static_cast<size_t>(D) * D, 0);
    std::vector<uint32_t> v;
    for (uint32_t j = 0; j <= D; j++) {
        if (!coordinates(power.p, outer, k, degree, D, &v)) return false;
        if (j == D) {
            *last = v;
            break;
        }
        for (uint32_t i = 0; i < D; i++) (*from_z)[i * D + j] = v[i];
        PolyHold next;
        poly_mult(power.p, theta.p, &next.p, outer);
        std::swap(power.p, next.p);
    }
    return true;
}

// T's levels, degrees, mu and changes of basis from a generator of the
// algebra; false when none is found among those tried.
template <class Fld>
bool generated(const std::vector<pt*>& levels, const Fld& F, TowerAsLevel* T) {
    const int32_t k = static_cast<int32_t>(levels.size());
    std::vector<uint32_t> degree;
    uint64_t D = 1;
    for (pt* r : levels) {
        degree.push_back(static_cast<uint32_t>(r->modout_degree));
        D *= static_cast<uint64_t>(r->modout_degree);
    }
    if (k < 2 || D > MAX_DIM) return false;
    const uint32_t q = upoly::elements(F);
    uint64_t state = q * 0x9E3779B9ull + D;
    std::vector<uint32_t> theta(D, 0);
    for (int attempt = 0; attempt < TRIES; attempt++) {
        // First the sum of the level variables, then any element: over a
        // small prime the copies may be too alike for a sum of variables.
        if (attempt == 0) {
            uint32_t radix = 1;
            for (uint32_t d : degree) {
                theta[radix] = 1;
                radix *= d;
            }
        } else {
            for (uint32_t& a : theta) a = static_cast<uint32_t>(upoly::next_random(&state) % q);
        }
        std::vector<uint32_t> from_z, last, to_z;
        if (!powers(levels, theta, degree, static_cast<uint32_t>(D), &from_z, &last)) return false;
        if (!invert(from_z, static_cast<uint32_t>(D), F, &to_z)) continue;
        // theta^D = sum a_i theta^i: mu = z^D - sum a_i z^i.
        SplitFactor mu(static_cast<size_t>(D) + 1, 0);
        mu[D] = 1;
        for (uint32_t i = 0; i < D; i++) {
            uint32_t a = 0;
            for (uint32_t j = 0; j < D; j++) a = F.add(a, F.mul(to_z[i * D + j], last[j]));
            mu[i] = F.neg(a);
        }
        T->levels = k;
        T->dim = static_cast<uint32_t>(D);
        T->degree = degree;
        T->mu = std::move(mu);
        T->from_z = std::move(from_z);
        T->to_z = std::move(to_z);
        return true;
    }
    return false;
}

template <class Fld>
bool build(const std::vector<pt*>& levels, const Fld& F, TowerAsLevel* T) {
    // A mu that is no product of distinct factors makes a tower that is no
    // product of fields; one factor, a field.
    return generated(levels, F, T) && split_factors(T->mu, upoly::elements(F), &T->factors) &&
           T->factors.size() >= 2;
}

// y = M x over the field, M D x D.
std::vector<uint32_t> apply(const std::vector<uint32_t>& M, const std::vector<uint32_t>& x, uint32_t D) {
    return over_field(static_cast<uint32_t>(modulus), [&](const auto& F) {
        std::vector<uint32_t> y(D, 0);
        for (uint32_t i = 0; i < D; i++)
            for (uint32_t j = 0; j < D; j++)
                if (x[j]) y[i] = F.add(y[i], F.mul(M[i * D + j], x[j]));
        return y;
    });
}

// The terms of f grouped by their first n columns, each group's
// coefficient a vector indexed by `slot` of the rest.
template <class Slot>
std::vector<std::pair<std::vector<int32_t>, std::vector<uint32_t>>> groups(const FlatPoly& f, int32_t n, uint32_t D,
                                                                            Slot slot) {
    std::vector<std::pair<std::vector<int32_t>, std::vector<uint32_t>>> out;
    for (size_t i = 0; i < f.terms(); i++) {
        const int32_t* e = f.exp(i);
        if (out.empty() || !std::equal(e, e + n, out.back().first.begin()))
            out.emplace_back(std::vector<int32_t>(e, e + n), std::vector<uint32_t>(D, 0));
        out.back().second[slot(e)] = f.coefs[i];
    }
    return out;
}

}  // namespace

const TowerAsLevel* tower_as_level(const std::vector<pt*>& levels) {
    std::vector<flatgcd::FlatPoly> rel;
    std::vector<uint32_t> key;
    if (!smallgcd::read_relations(levels, &rel, &key)) return nullptr;
    key.push_back(finf ? 1 : 0);
    struct Kept {
        std::vector<uint32_t> key;
        bool ok = false;
        TowerAsLevel tower;
    };
    static Kept kept[3];
    static size_t next_slot = 0;
    for (const Kept& k : kept)
        if (k.key == key) return k.ok ? &k.tower : nullptr;
    Kept& k = kept[next_slot];
    next_slot = (next_slot + 1) % 3;
    k.key = key;
    k.tower = TowerAsLevel{};
    k.ok = over_field(static_cast<uint32_t>(modulus), [&](const auto& F) { return build(levels, F, &k.tower); });
    return k.ok ? &k.tower : nullptr;
}

bool tower_to_level(const FlatPoly& f, int32_t n, const TowerAsLevel& T, FlatPoly* out) {
    const int32_t k = T.levels;
    const uint32_t D = T.dim;
    for (size_t i = 0; i < f.terms(); i++)
        for (int32_t c = 0; c < k; c++)
            if (f.exp(i)[n + c] < 0 ||
                static_cast<uint32_t>(f.exp(i)[n + c]) >= T.degree[static_cast<size_t>(k - 1 - c)])
                return false;
    auto gs = groups(f, n, D, [&](const int32_t* e) { return index_of(e, n, k, T.degree); });
    out->nvars = n + k;
    out->exps.clear();
    out->coefs.clear();
    std::vector<int32_t> row(static_cast<size_t>(n + k), 0);
    for (const auto& [head, coef] : gs) {
        const std::vector<uint32_t> z = apply(T.to_z, coef, D);
        std::copy(head.begin(), head.end(), row.begin());
        for (uint32_t e = D; e-- > 0;) {
            if (!z[e]) continue;
            row[static_cast<size_t>(n + k - 1)] = static_cast<int32_t>(e);
            out->push(row.data(), z[e]);
        }
    }
    return true;
}

bool level_to_tower(const FlatPoly& f, int32_t n, const TowerAsLevel& T, FlatPoly* out) {
    const int32_t k = T.levels;
    const uint32_t D = T.dim;
    for (size_t i = 0; i < f.terms(); i++) {
        const int32_t* e = f.exp(i);
        for (int32_t c = n; c < n + k - 1; c++)
            if (e[c]) return false;
        if (e[n + k - 1] < 0 || static_cast<uint32_t>(e[n + k - 1]) >= D) return false;
    }
    auto gs = groups(f, n, D, [&](const int32_t* e) { return static_cast<size_t>(e[n + k - 1]); });
    out->nvars = n + k;
    out->exps.clear();
    out->coefs.clear();
    std::vector<int32_t> row(static_cast<size_t>(n + k), 0);
    for (const auto& [head, z] : gs) {
        const std::vector<uint32_t> coef = apply(T.from_z, z, D);
        std::copy(head.begin(), head.end(), row.begin());
        for (uint32_t idx = D; idx-- > 0;) {
            if (!coef[idx]) continue;
            // The digits of the index, the innermost level's the lowest.
            uint32_t rest = idx;
            for (int32_t j = 0; j < k; j++) {
                const uint32_t d = T.degree[static_cast<size_t>(j)];
                row[static_cast<size_t>(n + k - 1 - j)] = static_cast<int32_t>(rest % d);
                rest /= d;
            }
            out->push(row.data(), coef[idx]);
        }
    }
    return true;
}

bool tower_is_field(const std::vector<pt*>& levels) {
    TowerAsLevel T;
    if (!over_field(static_cast<uint32_t>(modulus), [&](const auto& F) { return generated(levels, F, &T); }))
        return false;
    // The algebra is the ground field with z modulo mu: a field where mu
    // is irreducible.
    return split_factors(T.mu, static_cast<uint32_t>(modulus), &T.factors) && T.factors.size() == 1 &&
           T.factors[0].size() == T.mu.size();
}
