#include "matrix/hermite_by_inverse.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "det/word_arith.h"
#include "numbers/numbers.h"
#include "numbers/prime64.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

namespace {

// Below this side the exact steps cost less than a determinant and the
// inverse's primes.
constexpr int32_t kByInverseSide = 12;

uint32_t residue(const FlatInt& x, const wordmod::Prime& P) {
    uint64_t r = 0;
    for (size_t i = x.mag.size(); i-- > 0;) r = P.reduce((r << DIGIT_BITS) | x.mag[i]);
    const uint32_t v = static_cast<uint32_t>(r);
    return x.sign < 0 && v ? P.p - v : v;
}

// The primes below 2^31, from the top down.
uint32_t prime_below(uint32_t p) {
    do p--;
    while (!is_prime64(p));
    return p;
}

// inv := m^-1 modulo the prime (m row-major n x n, destroyed); false when
// m is singular there.
bool inverse_mod(std::vector<uint32_t>& m, int32_t n, const wordmod::Prime& P, std::vector<uint32_t>& inv) {
    const size_t w = 2 * static_cast<size_t>(n);
    std::vector<uint32_t> g(w * n, 0);
    for (int32_t i = 0; i < n; i++) {
        for (int32_t j = 0; j < n; j++) g[i * w + j] = m[static_cast<size_t>(i) * n + j];
        g[i * w + n + i] = 1;
    }
    for (int32_t k = 0; k < n; k++) {
        poll_interrupt();
        int32_t piv = k;
        while (piv < n && g[piv * w + k] == 0) piv++;
        if (piv == n) return false;
        if (piv != k)
            for (size_t j = 0; j < w; j++) std::swap(g[piv * w + j], g[k * w + j]);
        uint32_t* rk = &g[k * w];
        const wordmod::Multiplier s(P.inv(rk[k]), P);
        for (size_t j = k; j < w; j++) rk[j] = s.times(rk[j]);
        for (int32_t i = 0; i < n; i++) {
            uint32_t* ri = &g[i * w];
            if (i == k || ri[k] == 0) continue;
            const wordmod::Multiplier f(P.p - ri[k], P);
            for (size_t j = k; j < w; j++) ri[j] = P.add(ri[j], f.times(rk[j]));
        }
    }
    inv.resize(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) inv[static_cast<size_t>(i) * n + j] = g[i * w + n + j];
    return true;
}

// r := x y (square, the same side).
void product(FlatMatrix& x, FlatMatrix& y, FlatMatrix& r) {
    const int32_t n = x.R;
    r = FlatMatrix(n, n);
    FlatInt m;
    for (int32_t j = 0; j < n; j++)
        for (int32_t k = 0; k < n; k++) {
            if (flat_zero(y.at(k, j))) continue;
            m = y.at(k, j);
            m.sign = -m.sign;
            for (int32_t i = 0; i < n; i++)
                if (!flat_zero(x.at(i, k))) flat_sub_mul_to(r.at(i, j), m, x.at(i, k));
        }
}

bool identity(FlatMatrix& x) {
    for (int32_t j = 0; j < x.K; j++)
        for (int32_t i = 0; i < x.R; i++) {
            const FlatInt& e = x.at(i, j);
            if (i == j ? !(e.sign > 0 && flat_unit(e)) : !flat_zero(e)) return false;
        }
    return true;
}

// Kept transforms start as identities: then the product is the factor.
void times_right(FlatMatrix* t, FlatMatrix& g) {
    if (!t) return;
    if (identity(*t)) {
        *t = g;
        return;
    }
    FlatMatrix r;
    product(*t, g, r);
    *t = std::move(r);
}

void times_left(FlatMatrix& g, FlatMatrix* t) {
    if (!t) return;
    if (identity(*t)) {
        *t = g;
        return;
    }
    FlatMatrix r;
    product(g, *t, r);
    *t = std::move(r);
}

// The rows of a independent modulo the prime, each of the first ones that
// span the rows before it, and for each one column its echelon form takes
// as pivot; the other columns are the rest.
void row_profile(FlatMatrix& a, const wordmod::Prime& P, std::vector<int32_t>& rows, std::vector<char>& pivot_col) {
    const int32_t K = a.K;
    std::vector<std::vector<uint32_t>> basis;
    std::vector<int32_t> at;
    pivot_col.assign(static_cast<size_t>(K), 0);
    std::vector<uint32_t> v(static_cast<size_t>(K));
    for (int32_t i = 0; i < a.R && static_cast<int32_t>(basis.size()) < K; i++) {
        poll_interrupt();
        for (int32_t j = 0; j < K; j++) v[j] = residue(a.at(i, j), P);
        for (size_t b = 0; b < basis.size(); b++) {
            const uint32_t f = v[at[b]];
            if (!f) continue;
            const wordmod::Multiplier m(P.p - f, P);
            for (int32_t j = 0; j < K; j++) v[j] = P.add(v[j], m.times(basis[b][j]));
        }
        int32_t c = 0;
        while (c < K && v[c] == 0) c++;
        if (c == K) continue;
        const wordmod::Multiplier s(P.inv(v[c]), P);
        for (int32_t j = 0; j < K; j++) v[j] = s.times(v[j]);
        basis.push_back(v);
        at.push_back(c);
        rows.push_back(i);
        pivot_col[c] = 1;
    }
}

// x := H^-1 b for H lower triangular with a non-zero diagonal; false when a
// division is not exact.
bool forward_solve(FlatMatrix& h, FlatMatrix& b, FlatMatrix& x) {
    const int32_t n = h.R;
    x = FlatMatrix(n, b.K);
    FlatInt acc;
    for (int32_t i = 0; i < n; i++) {
        poll_interrupt();
        for (int32_t j = 0; j < b.K; j++) {
            acc = b.at(i, j);
            for (int32_t c = 0; c < i; c++)
                if (!flat_zero(h.at(i, c)) && !flat_zero(x.at(c, j))) flat_sub_mul_to(acc, h.at(i, c), x.at(c, j));
            if (flat_zero(acc)) continue;
            if (!flat_div(acc, h.at(i, i), x.at(i, j))) return false;
        }
    }
    return true;
}

}  // namespace

bool flat_unimodular_inverse(FlatMatrix& x, FlatMatrix& out) {
    const int32_t n = x.R;
    const size_t cells = static_cast<size_t>(n) * n;
    // Every entry of the inverse is a minor of x: its size is bounded by
    // Hadamard's product of the row lengths, in bits.
    double bound_bits = 2;
    for (int32_t i = 0; i < n; i++) {
        size_t longest = 0;
        for (int32_t j = 0; j < n; j++) longest = std::max(longest, x.at(i, j).mag.size());
        bound_bits += DIGIT_BITS * static_cast<double>(longest) + 0.5 * std::log2(static_cast<double>(n));
    }
    FlatMatrix g(n, n);
    FlatInt modulus, step, t;
    flat_set(1, modulus);
    std::vector<uint32_t> m(cells), inv;
    uint32_t p = uint32_t{1} << 31;
    double bits = 0;
    for (;;) {
        p = prime_below(p);
        const wordmod::Prime P(p);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) m[static_cast<size_t>(i) * n + j] = residue(x.at(i, j), P);
        if (!inverse_mod(m, n, P, inv)) return false;
        // Garner's step in the symmetric range: g += u M with u = (r - g) /
        // M modulo p taken in (-p/2, p/2], so that a value already within
        // M / 2 takes u = 0.
        const uint32_t mi = P.inv(residue(modulus, P));
        bool moved = false;
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) {
                FlatInt& e = g.at(i, j);
                uint32_t u = P.mul(P.sub(inv[static_cast<size_t>(i) * n + j], residue(e, P)), mi);
                if (!u) continue;
                moved = true;
                const bool neg = u > p / 2;
                // e - step x M = e + u M.
                flat_set(neg ? static_cast<int32_t>(p - u) : -static_cast<int32_t>(u), step);
                flat_sub_mul_to(e, step, modulus);
            }
        flat_set(static_cast<int32_t>(p), step);
        flat_mul(modulus, step, t);
        std::swap(modulus, t);
        bits += 30.9;
        // A prime that moved nothing makes the images a likely answer; past
        // the bound it is the answer unless x is not unimodular.
        if (bits > bound_bits || !moved) {
            FlatMatrix check;
            product(x, g, check);
            if (identity(check)) break;
            if (bits > bound_bits) return false;
        }
    }
    out = std::move(g);
    return true;
}

namespace {

// The road with the rank profile taken modulo P; -1 (a and t untouched)
// when that profile is not a's own, which the exact checks on the way
// catch.
int32_t by_inverse(FlatMatrix& a, FlatTransform t, HermiteTrace trace, const wordmod::Prime& P) {
    std::vector<int32_t> rows;
    std::vector<char> pivot_col;
    row_profile(a, P, rows, pivot_col);
    const int32_t R = a.R, K = a.K, r = static_cast<int32_t>(rows.size());
    if (r == 0) return -1;
    // The independent rows and a unit row for each column their echelon
    // form leaves without a pivot: square and non-singular, and the first
    // r rows of its form are those of a's.
    FlatMatrix b(K, K);
    for (int32_t i = 0; i < r; i++)
        for (int32_t j = 0; j < K; j++) b.at(i, j) = a.at(rows[static_cast<size_t>(i)], j);
    for (int32_t j = 0, i = r; j < K; j++)
        if (!pivot_col[static_cast<size_t>(j)]) flat_set(1, b.at(i++, j));
    FlatMatrix h = b;
    FlatInt d;
    if (!lattice_multiple(h, &d) || flat_hermite(h, FlatTransform{}, trace, &d) != K) return -1;
    FlatMatrix xi, g;
    if (!forward_solve(h, b, xi) || !flat_unimodular_inverse(xi, g)) return -1;
    // The other rows of a G: zero after the rank and above each pivot row,
    // unless the profile modulo the prime was not a's own.
    FlatMatrix out(R, K);
    for (int32_t i = 0; i < r; i++)
        for (int32_t j = 0; j < K; j++) std::swap(out.at(rows[static_cast<size_t>(i)], j), h.at(i, j));
    FlatInt m;
    for (int32_t q = 0, next = 0; q < R; q++) {
        if (next < r && rows[static_cast<size_t>(next)] == q) {
            next++;
            continue;
        }
        poll_interrupt();
        for (int32_t k = 0; k < K; k++) {
            if (flat_zero(a.at(q, k))) continue;
            m = a.at(q, k);
            m.sign = -m.sign;
            for (int32_t j = 0; j < K; j++)
                if (!flat_zero(g.at(k, j))) flat_sub_mul_to(out.at(q, j), m, g.at(k, j));
        }
        for (int32_t j = next; j < K; j++)
            if (!flat_zero(out.at(q, j))) return -1;
    }
    a = std::move(out);
    times_right(t.fwd, g);
    times_left(xi, t.inv);
    return r;
}

}  // namespace

int32_t flat_hermite_kept(FlatMatrix& a, FlatTransform t, HermiteTrace trace) {
    if (a.R < kByInverseSide || a.K < kByInverseSide || modularmode) return flat_hermite(a, t, trace);
    // With no transform kept a full row rank takes the bounded form alone;
    // other shapes still gain by the road below, the transform dropped.
    if (!t.fwd && !t.inv) {
        static const int none[4] = {0, 0, 0, 0};
        if (std::unique_ptr<FlatInt> d = bounded_by(a, none)) return flat_hermite(a, t, trace, d.get());
    }
    // A second prime for a matrix built against the first.
    for (uint32_t p = uint32_t{1} << 31, tries = 0; tries < 2; tries++) {
        p = prime_below(p);
        const int32_t r = by_inverse(a, t, trace, wordmod::Prime(p));
        if (r >= 0) return r;
    }
    return flat_hermite(a, t, trace);
}
