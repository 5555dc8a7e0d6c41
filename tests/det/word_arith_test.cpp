// Word-level residue arithmetic: the reductions against 128-bit remainders
// at the edges of their ranges, the batch inverse by its products, and the
// determinant kernel against GMP determinants of random, singular and
// nearly singular matrices for small, 16-bit and 31-bit primes.
#include <gtest/gtest.h>

#include <random>

#include "det/word_arith.h"
#include "det_support.h"

namespace {

const uint32_t kPrimes[] = {2, 3, 7, 101, 45281, 65521, 2147483629u};

TEST(WordArith, ReductionsMatchTheRemainder) {
    std::mt19937_64 rng(21);
    for (uint32_t p : kPrimes) {
        const wordmod::Prime P(p);
        std::vector<uint64_t> xs = {0, 1, p - 1u, p, uint64_t{p} * p - 1, ~uint64_t{0}, ~uint64_t{0} - p};
        for (int k = 0; k < 2000; k++) xs.push_back(rng() >> (rng() % 64));
        for (uint64_t x : xs) ASSERT_EQ(P.reduce(x), x % p) << p << " " << x;
        std::vector<uint32_t> ws = {0, 1, p - 1u};
        for (int k = 0; k < 200; k++) ws.push_back(static_cast<uint32_t>(rng() % p));
        for (uint32_t w : ws) {
            const wordmod::Multiplier m(w, P);
            for (uint32_t a : {0u, 1u, p - 1u, 0xFFFFFFFFu, static_cast<uint32_t>(rng())})
                ASSERT_EQ(m.times(a), uint64_t{a} * w % p) << p << " " << w << " " << a;
        }
    }
}

TEST(WordArith, InversesTimesTheirNumbersAreOne) {
    std::mt19937_64 rng(22);
    for (uint32_t p : kPrimes) {
        const wordmod::Prime P(p);
        std::vector<uint32_t> a;
        for (int k = 0; k < 50; k++) a.push_back(static_cast<uint32_t>(1 + rng() % (p - 1)));
        a.push_back(p - 1);
        std::vector<uint32_t> inv = a;
        P.invert_all(inv.data(), inv.size());
        for (size_t i = 0; i < a.size(); i++) {
            EXPECT_EQ(uint64_t{a[i]} * inv[i] % p, 1u) << p;
            EXPECT_EQ(P.inv(a[i]), inv[i]) << p;
        }
        EXPECT_EQ(P.inv(0), 0u);
    }
}

uint32_t reference(const IntMatrix& a, uint32_t p) {
    mpz_class d = gmp_det(a) % p;
    if (d < 0) d += p;
    return static_cast<uint32_t>(d.get_ui());
}

uint32_t kernel(const IntMatrix& a, uint32_t p) {
    const int32_t n = static_cast<int32_t>(a.size());
    std::vector<uint32_t> w(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            mpz_class r = a[i][j] % p;
            if (r < 0) r += p;
            w[static_cast<size_t>(i) * n + j] = static_cast<uint32_t>(r.get_ui());
        }
    return wordmod::det(w.data(), n, wordmod::Prime(p));
}

TEST(WordArith, DeterminantsAgreeWithGmp) {
    std::mt19937_64 rng(23);
    for (uint32_t p : kPrimes) {
        for (int32_t n = 1; n <= 14; n++) {
            IntMatrix a = random_matrix(rng, n, 12);
            EXPECT_EQ(kernel(a, p), reference(a, p)) << "p " << p << " n " << n;
            // Singular: a row the sum of two others.
            if (n >= 3) {
                IntMatrix s = a;
                for (int32_t j = 0; j < n; j++) s[n - 1][j] = s[0][j] + 5 * s[1][j];
                EXPECT_EQ(kernel(s, p), 0u) << "p " << p << " n " << n;
            }
            // Zeros on the diagonal and a leading block that vanishes modulo
            // p: the pivots must come from lower rows.
            IntMatrix z = a;
            for (int32_t i = 0; i < n; i++) z[i][i] = 0;
            if (n >= 2) z[0][0] = z[0][1] = z[1][0] = p;
            EXPECT_EQ(kernel(z, p), reference(z, p)) << "p " << p << " n " << n;
        }
        // Small entries modulo a small prime: singular images are common.
        for (int trial = 0; trial < 60; trial++) {
            const int32_t n = 2 + trial % 7;
            IntMatrix a(n, std::vector<mpz_class>(n));
            for (auto& row : a)
                for (auto& x : row) x = static_cast<long>(rng() % 3) - 1;
            EXPECT_EQ(kernel(a, p), reference(a, p)) << "p " << p << " trial " << trial;
        }
    }
}

}  // namespace
