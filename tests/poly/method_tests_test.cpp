// Method-choice tests: each branch of the gcd driver's two modular-route
// decisions reached with operands whose storage estimates are worked out by
// hand, and the dense two-variable product's conditions one at a time, each
// next to a neighbour that passes.
#include <gtest/gtest.h>

#include <vector>

#include "numbers/ring.h"
#include "poly/method_tests.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "support/poly_build.h"

namespace {

struct GlobalsGuard {
    RingStateGuard ring;
    int32_t s_mod_method_diff = mod_method_diff;
    int16_t s_field_depth = field_depth;
    int s_modout_above_field = modout_above_field;
    ~GlobalsGuard() {
        mod_method_diff = s_mod_method_diff;
        field_depth = s_field_depth;
        modout_above_field = s_modout_above_field;
    }
};

struct Poly {
    polynode* p;
    Poly(int nvars, const TermList& t) : p(build_poly(nvars, t)) {}
    ~Poly() { free_poly(&p); }
    Poly(const Poly&) = delete;
    Poly& operator=(const Poly&) = delete;
    operator polynode*() const { return p; }
};

// x^n + 1: 13 + 39 + 39 = 91.
TermList binomial(int32_t n) { return {{1, {n}}, {1, {0}}}; }

// c_i x^i for i = 1 .. n with one-digit c_i: 52 per term.
TermList dense_one(int32_t n) {
    TermList t;
    for (int32_t i = 1; i <= n; i++) t.emplace_back(i + 1, std::vector<int32_t>{i});
    return t;
}

// x (y + y^2 + ... + y^m) + 1 in two variables: 13 + 52 m + 39.
TermList linear_in_x(int32_t m) {
    TermList t;
    for (int32_t j = 1; j <= m; j++) t.emplace_back(1, std::vector<int32_t>{1, j});
    t.emplace_back(1, std::vector<int32_t>{0, 0});
    return t;
}

TEST(ModDoChinese, DegreeGap) {
    GlobalsGuard guard;
    mod_method_diff = 6;
    Poly v20(1, binomial(20));
    EXPECT_EQ(mod_do_Chinese(nullptr, v20, 13), 1);   // gap 7
    EXPECT_EQ(mod_do_Chinese(nullptr, v20, 17), 0);   // gap 3, 18 < 20: the sizes decide
    EXPECT_EQ(mod_do_Chinese(nullptr, v20, 14), 1);   // gap 6 is not past 6, but 20 < 36
    Poly v12(1, binomial(12));
    EXPECT_EQ(mod_do_Chinese(nullptr, v12, 10), 0);   // gap 2, 12 < 12 fails
    EXPECT_EQ(mod_do_Chinese(nullptr, v12, 9), 1);    // gap 3, 12 < 18
    Poly v5(1, binomial(5));
    EXPECT_EQ(mod_do_Chinese(nullptr, v5, 8), 0);     // a negative gap decides nothing
    mod_method_diff = 1;
    EXPECT_EQ(mod_do_Chinese(nullptr, v20, 18), 1);
}

TEST(ModDoChinese, Sizes) {
    GlobalsGuard guard;
    mod_method_diff = 6;
    Poly small(1, binomial(1));          // 91, degree 1
    Poly five(1, dense_one(5));          // 260
    Poly six(1, dense_one(6));           // 312
    Poly four(1, dense_one(4));          // 208
    Poly mid(2, linear_in_x(3));         // 208, degree 1
    Poly low(2, linear_in_x(1));         // 104, degree 1

    // Below 150 at degree 1: no whatever u is.
    EXPECT_EQ(mod_do_Chinese(six, small, 1), 0);
    EXPECT_EQ(mod_do_Chinese(six, low, 1), 0);
    // v past 250: yes whatever u is.
    EXPECT_EQ(mod_do_Chinese(nullptr, five, 5), 1);
    EXPECT_EQ(mod_do_Chinese(small, six, 6), 1);
    // Otherwise u decides.
    EXPECT_EQ(mod_do_Chinese(nullptr, mid, 1), 0);
    EXPECT_EQ(mod_do_Chinese(small, mid, 1), 0);
    EXPECT_EQ(mod_do_Chinese(four, mid, 1), 0);
    EXPECT_EQ(mod_do_Chinese(five, mid, 1), 1);
    EXPECT_EQ(mod_do_Chinese(five, four, 4), 1);
    EXPECT_EQ(mod_do_Chinese(four, four, 4), 0);

    // Machine words weigh 31: x (y + .. + y^4) + 1 is 13 + 4 x 52 + 39 = 260
    // with digits, 13 + 4 x 44 + 31 = 220 in words.
    Poly in_digits(2, linear_in_x(4));
    EXPECT_EQ(mod_do_Chinese(nullptr, in_digits, 1), 1);
    RingStateGuard words;
    lintmode = 1;
    Poly in_words(2, linear_in_x(4));
    EXPECT_EQ(mod_do_Chinese(nullptr, in_words, 1), 0);
}

TEST(DoModMethodNow, FieldLevelsNeedForce) {
    GlobalsGuard guard;
    mod_method_diff = 6;
    Poly v20(1, binomial(20));
    Poly six(1, dense_one(6));
    field_depth = 2;
    EXPECT_EQ(do_mod_method_now(six, v20, 13, 0), 0);
    EXPECT_EQ(do_mod_method_now(six, six, 6, 0), 0);
    EXPECT_EQ(do_mod_method_now(six, v20, 13, 1), 1);
    field_depth = 0;
    EXPECT_EQ(do_mod_method_now(nullptr, v20, 13, 0), 1);
    EXPECT_EQ(do_mod_method_now(nullptr, v20, 17, 0), 0);
    Poly v12(1, binomial(12));
    EXPECT_EQ(do_mod_method_now(nullptr, v12, 10, 0), 0);
    EXPECT_EQ(do_mod_method_now(nullptr, v12, 9, 0), 1);
}

TEST(DoModMethodNow, Sizes) {
    GlobalsGuard guard;
    mod_method_diff = 6;
    Poly five(1, dense_one(5));          // 260
    Poly six(1, dense_one(6));           // 312
    Poly seven(1, dense_one(7));         // 364 (stops there)
    Poly small(2, linear_in_x(2));       // 156, degree 1
    Poly mid(2, linear_in_x(3));         // 208, degree 1

    EXPECT_EQ(do_mod_method_now(nullptr, six, 6, 0), 1);    // past 280
    EXPECT_EQ(do_mod_method_now(nullptr, seven, 7, 0), 1);  // past 350
    EXPECT_EQ(do_mod_method_now(nullptr, five, 5, 0), 0);   // 260: u decides, and there is none
    EXPECT_EQ(do_mod_method_now(seven, small, 1, 0), 0);    // below 200 at degree 1
    EXPECT_EQ(do_mod_method_now(six, mid, 1, 0), 0);        // u at 312 is not past 350
    EXPECT_EQ(do_mod_method_now(seven, mid, 1, 0), 1);
    EXPECT_EQ(do_mod_method_now(seven, five, 5, 0), 1);
    // The same v at 260 is past mod_do_Chinese's 250.
    EXPECT_EQ(mod_do_Chinese(nullptr, five, 5), 1);
}

// ------------------------------------------------------------ dense two-variable products

// x^i (y^h + 1) for i = lo .. hi, or x^i alone when h is 0; an exponent 0
// gives the constant 1 (a top number node). Extra variables get exponent 0.
TermList top_run(int32_t lo, int32_t hi, int32_t h, int nvars = 2) {
    TermList t;
    for (int32_t i = lo; i <= hi; i++) {
        std::vector<int32_t> e(nvars, 0);
        e[0] = i;
        t.emplace_back(1, e);
        if (h > 0 && i > 0) {
            e[1] = h;
            t.emplace_back(1, e);
        }
    }
    return t;
}

int both_ways(const Poly& a, const Poly& b) {
    int r = try_fast_2_var(a, b);
    EXPECT_EQ(r, try_fast_2_var(b, a));
    return r;
}

TEST(TryFast2Var, TermCountsAndDegrees) {
    GlobalsGuard guard;
    field_depth = 0;
    modout_above_field = 0;
    Poly a(2, top_run(30, 60, 5));       // 31 terms, degrees 30 .. 60
    Poly b(2, top_run(15, 40, 0));       // 26 terms
    EXPECT_EQ(both_ways(a, b), 1);
    EXPECT_EQ(both_ways(a, a), 1);

    Poly b25(2, top_run(16, 40, 0));
    EXPECT_EQ(both_ways(a, b25), 0);
    Poly a25(2, top_run(36, 60, 5));
    EXPECT_EQ(both_ways(a25, b), 0);

    // Top degree above 700.
    Poly a701(2, top_run(676, 701, 0));
    Poly b100(2, top_run(75, 100, 0));
    EXPECT_EQ(both_ways(a701, b100), 0);
    // Top degrees adding up to more than 700.
    Poly a400(2, top_run(375, 400, 0));
    Poly b301(2, top_run(276, 301, 0));
    Poly b300(2, top_run(275, 300, 0));
    EXPECT_EQ(both_ways(a400, b301), 0);
    EXPECT_EQ(both_ways(a400, b300), 1);
    // One top degree more than 9 times the other.
    Poly a280(2, top_run(255, 280, 0));
    Poly b31(2, top_run(6, 31, 0));
    Poly b32(2, top_run(7, 32, 0));
    EXPECT_EQ(both_ways(a280, b31), 0);
    EXPECT_EQ(both_ways(a280, b32), 1);
}

TEST(TryFast2Var, TermsMustBeDenseEnough) {
    GlobalsGuard guard;
    field_depth = 0;
    modout_above_field = 0;
    Poly b(2, top_run(15, 40, 0));
    // 30 top terms over degrees 0 .. 90: x^90, x^87, .., x^6 and the constant.
    TermList t;
    for (int32_t i = 90; i >= 6; i -= 3) t.emplace_back(1, std::vector<int32_t>{i, 0});
    t.emplace_back(1, std::vector<int32_t>{0, 0});
    Poly a30(2, t);
    EXPECT_EQ(both_ways(a30, b), 0);   // 3 x 30 is not more than 90
    t.emplace_back(1, std::vector<int32_t>{3, 0});
    Poly a31(2, t);
    EXPECT_EQ(both_ways(a31, b), 1);
    // Without the constant the span ends at the last top exponent.
    t.pop_back();
    t.pop_back();
    t.emplace_back(1, std::vector<int32_t>{4, 0});
    Poly a30b(2, t);                   // 90 .. 4: 3 x 30 > 86
    EXPECT_EQ(both_ways(a30b, b), 1);
    // A top term over y alone ends the span at 0 as well.
    t.pop_back();
    t.emplace_back(1, std::vector<int32_t>{0, 2});
    Poly a30y(2, t);
    EXPECT_EQ(both_ways(a30y, b), 0);
}

TEST(TryFast2Var, SecondVariableDegrees) {
    GlobalsGuard guard;
    field_depth = 0;
    modout_above_field = 0;
    Poly b(2, top_run(15, 40, 0));
    Poly a701(2, top_run(30, 60, 701));
    EXPECT_EQ(both_ways(a701, b), 0);
    Poly a700(2, top_run(30, 60, 700));
    EXPECT_EQ(both_ways(a700, b), 1);
    Poly a400(2, top_run(30, 60, 400));
    Poly b301(2, top_run(15, 40, 301));
    Poly b300(2, top_run(15, 40, 300));
    EXPECT_EQ(both_ways(a400, b301), 0);
    EXPECT_EQ(both_ways(a400, b300), 1);
}

TEST(TryFast2Var, AThirdVariableOrAFieldSaysNo) {
    GlobalsGuard guard;
    field_depth = 0;
    modout_above_field = 0;
    Poly b(3, top_run(15, 40, 0, 3));
    Poly a(3, top_run(30, 60, 5, 3));
    EXPECT_EQ(both_ways(a, b), 1);
    // One coefficient y^5 z + 1: its first term's coefficient is z, not a number.
    TermList t = top_run(30, 60, 5, 3);
    TermList zt = t;
    zt.emplace_back(1, std::vector<int32_t>{45, 5, 1});
    Poly az(3, zt);
    EXPECT_EQ(both_ways(az, b), 0);
    // One coefficient y^5 + z + 1: a later term of it holds z.
    zt = t;
    zt.emplace_back(1, std::vector<int32_t>{45, 0, 1});
    Poly az2(3, zt);
    EXPECT_EQ(both_ways(az2, b), 0);
    // One coefficient z alone.
    zt = top_run(30, 59, 5, 3);
    zt.emplace_back(1, std::vector<int32_t>{60, 0, 1});
    Poly az3(3, zt);
    EXPECT_EQ(both_ways(az3, b), 0);

    field_depth = 2;
    EXPECT_EQ(both_ways(a, b), 0);
    field_depth = 0;
    modout_above_field = 1;
    EXPECT_EQ(both_ways(a, b), 0);
    modout_above_field = 0;
    finf = 1;
    EXPECT_EQ(both_ways(a, b), 0);
}

}  // namespace
