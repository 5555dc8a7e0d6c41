// Evaluation at numbers where every level left is substituted: values from
// a few bits to far beyond 128 bits (so that the machine-word pass both
// succeeds and gives up), against GMP evaluation of the same terms here;
// the top level kept with the inner levels at numbers, against the terms
// substituted here; residues modulo a small and a near-word prime.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "numbers/ring.h"
#include "poly/evaluate.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

mpz_class power(const mpz_class& a, int32_t e) {
    mpz_class r;
    mpz_pow_ui(r.get_mpz_t(), a.get_mpz_t(), static_cast<unsigned long>(e));
    return r;
}

// The terms with each variable whose flag is set replaced by its value in
// at (one entry per variable), reduced modulo m when m > 0; substituted
// variables get exponent 0.
TermList substitute(const TermList& terms, const std::vector<mpz_class>& at, const std::vector<bool>& sub,
                    int32_t m) {
    std::map<std::vector<int32_t>, mpz_class> sum;
    for (const Term& t : terms) {
        mpz_class c = t.coef;
        std::vector<int32_t> e = t.exps;
        for (size_t v = 0; v < e.size(); v++)
            if (sub[v]) {
                c *= power(at[v], e[v]);
                e[v] = 0;
            }
        sum[e] += c;
    }
    TermList out;
    for (auto& [e, c] : sum) {
        if (m > 0) c = ((c % m) + m) % m;
        if (c != 0) out.emplace_back(c, e);
    }
    return canonical_terms(static_cast<int>(sub.size()), out);
}

mpz_class value_at(const TermList& terms, const std::vector<mpz_class>& at, int32_t m) {
    TermList r = substitute(terms, at, std::vector<bool>(at.size(), true), m);
    return r.empty() ? mpz_class(0) : r.front().coef;
}

// A value list: lone number nodes, outermost first.
struct ValueList {
    polynode* head = nullptr;
    explicit ValueList(const std::vector<mpz_class>& at) {
        for (size_t i = at.size(); i-- > 0;) {
            polynode* n = build_poly(0, {{at[i], {}}});
            n->next = head;
            head = n;
        }
    }
    ~ValueList() { free_poly(&head); }
    ValueList(const ValueList&) = delete;
    ValueList& operator=(const ValueList&) = delete;
};

// Coefficients from one digit to several, most of them near the 2^60 the
// gcd's operands carry, some at the edge values of the digit code.
mpz_class integer_coef(NumberGen& g) {
    const int pick = g.below(10);
    if (pick == 0) return g.edge_value();
    if (pick <= 2) return g.between(-9, 9);
    if (pick <= 6) {
        return mpz_class(g.bits() >> 2) * (g.chance(50) ? 1 : -1);   // up to 2^62
    }
    return g.digits(g.length(3, 7));
}

mpz_class integer_point(NumberGen& g) {
    const int pick = g.below(12);
    if (pick == 0) return 0;
    if (pick == 1) return g.chance(50) ? 1 : -1;
    if (pick <= 7) return g.between(-200, 200);
    if (pick <= 9) return g.between(-40000, 40000);
    if (pick == 10) return mpz_class(g.bits() >> 20) * (g.chance(50) ? 1 : -1);   // about 2^44
    return g.digits(g.length(2, 5));
}

TermList random_terms(NumberGen& g, int nvars, int maxdeg, int32_t m) {
    TermList t;
    const int n = g.between(1, 30);
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> e(nvars);
        for (int v = 0; v < nvars; v++) e[v] = g.chance(30) ? 0 : g.between(0, maxdeg);
        t.emplace_back(m > 0 ? mpz_class(g.below(m)) : integer_coef(g), e);
    }
    return canonical_terms(nvars, t);
}

// terms * (x_k - at[k]): zero at the point, whatever the other terms do.
TermList vanishing_at(const TermList& terms, int k, const std::vector<mpz_class>& at, int32_t m) {
    TermList out;
    for (const Term& t : terms) {
        std::vector<int32_t> e = t.exps;
        out.emplace_back(-t.coef * at[k], e);
        e[k]++;
        out.emplace_back(t.coef, e);
    }
    return substitute(out, at, std::vector<bool>(at.size(), false), m);
}

mpz_class node_value(const polynode* p) {
    return p ? number_value(p->ncoef) : mpz_class(0);
}

// all_poly_eval of p (nvars variables) at the list of values, with a keep
// marker at position marker (-1: none) and the given keep count, gives the
// terms want.
void expect_eval(polynode* p, int nvars, const std::vector<mpz_class>& at, int marker, int16_t keep,
                 const TermList& want) {
    ValueList list(at);
    polynode* mark = list.head;
    for (int i = 0; i < marker; i++) mark = mark->next;
    if (marker >= 0) mark->exp = 1;
    polynode* res = nullptr;
    all_poly_eval(&p, list.head, &res, keep);
    if (marker >= 0) mark->exp = 0;
    if (res) {
        ASSERT_TRUE(check_poly_shape(res, nvars));
    }
    EXPECT_EQ(res ? read_poly(res, nvars) : TermList{}, want);
    free_poly(&res);
}

// All variables at numbers: all_poly_eval gives a lone number node or null
// for zero, and so do the digit and residue evaluators.
void check_all_at_numbers(NumberGen& g, int32_t m, int iterations) {
    PrimeRing ring(m);
    int big = 0, small = 0, zero = 0;
    for (int nvars = 1; nvars <= 5; nvars++) {
        AttachedVars vars(nvars);
        RecordLedger ledger;
        for (int it = 0; it < iterations; it++) {
            const int maxdeg = g.chance(30) ? 40 : 8;
            TermList terms = random_terms(g, nvars, maxdeg, m);
            std::vector<mpz_class> at;
            for (int v = 0; v < nvars; v++) at.push_back(m > 0 ? mpz_class(g.below(m)) : integer_point(g));
            if (g.chance(15)) terms = vanishing_at(terms, g.below(nvars), at, m);
            const mpz_class want = value_at(terms, at, m);
            SCOPED_TRACE(terms_to_string(terms) + " " + g.trace());
            BuiltPoly p(nvars, terms);
            ValueList list(at);
            polynode* src = p;
            polynode* res = nullptr;
            all_poly_eval(&src, list.head, &res, 0);
            if (want == 0) {
                EXPECT_EQ(res, nullptr);
                zero++;
            } else {
                ASSERT_NE(res, nullptr);
                ASSERT_TRUE(check_poly_shape(res, nvars));
                EXPECT_TRUE(res->numb && !res->next);
                EXPECT_EQ(node_value(res), want);
                (abs(want) >= mpz_class(1) << 127 ? big : small)++;
            }
            free_poly(&res);
            if (m > 0) {
                int32_t out = -1;
                mod_all_poly_eval(p, list.head, &out);
                EXPECT_EQ(mpz_class(out), want);
            } else {
                imag* n = nullptr;
                rat_all_poly_eval(p, list.head, &n);
                EXPECT_EQ(n ? number_value(n) : mpz_class(0), want);
                if (n) free_imag(&n);
            }
        }
        EXPECT_TRUE(ledger.balanced());
    }
    // Both sides of the 128-bit limit, and vanishing values, were met.
    EXPECT_GT(small, 0);
    EXPECT_GT(zero, 0);
    if (m == 0) {
        EXPECT_GT(big, 0);
    }
}

// The top variable kept (by count and by marker), the inner ones at numbers.
void check_top_kept(NumberGen& g, int32_t m, int iterations) {
    PrimeRing ring(m);
    for (int nvars = 2; nvars <= 5; nvars++) {
        AttachedVars vars(nvars);
        RecordLedger ledger;
        for (int it = 0; it < iterations; it++) {
            TermList terms = random_terms(g, nvars, g.chance(30) ? 30 : 6, m);
            std::vector<mpz_class> at;
            for (int v = 1; v < nvars; v++) at.push_back(m > 0 ? mpz_class(g.below(m)) : integer_point(g));
            std::vector<mpz_class> full = at;
            full.insert(full.begin(), 1);
            std::vector<bool> sub(nvars, true);
            sub[0] = false;
            const TermList want = substitute(terms, full, sub, m);
            SCOPED_TRACE(terms_to_string(terms) + " " + g.trace());
            BuiltPoly p(nvars, terms);
            expect_eval(p, nvars, at, -1, 1, want);
            expect_eval(p, nvars, full, 0, 0, want);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

}  // namespace

TEST(EvalAtNumbers, IntegersAgainstGmp) {
    NumberGen g(0xFA57E1);
    check_all_at_numbers(g, 0, scaled(150));
}

TEST(EvalAtNumbers, ResiduesAgainstGmp) {
    NumberGen g(0xFA57E2);
    check_all_at_numbers(g, 65521, scaled(60));
    check_all_at_numbers(g, 2147483629, scaled(60));
}

TEST(EvalAtNumbers, TopKeptOverIntegers) {
    NumberGen g(0xFA57E3);
    check_top_kept(g, 0, scaled(80));
}

TEST(EvalAtNumbers, TopKeptOverResidues) {
    NumberGen g(0xFA57E4);
    check_top_kept(g, 65521, scaled(40));
    check_top_kept(g, 2147483629, scaled(40));
}

// Values at the ends of the signed 128-bit range, worked out by hand from
// a = 2^110 (four digits) and y = -2^17: a * y = -2^127 is the one value
// whose magnitude is not itself a signed 128-bit number.
TEST(EvalAtNumbers, EdgesOfTheWordRange) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    RecordLedger ledger;
    const mpz_class a = mpz_class(1) << 110;
    const mpz_class top = mpz_class(1) << 127;
    const mpz_class y = -(mpz_class(1) << 17);
    struct Case {
        TermList terms;
        std::vector<mpz_class> at;
        mpz_class want;
    };
    const std::vector<Case> cases = {
        {{{a, {0, 1}}}, {5, y}, -top},
        {{{a, {0, 1}}}, {5, -y}, top},
        {{{-a, {0, 1}}, {-1, {0, 0}}}, {5, -y}, -top - 1},
        {{{a, {0, 1}}, {-1, {0, 0}}}, {5, -y}, top - 1},
        // At x = -1 the sign follows the parity of each gap: x^2 a y stays
        // at -2^127, x a y is 2^127, one past the range.
        {{{a, {2, 1}}}, {-1, y}, -top},
        {{{a, {1, 1}}}, {-1, y}, top},
        {{{a, {3, 1}}, {1, {0, 0}}}, {-1, y}, top + 1},
        // Each product fits, the sum does not.
        {{{a, {1, 1}}, {-1, {0, 0}}}, {1, y}, -top - 1},
        {{{a, {1, 1}}, {a, {0, 1}}}, {1, y}, -2 * top},
        // A leading coefficient that vanishes at the point, and terms far
        // past 2^127 that cancel, leave a small value.
        {{{1, {200, 1}}, {-3, {200, 0}}, {7, {0, 0}}}, {3, 3}, 7},
        {{{1, {1, 200}}, {-1, {0, 200}}, {7, {0, 0}}}, {1, 3}, 7},
        {{{1, {1, 200}}, {-1, {0, 200}}}, {1, 3}, 0},
        // 3^81 * 2^62 goes past 2^190 although each factor fits.
        {{{mpz_class(1) << 62, {81, 0}}}, {3, 0}, power(3, 81) << 62},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(terms_to_string(c.terms));
        ASSERT_EQ(value_at(canonical_terms(2, c.terms), c.at, 0), c.want);
        BuiltPoly p(2, c.terms);
        ValueList list(c.at);
        polynode* src = p;
        polynode* res = nullptr;
        all_poly_eval(&src, list.head, &res, 0);
        if (c.want == 0) {
            EXPECT_EQ(res, nullptr);
        } else {
            ASSERT_NE(res, nullptr);
            ASSERT_TRUE(check_poly_shape(res, 2));
            EXPECT_EQ(node_value(res), c.want);
        }
        free_poly(&res);
        // The same value as the coefficient of the kept variable's x^0.
        expect_eval(p, 2, {c.at[1]}, -1, 1, substitute(canonical_terms(2, c.terms), c.at, {false, true}, 0));
    }
    EXPECT_TRUE(ledger.balanced());
}

// A keep marker for a middle variable keeps that level while the levels
// above and below it are substituted.
TEST(EvalAtNumbers, MarkerBetweenSubstitutedLevels) {
    NumberGen g(0xFA57E6);
    for (int32_t m : {0, 65521}) {
        PrimeRing ring(m);
        AttachedVars vars(3);
        RecordLedger ledger;
        for (int it = 0; it < scaled(40); it++) {
            TermList terms = random_terms(g, 3, 6, m);
            std::vector<mpz_class> at = {m > 0 ? mpz_class(g.below(m)) : integer_point(g), 1,
                                         m > 0 ? mpz_class(g.below(m)) : integer_point(g)};
            SCOPED_TRACE(terms_to_string(terms) + " " + g.trace());
            BuiltPoly p(3, terms);
            expect_eval(p, 3, at, 1, 0, substitute(terms, at, {true, false, true}, m));
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

// A keep marker has no place in a list for residues: the evaluator reports
// it and leaves the result as it was.
TEST(EvalAtNumbers, ResidueListWithAMarkerIsRefused) {
    PrimeRing ring(65521);
    AttachedVars vars(2);
    BuiltPoly p(2, {{3, {4, 1}}, {5, {0, 2}}});
    ValueList list({2, 3});
    list.head->next->exp = 1;
    ::testing::internal::CaptureStdout();
    int32_t out = -1;
    mod_all_poly_eval(p, list.head, &out);
    const std::string text = ::testing::internal::GetCapturedStdout();
    list.head->next->exp = 0;
    EXPECT_NE(text.find("arg->exp = 1 in mod_all_poly_eval. "), std::string::npos);
    EXPECT_EQ(out, -1);
}
