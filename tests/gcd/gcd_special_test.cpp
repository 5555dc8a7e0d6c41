// The monomial rule and the field-coefficient Euclid, over the integers and
// modulo p. Results are compared with values worked out by hand; the Euclid
// on planted common factors is checked up to a constant factor.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gcd/gcd_special.h"
#include "numbers/ring.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"

namespace {

struct Ring {
    RingStateGuard saved;
    explicit Ring(int32_t m) {
        load_data_once();
        modularmode = m != 0;
        lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = m != 0;
    }
};

using Exps = std::vector<int32_t>;

// Coefficients of x^d .. x^0 as a one-variable polynomial.
polynode* from_coefs(std::vector<long> c) {
    TermList t;
    const int32_t d = static_cast<int32_t>(c.size()) - 1;
    for (int32_t i = 0; i <= d; i++)
        if (c[static_cast<size_t>(i)] != 0) t.emplace_back(c[static_cast<size_t>(i)], Exps{d - i});
    return build_poly(1, t);
}
polynode* times(polynode* a, polynode* b) {
    polynode* r = nullptr;
    poly_mult(a, b, &r, polynames);
    return r;
}

// p is a non-zero constant multiple of q (both one-variable).
::testing::AssertionResult proportional(const polynode* p, const polynode* q) {
    const TermList tp = read_poly(p, 1), tq = read_poly(q, 1);
    if (tp.size() != tq.size() || tp.empty()) return ::testing::AssertionFailure() << terms_to_string(tp) << " vs " << terms_to_string(tq);
    for (size_t i = 0; i < tp.size(); i++) {
        const bool same = tp[i].exps == tq[i].exps &&
                          (modulus ? (tp[i].coef * tq[0].coef - tq[i].coef * tp[0].coef) % modulus == 0
                                   : tp[i].coef * tq[0].coef == tq[i].coef * tp[0].coef);
        if (!same) return ::testing::AssertionFailure() << terms_to_string(tp) << " vs " << terms_to_string(tq);
    }
    return ::testing::AssertionSuccess();
}

class GcdSpecialTest : public ::testing::Test {
protected:
    AttachedVars vars{1};
};

TEST_F(GcdSpecialTest, MonomialOverIntegers) {
    Ring ring(0);
    RecordLedger ledger;
    {
        HeldPoly m(from_coefs({6, 0, 0, 0})), p(from_coefs({4, 0, 0, 2, 0, 0})), q(from_coefs({4, 2})), out;
        monomial2(m.p, p.p, &out.p);
        EXPECT_EQ(read_poly(out.p, 1), canonical_terms(1, {{2, {2}}}));
        monomial2(m.p, q.p, &out.p);
        EXPECT_TRUE(check_poly_shape(out.p, 1));
        EXPECT_EQ(read_poly(out.p, 1), canonical_terms(1, {{2, {0}}}));
        // Signs do not reach the answer; a large content does.
        HeldPoly big(build_poly(1, {{"-30000000000000000000", {7}}})), r(build_poly(1, {{"-45000000000000000000", {9}}, {"15000000000000000000", {8}}}));
        monomial2(big.p, r.p, &out.p);
        EXPECT_EQ(read_poly(out.p, 1), canonical_terms(1, {{"15000000000000000000", {7}}}));
        // A lone number is the term c·x^0.
        HeldPoly n(from_coefs({-9}));
        monomial2(n.p, p.p, &out.p);
        EXPECT_EQ(read_poly(out.p, 1), canonical_terms(1, {{1, {0}}}));
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(GcdSpecialTest, MonomialModP) {
    Ring ring(7);
    HeldPoly m(from_coefs({3, 0, 0, 0, 0})), p(from_coefs({1, 0, 0, 1, 0, 0, 0})), out;
    monomial2(m.p, p.p, &out.p);
    EXPECT_EQ(read_poly(out.p, 1), canonical_terms(1, {{1, {3}}}));
    HeldPoly low(from_coefs({5, 0, 0, 0, 0, 0, 0, 0}));   // the lower power of the two decides
    monomial2(m.p, low.p, &out.p);
    EXPECT_EQ(read_poly(out.p, 1), canonical_terms(1, {{1, {4}}}));
}

TEST_F(GcdSpecialTest, FieldEuclid) {
    for (int32_t mod : {0, 7, 65521, 2147483629}) {
        Ring ring(mod);
        RecordLedger ledger;
        {
            HeldPoly f(from_coefs({1, 1})), g(from_coefs({2, 0, 3})), a(from_coefs({3, 5})), b(from_coefs({1, 0, 0, 4}));
            HeldPoly common(times(f.p, g.p)), u(times(common.p, a.p)), v(times(common.p, b.p)), out;
            field_coef_gcd(u.p, v.p, &out.p, polynames);
            EXPECT_TRUE(check_poly_shape(out.p, 1));
            EXPECT_TRUE(proportional(out.p, common.p)) << "p=" << mod;
            field_coef_gcd(v.p, u.p, &out.p, polynames);
            EXPECT_TRUE(proportional(out.p, common.p)) << "p=" << mod << " swapped";

            // v divides u: a copy of v, v untouched.
            const TermList tv = read_poly(common.p, 1);
            field_coef_gcd(u.p, common.p, &out.p, polynames);
            EXPECT_EQ(read_poly(out.p, 1), tv);
            EXPECT_NE(out.p, common.p);
            EXPECT_EQ(read_poly(common.p, 1), tv);

            // Coprime operands.
            HeldPoly x2p1(from_coefs({1, 0, 1}));   // no root in common with x + 1 for odd p
            field_coef_gcd(x2p1.p, f.p, &out.p, polynames);
            EXPECT_EQ(read_poly(out.p, 1), canonical_terms(1, {{1, {0}}})) << "p=" << mod;
            // Equal operands.
            field_coef_gcd(u.p, u.p, &out.p, polynames);
            EXPECT_EQ(read_poly(out.p, 1), read_poly(u.p, 1));
        }
        EXPECT_TRUE(ledger.balanced()) << "p=" << mod;
    }
}

}  // namespace
