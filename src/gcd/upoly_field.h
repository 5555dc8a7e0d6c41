// Polynomials in one variable over a small field, as coefficient vectors
// (the constant first, no trailing zeros): Z/p for a word prime, and
// GF(2^8) and GF(2^16) on the codes of the ground ring's elements. The
// gcds over split field relations read relations, factor them and work
// modulo their factors with these.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "gcd/flat_modgcd.h"
#include "numbers/tables.h"

namespace upoly {

using flatgcd::Field;
using UPoly = std::vector<uint32_t>;

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

inline uint32_t elements(const Field& F) { return F.p; }
inline uint32_t elements(const GF2k& F) { return F.q; }

// i times c, i an integer.
inline uint32_t times(uint32_t c, size_t i, const Field& F) { return F.mul(c, static_cast<uint32_t>(i % F.p)); }
inline uint32_t times(uint32_t c, size_t i, const GF2k&) { return i & 1 ? c : 0; }

inline void trim(UPoly& a) {
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

// The next of a stream of random words (state its seed, advanced).
inline uint64_t next_random(uint64_t* state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace upoly
