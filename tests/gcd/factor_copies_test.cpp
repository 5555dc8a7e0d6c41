// The copies of one field level over the factors of its relation, on
// random terms over two ordinary columns and the level: a coefficient
// reduced modulo a factor is the remainder of the test's own long division;
// a denominator made monic in a copy times the old leading coefficient
// gives the old parts back; terms read back from every copy give each
// copy's terms again when reduced. Each result is in the flat order (heads
// strictly decreasing, no zero coefficient). Modulo 2 and 3 (below the
// relation's degree), 7, 13 and 23, and over GF(2^8).
#include "gcd/factor_copies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "gcd/upoly_field.h"
#include "support/ring_setup.h"

namespace {

using flatgcd::FlatPoly;
using Poly = std::vector<uint32_t>;   // the constant first
using Terms = std::map<std::vector<int32_t>, uint32_t>;

constexpr int32_t N = 2;   // ordinary columns; the level is the last

// The ground field of q elements: Z/q, or GF(2^8) on the ring's codes.
struct Ground {
    uint32_t q;
    uint32_t add(uint32_t a, uint32_t b) const { return q == 256 ? a ^ b : (a + b) % q; }
    uint32_t neg(uint32_t a) const { return q == 256 ? a : (q - a) % q; }
    uint32_t mul(uint32_t a, uint32_t b) const {
        return q == 256 ? upoly::GF2k{2, 256}.mul(a, b) : static_cast<uint32_t>(uint64_t{a} * b % q);
    }
    uint32_t inv(uint32_t a) const {
        for (uint32_t x = 1; x < q; x++)
            if (mul(a, x) == 1) return x;
        return 0;
    }
};

Poly times(const Poly& a, const Poly& b, const Ground& F) {
    if (a.empty() || b.empty()) return {};
    Poly r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) r[i + j] = F.add(r[i + j], F.mul(a[i], b[j]));
    return r;
}

// a modulo the monic m, by long division.
Poly rem(Poly a, const Poly& m, const Ground& F) {
    const size_t d = m.size() - 1;
    for (size_t top = a.size(); top-- > d;) {
        const uint32_t c = a[top];
        for (size_t i = 0; i <= d; i++) a[top - d + i] = F.add(a[top - d + i], F.neg(F.mul(c, m[i])));
    }
    while (!a.empty() && a.back() == 0) a.pop_back();
    return a;
}

// The coefficient (a polynomial in the level) at each head.
std::map<std::vector<int32_t>, Poly> by_head(const FlatPoly& f) {
    std::map<std::vector<int32_t>, Poly> out;
    for (size_t i = 0; i < f.terms(); i++) {
        Poly& c = out[std::vector<int32_t>(f.exp(i), f.exp(i) + N)];
        const size_t e = static_cast<size_t>(f.exp(i)[N]);
        if (c.size() <= e) c.resize(e + 1, 0);
        c[e] = f.coefs[i];
    }
    return out;
}

std::map<std::vector<int32_t>, Poly> reduced(const FlatPoly& f, const Poly& m, const Ground& F,
                                             const Poly& times_by = {1}) {
    std::map<std::vector<int32_t>, Poly> out;
    for (const auto& [head, c] : by_head(f)) {
        Poly r = rem(times(c, times_by, F), m, F);
        if (!r.empty()) out[head] = r;
    }
    return out;
}

bool flat_order(const FlatPoly& f) {
    for (size_t i = 0; i < f.terms(); i++) {
        if (f.coefs[i] == 0) return false;
        if (i > 0 && !std::lexicographical_compare(f.exp(i), f.exp(i) + N + 1, f.exp(i - 1), f.exp(i - 1) + N + 1))
            return false;
    }
    return true;
}

// Random terms, level exponents up to 2d - 1 (past the factors' degrees).
FlatPoly random_terms(std::mt19937& rng, uint32_t q, int32_t d) {
    Terms t;
    const int count = 1 + static_cast<int>(rng() % 9);
    for (int i = 0; i < count; i++) {
        std::vector<int32_t> e{static_cast<int32_t>(rng() % 3), static_cast<int32_t>(rng() % 3),
                               static_cast<int32_t>(rng() % (2 * static_cast<uint32_t>(d)))};
        t[e] = 1 + static_cast<uint32_t>(rng() % (q - 1));
    }
    FlatPoly f;
    f.nvars = N + 1;
    for (auto it = t.rbegin(); it != t.rend(); ++it) f.push(it->first.data(), it->second);
    return f;
}

struct Case {
    uint32_t q;
    Poly relation;
};

TEST(FactorCopies, ReduceMonicAndJoinAgainstLongDivision) {
    const Case cases[] = {{2, {1, 0, 0, 1}},      {3, {1, 0, 0, 0, 1}},  {7, {1, 0, 0, 0, 1}},
                          {13, {1, 0, 0, 0, 1}},  {23, {21, 0, 0, 1}},   {23, {1, 0, 0, 0, 1}},
                          {256, {1, 0, 1, 1, 1}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.q);
        PrimeRing ring(static_cast<int32_t>(k.q));
        const Ground F{k.q};
        std::vector<SplitFactor> factors;
        ASSERT_TRUE(split_factors(k.relation, k.q, &factors));
        ASSERT_GE(factors.size(), 2u);
        Poly product{1};
        for (const SplitFactor& m : factors) product = times(product, m, F);
        ASSERT_EQ(product, k.relation);
        const int32_t d = static_cast<int32_t>(k.relation.size()) - 1;
        std::mt19937 rng(k.q);
        for (int trial = 0; trial < 60; trial++) {
            std::vector<FlatPoly> images;
            for (const SplitFactor& m : factors) {
                const FlatPoly u = random_terms(rng, k.q, d), v = random_terms(rng, k.q, d);
                FlatPoly ru = reduce_by_factor(u, N, m, k.q), rv = reduce_by_factor(v, N, m, k.q);
                EXPECT_TRUE(flat_order(ru));
                EXPECT_EQ(by_head(ru), reduced(u, m, F));
                images.push_back(ru);
                if (rv.terms() == 0) continue;
                // Made monic: the leading coefficient 1, the old parts
                // given back by the old leading coefficient.
                const Poly lead = by_head(rv).rbegin()->second;
                FlatPoly num = ru, den = rv;
                ASSERT_TRUE(monic_pair_by_factor(&num, &den, N, m, k.q));
                EXPECT_TRUE(flat_order(num) && flat_order(den));
                EXPECT_EQ(by_head(den).rbegin()->second, Poly{1});
                EXPECT_EQ(reduced(den, m, F, lead), by_head(rv));
                EXPECT_EQ(reduced(num, m, F, lead), by_head(ru));
            }
            FlatPoly joined;
            factor_join(images, N, factors, k.q, &joined);
            EXPECT_TRUE(flat_order(joined));
            for (size_t c = 0; c < factors.size(); c++) {
                EXPECT_EQ(reduced(joined, factors[c], F), by_head(images[c]));
                for (size_t i = 0; i < joined.terms(); i++) EXPECT_LT(joined.exp(i)[N], d);
            }
        }
    }
}

}  // namespace
