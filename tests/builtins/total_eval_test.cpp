// Total evaluation by Horner's rule against term-by-term evaluation: random
// polynomials in three variables at rational points, with outer variables
// kept symbolic, with value chains shorter than the variables, and with
// Laurent exponents (a constant term followed by negative exponents).
// The reference sums c * v1^e1 * v2^e2 * v3^e3 from the term list, each
// power taken from a table, a kept or unvalued variable standing for itself.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "builtins/total_eval.h"
#include "interp/statement_runs.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

using statement_runs::StatementRuns;

constexpr int NV = 3;

class TotalEval : public StatementRuns {
protected:
    VarGlobalsGuard vars_;
    void SetUp() override {
        start(0);
        drop_all_poly_vars();
        val("&(J = z); &(J = y); &(J = x);");
    }
    void TearDown() override {
        finish();
        drop_all_poly_vars();
    }
};

quoly* rational(int64_t n, int64_t d) {
    quoly* a = nullptr;
    quoly* b = nullptr;
    quoly_set(static_cast<int32_t>(n), &a);
    quoly_set(static_cast<int32_t>(d), &b);
    fast_quoly_quot(&a, &b, 0);
    free_quoly(&b);
    return a;
}

// x^e for |e| <= max_e (x^0 = 1): products for e > 0, quotients for e < 0.
std::vector<quoly*> power_table(quoly* x, int32_t max_e, bool negative) {
    std::vector<quoly*> t(2 * max_e + 1, nullptr);
    quoly_set(1, &t[max_e]);
    for (int32_t e = 1; e <= max_e; e++) quoly_mult(t[max_e + e - 1], x, &t[max_e + e]);
    if (negative)
        for (int32_t e = 1; e <= max_e; e++) quoly_quot(t[max_e - e + 1], x, &t[max_e - e], 0);
    return t;
}

// The monomials v^e of the variable of level `level`, built as terms.
std::vector<quoly*> variable_powers(int level, int32_t max_e) {
    std::vector<quoly*> t(2 * max_e + 1, nullptr);
    for (int32_t e = -max_e; e <= max_e; e++) {
        std::vector<int32_t> exps(NV, 0);
        exps[level - 1] = e;
        if (e < 0 && !laurent) continue;
        PolyHold m(build_poly(NV, {Term(1, exps)}));
        p_q_assign(m.p, &t[max_e + e]);
    }
    return t;
}

// sum of c * prod point[i]^e_i; a null point[i] is the variable of level i + 1.
quoly* term_by_term(const TermList& terms, const std::vector<quoly*>& point, int32_t max_e, bool negative) {
    std::vector<std::vector<quoly*>> tables;
    for (int i = 0; i < NV; i++)
        tables.push_back(point[i] ? power_table(point[i], max_e, negative) : variable_powers(i + 1, max_e));
    quoly* sum = nullptr;
    quoly_set(0, &sum);
    for (const Term& t : terms) {
        quoly* m = nullptr;
        quoly_set(static_cast<int32_t>(t.coef.get_si()), &m);
        for (int i = 0; i < NV; i++) fast_quoly_mult(&m, &tables[i][max_e + t.exps[i]]);
        best_quoly_add(&sum, m);
    }
    for (auto& t : tables)
        for (quoly*& q : t) free_quoly(&q);
    return sum;
}

// The chain of values for levels keep + 1 .. keep + count of point (copies).
quoly* chain_of(const std::vector<quoly*>& point, int keep, int count) {
    quoly* head = nullptr;
    quoly** tail = &head;
    for (int i = keep; i < keep + count; i++) {
        quoly_assign(point[i], tail);
        (*tail)->link = nullptr;
        tail = &(*tail)->link;
    }
    return head;
}

void free_chain(quoly* c) {
    while (c) {
        quoly* next = c->link;
        free_quoly(&c);
        c = next;
    }
}

bool same_value(quoly* a, quoly* b) {
    quoly* d = nullptr;
    quoly_sub(a, b, &d);
    const bool zero = quoly_iszero(d);
    free_quoly(&d);
    return zero;
}

TermList random_terms(std::mt19937& rng, int count, int32_t lo, int32_t hi) {
    TermList terms;
    std::uniform_int_distribution<int32_t> e(lo, hi), c(-9, 9);
    for (int k = 0; k < count; k++) terms.push_back(Term(c(rng), {e(rng), e(rng), e(rng)}));
    return canonical_terms(NV, terms);
}

// Every keep and chain length against the reference, at random points.
void check_all_forms(std::mt19937& rng, int32_t lo, int32_t hi, int trials) {
    const int32_t max_e = std::max(-lo, hi);
    for (int trial = 0; trial < trials; trial++) {
        const TermList terms = random_terms(rng, 1 + static_cast<int>(rng() % 12), lo, hi);
        PolyHold u(build_poly(NV, terms));
        ASSERT_TRUE(check_poly_shape(u.p, NV));
        std::vector<quoly*> values;
        for (int i = 0; i < NV; i++) {
            int64_t n = static_cast<int64_t>(rng() % 19) - 9;
            if (lo < 0 && n == 0) n = 5;   // a negative power of 0 is not defined
            values.push_back(rational(n, 1 + static_cast<int64_t>(rng() % 6)));
        }
        for (int keep = 0; keep < NV; keep++) {
            for (int count = 0; keep + count <= NV; count++) {
                std::vector<quoly*> point(NV, nullptr);
                for (int i = keep; i < keep + count; i++) point[i] = values[i];
                quoly* chain = chain_of(values, keep, count);
                quoly* horner = nullptr;
                tot_eval_poly(u.p, chain, &horner, 0, static_cast<uint16_t>(keep));
                quoly* reference = term_by_term(terms, point, max_e, lo < 0);
                EXPECT_TRUE(same_value(horner, reference))
                    << terms_to_string(terms) << " keep " << keep << " values " << count;
                if (!horner->isnum && !horner->den) {
                    EXPECT_TRUE(check_poly_shape(horner->pnum, NV));
                }
                free_quoly(&horner);
                free_quoly(&reference);
                free_chain(chain);
            }
        }
        for (quoly*& v : values) free_quoly(&v);
    }
}

TEST_F(TotalEval, HornerAgreesWithTermByTerm) {
    std::mt19937 rng(108);
    check_all_forms(rng, 0, 5, 60);
}

TEST_F(TotalEval, LaurentExponents) {
    laurent = 1;
    std::mt19937 rng(801);
    check_all_forms(rng, -3, 3, 60);
    // A constant term first in its chain, negative exponents after it.
    const TermList t = canonical_terms(NV, {{1, {0, 0, 0}}, {1, {0, -1, 0}}, {2, {1, 0, -2}}});
    PolyHold u(build_poly(NV, t));
    quoly* v1 = rational(2, 1);
    quoly* v2 = rational(3, 1);
    quoly* v3 = rational(1, 2);
    std::vector<quoly*> point{v1, v2, v3};
    quoly* chain = chain_of(point, 0, NV);
    quoly* r = nullptr;
    tot_eval_poly(u.p, chain, &r, 0, 0);
    quoly* want = rational(1 * 3 + 1 + 2 * 3 * 2 * 4, 3);   // 1 + 1/3 + 2*2*4
    EXPECT_TRUE(same_value(r, want));
    free_quoly(&r);
    free_quoly(&want);
    free_chain(chain);
    for (quoly*& v : point) free_quoly(&v);
}

TEST_F(TotalEval, ConstantIsItsNumberWhateverTheValues) {
    PolyHold u(build_poly(NV, {{-7, {0, 0, 0}}}));
    quoly* v = rational(5, 3);
    std::vector<quoly*> point{v, v, v};
    quoly* chain = chain_of(point, 0, NV);
    quoly* r = nullptr;
    tot_eval_poly(u.p, chain, &r, 0, 0);
    ASSERT_TRUE(r->isnum);
    EXPECT_EQ(quoly_value(r), -7);
    free_quoly(&r);
    free_chain(chain);
    free_quoly(&v);
}

}  // namespace
