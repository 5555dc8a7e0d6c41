// Trial division: planted products q·m must divide with quotient q in every
// ground ring; planted non-multiples q·m + r (r ≠ 0 of lower degree in the
// top variable) must never divide, including remainders built to vanish at
// every point the pre-tests can draw; the ring state, the undo log and the
// operands come back node for node, also when an exception cuts a test
// short; no record is lost.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

constexpr int NV = 4;
using Exps = std::vector<int32_t>;

struct Ring {
    RingStateGuard saved;
    Ring(int32_t m, int prime) {
        load_data_once();
        modularmode = m != 0;
        lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = prime;
    }
};

// The whole ground-ring state plus the global words the routines touch.
using RingWords = std::tuple<int, int, int, int, int, int, int, int32_t, int32_t, int32_t, fix*, int>;
RingWords ring_words() {
    return {modularmode, lintmode, finf, f256, f2t16, smallmodulus, mod_is_prime, modulus, half_modulus, two28_mod,
            masterfix, command_int};
}

// Every node of p with every word it holds, numbers' digits included.
using NodeWords = std::vector<std::tuple<const void*, const void*, const void*, int32_t, int32_t, int64_t>>;
void node_words(const polynode* p, NodeWords& out) {
    for (; p; p = p->next) {
        out.emplace_back(p, p->next, p->coef, p->exp, p->numb, 0);
        if (!p->numb) {
            node_words(p->pcoef, out);
            continue;
        }
        const imag* n = p->ncoef;
        out.emplace_back(n, n->head, n->tail, n->value, n->count, 0);
        for (const numnode* d = n->head; d; d = d->next) out.emplace_back(d, d->next, nullptr, d->digit, 0, 0);
    }
}
NodeWords node_words(const polynode* p) {
    NodeWords w;
    node_words(p, w);
    return w;
}

long coef(NumberGen& g) {
    if (modulus) return g.between(1, modulus - 1);
    const long c = g.chance(10) ? g.between(1, 1 << 27) : g.between(1, 9);
    return g.chance(50) ? -c : c;
}

Exps exps(NumberGen& g, int nvars, int32_t top) {
    Exps e(NV, 0);
    e[0] = top;
    for (int v = 1; v < nvars; v++) e[v] = g.below(3);
    return e;
}

TermList random_terms(NumberGen& g, int32_t dx, int32_t n, int nvars) {
    TermList t;
    for (int i = 0; i < n; i++) t.emplace_back(coef(g), exps(g, nvars, g.below(dx + 1)));
    return canonical_terms(NV, t);
}

polynode* times(polynode* a, polynode* b) {
    polynode* r = nullptr;
    poly_mult(a, b, &r, polynames);
    return r;
}
polynode* plus(polynode* a, polynode* b) {
    polynode* r = nullptr;
    poly_add(a, b, &r);
    return r;
}

// u = q·m must give 1 and q (both entries); u + r must give 0. Both
// operands and the ring state must be as before.
void check_pair(polynode* u, polynode* m, const TermList* q0, int pretest) {
    const NodeWords uw = node_words(u), mw = node_words(m);
    const RingWords rw = ring_words();
    const int want = q0 != nullptr;
    {
        HeldPoly q;
        EXPECT_EQ(trial_poly_divide(u, m, &q.p, polynames, pretest, 0, 0), want);
        if (want) {
            ASSERT_TRUE(check_poly_shape(q.p, NV));
            EXPECT_EQ(read_poly(q.p, NV), *q0);
        } else {
            EXPECT_EQ(q.p, nullptr);
        }
    }
    {
        HeldPoly q;
        EXPECT_EQ(trial_poly_divide(u, m, &q.p, polynames, pretest, 1, 0), want);
        if (pretest || !want) {
            EXPECT_EQ(q.p, nullptr);   // answer only: no quotient kept
        }
    }
    EXPECT_EQ(trial_poly_divide_noq(u, m, polynames, pretest, 1, 0), want);
    // consume: a copy handed over is freed by the routine (the ledger checks).
    polynode* c = nullptr;
    poly_assign(u, &c);
    EXPECT_EQ(trial_poly_divide_noq(c, m, polynames, pretest, 0, 1), want);
    EXPECT_TRUE(node_words(u) == uw);
    EXPECT_TRUE(node_words(m) == mw);
    EXPECT_TRUE(ring_words() == rw);
}

void planted(int32_t mod, int prime, int nvars, uint64_t seed, int rounds) {
    Ring ring(mod, prime);
    AttachedVars vars(NV, nvars);
    NumberGen g(seed);
    for (int it = 0; it < scaled(rounds); it++) {
        RecordLedger ledger;
        {
            const TermList q0 = random_terms(g, g.between(0, 5), g.between(1, 6), nvars);
            TermList mt = random_terms(g, g.between(0, 3), g.between(0, 4), nvars);
            mt.emplace_back(coef(g), exps(g, nvars, g.between(1, 4)));   // m involves x
            const TermList m0 = canonical_terms(NV, mt);
            if (q0.empty() || m0.empty() || m0.front().exps[0] == 0) continue;
            SCOPED_TRACE(g.trace() + " q=" + terms_to_string(q0) + " m=" + terms_to_string(m0));
            HeldPoly q(build_poly(NV, q0)), m(build_poly(NV, m0));
            HeldPoly u(times(q.p, m.p));
            const int pretest = g.chance(75);
            check_pair(u.p, m.p, &q0, pretest);
            // A non-zero remainder below m in x.
            const TermList r0 = random_terms(g, m0.front().exps[0] - 1, g.between(1, 3), nvars);
            if (r0.empty()) continue;
            HeldPoly r(build_poly(NV, r0)), n(plus(u.p, r.p));
            check_pair(n.p, m.p, nullptr, pretest);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(TrialDiv, PlantedOverTheIntegers) {
    for (int v = 1; v <= 4; v++) planted(0, 0, v, 51050 + v, 30);
}
TEST(TrialDiv, PlantedModuloSmallPrimes) {
    for (int v = 1; v <= 4; v++) planted(7, 1, v, 51060 + v, 25);
    planted(3, 1, 3, 51065, 25);
    for (int v = 1; v <= 4; v++) planted(65521, 1, v, 51070 + v, 25);
}
TEST(TrialDiv, PlantedModuloLargePrimes) {
    for (int v = 1; v <= 4; v++) planted(2147483629, 1, v, 51080 + v, 25);
}
TEST(TrialDiv, PlantedInCharacteristicTwoFields) {
    for (int v = 1; v <= 3; v++) planted(256, 1, v, 51090 + v, 20);
    for (int v = 1; v <= 3; v++) planted(65536, 1, v, 51095 + v, 20);
}

// Dense one-variable residue operands take the array division.
TEST(TrialDiv, DenseOneVariableModuloAPrime) {
    Ring ring(65521, 1);
    AttachedVars vars(NV, 1);
    NumberGen g(51100);
    RecordLedger ledger;
    {
        TermList q0, m0;
        for (int e = 0; e <= 60; e++) q0.emplace_back(coef(g), Exps{e, 0, 0, 0});
        for (int e = 0; e <= 40; e++) m0.emplace_back(coef(g), Exps{e, 0, 0, 0});
        q0 = canonical_terms(NV, q0);
        m0 = canonical_terms(NV, m0);
        HeldPoly q(build_poly(NV, q0)), m(build_poly(NV, m0)), u(times(q.p, m.p));
        check_pair(u.p, m.p, &q0, 1);
        HeldPoly one(build_poly(NV, {{1, {0, 0, 0, 0}}})), n(plus(u.p, one.p));
        check_pair(n.p, m.p, nullptr, 1);
    }
    EXPECT_TRUE(ledger.balanced());
}

// r·s with r vanishing at every value a pre-test can put for y: the images
// all divide, and only the full division can tell.
TermList vanishing_at(const std::set<long>& points) {
    std::vector<mpz_class> c{1};   // coefficients of prod (y - a), constant first
    for (long a : points) {
        std::vector<mpz_class> n(c.size() + 1);
        for (size_t i = 0; i < c.size(); i++) {
            n[i + 1] += c[i];
            n[i] -= c[i] * a;
        }
        c = n;
    }
    TermList t;
    for (size_t i = 0; i < c.size(); i++) t.emplace_back(c[i], Exps{0, static_cast<int32_t>(i), 0, 0});
    return canonical_terms(NV, t);
}

void fooled(int32_t mod, const std::set<long>& points, int nvars, uint64_t seed) {
    Ring ring(mod, mod != 0);
    AttachedVars vars(NV, nvars);
    NumberGen g(seed);
    for (int it = 0; it < scaled(6); it++) {
        RecordLedger ledger;
        {
            const TermList q0 = random_terms(g, 3, 4, nvars);
            TermList mt = random_terms(g, 2, 3, nvars);
            mt.emplace_back(coef(g), exps(g, nvars, 3));
            const TermList m0 = canonical_terms(NV, mt);
            if (q0.empty()) continue;
            SCOPED_TRACE(g.trace() + " q=" + terms_to_string(q0) + " m=" + terms_to_string(m0));
            HeldPoly q(build_poly(NV, q0)), m(build_poly(NV, m0)), u(times(q.p, m.p));
            HeldPoly r(build_poly(NV, vanishing_at(points))), s(build_poly(NV, random_terms(g, 0, 2, nvars)));
            if (poly_iszero(s.p)) continue;
            HeldPoly rs(times(r.p, s.p)), n(plus(u.p, rs.p));
            for (int pretest = 0; pretest <= 1; pretest++) check_pair(n.p, m.p, nullptr, pretest);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(TrialDiv, NonMultiplesThatFoolThePreTests) {
    // trial_poly_divide draws i + (0..4), i <= 5, for the inner variables.
    std::set<long> small;
    for (long a = 0; a <= 9; a++) small.insert(a);
    fooled(0, small, 2, 51110);
    fooled(0, small, 3, 51111);
    // trial_poly_divide_noq and the integer-point test take small primes
    // from the table (and their residues mod 181 and mod 23 + 2) for y.
    std::set<long> table = small;
    for (int k = 3; k <= 26; k++) {
        const long g = global_list[k];
        table.insert(g);
        table.insert(g % 181 == 0 ? 1 : g % 181);
        table.insert(g % 23 + 2);
    }
    fooled(0, table, 2, 51112);
    fooled(0, table, 4, 51113);
    // Modulo 7, y^7 - y vanishes at every residue.
    std::set<long> all7;
    for (long a = 0; a < 7; a++) all7.insert(a);
    fooled(7, all7, 2, 51114);
    fooled(7, all7, 3, 51115);
}

TEST(TrialDiv, HandCases) {
    Ring ring(0, 0);
    AttachedVars vars(NV, 3);
    RecordLedger ledger;
    {
        // x^5 + 1 by the single term x^2.
        HeldPoly u(build_poly(NV, {{1, {5, 0, 0, 0}}, {1, {0, 0, 0, 0}}})), x2(build_poly(NV, {{1, {2, 0, 0, 0}}}));
        EXPECT_EQ(trial_poly_divide_noq(u.p, x2.p, polynames, 1, 0, 0), 0);
        EXPECT_EQ(trial_poly_divide_noq(u.p, x2.p, polynames, 0, 0, 0), 0);
        // A dividend of lower degree: 0, the slot untouched.
        HeldPoly marker(build_poly(NV, {{5, {0, 0, 0, 0}}}));
        polynode* slot = marker.p;
        EXPECT_EQ(trial_poly_divide(x2.p, u.p, &slot, polynames, 1, 0, 0), 0);
        EXPECT_EQ(slot, marker.p);
        // A divisor reaching z, a dividend free of z: not divisible.
        HeldPoly xy(build_poly(NV, {{1, {2, 1, 0, 0}}, {1, {1, 0, 0, 0}}})),
            xz(build_poly(NV, {{1, {1, 0, 1, 0}}, {1, {0, 0, 0, 0}}}));
        EXPECT_EQ(trial_poly_divide_noq(xy.p, xz.p, polynames, 1, 0, 0), 0);
        EXPECT_EQ(trial_poly_divide_noq(xy.p, xz.p, polynames, 0, 0, 0), 0);
        // Zero is divisible by anything, with quotient 0.
        HeldPoly zero(build_poly(NV, {})), q;
        EXPECT_EQ(trial_poly_divide(zero.p, xz.p, &q.p, polynames, 1, 0, 0), 1);
        EXPECT_TRUE(read_poly(q.p, NV).empty());
        EXPECT_EQ(trial_poly_divide_noq(zero.p, xz.p, polynames, 1, 0, 0), 1);
        // Divisors free of x: (x·y + 2y)(y + 3) by y + 3, and 2x·y + 3 by y.
        HeldPoly m(build_poly(NV, {{1, {0, 1, 0, 0}}, {3, {0, 0, 0, 0}}}));
        HeldPoly u2(build_poly(NV, {{1, {1, 2, 0, 0}}, {3, {1, 1, 0, 0}}, {2, {0, 2, 0, 0}}, {6, {0, 1, 0, 0}}})), q2;
        EXPECT_EQ(trial_poly_divide(u2.p, m.p, &q2.p, polynames, 1, 0, 0), 1);
        EXPECT_EQ(read_poly(q2.p, NV), canonical_terms(NV, {{1, {1, 1, 0, 0}}, {2, {0, 1, 0, 0}}}));
        EXPECT_EQ(trial_poly_divide_noq(u2.p, m.p, polynames, 1, 0, 0), 1);
        HeldPoly y(build_poly(NV, {{1, {0, 1, 0, 0}}})), u3(build_poly(NV, {{2, {1, 1, 0, 0}}, {3, {0, 0, 0, 0}}})), q3;
        EXPECT_EQ(trial_poly_divide(u3.p, y.p, &q3.p, polynames, 1, 0, 0), 0);
        EXPECT_EQ(trial_poly_divide_noq(u3.p, y.p, polynames, 1, 0, 0), 0);
        // Both free of x and y: stepped down to z. (z^2 - 1) / (z + 1) = z - 1.
        HeldPoly a(build_poly(NV, {{1, {0, 0, 2, 0}}, {-1, {0, 0, 0, 0}}})), b(build_poly(NV, {{1, {0, 0, 1, 0}}, {1, {0, 0, 0, 0}}})), q4;
        EXPECT_EQ(trial_poly_divide(a.p, b.p, &q4.p, polynames, 1, 0, 0), 1);
        ASSERT_TRUE(check_poly_shape(q4.p, NV));
        EXPECT_EQ(read_poly(q4.p, NV), canonical_terms(NV, {{1, {0, 0, 1, 0}}, {-1, {0, 0, 0, 0}}}));
        // 3x over 2x: the integers do not divide.
        HeldPoly x3(build_poly(NV, {{3, {1, 0, 0, 0}}})), x2b(build_poly(NV, {{2, {1, 0, 0, 0}}})), q5;
        EXPECT_EQ(trial_poly_divide(x3.p, x2b.p, &q5.p, polynames, 1, 0, 0), 0);
        // Division by zero is error 22, nothing changed.
        const NodeWords uw = node_words(u.p);
        try {
            trial_poly_divide_noq(u.p, zero.p, polynames, 1, 0, 0);
            ADD_FAILURE() << "no error";
        } catch (const TarvexUnwind& e) {
            EXPECT_EQ(e.code, 22);
        }
        HeldPoly q6;
        EXPECT_THROW(trial_poly_divide(u.p, zero.p, &q6.p, polynames, 1, 0, 0), TarvexUnwind);
        EXPECT_TRUE(node_words(u.p) == uw);
    }
    EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- through primes

void mod_trial(polynode* u, polynode* m, int* decided, int* divides) {
    const NodeWords uw = node_words(u), mw = node_words(m);
    const RingWords rw = ring_words();
    *decided = *divides = -1;
    mod_trial_poly_divide(u, m, 0, decided, divides, polynames);
    EXPECT_TRUE(node_words(u) == uw);
    EXPECT_TRUE(node_words(m) == mw);
    EXPECT_TRUE(ring_words() == rw);
}

TEST(TrialDiv, ThroughPrimes) {
    Ring ring(0, 0);
    NumberGen g(51120);
    for (int nvars = 1; nvars <= 3; nvars++) {
        AttachedVars vars(NV, nvars);
        for (int it = 0; it < scaled(15); it++) {
            RecordLedger ledger;
            {
                const TermList q0 = random_terms(g, 4, 5, nvars);
                TermList mt = random_terms(g, 2, 3, nvars);
                mt.emplace_back(coef(g), exps(g, nvars, 3));
                const TermList m0 = canonical_terms(NV, mt);
                if (q0.empty()) continue;
                SCOPED_TRACE(g.trace() + " q=" + terms_to_string(q0) + " m=" + terms_to_string(m0));
                HeldPoly q(build_poly(NV, q0)), m(build_poly(NV, m0)), u(times(q.p, m.p));
                int decided, divides;
                mod_trial(u.p, m.p, &decided, &divides);
                EXPECT_EQ(decided, 1);
                EXPECT_EQ(divides, 1);
                HeldPoly one(build_poly(NV, {{1, {0, 0, 0, 0}}})), n(plus(u.p, one.p));
                mod_trial(n.p, m.p, &decided, &divides);
                EXPECT_EQ(decided, 1);
                EXPECT_EQ(divides, 0);
                // A remainder that every prime of the table divides: both
                // primes see a multiple, yet u + r is none.
                mpz_class all = 1;
                for (int i = 0; i < PRIME_COUNT; i++) all *= prime[i]->value;
                HeldPoly r(build_poly(NV, {{all, {0, 0, 0, 0}}})), f(plus(u.p, r.p));
                mod_trial(f.p, m.p, &decided, &divides);
                EXPECT_TRUE(decided == 0 || divides == 0) << decided << " " << divides;
            }
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

// A draw that throws at the n-th call: whatever was converted, negated or
// built by then is back or freed.
int draws_left = 0;
long throwing_random() {
    if (--draws_left <= 0) throw TarvexUnwind(-3, "test");
    return 12345678;
}

TEST(TrialDiv, ExceptionsRestoreEverything) {
    Ring ring(0, 0);
    AttachedVars vars(NV, 3);
    NumberGen g(51130);
    RecordLedger ledger;
    {
        const TermList q0 = random_terms(g, 3, 6, 3);
        TermList mt = random_terms(g, 2, 4, 3);
        mt.emplace_back(5, Exps{3, 1, 1, 0});
        HeldPoly q(build_poly(NV, q0)), m(build_poly(NV, canonical_terms(NV, mt))), u(times(q.p, m.p));
        const NodeWords uw = node_words(u.p), mw = node_words(m.p);
        const RingWords rw = ring_words();
        set_random_sources(throwing_random, nullptr, nullptr);
        struct Reset {
            ~Reset() { reset_random_sources(); }
        } reset;
        int thrown = 0;
        for (int n = 1; n <= 12; n++) {
            SCOPED_TRACE(n);
            auto count = [&](auto f) {
                draws_left = n;
                try {
                    f();
                } catch (const TarvexUnwind&) {
                    thrown++;
                }
                EXPECT_TRUE(node_words(u.p) == uw);
                EXPECT_TRUE(node_words(m.p) == mw);
                EXPECT_TRUE(ring_words() == rw);
            };
            int decided = -1, divides = -1;
            count([&] { mod_trial_poly_divide(u.p, m.p, 0, &decided, &divides, polynames); });
            count([&] { trial_poly_divide_noq(u.p, m.p, polynames, 1, 0, 0); });
            HeldPoly quo;
            count([&] { trial_poly_divide(u.p, m.p, &quo.p, polynames, 1, 0, 0); });
            polynode* c = nullptr;
            poly_assign(u.p, &c);
            count([&] { trial_poly_divide_noq(c, m.p, polynames, 1, 0, 1); });   // c freed either way
        }
        EXPECT_GT(thrown, 12);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
