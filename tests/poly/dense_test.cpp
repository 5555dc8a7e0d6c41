// Dense residue arrays: products against a plain convolution in every
// ground ring and at every cut-off, the largest products checked by
// evaluation and for their scratch use, the range sums against a word-by-word
// model, and the remainder and Euclid steps by their defining identities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/polyvars.h"
#include "support/data_once.h"
#include "support/field_ref.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

using Words = std::vector<uint32_t>;

struct Ground {
    const char* name;
    int32_t m;
    int prime;
};

// Every modulus the arrays serve: tiny and word-sized primes on both sides
// of 65,536 and of 2^30, composites whose products can vanish, and GF(2^8).
const Ground kGrounds[] = {{"2", 2, 1},         {"3", 3, 1},         {"7", 7, 1},
                           {"65521", 65521, 1}, {"65537", 65537, 1}, {"2147483629", 2147483629, 1},
                           {"12", 12, 0},       {"65535", 65535, 0}, {"GF(2^8)", 256, 1}};

// Residues modulo g, and poly_cutoff, restored at the end of the scope.
struct RingScope {
    RingStateGuard saved;
    int32_t cutoff = poly_cutoff;
    explicit RingScope(const Ground& g) {
        modularmode = 1;
        lintmode = 1;
        install_modulus(g.m);
        mod_is_prime = g.prime;
    }
    ~RingScope() { poly_cutoff = cutoff; }
};

// Negation and difference of residues, beside the shared sum and product.
uint32_t r_neg(uint32_t a) {
    if (finf || a == 0) return a;
    return static_cast<uint32_t>(modulus) - a;
}
uint32_t r_sub(uint32_t a, uint32_t b) { return r_add(a, r_neg(b)); }

Words ref_product(const Words& x, const Words& y) {
    Words z(x.size() + y.size() - 1, 0);
    for (size_t i = 0; i < x.size(); i++) {
        if (x[i] == 0) continue;
        for (size_t j = 0; j < y.size(); j++) z[i + j] = r_add(z[i + j], r_mul(x[i], y[j]));
    }
    return z;
}

uint32_t eval(const uint32_t* w, int32_t lo, int32_t hi, uint32_t t) {
    uint32_t v = 0;
    for (int32_t i = hi; i >= lo; i--) v = r_add(r_mul(v, t), w[i]);
    for (int32_t i = 0; i < lo; i++) v = r_mul(v, t);
    return v;
}

uint32_t residue(NumberGen& g) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    switch (g.below(8)) {
    case 0: return 0;
    case 1: return 1;
    case 2: return p - 1;
    default: return static_cast<uint32_t>(g.bits() % p);
    }
}

uint32_t nonzero(NumberGen& g) {
    for (;;)
        if (uint32_t v = residue(g)) return v;
}

// Degree d with a non-zero top word; `lead_zeros` low words forced to 0.
Words random_words(NumberGen& g, int32_t d, int32_t lead_zeros = 0) {
    Words w(static_cast<size_t>(d) + 1);
    for (int32_t i = 0; i < d; i++) w[i] = i < lead_zeros ? 0 : residue(g);
    w[d] = nonzero(g);
    return w;
}

constexpr uint32_t kGuard = 0xDEADBEEFu;

// x * y through fast_array_onevar_mult, each operand placed at a low index
// with guard words below and above it, and the result placed likewise:
// the kernel must read and write inside the given ranges only.
Words kernel_product(const Words& x, const Words& y, int32_t xlo, int32_t ylo) {
    const int32_t xhi = xlo + static_cast<int32_t>(x.size()) - 1;
    const int32_t yhi = ylo + static_cast<int32_t>(y.size()) - 1;
    Words xa(static_cast<size_t>(xhi) + 3, kGuard), ya(static_cast<size_t>(yhi) + 3, kGuard);
    std::copy(x.begin(), x.end(), xa.begin() + xlo);
    std::copy(y.begin(), y.end(), ya.begin() + ylo);
    const Words xa0 = xa, ya0 = ya;
    Words z(static_cast<size_t>(xhi + yhi) + 3, kGuard);
    fast_array_onevar_mult(xa.data(), ya.data(), z.data(), xlo, xhi, ylo, yhi);
    EXPECT_EQ(xa, xa0);
    EXPECT_EQ(ya, ya0);
    for (int32_t i = 0; i < xlo + ylo; i++) EXPECT_EQ(z[i], kGuard) << "written below the result at " << i;
    EXPECT_EQ(z[xhi + yhi + 1], kGuard);
    return Words(z.begin() + xlo + ylo, z.begin() + xhi + yhi + 1);
}

class DenseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        load_data_once();
        init_poly_work_arrays();
    }
};

TEST_F(DenseTest, ProductsMatchConvolutionInEveryRingAndAtEveryCutoff) {
    struct Shape {
        int32_t dx, dy, zeros_x, zeros_y;
    };
    // Spans on both sides of the cut-off, the split points of the balanced
    // and unbalanced branches (15 * 15 < 226), leading zero words, and long
    // unequal operands.
    const Shape shapes[] = {{0, 0, 0, 0},     {0, 7, 0, 3},     {1, 1, 0, 0},       {2, 2, 1, 0},
                            {39, 40, 0, 0},   {40, 40, 0, 0},   {41, 41, 5, 17},    {15, 226, 0, 0},
                            {16, 226, 0, 0},  {80, 161, 0, 0},  {60, 900, 30, 0},   {100, 1500, 0, 99},
                            {1000, 1000, 0, 0}, {1, 3000, 0, 0}, {777, 2500, 12, 700}};
    NumberGen g(0xD3E5E);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground);
        for (const Shape& s : shapes) {
            const Words x = random_words(g, s.dx, s.zeros_x), y = random_words(g, s.dy, s.zeros_y);
            const Words want = ref_product(x, y);
            for (int32_t cut : {2, 3, 40, 1 << 30}) {
                poly_cutoff = cut;
                const int32_t xlo = g.below(4), ylo = g.below(4);
                EXPECT_EQ(kernel_product(x, y, xlo, ylo), want)
                    << "modulus " << ground.name << ", degrees " << s.dx << " x " << s.dy
                    << ", cut-off " << cut << ", " << g.trace();
            }
        }
    }
}

TEST_F(DenseTest, CompositeModulusProductsMayLoseTheirTopWord) {
    RingScope ring({"12", 12, 0});
    NumberGen g(12);
    for (int round = 0; round < scaled(20); round++) {
        const int32_t dx = g.between(40, 400), dy = g.between(40, 400);
        Words x = random_words(g, dx), y = random_words(g, dy);
        x[dx] = 6;   // 6 * 2 = 0 mod 12: the product's top word vanishes
        y[dy] = 2;
        const Words want = ref_product(x, y);
        ASSERT_EQ(want.back(), 0u);
        for (int32_t cut : {2, 40}) {
            poly_cutoff = cut;
            EXPECT_EQ(kernel_product(x, y, 0, 0), want) << g.trace();
        }
    }
}

// The largest products the work arrays hold, checked at random points, and
// the scratch they need: it must come from the block reserved at start-up.
TEST_F(DenseTest, LargestProductsFitTheReservedScratch) {
    RingScope ring({"65521", 65521, 1});
    NumberGen g(22008);
    const size_t reserved = dense_scratch_capacity();
    struct Pair {
        int32_t dx, dy;
    };
    for (Pair d : {Pair{11004, 11004}, Pair{2000, 20008}, Pair{7336, 14672}, Pair{5502, 16506},
                   Pair{1500, 20508}, Pair{8874, 13134}}) {
        const Words x = random_words(g, d.dx), y = random_words(g, d.dy);
        for (int32_t cut : {2, 40}) {
            poly_cutoff = cut;
            std::fill(zz, zz + DENSE_WORDS, kGuard);
            std::copy(x.begin(), x.end(), xx);
            std::copy(y.begin(), y.end(), yy);
            fast_array_onevar_mult(xx, yy, zz, 0, d.dx, 0, d.dy);
            for (int k = 0; k < 3; k++) {
                const uint32_t t = static_cast<uint32_t>(g.below(65521));
                EXPECT_EQ(eval(zz, 0, d.dx + d.dy, t), r_mul(eval(x.data(), 0, d.dx, t), eval(y.data(), 0, d.dy, t)))
                    << d.dx << " x " << d.dy << " at " << t << ", cut-off " << cut;
            }
            EXPECT_EQ(dense_scratch_capacity(), reserved) << d.dx << " x " << d.dy << ", cut-off " << cut;
        }
    }
}

TEST_F(DenseTest, SchoolbookVariantsAgree) {
    NumberGen g(31);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground);
        for (int round = 0; round < 8; round++) {
            const Words x = random_words(g, g.between(0, 60)), y = random_words(g, g.between(0, 60));
            const Words want = ref_product(x, y);
            const int32_t dx = static_cast<int32_t>(x.size()) - 1, dy = static_cast<int32_t>(y.size()) - 1;
            Words z(want.size());
            onevar_mult(x.data(), y.data(), z.data(), 0, dx, 0, dy);
            EXPECT_EQ(z, want) << ground.name;
            std::fill(z.begin(), z.end(), kGuard);
            slower_onevar_mult(x.data(), y.data(), z.data(), 0, dx, 0, dy);
            EXPECT_EQ(z, want) << ground.name;
            std::fill(z.begin(), z.end(), kGuard);
            simple_onevar_mult(x.data(), y.data(), z.data(), dx, dy);
            EXPECT_EQ(z, want) << ground.name;
        }
    }
}

TEST_F(DenseTest, BadProductRangesAreFatal) {
    RingScope ring({"7", 7, 1});
    Words zero(5, 0), one{3, 1}, z(16, 0);
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(fast_array_onevar_mult(zero.data(), one.data(), z.data(), 0, 4, 0, 1), TarvexUnwind);
    Words top_zero{1, 2, 0};
    EXPECT_THROW(onevar_mult(top_zero.data(), one.data(), z.data(), 0, 2, 0, 1), TarvexUnwind);
    EXPECT_THROW(onevar_mult(one.data(), one.data(), z.data(), 1, 0, 0, 1), TarvexUnwind);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(" ** bad exps fast_array_onevar 5, 4, 0, 1,"), std::string::npos) << out;
    EXPECT_NE(out.find("bad exps in fast_array_onevar_mult."), std::string::npos) << out;
    EXPECT_NE(out.find(" ** bad upper limits, onevar 0, 1, 0, 2, 0, 1"), std::string::npos) << out;
    EXPECT_NE(out.find("0 upper value in onevar_mult."), std::string::npos) << out;
    EXPECT_NE(out.find("potential 0 in onevar_mult."), std::string::npos) << out;

    // The zero-tolerant entry reports a zero top word instead.
    z.assign(16, kGuard);
    EXPECT_EQ(fast_0_array_onevar_mult(top_zero.data(), one.data(), z.data(), 0, 2, 0, 1), 0);
    EXPECT_EQ(z[0], 0u);
    EXPECT_EQ(fast_0_array_onevar_mult(one.data(), one.data(), z.data(), 0, 1, 0, 1), 2);
    EXPECT_EQ(Words(z.begin(), z.begin() + 3), (Words{2, 6, 1}));
}

// ---------------------------------------------------------------- sums

// The word-by-word model of a sum over index ranges: a[lo .. hi] as a map
// from index to residue, zero elsewhere.
uint32_t at(const Words& w, int32_t lo, int32_t hi, int32_t i) { return i >= lo && i <= hi ? w[i] : 0; }

// Checks r[lo .. rhi] against want[lo .. top] trimmed as the routines trim.
void expect_range(const Words& r, int32_t lo, int32_t rhi, const Words& want, int32_t top,
                  const std::string& what) {
    int32_t t = std::max(top, lo);
    while (t > lo && want[t] == 0) t--;
    EXPECT_EQ(rhi, t) << what;
    for (int32_t i = lo; i <= rhi; i++) EXPECT_EQ(r[i], want[i]) << what << " at " << i;
}

TEST_F(DenseTest, RangeSumsFollowTheWordModel) {
    NumberGen g(4711);
    for (const Ground& ground : {Ground{"7", 7, 1}, Ground{"2147483629", 2147483629, 1}, Ground{"GF(2^8)", 256, 1}}) {
        RingScope ring(ground);
        for (int round = 0; round < scaled(300); round++) {
            const int32_t n = 60;
            Words a(n + 40), b(n + 40);
            for (auto& w : a) w = residue(g);
            for (auto& w : b) w = residue(g);
            const std::string what = std::string(ground.name) + ", " + g.trace() + ", round " + std::to_string(round);
            const int32_t alo = g.between(0, 10), ahi = g.between(alo - 1, 30);
            const int32_t blo = g.between(alo, 35), bhi = g.between(blo - 1, 40);
            Words want, r(n + 40, kGuard);
            auto fresh = [&] { want.assign(n + 40, 0); };
            int32_t rhi = -7;

            fresh();
            for (int32_t i = alo; i <= std::max(ahi, bhi); i++)
                want[i] = r_add(at(a, alo, ahi, i), at(b, blo, bhi, i));
            onevar_add(a.data(), b.data(), r.data(), alo, ahi, blo, bhi, &rhi);
            expect_range(r, alo, rhi, want, std::max(ahi, bhi), "onevar_add " + what);

            const int32_t lo = alo;
            const int32_t bhi2 = g.between(lo - 1, 40);
            fresh();
            for (int32_t i = lo; i <= std::max(ahi, bhi2); i++) want[i] = r_sub(at(a, lo, ahi, i), at(b, lo, bhi2, i));
            Words in_place = a;   // the result may be the first operand
            onevar_sub(in_place.data(), b.data(), in_place.data(), lo, ahi, bhi2, &rhi);
            expect_range(in_place, lo, rhi, want, std::max(ahi, bhi2), "onevar_sub " + what);

            const int32_t shift = g.between(0, 12);
            fresh();
            for (int32_t i = lo; i <= std::max(ahi, bhi2 + shift); i++)
                want[i] = r_add(at(a, lo, ahi, i), i - shift >= lo ? at(b, lo, bhi2, i - shift) : 0);
            onevar_add_shift(a.data(), b.data(), r.data(), lo, ahi, bhi2, shift, &rhi);
            expect_range(r, lo, rhi, want, std::max(ahi, bhi2 + shift), "onevar_add_shift " + what);

            if (ahi >= lo) {
                const int32_t bhi3 = g.between(lo + shift - 1, 50);
                fresh();
                for (int32_t i = lo; i <= std::max(ahi, bhi3 - shift); i++)
                    want[i] = r_sub(at(a, lo, ahi, i), at(b, lo + shift, bhi3, i + shift));
                onevar_sub_shift(a.data(), b.data(), r.data(), lo, ahi, bhi3, shift, &rhi);
                expect_range(r, lo, rhi, want, std::max(ahi, bhi3 - shift), "onevar_sub_shift " + what);
            }

            // The two halves of a[lo .. hi] split at lo + m.
            const int32_t m = g.between(1, 20), hi = lo + m + g.between(0, 25);
            int32_t low_top = lo + m - 1;
            while (low_top >= lo && a[low_top] == 0) low_top--;
            fresh();
            for (int32_t i = lo; i <= std::max(low_top, hi - m); i++)
                want[i] = r_add(at(a, lo, low_top, i), at(a, lo + m, hi, i + m));
            int32_t top = low_top;
            onevar_self_add(a.data(), r.data(), lo, hi, m, &top);
            expect_range(r, lo, top, want, std::max(low_top, hi - m), "onevar_self_add " + what);
        }
    }
}

TEST_F(DenseTest, SumsInGF256AreExclusiveOrs) {
    RingScope ring({"GF(2^8)", 256, 1});
    Words a{0x53, 0xCA, 0xFF}, b{0x53, 0x0F, 0x01}, r(3);
    int32_t rhi;
    onevar_add(a.data(), b.data(), r.data(), 0, 2, 0, 2, &rhi);
    EXPECT_EQ(r, (Words{0x00, 0xC5, 0xFE}));
    onevar_sub(a.data(), b.data(), r.data(), 0, 2, 2, &rhi);
    EXPECT_EQ(r, (Words{0x00, 0xC5, 0xFE}));
}

TEST_F(DenseTest, ReversedRangesAreFatal) {
    RingScope ring({"7", 7, 1});
    Words a(20, 1), r(40);
    int32_t rhi;
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(onevar_add(a.data(), a.data(), r.data(), 5, 9, 4, 9, &rhi), TarvexUnwind);
    EXPECT_THROW(onevar_add_shift(a.data(), a.data(), r.data(), 5, 3, 9, 1, &rhi), TarvexUnwind);
    EXPECT_THROW(onevar_sub_shift(a.data(), a.data(), r.data(), 5, 9, 3, 4, &rhi), TarvexUnwind);
    EXPECT_THROW(onevar_sub_shift(a.data(), a.data(), r.data(), 5, 4, 12, 2, &rhi), TarvexUnwind);
    int32_t da = 6, dh = 0;
    EXPECT_THROW(onevar_split_poly(a.data(), r.data(), 0, &da, &dh), TarvexUnwind);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("** onevar_add 5, 9, 4, 9\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" onevar_add reversed degrees. "), std::string::npos);
    EXPECT_NE(out.find("** onevar_add_shift 5, 3, 9, 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" onevar_sub_shift reversed degrees."), std::string::npos);
    EXPECT_NE(out.find("** new xb=xa-1 5, 4, 12, 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" onevar_sub_shift xb=xa-1."), std::string::npos);
    EXPECT_NE(out.find("m is 0 in onevar_split\n"), std::string::npos);
    EXPECT_NE(out.find(" onevar_split_poly."), std::string::npos);
}

TEST_F(DenseTest, SplitGivesBothHalves) {
    RingScope ring({"7", 7, 1});
    const Words a{3, 0, 0, 5, 1, 2};   // 2x^5 + x^4 + 5x^3 + 3
    Words hi(8, kGuard);
    int32_t da = 5, dh = -9;
    onevar_split_poly(a.data(), hi.data(), 3, &da, &dh);
    EXPECT_EQ(dh, 2);
    EXPECT_EQ(da, 0);   // the low part 3 + 0x + 0x^2 trimmed
    EXPECT_EQ(Words(hi.begin(), hi.begin() + 3), (Words{5, 1, 2}));
    da = 5;
    onevar_split_poly(a.data(), hi.data(), 2, &da, &dh);
    EXPECT_EQ(da, 0);
    const Words zero_low{0, 0, 4};
    da = 2;
    onevar_split_poly(zero_low.data(), hi.data(), 2, &da, &dh);
    EXPECT_EQ(da, -1);
    EXPECT_EQ(dh, 0);
    EXPECT_EQ(hi[0], 4u);
    da = 2;
    onevar_split_poly(zero_low.data(), hi.data(), 3, &da, &dh);
    EXPECT_EQ(da, 2);
    EXPECT_EQ(dh, 0);
    EXPECT_EQ(hi[0], 0u);
}

// ---------------------------------------------------------------- remainders

// x = q y + r with deg r < deg y, rebuilt by the reference product.
void expect_division(const Words& x, const Words& y, const Words& q, int32_t dq, const Words& r, int32_t dr,
                     const std::string& what) {
    const int32_t dy = static_cast<int32_t>(y.size()) - 1;
    EXPECT_LT(dr, std::max(dy, 1)) << what;
    Words back = ref_product(Words(q.begin(), q.begin() + dq + 1), y);
    back.resize(std::max(back.size(), x.size()), 0);
    for (int32_t i = 0; i <= dr; i++) back[i] = r_add(back[i], r[i]);
    Words xs = x;
    xs.resize(back.size(), 0);
    EXPECT_EQ(back, xs) << what;
}

TEST_F(DenseTest, RemaindersSatisfyTheDivisionIdentity) {
    NumberGen g(97);
    const Ground grounds[] = {{"7", 7, 1},           {"46337", 46337, 1}, {"65521", 65521, 1},
                              {"2147483629", 2147483629, 1}, {"GF(2^8)", 256, 1}};
    for (const Ground& ground : grounds) {
        RingScope ring(ground);
        for (int round = 0; round < scaled(60); round++) {
            const int32_t dy = g.between(0, 40), dx = g.between(0, 90);
            const Words x = random_words(g, dx), y = random_words(g, dy);
            const std::string what = std::string(ground.name) + " " + std::to_string(dx) + "/" + std::to_string(dy);

            Words r = x, q(static_cast<size_t>(std::max(dx - dy, 0)) + 1, kGuard);
            int32_t dr = dx, dq = -9, zero = -9;
            onevar_array_div_mod(r.data(), y.data(), q.data(), &dr, dy, &dq, &zero);
            EXPECT_EQ(dq, dx >= dy ? dx - dy : 0) << what;
            int32_t dr_trim = std::max(dr, 0);
            expect_division(x, y, q, dq, r, dr_trim, what);
            const bool vanished = std::all_of(r.begin(), r.begin() + dr_trim + 1, [](uint32_t w) { return w == 0; });
            EXPECT_EQ(zero, vanished ? 1 : 0) << what;
            if (dr > 0) {
                EXPECT_NE(r[dr], 0u) << what;
            }

            Words r2 = x;
            int32_t dr2 = dx, zero2 = -9;
            onevar_array_mod(r2.data(), y.data(), &dr2, dy, &zero2);
            EXPECT_EQ(dr2, dr) << what;
            EXPECT_EQ(zero2, zero) << what;
            EXPECT_TRUE(std::equal(r.begin(), r.begin() + dr_trim + 1, r2.begin())) << what;

            // One step for deg x = deg y + 1.
            if (dy >= 1) {
                const Words x1 = random_words(g, dy + 1);
                Words r3 = x1, q3(2, kGuard);
                int32_t d3 = dy + 1, nq = -9, z3 = -9;
                onevar_one_div(r3.data(), y.data(), q3.data(), &d3, dy, &nq, &z3);
                EXPECT_EQ(nq, 1);
                EXPECT_LT(d3, dy) << what;
                expect_division(x1, y, q3, 1, r3, std::max(d3, 0), "one step " + what);
                EXPECT_EQ(z3, d3 < 0 ? 1 : 0);
                Words r4 = x1;
                int32_t d4 = dy + 1, z4 = -9;
                onevar_one(r4.data(), y.data(), &d4, dy, &z4);
                EXPECT_EQ(d4, d3);
                EXPECT_TRUE(std::equal(r3.begin(), r3.begin() + dy, r4.begin())) << what;
            }
        }
    }
}

TEST_F(DenseTest, RemainderEdges) {
    RingScope ring({"7", 7, 1});
    Words x{3, 4, 5}, c{6};
    int32_t dx = 2, zero = -1;
    onevar_array_mod(x.data(), c.data(), &dx, 0, &zero);   // by a non-zero constant
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(zero, 1);
    EXPECT_EQ(x[0], 0u);

    Words zx{0}, y{1, 1};
    dx = 0;
    onevar_array_mod(zx.data(), y.data(), &dx, 1, &zero);   // the zero polynomial, already reduced
    EXPECT_EQ(zero, 1);
    Words small{4};
    dx = 0;
    onevar_array_mod(small.data(), y.data(), &dx, 1, &zero);
    EXPECT_EQ(zero, 0);

    Words exact{6, 5, 1};   // (x + 2)(x + 3) mod 7 by x + 3: remainder 0, degree -1
    Words div{3, 1}, q(3);
    int32_t dq;
    dx = 2;
    onevar_array_div_mod(exact.data(), div.data(), q.data(), &dx, 1, &dq, &zero);
    EXPECT_EQ(dx, -1);
    EXPECT_EQ(zero, 1);
    EXPECT_EQ(dq, 1);
    EXPECT_EQ(Words(q.begin(), q.begin() + 2), (Words{2, 1}));

    // One step by a constant: both quotient words, remainder 0.
    Words lin{2, 5}, q2(2);
    int32_t nq;
    dx = 1;
    onevar_one_div(lin.data(), c.data(), q2.data(), &dx, 0, &nq, &zero);
    EXPECT_EQ(nq, 1);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(zero, 1);
    EXPECT_EQ(q2, (Words{5, 2}));   // (5x + 2) / 6 = 2x + 5 mod 7

    Words zero_y{0};
    Words any{1, 2};
    dx = 1;
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(onevar_array_mod(any.data(), zero_y.data(), &dx, 0, &zero), TarvexUnwind);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find(" y is 0 in onevar_array_mod."), std::string::npos);
}

// The monic form of w[0 .. d].
Words monic(const uint32_t* w, int32_t d) {
    int32_t inv;
    mod_inverse(static_cast<int32_t>(w[d]), &inv);
    Words m(static_cast<size_t>(d) + 1);
    for (int32_t i = 0; i <= d; i++) m[i] = r_mul(w[i], static_cast<uint32_t>(inv));
    return m;
}

TEST_F(DenseTest, EuclidFindsPlantedGcds) {
    NumberGen g(1234);
    for (const Ground& ground : {Ground{"7", 7, 1}, Ground{"46337", 46337, 1}, Ground{"65521", 65521, 1}}) {
        RingScope ring(ground);
        for (int round = 0; round < scaled(40); round++) {
            // A monic g times two random cofactors; over a prime field the
            // cofactors are coprime often enough, and the gcd is then g.
            Words gw = random_words(g, g.between(0, 12));
            gw = monic(gw.data(), static_cast<int32_t>(gw.size()) - 1);
            const Words f = random_words(g, g.between(1, 60)), h = random_words(g, g.between(1, 60));
            Words x = ref_product(gw, f), y = ref_product(gw, h);
            int32_t dx = static_cast<int32_t>(x.size()) - 1, dy = static_cast<int32_t>(y.size()) - 1;
            const int in_x = euclid_total(x.data(), y.data(), &dx, &dy);
            const Words found = in_x ? monic(x.data(), dx) : monic(y.data(), dy);
            EXPECT_EQ(in_x ? dy : dx, 0);

            // The gcd of the cofactors, found by the same loop, must be 1 for
            // the planted answer to be the whole gcd; otherwise g divides it.
            Words fc = f, hc = h;
            int32_t df = static_cast<int32_t>(f.size()) - 1, dh = static_cast<int32_t>(h.size()) - 1;
            const int cf_in_x = euclid_total(fc.data(), hc.data(), &df, &dh);
            const int32_t cofactor_degree = cf_in_x ? df : dh;
            EXPECT_EQ(static_cast<int32_t>(found.size()) - 1, static_cast<int32_t>(gw.size()) - 1 + cofactor_degree)
                << ground.name << ", " << g.trace();
            if (cofactor_degree == 0) {
                EXPECT_EQ(found, gw) << ground.name << ", " << g.trace();
            }
        }
    }
}

TEST_F(DenseTest, EuclidOfCoprimeInputsEndsInAConstant) {
    RingScope ring({"7", 7, 1});
    Words x{1, 0, 1}, y{1, 1};   // x^2 + 1 and x + 1 mod 7: remainder 2
    int32_t dx = 2, dy = 1;
    const int in_x = euclid_total(x.data(), y.data(), &dx, &dy);
    EXPECT_EQ(in_x, 1);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(x[0], 2u);
}

}  // namespace
