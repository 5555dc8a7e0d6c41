// One-variable products modulo any word modulus by number-theoretic
// transforms: the residues, read as integers below the modulus, are
// convolved exactly by images modulo one or two primes below 2^62 (one
// when terms * (modulus - 1)^2 stays below the first prime), joined by
// Garner's step, and reduced modulo the modulus. The result is the one
// the dense arrays or the list Karatsuba give; zero residues are dropped.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/modmult.h"
#include "poly/polymult_impl.h"
#include "poly/wordprimes_impl.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

int32_t modp_transform_route = 0;

namespace {

using wordprimes::Prime;
using wordprimes::u128;
using namespace polyimpl;

// Both operands need this many terms before the transforms beat the dense
// arrays' Karatsuba (measured with bench/bench_polymult.cpp): with one
// image, and with two (moduli beyond about 2^29 make the exact products too
// large for one prime).
constexpr int32_t TRANSFORM_TERMS_ONE = 150;
constexpr int32_t TRANSFORM_TERMS_TWO = 400;

uint32_t residue_of(const polynode* t) { return static_cast<uint32_t>((t->numb ? t->ncoef : t->pcoef->ncoef)->value); }

// The residues of p at exponents last .. p->exp, as a dense array.
void dense(const polynode* p, int32_t last, std::vector<uint64_t>& out) {
    out.assign(static_cast<size_t>(int64_t{p->exp} - last + 1), 0);
    for (const polynode* t = p; t; t = t->next) out[static_cast<size_t>(t->exp - last)] = residue_of(t);
}

polynode* residue_term(int32_t e, uint32_t v) {
    imag* n = new_number();
    n->value = static_cast<int32_t>(v);
    return monomial_term(e, new_node(0, 1, n));
}

}  // namespace

namespace {

// z := x * y reduced modulo the modulus (x, y residues as words, z of
// |x| + |y| - 1 words), exactly convolved by one or two word primes; false
// when the product is too long for the transforms or memory is short.
bool residue_convolution(const std::vector<uint64_t>& x, const std::vector<uint64_t>& y, std::vector<uint64_t>& z) {
    const int64_t na = static_cast<int64_t>(x.size()), nb = static_cast<int64_t>(y.size());
    const int64_t nz = na + nb - 1;
    if (nz > (int64_t{1} << wordprimes::MAX_LOG_LENGTH)) return false;
    const int64_t bytes = 8 * 6 * (na + nb);
    if (totalavailablememory > 0 && static_cast<uint64_t>(bytes) > memavail()) return false;
    // Every exact coefficient is below min(na, nb) (m - 1)^2 < 2^62 * 2^31.
    const uint64_t m = static_cast<uint64_t>(modulus);
    const u128 bound = static_cast<u128>(std::min(na, nb)) * (m - 1) * (m - 1);
    std::vector<Prime> primes;
    wordprimes::first_primes(bound < (u128{1} << 61) ? 1 : 2, primes);

    std::vector<uint64_t> work, z1;
    z.assign(static_cast<size_t>(nz), 0);
    poll_interrupt();
    wordprimes::convolution(primes[0], x.data(), na, y.data(), nb, z.data(), work);
    if (primes.size() == 1) {
        for (uint64_t& v : z) v %= m;
        return true;
    }
    poll_interrupt();
    z1.resize(static_cast<size_t>(nz));
    wordprimes::convolution(primes[1], x.data(), na, y.data(), nb, z1.data(), work);
    const uint64_t two64 = static_cast<uint64_t>((u128{1} << 64) % m);
    const Prime& q1 = primes[1];
    const uint64_t q0_inv = q1.to_mont(q1.inverse(primes[0].p % q1.p));
    for (int64_t k = 0; k < nz; k++) {
        // c = r0 + q0 ((r1 - r0) / q0 mod q1), below q0 q1.
        const uint64_t r0 = z[k];
        const uint64_t t = q1.mul(q1.sub(z1[k], r0 % q1.p), q0_inv);
        const u128 c = static_cast<u128>(t) * primes[0].p + r0;
        const uint64_t hi = static_cast<uint64_t>(c >> 64) % m, lo = static_cast<uint64_t>(c) % m;
        z[k] = static_cast<uint64_t>((static_cast<u128>(hi) * two64 + lo) % m);
    }
    return true;
}

}  // namespace

polynode* transform_residue_product(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta, int32_t lastb) {
    if (!modularmode || finf || modulus < 2 || modp_transform_route < 0) return nullptr;
    if (la <= 0 || lb <= 0 || lasta < 0 || lastb < 0 || a->numb || b->numb) return nullptr;
    const int64_t na = int64_t{a->exp} - lasta + 1, nb = int64_t{b->exp} - lastb + 1;
    const uint64_t m = static_cast<uint64_t>(modulus);
    const u128 bound = static_cast<u128>(std::min(na, nb)) * (m - 1) * (m - 1);
    const int32_t images = bound < (u128{1} << 61) ? 1 : 2;
    if (modp_transform_route == 0 && std::min(la, lb) < (images == 1 ? TRANSFORM_TERMS_ONE : TRANSFORM_TERMS_TWO))
        return nullptr;

    std::vector<uint64_t> x, y, z;
    dense(a, lasta, x);
    dense(b, lastb, y);
    if (!residue_convolution(x, y, z)) return nullptr;
    Chain out;
    for (int64_t k = static_cast<int64_t>(z.size()) - 1; k >= 0; k--)
        if (z[k]) out.push(residue_term(static_cast<int32_t>(k + lasta + lastb), static_cast<uint32_t>(z[k])));
    return out.head ? out.head : zero_poly();
}

namespace {

// Two-level operand: x over polynomials in the next variable, residue
// coefficients; its inner degree and monomial count, or false.
bool two_level_shape(const polynode* p, int32_t* inner_deg, int64_t* monomials) {
    int32_t d = 0;
    int64_t n = 0;
    for (const polynode* t = p; t; t = t->next) {
        if (t->exp < 0) return false;
        if (t->numb) {
            n++;
            continue;
        }
        for (const polynode* u = t->pcoef; u; u = u->next) {
            if (u->exp < 0 || (!u->numb && !(u->pcoef->numb && !u->pcoef->next))) return false;
            d = std::max(d, u->numb ? 0 : u->exp);
            n++;
        }
    }
    *inner_deg = d;
    *monomials = n;
    return true;
}

int32_t last_exp(const polynode* p) {
    while (p->next) p = p->next;
    return p->numb ? 0 : p->exp;
}

// p's residues at x^i y^k in words[(i - last) width + k].
void pack(const polynode* p, int32_t last, int64_t width, std::vector<uint64_t>& words) {
    words.assign(static_cast<size_t>((int64_t{p->exp} - last) * width + width), 0);
    for (const polynode* t = p; t; t = t->next) {
        const int64_t base = (int64_t{t->numb ? 0 : t->exp} - last) * width;
        if (t->numb) {
            words[static_cast<size_t>(base)] = residue_of(t);
            continue;
        }
        for (const polynode* u = t->pcoef; u; u = u->next)
            words[static_cast<size_t>(base + (u->numb ? 0 : u->exp))] = residue_of(u);
    }
    while (words.size() > 1 && words.back() == 0) words.pop_back();
}

// The two-level polynomial whose residue at x^i y^k is words[(i - last) width + k].
polynode* unpack(const std::vector<uint64_t>& words, int32_t last, int64_t width) {
    const int64_t n = static_cast<int64_t>(words.size());
    Chain out;
    for (int64_t row = (n - 1) / width; row >= 0; row--) {
        Chain inner;
        for (int64_t k = std::min(width, n - row * width) - 1; k >= 0; k--)
            if (const uint64_t v = words[static_cast<size_t>(row * width + k)])
                inner.push(residue_term(static_cast<int32_t>(k), static_cast<uint32_t>(v)));
        if (inner.head) out.push(monomial_term(static_cast<int32_t>(row + last), inner.head));
    }
    return out.head ? out.head : zero_poly();
}

// The product's monomials against the packed places: below this many
// term products per place the schoolbook is the cheaper road.
constexpr int64_t PACKED_FILL = 4;

}  // namespace

polynode* packed_residue_product(polynode* a, polynode* b) {
    if (!modularmode || laurent || modulus < 2 || modp_transform_route < 0 || a->numb || b->numb) return nullptr;
    int32_t da, db;
    int64_t ma, mb;
    if (!two_level_shape(a, &da, &ma) || !two_level_shape(b, &db, &mb)) return nullptr;
    if (std::min(ma, mb) < TRANSFORM_TERMS_ONE) return nullptr;
    const int64_t width = int64_t{da} + db + 1;
    const int32_t lasta = last_exp(a), lastb = last_exp(b);
    const int64_t places = (int64_t{a->exp} - lasta + b->exp - lastb + 1) * width;
    if (ma * mb < PACKED_FILL * places || places > (int64_t{1} << wordprimes::MAX_LOG_LENGTH)) return nullptr;

    std::vector<uint64_t> x, y, z;
    pack(a, lasta, width, x);
    pack(b, lastb, width, y);
    if (!finf) {
        if (!residue_convolution(x, y, z)) return nullptr;
    } else {
        // No transform in characteristic 2's fields: the dense arrays' Karatsuba.
        std::vector<uint32_t> x32(x.begin(), x.end()), y32(y.begin(), y.end());
        std::vector<uint32_t> z32(x.size() + y.size() - 1, 0);
        poll_interrupt();
        fast_array_onevar_mult(x32.data(), y32.data(), z32.data(), 0, static_cast<int32_t>(x.size() - 1), 0,
                               static_cast<int32_t>(y.size() - 1));
        z.assign(z32.begin(), z32.end());
    }
    return unpack(z, lasta + lastb, width);
}
