// Many cells evaluated at one point's powers on words, on wide registers
// and on scalar words, against Horner's rule on 128-bit integers: lengths
// the wide road takes (up to four) and longer ones past the unreduced
// limit, counts that leave a tail of fewer than four cells, residues next
// to p, for primes from 2 to 31 bits.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "det/word_eval.h"

namespace {

TEST(WordEval, AgreesWithHornerOnWideIntegers) {
    std::mt19937_64 rng(41);
    for (uint32_t p : {2u, 3u, 7u, 101u, 65521u, 2147483629u, 2147483647u}) {
        const wordmod::Prime P(p);
        for (size_t len : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{9}, size_t{25}}) {
            for (size_t count : {size_t{1}, size_t{3}, size_t{4}, size_t{37}, size_t{144}}) {
                for (int trial = 0; trial < 4; trial++) {
                    // Edge residues (p - 1 most of all) and random ones.
                    std::vector<uint32_t> planes(count * len);
                    for (auto& c : planes) c = rng() % 3 == 0 ? p - 1 : static_cast<uint32_t>(rng() % p);
                    const uint32_t x = trial == 0 ? p - 1 : trial == 1 ? 0 : static_cast<uint32_t>(rng() % p);
                    std::vector<uint32_t> xp(len);
                    unsigned __int128 v = 1 % p;
                    for (size_t k = 0; k < len; k++) {
                        xp[k] = static_cast<uint32_t>(v);
                        v = v * x % p;
                    }
                    std::vector<uint32_t> wide(count, 12345), portable(count, 12345);
                    wordmod::evaluate_planes(planes.data(), xp.data(), len, count, P, wide.data());
                    wordmod::evaluate_planes_portable(planes.data(), xp.data(), len, count, P, portable.data());
                    for (size_t c = 0; c < count; c++) {
                        unsigned __int128 h = 0;
                        for (size_t k = len; k-- > 0;) h = (h * x + planes[k * count + c]) % p;
                        ASSERT_EQ(wide[c], static_cast<uint32_t>(h)) << "p " << p << " len " << len << " cell " << c;
                        ASSERT_EQ(portable[c], static_cast<uint32_t>(h))
                            << "p " << p << " len " << len << " cell " << c;
                    }
                }
            }
        }
    }
}

}  // namespace
