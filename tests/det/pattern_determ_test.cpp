// Elimination plans of a sparsity pattern, replayed on many matrices with
// that pattern: every determinant the replay gives against GMP's of the
// same matrix; planned pivots checked non-zero at the values the plan was
// made on; structurally singular patterns refused; a vanishing pivot at
// other values reported, never a wrong value.
#include <gtest/gtest.h>

#include <random>

#include "det/pattern_determ.h"
#include "det_support.h"

namespace {

using polydet::EliminationPlan;

const uint32_t kPrimes[] = {3, 7, 101, 45281, 2147483629u};

struct Pattern {
    int32_t n;
    std::vector<std::vector<int32_t>> rows;
};

// A cyclic band (diagonal and one neighbour) and `extra` more random
// entries per row, or (band false) each cell with probability density.
Pattern random_pattern(std::mt19937_64& rng, int32_t n, bool band, int extra, double density) {
    std::vector<std::vector<char>> on(n, std::vector<char>(n, 0));
    std::uniform_real_distribution<double> u(0, 1);
    for (int32_t i = 0; i < n; i++) {
        if (band) {
            on[i][i] = 1;
            on[i][(i + 1) % n] = 1;
            for (int k = 0; k < extra; k++) on[i][rng() % n] = 1;
        } else {
            for (int32_t j = 0; j < n; j++) on[i][j] = u(rng) < density;
        }
    }
    Pattern p{n, std::vector<std::vector<int32_t>>(n)};
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++)
            if (on[i][j]) p.rows[i].push_back(j);
    return p;
}

// Values for the pattern's entries; `fixed` entries (every third) hold the
// same small numbers at every call, as the numbers of a polynomial matrix
// do at every point.
std::vector<uint32_t> random_values(std::mt19937_64& rng, const Pattern& pt, uint32_t p, bool fixed_small) {
    std::vector<uint32_t> v;
    size_t e = 0;
    for (const auto& row : pt.rows)
        for (size_t k = 0; k < row.size(); k++, e++)
            v.push_back(fixed_small && e % 3 == 0 ? static_cast<uint32_t>(1 + e % 2) % p
                                                  : static_cast<uint32_t>(rng() % p));
    return v;
}

uint32_t gmp_residue_det(const Pattern& pt, const std::vector<uint32_t>& v, uint32_t p) {
    IntMatrix a(pt.n, std::vector<mpz_class>(pt.n, 0));
    size_t e = 0;
    for (int32_t i = 0; i < pt.n; i++)
        for (int32_t j : pt.rows[i]) a[i][j] = static_cast<unsigned long>(v[e++]);
    mpz_class d = gmp_det(a) % p;
    if (d < 0) d += p;
    return static_cast<uint32_t>(d.get_ui());
}

TEST(PatternDeterm, ReplaysAgreeWithGmp) {
    std::mt19937_64 rng(61);
    std::vector<uint32_t> work;
    int replays = 0, refused_values = 0;
    for (uint32_t p : kPrimes) {
        const wordmod::Prime P(p);
        for (int trial = 0; trial < 40; trial++) {
            const int32_t n = 1 + trial % 14;
            const bool band = trial % 2 == 0;
            const Pattern pt = random_pattern(rng, n, band, 1 + trial % 3, 0.25 + 0.05 * (trial % 5));
            const bool fixed = trial % 4 < 2;
            EliminationPlan plan;
            const std::vector<uint32_t> first = random_values(rng, pt, p, fixed);
            // Half of the plans from the pattern alone.
            const bool with_values = trial % 3 != 0;
            const int made = polydet::plan_elimination(pt.rows, with_values ? first.data() : nullptr, &P,
                                                       size_t{1} << 20, &plan);
            if (made < 0) {
                // Refused as structurally singular: then every value is 0.
                for (int k = 0; k < 3; k++)
                    EXPECT_EQ(gmp_residue_det(pt, random_values(rng, pt, p, fixed), p), 0u) << p << " " << trial;
                continue;
            }
            if (made == 0) {
                EXPECT_TRUE(with_values);
                EXPECT_EQ(gmp_residue_det(pt, first, p), 0u) << p << " " << trial;
                continue;
            }
            uint32_t d = 0;
            if (with_values) {
                // The pivots were chosen where these values do not vanish.
                ASSERT_TRUE(polydet::planned_determinant(plan, first.data(), P, work, &d)) << p << " " << trial;
                EXPECT_EQ(d, gmp_residue_det(pt, first, p)) << p << " " << trial;
            }
            for (int point = 0; point < 12; point++) {
                const std::vector<uint32_t> v = random_values(rng, pt, p, fixed);
                if (!polydet::planned_determinant(plan, v.data(), P, work, &d)) {
                    refused_values++;
                    continue;
                }
                replays++;
                ASSERT_EQ(d, gmp_residue_det(pt, v, p)) << p << " n " << n << " trial " << trial;
            }
        }
    }
    // Both outcomes occur: the small primes make vanishing pivots common.
    EXPECT_GT(replays, 1000);
    EXPECT_GT(refused_values, 0);
}

TEST(PatternDeterm, NumbersThatCancelNeverBecomePivots) {
    // Rows 0 and 1 hold 1 2 / 2 4 in columns 0, 1 at every point, and
    // column 2 couples them to the rest: eliminating (0, 0) leaves (1, 1)
    // 0 at every point. A plan made on one point's values avoids it.
    const Pattern pt{4, {{0, 1, 2}, {0, 1, 3}, {1, 2, 3}, {0, 2, 3}}};
    const uint32_t p = 45281;
    const wordmod::Prime P(p);
    std::mt19937_64 rng(62);
    auto values = [&] {
        std::vector<uint32_t> v(12);
        for (auto& x : v) x = static_cast<uint32_t>(1 + rng() % (p - 1));
        v[0] = 1, v[1] = 2, v[3] = 2, v[4] = 4;
        return v;
    };
    EliminationPlan plan;
    const std::vector<uint32_t> first = values();
    ASSERT_EQ(polydet::plan_elimination(pt.rows, first.data(), &P, 1000, &plan), 1);
    std::vector<uint32_t> work;
    for (int point = 0; point < 50; point++) {
        const std::vector<uint32_t> v = values();
        uint32_t d = 0;
        ASSERT_TRUE(polydet::planned_determinant(plan, v.data(), P, work, &d));
        EXPECT_EQ(d, gmp_residue_det(pt, v, p));
    }
}

TEST(PatternDeterm, RefusesSingularPatternsAndLargePlans) {
    const wordmod::Prime P(101);
    EliminationPlan plan;
    // Column 2 empty; then two rows confined to one column.
    EXPECT_EQ(polydet::plan_elimination({{0, 1}, {0, 1}, {0, 1}}, nullptr, &P, 100, &plan), -1);
    EXPECT_EQ(polydet::plan_elimination({{0}, {0}, {0, 1, 2}}, nullptr, &P, 100, &plan), -1);
    // A full 30 x 30 pattern needs about n^3 / 3 updates.
    std::vector<std::vector<int32_t>> full(30);
    for (auto& row : full)
        for (int32_t j = 0; j < 30; j++) row.push_back(j);
    EXPECT_EQ(polydet::plan_elimination(full, nullptr, &P, 5000, &plan), -1);
    EXPECT_EQ(polydet::plan_elimination(full, nullptr, &P, 20000, &plan), 1);
    // All values 0: nothing to pivot on at this point.
    const std::vector<uint32_t> zeros(900, 0);
    EXPECT_EQ(polydet::plan_elimination(full, zeros.data(), &P, 20000, &plan), 0);
}

}  // namespace
