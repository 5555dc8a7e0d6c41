// Powers of one-variable polynomials by Miller's recurrence (the power rows)
// against the binomial table and against f * f^(n-1) formed by the
// product, with the recurrence switched off for the reference; operands,
// shapes and records checked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numbers/ring.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

struct RowsOff {
    int32_t saved = power_rows_route;
    RowsOff() { power_rows_route = -1; }
    ~RowsOff() { power_rows_route = saved; }
};

class PowerRows : public ::testing::Test {
protected:
    PrimeRing ring{0};
    VarGlobalsGuard globals;
    AttachedVars vars{2};
};

// (a x^e + b)^n term by term from the binomial table.
TEST_F(PowerRows, BinomialsMatchTheBinomialTable) {
    number_polys = 1;
    for (int n : {2, 3, 17, 100, 999, 3000}) {
        // 268435455^3000 has 3000 digits in every coefficient: up to 999.
        for (auto [a, b, e] : {std::tuple{1, 1, 1}, {1, -1, 1}, {3, -7, 2}, {-268435455, 268435455, 5}}) {
            if (n > 999 && a == -268435455) continue;
            RecordLedger ledger;
            {
                BuiltPoly p(1, {{a, {e}}, {b, {0}}});
                polynode* q = nullptr;
                poly_assign(p, &q);
                compute_power(&q, n, polynames);
                ASSERT_TRUE(check_poly_shape(q, 1));
                TermList want;
                for (int k = n; k >= 0; k--) {
                    mpz_class c, pa, pb;
                    mpz_bin_uiui(c.get_mpz_t(), n, k);
                    mpz_pow_ui(pa.get_mpz_t(), mpz_class(a).get_mpz_t(), k);
                    mpz_pow_ui(pb.get_mpz_t(), mpz_class(b).get_mpz_t(), n - k);
                    want.emplace_back(mpz_class(c * pa * pb), std::vector<int32_t>{e * k});
                }
                EXPECT_EQ(read_poly(q, 1), canonical_terms(1, want)) << a << " x^" << e << " + " << b << ", n = " << n;
                free_poly(&q);
            }
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

// f^n = f * f^(n-1), f^(n-1) and the product by the other routes.
TEST_F(PowerRows, PowersAgreeWithTheProducts) {
    NumberGen g(0x18180010);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(40); round++) {
        laurent = round % 5 == 4;
        number_polys = 1 + round % 2;
        // Long exponents for a few short polynomials: the reference squares.
        const bool long_power = round % 8 == 1;
        const int terms = long_power ? 2 + g.below(2) : 2 + g.below(round % 3 == 0 ? 15 : 5);
        TermList t;
        for (int i = 0; i < terms; i++) {
            const int32_t e = (laurent ? -6 : 0) + g.below(round % 4 == 0 ? 40 : 8);
            mpz_class c = g.chance(30) && !long_power ? g.edge_value() : mpz_class(g.between(-9, 9));
            if (c == 0 || abs(c) >= (1 << 28)) c = 1;
            t.emplace_back(c, number_polys == 1 ? std::vector<int32_t>{e} : std::vector<int32_t>{e, 0});
        }
        const int n = long_power ? 1000 + g.below(2001) : 2 + g.below(60);
        RecordLedger ledger;
        {
            BuiltPoly f(number_polys, t);
            polynode* fast = nullptr;
            poly_assign(f, &fast);
            compute_power(&fast, n, polynames);
            ASSERT_TRUE(check_poly_shape(fast, number_polys));
            RowsOff off;
            polynode* slow = nullptr;
            poly_assign(f, &slow);
            compute_power(&slow, n - 1, polynames);
            poly_mult(f, slow, &slow, polynames);
            EXPECT_EQ(read_poly(fast, number_polys), read_poly(slow, number_polys))
                << "round " << round << ", f = " << terms_to_string(canonical_terms(number_polys, t)) << ", n = " << n;
            free_poly(&fast);
            free_poly(&slow);
        }
        EXPECT_TRUE(ledger.balanced());
        if (HasFailure()) return;
    }
}

}  // namespace
