// Coefficients of monomials, total-degree parts, leading coefficients of
// quolys and the coefficient splice, against term lists filtered here.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <string>
#include <mutex>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefextract.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"

namespace {

using Exps = std::vector<int32_t>;

struct Ring {
    const char* name;
    int lint, modular;
    int32_t modulus;
};
const Ring kRings[] = {{"Z", 0, 0, 0}, {"Z in machine words", 1, 0, 0}, {"Z/1000003", 1, 1, 1000003},
                       {"GF(2^16)", 1, 1, 65536}};

class RingScope {
public:
    explicit RingScope(const Ring& r, bool with_laurent = false) : saved_laurent_(laurent) {
        static std::once_flag once;
        std::call_once(once, [] {
            ::testing::internal::CaptureStdout();
            initialize(TARVEX_TEST_DATA_DIR);
            ::testing::internal::GetCapturedStdout();
        });
        modularmode = r.modular;
        lintmode = r.lint;
        install_modulus(r.modulus);
        laurent = with_laurent;
    }
    ~RingScope() { laurent = saved_laurent_; }

private:
    RingStateGuard guard_;
    int saved_laurent_;
};

mpz_class random_coef(NumberGen& g) {
    if (!lintmode) return g.chance(25) ? g.edge_value() : g.digits(g.length(1, 2));
    if (!modularmode) return g.between(-1000, 1000);
    return g.below(modulus);
}

TermList random_terms(NumberGen& g, int nvars, int32_t low = 0) {
    std::vector<bool> absent(nvars);
    for (int v = 0; v < nvars; v++) absent[v] = g.chance(20);
    TermList t;
    const int n = g.between(1, 14);
    for (int i = 0; i < n; i++) {
        Exps x(nvars);
        for (int v = 0; v < nvars; v++) x[v] = absent[v] || g.chance(30) ? 0 : g.between(low, 3);
        t.emplace_back(random_coef(g), x);
    }
    return canonical_terms(nvars, t);
}

polynode* monomial_poly(int nvars, const Exps& e) { return build_poly(nvars, {{1, e}}); }

// ---------------------------------------------------------------- extract

// The coefficient of m restricted by z: variables where m or z has a
// non-zero exponent must carry m's exponent and are set to 0; the others
// keep theirs.
TermList coefficient(const TermList& p, const Exps& m, const Exps& z) {
    TermList out;
    for (const Term& t : p) {
        Exps rest = t.exps;
        bool match = true;
        for (size_t v = 0; v < m.size(); v++) {
            if (m[v] == 0 && z[v] == 0) continue;
            match = match && t.exps[v] == m[v];
            rest[v] = 0;
        }
        if (match) out.emplace_back(t.coef, rest);
    }
    return canonical_terms(static_cast<int>(m.size()), out);
}

TEST(CoefExtract, ExamplesInTwoVariables) {
    RingScope scope(kRings[0]);
    RecordLedger ledger;
    polynode* p = build_poly(2, {{3, {2, 1}}, {5, {2, 0}}, {1, {0, 1}}});
    polynode* x2 = monomial_poly(2, {2, 0});
    polynode* x3 = monomial_poly(2, {3, 0});
    polynode* one = monomial_poly(2, {0, 0});
    polynode* y = monomial_poly(2, {0, 1});
    polynode* r = nullptr;
    extract(p, x2, one, &r);
    ASSERT_TRUE(check_poly_shape(r, 2));
    EXPECT_EQ(read_poly(r, 2), canonical_terms(2, {{3, {0, 1}}, {5, {0, 0}}}));
    // 3y + 5 kept under one exponent-0 level.
    EXPECT_TRUE(!r->numb && r->exp == 0 && !r->next);
    extract(p, x2, y, &r);
    ASSERT_TRUE(check_poly_shape(r, 2));
    EXPECT_EQ(read_poly(r, 2), canonical_terms(2, {{5, {0, 0}}}));
    extract(p, x3, one, &r);
    EXPECT_EQ(read_poly(r, 2), TermList{});
    ASSERT_TRUE(check_poly_shape(r, 2));
    extract(p, x2, one, &p);   // the slot of the operand
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{3, {0, 1}}, {5, {0, 0}}}));
    for (polynode** s : {&p, &x2, &x3, &one, &y, &r}) free_poly(s);
    EXPECT_TRUE(ledger.balanced());
}

class CoefExtractRings : public ::testing::TestWithParam<int> {};

TEST_P(CoefExtractRings, ExtractMatchesTheFilteredTerms) {
    RingScope scope(kRings[GetParam()]);
    NumberGen g(0xe7700000u + GetParam());
    SCOPED_TRACE(::testing::Message() << kRings[GetParam()].name << " " << g.trace());
    for (int round = 0; round < scaled(80); round++) {
        const int nvars = 1 + round % 4;
        const TermList P = random_terms(g, nvars);
        // m from a term of P most of the time, so that something matches.
        Exps m(nvars), z(nvars);
        const Exps& src = P.empty() || g.chance(20) ? Exps(nvars, 1) : P[g.below(static_cast<int32_t>(P.size()))].exps;
        for (int v = 0; v < nvars; v++) {
            m[v] = g.chance(50) ? src[v] : 0;
            z[v] = g.chance(40) ? 1 + g.below(3) : 0;
        }
        SCOPED_TRACE(::testing::Message() << "P = " << terms_to_string(P) << " m = " << ::testing::PrintToString(m)
                                          << " z = " << ::testing::PrintToString(z));
        RecordLedger ledger;
        polynode* p = build_poly(nvars, P);
        polynode* mp = monomial_poly(nvars, m);
        polynode* zp = monomial_poly(nvars, z);
        polynode* r = nullptr;
        extract(p, mp, zp, &r);
        ASSERT_TRUE(check_poly_shape(r, nvars));
        EXPECT_EQ(read_poly(r, nvars), coefficient(P, m, z));
        EXPECT_EQ(read_poly(p, nvars), P);
        for (polynode** s : {&p, &mp, &zp, &r}) free_poly(s);
        ASSERT_TRUE(ledger.balanced());
    }
}

// Splitting by the exponents of a set S of variables: the coefficients of
// every monomial in S (z fixes all of S), times their monomials, sum to p.
TEST_P(CoefExtractRings, CoefficientsTimesMonomialsGiveThePolynomialBack) {
    RingScope scope(kRings[GetParam()]);
    NumberGen g(0xe7700100u + GetParam());
    SCOPED_TRACE(::testing::Message() << kRings[GetParam()].name << " " << g.trace());
    for (int round = 0; round < scaled(40); round++) {
        const int nvars = 1 + round % 4;
        const TermList P = random_terms(g, nvars);
        Exps z(nvars);
        for (int v = 0; v < nvars; v++) z[v] = g.chance(50);
        std::map<Exps, int> patterns;
        for (const Term& t : P) {
            Exps m(nvars);
            for (int v = 0; v < nvars; v++) m[v] = z[v] ? t.exps[v] : 0;
            patterns[m] = 1;
        }
        RecordLedger ledger;
        polynode* p = build_poly(nvars, P);
        polynode* zp = monomial_poly(nvars, z);
        polynode* sum = build_poly(nvars, {});
        for (auto& [m, unused] : patterns) {
            polynode* mp = monomial_poly(nvars, m);
            polynode* c = nullptr;
            extract(p, mp, zp, &c);
            ASSERT_TRUE(check_poly_shape(c, nvars));
            // c times the monomial, read back term by term.
            TermList shifted;
            for (Term t : read_poly(c, nvars)) {
                for (int v = 0; v < nvars; v++) {
                    EXPECT_EQ(t.exps[v] != 0 && z[v], false) << "a fixed variable left in the coefficient";
                    t.exps[v] += m[v];
                }
                shifted.push_back(t);
            }
            polynode* part = build_poly(nvars, shifted);
            poly_add(sum, part, &sum);
            for (polynode** s : {&mp, &c, &part}) free_poly(s);
        }
        EXPECT_EQ(read_poly(sum, nvars), P) << terms_to_string(P);
        for (polynode** s : {&p, &zp, &sum}) free_poly(s);
        ASSERT_TRUE(ledger.balanced());
    }
}

// ---------------------------------------------------------------- total degree

TermList degree_part(const TermList& p, const std::vector<int32_t>& marks, int32_t d) {
    TermList out;
    for (const Term& t : p) {
        int64_t s = 0;
        for (size_t v = 0; v < t.exps.size(); v++)
            if (marks[v + 1]) s += t.exps[v];
        if (s == d) out.push_back(t);
    }
    return out;
}

std::vector<int32_t> marks_of(const std::vector<int>& levels) {
    std::vector<int32_t> marks(151, 0);
    for (int l : levels) {
        marks[l] = 1;
        marks[0] = std::max(marks[0], l);
    }
    return marks;
}

TermList take_degree(int nvars, const TermList& P, const std::vector<int32_t>& marks, int32_t d) {
    polynode* p = build_poly(nvars, P);
    polynode* r = total_degree(p, 1, d, marks.data());
    if (!r) return {};
    EXPECT_TRUE(check_poly_shape(r, nvars));
    TermList out = read_poly(r, nvars);
    free_poly(&r);
    return out;
}

TEST(CoefExtract, TotalDegreeExamples) {
    RingScope scope(kRings[0]);
    RecordLedger ledger;
    const TermList P = canonical_terms(2, {{1, {2, 0}}, {1, {1, 1}}, {1, {0, 1}}, {1, {0, 0}}});
    EXPECT_EQ(take_degree(2, P, marks_of({1, 2}), 2), canonical_terms(2, {{1, {2, 0}}, {1, {1, 1}}}));
    EXPECT_EQ(take_degree(2, P, marks_of({1, 2}), 0), canonical_terms(2, {{1, {0, 0}}}));
    EXPECT_EQ(take_degree(2, P, marks_of({1}), 1), canonical_terms(2, {{1, {1, 1}}}));
    EXPECT_EQ(take_degree(2, P, marks_of({1, 2}), -1), TermList{});
    // Exponents near 2^31 must not wrap into a match.
    const TermList Q = canonical_terms(2, {{1, {2147483647, 2}}, {1, {0, 0}}});
    EXPECT_EQ(take_degree(2, Q, marks_of({1, 2}), -2147483647), TermList{});
    EXPECT_TRUE(ledger.balanced());
}

TEST_P(CoefExtractRings, TotalDegreeKeepsExactlyTheTermsOfThatDegree) {
    for (bool with_laurent : {false, true}) {
        RingScope scope(kRings[GetParam()], with_laurent);
        NumberGen g(0xe7700200u + GetParam() + 16 * with_laurent);
        SCOPED_TRACE(::testing::Message() << kRings[GetParam()].name << (with_laurent ? " Laurent " : " ") << g.trace());
        for (int round = 0; round < scaled(80); round++) {
            const int nvars = 1 + round % 4;
            const TermList P = random_terms(g, nvars, with_laurent ? -2 : 0);
            std::vector<int> levels;
            for (int l = 1; l <= nvars; l++)
                if (g.chance(60)) levels.push_back(l);
            const auto marks = marks_of(levels);
            int32_t d = g.between(with_laurent ? -4 : -1, 6);
            if (!P.empty() && g.chance(60)) d = degree_part(P, marks, 0).empty() ? d : 0;
            if (!P.empty() && g.chance(50)) {
                const Term& t = P[g.below(static_cast<int32_t>(P.size()))];
                d = 0;
                for (int v = 0; v < nvars; v++)
                    if (marks[v + 1]) d += t.exps[v];
            }
            SCOPED_TRACE(::testing::Message() << "P = " << terms_to_string(P) << " d = " << d);
            RecordLedger ledger;
            EXPECT_EQ(take_degree(nvars, P, marks, d), degree_part(P, marks, d));
            ASSERT_TRUE(ledger.balanced());
        }
    }
}

// ---------------------------------------------------------------- leading coefficient

// The leading coefficient in the outermost variable that occurs.
TermList leading_coefficient(const TermList& p, int nvars) {
    int v0 = -1;
    for (int v = 0; v < nvars && v0 < 0; v++)
        for (const Term& t : p)
            if (t.exps[v] != 0) v0 = v;
    if (v0 < 0) return p;
    int32_t top = p.front().exps[v0];
    for (const Term& t : p) top = std::max(top, t.exps[v0]);
    TermList out;
    for (const Term& t : p)
        if (t.exps[v0] == top) {
            Exps e = t.exps;
            e[v0] = 0;
            out.emplace_back(t.coef, e);
        }
    return canonical_terms(nvars, out);
}

TEST_P(CoefExtractRings, QuolyLeadingCoefficientBothWays) {
    for (bool with_laurent : {false, true}) {
        RingScope scope(kRings[GetParam()], with_laurent);
        NumberGen g(0xe7700300u + GetParam() + 16 * with_laurent);
        SCOPED_TRACE(::testing::Message() << kRings[GetParam()].name << (with_laurent ? " Laurent " : " ") << g.trace());
        for (int round = 0; round < scaled(60); round++) {
            const int nvars = 1 + round % 4;
            const TermList P = random_terms(g, nvars, with_laurent ? -2 : 0);
            const TermList want = leading_coefficient(P, nvars);
            SCOPED_TRACE(::testing::Message() << "P = " << terms_to_string(P));
            RecordLedger ledger;
            polynode* p = build_poly(nvars, P);
            quoly* src = nullptr;
            p_q_assign(p, &src);
            quoly* fresh = nullptr;
            quoly_leading_coef(src, &fresh);
            quoly* inplace = nullptr;
            quoly_assign(src, &inplace);
            quoly_leading_coef(nullptr, &inplace);
            for (quoly* r : {fresh, inplace}) {
                ASSERT_TRUE(check_quoly_normal(r, nvars));
                const bool constant = want.empty() || (want.size() == 1 && want[0].exps == Exps(nvars, 0));
                ASSERT_EQ(r->isnum, constant ? 1 : 0);
                if (constant) {
                    EXPECT_EQ(number_value(r->nnum), want.empty() ? 0 : want[0].coef);
                } else {
                    EXPECT_EQ(read_poly(r->pnum, nvars), want);
                }
            }
            free_quoly(&fresh);
            free_quoly(&inplace);
            free_quoly(&src);
            free_poly(&p);
            ASSERT_TRUE(ledger.balanced());
        }
    }
}

// ---------------------------------------------------------------- set_it

// Term of exponent e of p's top chain and the term before it.
polynode* find_term(polynode* p, int32_t e, polynode** prev) {
    *prev = nullptr;
    for (; p && p->exp != e; p = p->next) *prev = p;
    return p;
}

TEST(CoefExtract, SetItSplicesEveryKindOfCoefficient) {
    RingScope scope(kRings[0]);
    RecordLedger ledger;
    // x^2 (y + 1) + 4x + 7 in x (outer) and y.
    const TermList P = canonical_terms(2, {{1, {2, 1}}, {1, {2, 0}}, {4, {1, 0}}, {7, {0, 0}}});
    auto run = [&](int32_t e, int zero, const TermList& newc_terms, bool separate, const TermList& want) {
        polynode* p = build_poly(2, P);
        polynode* prev;
        polynode* t = find_term(p, e, &prev);
        polynode* newc = nullptr;
        if (!zero && separate) newc = build_poly(1, newc_terms);
        if (!zero && !separate) {
            // Built in place: t's own coefficient is rewritten.
            polynode* c = build_poly(1, newc_terms);
            free_poly(&t->pcoef);
            t->pcoef = c;
        }
        set_it(zero, t, prev, newc, newc ? newc : (t->numb ? nullptr : t->pcoef), e, &p);
        EXPECT_TRUE(check_poly_shape(p, 2));
        EXPECT_EQ(read_poly(p, 2), canonical_terms(2, want)) << "e = " << e;
        free_poly(&p);
    };
    // A zero coefficient removes the term, first, middle or last.
    run(2, 1, {}, true, {{4, {1, 0}}, {7, {0, 0}}});
    run(1, 1, {}, true, {{1, {2, 1}}, {1, {2, 0}}, {7, {0, 0}}});
    run(0, 1, {}, true, {{1, {2, 1}}, {1, {2, 0}}, {4, {1, 0}}});
    // A number term takes a new number, or becomes a polynomial term.
    run(0, 0, {{9, {0}}}, true, {{1, {2, 1}}, {1, {2, 0}}, {4, {1, 0}}, {9, {0, 0}}});
    run(0, 0, {{3, {2}}, {9, {0}}}, true, {{1, {2, 1}}, {1, {2, 0}}, {4, {1, 0}}, {3, {0, 2}}, {9, {0, 0}}});
    // A polynomial term gets a new coefficient, separate or in place.
    run(2, 0, {{5, {1}}}, true, {{5, {2, 1}}, {4, {1, 0}}, {7, {0, 0}}});
    run(2, 0, {{5, {3}}}, false, {{5, {2, 3}}, {4, {1, 0}}, {7, {0, 0}}});
    EXPECT_TRUE(ledger.balanced());

    // An exponent-0 polynomial term whose coefficient becomes a number is
    // that number node.
    for (bool separate : {true, false}) {
        polynode* p = build_poly(2, {{1, {1, 0}}, {1, {0, 1}}, {2, {0, 0}}});
        polynode* prev;
        polynode* t = find_term(p, 0, &prev);
        polynode* newc = build_poly(1, {{6, {0}}});
        if (!separate) {
            free_poly(&t->pcoef);
            t->pcoef = newc;
            newc = nullptr;
        }
        set_it(0, t, prev, newc, newc ? newc : t->pcoef, 0, &p);
        ASSERT_TRUE(check_poly_shape(p, 2));
        EXPECT_TRUE(p->next && p->next->numb && !p->next->next);
        EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {1, 0}}, {6, {0, 0}}}));
        free_poly(&p);
    }

    // The only term set to zero leaves the zero polynomial.
    polynode* p = build_poly(1, {{3, {4}}});
    set_it(1, p, nullptr, nullptr, nullptr, 4, &p);
    ASSERT_TRUE(check_poly_shape(p, 1));
    EXPECT_TRUE(p->numb && !p->next && number_value(p->ncoef) == 0);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

INSTANTIATE_TEST_SUITE_P(Coef, CoefExtractRings, ::testing::Range(0, static_cast<int>(std::size(kRings))),
                         [](const ::testing::TestParamInfo<int>& info) {
                             std::string s = kRings[info.param].name;
                             for (char& ch : s)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return s;
                         });

}  // namespace
