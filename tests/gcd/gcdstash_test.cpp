// The gcd stash: a pair stored once is found again from separately built
// equal operands (either order, crossed when degrees agree), pairs that share
// a bucket are told apart by equality, purges keep the stash within its
// budget without purging on every insertion, and every way of emptying it
// gives all records back. Also the value hashes, against hand-computed values.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gcd/gcdstash.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/errors.h"

namespace {

constexpr int NV = 3;
using Exps = std::vector<int32_t>;

// A ground ring and an empty stash for the test's scope; the stash is
// emptied again on the way out, in the ring its entries were made in.
struct StashScope {
    RingStateGuard saved;
    int32_t budget = initial_memory;
    int16_t field = field_depth;
    explicit StashScope(int32_t m) {
        load_data_once();
        sure_free_gcd_stash();
        lookupgcd = 0;
        modularmode = lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = m != 0;
        field_depth = 0;
    }
    ~StashScope() {
        sure_free_gcd_stash();
        lookupgcd = 0;
        initial_memory = budget;
        field_depth = field;
    }
};

// The bucket holding the entry whose result record is r; -1 when none does.
int bucket_of(const polynode* r) {
    for (int k = 0; k < GCD_STASH_BUCKETS; k++)
        for (quoly* e = gcd_stash[k]; e; e = e->link)
            if (e->den == r) return k;
    return -1;
}

int entry_count() {
    int n = 0;
    for (quoly* e : gcd_stash)
        for (; e; e = e->link) n++;
    return n;
}

// Leaving a stashing level, as the statement code does.
void pop_level() {
    lookupgcd--;
    if (lookupgcd == 0) free_gcd_stash();
}

int64_t size_words() {
    int64_t s = 0;
    for (quoly* e : gcd_stash)
        for (; e; e = e->link) s += e->den->exp;
    return s;
}

long coef(NumberGen& g) {
    if (modulus) return g.between(1, modulus - 1);
    long c = g.between(1, 1000000);
    return g.chance(50) ? -c : c;
}

TermList random_terms(NumberGen& g, int n) {
    TermList t;
    for (int i = 0; i < n; i++) t.emplace_back(coef(g), Exps{g.below(9), g.below(4), g.below(4)});
    return canonical_terms(NV, t);
}

// Store, then find again from fresh copies of the same values, in both orders.
void hits_again(int32_t m, uint64_t seed) {
    StashScope ring(m);
    AttachedVars vars(NV);
    NumberGen g(seed);
    initial_memory = 100000000;
    RecordLedger ledger;
    for (int it = 0; it < scaled(60); it++) {
        const TermList tu = random_terms(g, g.between(1, 9)), tv = random_terms(g, g.between(1, 9));
        const TermList tg = random_terms(g, g.between(1, 3));
        HeldPoly u(build_poly(NV, tu)), v(build_poly(NV, tv)), gg(build_poly(NV, tg));
        polynode* r = nullptr;
        gcdhash(u.p, v.p, &r);
        if (stashed_gcd(r)) continue;   // an earlier pair of equal values
        int32_t mass = gcdmass;
        store_stashed_gcd(r, gg.p);
        EXPECT_GT(gcdmass, mass);
        const int entries = entry_count();

        HeldPoly u2(build_poly(NV, tu)), v2(build_poly(NV, tv));
        polynode* r2 = nullptr;
        gcdhash(u2.p, v2.p, &r2);
        EXPECT_EQ(r2, r) << g.trace();
        polynode* r3 = nullptr;
        gcdhash(v2.p, u2.p, &r3);   // the unequal-degree order is fixed, equal degrees match crossed
        EXPECT_EQ(r3, r) << g.trace();
        EXPECT_EQ(entry_count(), entries);
        ASSERT_NE(stashed_gcd(r), nullptr);
        EXPECT_EQ(read_poly(stashed_gcd(r), NV), tg);
        EXPECT_EQ(read_poly(u2.p, NV), tu);   // operands untouched
        EXPECT_EQ(read_poly(v2.p, NV), tv);
    }
    EXPECT_EQ(size_words(), gcdmass);
    sure_free_gcd_stash();
    EXPECT_EQ(gcdmass, 0);
    EXPECT_TRUE(ledger.balanced());
}

TEST(GcdStash, HitsForEqualValuesOverZ) { hits_again(0, 11); }
TEST(GcdStash, HitsForEqualValuesModSmallPrime) { hits_again(65521, 12); }
TEST(GcdStash, HitsForEqualValuesModLargePrime) { hits_again(2147483629, 13); }

TEST(GcdStash, BigIntegerCoefficientsHitAndMiss) {
    StashScope ring(0);
    AttachedVars vars(NV);
    initial_memory = 100000000;
    RecordLedger ledger;
    {
        const char* big = "123456789012345678901234567890123";
        const char* near = "123456789012345678901234567890124";   // same head digit and length
        HeldPoly u(build_poly(NV, {{big, {3, 0, 0}}, {7, {0, 0, 0}}}));
        HeldPoly v(build_poly(NV, {{1, {2, 1, 0}}, {"-99999999999999999999", {0, 0, 0}}}));
        HeldPoly w(build_poly(NV, {{near, {3, 0, 0}}, {7, {0, 0, 0}}}));
        polynode *r = nullptr, *rw = nullptr, *r2 = nullptr;
        gcdhash(u.p, v.p, &r);
        gcdhash(w.p, v.p, &rw);
        EXPECT_EQ(bucket_of(r), bucket_of(rw));   // the key sees only head digits and lengths
        EXPECT_NE(r, rw);
        HeldPoly u2(build_poly(NV, {{big, {3, 0, 0}}, {7, {0, 0, 0}}}));
        gcdhash(v.p, u2.p, &r2);
        EXPECT_EQ(r2, r);
    }
    sure_free_gcd_stash();
    EXPECT_TRUE(ledger.balanced());
}

// Callers hand over multivariate operands with a positive leading term: a
// negated operand is a different key value, the normalised one a hit.
TEST(GcdStash, SignConventionOfTheCallers) {
    StashScope ring(0);
    AttachedVars vars(NV);
    initial_memory = 100000000;
    RecordLedger ledger;
    {
        const TermList tu{{5, {2, 1, 0}}, {-3, {1, 0, 2}}, {4, {0, 0, 0}}};
        HeldPoly u(build_poly(NV, tu)), v(build_poly(NV, {{2, {1, 1, 1}}, {1, {0, 1, 0}}}));
        polynode *r = nullptr, *rn = nullptr, *rp = nullptr;
        gcdhash(u.p, v.p, &r);
        HeldPoly neg;
        poly_makeneg(u.p, &neg.p);
        ASSERT_TRUE(neg_leading_term(neg.p));
        gcdhash(neg.p, v.p, &rn);
        EXPECT_EQ(bucket_of(rn), bucket_of(r));   // |head digit| keys
        EXPECT_NE(rn, r);
        HeldPoly back;
        poly_makeneg(neg.p, &back.p);   // what the driver does before the lookup
        gcdhash(back.p, v.p, &rp);
        EXPECT_EQ(rp, r);
    }
    sure_free_gcd_stash();
    EXPECT_TRUE(ledger.balanced());
}

// Exponents do not enter the key: such pairs share a bucket and only the
// equality check tells them apart.
TEST(GcdStash, CollisionsToldApartByEquality) {
    for (int32_t m : {0, 101, 2147483629}) {
        StashScope ring(m);
        AttachedVars vars(NV);
        initial_memory = 100000000;
        RecordLedger ledger;
        {
            const TermList shapes[] = {
                {{3, {4, 1, 0}}, {2, {1, 0, 0}}, {5, {0, 0, 0}}},
                {{3, {4, 2, 0}}, {2, {1, 0, 0}}, {5, {0, 0, 0}}},
                {{3, {4, 1, 0}}, {2, {2, 0, 0}}, {5, {0, 0, 0}}},
                {{3, {7, 3, 0}}, {2, {5, 0, 0}}, {5, {0, 0, 0}}},
            };
            HeldPoly v(build_poly(NV, {{1, {4, 0, 0}}, {1, {0, 0, 0}}}));
            std::vector<polynode*> records;
            int bucket = -1;
            for (const TermList& t : shapes) {
                HeldPoly u(build_poly(NV, t));
                polynode* r = nullptr;
                gcdhash(u.p, v.p, &r);
                if (bucket < 0) bucket = bucket_of(r);
                EXPECT_EQ(bucket_of(r), bucket) << "modulus " << m;
                for (polynode* o : records) EXPECT_NE(o, r) << "modulus " << m;
                records.push_back(r);
            }
            for (size_t i = 0; i < records.size(); i++) {   // and each is found again
                HeldPoly u(build_poly(NV, shapes[i]));
                polynode* r = nullptr;
                gcdhash(v.p, u.p, &r);
                EXPECT_EQ(r, records[i]) << "modulus " << m;
            }
        }
        sure_free_gcd_stash();
        EXPECT_TRUE(ledger.balanced());
    }
}

// Many distinct insertions under a small budget: the stash stays within
// half the budget, keeps every returned record alive, and purges rarely.
TEST(GcdStash, PurgeKeepsBudgetWithoutPurgingEveryTime) {
    StashScope ring(0);
    AttachedVars vars(NV);
    NumberGen g(21);
    initial_memory = 200000;
    RecordLedger ledger;
    int purges = 0;
    const int n = scaled(3000);
    for (int i = 0; i < n; i++) {
        HeldPoly u(build_poly(NV, {{i + 1, {3, 1, 0}}, {g.between(1, 50), {1, 0, 0}}, {i + 7, {0, 0, 0}}}));
        HeldPoly v(build_poly(NV, {{2 * i + 1, {5, 0, 0}}, {3, {0, 2, 0}}}));
        const int32_t before = gcdmass;
        polynode* r = nullptr;
        gcdhash(u.p, v.p, &r);
        ASSERT_EQ(stashed_gcd(r), nullptr);
        const int32_t entry = r->exp;
        if (gcdmass < before + entry) purges++;
        ASSERT_LE(gcdmass, initial_memory / 2);
        ASSERT_GE(bucket_of(r), 0);   // the new entry survives its own purge
        ASSERT_EQ(size_words(), gcdmass);
        HeldPoly one(build_poly(NV, {{1, {0, 0, 0}}}));
        store_stashed_gcd(r, one.p);
    }
    EXPECT_GT(purges, 0);
    EXPECT_LT(purges, n / 20) << purges << " purges over " << n << " insertions";
    sure_free_gcd_stash();
    EXPECT_TRUE(ledger.balanced());
}

TEST(GcdStash, PurgeKeepsNewestOfEveryBucketAndTheKeptBucket) {
    StashScope ring(0);
    AttachedVars vars(NV);
    RecordLedger ledger;
    initial_memory = 100000000;
    for (int i = 0; i < 2000; i++) {
        HeldPoly u(build_poly(NV, {{i + 1, {2, 0, 0}}, {i % 37 + 1, {0, 0, 0}}}));
        HeldPoly v(build_poly(NV, {{i + 2, {2, 1, 0}}, {5, {0, 0, 0}}}));
        polynode* r = nullptr;
        gcdhash(u.p, v.p, &r);
    }
    quoly* heads[GCD_STASH_BUCKETS];
    for (int k = 0; k < GCD_STASH_BUCKETS; k++) heads[k] = gcd_stash[k];
    ASSERT_GT(entry_count(), GCD_STASH_BUCKETS / 2);
    // A large budget: only the thinning to one entry per bucket happens.
    const int32_t left = purge_gcd_stash(0);
    EXPECT_EQ(left, size_words());
    EXPECT_EQ(left, gcdmass);
    for (int k = 0; k < GCD_STASH_BUCKETS; k++) {
        EXPECT_EQ(gcd_stash[k], heads[k]);
        if (gcd_stash[k]) {
            EXPECT_EQ(gcd_stash[k]->link, nullptr);
        }
    }
    // A tiny budget: everything goes but the bucket kept.
    int keep = 0;
    while (!gcd_stash[keep]) keep++;
    initial_memory = 3;
    purge_gcd_stash(keep);
    EXPECT_EQ(entry_count(), 1);
    EXPECT_EQ(gcd_stash[keep], heads[keep]);
    EXPECT_EQ(gcdmass, heads[keep]->den->exp);
    sure_free_gcd_stash();
    EXPECT_TRUE(ledger.balanced());
}

TEST(GcdStash, MassCountsQuolyStorage) {
    StashScope ring(0);
    AttachedVars vars(NV);
    initial_memory = 100000000;
    {
        // u = 5x + 3 (three poly nodes, two one-digit numbers), v = x^2 + 2^40
        // (three poly nodes, a one-digit and a two-digit number), gcd 1.
        HeldPoly u(build_poly(NV, {{5, {1, 0, 0}}, {3, {0, 0, 0}}}));
        HeldPoly v(build_poly(NV, {{1, {2, 0, 0}}, {"1099511627776", {0, 0, 0}}}));
        HeldPoly one(build_poly(NV, {{1, {0, 0, 0}}}));
        polynode* r = nullptr;
        gcdhash(u.p, v.p, &r);
        store_stashed_gcd(r, one.p);
        const int64_t entry = 20;                   // the quoly
        const int64_t first = 3 * 16 + 2 * (20 + 8);
        const int64_t record = 16;
        const int64_t second = 3 * 16 + (20 + 8) + (20 + 16);
        const int64_t gcd = 16 + 20 + 8;
        EXPECT_EQ(mass_gcd_stash(), entry + first + record + second + gcd);
        // Sizes: a term 13 + below, a number 31 + 8 per digit.
        EXPECT_EQ(gcdmass, (13 + 39) + 39 + (13 + 39) + 47 + 39);
    }
}

// ---- levels, modulus changes and emptying ----

TEST(GcdStash, ModularEntriesSurviveWhileTheModulusStays) {
    StashScope ring(101);
    AttachedVars vars(NV);
    initial_memory = 100000000;
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{1, {3, 0, 0}}, {4, {0, 0, 0}}})), v(build_poly(NV, {{1, {2, 0, 0}}, {9, {0, 0, 0}}}));
        init_gcd_stash();
        EXPECT_EQ(lookupgcd, 1);
        polynode* r = nullptr;
        gcdhash(u.p, v.p, &r);
        pop_level();   // same modulus: kept
        EXPECT_EQ(prev_modulus, 101);
        EXPECT_EQ(entry_count(), 1);
        init_gcd_stash();
        EXPECT_EQ(entry_count(), 1);
        polynode* again = nullptr;
        gcdhash(v.p, u.p, &again);
        EXPECT_EQ(again, r);
        pop_level();
        EXPECT_EQ(entry_count(), 1);

        install_modulus(103);   // next level under another modulus: emptied
        init_gcd_stash();
        EXPECT_EQ(entry_count(), 0);
        EXPECT_EQ(gcdmass, 0);
        EXPECT_EQ(lookupgcd, 1);
        gcdhash(u.p, v.p, &r);
        pop_level();
        EXPECT_EQ(entry_count(), 1);
        EXPECT_EQ(prev_modulus, 103);

        // Back over the integers: modular entries are dropped.
        modularmode = lintmode = 0;
        install_modulus(0);
        init_gcd_stash();
        EXPECT_EQ(entry_count(), 0);
        EXPECT_EQ(prev_modulus, -1);
        pop_level();
        EXPECT_EQ(lookupgcd, 0);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(GcdStash, ModulusChangeWithoutStashingIsReported) {
    StashScope ring(101);
    AttachedVars vars(NV);
    initial_memory = 100000000;
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{1, {3, 0, 0}}, {4, {0, 0, 0}}})), v(build_poly(NV, {{1, {2, 0, 0}}, {9, {0, 0, 0}}}));
        init_gcd_stash();
        polynode* r = nullptr;
        gcdhash(u.p, v.p, &r);
        pop_level();
        install_modulus(103);
        testing::internal::CaptureStdout();
        EXPECT_THROW(free_gcd_stash(), TarvexUnwind);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("prev_modulus = modulus in free_gcd_stash"), std::string::npos) << out;
        EXPECT_EQ(entry_count(), 0);
        EXPECT_EQ(prev_modulus, -1);
    }
    EXPECT_TRUE(ledger.balanced());
}

// Entries made over the integers are never matched against residues, and
// their digit chains come back when they are dropped in modular mode.
TEST(GcdStash, EntriesOfAnotherRingAreNeverMatched) {
    StashScope ring(0);
    AttachedVars vars(NV);
    initial_memory = 100000000;
    RecordLedger ledger;
    {
        init_gcd_stash();
        {
            HeldPoly u(build_poly(NV, {{"1234567890123456789", {3, 0, 0}}, {4, {0, 0, 0}}}));
            HeldPoly v(build_poly(NV, {{1, {2, 0, 0}}, {9, {0, 0, 0}}}));
            polynode* r = nullptr;
            gcdhash(u.p, v.p, &r);
            HeldPoly three(build_poly(NV, {{3, {0, 0, 0}}}));
            store_stashed_gcd(r, three.p);
        }
        modularmode = lintmode = 1;
        install_modulus(101);
        free_gcd_stash();   // the modulus switch with stashing on
        HeldPoly u(build_poly(NV, {{1, {3, 0, 0}}, {4, {0, 0, 0}}})), v(build_poly(NV, {{1, {2, 0, 0}}, {9, {0, 0, 0}}}));
        polynode* r = nullptr;
        gcdhash(u.p, v.p, &r);
        EXPECT_EQ(stashed_gcd(r), nullptr);
        EXPECT_EQ(entry_count(), 1);
        sure_free_gcd_stash();
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(GcdStash, EmptiedAfterStatementUnlessStashingIsOn) {
    StashScope ring(0);
    AttachedVars vars(NV);
    initial_memory = 100000000;
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(NV, {{1, {3, 1, 0}}, {4, {0, 0, 0}}})), v(build_poly(NV, {{1, {2, 0, 0}}, {9, {0, 0, 0}}}));
        polynode* r = nullptr;
        lookupgcd = 1;
        gcdhash(u.p, v.p, &r);
        gcd_stash_after_statement();
        EXPECT_EQ(entry_count(), 1);
        lookupgcd = 0;
        gcd_stash_after_statement();
        EXPECT_EQ(entry_count(), 0);
        EXPECT_EQ(gcdmass, 0);
    }
    EXPECT_TRUE(ledger.balanced());
}

// ---- value hashes ----

TEST(GcdStash, ValueHashesByHand) {
    StashScope ring(0);
    AttachedVars vars(1);
    // small_prime[1] = 3. 3x^2 + 5: 3 * (2 + 83 + 1) * (3 * 2) + 5 * 1 = 1553.
    HeldPoly p(build_poly(1, {{3, {2}}, {5, {0}}}));
    EXPECT_EQ(polyhash(p.p, 1), 1553);
    // -3x^2 - 5: the inner hash is -6 + 2003, the sum 3 * 86 * 1997 - 5, plus 2003.
    HeldPoly n(build_poly(1, {{-3, {2}}, {-5, {0}}}));
    EXPECT_EQ(polyhash(n.p, 1), 3 * 86 * 1997 - 5 + 2003);

    quoly q{};
    q.isnum = 0;
    q.pnum = p.p;
    EXPECT_EQ(quolyhash(&q), 1553);
    q.pnum = n.p;
    EXPECT_EQ(quolyhash(&q), 3 * 86 * 1997 - 5 + 2003);
    // (3x^2 + 5) / (x + 1): D = 3 * 85 * 2 + 1 = 511.
    HeldPoly d(build_poly(1, {{1, {1}}, {1, {0}}}));
    q.pnum = p.p;
    q.den = d.p;
    EXPECT_EQ(quolyhash(&q), 1553 + 2 * 511);
    HeldPoly dn(build_poly(1, {{-1, {1}}, {-1, {0}}}));   // D = 3 * 85 * 2001 - 1
    q.den = dn.p;
    EXPECT_EQ(quolyhash(&q), 1553 + 2 * (3 * 85 * 2001 - 1) + 4006);

    field_depth = 1;
    EXPECT_EQ(quolyhash(&q), 3);
    q.den = nullptr;
    EXPECT_EQ(quolyhash(&q), 1);
    EXPECT_EQ(polyhash(p.p, 1), 1);
    field_depth = 0;

    quoly num{};
    num.isnum = 1;
    EXPECT_EQ(quolyhash(&num), 1);
}

}  // namespace
