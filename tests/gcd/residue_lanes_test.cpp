// The four-lane update of the division modulo primes: every entry must
// stay congruent to x + q·n modulo its own prime and below 2^63, entries
// near 2^63 included (where the drop is taken), over many tail terms with
// offsets that skip entries.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "gcd/modgcd.h"
#include "gcd/residue_lanes.h"

namespace {

TEST(ResidueLanes, SumsStayCongruentAndBelowTwoTo63) {
    std::mt19937_64 rng(5150);
    uint32_t p[4];
    uint64_t k[4];
    for (int l = 0; l < 4; l++) {
        p[l] = static_cast<uint32_t>(word_prime_at(1 + 7 * l));
        k[l] = (uint64_t{1} << 63) / p[l] * p[l];
    }
    const size_t entries = 64, tails = 40;
    for (int round = 0; round < 50; round++) {
        std::vector<uint64_t> x(entries * 4);
        for (uint64_t& v : x) v = round % 2 ? (uint64_t{1} << 63) - 1 - rng() % 1000 : rng() >> 1;
        std::vector<int64_t> off(tails);
        for (size_t j = 0; j < tails; j++) off[j] = static_cast<int64_t>(4 * ((j * 3 + round) % entries));
        std::vector<uint32_t> neg(tails * 4);
        for (size_t j = 0; j < neg.size(); j++) neg[j] = static_cast<uint32_t>(rng() % p[j % 4]);
        uint32_t q[4];
        for (int l = 0; l < 4; l++) q[l] = round == 0 ? p[l] - 1 : static_cast<uint32_t>(rng() % p[l]);
        // What each entry should be congruent to.
        std::vector<uint64_t> want(x.size());
        for (size_t i = 0; i < x.size(); i++) want[i] = x[i] % p[i % 4];
        for (size_t j = 0; j < tails; j++)
            for (int l = 0; l < 4; l++) {
                uint64_t& w = want[static_cast<size_t>(off[j]) + static_cast<size_t>(l)];
                w = (w + uint64_t{q[l]} * neg[4 * j + static_cast<size_t>(l)]) % p[l];
            }
        add_lane_products4(x.data(), off.data(), neg.data(), tails, q, k);
        for (size_t i = 0; i < x.size(); i++) {
            EXPECT_LT(x[i], uint64_t{1} << 63) << "round " << round << " entry " << i;
            EXPECT_EQ(x[i] % p[i % 4], want[i]) << "round " << round << " entry " << i;
        }
    }
}

}  // namespace
