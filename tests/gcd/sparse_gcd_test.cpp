// The gcd driver over the integers and modulo a prime on planted sparse
// problems in 3 to 8 variables, with the images solved on supports
// (forced) and by dense interpolation (forced): both answers must be the
// same polynomial, and that answer is checked independently of the gcd
// code: the planted factor divides it, it divides both operands, and the
// cofactors are coprime (no common integer content, and for every variable
// both involve, a specialisation of the others modulo a prime leaves
// coprime one-variable images). Then the cases built against supports: a
// coefficient of the gcd divisible by every prime the modular method may
// start from, a gcd of one term, coprime operands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gcd/flat_modgcd.h"
#include "gcd/modgcd.h"
#include "gcd/polygcd.h"
#include "numbers/ring.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

using Exps = std::vector<int32_t>;

// The road the flat routine's images take, for one scope.
struct Road {
    flatgcd::SparseUse saved = flat_sparse_use;
    explicit Road(flatgcd::SparseUse use) { flat_sparse_use = use; }
    ~Road() { flat_sparse_use = saved; }
};

// 1 + `terms` random monomials of total degree <= deg spread over the nv
// variables, coefficients 1 .. 20 (residues modulo a prime) with random
// signs.
TermList sparse_poly(NumberGen& g, int nv, int terms, int deg) {
    TermList t{{1, Exps(nv, 0)}};
    for (int i = 0; i < terms; i++) {
        Exps e(nv, 0);
        for (int left = g.between(1, deg); left > 0; left--)
            if (g.chance(70)) e[g.below(nv)]++;
        mpz_class c = modulus ? mpz_class(g.between(1, modulus - 1)) : mpz_class(g.between(1, 20));
        if (!modulus && g.chance(50)) c = -c;
        t.emplace_back(c, e);
    }
    return canonical_terms(nv, t);
}

// The gcd by the driver with the images on one road.
TermList driver_gcd(int nv, const TermList& u, const TermList& v, flatgcd::SparseUse use) {
    Road road(use);
    HeldPoly pu(build_poly(nv, u)), pv(build_poly(nv, v)), G;
    reset_statement_state();
    polygcd(pu.p, pv.p, &G.p, 0, 1, 1, polynames, 1, 1, 1);
    EXPECT_TRUE(check_poly_shape(G.p, nv));
    return read_poly(G.p, nv);
}

// ---- coprimality, on the test's own arithmetic modulo q

constexpr uint64_t Q = 1000003;

uint64_t residue(const mpz_class& c) {
    mpz_class r = c % Q;
    if (r < 0) r += Q;
    return r.get_ui();
}
uint64_t power(uint64_t b, uint64_t e) {
    uint64_t r = 1;
    for (b %= Q; e; e >>= 1, b = b * b % Q)
        if (e & 1) r = r * b % Q;
    return r;
}
using UPoly = std::vector<uint64_t>;
void trim(UPoly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}
size_t gcd_degree(UPoly a, UPoly b) {
    while (!b.empty()) {
        const uint64_t il = power(b.back(), Q - 2);
        while (a.size() >= b.size()) {
            const uint64_t f = a.back() * il % Q;
            const size_t s = a.size() - b.size();
            for (size_t i = 0; i < b.size(); i++) a[s + i] = (a[s + i] + Q - f * b[i] % Q) % Q;
            trim(a);
        }
        std::swap(a, b);
    }
    return a.empty() ? 0 : a.size() - 1;
}
// f with every variable but k at the values `at`, as a polynomial in x_k.
UPoly specialise(const TermList& f, int k, const std::vector<uint64_t>& at) {
    UPoly r;
    for (const Term& t : f) {
        uint64_t c = residue(t.coef);
        for (size_t j = 0; j < at.size(); j++)
            if (static_cast<int>(j) != k) c = c * power(at[j], static_cast<uint64_t>(t.exps[j])) % Q;
        const size_t e = static_cast<size_t>(t.exps[static_cast<size_t>(k)]);
        if (r.size() <= e) r.resize(e + 1, 0);
        r[e] = (r[e] + c) % Q;
    }
    trim(r);
    return r;
}
int32_t degree(const TermList& f, int k) {
    int32_t d = 0;
    for (const Term& t : f) d = std::max(d, t.exps[static_cast<size_t>(k)]);
    return d;
}

::testing::AssertionResult coprime(const TermList& a, const TermList& b, int nv, NumberGen& g) {
    if (!modulus) {
        mpz_class ca = 0, cb = 0;
        for (const Term& t : a) ca = gcd(ca, t.coef);
        for (const Term& t : b) cb = gcd(cb, t.coef);
        if (gcd(ca, cb) != 1) return ::testing::AssertionFailure() << "common content " << gcd(ca, cb);
    }
    for (int k = 0; k < nv; k++) {
        const int32_t da = degree(a, k), db = degree(b, k);
        if (da == 0 || db == 0) continue;
        bool proved = false;
        for (int tries = 0; tries < 20 && !proved; tries++) {
            std::vector<uint64_t> at(static_cast<size_t>(nv));
            for (uint64_t& x : at) x = static_cast<uint64_t>(g.between(1, static_cast<int32_t>(Q - 1)));
            const UPoly ua = specialise(a, k, at), ub = specialise(b, k, at);
            if (static_cast<int32_t>(ua.size()) != da + 1 || static_cast<int32_t>(ub.size()) != db + 1) continue;
            proved = gcd_degree(ua, ub) == 0;
        }
        if (!proved) return ::testing::AssertionFailure() << "the cofactors share a factor in x" << k + 1;
    }
    return ::testing::AssertionSuccess();
}

// The contract on one planted problem: both roads agree, and the answer is
// checked without the gcd code.
void check_planted(int nv, const TermList& g, const TermList& a, const TermList& b, NumberGen& r) {
    const TermList u = product(nv, g, a), v = product(nv, g, b);
    const TermList sparse = driver_gcd(nv, u, v, flatgcd::SparseUse::always);
    const TermList dense = driver_gcd(nv, u, v, flatgcd::SparseUse::never);
    EXPECT_EQ(sparse, dense);
    // A constant answer (over Z it is 1) leaves the operands as cofactors.
    const bool constant = sparse.size() == 1 && std::all_of(sparse[0].exps.begin(), sparse[0].exps.end(),
                                                             [](int32_t e) { return e == 0; });
    if (constant) {
        EXPECT_EQ(sparse, canonical_terms(nv, {{1, Exps(nv, 0)}}));
        EXPECT_TRUE(coprime(u, v, nv, r));
        return;
    }
    HeldPoly pg(build_poly(nv, g)), pu(build_poly(nv, u)), pv(build_poly(nv, v)), pG(build_poly(nv, sparse));
    TermList ca, cb;
    if (g.size() > 1 || g[0].exps != Exps(nv, 0)) {
        EXPECT_TRUE(divides_exactly(pg.p, pG.p, nv)) << "planted factor lost";
    }
    ASSERT_TRUE(divides_exactly(pG.p, pu.p, nv, &ca)) << "does not divide u";
    ASSERT_TRUE(divides_exactly(pG.p, pv.p, nv, &cb)) << "does not divide v";
    EXPECT_TRUE(coprime(ca, cb, nv, r));
}

void planted(int32_t mod, uint64_t seed, int rounds) {
    PrimeRing ring(mod);
    AttachedVars vars(8);
    NumberGen r(seed);
    RecordLedger ledger;
    for (int it = 0; it < scaled(rounds); it++) {
        const int nv = 3 + it % 6;
        // Large gcds with small cofactors, and the other way round.
        const bool large = it % 2 == 0;
        const int deg = r.between(6, 20);
        const TermList g = sparse_poly(r, nv, large ? r.between(50, 2000) : r.between(1, 30), deg);
        const TermList a = sparse_poly(r, nv, large ? r.between(0, 3) : r.between(20, 200), deg);
        const TermList b = sparse_poly(r, nv, large ? r.between(0, 3) : r.between(20, 200), deg);
        SCOPED_TRACE(r.trace() + " it " + std::to_string(it) + " nv " + std::to_string(nv));
        check_planted(nv, g, a, b, r);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseGcd, PlantedOverTheIntegers) { planted(0, 83010, 12); }
TEST(SparseGcd, PlantedModuloAWordPrime) { planted(2147483629, 83020, 8); }

// A coefficient of g divisible by every word prime the modular method can
// start from (the first 64, and a few more): the first image misses that
// term, the later ones have it, and a support taken from the first image
// is refused by its equations. Also a gcd of one term and coprime
// operands.
TEST(SparseGcd, SupportsBuiltToFail) {
    PrimeRing ring(0);
    const int nv = 4;
    AttachedVars vars(nv);
    NumberGen r(83030);
    mpz_class all = 1;
    for (int i = 1; i <= 72; i++) all *= word_prime_at(i);
    const TermList g = canonical_terms(nv, {{1, {2, 1, 0, 3}}, {all, {1, 2, 1, 0}}, {3, {0, 0, 2, 1}}, {1, {0, 0, 0, 0}}});
    const TermList a = sparse_poly(r, nv, 6, 5), b = sparse_poly(r, nv, 6, 5);
    check_planted(nv, g, a, b, r);
    const TermList mono = canonical_terms(nv, {{6, {1, 0, 2, 1}}});
    check_planted(nv, mono, a, b, r);
    check_planted(nv, canonical_terms(nv, {{1, {0, 0, 0, 0}}}), a, b, r);
}

// Pairs over the integers go to the modular method whole, their contents
// carried by the images: planted contents in x1 (polynomials free of it),
// integer contents, powers of x1, shared and not. The answer is checked as
// above, and must be the one the road through the contents gives.
TEST(SparseGcd, ContentsCarriedByTheImages) {
    PrimeRing ring(0);
    AttachedVars vars(8);
    NumberGen r(83040);
    RecordLedger ledger;
    // sparse_poly(...) with x1 taken out, times k x1^s.
    auto content = [&](int nv, int terms, int32_t k, int32_t s) {
        TermList c = sparse_poly(r, nv, terms, 6);
        for (Term& t : c) t.exps[0] = 0;
        c = canonical_terms(nv, c);
        Exps e(nv, 0);
        e[0] = s;
        return product(nv, c, canonical_terms(nv, {{k, e}}));
    };
    for (int it = 0; it < scaled(12); it++) {
        const int nv = 3 + it % 4;
        const int deg = r.between(4, 12);
        const TermList shared = content(nv, it % 3 == 0 ? 0 : r.between(1, 6), r.between(1, 12), r.between(0, 2));
        const TermList g = product(nv, shared, sparse_poly(r, nv, r.between(1, 40), deg));
        const TermList a = product(nv, content(nv, r.between(0, 4), 2, r.between(0, 3)), sparse_poly(r, nv, r.between(5, 60), deg));
        const TermList b = product(nv, content(nv, r.between(0, 4), 3, r.between(0, 3)), sparse_poly(r, nv, r.between(5, 60), deg));
        SCOPED_TRACE(r.trace() + " it " + std::to_string(it) + " nv " + std::to_string(nv));
        check_planted(nv, g, a, b, r);
        const TermList u = product(nv, g, a), v = product(nv, g, b);
        const TermList whole = driver_gcd(nv, u, v, flatgcd::SparseUse::automatic);
        const int32_t saved = flat_first_cutoff;
        flat_first_cutoff = INT32_MAX;
        const TermList through_contents = driver_gcd(nv, u, v, flatgcd::SparseUse::automatic);
        flat_first_cutoff = saved;
        EXPECT_EQ(whole, through_contents);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
