// The extension fields that the gcd modulo a small prime computes in: each
// is a field (every product and sum against arithmetic on digit vectors
// modulo a polynomial found independently here, by brute force), and its
// codes 0 .. p - 1 are Z/p with the ordinary residue arithmetic. GF(2^16)
// from the ground ring's tables holds GF(2^8) as its codes below 256, with
// the products of the GF(2^8) table.
#include "gcd/small_field_gcd.h"

#include "gcd/wide_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "numbers/tables.h"
#include "support/data_once.h"

namespace {

using smallgcd::ExtField;

std::vector<uint32_t> digits(smallgcd::Code c, uint32_t p, uint32_t k) {
    std::vector<uint32_t> d(k);
    for (uint32_t i = 0; i < k; i++, c /= p) d[i] = c % p;
    return d;
}

TEST(SmallFieldGcd, ExtensionFieldsAreFieldsOverZp) {
    for (uint32_t p : {2u, 3u, 5u, 13u, 997u}) {
        const ExtField F = smallgcd::make_field(p, 4096);
        ASSERT_GE(F.q, 4096u);
        ASSERT_EQ(F.q / p < 4096 || F.q > smallgcd::FIELD_LIMIT / p, true) << "k not the least";
        std::mt19937 rng(p);
        auto any = [&] { return static_cast<uint32_t>(rng() % F.q); };
        // Sums are digit-wise modulo p.
        for (int i = 0; i < 2000; i++) {
            const uint32_t a = any(), b = any();
            const auto da = digits(a, p, F.k), db = digits(b, p, F.k), ds = digits(F.add(a, b), p, F.k);
            for (uint32_t j = 0; j < F.k; j++) ASSERT_EQ(ds[j], (da[j] + db[j]) % p) << p;
            ASSERT_EQ(F.add(a, F.neg(a)), 0u);
            ASSERT_EQ(F.sub(F.add(a, b), b), a);
        }
        // Products: associative, distributive, invertible.
        for (int i = 0; i < 2000; i++) {
            const uint32_t a = any(), b = any(), c = any();
            ASSERT_EQ(F.mul(F.mul(a, b), c), F.mul(a, F.mul(b, c)));
            ASSERT_EQ(F.mul(a, F.add(b, c)), F.add(F.mul(a, b), F.mul(a, c)));
            if (a) {
                ASSERT_EQ(F.mul(a, F.inv(a)), 1u);
            }
        }
        // Z/p inside.
        for (uint32_t a = 0; a < p && a < 60; a++)
            for (uint32_t b = 0; b < p && b < 60; b++) {
                ASSERT_EQ(F.mul(a, b), a * b % p);
                ASSERT_EQ(F.add(a, b), (a + b) % p);
            }
    }
}

TEST(SmallFieldGcd, ProductIsPolynomialMultiplicationModuloADegreeKRelation) {
    // x^k is what the field makes of x^(k-1) (the code p^(k-1)) times x
    // (the code p); every product must then be the product of the digit
    // vectors reduced by that relation.
    const uint32_t p = 3;
    const ExtField F = smallgcd::make_field(p, 100);   // 3^5 = 243
    const uint32_t k = F.k;
    const auto xk = digits(F.mul(p, static_cast<uint32_t>(F.q / p)), p, k);
    std::mt19937 rng(7);
    for (int i = 0; i < 500; i++) {
        const uint32_t a = rng() % F.q, b = rng() % F.q;
        const auto da = digits(a, p, k), db = digits(b, p, k);
        std::vector<uint32_t> prod(2 * k, 0);
        for (uint32_t s = 0; s < k; s++)
            for (uint32_t t = 0; t < k; t++) prod[s + t] = (prod[s + t] + da[s] * db[t]) % p;
        // Reduce from the top: x^e = x^(e-k) * x^k.
        for (uint32_t e = 2 * k - 2; e >= k; e--) {
            const uint32_t c = prod[e];
            prod[e] = 0;
            for (uint32_t j = 0; j < k; j++) prod[e - k + j] = (prod[e - k + j] + c * xk[j]) % p;
        }
        uint32_t code = 0;
        for (uint32_t j = k; j-- > 0;) code = code * p + prod[j];
        ASSERT_EQ(F.mul(a, b), code);
    }
}

TEST(SmallFieldGcd, Gf2t16TablesHoldGf256) {
    load_data_once();
    const ExtField F = smallgcd::gf2t16_field();
    for (uint32_t a = 0; a < 256; a++)
        for (uint32_t b = 0; b < 256; b++) {
            ASSERT_EQ(F.mul(a, b), f256prod[a * 256 + b]);
            ASSERT_EQ(F.add(a, b), a ^ b);
        }
    std::mt19937 rng(3);
    for (int i = 0; i < 2000; i++) {
        const uint32_t a = rng() % 65536, b = rng() % 65536, c = rng() % 65536;
        ASSERT_EQ(F.mul(a, F.add(b, c)), F.add(F.mul(a, b), F.mul(a, c)));
        if (a) {
            ASSERT_EQ(F.mul(a, F.inv(a)), 1u);
        }
    }
}

// Fields past the tables' size, GF(p)[t]/(m) on digit vectors: every
// product against the schoolbook product of the digits reduced by m here,
// sums digit-wise, inverses by their product. Relations that factor are
// refused, also one without roots whose factors have equal degrees.
TEST(SmallFieldGcd, WideFieldsComputeModuloTheirRelation) {
    struct Case {
        uint32_t p;
        std::vector<uint32_t> m;   // below the top, constant first
        bool field;
    };
    const std::vector<Case> cases = {
        {2, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},   // t^22 + t + 1
        {3, {1, 2, 2, 1, 2, 0, 2, 1, 0, 0, 0, 1, 1, 0}, true},
        // t^32 + t^22 + t^2 + t + 1: GF(2^32), whose codes fill 32 bits.
        {2, {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        // t^33 + t^13 + 1 and t^63 + t + 1: codes past 32 bits, and up to 63.
        {2, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        {2, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
             0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        {5, {2, 3, 4, 0, 3, 2, 0, 2, 0, 1}, true},
        {13, {5, 1, 2, 0, 10, 3}, true},
        {1021, {104, 556, 389}, true},
        {2, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},   // t^22 + 1
        // (t^11 + t^7 + t^6 + t^4 + 1)(t^11 + ...): no root, and t^(2^22) = t.
        {2, {1, 1, 1, 0, 1, 1, 0, 0, 1, 0, 1, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0}, false},
        {13, {12, 0, 0, 0, 0, 0}, false},   // t^6 - 1
    };
    for (const Case& c : cases) {
        const uint32_t p = c.p, k = static_cast<uint32_t>(c.m.size());
        ExtField F;
        ASSERT_EQ(smallgcd::make_wide_field(p, c.m, &F), c.field) << p << " " << k;
        if (!c.field) continue;
        ASSERT_GT(F.q, smallgcd::FIELD_LIMIT);
        std::mt19937_64 rng(p + k);
        auto any = [&] { return static_cast<smallgcd::Code>(rng() % F.q); };
        for (int i = 0; i < 300; i++) {
            const smallgcd::Code a = any(), b = any();
            const auto da = digits(a, p, k), db = digits(b, p, k);
            std::vector<uint64_t> prod(2 * k, 0);
            for (uint32_t s = 0; s < k; s++)
                for (uint32_t t = 0; t < k; t++) prod[s + t] = (prod[s + t] + uint64_t{da[s]} * db[t]) % p;
            for (uint32_t e = 2 * k - 2; e >= k; e--)
                for (uint32_t j = 0; j < k; j++) prod[e - k + j] = (prod[e - k + j] + (p - c.m[j]) * prod[e]) % p;
            smallgcd::Code code = 0;
            for (uint32_t j = k; j-- > 0;) code = code * p + prod[j];
            ASSERT_EQ(F.mul(a, b), code) << p;
            const auto ds = digits(F.add(a, b), p, k);
            for (uint32_t j = 0; j < k; j++) ASSERT_EQ(ds[j], (da[j] + db[j]) % p);
            ASSERT_EQ(F.add(a, F.neg(a)), 0u);
            if (a) {
                ASSERT_EQ(F.mul(a, F.inv(a)), 1u);
            }
        }
    }
}

// Roots in the wide fields: of a product of distinct linear factors, one of
// them; of z^2 - a with a no square (a^((q-1)/2) = -1), none; and a
// relation found at random makes a field of the asked size.
TEST(SmallFieldGcd, WideFieldRootsAndRandomRelations) {
    for (const auto& [p, k] : std::vector<std::pair<uint32_t, uint32_t>>{{2, 22}, {2, 32}, {2, 34}, {3, 14}, {3, 21}, {13, 6}}) {
        ExtField F;
        ASSERT_TRUE(smallgcd::make_wide_field_of_degree(p, k, 17, &F)) << p;
        ASSERT_EQ(F.k, k);
        std::mt19937_64 rng(p);
        auto power = [&](smallgcd::Code a, uint64_t e) {
            smallgcd::Code r = 1;
            for (; e; e >>= 1, a = F.mul(a, a))
                if (e & 1) r = F.mul(r, a);
            return r;
        };
        for (int i = 0; i < 20; i++) {
            std::vector<smallgcd::Code> roots, f{1};
            for (int j = 0; j < 5; j++) {
                const smallgcd::Code r = 1 + rng() % (F.q - 1);
                if (std::find(roots.begin(), roots.end(), r) != roots.end()) continue;
                roots.push_back(r);
                std::vector<smallgcd::Code> g(f.size() + 1, 0);   // f * (z - r)
                for (size_t e = 0; e < f.size(); e++) {
                    g[e + 1] = F.add(g[e + 1], f[e]);
                    g[e] = F.sub(g[e], F.mul(r, f[e]));
                }
                f = g;
            }
            const smallgcd::Code x = smallgcd::wide_root(F, f, static_cast<uint64_t>(i));
            ASSERT_NE(std::find(roots.begin(), roots.end(), x), roots.end()) << p << " " << x;
            if (p == 2) continue;
            const smallgcd::Code a = 1 + rng() % (F.q - 1);
            const bool square = power(a, (F.q - 1) / 2) == 1;
            ASSERT_EQ(smallgcd::wide_root(F, {F.neg(a), 0, 1}, static_cast<uint64_t>(i)) != 0, square) << p;
        }
    }
}

}  // namespace
