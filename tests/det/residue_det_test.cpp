// Determinants over the residues: every residue method against the
// determinant over Z reduced modulo q; the fields of 2^8 and 2^16 elements
// against an elimination on the test's own field products; composite
// moduli give the right value or error 85, never a wrong one.
#include <gtest/gtest.h>

#include "det/int_determ.h"
#include "det_support.h"
#include "numbers/residue.h"
#include "support/expect_error.h"
#include "support/field_ref.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

struct ResidueDet : ::testing::TestWithParam<int32_t> {};

TEST_P(ResidueDet, EveryMethodAgreesWithTheIntegers) {
    const int32_t q = GetParam();
    std::mt19937_64 rng(q);
    for (int32_t n = 1; n <= 9; n++) {
        for (int rep = 0; rep < 3; rep++) {
            // Large entries; small ones with a zero corner (row exchanges);
            // a singular matrix.
            IntMatrix a = random_matrix(rng, n, rep == 1 ? 1 : 12);
            if (rep == 1) a[0][0] = 0;
            if (rep == 2 && n > 1) a[n - 1] = a[0];
            const mpz_class z = gmp_det(a);
            mpz_class want = z % q;
            if (want < 0) want += q;
            PrimeRing ring(q);
            StoredMatrix m("r", n);
            fill(m, a);
            for (const Method& how : methods_for(n)) {
                quoly* r = hub_det(m, how);
                EXPECT_EQ(plain_value(r), want) << "q=" << q << " n=" << n << " " << how.name;
                free_quoly(&r);
            }
            // With the shared residue table taken, the elimination copies.
            mod_mode_matrix_in_use = 1;
            quoly* r = hub_det(m, {"default", -1, 0});
            mod_mode_matrix_in_use = 0;
            EXPECT_EQ(plain_value(r), want) << "table in use, n=" << n;
            free_quoly(&r);
            EXPECT_EQ(first_available, 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Primes, ResidueDet, ::testing::Values(2, 3, 65521, 2147483629));

// Elimination on the field tables of the test.
uint32_t field_det(std::vector<std::vector<uint32_t>> a, bool big) {
    auto mul = [&](uint32_t x, uint32_t y) { return big ? gf16_mul(x, y) : gf8_mul(x, y); };
    const uint32_t order = big ? 65535 : 255;
    auto inv = [&](uint32_t x) {
        uint32_t r = 1;
        for (uint32_t e = order - 1, b = x; e; e >>= 1, b = mul(b, b))
            if (e & 1) r = mul(r, b);
        return r;
    };
    const size_t n = a.size();
    uint32_t d = 1;
    for (size_t k = 0; k < n; k++) {
        size_t p = k;
        while (p < n && a[p][k] == 0) p++;
        if (p == n) return 0;
        std::swap(a[p], a[k]);
        d = mul(d, a[k][k]);
        const uint32_t pi = inv(a[k][k]);
        for (size_t i = k + 1; i < n; i++) {
            const uint32_t m = mul(a[i][k], pi);
            for (size_t j = k; j < n; j++) a[i][j] ^= mul(m, a[k][j]);
        }
    }
    return d;
}

TEST(FieldDet, TwoToTheEightAndSixteen) {
    for (int32_t q : {256, 65536}) {
        std::mt19937_64 rng(q + 1);
        std::uniform_int_distribution<uint32_t> el(0, q - 1);
        for (int32_t n = 1; n <= 8; n++) {
            std::vector<std::vector<uint32_t>> a(n, std::vector<uint32_t>(n));
            for (auto& row : a)
                for (auto& x : row) x = el(rng) % (n == 5 ? 4 : q);   // zero-rich at n = 5
            IntMatrix z(n, std::vector<mpz_class>(n));
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) z[i][j] = a[i][j];
            const uint32_t want = field_det(a, q == 65536);
            PrimeRing ring(q);
            StoredMatrix m("f", n);
            fill(m, z);
            for (const Method& how : methods_for(n)) {
                quoly* r = hub_det(m, how);
                EXPECT_EQ(plain_value(r), want) << "q=" << q << " n=" << n << " " << how.name;
                free_quoly(&r);
            }
        }
    }
}

// A composite modulus: the determinant over Z reduced, or error 85 when
// some pivot has no inverse; never another value.
TEST(CompositeModulus, RightValueOrError85) {
    std::mt19937_64 rng(6);
    int errors = 0, values = 0;
    for (int32_t q : {4, 6, 12, 65535, 1000000}) {
        for (int32_t n = 2; n <= 6; n++) {
            for (int rep = 0; rep < 4; rep++) {
                IntMatrix a = random_matrix(rng, n, 3);
                mpz_class want = gmp_det(a) % q;
                if (want < 0) want += q;
                PrimeRing ring(q);
                mod_is_prime = 0;
                StoredMatrix m("c", n);
                fill(m, a);
                for (const Method& how : methods_for(n, 3)) {
                    quoly* r = nullptr;
                    const int code = unwind_code_or(0, [&] { r = hub_det(m, how); });
                    if (code == 0) {
                        EXPECT_EQ(plain_value(r), want) << q << " " << n << " " << how.name;
                        free_quoly(&r);
                        values++;
                    } else {
                        EXPECT_TRUE(code == 85 || code == 281) << code << " " << how.name;
                        errors++;
                    }
                    EXPECT_EQ(first_available, 1);
                    EXPECT_EQ(mod_mode_matrix_in_use, 0);
                    first_available = 1;
                }
            }
        }
    }
    // Every road now gets past zero divisors on these matrices; an error
    // would still be allowed where a road has no other way.
    EXPECT_GT(values, 0);
    EXPECT_GE(errors, 0);
}

// Elimination modulo one composite modulus: zero-divisor pivots are
// passed over for a unit of the column; a column of zero divisors only is
// cleared by Euclid's row steps, with no division.
TEST(CompositeModulus, ModDetermPicksUnitPivots) {
    PrimeRing ring(6);
    mod_is_prime = 0;
    StoredMatrix m("z", 2);
    fill(m, {{2, 3}, {5, 1}});   // det -13 = 5 mod 6; the 2 has no inverse
    quoly* r = nullptr;
    quoly_set(1, &r);
    std::vector<quoly*> v = m.cells();
    ModMatrixLease lease(2);
    for (int c = 0; c < 4; c++) lease.cells[c]->nnum->value = v[c]->nnum->value;
    mod_determ(lease.cells, 2, r);
    EXPECT_EQ(r->nnum->value, 5);
    fill(m, {{2, 3}, {4, 1}});   // only zero divisors in the first column
    v = m.cells();
    for (int c = 0; c < 4; c++) lease.cells[c]->nnum->value = v[c]->nnum->value;
    r->nnum->value = 1;
    mod_determ(lease.cells, 2, r);
    EXPECT_EQ(r->nnum->value, 2);   // 2 - 12 = -10 = 2 mod 6

    free_quoly(&r);
}

}  // namespace
