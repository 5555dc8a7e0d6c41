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

polynode* transform_residue_product(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta, int32_t lastb) {
    if (!modularmode || finf || modulus < 2 || modp_transform_route < 0) return nullptr;
    if (la <= 0 || lb <= 0 || lasta < 0 || lastb < 0 || a->numb || b->numb) return nullptr;
    const int64_t na = int64_t{a->exp} - lasta + 1, nb = int64_t{b->exp} - lastb + 1;
    // Every exact coefficient is below min(na, nb) (m - 1)^2 < 2^62 * 2^31.
    const uint64_t m = static_cast<uint64_t>(modulus);
    const u128 bound = static_cast<u128>(std::min(na, nb)) * (m - 1) * (m - 1);
    const int32_t images = bound < (u128{1} << 61) ? 1 : 2;
    if (modp_transform_route == 0 && std::min(la, lb) < (images == 1 ? TRANSFORM_TERMS_ONE : TRANSFORM_TERMS_TWO))
        return nullptr;
    if (na + nb - 1 > (int64_t{1} << wordprimes::MAX_LOG_LENGTH)) return nullptr;
    const int64_t bytes = 8 * 6 * (na + nb);
    if (totalavailablememory > 0 && static_cast<uint64_t>(bytes) > memavail()) return nullptr;

    std::vector<Prime> primes;
    wordprimes::first_primes(images, primes);

    std::vector<uint64_t> x, y, work;
    dense(a, lasta, x);
    dense(b, lastb, y);
    const int64_t nz = na + nb - 1;
    std::vector<uint64_t> z0(static_cast<size_t>(nz)), z1;
    poll_interrupt();
    wordprimes::convolution(primes[0], x.data(), na, y.data(), nb, z0.data(), work);
    if (primes.size() == 2) {
        poll_interrupt();
        z1.resize(static_cast<size_t>(nz));
        wordprimes::convolution(primes[1], x.data(), na, y.data(), nb, z1.data(), work);
    }
    const uint64_t two64 = static_cast<uint64_t>((u128{1} << 64) % m);
    uint64_t q0_inv = 0;
    if (primes.size() == 2) q0_inv = primes[1].to_mont(primes[1].inverse(primes[0].p % primes[1].p));

    Chain out;
    for (int64_t k = nz - 1; k >= 0; k--) {
        uint64_t v;
        if (primes.size() == 1) {
            v = z0[k] % m;
        } else {
            // c = r0 + q0 ((r1 - r0) / q0 mod q1), below q0 q1.
            const Prime& q1 = primes[1];
            const uint64_t r0 = z0[k];
            const uint64_t t = q1.mul(q1.sub(z1[k], r0 % q1.p), q0_inv);
            const u128 c = static_cast<u128>(t) * primes[0].p + r0;
            const uint64_t hi = static_cast<uint64_t>(c >> 64) % m, lo = static_cast<uint64_t>(c) % m;
            v = static_cast<uint64_t>((static_cast<u128>(hi) * two64 + lo) % m);
        }
        if (v) out.push(residue_term(static_cast<int32_t>(k + lasta + lastb), static_cast<uint32_t>(v)));
    }
    return out.head ? out.head : zero_poly();
}
