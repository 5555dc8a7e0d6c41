// The nested levels of the modular interpolation on machine words against
// the generic road through the hub (which the method takes while progress
// lines are on): the same determinants over Z and modulo 2, 3, 7, 101 and
// a 31-bit prime, each also checked at points against GMP.
#include <gtest/gtest.h>

#include "det/poly_det.h"
#include "det_support.h"
#include "poly_det_support.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

using namespace polydet_test;

size_t count_of(const std::string& text, const std::string& what) {
    size_t k = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) k++;
    return k;
}

// The word road's answer equals the generic road's and the point values.
void expect_both_roads(PolyMatrix& a, int32_t p, std::mt19937_64& rng, const std::string& what) {
    quoly* words = interp_det(a);
    std::string said;
    // Progress lines on at every level (windy keeps them on for each prime).
    const int saved_windy = windy;
    windy = 1;
    quoly* generic = interp_det(a, &said);
    windy = saved_windy;
    // More than one interpolation level went through the hub.
    EXPECT_GT(count_of(said, "LaGrange interpolation, degree "), 1u) << what;
    EXPECT_TRUE(same_value(words, generic)) << what;
    expect_det_values(a, words, p, rng, what);
    free_quoly(&words);
    free_quoly(&generic);
    EXPECT_EQ(lagrangedepth, 0) << what;
    EXPECT_EQ(first_available, 1) << what;
}

TEST(PolyDetWords, RandomMatricesAgreeWithTheGenericRoad) {
    const int32_t large = 2147483629;
    std::mt19937_64 rng(31);
    struct Case {
        int vars;
        int32_t n;
    };
    for (int32_t p : {0, 2, 3, 7, 101, large}) {
        PrimeRing ring(p);
        std::vector<Case> cases = {{2, 7}, {3, 7}};
        if (p == large) cases.push_back({2, 10});
        for (const Case& c : cases) {
            AttachedVars xs(c.vars);
            PolyMatrix a(c.vars, c.n);
            fill_random(a, rng);
            expect_both_roads(a, p, rng,
                              "p = " + std::to_string(p) + ", " + std::to_string(c.vars) + " vars, n = " +
                                  std::to_string(c.n));
        }
    }
}

TEST(PolyDetWords, ShapesOfTheNestedMatrices) {
    const int32_t large = 2147483629;
    std::mt19937_64 rng(32);
    std::uniform_int_distribution<int> coef(-9, 9);
    for (int32_t p : {0, 101, large}) {
        PrimeRing ring(p);
        const std::string at = "p = " + std::to_string(p);
        {
            // y attached but absent: every evaluated matrix is numbers.
            AttachedVars xs(2);
            PolyMatrix a(2, 7);
            for (int32_t i = 0; i < 7; i++)
                for (int32_t j = 0; j < 7; j++) a.set(i, j, {{coef(rng), {2, 0}}, {coef(rng), {1, 0}}, {coef(rng), {0, 0}}});
            quoly* r = interp_det(a);
            expect_det_values(a, r, p, rng, at + ", x only");
            free_quoly(&r);
        }
        {
            // x and z without y: the nested level skips a variable.
            AttachedVars xs(3);
            PolyMatrix a(3, 7);
            for (int32_t i = 0; i < 7; i++)
                for (int32_t j = 0; j < 7; j++)
                    a.set(i, j, {{coef(rng), {1, 0, 1}}, {coef(rng), {0, 0, 2}}, {coef(rng), {1, 0, 0}}, {1, {0, 0, 0}}});
            expect_both_roads(a, p, rng, at + ", x and z");
        }
        {
            // det = (x - y) g: the images vanish wherever the points meet.
            AttachedVars xs(2);
            PolyMatrix a(2, 7);
            fill_random(a, rng);
            for (int32_t j = 0; j < 7; j++) {
                TermList t = a.e[static_cast<size_t>(1) * 7 + j];
                const int c = coef(rng);
                t.push_back({c, {1, 0}});
                t.push_back({-c, {0, 1}});
                a.set(0, j, t);
            }
            expect_both_roads(a, p, rng, at + ", factor x - y");
            // Two equal rows: every image is 0.
            for (int32_t j = 0; j < 7; j++) a.set(0, j, a.e[static_cast<size_t>(1) * 7 + j]);
            quoly* r = interp_det(a);
            EXPECT_TRUE(quoly_iszero(r)) << at;
            free_quoly(&r);
        }
    }
}

TEST(PolyDetWords, NestedDegreeTooLargeForTheModulusGoesThroughTheHub) {
    // Modulo 101 the outer variable needs few points, the inner one more
    // than the modulus has: that level goes the hub's way, to the integers.
    PrimeRing ring(101);
    AttachedVars xs(2);
    std::mt19937_64 rng(33);
    std::uniform_int_distribution<int> coef(-9, 9);
    PolyMatrix a(2, 7);
    for (int32_t i = 0; i < 7; i++)
        for (int32_t j = 0; j < 7; j++) a.set(i, j, {{coef(rng), {1, 8}}, {coef(rng), {0, 7}}, {coef(rng), {0, 0}}});
    std::string said;
    quoly* generic = interp_det(a, &said);
    EXPECT_NE(said.find("too large for this modulus. will try rational algorithm."), std::string::npos) << said;
    quoly* words = interp_det(a);
    EXPECT_TRUE(same_value(words, generic));
    expect_det_values(a, words, 101, rng, "p = 101, y^8");
    free_quoly(&words);
    free_quoly(&generic);
    EXPECT_EQ(lagrangedepth, 0);
    EXPECT_EQ(first_available, 1);
}

}  // namespace
