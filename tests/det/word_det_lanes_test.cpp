// Four determinants side by side on wide registers against GMP's
// determinant reduced modulo p, each lane with its own trouble: a lane
// singular among regular ones, pivots that must come from lower rows in
// some lanes only, a zero column, residues next to p; and the determinants
// of a polynomial matrix at many points, on both roads, against GMP at
// each point, points where it vanishes included.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "det/word_det_lanes.h"
#include "det_support.h"

namespace {

uint32_t gmp_residue_det(const IntMatrix& a, uint32_t p) {
    mpz_class d = gmp_det(a) % p;
    if (d < 0) d += p;
    return static_cast<uint32_t>(d.get_ui());
}

uint32_t residue(const mpz_class& x, uint32_t p) {
    mpz_class r = x % p;
    if (r < 0) r += p;
    return static_cast<uint32_t>(r.get_ui());
}

// The lanes' num / den against GMP, when the processor runs the kernel.
void expect_lanes(const std::vector<IntMatrix>& four, uint32_t p, const std::string& what) {
    const int32_t n = static_cast<int32_t>(four[0].size());
    const wordmod::Prime P(p);
    std::vector<uint64_t> a(static_cast<size_t>(n) * n * 4);
    for (int l = 0; l < 4; l++)
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) a[(static_cast<size_t>(i) * n + j) * 4 + l] = residue(four[l][i][j], p);
    uint32_t num[4], den[4];
    if (!wordmod::det_lanes4(a.data(), n, P, num, den)) GTEST_SKIP() << "no wide registers";
    for (int l = 0; l < 4; l++) {
        ASSERT_NE(den[l], 0u) << what << " lane " << l;
        EXPECT_EQ(P.mul(num[l], P.inv(den[l])), gmp_residue_det(four[l], p)) << what << " lane " << l;
    }
}

TEST(WordDetLanes, EachLaneAgreesWithGmp) {
    std::mt19937_64 rng(71);
    for (uint32_t p : {3u, 7u, 101u, 65521u, 2147483629u, 2147483647u}) {
        for (int32_t n : {1, 2, 3, 4, 5, 8, 12, 13, 17}) {
            const std::string what = "p " + std::to_string(p) + " n " + std::to_string(n);
            std::vector<IntMatrix> four;
            for (int l = 0; l < 4; l++) four.push_back(random_matrix(rng, n, 12));
            expect_lanes(four, p, what);
            // Lane 1 singular, lane 2 with a vanishing leading block (row
            // exchanges there only), lane 3 all p - 1 off a zero diagonal.
            if (n >= 3)
                for (int32_t j = 0; j < n; j++) four[1][n - 1][j] = four[1][0][j] + 5 * four[1][2][j];
            for (int32_t i = 0; i < n; i++) four[2][i][i] = 0;
            if (n >= 2) four[2][0][0] = four[2][0][1] = four[2][1][0] = p;
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) four[3][i][j] = i == j ? 0 : p - 1;
            expect_lanes(four, p, what + " mixed");
            // A zero column in lane 0 only.
            for (int32_t i = 0; i < n; i++) four[0][i][n / 2] = 0;
            expect_lanes(four, p, what + " zero column");
        }
    }
}

// A(x) = sum_k x^k B_k (one to six planes, past the four a chunk holds)
// with row 0 a multiple of (x - x0): det(A(x0)) = 0, reached with a zero
// first row at that point.
TEST(WordDetLanes, DeterminantsAtPointsAgreeWithGmp) {
    std::mt19937_64 rng(72);
    for (uint32_t p : {2u, 5u, 101u, 2147483629u}) {
        const wordmod::Prime P(p);
        for (int32_t n : {1, 3, 7, 12}) {
            for (size_t len : {size_t{1}, size_t{3}, size_t{6}}) {
                const size_t count = static_cast<size_t>(n) * n;
                std::vector<uint32_t> planes(len * count);
                for (auto& c : planes) c = static_cast<uint32_t>(rng() % p);
                const uint32_t x0 = static_cast<uint32_t>(rng() % p);
                for (int32_t j = 0; j < n && len > 1; j++) {
                    const uint32_t r = static_cast<uint32_t>(rng() % p);
                    planes[0 * count + j] = P.sub(0, P.mul(x0, r));
                    planes[1 * count + j] = r;
                    for (size_t k = 2; k < len; k++) planes[k * count + j] = 0;
                }
                std::vector<uint32_t> xs;
                for (size_t i = 0; i < 11; i++) xs.push_back(static_cast<uint32_t>(rng() % p));
                xs[3] = x0;
                xs[6] = p - 1;
                std::vector<uint32_t> wide(xs.size()), plain(xs.size());
                wordmod::determinants_at_points(planes.data(), len, n, xs.data(), xs.size(), P, wide.data());
                wordmod::determinants_at_points_portable(planes.data(), len, n, xs.data(), xs.size(), P, plain.data());
                for (size_t i = 0; i < xs.size(); i++) {
                    IntMatrix a(n, std::vector<mpz_class>(n));
                    for (size_t c = 0; c < count; c++) {
                        mpz_class v = 0;
                        for (size_t k = len; k-- > 0;) v = v * xs[i] + planes[k * count + c];
                        a[c / n][c % n] = v;
                    }
                    const uint32_t want = gmp_residue_det(a, p);
                    const std::string what = "p " + std::to_string(p) + " n " + std::to_string(n) + " planes " +
                                             std::to_string(len) + " point " + std::to_string(i);
                    EXPECT_EQ(wide[i], want) << what;
                    EXPECT_EQ(plain[i], want) << what;
                }
                if (len > 1) {
                    EXPECT_EQ(wide[3], 0u);
                }
            }
        }
    }
}

}  // namespace
