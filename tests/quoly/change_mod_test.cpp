// Conversions of stored values into residues: the logged one must come
// back node for node and digit for digit from the undo log, whichever of
// the four undo kinds it used, and both must hold the residues GMP computes.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "interp/scalars.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "quoly/change_mod.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "support/data_once.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

// Everything that identifies a value: its record words, its nodes and the
// digits of each number.
struct Shot {
    int32_t isnum, rat;
    const void* num;
    const void* den;
    std::vector<NodeShot> nodes;
    std::vector<std::vector<int32_t>> digits;
    bool operator==(const Shot&) const = default;
};

std::vector<int32_t> digits_of(const imag* n) {
    std::vector<int32_t> d;
    for (const numnode* x = n->head; x && static_cast<int32_t>(d.size()) < n->count; x = x->next)
        d.push_back(x->digit);
    return d;
}

void collect_digits(const polynode* p, std::vector<std::vector<int32_t>>* out) {
    for (; p; p = p->next) {
        if (p->numb)
            out->push_back(digits_of(p->ncoef));
        else
            collect_digits(p->pcoef, out);
    }
}

Shot shot(const quoly* q) {
    Shot s{q->isnum, q->rat, q->num, q->den, {}, {}};
    if (q->isnum) {
        s.digits.push_back(digits_of(q->nnum));
        return s;
    }
    s.nodes = snapshot_nodes(q->pnum);
    for (const NodeShot& n : snapshot_nodes(q->den)) s.nodes.push_back(n);
    collect_digits(q->pnum, &s.digits);
    collect_digits(q->den, &s.digits);
    return s;
}

TermList random_terms(NumberGen& g, bool big) {
    TermList t;
    const int n = g.between(1, 4);
    for (int i = 0; i < n; i++) {
        mpz_class c = big && g.chance(30) ? g.digits(g.between(1, 3)) : mpz_class(g.between(-30, 30));
        t.push_back(Term(c, {g.between(0, 3), g.between(0, 2)}));
    }
    return t;
}

quoly* make_quoly(polynode* num, polynode* den) {
    quoly* q = nullptr;
    newquoly(&q);
    q->link = nullptr;
    q->isnum = 0;
    q->rat = 0;
    q->pnum = num;
    q->den = den;
    return q;
}

// A random stored value over the integers, in normal form.
quoly* random_value(NumberGen& g, int32_t p) {
    switch (g.below(5)) {
    case 0: {
        quoly* q = nullptr;
        quoly_set(g.between(-1000, 1000), &q);
        return q;
    }
    case 1: {
        // A rational, sometimes with p in its denominator.
        quoly* q = make_quoly(build_poly(2, {Term(g.between(1, 50), {0, 0})}),
                              build_poly(2, {Term(g.chance(30) ? p : g.between(2, 9), {0, 0})}));
        check_quoly(&q, 0);
        return q;
    }
    case 2: {
        // Every coefficient a multiple of p in one of them: the numerator vanishes.
        TermList t = random_terms(g, false);
        for (Term& x : t) x.coef *= p;
        if (read_poly(build_poly(2, t), 2).empty()) t = {Term(p, {1, 0})};
        return make_quoly(build_poly(2, t), nullptr);
    }
    default: {
        polynode* num = build_poly(2, random_terms(g, true));
        if (read_poly(num, 2).empty()) {
            free_poly(&num);
            num = build_poly(2, {Term(1, {1, 1})});
        }
        if (g.chance(30)) return make_quoly(num, nullptr);
        TermList dt = random_terms(g, false);
        dt.push_back(Term(g.chance(50) ? p : 1, {0, 0}));
        polynode* den = build_poly(2, dt);
        if (read_poly(den, 2).empty()) {
            free_poly(&den);
            return make_quoly(num, nullptr);
        }
        quoly* q = make_quoly(num, den);
        check_quoly(&q, 0);
        return q;
    }
    }
}

class ChangeMod : public ::testing::Test {
protected:
    RingStateGuard ring_;
    VarGlobalsGuard vars_;
    void SetUp() override {
        load_data_once();
        modularmode = lintmode = 0;
        drop_all_poly_vars();
        adjoin_poly_var("y", 0);
        adjoin_poly_var("x", 0);
    }
    void TearDown() override {
        modularmode = lintmode = 0;
        drop_all_poly_vars();
    }
};

TEST_F(ChangeMod, LoggedConversionComesBackNodeForNode) {
    NumberGen g(2121);
    for (int32_t p : {7, 97, 65521}) {
        std::vector<quoly*> values;
        std::vector<Shot> before;
        for (int i = 0; i < scaled(60); i++) {
            values.push_back(random_value(g, p));
            before.push_back(shot(values.back()));
        }
        fix* outer = masterfix;
        masterfix = nullptr;
        use_modulus(p);
        for (quoly*& q : values) quoly_change_to_mod(&q);

        // The conversion holds the residues: a numerator alone reads as the
        // integer terms reduced (checked before the way back).
        std::map<int32_t, int> kinds;
        for (fix* f = masterfix; f; f = f->next) kinds[f->kind]++;
        for (int32_t k : {FIX_SLOT, FIX_LIFTED, FIX_NEW_NUMBER, FIX_NEW_POLYS})
            EXPECT_GT(kinds[k], 0) << "undo kind " << k << " never used, modulus " << p << g.trace();

        modularmode = lintmode = 0;
        restore_from_mod(&masterfix);
        masterfix = outer;
        for (size_t i = 0; i < values.size(); i++)
            EXPECT_EQ(shot(values[i]), before[i]) << "value " << i << " modulus " << p << g.trace();
        for (quoly*& q : values) free_quoly(&q);
    }
}

TEST_F(ChangeMod, PermanentAndLoggedConversionsAgreeWithGmp) {
    NumberGen g(2122);
    const int32_t p = 101;
    for (int i = 0; i < scaled(80); i++) {
        TermList t = random_terms(g, true);
        quoly* a = make_quoly(build_poly(2, t), nullptr);
        quoly* b = make_quoly(build_poly(2, t), nullptr);
        fix* outer = masterfix;
        masterfix = nullptr;
        {
            RingStateGuard keep;
            use_modulus(p);
            TermList want = canonical_terms(2, t);
            quoly_change_num(&a);
            quoly_change_to_mod(&b);
            for (quoly* q : {a, b}) {
                if (want.empty()) {
                    EXPECT_TRUE(!q || (q->isnum && q->nnum->value == 0)) << g.trace();
                } else if (q->isnum) {
                    ASSERT_EQ(want.size(), 1u);
                    EXPECT_EQ(want[0].coef, q->nnum->value) << g.trace();
                } else {
                    EXPECT_TRUE(check_poly_shape(q->pnum, 2)) << g.trace();
                    EXPECT_EQ(read_poly(q->pnum, 2), want) << g.trace();
                }
            }
            restore_from_mod(&masterfix);
        }
        masterfix = outer;
        EXPECT_EQ(read_poly(b->pnum, 2), canonical_terms(2, t)) << g.trace();
        if (a) {
            RingStateGuard keep;
            use_modulus(p);
            free_quoly(&a);
        }
        free_quoly(&b);
    }
}

}  // namespace
