// Field levels modulo a small prime in one extension field: see
// small_field_tower.h.
#include "gcd/small_field_tower.h"

#include <algorithm>

#include "gcd/flat_modgcd.h"
#include "gcd/split_images.h"
#include "gcd/wide_field.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

namespace smallgcd {

namespace {

Code power(const ExtField& F, Code a, uint64_t e) {
    if (e == 0) return 1;
    if (a == 0) return 0;
    if (F.wide) {
        Code r = 1;
        for (; e; e >>= 1, a = F.mul(a, a))
            if (e & 1) r = F.mul(r, a);
        return r;
    }
    return F.exp[static_cast<size_t>(static_cast<uint64_t>(F.log[a]) * (e % (F.q - 1)) % (F.q - 1))];
}

uint32_t residue_inverse(uint32_t a, uint32_t p) {
    uint32_t r = 1;
    for (uint32_t e = p - 2, b = a; e; e >>= 1, b = b * b % p)
        if (e & 1) r = r * b % p;
    return r;
}

}  // namespace

bool read_relations(const std::vector<pt*>& levels, std::vector<flatgcd::FlatPoly>* rel, std::vector<uint32_t>* key) {
    key->assign(1, static_cast<uint32_t>(modulus));
    rel->clear();
    for (pt* r : levels) {
        flatgcd::FlatPoly f;
        const polynode* m = r->binomial ? r->binomial : r->relation;
        if (!m || !flatten_residues(m, r, &f) || f.terms() == 0) return false;
        if (f.exp(0)[0] != r->modout_degree) return false;
        key->push_back(static_cast<uint32_t>(r->modout_degree));
        key->push_back(static_cast<uint32_t>(f.terms()));
        for (size_t i = 0; i < f.terms(); i++) {
            for (int32_t j = 0; j < f.nvars; j++) key->push_back(static_cast<uint32_t>(f.exp(i)[j]));
            key->push_back(f.coefs[i]);
        }
        rel->push_back(std::move(f));
    }
    return true;
}

namespace {

// A root in T.F of relation j (its inner levels' roots put in) that makes
// the level a field of degree d over them: the root's d conjugates over the
// inner field of Q elements are distinct, so its minimal polynomial there
// has the relation's degree, and the relation is that polynomial up to a
// unit. 0 (never a root of an irreducible relation) when there is none.
Code level_root(const ExtField& F, const flatgcd::FlatPoly& m, const std::vector<Code>& inner_roots, uint64_t Q,
                uint32_t d) {
    const size_t j = inner_roots.size();
    std::vector<Code> c(d + 1, 0);
    for (size_t i = 0; i < m.terms(); i++) {
        const int32_t* e = m.exp(i);
        Code v = m.coefs[i];
        for (size_t l = 1; l <= j; l++) v = F.mul(v, power(F, inner_roots[j - l], static_cast<uint64_t>(e[l])));
        c[static_cast<size_t>(e[0])] = F.add(c[static_cast<size_t>(e[0])], v);
    }
    if (c[d] == 0) return 0;
    if (F.wide) {
        // No tables to search: a root by splitting, its conjugates x^(Q^i).
        const Code x = wide_root(F, c, Q * 0x100000001B3ull + d);
        if (x == 0) return 0;
        std::vector<Code> conjugates{x};
        for (uint32_t k = 1; k < d; k++) conjugates.push_back(power(F, conjugates.back(), Q));
        std::sort(conjugates.begin(), conjugates.end());
        return std::adjacent_find(conjugates.begin(), conjugates.end()) == conjugates.end() ? x : 0;
    }
    // The roots lie in the subfield of Q^d elements.
    const uint64_t sub = [&] {
        uint64_t s = 1;
        for (uint32_t i = 0; i < d; i++) s *= Q;
        return s;
    }();
    if (sub > F.q || (F.q - 1) % (sub - 1) != 0) return 0;
    const uint64_t step = (F.q - 1) / (sub - 1);
    for (uint64_t i = 0; i < sub - 1; i++) {
        const Code x = F.exp[static_cast<size_t>(i * step)];
        Code y = 0;
        for (size_t e = d + 1; e-- > 0;) y = F.add(F.mul(y, x), c[e]);
        if (y != 0) continue;
        std::vector<uint64_t> logs;
        uint64_t l = F.log[x];
        for (uint32_t k = 0; k < d; k++, l = l * (Q % (F.q - 1)) % (F.q - 1)) logs.push_back(l);
        std::sort(logs.begin(), logs.end());
        if (std::adjacent_find(logs.begin(), logs.end()) != logs.end()) return 0;
        return x;
    }
    return 0;
}

// One relation m(t) of p^d elements past FIELD_LIMIT: the field is
// GF(p)[t]/(m) itself, its basis the codes of 1, t, ..., t^(d-1), and its
// elements points enough for any degree the tables would serve.
bool build_wide(const flatgcd::FlatPoly& m, uint32_t d, Tower* T) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    std::vector<uint32_t> c(d + 1, 0);
    for (size_t i = 0; i < m.terms(); i++) c[static_cast<size_t>(m.exp(i)[0])] = m.coefs[i] % p;
    if (c[d] == 0) return false;
    const uint32_t s = residue_inverse(c[d], p);
    for (uint32_t& x : c) x = x * s % p;
    c.pop_back();
    if (!make_wide_field(p, c, &T->F)) return false;
    T->degree.assign(1, d);
    T->dim = d;
    T->basis.assign(d, 1);
    for (uint32_t e = 1; e < d; e++) T->basis[e] = T->basis[e - 1] * p;
    T->solve.assign(static_cast<size_t>(d) * d, 0);
    for (uint32_t e = 0; e < d; e++) T->solve[static_cast<size_t>(e) * d + e] = 1;
    return true;
}

bool build(const std::vector<flatgcd::FlatPoly>& rel, const std::vector<uint32_t>& degree, uint32_t at_least,
           Tower* T) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    uint32_t D = 1;
    for (uint32_t d : degree) {
        D *= d;
        if (D > 63) return false;   // past WIDE_LIMIT whatever p is
    }
    uint64_t pD = 1;
    for (uint32_t i = 0; i < D && pD <= FIELD_LIMIT; i++) pD *= p;
    if (pD > FIELD_LIMIT) {
        // Without tables: one relation is its own field; a tower of them
        // is put in a field of the same p^D elements by the levels' roots.
        if (rel.size() == 1) return build_wide(rel[0], degree[0], T);
        if (!make_wide_field_of_degree(p, D, 0x9E3779B97F4A7C15ull + D, &T->F)) return false;
    } else {
        uint32_t K = D;
        for (uint64_t q = pD; q < at_least && q * pD <= FIELD_LIMIT; q *= pD) K += D;
        T->F = make_field_of_degree(p, K);
    }
    T->degree = degree;
    T->dim = D;
    const ExtField& F = T->F;
    std::vector<Code> roots;
    uint64_t Q = p;
    for (size_t j = 0; j < rel.size(); j++) {
        const Code r = level_root(F, rel[j], roots, Q, degree[j]);
        if (r == 0) return false;
        roots.push_back(r);
        // The next level's inner field is this one.
        uint64_t grown = 1;
        for (uint32_t i = 0; i < degree[j]; i++) grown *= Q;
        Q = grown;
    }
    T->basis.assign(D, 0);
    for (uint32_t e = 0; e < D; e++) {
        Code code = 1;
        uint32_t rest = e;
        for (size_t j = 0; j < degree.size(); j++) {
            code = F.mul(code, power(F, roots[j], rest % degree[j]));
            rest /= degree[j];
        }
        T->basis[e] = code;
    }
    // [A | I] with A[i][e] the digit i of basis element e, brought to
    // reduced form in A's columns: the rows of pivots then hold the solve.
    const uint32_t k = F.k, w = D + k;
    std::vector<uint32_t> M(static_cast<size_t>(k) * w, 0);
    for (uint32_t e = 0; e < D; e++) {
        Code c = T->basis[e];
        for (uint32_t i = 0; i < k; i++, c /= p) M[i * w + e] = static_cast<uint32_t>(c % p);
    }
    for (uint32_t i = 0; i < k; i++) M[i * w + D + i] = 1;
    for (uint32_t e = 0; e < D; e++) {
        uint32_t piv = e;
        while (piv < k && M[piv * w + e] == 0) piv++;
        if (piv == k) return false;   // dependent: not a field of p^D elements
        for (uint32_t j = 0; j < w; j++) std::swap(M[e * w + j], M[piv * w + j]);
        const uint32_t s = residue_inverse(M[e * w + e], p);
        for (uint32_t j = 0; j < w; j++) M[e * w + j] = M[e * w + j] * s % p;
        for (uint32_t i = 0; i < k; i++) {
            const uint32_t f = M[i * w + e];
            if (i == e || f == 0) continue;
            for (uint32_t j = 0; j < w; j++) M[i * w + j] = (M[i * w + j] + (p - f) * M[e * w + j]) % p;
        }
    }
    T->solve.assign(static_cast<size_t>(D) * k, 0);
    for (uint32_t e = 0; e < D; e++)
        for (uint32_t i = 0; i < k; i++) T->solve[e * k + i] = M[e * w + D + i];
    return true;
}

}  // namespace

const Tower* tower_of(pt* rec, uint32_t at_least) {
    if (!modularmode || !mod_is_prime || modulus < 2 || modulus >= 1024 || f256 || f2t16 || laurent) return nullptr;
    std::vector<pt*> levels;
    if (!split_field_levels(rec, &levels)) return nullptr;
    std::vector<flatgcd::FlatPoly> rel;
    std::vector<uint32_t> key, degree;
    if (!read_relations(levels, &rel, &key)) return nullptr;
    for (pt* r : levels) degree.push_back(static_cast<uint32_t>(r->modout_degree));
    // A few towers are kept: the gcd over a relation that the prime splits
    // into several factors takes its copies' gcds in turn, each over the
    // field of one factor, and a field's tables take long to build. A
    // relation that makes no tower is remembered apart, evicting none.
    constexpr size_t KEPT = 3;
    static Tower kept[KEPT];
    static size_t next_slot = 0;
    static std::vector<uint32_t> failed_key;
    if (key == failed_key) return nullptr;
    Tower* slot = nullptr;
    for (Tower& t : kept)
        if (!t.key.empty() && t.key == key) slot = &t;
    if (slot) {
        uint64_t sub = 1;
        for (uint32_t i = 0; i < slot->dim; i++) sub *= static_cast<uint64_t>(modulus);
        if (!(slot->F.q < at_least && slot->F.q * sub <= FIELD_LIMIT)) return slot;
    } else {
        slot = &kept[next_slot];
        next_slot = (next_slot + 1) % KEPT;
    }
    *slot = Tower{};
    if (build(rel, degree, at_least, slot)) {
        slot->key = key;
        return slot;
    }
    *slot = Tower{};
    failed_key = key;
    return nullptr;
}

bool coefficients(const Tower& T, Code code, uint32_t* out) {
    const ExtField& F = T.F;
    uint32_t digit[64];
    Code c = code;
    for (uint32_t i = 0; i < F.k; i++, c /= F.p) digit[i] = static_cast<uint32_t>(c % F.p);
    Code back = 0;
    for (uint32_t e = 0; e < T.dim; e++) {
        uint64_t s = 0;
        const uint32_t* row = T.solve.data() + static_cast<size_t>(e) * F.k;
        for (uint32_t i = 0; i < F.k; i++) s += static_cast<uint64_t>(row[i]) * digit[i];
        out[e] = static_cast<uint32_t>(s % F.p);
        if (out[e]) back = F.add(back, F.mul(out[e], T.basis[e]));
    }
    return back == code;
}

}  // namespace smallgcd
