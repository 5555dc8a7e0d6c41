// Copies, constants, negations and conversions of polynomials and quolys:
// values read back against independently computed term lists, every result
// shape-checked, copies shown to share no record with their source, each
// slot discipline exercised (aliasing where it is allowed), and records
// counted so that consuming routines neither leak nor free twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

// ---------------------------------------------------------------- ground rings

struct Ring {
    const char* name;
    int modular;
    int lint;
    int32_t modulus;
};

const Ring kBig{"big integers", 0, 0, 0};
const Ring kWords{"machine integers", 0, 1, 0};
const Ring kMod7{"modulo 7", 1, 1, 7};
const Ring kMod65521{"modulo 65521", 1, 1, 65521};
const Ring kGF256{"GF(2^8)", 1, 1, 256};
const Ring kAllRings[] = {kBig, kWords, kMod7, kMod65521, kGF256};

// Puts a ground ring in force for its lifetime. Numbers must be freed in the
// ring that made them (digit chains are not given back in machine-word modes).
class RingScope {
public:
    explicit RingScope(const Ring& r) {
        modularmode = r.modular;
        lintmode = r.lint;
        if (r.modular) install_modulus(r.modulus);
    }

private:
    RingStateGuard guard_;
};

struct LaurentOn {
    int saved = laurent;
    LaurentOn() { laurent = 1; }
    ~LaurentOn() { laurent = saved; }
};

// A coefficient of the kind the ring holds (reduced by the builder).
mpz_class random_coef(NumberGen& g) {
    if (!lintmode) return g.digits(g.length(1, 4));
    if (finf) return g.below(modulus);
    if (modularmode) return g.digits(g.between(1, 2));
    if (g.chance(10)) return g.chance(50) ? INT32_MAX : INT32_MIN + 1;
    return g.between(-(1 << 29), 1 << 29);
}

// Terms with distinct exponent vectors (0 .. 3 in each variable).
TermList random_terms(NumberGen& g, int nvars, int max_terms) {
    std::set<std::vector<int32_t>> used;
    TermList t;
    int n = g.below(max_terms + 1);
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> e(nvars);
        for (auto& x : e) x = g.chance(40) ? 0 : g.below(4);
        if (used.insert(e).second) t.emplace_back(random_coef(g), e);
    }
    return t;
}

// The terms negated as the ring negates.
TermList negated(int nvars, const TermList& terms) {
    TermList out = terms;
    if (!(modularmode && finf))
        for (Term& t : out) t.coef = -t.coef;
    return canonical_terms(nvars, out);
}

// ---------------------------------------------------------------- records

// Every record a polynomial owns: term nodes, numbers and digit nodes.
void collect(const polynode* p, std::set<const void*>& s) {
    for (; p; p = p->next) {
        s.insert(p);
        if (!p->numb) {
            collect(p->pcoef, s);
            continue;
        }
        s.insert(p->ncoef);
        if (!lintmode)
            for (const numnode* d = p->ncoef->head; d; d = d->next) s.insert(d);
    }
}

::testing::AssertionResult share_nothing(const polynode* a, const polynode* b) {
    std::set<const void*> sa, sb;
    collect(a, sa);
    collect(b, sb);
    for (const void* x : sb)
        if (sa.count(x)) return ::testing::AssertionFailure() << "the copy shares record " << x << " with its source";
    return ::testing::AssertionSuccess();
}

RecordTally in_use() {
    RecordTally t;
    EXPECT_TRUE(records_in_use(&t));
    return t;
}

// p is a well-formed polynomial in nvars variables with the given terms.
::testing::AssertionResult holds(const polynode* p, int nvars, const TermList& want) {
    auto shape = check_poly_shape(p, nvars);
    if (!shape) return shape;
    TermList got = read_poly(p, nvars);
    TermList expected = canonical_terms(nvars, want);
    if (got != expected)
        return ::testing::AssertionFailure() << "holds " << terms_to_string(got) << "\n  expected "
                                             << terms_to_string(expected);
    return ::testing::AssertionSuccess();
}

// A polynomial quoly built by hand: numerator and optional denominator.
quoly* make_quoly(polynode* num, polynode* den, int rat = 0) {
    quoly* q;
    newquoly(&q);
    q->link = nullptr;
    q->isnum = 0;
    q->pnum = num;
    q->den = den;
    q->rat = rat;
    return q;
}

quoly* number_quoly(const mpz_class& v) {
    quoly* q;
    newquoly(&q);
    q->link = nullptr;
    q->isnum = 1;
    q->den = nullptr;
    q->rat = 0;
    if (lintmode) {
        q->nnum = empty_number();
        q->nnum->value = static_cast<int32_t>(v.get_si());
    } else {
        q->nnum = from_mpz(v);
    }
    return q;
}

// Gives back the records of a malformed structure once each, whatever it
// shares: free_poly would free a shared record twice.
void dismantle(polynode* p) {
    std::set<polynode*> nodes;
    std::set<imag*> numbers;
    std::vector<polynode*> todo{p};
    while (!todo.empty()) {
        polynode* c = todo.back();
        todo.pop_back();
        for (; c && nodes.insert(c).second; c = c->next) {
            if (c->numb)
                numbers.insert(c->ncoef);
            else
                todo.push_back(c->pcoef);
        }
    }
    for (imag* x : numbers) release(x);
    for (polynode* t : nodes) {
        t->exp = 0;
        t->next = polygarb;
        polygarb = t;
    }
}

polynode* raw_number(long v) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = 0;
    t->numb = 1;
    t->ncoef = from_mpz(mpz_class(v));
    return t;
}

polynode* raw_term(int32_t e, polynode* coef, polynode* next = nullptr) {
    polynode* t;
    newpoly(&t);
    t->next = next;
    t->exp = e;
    t->numb = 0;
    t->pcoef = coef;
    return t;
}

// ================================================================ the test helpers themselves

TEST(PolyBuilder, FollowsTheShapeRulesOnKnownExamples) {
    RecordLedger ledger;
    // x^2 + 5: a term of exponent 2 over the number node 1, then the number node 5.
    polynode* p = build_poly(1, {{1, {2}}, {5, {0}}});
    ASSERT_FALSE(p->numb);
    EXPECT_EQ(p->exp, 2);
    ASSERT_TRUE(p->pcoef->numb);
    EXPECT_EQ(to_mpz(p->pcoef->ncoef), 1);
    EXPECT_EQ(p->pcoef->next, nullptr);
    ASSERT_NE(p->next, nullptr);
    EXPECT_TRUE(p->next->numb);
    EXPECT_EQ(to_mpz(p->next->ncoef), 5);
    EXPECT_EQ(p->next->next, nullptr);
    free_poly(&p);

    // y alone, with x outside it: a padding node of exponent 0 over y.
    p = build_poly(2, {{1, {0, 1}}});
    ASSERT_FALSE(p->numb);
    EXPECT_EQ(p->exp, 0);
    EXPECT_EQ(p->next, nullptr);
    ASSERT_FALSE(p->pcoef->numb);
    EXPECT_EQ(p->pcoef->exp, 1);
    EXPECT_TRUE(p->pcoef->pcoef->numb);
    free_poly(&p);

    // Like terms combine; a cancelled sum is the zero number node.
    p = build_poly(2, {{3, {1, 1}}, {-3, {1, 1}}});
    ASSERT_TRUE(p->numb);
    EXPECT_EQ(to_mpz(p->ncoef), 0);
    EXPECT_TRUE(check_poly_shape(p, 2));
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolyBuilder, ReadsBackWhatItBuildsInEveryRing) {
    for (const Ring& r : kAllRings) {
        SCOPED_TRACE(r.name);
        RingScope ring(r);
        RecordLedger ledger;
        NumberGen g(0x5eed0001);
        for (int i = 0; i < scaled(60); i++) {
            int nvars = g.between(0, 3);
            TermList t = random_terms(g, nvars, 10);
            polynode* p = build_poly(nvars, t);
            EXPECT_TRUE(holds(p, nvars, t)) << g.trace();
            free_poly(&p);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(ShapeChecker, RejectsEachBrokenRule) {
    RecordLedger ledger;
    struct Case {
        const char* what;
        polynode* p;
        int nvars;
    };
    polynode* shared = raw_number(4);
    std::vector<Case> cases = {
        {"increasing exponents", raw_term(1, raw_number(1), raw_term(2, raw_number(1))), 1},
        {"number node with an exponent", [] { polynode* n = raw_number(3); n->exp = 2; return n; }(), 1},
        {"wrapper around a lone number", raw_term(0, raw_number(3)), 1},
        {"zero term", raw_term(2, raw_number(1), raw_number(0)), 1},
        {"zero coefficient", raw_term(2, raw_number(0)), 1},
        {"too deep", raw_term(1, raw_term(1, raw_number(1))), 1},
        {"negative exponent", raw_term(2, raw_number(1), raw_term(-1, raw_number(1))), 1},
        {"shared coefficient", raw_term(2, shared, raw_term(1, shared)), 1},
        {"null coefficient", raw_term(1, nullptr), 1},
    };
    for (Case& c : cases) {
        EXPECT_FALSE(check_poly_shape(c.p, c.nvars)) << c.what;
        dismantle(c.p);
    }
    // A malformed digit chain inside a coefficient is reported as such.
    polynode* p = raw_term(1, raw_number(5));
    p->pcoef->ncoef->count = 2;
    auto r = check_poly_shape(p, 1);
    EXPECT_FALSE(r);
    EXPECT_NE(std::string(r.message()).find("malformed number"), std::string::npos) << r.message();
    p->pcoef->ncoef->count = 1;
    EXPECT_TRUE(check_poly_shape(p, 1));
    dismantle(p);
    EXPECT_FALSE(check_poly_shape(nullptr, 1));
    EXPECT_TRUE(ledger.balanced());
}

TEST(ShapeChecker, AcceptsLaurentTermsAfterTheConstant) {
    LaurentOn on;
    RecordLedger ledger;
    polynode* p = build_poly(1, {{1, {2}}, {7, {0}}, {-2, {-3}}});
    EXPECT_TRUE(holds(p, 1, {{1, {2}}, {7, {0}}, {-2, {-3}}}));
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(QuolyChecker, JudgesRationalsAndConstants) {
    RecordLedger ledger;
    quoly* ok = make_quoly(build_poly(0, {{-3, {}}}), build_poly(0, {{4, {}}}), 1);
    EXPECT_TRUE(check_quoly_normal(ok, 0));
    quoly* common = make_quoly(build_poly(0, {{6, {}}}), build_poly(0, {{4, {}}}), 1);
    EXPECT_FALSE(check_quoly_normal(common));
    quoly* sign = make_quoly(build_poly(0, {{3, {}}}), build_poly(0, {{-4, {}}}), 1);
    EXPECT_FALSE(check_quoly_normal(sign));
    quoly* unit = make_quoly(build_poly(0, {{3, {}}}), build_poly(0, {{1, {}}}), 1);
    EXPECT_FALSE(check_quoly_normal(unit));
    quoly* constant = make_quoly(build_poly(1, {{3, {0}}}), nullptr);
    EXPECT_FALSE(check_quoly_normal(constant));
    quoly* poly = make_quoly(build_poly(1, {{3, {1}}}), build_poly(1, {{1, {1}}, {1, {0}}}));
    EXPECT_TRUE(check_quoly_normal(poly, 1));
    quoly* num = number_quoly(mpz_class("-99999999999999999999999"));
    EXPECT_TRUE(check_quoly_normal(num));
    for (quoly* q : {ok, common, sign, unit, constant, poly, num}) free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

// ================================================================ deep copies

TEST(PolyAssign, CopyIsDeepAndEqualInEveryRing) {
    for (const Ring& r : kAllRings) {
        SCOPED_TRACE(r.name);
        RingScope ring(r);
        RecordLedger ledger;
        NumberGen g(0x5eed0002);
        for (int i = 0; i < scaled(40); i++) {
            int nvars = g.between(1, 3);
            TermList t = random_terms(g, nvars, 12);
            polynode* p = build_poly(nvars, t);
            polynode* c = nullptr;
            poly_assign(p, &c);
            ASSERT_TRUE(holds(c, nvars, t)) << g.trace();
            EXPECT_TRUE(share_nothing(p, c));
            // Changing the copy leaves the source as it was.
            poly_inplace(c);
            EXPECT_TRUE(holds(c, nvars, negated(nvars, t)));
            EXPECT_TRUE(holds(p, nvars, t));
            free_poly(&c);
            free_poly(&p);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(PolyAssign, IntoItsOwnSlotKeepsTheValueAndFreesTheOldRecords) {
    RecordLedger ledger;
    TermList t = {{"123456789012345678901234567890", {3, 1}}, {-7, {3, 0}}, {2, {0, 2}}, {1, {0, 0}}};
    polynode* p = build_poly(2, t);
    RecordTally before = in_use();
    polynode* old = p;
    poly_assign(p, &p);
    EXPECT_NE(p, old);
    EXPECT_TRUE(holds(p, 2, t));
    RecordTally after = in_use();
    EXPECT_EQ(after.terms, before.terms);
    EXPECT_EQ(after.numbers, before.numbers);
    EXPECT_EQ(after.digits, before.digits);

    poly_makeneg(p, &p);
    EXPECT_TRUE(holds(p, 2, negated(2, t)));
    EXPECT_EQ(in_use().terms, before.terms);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolyAssign, NullSourceEmptiesTheSlot) {
    RecordLedger ledger;
    polynode* p = build_poly(1, {{2, {5}}, {1, {0}}});
    poly_assign(nullptr, &p);
    EXPECT_EQ(p, nullptr);
    poly_makeneg(nullptr, &p);
    EXPECT_EQ(p, nullptr);
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolyMakeneg, NegatesAsTheRingDoes) {
    for (const Ring& r : kAllRings) {
        SCOPED_TRACE(r.name);
        RingScope ring(r);
        RecordLedger ledger;
        NumberGen g(0x5eed0003);
        for (int i = 0; i < scaled(40); i++) {
            int nvars = g.between(0, 3);
            TermList t = random_terms(g, nvars, 10);
            polynode* p = build_poly(nvars, t);
            polynode* n = build_poly(1, {{9, {1}}});   // an old value to be freed
            poly_makeneg(p, &n);
            EXPECT_TRUE(holds(n, nvars, negated(nvars, t))) << g.trace();
            EXPECT_TRUE(holds(p, nvars, t));
            EXPECT_TRUE(share_nothing(p, n));
            poly_makeneg(n, &n);
            EXPECT_TRUE(holds(n, nvars, t));
            free_poly(&n);
            free_poly(&p);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(PolyMakeneg, ResiduesZeroAndOneAndTheCharacteristicTwoField) {
    {
        RingScope ring(kMod7);
        polynode* zero = build_poly(1, {});
        polynode* n = nullptr;
        poly_makeneg(zero, &n);
        ASSERT_TRUE(n->numb);
        EXPECT_EQ(n->ncoef->value, 0);   // not the modulus
        EXPECT_TRUE(check_poly_shape(n, 1));
        polynode* one = build_poly(1, {{1, {0}}});
        poly_makeneg(one, &n);
        EXPECT_EQ(n->ncoef->value, 6);
        free_poly(&n);
        free_poly(&zero);
        free_poly(&one);
    }
    {
        RingScope ring(kGF256);
        TermList t = {{255, {2}}, {1, {1}}, {128, {0}}};
        polynode* p = build_poly(1, t);
        polynode* n = nullptr;
        poly_makeneg(p, &n);
        EXPECT_TRUE(holds(n, 1, t));
        free_poly(&n);
        free_poly(&p);
    }
}

TEST(PolyMakeneg, MachineWordNegationWrapsAtTheMinimum) {
    RingScope ring(kWords);
    polynode* p = build_poly(1, {{INT32_MIN, {1}}, {INT32_MAX, {0}}});
    polynode* n = nullptr;
    poly_makeneg(p, &n);
    EXPECT_EQ(n->pcoef->ncoef->value, INT32_MIN);
    EXPECT_EQ(n->next->ncoef->value, -INT32_MAX);
    free_poly(&n);
    free_poly(&p);
}

TEST(NodeAssign, CopiesTheNumberIntoALoneNode) {
    RecordLedger ledger;
    polynode* p = build_poly(1, {{"-1000000000000000000000", {0}}});
    polynode* n = build_poly(2, {{1, {1, 1}}});
    node_assign(p, &n);
    EXPECT_TRUE(holds(n, 1, {{"-1000000000000000000000", {0}}}));
    EXPECT_TRUE(share_nothing(p, n));
    node_assign(n, &n);   // the copy is made before the old node goes
    EXPECT_TRUE(holds(n, 1, {{"-1000000000000000000000", {0}}}));
    free_poly(&n);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

// ================================================================ quolys

TEST(QuolyAssign, CopiesNumeratorDenominatorAndFlags) {
    RecordLedger ledger;
    quoly* q = make_quoly(build_poly(2, {{3, {1, 0}}, {"99999999999999999999", {0, 2}}}),
                          build_poly(2, {{1, {1, 1}}, {1, {0, 0}}}));
    quoly* c = number_quoly(5);
    quoly_assign(q, &c);
    ASSERT_FALSE(c->isnum);
    EXPECT_TRUE(check_quoly_normal(c, 2));
    EXPECT_TRUE(holds(c->pnum, 2, {{3, {1, 0}}, {"99999999999999999999", {0, 2}}}));
    EXPECT_TRUE(holds(c->den, 2, {{1, {1, 1}}, {1, {0, 0}}}));
    EXPECT_TRUE(share_nothing(q->pnum, c->pnum));
    EXPECT_TRUE(share_nothing(q->den, c->den));
    quoly_assign(c, &c);
    EXPECT_TRUE(holds(c->den, 2, {{1, {1, 1}}, {1, {0, 0}}}));
    free_quoly(&c);

    // A rational keeps rat outside machine-integer mode.
    quoly* r = make_quoly(build_poly(0, {{-3, {}}}), build_poly(0, {{4, {}}}), 1);
    quoly_assign(r, &c);
    EXPECT_EQ(c->rat, 1);
    EXPECT_TRUE(check_quoly_normal(c, 0));
    free_quoly(&c);
    free_quoly(&r);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());

    RingScope ring(kWords);
    r = make_quoly(build_poly(0, {{3, {}}}), build_poly(0, {{4, {}}}), 1);
    quoly_assign(r, &c);
    EXPECT_EQ(c->rat, 0);
    EXPECT_EQ(c->pnum->ncoef->value, 3);
    free_quoly(&c);
    free_quoly(&r);
}

TEST(QuolyAssign, NumberQuolysNeverCarryTheArrayParameterMarker) {
    RecordLedger ledger;
    polynode marker_target{};
    quoly* q = number_quoly(11);
    q->den = &marker_target;   // marks a variable standing for an array parameter
    quoly* c = nullptr;
    quoly_assign(q, &c);
    EXPECT_EQ(c->isnum, 1);
    EXPECT_EQ(c->den, nullptr);
    EXPECT_EQ(to_mpz(c->nnum), 11);
    free_quoly(&c);

    // free_quoly leaves den in a freed number quoly; the next number quoly
    // made from that record must not inherit it.
    free_quoly(&q);
    quoly* recycled = quolygarb;
    quoly_set(7, &c);
    EXPECT_EQ(c, recycled);
    EXPECT_EQ(c->den, nullptr);
    EXPECT_TRUE(check_quoly_normal(c));
    EXPECT_EQ(to_mpz(c->nnum), 7);
    free_quoly(&c);
    EXPECT_TRUE(ledger.balanced());
}

TEST(QuolyMakeneg, NegatesOnlyTheNumerator) {
    RecordLedger ledger;
    // 1/(x+1) -> -1/(x+1)
    quoly* q = make_quoly(build_poly(1, {{1, {0}}}), build_poly(1, {{1, {1}}, {1, {0}}}));
    quoly* n = nullptr;
    quoly_makeneg(q, &n);
    EXPECT_TRUE(check_quoly_normal(n, 1));
    EXPECT_TRUE(holds(n->pnum, 1, {{-1, {0}}}));
    EXPECT_TRUE(holds(n->den, 1, {{1, {1}}, {1, {0}}}));
    EXPECT_TRUE(share_nothing(q->den, n->den));
    EXPECT_TRUE(holds(q->pnum, 1, {{1, {0}}}));
    quoly_makeneg(n, &n);
    EXPECT_TRUE(holds(n->pnum, 1, {{1, {0}}}));
    free_quoly(&n);

    quoly* num = number_quoly(mpz_class("-340282366920938463463374607431768211456"));
    quoly_makeneg(num, &num);
    EXPECT_EQ(to_mpz(num->nnum), mpz_class("340282366920938463463374607431768211456"));
    EXPECT_TRUE(check_quoly_normal(num));
    quoly_inplace(num);
    EXPECT_EQ(to_mpz(num->nnum), mpz_class("-340282366920938463463374607431768211456"));
    quoly_inplace(q);
    EXPECT_TRUE(holds(q->pnum, 1, {{-1, {0}}}));
    EXPECT_TRUE(holds(q->den, 1, {{1, {1}}, {1, {0}}}));
    free_quoly(&num);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());

    RingScope ring(kMod7);
    quoly* m = number_quoly(3);
    quoly_makeneg(m, &m);
    EXPECT_EQ(m->nnum->value, 4);
    free_quoly(&m);
}

TEST(OneVarAssign, SkipsThePaddingAndDropsTheDenominator) {
    RecordLedger ledger;
    // z^3 + 2z in (x, y, z): two padding levels above the z level.
    polynode* p = build_poly(3, {{1, {0, 0, 3}}, {2, {0, 0, 1}}});
    polynode* c = nullptr;
    one_var_poly_assign(p, &c);
    EXPECT_TRUE(holds(c, 1, {{1, {3}}, {2, {1}}}));
    EXPECT_TRUE(share_nothing(p, c));
    free_poly(&c);

    // The descent stops at the first level that has a real term.
    polynode* q = build_poly(3, {{1, {0, 2, 1}}, {5, {0, 0, 0}}});
    one_var_poly_assign(q, &c);
    EXPECT_TRUE(holds(c, 2, {{1, {2, 1}}, {5, {0, 0}}}));
    free_poly(&c);
    polynode* n = build_poly(3, {{-4, {0, 0, 0}}});
    one_var_poly_assign(n, &c);
    EXPECT_TRUE(holds(c, 0, {{-4, {}}}));
    free_poly(&c);

    quoly* r = make_quoly(p, q);
    quoly* d = nullptr;
    one_var_quoly_assign(r, &d);
    EXPECT_EQ(d->den, nullptr);
    EXPECT_TRUE(holds(d->pnum, 1, {{1, {3}}, {2, {1}}}));
    free_quoly(&d);
    free_quoly(&r);
    free_poly(&n);
    EXPECT_TRUE(ledger.balanced());
}

// ================================================================ constants

TEST(PolySet, ReturnsEveryNodeOfALargePolynomial) {
    RecordLedger ledger;
    RecordTally start = in_use();
    NumberGen g(0x5eed0004);
    TermList t;
    for (int a = 0; a < 6; a++)
        for (int b = 0; b < 6; b++)
            for (int c = 0; c < 6; c++) t.emplace_back(g.digits(g.between(1, 5)) + 1, std::vector<int32_t>{a, b, c});
    polynode* p = build_poly(3, t);
    ASSERT_TRUE(holds(p, 3, t));
    poly_set(7, &p);
    EXPECT_TRUE(holds(p, 3, {{7, {0, 0, 0}}}));
    RecordTally now = in_use();
    EXPECT_EQ(now.terms, start.terms + 1);
    EXPECT_EQ(now.numbers, start.numbers + 1);
    EXPECT_EQ(now.digits, start.digits + 1);

    // Values past one digit are split with the sign on every digit.
    poly_set(1 << 28, &p);
    EXPECT_TRUE(holds(p, 0, {{1L << 28, {}}}));
    EXPECT_EQ(p->ncoef->count, 2);
    poly_set(INT32_MIN, &p);
    EXPECT_TRUE(holds(p, 0, {{INT32_MIN, {}}}));
    EXPECT_EQ(p->ncoef->head->digit, -8);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolySet, MachineWordAndResidueModes) {
    {
        RingScope ring(kWords);
        polynode* p = nullptr;
        poly_set(-12345678, &p);
        EXPECT_EQ(p->ncoef->value, -12345678);
        EXPECT_EQ(p->ncoef->count, 0);
        quoly* q = nullptr;
        quoly_set(INT32_MAX, &q);
        EXPECT_EQ(q->isnum, 1);
        EXPECT_EQ(q->nnum->value, INT32_MAX);
        free_quoly(&q);
        free_poly(&p);
    }
    RingScope ring(kMod7);
    polynode* p = nullptr;
    poly_set(5, &p);
    EXPECT_TRUE(holds(p, 2, {{5, {0, 0}}}));
    free_poly(&p);
}

TEST(BasePoly, IsTheVariableBelowItsPadding) {
    RecordLedger ledger;
    polynode* p = nullptr;
    base_poly(&p, 2);
    // Level 1: a padding node; level 2: exponent 1 over the number node 1.
    ASSERT_FALSE(p->numb);
    EXPECT_EQ(p->exp, 0);
    EXPECT_EQ(p->next, nullptr);
    polynode* y = p->pcoef;
    ASSERT_FALSE(y->numb);
    EXPECT_EQ(y->exp, 1);
    EXPECT_EQ(y->next, nullptr);
    ASSERT_TRUE(y->pcoef->numb);
    EXPECT_EQ(y->pcoef->next, nullptr);
    EXPECT_EQ(to_mpz(y->pcoef->ncoef), 1);
    EXPECT_TRUE(holds(p, 2, {{1, {0, 1}}}));

    base_poly(&p, 0);
    EXPECT_TRUE(holds(p, 0, {{1, {}}}));
    base_poly(&p, 1);
    EXPECT_TRUE(holds(p, 3, {{1, {1, 0, 0}}}));
    base_poly(&p, 4);
    EXPECT_TRUE(holds(p, 4, {{1, {0, 0, 0, 1}}}));
    free_poly(&p);

    quoly* q = number_quoly(3);
    base_quoly(&q, 3);
    EXPECT_EQ(q->isnum, 0);
    EXPECT_EQ(q->rat, 0);
    EXPECT_EQ(q->den, nullptr);
    EXPECT_TRUE(check_quoly_normal(q, 3));
    EXPECT_TRUE(holds(q->pnum, 3, {{1, {0, 0, 1}}}));
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST(SpecScalarQuoly, DigitsBecomeTheValueWordInMachineIntegerMode) {
    imag* two_digits = from_mpz((mpz_class(1) << 28) + 5);
    imag* big = from_mpz((mpz_class(1) << 30) + 1);
    imag* negative = from_mpz(-7);
    imag* huge = from_mpz(mpz_class("-123456789012345678901234567890"));
    {
        RingScope ring(kWords);
        quoly* q = nullptr;
        ::testing::internal::CaptureStdout();
        spec_scalar_quoly(two_digits, &q);
        std::fflush(stdout);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(q->isnum, 1);
        EXPECT_EQ(q->den, nullptr);
        EXPECT_EQ(q->nnum->value, 268435461);

        ::testing::internal::CaptureStdout();
        spec_scalar_quoly(big, &q);
        std::fflush(stdout);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  " ** Warning. oversized value computed 1073741825u in spec_scalar_quoly.\n");
        EXPECT_EQ(q->nnum->value, 1073741825);

        // Compared as an unsigned word, every negative value is oversized.
        ::testing::internal::CaptureStdout();
        spec_scalar_quoly(negative, &q);
        std::fflush(stdout);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  " ** Warning. oversized value computed -7u in spec_scalar_quoly.\n");
        EXPECT_EQ(q->nnum->value, -7);
        free_quoly(&q);
    }
    RecordLedger ledger;
    quoly* q = nullptr;
    spec_scalar_quoly(huge, &q);
    EXPECT_TRUE(check_quoly_normal(q));
    EXPECT_EQ(to_mpz(q->nnum), mpz_class("-123456789012345678901234567890"));
    EXPECT_NE(q->nnum->head, huge->head);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced({}));
    for (imag* x : {two_digits, big, negative, huge}) release(x);
}

TEST(PQAssign, NumbersBecomeNumberQuolysAndTheRestIsCopied) {
    RecordLedger ledger;
    polynode* n = build_poly(2, {{"-55555555555555555555", {0, 0}}});
    polynode* p = build_poly(2, {{2, {1, 0}}, {3, {0, 0}}});
    quoly* q = make_quoly(build_poly(1, {{1, {1}}}), build_poly(1, {{1, {2}}}));
    p_q_assign(n, &q);   // the old value is freed first
    EXPECT_EQ(q->isnum, 1);
    EXPECT_TRUE(check_quoly_normal(q));
    EXPECT_EQ(to_mpz(q->nnum), mpz_class("-55555555555555555555"));
    p_q_assign(p, &q);
    EXPECT_EQ(q->isnum, 0);
    EXPECT_EQ(q->rat, 0);
    EXPECT_EQ(q->den, nullptr);
    EXPECT_TRUE(check_quoly_normal(q, 2));
    EXPECT_TRUE(holds(q->pnum, 2, {{2, {1, 0}}, {3, {0, 0}}}));
    EXPECT_TRUE(share_nothing(p, q->pnum));
    free_quoly(&q);
    free_poly(&n);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Conversions, NumberNodesAndNumberQuolys) {
    RecordLedger ledger;
    polynode* p = build_poly(1, {{"77777777777777777777777", {0}}});
    quoly* spare = number_quoly(1);
    quoly* slot = spare;   // never-free: the old value is still owned through `spare`
    poly_to_quoly(p, &slot);
    EXPECT_NE(slot, spare);
    EXPECT_TRUE(not_on_free_lists({spare->nnum}));
    EXPECT_EQ(to_mpz(spare->nnum), 1);
    EXPECT_TRUE(check_quoly_normal(slot));
    EXPECT_EQ(to_mpz(slot->nnum), mpz_class("77777777777777777777777"));

    polynode* back = nullptr;
    quoly_to_poly(slot, &back);
    EXPECT_TRUE(holds(back, 1, {{"77777777777777777777777", {0}}}));
    EXPECT_NE(back->ncoef, slot->nnum);
    free_poly(&back);
    free_quoly(&slot);
    free_quoly(&spare);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());

    RingScope ring(kMod65521);
    quoly* m = number_quoly(65520);
    quoly* c = nullptr;
    mod_quol_assign(m, &c);
    EXPECT_EQ(c->nnum->value, 65520);
    EXPECT_NE(c->nnum, m->nnum);
    EXPECT_EQ(c->den, nullptr);
    EXPECT_TRUE(check_quoly_normal(c));
    free_quoly(&c);
    free_quoly(&m);
}

// ================================================================ leading term

TEST(LeadingTerm, TopTermWithItsCoefficientOverTheDenominator) {
    RecordLedger ledger;
    quoly* q = make_quoly(build_poly(2, {{3, {2, 1}}, {-1, {2, 0}}, {1, {1, 0}}, {5, {0, 0}}}),
                          build_poly(2, {{1, {1, 0}}, {1, {0, 0}}}));
    quoly* lt = nullptr;
    leading_term(q, &lt);
    EXPECT_EQ(lt->isnum, 0);
    EXPECT_EQ(lt->rat, 0);
    EXPECT_TRUE(check_quoly_normal(lt, 2));
    EXPECT_TRUE(holds(lt->pnum, 2, {{3, {2, 1}}, {-1, {2, 0}}}));
    EXPECT_TRUE(holds(lt->den, 2, {{1, {1, 0}}, {1, {0, 0}}}));
    EXPECT_TRUE(share_nothing(q->den, lt->den));
    EXPECT_TRUE(share_nothing(q->pnum, lt->pnum));
    free_quoly(&lt);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST(LeadingTerm, KeepsThePaddingLevels) {
    RecordLedger ledger;
    // z^3 + 2z in (x, y, z): the term z^3 below both padding levels.
    quoly* q = make_quoly(build_poly(3, {{1, {0, 0, 3}}, {2, {0, 0, 1}}}), nullptr);
    quoly* lt = nullptr;
    leading_term(q, &lt);
    EXPECT_TRUE(holds(lt->pnum, 3, {{1, {0, 0, 3}}}));
    EXPECT_EQ(lt->den, nullptr);
    free_quoly(&lt);
    free_quoly(&q);

    // y^2 z + 4y in (x, y, z): one padding level, the term y^2·z.
    q = make_quoly(build_poly(3, {{1, {0, 2, 1}}, {4, {0, 1, 0}}}), nullptr);
    leading_term(q, &lt);
    EXPECT_TRUE(holds(lt->pnum, 3, {{1, {0, 2, 1}}}));
    free_quoly(&lt);
    free_quoly(&q);

    // 5/(x+1): a number numerator is its own leading term.
    q = make_quoly(build_poly(1, {{5, {0}}}), build_poly(1, {{1, {1}}, {1, {0}}}));
    leading_term(q, &lt);
    EXPECT_TRUE(holds(lt->pnum, 1, {{5, {0}}}));
    EXPECT_TRUE(holds(lt->den, 1, {{1, {1}}, {1, {0}}}));
    free_quoly(&lt);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST(LeadingTerm, MatchesTheTermsOfTheFirstRealLevel) {
    for (const Ring& r : {kBig, kMod7}) {
        SCOPED_TRACE(r.name);
        RingScope ring(r);
        RecordLedger ledger;
        NumberGen g(0x5eed0005);
        for (int i = 0; i < scaled(60); i++) {
            int nvars = g.between(1, 4);
            TermList t = canonical_terms(nvars, random_terms(g, nvars, 8));
            if (t.empty()) continue;
            // Reference: the first level where some term has a non-zero
            // exponent; the leading term is every term of top degree there.
            int k = 0;
            while (k < nvars && std::all_of(t.begin(), t.end(), [&](const Term& x) { return x.exps[k] == 0; })) k++;
            TermList want;
            if (k == nvars) {
                want = t;
            } else {
                int32_t top = t.front().exps[k];
                for (const Term& x : t)
                    if (x.exps[k] == top) want.push_back(x);
            }
            quoly* q = make_quoly(build_poly(nvars, t), nullptr);
            quoly* lt = nullptr;
            leading_term(q, &lt);
            EXPECT_TRUE(holds(lt->pnum, nvars, want)) << g.trace() << " input " << terms_to_string(t);
            free_quoly(&lt);
            free_quoly(&q);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

// ================================================================ moving values

TEST(Consume, PolyConsumeMovesTheNumberAndFreesTheNode) {
    RecordLedger ledger;
    polynode* p = build_poly(1, {{"-31415926535897932384626", {0}}});
    imag* number = p->ncoef;
    polynode* node = p;
    quoly* q = nullptr;
    poly_consume(&p, &q);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(q->isnum, 1);
    EXPECT_EQ(q->den, nullptr);
    EXPECT_EQ(q->nnum, number);
    EXPECT_EQ(polygarb, node);
    EXPECT_EQ(node->exp, 0);
    EXPECT_TRUE(check_quoly_normal(q));
    EXPECT_EQ(to_mpz(q->nnum), mpz_class("-31415926535897932384626"));

    polynode* back = nullptr;
    quoly* record = q;
    quoly_consume(&q, &back);
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(quolygarb, record);
    EXPECT_EQ(back->ncoef, number);
    EXPECT_TRUE(holds(back, 1, {{"-31415926535897932384626", {0}}}));
    free_poly(&back);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Consume, UseUpPolyWrapsPolynomialsAndConsumesNumbers) {
    RecordLedger ledger;
    polynode* p = build_poly(2, {{1, {1, 1}}, {2, {0, 0}}});
    polynode* keep = p;
    quoly* q = nullptr;
    use_up_poly(&p, &q);
    EXPECT_EQ(p, keep);   // the slot keeps its pointer but no longer owns it
    EXPECT_EQ(q->pnum, keep);
    EXPECT_EQ(q->den, nullptr);
    EXPECT_EQ(q->rat, 0);
    EXPECT_TRUE(check_quoly_normal(q, 2));
    free_quoly(&q);

    polynode* n = build_poly(2, {{9, {0, 0}}});
    use_up_poly(&n, &q);
    EXPECT_EQ(n, nullptr);
    EXPECT_EQ(q->isnum, 1);
    EXPECT_EQ(to_mpz(q->nnum), 9);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Consume, ScalarsHandTheirDigitsOver) {
    RecordLedger ledger;
    imag* n = from_mpz(mpz_class("-98765432109876543210987654321"));
    numnode* digits = n->head;
    polynode* p = build_poly(1, {{3, {1}}});   // free-first: this goes before anything is built
    scalar_to_poly(n, &p);
    EXPECT_TRUE(holds(p, 1, {{"-98765432109876543210987654321", {0}}}));
    EXPECT_EQ(p->ncoef->head, digits);
    EXPECT_NE(p->ncoef, n);
    EXPECT_EQ(n->count, 0);   // n owns nothing now: releasing it cannot free the digits twice
    release(n);

    imag* m = from_mpz(mpz_class("12345678901234567890"));
    digits = m->head;
    quoly* q = number_quoly(4);
    scalar_to_quoly(m, &q);
    EXPECT_EQ(q->nnum->head, digits);
    EXPECT_EQ(q->den, nullptr);
    EXPECT_TRUE(check_quoly_normal(q));
    EXPECT_EQ(to_mpz(q->nnum), mpz_class("12345678901234567890"));
    release(m);
    free_quoly(&q);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Consume, MiniCopyMovesATermOrCopiesANumber) {
    RecordLedger ledger;
    polynode* p = build_poly(1, {{2, {3}}, {7, {1}}, {1, {0}}});
    polynode* coef = p->pcoef;
    polynode* rest = p->next;
    polynode* t = nullptr;
    mini_copy(p, &t);
    EXPECT_EQ(t->exp, 3);
    EXPECT_EQ(t->numb, 0);
    EXPECT_EQ(t->pcoef, coef);
    EXPECT_EQ(t->next, rest);
    EXPECT_EQ(p->pcoef, nullptr);
    EXPECT_EQ(p->next, nullptr);
    EXPECT_TRUE(holds(t, 1, {{2, {3}}, {7, {1}}, {1, {0}}}));
    free_poly(&p);   // the emptied node alone
    free_poly(&t);

    polynode* n = build_poly(1, {{-6, {0}}});
    polynode* old = build_poly(1, {{1, {4}}});
    mini_copy(n, &old);   // a number node goes through poly_assign, which frees the old value
    EXPECT_TRUE(holds(old, 1, {{-6, {0}}}));
    EXPECT_TRUE(share_nothing(n, old));
    free_poly(&old);
    free_poly(&n);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Consume, MakeMonomialTakesTheCoefficientOver) {
    RecordLedger ledger;
    polynode* c = build_poly(0, {{5, {}}});
    polynode* m = nullptr;
    make_monomial(&m, 0, c);
    EXPECT_EQ(m, c);
    make_monomial(&m, 4, c);
    EXPECT_NE(m, c);
    EXPECT_EQ(m->pcoef, c);
    EXPECT_TRUE(holds(m, 1, {{5, {4}}}));
    polynode* y = build_poly(1, {{1, {2}}});
    polynode* w = nullptr;
    make_monomial(&w, 0, y);   // a polynomial coefficient is padded, not merged
    EXPECT_TRUE(holds(w, 2, {{1, {0, 2}}}));
    free_poly(&w);
    free_poly(&m);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Consume, SpecPolyAssignSharesAllButTheLeadingNodes) {
    RecordLedger ledger;
    polynode* p = build_poly(2, {{1, {2, 1}}, {3, {1, 2}}, {5, {0, 0}}});
    polynode* s = nullptr;
    spec_poly_assign(p, &s);
    EXPECT_TRUE(holds(s, 2, {{1, {2, 1}}, {3, {1, 2}}, {5, {0, 0}}}));
    ASSERT_NE(s, p);
    EXPECT_EQ(s->pcoef, p->pcoef);
    ASSERT_NE(s->next, p->next);
    EXPECT_EQ(s->next->pcoef, p->next->pcoef);
    EXPECT_EQ(s->next->next, p->next->next);   // the number term is shared
    // Only the two new nodes belong to s: give them back by hand.
    polynode* second = s->next;
    second->next = polygarb;
    s->exp = 0;
    polygarb = s;
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());

    polynode* n = build_poly(1, {{8, {0}}});
    spec_poly_assign(n, &s);
    EXPECT_EQ(s, n);
    spec_poly_assign(nullptr, &s);
    EXPECT_EQ(s, nullptr);
    free_poly(&n);
}

TEST(Consume, LaurentChainsAreNotLoneNumbers) {
    // With negative exponents a number node may lead a longer chain; such a
    // chain is a polynomial and must be neither consumed nor unwrapped.
    LaurentOn on;
    RecordLedger ledger;
    TermList t = {{3, {0}}, {1, {-1}}};
    polynode* p = build_poly(1, t);
    polynode* keep = p;
    quoly* q = nullptr;
    use_up_poly(&p, &q);
    EXPECT_EQ(q->isnum, 0);
    EXPECT_EQ(q->pnum, keep);
    free_quoly(&q);

    polynode* c = build_poly(1, t);
    polynode* m = nullptr;
    make_monomial(&m, 0, c);
    EXPECT_TRUE(holds(m, 2, {{3, {0, 0}}, {1, {0, -1}}}));
    free_poly(&m);

    // y + x^-1: the exponent-0 term at the top is a real term, not padding.
    polynode* y = build_poly(2, {{1, {0, 1}}, {1, {-1, 0}}});
    polynode* copy = nullptr;
    one_var_poly_assign(y, &copy);
    EXPECT_TRUE(holds(copy, 2, {{1, {0, 1}}, {1, {-1, 0}}}));
    free_poly(&copy);
    free_poly(&y);
    EXPECT_TRUE(ledger.balanced());
}

// ================================================================ reshaping

TEST(FluffOut, WrapsUnlessANumberStaysAtExponentZero) {
    RecordLedger ledger;
    polynode* five = build_poly(0, {{5, {}}});
    polynode* keep = five;
    fluff_out(&five, 0);
    EXPECT_EQ(five, keep);
    fluff_out(&five, 3);
    EXPECT_TRUE(holds(five, 1, {{5, {3}}}));

    polynode* x = build_poly(1, {{1, {1}}});
    fluff_out(&x, 0);   // x becomes the second variable under a padding level
    EXPECT_TRUE(holds(x, 2, {{1, {0, 1}}}));
    fluff_out(&x, 2);
    EXPECT_TRUE(holds(x, 3, {{1, {2, 0, 1}}}));

    add_pad(&x, 0);
    EXPECT_TRUE(holds(x, 3, {{1, {2, 0, 1}}}));
    add_pad(&x, 2);
    EXPECT_TRUE(holds(x, 5, {{1, {0, 0, 2, 0, 1}}}));
    free_poly(&x);
    free_poly(&five);
    EXPECT_TRUE(ledger.balanced());
}

TEST(RemoveOne, DropsAnAbsentVariableAtAnyLevel) {
    RecordLedger ledger;
    // x^2 z + 3x + z^2 in (x, y, z): y never occurs.
    TermList t = {{1, {2, 0, 1}}, {3, {1, 0, 0}}, {1, {0, 0, 2}}};
    polynode* p = build_poly(3, t);
    RecordTally before = in_use();
    remove_one(&p, 2);
    EXPECT_TRUE(holds(p, 2, {{1, {2, 1}}, {3, {1, 0}}, {1, {0, 2}}}));
    // Only the padding nodes of the y level went back: one under x^2, one under x^0.
    EXPECT_EQ(in_use().terms, before.terms - 2);
    free_poly(&p);

    // The top variable absent: the padding node at the top goes.
    p = build_poly(3, {{2, {0, 1, 1}}, {1, {0, 0, 0}}});
    remove_one(&p, 1);
    EXPECT_TRUE(holds(p, 2, {{2, {1, 1}}, {1, {0, 0}}}));
    free_poly(&p);

    // Numbers at or above the level stay as they are.
    p = build_poly(2, {{4, {0, 0}}});
    polynode* keep = p;
    remove_one(&p, 1);
    EXPECT_EQ(p, keep);
    remove_one(&p, 2);
    EXPECT_TRUE(holds(p, 1, {{4, {0}}}));
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(RemoveOne, RandomPolynomialsLoseExactlyTheAbsentCoordinate) {
    RecordLedger ledger;
    NumberGen g(0x5eed0006);
    for (int i = 0; i < scaled(80); i++) {
        int nvars = g.between(1, 4);
        int level = g.between(1, nvars);
        TermList t = random_terms(g, nvars, 8);
        for (Term& x : t) x.exps[level - 1] = 0;
        t = canonical_terms(nvars, t);
        TermList want;
        for (Term x : t) {
            x.exps.erase(x.exps.begin() + (level - 1));
            want.push_back(x);
        }
        polynode* p = build_poly(nvars, t);
        remove_one(&p, level);
        EXPECT_TRUE(holds(p, nvars - 1, want)) << g.trace() << " level " << level << " of " << terms_to_string(t);
        free_poly(&p);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(RemovePolyVar, TreatsNumeratorAndDenominator) {
    RecordLedger ledger;
    quoly* q = make_quoly(build_poly(2, {{1, {0, 3}}, {1, {0, 0}}}), build_poly(2, {{2, {0, 1}}, {-1, {0, 0}}}));
    remove_poly_var(&q, 1);
    EXPECT_TRUE(check_quoly_normal(q, 1));
    EXPECT_TRUE(holds(q->pnum, 1, {{1, {3}}, {1, {0}}}));
    EXPECT_TRUE(holds(q->den, 1, {{2, {1}}, {-1, {0}}}));
    free_quoly(&q);

    quoly* n = number_quoly(12);
    remove_poly_var(&n, 1);
    EXPECT_EQ(to_mpz(n->nnum), 12);
    free_quoly(&n);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
