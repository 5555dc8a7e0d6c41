// Multivariate gcd mod p by evaluation and interpolation, on planted
// problems G = gcd(g·a, g·b) in 2 to 6 variables, dense and sparse, some
// with leading coefficients in y that vanish at the first evaluation
// points, modulo small primes (7, 11: many unlucky points) and large ones.
// An answer must be divisible by g, divide both operands and equal, up to
// a unit, the gcd that the driver finds with the interpolation switched off
// (Algorithm C). Giving up is allowed; a wrong answer never is. The
// variable chain, the operands and the record count come back as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "gcd/algc.h"
#include "gcd/exactdiv.h"
#include "gcd/interp_gcd.h"
#include "gcd/polygcd.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/measures.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"

extern int globalpoly;

namespace {

constexpr int NV = 6;

struct Field {
    RingStateGuard saved;
    int32_t count = alg_c_count;
    int saved_chinhensel = chinhensel;
    explicit Field(int32_t m) {
        load_data_once();
        init_poly_work_arrays();
        modularmode = lintmode = 1;
        install_modulus(m);
        mod_is_prime = 1;
    }
    ~Field() {
        alg_c_count = count;
        chinhensel = saved_chinhensel;
    }
};

using Exps = std::vector<int32_t>;

// A factor in nv variables with x1 present and constant term 1. Dense:
// several terms of low degree in every variable; sparse: few terms of
// higher degree.
TermList factor(NumberGen& g, int nv, bool dense) {
    TermList t;
    const int n = dense ? g.between(4, 8) : g.between(1, 3);
    const int32_t dmax = dense ? 2 : 4;
    Exps lead(NV, 0);
    lead[0] = g.between(1, dense ? 2 : 3);
    for (int k = 1; k < nv; k++) lead[k] = g.below(2);
    t.emplace_back(g.between(1, modulus - 1), lead);
    for (int i = 0; i < n; i++) {
        Exps e(NV, 0);
        for (int k = 0; k < nv; k++) e[k] = g.below(dmax + 1);
        t.emplace_back(g.between(1, modulus - 1), e);
    }
    t.emplace_back(1, Exps(NV, 0));
    TermList c = canonical_terms(NV, t);
    bool has_x = false;
    for (const Term& s : c) has_x = has_x || s.exps[0] > 0;
    if (!has_x) c = canonical_terms(NV, {{1, lead}, {1, Exps(NV, 0)}});
    return c;
}

// a + (x1 - 1)(x1 - 2)·x2^D with D above a's degree in x2: the leading
// coefficient in x2 vanishes at the points 1 and 2.
TermList vanishing_lead(const TermList& a) {
    int32_t d = 0;
    for (const Term& s : a) d = std::max(d, s.exps[1]);
    TermList t = a;
    auto term = [&](long c, int32_t e1) {
        Exps e(NV, 0);
        e[0] = e1;
        e[1] = d + 1;
        t.emplace_back(c, e);
    };
    term(1, 2);
    term(-3, 1);
    term(2, 0);
    return canonical_terms(NV, t);
}

int64_t inverse(int64_t a) {
    int64_t r = 1, b = a % modulus, e = modulus - 2;
    for (; e; e >>= 1, b = b * b % modulus)
        if (e & 1) r = r * b % modulus;
    return r;
}

// The terms scaled so that the leading one has coefficient 1.
TermList unit_normal(TermList t) {
    if (t.empty()) return t;
    const int64_t inv = inverse(t.front().coef.get_si());
    for (Term& s : t) s.coef = s.coef.get_si() * inv % modulus;
    return t;
}


// ---- the test's own check that two cofactors are coprime modulo p
using UPoly = std::vector<int64_t>;

void trim(UPoly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}
UPoly rem(UPoly a, const UPoly& b) {
    const int64_t inv = inverse(b.back());
    while (a.size() >= b.size()) {
        const int64_t q = a.back() * inv % modulus;
        const size_t s = a.size() - b.size();
        for (size_t i = 0; i < b.size(); i++) a[s + i] = ((a[s + i] - q * b[i]) % modulus + modulus) % modulus;
        trim(a);
    }
    return a;
}
size_t gcd_degree(UPoly a, UPoly b) {
    while (!b.empty()) {
        UPoly r = rem(a, b);
        a = std::move(b);
        b = std::move(r);
    }
    return a.size() - 1;
}
// t with every variable but x_k replaced by the values, as a polynomial in x_k.
UPoly specialise(const TermList& t, int k, const std::vector<int64_t>& at) {
    UPoly r;
    for (const Term& s : t) {
        int64_t c = ((s.coef.get_si() % modulus) + modulus) % modulus;
        for (int j = 0; j < NV; j++) {
            if (j == k) continue;
            for (int32_t e = 0; e < s.exps[j]; e++) c = c * at[j] % modulus;
        }
        const size_t d = static_cast<size_t>(s.exps[k]);
        if (r.size() <= d) r.resize(d + 1, 0);
        r[d] = (r[d] + c) % modulus;
    }
    trim(r);
    return r;
}
int32_t degree_in(const TermList& t, int k) {
    int32_t d = 0;
    for (const Term& s : t) d = std::max(d, s.exps[k]);
    return d;
}
// A common factor of A and B involves some variable x_k; with the others
// specialised so that both keep their degree in x_k, it survives as a
// common factor of the images. 1: proved coprime; 0: a common factor seen
// at every try; -1: no usable point (tiny fields).
int coprime(const TermList& A, const TermList& B, NumberGen& g) {
    for (int k = 0; k < NV; k++) {
        const int32_t da = degree_in(A, k), db = degree_in(B, k);
        if (da == 0 || db == 0) continue;
        bool proved = false, usable = false;
        for (int tries = 0; tries < 40 && !proved; tries++) {
            std::vector<int64_t> at(NV);
            for (auto& x : at) x = g.between(0, modulus - 1);
            UPoly a = specialise(A, k, at), b = specialise(B, k, at);
            if (static_cast<int32_t>(a.size()) - 1 != da || static_cast<int32_t>(b.size()) - 1 != db) continue;
            usable = true;
            proved = gcd_degree(a, b) == 0;
        }
        if (!proved) return usable ? 0 : -1;
    }
    return 1;
}

polynode* reference_gcd(polynode* u, polynode* v) {
    chinhensel = 0;   // interpolation off: Algorithm C,
    polynode* g = nullptr;
    alg_c_count = 4;  // which may abandon no more
    original_depth = 1;
    polygcd(u, v, &g, 0, 1, 1, polynames, 1, 1, 0);
    chinhensel = 1;
    return g;
}

void expect_chain_intact() {
    int16_t level = 1;
    for (pt* p = polynames; p; p = p->next) EXPECT_EQ(p->level, level++);
    EXPECT_EQ(level, NV + 1);
    EXPECT_EQ(globalpoly, 0);
    EXPECT_EQ(field_depth, 0);
}

struct Tally {
    int answered = 0, gave_up = 0, refused = 0, unproved = 0;
};

Tally planted(int32_t mod, uint64_t seed, int iterations, bool dense, int vanishing_percent, int max_vars = NV,
             bool without_y = false) {
    Field field(mod);
    AttachedVars vars(NV);
    NumberGen gen(seed);
    Tally tally;
    for (int it = 0; it < iterations; it++) {
        const int nv = gen.between(2, max_vars);
        TermList g = factor(gen, nv, dense);
        TermList a = factor(gen, nv, dense), b = factor(gen, nv, dense);
        if (gen.chance(vanishing_percent)) a = vanishing_lead(a);
        if (gen.chance(vanishing_percent)) b = vanishing_lead(b);
        if (without_y) {
            // Neither operand involves x2 (nor x3 when it is even): those
            // levels are taken out for the call and put back in the answer.
            for (TermList* t : {&g, &a, &b}) {
                for (Term& s : *t) {
                    s.exps[1] = 0;
                    if (it % 2 == 0) s.exps[2] = 0;
                }
                *t = canonical_terms(NV, *t);
            }
        }
        const TermList u_t = product(NV, g, a), v_t = product(NV, g, b);
        SCOPED_TRACE(gen.trace() + " case " + std::to_string(it) + " nv=" + std::to_string(nv) +
                     " u=" + terms_to_string(u_t) + " v=" + terms_to_string(v_t));
        RecordLedger ledger;
        {
            HeldPoly u(build_poly(NV, u_t)), v(build_poly(NV, v_t)), gp(build_poly(NV, g));
            const int32_t nu = new_node_total(u.p), nvt = new_node_total(v.p);
            const bool too_small = nu + nvt < 80 || (nu < 30 && nvt < 30);
            int32_t bound = std::min(u_t.front().exps[0], v_t.front().exps[0]);
            HeldPoly G;
            const int ok = mod_multivar_Chinese(u.p, v.p, &G.p, bound, polynames);
            expect_chain_intact();
            EXPECT_EQ(read_poly(u.p, NV), u_t);
            EXPECT_EQ(read_poly(v.p, NV), v_t);
            if (too_small) {
                EXPECT_EQ(ok, 0) << "a small problem must be refused";
                tally.refused++;
            } else if (!ok) {
                tally.gave_up++;
            } else {
                tally.answered++;
                EXPECT_TRUE(check_poly_shape(G.p, NV));
                TermList A, B;
                EXPECT_TRUE(divides_exactly(gp.p, G.p, NV)) << terms_to_string(read_poly(G.p, NV));
                EXPECT_TRUE(divides_exactly(G.p, u.p, NV, &A)) << terms_to_string(read_poly(G.p, NV));
                EXPECT_TRUE(divides_exactly(G.p, v.p, NV, &B)) << terms_to_string(read_poly(G.p, NV));
                const int c = coprime(A, B, gen);
                EXPECT_NE(c, 0) << "the cofactors share a factor: " << terms_to_string(A) << " and "
                                << terms_to_string(B);
                tally.unproved += c < 0;
                // Algorithm C itself is slow beyond three variables.
                if (nv <= 3) {
                    HeldPoly R(reference_gcd(u.p, v.p));
                    EXPECT_EQ(unit_normal(read_poly(G.p, NV)), unit_normal(read_poly(R.p, NV)));
                }
            }
            // The driver with the interpolation allowed agrees too.
            if (nv <= 3 && it % 3 == 0) {
                HeldPoly D, R(reference_gcd(u.p, v.p));
                alg_c_count = 0;
                polygcd(u.p, v.p, &D.p, 0, 1, 1, polynames, 1, 1, 0);
                EXPECT_EQ(unit_normal(read_poly(D.p, NV)), unit_normal(read_poly(R.p, NV)));
                expect_chain_intact();
            }
        }
        EXPECT_TRUE(ledger.balanced());
    }
    std::printf("modulus %ld: %d answered, %d gave up, %d refused as small, %d not provable here\n",
                static_cast<long>(mod), tally.answered, tally.gave_up, tally.refused, tally.unproved);
    return tally;
}

TEST(InterpolationGcd, PlantedDenseLargePrime) {
    Tally t = planted(1000003, 7101, 30, true, 30);
    EXPECT_GT(t.answered, 3 * (t.answered + t.gave_up) / 4);
}
TEST(InterpolationGcd, PlantedSparseLargePrime) {
    Tally t = planted(1000003, 7102, 20, false, 30);
    EXPECT_GT(t.answered, 0);
}
TEST(InterpolationGcd, PlantedDenseMediumPrime) {
    Tally t = planted(10007, 7103, 20, true, 50, 5);
    EXPECT_GT(t.answered, 3 * (t.answered + t.gave_up) / 4);
}
TEST(InterpolationGcd, PlantedWithoutTheSecondVariable) {
    Tally t = planted(1000003, 7106, 12, true, 0, NV, true);
    EXPECT_GT(t.answered, 0);
}
// Few points and many unlucky ones: giving up is fine, a wrong answer not.
TEST(InterpolationGcd, PlantedSmallPrimes) {
    // Three variables at most: the image gcds of bigger problems go to
    // Algorithm C, which is slow over such small fields.
    Tally a = planted(7, 7104, 25, true, 50, 3);
    Tally b = planted(11, 7105, 25, false, 50, 3);
    EXPECT_GT(a.answered + b.answered + a.gave_up + b.gave_up, 0);
}

TEST(InterpolationGcd, NoRoomForPoints) {
    Field field(7);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        // Bound 6 needs 7 points besides the unusable 0: modulus 7 has 6.
        HeldPoly u(build_poly(NV, {{1, {3, 1, 0, 0, 0, 0}}, {1, {0, 0, 0, 0, 0, 0}}}));
        HeldPoly v(build_poly(NV, {{1, {2, 1, 0, 0, 0, 0}}, {2, {0, 0, 0, 0, 0, 0}}}));
        HeldPoly G;
        EXPECT_EQ(sub_mod_multivar_Chinese(u.p, v.p, &G.p, 6, 1, 1, polynames), 0);
        // Small operands are refused at once.
        EXPECT_EQ(mod_multivar_Chinese(u.p, v.p, &G.p, 2, polynames), 0);
        expect_chain_intact();
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
