// Multivariate gcd modulo a small prime in an extension field: see
// small_field_gcd.h.
//
// A polynomial in the variables k .. n - 1 (level k) is a dense array of
// rows in x_k, each row the box of the inner variables with extents shared
// by the whole call, so the linear index orders the monomials
// lexicographically and the leading monomial is the last non-zero entry.
// At level k the contents in x_k (one-variable gcds of the columns) are
// split off; the images of the primitive parts at x_k = a, for points where
// neither leading coefficient (the column of the leading inner monomial)
// vanishes, have monic gcds that are scaled to gamma(a), gamma the gcd of
// those leading coefficients, and interpolated in Newton form. An image
// whose leading monomial is larger than another's has picked up a spurious
// factor and is dropped; a smaller one shows that every earlier image had.
// No image comes out below the true degree, so a candidate that divides
// both operands is the gcd.
#include "gcd/small_field_gcd.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "gcd/flat_modgcd.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/trialdiv.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace smallgcd {

namespace {

// Digit vectors modulo p and a monic f of degree k (x^k = -(f[k-1] x^(k-1)
// + ... + f[0])): a * b reduced.
std::vector<uint32_t> mulmod(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b,
                             const std::vector<uint32_t>& f, uint32_t p) {
    const size_t k = f.size();
    std::vector<uint64_t> c(2 * k - 1, 0);
    for (size_t i = 0; i < k; i++)
        for (size_t j = 0; j < k; j++) c[i + j] = (c[i + j] + static_cast<uint64_t>(a[i]) * b[j]) % p;
    for (size_t e = 2 * k - 1; e-- > k;)
        for (size_t j = 0; j < k; j++) c[e - k + j] = (c[e - k + j] + (p - f[j]) * c[e]) % p;
    return std::vector<uint32_t>(c.begin(), c.begin() + static_cast<long>(k));
}

std::vector<uint32_t> x_power(uint64_t n, const std::vector<uint32_t>& f, uint32_t p) {
    const size_t k = f.size();
    std::vector<uint32_t> r(k, 0), b(k, 0);
    r[0] = 1;
    if (k == 1) {
        b[0] = (p - f[0]) % p;
    } else {
        b[1] = 1;
    }
    for (; n; n >>= 1) {
        if (n & 1) r = mulmod(r, b, f, p);
        b = mulmod(b, b, f, p);
    }
    return r;
}

}  // namespace

ExtField make_field(uint32_t p, uint32_t at_least) {
    ExtField F;
    F.p = p;
    F.base = p;
    F.k = 1;
    F.q = p;
    while (F.q < at_least && static_cast<uint64_t>(F.q) * p <= FIELD_LIMIT) {
        F.q *= p;
        F.k++;
    }
    const uint32_t k = F.k, q = F.q;
    std::vector<uint32_t> primes;
    for (uint32_t m = q - 1, r = 2; m > 1; r++) {
        if (static_cast<uint64_t>(r) * r > m) r = m;
        if (m % r) continue;
        primes.push_back(r);
        while (m % r == 0) m /= r;
    }
    // x has order q - 1 modulo f only when f is irreducible (else fewer
    // than q - 1 residues are units) and x is then a primitive element.
    std::vector<uint32_t> f(k, 0), one(k, 0);
    one[0] = 1;
    for (;;) {
        for (uint32_t i = 0; i < k; i++) {
            if (++f[i] < p) break;
            f[i] = 0;
        }
        if (f[0] == 0 || x_power(q - 1, f, p) != one) continue;
        bool primitive = true;
        for (uint32_t r : primes) primitive = primitive && x_power((q - 1) / r, f, p) != one;
        if (primitive) break;
    }
    F.exp.assign(2 * static_cast<size_t>(q - 1), 0);
    F.log.assign(q, 0);
    std::vector<uint32_t> d(k, 0);
    d[0] = 1;
    for (uint32_t i = 0; i < q - 1; i++) {
        uint32_t code = 0;
        for (uint32_t j = k; j-- > 0;) code = code * p + d[j];
        F.exp[i] = F.exp[i + q - 1] = code;
        F.log[code] = i;
        const uint32_t top = d[k - 1];
        for (uint32_t j = k - 1; j > 0; j--) d[j] = (d[j - 1] + p - top * f[j] % p) % p;
        d[0] = (p - top * f[0] % p) % p;
    }
    F.minus_one = p == 2 ? 0 : (q - 1) / 2;
    F.zech.assign(q - 1, ExtField::none);
    for (uint32_t i = 0; i < q - 1; i++) {
        const uint32_t c = F.exp[i], low = c % p;
        const uint32_t c1 = c - low + (low + 1) % p;
        if (c1) F.zech[i] = F.log[c1];
    }
    return F;
}

ExtField gf2t16_field() {
    ExtField F;
    F.p = 2;
    F.k = 16;
    F.q = 65536;
    F.base = 256;
    F.exp.resize(2 * 65535);
    F.log.assign(f2t16log, f2t16log + 65536);
    for (uint32_t i = 0; i < 65535; i++) F.exp[i] = F.exp[i + 65535] = f2t16exp[i];
    return F;
}

}  // namespace smallgcd

namespace {

using smallgcd::ExtField;
using Vec = std::vector<uint32_t>;

constexpr size_t NONE = ~static_cast<size_t>(0);

struct Call {
    const ExtField& F;
    std::vector<size_t> below;   // below[k]: the entries of one row at level k
    uint64_t rng;
    int64_t work;
    uint32_t point() {
        uint64_t z = (rng += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) % F.q);
    }
    bool spend(size_t n) {
        work -= static_cast<int64_t>(n) + 1;
        return work >= 0;
    }
};

// ---- one variable: coefficients from the constant up, no trailing zeros

void trim(Vec& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}

uint32_t value_at(const ExtField& F, const Vec& a, uint32_t x) {
    uint32_t r = 0;
    for (size_t i = a.size(); i-- > 0;) r = F.add(F.mul(r, x), a[i]);
    return r;
}

void make_monic(const ExtField& F, Vec& a) {
    if (a.empty() || a.back() == 1) return;
    const uint32_t s = F.inv(a.back());
    for (uint32_t& c : a) c = F.mul(c, s);
}

// a := a mod b; with q, the quotient too (b non-zero).
void divide(const ExtField& F, Vec& a, const Vec& b, Vec* q) {
    const size_t db = b.size() - 1;
    if (q) q->assign(a.size() >= b.size() ? a.size() - db : 0, 0);
    if (a.size() < b.size()) return;
    const uint32_t s = F.inv(b.back());
    for (size_t i = a.size(); i-- > db;) {
        const uint32_t t = F.mul(a[i], s);
        if (!t) continue;
        if (q) (*q)[i - db] = t;
        for (size_t j = 0; j <= db; j++) a[i - db + j] = F.sub(a[i - db + j], F.mul(t, b[j]));
    }
    a.resize(db);
    trim(a);
}

// The monic gcd (empty for two zeros).
Vec gcd1(const ExtField& F, Vec a, Vec b) {
    trim(a);
    trim(b);
    while (!b.empty()) {
        divide(F, a, b, nullptr);
        std::swap(a, b);
    }
    make_monic(F, a);
    return a;
}

Vec product1(const ExtField& F, const Vec& a, const Vec& b) {
    if (a.empty() || b.empty()) return {};
    Vec r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        if (a[i])
            for (size_t j = 0; j < b.size(); j++) r[i + j] = F.add(r[i + j], F.mul(a[i], b[j]));
    return r;
}

// ---- level k: rows of S entries

size_t lead_index(const Vec& A) {
    for (size_t i = A.size(); i-- > 0;)
        if (A[i]) return i;
    return NONE;
}

// The leading monomial in the inner variables alone: the largest index
// within a row, over all rows.
size_t lead_inner(const Vec& A, size_t S) {
    size_t best = 0;
    for (size_t i = 0; i < A.size(); i++)
        if (A[i] && i % S > best) best = i % S;
    return best;
}

// The one-variable c as a polynomial at level k.
Vec content_rows(const Vec& c, size_t S) {
    Vec r(c.size() * S, 0);
    for (size_t i = 0; i < c.size(); i++) r[i * S] = c[i];
    return r;
}

void trim_rows(Vec& A, size_t S) {
    const size_t l = lead_index(A);
    A.resize(l == NONE ? 0 : (l / S + 1) * S);
}

Vec column(const Vec& A, size_t S, size_t m) {
    Vec c(A.size() / S);
    for (size_t i = 0; i < c.size(); i++) c[i] = A[i * S + m];
    trim(c);
    return c;
}

// The monic gcd of the columns.
Vec content_of(Call& cx, const Vec& A, size_t S) {
    Vec g;
    for (size_t m = 0; m < S; m++) {
        Vec c = column(A, S, m);
        if (c.empty()) continue;
        cx.spend(c.size() * (g.size() + 1));
        g = g.empty() ? (make_monic(cx.F, c), c) : gcd1(cx.F, std::move(g), std::move(c));
        if (g.size() == 1) break;
    }
    return g;
}

// A divided by the one-variable c column by column (c divides every column).
Vec divide_columns(Call& cx, const Vec& A, size_t S, const Vec& c) {
    if (c.size() <= 1) return A;
    const size_t rows = A.size() / S - (c.size() - 1);
    Vec out(rows * S, 0);
    for (size_t m = 0; m < S; m++) {
        Vec col = column(A, S, m), q;
        if (col.empty()) continue;
        cx.spend(col.size() * c.size());
        divide(cx.F, col, c, &q);
        for (size_t i = 0; i < q.size(); i++) out[i * S + m] = q[i];
    }
    return out;
}

Vec times_column(Call& cx, const Vec& A, size_t S, const Vec& c) {
    if (c.size() <= 1) return A;
    const size_t rows = A.size() / S;
    Vec out((rows + c.size() - 1) * S, 0);
    cx.spend(A.size() * c.size());
    for (size_t i = 0; i < rows; i++)
        for (size_t j = 0; j < c.size(); j++)
            if (c[j])
                for (size_t m = 0; m < S; m++)
                    out[(i + j) * S + m] = cx.F.add(out[(i + j) * S + m], cx.F.mul(c[j], A[i * S + m]));
    return out;
}

// A at x_k = a: one row.
Vec at_point(Call& cx, const Vec& A, size_t S, uint32_t a) {
    Vec r(S, 0);
    cx.spend(A.size());
    for (size_t i = A.size() / S; i-- > 0;)
        for (size_t m = 0; m < S; m++) r[m] = cx.F.add(cx.F.mul(r[m], a), A[i * S + m]);
    return r;
}

void monic_rows(const ExtField& F, Vec& A) {
    const size_t l = lead_index(A);
    if (l == NONE || A[l] == 1) return;
    const uint32_t s = F.inv(A[l]);
    for (uint32_t& c : A) c = F.mul(c, s);
}

// The monic gcd of the non-zero A and B at level k; false
// when the work runs out or points keep failing.
bool gcd_at(Call& cx, size_t k, Vec A, Vec B, Vec* G) {
    const ExtField& F = cx.F;
    if (k + 1 == cx.below.size()) {
        if (!cx.spend(A.size() * B.size())) return false;
        *G = gcd1(F, std::move(A), std::move(B));
        return true;
    }
    poll_interrupt();
    const size_t S = cx.below[k];
    // Images come as whole boxes; the degree bound wants their true rows.
    trim_rows(A, S);
    trim_rows(B, S);
    const Vec cA = content_of(cx, A, S), cB = content_of(cx, B, S);
    const Vec c = gcd1(F, cA, cB);
    const Vec pA = divide_columns(cx, A, S, cA), pB = divide_columns(cx, B, S, cB);
    const size_t mA = lead_inner(pA, S), mB = lead_inner(pB, S);
    if (mA == 0 || mB == 0) {
        // A primitive part free of the inner variables is a unit.
        *G = content_rows(c, S);
        return cx.work >= 0;
    }
    const Vec lA = column(pA, S, mA), lB = column(pB, S, mB);
    const Vec gamma = gcd1(F, lA, lB);
    const size_t bound = std::min(pA.size(), pB.size()) / S - 1 + gamma.size() - 1;

    Vec H, M{1};
    size_t points = 0, lead = NONE, tries = 0;
    std::unordered_set<uint32_t> used;
    while (points <= bound) {
        if (++tries > 3 * bound + 40 || used.size() + 2 >= F.q || cx.work < 0) return false;
        const uint32_t a = cx.point();
        if (!used.insert(a).second) continue;
        if (value_at(F, lA, a) == 0 || value_at(F, lB, a) == 0) continue;
        Vec g;
        if (!gcd_at(cx, k + 1, at_point(cx, pA, S, a), at_point(cx, pB, S, a), &g)) return false;
        const size_t lg = lead_index(g);
        if (lg == 0) {
            // Coprime primitive parts: the gcd is the contents'.
            *G = content_rows(c, S);
            return true;
        }
        if (lead != NONE && lg > lead) continue;
        if (lg < lead) {
            H.clear();
            M.assign(1, 1);
            points = 0;
        }
        lead = lg;
        g.resize(S, 0);
        const uint32_t ga = value_at(F, gamma, a);
        if (H.empty()) {
            for (uint32_t& x : g) x = F.mul(x, ga);
            H = std::move(g);
        } else {
            // Newton: H += M (g gamma(a) - H(a)) / M(a).
            const Vec h = at_point(cx, H, S, a);
            const uint32_t s = F.inv(value_at(F, M, a));
            H.resize(M.size() * S, 0);
            cx.spend(M.size() * S);
            for (size_t m = 0; m < S; m++) {
                const uint32_t d = F.mul(F.sub(F.mul(g[m], ga), h[m]), s);
                if (!d) continue;
                for (size_t i = 0; i < M.size(); i++) H[i * S + m] = F.add(H[i * S + m], F.mul(M[i], d));
            }
        }
        M = product1(F, M, Vec{F.neg(a), 1});
        points++;
    }
    trim_rows(H, S);
    Vec P = divide_columns(cx, H, S, content_of(cx, H, S));
    P = times_column(cx, P, S, c);
    trim_rows(P, S);
    monic_rows(F, P);
    *G = std::move(P);
    return cx.work >= 0;
}

}  // namespace

int small_field_gcd(polynode* u, polynode* v, polynode** result, pt* rec) {
    // A word prime has points enough; so has GF(2^16).
    if (!modularmode || f2t16 || field_depth != 0 || laurent || modulus < 2 || (!f256 && (!mod_is_prime || modulus >= 1024)))
        return 0;
    if (!rec || !rec->next || relation_inward(rec)) return 0;
    flatgcd::FlatPoly fu, fv;
    if (!flatten_residues(u, rec, &fu) || !flatten_residues(v, rec, &fv)) return 0;
    if (fu.terms() == 0 || fv.terms() == 0) return 0;
    const int32_t n = fu.nvars;
    std::vector<int32_t> ext(static_cast<size_t>(n), 1);
    for (const flatgcd::FlatPoly* f : {&fu, &fv})
        for (size_t i = 0; i < f->terms(); i++)
            for (int32_t j = 0; j < n; j++) ext[static_cast<size_t>(j)] = std::max(ext[static_cast<size_t>(j)], f->exp(i)[j] + 1);
    // Dense work pays only while the box of coefficients stays moderate.
    constexpr size_t BOX_LIMIT = size_t{1} << 22;
    std::vector<size_t> below(static_cast<size_t>(n), 1);
    size_t box = 1;
    int32_t top = 1;
    for (int32_t j = n; j-- > 0;) {
        below[static_cast<size_t>(j)] = box;
        box *= static_cast<size_t>(ext[static_cast<size_t>(j)]);
        if (box > BOX_LIMIT) return 0;
        top = std::max(top, ext[static_cast<size_t>(j)]);
    }
    // Enough points that unlucky ones stay rare at every level.
    static smallgcd::ExtField field;
    const uint32_t want = std::max<uint32_t>(256, 16 * static_cast<uint32_t>(top));
    if (f256) {
        if (field.base != 256) field = smallgcd::gf2t16_field();
    } else if (field.base != static_cast<uint32_t>(modulus) ||
               (field.q < want && static_cast<uint64_t>(field.q) * field.p <= smallgcd::FIELD_LIMIT)) {
        field = smallgcd::make_field(static_cast<uint32_t>(modulus), want);
    }
    if (field.q < 4 * static_cast<uint32_t>(top)) return 0;

    auto dense = [&](const flatgcd::FlatPoly& f) {
        Vec d(static_cast<size_t>(ext[0]) * below[0], 0);
        for (size_t i = 0; i < f.terms(); i++) {
            size_t at = 0;
            for (int32_t j = 0; j < n; j++) at += static_cast<size_t>(f.exp(i)[j]) * below[static_cast<size_t>(j)];
            d[at] = f.coefs[i];
        }
        trim_rows(d, below[0]);
        return d;
    };
    const Vec A = dense(fu), B = dense(fv);
    for (int attempt = 0; attempt < 3; attempt++) {
        Call cx{field, below, static_cast<uint64_t>(rand_integer3()) * 0x100000001B3ull + static_cast<uint64_t>(attempt),
                400000000};
        Vec G;
        if (!gcd_at(cx, 0, A, B, &G)) {
            if (cx.work < 0) return 0;
            continue;
        }
        flatgcd::FlatPoly fg;
        fg.nvars = n;
        bool in_base = true;
        std::vector<int32_t> e(static_cast<size_t>(n));
        for (size_t i = G.size(); i-- > 0 && in_base;) {
            if (!G[i]) continue;
            if (G[i] >= field.base) in_base = false;
            size_t r = i;
            for (int32_t j = 0; j < n; j++) {
                e[static_cast<size_t>(j)] = static_cast<int32_t>(r / below[static_cast<size_t>(j)]);
                r %= below[static_cast<size_t>(j)];
            }
            fg.push(e.data(), G[i]);
        }
        if (!in_base) continue;
        PolyHold cand(poly_from_flat(fg));
        // No image falls below the true degree: a constant is the answer.
        if (gcd_impl::is_number(cand.p) || (candidate_divides(u, cand.p, rec) && candidate_divides(v, cand.p, rec))) {
            free_poly(result);
            *result = cand.release();
            return 1;
        }
    }
    return 0;
}
