// Interpolation on words, on wide registers and on scalar words: the
// coefficients must give back every value at its point (Horner's rule on
// 128-bit integers), which fixes the polynomial of degree below the point
// count. Point counts on both sides of a multiple of four and below four,
// zero columns beside others, values and points next to p, primes from 3
// to 31 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "det/word_interp.h"

namespace {

uint32_t horner(const uint32_t* c, size_t len, uint32_t x, uint32_t p) {
    unsigned __int128 v = 0;
    for (size_t k = len; k-- > 0;) v = (v * x + c[k]) % p;
    return static_cast<uint32_t>(v);
}

std::vector<uint32_t> distinct_points(std::mt19937_64& rng, size_t np, uint32_t p) {
    std::set<uint32_t> seen;
    std::vector<uint32_t> xs;
    // The extreme residues first when there is room: x = 0 and x = p - 1.
    if (np >= 2 && p > 2) {
        xs = {0, p - 1};
        seen = {0, p - 1};
    }
    while (xs.size() < np) {
        const uint32_t x = static_cast<uint32_t>(rng() % p);
        if (seen.insert(x).second) xs.push_back(x);
    }
    std::shuffle(xs.begin(), xs.end(), rng);
    xs.resize(np);
    return xs;
}

TEST(WordInterp, CoefficientsGiveBackEveryValue) {
    std::mt19937_64 rng(61);
    for (uint32_t p : {3u, 7u, 101u, 65521u, 2147483629u, 2147483647u}) {
        const wordmod::Prime P(p);
        for (size_t np : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{7}, size_t{8}, size_t{25},
                          size_t{61}}) {
            if (np > p) continue;
            const std::vector<uint32_t> xs = distinct_points(rng, np, p);
            const size_t ncols = 5;
            std::vector<uint32_t> vals(ncols * np);
            for (size_t c = 0; c < ncols; c++)
                for (size_t i = 0; i < np; i++) {
                    uint32_t& v = vals[c * np + i];
                    // Column 1 all zero, column 2 all p - 1 (a constant).
                    v = c == 1 ? 0 : c == 2 ? p - 1 : static_cast<uint32_t>(rng() % p);
                }
            std::vector<uint32_t> wide(ncols * np, 77), plain(ncols * np, 77);
            wordmod::interpolate_columns(xs.data(), np, vals.data(), ncols, P, wide.data());
            wordmod::interpolate_columns_portable(xs.data(), np, vals.data(), ncols, P, plain.data());
            const std::string what = "p " + std::to_string(p) + " np " + std::to_string(np);
            EXPECT_EQ(wide, plain) << what;
            for (size_t c = 0; c < ncols; c++) {
                const uint32_t* co = wide.data() + c * np;
                for (size_t k = 0; k < np; k++) ASSERT_LT(co[k], p) << what;
                for (size_t i = 0; i < np; i++)
                    EXPECT_EQ(horner(co, np, xs[i], p), vals[c * np + i]) << what << " column " << c << " point " << i;
            }
            // A constant is its own interpolant.
            EXPECT_EQ(wide[2 * np], p - 1) << what;
            EXPECT_TRUE(std::all_of(wide.begin() + static_cast<std::ptrdiff_t>(2 * np + 1),
                                    wide.begin() + static_cast<std::ptrdiff_t>(3 * np),
                                    [](uint32_t v) { return v == 0; }))
                << what;
        }
    }
}

// A polynomial of full degree np - 1 chosen first, its values taken, and
// its coefficients interpolated back exactly.
TEST(WordInterp, RecoversAKnownPolynomial) {
    std::mt19937_64 rng(62);
    for (uint32_t p : {101u, 2147483629u}) {
        const wordmod::Prime P(p);
        for (size_t np : {size_t{6}, size_t{13}, size_t{40}}) {
            std::vector<uint32_t> want(np);
            for (auto& c : want) c = static_cast<uint32_t>(rng() % p);
            want.back() = p - 1;
            const std::vector<uint32_t> xs = distinct_points(rng, np, p);
            std::vector<uint32_t> vals(np);
            for (size_t i = 0; i < np; i++) vals[i] = horner(want.data(), np, xs[i], p);
            std::vector<uint32_t> got(np);
            wordmod::interpolate_columns(xs.data(), np, vals.data(), 1, P, got.data());
            EXPECT_EQ(got, want) << "p " << p << " np " << np;
        }
    }
}

}  // namespace
