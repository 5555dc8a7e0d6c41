// Residue arrays modulo a monic f: products, remainders, powers and
// compositions against schoolbook arithmetic written here, modulo small
// primes, 65521 (one transform prime) and primes near 2^30 and 2^31 (two
// transform primes), at degrees on both sides of the schoolbook cut and of
// powers of two of the transform length.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "poly/modf_words.h"

namespace {

using modf_words::Words;

const uint32_t PRIMES[] = {3, 13, 65521, 1073741789, 2147483629};

Words random_words(std::mt19937_64& rng, int64_t len, uint32_t p) {
    Words v(static_cast<size_t>(len));
    for (uint32_t& x : v) x = static_cast<uint32_t>(rng() % p);
    return v;
}

Words random_monic(std::mt19937_64& rng, int32_t n, uint32_t p) {
    Words f = random_words(rng, n + 1, p);
    f[n] = 1;
    return f;
}

Words naive_product(const Words& a, const Words& b, uint32_t p) {
    Words c(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) c[i + j] = static_cast<uint32_t>((c[i + j] + uint64_t{a[i]} * b[j]) % p);
    return c;
}

// c mod f by long division, n words.
Words naive_rem(Words c, const Words& f, uint32_t p) {
    const size_t n = f.size() - 1;
    for (size_t k = c.size(); k-- > n;) {
        const uint64_t q = c[k];
        for (size_t i = 0; i <= n; i++) c[k - n + i] = static_cast<uint32_t>((c[k - n + i] + (p - q) * f[i]) % p);
    }
    c.resize(n, 0);
    return c;
}

Words naive_mulmod(const Words& a, const Words& b, const Words& f, uint32_t p) {
    return naive_rem(naive_product(a, b, p), f, p);
}

TEST(ModfWords, ProductsAndRemaindersAgainstLongDivision) {
    std::mt19937_64 rng(20261208);
    for (uint32_t p : PRIMES) {
        for (int32_t n : {1, 2, 5, 47, 48, 49, 300, 1024, 1025}) {
            SCOPED_TRACE(testing::Message() << "p = " << p << ", n = " << n);
            const Words f = random_monic(rng, n, p);
            const modf_words::ModF M(f, p);
            const Words a = random_words(rng, n, p), b = random_words(rng, n, p);
            Words r(static_cast<size_t>(n));
            M.mul(a.data(), b.data(), r.data());
            EXPECT_EQ(r, naive_mulmod(a, b, f, p));
            // In place, and a square.
            Words s = a;
            M.mul(s.data(), s.data(), s.data());
            EXPECT_EQ(s, naive_mulmod(a, a, f, p));
            // Remainders of every length up to 2n - 1, with the top word of c zero or not.
            for (int64_t len : {int64_t{1}, int64_t{n}, int64_t{n} + 1, 2 * int64_t{n} - 1}) {
                if (len < 1) continue;
                Words c = random_words(rng, len, p);
                if (len > 1) c[len - 1] = 0;
                Words q(static_cast<size_t>(n));
                M.reduce(c.data(), len, q.data());
                EXPECT_EQ(q, naive_rem(c, f, p)) << "len " << len;
            }
            // Unequal lengths through the general product.
            const Words u = random_words(rng, 3 * n + 1, p);
            Words z;
            modf_words::product(u.data(), static_cast<int64_t>(u.size()), a.data(), n, p, z);
            EXPECT_EQ(z, naive_product(u, a, p));
            // The schoolbook remainder on a monic divisor.
            Words w = u;
            const int32_t dw = modf_words::remainder(w.data(), static_cast<int64_t>(w.size()), f.data(), n, p);
            Words expect = naive_rem(u, f, p);
            int32_t de = n - 1;
            while (de >= 0 && expect[de] == 0) de--;
            EXPECT_EQ(dw, de);
            w.resize(static_cast<size_t>(n));
            EXPECT_EQ(w, expect);
        }
    }
}

TEST(ModfWords, PowersAndCompositionsAgreeWithFrobenius) {
    std::mt19937_64 rng(7);
    for (uint32_t p : PRIMES) {
        for (int32_t n : {2, 9, 60, 130}) {
            SCOPED_TRACE(testing::Message() << "p = " << p << ", n = " << n);
            const Words f = random_monic(rng, n, p);
            const modf_words::ModF M(f, p);
            // x^e against e - 1 products by x, for a few small e.
            Words x(static_cast<size_t>(n), 0), xe(static_cast<size_t>(n)), walk(static_cast<size_t>(n), 0);
            if (n > 1)
                x[1] = 1;
            else
                x = naive_rem({0, 1}, f, p);
            walk[0] = 1;
            for (uint64_t e = 1; e <= 70; e++) {
                walk = naive_mulmod(walk, x, f, p);
                if (e % 23 != 1 && e != 64) continue;
                M.x_power(e, xe.data());
                EXPECT_EQ(xe, walk) << "e " << e;
            }
            // h1 = x^p; composing h1 with itself is the p-th power map twice:
            // h1(h1) = x^(p^2) = (x^p)^p, with tables of several sizes.
            Words h1(static_cast<size_t>(n)), h2(static_cast<size_t>(n));
            M.x_power(p, h1.data());
            M.power(h1.data(), p, h2.data());
            for (int32_t k : {1, 3, 8, n}) {
                const modf_words::PowerTable t(M, h1.data(), k);
                Words g = h1;
                modf_words::compose(M, t, g.data(), g.data());
                EXPECT_EQ(g, h2) << "table " << k;
            }
            // A random g(h) against Horner's rule.
            const Words g = random_words(rng, n, p), h = random_words(rng, n, p);
            Words horner(static_cast<size_t>(n), 0);
            for (int32_t i = n - 1; i >= 0; i--) {
                horner = naive_mulmod(horner, h, f, p);
                horner[0] = static_cast<uint32_t>((horner[0] + g[i]) % p);
            }
            const modf_words::PowerTable t(M, h.data(), 5);
            Words r(static_cast<size_t>(n));
            modf_words::compose(M, t, g.data(), r.data());
            EXPECT_EQ(r, horner);
        }
    }
}

}  // namespace
