// The exact inverse of unimodular matrices joined from word primes, checked
// by GMP's product with the matrix; a matrix of determinant 2 is refused.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "matrix/hermite_by_inverse.h"

namespace {

using Big = std::vector<std::vector<mpz_class>>;

FlatInt flat_of(mpz_class v) {
    FlatInt x;
    x.sign = sgn(v);
    v = abs(v);
    for (; v != 0; v >>= 28) x.mag.push_back(static_cast<uint32_t>(mpz_class(v & ((1 << 28) - 1)).get_ui()));
    return x;
}

mpz_class mpz_of(const FlatInt& x) {
    mpz_class v = 0;
    for (size_t i = x.mag.size(); i-- > 0;) v = (v << 28) + x.mag[i];
    return x.sign < 0 ? mpz_class(-v) : v;
}

FlatMatrix flat_of(const Big& a) {
    const int32_t n = static_cast<int32_t>(a.size());
    FlatMatrix m(n, n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) m.at(i, j) = flat_of(a[i][j]);
    return m;
}

// Column additions with multipliers of `bits` bits and a few swaps: the
// inverse's entries grow far past one word prime.
Big unimodular(std::mt19937_64& rng, int32_t n, int bits) {
    Big a(n, std::vector<mpz_class>(n, 0));
    for (int32_t i = 0; i < n; i++) a[i][i] = 1;
    gmp_randclass r(gmp_randinit_default);
    r.seed(static_cast<unsigned long>(rng()));
    for (int32_t step = 0; step < 2 * n; step++) {
        const int32_t i = static_cast<int32_t>(rng() % n), j = static_cast<int32_t>(rng() % n);
        if (i == j) {
            for (int32_t t = 0; t < n; t++) std::swap(a[t][0], a[t][n - 1]);
            continue;
        }
        mpz_class c = r.get_z_bits(bits) - (mpz_class(1) << (bits - 1));
        for (int32_t t = 0; t < n; t++) a[t][i] += c * a[t][j];
    }
    return a;
}

TEST(UnimodularInverse, ProductWithTheMatrixIsTheIdentity) {
    std::mt19937_64 rng(60);
    for (int32_t n : {1, 2, 5, 13, 30})
        for (int bits : {2, 40, 200}) {
            const Big a = unimodular(rng, n, bits);
            FlatMatrix x = flat_of(a), inv;
            ASSERT_TRUE(flat_unimodular_inverse(x, inv)) << n << " x " << n << ", " << bits << " bits";
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    mpz_class s = 0;
                    for (int32_t k = 0; k < n; k++) s += a[i][k] * mpz_of(inv.at(k, j));
                    ASSERT_EQ(s, i == j ? 1 : 0) << n << " x " << n << ", " << bits << " bits, at " << i << ", " << j;
                }
        }
}

TEST(UnimodularInverse, DeterminantTwoIsRefused) {
    std::mt19937_64 rng(61);
    for (int32_t n : {2, 9}) {
        Big a = unimodular(rng, n, 30);
        for (int32_t t = 0; t < n; t++) a[t][0] *= 2;
        FlatMatrix x = flat_of(a), inv;
        EXPECT_FALSE(flat_unimodular_inverse(x, inv)) << n << " x " << n;
    }
}

}  // namespace
