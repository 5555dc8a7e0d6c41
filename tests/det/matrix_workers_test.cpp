// The pseudo-determinant and the integer determinant at a point, checked
// against GMP: new_pseudo of a dense matrix is twice |a non-zero minor of
// rank size| (2 |det| when non-singular) and leaves the array as it was;
// do_int_determ gives det(A - kI) with and without a bound, and every
// record it takes goes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "builtins/matrix_workers.h"
#include "det_support.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "support/node_count.h"
#include "support/ring_setup.h"

namespace {

struct MatrixWorkers : ::testing::Test {
    PrimeRing ring{0};
};

// An R x K dense array of the store, removed with the object.
struct StoredRect {
    array* rec = nullptr;
    int32_t rows, cols;
    StoredRect(const char* name, const IntMatrix& a) : rows(int32_t(a.size())), cols(int32_t(a[0].size())) {
        tokenrec t;
        set_token(&t, name);
        rec = insertarr(&t, rows, cols, 0);
        for (int32_t i = 0; i < rows; i++)
            for (int32_t j = 0; j < cols; j++) *cell_at(rec->first + int64_t{j} * rows + i) = ring_number(a[i][j]);
    }
    ~StoredRect() { remove_array(rec); }
    mpz_class at(int32_t i, int32_t j) const { return plain_value(*cell_at(rec->first + int64_t{j} * rows + i)); }
};

// Rank and the absolute values of every non-zero minor of that size.
void minors_of_rank(const IntMatrix& a, int32_t* rank, std::vector<mpz_class>* values) {
    const int32_t R = int32_t(a.size()), K = int32_t(a[0].size());
    for (int32_t r = std::min(R, K); r >= 1; r--) {
        values->clear();
        std::vector<int32_t> rs, cs;
        std::function<void(int32_t, std::vector<int32_t>&, int32_t, std::function<void()>)> choose =
            [&](int32_t from, std::vector<int32_t>& pick, int32_t limit, std::function<void()> then) {
                if (int32_t(pick.size()) == r) return then();
                for (int32_t x = from; x < limit; x++) {
                    pick.push_back(x);
                    choose(x + 1, pick, limit, then);
                    pick.pop_back();
                }
            };
        choose(0, rs, R, [&] {
            choose(0, cs, K, [&] {
                IntMatrix m(r, std::vector<mpz_class>(r));
                for (int32_t i = 0; i < r; i++)
                    for (int32_t j = 0; j < r; j++) m[i][j] = a[rs[i]][cs[j]];
                const mpz_class d = gmp_det(m);
                if (d != 0) values->push_back(abs(d));
            });
        });
        if (!values->empty()) {
            *rank = r;
            return;
        }
    }
    *rank = 0;
}

TEST_F(MatrixWorkers, PseudoDeterminantIsTwiceAMinorOfRankSize) {
    std::mt19937_64 rng(5);
    for (int trial = 0; trial < 60; trial++) {
        const int32_t R = 1 + int32_t(rng() % 5), K = 1 + int32_t(rng() % 5);
        IntMatrix a(R, std::vector<mpz_class>(K));
        for (auto& row : a)
            for (auto& v : row) v = rng() % 3 == 0 ? 0 : long(rng() % 19) - 9;
        if (R > 1 && trial % 3 == 0) a[R - 1] = a[0];   // rank-deficient
        int32_t rank = 0;
        std::vector<mpz_class> allowed;
        minors_of_rank(a, &rank, &allowed);
        if (rank == 0) continue;   // the product over no pivots: nothing to compare
        StoredRect m("ps", a);
        RecordLedger ledger;
        quoly* r = nullptr;
        new_pseudo(&r, m.rec);
        const mpz_class got = plain_value(r);
        ASSERT_EQ(got % 2, 0);
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), got / 2), allowed.end())
            << "trial " << trial << " rank " << rank << " got " << got.get_str();
        if (R == K && rank == R) {
            EXPECT_EQ(got, 2 * abs(gmp_det(a)));
        }
        free_quoly(&r);
        EXPECT_TRUE(ledger.balanced());
        for (int32_t i = 0; i < R; i++)
            for (int32_t j = 0; j < K; j++) ASSERT_EQ(m.at(i, j), a[i][j]);
        EXPECT_EQ(first_available, 1);
        // The same matrix stored sparse: its reduction takes other pivots,
        // but the value is again twice a minor of rank size, and the
        // entries stay where they were.
        fill_sparse(m.rec);
        RecordLedger sparse_ledger;
        quoly* rs = nullptr;
        new_pseudo(&rs, m.rec);
        const mpz_class sgot = plain_value(rs);
        ASSERT_EQ(sgot % 2, 0);
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), sgot / 2), allowed.end())
            << "sparse, trial " << trial << " got " << sgot.get_str();
        if (R == K && rank == R) {
            EXPECT_EQ(sgot, got);
        }
        free_quoly(&rs);
        EXPECT_TRUE(sparse_ledger.balanced());
        for (int32_t i = 0; i < R; i++)
            for (int32_t j = 0; j < K; j++) {
                const quoly* v = spar_retrieve(m.rec->sparse, i + 1, j + 1);
                ASSERT_EQ(v ? plain_value(v) : mpz_class(0), a[i][j]) << "sparse cell " << i << "," << j;
            }
    }
}

TEST_F(MatrixWorkers, IntegerDeterminantOfTheShiftedMatrix) {
    std::mt19937_64 rng(8);
    for (int32_t n = 1; n <= 7; n++) {
        const IntMatrix a = random_matrix(rng, n, n % 3 == 0 ? 12 : 1);
        for (int32_t k = -2; k <= 3; k++) {
            IntMatrix shifted = a;
            for (int32_t i = 0; i < n; i++) shifted[i][i] -= k;
            const mpz_class want = gmp_det(shifted);
            StoredMatrix m("cp", n);
            fill(m, shifted);
            set_min_cut(n);
            for (int with_bound = 0; with_bound < 2; with_bound++) {
                RecordLedger ledger;
                quoly* bound = nullptr;
                if (with_bound) {
                    // Hadamard's bound from the rows, doubled: any value above |det| serves.
                    mpf_class h = 1;
                    for (const auto& row : shifted) {
                        mpz_class s = 0;
                        for (const auto& v : row) s += v * v;
                        h *= sqrt(mpf_class(s)) + 1;
                    }
                    const mpz_class b = 2 * mpz_class(h) + 2;
                    ASSERT_GT(b, abs(want));
                    imag* x = from_mpz(b);
                    scalar_to_quoly(x, &bound);
                    release(x);
                }
                int_determ_ctx ctx{m.rec, nullptr, n, bound};
                quoly* r = nullptr;
                quoly_set(1, &r);
                do_int_determ(&r, k, &ctx);
                EXPECT_EQ(plain_value(r), want) << "n " << n << " k " << k << " bound " << with_bound;
                free_quoly(&r);
                free_quoly(&bound);
                EXPECT_TRUE(ledger.balanced());
            }
        }
    }
}

}  // namespace
