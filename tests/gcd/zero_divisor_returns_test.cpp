// Division by zero when error 22 returns, as it does at a nested command
// level: the number and polynomial kernels go on with u = 0·m + u (the
// remainder is the dividend, the quotient 0) or divide by 1, operands kept
// and no record lost; the divisions that only the gcd code reaches end the
// statement instead of running on with a zero divisor.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "gcd/exactdiv.h"
#include "gcd/onevar_div.h"
#include "gcd/polydiv.h"
#include "gcd/pseudo_div.h"
#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "poly/coefops.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

constexpr int NV = 3;
constexpr int RETURNED = 9999;   // unwind_code's answer when nothing unwound

// error() returns for codes 19 and 22 below the top command level.
struct NestedLevel {
    int saved = levelcount;
    NestedLevel() { levelcount = 2; }
    ~NestedLevel() { levelcount = saved; }
};

// A number in the current ground ring.
imag* number(const mpz_class& v) { return lintmode ? word_number(static_cast<int32_t>(v.get_si())) : from_mpz(v); }

struct Held {
    imag* n;
    explicit Held(imag* x) : n(x) {}
    ~Held() { free_imag(&n); }
    mpz_class value() const { return number_value(n); }
};

void use_words() {
    modularmode = 0;
    lintmode = 1;
    install_modulus(0);
}

TEST(ZeroDivisorReturns, NumberKernelsKeepTheDividendAsRemainder) {
    for (int mode = 0; mode < 3; mode++) {
        PrimeRing ring(mode == 2 ? 101 : 0);
        if (mode == 1) use_words();
        SCOPED_TRACE(mode);
        const mpz_class a = mode == 0 ? mpz_class("-98765432109876543210") : mpz_class(mode == 1 ? -4321 : 77);
        NestedLevel nested;
        RecordLedger ledger;
        {
            Held x(number(a)), zero(number(0)), r(number(5)), q(number(6)), c(number(7));
            // b = 0 in a = b·q + r leaves r = a whatever q is.
            EXPECT_EQ(unwind_code([&] { mod_and_div(x.n, zero.n, r.n, q.n); }), RETURNED);
            EXPECT_EQ(r.value(), a);
            EXPECT_EQ(q.value(), 0);
            EXPECT_EQ(unwind_code([&] { mod_or_div(x.n, zero.n, r.n, '\\', 1); }), RETURNED);
            EXPECT_EQ(r.value(), 0);
            // The result in the divisor's own record.
            EXPECT_EQ(unwind_code([&] { mod_or_div(x.n, zero.n, zero.n, '|', 1); }), RETURNED);
            EXPECT_EQ(zero.value(), a);
            Held zero2(number(0));
            EXPECT_EQ(unwind_code([&] { quot(x.n, zero2.n, c.n); }), RETURNED);
            EXPECT_EQ(c.value(), mode == 0 ? mpz_class(1) : a);
            EXPECT_EQ(x.value(), a);
            if (mode == 0) {
                // A rational over 0, into a slot holding an old value.
                quoly* two_thirds;
                newquoly(&two_thirds);
                two_thirds->isnum = 0;
                two_thirds->rat = 1;
                two_thirds->pnum = number_node(2);
                two_thirds->den = number_node(3);
                quoly* zero_q = nullptr;
                quoly* result = nullptr;
                quoly_set(0, &zero_q);
                quoly_set(5, &result);
                EXPECT_EQ(unwind_code([&] { quot_rat_numb(two_thirds, zero_q, &result); }), RETURNED);
                EXPECT_TRUE(holds(result, 1));
                EXPECT_TRUE(holds(two_thirds, mpq_class(2, 3)));
                for (quoly** q : {&two_thirds, &zero_q, &result}) free_quoly(q);
            }
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(ZeroDivisorReturns, PolynomialDivisionsGiveRemainderUAndQuotientZero) {
    for (int32_t mod : {0, 7}) {
        PrimeRing ring(mod);
        SCOPED_TRACE(mod);
        AttachedVars v(NV);
        NestedLevel nested;
        RecordLedger ledger;
        {
            const TermList u0 = canonical_terms(NV, {{3, {2, 1, 0}}, {-2, {1, 0, 2}}, {5, {0, 0, 0}}});
            const TermList x0 = canonical_terms(NV, {{4, {3, 0, 0}}, {1, {1, 0, 0}}, {-6, {0, 0, 0}}});
            HeldPoly u(build_poly(NV, u0)), x(build_poly(NV, x0)), zero(build_poly(NV, {}));
            // Old values in the slots: they must be given back, not kept.
            HeldPoly q(build_poly(NV, {{9, {1, 1, 1}}})), r(build_poly(NV, {{8, {0, 1, 0}}}));
            auto expect_u_over_zero = [&](const TermList& dividend, const char* what) {
                EXPECT_TRUE(check_poly_shape(q.p, NV)) << what;
                EXPECT_TRUE(check_poly_shape(r.p, NV)) << what;
                EXPECT_TRUE(read_poly(q.p, NV).empty()) << what;
                EXPECT_EQ(read_poly(r.p, NV), dividend) << what;
            };
            EXPECT_EQ(unwind_code([&] { poly_mod_and_div(u.p, zero.p, &r.p, &q.p, polynames); }), RETURNED);
            expect_u_over_zero(u0, "mod and div");
            EXPECT_EQ(unwind_code([&] { poly_mod_or_div(u.p, zero.p, &r.p, '|', polynames); }), RETURNED);
            EXPECT_EQ(unwind_code([&] { poly_mod_or_div(u.p, zero.p, &q.p, '/', polynames); }), RETURNED);
            expect_u_over_zero(u0, "mod or div");
            if (mod) {
                // One variable modulo a prime: the schoolbook and field routes.
                EXPECT_EQ(unwind_code([&] { basic_poly_divide(x.p, zero.p, &q.p, &r.p, 1); }), RETURNED);
                expect_u_over_zero(x0, "basic");
                poly_set(3, &q.p);
                EXPECT_EQ(unwind_code([&] { field_coef_poly_divide(x.p, zero.p, polynames, &q.p, &r.p); }),
                          RETURNED);
                expect_u_over_zero(x0, "field coefficients");
                // 0 = 1 * 0: made monic, it stays as it is with the multiplier 1.
                EXPECT_EQ(unwind_code([&] { monic_poly(&zero.p, &q.p, polynames); }), RETURNED);
                EXPECT_TRUE(read_poly(zero.p, NV).empty());
                EXPECT_EQ(read_poly(q.p, NV), canonical_terms(NV, {{1, {0, 0, 0}}}));
            } else {
                // Coefficients divided by the number 0 are divided by 1.
                HeldPoly zero_node(build_poly(NV, {}));
                EXPECT_EQ(unwind_code([&] { poly_quot(u.p, zero_node.p, &r.p, 0); }), RETURNED);
                EXPECT_EQ(read_poly(r.p, NV), u0);
                Held z(number(0));
                EXPECT_EQ(unwind_code([&] { num_poly_quot(r.p, z.n, 0); }), RETURNED);
                EXPECT_EQ(read_poly(r.p, NV), u0);
            }
            EXPECT_EQ(read_poly(u.p, NV), u0);
            EXPECT_EQ(read_poly(x.p, NV), x0);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

// The gcd code never divides by 0; should it, no answer would keep its
// loops finite, so the statement ends (abandon_statement unwinds with 0)
// after the warning.
TEST(ZeroDivisorReturns, DivisionsInsideTheGcdCodeEndTheStatement) {
    for (int32_t mod : {0, 7}) {
        PrimeRing ring(mod);
        SCOPED_TRACE(mod);
        AttachedVars v(NV);
        RecordLedger ledger;
        {
            const TermList u0 = canonical_terms(NV, {{2, {3, 0, 0}}, {1, {1, 2, 0}}, {1, {0, 0, 0}}});
            HeldPoly u(build_poly(NV, u0)), zero(build_poly(NV, {})), q, r;
            auto ends = [&](auto f, const char* what) {
                NestedLevel nested;
                std::string printed;
                int code = RETURNED;
                ::testing::internal::CaptureStdout();
                try {
                    f();
                } catch (const TarvexUnwind& e) {
                    code = e.code;
                }
                printed = ::testing::internal::GetCapturedStdout();
                EXPECT_EQ(code, 0) << what;
                EXPECT_NE(printed.find("divide by 0"), std::string::npos) << what << ": " << printed;
            };
            ends([&] { pseudo_div(u.p, zero.p, &q.p, &r.p, 1, polynames); }, "pseudo");
            ends([&] { pseudo_div_no_q(u.p, zero.p, &r.p, polynames, 1); }, "pseudo no q");
            ends([&] { trial_poly_divide(u.p, zero.p, &q.p, polynames, 0, 0, 0); }, "trial");
            ends([&] { trial_poly_divide_noq(u.p, zero.p, polynames, 0, 0, 0); }, "trial no q");
            if (mod) ends([&] { simplest_poly_divide(u.p, zero.p, &q.p, &r.p, 1); }, "one variable");
            EXPECT_EQ(q.p, nullptr);
            EXPECT_EQ(r.p, nullptr);
            EXPECT_EQ(read_poly(u.p, NV), u0);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

}  // namespace
