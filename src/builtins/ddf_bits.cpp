// Factoring stages modulo 2 on packed words (see ddf_bits.h).
//
// Distinct degrees: with h_t = x^(2^t) mod F, a factor of degree k divides
// h_s - h_t exactly when k divides s - t. Baby steps h_0 .. h_(l-1) are kept;
// at each giant step h_(lj) one gcd with the product of the l differences
// h_(lj) - h_i finds all the factors of degree lj - l + 1 .. lj at once,
// and only an interval that has some is split further. So a polynomial of
// degree n costs about n/2 squarings and n/2 products modulo F but only
// about n / (2l) gcds of full size, where asking per degree would take n/2
// of them.
#include "builtins/ddf_bits.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "numbers/ring.h"
#include "poly/bitpoly.h"
#include "poly/modmult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace factor_impl;
using bitpoly::Bits;
using bitpoly::BitMod;

namespace {

Bits bits_of(polynode* p) {
    int32_t deg = 0;
    std::vector<uint32_t> w(static_cast<size_t>(p->numb ? 0 : p->exp) + 1);
    fill_poly1_array(p, w.data(), &deg);
    Bits b(static_cast<size_t>(deg / 64) + 1, 0);
    for (int32_t k = 0; k <= deg; k++)
        if (w[static_cast<size_t>(k)] & 1) b[static_cast<size_t>(k / 64)] |= uint64_t{1} << (k % 64);
    bitpoly::trim(b);
    return b;
}

polynode* poly_of(const Bits& b) {
    const int32_t deg = bitpoly::degree(b);
    std::vector<uint32_t> w(static_cast<size_t>(deg) + 1);
    for (int32_t k = 0; k <= deg; k++) w[static_cast<size_t>(k)] = (b[static_cast<size_t>(k / 64)] >> (k % 64)) & 1;
    polynode* p = nullptr;
    array_to_poly(w.data(), deg, &p);
    return p;
}

// a / d, known to be exact.
Bits exact_quotient(const Bits& a, const Bits& d) {
    Bits q;
    if (!bitpoly::rem_plain(a, d, &q).empty()) {
        tarvex_error("failure in factor_poly.", 1);
        abandon_statement();
    }
    return q;
}

void append_bits(const Bits& b, int32_t value, FactorFrame& fr) {
    PolyHold p(poly_of(b));
    append_1(&p.p, value, fr);
}

// Splitting by degree: the rest f of the polynomial, the factors recorded
// so far taken out (in stop-at-first mode the first record ends the call).
struct DegreeSplit {
    Bits f;
    FactorFrame& fr;

    // Take the factor d (of f) out and record it with the given degree.
    void take(const Bits& d, int32_t deg) {
        if (!fr.stop_first) f = exact_quotient(f, d);
        append_bits(d, deg, fr);
    }
};

// The interval being split: h_(lj) and the baby steps, all reduced
// modulo the interval's gcd G, so that products stay at its size.
struct Interval {
    const BitMod& G;
    int32_t top;               // l j
    Bits h;                    // h_(lj) mod G
    std::vector<Bits> baby;    // baby[top - k] = h_(top-k) mod G, for the degrees k asked
};

// g (dividing the rest and G) has only factors of degrees low .. last, none
// below low: record them lowest first. Halving the degree range by one gcd
// with a product finds r distinct degrees with about r log l gcds, where a
// gcd per degree would take l of them.
void split_range(DegreeSplit& s, const Interval& iv, Bits g, int32_t low, int32_t last) {
    const int32_t dg = bitpoly::degree(g);
    if (dg <= 0) return;
    if (dg < 2 * low || low == last) {
        // One factor (all have degree low or more), or all of degree low.
        s.take(g, low == last ? low : dg);
        return;
    }
    poll_interrupt();
    const int32_t mid = low + (last - low) / 2;
    Bits product{1};
    for (int32_t k = low; k <= mid; k++) {
        Bits diff = iv.baby[static_cast<size_t>(iv.top - k)];
        bitpoly::add_to(diff, iv.h);
        product = iv.G.mul(product, diff);
    }
    Bits lower = bitpoly::gcd(g, std::move(product));
    if (bitpoly::degree(lower) > 0) {
        Bits upper = exact_quotient(g, lower);
        split_range(s, iv, std::move(lower), low, mid);
        split_range(s, iv, std::move(upper), mid + 1, last);
    } else {
        split_range(s, iv, std::move(g), mid + 1, last);
    }
}

}  // namespace

void factor_impl::even_distinct_degree(polynode** fslot, FactorFrame& fr) {
    const Bits F = bits_of(*fslot);
    free_poly(fslot);
    const int32_t n = bitpoly::degree(F);
    const BitMod M(F);
    DegreeSplit s{F, fr};
    // The products number about n/2 whatever l is; more baby steps mean
    // fewer full-size gcds, at l n / 8 bytes of memory (23 MB at the
    // largest degree taken here).
    const int32_t l = std::max(1, static_cast<int32_t>(4 * std::sqrt(static_cast<double>(n))));
    std::vector<Bits> baby{bitpoly::monomial(1)};
    Bits h = baby[0];
    int32_t t = 0;
    for (int32_t j = 1;; j++) {
        const int32_t low = l * (j - 1) + 1, top = l * j;
        const int32_t half = bitpoly::degree(s.f) / 2;
        if (low > half) break;
        while (t < top) {
            h = M.square(h);
            t++;
            if (t < l) baby.push_back(h);
            if (t % 64 == 0) poll_interrupt();
        }
        // Only degrees up to half the rest's can still split it.
        const int32_t last = std::min(top, half);
        Bits product{1};
        for (int32_t k = low; k <= last; k++) {
            Bits diff = h;
            bitpoly::add_to(diff, baby[static_cast<size_t>(top - k)]);
            product = M.mul(product, diff);
            if (k % 64 == 0) poll_interrupt();
        }
        const Bits g = bitpoly::gcd(s.f, product);
        if (bitpoly::degree(g) <= 0) continue;
        const BitMod G(g);
        Interval iv{G, top, G.reduce_any(h), std::vector<Bits>(static_cast<size_t>(l))};
        for (int32_t k = low; k <= last; k++) {
            const size_t i = static_cast<size_t>(top - k);
            iv.baby[i] = G.reduce_any(baby[i]);
        }
        split_range(s, iv, g, low, last);
    }
    if (bitpoly::degree(s.f) > 0) append_bits(s.f, bitpoly::degree(s.f), fr);
}

namespace {

void trace_split(const Bits& P, int32_t d, int32_t m, FactorFrame& fr) {
    if (bitpoly::degree(P) / d == 1) {
        append_bits(P, m, fr);
        return;
    }
    const BitMod M(P);
    const Bits x2 = bitpoly::monomial(2);
    Bits r = M.reduce_any(bitpoly::monomial(1));
    Bits G;
    for (;;) {
        // The trace r + r^2 + ... + r^(2^(d-1)) lies in GF(2) modulo each
        // factor, 0 for about half of them.
        Bits T = r, u = r;
        for (int32_t i = 1; i < d; i++) {
            u = M.square(u);
            bitpoly::add_to(T, u);
        }
        if (bitpoly::degree(T) > 0) {
            G = bitpoly::gcd(P, T);
            if (bitpoly::degree(G) > 0) break;
        }
        r = M.reduce_any(bitpoly::mul(r, x2));
        poll_interrupt();
    }
    const Bits Q = exact_quotient(P, G);
    trace_split(G, d, m, fr);
    trace_split(Q, d, m, fr);
}

}  // namespace

bool factor_impl::bits_equal_degree(polynode* P, int32_t d, int32_t m, FactorFrame& fr) {
    if (finf || field_depth != 0 || modulus != 2 || fr.log_q != 1) return false;
    if (!P || P->numb || !height_is_1(P)) return false;
    for (const polynode* t = P; t; t = t->next)
        if (t->exp < 0) return false;
    trace_split(bits_of(P), d, m, fr);
    return true;
}
