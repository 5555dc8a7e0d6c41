// Inverses through the hub: A A^-1 = I checked in GMP for integer and
// rational matrices and in the word arithmetic of the residues, through the
// system's own products for polynomial matrices; permutation matrices are
// inverted exactly; a singular matrix is error 44 and leaves nothing lent.
#include <gtest/gtest.h>

#include "det_support.h"
#include "support/expect_error.h"
#include "support/field_ref.h"
#include "support/ring_setup.h"
#include "storage/nodetests.h"

namespace {

using QMatrix = std::vector<std::vector<mpq_class>>;

// The inverse of the stored matrix, as its n x n cells (the caller frees them).
std::vector<quoly*> hub_inverse(StoredMatrix& m) {
    std::vector<quoly*> v = m.cells(), dest(v.size(), nullptr);
    quoly* r = nullptr;
    quoly_set(1, &r);
    sparse* none = nullptr;
    mat_invert(v.data(), dest.data(), 0, 0, m.n, &r, 1, 0, &none, nullptr, -1, -1, -1, 0, 0);
    free_quoly(&r);
    return dest;
}

void free_cells(std::vector<quoly*>& v) {
    for (quoly*& q : v) free_quoly(&q);
}

QMatrix as_q(const std::vector<quoly*>& v, int32_t n) {
    QMatrix x(n, std::vector<mpq_class>(n));
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) x[i][j] = quoly_value(v[int64_t{j} * n + i]);
    return x;
}

void expect_identity(const QMatrix& a, const QMatrix& x, const std::string& what) {
    const size_t n = a.size();
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) {
            mpq_class s = 0;
            for (size_t k = 0; k < n; k++) s += a[i][k] * x[k][j];
            ASSERT_EQ(s, i == j ? 1 : 0) << what << " at " << i << "," << j;
        }
}

TEST(Inverse, IntegerAndRationalMatrices) {
    PrimeRing ring(0);
    std::mt19937_64 rng(44);
    for (int32_t n = 1; n <= 9; n++) {
        IntMatrix a = random_matrix(rng, n, 4);
        if (gmp_det(a) == 0) a[0][0] += 1;
        StoredMatrix m("i", n);
        fill(m, a);
        std::vector<quoly*> x = hub_inverse(m);
        QMatrix qa(n, std::vector<mpq_class>(n));
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) qa[i][j] = a[i][j];
        expect_identity(qa, as_q(x, n), "integer n=" + std::to_string(n));
        free_cells(x);
        // Rationals: a divided entrywise by small integers.
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) {
                quoly* d = ring_number(i + 2 * j + 2);
                fast_quoly_quot(&m.cell(i, j), &d, 0);
                free_quoly(&d);
                qa[i][j] /= i + 2 * j + 2;
            }
        x = hub_inverse(m);
        expect_identity(qa, as_q(x, n), "rational n=" + std::to_string(n));
        free_cells(x);
        EXPECT_EQ(first_available, 1);
    }
}

TEST(Inverse, PermutationMatrices) {
    PrimeRing ring(0);
    std::mt19937_64 rng(8);
    for (int32_t n = 1; n <= 8; n++) {
        std::vector<int> perm(n);
        for (int i = 0; i < n; i++) perm[i] = i;
        std::shuffle(perm.begin(), perm.end(), rng);
        IntMatrix a(n, std::vector<mpz_class>(n));
        for (int i = 0; i < n; i++) a[i][perm[i]] = 1;
        StoredMatrix m("perm", n);
        fill(m, a);
        std::vector<quoly*> x = hub_inverse(m);
        const QMatrix q = as_q(x, n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) EXPECT_EQ(q[i][j], a[j][i]) << n;   // the transpose
        free_cells(x);
    }
}

TEST(Inverse, ResidueMatrices) {
    for (int32_t q : {2, 3, 65521, 2147483629, 256}) {
        std::mt19937_64 rng(q);
        for (int32_t n = 1; n <= 8; n++) {
            PrimeRing ring(q);
            IntMatrix a;
            mpz_class d = 0;
            std::uniform_int_distribution<int64_t> el(0, q - 1);
            do {
                a.assign(n, std::vector<mpz_class>(n));
                for (auto& row : a)
                    for (auto& x : row) x = static_cast<long>(el(rng));
                StoredMatrix probe("p", n);
                fill(probe, a);
                quoly* r = hub_det(probe, {"default", -1, 0});
                d = plain_value(r);
                free_quoly(&r);
            } while (d == 0);
            StoredMatrix m("res", n);
            fill(m, a);
            std::vector<quoly*> x = hub_inverse(m);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    uint32_t s = 0;
                    for (int32_t k = 0; k < n; k++)
                        s = r_add(s, r_mul(static_cast<uint32_t>(a[i][k].get_ui()),
                                           static_cast<uint32_t>(x[int64_t{j} * n + k]->nnum->value)));
                    ASSERT_EQ(s, i == j ? 1u : 0u) << "q=" << q << " n=" << n;
                }
            free_cells(x);
        }
    }
}

// A polynomial matrix times its inverse, by the system's quoly products.
void expect_poly_identity(StoredMatrix& m, const std::vector<quoly*>& x, const std::string& what) {
    const int32_t n = m.n;
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            quoly* s = nullptr;
            quoly_set(0, &s);
            for (int32_t k = 0; k < n; k++) {
                quoly* t = nullptr;
                quoly_mult(m.cell(i, k), x[int64_t{j} * n + k], &t);
                best_quoly_add(&s, t);
            }
            EXPECT_TRUE(i == j ? quoly_eq_1(s) : quoly_iszero(s)) << what << " at " << i << "," << j;
            free_quoly(&s);
        }
}

TEST(Inverse, PolynomialMatrices) {
    PrimeRing ring(0);
    for (int vars = 1; vars <= 3; vars++) {
        AttachedVars xs(vars);
        std::mt19937_64 rng(vars);
        for (int32_t n = 1; n <= (vars == 1 ? 5 : 4); n++) {
            StoredMatrix m("poly", n);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    TermList t = random_terms(rng, vars, 5);
                    if (i == j) t.push_back({7, std::vector<int32_t>(vars, 0)});
                    BuiltPoly p(vars, t);
                    p_q_assign(p.p, &m.cell(i, j));
                }
            quoly* r = hub_det(m, {"default", -1, 0});
            const bool singular = quoly_iszero(r);
            free_quoly(&r);
            if (singular) continue;
            std::vector<quoly*> x = hub_inverse(m);
            expect_poly_identity(m, x, std::to_string(vars) + " vars n=" + std::to_string(n));
            free_cells(x);
        }
    }
}

TEST(Inverse, SingularIsError44AndLeavesEveryWorkArrayFree) {
    PrimeRing ring(0);
    std::mt19937_64 rng(25);
    for (int rep = 0; rep < 25; rep++) {
        const int32_t n = 2 + rep % 6;
        IntMatrix a = random_matrix(rng, n, 5);
        a[n - 1] = a[0];
        StoredMatrix m("sing", n);
        fill(m, a);
        std::vector<quoly*> x;
        EXPECT_TARVEX_ERROR(x = hub_inverse(m), 44);
        EXPECT_EQ(first_available, 1);
        EXPECT_EQ(dupptr, nullptr);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) ASSERT_EQ(plain_value(m.cell(i, j)), a[i][j]);
    }
    // Residues too.
    PrimeRing mod(65521);
    StoredMatrix m("sing", 3);
    fill(m, {{1, 2, 3}, {2, 4, 6}, {0, 1, 1}});
    std::vector<quoly*> x;
    EXPECT_TARVEX_ERROR(x = hub_inverse(m), 44);
    EXPECT_EQ(first_available, 1);
}

TEST(Inverse, WorkArraysTakenByACallerStayTaken) {
    PrimeRing ring(0);
    int32_t slot = 0;
    for (int k = 0; k < 19; k++) enew_worknode(&slot, "t");
    StoredMatrix m("w", 3);
    fill(m, {{1, 2, 0}, {0, 1, 5}, {2, 0, 1}});
    quoly* r = hub_det(m, {"plain", 0, 0});
    EXPECT_EQ(plain_value(r), 21);
    free_quoly(&r);
    EXPECT_EQ(first_available, 20);
    enew_worknode(&slot, "t");
    EXPECT_TARVEX_ERROR(r = hub_det(m, {"plain", 0, 0}), 88);
    free_quoly(&r);
    first_available = 1;
}

}  // namespace
