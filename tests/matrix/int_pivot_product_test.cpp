// The fraction-free pivot search against the rational reduction it stands
// in for: the same rank, the same pivot rows and columns in the same order,
// and the same product of pivots, which GMP confirms as the determinant of
// the chosen rows and columns; the rank also from an elimination over GMP's
// rationals. The flat integers it computes with are checked against GMP.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "matrix/dense_echelon.h"
#include "matrix/int_pivot_product.h"
#include "numbers/flat_int.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "support/gmp_bridge.h"
#include "support/ring_setup.h"

namespace {

using Dense = std::vector<std::vector<mpz_class>>;   // [row][column]

mpz_class value_of(const FlatInt& x) {
    imag* r = empty_number();
    flat_write(x, r);
    const mpz_class v = to_mpz(r);
    release(r);
    return v;
}

FlatInt flat_of(const mpz_class& v) {
    imag* x = from_mpz(v);
    FlatInt f;
    flat_read(x, f);
    release(x);
    return f;
}

// A flat column-major matrix of number quolys, freed with the object.
struct Cells {
    int32_t R, K;
    std::vector<quoly*> v;
    explicit Cells(const Dense& a)
        : R(static_cast<int32_t>(a.size())), K(static_cast<int32_t>(a[0].size())),
          v(static_cast<size_t>(R) * K, nullptr) {
        for (int32_t i = 0; i < R; i++)
            for (int32_t j = 0; j < K; j++) {
                imag* x = from_mpz(a[i][j]);
                scalar_to_quoly(x, &v[static_cast<size_t>(j) * R + i]);
                release(x);
            }
    }
    ~Cells() {
        for (quoly*& q : v) free_quoly(&q);
    }
    Cells(const Cells&) = delete;
    Cells& operator=(const Cells&) = delete;
};

int32_t gmp_rank(const Dense& a) {
    std::vector<std::vector<mpq_class>> m;
    for (const auto& row : a) m.emplace_back(row.begin(), row.end());
    const size_t R = m.size(), K = m[0].size();
    int32_t rank = 0;
    for (size_t c = 0; c < K && static_cast<size_t>(rank) < R; c++) {
        size_t p = rank;
        while (p < R && m[p][c] == 0) p++;
        if (p == R) continue;
        std::swap(m[p], m[rank]);
        for (size_t i = rank + 1; i < R; i++) {
            const mpq_class f = m[i][c] / m[rank][c];
            for (size_t j = c; j < K; j++) m[i][j] -= f * m[rank][j];
        }
        rank++;
    }
    return rank;
}

mpz_class gmp_det(Dense a) {
    const size_t n = a.size();
    mpz_class sign = 1, prev = 1;
    for (size_t k = 0; k < n; k++) {
        size_t p = k;
        while (p < n && a[p][k] == 0) p++;
        if (p == n) return 0;
        if (p != k) {
            std::swap(a[p], a[k]);
            sign = -sign;
        }
        for (size_t i = k + 1; i < n; i++)
            for (size_t j = k + 1; j < n; j++) a[i][j] = (a[k][k] * a[i][j] - a[i][k] * a[k][j]) / prev;
        prev = a[k][k];
    }
    return n == 0 ? mpz_class(1) : sign * a[n - 1][n - 1];
}

// Both roads on a; returns the rank.
int32_t compare_roads(const Dense& a) {
    Cells fast(a), slow(a);
    const int32_t R = fast.R, K = fast.K;
    FlatInt product;
    std::vector<int32_t> pairs;
    const int32_t rank = int_pivot_product(fast.v.data(), R, K, &product, &pairs);

    const int flags[4] = {1, 0, 0, 0};
    std::vector<int32_t> want_pairs;
    const int32_t want_rank = colreduce(slow.v.data(), R, K, flags, nullptr, nullptr, nullptr, nullptr, 1,
                                        268435456, &want_pairs, 0);
    quoly* pivots = nullptr;
    quoly_set(1, &pivots);
    for (int32_t t = 0; t < want_rank; t++) {
        quoly* d = nullptr;
        quoly_assign(slow.v[static_cast<size_t>(t) * R + t], &d);
        fast_quoly_mult(&pivots, &d);
        free_quoly(&d);
    }
    EXPECT_TRUE(pivots->isnum);
    const mpz_class want_product = pivots->isnum ? to_mpz(pivots->nnum) : mpz_class(0);
    free_quoly(&pivots);

    EXPECT_EQ(rank, want_rank);
    EXPECT_EQ(rank, gmp_rank(a));
    EXPECT_EQ(pairs, want_pairs);
    EXPECT_EQ(value_of(product), want_product);
    // The product is the determinant of the chosen rows and columns, taken
    // in the order the pivots were found.
    Dense minor(rank, std::vector<mpz_class>(rank));
    for (int32_t i = 0; i < rank && static_cast<size_t>(2 * rank) <= pairs.size(); i++)
        for (int32_t j = 0; j < rank; j++) minor[i][j] = a[pairs[2 * i]][pairs[2 * j + 1]];
    EXPECT_EQ(value_of(product), gmp_det(minor));
    // The matrix given is left as it was.
    for (int32_t i = 0; i < R; i++)
        for (int32_t j = 0; j < K; j++) EXPECT_EQ(to_mpz(fast.v[static_cast<size_t>(j) * R + i]->nnum), a[i][j]);
    return rank;
}

Dense random_matrix(std::mt19937_64& rng, int32_t R, int32_t K, int kind) {
    std::uniform_int_distribution<int> small(-10, 10), digit(0, 9), sign(0, 1), pick(0, 3);
    Dense a(R, std::vector<mpz_class>(K));
    for (auto& row : a)
        for (auto& x : row) {
            if (kind == 0) {
                x = small(rng);
            } else if (kind == 1) {
                // No units, a quarter zeros: fractions from the first step on.
                const int v = pick(rng) == 0 ? 0 : 2 + (small(rng) + 10) % 19;
                x = sign(rng) ? v : -v;
            } else {
                std::string s = "1";
                for (int t = 0; t < 30; t++) s += static_cast<char>('0' + digit(rng));
                x = mpz_class(s) + small(rng);
                if (sign(rng)) x = -x;
            }
        }
    return a;
}

Dense times(const Dense& a, const Dense& b) {
    Dense c(a.size(), std::vector<mpz_class>(b[0].size()));
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b[0].size(); j++)
            for (size_t t = 0; t < b.size(); t++) c[i][j] += a[i][t] * b[t][j];
    return c;
}

struct IntPivotProduct : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(IntPivotProduct, FlatArithmeticAgreesWithGmp) {
    std::mt19937_64 rng(30);
    gmp_randclass g(gmp_randinit_default);
    g.seed(30);
    for (int round = 0; round < 400; round++) {
        const int bits_a = static_cast<int>(rng() % 300), bits_b = 1 + static_cast<int>(rng() % 200);
        mpz_class a = g.get_z_bits(bits_a), b = g.get_z_bits(bits_b);
        if (rng() % 2) a = -a;
        if (rng() % 2) b = -b;
        if (b == 0) b = 7;
        const FlatInt fa = flat_of(a), fb = flat_of(b);
        ASSERT_EQ(value_of(fa), a);
        FlatInt r;
        flat_mul(fa, fb, r);
        EXPECT_EQ(value_of(r), a * b);
        flat_sub(fa, fb, r);
        EXPECT_EQ(value_of(r), a - b);
        flat_sub(fb, fa, r);
        EXPECT_EQ(value_of(r), b - a);
        // Truncating quotient, exactness reported; exact on a multiple.
        EXPECT_EQ(flat_div(fa, fb, r), a % b == 0);
        EXPECT_EQ(value_of(r), mpz_class(a / b));
        flat_mul(fa, fb, r);
        EXPECT_TRUE(flat_div(r, fb, r));
        EXPECT_EQ(value_of(r), a);
        flat_gcd(fa, fb, r);
        EXPECT_EQ(value_of(r), gmp_gcd(a, b));
        EXPECT_EQ(flat_cmp_abs(fa, fb), cmp(abs_of(a), abs_of(b)) < 0 ? -1 : cmp(abs_of(a), abs_of(b)) > 0 ? 1 : 0);
    }
    FlatInt z;
    flat_set(0, z);
    EXPECT_EQ(flat_digits(z), 1);
    EXPECT_EQ(value_of(z), 0);
    flat_set(-(1 << 30), z);
    EXPECT_EQ(value_of(z), -(mpz_class(1) << 30));
    EXPECT_EQ(flat_digits(z), 2);
}

TEST_F(IntPivotProduct, PivotsAndProductMatchTheRationalReduction) {
    std::mt19937_64 rng(3030);
    const int32_t shapes[][2] = {{1, 1}, {2, 3}, {3, 2}, {4, 4}, {5, 7}, {7, 5}, {9, 9}, {12, 12}, {10, 14}, {14, 10}};
    for (const auto& s : shapes)
        for (int kind = 0; kind < 3; kind++) {
            SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1] << " kind " << kind);
            EXPECT_EQ(compare_roads(random_matrix(rng, s[0], s[1], kind)), std::min(s[0], s[1]));
        }
    // Sizes where the pivots' determinants outgrow several digits.
    EXPECT_EQ(compare_roads(random_matrix(rng, 40, 40, 0)), 40);
    EXPECT_EQ(compare_roads(random_matrix(rng, 24, 30, 1)), 24);
}

TEST_F(IntPivotProduct, RankDeficientAndZeroMatrices) {
    std::mt19937_64 rng(4242);
    const int32_t cases[][3] = {{6, 6, 3}, {8, 5, 2}, {5, 9, 4}, {10, 10, 1}, {12, 12, 7}};
    for (const auto& c : cases)
        for (int kind = 0; kind < 2; kind++) {
            SCOPED_TRACE(testing::Message() << c[0] << " x " << c[1] << " rank " << c[2] << " kind " << kind);
            const Dense a = times(random_matrix(rng, c[0], c[2], kind), random_matrix(rng, c[2], c[1], kind));
            EXPECT_EQ(compare_roads(a), c[2]);
        }
    // A zero matrix has no pivot and the empty product 1; one non-zero
    // entry is the only pivot.
    Dense zero(3, std::vector<mpz_class>(4));
    EXPECT_EQ(compare_roads(zero), 0);
    zero[2][1] = -6;
    EXPECT_EQ(compare_roads(zero), 1);
}

}  // namespace
