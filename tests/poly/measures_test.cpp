// Term, node and degree counts: hand values that pin the caps, the values
// returned at the stop and the 16-bit wrap, and every uncapped count checked
// against the shape a polynomial must have, derived here from its term list
// (which prefixes of the exponent vectors become term nodes) rather than from
// the nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <vector>

#include "poly/measures.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

constexpr int32_t SEED_LOW = -2147483647;

// Terms c * x^e for the exponents lo .. hi of one variable, c = 1.
TermList run(int32_t lo, int32_t hi) {
    TermList t;
    for (int32_t e = lo; e <= hi; e++) t.emplace_back(1, std::vector<int32_t>{e});
    return t;
}

// The same terms, each times x1^outer as the first of two variables.
TermList times_x(int32_t outer, const TermList& inner) {
    TermList t;
    for (const Term& s : inner) {
        std::vector<int32_t> e{outer};
        e.insert(e.end(), s.exps.begin(), s.exps.end());
        t.emplace_back(s.coef, e);
    }
    return t;
}

TermList operator+(TermList a, const TermList& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ------------------------------------------------------------ the shape from the term list

// What the nodes of a polynomial with these (non-empty, canonical) terms must
// be. A prefix e1 .. eL of a term's exponents is a term node at level L unless
// the prefix's terms have collapsed into a number node: a single term whose
// exponents from position L on are all 0 (an exponent-0 term over a lone
// number is that number). Every term ends in one number node.
struct Shape {
    int nvars = 0;
    TermList terms;
    std::set<std::vector<int32_t>> term_nodes;   // prefixes that are term nodes
    std::vector<int> path;                       // per term: term nodes above its number node

    Shape(int n, const TermList& t) : nvars(n), terms(t) {
        std::map<std::vector<int32_t>, int> group;
        for (const Term& s : terms)
            for (int l = 1; l <= nvars; l++) group[prefix(s, l)]++;
        for (const Term& s : terms) {
            int depth = 0;
            for (int l = 1; l <= nvars; l++) {
                bool rest_zero = std::all_of(s.exps.begin() + (l - 1), s.exps.end(), [](int32_t e) { return e == 0; });
                if (group[prefix(s, l)] == 1 && rest_zero) break;
                term_nodes.insert(prefix(s, l));
                depth++;
            }
            path.push_back(depth);
        }
    }

    static std::vector<int32_t> prefix(const Term& s, int l) { return {s.exps.begin(), s.exps.begin() + l}; }

    int64_t monomials() const { return static_cast<int64_t>(terms.size()); }
    int64_t nodes() const { return static_cast<int64_t>(term_nodes.size()) + monomials(); }
    int64_t exponent_weighted_nodes() const {
        int64_t s = monomials();
        for (const auto& k : term_nodes) s += k.back();
        return s;
    }
    int64_t nodes_of_positive_exponent() const {
        int64_t s = monomials();
        for (const auto& k : term_nodes) s += k.back() >= 1;
        return s;
    }
    int32_t depth() const { return path.empty() ? 0 : *std::max_element(path.begin(), path.end()); }
    // Outer levels on which nothing depends: a lone exponent-0 term node.
    int32_t skipped_levels() const {
        int s = 0;
        while (s < nvars) {
            bool all_zero = std::all_of(terms.begin(), terms.end(), [&](const Term& t) { return t.exps[s] == 0; });
            if (!all_zero || !term_nodes.count(std::vector<int32_t>(s + 1, 0))) break;
            s++;
        }
        return s;
    }
    int32_t max_exponent(int level) const {
        int32_t m = INT32_MIN;
        for (const Term& t : terms) m = std::max(m, t.exps[level - 1]);
        return m;
    }
    // Field-aware monomials with field_depth f >= 2, counted from level 1: a
    // term node at level f - 1 holds one field element; a number node above
    // level f is one monomial.
    int64_t field_monomials(int f) const {
        int64_t n = 0;
        for (const auto& k : term_nodes) n += static_cast<int>(k.size()) == f - 1;
        for (int d : path) n += d < f - 1;
        return n;
    }
    // A monomial weighs k (k + 1) ... (k + depth) from level k; with field
    // levels from f >= 2 on, k = 1, a field element weighs (f - 1)!.
    int64_t weight(int32_t k) const {
        int64_t w = 0;
        for (int d : path) {
            int64_t m = 1;
            for (int i = 0; i <= d; i++) m *= k + i;
            w += m;
        }
        return w;
    }
    int64_t field_weight(int f) const {
        int64_t fact = 1;
        for (int i = 1; i <= f - 1; i++) fact *= i;
        int64_t w = 0;
        for (const auto& k : term_nodes) w += static_cast<int>(k.size()) == f - 1 ? fact : 0;
        for (int d : path) {
            if (d >= f - 1) continue;
            int64_t m = 1;
            for (int i = 1; i <= d + 1; i++) m *= i;
            w += m;
        }
        return w;
    }
    // deglist entry of a level: one more than the greatest exponent at that
    // level over the terms whose path reaches a list there; 0 when none does.
    int32_t dense_extent(int level) const {
        int32_t m = 0;
        for (size_t i = 0; i < terms.size(); i++)
            if (path[i] + 1 >= level) m = std::max(m, terms[i].exps[level - 1] + 1);
        return m;
    }
    // The leading-exponent-plus-heaviest-coefficient bound on the total
    // degree of the list of the terms whose first exponents are `key`.
    int64_t degree_bound(const std::vector<int32_t>& key) const {
        const int level = static_cast<int>(key.size()) + 1;
        int64_t lead = INT64_MIN;
        std::set<int32_t> below;   // exponents of the list's term nodes
        for (const Term& t : terms) {
            if (!std::equal(key.begin(), key.end(), t.exps.begin())) continue;
            lead = std::max<int64_t>(lead, t.exps[level - 1]);
            if (term_nodes.count(prefix(t, level))) below.insert(t.exps[level - 1]);
        }
        bool lead_is_number = !below.count(static_cast<int32_t>(lead));
        if (level == nvars || lead_is_number) return lead;
        int64_t best = 0;
        for (int32_t e : below) {
            std::vector<int32_t> k = key;
            k.push_back(e);
            best = std::max(best, degree_bound(k));
        }
        return lead + best;
    }
};

// Random non-zero polynomials in 1 to 5 variables, sparse or dense.
TermList random_terms(NumberGen& g, int nvars) {
    for (;;) {
        int kind = g.below(4);
        int n = kind == 3 ? g.between(1, 3) : g.between(1, 70);
        int32_t top = kind == 0 ? 40 : kind == 1 ? 2 : 6;
        TermList t;
        for (int i = 0; i < n; i++) {
            std::vector<int32_t> e(nvars);
            for (int32_t& x : e) x = g.chance(35) ? 0 : g.below(top + 1);
            mpz_class c = g.chance(70) ? mpz_class(g.between(-9, 9)) : g.digits(g.length(1, 3));
            t.emplace_back(c, e);
        }
        t = canonical_terms(nvars, t);
        if (!t.empty()) return t;
    }
}

// ------------------------------------------------------------ hand values

TEST(Measures, AConstantCountsOne) {
    VarGlobalsGuard guard;
    number_polys = 2;
    BuiltPoly p(2, {{5, {0, 0}}});
    EXPECT_EQ(f_poly_numterms(p), 1);
    EXPECT_EQ(fast_numterms(p), 1);
    EXPECT_EQ(poly_nodes(p), 1);
    EXPECT_EQ(q_poly_numterms(p), 1);
    EXPECT_EQ(poly_numterms(p, 1), 1);
    EXPECT_EQ(node_total(p), 1);
    EXPECT_EQ(bigg_node_total(p), 1);
    EXPECT_EQ(big_node_total(p), 1);
    EXPECT_EQ(new_node_total(p), 1);
    EXPECT_EQ(depth_below(p), 0);
    EXPECT_EQ(poly_height(p), 0);
    EXPECT_EQ(sum_degrees(p, 1, INT32_MAX), 0);
    EXPECT_EQ(poly_weight(p, 1), 1);
    int64_t size = -1;
    deglist[2] = 99;
    EXPECT_EQ(expon_node_total(p, 1, 1, &size), 1);
    EXPECT_EQ(deglist[1], 1);
    EXPECT_EQ(deglist[2], 0);
    EXPECT_EQ(size, 1);

    // Null counts 0.
    EXPECT_EQ(f_poly_numterms(nullptr), 0);
    EXPECT_EQ(node_total(nullptr), 0);
    EXPECT_EQ(depth_below(nullptr), 0);
    EXPECT_EQ(poly_weight(nullptr, 1), 0);
    EXPECT_EQ(poly_numterms(nullptr, 1), 0);
}

TEST(Measures, XCubedPlusOne) {
    VarGlobalsGuard guard;
    number_polys = 1;
    BuiltPoly p(1, {{1, {3}}, {1, {0}}});
    EXPECT_EQ(f_poly_numterms(p), 2);
    EXPECT_EQ(node_total(p), 3);
    EXPECT_EQ(new_node_total(p), 5);   // x^3 weighs 3 + its number, the constant 1
    EXPECT_EQ(depth_below(p), 1);
    EXPECT_EQ(poly_weight(p, 1), 3);   // x^3 weighs 1 x 2, the constant 1
    int32_t m = SEED_LOW;
    max_degree(p, 1, &m);
    EXPECT_EQ(m, 3);
    m = 10;
    max_degree(p, 1, &m);
    EXPECT_EQ(m, 10);
    int64_t size = 0;
    EXPECT_EQ(expon_node_total(p, 1, 1, &size), 3);
    EXPECT_EQ(deglist[1], 4);
    EXPECT_EQ(size, 4);
}

TEST(Measures, TwoVariableWeightsAndTheUncountedPadding) {
    VarGlobalsGuard guard;
    number_polys = 2;
    // x^2 y^3 weighs 1 x 2 x 3, x^4 weighs 1 x 2, the constant 1.
    BuiltPoly p(2, {{7, {2, 3}}, {1, {4, 0}}, {-2, {0, 0}}});
    EXPECT_EQ(poly_weight(p, 1), 6 + 2 + 1);

    // y + 1 hangs below an exponent-0 padding node, which takes no cell of a
    // dense array and is not counted; y (1) and its number and the constant.
    BuiltPoly q(2, {{1, {0, 1}}, {1, {0, 0}}});
    int64_t size = 0;
    EXPECT_EQ(expon_node_total(q, 1, 1, &size), 3);
    EXPECT_EQ(deglist[1], 1);
    EXPECT_EQ(deglist[2], 2);
    EXPECT_EQ(size, 2);
    EXPECT_EQ(node_total(q), 4);
    EXPECT_EQ(depth_below(q), 2);
    EXPECT_EQ(poly_height(q), 1);
}

TEST(Measures, PolyHeightSkipsTheVariablesNotPresent) {
    // z^2 + z in x, y, z: two padding levels, then one level used.
    BuiltPoly p(3, {{1, {0, 0, 2}}, {1, {0, 0, 1}}});
    EXPECT_EQ(depth_below(p), 3);
    EXPECT_EQ(poly_height(p), 1);
    // x z: nothing to skip at the top.
    BuiltPoly q(3, {{1, {1, 0, 1}}});
    EXPECT_EQ(poly_height(q), 3);
}

TEST(Measures, MonomialCountsStopPastTheirCaps) {
    // 70 terms in one variable: the walk stops at the node that passes the cap.
    BuiltPoly p(1, run(1, 70));
    EXPECT_EQ(f_poly_numterms(p), 70);
    EXPECT_EQ(fast_numterms(p), 61);
    EXPECT_EQ(poly_nodes(p), 41);

    // Ten top terms with seven monomials each: the top walk stops after the
    // top term that passes the cap, with that term's whole sub-count.
    TermList t;
    for (int32_t i = 1; i <= 10; i++) t = t + times_x(i, run(1, 7));
    BuiltPoly q(2, t);
    EXPECT_EQ(f_poly_numterms(q), 70);
    EXPECT_EQ(fast_numterms(q), 63);   // 9 x 7
    EXPECT_EQ(poly_nodes(q), 42);      // 6 x 7

    // An inner list that stops early hands its partial sum up.
    BuiltPoly r(2, times_x(1, run(1, 80)) + TermList{{3, {0, 0}}});
    EXPECT_EQ(fast_numterms(r), 61);
    EXPECT_EQ(poly_nodes(r), 41);
}

TEST(Measures, NodeCountsStopPastTheirCaps) {
    TermList t;
    for (int32_t i = 1; i <= 10; i++) t = t + times_x(i, run(1, 7));
    BuiltPoly q(2, t);   // each top term: itself and 7 x 2 nodes below
    EXPECT_EQ(node_total(q), 30);
    EXPECT_EQ(bigg_node_total(q), 150);
    EXPECT_EQ(big_node_total(q), 150);
    // x^10 weighs 10 + (7 + 1) + ... + (1 + 1) = 45, x^9 another 44, x^8 43.
    EXPECT_EQ(new_node_total(q), 132);

    BuiltPoly many(1, run(1, 7000));
    EXPECT_EQ(bigg_node_total(many), 12002);
    EXPECT_EQ(big_node_total(many), 802);
    EXPECT_EQ(node_total(many), 18);
}

TEST(Measures, BiggerNodeTotalStopsPastItsCap) {
    // 2,000 top terms sharing one coefficient of 1,000 terms (2,000 nodes): a
    // read-only walk counts the shared list once per term node, 2,001 each.
    BuiltPoly coef(1, run(1, 1000));
    polynode* top = nullptr;
    for (int32_t e = 1; e <= 2000; e++) top = term_node(e, coef.p, top);
    EXPECT_EQ(bigger_node_total(top), 1280 * 2001);
    EXPECT_EQ(bigg_node_total(top), 6 * 2001);
    for (polynode* n = top; n; n = n->next) n->pcoef = nullptr;
    free_poly(&top);
}

TEST(Measures, ClampedCountsClampAtEveryLevel) {
    // big_node_total: 799 after x^2; x's list stops at 802; 1,602 is clamped.
    BuiltPoly p(2, times_x(2, run(1, 399)) + times_x(1, run(1, 500)));
    EXPECT_EQ(big_node_total(p), 1600);

    // new_node_total: x^2 y^90 weighs 2 + 91, x y^120 another 1 + 121.
    BuiltPoly r(2, {{1, {2, 90}}, {1, {1, 120}}});
    EXPECT_EQ(new_node_total(r), 200);
    BuiltPoly s(2, {{1, {2, 90}}, {1, {1, 95}}});
    EXPECT_EQ(new_node_total(s), 190);
    BuiltPoly v(1, {{1, {150}}, {1, {0}}});
    EXPECT_EQ(new_node_total(v), 151);

    // expon_node_total: 1,599 after x^2; x's list stops at 1,602; clamped.
    VarGlobalsGuard guard;
    number_polys = 2;
    BuiltPoly w(2, times_x(2, run(1, 799)) + times_x(1, run(1, 1000)));
    int64_t size = 0;
    EXPECT_EQ(expon_node_total(w, 1, 1, &size), 3200);
    BuiltPoly one(1, run(1, 2000));
    number_polys = 1;
    EXPECT_EQ(expon_node_total(one, 1, 1, &size), 1602);
    EXPECT_EQ(deglist[1], 2001);
    EXPECT_EQ(size, 2001);
}

TEST(Measures, SixteenBitCountersWrap) {
    // 40,000 + 1 + 1 does not fit 16 bits: -25,534 is below the cap, so the
    // walk goes on and returns the wrapped sum.
    BuiltPoly p(1, {{1, {40000}}, {1, {0}}});
    EXPECT_EQ(new_node_total(p), -25534);
    // 65,601 wraps to 65: no stop at x^65600, the constant brings it to 66.
    BuiltPoly q(1, {{1, {65600}}, {1, {0}}});
    EXPECT_EQ(new_node_total(q), 66);
}

TEST(Measures, QPolyNumtermsIsExactlyItsCap) {
    BuiltPoly p(1, run(0, 200010));   // 200,011 monomials
    EXPECT_EQ(q_poly_numterms(p), 200010);
    BuiltPoly q(1, run(0, 200009));
    EXPECT_EQ(q_poly_numterms(q), 200010);
    // The inner clamp is exact too, and the top stops at once after it.
    BuiltPoly r(2, times_x(2, run(0, 200010)) + TermList{{1, {1, 0}}, {1, {0, 0}}});
    EXPECT_EQ(q_poly_numterms(r), 200010);
    EXPECT_EQ(f_poly_numterms(r), 200013);
}

TEST(Measures, FieldLevelsCountAFieldElementOnce) {
    VarGlobalsGuard guard;
    number_polys = 2;
    field_depth = 2;
    // x^2 (y^2 + 1) + x y + 3 with y a field generator: three monomials.
    BuiltPoly p(2, {{1, {2, 2}}, {1, {2, 0}}, {1, {1, 1}}, {3, {0, 0}}});
    EXPECT_EQ(poly_numterms(p, 1), 3);
    EXPECT_EQ(fast_f_numterms(p, 1), 3);
    EXPECT_EQ(qpoly_numterms(p, 1), 3);
    EXPECT_EQ(poly_numterms(p, 2), 1);
    EXPECT_EQ(fast_f_numterms(p, 2), 1);
    EXPECT_EQ(qpoly_numterms(p, 2), 1);
    EXPECT_EQ(poly_weight(p, 1), 1 + 1 + 1);
    EXPECT_EQ(f_poly_numterms(p), 4);   // not field-aware

    quoly q{};
    q.isnum = 0;
    q.pnum = p;
    q.den = nullptr;
    EXPECT_EQ(numterms(&q), 3);
    EXPECT_EQ(q_numterms(&q), 3);
    EXPECT_EQ(f_numterms(&q), 4);
    BuiltPoly d(2, {{1, {1, 0}}, {1, {0, 1}}});   // x + y: x and the field element y
    q.den = d;
    EXPECT_EQ(numterms(&q), 5);
    EXPECT_EQ(f_numterms(&q), 6);
    field_depth = 1;   // everything is one field element
    EXPECT_EQ(numterms(&q), 2);
    EXPECT_EQ(q_numterms(&q), 2);
    q.den = nullptr;
    EXPECT_EQ(numterms(&q), 1);
    EXPECT_EQ(fast_f_numterms(p, 1), 1);
    EXPECT_EQ(poly_weight(p, 1), 1);

    imag n{};
    quoly num{};
    num.isnum = 1;
    num.nnum = &n;
    EXPECT_EQ(f_numterms(&num), 1);
    EXPECT_EQ(q_numterms(&num), 1);
}

TEST(Measures, FieldAwareCapsAndTheUntestedNumberNodes) {
    VarGlobalsGuard guard;
    number_polys = 2;
    field_depth = 0;
    BuiltPoly p(1, run(1, 1500));
    EXPECT_EQ(qpoly_numterms(p, 1), 1001);
    EXPECT_EQ(fast_f_numterms(p, 1), 101);
    BuiltPoly q(2, times_x(3, run(1, 150)) + times_x(2, run(1, 3)));
    EXPECT_EQ(fast_f_numterms(q, 1), 101);   // the inner stop is handed up

    // A number node adds 1 without a test: with Laurent terms after the
    // constant, only the next term node's test stops the walk.
    laurent = 1;
    BuiltPoly r(1, run(1, 1000) + run(-5, -1) + TermList{{5, {0}}});
    EXPECT_EQ(qpoly_numterms(r, 1), 1002);   // x^1000 .. x, 5, then x^-1 passes 1,000
    EXPECT_EQ(fast_f_numterms(r, 1), 101);

    // q_numterms: each part stops on its own; the denominator is still counted.
    laurent = 0;
    BuiltPoly big(1, run(1, 1500));
    BuiltPoly den(1, run(1, 20));
    quoly qq{};
    qq.pnum = big;
    qq.den = den;
    EXPECT_EQ(q_numterms(&qq), 1001 + 20);
    EXPECT_EQ(numterms(&qq), 1500 + 20);
    qq.den = nullptr;
    EXPECT_EQ(q_numterms(&qq), 1001);
}

TEST(Measures, MaxDegreeLiftsANegativeSeedAtANumberNode) {
    VarGlobalsGuard guard;
    laurent = 1;
    // x y^-3 + 5: at level 2 the only exponent is -3, but the constant 5 is
    // a term that does not reach level 2.
    BuiltPoly p(2, {{1, {1, -3}}, {5, {0, 0}}});
    int32_t m = SEED_LOW;
    max_degree(p, 2, &m);
    EXPECT_EQ(m, 0);
    BuiltPoly q(2, {{1, {1, -3}}, {1, {1, -4}}});
    m = SEED_LOW;
    max_degree(q, 2, &m);
    EXPECT_EQ(m, -3);
    m = 7;
    max_degree(q, 2, &m);
    EXPECT_EQ(m, 7);
}

TEST(Measures, SumDegreesReturnsOnceTheBoundIsReached) {
    VarGlobalsGuard guard;
    number_polys = 2;
    // x^2 y^3 + x y^5: 2 plus the heavier coefficient bound 5.
    BuiltPoly p(2, {{1, {2, 3}}, {1, {1, 5}}});
    EXPECT_EQ(sum_degrees(p, 1, INT32_MAX), 7);
    EXPECT_EQ(sum_degrees(p, 1, 1), 5);   // the first coefficient already reaches 1
    EXPECT_EQ(sum_degrees(p, 1, 5), 5);
    EXPECT_EQ(sum_degrees(p, 1, 6), 7);
    // At the innermost level the leading exponent is the whole bound.
    EXPECT_EQ(sum_degrees(p, 2, INT32_MAX), 2);
    number_polys = 3;
    BuiltPoly q(3, {{1, {0, 0, 4}}, {1, {0, 0, 0}}});
    EXPECT_EQ(sum_degrees(q, 1, INT32_MAX), 4);
}

TEST(Measures, PolyWeightSaturates) {
    VarGlobalsGuard guard;
    field_depth = 0;
    // From level 100 a three-level monomial weighs 100 x 101 x 102 x 103.
    BuiltPoly p(3, {{1, {1, 1, 1}}});
    EXPECT_EQ(poly_weight(p, 100), POLY_WEIGHT_CAP);
    EXPECT_EQ(poly_weight(p, 50), 50 * 51 * 52 * 53);
}

TEST(Measures, DenseSizeThatDoesNotFit) {
    VarGlobalsGuard guard;
    number_polys = 3;
    // Three levels of 2^22 + 1 cells: the exact product needs 67 bits, and its
    // low 64 bits read as a positive number; still no array could hold it.
    const int32_t e = 1 << 22;
    BuiltPoly p(3, {{1, {e, e, e}}});
    int64_t size = 0;
    EXPECT_EQ(expon_node_total(p, 1, 1, &size), 4);
    EXPECT_EQ(size, DENSE_SIZE_TOO_BIG);
    EXPECT_EQ(static_cast<uint64_t>(DENSE_SIZE_TOO_BIG), 0x3FFFFFED00000169u);
    BuiltPoly q(3, {{1, {1000, 1000, 1000}}});
    EXPECT_EQ(expon_node_total(q, 1, 1, &size), 4);
    EXPECT_EQ(size, int64_t{1001} * 1001 * 1001);

    // first = 0 raises the entries and leaves size alone.
    BuiltPoly r(3, {{1, {2000, 1, 1}}});
    size = -5;
    EXPECT_EQ(expon_node_total(r, 1, 0, &size), 4);
    EXPECT_EQ(size, -5);
    EXPECT_EQ(deglist[1], 2001);
    EXPECT_EQ(deglist[2], 1001);
}

// ------------------------------------------------------------ random polynomials

TEST(Measures, CountsMatchTheShapeOfTheTermList) {
    VarGlobalsGuard guard;
    NumberGen g(0x3140);
    for (int iter = 0; iter < scaled(400); iter++) {
        int nvars = g.between(1, 5);
        Shape s(nvars, random_terms(g, nvars));
        BuiltPoly p(nvars, s.terms);
        SCOPED_TRACE(g.trace() + ", iteration " + std::to_string(iter) + ": " + terms_to_string(s.terms));
        ASSERT_TRUE(check_poly_shape(p, nvars));
        number_polys = nvars;
        field_depth = 0;

        // Uncapped counts.
        EXPECT_EQ(f_poly_numterms(p), s.monomials());
        EXPECT_EQ(poly_numterms(p, 1), s.monomials());
        EXPECT_EQ(bigger_node_total(p), s.nodes());
        EXPECT_EQ(bigg_node_total(p), s.nodes());
        EXPECT_EQ(depth_below(p), s.depth());
        EXPECT_EQ(poly_height(p), s.depth() - s.skipped_levels());
        for (int n = 1; n <= nvars; n++) {
            int32_t m = SEED_LOW;
            max_degree(p, n, &m);
            EXPECT_EQ(m, s.max_exponent(n)) << "level " << n;
        }
        int64_t bound = s.degree_bound({});
        EXPECT_EQ(sum_degrees(p, 1, INT32_MAX), bound);
        int32_t b = g.between(0, static_cast<int32_t>(bound) + 2);
        int32_t cut = sum_degrees(p, 1, b);
        EXPECT_LE(cut, bound);
        EXPECT_EQ(std::min<int64_t>(cut, b), std::min<int64_t>(bound, b)) << "bound " << b;
        int32_t k = g.chance(70) ? 1 : g.between(2, 40);
        EXPECT_EQ(poly_weight(p, k), std::min<int64_t>(s.weight(k), POLY_WEIGHT_CAP)) << "from level " << k;

        // Capped counts: the full count below the cap, else a partial sum past it.
        auto capped = [&](int64_t got, int64_t full, int64_t cap, int64_t clamp, const char* name) {
            if (full <= cap) {
                EXPECT_EQ(got, full) << name;
            } else {
                EXPECT_GT(got, cap) << name;
                EXPECT_LE(got, std::min(full, clamp)) << name;
            }
        };
        capped(fast_numterms(p), s.monomials(), 60, INT64_MAX, "fast_numterms");
        capped(poly_nodes(p), s.monomials(), 40, INT64_MAX, "poly_nodes");
        capped(node_total(p), s.nodes(), 17, INT64_MAX, "node_total");
        capped(big_node_total(p), s.nodes(), 800, 1600, "big_node_total");
        capped(new_node_total(p), s.exponent_weighted_nodes(), 100, 200, "new_node_total");
        capped(fast_f_numterms(p, 1), s.monomials(), 100, INT64_MAX, "fast_f_numterms");
        EXPECT_EQ(q_poly_numterms(p), s.monomials());
        EXPECT_EQ(qpoly_numterms(p, 1), s.monomials());

        int64_t size = 0;
        EXPECT_EQ(expon_node_total(p, 1, 1, &size), s.nodes_of_positive_exponent());
        for (int l = 1; l <= nvars; l++) EXPECT_EQ(deglist[l], s.dense_extent(l)) << "level " << l;
        int64_t product = 1;
        for (int l = 1; l <= nvars && s.dense_extent(l) != 0; l++) product *= s.dense_extent(l);
        EXPECT_EQ(size, product);

        // Field levels from f inward: a coefficient there is one monomial.
        if (nvars >= 2) {
            int f = g.between(2, nvars);
            field_depth = static_cast<int16_t>(f);
            EXPECT_EQ(poly_numterms(p, 1), s.field_monomials(f)) << "field_depth " << f;
            capped(fast_f_numterms(p, 1), s.field_monomials(f), 100, INT64_MAX, "fast_f_numterms");
            EXPECT_EQ(qpoly_numterms(p, 1), s.field_monomials(f));
            EXPECT_EQ(poly_weight(p, 1), std::min<int64_t>(s.field_weight(f), POLY_WEIGHT_CAP));
            EXPECT_EQ(poly_numterms(p, f), 1);
            field_depth = 0;
        }
    }
}

}  // namespace
