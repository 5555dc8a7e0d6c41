// The second auxiliary lists of a tower s^2 = t over t^2 = -1, worked by
// hand: roots checked against the inner level's roots, the list found by
// evaluation, and reconciliation leaving every level the same primes.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "interp/settings.h"
#include "numbers/primes.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "quoly/aux_primes.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

Pairs pairs_of(imag* list) {
    Pairs out;
    for (; list; list = list->link) out.emplace_back(list->value, list->head->digit);
    return out;
}

class AuxLists : public ::testing::Test {
protected:
    RingStateGuard ring_;
    int16_t factor_ = aux_num_2factor;
    pt* s = nullptr;
    pt* t = nullptr;
    void SetUp() override {
        load_data_once();
        modularmode = lintmode = 0;
        drop_all_poly_vars();
        pseudo_polynames = nullptr;
        adjoin_poly_var("t", 0);
        adjoin_poly_var("s", 0);   // the outermost: s over t
        s = polynames;
        t = s->next;
        // t^2 + 1: 4 and 13 are its roots mod 17, 5 and 8 mod 13, 12 and 17 mod 29.
        add_prime_to_list(&t->aux_primes, 13, 5);
        add_prime_to_list(&t->aux_primes, 17, 4);
        add_prime_to_list(&t->aux_primes, 29, 12);
        t->prime_count = 3;
    }
    void TearDown() override {
        aux_num_2factor = factor_;
        for (pt* v = polynames; v; v = v->next) free_gcd_data(v);
        drop_all_poly_vars();
        pseudo_polynames = nullptr;
    }
    // s^2 - t, at s's level.
    static polynode* relation() { return build_poly(2, canonical_terms(2, {{1, {2, 0}}, {-1, {0, 1}}})); }
};

TEST_F(AuxLists, RootsAreCheckedWithTheInnerRoots) {
    PolyHold m(relation());
    // With t = 4 (mod 17), s^2 = 4: s = 2 or 15.
    EXPECT_EQ(aux_root_holds(s, m.p, 17, 2), 1);
    EXPECT_EQ(aux_root_holds(s, m.p, 17, 15), 1);
    EXPECT_EQ(aux_root_holds(s, m.p, 17, 3), 0);
    // 5 is no square mod 13: nothing is a root there.
    for (int32_t r = 0; r < 13; r++) EXPECT_EQ(aux_root_holds(s, m.p, 13, r), 0) << r;
    // t's list has no entry for 37, so s has no root for it either.
    EXPECT_EQ(aux_root_holds(s, m.p, 37, 6), 0);
}

TEST_F(AuxLists, FoundByEvaluationThenReconciled) {
    PolyHold m(relation());
    aux_num_2factor = 30;
    imag* found = nullptr;
    find_gcd_list(s, m.p, &found);
    Pairs got = pairs_of(found);
    // Expected by direct search, descending primes, the first k kept.
    Pairs expected;
    for (auto [q, rt] : Pairs{{29, 12}, {17, 4}, {13, 5}})
        for (int32_t k = 1; k <= 30; k++)
            if ((k * k - rt) % q == 0) {
                expected.emplace_back(q, k % q);
                break;
            }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(got, expected);
    make_and_reconcile_gcd_lists(s, &found);
    EXPECT_EQ(found, nullptr);
    Pairs inner = pairs_of(t->aux_primes);
    ASSERT_EQ(inner.size(), expected.size());
    for (size_t i = 0; i < inner.size(); i++) EXPECT_EQ(inner[i].first, expected[i].first);
    EXPECT_EQ(s->prime_count, static_cast<int16_t>(expected.size()));
    EXPECT_EQ(t->prime_count, static_cast<int16_t>(expected.size()));
    // 5 (mod 13) and 12 (mod 29) are no squares: s has no root there, and
    // reconciliation dropped both primes from t as well.
    for (auto [q, r] : inner) EXPECT_TRUE(q != 13 && q != 29) << q;
}

}  // namespace
