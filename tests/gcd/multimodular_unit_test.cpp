// Units proved by images of the multiplication matrix: in Q[t]/(m) for m
// reducible (a product of two factors) and irreducible, an element is
// called a unit only when gcd(c, m) = 1 over Q, computed here by Euclid on
// GMP rationals; the multiples of a factor (zero divisors) never are.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "gcd/multimodular_inverse.h"
#include "poly/polyvars.h"
#include "support/field_level.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

using Dense = std::vector<mpz_class>;

Dense times(const Dense& a, const Dense& b) {
    Dense c(a.size() + b.size() - 1);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) c[i + j] += a[i] * b[j];
    return c;
}

Dense remainder(Dense c, const Dense& m) {   // m monic
    const size_t n = m.size() - 1;
    for (size_t k = c.size(); k-- > n;)
        for (size_t i = 0; i <= n; i++) c[k - n + i] -= c[k] * m[i];
    if (c.size() > n) c.resize(n);
    return c;
}

// The degree of gcd(a, b) over Q (a, b not both zero).
int gcd_degree(const Dense& a, const Dense& b) {
    auto trim = [](std::vector<mpq_class>& v) {
        while (!v.empty() && v.back() == 0) v.pop_back();
    };
    std::vector<mpq_class> u(a.begin(), a.end()), v(b.begin(), b.end());
    trim(u), trim(v);
    while (!v.empty()) {
        while (u.size() >= v.size()) {
            const mpq_class q = u.back() / v.back();
            const size_t s = u.size() - v.size();
            for (size_t i = 0; i < v.size(); i++) u[s + i] -= q * v[i];
            trim(u);
            if (u.empty()) break;
        }
        std::swap(u, v);
    }
    return static_cast<int>(u.size()) - 1;
}

TermList to_terms(const Dense& c) {
    TermList t;
    for (size_t e = 0; e < c.size(); e++)
        if (c[e] != 0) t.emplace_back(c[e], std::vector<int32_t>{static_cast<int32_t>(e)});
    return canonical_terms(1, t);
}

TEST(MultimodularUnit, UnitsExactlyWhereCoprimeToTheRelation) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    VarGlobalsGuard globals;
    std::mt19937 rng(94);
    auto small = [&](int b) { return static_cast<int>(rng() % (2 * b + 1)) - b; };
    // (t^8 + 2t - 2)(t^10 - 3t^4 + 1), then Eisenstein t^20 + 4t^7 + 2, and
    // a square (t^9 + t + 3)^2 whose multiples of the root are nilpotent.
    const Dense f = {-2, 2, 0, 0, 0, 0, 0, 0, 1}, g = {1, 0, 0, 0, -3, 0, 0, 0, 0, 0, 1};
    const Dense h = {3, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    const std::vector<std::pair<Dense, Dense>> rings = {
        {times(f, g), f}, {{2, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {}}, {times(h, h), h}};
    RecordLedger ledger;
    for (const auto& [m, factor] : rings) {
        const int32_t n = static_cast<int32_t>(m.size()) - 1;
        FieldLevel level(polynames, 1, to_terms(m), n, false);
        int units = 0;
        for (int trial = 0; trial < 24; trial++) {
            Dense c(static_cast<size_t>(n));
            for (auto& x : c) x = small(trial % 3 == 2 ? 1000 : 4);
            // A third of the elements multiples of a factor of the relation.
            if (!factor.empty() && trial % 3 == 0) c = remainder(times(c, factor), m);
            bool zero = true;
            for (const auto& x : c) zero = zero && x == 0;
            if (zero) continue;
            c.resize(static_cast<size_t>(n));
            const bool unit = gcd_degree(c, m) == 0;
            units += unit;
            BuiltPoly pc(1, to_terms(c));
            if (pc.p->numb) continue;   // a number: not asked here
            EXPECT_EQ(multimodular_unit(pc.p, polynames), unit) << "degree " << n << " trial " << trial;
        }
        EXPECT_GT(units, 8);
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
