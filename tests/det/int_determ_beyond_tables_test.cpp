// Integer determinants whose size bound passes the prime tables: the
// remaindering goes on over word primes below 2^31, as many as the bound
// needs (the verbose line says how many, counted here with GMP's own
// primality test), primes dividing the determinant included; a few rows of
// very long entries take fraction-free elimination. Values against GMP's
// fraction-free elimination or known by construction.
#include <gtest/gtest.h>

#include <string>

#include "det/int_determ.h"
#include "det_support.h"
#include "numbers/tables.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

struct BeyondTables : ::testing::Test {
    PrimeRing ring{0};
};

// The primes below 2^31, largest first, until their product reaches b.
std::vector<unsigned long> word_primes_reaching(const mpz_class& b) {
    std::vector<unsigned long> p;
    mpz_class prod = 1, c = (mpz_class(1) << 31) - 1;
    while (prod < b) {
        while (mpz_probab_prime_p(c.get_mpz_t(), 30) == 0) c -= 2;
        p.push_back(c.get_ui());
        prod *= c;
        c -= 2;
    }
    return p;
}

mpz_class size_bound(StoredMatrix& m) {
    std::vector<quoly*> v = m.cells();
    Num B;
    int small = 0;
    int32_t total = 0;
    find_pseudo(nullptr, v.data(), B, &small, m.n, m.n, &total, 0, 0);
    return to_mpz(B);
}

// L U with L unit lower triangular and U upper triangular with the given
// diagonal, the entries off the diagonal of digits decimal digits: the
// determinant is the diagonal's product.
IntMatrix with_diagonal(std::mt19937_64& rng, const std::vector<mpz_class>& diag, int digits) {
    const int32_t n = static_cast<int32_t>(diag.size());
    IntMatrix r = random_matrix(rng, n, digits, true), l(n, std::vector<mpz_class>(n)), u = l;
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            l[i][j] = i == j ? mpz_class(1) : i > j ? r[i][j] : mpz_class(0);
            u[i][j] = i == j ? diag[i] : i < j ? r[i][j] : mpz_class(0);
        }
    return product(l, u);
}

TEST_F(BeyondTables, WordPrimesAsManyAsTheBoundNeeds) {
    std::mt19937_64 rng(47);
    for (int32_t n : {16, 30}) {
        IntMatrix a = random_matrix(rng, n, n == 16 ? 200 : 100, true);
        for (int flip = 0; flip < 2; flip++) {
            if (flip) std::swap(a[0], a[1]);
            StoredMatrix m("w", n);
            fill(m, a);
            const mpz_class B = size_bound(m);
            ASSERT_GT(B, to_mpz(num_prod[NUM_PROD_COUNT - 1]));
            mpz_class got;
            const std::string said = verbose_det(m, {"default", -1, 0}, &got);
            EXPECT_EQ(got, gmp_det(a)) << n;
            EXPECT_EQ(stated_primes(said), static_cast<long>(word_primes_reaching(B).size())) << said;
            EXPECT_EQ(said.find("Gauss-Bareiss"), std::string::npos);
        }
    }
}

// The primes that divide the determinant give residues 0 (the largest word
// primes are the first taken); a determinant of -1 gives residues p - 1
// and the sign step alone makes it negative; a singular matrix gives 0.
TEST_F(BeyondTables, PrimesDividingTheDeterminant) {
    std::mt19937_64 rng(5);
    const int32_t n = 16;
    std::vector<mpz_class> divisible(n), unit(n, 1), singular(n, 3);
    const std::vector<unsigned long> p = word_primes_reaching(mpz_class(1) << (31 * n));
    for (int32_t i = 0; i < n; i++) divisible[i] = i == 5 ? mpz_class(prime[5]->value) : mpz_class(p[i]);
    divisible[0] = -divisible[0];
    unit[n - 1] = -1;
    singular[7] = 0;
    for (const auto* diag : {&divisible, &unit, &singular}) {
        IntMatrix a = with_diagonal(rng, *diag, 100);
        mpz_class want = 1;
        for (const mpz_class& d : *diag) want *= d;
        StoredMatrix m("d", n);
        fill(m, a);
        ASSERT_GT(size_bound(m), to_mpz(num_prod[NUM_PROD_COUNT - 1]));
        mpz_class got;
        const std::string said = verbose_det(m, {"default", -1, 0}, &got);
        EXPECT_EQ(got, want);
        EXPECT_GT(stated_primes(said), n);
        // The remaindering itself, with a bound far above |det|.
        std::vector<quoly*> v = m.cells();
        imag* B = from_mpz(mpz_class(1) << 20000);
        quoly* r = nullptr;
        quoly_set(1, &r);
        small_mod_determ(n, &r, v.data(), B);
        EXPECT_EQ(plain_value(r), want);
        release(B);
        free_quoly(&r);
    }
}

// Four rows of 3000-digit entries: the residues modulo some thousand primes
// would cost more than fraction-free elimination itself.
TEST_F(BeyondTables, FewRowsOfLongEntriesGoFractionFree) {
    std::mt19937_64 rng(3000);
    IntMatrix a = random_matrix(rng, 4, 3000, true);
    IntMatrix zero_column = a, negative = a;
    for (auto& row : zero_column) row[2] = 0;
    if (gmp_det(negative) > 0) std::swap(negative[1], negative[3]);
    for (const IntMatrix* x : {&a, &zero_column, &negative}) {
        StoredMatrix m("f", 4);
        fill(m, *x);
        mpz_class got;
        const std::string said = verbose_det(m, {"default", -1, 0}, &got);
        EXPECT_EQ(got, gmp_det(*x));
        EXPECT_EQ(stated_primes(said), -1) << said;
        EXPECT_NE(said.find("Gauss-Bareiss method, size 4"), std::string::npos) << said;
    }
}

}  // namespace
