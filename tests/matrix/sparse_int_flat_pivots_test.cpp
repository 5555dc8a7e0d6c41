// The Smith pivot phase on the flat copy against the chain road (the same
// phase with a transform kept, which never takes the flat copy): the same
// rank, sign flag and every entry, on random sparse matrices of every
// shape, rank deficient, with zero rows and columns, 1 x 1, with 30-digit
// entries and entries at the machine-word limits, under small, odd, even
// and long moduli. Independently of both roads: sign x the diagonal's
// product is det A0 modulo m. The in-place x - q x b under the flat road
// and the reduction into [-m/2, m/2] (ties included) are checked against
// GMP.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "matrix/sparse.h"
#include "matrix/sparse_int_flat_pivots.h"
#include "matrix/sparse_int_steps.h"
#include "numbers/flat_int.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "support/gmp_bridge.h"
#include "support/ring_setup.h"

namespace {

using Dense = std::vector<std::vector<mpz_class>>;

// Bareiss, for the determinant only.
mpz_class det(Dense b) {
    const auto n = static_cast<int32_t>(b.size());
    mpz_class prev = 1;
    int sign = 1;
    for (int32_t k = 0; k < n; k++) {
        int32_t p = k;
        while (p < n && b[p][k] == 0) p++;
        if (p == n) return 0;
        if (p != k) {
            std::swap(b[p], b[k]);
            sign = -sign;
        }
        for (int32_t i = k + 1; i < n; i++)
            for (int32_t j = k + 1; j < n; j++) b[i][j] = (b[i][j] * b[k][k] - b[i][k] * b[k][j]) / prev;
        prev = b[k][k];
    }
    return sign * b[n - 1][n - 1];
}

// The matrix of a's values: the shape from build_from, each value put in
// afterwards (the model's own values stop at 32 bits).
sparse* build_big(const Dense& a, int32_t n, int32_t k) {
    Model pattern(n, k);
    for (int32_t i = 1; i <= n; i++)
        for (int32_t j = 1; j <= k; j++)
            if (a[i - 1][j - 1] != 0) pattern.at(i, j) = 1;
    sparse* f = build_from(pattern);
    for (int32_t r = 1; r <= n; r++)
        for (colm* e = *row_head(f, r); e; e = e->next) {
            free_quoly(&e->val);
            e->val = integer_q(a[r - 1][e->col - 1]);
        }
    return f;
}

mpz_class entry(std::mt19937_64* rng, int kind) {
    static const char* const limits[] = {"2147483647",          "-2147483648",          "4611686018427387904",
                                         "-4611686018427387903", "9223372036854775807", "-9223372036854775808",
                                         "268435456",           "-72057594037927935"};
    std::uniform_int_distribution<int> small(-10, 10);
    switch (kind) {
        case 1: {
            mpz_class v = 0;
            for (int t = 0; t < 4; t++) v = v * 100000000 + static_cast<long>((*rng)() % 100000000);
            return (*rng)() % 2 ? v : mpz_class(-v);
        }
        case 2:
            return (*rng)() % 3 ? mpz_class(limits[(*rng)() % 8]) : mpz_class(small(*rng));
        default:
            return small(*rng);
    }
}

mpz_class modulus(std::mt19937_64* rng, const mpz_class& d, int pick) {
    switch (pick) {
        case 0: return 12;
        case 1: return 97;
        case 2: return mpz_class("1180591620717411303425");  // 2^70 + 1
        case 3: return d != 0 ? mpz_class(2 * abs(d)) : mpz_class(96);
        case 4: return d != 0 ? mpz_class(abs(d)) : mpz_class(1);
        default: {
            mpz_class m = 1;
            for (int t = 0; t < 6; t++) m = m * 1000000007 + static_cast<long>((*rng)() % 1000000);
            return m;
        }
    }
}

struct SparseIntFlatPivots : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(SparseIntFlatPivots, FlatRoadEqualsChainRoad) {
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> u(0, 1);
    int flat_cases = 0;
    for (int c = 0; c < 400; c++) {
        int32_t n = 1 + static_cast<int32_t>(rng() % 9), k = 1 + static_cast<int32_t>(rng() % 9);
        if (c % 16 == 0) n = k = 14 + static_cast<int32_t>(rng() % 6);
        if (c % 16 == 1) n = k = 1;
        // Long entries in small matrices only: the chain road is slow with them.
        const int kind = n > 9 ? 0 : static_cast<int>(rng() % 3);
        const double fill = c % 5 == 0 ? 0.25 : c % 5 == 1 ? 1.0 : 0.7;
        Dense a(n, std::vector<mpz_class>(k));
        for (auto& row : a)
            for (auto& x : row) x = u(rng) < fill ? entry(&rng, kind) : 0;
        if (c % 7 == 3 && n > 1) a[n - 1] = a[0];
        if (c % 7 == 4) {
            const auto zr = rng() % n, zc = rng() % k;
            for (auto& x : a[zr]) x = 0;
            for (auto& row : a) row[zc] = 0;
        }
        if (c % 31 == 5)
            for (auto& row : a)
                for (auto& x : row) x = 0;
        const mpz_class d = n == k ? det(a) : mpz_class(0);
        const mpz_class m = modulus(&rng, d, c % 6);
        quoly* mq = integer_q(m);
        sparse* f1 = build_big(a, n, k);
        sparse* f2 = build_big(a, n, k);
        sparse* t1 = nullptr;
        spar_identi(&t1, k, 0);
        {
            SparseIntWork flat(f1, n, k), chain(f2, n, k);
            chain.T[1] = t1;
            flat.set_modulus(mq);
            chain.set_modulus(mq);
            ASSERT_TRUE(flat_pivots_apply(&flat));
            ASSERT_FALSE(flat_pivots_apply(&chain));
            int s1 = 1, s2 = 1;
            const int32_t r1 = sparse_phaseone(&flat, 1, 1, nullptr, &s1);
            const int32_t r2 = sparse_phaseone(&chain, 1, 1, nullptr, &s2);
            ASSERT_EQ(r1, r2) << "case " << c;
            EXPECT_EQ(s1, s2) << "case " << c;
            const auto v1 = integer_values(f1, n, k);
            ASSERT_EQ(v1, integer_values(f2, n, k)) << "case " << c;
            EXPECT_TRUE(sparse_ok(f1, n, k));
            if (n == k) {
                mpz_class prod = s1;
                for (int32_t i = 0; i < n; i++) prod *= v1[i][i];
                EXPECT_EQ(mpz_class((prod - d) % m), 0) << "case " << c;
            }
            flat_cases++;
        }
        free_sparse(&t1, k, 1);
        free_sparse(&f1, n, 1);
        free_sparse(&f2, n, 1);
        free_quoly(&mq);
    }
    EXPECT_EQ(flat_cases, 400);
}

FlatInt flat_of(const mpz_class& v) {
    Num x(v);
    FlatInt out;
    flat_read(x, out);
    return out;
}

mpz_class mpz_of(const FlatInt& v) {
    Num x;
    flat_write(v, x);
    return to_mpz(x);
}

TEST_F(SparseIntFlatPivots, InPlaceStepMatchesGmp) {
    std::mt19937_64 rng(31);
    gmp_randclass g(gmp_randinit_default);
    g.seed(31);
    auto value = [&](int bits) {
        mpz_class v = bits ? mpz_class(g.get_z_bits(bits)) : mpz_class(0);
        return rng() % 2 ? v : mpz_class(-v);
    };
    for (int c = 0; c < 3000; c++) {
        // One-digit multipliers (below 2^28) on either side half the time.
        const int qbits = static_cast<int>(c % 4 == 0 ? rng() % 29 : rng() % 200);
        const int bbits = static_cast<int>(c % 4 == 1 ? rng() % 29 : rng() % 200);
        const mpz_class q = value(qbits), b = value(bbits);
        mpz_class x = value(static_cast<int>(rng() % 220));
        // Cancellations: x = q b exactly, or its neighbours.
        if (c % 3 == 0) x = q * b + static_cast<long>(rng() % 3) - 1;
        FlatInt fx = flat_of(x);
        flat_sub_mul_to(fx, flat_of(q), flat_of(b));
        ASSERT_EQ(mpz_of(fx), x - q * b) << c;
        ASSERT_EQ(fx.sign, sgn(x - q * b)) << c;
        ASSERT_TRUE(fx.mag.empty() || fx.mag.back() != 0) << c;
    }
}

// Into [-m/2, m/2] as a truncated division leaves it: on a tie (m even, r
// = m/2 modulo m) the sign of r.
mpz_class reduced(const mpz_class& r, const mpz_class& m) {
    const mpz_class half = m / 2;
    if (abs(r) <= half) return r;
    mpz_class t = r % m;
    if (abs(t) > half) t += t > 0 ? mpz_class(-m) : m;
    return t;
}

TEST_F(SparseIntFlatPivots, ReductionMatchesTruncatedDivision) {
    std::mt19937_64 rng(8);
    gmp_randclass g(gmp_randinit_default);
    g.seed(8);
    Model one(1, 1);
    one.at(1, 1) = 1;
    sparse* f = build_from(one);
    for (int c = 0; c < 600; c++) {
        mpz_class m = mpz_class(g.get_z_bits(static_cast<int>(1 + rng() % 170))) + 1;
        if (c % 2) m *= 2;  // even: ties exist
        mpz_class r;
        switch (c % 3) {
            case 0: r = m / 2 + m * static_cast<long>(rng() % 11) - 5 * m; break;  // ties and near them
            case 1:
                r = mpz_class(g.get_z_bits(static_cast<int>(rng() % 40))) * m + static_cast<long>(rng() % 5) - 2;
                break;
            default: r = g.get_z_bits(static_cast<int>(rng() % 260)); break;
        }
        if (rng() % 2) r = -r;
        quoly* mq = integer_q(m);
        {
            SparseIntWork w(f, 1, 1);
            w.set_modulus(mq);
            FlatInt x = flat_of(r);
            flat_reduce(x, &w);
            ASSERT_EQ(mpz_of(x), reduced(r, m)) << "m " << m << " r " << r;
        }
        free_quoly(&mq);
    }
    free_sparse(&f, 1, 1);
}

}  // namespace
