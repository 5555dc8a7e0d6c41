// Integer determinants of matrices whose entries differ in length (a few
// long rows or columns among short ones, one long entry), and a factor
// given with an integer matrix: values against GMP's elimination, the size
// bound against the product of the row norms and of the column norms
// computed here, and the road taken as the hub's progress lines show it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "det/adjoint.h"
#include "det/int_determ.h"
#include "det/int_determ_elim.h"
#include "det_support.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

bool has(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

// n x n entries of 1 .. short_digits digits, some zero, with a few rows or
// columns (chosen at random) of long entries.
IntMatrix mixed_matrix(std::mt19937_64& rng, int32_t n, int short_digits, int lines, int long_digits,
                       bool columns) {
    IntMatrix a = random_matrix(rng, n, short_digits);
    std::uniform_int_distribution<int32_t> at(0, n - 1), zero(0, 9);
    for (auto& row : a)
        for (auto& x : row)
            if (zero(rng) == 0) x = 0;
    for (int k = 0; k < lines; k++) {
        const int32_t line = at(rng);
        for (int32_t j = 0; j < n; j++) {
            IntMatrix e = random_matrix(rng, 1, long_digits, true);
            (columns ? a[j][line] : a[line][j]) = e[0][0];
        }
    }
    return a;
}

// log2 of the product of the rows' (or columns') Euclidean norms, rounded up.
long log2_norms(const IntMatrix& a, bool columns) {
    const size_t n = a.size();
    long bits = 0;
    for (size_t i = 0; i < n; i++) {
        mpz_class s = 0;
        for (size_t j = 0; j < n; j++) {
            const mpz_class& x = columns ? a[j][i] : a[i][j];
            s += x * x;
        }
        if (s != 0) bits += static_cast<long>((mpz_sizeinbase(s.get_mpz_t(), 2) + 1) / 2);
    }
    return bits;
}

long bit_length(const mpz_class& v) { return v == 0 ? 0 : static_cast<long>(mpz_sizeinbase(v.get_mpz_t(), 2)); }

struct DetShapes : ::testing::Test {
    PrimeRing ring{0};
};

// Random shapes of every kind: the bound holds and sees the few long lines
// (at most 2n + 2 bits above the smaller of the two norm products), and
// both roads and the road the hub takes give GMP's value.
TEST_F(DetShapes, MixedLengthsAgainstGmp) {
    std::mt19937_64 rng(5506);
    for (int iter = 0; iter < 36; iter++) {
        const int32_t n = 4 + static_cast<int32_t>(rng() % 20);
        const int lines = 1 + static_cast<int>(rng() % 3);
        const int long_digits = 100 + static_cast<int>(rng() % 1500);
        const bool columns = iter % 3 == 1;
        IntMatrix a = mixed_matrix(rng, n, 1 + static_cast<int>(rng() % 6), lines, long_digits, columns);
        if (iter % 9 == 4) a[n - 1] = a[0];          // singular
        if (iter % 9 == 7) std::swap(a[0], a[n - 1]);
        if (iter % 3 == 2) {                          // one long entry alone
            a = random_matrix(rng, n, 3);
            a[rng() % n][rng() % n] = random_matrix(rng, 1, long_digits, true)[0][0];
        }
        const mpz_class want = gmp_det(a);
        SCOPED_TRACE("n " + std::to_string(n) + ", iteration " + std::to_string(iter));
        StoredMatrix m("s", n);
        fill(m, a);
        std::vector<quoly*> v = m.cells();
        Num B;
        int small = 0;
        int32_t total = 0;
        find_pseudo(nullptr, v.data(), B, &small, n, n, &total, 0, 0);
        EXPECT_GT(to_mpz(B), abs_of(want));
        EXPECT_LE(bit_length(to_mpz(B)), std::min(log2_norms(a, false), log2_norms(a, true)) + 2 * n + 2);

        quoly* r = hub_det(m, {"default", -1, 0});
        EXPECT_EQ(plain_value(r), want);
        quoly_set(1, &r);
        small_mod_determ(n, &r, v.data(), B);
        EXPECT_EQ(plain_value(r), want);
        quoly_set(1, &r);
        int_determ_fraction_free(&r, v.data(), n);
        EXPECT_EQ(plain_value(r), want);
        free_quoly(&r);

        // The same bound serves the adjoint's entries: A adj(A) = det(A) I.
        if (iter % 4 == 0 && want != 0) {
            std::vector<quoly*> adj(v.size(), nullptr);
            sparse* none = nullptr;
            adjoint(v.data(), adj.data(), 0, n, &none);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    mpz_class s = 0;
                    for (int32_t k = 0; k < n; k++) s += a[i][k] * plain_value(adj[int64_t{j} * n + k]);
                    ASSERT_EQ(s, i == j ? want : 0);
                }
            for (quoly*& q : adj) free_quoly(&q);
        }
    }
}

// Three rows (or columns) of 3000-digit entries among 4-digit ones: the
// bound by columns (or rows) would ask for some 12,000 word primes, and
// even the true size of the determinant asks for about a thousand, whose
// residues of the long rows cost far more than eliminating them last.
TEST_F(DetShapes, FewLongLinesGoFractionFree) {
    std::mt19937_64 rng(3003);
    for (bool columns : {false, true}) {
        IntMatrix a = random_matrix(rng, 40, 4, true);
        for (int32_t line : {0, 17, 39}) {
            for (int32_t j = 0; j < 40; j++) {
                const mpz_class x = random_matrix(rng, 1, 3000, true)[0][0];
                (columns ? a[j][line] : a[line][j]) = x;
            }
        }
        StoredMatrix m("f", 40);
        fill(m, a);
        mpz_class got;
        const std::string said = verbose_det(m, {"default", -1, 0}, &got);
        // The reference with the long lines last (two exchanges: the same
        // determinant), which GMP's elimination takes quickly.
        IntMatrix b = a;
        if (columns) {
            for (int32_t i = 0; i < 40; i++)
                for (int32_t j = 0; j < 40; j++) b[i][j] = a[j][i];
        }
        std::swap(b[0], b[37]);
        std::swap(b[17], b[38]);
        EXPECT_EQ(got, gmp_det(b));
        EXPECT_EQ(stated_primes(said), -1) << said.substr(0, 200);
        EXPECT_TRUE(has(said, "Gauss-Bareiss method, size 40")) << said.substr(0, 200);
    }
}

// A factor given with an integer matrix: the determinant by the primes, as
// without one, then divided by the factor; one that does not divide leaves
// the quotient, as elimination leaves it.
TEST_F(DetShapes, FactorWithAnIntegerMatrix) {
    std::mt19937_64 rng(7);
    for (int iter = 0; iter < 12; iter++) {
        const int32_t n = 4 + static_cast<int32_t>(rng() % 12);
        IntMatrix a = random_matrix(rng, n, 1 + static_cast<int>(rng() % 30));
        const mpz_class det = gmp_det(a);
        if (det == 0) continue;
        // A divisor of the determinant, its sign at random.
        mpz_class f = gcd(det, mpz_class(2 * 3 * 5 * 7 * 11 * 13 * 17 * 19));
        if (rng() & 1) f = -f;
        StoredMatrix m("h", n);
        fill(m, a);
        BuiltPoly fp(0, {{static_cast<int32_t>(f.get_si()), {}}});
        mpz_class got;
        const std::string said = verbose_det(m, {"default", -1, 0}, &got, fp.p);
        EXPECT_EQ(got, det / f) << n;
        EXPECT_GT(stated_primes(said), 0) << said.substr(0, 200);

        // A factor that need not divide: the quotient, as elimination has it.
        const mpz_class g = f * 23;
        BuiltPoly gp(0, {{static_cast<int32_t>(g.get_si()), {}}});
        quoly* r = hub_det(m, {"default", -1, 0}, gp.p);
        quoly* plain = hub_det(m, {"plain", 0, 0}, gp.p);
        mpq_class want(det, g);
        want.canonicalize();
        EXPECT_TRUE(holds(r, want));
        EXPECT_TRUE(holds(plain, want));
        free_quoly(&r);
        free_quoly(&plain);
    }
}

}  // namespace
