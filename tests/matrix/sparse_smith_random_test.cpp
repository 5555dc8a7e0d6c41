// Smith and MSmith of small random sparse matrices against the dense road
// on the same matrices, and both against the invariants computed here from
// the gcds of the k x k minors. Entries mix small values with 14-digit
// ones, and the moduli make diagonal entries vanish under MSmith.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "matrix_command_fixture.h"
#include "matrix/array_store.h"

using statement_runs::Outcome;

namespace {

using Matrix = std::vector<std::vector<mpz_class>>;

// Determinant by expansion along the first row (k <= 4 here).
mpz_class minor_det(const Matrix& a, const std::vector<int>& rows, const std::vector<int>& cols) {
    const size_t k = rows.size();
    if (k == 1) return a[rows[0]][cols[0]];
    mpz_class d = 0;
    for (size_t j = 0; j < k; j++) {
        if (a[rows[0]][cols[j]] == 0) continue;
        std::vector<int> r(rows.begin() + 1, rows.end()), c;
        for (size_t t = 0; t < k; t++)
            if (t != j) c.push_back(cols[t]);
        const mpz_class sub = a[rows[0]][cols[j]] * minor_det(a, r, c);
        d += j % 2 == 0 ? sub : mpz_class(-sub);
    }
    return d;
}

void subsets(int n, int k, int from, std::vector<int>* cur, std::vector<std::vector<int>>* out) {
    if (static_cast<int>(cur->size()) == k) {
        out->push_back(*cur);
        return;
    }
    for (int i = from; i < n; i++) {
        cur->push_back(i);
        subsets(n, k, i + 1, cur, out);
        cur->pop_back();
    }
}

// The Smith invariants s_1 | s_2 | ... (zeros past the rank): s_k is the
// gcd of the k x k minors over that of the (k-1) x (k-1) ones.
std::vector<mpz_class> invariants(const Matrix& a, int R, int K) {
    const int side = R < K ? R : K;
    std::vector<mpz_class> s;
    mpz_class prev = 1;
    for (int k = 1; k <= side; k++) {
        std::vector<std::vector<int>> rs, cs;
        std::vector<int> cur;
        subsets(R, k, 0, &cur, &rs);
        subsets(K, k, 0, &cur, &cs);
        mpz_class g = 0;
        for (const auto& r : rs)
            for (const auto& c : cs) g = gcd(g, minor_det(a, r, c));
        if (g == 0) {
            s.resize(static_cast<size_t>(side), 0);
            return s;
        }
        s.push_back(g / prev);
        prev = g;
    }
    return s;
}

struct Rng {
    std::mt19937_64 g;
    explicit Rng(uint64_t seed) : g(seed) {}
    int64_t in(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(g); }
    mpz_class entry() {
        switch (in(0, 7)) {
        case 0: return mpz_class(std::to_string(in(-20, 20))) * mpz_class("1000000000000");
        case 1: return in(-99999999999999, 99999999999999);
        case 2: return in(-1, 1);
        default: return in(-20, 20);
        }
    }
};

class SparseSmithRandom : public MatrixCommandFixture {
protected:
    static mpz_class cell(const char* name_, int r, int c) {
        array* a = named(name_);
        EXPECT_NE(a, nullptr) << name_;
        if (!a) return -999999;
        quoly** slot = nullptr;
        array_quoly_ptr(a, r, c, 1, &slot, "t", 0);
        if (!slot || !*slot) return 0;
        const mpq_class v = statement_runs::value_of(*slot);
        EXPECT_EQ(v.get_den(), 1);
        return v.get_num();
    }
};

TEST_F(SparseSmithRandom, SparseFollowsDenseAndTheInvariants) {
    Rng rng(20261208u);
    int vanishing = 0;  // cases where a later diagonal entry vanishes modulo m
    int refused = 0;    // and where that is refused
    for (int iter = 0; iter < 2500; iter++) {
        const int R = static_cast<int>(rng.in(1, 4)), K = static_cast<int>(rng.in(1, 4));
        const int side = R < K ? R : K;
        const int density = static_cast<int>(rng.in(25, 80));
        Matrix a(static_cast<size_t>(R), std::vector<mpz_class>(static_cast<size_t>(K), 0));
        std::string fill = "@[**]; Array d[" + std::to_string(R) + "," + std::to_string(K) + "], s[" +
                           std::to_string(R) + "," + std::to_string(K) + "] Sparse; ";
        for (int r = 0; r < R; r++)
            for (int c = 0; c < K; c++) {
                if (rng.in(1, 100) <= density) a[r][c] = rng.entry();
                const std::string at = "[" + std::to_string(r + 1) + "," + std::to_string(c + 1) + "] := ";
                fill += "d" + at + a[r][c].get_str() + "; ";
                if (a[r][c] != 0) fill += "s" + at + a[r][c].get_str() + "; ";
            }
        const std::vector<mpz_class> s = invariants(a, R, K);
        // MSmith's modulus: a multiple of a product of invariants now and
        // then (diagonal entries vanish), else small.
        mpz_class m = rng.in(2, 60);
        const mpz_class last = side > 0 ? abs(s[static_cast<size_t>(side - 1)]) : mpz_class(0);
        if (last > 1 && rng.in(0, 2) > 0) m = rng.in(0, 1) ? last : gcd(last, mpz_class(rng.in(2, 720)));
        if (m < 2) m = 12;
        const bool modular = rng.in(0, 1) == 1;
        const std::string cmd = modular ? "MSmith([%], " + m.get_str() + ")" : "Smith([%])";
        auto with = [&](const char* n) {
            std::string t = cmd;
            t.replace(t.find('%'), 1, n);
            return t + ";";
        };
        SCOPED_TRACE("iter " + std::to_string(iter) + ": " + fill + with("s"));
        ASSERT_EQ(run(fill).error, 0);
        // A non-zero invariant that vanishes modulo an m that is no multiple
        // of the determinant would take the rank with it: refused, and the
        // matrix left as it was.
        mpz_class product = 1;
        bool vanishes = false;
        for (const mpz_class& d : s)
            if (d != 0) {
                product *= d;
                if (d % m == 0) vanishes = true;
            }
        if (modular && vanishes && m % product != 0) {
            EXPECT_EQ(run(with("d")).error, 288);
            EXPECT_EQ(run(with("s")).error, 288);
            for (int r = 1; r <= R; r++)
                for (int c = 1; c <= K; c++) {
                    EXPECT_EQ(cell("s", r, c), a[r - 1][c - 1]);
                    EXPECT_EQ(cell("d", r, c), a[r - 1][c - 1]);
                }
            refused++;
            continue;
        }
        const Outcome dense = run(with("d"));
        ASSERT_EQ(dense.error, 0) << dense.printed;
        const Outcome sparse = run(with("s"));
        ASSERT_EQ(sparse.error, 0) << sparse.printed;
        EXPECT_EQ(sparse.last, dense.last);
        expect_sparse_ok("s");
        for (int r = 1; r <= R; r++)
            for (int c = 1; c <= K; c++) {
                const mpz_class want = r != c ? mpz_class(0)
                                       : modular ? mpz_class(gcd(s[static_cast<size_t>(r - 1)], m))
                                                 : mpz_class(abs(s[static_cast<size_t>(r - 1)]));
                EXPECT_EQ(cell("s", r, c), want) << "sparse at " << r << "," << c;
                EXPECT_EQ(cell("d", r, c), want) << "dense at " << r << "," << c;
            }
        if (modular)
            for (int k = 1; k < side; k++)
                if (gcd(s[static_cast<size_t>(k)], m) == m && s[static_cast<size_t>(k - 1)] % m != 0)
                    vanishing++;
        if (HasFailure()) return;
    }
    // The draw reaches the entries that vanish modulo m, and refusals.
    EXPECT_GT(vanishing, 20);
    EXPECT_GT(refused, 5);
}

}  // namespace
