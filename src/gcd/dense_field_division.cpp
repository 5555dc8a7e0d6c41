// Dense division over a field of field levels (see gcd/dense_field_division.h).
//
// Why the verdict is exact. The divisor's leading coefficient in the
// ordinary variables (lexicographically) is a non-zero integer c. The
// running remainder is r = σ·u − q·m for a non-zero integer σ (every time a
// leading coordinate is not a multiple of c, r is multiplied by what it
// lacks, which multiplies σ and q as well). When m | u, r = h·m with h ≠ 0
// until the end, and since c is no zero divisor the leading term of h·m is
// lt(h)·lt(m): so a leading monomial of r that lt(m)'s does not divide
// proves m ∤ u, and otherwise the step lt(r)/lt(m) is the one any division
// takes. The last remainder is 0 exactly when σ·u = q·m, which is m | u.
// Quotient terms stay inside the box of deg(u) − deg(m) over a field; one
// outside it hands the question to the general division rather than
// answer (a relation declared a field might factor).
#include "gcd/dense_field_division.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "gcd/split_images.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/from_terms.h"
#include "poly/polyvars.h"
#include "toplevel/errors.h"

namespace {

using Int128 = __int128;

// The layout: at most this many words in the remainder (coordinates
// included), and at most this many box entries for each term of the
// dividend beyond a slack, so that a sparse dividend goes the general way.
constexpr int64_t kMaxWords = int64_t{1} << 23;
constexpr int64_t kEntriesPerTerm = 64;
constexpr int64_t kEntriesSlack = 4096;
// Steps of the reduction of the basis products before it is given up.
constexpr int64_t kMaxReductionSteps = 200000;

// A term read off the records: exponents over the levels walked (outermost
// first) and its number.
struct RawTerm {
    std::vector<int32_t> e;
    const imag* c;
};

// The terms of p over `levels` levels from its own; false on a negative
// exponent or a deeper shape than that.
bool collect(const polynode* p, int32_t depth, int32_t levels, std::vector<int32_t>& e, std::vector<RawTerm>* out) {
    for (; p; p = p->next) {
        if (p->numb) {
            if (!p->ncoef->head || p->ncoef->head->digit == 0) continue;
            std::fill(e.begin() + depth, e.end(), 0);
            out->push_back({e, p->ncoef});
            continue;
        }
        if (p->exp < 0 || depth >= levels) return false;
        e[static_cast<size_t>(depth)] = p->exp;
        if (!collect(p->pcoef, depth + 1, levels, e, out)) return false;
    }
    return true;
}

bool terms_of(const polynode* p, int32_t levels, std::vector<RawTerm>* out) {
    std::vector<int32_t> e(static_cast<size_t>(levels), 0);
    out->clear();
    return collect(p, 0, levels, e, out);
}

template <typename T>
bool read_number(const imag* x, T* out) {
    T acc = 0;
    for (const numnode* d = x->head; d; d = d->next)
        if (__builtin_mul_overflow(acc, T{DIGIT_BASE}, &acc) || __builtin_add_overflow(acc, T{d->digit}, &acc))
            return false;
    *out = acc;
    return true;
}

// The most negative value of T, whose negation overflows: a remainder
// entry or divisor number of that value goes the wider (or general) way.
template <typename T>
constexpr T kLowest = static_cast<T>(static_cast<unsigned __int128>(1) << (sizeof(T) * 8 - 1));

// gcd(|a|, |b|), on magnitudes so that no negation overflows; the caller
// makes sure the answer fits (one operand is non-zero and not kLowest).
template <typename T>
T gcd_abs(T a, T b) {
    using U = unsigned __int128;
    U x = a < 0 ? U{0} - static_cast<U>(a) : static_cast<U>(a);
    U y = b < 0 ? U{0} - static_cast<U>(b) : static_cast<U>(b);
    while (y) {
        U t = x % y;
        x = y;
        y = t;
    }
    return static_cast<T>(x);
}

// The field levels (innermost first) and the power basis: coordinate index
// Σ e_j·stride_j, stride_0 = 1.
struct Basis {
    std::vector<int32_t> degree;
    std::vector<int32_t> stride;
    int32_t size = 1;
    // products[(a·size + b)·size + i]: coordinate i of basis_a·basis_b.
    std::vector<Int128> products;
};

// The relation of level j as terms over levels j .. 0 (outermost first),
// monic of degree d in its variable with integer coefficients; false
// otherwise.
struct Relation {
    std::vector<std::vector<int32_t>> e;   // the terms below the leading one
    std::vector<Int128> c;
};

bool read_relation(pt* rec, int32_t j, int32_t d, Relation* out) {
    const polynode* m = rec->binomial ? rec->binomial : rec->relation;
    std::vector<RawTerm> raw;
    if (!terms_of(m, j + 1, &raw)) return false;
    bool leading = false;
    for (const RawTerm& t : raw) {
        Int128 c = 0;
        if (!read_number(t.c, &c)) return false;
        if (t.e[0] == d) {
            if (leading || c != 1 || std::any_of(t.e.begin() + 1, t.e.end(), [](int32_t x) { return x != 0; }))
                return false;
            leading = true;
            continue;
        }
        if (t.e[0] > d) return false;
        out->e.push_back(t.e);
        out->c.push_back(c);
    }
    return leading;
}

// The products of the basis elements reduced by the relations.
bool build_basis(const std::vector<pt*>& levels, Basis* B) {
    const int32_t k = static_cast<int32_t>(levels.size());
    std::vector<Relation> rel(static_cast<size_t>(k));
    for (int32_t j = 0; j < k; j++) {
        const int32_t d = levels[static_cast<size_t>(j)]->modout_degree;
        B->degree.push_back(d);
        B->stride.push_back(B->size);
        B->size *= d;
        if (B->size > 64) return false;
        if (!read_relation(levels[static_cast<size_t>(j)], j, d, &rel[static_cast<size_t>(j)])) return false;
    }
    const int32_t D = B->size;
    B->products.assign(static_cast<size_t>(D) * D * D, 0);
    int64_t steps = 0;
    // Exponent vectors outermost first: the greatest key in this order is
    // reduced first, and every key a reduction makes is smaller.
    for (int32_t a = 0; a < D; a++) {
        for (int32_t b = 0; b < D; b++) {
            std::vector<int32_t> key(static_cast<size_t>(k));
            for (int32_t j = 0; j < k; j++)
                key[static_cast<size_t>(k - 1 - j)] = (a / B->stride[static_cast<size_t>(j)]) % B->degree[static_cast<size_t>(j)] +
                                                      (b / B->stride[static_cast<size_t>(j)]) % B->degree[static_cast<size_t>(j)];
            std::map<std::vector<int32_t>, Int128> work{{key, 1}};
            Int128* out = B->products.data() + (static_cast<size_t>(a) * D + b) * D;
            while (!work.empty()) {
                if (++steps > kMaxReductionSteps) return false;
                auto top = std::prev(work.end());
                const std::vector<int32_t> e = top->first;
                const Int128 c = top->second;
                work.erase(top);
                if (c == 0) continue;
                int32_t j = k - 1;   // the outermost level whose exponent is too high
                for (; j >= 0 && e[static_cast<size_t>(k - 1 - j)] < B->degree[static_cast<size_t>(j)]; j--) {}
                if (j < 0) {
                    int32_t at = 0;
                    for (int32_t i = 0; i < k; i++) at += e[static_cast<size_t>(k - 1 - i)] * B->stride[static_cast<size_t>(i)];
                    out[at] = c;
                    continue;
                }
                // v_j^d = −(the rest of the relation).
                const Relation& r = rel[static_cast<size_t>(j)];
                for (size_t t = 0; t < r.e.size(); t++) {
                    std::vector<int32_t> n = e;
                    // r.e[t] covers levels j .. 0, outermost first: slots k-1-j ...
                    n[static_cast<size_t>(k - 1 - j)] += r.e[t][0] - B->degree[static_cast<size_t>(j)];
                    for (int32_t i = 1; i <= j; i++) n[static_cast<size_t>(k - 1 - j + i)] += r.e[t][static_cast<size_t>(i)];
                    Int128 term = 0;
                    Int128& slot = work[n];
                    if (__builtin_mul_overflow(c, r.c[t], &term) || __builtin_sub_overflow(slot, term, &slot)) return false;
                }
            }
        }
    }
    return true;
}

// What the typed division needs, read once.
struct Layout {
    int32_t n = 0;                       // ordinary levels
    std::vector<int32_t> dim, stride;    // the box of u's degrees
    int64_t cells = 1;
    std::vector<RawTerm> u, m;           // over n + field levels
};

// An element's coordinate index from the field exponents of a raw term
// (outermost field level first, after the n ordinary ones); -1 when an
// exponent reaches its relation's degree (the records are kept reduced).
int32_t coordinate(const RawTerm& t, int32_t n, const Basis& B) {
    const int32_t k = static_cast<int32_t>(B.degree.size());
    int32_t at = 0;
    for (int32_t j = 0; j < k; j++) {
        const int32_t e = t.e[static_cast<size_t>(n + k - 1 - j)];
        if (e >= B.degree[static_cast<size_t>(j)]) return -1;
        at += e * B.stride[static_cast<size_t>(j)];
    }
    return at;
}

int64_t cell(const RawTerm& t, const Layout& L) {
    int64_t at = 0;
    for (int32_t i = 0; i < L.n; i++) at += static_cast<int64_t>(t.e[static_cast<size_t>(i)]) * L.stride[static_cast<size_t>(i)];
    return at;
}

bool narrow(Int128 v, int64_t* out) {
    if (v > INT64_MAX || v < INT64_MIN) return false;
    *out = static_cast<int64_t>(v);
    return true;
}
bool narrow(Int128 v, Int128* out) {
    *out = v;
    return true;
}

enum : int { kNo = 0, kYes = 1, kUndecided = -1, kOverflow = -2 };

// The quotient when wanted: σ·u = q·m, q over the cells of u's box
// (index: the quotient term's cell), its elements' coordinates as Int128.
struct Quotient {
    std::vector<Int128> q;
    Int128 sigma = 1;
};

template <typename T>
int divide_as(const Layout& L, const Basis& B, Quotient* out) {
    const int32_t D = B.size;
    const size_t Dz = static_cast<size_t>(D);
    std::vector<T> table(B.products.size());
    for (size_t i = 0; i < table.size(); i++) {
        if (!narrow(B.products[i], &table[i])) return kOverflow;
    }
    std::vector<T> r(static_cast<size_t>(L.cells) * Dz, 0);
    for (const RawTerm& t : L.u) {
        T c = 0;
        if (!read_number(t.c, &c)) return kOverflow;
        const size_t at = static_cast<size_t>(cell(t, L)) * Dz + static_cast<size_t>(coordinate(t, L.n, B));
        if (__builtin_add_overflow(r[at], c, &r[at])) return kOverflow;
    }
    // The divisor's terms by cell, each element as its non-zero coordinates.
    std::vector<int64_t> m_cell;
    std::vector<size_t> m_start{0};
    std::vector<std::pair<int32_t, T>> m_coef;
    for (size_t i = 0; i < L.m.size(); i++) {
        T c = 0;
        if (!read_number(L.m[i].c, &c)) return kOverflow;
        const int64_t at = cell(L.m[i], L);
        if (m_cell.empty() || m_cell.back() != at) {
            if (!m_cell.empty()) m_start.push_back(m_coef.size());
            m_cell.push_back(at);
        }
        m_coef.emplace_back(coordinate(L.m[i], L.n, B), c);
    }
    m_start.push_back(m_coef.size());
    // The leading element is the integer lc (checked by the caller).
    const T lc = m_coef[0].second;
    if (lc == kLowest<T>) return kOverflow;
    const int64_t lead = m_cell[0];
    std::vector<int32_t> lead_e(L.m[0].e.begin(), L.m[0].e.begin() + L.n);
    std::vector<int32_t> m_deg(static_cast<size_t>(L.n), 0);
    for (const RawTerm& t : L.m)
        for (int32_t i = 0; i < L.n; i++) m_deg[static_cast<size_t>(i)] = std::max(m_deg[static_cast<size_t>(i)], t.e[static_cast<size_t>(i)]);

    std::vector<T> qt(Dz), mult(Dz * Dz);
    std::vector<T> quo(out ? static_cast<size_t>(L.cells) * Dz : 0, 0);
    T sigma = 1;
    std::vector<int32_t> e(static_cast<size_t>(L.n));
    int64_t steps = 0;
    for (int64_t idx = L.cells - 1; idx >= 0; idx--) {
        T* x = r.data() + static_cast<size_t>(idx) * Dz;
        if (std::all_of(x, x + D, [](T v) { return v == 0; })) continue;
        // The leading monomial of the remainder.
        int64_t rest = idx;
        for (int32_t i = L.n; i-- > 0;) {
            e[static_cast<size_t>(i)] = static_cast<int32_t>(rest % L.dim[static_cast<size_t>(i)]);
            rest /= L.dim[static_cast<size_t>(i)];
        }
        for (int32_t i = 0; i < L.n; i++) {
            const int32_t qe = e[static_cast<size_t>(i)] - lead_e[static_cast<size_t>(i)];
            if (qe < 0) return kNo;
            if (qe + m_deg[static_cast<size_t>(i)] >= L.dim[static_cast<size_t>(i)]) return kUndecided;
        }
        if ((++steps & 63) == 0) poll_interrupt();
        // The quotient's element x / lc, the remainder scaled first by what
        // its coordinates lack of lc.
        T g = lc;
        for (int32_t a = 0; a < D; a++) {
            if (x[a] == kLowest<T>) return kOverflow;
            g = gcd_abs(g, x[a]);
        }
        const T f = (lc < 0 ? -lc : lc) / g;
        if (f != 1) {
            for (int64_t i = 0; i < (idx + 1) * D; i++)
                if (__builtin_mul_overflow(r[static_cast<size_t>(i)], f, &r[static_cast<size_t>(i)])) return kOverflow;
            for (T& c : quo)
                if (__builtin_mul_overflow(c, f, &c)) return kOverflow;
            if (__builtin_mul_overflow(sigma, f, &sigma)) return kOverflow;
        }
        for (int32_t a = 0; a < D; a++) qt[static_cast<size_t>(a)] = x[a] / lc;
        if (out) std::copy(qt.begin(), qt.end(), quo.begin() + static_cast<long>(static_cast<size_t>(idx - lead) * Dz));
        // mult[i·D + b]: coordinate i of qt·basis_b.
        std::fill(mult.begin(), mult.end(), 0);
        for (int32_t a = 0; a < D; a++) {
            const T q = qt[static_cast<size_t>(a)];
            if (!q) continue;
            for (int32_t b = 0; b < D; b++) {
                const T* prod = table.data() + (static_cast<size_t>(a) * Dz + static_cast<size_t>(b)) * Dz;
                for (int32_t i = 0; i < D; i++) {
                    if (!prod[i]) continue;
                    T w = 0;
                    T& s = mult[static_cast<size_t>(i) * Dz + static_cast<size_t>(b)];
                    if (__builtin_mul_overflow(q, prod[i], &w) || __builtin_add_overflow(s, w, &s)) return kOverflow;
                }
            }
        }
        std::fill(x, x + D, 0);
        const int64_t shift = idx - lead;
        for (size_t t = 1; t < m_cell.size(); t++) {
            T* y = r.data() + static_cast<size_t>(shift + m_cell[t]) * Dz;
            for (size_t s = m_start[t]; s < m_start[t + 1]; s++) {
                const int32_t b = m_coef[s].first;
                const T mc = m_coef[s].second;
                for (int32_t i = 0; i < D; i++) {
                    const T q = mult[static_cast<size_t>(i) * Dz + static_cast<size_t>(b)];
                    if (!q) continue;
                    T w = 0;
                    if (__builtin_mul_overflow(q, mc, &w) || __builtin_sub_overflow(y[i], w, &y[i])) return kOverflow;
                }
            }
        }
    }
    if (out) {
        out->q.assign(quo.begin(), quo.end());
        out->sigma = sigma;
    }
    return kYes;
}

// The layout of u and m, or false when the array does not take them.
bool lay_out(polynode* u, polynode* m, pt* rec, Layout* L, Basis* B) {
    // The words hold integers: residues and machine-word numbers go the
    // general way.
    if (modularmode || lintmode) return false;
    std::vector<pt*> levels;
    if (!split_field_levels(rec, &levels)) return false;
    for (pt* r = rec; r && r->level < field_depth; r = r->next) L->n++;
    const int32_t k = static_cast<int32_t>(levels.size());
    if (L->n < 1) return false;
    if (!terms_of(u, L->n + k, &L->u) || !terms_of(m, L->n + k, &L->m) || L->u.empty() || L->m.empty()) return false;
    // A divisor free of the ordinary variables is a field element: the
    // general road answers that at once.
    if (std::all_of(L->m[0].e.begin(), L->m[0].e.begin() + L->n, [](int32_t x) { return x == 0; })) return false;
    // The leading element must be an integer: one term, all field exponents 0.
    if (L->m.size() > 1 && std::equal(L->m[0].e.begin(), L->m[0].e.begin() + L->n, L->m[1].e.begin())) return false;
    if (std::any_of(L->m[0].e.begin() + L->n, L->m[0].e.end(), [](int32_t x) { return x != 0; })) return false;
    if (!build_basis(levels, B)) return false;
    L->dim.assign(static_cast<size_t>(L->n), 1);
    for (const RawTerm& t : L->u)
        for (int32_t i = 0; i < L->n; i++) {
            // A side longer than the whole array (up to the largest
            // exponent there is, whose successor is no int32_t) never fits.
            if (t.e[static_cast<size_t>(i)] >= kMaxWords) return false;
            L->dim[static_cast<size_t>(i)] = std::max(L->dim[static_cast<size_t>(i)], t.e[static_cast<size_t>(i)] + 1);
        }
    for (const RawTerm& t : L->m)
        for (int32_t i = 0; i < L->n; i++)
            if (t.e[static_cast<size_t>(i)] >= L->dim[static_cast<size_t>(i)]) return false;
    for (const std::vector<RawTerm>* terms : {&L->u, &L->m})
        for (const RawTerm& t : *terms)
            if (coordinate(t, L->n, *B) < 0) return false;
    L->stride.assign(static_cast<size_t>(L->n), 1);
    for (int32_t i = L->n; i-- > 0;) {
        L->stride[static_cast<size_t>(i)] = L->cells;
        L->cells *= L->dim[static_cast<size_t>(i)];
        if (L->cells * B->size > kMaxWords) return false;
    }
    return L->cells <= kEntriesPerTerm * static_cast<int64_t>(L->u.size()) + kEntriesSlack;
}

int divide(const Layout& L, const Basis& B, Quotient* out) {
    int verdict = divide_as<int64_t>(L, B, out);
    if (verdict == kOverflow) verdict = divide_as<Int128>(L, B, out);
    return verdict == kOverflow ? kUndecided : verdict;
}

}  // namespace

int dense_field_divides(polynode* u, polynode* m, pt* rec) {
    Layout L;
    Basis B;
    if (!lay_out(u, m, rec, &L, &B)) return kUndecided;
    return divide(L, B, nullptr);
}

int dense_field_quotient(polynode* u, polynode* m, pt* rec, polynode** q, polynode** scale) {
    Layout L;
    Basis B;
    if (!lay_out(u, m, rec, &L, &B)) return kUndecided;
    // A negative leading number would leave the sign to a convention.
    if (L.m[0].c->head->digit < 0) return kUndecided;
    Quotient Q;
    const int verdict = divide(L, B, &Q);
    if (verdict != kYes) return verdict;
    // σ and q without their common integer content.
    Int128 g = Q.sigma;
    for (Int128 c : Q.q)
        if (c) g = gcd_abs(g, c);
    Q.sigma /= g;
    const size_t D = static_cast<size_t>(B.size);
    const int32_t k = static_cast<int32_t>(B.degree.size());
    const int32_t nvars = L.n + k;
    std::vector<int32_t> exps;
    std::vector<Int128> coefs;
    for (int64_t idx = L.cells - 1; idx >= 0; idx--) {
        for (size_t at = D; at-- > 0;) {
            const Int128 c = Q.q[static_cast<size_t>(idx) * D + at];
            if (!c) continue;
            int64_t rest = idx;
            const size_t first = exps.size();
            exps.resize(first + static_cast<size_t>(nvars));
            for (int32_t i = L.n; i-- > 0;) {
                exps[first + static_cast<size_t>(i)] = static_cast<int32_t>(rest % L.dim[static_cast<size_t>(i)]);
                rest /= L.dim[static_cast<size_t>(i)];
            }
            for (int32_t j = 0; j < k; j++)
                exps[first + static_cast<size_t>(L.n + k - 1 - j)] =
                    static_cast<int32_t>(at) / B.stride[static_cast<size_t>(j)] % B.degree[static_cast<size_t>(j)];
            coefs.push_back(c / g);
        }
    }
    free_poly(q);
    *q = poly_from_terms(exps.data(), coefs.size(), nvars,
                         [&coefs](size_t i) { return new_number_node(int128_number(coefs[i])); });
    free_poly(scale);
    *scale = new_number_node(int128_number(Q.sigma));
    return kYes;
}
