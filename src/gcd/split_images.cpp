// Gcd images over a tower modulo primes where it splits (see split_images.h).
#include "gcd/split_images.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "gcd/field_levels.h"
#include "gcd/upoly_field.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

uint32_t image_residue(const imag* n, const flatgcd::Field& F) {
    if (!lintmode) {
        // Every digit carries the number's sign: the magnitude's residue by
        // F's reduction, which needs no division, negated for a negative.
        uint64_t r = 0;
        bool negative = false;
        const numnode* d = n->head;
        for (int32_t k = 0; k < n->count && d; k++, d = d->next) {
            negative = negative || d->digit < 0;
            r = F.reduce((r << DIGIT_BITS) + static_cast<uint64_t>(d->digit < 0 ? -int64_t{d->digit} : d->digit));
        }
        return negative ? F.neg(static_cast<uint32_t>(r)) : static_cast<uint32_t>(r);
    }
    const int64_t r = n->value % static_cast<int64_t>(F.p);
    return static_cast<uint32_t>(r < 0 ? r + F.p : r);
}

uint32_t image_power(uint32_t b, int32_t e, const flatgcd::Field& F) {
    uint32_t r = 1;
    for (; e > 0; e >>= 1, b = F.mul(b, b))
        if (e & 1) r = F.mul(r, b);
    return r;
}

namespace {

using flatgcd::Field;
using flatgcd::FlatPoly;
using upoly::monic_gcd;
using upoly::mul_mod;
using upoly::next_random;
using upoly::power_mod;
using upoly::quotient;
using upoly::rem_in_place;
using upoly::trim;
using upoly::UPoly;

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

}  // namespace

bool split_value_at(const polynode* p, int32_t j, const uint32_t* roots, const Field& F, uint32_t* out) {
    uint32_t sum = 0;
    for (; p; p = p->next) {
        uint32_t c = 0;
        if (p->numb) {
            c = image_residue(p->ncoef, F);
        } else {
            if (j < 0 || p->exp < 0) return false;
            if (!split_value_at(p->pcoef, j - 1, roots, F, &c)) return false;
            c = F.mul(c, image_power(roots[j], p->exp, F));
        }
        sum = F.add(sum, c);
    }
    *out = sum;
    return true;
}

namespace {

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

bool relation_modulo(pt* rec, int32_t j, int32_t degree, const uint32_t* inner_roots, const flatgcd::Field& F,
                     upoly::UPoly* f) {
    const polynode* m = rec->binomial ? rec->binomial : rec->relation;
    f->assign(static_cast<size_t>(degree) + 1, 0);
    for (const polynode* t = m; t; t = t->next) {
        uint32_t c = 0;
        int32_t e = 0;
        if (t->numb) {
            c = image_residue(t->ncoef, F);
        } else {
            e = t->exp;
            if (e < 0 || e > degree || !split_value_at(t->pcoef, j - 1, inner_roots, F, &c)) return false;
        }
        (*f)[static_cast<size_t>(e)] = F.add((*f)[static_cast<size_t>(e)], c);
    }
    return f->back() == 1;
}

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

SplitScan& split_scan_of(const std::vector<pt*>& levels) {
    // Towers that differ alternate within one computation (a factor's copy,
    // the field road of relations without the flag beside declared ones).
    constexpr size_t KEPT = 4;
    static std::vector<std::pair<std::vector<int64_t>, SplitScan>> kept;
    std::vector<int64_t> key = relations_key(levels);
    for (size_t i = 0; i < kept.size(); i++) {
        if (kept[i].first != key) continue;
        if (i > 0) std::swap(kept[i], kept[0]);
        return kept[0].second;
    }
    if (kept.size() == KEPT) kept.pop_back();
    kept.insert(kept.begin(), {std::move(key), SplitScan{}});
    return kept[0].second;
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
        // d distinct roots need d elements: a relation of degree past the
        // field's size has no copies, and reading it densely (a binomial of
        // degree 2^28, at every quotient) cost seconds and gigabytes.
        if (static_cast<uint64_t>(d) > q) return false;
        std::vector<uint32_t> next;
        next.reserve(count * static_cast<size_t>(d) * (j + 1));
        for (size_t p = 0; p < count; p++) {
            const uint32_t* chosen = inner.data() + p * j;
            if (!relation_modulo(levels[j], static_cast<int32_t>(j), d, chosen, F, &f)) return false;
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
        // Declining here sends the tower to roads that grow far faster
        // with the degree (for a tower without first auxiliary primes,
        // remainder sequences over the field): a gcd of high degree in
        // several variables is worth its dense cost and a margin. Runs
        // were seen to take up to four times the estimate.
        limits.work = std::max<int64_t>(100000000 + 4000 * static_cast<int64_t>(su.terms() + sv.terms()),
                                        16 * flatgcd::dense_work(su, sv));
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
