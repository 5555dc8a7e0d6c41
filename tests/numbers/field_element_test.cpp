// Random elements of a tower of field variables: shape, range and the
// handling of zero draws, with the random sources made deterministic.
#include <gtest/gtest.h>

#include "numbers/primes.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "support/poly_build.h"

namespace {

long next_raw = 0;
long sequence_random() { return next_raw; }
long unit_clock() { return 1; }

// Two field variables below nothing: the outer one of mod-out degree 3, the
// inner one of degree 2, as the tower x (outer) over y (inner).
struct Tower {
    pt* outer = nullptr;
    pt* inner = nullptr;
    Tower() {
        newpt(&outer);
        newpt(&inner);
        outer->modout_degree = 3;
        outer->level = 1;
        outer->next = inner;
        inner->modout_degree = 2;
        inner->level = 2;
        inner->next = nullptr;
    }
    ~Tower() {
        inner->next = nullptr;
        outer->next = nullptr;
        free_pt(&inner);
        free_pt(&outer);
    }
};

struct DeterministicDraws {
    explicit DeterministicDraws(long raw) {
        next_raw = raw;
        set_random_sources(sequence_random, nullptr, unit_clock);
    }
    ~DeterministicDraws() { reset_random_sources(); }
};

}  // namespace

TEST(RandomFieldElement, ElementsOfATowerHaveFieldShape) {
    RingStateGuard ring;
    modularmode = lintmode = 1;
    install_modulus(7);
    mod_is_prime = 1;
    Tower t;
    for (int i = 0; i < 50; i++) {
        polynode* p = nullptr;
        random_field_element(&p, 2, t.outer);
        if (!p) continue;
        ASSERT_TRUE(check_poly_shape(p, 2));
        for (const Term& term : read_poly(p, 2)) {
            EXPECT_LT(term.exps[0], 3);
            EXPECT_LT(term.exps[1], 2);
            EXPECT_GT(term.coef, 0);
            EXPECT_LT(term.coef, 7);
        }
        free_poly(&p);
    }
}

TEST(RandomFieldElement, EveryDrawNonZeroGivesADenseElement) {
    RingStateGuard ring;
    modularmode = lintmode = 1;
    install_modulus(7);
    Tower t;
    // random() at half range: R = 8191, so every draw is 8191 mod 7 = 1.
    DeterministicDraws draws(1073741823);
    polynode* p = nullptr;
    random_field_element(&p, 2, t.outer);
    ASSERT_TRUE(check_poly_shape(p, 2));
    TermList all;
    for (int e1 = 0; e1 < 3; e1++)
        for (int e2 = 0; e2 < 2; e2++) all.push_back(Term(1, {e1, e2}));
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, all));
    free_poly(&p);
}

TEST(RandomFieldElement, ZeroDrawsGiveNoTerms) {
    RingStateGuard ring;
    modularmode = lintmode = 1;
    install_modulus(7);
    Tower t;
    DeterministicDraws draws(0);   // R = 0: every residue drawn is 0
    polynode* p = nullptr;
    random_field_element(&p, 2, t.outer);
    EXPECT_EQ(p, nullptr);
    // At depth 0 a zero draw leaves the slot as it was.
    polynode* q = build_poly(0, {Term(5, {})});
    random_field_element(&q, 0, nullptr);
    EXPECT_EQ(read_poly(q, 0), canonical_terms(0, {Term(5, {})}));
    free_poly(&q);
}
