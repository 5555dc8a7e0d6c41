// Integer determinants through the hub, every method forced by its switch:
// det(AB) = det(A) det(B) checked against a GMP fraction-free elimination,
// with singular matrices, zero first columns and negative determinants,
// entries from one digit (one prime) to 250 digits (beyond the tables).
#include <gtest/gtest.h>

#include "det/int_determ.h"
#include "det_support.h"
#include "matrix/measures.h"
#include "numbers/numbers.h"
#include "numbers/tables.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

struct IntegerDet : ::testing::Test {
    PrimeRing ring{0};
};

// Every method on one matrix gives the reference value, and the stored
// cells are what they were.
void check_all_methods(StoredMatrix& m, const IntMatrix& a, const mpz_class& want, int32_t max_minors) {
    for (const Method& how : methods_for(m.n, max_minors)) {
        quoly* r = hub_det(m, how);
        EXPECT_EQ(plain_value(r), want) << how.name << " n=" << m.n << " want " << describe(want);
        free_quoly(&r);
    }
    for (int32_t i = 0; i < m.n; i++)
        for (int32_t j = 0; j < m.n; j++) ASSERT_EQ(plain_value(m.cell(i, j)), a[i][j]);
    EXPECT_EQ(first_available, 1);
    EXPECT_EQ(mod_mode_matrix_in_use, 0);
    EXPECT_EQ(dupptr, nullptr);
}

TEST_F(IntegerDet, ProductRuleOverEveryMethod) {
    std::mt19937_64 rng(24);
    const int digit_choices[] = {1, 3, 20, 250};
    for (int32_t n = 1; n <= 12; n++) {
        for (int digits : digit_choices) {
            if (digits == 250 && n > 9) continue;   // the 250-digit case runs at n = 12 below
            IntMatrix a = random_matrix(rng, n, digits), b = random_matrix(rng, n, digits);
            IntMatrix ab = product(a, b);
            const mpz_class da = gmp_det(a), db = gmp_det(b), dab = gmp_det(ab);
            ASSERT_EQ(dab, da * db);
            StoredMatrix ma("a", n), mb("b", n), mab("ab", n);
            fill(ma, a);
            fill(mb, b);
            fill(mab, ab);
            const int32_t minors = digits > 20 ? 3 : 5;
            check_all_methods(ma, a, da, minors);
            check_all_methods(mb, b, db, minors);
            check_all_methods(mab, ab, dab, minors);
        }
    }
}

TEST_F(IntegerDet, BoundsBeyondThePrimeTables) {
    // 12 x 12 of 250-digit entries: about 10,000 bits, more than the
    // products of all 599 primes reach: by default the remaindering goes on
    // over word primes, with &(K = 1) the fraction-free elimination.
    std::mt19937_64 rng(2401);
    IntMatrix a = random_matrix(rng, 12, 250, true);
    StoredMatrix m("big", 12);
    fill(m, a);
    const mpz_class want = gmp_det(a);
    for (const Method& how : {Method{"default", -1, 0}, Method{"bareiss", 0, 1}}) {
        verbose = 1;
        ::testing::internal::CaptureStdout();
        quoly* r = hub_det(m, how);
        const std::string said = ::testing::internal::GetCapturedStdout();
        verbose = 0;
        EXPECT_EQ(plain_value(r), want) << how.name;
        EXPECT_EQ(said.find("CRT.") != std::string::npos, how.k == 0) << said;
        EXPECT_EQ(said.find("Gauss-Bareiss method, size 12") != std::string::npos, how.k == 1) << said;
        free_quoly(&r);
    }
}

TEST_F(IntegerDet, SingularZeroColumnAndNegative) {
    std::mt19937_64 rng(7);
    for (int32_t n = 2; n <= 8; n++) {
        IntMatrix a = random_matrix(rng, n, 6);
        // Singular: the last row the sum of the first two.
        IntMatrix s = a;
        for (int32_t j = 0; j < n; j++) s[n - 1][j] = s[0][j] + (n > 2 ? s[1][j] : 0);
        if (n == 2) s[1] = s[0];
        // A zero first column.
        IntMatrix z = a;
        for (int32_t i = 0; i < n; i++) z[i][0] = 0;
        // A negative determinant: a's rows ordered so that det < 0.
        IntMatrix neg = a;
        if (gmp_det(neg) > 0) std::swap(neg[0], neg[1]);
        for (const IntMatrix* x : {&s, &z, &neg}) {
            StoredMatrix m("s", n);
            fill(m, *x);
            const mpz_class want = gmp_det(*x);
            if (x != &neg) {
                EXPECT_EQ(want, 0);
            }
            check_all_methods(m, *x, want, 5);
        }
    }
}

TEST_F(IntegerDet, FactorDividesTheDeterminant) {
    std::mt19937_64 rng(11);
    IntMatrix a = random_matrix(rng, 3, 4);
    for (int32_t j = 0; j < 3; j++) a[0][j] *= 6;   // 6 divides det
    StoredMatrix m("f", 3);
    fill(m, a);
    BuiltPoly six(0, {{6, {}}});
    quoly* r = hub_det(m, {"plain", 0, 0}, six.p);
    EXPECT_EQ(plain_value(r), gmp_det(a) / 6);
    free_quoly(&r);
}

TEST_F(IntegerDet, PseudoBoundExceedsTheDeterminant) {
    std::mt19937_64 rng(5);
    for (int32_t n = 1; n <= 14; n++) {
        for (int digits : {1, 9, 60}) {
            IntMatrix a = random_matrix(rng, n, digits);
            StoredMatrix m("p", n);
            fill(m, a);
            std::vector<quoly*> v = m.cells();
            Num B;
            int small = 0;
            int32_t total = 0;
            find_pseudo(nullptr, v.data(), B, &small, n, n, &total, 0, 0);
            EXPECT_LT(abs_of(gmp_det(a)), to_mpz(B)) << n << " " << digits;
            Num W;
            find_pseudo(m.rec, nullptr, W, &small, n, n, &total, 0, 1);
            EXPECT_GE(to_mpz(W), to_mpz(B));
            EXPECT_EQ(mpz_sizeinbase(to_mpz(W).get_mpz_t(), 2) % 28, 1u);   // 2^(28 k)
        }
    }
}

// The i-th prime of the remaindering takes the mixed-radix constant stored
// for it: a determinant needing many primes comes out exact.
TEST_F(IntegerDet, RemainderingOverManyPrimes) {
    std::mt19937_64 rng(99);
    for (int digits : {1, 30, 120, 200}) {
        IntMatrix a = random_matrix(rng, 6, digits);
        StoredMatrix m("crt", 6);
        fill(m, a);
        std::vector<quoly*> v = m.cells();
        Num B;
        int small = 0;
        int32_t total = 0;
        find_pseudo(nullptr, v.data(), B, &small, 6, 6, &total, 0, 0);
        quoly* r = nullptr;
        quoly_set(1, &r);
        small_mod_determ(6, &r, v.data(), B);
        EXPECT_EQ(plain_value(r), gmp_det(a)) << digits;
        free_quoly(&r);
        EXPECT_EQ(modularmode, 0);
        EXPECT_EQ(lintmode, 0);
    }
}

TEST_F(IntegerDet, CallersBoundAndPlainModeTest) {
    // A bound of the caller's beyond 600 digits on a small matrix of small
    // entries: the plain-mode test holds and the value is still exact.
    std::mt19937_64 rng(3);
    IntMatrix a = random_matrix(rng, 5, 3);
    StoredMatrix m("cb", 5);
    fill(m, a);
    quoly* bound = nullptr;
    imag* b = from_mpz(mpz_class(1) << (28 * 620));
    scalar_to_quoly(b, &bound);
    release(b);
    quoly* r = nullptr;
    quoly_set(1, &r);
    std::vector<quoly*> v = m.cells();
    set_min_cut(5);
    int_determ(&r, nullptr, v.data(), 5, &bound);
    EXPECT_EQ(plain_value(r), gmp_det(a));
    free_quoly(&r);
    free_quoly(&bound);
}

TEST_F(IntegerDet, UninitialisedCellsWarnTwentyTimes) {
    reset_statement_state();
    StoredMatrix m("u", 6);   // 36 empty cells
    quoly* r = nullptr;
    quoly_set(1, &r);
    quoly* bound = nullptr;
    quoly_set(-1, &bound);
    ::testing::internal::CaptureStdout();
    int_determ(&r, m.rec, nullptr, 6, &bound);
    const std::string text = ::testing::internal::GetCapturedStdout();
    size_t count = 0;
    for (size_t p = 0; (p = text.find("Warning. Uninitialized array element has been set to 0.\n", p)) !=
                       std::string::npos;
         p++)
        count++;
    EXPECT_EQ(count, 20u);
    EXPECT_NE(text.find(" ....etc...\n"), std::string::npos);
    EXPECT_EQ(plain_value(r), 0);
    free_quoly(&r);
    free_quoly(&bound);
}

}  // namespace
