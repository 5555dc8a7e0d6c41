// Transforms modulo word primes, on both families (below 2^62 and below
// 2^50) and, for the short primes, on the processor's 52-bit lanes (where
// it has them) and off them: the values of two polynomials multiplied
// pointwise and carried back give their cyclic convolution, and divided pointwise by the values of a
// divisor they give the quotient back; every result against a schoolbook
// computation here, for lengths on both sides of the cache blocking, with
// the twisted points and without.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "poly/wordprimes_impl.h"
#include "support/number_check.h"

namespace {

using wordprimes::Prime;
using wordprimes::u128;

uint64_t mulmod(uint64_t a, uint64_t b, uint64_t p) { return static_cast<uint64_t>(static_cast<u128>(a) * b % p); }

// x * y modulo (X^n - 1, p) by the definition.
std::vector<uint64_t> cyclic(const std::vector<uint64_t>& x, const std::vector<uint64_t>& y, int64_t n, uint64_t p) {
    std::vector<uint64_t> z(static_cast<size_t>(n), 0);
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = 0; j < y.size(); j++) {
            uint64_t& t = z[(i + j) % static_cast<size_t>(n)];
            t = (t + mulmod(x[i], y[j], p)) % p;
        }
    return z;
}

std::vector<uint64_t> random_residues(std::mt19937_64& rng, int64_t len, uint64_t p) {
    std::vector<uint64_t> v(static_cast<size_t>(len));
    for (uint64_t& x : v) x = rng() % p;
    return v;
}

struct Case {
    bool short_family;
    int32_t lanes;
};

class Transforms : public ::testing::TestWithParam<Case> {
protected:
    Kept<int32_t> kept{wordprimes::short_lanes};
    std::vector<Prime> primes;
    void SetUp() override {
        wordprimes::short_lanes = GetParam().lanes;
        if (GetParam().short_family)
            wordprimes::first_short_primes(2, primes);
        else
            wordprimes::first_primes(2, primes);
    }
};

TEST_P(Transforms, PointwiseProductsAreCyclicConvolutions) {
    std::mt19937_64 rng(0x5150001);
    for (const Prime& q : primes) {
        for (int64_t n : {int64_t{16}, int64_t{256}, int64_t{1} << 16}) {
            for (bool twist : {false, true}) {
                const std::string at = "p = " + std::to_string(q.p) + ", n = " + std::to_string(n) + (twist ? ", twisted" : "");
                const wordprimes::Transform tr(q, n, twist);
                // At 1 w^i the product wraps around modulo X^n - 1 (long
                // enough to); at c w^i it would wrap modulo X^n - c^n, so
                // there it stays below n places.
                const int64_t lx = std::min<int64_t>(twist ? n / 2 : n, 700);
                const int64_t ly = std::min<int64_t>(twist ? n / 2 : n / 2 + 3, 300);
                const auto x = random_residues(rng, lx, q.p), y = random_residues(rng, ly, q.p);
                std::vector<uint64_t> vx(static_cast<size_t>(n)), vy(static_cast<size_t>(n)), one(static_cast<size_t>(n)),
                    zero(static_cast<size_t>(n), 0), z(static_cast<size_t>(n));
                tr.forward(x.data(), lx, vx.data());
                tr.forward(y.data(), ly, vy.data());
                const uint64_t unit = 1;
                tr.forward(&unit, 1, one.data());
                ASSERT_TRUE(tr.invert(one.data())) << at;
                tr.quotient(vx.data(), vy.data(), zero.data(), zero.data(), one.data(), vx.data());
                tr.backward(vx.data(), z.data());
                EXPECT_EQ(z, cyclic(x, y, n, q.p)) << at;
            }
        }
    }
}

// (x d) / d = x, and g a - e b divided by d where g a - e b = d x.
TEST_P(Transforms, PointwiseQuotientsUndoTheProduct) {
    std::mt19937_64 rng(0x5150002);
    for (const Prime& q : primes) {
        for (int64_t n : {int64_t{64}, int64_t{1} << 16}) {
            for (bool twist : {false, true}) {
                const std::string at = "p = " + std::to_string(q.p) + ", n = " + std::to_string(n) + (twist ? ", twisted" : "");
                const wordprimes::Transform tr(q, n, twist);
                const int64_t ld = std::min<int64_t>(n / 4, 200), lx = std::min<int64_t>(n / 2, 400);
                const auto d = random_residues(rng, ld, q.p), x = random_residues(rng, lx, q.p);
                const auto e = random_residues(rng, 5, q.p);
                // g = x d + e, a = 1, b = 1: g a - e b = x d.
                std::vector<uint64_t> g = cyclic(x, d, n, q.p);
                for (size_t i = 0; i < e.size(); i++) g[i] = (g[i] + e[i]) % q.p;
                std::vector<uint64_t> vg(static_cast<size_t>(n)), va(static_cast<size_t>(n)), ve(static_cast<size_t>(n)),
                    vd(static_cast<size_t>(n)), z(static_cast<size_t>(n));
                const uint64_t unit = 1;
                tr.forward(g.data(), n, vg.data());
                tr.forward(&unit, 1, va.data());
                tr.forward(e.data(), 5, ve.data());
                tr.forward(d.data(), ld, vd.data());
                // A random divisor vanishes at none of these points but
                // with probability below n / p.
                ASSERT_TRUE(tr.invert(vd.data())) << at;
                tr.quotient(vg.data(), va.data(), ve.data(), va.data(), vd.data(), vg.data());
                tr.backward(vg.data(), z.data());
                std::vector<uint64_t> want = x;
                want.resize(static_cast<size_t>(n), 0);
                EXPECT_EQ(z, want) << at;
            }
        }
    }
}

// A divisor with a zero value is refused: x - 1 vanishes at 1, which is
// among the untwisted points.
TEST_P(Transforms, VanishingDivisorsAreRefused) {
    for (const Prime& q : primes) {
        const wordprimes::Transform tr(q, 32, false);
        const std::vector<uint64_t> d = {q.p - 1, 1};
        std::vector<uint64_t> v(32);
        tr.forward(d.data(), 2, v.data());
        EXPECT_FALSE(tr.invert(v.data()));
        const wordprimes::Transform twisted(q, 32, true);
        twisted.forward(d.data(), 2, v.data());
        EXPECT_TRUE(twisted.invert(v.data()));
    }
}

INSTANTIATE_TEST_SUITE_P(Families, Transforms,
                         ::testing::Values(Case{false, 1}, Case{true, 1}, Case{true, 0}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.short_family ? "short" : "long") +
                                    (info.param.lanes ? "_lanes" : "_scalar");
                         });

}  // namespace
