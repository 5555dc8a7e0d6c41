// The irreducibility test's answers: 1, the number k of irreducibles of
// one degree, a proper factor, 0 for a number, and its errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "builtins/factor.h"
#include "ff_arith.h"
#include "ff_setup.h"
#include "numbers/ring.h"
#include "storage/records.h"
#include "support/expect_error.h"

namespace {

// The answer for f: a number (as a value word) or, through *factor, a polynomial.
int32_t irred(const UPoly& f, UPoly* factor = nullptr) {
    quoly* q = poly_quoly(to_poly(f));
    irreducible_poly(&q, -1);
    int32_t v = -99;
    if (q->isnum)
        v = q->nnum->value;
    else if (factor)
        *factor = from_poly(q->pnum);
    free_quoly(&q);
    return v;
}

TEST(Irreducible, SmallCasesByHand) {
    {
        OneVarField field(3);
        EXPECT_EQ(irred(UPoly{1, 0, 1}), 1);      // x^2 + 1 has no root mod 3
        EXPECT_EQ(irred(UPoly{2, 1}), 1);         // degree 1
        EXPECT_EQ(irred(UPoly{2}), 0);            // a number
    }
    {
        OneVarField field(5);
        EXPECT_EQ(irred(UPoly{1, 0, 1}), 2);      // (x + 2)(x + 3)
        UPoly g;
        EXPECT_EQ(irred(UPoly{4, 0, 0, 0, 0, 1}, &g), -99);   // x^5 + 4 = (x + 4)^5
        EXPECT_EQ(g, (UPoly{4, 1}));
    }
}

TEST(Irreducible, ProductsOfOneDegreeGiveTheirCount) {
    for (int32_t p : {2, 7, 65521, 2147483629}) {
        OneVarField field(p);
        test_rng.seed(static_cast<uint64_t>(p) * 3);
        for (int d = 1; d <= 6; d++) {
            const UPoly g = random_irreducible(d * 3, test_draw);
            EXPECT_EQ(irred(scale(g, 1 + test_draw() % (field_size() - 1))), 1) << "p " << p << ":" << to_text(g);
            UPoly f{1};
            std::vector<UPoly> seen;
            int k = 0;
            for (int tries = 0; k < 3 && tries < 50; tries++) {
                // Over GF(2) a degree may have fewer than three irreducibles.
                UPoly h = random_irreducible(d, test_draw);
                if (std::find(seen.begin(), seen.end(), h) != seen.end()) continue;
                seen.push_back(h);
                f = mul(f, h);
                k++;
            }
            if (k < 2) continue;
            // The count is an element of the ring.
            EXPECT_EQ(irred(f), k % p) << "p " << p << ":" << to_text(f);
        }
    }
}

TEST(Irreducible, PlainCountIsNeverReadAsIrreducible) {
    // The product of the three irreducible quartics of GF(2) has the count
    // 3, which is 1 in the ring; the plain answer keeps it 3, and the
    // relation checks read that one.
    OneVarField field(2);
    const UPoly f = mul(mul(UPoly{1, 1, 0, 0, 1}, UPoly{1, 0, 0, 1, 1}), UPoly{1, 1, 1, 1, 1});
    EXPECT_EQ(irred(f), 1);
    HeldPoly p(to_poly(f));
    HeldPoly factor;
    EXPECT_EQ(irreducibility(p.p, -1, &factor.p), 3);
    EXPECT_FALSE(is_irreducible(p.p, -1));
    HeldPoly g(to_poly(UPoly{1, 1, 0, 0, 1}));
    EXPECT_TRUE(is_irreducible(g.p, -1));
    HeldPoly square(to_poly(mul(UPoly{1, 1, 0, 0, 1}, UPoly{1, 1, 0, 0, 1})));
    EXPECT_EQ(irreducibility(square.p, -1, &factor.p), -1);
    EXPECT_EQ(from_poly(factor.p), (UPoly{1, 1, 0, 0, 1}));
    EXPECT_FALSE(is_irreducible(square.p, -1));
}

TEST(Irreducible, ReducibleInputsGiveAProperFactor) {
    OneVarField field(101);
    test_rng.seed(5);
    for (int c = 0; c < 12; c++) {
        const UPoly a = random_irreducible(1 + c % 4, test_draw);
        const UPoly b = random_irreducible(2 + c % 5, test_draw);
        // A repeated factor, and two factors of different degrees.
        const UPoly f = (c % 2) ? mul(upow(a, 2), b) : (deg(a) == deg(b) ? mul(a, mul(b, b)) : mul(a, b));
        UPoly g;
        EXPECT_EQ(irred(f, &g), -99) << to_text(f);
        EXPECT_GT(deg(g), 0);
        EXPECT_LT(deg(g), deg(f));
        EXPECT_TRUE(rem(f, g).empty()) << to_text(g) << " does not divide" << to_text(f);
    }
}

TEST(Irreducible, Errors) {
    {
        PrimeRing ring(0);
        AttachedVars vars(1);
        quoly* q = poly_quoly(build_poly(1, {{1, {2}}, {1, {0}}}));
        EXPECT_TARVEX_ERROR(irreducible_poly(&q, -1), 284);
        free_quoly(&q);
    }
    {
        PrimeRing ring(15);
        mod_is_prime = 0;
        AttachedVars vars(1);
        quoly* q = poly_quoly(build_poly(1, {{1, {2}}, {1, {0}}}));
        EXPECT_TARVEX_ERROR(irreducible_poly(&q, -1), 293);
        free_quoly(&q);
    }
    {
        OneVarField field(7);
        quoly* q = poly_quoly(build_poly(1, {{1, {2}}, {1, {0}}}));
        q->den = build_poly(1, {{1, {1}}});
        EXPECT_TARVEX_ERROR(irreducible_poly(&q, -1), 186);
        free_quoly(&q);
        q = poly_quoly(build_poly(1, {{1, {2}}, {1, {0}}}));
        // A level asked for without an extension field.
        EXPECT_TARVEX_ERROR(irreducible_poly(&q, 1), 300);
        free_quoly(&q);
    }
}

}  // namespace
