// Sums and differences in every ownership variant and ground ring, compared
// with a map from exponent vectors to coefficients computed here; every
// result shape-checked, every record accounted for.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/datafiles.h"

namespace {

// ---------------------------------------------------------------- rings

// Installs a ground ring for its lifetime (and Laurent exponents when asked).
class RingScope {
public:
    RingScope(const RingChoice& r, bool with_laurent = false) : saved_laurent_(laurent) {
        modularmode = r.mode == RingMode::residues;
        lintmode = r.mode != RingMode::digits;
        install_modulus(r.modulus);
        laurent = with_laurent;
    }
    ~RingScope() { laurent = saved_laurent_; }

private:
    RingStateGuard guard_;
    int saved_laurent_;
};

// ---------------------------------------------------------------- reference

using Exps = std::vector<int32_t>;

mpz_class reduce(const mpz_class& c) {
    if (!modularmode || finf) return c;
    mpz_class r;
    mpz_fdiv_r_ui(r.get_mpz_t(), c.get_mpz_t(), static_cast<unsigned long>(modulus));
    return r;
}
mpz_class ring_neg(const mpz_class& c) { return finf ? c : reduce(-c); }

// a + b or a - b as the ground ring computes it, zero terms dropped, in the
// order read_poly gives (greatest exponent vector first).
TermList reference(const TermList& a, const TermList& b, bool sub) {
    std::map<Exps, mpz_class, std::greater<>> sum;
    auto add = [&](const Exps& e, const mpz_class& c) {
        mpz_class& s = sum[e];
        s = finf ? mpz_class(s ^ c) : reduce(s + c);
    };
    for (const Term& t : a) add(t.exps, t.coef);
    for (const Term& t : b) add(t.exps, sub ? ring_neg(t.coef) : t.coef);
    TermList out;
    for (auto& [e, c] : sum)
        if (c != 0) out.emplace_back(c, e);
    return out;
}

// ---------------------------------------------------------------- random polynomials

mpz_class random_coef(NumberGen& g) {
    if (!lintmode) return g.chance(25) ? g.edge_value() : g.digits(g.length(1, 3));
    if (!modularmode) return g.between(-(1 << 20), 1 << 20);
    if (g.chance(10)) return modulus - 1;
    if (g.chance(10)) return 1;
    return g.below(modulus);
}

// Sparse (few terms, wide exponents) or dense (most of a small box), with
// some variables absent so that padding levels occur; Laurent exponents
// reach below 0.
TermList random_terms(NumberGen& g, int nvars, bool dense) {
    std::vector<bool> absent(nvars);
    for (int v = 0; v < nvars; v++) absent[v] = g.chance(20);
    const int32_t low = laurent ? -3 : 0;
    TermList t;
    if (dense) {
        const int32_t deg = nvars <= 2 ? 5 : nvars == 3 ? 3 : 2;
        Exps e(nvars, low);
        for (;;) {
            if (g.chance(70)) {
                Exps x = e;
                for (int v = 0; v < nvars; v++)
                    if (absent[v]) x[v] = 0;
                t.emplace_back(random_coef(g), x);
            }
            int v = 0;
            while (v < nvars && ++e[v] > low + deg) e[v++] = low;
            if (v == nvars) break;
        }
    } else {
        int n = g.between(0, 12);
        for (int i = 0; i < n; i++) {
            Exps x(nvars);
            // Exponent 0 often, so that constant terms meet Laurent tails.
            for (int v = 0; v < nvars; v++) x[v] = absent[v] || g.chance(35) ? 0 : g.between(low, 40);
            t.emplace_back(random_coef(g), x);
        }
    }
    return canonical_terms(nvars, t);
}

// A second operand that cancels much of a (for a sum, or a difference):
// all of it, a random part of it (whole levels then vanish), or nothing,
// plus a few terms of its own.
TermList partner(NumberGen& g, int nvars, const TermList& a, bool for_sub, bool dense) {
    TermList b;
    int kind = g.below(4);
    if (kind < 3) {
        for (const Term& t : a)
            if (kind == 0 || g.chance(50)) b.emplace_back(for_sub ? t.coef : ring_neg(t.coef), t.exps);
    }
    if (kind != 0) {
        TermList extra = random_terms(g, nvars, dense && kind == 3);
        b.insert(b.end(), extra.begin(), extra.end());
    }
    return canonical_terms(nvars, b);
}

// ---------------------------------------------------------------- record checks

// ---------------------------------------------------------------- the variants

enum class Variant { keep, better, best, simplest };
const char* name(Variant v) {
    switch (v) {
        case Variant::keep: return "poly_add/poly_sub";
        case Variant::better: return "better_";
        case Variant::best: return "best_";
        case Variant::simplest: return "simplest_";
    }
    return "?";
}

// Runs one variant on fresh copies of the operands and checks the result,
// the kept operands and that the kept operands share nothing with it.
void run_variant(Variant v, bool sub, int nvars, const TermList& A, const TermList& B, const TermList& want) {
    SCOPED_TRACE(::testing::Message() << name(v) << (sub ? "sub" : "add"));
    polynode* a = build_poly(nvars, A);
    polynode* b = build_poly(nvars, B);
    polynode* r = nullptr;
    switch (v) {
        case Variant::keep: sub ? poly_sub(a, b, &r) : poly_add(a, b, &r); break;
        case Variant::better: sub ? better_poly_sub(a, b, &r) : better_poly_add(a, b, &r); break;
        case Variant::best: sub ? best_poly_sub(a, b, &r) : best_poly_add(a, b, &r); break;
        case Variant::simplest: sub ? simplest_poly_sub(a, b, &r) : simplest_poly_add(a, b, &r); break;
    }
    ASSERT_TRUE(check_poly_shape(r, nvars));
    EXPECT_EQ(read_poly(r, nvars), want) << "a = " << terms_to_string(A) << "\nb = " << terms_to_string(B);
    if (want.empty()) {
        EXPECT_TRUE(is_zero_node(r)) << "zero must be one number node";
    }
    if (v == Variant::keep) {
        EXPECT_EQ(read_poly(a, nvars), A);
        EXPECT_TRUE(disjoint(r, a));
        free_poly(&a);
    }
    if (v == Variant::keep || v == Variant::better) {
        EXPECT_EQ(read_poly(b, nvars), B);
        EXPECT_TRUE(disjoint(r, b));
        free_poly(&b);
    }
    free_poly(&r);
}

// Result slots that are an operand's own slot.
void run_aliasing(int nvars, const TermList& A, const TermList& B) {
    polynode* a = build_poly(nvars, A);
    polynode* b = build_poly(nvars, B);
    poly_add(a, b, &a);
    ASSERT_TRUE(check_poly_shape(a, nvars));
    EXPECT_EQ(read_poly(a, nvars), reference(A, B, false));
    EXPECT_EQ(read_poly(b, nvars), B);
    poly_sub(a, b, &b);   // (a + b) - b into b's slot
    ASSERT_TRUE(check_poly_shape(b, nvars));
    EXPECT_EQ(read_poly(b, nvars), reference(reference(A, B, false), B, true));
    free_poly(&a);
    free_poly(&b);

    a = build_poly(nvars, A);
    poly_add(a, a, &a);
    ASSERT_TRUE(check_poly_shape(a, nvars));
    EXPECT_EQ(read_poly(a, nvars), reference(A, A, false));
    poly_sub(a, a, &a);
    EXPECT_TRUE(is_zero_node(a));
    free_poly(&a);

    // better_ into the kept operand's slot: the caller still holds b.
    a = build_poly(nvars, A);
    b = build_poly(nvars, B);
    polynode* held = b;
    better_poly_sub(a, b, &b);
    ASSERT_TRUE(check_poly_shape(b, nvars));
    EXPECT_EQ(read_poly(b, nvars), reference(A, B, true));
    EXPECT_EQ(read_poly(held, nvars), B);
    free_poly(&b);
    free_poly(&held);
}

// (a + b) - b = a structurally, by the keeping and by the consuming forms.
void run_identities(int nvars, const TermList& A, const TermList& B) {
    polynode* a = build_poly(nvars, A);
    polynode* b = build_poly(nvars, B);
    polynode* s = nullptr;
    poly_add(a, b, &s);
    poly_sub(s, b, &s);
    EXPECT_TRUE(poly_equal(s, a)) << "(a + b) - b != a by poly_add/poly_sub";
    free_poly(&s);

    polynode* x = nullptr;
    polynode* y = nullptr;
    poly_assign(a, &x);
    poly_assign(b, &y);
    best_poly_add(x, y, &x);
    y = nullptr;
    poly_assign(b, &y);
    best_poly_sub(x, y, &x);
    EXPECT_TRUE(check_poly_shape(x, nvars));
    EXPECT_TRUE(poly_equal(x, a)) << "(a + b) - b != a by best_poly_add/best_poly_sub";
    free_poly(&x);

    // a - b + b through better_: a's copy consumed, b kept.
    poly_assign(a, &x);
    better_poly_sub(x, b, &x);
    better_poly_add(x, b, &x);
    EXPECT_TRUE(poly_equal(x, a)) << "(a - b) + b != a by better_";
    free_poly(&x);
    free_poly(&a);
    free_poly(&b);
}

void run_ring(const RingChoice& ring, bool with_laurent, uint64_t seed) {
    RingScope scope(ring, with_laurent);
    NumberGen g(seed);
    SCOPED_TRACE(::testing::Message() << ring.name << (with_laurent ? " Laurent" : "") << " " << g.trace());
    const int rounds = scaled(120);
    for (int i = 0; i < rounds; i++) {
        const int nvars = 1 + i % 5;
        const bool dense = i % 3 == 1;
        const bool sub_partner = g.chance(50);
        TermList A = random_terms(g, nvars, dense);
        TermList B = partner(g, nvars, A, sub_partner, dense);
        if (g.chance(50)) std::swap(A, B);
        SCOPED_TRACE(::testing::Message() << "round " << i << ", " << nvars << " variables");
        RecordLedger ledger;
        for (bool sub : {false, true}) {
            TermList want = reference(A, B, sub);
            for (Variant v : {Variant::keep, Variant::better, Variant::best})
                run_variant(v, sub, nvars, A, B, want);
            if (modularmode && nvars == 1) run_variant(Variant::simplest, sub, nvars, A, B, want);
        }
        run_aliasing(nvars, A, B);
        run_identities(nvars, A, B);
        ASSERT_TRUE(ledger.balanced());
        if (::testing::Test::HasFatalFailure()) return;
    }
}

class PolyAddRings : public ::testing::TestWithParam<int> {};

TEST_P(PolyAddRings, EveryVariantMatchesTheReference) {
    const RingChoice& r = kRingChoices[GetParam()];
    run_ring(r, false, 0x5eed0000u + GetParam());
}

TEST_P(PolyAddRings, LaurentExponentsTakePartInTheOrder) {
    const RingChoice& r = kRingChoices[GetParam()];
    run_ring(r, true, 0x1a0e0000u + GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rings, PolyAddRings, ::testing::Range(0, static_cast<int>(std::size(kRingChoices))),
                         [](const auto& info) {
                             std::string s = kRingChoices[info.param].name;
                             for (char& c : s)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return s;
                         });

// ---------------------------------------------------------------- hand-made cases

using Fn = std::function<void(polynode*, polynode*, polynode**)>;

// Every general form of a sum (or a difference) run on fresh operands.
void each_form(bool sub, int nvars, const TermList& A, const TermList& B,
               const std::function<void(polynode*)>& check) {
    const std::vector<Fn> forms =
        sub ? std::vector<Fn>{poly_sub, better_poly_sub, best_poly_sub}
            : std::vector<Fn>{poly_add, better_poly_add, best_poly_add};
    for (size_t k = 0; k < forms.size(); k++) {
        SCOPED_TRACE(::testing::Message() << "form " << k);
        RecordLedger ledger;
        polynode* a = build_poly(nvars, A);
        polynode* b = build_poly(nvars, B);
        polynode* r = nullptr;
        forms[k](a, b, &r);
        ASSERT_TRUE(check_poly_shape(r, nvars));
        check(r);
        free_poly(&r);
        if (k < 2) free_poly(&b);
        if (k < 1) free_poly(&a);
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(PolyAddShapes, CancelledTopTermLeavesTheNumberNode) {
    RingScope z(kRingChoices[0]);
    // (x^2 + 1) + (-x^2) is the number node 1, not a term of exponent 0.
    each_form(false, 1, {{1, {2}}, {1, {0}}}, {{-1, {2}}}, [](polynode* r) {
        EXPECT_TRUE(r->numb && !r->next);
        EXPECT_EQ(number_value(r->ncoef), 1);
    });
    // x·y + 3 - x·y in two variables: the x level and the y level both go.
    each_form(true, 2, {{1, {1, 1}}, {3, {0, 0}}}, {{1, {1, 1}}}, [](polynode* r) {
        EXPECT_TRUE(r->numb && !r->next);
        EXPECT_EQ(number_value(r->ncoef), 3);
    });
}

TEST(PolyAddShapes, PaddingSurvivesWhenTheOuterVariableCancels) {
    RingScope z(kRingChoices[0]);
    // (x + y) - x = y, padded at the x level.
    each_form(true, 2, {{1, {1, 0}}, {1, {0, 1}}}, {{1, {1, 0}}}, [](polynode* r) {
        ASSERT_FALSE(r->numb);
        EXPECT_EQ(r->exp, 0);
        EXPECT_EQ(r->next, nullptr);
        EXPECT_EQ(read_poly(r, 2), (TermList{{1, {0, 1}}}));
    });
    // A number added to a padded polynomial lands inside the padding.
    each_form(false, 3, {{1, {0, 0, 1}}}, {{-7, {0, 0, 0}}}, [](polynode* r) {
        ASSERT_FALSE(r->numb);
        EXPECT_EQ(r->exp, 0);
        EXPECT_EQ(read_poly(r, 3), (TermList{{1, {0, 0, 1}}, {-7, {0, 0, 0}}}));
    });
}

TEST(PolyAddShapes, LaurentTermsStayInOrder) {
    RingScope z(kRingChoices[0], true);
    each_form(false, 1, {{1, {1}}}, {{1, {-1}}}, [](polynode* r) {
        ASSERT_NE(r->next, nullptr);
        EXPECT_EQ(r->exp, 1);
        EXPECT_EQ(r->next->exp, -1);
        EXPECT_EQ(r->next->next, nullptr);
    });
    // y + 5 + x^-1 minus 5: the number cut from its Laurent tail cancels
    // inside the padded coefficient, the tail stays at the x level.
    each_form(true, 2, {{1, {0, 1}}, {5, {0, 0}}, {1, {-1, 0}}}, {{5, {0, 0}}}, [](polynode* r) {
        EXPECT_EQ(read_poly(r, 2), (TermList{{1, {0, 1}}, {1, {-1, 0}}}));
    });
    // A number node with a Laurent tail against a padded coefficient, on
    // either side: only the number goes inside.
    const TermList number_and_tail = {{5, {0, 0}}, {1, {-1, 0}}};
    const TermList y = {{1, {0, 1}}};
    for (bool sub : {false, true}) {
        each_form(sub, 2, number_and_tail, y, [&](polynode* r) {
            EXPECT_EQ(read_poly(r, 2), reference(number_and_tail, y, sub));
        });
        each_form(sub, 2, y, number_and_tail, [&](polynode* r) {
            EXPECT_EQ(read_poly(r, 2), reference(y, number_and_tail, sub));
        });
    }
}

TEST(PolyAddShapes, CharacteristicTwoSumsAreDifferences) {
    for (int k : {5, 6}) {
        RingScope f(kRingChoices[k]);
        NumberGen g(77 + k);
        for (int i = 0; i < scaled(10); i++) {
            const int nvars = 1 + i % 4;
            TermList A = random_terms(g, nvars, i % 2);
            TermList B = random_terms(g, nvars, false);
            TermList sum = reference(A, B, false);
            each_form(true, nvars, A, B, [&](polynode* r) { EXPECT_EQ(read_poly(r, nvars), sum); });
            each_form(false, nvars, A, A, [](polynode* r) { EXPECT_TRUE(is_zero_node(r)); });
        }
    }
}

TEST(PolyAddShapes, LoneNumbersCombineInEveryRing) {
    for (const RingChoice& ring : kRingChoices) {
        RingScope s(ring);
        SCOPED_TRACE(ring.name);
        // Residues at the top of the range: the sum passes the modulus once.
        mpz_class x = modularmode ? mpz_class(modulus - 1) : mpz_class(lintmode ? 1 << 20 : 268435455);
        mpz_class y = modularmode ? mpz_class(modulus - 2) : mpz_class(1);
        each_form(false, 1, {{x, {0}}}, {{y, {0}}},
                  [&](polynode* r) { EXPECT_EQ(read_poly(r, 1), reference({{x, {0}}}, {{y, {0}}}, false)); });
        each_form(true, 1, {{x, {0}}}, {{x, {0}}}, [](polynode* r) { EXPECT_TRUE(is_zero_node(r)); });
    }
}

// ---------------------------------------------------------------- services

TEST(PolyAddServices, StandardFormLiftsNegativeResidues) {
    RingScope s(kRingChoices[3]);
    NumberGen g(11);
    TermList A = random_terms(g, 3, true);
    polynode* p = build_poly(3, A);
    std::function<void(polynode*)> lower = [&](polynode* t) {
        for (; t; t = t->next) {
            if (!t->numb)
                lower(t->pcoef);
            else if (g.chance(50))
                t->ncoef->value -= modulus;
        }
    };
    lower(p);
    standard_form(p);
    ASSERT_TRUE(check_poly_shape(p, 3));
    EXPECT_EQ(read_poly(p, 3), A);
    free_poly(&p);
}

TEST(PolyAddServices, DivideThruScalesEveryResidue) {
    load_data_once();
    for (int k : {2, 4, 5, 6}) {
        RingScope s(kRingChoices[k]);
        SCOPED_TRACE(kRingChoices[k].name);
        NumberGen g(23 + k);
        TermList A = random_terms(g, 3, true);
        polynode* p = build_poly(3, A);
        int32_t r = 0;
        while (r == 0) r = g.below(modulus);
        polyimpl::divide_thru(p, r);
        ASSERT_TRUE(check_poly_shape(p, 3));
        if (!finf) {
            TermList want;
            for (const Term& t : A) want.emplace_back(reduce(t.coef * r), t.exps);
            EXPECT_EQ(read_poly(p, 3), want);
        }
        // Scaling back by the inverse restores every coefficient.
        int32_t inv = 0;
        mod_inverse(r, &inv);
        polyimpl::divide_thru(p, inv);
        EXPECT_EQ(read_poly(p, 3), A);
        free_poly(&p);
    }
}

// New non-number nodes for the levels from .. to of p over p's deeper
// structure; number nodes, with the terms after them, are p's own.
polynode* share_levels(polynode* p, int levels) {
    polynode* head = nullptr;
    polynode** link = &head;
    for (; p && !p->numb; p = p->next) {
        polynode* c = levels > 1 ? share_levels(p->pcoef, levels - 1) : p->pcoef;
        polynode* t = term_node(p->exp, c);
        *link = t;
        link = &t->next;
    }
    *link = p;
    return head;
}

TEST(PolyAddServices, FreeNodesLeavesTheSharedParts) {
    RingScope z(kRingChoices[0], true);
    NumberGen g(5);
    for (int levels = 1; levels <= 3; levels++) {
        TermList A = random_terms(g, 4, true);
        RecordLedger ledger;
        polynode* p = build_poly(4, A);
        polynode* q = share_levels(p, levels);
        EXPECT_EQ(read_poly(q, 4), A);
        free_nodes(q, 1, levels);
        EXPECT_EQ(read_poly(p, 4), A);
        free_poly(&p);
        EXPECT_TRUE(ledger.balanced()) << levels << " levels";
    }
}

quoly* poly_quoly(int nvars, const TermList& t) {
    quoly* q = nullptr;
    polynode* p = build_poly(nvars, t);
    use_up_poly(&p, &q);
    return q;
}

TermList quoly_terms(const quoly* q, int nvars) {
    if (!q->isnum) return read_poly(q->pnum, nvars);
    mpz_class c = number_value(q->nnum);
    if (c == 0) return {};
    return {{c, Exps(nvars, 0)}};
}

TEST(PolyAddServices, SpliceAddsTheShiftedPolynomial) {
    for (int k : {0, 2, 7}) {
        // k = 7: the integers with Laurent exponents, where a shifted term
        // can land on exponent 0.
        RingScope s(kRingChoices[k % 7], k == 7);
        NumberGen g(31);
        for (int i = 0; i < scaled(30); i++) {
            const int nvars = 1 + i % 4;
            const int32_t n = g.between(0, 6);
            TermList A = random_terms(g, nvars, i % 2);
            TermList B = i % 5 == 0 ? TermList{} : random_terms(g, nvars, i % 3 == 0);
            TermList shifted;
            for (Term t : B) {
                t.exps[0] += n;
                shifted.push_back(t);
            }
            RecordLedger ledger;
            quoly* a = poly_quoly(nvars, A);
            quoly* b = poly_quoly(nvars, B);
            splice_poly(&a, &b, n);
            EXPECT_EQ(b, nullptr);
            ASSERT_TRUE(check_quoly_normal(a, nvars));
            EXPECT_EQ(quoly_terms(a, nvars), reference(A, shifted, false)) << "n = " << n;
            free_quoly(&a);
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

TEST(PolyAddServices, SpliceOfNumbers) {
    RingScope z(kRingChoices[0]);
    RecordLedger ledger;
    quoly* a = nullptr;
    quoly* b = nullptr;
    quoly_set(5, &a);
    quoly_set(3, &b);
    splice_poly(&a, &b, 2);
    ASSERT_TRUE(check_quoly_normal(a, 1));
    EXPECT_EQ(quoly_terms(a, 1), (TermList{{3, {2}}, {5, {0}}}));
    free_quoly(&a);
    quoly_set(5, &a);
    quoly_set(0, &b);
    splice_poly(&a, &b, 4);
    ASSERT_EQ(a->isnum, 1);
    EXPECT_EQ(number_value(a->nnum), 5);
    free_quoly(&a);
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolyAddServices, SpliceLandsALaurentTermOnTheConstant) {
    RingScope z(kRingChoices[0], true);
    RecordLedger ledger;
    // x^5 + (3x^-2 + 4x^-1)·x^2 = x^5 + 4x + 3: the term reaching exponent
    // 0 is the number node itself.
    quoly* a = poly_quoly(1, {{1, {5}}});
    quoly* b = poly_quoly(1, {{3, {-2}}, {4, {-1}}});
    splice_poly(&a, &b, 2);
    ASSERT_TRUE(check_quoly_normal(a, 1));
    EXPECT_EQ(quoly_terms(a, 1), (TermList{{1, {5}}, {4, {1}}, {3, {0}}}));
    free_quoly(&a);
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolyAddServices, SwapLevelsExchangesTheOuterVariables) {
    for (bool with_laurent : {false, true}) {
        RingScope s(kRingChoices[0], with_laurent);
        NumberGen g(41 + with_laurent);
        for (int i = 0; i < scaled(40); i++) {
            const int nvars = 2 + i % 4;
            TermList A = random_terms(g, nvars, i % 2);
            TermList want;
            for (Term t : A) {
                std::swap(t.exps[0], t.exps[1]);
                want.push_back(t);
            }
            want = canonical_terms(nvars, want);
            RecordLedger ledger;
            polynode* p = build_poly(nvars, A);
            polynode* orig = build_poly(nvars, A);
            swap_levels_1_2(&p);
            ASSERT_TRUE(check_poly_shape(p, nvars));
            EXPECT_EQ(read_poly(p, nvars), want) << terms_to_string(A);
            swap_levels_1_2(&p);
            EXPECT_TRUE(poly_equal(p, orig)) << "swapping twice is not the identity";
            free_poly(&p);
            free_poly(&orig);
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

}  // namespace
