// Square-free factorisation over Z/p (small and large p), GF(2^8) and
// GF(2^16). Every result is checked by properties computed on the test side
// with its own one-variable arithmetic: the product of the factors to their
// multiplicities is the input up to a unit, every factor is square-free
// (gcd(f, f') = 1 by Euclid) and the factors are pairwise coprime. Inputs
// carry p-th power parts (multiplicities p, 2p, p + 1 and f(x^p)).
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "gcd/sqfree.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/dense.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

struct Field {
    RingStateGuard saved;
    explicit Field(int32_t m) {
        load_data_once();
        init_poly_work_arrays();
        modularmode = lintmode = 1;
        install_modulus(m);
        mod_is_prime = 1;
    }
};

// ---- the test's own field and one-variable arithmetic (lowest degree first)
using UPoly = std::vector<int64_t>;

int64_t f_mul(int64_t a, int64_t b) {
    if (f256) return f256prod[a * 256 + b];
    if (f2t16) return (a == 0 || b == 0) ? 0 : f2t16exp[(f2t16log[a] + f2t16log[b]) % 65535];
    return a * b % modulus;
}
int64_t f_add(int64_t a, int64_t b) { return finf ? (a ^ b) : (a + b) % modulus; }
int64_t f_neg(int64_t a) { return finf ? a : (modulus - a) % modulus; }
int64_t f_inv(int64_t a) {
    if (f256) {
        for (int64_t b = 1; b < 256; b++)
            if (f_mul(a, b) == 1) return b;
        return 0;
    }
    if (f2t16) return f2t16exp[(65535 - f2t16log[a]) % 65535];
    int64_t r = 1, b = a, e = modulus - 2;
    for (; e; e >>= 1, b = b * b % modulus)
        if (e & 1) r = r * b % modulus;
    return r;
}
int64_t characteristic() { return finf ? 2 : modulus; }

void trim(UPoly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}
UPoly mul(const UPoly& a, const UPoly& b) {
    if (a.empty() || b.empty()) return {};
    UPoly c(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) c[i + j] = f_add(c[i + j], f_mul(a[i], b[j]));
    trim(c);
    return c;
}
UPoly power(const UPoly& a, int k) {
    UPoly r{1};
    for (int i = 0; i < k; i++) r = mul(r, a);
    return r;
}
UPoly rem(UPoly a, const UPoly& b) {
    const int64_t inv = f_inv(b.back());
    while (a.size() >= b.size()) {
        const int64_t q = f_mul(a.back(), inv);
        const size_t s = a.size() - b.size();
        for (size_t i = 0; i < b.size(); i++) a[s + i] = f_add(a[s + i], f_neg(f_mul(q, b[i])));
        trim(a);
    }
    return a;
}
UPoly monic(UPoly a) {
    if (a.empty()) return a;
    const int64_t inv = f_inv(a.back());
    for (auto& c : a) c = f_mul(c, inv);
    return a;
}
UPoly gcd(UPoly a, UPoly b) {
    while (!b.empty()) {
        UPoly r = rem(a, b);
        a = std::move(b);
        b = std::move(r);
    }
    return monic(a);
}
UPoly deriv(const UPoly& a) {
    UPoly d;
    for (size_t i = 1; i < a.size(); i++) {
        int64_t c = a[i];
        const int64_t k = static_cast<int64_t>(i) % characteristic();
        int64_t s = 0;
        if (finf) s = (k & 1) ? c : 0;
        else s = c * k % modulus;
        d.push_back(s);
    }
    trim(d);
    return d;
}

TermList to_terms(const UPoly& a) {
    TermList t;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i]) t.emplace_back(static_cast<long long>(a[i]), std::vector<int32_t>{static_cast<int32_t>(i)});
    return canonical_terms(1, t);
}
UPoly from_terms(const TermList& t) {
    UPoly a;
    for (const Term& s : t) {
        const size_t e = static_cast<size_t>(s.exps[0]);
        if (a.size() <= e) a.resize(e + 1, 0);
        a[e] = s.coef.get_si();
    }
    trim(a);
    return a;
}

UPoly random_poly(NumberGen& g, int32_t deg) {
    UPoly a(static_cast<size_t>(deg) + 1);
    for (auto& c : a) c = g.between(0, modulus - 1);
    a.back() = g.between(1, modulus - 1);
    return a;
}

// The factors as the routine reports them: multiplicity -> factor.
std::vector<std::pair<int32_t, UPoly>> factorise(const UPoly& f) {
    HeldPoly p(build_poly(1, to_terms(f)));
    polynode* list = nullptr;
    int32_t count = 0;
    square_free_factor(p.p, &list, &count, polynames);
    std::vector<std::pair<int32_t, UPoly>> out;
    for (polynode* r = list; r; r = r->next) {
        EXPECT_TRUE(check_poly_shape(r->pcoef, 1));
        out.emplace_back(r->exp, from_terms(read_poly(r->pcoef, 1)));
    }
    EXPECT_EQ(count, static_cast<int32_t>(out.size()));
    EXPECT_EQ(from_terms(read_poly(p.p, 1)), f) << "the input changed";
    free_poly(&list);
    return out;
}

void expect_square_free_factorisation(const UPoly& f) {
    SCOPED_TRACE("f = " + terms_to_string(to_terms(f)));
    const auto fs = factorise(f);
    UPoly prod{1};
    std::map<int32_t, int> seen;
    for (size_t i = 0; i < fs.size(); i++) {
        const auto& [m, a] = fs[i];
        EXPECT_GE(a.size(), 2u) << "a constant factor";
        EXPECT_EQ(++seen[m], 1) << "two factors of multiplicity " << m;
        EXPECT_EQ(gcd(a, deriv(a)), UPoly{1}) << "not square-free: " << terms_to_string(to_terms(a));
        for (size_t j = 0; j < i; j++)
            EXPECT_EQ(gcd(a, fs[j].second), UPoly{1}) << "factors of multiplicities " << m << " and "
                                                     << fs[j].first << " share a factor";
        prod = mul(prod, power(a, m));
    }
    EXPECT_EQ(monic(prod), monic(f));
}

// c · Π g_j^{k_j} · h(x^p): multiplicities 1, 2, p, p + 1, 2p (as far as the
// degree allows) and a p-th power part.
void random_cases(int32_t m, uint64_t seed, int count, int32_t max_deg) {
    Field field(m);
    AttachedVars vars(1);
    NumberGen gen(seed);
    const int32_t p = static_cast<int32_t>(characteristic());
    int ran = 0, rooted = 0;
    for (int it = 0; it < count; it++) {
        RecordLedger ledger;
        UPoly f{gen.between(1, modulus - 1)};
        const int parts = gen.between(1, 4);
        for (int j = 0; j < parts; j++) {
            const int choice = gen.below(5);
            int k = choice == 0 ? 1 : choice == 1 ? 2 : choice == 2 ? p : choice == 3 ? p + 1 : 2 * p;
            if (k > 12) k = gen.between(1, 3);
            f = mul(f, power(random_poly(gen, gen.between(1, 2)), k));
        }
        if (p <= 7 && gen.chance(50)) {
            // h(x^p), a p-th power whatever h is.
            UPoly h = random_poly(gen, gen.between(1, 2)), hp;
            for (size_t i = 0; i < h.size(); i++) {
                if (hp.size() <= i * static_cast<size_t>(p)) hp.resize(i * static_cast<size_t>(p) + 1, 0);
                hp[i * static_cast<size_t>(p)] = h[i];
            }
            f = mul(f, hp);
        }
        if (static_cast<int32_t>(f.size()) - 1 > max_deg || f.size() < 2) continue;
        SCOPED_TRACE(gen.trace() + " case " + std::to_string(it));
        ran++;
        rooted += deriv(f).size() < f.size() - 1 || deriv(gcd(f, deriv(f))).empty();
        expect_square_free_factorisation(f);
        EXPECT_TRUE(ledger.balanced());
    }
    EXPECT_GT(ran, count / 2);
    if (p <= 7) {
        EXPECT_GT(rooted, ran / 4) << "too few inputs with a p-th power part";
    }
}

TEST(SquareFree, HandCases) {
    Field field(3);
    AttachedVars vars(1);
    // (x + 1)^3 mod 3 has a zero derivative.
    auto fs = factorise(power({1, 1}, 3));
    ASSERT_EQ(fs.size(), 1u);
    EXPECT_EQ(fs[0].first, 3);
    EXPECT_EQ(monic(fs[0].second), (UPoly{1, 1}));
    // Multiplicity 6 = 2·3 is one factor, never two of multiplicity 3.
    fs = factorise(mul(power({1, 1}, 6), UPoly{2, 1}));
    ASSERT_EQ(fs.size(), 2u);
    std::map<int32_t, UPoly> by_m;
    for (auto& [m, a] : fs) by_m[m] = monic(a);
    EXPECT_EQ(by_m[6], (UPoly{1, 1}));
    EXPECT_EQ(by_m[1], (UPoly{2, 1}));
    // A square-free input is one factor of multiplicity 1.
    fs = factorise({1, 0, 1, 1});
    ASSERT_EQ(fs.size(), 1u);
    EXPECT_EQ(fs[0].first, 1);
    EXPECT_EQ(monic(fs[0].second), monic(UPoly{1, 0, 1, 1}));
    // x^9 + 2 = (x + 2)^9 mod 3: two roots in a row.
    fs = factorise({2, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    ASSERT_EQ(fs.size(), 1u);
    EXPECT_EQ(fs[0].first, 9);
    EXPECT_EQ(monic(fs[0].second), (UPoly{2, 1}));
}

TEST(SquareFree, GF256SquareRootsOfCoefficients) {
    Field field(256);
    AttachedVars vars(1);
    // (a x + b)^2 = a^2 x^2 + b^2: the roots must give a x + b back.
    const UPoly lin{57, 200};
    auto fs = factorise(mul(lin, lin));
    ASSERT_EQ(fs.size(), 1u);
    EXPECT_EQ(fs[0].first, 2);
    EXPECT_EQ(monic(fs[0].second), monic(lin));
}

TEST(SquareFree, RandomModuloSmallPrimes) {
    random_cases(2, 9101, 40, 40);
    random_cases(3, 9102, 60, 40);
    random_cases(5, 9103, 60, 40);
    random_cases(7, 9104, 40, 45);
}
TEST(SquareFree, RandomModuloLargePrimes) {
    random_cases(10007, 9105, 40, 40);
    random_cases(1000003, 9106, 40, 40);
}
TEST(SquareFree, RandomOverGF256) { random_cases(256, 9107, 60, 40); }
TEST(SquareFree, RandomOverGF65536) { random_cases(65536, 9108, 60, 40); }

}  // namespace
