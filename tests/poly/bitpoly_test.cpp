// Packed GF(2) polynomials against a one-bit-per-byte reference written
// here: products (both ways of multiplying words, balanced and lopsided,
// across the Karatsuba threshold), squares, remainders modulo dense and
// sparse moduli for any degree, and gcds known to contain a planted factor.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "poly/bitpoly.h"

using bitpoly::Bits;

namespace {

using Ref = std::vector<uint8_t>;  // coefficient k at [k], trimmed

void ref_trim(Ref& a) {
    while (!a.empty() && !a.back()) a.pop_back();
}

Ref ref_of(const Bits& b) {
    Ref r(b.size() * 64, 0);
    for (size_t k = 0; k < r.size(); k++) r[k] = (b[k / 64] >> (k % 64)) & 1;
    ref_trim(r);
    return r;
}

Ref ref_mul(const Ref& a, const Ref& b) {
    if (a.empty() || b.empty()) return {};
    Ref r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        if (a[i])
            for (size_t j = 0; j < b.size(); j++) r[i + j] ^= b[j];
    ref_trim(r);
    return r;
}

Ref ref_rem(Ref a, const Ref& b) {
    while (a.size() >= b.size()) {
        const size_t s = a.size() - b.size();
        for (size_t j = 0; j < b.size(); j++) a[s + j] ^= b[j];
        ref_trim(a);
    }
    return a;
}

// Degree exactly d (d >= 0), the other bits random, or few of them.
Bits random_bits(std::mt19937_64& rng, int32_t d, bool sparse = false) {
    Bits b(static_cast<size_t>(d / 64) + 1, 0);
    if (sparse) {
        for (int k = 0; k < 4; k++) {
            const int32_t e = static_cast<int32_t>(rng() % static_cast<uint64_t>(d + 1));
            b[static_cast<size_t>(e / 64)] |= uint64_t{1} << (e % 64);
        }
        b[0] |= 1;
    } else {
        for (auto& w : b) w = rng();
        if (d % 64 != 63) b.back() &= (uint64_t{1} << (d % 64 + 1)) - 1;
    }
    b.back() |= uint64_t{1} << (d % 64);
    return b;
}

int32_t random_degree(std::mt19937_64& rng, int32_t most) {
    // Many near word edges and the Karatsuba threshold, some anywhere.
    static const int32_t edges[] = {0, 1, 63, 64, 65, 127, 128, 767, 768, 769, 1535, 1600};
    if (rng() % 2) return edges[rng() % (sizeof edges / sizeof edges[0])] % (most + 1);
    return static_cast<int32_t>(rng() % static_cast<uint64_t>(most + 1));
}

struct PortableGuard {
    explicit PortableGuard(bool on) { bitpoly::use_portable_products(on); }
    ~PortableGuard() { bitpoly::use_portable_products(false); }
};

TEST(BitPoly, ProductsAndSquaresMatchTheReference) {
    std::mt19937_64 rng(71);
    for (bool portable : {false, true}) {
        PortableGuard guard(portable);
        for (int trial = 0; trial < 60; trial++) {
            const Bits a = random_bits(rng, random_degree(rng, 3000));
            const Bits b = random_bits(rng, random_degree(rng, 3000));
            const Ref ra = ref_of(a);
            EXPECT_EQ(ref_of(bitpoly::mul(a, b)), ref_mul(ra, ref_of(b))) << trial << (portable ? " portable" : "");
            EXPECT_EQ(ref_of(bitpoly::square(a)), ref_mul(ra, ra)) << trial;
        }
    }
    EXPECT_TRUE(bitpoly::mul(Bits{}, Bits{5}).empty());
}

TEST(BitPoly, RemaindersModuloDenseAndSparseModuli) {
    std::mt19937_64 rng(72);
    for (int trial = 0; trial < 80; trial++) {
        const bool sparse = trial % 2;
        const int32_t n = 1 + random_degree(rng, 1500);
        const Bits f = random_bits(rng, n, sparse);
        const bitpoly::BitMod M(f);
        const Ref rf = ref_of(f);
        const Bits below = random_bits(rng, static_cast<int32_t>(rng() % static_cast<uint64_t>(2 * n)));
        const Bits any = random_bits(rng, static_cast<int32_t>(rng() % static_cast<uint64_t>(5 * n + 200)));
        EXPECT_EQ(ref_of(M.reduce(below)), ref_rem(ref_of(below), rf)) << trial << " n = " << n;
        EXPECT_EQ(ref_of(M.reduce_any(any)), ref_rem(ref_of(any), rf)) << trial << " n = " << n;
        Bits q;
        const Bits r = bitpoly::rem_plain(any, f, &q);
        EXPECT_EQ(ref_of(r), ref_rem(ref_of(any), rf));
        Ref back = ref_mul(ref_of(q), rf);
        back.resize(std::max(back.size(), ref_of(r).size()), 0);
        const Ref rr = ref_of(r);
        for (size_t k = 0; k < rr.size(); k++) back[k] ^= rr[k];
        ref_trim(back);
        EXPECT_EQ(back, ref_of(any)) << "q f + r is the dividend";
    }
}

TEST(BitPoly, GcdDividesBothAndHoldsThePlantedFactor) {
    std::mt19937_64 rng(73);
    for (int trial = 0; trial < 40; trial++) {
        const Bits g0 = random_bits(rng, random_degree(rng, 400));
        const Bits a = bitpoly::mul(g0, random_bits(rng, random_degree(rng, 900)));
        const Bits b = bitpoly::mul(g0, random_bits(rng, random_degree(rng, 900)));
        const Bits g = bitpoly::gcd(a, b);
        const Ref rg = ref_of(g);
        ASSERT_FALSE(rg.empty());
        EXPECT_TRUE(ref_rem(ref_of(a), rg).empty()) << trial;
        EXPECT_TRUE(ref_rem(ref_of(b), rg).empty()) << trial;
        EXPECT_TRUE(ref_rem(rg, ref_of(g0)).empty()) << trial;
    }
}

}  // namespace
