// Node tests and small queries: conversions checked against GMP, the unit
// tests in every ground ring, chain lengths and levels, and the in-place
// reshapings (split, exponent shifts) checked by evaluating before and after.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

// Residues modulo m in machine words, restored at the end of the scope.
struct ModularRing {
    RingStateGuard saved;
    explicit ModularRing(int32_t m, int prime = 1) {
        modularmode = 1;
        lintmode = 1;
        install_modulus(m);
        mod_is_prime = prime;
    }
};

quoly* number_quoly(const mpz_class& v) {
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    q->nnum = from_mpz(v);
    q->den = nullptr;
    q->rat = 0;
    return q;
}

// A polynomial quoly without denominator; a lone number becomes a number quoly.
quoly* poly_quoly(int nvars, const TermList& t) {
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->pnum = build_poly(nvars, t);
    q->den = nullptr;
    q->rat = 0;
    if (q->pnum->numb && !q->pnum->next) polynum_to_quoly(&q);
    return q;
}

mpz_class power(const mpz_class& x, int32_t e) {
    mpz_class r;
    mpz_pow_ui(r.get_mpz_t(), x.get_mpz_t(), static_cast<unsigned long>(e));
    return r;
}

// p evaluated at x[level], x[level + 1], ... straight from the nodes.
mpz_class eval(const polynode* p, const std::vector<mpz_class>& x, size_t level = 0) {
    mpz_class sum = 0;
    for (; p; p = p->next) {
        mpz_class c = p->numb ? number_value(p->ncoef) : eval(p->pcoef, x, level + 1);
        sum += c * power(x[level], p->exp);
    }
    return sum;
}

mpz_class eval(const quoly* q, const std::vector<mpz_class>& x) {
    return q->isnum ? number_value(q->nnum) : eval(q->pnum, x);
}

const std::vector<std::vector<mpz_class>> kPoints = {
    {2, 3}, {-3, 5}, {7, -2}, {10, 1}, {-1, 11}};

// ------------------------------------------------------------- conversions

TEST(NodeTestsConvert, TwoDigitNumbersFitUpToSevenInTheHeadDigit) {
    imag* a = from_mpz(mpz_class(7) * (1 << 28) + 5);
    imag* b = from_mpz(mpz_class(8) * (1 << 28));
    imag* c = from_mpz(-(mpz_class(7) * (1 << 28) + 5));
    EXPECT_EQ(convert_to_int(a), 1879048197);
    EXPECT_EQ(convert_to_int(b), INT_DOES_NOT_FIT);
    EXPECT_EQ(INT_DOES_NOT_FIT, -2147483647);
    EXPECT_EQ(convert_to_int(c), -1879048197);
    release(a);
    release(b);
    release(c);
}

TEST(NodeTestsConvert, ConvertToIntAgreesWithGmpOnRandomValues) {
    NumberGen gen(0x1106);
    const mpz_class limit = mpz_class(2147483647);
    for (int i = 0; i < scaled(2000); i++) {
        mpz_class v = gen.chance(40) ? gen.edge_value() : gen.digits(gen.length(1, 3));
        if (gen.chance(20)) v = gen.between(-8, 8) * (mpz_class(1) << 28) + gen.between(-5, 5);
        if (v > 0 && v < (mpz_class(1) << 28) && gen.chance(50)) v = -v;
        imag* x = from_mpz(v);
        int32_t want = abs(v) <= limit ? static_cast<int32_t>(v.get_si()) : INT_DOES_NOT_FIT;
        ASSERT_EQ(convert_to_int(x), want) << describe(v) << " " << gen.trace();
        ASSERT_EQ(big_convert_to_int(x), want) << describe(v) << " " << gen.trace();
        quoly* q;
        newquoly(&q);
        q->isnum = 1;
        q->nnum = x;
        q->den = nullptr;
        ASSERT_EQ(quoly_convert_to_int(q), want);
        free_quoly(&q);
    }
}

TEST(NodeTestsConvert, MachineWordModesReturnTheValueWord) {
    RingStateGuard ring;
    lintmode = 1;
    imag* x = empty_number();
    x->value = -2147483647 - 1;
    EXPECT_EQ(convert_to_int(x), -2147483647 - 1);
    EXPECT_EQ(big_convert_to_int(x), -2147483647 - 1);
    free_imag(&x);
}

TEST(NodeTestsConvert, PolynomialQuolyConvertsItsLeadingNumber) {
    RecordLedger ledger;
    // 12 x^3 y + 5: the leading chain ends at 12.
    quoly* q = poly_quoly(2, {{12, {3, 1}}, {5, {0, 0}}});
    EXPECT_EQ(quoly_convert_to_int(q), 12);
    EXPECT_EQ(big_quoly_convert_to_int(q), 12);
    quoly* a = number_quoly(mpz_class("-300000000000"));
    quoly* b = number_quoly(-3);
    EXPECT_TRUE(quoly_larger(b, a));
    EXPECT_FALSE(quoly_larger(a, b));
    EXPECT_FALSE(quoly_larger(b, b));
    free_quoly(&q);
    free_quoly(&a);
    free_quoly(&b);
    EXPECT_TRUE(ledger.balanced());
}

// ------------------------------------------------------------- sizes

TEST(NodeTestsSizes, Logg2IsTheBitLength) {
    NumberGen gen(0x10602);
    for (int i = 0; i < scaled(500); i++) {
        mpz_class v = gen.nonneg_digits(gen.length(1, 6));
        if (v == 0) v = 1;
        imag* x = from_mpz(v);
        imag* y = from_mpz(-v);
        int32_t bits = static_cast<int32_t>(mpz_sizeinbase(v.get_mpz_t(), 2));
        ASSERT_EQ(logg2(x), bits) << describe(v);
        ASSERT_EQ(logg2_neg(y), bits) << describe(v);
        release(x);
        release(y);
    }
}

TEST(NodeTestsSizes, PSizeOfReadsTheHeadDigitInTwosComplement) {
    struct Case { long v; int32_t size; } cases[] = {
        {0, -1}, {1, 0}, {4, 2}, {-1, 0}, {-2, 0}, {-4, 1}, {-5, 2}, {1L << 28, 28}, {-(1L << 28), 28}};
    for (const Case& c : cases) {
        polynode* p = build_poly(1, {{c.v, {0}}});
        if (c.v == 0) {
            // The zero polynomial is the number node 0.
            ASSERT_TRUE(p->numb);
        }
        EXPECT_EQ(p_size_of(p), c.size) << c.v;
        free_poly(&p);
    }
}

TEST(NodeTestsSizes, OppositesMatchesNegationDigitByDigit) {
    NumberGen gen(0x10603);
    for (int i = 0; i < scaled(300); i++) {
        mpz_class v = gen.digits(gen.length(1, 5));
        imag* a = from_mpz(v);
        imag* b = from_mpz(-v);
        imag* c = from_mpz(-v + (gen.chance(50) ? mpz_class(1) : mpz_class(1) << 28));
        ASSERT_TRUE(opposites(a, b)) << describe(v);
        ASSERT_FALSE(opposites(a, c)) << describe(v);
        release(a);
        release(b);
        release(c);
    }
}

// ------------------------------------------------------------- zero and units

TEST(NodeTestsUnits, ZeroOneAndMinusOneInDigitMode) {
    RecordLedger ledger;
    polynode* zero = build_poly(1, {});
    polynode* one = build_poly(1, {{1, {0}}});
    polynode* m1 = build_poly(1, {{-1, {0}}});
    polynode* big = build_poly(1, {{mpz_class(1) << 28, {0}}});   // digits 1, 0
    polynode* xm1 = build_poly(1, {{1, {1}}, {-1, {0}}});
    EXPECT_TRUE(poly_iszero(zero));
    EXPECT_TRUE(node_iszero(zero));
    EXPECT_FALSE(poly_iszero(one));
    EXPECT_FALSE(poly_iszero(nullptr));
    EXPECT_TRUE(poly_eq_1(one));
    EXPECT_FALSE(poly_eq_1(big)) << "head digit 1 but two digits";
    EXPECT_TRUE(poly_eq_m1(m1));
    EXPECT_FALSE(poly_eq_m1(one));
    EXPECT_TRUE(poly_eq_pm1(one));
    EXPECT_TRUE(poly_eq_pm1(m1));
    EXPECT_FALSE(poly_eq_pm1(zero));
    EXPECT_FALSE(poly_eq_pm1(xm1));
    EXPECT_TRUE(poly_eq_m1(xm1->next)) << "the constant term of x - 1 on its own";

    quoly* q1 = number_quoly(1);
    quoly* qm1 = number_quoly(-1);
    quoly* q0 = number_quoly(0);
    EXPECT_TRUE(quoly_eq_1(q1));
    EXPECT_FALSE(quoly_eq_1(qm1));
    EXPECT_TRUE(quoly_eq_m1(qm1));
    EXPECT_TRUE(quoly_iszero(q0));
    EXPECT_FALSE(quoly_iszero(q1));

    for (polynode** p : {&zero, &one, &m1, &big, &xm1}) free_poly(p);
    for (quoly** q : {&q1, &qm1, &q0}) free_quoly(q);
    EXPECT_TRUE(ledger.balanced());
}

TEST(NodeTestsUnits, MinusOneModuloSevenAndInCharacteristicTwo) {
    {
        ModularRing ring(7);
        polynode* six = build_poly(1, {{6, {0}}});
        polynode* one = build_poly(1, {{1, {0}}});
        EXPECT_EQ(six->ncoef->value, 6);
        EXPECT_TRUE(poly_eq_m1(six));
        EXPECT_FALSE(poly_eq_m1(one));
        EXPECT_TRUE(poly_eq_1(one));
        free_poly(&six);
        free_poly(&one);
    }
    {
        ModularRing ring(256);
        ASSERT_TRUE(finf);
        polynode* one = build_poly(1, {{1, {0}}});
        polynode* e255 = build_poly(1, {{255, {0}}});
        EXPECT_TRUE(poly_eq_m1(one)) << "-1 = 1 in characteristic 2";
        EXPECT_TRUE(poly_eq_1(one));
        EXPECT_FALSE(poly_eq_m1(e255));
        free_poly(&one);
        free_poly(&e255);
    }
    {
        RingStateGuard ring;
        lintmode = 1;
        quoly* q;
        newquoly(&q);
        q->isnum = 1;
        q->nnum = empty_number();
        q->nnum->value = -1;
        q->den = nullptr;
        EXPECT_TRUE(quoly_eq_m1(q));
        EXPECT_FALSE(lint_quoly_iszero(q));
        q->nnum->value = 0;
        EXPECT_TRUE(lint_quoly_iszero(q));
        free_quoly(&q);
    }
}

TEST(NodeTestsUnits, SmallMonomialAndHeightOne) {
    VarGlobalsGuard g;
    struct Case {
        TermList t;
        int small, mono, height1;
    } cases[] = {
        {{{5, {0, 0}}}, 1, 1, 1},
        {{{1, {0, 3}}}, 1, 1, 0},                     // y^3: a y chain below x
        {{{-1, {2, 0}}}, 1, 1, 1},                    // -x^2
        {{{2, {2, 0}}}, 0, 1, 1},                     // 2x^2
        {{{1, {2, 1}}}, 0, 1, 0},                     // x^2 y
        {{{1, {1, 0}}, {1, {0, 0}}}, 0, 0, 1},        // x + 1
        {{{3, {4, 0}}, {1, {0, 2}}}, 0, 0, 0},        // 3x^4 + y^2
    };
    for (const Case& c : cases) {
        polynode* p = build_poly(2, c.t);
        EXPECT_EQ(poly_small(p), c.small) << terms_to_string(c.t);
        EXPECT_EQ(monomial(p), c.mono) << terms_to_string(c.t);
        EXPECT_EQ(height_is_1(p), c.height1) << terms_to_string(c.t);
        free_poly(&p);
    }
    EXPECT_TRUE(height_is_1(nullptr));

    // y + x^-1 with Laurent exponents is not a single power of y.
    laurent = 1;
    polynode* p = build_poly(2, {{1, {0, 1}}, {1, {-1, 0}}});
    EXPECT_FALSE(poly_small(p));
    free_poly(&p);
}

TEST(NodeTestsUnits, IsPolyVarGivesTheLevel) {
    RecordLedger ledger;
    struct Case {
        TermList t;
        int yes;
        int32_t level;
    } cases[] = {
        {{{1, {1, 0, 0}}}, 1, 1},
        {{{1, {0, 1, 0}}}, 1, 2},
        {{{1, {0, 0, 1}}}, 1, 3},
        {{{2, {0, 1, 0}}}, 0, 0},
        {{{-1, {0, 1, 0}}}, 0, 0},
        {{{1, {0, 2, 0}}}, 0, 0},
        {{{1, {0, 1, 1}}}, 0, 0},
        {{{1, {1, 0, 0}}, {1, {0, 0, 0}}}, 0, 0},
        {{{1, {0, 0, 0}}}, 0, 0},
    };
    for (const Case& c : cases) {
        quoly* q = poly_quoly(3, c.t);
        int32_t level = -5;
        EXPECT_EQ(is_poly_var(q, &level), c.yes) << terms_to_string(c.t);
        if (c.yes) {
            EXPECT_EQ(level, c.level) << terms_to_string(c.t);
        }
        free_quoly(&q);
    }
    quoly* q = poly_quoly(1, {{1, {1}}});
    q->den = build_poly(1, {{2, {0}}});
    int32_t level;
    EXPECT_FALSE(is_poly_var(q, &level)) << "x/2 is not a variable";
    free_quoly(&q);

    quoly* n = number_quoly(4);
    EXPECT_FALSE(is_array_param(n));
    n->den = reinterpret_cast<polynode*>(n);   // any non-null word marks a parameter
    EXPECT_TRUE(is_array_param(n));
    n->den = nullptr;
    free_quoly(&n);
    EXPECT_TRUE(ledger.balanced());
}

// ------------------------------------------------------------- chains and levels

TEST(NodeTestsChains, LengthsAndFastLengthCaps) {
    TermList t;
    for (int e = 9; e >= 0; e--) t.push_back({e + 1, {e}});
    polynode* p = build_poly(1, t);
    EXPECT_EQ(poly_length(p), 10);
    EXPECT_EQ(fast_poly_length(p, 5), 6);
    EXPECT_EQ(fast_poly_length(p, 0), 1);
    EXPECT_EQ(fast_poly_length(p, -3), 1);
    EXPECT_EQ(fast_poly_length(p, 9), 10);
    EXPECT_EQ(fast_poly_length(p, 100), 10);
    EXPECT_EQ(fast_poly_length(nullptr, 5), 0);
    EXPECT_EQ(poly_length(nullptr), 0);
    EXPECT_EQ(lastnode(p), lastnum(p)) << "the last term is the number 1";
    EXPECT_TRUE(lastnode(p)->numb);
    EXPECT_EQ(number_value(leading_coef(p)->ncoef), 10);
    free_poly(&p);
}

TEST(NodeTestsChains, ExpPolyLengthMarksSparseChains) {
    VarGlobalsGuard g;
    number_polys = 1;
    polynode* sparse_p = build_poly(1, {{1, {100}}, {1, {0}}});
    int32_t last = -9;
    int flag = 1;
    EXPECT_EQ(exp_poly_length(sparse_p, &last, &flag), -2);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(flag, 0) << "not modular";

    TermList dense;
    for (int e = 12; e >= 3; e--) dense.push_back({e, {e}});
    polynode* d = build_poly(1, dense);
    EXPECT_EQ(exp_poly_length(d, &last, &flag), 10);
    EXPECT_EQ(last, 3);
    free_poly(&sparse_p);
    free_poly(&d);
}

TEST(NodeTestsChains, ExpPolyLengthOneVariableFlagModuloP) {
    VarGlobalsGuard g;
    ModularRing ring(101);
    int32_t last;
    int flag;

    // One variable: the flag is set whatever was asked.
    number_polys = 1;
    polynode* p = build_poly(1, {{3, {4}}, {2, {1}}});
    flag = 0;
    EXPECT_EQ(exp_poly_length(p, &last, &flag), 2);
    EXPECT_EQ(flag, 1);
    free_poly(&p);

    // Two variables: only asked, and only while every coefficient is a number.
    number_polys = 2;
    polynode* q = build_poly(2, {{3, {4, 0}}, {2, {1, 0}}, {7, {0, 0}}});
    flag = 1;
    exp_poly_length(q, &last, &flag);
    EXPECT_EQ(flag, 1);
    flag = 0;
    exp_poly_length(q, &last, &flag);
    EXPECT_EQ(flag, 0);
    polynode* r = build_poly(2, {{3, {4, 0}}, {2, {1, 1}}});
    flag = 1;
    exp_poly_length(r, &last, &flag);
    EXPECT_EQ(flag, 0) << "x y has a y coefficient";
    free_poly(&q);
    free_poly(&r);

    // A negative last exponent clears it.
    laurent = 1;
    number_polys = 1;
    polynode* s = build_poly(1, {{1, {2}}, {1, {-3}}});
    flag = 1;
    exp_poly_length(s, &last, &flag);
    EXPECT_EQ(last, -3);
    EXPECT_EQ(flag, 0);
    free_poly(&s);
}

TEST(NodeTestsChains, DepthAndLevel) {
    polynode* five = build_poly(3, {{5, {0, 0, 0}}});
    polynode* y = build_poly(3, {{1, {0, 1, 0}}});
    polynode* z2 = build_poly(3, {{1, {0, 0, 2}}, {1, {0, 0, 0}}});
    polynode* x = build_poly(3, {{1, {1, 0, 0}}, {4, {0, 0, 1}}});
    EXPECT_EQ(poly_depth(five), 16384);
    EXPECT_EQ(poly_level(five), 0);
    EXPECT_EQ(poly_depth(y), 2);
    EXPECT_EQ(poly_level(y), 2);
    EXPECT_EQ(poly_depth(z2), 3);
    EXPECT_EQ(poly_level(z2), 3);
    EXPECT_EQ(poly_depth(x), 1);
    EXPECT_EQ(poly_level(x), 1);
    for (polynode** p : {&five, &y, &z2, &x}) free_poly(p);
}

TEST(NodeTestsChains, DegreesAlongTheLeadingChain) {
    // x^3 (y^2 z^4 + y) + x z^7
    polynode* p = build_poly(3, {{1, {3, 2, 4}}, {1, {3, 1, 0}}, {1, {1, 0, 7}}});
    EXPECT_EQ(real_degree(p, 1), 3);
    EXPECT_EQ(real_degree(p, 2), 2);
    EXPECT_EQ(real_degree(p, 3), 4);
    EXPECT_EQ(lastexp(p), 0) << "the last number node reached";
    quoly* q = poly_quoly(3, {{1, {3, 2, 4}}});
    EXPECT_EQ(real_q_degree(q, 2), 2);
    quoly* n = number_quoly(9);
    EXPECT_EQ(real_q_degree(n, 2), 0);

    // z^5 + 1 padded over x and y: its z degree is clean.
    polynode* z = build_poly(3, {{1, {0, 0, 5}}, {1, {0, 0, 0}}});
    EXPECT_EQ(clean_degree(z, 3), 5);
    EXPECT_EQ(clean_degree(z, 1), 0);
    polynode* five = build_poly(3, {{5, {0, 0, 0}}});
    EXPECT_EQ(clean_degree(five, 3), 0);
    free_poly(&p);
    free_poly(&z);
    free_poly(&five);
    free_quoly(&q);
    free_quoly(&n);
}

TEST(NodeTestsChains, BadShapesAreFatalInternalErrors) {
    polynode* p = build_poly(2, {{1, {3, 2}}, {1, {0, 0}}});
    testing::internal::CaptureStdout();
    EXPECT_THROW(clean_degree(p, 2), TarvexUnwind);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("*** Tarvex error. bad u in clean_degree\n"), std::string::npos) << out;

    // y padded over x, then the number 3 where a z level should be.
    polynode* y = term_node(0, build_poly(1, {{3, {0}}}));
    testing::internal::CaptureStdout();
    EXPECT_THROW(clean_degree(y, 3), TarvexUnwind);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("bad number node in clean_degree"), std::string::npos) << out;

    polynode* five = build_poly(1, {{5, {0}}});
    int32_t levels;
    testing::internal::CaptureStdout();
    EXPECT_THROW(all_coefs_numb(five, &levels), TarvexUnwind);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("bad number node in all_coefs_numb"), std::string::npos) << out;
    free_poly(&p);
    free_poly(&y);
    free_poly(&five);
}

TEST(NodeTestsChains, AllCoefsNumbSkipsPaddingLevels) {
    int32_t levels = -1;
    // y^2 + 3y + 1 inside x: one padding level, then number coefficients.
    polynode* p = build_poly(2, {{1, {0, 2}}, {3, {0, 1}}, {1, {0, 0}}});
    EXPECT_EQ(all_coefs_numb(p, &levels), 1);
    EXPECT_EQ(levels, 1);
    polynode* q = build_poly(3, {{1, {0, 2, 1}}, {3, {0, 1, 0}}});
    EXPECT_EQ(all_coefs_numb(q, &levels), 0);
    EXPECT_EQ(levels, 1);
    free_poly(&p);
    free_poly(&q);
}

TEST(NodeTestsChains, DepthOnlyTwoAndDepthDensity) {
    int32_t first, maxdeg, last, count;
    // x^4 (y^3 + y) + x^2 y^5 + 7: two levels only.
    polynode* p = build_poly(2, {{1, {4, 3}}, {1, {4, 1}}, {1, {2, 5}}, {7, {0, 0}}});
    EXPECT_EQ(depth_only_2(p), 1);
    EXPECT_EQ(depth_density(p, &first, &maxdeg, &last, &count), 1);
    EXPECT_EQ(first, 4);
    EXPECT_EQ(maxdeg, 5);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(count, 3);
    // x^4 y z + x: a third level below the first coefficient.
    polynode* q = build_poly(3, {{1, {4, 1, 1}}, {1, {1, 0, 0}}});
    EXPECT_EQ(depth_only_2(q), 0);
    EXPECT_EQ(depth_density(q, &first, &maxdeg, &last, &count), 0);
    // x^4 (y^3 + y^2 z) + x^2: the third level hides in a later term.
    polynode* r = build_poly(3, {{1, {4, 3, 0}}, {1, {4, 2, 1}}, {1, {2, 0, 0}}});
    EXPECT_EQ(depth_only_2(r), 0);
    EXPECT_EQ(depth_density(r, &first, &maxdeg, &last, &count), 0);
    for (polynode** t : {&p, &q, &r}) free_poly(t);
}

// Three variable records x, y, z at levels 1, 2, 3.
struct Vars {
    pt rec[3] = {};
    Vars() {
        for (int i = 0; i < 3; i++) {
            rec[i].level = static_cast<int16_t>(i + 1);
            rec[i].next = i < 2 ? &rec[i + 1] : nullptr;
        }
    }
};

TEST(NodeTestsChains, FieldLevelsAlongTheLeadingChain) {
    VarGlobalsGuard g;
    Vars v;
    field_depth = 3;
    // x^2 (y z + 1) + 4: the chain reaches the z level before a number.
    polynode* p = build_poly(3, {{1, {2, 1, 1}}, {1, {2, 0, 0}}, {4, {0, 0, 0}}});
    pt* w = nullptr;
    polynode* c = field_leading_coef(p, &v.rec[0], &w);
    EXPECT_EQ(w, &v.rec[2]);
    EXPECT_EQ(c, p->pcoef->pcoef);
    EXPECT_EQ(invertible_coef(p, &v.rec[0]), 1);
    // 3 x^2 y + z: a number comes first.
    polynode* q = build_poly(3, {{3, {2, 1, 0}}, {1, {0, 0, 1}}});
    c = field_leading_coef(q, &v.rec[0], &w);
    EXPECT_TRUE(c->numb);
    EXPECT_EQ(w, &v.rec[2]);
    EXPECT_EQ(invertible_coef(q, &v.rec[0]), 0);
    polynode* five = build_poly(3, {{5, {0, 0, 0}}});
    EXPECT_EQ(invertible_coef(five, &v.rec[0]), 0);

    // first_coef_invrtble: the top term of p has coefficient y z + 1 (level 2
    // and deeper); its leading power of y is non-zero, so only level 2 is reached.
    EXPECT_EQ(first_coef_invrtble(p, 1), 0);
    field_depth = 2;
    EXPECT_EQ(first_coef_invrtble(p, 1), 1);
    // A coefficient padded over y reaches z.
    polynode* r = build_poly(3, {{1, {2, 0, 1}}});
    field_depth = 3;
    EXPECT_EQ(first_coef_invrtble(r, 1), 1);
    field_depth = 0;
    EXPECT_EQ(first_coef_invrtble(r, 1), 0);
    // A number node: invertible with field levels, or modulo a prime.
    EXPECT_EQ(first_coef_invrtble(five, 1), 0);
    {
        ModularRing ring(7);
        EXPECT_EQ(first_coef_invrtble(five, 1), 1);
        mod_is_prime = 0;
        EXPECT_EQ(first_coef_invrtble(five, 1), 0);
    }
    field_depth = 1;
    EXPECT_EQ(first_coef_invrtble(five, 1), 1);
    for (polynode** t : {&p, &q, &five, &r}) free_poly(t);
}

TEST(NodeTestsChains, FindHeightStepsOverCommonPadding) {
    Vars v;
    polynode* p = build_poly(3, {{1, {0, 0, 2}}, {1, {0, 0, 0}}});   // z^2 + 1
    polynode* q = build_poly(3, {{1, {0, 3, 1}}});                   // y^3 z
    polynode *a = p, *b = q;
    int16_t h = 0;
    pt* w = &v.rec[0];
    findHeight(&a, &b, &h, &w);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(w, &v.rec[1]);
    EXPECT_EQ(a, p->pcoef);
    EXPECT_EQ(b, q->pcoef);
    free_poly(&p);
    free_poly(&q);
}

// ------------------------------------------------------------- negative exponents

TEST(NodeTestsNegatives, AnynegsFindsAnExponentFiveLevelsDown) {
    VarGlobalsGuard g;
    laurent = 1;
    polynode* p = build_poly(5, {{1, {1, 2, 1, 3, -1}}, {1, {0, 0, 0, 0, 0}}});
    polynode* q = build_poly(5, {{1, {1, 2, 1, 3, 1}}, {1, {0, 0, 0, 0, 0}}});
    EXPECT_EQ(anynegs(p), 1);
    EXPECT_EQ(anynegs(q), 0);
    EXPECT_EQ(anynegs(nullptr), 0);

    // Per-level minima: entries start at 0 (negative mode).
    polynode* r = nullptr;
    for (int i = 0; i < 5; i++) r = term_node(0, nullptr, r);
    polynode* s = build_poly(5, {{1, {2, -2, 0, 1, -1}}, {1, {1, 1, -3, 0, 0}}, {1, {-1, 0, 0, 0, 0}}});
    find_negs(s, r);
    // The top level's minimum is the last top exponent; deeper levels are
    // visited only below coefficients that are more than a lone number.
    std::vector<int32_t> minima;
    for (polynode* e = r; e; e = e->next) minima.push_back(e->exp);
    EXPECT_EQ(minima, (std::vector<int32_t>{-1, -2, -3, 0, -1}));
    polynode* end = r;
    while (end->next) end = end->next;
    end->next = polygarb;
    polygarb = r;
    r->exp = 0;
    for (polynode** t : {&p, &q, &s}) free_poly(t);
}

TEST(NodeTestsNegatives, DenseAndSparseMatrices) {
    VarGlobalsGuard g;
    laurent = 1;
    RecordLedger ledger;
    std::vector<quoly*> cells = {number_quoly(3), poly_quoly(2, {{1, {1, 0}}}), nullptr,
                                 poly_quoly(2, {{1, {1, 1}}, {2, {0, 0}}})};
    EXPECT_EQ(negexponents(cells.data(), 2), 0);
    quoly* neg = poly_quoly(2, {{1, {1, -2}}, {1, {0, 0}}});
    std::swap(cells[2], neg);
    EXPECT_EQ(negexponents(cells.data(), 2), 1);
    EXPECT_EQ(negexponents(cells.data(), 1), 0) << "only the first cell";

    // Two frames; the negative entry sits in row 2,049.
    auto f1 = std::make_unique<sparse>();
    auto f2 = std::make_unique<sparse>();
    f1->next = f2.get();
    colm* e1;
    newcolm(&e1);
    e1->col = 1;
    e1->val = cells[1];
    e1->next = nullptr;
    f1->row[0] = e1;
    colm* e2;
    newcolm(&e2);
    e2->col = 7;
    e2->val = cells[2];
    e2->next = nullptr;
    f2->row[0] = e2;
    EXPECT_EQ(sparse_negexponents(f1.get(), 2048), 0);
    EXPECT_EQ(sparse_negexponents(f1.get(), 2049), 1);

    e1->next = e2;   // free both entries in one splice
    e2->next = colm_garb;
    colm_garb = e1;
    for (quoly*& q : cells) free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

// ------------------------------------------------------------- reshaping

TEST(NodeTestsReshape, RemoveDummyUnwrapsALoneNumber) {
    RecordLedger ledger;
    polynode* inner = build_poly(1, {{42, {0}}});
    imag* n = inner->ncoef;
    polynode* t = term_node(0, inner);
    remove_dummy(t);
    EXPECT_EQ(t->numb, 1);
    EXPECT_EQ(t->ncoef, n);
    EXPECT_EQ(polygarb, inner);
    EXPECT_EQ(inner->exp, 0);
    free_poly(&t);
    EXPECT_TRUE(ledger.balanced());
}

TEST(NodeTestsReshape, MultExponsScalesTheFirstNonPaddingLevel) {
    polynode* p = build_poly(2, {{1, {0, 2}}, {5, {0, 1}}, {7, {0, 0}}});   // y^2 + 5y + 7
    mult_expons(p, 3);
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {0, 6}}, {5, {0, 3}}, {7, {0, 0}}}));
    EXPECT_TRUE(check_poly_shape(p, 2));
    free_poly(&p);
}

TEST(NodeTestsReshape, SubExponsAndRestoreAreInverse) {
    RecordLedger ledger;
    struct Case { TermList t; int32_t k; } cases[] = {
        {{{1, {5, 0}}, {3, {2, 0}}}, 2},             // x^5 + 3x^2: the last term becomes 3
        {{{1, {5, 0}}, {1, {2, 1}}}, 2},             // x^5 + x^2 y: stays padded over y
        {{{2, {7, 1}}, {1, {4, 0}}, {-1, {3, 0}}}, 3},
        {{{1, {1, 0}}, {4, {0, 0}}}, 0},             // a constant term: nothing moves
    };
    for (const Case& c : cases) {
        polynode* p = build_poly(2, c.t);
        TermList before = read_poly(p, 2);
        polynode* saved = nullptr;
        sub_expons(p, &saved, c.k);
        EXPECT_TRUE(check_poly_shape(p, 2)) << terms_to_string(c.t);
        for (const auto& x : kPoints) {
            // p(x) = x^k * shifted(x)
            EXPECT_EQ(eval(p, x) * power(x[0], c.k), [&] {
                polynode* orig = build_poly(2, c.t);
                mpz_class v = eval(orig, x);
                free_poly(&orig);
                return v;
            }()) << terms_to_string(c.t);
        }
        restore_exps(p, saved, c.k);
        EXPECT_TRUE(check_poly_shape(p, 2));
        EXPECT_EQ(read_poly(p, 2), before);
        free_poly(&p);
    }
    EXPECT_TRUE(ledger.balanced());
}

// old a = a + x^k b, both sides evaluated at points.
void expect_split(int nvars, const TermList& t, int32_t k, const TermList& want_a, const TermList& want_b) {
    SCOPED_TRACE(terms_to_string(t) + " at " + std::to_string(k));
    RecordLedger ledger;
    quoly* a = poly_quoly(nvars, t);
    quoly* b = number_quoly(k);
    std::vector<mpz_class> before;
    for (const auto& x : kPoints) before.push_back(eval(a, x));

    split_poly(&a, &b);

    EXPECT_TRUE(check_quoly_normal(a, nvars));
    EXPECT_TRUE(check_quoly_normal(b, nvars));
    for (size_t i = 0; i < kPoints.size(); i++)
        EXPECT_EQ(eval(a, kPoints[i]) + power(kPoints[i][0], k) * eval(b, kPoints[i]), before[i]);
    auto terms = [nvars](quoly* q) {
        return q->isnum ? canonical_terms(nvars, {{number_value(q->nnum), std::vector<int32_t>(nvars, 0)}})
                        : read_poly(q->pnum, nvars);
    };
    EXPECT_EQ(terms(a), canonical_terms(nvars, want_a));
    EXPECT_EQ(terms(b), canonical_terms(nvars, want_b));
    free_quoly(&a);
    free_quoly(&b);
    EXPECT_TRUE(ledger.balanced());
}

TEST(NodeTestsReshape, SplitPolyAtAPower) {
    // 3x^5 + 2x + 1 at 2: a keeps 2x + 1, b takes 3x^3.
    expect_split(1, {{3, {5}}, {2, {1}}, {1, {0}}}, 2, {{2, {1}}, {1, {0}}}, {{3, {3}}});
    // k = 0: b takes everything.
    expect_split(1, {{3, {5}}, {1, {0}}}, 0, {}, {{3, {5}}, {1, {0}}});
    // k above the degree: nothing moves.
    expect_split(1, {{3, {5}}, {1, {0}}}, 6, {{3, {5}}, {1, {0}}}, {});
    // Every term divisible; the quotient is a polynomial.
    expect_split(1, {{3, {5}}, {2, {2}}}, 2, {}, {{3, {3}}, {2, {0}}});
    // Every term divisible; the quotient is a number.
    expect_split(1, {{-7, {4}}}, 4, {}, {{-7, {0}}});
    // The low part is a number.
    expect_split(1, {{3, {5}}, {9, {0}}}, 2, {{9, {0}}}, {{3, {3}}});
    // The high part collapses to a number.
    expect_split(1, {{3, {2}}, {1, {1}}, {1, {0}}}, 2, {{1, {1}}, {1, {0}}}, {{3, {0}}});
    // Two variables: x^3 y + x^2 + y at 2 gives y and x y + 1.
    expect_split(2, {{1, {3, 1}}, {1, {2, 0}}, {1, {0, 1}}}, 2, {{1, {0, 1}}}, {{1, {1, 1}}, {1, {0, 0}}});
    // x^2 (y + 2) + x at 2: the exponent-0 wrapper over y + 2 stays.
    expect_split(2, {{1, {2, 1}}, {2, {2, 0}}, {1, {1, 0}}}, 2, {{1, {1, 0}}}, {{1, {0, 1}}, {2, {0, 0}}});
    // A polynomial in y only is not split.
    expect_split(2, {{1, {0, 3}}, {1, {0, 0}}}, 1, {{1, {0, 3}}, {1, {0, 0}}}, {});
}

TEST(NodeTestsReshape, SplitPolyOfANumberLeavesIt) {
    RecordLedger ledger;
    quoly* a = number_quoly(12);
    quoly* b = number_quoly(3);
    quoly* a0 = a;
    split_poly(&a, &b);
    EXPECT_EQ(a, a0);
    EXPECT_EQ(number_value(a->nnum), 12);
    EXPECT_EQ(number_value(b->nnum), 0);
    free_quoly(&a);
    free_quoly(&b);
    EXPECT_TRUE(ledger.balanced());
}

// The coefficient of y^d, d the greatest power of y, as a polynomial in x, z.
TermList top_y_coefficient(const TermList& t) {
    TermList c = canonical_terms(3, t);
    int32_t d = -2147483647;
    for (const Term& term : c) d = std::max(d, term.exps[1]);
    TermList out;
    for (const Term& term : c)
        if (term.exps[1] == d) out.push_back({term.coef, {term.exps[0], term.exps[2]}});
    return canonical_terms(2, out);
}

TEST(NodeTestsReshape, LeadingCoefLevelTwoIsTheTopCoefficientInY) {
    RecordLedger ledger;
    EXPECT_EQ(leading_coef_level_two(nullptr), nullptr);
    std::vector<TermList> fixed = {
        {{1, {2, 3, 1}}, {1, {2, 1, 0}}, {1, {1, 3, 0}}, {2, {1, 0, 0}}, {1, {0, 2, 2}}, {5, {0, 0, 0}}},
        {{1, {0, 1, 0}}, {1, {1, 0, 0}}},             // y + x: the answer is 1
        {{4, {3, 0, 2}}, {1, {1, 0, 0}}, {6, {0, 0, 0}}},   // no y at all
        {{1, {0, 2, 1}}, {3, {0, 2, 0}}, {1, {0, 0, 0}}},   // y^2 (z + 3) + 1
        {{7, {0, 0, 0}}},
    };
    NumberGen gen(0x1106f);
    std::vector<TermList> all = fixed;
    for (int i = 0; i < scaled(200); i++) {
        TermList t;
        int n = gen.between(1, 7);
        for (int j = 0; j < n; j++)
            t.push_back({gen.between(-9, 9), {gen.between(0, 3), gen.between(0, 3), gen.between(0, 3)}});
        all.push_back(t);
    }
    for (const TermList& t : all) {
        polynode* p = build_poly(3, t);
        polynode* r = leading_coef_level_two(p);
        ASSERT_TRUE(check_poly_shape(r, 2)) << terms_to_string(t);
        TermList want = top_y_coefficient(t);
        if (want.empty()) {
            // The zero polynomial: nothing of degree d exists.
            EXPECT_TRUE(poly_iszero(p)) << terms_to_string(t);
        } else {
            EXPECT_EQ(read_poly(r, 2), want) << terms_to_string(t);
        }
        free_poly(&r);
        free_poly(&p);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
