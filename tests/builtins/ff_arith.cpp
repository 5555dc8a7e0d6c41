#include "ff_arith.h"

#include <gtest/gtest.h>

#include <utility>

#include "numbers/ring.h"
#include "support/field_ref.h"
#include "support/poly_build.h"

uint64_t field_size() { return f256 ? 256 : f2t16 ? 65536 : static_cast<uint64_t>(modulus); }

uint64_t f_mul(uint64_t a, uint64_t b) {
    if (f256) return gf8_mul(static_cast<uint32_t>(a), static_cast<uint32_t>(b));
    if (f2t16) return gf16_mul(static_cast<uint32_t>(a), static_cast<uint32_t>(b));
    return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b % field_size());
}
uint64_t f_add(uint64_t a, uint64_t b) { return finf ? (a ^ b) : (a + b) % field_size(); }
uint64_t f_sub(uint64_t a, uint64_t b) { return finf ? (a ^ b) : (a + field_size() - b) % field_size(); }
uint64_t f_inv(uint64_t a) {
    // a^(q - 2) in the multiplicative group of order q - 1.
    uint64_t r = 1, e = field_size() - 2;
    for (; e; e >>= 1, a = f_mul(a, a))
        if (e & 1) r = f_mul(r, a);
    return r;
}

void trim(UPoly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}
int deg(const UPoly& a) { return static_cast<int>(a.size()) - 1; }
UPoly mul(const UPoly& a, const UPoly& b) {
    if (a.empty() || b.empty()) return {};
    UPoly c(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) c[i + j] = f_add(c[i + j], f_mul(a[i], b[j]));
    trim(c);
    return c;
}
UPoly rem(UPoly a, const UPoly& b) {
    const uint64_t inv = f_inv(b.back());
    while (a.size() >= b.size()) {
        const uint64_t q = f_mul(a.back(), inv);
        const size_t s = a.size() - b.size();
        for (size_t i = 0; i < b.size(); i++) a[s + i] = f_sub(a[s + i], f_mul(q, b[i]));
        trim(a);
    }
    return a;
}
UPoly monic(UPoly a) { return a.empty() ? a : scale(a, f_inv(a.back())); }
UPoly scale(UPoly a, uint64_t c) {
    for (auto& x : a) x = f_mul(x, c);
    trim(a);
    return a;
}
UPoly gcd(UPoly a, UPoly b) {
    while (!b.empty()) {
        UPoly r = rem(a, b);
        a = std::move(b);
        b = std::move(r);
    }
    return monic(a);
}
UPoly deriv(const UPoly& a) {
    UPoly d;
    const uint64_t ch = finf ? 2 : field_size();
    for (size_t i = 1; i < a.size(); i++) {
        uint64_t s = 0;
        for (uint64_t k = 0; k < i % ch; k++) s = f_add(s, a[i]);
        d.push_back(s);
    }
    trim(d);
    return d;
}
UPoly upow(const UPoly& a, int k) {
    UPoly r{1};
    for (int i = 0; i < k; i++) r = mul(r, a);
    return r;
}

UPoly x_power_mod(uint64_t n, const UPoly& f) {
    UPoly r{1}, b = rem(UPoly{0, 1}, f);
    for (; n; n >>= 1, b = rem(mul(b, b), f))
        if (n & 1) r = rem(mul(r, b), f);
    return r;
}

namespace {

// Rank of the n x n matrix over the field, by elimination.
int rank(std::vector<UPoly> m, int n) {
    int r = 0;
    for (int c = 0; c < n && r < n; c++) {
        int piv = -1;
        for (int i = r; i < n; i++)
            if (m[i][c]) {
                piv = i;
                break;
            }
        if (piv < 0) continue;
        std::swap(m[r], m[piv]);
        const uint64_t inv = f_inv(m[r][c]);
        for (int i = 0; i < n; i++) {
            if (i == r || !m[i][c]) continue;
            const uint64_t k = f_mul(m[i][c], inv);
            for (int j = 0; j < n; j++) m[i][j] = f_sub(m[i][j], f_mul(k, m[r][j]));
        }
        r++;
    }
    return r;
}

// Every monic polynomial of degree k over a field of q elements divides f?
bool has_divisor_of_degree(const UPoly& f, int k) {
    const uint64_t q = field_size();
    uint64_t total = 1;
    for (int i = 0; i < k; i++) total *= q;
    for (uint64_t idx = 0; idx < total; idx++) {
        UPoly g(k + 1, 0);
        g[k] = 1;
        uint64_t v = idx;
        for (int i = 0; i < k; i++, v /= q) g[i] = v % q;
        if (rem(f, g).empty()) return true;
    }
    return false;
}

}  // namespace

bool is_irreducible(const UPoly& f) {
    const int n = deg(f);
    if (n < 1) return false;
    if (n == 1) return true;
    // Small enough for trial division by every monic divisor candidate.
    uint64_t work = 1;
    for (int i = 0; i < n / 2 && work < 5000; i++) work *= field_size();
    if (work < 5000) {
        for (int k = 1; k <= n / 2; k++)
            if (has_divisor_of_degree(f, k)) return false;
        return true;
    }
    if (deg(gcd(f, deriv(f))) != 0) return false;
    // Berlekamp: rows x^(q i) mod f minus the identity.
    const UPoly X = x_power_mod(field_size(), f);
    std::vector<UPoly> m;
    UPoly row{1};
    for (int i = 0; i < n; i++) {
        UPoly r = row;
        r.resize(n, 0);
        r[i] = f_sub(r[i], 1);
        m.push_back(r);
        row = rem(mul(row, X), f);
    }
    return rank(m, n) == n - 1;
}

UPoly random_monic(int d, uint64_t (*draw)()) {
    UPoly a(d + 1);
    for (int i = 0; i < d; i++) a[i] = draw() % field_size();
    a[d] = 1;
    return a;
}

UPoly random_irreducible(int d, uint64_t (*draw)()) {
    for (;;) {
        UPoly a = random_monic(d, draw);
        if (is_irreducible(a)) return a;
    }
}

polynode* to_poly(const UPoly& a) {
    TermList t;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i]) t.emplace_back(static_cast<long long>(a[i]), std::vector<int32_t>{static_cast<int32_t>(i)});
    return build_poly(1, t);
}

UPoly from_poly(const polynode* p) {
    UPoly a;
    for (const Term& t : read_poly(p, 1)) {
        const size_t e = static_cast<size_t>(t.exps[0]);
        if (a.size() <= e) a.resize(e + 1, 0);
        a[e] = t.coef.get_ui();
    }
    trim(a);
    return a;
}

std::string to_text(const UPoly& a) {
    std::string s;
    for (size_t i = a.size(); i-- > 0;)
        if (a[i]) s += " " + std::to_string(a[i]) + "x^" + std::to_string(i);
    return s.empty() ? "0" : s;
}
