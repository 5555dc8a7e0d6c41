// GF(p)[t]/(m) on the digits of its elements: see wide_field.h.
#include "gcd/wide_field.h"

#include <algorithm>

namespace smallgcd {

namespace {

// p^k <= WIDE_LIMIT allows at most 63 digits (p = 2).
constexpr uint32_t MAX_DIGITS = 63;

// n / p for any 32-bit n, by the reciprocal (2^64 - 1) / p + 1: exact
// there, and a division takes most of the time of a digit.
uint32_t quotient(const ExtField& F, uint32_t n) {
    return static_cast<uint32_t>((static_cast<unsigned __int128>(F.reciprocal) * n) >> 64);
}

uint32_t residue(const ExtField& F, uint32_t n) { return n - quotient(F, n) * F.p; }

void unpack(const ExtField& F, Code c, uint32_t* d) {
    uint32_t i = 0;
    // The top digits of a code past 32 bits by true division; the rest,
    // most of them, by the reciprocal.
    for (; c >> 32; i++) {
        const Code next = c / F.p;
        d[i] = static_cast<uint32_t>(c - next * F.p);
        c = next;
    }
    for (uint32_t low = static_cast<uint32_t>(c); i < F.k; i++) {
        const uint32_t next = quotient(F, low);
        d[i] = low - next * F.p;
        low = next;
    }
}

Code pack(const ExtField& F, const uint32_t* d) {
    Code c = 0;
    for (uint32_t i = F.k; i-- > 0;) c = c * F.p + d[i];
    return c;
}

uint32_t residue_power(uint32_t a, uint32_t e, uint32_t p) {
    uint32_t r = 1;
    for (; e; e >>= 1, a = a * a % p)
        if (e & 1) r = r * a % p;
    return r;
}

// Polynomials over Z/p or over the field as coefficient vectors (codes),
// constant first, trimmed.
using Poly = std::vector<Code>;

void trim(Poly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}

// The degree of gcd(a, b) over Z/p (a, b trimmed; -1 for two zeros).
int32_t gcd_degree(Poly a, Poly b, uint32_t p) {
    while (!b.empty()) {
        const Code s = residue_power(static_cast<uint32_t>(b.back()), p - 2, p);
        while (a.size() >= b.size()) {
            const Code f = a.back() * s % p;
            const size_t shift = a.size() - b.size();
            for (size_t j = 0; j < b.size(); j++) a[shift + j] = (a[shift + j] + (p - f) * b[j]) % p;
            trim(a);
        }
        std::swap(a, b);
    }
    return static_cast<int32_t>(a.size()) - 1;
}

Code field_power(const ExtField& F, Code a, uint64_t e) {
    Code r = 1;
    for (; e; e >>= 1, a = F.mul(a, a))
        if (e & 1) r = F.mul(r, a);
    return r;
}

// m (monic, F's relation) is irreducible over Z/p when t^(p^k) = t and
// t^(p^(k/r)) - t is prime to m for each prime r dividing k: a factor of
// degree j divides t^(p^j) - t, and these leave no j below k but its own.
bool irreducible(const ExtField& F, const Poly& m) {
    const uint32_t k = F.k;
    // frobenius[i] = t^(p^i) as a code.
    std::vector<Code> frobenius(k + 1);
    frobenius[0] = F.p;   // t
    for (uint32_t i = 1; i <= k; i++) frobenius[i] = field_power(F, frobenius[i - 1], F.p);
    if (frobenius[k] != F.p) return false;
    for (uint32_t r = 2; r <= k; r++) {
        if (k % r) continue;
        bool prime = true;
        for (uint32_t s = 2; s * s <= r; s++) prime = prime && r % s;
        if (!prime) continue;
        uint32_t d[MAX_DIGITS];
        unpack(F, F.sub(frobenius[k / r], F.p), d);
        Poly h(d, d + k);
        trim(h);
        if (h.empty() || gcd_degree(m, h, F.p) != 0) return false;
    }
    return true;
}

// ---- polynomials over the field: codes, constant first, trimmed

Poly poly_rem(const ExtField& F, Poly a, const Poly& f) {
    const Code s = F.inv(f.back());
    while (a.size() >= f.size()) {
        const Code c = F.mul(a.back(), s);
        const size_t shift = a.size() - f.size();
        for (size_t j = 0; j < f.size(); j++) a[shift + j] = F.sub(a[shift + j], F.mul(c, f[j]));
        trim(a);
    }
    return a;
}

Poly poly_mulmod(const ExtField& F, const Poly& a, const Poly& b, const Poly& f) {
    if (a.empty() || b.empty()) return {};
    Poly c(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        if (a[i])
            for (size_t j = 0; j < b.size(); j++) c[i + j] = F.add(c[i + j], F.mul(a[i], b[j]));
    trim(c);
    return poly_rem(F, std::move(c), f);
}

Poly poly_gcd(const ExtField& F, Poly a, Poly b) {
    while (!b.empty()) {
        a = poly_rem(F, std::move(a), b);
        std::swap(a, b);
    }
    return a;
}

uint64_t next_random(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

Code ExtField::wide_mul(Code a, Code b) const {
    if (!a || !b) return 0;
    if (p == 2) {
        // Digits are bits: a carry-free product, reduced from the top.
        using Wide = unsigned __int128;
        Wide r = 0;
        for (Code x = b; x; x &= x - 1) r ^= Wide{a} << __builtin_ctzll(x);
        const Wide m = (Wide{1} << k) | t_power;
        for (uint32_t e = 2 * k - 1; e-- > k;)
            if (static_cast<Code>(r >> e) & 1) r ^= m << (e - k);
        return static_cast<Code>(r);
    }
    // Every sum below stays under 2 k p^2 < 2^32 (p^k <= 2^63 bounds k p^2).
    uint32_t da[MAX_DIGITS], db[MAX_DIGITS], c[2 * MAX_DIGITS] = {};
    unpack(*this, a, da);
    unpack(*this, b, db);
    for (uint32_t i = 0; i < k; i++) {
        if (!da[i]) continue;
        for (uint32_t j = 0; j < k; j++) c[i + j] += da[i] * db[j];
    }
    for (uint32_t e = 2 * k - 1; e-- > k;) {
        const uint32_t top = residue(*this, c[e]);
        if (!top) continue;
        for (uint32_t j = 0; j < k; j++) c[e - k + j] += top * relation[j];
    }
    for (uint32_t i = 0; i < k; i++) c[i] = residue(*this, c[i]);
    return pack(*this, c);
}

Code ExtField::wide_add(Code a, Code b) const {
    if (!a) return b;
    if (!b) return a;
    uint32_t da[MAX_DIGITS], db[MAX_DIGITS];
    unpack(*this, a, da);
    unpack(*this, b, db);
    for (uint32_t i = 0; i < k; i++) {
        da[i] += db[i];
        if (da[i] >= p) da[i] -= p;
    }
    return pack(*this, da);
}

Code ExtField::wide_neg(Code a) const {
    uint32_t d[MAX_DIGITS];
    unpack(*this, a, d);
    for (uint32_t i = 0; i < k; i++)
        if (d[i]) d[i] = p - d[i];
    return pack(*this, d);
}

Code ExtField::wide_inv(Code a) const { return field_power(*this, a, q - 2); }

bool make_wide_field(uint32_t p, const std::vector<uint32_t>& m, ExtField* out) {
    const uint32_t k = static_cast<uint32_t>(m.size());
    if (p < 2 || k < 2 || k > MAX_DIGITS) return false;
    uint64_t q = 1;
    for (uint32_t i = 0; i < k; i++) {
        q *= p;
        if (q > WIDE_LIMIT) return false;
    }
    ExtField F;
    F.p = p;
    F.k = k;
    F.q = q;
    F.base = p;
    F.wide = true;
    F.reciprocal = ~uint64_t{0} / p + 1;
    // t^k = -(m[k-1] t^(k-1) + ... + m[0]).
    F.relation.resize(k);
    for (uint32_t j = 0; j < k; j++) F.relation[j] = (p - m[j] % p) % p;
    F.t_power = pack(F, F.relation.data());
    Poly full(m.begin(), m.end());
    for (Code& c : full) c %= p;
    full.push_back(1);
    if (!irreducible(F, full)) return false;
    *out = std::move(F);
    return true;
}

bool make_wide_field_of_degree(uint32_t p, uint32_t k, uint64_t seed, ExtField* F) {
    // About one polynomial in k is irreducible.
    for (uint32_t tries = 0; tries < 64 * k + 64; tries++) {
        std::vector<uint32_t> m(k);
        for (uint32_t& c : m) c = static_cast<uint32_t>(next_random(seed) % p);
        if (m[0] && make_wide_field(p, m, F)) return true;
    }
    return false;
}

Code wide_root(const ExtField& F, std::vector<Code> c, uint64_t seed) {
    Poly f = std::move(c);
    trim(f);
    if (f.size() < 2) return 0;
    // The roots in F are those of gcd(z^q - z, f), each once; splitting it
    // by random gcds (Cantor and Zassenhaus; the trace modulo 2) leaves
    // one of them.
    if (f.size() > 2) {
        Poly zq{1}, b = poly_rem(F, Poly{0, 1}, f);
        for (uint64_t e = F.q; e; e >>= 1, b = poly_mulmod(F, b, b, f))
            if (e & 1) zq = poly_mulmod(F, zq, b, f);
        zq.resize(std::max<size_t>(zq.size(), 2), 0);
        zq[1] = F.sub(zq[1], 1);
        trim(zq);
        if (!zq.empty()) f = poly_gcd(F, f, zq);
        if (f.size() < 2) return 0;
    }
    for (uint32_t tries = 0; f.size() > 2 && tries < 64; tries++) {
        const Code delta = next_random(seed) % F.q;
        if (!delta) continue;
        Poly w;
        if (F.p == 2) {
            // Tr(delta z) = sum of its squares up to the (k-1)-th: 0 or 1
            // at each root, so its gcd with f takes the roots where it is 0.
            Poly a = poly_rem(F, Poly{0, delta}, f);
            w = a;
            for (uint32_t i = 1; i < F.k; i++) {
                a = poly_mulmod(F, a, a, f);
                w.resize(std::max(w.size(), a.size()), 0);
                for (size_t j = 0; j < a.size(); j++) w[j] = F.add(w[j], a[j]);
            }
        } else {
            // (z + delta)^((q - 1)/2) is 1 at half the roots, -1 at the others.
            Poly r{1}, b = poly_rem(F, Poly{delta, 1}, f);
            for (uint64_t e = (F.q - 1) / 2; e; e >>= 1, b = poly_mulmod(F, b, b, f))
                if (e & 1) r = poly_mulmod(F, r, b, f);
            r.resize(std::max<size_t>(r.size(), 1), 0);
            r[0] = F.sub(r[0], 1);
            w = r;
        }
        trim(w);
        Poly g = poly_gcd(F, f, w);
        if (g.size() >= 2 && g.size() < f.size()) f = std::move(g);
    }
    if (f.size() != 2) return 0;
    return F.neg(F.mul(f[0], F.inv(f[1])));
}

}  // namespace smallgcd
