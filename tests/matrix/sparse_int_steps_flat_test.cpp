// The sparse integer steps' own arithmetic against GMP: row i - q row s and
// column j - q column s with multi-digit quotients, every changed entry
// brought into [-m/2, m/2] when a modulus is set, zeros unlinked, entries
// made where the target had none.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "matrix/sparse.h"
#include "matrix/sparse_int_steps.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "support/gmp_bridge.h"
#include "support/ring_setup.h"

namespace {

mpz_class reduced(const mpz_class& t, const mpz_class* m) {
    if (!m) return t;
    const mpz_class half = *m / 2;
    if (abs(t) <= half) return t;
    mpz_class r = t % *m;
    if (abs(r) > half) r += r > 0 ? mpz_class(-*m) : *m;
    return r;
}

struct SparseIntStepsFlat : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(SparseIntStepsFlat, RowAndColumnStepsMatchGmp) {
    std::mt19937_64 rng(77);
    gmp_randclass g(gmp_randinit_default);
    g.seed(77);
    std::uniform_int_distribution<long> entry(-2000000000L, 2000000000L);
    for (int round = 0; round < 40; round++) {
        const int32_t n = 4, k = 5;
        Model md(n, k);
        for (int32_t i = 1; i <= n; i++)
            for (int32_t j = 1; j <= k; j++)
                if (rng() % 3 != 0) md.at(i, j) = entry(rng);
        // Row 2 cancels row 1 in column 3 for q = 1: a zero to unlink.
        md.at(2, 3) = md.at(1, 3);
        const bool with_m = round % 2 == 1;
        const mpz_class m = g.get_z_bits(40 + static_cast<int>(rng() % 80)) + 5;
        mpz_class q = round % 4 == 0 ? mpz_class(1) : mpz_class(g.get_z_bits(static_cast<int>(rng() % 90)));
        if (rng() % 2) q = -q;
        sparse* first = build_from(md);
        quoly* mq = integer_q(m);
        quoly* qq = integer_q(q);
        {
            SparseIntWork w(first, n, k);
            std::vector<std::vector<mpz_class>> want(n, std::vector<mpz_class>(k));
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < k; j++) want[i][j] = reduced(md.at(i + 1, j + 1).get_num(), with_m ? &m : nullptr);
            if (with_m) w.set_modulus(mq);
            ASSERT_EQ(integer_values(first, n, k), want);
            w.row_sub(2, 1, qq);
            for (int32_t j = 0; j < k; j++) want[1][j] = reduced(want[1][j] - q * want[0][j], with_m ? &m : nullptr);
            EXPECT_EQ(integer_values(first, n, k), want) << round;
            w.col_sub(4, 2, qq, 1);
            for (int32_t i = 0; i < n; i++) want[i][3] = reduced(want[i][3] - q * want[i][1], with_m ? &m : nullptr);
            EXPECT_EQ(integer_values(first, n, k), want) << round;
            w.cols_sub({{1, qq}, {5, qq}}, 3, 2);
            for (int32_t i = 1; i < n; i++)
                for (int32_t j : {0, 4}) want[i][j] = reduced(want[i][j] - q * want[i][2], with_m ? &m : nullptr);
            EXPECT_EQ(integer_values(first, n, k), want) << round;
            EXPECT_TRUE(sparse_ok(first, n, k));
        }
        free_quoly(&mq);
        free_quoly(&qq);
        free_sparse(&first, n, 1);
    }
}

}  // namespace
