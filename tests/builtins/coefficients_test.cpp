// Coefficient extraction on random polynomials in 1 to 4 variables over Z,
// machine integers and Z/p: at every level the extracted coefficients, put
// back on their powers and summed, give the polynomial again, both read
// term by term and rebuilt with the system's own product and sum.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "builtins/coefficients.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

constexpr int NV = 4;

struct Ring {
    RingStateGuard saved;
    // m = 0: big integers; m = -1: machine integers; else Z/m.
    explicit Ring(int32_t m) {
        load_data_once();
        modularmode = m > 0;
        lintmode = m != 0;
        install_modulus(m > 0 ? m : 0);
        mod_is_prime = m > 0;
    }
};

// Random terms in the first nv of NV variables (the others at exponent 0),
// with a big coefficient now and then outside machine-word arithmetic.
TermList random_terms(NumberGen& g, int nv, int n) {
    TermList t;
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> e(NV, 0);
        for (int k = 0; k < nv; k++) e[k] = g.chance(30) ? 0 : g.between(0, 5);
        mpz_class c = g.between(-30, 30);
        if (!lintmode && g.chance(20)) c = g.digits(g.between(1, 3));
        if (modularmode) c = g.between(0, modulus - 1);
        t.emplace_back(c, e);
    }
    return t;
}

// The terms of u with exponent e at level L, that exponent set to 0.
TermList expected_coef(const TermList& u, int L, int32_t e) {
    TermList out;
    for (Term t : u)
        if (t.exps[L] == e) {
            t.exps[L] = 0;
            out.push_back(t);
        }
    return out;
}

void round_trip(int32_t mod, uint64_t seed) {
    Ring ring(mod);
    AttachedVars vars(NV);
    NumberGen g(seed);
    for (int it = 0; it < scaled(80); it++) {
        RecordLedger ledger;
        {
            const int nv = g.between(1, NV);
            HeldPoly u(build_poly(NV, random_terms(g, nv, g.between(0, 12))));
            const TermList u0 = read_poly(u.p, NV);
            SCOPED_TRACE(g.trace() + " u=" + terms_to_string(u0));
            for (int L = 0; L < NV; L++) {
                std::map<int32_t, int> present;
                for (const Term& t : u0) present[t.exps[L]] = 1;
                present[6] = 0;   // beyond every exponent drawn: the coefficient is 0
                TermList sum_terms;
                HeldPoly sum;
                poly_set(0, &sum.p);
                for (const auto& [e, seen] : present) {
                    HeldPoly c;
                    extract_coef(u.p, &c.p, L, e, e == 0);
                    ASSERT_TRUE(check_poly_shape(c.p, NV)) << "level " << L << " exponent " << e;
                    const TermList got = read_poly(c.p, NV);
                    EXPECT_EQ(got, expected_coef(u0, L, e)) << "level " << L << " exponent " << e;
                    if (!seen) {
                        EXPECT_TRUE(poly_iszero(c.p));
                    }
                    // Put it back on x_L^e with the system's own product and sum.
                    std::vector<int32_t> mono(NV, 0);
                    mono[L] = e;
                    HeldPoly m(build_poly(NV, {{1, mono}})), prod;
                    poly_mult(c.p, m.p, &prod.p, polynames);
                    poly_add(sum.p, prod.p, &sum.p);
                    for (Term t : got) {
                        t.exps[L] = e;
                        sum_terms.push_back(t);
                    }
                }
                EXPECT_EQ(canonical_terms(NV, sum_terms), u0) << "level " << L;
                EXPECT_EQ(read_poly(sum.p, NV), u0) << "level " << L;
            }
            EXPECT_EQ(read_poly(u.p, NV), u0);
            ASSERT_TRUE(check_poly_shape(u.p, NV));
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(ExtractCoef, SumsBackOverTheIntegers) { round_trip(0, 811); }
TEST(ExtractCoef, SumsBackOverMachineIntegers) { round_trip(-1, 812); }
TEST(ExtractCoef, SumsBackModuloSmallPrime) { round_trip(7, 813); }
TEST(ExtractCoef, SumsBackModuloLargePrime) { round_trip(1000003, 814); }

TEST(ExtractCoef, HandCasesAndAliasedSlot) {
    Ring z(0);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        // u = x·(y + 1) + 2: the y^0 part is x + 2, the y^1 part is x, x^1 part is y + 1.
        HeldPoly u(build_poly(NV, {{1, {1, 1, 0, 0}}, {1, {1, 0, 0, 0}}, {2, {0, 0, 0, 0}}}));
        HeldPoly c;
        extract_coef(u.p, &c.p, 1, 0, 1);
        EXPECT_EQ(read_poly(c.p, NV), canonical_terms(NV, {{1, {1, 0, 0, 0}}, {2, {0, 0, 0, 0}}}));
        extract_coef(u.p, &c.p, 1, 1, 0);
        EXPECT_EQ(read_poly(c.p, NV), canonical_terms(NV, {{1, {1, 0, 0, 0}}}));
        extract_coef(u.p, &c.p, 0, 1, 0);
        EXPECT_EQ(read_poly(c.p, NV), canonical_terms(NV, {{1, {0, 1, 0, 0}}, {1, {0, 0, 0, 0}}}));
        // A constant coefficient comes back as a lone number, not a padded one.
        HeldPoly w(build_poly(NV, {{5, {3, 0, 0, 0}}, {1, {0, 2, 0, 0}}}));
        extract_coef(w.p, &c.p, 0, 3, 0);
        ASSERT_TRUE(c.p->numb && !c.p->next);
        EXPECT_EQ(number_value(c.p->ncoef), 5);
        // Absent polynomial and a level deeper than any variable used.
        extract_coef(nullptr, &c.p, 0, 0, 1);
        EXPECT_TRUE(poly_iszero(c.p));
        extract_coef(w.p, &c.p, 3, 0, 1);
        EXPECT_EQ(read_poly(c.p, NV), read_poly(w.p, NV));
        extract_coef(w.p, &c.p, 3, 1, 0);
        EXPECT_TRUE(poly_iszero(c.p));
        // The result may replace the operand in its own slot.
        HeldPoly a;
        poly_assign(u.p, &a.p);
        extract_coef(a.p, &a.p, 0, 1, 0);
        EXPECT_EQ(read_poly(a.p, NV), canonical_terms(NV, {{1, {0, 1, 0, 0}}, {1, {0, 0, 0, 0}}}));
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
