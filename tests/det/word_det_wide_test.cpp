// The determinant kernel on vector registers and the scalar one beside it,
// both against GMP's determinant reduced modulo p: sizes on both sides of
// the padding to four columns and of the stack buffer, singular matrices,
// pivots that must come from lower rows, residues next to p, and the even
// prime the vector kernel leaves to the scalar one.
#include <gtest/gtest.h>

#include <random>

#include "det/word_det_wide.h"
#include "det_support.h"

namespace {

uint32_t reference(const IntMatrix& a, uint32_t p) {
    mpz_class d = gmp_det(a) % p;
    if (d < 0) d += p;
    return static_cast<uint32_t>(d.get_ui());
}

std::vector<uint32_t> residues(const IntMatrix& a, uint32_t p) {
    const size_t n = a.size();
    std::vector<uint32_t> w(n * n);
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) {
            mpz_class r = a[i][j] % p;
            if (r < 0) r += p;
            w[i * n + j] = static_cast<uint32_t>(r.get_ui());
        }
    return w;
}

// Both kernels on a, each checked against GMP; the vector one only when
// the processor runs it.
void expect_both(const IntMatrix& a, uint32_t p, const std::string& what) {
    const int32_t n = static_cast<int32_t>(a.size());
    const wordmod::Prime P(p);
    const uint32_t want = reference(a, p);
    std::vector<uint32_t> w = residues(a, p);
    EXPECT_EQ(wordmod::det_portable(w.data(), n, P), want) << "portable " << what;
    w = residues(a, p);
    uint32_t v = 0;
    if (wordmod::det_wide(w.data(), n, P, &v)) {
        EXPECT_EQ(v, want) << "wide " << what;
    }
    w = residues(a, p);
    EXPECT_EQ(wordmod::det(w.data(), n, P), want) << "dispatch " << what;
}

TEST(WordDetWide, AgreesWithGmp) {
    std::mt19937_64 rng(51);
    for (uint32_t p : {3u, 7u, 101u, 65521u, 2147483629u, 2147483647u}) {
        for (int32_t n : {1, 2, 3, 4, 5, 7, 8, 9, 12, 13, 16, 31, 32, 33, 37}) {
            const std::string what = "p " + std::to_string(p) + " n " + std::to_string(n);
            IntMatrix a = random_matrix(rng, n, 12);
            expect_both(a, p, what);
            // Every entry p - 1: singular from n = 2 on.
            IntMatrix top(n, std::vector<mpz_class>(n, mpz_class(p - 1)));
            for (int32_t i = 0; i < n; i++) top[i][i] = i % 2 ? p - 1 : 0;
            expect_both(top, p, what + " edge");
            if (n >= 3) {
                IntMatrix s = a;
                for (int32_t j = 0; j < n; j++) s[n - 1][j] = s[0][j] - 3 * s[1][j];
                expect_both(s, p, what + " singular");
            }
            // A leading block that vanishes modulo p: row exchanges.
            IntMatrix z = a;
            for (int32_t i = 0; i < n; i++) z[i][i] = 0;
            if (n >= 2) z[0][0] = z[0][1] = z[1][0] = p;
            expect_both(z, p, what + " exchanges");
        }
    }
}

TEST(WordDetWide, SmallEntriesAndTheEvenPrime) {
    std::mt19937_64 rng(52);
    for (uint32_t p : {2u, 3u, 5u}) {
        for (int trial = 0; trial < 80; trial++) {
            const int32_t n = 1 + trial % 14;
            IntMatrix a(n, std::vector<mpz_class>(n));
            for (auto& row : a)
                for (auto& x : row) x = static_cast<long>(rng() % 3) - 1;
            expect_both(a, p, "p " + std::to_string(p) + " trial " + std::to_string(trial));
        }
    }
    // The vector kernel leaves p = 2 alone and does not touch the matrix.
    std::vector<uint32_t> w = {1, 1, 0, 1};
    uint32_t v = 7;
    EXPECT_FALSE(wordmod::det_wide(w.data(), 2, wordmod::Prime(2), &v));
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(w, (std::vector<uint32_t>{1, 1, 0, 1}));
}

}  // namespace
