// The degree bound of a sparse polynomial determinant, worked on the row
// lists: never below the largest degree a permutation reaches (the
// assignment maximum), by hand on small patterns, and fast on a large
// banded matrix where a dense degree table would take n^2 cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "det/sparse_copy.h"
#include "det/sparse_poly_det.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

// A sparse matrix in one variable whose entry (i, j) is x^d + 1 for
// d = deg[i*n + j] >= 0, absent for d < 0.
struct DegreeFrame {
    polydet::SparseCopy m;
    DegreeFrame(const std::vector<int64_t>& deg, int32_t n) : m(n) {
        for (int32_t r = 0; r < n; r++) {
            colm** tail = row_head(m.f, r + 1);
            *tail = nullptr;
            for (int32_t c = 0; c < n; c++) {
                const int64_t d = deg[static_cast<size_t>(r) * n + c];
                if (d < 0) continue;
                colm* e = take_colm();
                e->col = c + 1;
                e->val = nullptr;
                BuiltPoly p(1, d == 0 ? TermList{{2, {0}}} : TermList{{1, {static_cast<int32_t>(d)}}, {1, {0}}});
                p_q_assign(p.p, &e->val);
                e->next = nullptr;
                *tail = e;
                tail = &e->next;
            }
        }
    }
};

int64_t assignment_max(const std::vector<int64_t>& d, int32_t n) {
    std::vector<int32_t> perm(static_cast<size_t>(n));
    std::iota(perm.begin(), perm.end(), 0);
    int64_t best = -1;
    do {
        int64_t s = 0;
        bool ok = true;
        for (int32_t i = 0; i < n && ok; i++) {
            const int64_t e = d[static_cast<size_t>(i) * n + perm[i]];
            if (e < 0) ok = false;
            s += e;
        }
        if (ok) best = std::max(best, s);
    } while (std::next_permutation(perm.begin(), perm.end()));
    return best;
}

int32_t bound(const std::vector<int64_t>& deg, int32_t n) {
    DegreeFrame f(deg, n);
    return compute_degree_1(f.m.f, n, 1);
}

TEST(SparseDegree, ByHand) {
    PrimeRing ring(0);
    AttachedVars xs(1);
    // A diagonal adds up; a full matrix of degree 3 gives 3n; an empty row
    // or column means a zero determinant (bound 2).
    EXPECT_EQ(bound({3, -1, -1, -1, 5, -1, -1, -1, 2}, 3), 10);
    EXPECT_EQ(bound(std::vector<int64_t>(16, 3), 4), 12);
    EXPECT_EQ(bound({1, 2, -1, -1}, 2), 2);
    EXPECT_EQ(bound({1, -1, 4, -1}, 2), 2);
    // Numbers only: degree 0.
    EXPECT_EQ(bound({0, 0, -1, 0}, 2), 0);
    // x^4 at (1,2) and (2,1) beside constants on the diagonal: 8.
    EXPECT_EQ(bound({0, 4, 4, 0}, 2), 8);
}

TEST(SparseDegree, NeverBelowAnyPermutation) {
    PrimeRing ring(0);
    AttachedVars xs(1);
    std::mt19937_64 rng(41);
    std::uniform_int_distribution<int> size(1, 7), deg(0, 6);
    std::uniform_real_distribution<double> u(0, 1);
    for (int trial = 0; trial < 300; trial++) {
        const int32_t n = size(rng);
        const double density = 0.2 + 0.6 * u(rng);
        std::vector<int64_t> d(static_cast<size_t>(n) * n);
        for (auto& x : d) x = u(rng) < density ? deg(rng) : -1;
        const int64_t want = assignment_max(d, n);
        const int32_t got = bound(d, n);
        if (want >= 0) {
            EXPECT_GE(got, want) << "trial " << trial;
        } else {
            EXPECT_GE(got, 0) << "trial " << trial;
        }
    }
}

TEST(SparseDegree, LargeBandedMatrix) {
    PrimeRing ring(0);
    AttachedVars xs(1);
    // Degree 1 on the diagonal, constants beside it: the determinant's
    // degree is n (the diagonal's product), and each row's largest degree
    // is 1, so no bound above n is any use.
    const int32_t n = 2000;
    std::vector<int64_t> d(static_cast<size_t>(n) * n, -1);
    for (int32_t i = 0; i < n; i++) {
        d[static_cast<size_t>(i) * n + i] = 1;
        d[static_cast<size_t>(i) * n + (i + 1) % n] = 0;
        d[static_cast<size_t>(i) * n + (i + 7) % n] = 0;
    }
    EXPECT_EQ(bound(d, n), n);
}

}  // namespace
