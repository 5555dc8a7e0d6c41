// The fraction-free pivots of a sparse integer matrix against the sparse
// row reduction over the rationals: the same rank, pivot rows and columns
// in the same order, and the same product of pivots, which GMP confirms as
// the determinant of the chosen rows and columns. The frames stay as given.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_echelon.h"
#include "matrix/sparse_int_pivot_product.h"
#include "numbers/flat_int.h"
#include "numbers/numbers.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "support/gmp_bridge.h"
#include "support/ring_setup.h"

namespace {

mpz_class value_of(const FlatInt& x) {
    imag* r = empty_number();
    flat_write(x, r);
    const mpz_class v = to_mpz(r);
    release(r);
    return v;
}

// A sparse array record built from the model, freed with the object.
struct SparseMatrix {
    array a{};
    explicit SparseMatrix(const Model& md) {
        a.rows = md.n;
        special_set_2(md.n, md.m, &a.size);
        a.sparse = build_from(md);
    }
    ~SparseMatrix() {
        free_sparse(&a.sparse, a.rows, 1);
        special_free(&a.size);
    }
    SparseMatrix(const SparseMatrix&) = delete;
    SparseMatrix& operator=(const SparseMatrix&) = delete;
};

mpz_class gmp_det(std::vector<std::vector<mpz_class>> a) {
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

int32_t compare_roads(const Model& md) {
    SparseMatrix fast(md), slow(md);
    EXPECT_TRUE(sparse_pivot_product_applies(fast.a.sparse, md.n, md.m));
    FlatInt product;
    std::vector<int32_t> pairs;
    const int32_t rank = sparse_int_pivot_product(fast.a.sparse, md.n, md.m, &product, &pairs);
    EXPECT_TRUE(matches(fast.a.sparse, md));

    const int flags[4] = {1, 0, 0, 0};
    sparse* none[4] = {nullptr, nullptr, nullptr, nullptr};
    std::vector<int32_t> want_pairs;
    const int32_t want_rank = sparse_rowreduce(&slow.a, 1, flags, &want_pairs, none, 268435456);
    for (int32_t& p : want_pairs) p -= addresser;
    quoly* pivots = nullptr;
    quoly_set(1, &pivots);
    for (int32_t t = 1; t <= want_rank; t++) {
        quoly* d = nullptr;
        quoly_assign((*row_head(slow.a.sparse, t))->val, &d);
        fast_quoly_mult(&pivots, &d);
        free_quoly(&d);
    }
    EXPECT_TRUE(pivots->isnum);
    const mpz_class want_product = pivots->isnum ? to_mpz(pivots->nnum) : mpz_class(0);
    free_quoly(&pivots);

    EXPECT_EQ(rank, want_rank);
    EXPECT_EQ(pairs, want_pairs);
    EXPECT_EQ(value_of(product), want_product);
    std::vector<std::vector<mpz_class>> minor(rank, std::vector<mpz_class>(rank));
    for (int32_t i = 0; i < rank && static_cast<size_t>(2 * rank) <= pairs.size(); i++)
        for (int32_t j = 0; j < rank; j++) minor[i][j] = md.at(pairs[2 * i] + 1, pairs[2 * j + 1] + 1).get_num();
    EXPECT_EQ(value_of(product), gmp_det(minor));
    return rank;
}

// Entries in [-10, 10] (kind 0), without units (1), up to 2 x 10^9 (2),
// or from 2 to 200,002 in size (3);
// each cell non-zero with probability density / 100.
Model random_model(std::mt19937_64& rng, int32_t n, int32_t m, int kind, int density) {
    std::uniform_int_distribution<int> small(-10, 10), pct(0, 99);
    std::uniform_int_distribution<long> big(-2000000000L, 2000000000L), mid(0, 200000);
    Model md(n, m);
    for (int32_t i = 1; i <= n; i++)
        for (int32_t j = 1; j <= m; j++) {
            if (pct(rng) >= density) continue;
            mpz_class x;
            if (kind == 0) {
                x = small(rng);
            } else if (kind == 1) {
                x = 2 + (small(rng) + 10) % 19;
                if (pct(rng) < 50) x = -x;
            } else if (kind == 3) {
                // One digit each, either side of 2^16, where the number
                // mass steps.
                x = 2 + mid(rng);
                if (pct(rng) < 50) x = -x;
            } else {
                // Two digits each (the model's builder takes 32-bit values).
                x = big(rng);
                if (x == 0) x = 1;
            }
            md.at(i, j) = x;
        }
    return md;
}

struct SparseIntPivotProduct : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(SparseIntPivotProduct, PivotsAndProductMatchTheRationalReduction) {
    std::mt19937_64 rng(8330);
    const int32_t shapes[][2] = {{1, 1}, {3, 3}, {4, 6}, {6, 4}, {8, 8}, {12, 12}, {9, 13}, {13, 9}};
    for (const auto& s : shapes)
        for (int kind = 0; kind < 4; kind++)
            for (int density : {100, 60, 25}) {
                SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1] << " kind " << kind << " density " << density);
                compare_roads(random_model(rng, s[0], s[1], kind, density));
            }
    EXPECT_EQ(compare_roads(random_model(rng, 36, 36, 0, 100)), 36);
    compare_roads(random_model(rng, 30, 30, 1, 30));
}

// Rows scaled by products of a few shared factors near 2^13: the bordered
// minors and the last pivot then share factors of several words, so the
// fractions' masses in lowest terms differ from their digit counts and
// decide the pivot; the small entries give ties in mass besides.
Model scaled_model(std::mt19937_64& rng, int32_t n, int32_t m, int density) {
    const long factors[] = {8191, 8209, 8219, 8231, 1, 1};
    std::uniform_int_distribution<int> pick(0, 5), small(-10, 10), pct(0, 99);
    Model md(n, m);
    for (int32_t i = 1; i <= n; i++) {
        const long c = factors[pick(rng)] * factors[pick(rng)];
        for (int32_t j = 1; j <= m; j++)
            if (pct(rng) < density) md.at(i, j) = mpz_class(c) * small(rng);
    }
    return md;
}

TEST_F(SparseIntPivotProduct, LargeCommonFactorsDecideTheFractionMasses) {
    std::mt19937_64 rng(4301);
    const int32_t shapes[][2] = {{6, 6}, {10, 10}, {8, 12}, {12, 8}, {16, 16}};
    for (const auto& s : shapes)
        for (int density : {100, 50})
            for (int round = 0; round < 3; round++) {
                SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1] << " density " << density);
                compare_roads(scaled_model(rng, s[0], s[1], density));
            }
    // Rank deficient: a repeated scaled row.
    Model md = scaled_model(rng, 9, 9, 100);
    for (int32_t j = 1; j <= 9; j++) md.at(7, j) = -2 * md.at(2, j);
    EXPECT_LE(compare_roads(md), 8);
}

TEST_F(SparseIntPivotProduct, RankDeficientEmptyAndOtherHeuristics) {
    std::mt19937_64 rng(3083);
    // A product through a narrow middle, stored sparse.
    for (int32_t r : {1, 3, 5}) {
        const Model left = random_model(rng, 9, r, 0, 70), right = random_model(rng, r, 8, 1, 70);
        Model md(9, 8);
        for (int32_t i = 1; i <= 9; i++)
            for (int32_t j = 1; j <= 8; j++)
                for (int32_t t = 1; t <= r; t++) md.at(i, j) += left.at(i, t) * right.at(t, j);
        EXPECT_LE(compare_roads(md), r);
    }
    // No entries: rank 0 and the empty product; a lone entry is the pivot.
    Model empty(4, 5);
    EXPECT_EQ(compare_roads(empty), 0);
    empty.at(3, 2) = -9;
    EXPECT_EQ(compare_roads(empty), 1);
    // Another heuristic, a stored fraction or machine-integer mode keep the
    // reduction over the rationals.
    const Model md = random_model(rng, 5, 5, 0, 100);
    SparseMatrix m(md);
    const int32_t keep = pseudet_heur;
    pseudet_heur = 3;
    EXPECT_FALSE(sparse_pivot_product_applies(m.a.sparse, 5, 5));
    pseudet_heur = keep;
    Model half(2, 2);
    half.at(1, 1) = mpq_class(1, 2);
    SparseMatrix h(half);
    EXPECT_FALSE(sparse_pivot_product_applies(h.a.sparse, 2, 2));
}

}  // namespace
