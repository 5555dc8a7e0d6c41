// Leaf-wise products and quotients, monic pairs, integer content and
// equality up to a unit, in every ground ring, against term maps computed
// here (GMP for integers and prime moduli); every result shape-checked and
// every record accounted for.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "support/data_once.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

// Installs a ground ring for its lifetime; primality comes from GMP.
class RingScope {
public:
    explicit RingScope(const RingChoice& r) {
        load_data_once();
        modularmode = r.mode == RingMode::residues;
        lintmode = r.mode != RingMode::digits;
        install_modulus(r.modulus);
        mod_is_prime = r.modulus > 1 && !finf && mpz_probab_prime_p(mpz_class(r.modulus).get_mpz_t(), 30) > 0;
    }

private:
    RingStateGuard guard_;
};

bool prime_field() { return modularmode && !finf && mod_is_prime; }

// ---------------------------------------------------------------- reference

// v as a signed 32-bit word after wrapping.
mpz_class wrap32(const mpz_class& v) {
    mpz_class r;
    mpz_fdiv_r_2exp(r.get_mpz_t(), v.get_mpz_t(), 32);
    const mpz_class half = mpz_class(1) << 31;
    if (r >= half) r -= half << 1;
    return r;
}

// a * b as the ground ring computes it. Field products are the residue
// routine's (their tables are checked with the numbers); the rest is GMP.
mpz_class ring_mul(const mpz_class& a, const mpz_class& b) {
    if (finf) return modmult(static_cast<int32_t>(a.get_si()), static_cast<int32_t>(b.get_si()));
    if (modularmode) {
        mpz_class r = a * b;
        mpz_fdiv_r_ui(r.get_mpz_t(), r.get_mpz_t(), static_cast<unsigned long>(modulus));
        return r;
    }
    if (lintmode) return wrap32(a * b);
    return a * b;
}

TermList times(const TermList& a, const mpz_class& x) {
    TermList out;
    for (const Term& t : a) out.emplace_back(ring_mul(t.coef, x), t.exps);
    return out;
}

mpz_class random_coef(NumberGen& g) {
    if (!lintmode) return g.chance(25) ? g.edge_value() : g.digits(g.length(1, 3));
    if (!modularmode) return g.between(-(1 << 14), 1 << 14);
    if (g.chance(10)) return modulus - 1;
    if (g.chance(10)) return 1;
    return g.below(modulus);
}

mpz_class random_unit(NumberGen& g) {
    if (modularmode) return 1 + g.below(modulus - 1);
    if (lintmode) return g.chance(50) ? g.between(-40000, 40000) | 1 : mpz_class(g.chance(50) ? 1 : -1);
    mpz_class x = g.digits(g.length(1, 3));
    return x == 0 ? mpz_class(7) : x;
}

// Some variables absent (padding), sparse exponents.
TermList random_terms(NumberGen& g, int nvars) {
    std::vector<bool> absent(nvars);
    for (int v = 0; v < nvars; v++) absent[v] = g.chance(25);
    TermList t;
    const int n = g.between(1, 12);
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> x(nvars);
        for (int v = 0; v < nvars; v++) x[v] = absent[v] || g.chance(30) ? 0 : g.between(0, 9);
        t.emplace_back(random_coef(g), x);
    }
    return canonical_terms(nvars, t);
}

std::string captured(const std::function<void()>& f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
}

imag* number_of(const mpz_class& v) {
    polynode* p = build_poly(0, {{v, {}}});
    imag* n = p->ncoef;
    p->ncoef = nullptr;
    p->numb = 0;
    free_poly(&p);
    return n;
}

class CoefOpsRings : public ::testing::TestWithParam<int> {};

// ---------------------------------------------------------------- products

TEST_P(CoefOpsRings, ProductsByANumberMatchTheReference) {
    const RingChoice& ring = kRingChoices[GetParam()];
    RingScope scope(ring);
    NumberGen g(0xc0ef0000u + GetParam());
    SCOPED_TRACE(::testing::Message() << ring.name << " " << g.trace());
    for (int round = 0; round < scaled(60); round++) {
        const int nvars = 1 + round % 4;
        const TermList A = random_terms(g, nvars);
        const mpz_class x = random_unit(g);
        const TermList want = canonical_terms(nvars, times(A, x));
        SCOPED_TRACE(::testing::Message() << "round " << round << " A = " << terms_to_string(A) << " x = " << x);
        RecordLedger ledger;
        imag* n = number_of(x);
        using Op = std::function<void(polynode*)>;
        std::vector<std::pair<const char*, Op>> ops = {
            {"mult_num", [&](polynode* p) { mult_num(p, n); }},
            {"rat_number_mult", [&](polynode* p) { rat_number_mult(p, n); }},
            {"num_poly_mult", [&](polynode* p) { num_poly_mult(p, n); }},
        };
        if (modularmode) {
            const int32_t r = static_cast<int32_t>(x.get_si());
            ops.push_back({"mod_num_poly_mult", [=](polynode* p) { mod_num_poly_mult(p, r); }});
            ops.push_back({"sub_mod_num_poly_mult", [=](polynode* p) { sub_mod_num_poly_mult(p, r); }});
            ops.push_back({"mod_mult_num", [=](polynode* p) { mod_mult_num(p, r); }});
        }
        for (auto& [label, op] : ops) {
            SCOPED_TRACE(label);
            polynode* p = build_poly(nvars, A);
            op(p);
            ASSERT_TRUE(check_poly_shape(p, nvars));
            EXPECT_EQ(read_poly(p, nvars), want);
            free_poly(&p);
        }
        if (prime_field()) {
            // Any 64-bit factor, negative ones too: reduced before the product.
            const int64_t big = static_cast<int64_t>(g.bits());
            const mpz_class X(static_cast<long>(big));
            mpz_class Xr;
            mpz_fdiv_r_ui(Xr.get_mpz_t(), X.get_mpz_t(), static_cast<unsigned long>(modulus));
            if (Xr != 0) {
                polynode* p = build_poly(nvars, A);
                fast_mod_num_poly_mult(p, big);
                ASSERT_TRUE(check_poly_shape(p, nvars));
                EXPECT_EQ(read_poly(p, nvars), canonical_terms(nvars, times(A, Xr))) << "X = " << big;
                free_poly(&p);
            }
        }
        free_imag(&n);
        ASSERT_TRUE(ledger.balanced());
    }
}

TEST_P(CoefOpsRings, IntMultAndSimpleQuotOnOneWord) {
    const RingChoice& ring = kRingChoices[GetParam()];
    RingScope scope(ring);
    NumberGen g(0xc0ef0100u + GetParam());
    for (int i = 0; i < 200; i++) {
        mpz_class a = lintmode ? random_coef(g) : mpz_class(g.between(-(1 << 28) + 1, (1 << 28) - 1));
        mpz_class b = lintmode ? random_unit(g) : mpz_class(g.between(1, (1 << 28) - 1));
        imag* x = number_of(a);
        imag* y = number_of(b);
        int_mult(x, y, x);
        EXPECT_EQ(number_value(x), ring_mul(a, b)) << a << " * " << b;
        // Back again: exact, so no report.
        int32_t inv = 0;
        if (modularmode) mod_inverse(y->value, &inv);
        std::string out = captured([&] { simple_quot(x, y, i % 2 ? inv : 0); });
        EXPECT_EQ(out, "");
        // Machine integers come back only when the product did not wrap.
        if (modularmode || !lintmode || a * b == wrap32(a * b)) {
            EXPECT_EQ(number_value(x), a) << a << " * " << b;
        }
        free_imag(&x);
        free_imag(&y);
    }
}

// ---------------------------------------------------------------- quotients

TEST_P(CoefOpsRings, QuotientUndoesTheProduct) {
    const RingChoice& ring = kRingChoices[GetParam()];
    RingScope scope(ring);
    NumberGen g(0xc0ef0200u + GetParam());
    SCOPED_TRACE(::testing::Message() << ring.name << " " << g.trace());
    for (int round = 0; round < scaled(60); round++) {
        const int nvars = 1 + round % 4;
        const TermList A = random_terms(g, nvars);
        const mpz_class d = random_unit(g);
        SCOPED_TRACE(::testing::Message() << "round " << round << " A = " << terms_to_string(A) << " d = " << d);
        RecordLedger ledger;
        // Machine-integer leaves below 2^14 times d below 2^16 do not wrap.
        const TermList prod = canonical_terms(nvars, times(A, d));
        imag* dn = number_of(d);
        polynode* p = build_poly(nvars, prod);
        int32_t inv = 0;
        if (modularmode && round % 2) mod_inverse(dn->value, &inv);
        std::string out = captured([&] { num_poly_quot(p, dn, inv); });
        EXPECT_EQ(out, "");
        ASSERT_TRUE(check_poly_shape(p, nvars));
        EXPECT_EQ(read_poly(p, nvars), A);
        free_poly(&p);
        free_imag(&dn);
        ASSERT_TRUE(ledger.balanced());
    }
}

TEST_P(CoefOpsRings, DivisionByOneTouchesNothing) {
    RingScope scope(kRingChoices[GetParam()]);
    NumberGen g(0xc0ef0300u + GetParam());
    const TermList A = random_terms(g, 3);
    polynode* p = build_poly(3, A);
    polynode* copy = nullptr;
    poly_assign(p, &copy);
    imag* one = number_of(1);
    num_poly_quot(p, one, 0);
    simple_quot(one, one, 1);
    EXPECT_TRUE(poly_equal(p, copy));
    EXPECT_EQ(number_value(one), 1);
    free_poly(&p);
    free_poly(&copy);
    free_imag(&one);
}

TEST(CoefOps, InexactIntegerQuotientReportsEachInexactLeaf) {
    RingScope scope(kRingChoices[0]);
    RecordLedger ledger;
    polynode* p = build_poly(1, {{3, {1}}, {4, {0}}});
    imag* two = number_of(2);
    std::string out = captured([&] { num_poly_quot(p, two, 0); });
    EXPECT_EQ(out, "*** Tarvex error. non-0 rem, num_poly_quot\n");
    ASSERT_TRUE(check_poly_shape(p, 1));
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {1}}, {2, {0}}}));
    free_poly(&p);
    free_imag(&two);
    EXPECT_TRUE(ledger.balanced());
}

TEST(CoefOps, ModularDivisionMultipliesByTheInverse) {
    RingScope scope({"Z/7", RingMode::residues, 7});
    polynode* p = build_poly(2, {{3, {2, 1}}, {5, {0, 0}}});
    imag* d = number_of(3);   // 3^-1 = 5 mod 7
    num_poly_quot(p, d, 0);
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {2, 1}}, {4, {0, 0}}}));
    free_poly(&p);
    free_imag(&d);
}

TEST(CoefOps, ZeroDivisorsAndBadFactorsStop) {
    RingScope scope({"Z/7", RingMode::residues, 7});
    polynode* p = build_poly(1, {{3, {1}}, {1, {0}}});
    imag* zero = number_of(0);
    std::string out;
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(num_poly_quot(p, zero, 0), TarvexUnwind);
    EXPECT_THROW(mod_num_poly_mult(p, 0), TarvexUnwind);
    EXPECT_THROW(mod_num_poly_mult(p, 7), TarvexUnwind);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("bad seca."), std::string::npos) << out;
    EXPECT_NE(out.find("bad x in mod_num_poly_mult, 0, 7\n"), std::string::npos) << out;
    EXPECT_NE(out.find("bad x in mod_num_poly_mult, 7, 7\n"), std::string::npos) << out;
    EXPECT_NE(out.find("bad x in mod_num_poly_mult."), std::string::npos) << out;
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{3, {1}}, {1, {0}}}));
    free_imag(&zero);
    free_poly(&p);

    // A composite modulus: 4 has no inverse modulo 12.
    RingScope composite({"Z/12", RingMode::residues, 12});
    p = build_poly(1, {{5, {1}}});
    imag* four = number_of(4);
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(num_poly_quot(p, four, 0), TarvexUnwind);
    ::testing::internal::GetCapturedStdout();
    free_imag(&four);
    free_poly(&p);
}

TEST(CoefOps, MachineIntegerQuotientTruncatesAndRejectsZero) {
    RingScope scope(kRingChoices[1]);
    polynode* p = build_poly(1, {{-7, {2}}, {7, {1}}, {-2147483647 - 1, {0}}});
    imag* d = number_of(-2);
    num_poly_quot(p, d, 0);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{3, {2}}, {-3, {1}}, {1073741824, {0}}}));
    imag* zero = number_of(0);
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(num_poly_quot(p, zero, 0), TarvexUnwind);
    ::testing::internal::GetCapturedStdout();
    free_imag(&zero);
    free_imag(&d);
    free_poly(&p);
}

// ---------------------------------------------------------------- monic pairs

TEST_P(CoefOpsRings, MonicPairsHaveLeadingOneAndDifferByTheOldLead) {
    const RingChoice& ring = kRingChoices[GetParam()];
    if (ring.mode != RingMode::residues) GTEST_SKIP() << "modular mode only";
    RingScope scope(ring);
    NumberGen g(0xc0ef0400u + GetParam());
    SCOPED_TRACE(::testing::Message() << ring.name << " " << g.trace());
    for (int round = 0; round < scaled(60); round++) {
        const int nvars = 1 + round % 4;
        TermList A = random_terms(g, nvars), B = random_terms(g, nvars);
        if (A.empty() || B.empty()) continue;
        RecordLedger ledger;
        polynode* u = build_poly(nvars, A);
        polynode* v = build_poly(nvars, B);
        int32_t lu = -1, lv = -1;
        monic_coefs(u, v, &lu, &lv);
        ASSERT_TRUE(check_poly_shape(u, nvars));
        ASSERT_TRUE(check_poly_shape(v, nvars));
        // read_poly lists the leading term first.
        EXPECT_EQ(mpz_class(lu), A.front().coef);
        EXPECT_EQ(mpz_class(lv), B.front().coef);
        EXPECT_EQ(number_value(leading_coef(u)->ncoef), 1);
        EXPECT_EQ(number_value(leading_coef(v)->ncoef), 1);
        EXPECT_EQ(canonical_terms(nvars, times(read_poly(u, nvars), lu)), A);
        EXPECT_EQ(canonical_terms(nvars, times(read_poly(v, nvars), lv)), B);
        free_poly(&u);
        free_poly(&v);
        ASSERT_TRUE(ledger.balanced());
    }
}

// ---------------------------------------------------------------- content

mpz_class content_of(const TermList& t) {
    mpz_class c = 0;
    for (const Term& x : t) c = gcd(c, x.coef);
    return c;
}

TEST(CoefOps, ContentDividesEveryLeafAndLeavesAPrimitiveQuotient) {
    RingScope scope(kRingChoices[0]);
    NumberGen g(0xc0ef0500u);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(150); round++) {
        const int nvars = 1 + round % 4;
        TermList B = random_terms(g, nvars);
        if (B.empty()) continue;
        // A planted factor, often large, so the content is not just 1.
        mpz_class planted = round % 3 ? abs(g.digits(g.length(1, 3))) + 1 : mpz_class(1);
        TermList A = canonical_terms(nvars, times(B, planted));
        SCOPED_TRACE(::testing::Message() << "A = " << terms_to_string(A));
        RecordLedger ledger;
        polynode* p = build_poly(nvars, A);
        imag* c = number_of(0);
        find_gcdcoefs(p, c);
        const mpz_class cv = number_value(c);
        EXPECT_EQ(cv, content_of(A));
        EXPECT_GT(cv, 0);
        mpz_class rest = 0;
        for (const Term& t : A) {
            EXPECT_TRUE(mpz_divisible_p(t.coef.get_mpz_t(), cv.get_mpz_t())) << t.coef << " by " << cv;
            rest = gcd(rest, t.coef / cv);
        }
        EXPECT_EQ(rest, 1) << "quotient not primitive";
        // The leaves are unchanged.
        EXPECT_EQ(read_poly(p, nvars), A);

        polynode* node = nullptr;
        gcd_coefs(p, &node);
        ASSERT_TRUE(check_poly_shape(node, 0));
        EXPECT_EQ(number_value(node->ncoef), cv);
        gcd_coefs(p, &p);   // the slot of the operand itself
        EXPECT_EQ(number_value(p->ncoef), cv);
        free_poly(&node);
        free_poly(&p);
        free_imag(&c);
        ASSERT_TRUE(ledger.balanced());
    }
}

TEST(CoefOps, ContentExamplesAndTheZeroPolynomial) {
    RingScope scope(kRingChoices[0]);
    polynode* p = build_poly(2, {{6, {2, 0}}, {9, {0, 1}}, {15, {0, 0}}});
    imag* c = number_of(0);
    find_gcdcoefs(p, c);
    EXPECT_EQ(number_value(c), 3);
    // find_gcd reports that it stopped at 1, and only then.
    setvalue(2, c);
    EXPECT_EQ(find_gcd(p, c), 1);
    EXPECT_EQ(number_value(c), 1);
    setvalue(9, c);
    EXPECT_EQ(find_gcd(p, c), 0);
    EXPECT_EQ(number_value(c), 3);
    free_poly(&p);

    p = build_poly(1, {});
    std::string out = captured([&] { find_gcdcoefs(p, c); });
    EXPECT_EQ(out, "*** Tarvex error. 0 in find gcd coefs.\n");
    EXPECT_EQ(number_value(c), 1);
    free_poly(&p);
    free_imag(&c);
}

TEST(CoefOps, ContentInMachineWordsAndResidues) {
    {
        RingScope scope(kRingChoices[1]);
        polynode* p = build_poly(2, {{-12, {3, 1}}, {18, {0, 2}}, {30, {0, 0}}});
        imag* c = number_of(0);
        find_gcdcoefs(p, c);
        EXPECT_EQ(number_value(c), 6);
        polynode* node = nullptr;
        gcd_coefs(p, &node);
        EXPECT_EQ(number_value(node->ncoef), 1);
        free_poly(&node);
        free_imag(&c);
        free_poly(&p);
    }
    RingScope scope(kRingChoices[2]);
    polynode* p = build_poly(1, {{12, {1}}, {18, {0}}});
    imag* c = number_of(0);
    find_gcdcoefs(p, c);
    EXPECT_EQ(number_value(c), 1);
    free_imag(&c);
    free_poly(&p);
}

quoly* quoly_of(int nvars, const TermList& num, const TermList& den) {
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = build_poly(nvars, num);
    q->den = den.empty() ? nullptr : build_poly(nvars, den);
    return q;
}

TEST(CoefOps, SanitizeRemovesTheCommonContent) {
    RingScope scope(kRingChoices[0]);
    quoly* q = quoly_of(2, {{6, {1, 0}}, {4, {0, 0}}}, {{2, {0, 1}}, {8, {0, 0}}});
    sanitize(q);
    EXPECT_EQ(read_poly(q->pnum, 2), canonical_terms(2, {{3, {1, 0}}, {2, {0, 0}}}));
    EXPECT_EQ(read_poly(q->den, 2), canonical_terms(2, {{1, {0, 1}}, {4, {0, 0}}}));
    free_quoly(&q);

    // Without a denominator nothing may be divided out.
    q = quoly_of(1, {{6, {1}}, {4, {0}}}, {});
    sanitize(q);
    EXPECT_EQ(read_poly(q->pnum, 1), canonical_terms(1, {{6, {1}}, {4, {0}}}));
    free_quoly(&q);

    NumberGen g(0xc0ef0600u);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(80); round++) {
        const int nvars = 1 + round % 3;
        TermList N = random_terms(g, nvars), D = random_terms(g, nvars);
        if (N.empty() || D.empty()) continue;
        const mpz_class k = abs(g.digits(g.length(1, 2))) + 1;
        N = canonical_terms(nvars, times(N, k * (1 + g.below(6))));
        D = canonical_terms(nvars, times(D, k * (1 + g.below(6))));
        RecordLedger ledger;
        q = quoly_of(nvars, N, D);
        sanitize(q);
        ASSERT_TRUE(check_poly_shape(q->pnum, nvars));
        ASSERT_TRUE(check_poly_shape(q->den, nvars));
        const TermList n2 = read_poly(q->pnum, nvars), d2 = read_poly(q->den, nvars);
        const mpz_class c = content_of(N) / content_of(n2);
        EXPECT_EQ(gcd(content_of(n2), content_of(d2)), 1);
        EXPECT_EQ(canonical_terms(nvars, times(n2, c)), N);
        EXPECT_EQ(canonical_terms(nvars, times(d2, c)), D);
        free_quoly(&q);
        ASSERT_TRUE(ledger.balanced());
    }
}

// ---------------------------------------------------------------- equality up to a unit

TEST_P(CoefOpsRings, EssentiallyEqualFindsUnitMultiplesOnly) {
    const RingChoice& ring = kRingChoices[GetParam()];
    RingScope scope(ring);
    NumberGen g(0xc0ef0700u + GetParam());
    SCOPED_TRACE(::testing::Message() << ring.name << " " << g.trace());
    const bool units_exist = !lintmode || prime_field() || finf;
    for (int round = 0; round < scaled(60); round++) {
        const int nvars = 1 + round % 4;
        const TermList V = random_terms(g, nvars);
        if (V.empty()) continue;
        mpz_class c = modularmode ? random_unit(g) : mpz_class(g.chance(50) ? 1 : -1);
        const TermList U = canonical_terms(nvars, times(V, c));
        SCOPED_TRACE(::testing::Message() << "V = " << terms_to_string(V) << " c = " << c);
        RecordLedger ledger;
        polynode* u = build_poly(nvars, U);
        polynode* v = build_poly(nvars, V);
        EXPECT_EQ(essentially_equal(u, v), units_exist ? 1 : 0);
        // One coefficient changed, or one term more: no longer a multiple.
        TermList W = U;
        mpz_class& last = W.back().coef;
        last = finf ? mpz_class(last ^ 1) : modularmode ? mpz_class((last + 1) % modulus) : mpz_class(last + 1);
        polynode* w = build_poly(nvars, W);
        if (U.size() > 1) {
            EXPECT_EQ(essentially_equal(w, v), 0) << terms_to_string(W);
        }
        free_poly(&w);
        TermList X = U;
        X.emplace_back(1, std::vector<int32_t>(nvars, 11));
        w = build_poly(nvars, X);
        EXPECT_EQ(essentially_equal(w, v), 0);
        EXPECT_EQ(read_poly(u, nvars), U);
        EXPECT_EQ(read_poly(v, nvars), V);
        free_poly(&w);
        free_poly(&u);
        free_poly(&v);
        ASSERT_TRUE(ledger.balanced());
    }
}

TEST(CoefOps, EssentiallyEqualExamples) {
    const TermList a = {{2, {1}}, {4, {0}}}, neg = {{-2, {1}}, {-4, {0}}}, half = {{1, {1}}, {2, {0}}};
    auto ee = [](const TermList& x, const TermList& y) {
        polynode* u = build_poly(1, x);
        polynode* v = build_poly(1, y);
        int r = essentially_equal(u, v);
        free_poly(&u);
        free_poly(&v);
        return r;
    };
    {
        RingScope scope(kRingChoices[0]);
        EXPECT_EQ(ee(a, neg), 1);
        EXPECT_EQ(ee(a, half), 0);
        EXPECT_EQ(ee(a, a), 1);
    }
    {
        RingScope scope(kRingChoices[1]);
        EXPECT_EQ(ee(a, a), 0);
    }
    {
        RingScope scope({"Z/7", RingMode::residues, 7});
        EXPECT_EQ(ee(a, half), 1);
        EXPECT_EQ(ee(a, neg), 1);
        polynode* u = build_poly(1, a);
        polynode* z = build_poly(1, {});
        ::testing::internal::CaptureStdout();
        EXPECT_THROW(essentially_equal(u, z), TarvexUnwind);
        EXPECT_NE(::testing::internal::GetCapturedStdout().find("bad seca."), std::string::npos);
        free_poly(&u);
        free_poly(&z);
    }
    {
        RingScope scope({"Z/12", RingMode::residues, 12});
        EXPECT_EQ(ee(a, a), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Coef, CoefOpsRings, ::testing::Range(0, static_cast<int>(std::size(kRingChoices))),
                         [](const ::testing::TestParamInfo<int>& info) {
                             std::string s = kRingChoices[info.param].name;
                             for (char& ch : s)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return s;
                         });

}  // namespace
