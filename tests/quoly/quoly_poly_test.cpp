// Quoly arithmetic with polynomial operands: random quolys in one to three
// variables over the integers and modulo a prime, checked against an
// independent evaluator (GMP rationals, or residues, at random points), by
// the identities (a + b) - b = a, (a b) / b = a, a^n a^m = a^(n+m) holding
// node for node (which needs the normal form to be canonical), by every
// operation shape giving the same result, and by record conservation. Then
// the hand-worked cases and the errors 22, 85 and 210.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gcd/gcdstash.h"
#include "numbers/numbers.h"
#include "poly/dense.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/quoly_ops.h"
#include "toplevel/errors.h"

namespace {

int scaled(int n) {
    const char* m = std::getenv("TARVEX_TEST_MULTIPLIER");
    return m ? n * std::max(1, std::atoi(m)) : n;
}

// ---------------------------------------------------------------- the reference evaluator

// Values in Q, or in Z/p when p is non-zero.
struct Field {
    mpz_class p;   // 0: the rationals

    mpq_class norm(const mpq_class& v) const {
        if (p == 0) return v;
        mpz_class d = v.get_den(), inv;
        mpz_invert(inv.get_mpz_t(), d.get_mpz_t(), p.get_mpz_t());
        mpz_class r = v.get_num() * inv % p;
        if (r < 0) r += p;
        return mpq_class(r);
    }
    bool is_zero(const mpq_class& v) const { return norm(v) == 0; }
    mpq_class div(const mpq_class& a, const mpq_class& b) const {
        if (p == 0) return a / b;
        mpz_class bb = norm(b).get_num(), inv;
        mpz_invert(inv.get_mpz_t(), bb.get_mpz_t(), p.get_mpz_t());
        return norm(mpq_class(norm(a).get_num() * inv));
    }
};

mpq_class eval_terms(const TermList& terms, const std::vector<mpq_class>& at, const Field& f) {
    mpq_class sum = 0;
    for (const Term& t : terms) {
        mpq_class m = t.coef;
        for (size_t i = 0; i < t.exps.size(); i++) {
            mpq_class x = 1;
            const int32_t e = t.exps[i];
            for (int32_t k = 0; k < (e < 0 ? -e : e); k++) x *= at[i];
            m *= e < 0 ? 1 / x : x;
        }
        sum += m;
    }
    return f.norm(sum);
}

// The value of q at the point; false when its denominator vanishes there.
bool eval_quoly(const quoly* q, int nvars, const std::vector<mpq_class>& at, const Field& f, mpq_class* out) {
    if (q->isnum) {
        *out = f.norm(mpq_class(number_value(q->nnum)));
        return true;
    }
    const mpq_class n = eval_terms(read_poly(q->pnum, nvars), at, f);
    const mpq_class d = q->den ? eval_terms(read_poly(q->den, nvars), at, f) : mpq_class(1);
    if (f.is_zero(d)) return false;
    *out = f.div(n, d);
    return true;
}

// ---------------------------------------------------------------- random operands

struct Gen {
    std::mt19937_64 rng;
    uint64_t seed;
    explicit Gen(uint64_t s) : rng(s), seed(s) {}
    int64_t range(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); }
    bool chance(int percent) { return range(0, 99) < percent; }

    mpz_class coef() {
        if (chance(10)) return mpz_class(chance(50) ? 1 : -1);
        if (chance(10)) {   // a few digits' worth, edge values of the digit base among them
            mpz_class v = (mpz_class(1) << static_cast<unsigned>(range(27, 70))) - range(0, 1);
            return chance(50) ? v : mpz_class(-v);
        }
        return range(-9, 9);
    }

    // A non-zero polynomial in nvars variables, of small degree.
    polynode* poly(int nvars, int maxterms, int maxdeg) {
        for (;;) {
            TermList terms;
            const int n = static_cast<int>(range(1, maxterms));
            for (int i = 0; i < n; i++) {
                std::vector<int32_t> e(static_cast<size_t>(nvars));
                for (auto& x : e) x = static_cast<int32_t>(range(0, maxdeg));
                terms.push_back(Term(coef(), e));
            }
            TermList c = canonical_terms(nvars, terms);
            if (!c.empty()) return build_poly(nvars, c);
        }
    }

    std::vector<mpq_class> point(int nvars, const Field& f) {
        std::vector<mpq_class> at;
        for (int i = 0; i < nvars; i++) {
            if (f.p != 0) at.push_back(mpq_class(range(0, 10006)));
            else at.push_back(mpq_class(range(-40, 40), range(1, 9)));
        }
        for (auto& v : at) v.canonicalize();
        return at;
    }
};

quoly* poly_quoly(polynode* p) {
    quoly* q = nullptr;
    p_q_assign(p, &q);
    free_poly(&p);
    return q;
}

// A random quoly in normal form: a number, a polynomial, or a fraction made
// by dividing two polynomials (planted common factors now and then, so
// that the cancellation has work to do).
quoly* random_quoly(Gen& g, int nvars) {
    const int kind = static_cast<int>(g.range(0, 9));
    if (kind == 0) return poly_quoly(build_poly(nvars, canonical_terms(nvars, {Term(g.coef(), std::vector<int32_t>(nvars, 0))})));
    quoly* n = poly_quoly(g.poly(nvars, 4, 2));
    if (kind <= 3) return n;
    quoly* d = poly_quoly(g.poly(nvars, 3, 2));
    if (g.chance(40)) {
        quoly* f = poly_quoly(g.poly(nvars, 2, 1));
        fast_quoly_mult(&n, &f);
        fast_quoly_mult(&d, &f);
        free_quoly(&f);
    }
    quoly* r = nullptr;
    quoly_quot(n, d, &r, 0);
    free_quoly(&n);
    free_quoly(&d);
    return r;
}

quoly* copy_of(quoly* q) {
    quoly* c = nullptr;
    quoly_assign(q, &c);
    return c;
}

bool is_zero_quoly(const quoly* q) { return q->isnum && number_value(q->nnum) == 0; }

// ---------------------------------------------------------------- fixture

class PolyQuolys : public ::testing::Test {
public:
    Field field;

protected:
    static void SetUpTestSuite() {
        load_data_once();
        init_poly_work_arrays();   // the dense modular gcd works in them
    }
    PolyQuolys() {
        modularmode = lintmode = 0;
        install_modulus(0);
    }
    void use_prime(int32_t p) {
        install_modulus(p);
        modularmode = lintmode = 1;
        mod_is_prime = 1;
        field.p = p;
    }
    RingStateGuard ring_;
};

std::string show(const quoly* q, int nvars) {
    if (q->isnum) return "number " + number_value(q->nnum).get_str();
    std::string s = terms_to_string(read_poly(q->pnum, nvars));
    if (q->den) s += " / " + terms_to_string(read_poly(q->den, nvars));
    return s;
}

// The value of r at a few points is op applied to the values of a and b.
void expect_values(Op op, quoly* a, quoly* b, quoly* r, int nvars, Gen& g, const Field& f) {
    for (int k = 0; k < 3; k++) {
        const auto at = g.point(nvars, f);
        mpq_class va, vb, vr;
        if (!eval_quoly(a, nvars, at, f, &va) || !eval_quoly(b, nvars, at, f, &vb)) continue;
        if (!eval_quoly(r, nvars, at, f, &vr)) {
            // The result's denominator divides the operands' (up to cancellation),
            // so it can vanish only where an operand's does, or at a root of b
            // for a quotient.
            if (op == DIV && f.is_zero(vb)) continue;
            ADD_FAILURE() << "result denominator vanishes where the operands are defined";
            continue;
        }
        mpq_class want;
        switch (op) {
        case ADD: want = f.norm(va + vb); break;
        case SUB: want = f.norm(va - vb); break;
        case MUL: want = f.norm(va * vb); break;
        case DIV:
            if (f.is_zero(vb)) continue;
            want = f.div(va, vb);
            break;
        }
        EXPECT_EQ(vr, want) << "at point " << k;
    }
}

// The normal form beyond what check_quoly_normal looks at: outside machine
// integers the denominator's leading number is positive, in modular mode it
// is 1 (the monic form every quotient leaves).
::testing::AssertionResult leading_unit(const quoly* q, int nvars, bool monic) {
    if (q->isnum || !q->den) return ::testing::AssertionSuccess();
    const TermList d = read_poly(q->den, nvars);
    if (d.empty()) return ::testing::AssertionFailure() << "zero denominator";
    const mpz_class lead = d.front().coef;
    if (monic ? lead != 1 : lead <= 0)
        return ::testing::AssertionFailure() << "denominator leads with " << lead.get_str();
    return ::testing::AssertionSuccess();
}

void run_properties(PolyQuolys& t, uint64_t seed, int rounds, bool modular) {
    Gen g(seed);
    for (int it = 0; it < rounds; it++) {
        const int nvars = static_cast<int>(g.range(1, 3));
        // Each round is a statement of its own: fresh counters, and no gcd
        // remembered from a round with other variables.
        reset_statement_state();
        sure_free_gcd_stash();
        AttachedVars vars(nvars);
        RecordLedger ledger;
        quoly* a = random_quoly(g, nvars);
        quoly* b = random_quoly(g, nvars);
        const std::string trace = "seed " + std::to_string(seed) + " round " + std::to_string(it) +
                                  ": a = " + show(a, nvars) + ", b = " + show(b, nvars);
        SCOPED_TRACE(trace);
        struct Tell {
            const std::string& s;
            ~Tell() {
                if (std::uncaught_exceptions()) ADD_FAILURE() << "while " << s;
            }
        } tell{trace};
        ASSERT_TRUE(check_quoly_normal(a, nvars));
        ASSERT_TRUE(check_quoly_normal(b, nvars));
        quoly* a0 = copy_of(a);
        quoly* b0 = copy_of(b);

        for (Op op : {ADD, SUB, MUL, DIV}) {
            if (op == DIV && is_zero_quoly(b)) continue;
            SCOPED_TRACE(std::string("op ") + op_names[op]);
            const std::string op_trace = std::string("op ") + op_names[op];
            struct Tell {
                const std::string& s;
                ~Tell() {
                    if (std::uncaught_exceptions()) ADD_FAILURE() << "while " << s;
                }
            } tell_op{op_trace};
            quoly* r = nullptr;
            three_address(op, a, b, &r);
            ASSERT_TRUE(check_quoly_normal(r, nvars)) << show(r, nvars);
            EXPECT_TRUE(leading_unit(r, nvars, modular && op == DIV)) << show(r, nvars);
            expect_values(op, a, b, r, nvars, g, t.field);

            // The other shapes give the same record contents.
            quoly* x = copy_of(a);
            quoly* y = copy_of(b);
            switch (op) {
            case ADD: best_quoly_add(&x, y); break;
            case SUB: best_quoly_sub(&x, y); break;
            case MUL: fast_quoly_mult(&x, &y); free_quoly(&y); break;
            case DIV: fast_quoly_quot(&x, &y, 0); free_quoly(&y); break;
            }
            EXPECT_TRUE(quoly_equal(x, r)) << "in place: " << show(x, nvars);
            if (op == ADD || op == SUB) {
                quoly* z = copy_of(a);
                if (op == ADD) better_quoly_add(z, b, &z);
                else better_quoly_sub(z, b, &z);
                EXPECT_TRUE(quoly_equal(z, r)) << "consuming a: " << show(z, nvars);
                free_quoly(&z);
            }
            // The result slot being an operand's.
            quoly* w = copy_of(a);
            three_address(op, w, b, &w);
            EXPECT_TRUE(quoly_equal(w, r));
            free_quoly(&w);

            // Inverse operations bring a back node for node.
            quoly* back = nullptr;
            if (op == ADD) quoly_sub(r, b, &back);
            if (op == SUB) quoly_add(r, b, &back);
            if (op == MUL && !is_zero_quoly(b)) quoly_quot(r, b, &back, 0);
            if (op == DIV) quoly_mult(r, b, &back);
            if (back) {
                EXPECT_TRUE(quoly_equal(back, a)) << "got back " << show(back, nvars);
                free_quoly(&back);
            }
            free_quoly(&x);
            free_quoly(&r);
        }
        // Operands untouched by the non-destructive and keeping shapes.
        EXPECT_TRUE(quoly_equal(a, a0));
        EXPECT_TRUE(quoly_equal(b, b0));

        // a^n a^m = a^(n+m), and the value of a power.
        {
            const int32_t n = static_cast<int32_t>(g.range(1, 3)), m = static_cast<int32_t>(g.range(1, 2));
            quoly* p = copy_of(a);
            quoly* q = copy_of(a);
            quoly* s = copy_of(a);
            quoly_compute_power(&p, n);
            quoly_compute_power(&q, m);
            quoly_compute_power(&s, n + m);
            ASSERT_TRUE(check_quoly_normal(s, nvars));
            fast_quoly_mult(&p, &q);
            EXPECT_TRUE(quoly_equal(p, s)) << show(p, nvars) << " vs " << show(s, nvars);
            // A square through one slot given twice.
            quoly* sq = copy_of(a);
            fast_quoly_mult(&sq, &sq);
            quoly* a2 = copy_of(a);
            quoly_compute_power(&a2, 2);
            EXPECT_TRUE(quoly_equal(sq, a2)) << show(sq, nvars) << " vs " << show(a2, nvars);
            free_quoly(&sq);
            free_quoly(&a2);
            const auto at = g.point(nvars, t.field);
            mpq_class va, vs;
            if (eval_quoly(a, nvars, at, t.field, &va) && eval_quoly(s, nvars, at, t.field, &vs)) {
                mpq_class want = 1;
                for (int k = 0; k < n + m; k++) want *= va;
                EXPECT_EQ(vs, t.field.norm(want));
            }
            for (quoly** z : {&p, &q, &s}) free_quoly(z);
        }
        // The reciprocal, twice.
        if (!is_zero_quoly(a)) {
            quoly* r = copy_of(a);
            quoly_reciprocal(&r);
            ASSERT_TRUE(check_quoly_normal(r, nvars));
            quoly_reciprocal(&r);
            EXPECT_TRUE(quoly_equal(r, a)) << show(r, nvars);
            free_quoly(&r);
        }
        // A planted common factor cancels: (n f) / (d f) is n / d node for node.
        {
            quoly* n = poly_quoly(g.poly(nvars, 3, 2));
            quoly* d = poly_quoly(g.poly(nvars, 3, 2));
            quoly* f = poly_quoly(g.poly(nvars, 3, 2));
            quoly *nf = nullptr, *df = nullptr, *want = nullptr, *got = nullptr;
            quoly_mult(n, f, &nf);
            quoly_mult(d, f, &df);
            quoly_quot(n, d, &want, 0);
            quoly_quot(nf, df, &got, 0);
            EXPECT_TRUE(quoly_equal(got, want)) << show(got, nvars) << " vs " << show(want, nvars);
            // The same through check_quoly on the raw pair.
            if (!nf->isnum && !df->isnum) {
                quoly* raw = nullptr;
                newquoly(&raw);
                raw->isnum = raw->rat = 0;
                raw->pnum = nf->pnum;
                raw->den = df->pnum;
                nf->pnum = nullptr;
                df->pnum = nullptr;
                nf->isnum = df->isnum = 0;
                if (modular) {
                    lint_check_quoly(&raw, 0);
                } else {
                    check_quoly(&raw, 0);
                }
                EXPECT_TRUE(quoly_equal(raw, want)) << show(raw, nvars);
                expect_values(DIV, n, d, raw, nvars, g, t.field);
                free_quoly(&raw);
            }
            for (quoly** z : {&n, &d, &f, &nf, &df, &want, &got}) free_quoly(z);
        }
        for (quoly** z : {&a, &b, &a0, &b0}) free_quoly(z);
        EXPECT_TRUE(ledger.balanced());
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// An error or internal error inside the arithmetic is a failure of the
// round, reported with the round's operands (SCOPED_TRACE).
void guarded_properties(PolyQuolys& t, uint64_t seed, int rounds, bool modular) {
    try {
        run_properties(t, seed, rounds, modular);
    } catch (const TarvexUnwind& e) {
        ADD_FAILURE() << "error " << e.code << " unwound the round";
    }
}

TEST_F(PolyQuolys, RandomOverTheIntegers) { guarded_properties(*this, 91001, scaled(120), false); }

TEST_F(PolyQuolys, RandomModuloAPrime) {
    use_prime(10007);
    guarded_properties(*this, 91002, scaled(120), true);
}

// ---------------------------------------------------------------- hand-worked cases, one variable x

quoly* X(const TermList& num, const TermList& den = {}) {
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = q->rat = 0;
    q->pnum = build_poly(1, num);
    q->den = den.empty() ? nullptr : build_poly(1, den);
    return q;
}

TermList T1(std::initializer_list<std::pair<long, int32_t>> terms) {
    TermList t;
    for (auto& [c, e] : terms) t.push_back(Term(c, {e}));
    return canonical_terms(1, t);
}

void expect_x(const quoly* q, const TermList& num, const TermList& den = {}) {
    ASSERT_TRUE(check_quoly_normal(q, 1));
    ASSERT_FALSE(q->isnum) << "a number";
    EXPECT_EQ(read_poly(q->pnum, 1), num);
    if (den.empty()) {
        EXPECT_EQ(q->den, nullptr);
    } else {
        ASSERT_NE(q->den, nullptr);
        EXPECT_EQ(read_poly(q->den, 1), den);
    }
}

TEST_F(PolyQuolys, HandWorkedSums) {
    AttachedVars vars(1);
    RecordLedger ledger;
    const TermList x1 = T1({{1, 1}, {1, 0}});          // x + 1
    const TermList xm1 = T1({{1, 1}, {-1, 0}});        // x - 1
    const TermList x2m1 = T1({{1, 2}, {-1, 0}});       // x^2 - 1
    quoly* r = nullptr;

    // 1/(x^2 - 1) + 1/(x + 1) = x/(x^2 - 1)
    quoly* a = X(T1({{1, 0}}), x2m1);
    quoly* b = X(T1({{1, 0}}), x1);
    quoly_add(a, b, &r);
    expect_x(r, T1({{1, 1}}), x2m1);
    // 1/(x + 1) + x/(x + 1) = 1
    quoly* c = X(T1({{1, 1}}), x1);
    quoly_add(b, c, &r);
    EXPECT_TRUE(holds(r, 1));
    // (x + 1) - x = 1
    quoly* d = X(x1);
    quoly* e = X(T1({{1, 1}}));
    quoly_sub(d, e, &r);
    EXPECT_TRUE(holds(r, 1));
    // x + 1/x = (x^2 + 1)/x
    quoly* f = X(T1({{1, 0}}), T1({{1, 1}}));
    quoly_add(e, f, &r);
    expect_x(r, T1({{1, 2}, {1, 0}}), T1({{1, 1}}));
    // 1/(x - 1) - 1/(x + 1) = 2/(x^2 - 1)
    quoly* g = X(T1({{1, 0}}), xm1);
    quoly_sub(g, b, &r);
    expect_x(r, T1({{2, 0}}), x2m1);
    // x/2 + x/2 = x (number denominators through the polynomial path)
    quoly* h = X(T1({{1, 1}}), T1({{2, 0}}));
    quoly_add(h, h, &r);
    expect_x(r, T1({{1, 1}}));
    for (quoly** q : {&a, &b, &c, &d, &e, &f, &g, &h, &r}) free_quoly(q);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(PolyQuolys, HandWorkedProductsAndQuotients) {
    AttachedVars vars(1);
    RecordLedger ledger;
    const TermList x1 = T1({{1, 1}, {1, 0}});
    const TermList x = T1({{1, 1}});
    quoly* r = nullptr;

    // (x/(x+1)) (( x+1)/x) = 1; (x/(x+1)) ((x+1)/(x+2)) = x/(x+2)
    quoly* a = X(x, x1);
    quoly* b = X(x1, x);
    quoly_mult(a, b, &r);
    EXPECT_TRUE(holds(r, 1));
    quoly* c = X(x1, T1({{1, 1}, {2, 0}}));
    quoly_mult(a, c, &r);
    expect_x(r, x, T1({{1, 1}, {2, 0}}));
    // (x^2 - 1)/(x - 1) = x + 1
    quoly* d = X(T1({{1, 2}, {-1, 0}}));
    quoly* e = X(T1({{1, 1}, {-1, 0}}));
    quoly_quot(d, e, &r, 0);
    expect_x(r, x1);
    // With the flag of "//": x^2 / x keeps the common factor.
    quoly* f = X(T1({{1, 2}}));
    quoly* g = X(x);
    quoly_quot(f, g, &r, 1);
    expect_x(r, T1({{1, 2}}), x);
    quoly_quot(f, g, &r, 0);
    expect_x(r, x);
    // x / (-2) = -x/2; 6 (x/4) = 3x/2; (2x + 2)/4 = (x + 1)/2
    quoly* m2 = nullptr;
    quoly_set(-2, &m2);
    quoly_quot(g, m2, &r, 0);
    expect_x(r, T1({{-1, 1}}), T1({{2, 0}}));
    quoly* six = nullptr;
    quoly_set(6, &six);
    quoly* h = X(x, T1({{4, 0}}));
    quoly_mult(six, h, &r);
    expect_x(r, T1({{3, 1}}), T1({{2, 0}}));
    quoly* k = X(T1({{2, 1}, {2, 0}}));
    quoly* four = nullptr;
    quoly_set(4, &four);
    quoly_quot(k, four, &r, 0);
    expect_x(r, x1, T1({{2, 0}}));
    // 1/(x + 1) is the reciprocal of x + 1, with numerator 1.
    quoly* l = X(x1);
    quoly_reciprocal(&l);
    expect_x(l, T1({{1, 0}}), x1);
    // (x/(x+1))^2 = x^2/(x^2 + 2x + 1)
    quoly* p = X(x, x1);
    quoly_compute_power(&p, 2);
    expect_x(p, T1({{1, 2}}), T1({{1, 2}, {2, 1}, {1, 0}}));
    // (x^2 + 1)/(x + 2) | x = 1/2
    quoly* s = X(T1({{1, 2}, {1, 0}}), T1({{1, 1}, {2, 0}}));
    quoly_mod_or_div(s, g, &r, '|');
    EXPECT_TRUE(holds(r, mpq_class(1, 2)));
    for (quoly** q : {&a, &b, &c, &d, &e, &f, &g, &m2, &six, &h, &k, &four, &l, &p, &s, &r}) free_quoly(q);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(PolyQuolys, CheckQuolyCancels) {
    AttachedVars vars(1);
    RecordLedger ledger;
    quoly* q = X(T1({{0, 0}}), T1({{1, 1}, {1, 0}}));
    check_quoly(&q, 0);
    EXPECT_TRUE(holds(q, 0));
    free_quoly(&q);
    q = X(T1({{2, 1}, {2, 0}}), T1({{4, 0}}));
    check_quoly(&q, 0);
    expect_x(q, T1({{1, 1}, {1, 0}}), T1({{2, 0}}));
    free_quoly(&q);
    q = X(T1({{1, 2}, {-1, 0}}), T1({{1, 1}, {-1, 0}}));
    check_quoly(&q, 0);
    expect_x(q, T1({{1, 1}, {1, 0}}));
    free_quoly(&q);
    q = X(T1({{1, 1}}), T1({{-1, 0}}));
    check_quoly(&q, 0);
    expect_x(q, T1({{-1, 1}}));
    free_quoly(&q);
    // A planted factor with content: (6x^2 - 6)/(4x + 4) = (3x - 3)/2.
    q = X(T1({{6, 2}, {-6, 0}}), T1({{4, 1}, {4, 0}}));
    check_quoly(&q, 0);
    expect_x(q, T1({{3, 1}, {-3, 0}}), T1({{2, 0}}));
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(PolyQuolys, ModularFractionsAreMonic) {
    use_prime(7);
    AttachedVars vars(1);
    RecordLedger ledger;
    // x/3 is x times the inverse of 3 (5 modulo 7), with no denominator.
    quoly* q = X(T1({{1, 1}}), T1({{3, 0}}));
    lint_check_quoly(&q, 0);
    expect_x(q, T1({{5, 1}}));
    free_quoly(&q);
    // 1/(2x + 1) = 4/(x + 4).
    quoly* one = nullptr;
    quoly_set(1, &one);
    quoly* d = X(T1({{2, 1}, {1, 0}}));
    quoly* r = nullptr;
    quoly_quot(one, d, &r, 0);
    expect_x(r, T1({{4, 0}}), T1({{1, 1}, {4, 0}}));
    // A sum whose denominator cancels to a number folds it in.
    quoly* a = X(T1({{1, 0}}), T1({{1, 1}, {1, 0}}));
    quoly* b = X(T1({{1, 1}}), T1({{1, 1}, {1, 0}}));
    quoly_add(a, b, &r);
    EXPECT_TRUE(r->isnum);
    EXPECT_EQ(number_value(r->nnum), 1);
    for (quoly** z : {&one, &d, &r, &a, &b}) free_quoly(z);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(PolyQuolys, LaurentNormalFormDividesOutTheMonomial) {
    AttachedVars vars(1);
    laurent = 1;
    struct Restore {
        ~Restore() { laurent = 0; }
    } restore;
    RecordLedger ledger;
    quoly* q = X(T1({{1, 1}, {1, 0}}), T1({{1, 2}}));
    normal_form(q, 1);
    expect_x(q, T1({{1, -1}, {1, -2}}));
    free_quoly(&q);
    q = X(T1({{1, 1}, {1, 0}}), T1({{1, 3}, {2, 2}}));
    normal_form(q, 1);
    expect_x(q, T1({{1, -1}, {1, -2}}), T1({{1, 1}, {2, 0}}));
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- errors

TEST_F(PolyQuolys, ErrorsLeaveTheOperandsIntact) {
    AttachedVars vars(1);
    RecordLedger ledger;
    quoly* x = X(T1({{1, 1}, {1, 0}}));
    quoly* fr = X(T1({{1, 2}, {1, 0}}), T1({{1, 1}}));
    quoly* zero = nullptr;
    quoly_set(0, &zero);
    quoly* x0 = copy_of(x);
    quoly* fr0 = copy_of(fr);
    quoly* r = nullptr;
    quoly_set(5, &r);

    EXPECT_TARVEX_ERROR(quoly_quot(x, zero, &r, 0), 22);
    EXPECT_TARVEX_ERROR(quoly_quot(fr, zero, &r, 0), 22);
    EXPECT_TARVEX_ERROR(fast_quoly_quot(&fr, &zero, 0), 22);
    // (x^2 + 1)/x | x: the denominator becomes 0.
    quoly* xx = X(T1({{1, 1}}));
    EXPECT_TARVEX_ERROR(quoly_mod_or_div(fr, xx, &r, '|'), 210);
    EXPECT_TRUE(quoly_equal(x, x0));
    EXPECT_TRUE(quoly_equal(fr, fr0));
    EXPECT_TRUE(holds(r, 5));   // the result slot kept its old value

    {
        // Modulo 8 the residue 2 has no inverse.
        RingStateGuard ring;
        install_modulus(8);
        modularmode = lintmode = 1;
        mod_is_prime = 0;
        AttachedVars v2(1);
        quoly* y = X(T1({{1, 1}}));
        quoly* two = nullptr;
        quoly_set(0, &two);
        two->nnum->value = 2;
        quoly* s = nullptr;
        EXPECT_TARVEX_ERROR(quoly_quot(y, two, &s, 0), 85);
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(read_poly(y->pnum, 1), T1({{1, 1}}));
        free_quoly(&y);
        free_quoly(&two);
    }
    for (quoly** z : {&x, &fr, &zero, &x0, &fr0, &r, &xx}) free_quoly(z);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
