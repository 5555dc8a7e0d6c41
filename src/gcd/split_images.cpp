// Gcd images over a tower modulo primes where it splits (see split_images.h).
#include "gcd/split_images.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>

#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/polyvars.h"

namespace {

using flatgcd::Field;
using flatgcd::FlatPoly;
using UPoly = std::vector<uint32_t>;   // coefficients, lowest power first

// GF(2^8) or GF(2^16) on the codes of the ground ring's elements, through
// the ring's tables of GF(2^16) (whose codes below 256 are GF(2^8)).
struct GF2k {
    uint32_t p = 2;
    uint32_t q;   // elements
    uint32_t add(uint32_t a, uint32_t b) const { return a ^ b; }
    uint32_t sub(uint32_t a, uint32_t b) const { return a ^ b; }
    uint32_t neg(uint32_t a) const { return a; }
    uint32_t mul(uint32_t a, uint32_t b) const {
        return a && b ? f2t16exp[(uint32_t{f2t16log[a]} + f2t16log[b]) % 65535] : 0;
    }
    uint32_t inv(uint32_t a) const { return f2t16exp[(65535 - uint32_t{f2t16log[a]}) % 65535]; }
};

uint32_t elements(const Field& F) { return F.p; }
uint32_t elements(const GF2k& F) { return F.q; }

// i times c, i an integer.
uint32_t times(uint32_t c, size_t i, const Field& F) { return F.mul(c, static_cast<uint32_t>(i % F.p)); }
uint32_t times(uint32_t c, size_t i, const GF2k&) { return i & 1 ? c : 0; }

void trim(UPoly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}

template <class Fld>
void make_monic(UPoly& a, const Fld& F) {
    if (a.empty() || a.back() == 1) return;
    const uint32_t inv = F.inv(a.back());
    for (uint32_t& c : a) c = F.mul(c, inv);
}

// in place. a modulo b (b non-zero).
template <class Fld>
void rem_in_place(UPoly& a, const UPoly& b, const Fld& F) {
    trim(a);
    const size_t db = b.size() - 1;
    const uint32_t inv = F.inv(b.back());
    while (a.size() > db) {
        const uint32_t c = F.mul(a.back(), inv);
        const size_t shift = a.size() - 1 - db;
        for (size_t i = 0; i < db; i++) a[shift + i] = F.sub(a[shift + i], F.mul(c, b[i]));
        a.pop_back();
        trim(a);
    }
}

template <class Fld>
UPoly mul_mod(const UPoly& a, const UPoly& b, const UPoly& f, const Fld& F) {
    if (a.empty() || b.empty()) return {};
    UPoly r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) r[i + j] = F.add(r[i + j], F.mul(a[i], b[j]));
    rem_in_place(r, f, F);
    return r;
}

template <class Fld>
UPoly power_mod(UPoly base, uint64_t e, const UPoly& f, const Fld& F) {
    UPoly r{1};
    rem_in_place(r, f, F);
    rem_in_place(base, f, F);
    for (; e; e >>= 1) {
        if (e & 1) r = mul_mod(r, base, f, F);
        if (e > 1) base = mul_mod(base, base, f, F);
    }
    return r;
}

template <class Fld>
UPoly monic_gcd(UPoly a, UPoly b, const Fld& F) {
    trim(a);
    trim(b);
    while (!b.empty()) {
        rem_in_place(a, b, F);
        std::swap(a, b);
    }
    make_monic(a, F);
    return a;
}

// a / b, exact.
template <class Fld>
UPoly quotient(UPoly a, const UPoly& b, const Fld& F) {
    trim(a);
    const size_t db = b.size() - 1;
    if (a.size() <= db) return {};
    UPoly q(a.size() - db, 0);
    const uint32_t inv = F.inv(b.back());
    while (a.size() > db) {
        const uint32_t c = F.mul(a.back(), inv);
        const size_t shift = a.size() - 1 - db;
        q[shift] = c;
        for (size_t i = 0; i < db; i++) a[shift + i] = F.sub(a[shift + i], F.mul(c, b[i]));
        a.pop_back();
    }
    return q;
}

uint64_t next_random(uint64_t* state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The roots of f (monic, a product of distinct linear factors) by equal-
// degree splitting: gcd((x + a)^((q - 1) / 2) - 1, f) parts f for about half
// of the a.
void linear_roots(const UPoly& f, const Field& F, uint64_t* state, std::vector<uint32_t>* roots) {
    if (f.size() == 2) {
        roots->push_back(F.neg(f[0]));
        return;
    }
    for (;;) {
        UPoly base{static_cast<uint32_t>(next_random(state) % F.p), 1};
        UPoly w = power_mod(base, (F.p - 1) / 2, f, F);
        if (w.empty()) w.push_back(0);
        w[0] = F.sub(w[0], 1);
        UPoly g = monic_gcd(w, f, F);
        if (g.size() > 1 && g.size() < f.size()) {
            linear_roots(g, F, state, roots);
            linear_roots(quotient(f, g, F), F, state, roots);
            return;
        }
    }
}

// The d roots of f (monic, degree d >= 1), false unless f is a product of
// distinct linear factors: x^q = x modulo f exactly then.
bool all_roots(const UPoly& f, const Field& F, std::vector<uint32_t>* roots) {
    roots->clear();
    if (F.p == 2) {
        // No equal-degree splitting in characteristic 2; two candidates.
        for (uint32_t a = 0; a < 2; a++) {
            uint32_t v = 0;
            for (size_t i = f.size(); i-- > 0;) v = F.add(F.mul(v, a), f[i]);
            if (!v) roots->push_back(a);
        }
        return roots->size() + 1 == f.size();
    }
    if (f.size() > 2) {
        UPoly xq = power_mod(UPoly{0, 1}, F.p, f, F);
        if (xq != UPoly{0, 1}) return false;
    }
    uint64_t state = F.p;
    linear_roots(f, F, &state, roots);
    return true;
}

// A number of the ring (a word in machine-integer and modular mode, a
// digit chain otherwise) modulo F's prime.
uint32_t residue(const imag* n, const Field& F) {
    if (!lintmode) return static_cast<uint32_t>(chain_residue(n, static_cast<int32_t>(F.p)));
    const int64_t r = n->value % static_cast<int64_t>(F.p);
    return static_cast<uint32_t>(r < 0 ? r + F.p : r);
}

// The same in GF(2^8) and GF(2^16), whose numbers are their elements' codes.
uint32_t residue(const imag* n, const GF2k&) { return static_cast<uint32_t>(n->value); }

template <class Fld>
uint32_t power(uint32_t b, int32_t e, const Fld& F) {
    uint32_t r = 1;
    for (; e > 0; e >>= 1, b = F.mul(b, b))
        if (e & 1) r = F.mul(r, b);
    return r;
}

// The value of p (at the level of index j, innermost 0) with the roots of
// levels j, j - 1, ... put in; false on a negative exponent or a level
// below the innermost.
template <class Fld>
bool value_at(const polynode* p, int32_t j, const uint32_t* roots, const Fld& F, uint32_t* out) {
    uint32_t sum = 0;
    for (; p; p = p->next) {
        uint32_t c = 0;
        if (p->numb) {
            c = residue(p->ncoef, F);
        } else {
            if (j < 0 || p->exp < 0) return false;
            if (!value_at(p->pcoef, j - 1, roots, F, &c)) return false;
            c = F.mul(c, power(roots[j], p->exp, F));
        }
        sum = F.add(sum, c);
    }
    *out = sum;
    return true;
}

// The relation of level j (monic in its variable) as a polynomial over
// Z/q, the roots of the inner levels put in.
template <class Fld>
bool relation_at(pt* rec, int32_t j, int32_t degree, const uint32_t* inner_roots, const Fld& F, UPoly* f) {
    const polynode* m = rec->binomial ? rec->binomial : rec->relation;
    f->assign(static_cast<size_t>(degree) + 1, 0);
    for (const polynode* t = m; t; t = t->next) {
        uint32_t c = 0;
        int32_t e = 0;
        if (t->numb) {
            c = residue(t->ncoef, F);
        } else {
            e = t->exp;
            if (e < 0 || e > degree || !value_at(t->pcoef, j - 1, inner_roots, F, &c)) return false;
        }
        (*f)[static_cast<size_t>(e)] = F.add((*f)[static_cast<size_t>(e)], c);
    }
    return f->back() == 1;
}

// The d x d matrix taking values at the points to the coefficients of the
// polynomial of degree below d through them: entry (e, i) is the
// coefficient of X^e in the i-th Lagrange polynomial.
void lagrange_weights(const std::vector<uint32_t>& pts, const Field& F, std::vector<uint32_t>* out) {
    const size_t d = pts.size();
    out->assign(d * d, 0);
    for (size_t i = 0; i < d; i++) {
        UPoly num{1};
        uint32_t den = 1;
        for (size_t m = 0; m < d; m++) {
            if (m == i) continue;
            UPoly next(num.size() + 1, 0);
            for (size_t k = 0; k < num.size(); k++) {
                next[k + 1] = F.add(next[k + 1], num[k]);
                next[k] = F.sub(next[k], F.mul(num[k], pts[m]));
            }
            num = std::move(next);
            den = F.mul(den, F.sub(pts[i], pts[m]));
        }
        const uint32_t inv = F.inv(den);
        for (size_t e = 0; e < d; e++) (*out)[e * d + i] = F.mul(num[e], inv);
    }
}

}  // namespace

bool split_field_levels(pt* var, std::vector<pt*>* levels_innermost_first) {
    levels_innermost_first->clear();
    if (!var || field_depth <= 0 || var->level >= field_depth) return false;
    for (pt* r = var; r; r = r->next) {
        if (r->level < field_depth) {
            if (r->relation) return false;
        } else {
            if (!r->field || !r->relation || r->modout_degree < 2) return false;
            levels_innermost_first->push_back(r);
        }
    }
    std::reverse(levels_innermost_first->begin(), levels_innermost_first->end());
    return !levels_innermost_first->empty();
}

bool split_roots(const std::vector<pt*>& levels, uint32_t q, SplitRoots* out) {
    const Field F(q);
    SplitRoots R;
    R.q = q;
    R.level = levels;
    const size_t k = levels.size();
    for (pt* r : levels) R.degree.push_back(r->modout_degree);
    R.weights.resize(k);
    // The choices of roots for the levels inside level j, j roots each.
    std::vector<uint32_t> inner;
    size_t count = 1;
    std::vector<uint32_t> roots;
    std::vector<uint32_t> w;
    UPoly f;
    for (size_t j = 0; j < k; j++) {
        const int32_t d = R.degree[j];
        std::vector<uint32_t> next;
        next.reserve(count * static_cast<size_t>(d) * (j + 1));
        for (size_t p = 0; p < count; p++) {
            const uint32_t* chosen = inner.data() + p * j;
            if (!relation_at(levels[j], static_cast<int32_t>(j), d, chosen, F, &f)) return false;
            if (!all_roots(f, F, &roots) || roots.size() != static_cast<size_t>(d)) return false;
            // Sorted, so that the same prime always gives the same choices.
            std::sort(roots.begin(), roots.end());
            lagrange_weights(roots, F, &w);
            R.weights[j].insert(R.weights[j].end(), w.begin(), w.end());
            for (uint32_t r : roots) {
                next.insert(next.end(), chosen, chosen + j);
                next.push_back(r);
            }
        }
        inner = std::move(next);
        count *= static_cast<size_t>(d);
    }
    R.roots = std::move(inner);
    *out = std::move(R);
    return true;
}

namespace {

// f with the field levels' variables (its last k columns, the outermost
// field level first) replaced by their roots: pw[j][e] is the root of
// level j to the power e. Terms with equal other exponents are adjacent in
// f and are summed.
FlatPoly specialise(const FlatPoly& f, int32_t n, const std::vector<std::vector<uint32_t>>& pw, const Field& F) {
    const int32_t k = f.nvars - n;
    FlatPoly r;
    r.nvars = n;
    size_t i = 0;
    while (i < f.terms()) {
        const int32_t* head = f.exp(i);
        uint32_t sum = 0;
        size_t j = i;
        for (; j < f.terms() && std::equal(head, head + n, f.exp(j)); j++) {
            uint32_t c = f.coefs[j];
            const int32_t* e = f.exp(j) + n;
            for (int32_t m = 0; m < k; m++) c = F.mul(c, pw[static_cast<size_t>(k - 1 - m)][static_cast<size_t>(e[m])]);
            sum = F.add(sum, c);
        }
        if (sum) r.push(head, sum);
        i = j;
    }
    return r;
}

// The exponents of p's leading term over its first n levels.
std::vector<int32_t> leading_exponents(const polynode* p, int32_t n) {
    std::vector<int32_t> e;
    for (; p && !p->numb && static_cast<int32_t>(e.size()) < n; p = p->pcoef) e.push_back(p->exp);
    e.resize(static_cast<size_t>(n), 0);
    return e;
}

// in place. The values of an element at the choices (in their order) made
// its coefficients: entry (e_0 d_1 + e_1) d_2 + ... is the coefficient of
// the product of the level variables to the powers e_j.
void interpolate(std::vector<uint32_t>& V, const SplitRoots& R, const Field& F) {
    const size_t k = R.level.size();
    std::vector<uint32_t> x, y;
    size_t after = 1;   // the product of the degrees of the levels outside j
    for (size_t j = k; j-- > 0;) {
        const size_t d = static_cast<size_t>(R.degree[j]);
        const size_t before = V.size() / (d * after);
        x.resize(d);
        y.resize(d);
        for (size_t p = 0; p < before; p++) {
            const uint32_t* W = R.weights[j].data() + p * d * d;
            for (size_t s = 0; s < after; s++) {
                for (size_t i = 0; i < d; i++) x[i] = V[(p * d + i) * after + s];
                for (size_t e = 0; e < d; e++) {
                    uint32_t acc = 0;
                    for (size_t i = 0; i < d; i++) acc = F.add(acc, F.mul(W[e * d + i], x[i]));
                    y[e] = acc;
                }
                for (size_t e = 0; e < d; e++) V[(p * d + e) * after + s] = y[e];
            }
        }
        after *= d;
    }
}

}  // namespace

SplitOutcome split_image(polynode* u, polynode* v, pt* var, const SplitRoots& R, FlatPoly* g) {
    const Field F(R.q);
    const int32_t k = static_cast<int32_t>(R.level.size());
    FlatPoly fu, fv;
    if (!flatten_integers(u, var, R.q, &fu) || !flatten_integers(v, var, R.q, &fv)) return SplitOutcome::declined;
    if (flat_too_long(fu) || flat_too_long(fv)) return SplitOutcome::declined;
    const int32_t n = fu.nvars - k;
    if (n < 1 || fv.nvars != fu.nvars) return SplitOutcome::declined;
    const std::vector<int32_t> lead_u = leading_exponents(u, n), lead_v = leading_exponents(v, n);

    const size_t K = R.choices();
    std::vector<FlatPoly> images(K);
    for (size_t c = 0; c < K; c++) {
        const FlatPoly su = split_specialise(fu, R, c), sv = split_specialise(fv, R, c);
        // A root where an operand's leading coefficient vanishes would give
        // an image that is no multiple of the gcd's.
        if (su.terms() == 0 || sv.terms() == 0 || !std::equal(lead_u.begin(), lead_u.end(), su.exp(0)) ||
            !std::equal(lead_v.begin(), lead_v.end(), sv.exp(0)))
            return SplitOutcome::unusable_prime;
        flatgcd::Limits limits;
        limits.seed = static_cast<uint64_t>(rand_integer3());
        limits.work = 100000000 + 4000 * static_cast<int64_t>(su.terms() + sv.terms());
        limits.sparse = flat_sparse_use;
        const flatgcd::Outcome o = flatgcd::gcd(su, sv, F, &images[c], limits);
        if (o == flatgcd::Outcome::too_much_work) return SplitOutcome::declined;
        if (o != flatgcd::Outcome::ok) return SplitOutcome::unusable_prime;
        // Every lucky choice gives the gcd's own leading monomial.
        if (c > 0 && !std::equal(images[c].exp(0), images[c].exp(0) + n, images[0].exp(0)))
            return SplitOutcome::unusable_prime;
    }

    split_join(images, n, R, g);
    return SplitOutcome::ok;
}

bool flat_uses_columns(const FlatPoly& f, int32_t from) {
    for (size_t i = 0; i < f.terms(); i++)
        for (int32_t j = from; j < f.nvars; j++)
            if (f.exp(i)[j] != 0) return true;
    return false;
}

FlatPoly flat_first_columns(const FlatPoly& f, int32_t n) {
    FlatPoly r;
    r.nvars = n;
    for (size_t i = 0; i < f.terms(); i++) r.push(f.exp(i), f.coefs[i]);
    return r;
}

FlatPoly split_specialise(const FlatPoly& f, const SplitRoots& R, size_t choice) {
    const Field F(R.q);
    const int32_t k = static_cast<int32_t>(R.level.size());
    const int32_t n = f.nvars - k;
    std::vector<int32_t> top(static_cast<size_t>(k), 0);
    for (size_t i = 0; i < f.terms(); i++)
        for (int32_t m = 0; m < k; m++)
            top[static_cast<size_t>(k - 1 - m)] = std::max(top[static_cast<size_t>(k - 1 - m)], f.exp(i)[n + m]);
    std::vector<std::vector<uint32_t>> pw(static_cast<size_t>(k));
    for (int32_t j = 0; j < k; j++) {
        std::vector<uint32_t>& t = pw[static_cast<size_t>(j)];
        t.assign(static_cast<size_t>(top[static_cast<size_t>(j)]) + 1, 1);
        const uint32_t root = R.roots[choice * static_cast<size_t>(k) + static_cast<size_t>(j)];
        for (size_t e = 1; e < t.size(); e++) t[e] = F.mul(t[e - 1], root);
    }
    return specialise(f, n, pw, F);
}

void split_join(const std::vector<FlatPoly>& images, int32_t n, const SplitRoots& R, FlatPoly* g) {
    const Field F(R.q);
    const int32_t k = static_cast<int32_t>(R.level.size());
    const size_t K = R.choices();
    // Every monomial of some image, in decreasing order.
    std::vector<std::vector<int32_t>> monos;
    for (const FlatPoly& h : images)
        for (size_t i = 0; i < h.terms(); i++) monos.emplace_back(h.exp(i), h.exp(i) + n);
    std::sort(monos.begin(), monos.end(), std::greater<>());
    monos.erase(std::unique(monos.begin(), monos.end()), monos.end());

    // The field exponents in the order of the terms (the outermost field
    // level's first, each decreasing) with their places in the coefficient
    // array of interpolate.
    std::vector<size_t> stride(static_cast<size_t>(k));
    {
        size_t s = 1;
        for (int32_t j = k; j-- > 0;) {
            stride[static_cast<size_t>(j)] = s;
            s *= static_cast<size_t>(R.degree[static_cast<size_t>(j)]);
        }
    }
    std::vector<int32_t> field_exps;   // k per entry, the outermost level first
    std::vector<size_t> place;
    for (size_t t = K; t-- > 0;) {
        size_t rest = t, at = 0;
        std::vector<int32_t> e(static_cast<size_t>(k));
        for (int32_t j = 0; j < k; j++) {
            const size_t d = static_cast<size_t>(R.degree[static_cast<size_t>(j)]);
            e[static_cast<size_t>(k - 1 - j)] = static_cast<int32_t>(rest % d);
            at += (rest % d) * stride[static_cast<size_t>(j)];
            rest /= d;
        }
        field_exps.insert(field_exps.end(), e.begin(), e.end());
        place.push_back(at);
    }

    FlatPoly out;
    out.nvars = n + k;
    std::vector<size_t> pos(K, 0);
    std::vector<uint32_t> V(K);
    std::vector<int32_t> row(static_cast<size_t>(n + k));
    for (const std::vector<int32_t>& m : monos) {
        for (size_t c = 0; c < K; c++) {
            const FlatPoly& h = images[c];
            if (pos[c] < h.terms() && std::equal(m.begin(), m.end(), h.exp(pos[c]))) {
                V[c] = h.coefs[pos[c]++];
            } else {
                V[c] = 0;
            }
        }
        interpolate(V, R, F);
        std::copy(m.begin(), m.end(), row.begin());
        for (size_t t = 0; t < K; t++) {
            const uint32_t a = V[place[t]];
            if (!a) continue;
            std::copy(field_exps.begin() + static_cast<long>(t * static_cast<size_t>(k)),
                      field_exps.begin() + static_cast<long>((t + 1) * static_cast<size_t>(k)), row.begin() + n);
            out.push(row.data(), a);
        }
    }
    *g = std::move(out);
}

namespace {

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
bool factors_over(pt* level, const Fld& F, std::vector<UPoly>* factors) {
    const uint32_t q = elements(F);
    UPoly f;
    if (!relation_at(level, 0, level->modout_degree, nullptr, F, &f)) return false;
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
    Groups gs = groups_of(f, n);
    for (auto& g : gs) rem_in_place(g.second, m, F);
    return from_groups(gs, n);
}

template <class Fld>
bool monic_over(FlatPoly* h, int32_t n, const UPoly& m, const Fld& F) {
    Groups gs = groups_of(*h, n);
    if (gs.empty()) return true;
    const UPoly inv = inverse_mod(gs.front().second, m, F);
    if (inv.empty()) return false;
    for (auto& g : gs) g.second = mul_mod(g.second, inv, m, F);
    *h = from_groups(gs, n);
    return true;
}

template <class Fld>
void join_over(const std::vector<FlatPoly>& images, int32_t n, const std::vector<UPoly>& factors, const Fld& F,
               FlatPoly* g) {
    UPoly whole{1};
    for (const UPoly& m : factors) {
        UPoly next(whole.size() + m.size() - 1, 0);
        for (size_t i = 0; i < whole.size(); i++)
            for (size_t j = 0; j < m.size(); j++) next[i + j] = F.add(next[i + j], F.mul(whole[i], m[j]));
        whole = std::move(next);
    }
    // The idempotents: 1 modulo factor c, 0 modulo the others.
    std::vector<UPoly> unit;
    for (const UPoly& m : factors) {
        const UPoly others = quotient(whole, m, F);
        unit.push_back(mul_mod(others, inverse_mod(others, m, F), whole, F));
    }
    std::map<std::vector<int32_t>, UPoly, std::greater<>> sum;
    for (size_t c = 0; c < images.size(); c++)
        for (const auto& [head, coef] : groups_of(images[c], n)) {
            UPoly add = mul_mod(coef, unit[c], whole, F);
            UPoly& acc = sum[head];
            acc.resize(std::max(acc.size(), add.size()), 0);
            for (size_t i = 0; i < add.size(); i++) acc[i] = F.add(acc[i], add[i]);
        }
    Groups gs;
    for (auto& [head, coef] : sum) {
        trim(coef);
        if (!coef.empty()) gs.emplace_back(head, std::move(coef));
    }
    *g = from_groups(gs, n);
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
    return over_field(q, [&](const auto& F) { return factors_over(level, F, factors); });
}

FlatPoly reduce_by_factor(const FlatPoly& f, int32_t n, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return reduce_over(f, n, m, F); });
}

bool monic_by_factor(FlatPoly* h, int32_t n, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return monic_over(h, n, m, F); });
}

void factor_join(const std::vector<FlatPoly>& images, int32_t n, const std::vector<SplitFactor>& factors, uint32_t q,
                 FlatPoly* g) {
    over_field(q, [&](const auto& F) { join_over(images, n, factors, F, g); });
}

FlatPoly frobenius_by_factor(const FlatPoly& f, int32_t n, const SplitFactor& m, uint32_t q) {
    return over_field(q, [&](const auto& F) { return frobenius_over(f, n, m, F); });
}
