// Copies of one field level over the factors of its relation (see
// factor_copies.h).
#include "gcd/factor_copies.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <utility>

#include "gcd/upoly_field.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

namespace {

using flatgcd::Field;
using flatgcd::FlatPoly;
using upoly::elements;
using upoly::GF2k;
using upoly::monic_gcd;
using upoly::mul_mod;
using upoly::next_random;
using upoly::power_mod;
using upoly::quotient;
using upoly::rem_in_place;
using upoly::times;
using upoly::trim;
using upoly::UPoly;

// A number of the modular ring (a word) as an element of F.
uint32_t code_of(const imag* n, const Field& F) {
    const int64_t r = n->value % static_cast<int64_t>(F.p);
    return static_cast<uint32_t>(r < 0 ? r + F.p : r);
}
uint32_t code_of(const imag* n, const GF2k&) { return static_cast<uint32_t>(n->value); }

// The relation of `level`, the innermost, over F; false when it is not
// monic of the level's degree with number coefficients.
template <class Fld>
bool relation_of(pt* level, const Fld& F, UPoly* f) {
    const int32_t d = level->modout_degree;
    f->assign(static_cast<size_t>(d) + 1, 0);
    for (const polynode* t = level->binomial ? level->binomial : level->relation; t; t = t->next) {
        const polynode* c = t->numb ? t : t->pcoef;
        const int32_t e = t->numb ? 0 : t->exp;
        if (!c || !c->numb || e < 0 || e > d) return false;
        (*f)[static_cast<size_t>(e)] = F.add((*f)[static_cast<size_t>(e)], code_of(c->ncoef, F));
    }
    return f->back() == 1;
}


// The n-column heads of f's terms in their order, each with its
// coefficient, a polynomial in the last column (terms with equal heads are
// adjacent in f).
using Groups = std::vector<std::pair<std::vector<int32_t>, UPoly>>;

Groups groups_of(const FlatPoly& f, int32_t n) {
    Groups out;
    for (size_t i = 0; i < f.terms(); i++) {
        const int32_t* e = f.exp(i);
        if (out.empty() || !std::equal(e, e + n, out.back().first.begin()))
            out.emplace_back(std::vector<int32_t>(e, e + n), UPoly{});
        UPoly& c = out.back().second;
        const size_t at = static_cast<size_t>(e[n]);
        if (c.size() <= at) c.resize(at + 1, 0);
        c[at] = f.coefs[i];
    }
    return out;
}

FlatPoly from_groups(const Groups& gs, int32_t n) {
    FlatPoly f;
    f.nvars = n + 1;
    std::vector<int32_t> row(static_cast<size_t>(n) + 1);
    for (const auto& [head, c] : gs) {
        std::copy(head.begin(), head.end(), row.begin());
        for (size_t e = c.size(); e-- > 0;) {
            if (!c[e]) continue;
            row[static_cast<size_t>(n)] = static_cast<int32_t>(e);
            f.push(row.data(), c[e]);
        }
    }
    return f;
}

// The end of the run of terms from i on whose heads (first n columns)
// are equal, and whether the run is a coefficient that is already
// reduced modulo a polynomial of degree dm and in from_groups' order: last
// columns decreasing from below dm to 0 or more.
size_t run_end(const FlatPoly& f, size_t i, int32_t n, size_t dm, bool* plain) {
    const size_t w = static_cast<size_t>(n) + 1;
    const int32_t* head = f.exp(i);
    *plain = head[n] >= 0 && static_cast<size_t>(head[n]) < dm;
    size_t j = i + 1;
    for (; j < f.terms() && std::equal(head, head + n, f.exp(j)); j++)
        if (f.exps[j * w - 1] <= f.exps[(j + 1) * w - 1] || f.exps[(j + 1) * w - 1] < 0) *plain = false;
    return j;
}

// f with the coefficient c of each run of equal heads (a polynomial in
// the last column, as groups_of reads it) made c·k modulo m, in
// from_groups' order; k = 1 reduces f modulo m. A run already reduced
// and in order is scaled term by term when k is a constant (not 0 in the
// field: the terms stay non-zero).
template <class Fld>
FlatPoly times_mod_runs(const FlatPoly& f, int32_t n, const UPoly& k, const UPoly& m, const Fld& F) {
    FlatPoly out;
    out.nvars = n + 1;
    out.exps.reserve(f.exps.size());
    out.coefs.reserve(f.coefs.size());
    const size_t dm = m.size() - 1;
    UPoly c, r;
    std::vector<int32_t> row(static_cast<size_t>(n) + 1);
    for (size_t i = 0; i < f.terms();) {
        bool plain = false;
        const size_t j = run_end(f, i, n, dm, &plain);
        if (plain && k.size() == 1) {
            for (size_t t = i; t < j; t++) out.push(f.exp(t), k[0] == 1 ? f.coefs[t] : F.mul(f.coefs[t], k[0]));
            i = j;
            continue;
        }
        c.clear();
        for (size_t t = i; t < j; t++) {
            const size_t at = static_cast<size_t>(f.exp(t)[n]);
            if (c.size() <= at) c.resize(at + 1, 0);
            c[at] = f.coefs[t];
        }
        r.clear();
        if (!c.empty() && !k.empty()) {
            r.assign(c.size() + k.size() - 1, 0);
            for (size_t a = 0; a < c.size(); a++)
                for (size_t b = 0; b < k.size(); b++) r[a + b] = F.add(r[a + b], F.mul(c[a], k[b]));
            rem_in_place(r, m, F);
        }
        std::copy(f.exp(i), f.exp(i) + n, row.begin());
        for (size_t e = r.size(); e-- > 0;) {
            if (!r[e]) continue;
            row[static_cast<size_t>(n)] = static_cast<int32_t>(e);
            out.push(row.data(), r[e]);
        }
        i = j;
    }
    return out;
}

// The inverse of a modulo the irreducible m (a non-zero modulo m).
template <class Fld>
UPoly inverse_mod(UPoly a, const UPoly& m, const Fld& F) {
    rem_in_place(a, m, F);
    UPoly r0 = m, r1 = a, s0{}, s1{1};
    while (r1.size() > 1) {
        UPoly q = quotient(r0, r1, F);
        UPoly r2 = r0;
        rem_in_place(r2, r1, F);
        UPoly qs = q.empty() || s1.empty() ? UPoly{} : UPoly(q.size() + s1.size() - 1, 0);
        for (size_t i = 0; i < q.size(); i++)
            for (size_t j = 0; j < s1.size(); j++) qs[i + j] = F.add(qs[i + j], F.mul(q[i], s1[j]));
        UPoly s2(std::max(s0.size(), qs.size()), 0);
        for (size_t i = 0; i < s2.size(); i++)
            s2[i] = F.sub(i < s0.size() ? s0[i] : 0, i < qs.size() ? qs[i] : 0);
        trim(s2);
        r0 = std::move(r1);
        r1 = std::move(r2);
        s0 = std::move(s1);
        s1 = std::move(s2);
    }
    if (r1.empty()) return {};
    // r1 is a non-zero constant: s1 a = r1 modulo m.
    const uint32_t c = F.inv(r1[0]);
    for (uint32_t& x : s1) x = F.mul(x, c);
    rem_in_place(s1, m, F);
    return s1;
}

// The irreducible factors of g, a product of distinct ones of degree i
// each over the field of q elements, appended to out: a random element to
// the power (q^i - 1) / 2 is 1 modulo about half of them (in characteristic
// 2 its trace over GF(2) is 0 modulo about half).
template <class Fld>
void equal_degree(const UPoly& g, int32_t i, const Fld& F, uint64_t* state, std::vector<UPoly>* out) {
    const size_t d = g.size() - 1;
    if (d == static_cast<size_t>(i)) {
        out->push_back(g);
        return;
    }
    for (;;) {
        UPoly a(d);
        const uint32_t q = elements(F);
        for (uint32_t& c : a) c = static_cast<uint32_t>(next_random(state) % q);
        trim(a);
        if (a.size() < 2) continue;
        UPoly w;
        if (F.p == 2) {
            // a + a^2 + a^4 + ... to the power 2^(i log2 q - 1).
            int32_t bits = 0;
            while ((uint32_t{1} << bits) < q) bits++;
            UPoly c = a;
            w = a;
            for (int32_t j = 1; j < i * bits; j++) {
                c = mul_mod(c, c, g, F);
                w.resize(std::max(w.size(), c.size()), 0);
                for (size_t k = 0; k < c.size(); k++) w[k] = F.add(w[k], c[k]);
            }
            trim(w);
        } else {
            // a^((q^i - 1) / 2) = (a a^q ... a^(q^(i - 1)))^((q - 1) / 2).
            UPoly c = a, norm = a;
            for (int32_t j = 1; j < i; j++) {
                c = power_mod(c, q, g, F);
                norm = mul_mod(norm, c, g, F);
            }
            w = power_mod(norm, (q - 1) / 2, g, F);
            if (w.empty()) w.push_back(0);
            w[0] = F.sub(w[0], 1);
            trim(w);
        }
        UPoly h = monic_gcd(w, g, F);
        if (h.size() > 1 && h.size() < g.size()) {
            equal_degree(h, i, F, state, out);
            equal_degree(quotient(g, h, F), i, F, state, out);
            return;
        }
    }
}

template <class Fld>
bool factors_over(const UPoly& f, const Fld& F, std::vector<UPoly>* factors) {
    const uint32_t q = elements(F);
    UPoly df(f.size() - 1);
    for (size_t i = 1; i < f.size(); i++) df[i - 1] = times(f[i], i, F);
    trim(df);
    if (df.empty() || monic_gcd(f, df, F).size() != 1) return false;
    factors->clear();
    // Distinct degrees: the factors of degree i divide t^(q^i) - t.
    uint64_t state = q;
    UPoly rest = f, h{0, 1};
    for (int32_t i = 1; rest.size() > 2 * static_cast<size_t>(i); i++) {
        h = power_mod(h, q, rest, F);
        UPoly w = h;
        w.resize(std::max<size_t>(w.size(), 2), 0);
        w[1] = F.sub(w[1], 1);
        trim(w);
        UPoly g = monic_gcd(w, rest, F);
        if (g.size() < 2) continue;
        equal_degree(g, i, F, &state, factors);
        rest = quotient(rest, g, F);
        rem_in_place(h, rest, F);
    }
    if (rest.size() > 1) factors->push_back(rest);
    return true;
}

template <class Fld>
FlatPoly reduce_over(const FlatPoly& f, int32_t n, const UPoly& m, const Fld& F) {
    return times_mod_runs(f, n, UPoly{1}, m, F);
}

// h, and `also` with it when given, divided by h's leading coefficient.
template <class Fld>
bool monic_over(FlatPoly* h, FlatPoly* also, int32_t n, const UPoly& m, const Fld& F) {
    if (h->terms() == 0) return true;
    // The leading run's coefficient, as groups_of reads it.
    UPoly lead;
    for (size_t t = 0; t < h->terms() && std::equal(h->exp(0), h->exp(0) + n, h->exp(t)); t++) {
        const size_t at = static_cast<size_t>(h->exp(t)[n]);
        if (lead.size() <= at) lead.resize(at + 1, 0);
        lead[at] = h->coefs[t];
    }
    const UPoly inv = inverse_mod(std::move(lead), m, F);
    if (inv.empty()) return false;
    *h = times_mod_runs(*h, n, inv, m, F);
    if (also) *also = times_mod_runs(*also, n, inv, m, F);
    return true;
}

// The relation (the factors' product) and its idempotents, 1 modulo one
// factor and 0 modulo the others: the same few sets of factors are read
// back many times.
struct Units {
    std::vector<uint32_t> key;
    UPoly whole;
    std::vector<UPoly> unit;
};

template <class Fld>
const Units& units_of(const std::vector<UPoly>& factors, const Fld& F) {
    std::vector<uint32_t> key{elements(F)};
    for (const UPoly& m : factors) {
        key.push_back(static_cast<uint32_t>(m.size()));
        key.insert(key.end(), m.begin(), m.end());
    }
    static Units kept[4];
    static size_t next_slot = 0;
    for (const Units& u : kept)
        if (u.key == key) return u;
    Units& u = kept[next_slot];
    next_slot = (next_slot + 1) % 4;
    u.whole = UPoly{1};
    for (const UPoly& m : factors) {
        UPoly next(u.whole.size() + m.size() - 1, 0);
        for (size_t i = 0; i < u.whole.size(); i++)
            for (size_t j = 0; j < m.size(); j++) next[i + j] = F.add(next[i + j], F.mul(u.whole[i], m[j]));
        u.whole = std::move(next);
    }
    u.unit.clear();
    for (const UPoly& m : factors) {
        const UPoly others = quotient(u.whole, m, F);
        u.unit.push_back(mul_mod(others, inverse_mod(others, m, F), u.whole, F));
    }
    u.key = std::move(key);
    return u;
}

template <class Fld>
void join_over(const std::vector<FlatPoly>& images, int32_t n, const std::vector<UPoly>& factors, const Fld& F,
               FlatPoly* g) {
    const Units& u = units_of(factors, F);
    // Each run of each image times its copy's idempotent, then the runs of
    // one head added, the heads in decreasing order.
    struct Run {
        const int32_t* head;
        UPoly coef;
    };
    std::vector<Run> runs;
    UPoly c;
    for (size_t k = 0; k < images.size(); k++) {
        const FlatPoly& f = images[k];
        for (size_t i = 0; i < f.terms();) {
            bool plain = false;
            const size_t j = run_end(f, i, n, 0, &plain);
            c.clear();
            for (size_t t = i; t < j; t++) {
                const size_t at = static_cast<size_t>(f.exp(t)[n]);
                if (c.size() <= at) c.resize(at + 1, 0);
                c[at] = f.coefs[t];
            }
            runs.push_back({f.exp(i), mul_mod(c, u.unit[k], u.whole, F)});
            i = j;
        }
    }
    std::sort(runs.begin(), runs.end(), [n](const Run& a, const Run& b) {
        return std::lexicographical_compare(b.head, b.head + n, a.head, a.head + n);
    });
    FlatPoly out;
    out.nvars = n + 1;
    std::vector<int32_t> row(static_cast<size_t>(n) + 1);
    for (size_t i = 0; i < runs.size();) {
        UPoly& acc = runs[i].coef;
        size_t j = i + 1;
        for (; j < runs.size() && std::equal(runs[i].head, runs[i].head + n, runs[j].head); j++) {
            const UPoly& add = runs[j].coef;
            acc.resize(std::max(acc.size(), add.size()), 0);
            for (size_t e = 0; e < add.size(); e++) acc[e] = F.add(acc[e], add[e]);
        }
        std::copy(runs[i].head, runs[i].head + n, row.begin());
        for (size_t e = acc.size(); e-- > 0;) {
            if (!acc[e]) continue;
            row[static_cast<size_t>(n)] = static_cast<int32_t>(e);
            out.push(row.data(), acc[e]);
        }
        i = j;
    }
    *g = std::move(out);
}

// u / m over the field of the irreducible f (both reduced modulo f, m not
// 0), the terms over the n columns in lexicographic order: each step takes
// the remainder's leading term, which m's divides wherever m divides u.
template <class Fld>
bool divide_over(const FlatPoly& u, const FlatPoly& m, int32_t n, const UPoly& f, const Fld& F, FlatPoly* q) {
    using Terms = std::map<std::vector<int32_t>, UPoly, std::greater<>>;
    const Groups ms = groups_of(m, n);
    const UPoly lead = inverse_mod(ms.front().second, f, F);
    Terms rest, quo;
    for (auto& [head, c] : groups_of(u, n)) rest.emplace(head, std::move(c));
    std::vector<int32_t> at(static_cast<size_t>(n));
    while (!rest.empty()) {
        const auto top = rest.begin();
        for (size_t i = 0; i < at.size(); i++) {
            at[i] = top->first[i] - ms.front().first[i];
            if (at[i] < 0) return false;
        }
        const UPoly c = mul_mod(top->second, lead, f, F);
        quo.emplace(at, c);
        for (const auto& [head, mc] : ms) {
            std::vector<int32_t> e = head;
            for (size_t i = 0; i < e.size(); i++) e[i] += at[i];
            UPoly& r = rest[e];
            const UPoly sub = mul_mod(c, mc, f, F);
            r.resize(std::max(r.size(), sub.size()), 0);
            for (size_t i = 0; i < sub.size(); i++) r[i] = F.sub(r[i], sub[i]);
            trim(r);
            if (r.empty()) rest.erase(e);
        }
    }
    *q = from_groups(Groups(quo.begin(), quo.end()), n);
    return true;
}

// Each coefficient c(t) of f made c(t^q) modulo m: the Frobenius map of
// the field of m over the ground field of q elements.
template <class Fld>
FlatPoly frobenius_over(const FlatPoly& f, int32_t n, const UPoly& m, const Fld& F) {
    const UPoly tq = power_mod(UPoly{0, 1}, elements(F), m, F);
    Groups gs = groups_of(f, n);
    for (auto& g : gs) {
        UPoly acc;
        for (size_t e = g.second.size(); e-- > 0;) {
            acc = mul_mod(acc, tq, m, F);
            if (acc.empty()) acc.push_back(0);
            acc[0] = F.add(acc[0], g.second[e]);
            trim(acc);
        }
        g.second = std::move(acc);
    }
    return from_groups(gs, n);
}

// The ring's field for the routines above: Z/q, or GF(2^8) and GF(2^16)
// (q their element count) in the tables of GF(2^16).
template <class Run>
auto over_field(uint32_t q, Run run) {
    if (finf) return run(GF2k{2, q});
    return run(Field(q));
}

}  // namespace

bool relation_factors(pt* level, uint32_t q, std::vector<SplitFactor>* factors) {
    UPoly f;
    if (!over_field(q, [&](const auto& F) { return relation_of(level, F, &f); })) return false;
    return split_factors(f, q, factors);
}

bool split_factors(const SplitFactor& f, uint32_t q, std::vector<SplitFactor>* factors) {
    // A few relations are kept with their factors: a quotient asks for many
    // gcds, and the copies' own gcds ask with a factor in the relation's place.
    struct Kept {
        std::vector<uint32_t> key;
        bool ok = false;
        std::vector<SplitFactor> factors;
    };
    static Kept kept[4];
    static size_t next_slot = 0;
    return over_field(q, [&](const auto& F) {
        std::vector<uint32_t> key = f;
        key.push_back(q);
        key.push_back(finf ? 1 : 0);
        for (const Kept& k : kept)
            if (k.key == key) {
                *factors = k.factors;
                return k.ok;
            }
        Kept& k = kept[next_slot];
        next_slot = (next_slot + 1) % 4;
        k.key.clear();
        k.factors.clear();
        k.ok = factors_over(f, F, &k.factors);
        k.key = std::move(key);
        *factors = k.factors;
        return k.ok;
    });
}

FlatPoly reduce_by_factor(const FlatPoly& f, int32_t n, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return reduce_over(f, n, m, F); });
}

bool monic_by_factor(FlatPoly* h, int32_t n, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return monic_over(h, nullptr, n, m, F); });
}

bool monic_pair_by_factor(FlatPoly* num, FlatPoly* den, int32_t n, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return monic_over(den, num, n, m, F); });
}

void factor_join(const std::vector<FlatPoly>& images, int32_t n, const std::vector<SplitFactor>& factors, uint32_t q,
                 FlatPoly* g) {
    over_field(q, [&](const auto& F) { join_over(images, n, factors, F, g); });
}

SplitFactor inverse_by_factor(const SplitFactor& a, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return inverse_mod(a, m, F); });
}

bool divide_by_factor(const FlatPoly& u, const FlatPoly& m, int32_t n, const SplitFactor& f, uint32_t q,
                      FlatPoly* quo) {
    return over_field(q, [&](const auto& F) { return divide_over(u, m, n, f, F, quo); });
}

FlatPoly frobenius_by_factor(const FlatPoly& f, int32_t n, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return frobenius_over(f, n, m, F); });
}
