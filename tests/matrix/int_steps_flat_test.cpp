// The row and column steps of the integer forms on flat digit arrays,
// against GMP: x - q y, brought into (-m/2, m/2] when a modulus is set.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "matrix/int_steps.h"
#include "support/gmp_bridge.h"
#include "support/ring_setup.h"

namespace {

using int_steps::Work;

// What reduce leaves: untouched within half in size, else the truncated
// remainder, moved by m toward zero when still above half.
mpz_class reduced(const mpz_class& t, const mpz_class* m) {
    if (!m) return t;
    const mpz_class half = *m / 2;
    if (abs(t) <= half) return t;
    mpz_class r = t % *m;   // truncated, the sign of t
    if (abs(r) > half) r += r > 0 ? mpz_class(-*m) : *m;
    return r;
}

struct Row {
    std::vector<quoly*> v;
    explicit Row(const std::vector<mpz_class>& x) : v(x.size(), nullptr) {
        for (size_t t = 0; t < x.size(); t++) {
            imag* n = from_mpz(x[t]);
            scalar_to_quoly(n, &v[t]);
            release(n);
        }
    }
    ~Row() {
        for (quoly*& q : v) free_quoly(&q);
    }
    Row(const Row&) = delete;
    Row& operator=(const Row&) = delete;
};

struct IntStepsFlat : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(IntStepsFlat, RowStepMatchesGmpWithAndWithoutModulus) {
    std::mt19937_64 rng(9);
    gmp_randclass g(gmp_randinit_default);
    g.seed(9);
    for (int round = 0; round < 60; round++) {
        const bool with_m = round % 3 != 0;
        const mpz_class m = g.get_z_bits(20 + static_cast<int>(rng() % 200)) + 3;
        const int32_t K = 6;
        std::vector<mpz_class> x(K), y(K);
        for (int32_t j = 0; j < K; j++) {
            x[j] = g.get_z_bits(static_cast<int>(rng() % 240));
            y[j] = rng() % 4 == 0 ? mpz_class(0) : g.get_z_bits(static_cast<int>(rng() % 240));
            if (rng() % 2) x[j] = -x[j];
            if (rng() % 2) y[j] = -y[j];
        }
        // Values on and just past the edges of the range.
        x[0] = m / 2;
        y[0] = 0;
        x[1] = -(m / 2) - 1;
        y[1] = 0;
        mpz_class q = g.get_z_bits(static_cast<int>(rng() % 120));
        if (rng() % 2) q = -q;
        // Two rows of a 2 x K matrix, column-major.
        std::vector<mpz_class> cells;
        for (int32_t j = 0; j < K; j++) {
            cells.push_back(x[j]);
            cells.push_back(y[j]);
        }
        Row a(cells), f({q}), mod({m});
        Work w(a.v.data(), 2, K);
        if (with_m) w.set_modulus(mod.v[0]);
        w.row_sub(0, 1, f.v[0]);
        for (int32_t j = 0; j < K; j++) {
            EXPECT_EQ(to_mpz(a.v[2 * j]->nnum), reduced(x[j] - q * y[j], with_m ? &m : nullptr)) << round << " " << j;
            EXPECT_EQ(to_mpz(a.v[2 * j + 1]->nnum), y[j]);
        }
        // The column step is the same step down a column.
        Row c(std::vector<mpz_class>{x[2], x[3], y[2], y[3]}), f2({q});
        Work wc(c.v.data(), 2, 2);
        if (with_m) wc.set_modulus(mod.v[0]);
        wc.col_sub(0, 1, f2.v[0]);
        EXPECT_EQ(to_mpz(c.v[0]->nnum), reduced(x[2] - q * y[2], with_m ? &m : nullptr));
        EXPECT_EQ(to_mpz(c.v[1]->nnum), reduced(x[3] - q * y[3], with_m ? &m : nullptr));
    }
}

}  // namespace
