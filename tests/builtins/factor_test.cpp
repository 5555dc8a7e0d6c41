// Factoring over Z/p, GF(2^8) and GF(2^16): random inputs with planted
// repeated factors and planted products of equal-degree irreducibles. Each
// answer is checked by the test's own arithmetic (the factors to their
// multiplicities times the leading coefficient give the input; every
// factor is monic and proven irreducible; no factor comes twice) and, over
// Z/p, its (degree, multiplicity) multiset against sympy's factorisation.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "builtins/factor.h"
#include "ff_arith.h"
#include "ff_setup.h"
#include "numbers/ring.h"
#include "support/sympy_ref.h"

namespace {

using Multiset = std::vector<std::pair<int, int>>;

// lc · a product with planted structure, of degree at most max_deg.
UPoly planted_input(int max_deg, int kind) {
    UPoly f{1};
    auto room = [&](int d) { return deg(f) + d <= max_deg; };
    if (kind & 1) {   // a repeated factor
        const int d = 1 + static_cast<int>(test_draw() % 4);
        const int m = 2 + static_cast<int>(test_draw() % 3);
        if (room(d * m)) f = mul(f, upow(random_monic(d, test_draw), m));
    }
    if (kind & 2) {   // a product of equal-degree irreducibles
        const int d = 1 + static_cast<int>(test_draw() % 5);
        const int k = 2 + static_cast<int>(test_draw() % 3);
        for (int i = 0; i < k && room(d); i++) f = mul(f, random_irreducible(d, test_draw));
    }
    const int left = max_deg - deg(f);
    if (left > 0 && (kind & 4 || deg(f) == 0)) {
        const int d = 1 + static_cast<int>(test_draw() % left);
        f = mul(f, random_monic(d, test_draw));
    }
    uint64_t lc = 0;
    while (lc == 0) lc = test_draw() % field_size();
    return scale(f, lc);
}

struct Result {
    std::vector<std::pair<UPoly, int>> factors;
    int32_t count = 0;
};

Result factor_of(const UPoly& f) {
    polynode* p = to_poly(f);
    polynode* list = nullptr;
    Result r;
    factor_poly(&p, &list, &r.count, 0, 0, -1);
    for (polynode* c = list; c; c = c->next) r.factors.emplace_back(from_poly(c->pcoef), c->exp);
    free_poly(&list);
    return r;
}

// Every property the test can prove on its own; the multiset on success.
::testing::AssertionResult check_factors(const UPoly& f, const Result& r, Multiset* ms) {
    if (r.count != static_cast<int32_t>(r.factors.size()))
        return ::testing::AssertionFailure() << "count " << r.count << " for " << r.factors.size() << " records";
    UPoly prod{f.back()};
    for (const auto& [g, m] : r.factors) {
        if (g.empty() || g.back() != 1) return ::testing::AssertionFailure() << "not monic:" << to_text(g);
        if (!is_irreducible(g)) return ::testing::AssertionFailure() << "reducible factor:" << to_text(g);
        prod = mul(prod, upow(g, m));
        ms->emplace_back(deg(g), m);
    }
    if (prod != f) return ::testing::AssertionFailure() << "product differs for" << to_text(f);
    for (size_t i = 0; i < r.factors.size(); i++)
        for (size_t j = i + 1; j < r.factors.size(); j++)
            if (r.factors[i].first == r.factors[j].first)
                return ::testing::AssertionFailure() << "factor twice:" << to_text(r.factors[i].first);
    std::sort(ms->begin(), ms->end());
    return ::testing::AssertionSuccess();
}

std::string multiset_text(const Multiset& ms) {
    std::string s;
    for (auto [d, m] : ms) s += (s.empty() ? "" : " ") + std::to_string(d) + ":" + std::to_string(m);
    return s;
}

const char* kSympyFactor = R"PY(
import sys
from sympy import Poly, symbols
x = symbols('x')
for line in sys.stdin:
    v = [int(t) for t in line.split()]
    if not v: continue
    p, c = v[0], v[1:]
    f = Poly(list(reversed(c)), x, modulus=p)
    ms = sorted((g.degree(), m) for g, m in f.factor_list()[1])
    print(' '.join('%d:%d' % t for t in ms))
)PY";

class FactorModP : public ::testing::TestWithParam<int32_t> {};

TEST_P(FactorModP, PlantedInputsMatchTheirOwnProofsAndSympy) {
    ASSERT_TRUE(sympy_importable());
    const int32_t p = GetParam();
    OneVarField field(p);
    test_rng.seed(static_cast<uint64_t>(p));
    const int cases = p > 100000 ? 14 : 24;
    std::vector<std::string> lines, ours;
    for (int c = 0; c < cases; c++) {
        const int max_deg = c == 0 ? 1 : 1 + static_cast<int>(test_draw() % 60);
        const UPoly f = planted_input(max_deg, c % 8);
        const Result r = factor_of(f);
        Multiset ms;
        ASSERT_TRUE(check_factors(f, r, &ms)) << "p = " << p << ", case " << c;
        std::ostringstream l;
        l << p;
        for (uint64_t a : f) l << ' ' << a;
        lines.push_back(l.str());
        ours.push_back(multiset_text(ms));
    }
    const auto ref = run_sympy(kSympyFactor, lines);
    ASSERT_EQ(ref.size(), ours.size());
    for (size_t i = 0; i < ours.size(); i++) EXPECT_EQ(ours[i], ref[i]) << "p = " << p << ": " << lines[i];
}

INSTANTIATE_TEST_SUITE_P(Primes, FactorModP, ::testing::Values(2, 3, 5, 7, 101, 65521, 2147483629));

class FactorGF : public ::testing::TestWithParam<int32_t> {};

TEST_P(FactorGF, PlantedInputsOverCharacteristicTwoFields) {
    OneVarField field(GetParam());
    test_rng.seed(static_cast<uint64_t>(GetParam()) + 1);
    for (int c = 0; c < 12; c++) {
        const UPoly f = planted_input(1 + static_cast<int>(test_draw() % 24), c % 8);
        const Result r = factor_of(f);
        Multiset ms;
        ASSERT_TRUE(check_factors(f, r, &ms)) << "GF(" << GetParam() << "), case " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, FactorGF, ::testing::Values(256, 65536));

TEST(Factor, OverGF2TheOrderDoesNotDependOnRandomNumbers) {
    OneVarField field(2);
    test_rng.seed(99);
    const UPoly f = mul(mul(UPoly{1, 1, 1}, UPoly{1, 1, 0, 1}), mul(UPoly{1, 0, 1, 1}, UPoly{0, 1}));
    std::vector<UPoly> first;
    for (int run = 0; run < 3; run++) {
        set_random_sources([]() -> long { return static_cast<long>(test_draw() & 0x7fffffff); }, nullptr,
                           []() -> long { return static_cast<long>(test_draw() & 0xffff); });
        const Result r = factor_of(f);
        std::vector<UPoly> got;
        for (const auto& fm : r.factors) got.push_back(fm.first);
        if (run == 0) first = got;
        EXPECT_EQ(got, first);
    }
}

TEST(Factor, EdgeCases) {
    {
        OneVarField field(5);
        // Degree 1, square-free: one record of multiplicity 1.
        Result r = factor_of(UPoly{3, 2});
        ASSERT_EQ(r.factors.size(), 1u);
        EXPECT_EQ(r.factors[0].second, 1);
        EXPECT_EQ(r.factors[0].first, (UPoly{4, 1}));
        // x^2 + 1 = (x + 2)(x + 3) over Z/5.
        r = factor_of(UPoly{1, 0, 1});
        ASSERT_EQ(r.count, 2);
        // A number: no records.
        r = factor_of(UPoly{3});
        EXPECT_EQ(r.count, 0);
        // x^5: one record, multiplicity 5 (a p-th power).
        r = factor_of(UPoly{0, 0, 0, 0, 0, 1});
        ASSERT_EQ(r.count, 1);
        EXPECT_EQ(r.factors[0].second, 5);
    }
}

}  // namespace
