// Adjoints and the integer inverse through primes. References are GMP's:
// cofactors as determinants of minors for small n, and A adj(A) = det(A) I
// and A A^-1 = I for larger ones. Matrices whose determinant is a product
// of the first table primes make every skipped prime matter.
#include <gtest/gtest.h>

#include "det/adjoint.h"
#include "det/mod_matrix_inv.h"
#include "det_support.h"
#include "gcd/modgcd.h"
#include "interp/settings.h"
#include "numbers/tables.h"
#include "support/expect_error.h"
#include "support/ring_setup.h"

namespace {

struct Cells {
    std::vector<quoly*> v;
    explicit Cells(size_t n) : v(n, nullptr) {}
    ~Cells() {
        for (quoly*& q : v) free_quoly(&q);
    }
    quoly** data() { return v.data(); }
};

// adj(A)[i][j] = (-1)^(i+j) det(A without row j and column i).
IntMatrix cofactor_adjoint(const IntMatrix& a) {
    const size_t n = a.size();
    IntMatrix r(n, std::vector<mpz_class>(n));
    if (n == 1) {
        r[0][0] = 1;
        return r;
    }
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) {
            IntMatrix m;
            for (size_t k = 0; k < n; k++) {
                if (k == j) continue;
                std::vector<mpz_class> row;
                for (size_t l = 0; l < n; l++)
                    if (l != i) row.push_back(a[k][l]);
                m.push_back(row);
            }
            r[i][j] = ((i + j) % 2 ? -1 : 1) * gmp_det(m);
        }
    return r;
}

IntMatrix as_int(const std::vector<quoly*>& v, int32_t n) {
    IntMatrix x(n, std::vector<mpz_class>(n));
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) x[i][j] = plain_value(v[int64_t{j} * n + i]);
    return x;
}

// U L with unit triangular factors times a diagonal: det = product of d.
IntMatrix with_determinant(std::mt19937_64& rng, const std::vector<mpz_class>& d) {
    const int32_t n = static_cast<int32_t>(d.size());
    IntMatrix l = random_matrix(rng, n, 3), u = random_matrix(rng, n, 3);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            if (j > i) l[i][j] = 0;
            if (j < i) u[i][j] = 0;
        }
    for (int32_t i = 0; i < n; i++) {
        l[i][i] = 1;
        u[i][i] = d[i];
    }
    return product(l, u);
}

int32_t table_prime(int k) { return prime[k]->value; }

std::vector<quoly*> adjoint_of(StoredMatrix& m, int method) {
    std::vector<quoly*> a = m.cells(), out(a.size(), nullptr);
    sparse* none = nullptr;
    if (method == 0) adjoint(a.data(), out.data(), 0, m.n, &none);
    if (method == 1) adjoint_by_inversion(a.data(), out.data(), 0, m.n, &none);
    if (method == 2) adjoint_by_cofactors(a.data(), out.data(), m.n, &none);
    return out;
}

TEST(Adjoint, IntegerMatricesAgainstCofactors) {
    PrimeRing ring(0);
    std::mt19937_64 rng(129);
    for (int32_t n = 1; n <= 7; n++) {
        for (int shape = 0; shape < 4; shape++) {
            IntMatrix a = random_matrix(rng, n, shape == 1 ? 20 : 3);
            // shape 2: rank n - 1; shape 3: rank n - 2 (adjoint 0).
            if (shape >= 2 && n > 1)
                for (int32_t j = 0; j < n; j++) a[1 % n][j] = 3 * a[0][j];
            if (shape == 3 && n > 2)
                for (int32_t j = 0; j < n; j++) a[2][j] = a[0][j] - a[1][j];
            StoredMatrix m("a", n);
            fill(m, a);
            const IntMatrix want = cofactor_adjoint(a);
            for (int method = 0; method < 3; method++) {
                Cells out(0);
                out.v = adjoint_of(m, method);
                ASSERT_EQ(as_int(out.v, n), want) << "n=" << n << " shape " << shape << " method " << method;
                // A's cells keep their values and the machine words read by other modes.
                ASSERT_EQ(as_int(m.cells(), n), a);
            }
            EXPECT_EQ(first_available, 1);
        }
    }
}

TEST(Adjoint, LargeMatricesSatisfyTheDefiningIdentity) {
    PrimeRing ring(0);
    std::mt19937_64 rng(7);
    for (int32_t n : {9, 12, 15}) {
        // Entries up to 10^20; one matrix with the first table primes in det.
        for (int variant = 0; variant < 2; variant++) {
            IntMatrix a;
            if (variant == 0) {
                a = random_matrix(rng, n, 20);
            } else {
                std::vector<mpz_class> d(n, 1);
                for (int k = 0; k < 4 && k < n; k++) d[k] = table_prime(5 + k);
                a = with_determinant(rng, d);
            }
            StoredMatrix m("a", n);
            fill(m, a);
            Cells out(0);
            out.v = adjoint_of(m, 0);
            const IntMatrix x = as_int(out.v, n);
            const mpz_class det = gmp_det(a);
            const IntMatrix p = product(a, x);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) ASSERT_EQ(p[i][j], i == j ? det : 0) << n << " " << variant;
        }
    }
}

TEST(Adjoint, InverseByPrimesWhenTablePrimesDivideTheDeterminant) {
    PrimeRing ring(0);
    std::mt19937_64 rng(31);
    for (int32_t n = 4; n <= 12; n += 4) {
        for (int variant = 0; variant < 3; variant++) {
            std::vector<mpz_class> d(n, 1);
            if (variant == 1) d[0] = -1;   // unimodular
            if (variant == 2)
                for (int k = 0; k < n; k++) d[k] = table_prime(5 + k % 6);
            if (variant == 0) d[n - 1] = mpz_class(table_prime(5)) * table_prime(6) * table_prime(7);
            const IntMatrix a = with_determinant(rng, d);
            StoredMatrix m("a", n);
            fill(m, a);
            std::vector<quoly*> v = m.cells();
            Cells x(v.size());
            QuolyOwner r;
            quoly_set(1, &r.q);
            sparse* none = nullptr;
            mat_invert(v.data(), x.data(), 0, 0, n, &r.q, 1, 0, &none, nullptr, -1, -1, -1, 0, 0);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    mpq_class s = 0;
                    for (int32_t k = 0; k < n; k++) s += a[i][k] * quoly_value(x.v[int64_t{j} * n + k]);
                    ASSERT_EQ(s, i == j ? 1 : 0) << "n=" << n << " variant " << variant;
                }
            // Unimodular: the inverse has integer cells.
            if (variant == 1) {
                for (quoly* q : x.v) EXPECT_TRUE(q->isnum);
            }
            EXPECT_EQ(modularmode, 0);
            EXPECT_EQ(lintmode, 0);
        }
    }
}

TEST(Adjoint, ResidueMatrices) {
    for (int32_t q : {7, 65521}) {
        PrimeRing ring(q);
        std::mt19937_64 rng(q);
        for (int32_t n = 1; n <= 6; n++) {
            IntMatrix a = random_matrix(rng, n, 2);
            if (n > 2 && q == 7)
                for (int32_t j = 0; j < n; j++) a[1][j] = a[0][j];   // singular: cofactors
            StoredMatrix m("a", n);
            fill(m, a);
            Cells out(0);
            out.v = adjoint_of(m, 0);
            const IntMatrix want = cofactor_adjoint(a);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    mpz_class w = want[i][j] % q;
                    if (w < 0) w += q;
                    ASSERT_EQ(plain_value(out.v[int64_t{j} * n + i]), w) << "q=" << q << " n=" << n;
                }
        }
    }
}

TEST(Adjoint, SingularMatrixWithConsumedCellsFallsBackWithCellsInPlace) {
    PrimeRing ring(0);
    const IntMatrix a = {{1, 2, 3}, {2, 4, 6}, {1, 0, 1}};
    std::vector<quoly*> cells(9, nullptr), out(9, nullptr);
    for (int32_t i = 0; i < 3; i++)
        for (int32_t j = 0; j < 3; j++) cells[j * 3 + i] = ring_number(a[i][j]);
    std::vector<quoly*> before = cells;
    sparse* none = nullptr;
    adjoint_by_inversion(cells.data(), out.data(), 1, 3, &none);
    EXPECT_EQ(cells, before);   // the very records are back
    EXPECT_EQ(as_int(out, 3), cofactor_adjoint(a));
    for (quoly*& q : cells) free_quoly(&q);
    for (quoly*& q : out) free_quoly(&q);
}

TEST(Adjoint, BoundsPastTheTablesTakeWordPrimesAndFreeTheArguments) {
    PrimeRing ring(0);
    const IntMatrix a = {{2, 1}, {1, 1}};
    StoredMatrix m("a", 2);
    fill(m, a);
    std::vector<quoly*> v = m.cells(), out(4, nullptr);
    // A bound of 343 digits of 28 bits (past the tables), one just inside
    // their reach, and one far past them.
    for (int bits : {28 * 342 + 1, 2000, 60000}) {
        quoly* det = ring_number(1);
        quoly* bound = ring_number(mpz_class(1) << bits);
        sparse* none = nullptr;
        ASSERT_EQ(mod_matrix_inv(v.data(), out.data(), 0, 2, &det, &bound, &none, 0), 1) << bits;
        EXPECT_EQ(det, nullptr);
        EXPECT_EQ(bound, nullptr);
        EXPECT_EQ(as_int(out, 2), (IntMatrix{{1, -1}, {-1, 2}}));   // negative entries stay negative
        for (quoly*& q : out) free_quoly(&q);
    }
    EXPECT_EQ(first_available, 1);
}

// Entries long enough that the bound passes the tables: the inverse and the
// adjoint by word primes (no giving up to elimination), against A A^-1 = I
// and A adj(A) = det(A) I; a determinant divisible by the first word primes
// makes them be passed over.
TEST(Adjoint, PastTheTablesByWordPrimes) {
    PrimeRing ring(0);
    std::mt19937_64 rng(55);
    for (int variant = 0; variant < 4; variant++) {
        const int32_t n = 5 + variant * 2;
        IntMatrix a;
        if (variant == 1) {
            std::vector<mpz_class> d(static_cast<size_t>(n));
            for (auto& x : d) x = random_matrix(rng, 1, 800, true)[0][0];
            d[0] = mpz_class(word_prime_at(1)) * word_prime_at(2);
            d[1] = -mpz_class(word_prime_at(3));
            a = with_determinant(rng, d);
        } else {
            a = random_matrix(rng, n, variant == 0 ? 700 : variant == 2 ? 400 : 320, true);
        }
        StoredMatrix m("w", n);
        fill(m, a);
        const mpz_class det = gmp_det(a);
        std::vector<quoly*> v = m.cells();
        Cells x(v.size());
        QuolyOwner r;
        quoly_set(1, &r.q);
        sparse* none = nullptr;
        verbose = 1;
        ::testing::internal::CaptureStdout();
        mat_invert(v.data(), x.data(), 0, 0, n, &r.q, 1, 0, &none, nullptr, -1, -1, -1, 0, 0);
        const std::string said = ::testing::internal::GetCapturedStdout();
        verbose = 0;
        EXPECT_NE(said.find("Modular algorithm, counting to"), std::string::npos) << said.substr(0, 300);
        EXPECT_EQ(said.find("Abandon adjoint-CRT"), std::string::npos) << said.substr(0, 300);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) {
                mpq_class s = 0;
                for (int32_t k = 0; k < n; k++) s += a[i][k] * quoly_value(x.v[int64_t{j} * n + k]);
                ASSERT_EQ(s, i == j ? 1 : 0) << "variant " << variant;
            }
        Cells adj(0);
        adj.v = adjoint_of(m, 0);
        const IntMatrix p = product(a, as_int(adj.v, n));
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) ASSERT_EQ(p[i][j], i == j ? det : 0) << "variant " << variant;
        EXPECT_EQ(first_available, 1);
        EXPECT_EQ(modularmode, 0);
    }
}

TEST(Adjoint, MachineIntegersWithoutModulusRefuse) {
    PrimeRing ring(0);
    const IntMatrix a = {{2, 1}, {1, 1}};
    StoredMatrix m("a", 2);
    fill(m, a);
    std::vector<quoly*> v = m.cells(), out(4, nullptr);
    sparse* none = nullptr;
    lintmode = 1;
    EXPECT_TARVEX_ERROR(adjoint(v.data(), out.data(), 0, 2, &none), 62);
    lintmode = 0;
}

}  // namespace
