// The multi-modular product over Z (images modulo word primes joined by
// Chinese remaindering), forced on every operand it accepts, against a
// product computed here with GMP: one to four variables, up to thousands of
// terms, coefficients from one digit to thousands, mixed signs, a huge
// coefficient among small ones, Laurent exponents, and planted cases at the
// coefficient bound. Operands are kept node for node and no record is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "numbers/ring.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/wordprimes_impl.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

using Exps = std::vector<int32_t>;

// The product by the definition (one variable through a coefficient vector).
TermList reference(const TermList& a, const TermList& b, int nvars) {
    if (a.empty() || b.empty()) return {};
    if (nvars == 1) {
        int32_t lo = INT32_MAX, hi = INT32_MIN;
        for (const Term& s : a)
            for (const Term& t : {b.front(), b.back()}) {
                lo = std::min(lo, s.exps[0] + t.exps[0]);
                hi = std::max(hi, s.exps[0] + t.exps[0]);
            }
        std::vector<mpz_class> z(static_cast<size_t>(hi - lo + 1));
        for (const Term& s : a)
            for (const Term& t : b) mpz_addmul(z[s.exps[0] + t.exps[0] - lo].get_mpz_t(), s.coef.get_mpz_t(), t.coef.get_mpz_t());
        TermList out;
        for (size_t k = z.size(); k-- > 0;)
            if (z[k] != 0) out.emplace_back(z[k], Exps{static_cast<int32_t>(k) + lo});
        return out;
    }
    std::map<Exps, mpz_class, std::greater<>> m;
    for (const Term& s : a)
        for (const Term& t : b) {
            Exps e(s.exps.size());
            for (size_t i = 0; i < e.size(); i++) e[i] = s.exps[i] + t.exps[i];
            mpz_addmul(m[e].get_mpz_t(), s.coef.get_mpz_t(), t.coef.get_mpz_t());
        }
    TermList out;
    for (const auto& [e, c] : m)
        if (c != 0) out.emplace_back(c, e);
    return out;
}

// The route switch, restored at the end of the scope.
struct Route {
    int32_t saved = multimod_route;
    explicit Route(int32_t r) { multimod_route = r; }
    ~Route() { multimod_route = saved; }
};

// a * b forced through the images and by the dispatch as it chooses, both
// against the reference; operands kept, records balanced.
void check(int nvars, const TermList& A, const TermList& B, const std::string& what) {
    RecordLedger ledger;
    const TermList want = canonical_terms(nvars, reference(A, B, nvars));
    {
        BuiltPoly a(nvars, A), b(nvars, B);
        const auto sa = snapshot_nodes(a), sb = snapshot_nodes(b);
        for (int32_t route : {1, 0}) {
            Route r(route);
            polynode* p = nullptr;
            poly_mult(a, b, &p, route ? nilpol : polynames);
            ASSERT_TRUE(check_poly_shape(p, nvars)) << what;
            EXPECT_EQ(read_poly(p, nvars), want) << what << " route " << route;
            if (want.empty()) {
                EXPECT_TRUE(is_zero_node(p));
            }
            EXPECT_TRUE(disjoint(p, a));
            EXPECT_TRUE(disjoint(p, b));
            free_poly(&p);
        }
        EXPECT_TRUE(snapshot_nodes(a) == sa) << "first operand changed";
        EXPECT_TRUE(snapshot_nodes(b) == sb) << "second operand changed";
    }
    EXPECT_TRUE(ledger.balanced());
}

// Random terms: count terms, exponents within span per variable (from low),
// coefficients of up to `decimal` decimal digits.
TermList random_terms(NumberGen& g, int nvars, int count, int32_t span, int32_t low, int decimal) {
    std::map<Exps, mpz_class, std::greater<>> m;
    const int32_t words = std::max(1, decimal * 3322 / 1000 / 28 + 1);
    for (int i = 0; i < count; i++) {
        Exps e(static_cast<size_t>(nvars));
        for (int32_t& x : e) x = low + g.below(span + 1);
        mpz_class c = g.digits(g.length(1, words));
        if (c == 0) c = 1;
        m[e] = c;
    }
    TermList out;
    for (const auto& [e, c] : m) out.emplace_back(c, e);
    return out;
}

class MultimodProduct : public ::testing::Test {
protected:
    PrimeRing ring{0};
    VarGlobalsGuard globals;
    AttachedVars vars{4};
};

TEST_F(MultimodProduct, RandomOperandsInOneToFourVariables) {
    NumberGen g(0x18180001);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(24); round++) {
        const int nvars = 1 + round % 4;
        number_polys = nvars;
        const int32_t span = nvars == 1 ? 300 : nvars == 2 ? 25 : 6;
        const int na = 1 + g.below(nvars == 1 ? 300 : 60), nb = 1 + g.below(nvars == 1 ? 300 : 60);
        const int decimal = g.chance(30) ? 400 : 30;
        const TermList A = random_terms(g, nvars, na, span, 0, decimal);
        const TermList B = g.chance(10) ? A : random_terms(g, nvars, nb, span, 0, decimal);
        check(nvars, A, B, "round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
}

TEST_F(MultimodProduct, LongOperandsAndLongCoefficients) {
    NumberGen g(0x18180002);
    number_polys = 1;
    // 5,000 terms of one digit; 40 terms of 3,000 decimal digits.
    check(1, random_terms(g, 1, 5000, 6000, 0, 5), random_terms(g, 1, 3000, 4000, 0, 5), "long");
    check(1, random_terms(g, 1, 40, 60, 0, 3000), random_terms(g, 1, 30, 40, 0, 3000), "wide");
}

TEST_F(MultimodProduct, OneHugeCoefficientAmongSmallOnes) {
    NumberGen g(0x18180003);
    number_polys = 2;
    TermList A = random_terms(g, 2, 200, 20, 0, 3);
    A[A.size() / 2].coef = g.digits(350) * g.digits(1);
    check(2, A, random_terms(g, 2, 150, 20, 0, 3), "huge");
}

TEST_F(MultimodProduct, LaurentExponents) {
    NumberGen g(0x18180004);
    laurent = 1;
    for (int nvars : {1, 2, 3}) {
        number_polys = nvars;
        check(nvars, random_terms(g, nvars, 80, 12, -5, 40), random_terms(g, nvars, 70, 12, -6, 40), "laurent");
    }
}

// Every coefficient +-(2^k - 1): the products' coefficients reach the bound
// min(terms) * max|a| * max|b| exactly when all signs agree.
TEST_F(MultimodProduct, PlantedCoefficientsAtTheBound) {
    number_polys = 1;
    for (int k : {1, 27, 28, 56, 60, 61, 62, 63, 64, 122, 183, 1000}) {
        for (int signs : {0, 1}) {
            for (int n : {1, 2, 3, 64, 65, 129}) {
                const mpz_class top = (mpz_class(1) << k) - 1;
                TermList A, B;
                for (int i = 0; i < n; i++) {
                    A.emplace_back(signs && i % 2 ? mpz_class(-top) : top, Exps{i});
                    B.emplace_back(signs && i % 3 ? mpz_class(-top) : top, Exps{i});
                }
                check(1, A, B, "k = " + std::to_string(k) + ", n = " + std::to_string(n));
                if (HasFatalFailure()) return;
            }
        }
    }
}

// g a - e b with one set of images, against the two products and their
// difference by the definition; operands kept, records balanced. `taken`:
// whether the route must accept the operands.
void check_difference(int nvars, const TermList& G, const TermList& A, const TermList& E, const TermList& B,
                      bool taken, const std::string& what) {
    RecordLedger ledger;
    std::map<Exps, mpz_class, std::greater<>> m;
    for (const Term& t : reference(G, A, nvars)) m[t.exps] += t.coef;
    for (const Term& t : reference(E, B, nvars)) m[t.exps] -= t.coef;
    TermList want;
    for (const auto& [e, c] : m)
        if (c != 0) want.emplace_back(c, e);
    want = canonical_terms(nvars, want);
    {
        BuiltPoly g(nvars, G), a(nvars, A), e(nvars, E), b(nvars, B);
        const auto sg = snapshot_nodes(g), sa = snapshot_nodes(a), se = snapshot_nodes(e), sb = snapshot_nodes(b);
        polynode* p = nullptr;
        const bool done = poly_mult_difference(g, a, e, b, &p);
        ASSERT_EQ(done, taken) << what;
        if (done) {
            ASSERT_TRUE(check_poly_shape(p, nvars)) << what;
            EXPECT_EQ(read_poly(p, nvars), want) << what;
            if (want.empty()) {
                EXPECT_TRUE(is_zero_node(p)) << what;
            }
            free_poly(&p);
        } else {
            EXPECT_EQ(p, nullptr) << what;
        }
        EXPECT_TRUE(snapshot_nodes(g) == sg && snapshot_nodes(a) == sa && snapshot_nodes(e) == se &&
                    snapshot_nodes(b) == sb)
            << what << ": an operand changed";
    }
    EXPECT_TRUE(ledger.balanced());
}

TermList negated(TermList t) {
    for (Term& x : t) x.coef = -x.coef;
    return t;
}

// Operands of different spans in one to three variables (the two products'
// boxes differ), long coefficients, and a difference that cancels to zero.
TEST_F(MultimodProduct, DifferenceOfTwoProducts) {
    NumberGen g(0x18180005);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(12); round++) {
        const int nvars = 1 + round % 3;
        number_polys = nvars;
        const int32_t span = nvars == 1 ? 600 : nvars == 2 ? 40 : 12;
        const int count = nvars == 1 ? 500 : 400;
        const int decimal = round % 4 == 3 ? 200 : 20;
        const TermList G = random_terms(g, nvars, count, span, 0, decimal);
        const TermList A = random_terms(g, nvars, count, span, 0, decimal);
        const TermList E = random_terms(g, nvars, count, span / 2, 0, decimal);
        const TermList B = random_terms(g, nvars, count, span, span / 3, 30);
        check_difference(nvars, G, A, E, B, true, "round " + std::to_string(round));
        if (HasFatalFailure()) return;
        check_difference(nvars, G, A, A, G, true, "cancelling, round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
}

// g = a = e, b = -a, every coefficient 2^k - 1: the difference 2 a^2 has
// coefficients at twice the bound of one product.
TEST_F(MultimodProduct, DifferenceAtTheBound) {
    number_polys = 1;
    for (int k : {1, 56, 57, 60, 61, 86, 87, 120, 122, 183}) {
        const mpz_class top = (mpz_class(1) << k) - 1;
        TermList A;
        for (int i = 0; i < 300; i++) A.emplace_back(top, Exps{i});
        check_difference(1, A, A, A, negated(A), true, "k = " + std::to_string(k));
        if (HasFatalFailure()) return;
    }
}

// What the route leaves to the separate products: short operands, Laurent
// exponents, modular arithmetic.
TEST_F(MultimodProduct, DifferenceRefusals) {
    NumberGen g(0x18180006);
    number_polys = 2;
    const TermList small = random_terms(g, 2, 3, 2, 0, 5);
    const TermList big = random_terms(g, 2, 400, 40, 0, 20);
    check_difference(2, small, small, big, big, false, "short");
    laurent = 1;
    check_difference(2, big, random_terms(g, 2, 400, 40, -3, 20), big, big, false, "laurent");
    laurent = 0;
}

// ---- quotients (g a - e b) / d in batches ----

// Sums and products by the definition, for the expected quotients.
TermList sum(const TermList& x, const TermList& y, int sign) {
    std::map<Exps, mpz_class, std::greater<>> m;
    for (const Term& t : x) m[t.exps] += t.coef;
    for (const Term& t : y) m[t.exps] += sign * t.coef;
    TermList out;
    for (const auto& [e, c] : m)
        if (c != 0) out.emplace_back(c, e);
    return out;
}

// One quotient of a batch: a = d a' + e t and b = d b' + g t, so that
// g a - e b = d (g a' - e b') exactly while d divides neither a nor b.
// `off` adds 1 to a: then d does not divide, and the route must refuse.
struct Planned {
    int g, e, d;   // indices into the batch's shared operands; g or e -1: null (1)
    TermList a, b, want;
    bool first = true, second = true;   // false: that product absent
};

Planned plan_quotient(int nvars, const std::vector<TermList>& shared, int gi, int ei, int di, const TermList& a1,
                      const TermList& b1, const TermList& t, bool off) {
    const TermList &G = shared[size_t(gi)], &E = shared[size_t(ei)], &D = shared[size_t(di)];
    Planned p{gi, ei, di, {}, {}, {}};
    p.a = sum(reference(D, a1, nvars), reference(E, t, nvars), 1);
    p.b = sum(reference(D, b1, nvars), reference(G, t, nvars), 1);
    if (off) p.a = sum(p.a, TermList{Term(mpz_class(1), Exps(size_t(nvars), 0))}, 1);
    p.want = canonical_terms(nvars, sum(reference(G, a1, nvars), reference(E, b1, nvars), -1));
    return p;
}

// The batch through the route; every quotient it gives checked against
// the definition, and `taken[i]` says which it must give. Operands kept,
// records balanced.
void check_quotients(int nvars, const std::vector<TermList>& shared, const std::vector<Planned>& plans,
                     const std::vector<bool>& taken, const std::string& what) {
    RecordLedger ledger;
    {
        std::vector<std::unique_ptr<BuiltPoly>> s, a, b;
        for (const TermList& t : shared) s.push_back(std::make_unique<BuiltPoly>(nvars, t));
        std::vector<DifferenceQuotient> jobs;
        for (const Planned& p : plans) {
            a.push_back(std::make_unique<BuiltPoly>(nvars, p.a));
            b.push_back(std::make_unique<BuiltPoly>(nvars, p.b));
            auto shared_or_null = [&](int i) -> const polynode* { return i >= 0 ? s[size_t(i)]->p : nullptr; };
            jobs.push_back({p.first ? shared_or_null(p.g) : nullptr, p.first ? a.back()->p : nullptr,
                            p.second ? shared_or_null(p.e) : nullptr, p.second ? b.back()->p : nullptr, *s[size_t(p.d)],
                            nullptr});
        }
        std::vector<std::vector<NodeShot>> before;
        for (auto& x : s) before.push_back(snapshot_nodes(*x));
        poly_mult_difference_quotients(jobs.data(), static_cast<int32_t>(jobs.size()));
        for (size_t i = 0; i < jobs.size(); i++) {
            const std::string at = what + ", quotient " + std::to_string(i);
            EXPECT_EQ(jobs[i].quotient != nullptr, taken[i]) << at;
            if (!jobs[i].quotient) continue;
            EXPECT_TRUE(check_poly_shape(jobs[i].quotient, nvars)) << at;
            EXPECT_EQ(read_poly(jobs[i].quotient, nvars), plans[i].want) << at;
            if (plans[i].want.empty()) {
                EXPECT_TRUE(is_zero_node(jobs[i].quotient)) << at;
            }
            free_poly(&jobs[i].quotient);
        }
        for (size_t i = 0; i < s.size(); i++) EXPECT_TRUE(snapshot_nodes(*s[i]) == before[i]) << what << ": an operand changed";
    }
    EXPECT_TRUE(ledger.balanced());
}

// Batches sharing g, e and d, with a second divisor among them, quotients
// that cancel to zero, and a dividend that d does not divide; on both
// families of primes.
TEST_F(MultimodProduct, QuotientsInBatches) {
    NumberGen g(0x18180007);
    SCOPED_TRACE(g.trace());
    Kept<int32_t> lanes(wordprimes::short_lanes);
    for (int round = 0; round < scaled(6); round++) {
        // The short primes on the processor's lanes (where it has them),
        // the long ones otherwise.
        wordprimes::short_lanes = round % 2;
        const int nvars = 1 + round % 3;
        number_polys = nvars;
        const int32_t span = nvars == 1 ? 300 : nvars == 2 ? 18 : 6;
        const int count = nvars == 1 ? 200 : 120;
        const int decimal = round % 2 ? 60 : 12;
        auto rnd = [&](int c, int32_t sp) { return random_terms(g, nvars, c, sp, 0, decimal); };
        const std::vector<TermList> shared = {rnd(count, span), rnd(count, span), rnd(count / 2, span / 2),
                                              rnd(count / 3, span / 3)};
        std::vector<Planned> plans;
        std::vector<bool> taken;
        for (int j = 0; j < 3; j++) {
            plans.push_back(plan_quotient(nvars, shared, 0, 1, 2, rnd(count, span), rnd(count, span), rnd(count / 4, span / 2), false));
            taken.push_back(true);
        }
        plans.push_back(plan_quotient(nvars, shared, 0, 1, 3, rnd(count, span), rnd(count, span), rnd(count, span), false));
        taken.push_back(true);
        plans.push_back(plan_quotient(nvars, shared, 1, 0, 2, {}, {}, rnd(count, span), false));   // quotient 0
        taken.push_back(true);
        plans.push_back(plan_quotient(nvars, shared, 0, 1, 2, rnd(count, span), rnd(count, span), rnd(count, span), true));
        taken.push_back(false);
        // One product alone, g a / d and -e b / d, and a / d alone.
        const TermList &G = shared[0], &E = shared[1], &D = shared[2];
        const TermList a1 = rnd(count, span), b1 = rnd(count, span);
        Planned only_first{0, 1, 2, reference(D, a1, nvars), {}, canonical_terms(nvars, reference(G, a1, nvars))};
        only_first.second = false;
        Planned only_second{0, 1, 2, {}, reference(D, b1, nvars), canonical_terms(nvars, sum({}, reference(E, b1, nvars), -1))};
        only_second.first = false;
        Planned alone{-1, 1, 2, reference(D, a1, nvars), {}, canonical_terms(nvars, a1)};
        alone.second = false;
        for (Planned* p : {&only_first, &only_second, &alone}) {
            plans.push_back(*p);
            taken.push_back(true);
        }
        check_quotients(nvars, shared, plans, taken, "round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
}

// Divisors that vanish at a root of unity modulo every prime (x - y and
// x^k - 1 at 1, 1 + x^8 at an element of order 16): the quotient comes
// from the twisted points, or is left to the caller, never wrong.
TEST_F(MultimodProduct, QuotientsByDivisorsVanishingAtRootsOfUnity) {
    NumberGen g(0x18180008);
    number_polys = 2;
    auto rnd = [&](int c, int32_t sp) { return random_terms(g, 2, c, sp, 0, 20); };
    const TermList x_minus_y = {Term(mpz_class(1), Exps{1, 0}), Term(mpz_class(-1), Exps{0, 1})};
    const TermList x4_minus_1 = {Term(mpz_class(1), Exps{4, 0}), Term(mpz_class(-1), Exps{0, 0})};
    const TermList x8_plus_1 = {Term(mpz_class(1), Exps{8, 0}), Term(mpz_class(1), Exps{0, 0})};
    const std::vector<TermList> shared = {rnd(150, 16), rnd(150, 16), x_minus_y, x4_minus_1, x8_plus_1};
    std::vector<Planned> plans;
    for (int d : {2, 3, 4}) plans.push_back(plan_quotient(2, shared, 0, 1, d, rnd(150, 16), rnd(150, 16), rnd(40, 8), false));
    check_quotients(2, shared, plans, {true, true, true}, "vanishing");
}

// Every coefficient 2^k - 1, g = a = e = d, b = -a: the quotient 2 a of a
// dividend at twice the bound of one product.
TEST_F(MultimodProduct, QuotientsAtTheBound) {
    number_polys = 1;
    for (int k : {1, 56, 57, 60, 61, 120, 183}) {
        const mpz_class top = (mpz_class(1) << k) - 1;
        TermList A;
        for (int i = 0; i < 300; i++) A.emplace_back(top, Exps{i});
        Planned p{0, 0, 0, A, negated(A), canonical_terms(1, sum(A, A, 1))};
        check_quotients(1, {A}, {p}, {true}, "k = " + std::to_string(k));
        if (HasFatalFailure()) return;
    }
}

// What the route leaves to the caller: Laurent exponents, a divisor of
// higher degree than the dividend, the zero divisor.
TEST_F(MultimodProduct, QuotientRefusals) {
    NumberGen g(0x18180009);
    number_polys = 2;
    const TermList small = random_terms(g, 2, 3, 2, 0, 5);
    const TermList big = random_terms(g, 2, 300, 20, 0, 20);
    const TermList high = {Term(mpz_class(1), Exps{60, 0}), Term(mpz_class(1), Exps{0, 0})};
    const TermList zero = {};
    // Short operands are the caller's choice: the route takes them.
    const TermList small2 = random_terms(g, 2, 4, 3, 0, 5), small3 = random_terms(g, 2, 2, 1, 0, 5);
    check_quotients(2, {small, small2, small3}, {plan_quotient(2, {small, small2, small3}, 0, 1, 2, small2, small, small3, false)},
                    {true}, "short");
    check_quotients(2, {big, high}, {Planned{0, 0, 1, big, big, {}}}, {false}, "divisor too high");
    check_quotients(2, {big, zero}, {Planned{0, 0, 1, big, big, {}}}, {false}, "zero divisor");
    // x (P - Q)(y) / y with P(0) != Q(0): modulo X^n - 1 the pseudo-quotient
    // has small coefficients, one of them at x^0 y^top past the quotient's
    // exponents; only that place shows the division is not exact.
    TermList x_only = {Term(mpz_class(1), Exps{1, 0})}, P, Q;
    for (int32_t i = 0; i <= 60; i++) {
        P.emplace_back(mpz_class(1 + g.below(9)), Exps{0, 60 - i});
        Q.emplace_back(mpz_class(i == 60 ? 20 : 1 + g.below(9)), Exps{0, 60 - i});
    }
    const TermList y_only = {Term(mpz_class(1), Exps{0, 1})};
    check_quotients(2, {x_only, y_only}, {Planned{0, 0, 1, P, Q, {}}}, {false}, "past the box");
    laurent = 1;
    check_quotients(2, {big, random_terms(g, 2, 300, 20, -3, 20)}, {Planned{1, 0, 0, big, big, {}}}, {false}, "laurent");
    laurent = 0;
}

}  // namespace
