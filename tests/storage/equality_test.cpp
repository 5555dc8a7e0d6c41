// Structural equality and negatives in every ground ring, the sign of the
// leading coefficient, the name hash against its closed form, and the sorts
// against std::sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/equality.h"
#include "storage/records.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

struct Residues {
    RingStateGuard saved;
    explicit Residues(int32_t m) {
        modularmode = 1;
        lintmode = 1;
        install_modulus(m);
    }
};

quoly* make_quoly(int nvars, const TermList& num, const TermList* den = nullptr) {
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->pnum = build_poly(nvars, num);
    q->den = den ? build_poly(nvars, *den) : nullptr;
    q->rat = 0;
    return q;
}

quoly* number_quoly(long v) {
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    q->nnum = lintmode ? empty_number() : from_mpz(mpz_class(v));
    if (lintmode) q->nnum->value = static_cast<int32_t>(v);
    q->den = nullptr;
    q->rat = 0;
    return q;
}

TermList negated(const TermList& t) {
    TermList out = t;
    for (Term& term : out) term.coef = -term.coef;
    return out;
}

TermList random_terms(NumberGen& gen, int nvars) {
    TermList t;
    int n = gen.between(1, 6);
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> e;
        for (int v = 0; v < nvars; v++) e.push_back(gen.between(0, 3));
        mpz_class c = gen.chance(30) ? gen.digits(gen.length(1, 3)) : mpz_class(gen.between(-20, 20));
        t.push_back({c, e});
    }
    return t;
}

// ------------------------------------------------------------- equality

TEST(Equality, NullEqualsOnlyNull) {
    polynode* p = build_poly(1, {{1, {0}}});
    EXPECT_EQ(poly_equal(nullptr, nullptr), 1);
    EXPECT_EQ(poly_equal(nullptr, p), 0);
    EXPECT_EQ(poly_equal(p, nullptr), 0);
    EXPECT_EQ(poly_neg(nullptr, nullptr), 1);
    EXPECT_EQ(poly_neg(p, nullptr), 0);
    free_poly(&p);
}

TEST(Equality, SameValueSameStructureInDigitMode) {
    NumberGen gen(0x1107);
    RecordLedger ledger;
    for (int i = 0; i < scaled(300); i++) {
        int nvars = gen.between(1, 3);
        TermList t = random_terms(gen, nvars);
        TermList u = random_terms(gen, nvars);
        polynode* a = build_poly(nvars, t);
        polynode* b = build_poly(nvars, t);
        polynode* c = build_poly(nvars, u);
        polynode* na = build_poly(nvars, negated(t));
        bool same = canonical_terms(nvars, t) == canonical_terms(nvars, u);
        ASSERT_EQ(poly_equal(a, b), 1) << terms_to_string(t) << gen.trace();
        ASSERT_EQ(poly_equal(a, c), same ? 1 : 0) << terms_to_string(t) << " / " << terms_to_string(u);
        ASSERT_EQ(poly_neg(a, na), 1) << terms_to_string(t);
        ASSERT_EQ(poly_neg(na, a), 1) << terms_to_string(t);
        bool zero = canonical_terms(nvars, t).empty();
        ASSERT_EQ(poly_neg(a, b), zero ? 1 : 0) << terms_to_string(t);
        for (polynode** p : {&a, &b, &c, &na}) free_poly(p);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(Equality, ExponentsAndShapeMatter) {
    polynode* a = build_poly(2, {{1, {2, 1}}, {1, {0, 0}}});   // x^2 y + 1
    polynode* b = build_poly(2, {{1, {2, 2}}, {1, {0, 0}}});   // x^2 y^2 + 1
    polynode* c = build_poly(2, {{1, {1, 1}}, {1, {0, 0}}});   // x y + 1
    polynode* d = build_poly(2, {{1, {2, 1}}});                // x^2 y
    polynode* e = build_poly(2, {{1, {2, 1}}, {2, {0, 0}}});   // x^2 y + 2
    EXPECT_FALSE(poly_equal(a, b));
    EXPECT_FALSE(poly_equal(a, c));
    EXPECT_FALSE(poly_equal(a, d));
    EXPECT_FALSE(poly_equal(d, a));
    EXPECT_FALSE(poly_equal(a, e));
    for (polynode** p : {&a, &b, &c, &d, &e}) free_poly(p);
}

TEST(Equality, NegativesModuloPAndInCharacteristicTwo) {
    {
        Residues ring(7);
        polynode* a = build_poly(1, {{3, {2}}, {1, {0}}});     // 3x^2 + 1
        polynode* b = build_poly(1, {{4, {2}}, {6, {0}}});     // 4x^2 + 6 = -(3x^2 + 1)
        polynode* z = build_poly(1, {});
        EXPECT_TRUE(poly_neg(a, b));
        EXPECT_FALSE(poly_neg(a, a));
        EXPECT_TRUE(poly_neg(z, z)) << "0 = -0, not modulus";
        free_poly(&a);
        free_poly(&b);
        free_poly(&z);
    }
    {
        Residues ring(256);
        polynode* a = build_poly(1, {{3, {2}}, {200, {0}}});
        EXPECT_TRUE(poly_neg(a, a)) << "every element is its own negative";
        free_poly(&a);
    }
}

TEST(Equality, DenominatorsInQuolyEqualButNotInFastQuolyEqual) {
    RecordLedger ledger;
    TermList xp1 = {{1, {1}}, {1, {0}}}, xp2 = {{1, {1}}, {2, {0}}};
    quoly* a = make_quoly(1, {{1, {0}}}, &xp1);   // 1/(x+1)
    quoly* b = make_quoly(1, {{1, {0}}}, &xp2);   // 1/(x+2)
    quoly* c = make_quoly(1, {{1, {0}}}, &xp1);
    quoly* d = make_quoly(1, {{1, {0}}});         // numerator 1, no denominator
    EXPECT_EQ(quoly_equal(a, b), 0);
    EXPECT_EQ(fast_quoly_equal(a, b), 1);
    EXPECT_EQ(quoly_equal(a, c), 1);
    EXPECT_EQ(quoly_equal(a, d), 0) << "one has a denominator";
    EXPECT_EQ(fast_quoly_equal(a, d), 1);

    quoly* five = number_quoly(5);
    quoly* five2 = number_quoly(5);
    quoly* six = number_quoly(6);
    EXPECT_EQ(quoly_equal(five, five2), 1);
    EXPECT_EQ(quoly_equal(five, six), 0);
    EXPECT_EQ(fast_quoly_equal(five, six), 0);
    EXPECT_EQ(quoly_equal(five, d), 0) << "a number and a polynomial";
    EXPECT_EQ(fast_quoly_equal(d, five), 0);
    for (quoly** q : {&a, &b, &c, &d, &five, &five2, &six}) free_quoly(q);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Equality, QuolyNegtive) {
    RecordLedger ledger;
    TermList y = {{1, {0, 1}}}, y2 = {{2, {0, 1}}};
    quoly* a = make_quoly(2, {{1, {1, 0}}, {-1, {0, 0}}}, &y);    // (x - 1)/y
    quoly* b = make_quoly(2, {{-1, {1, 0}}, {1, {0, 0}}}, &y);    // (1 - x)/y
    quoly* c = make_quoly(2, {{-1, {1, 0}}, {1, {0, 0}}}, &y2);   // (1 - x)/(2y)
    quoly* d = make_quoly(2, {{-1, {1, 0}}, {1, {0, 0}}});        // 1 - x
    quoly* e = make_quoly(2, {{1, {1, 0}}, {-1, {0, 0}}});        // x - 1
    EXPECT_EQ(quoly_negtive(a, b), 1);
    EXPECT_EQ(quoly_negtive(b, a), 1);
    EXPECT_EQ(quoly_negtive(a, a), 0);
    EXPECT_EQ(quoly_negtive(a, c), 0) << "denominators differ";
    EXPECT_EQ(quoly_negtive(a, d), 0) << "only one has a denominator";
    EXPECT_EQ(quoly_negtive(d, e), 1);
    quoly* p = number_quoly(5);
    quoly* m = number_quoly(-5);
    EXPECT_EQ(quoly_negtive(p, m), 1);
    EXPECT_EQ(quoly_negtive(p, p), 0);
    EXPECT_EQ(quoly_negtive(p, e), 0);
    for (quoly** q : {&a, &b, &c, &d, &e, &p, &m}) free_quoly(q);
    EXPECT_TRUE(ledger.balanced());
}

// ------------------------------------------------------------- signs

TEST(Equality, LeadingSignsInDigitMode) {
    polynode* a = build_poly(2, {{-3, {2, 1}}, {5, {0, 0}}});
    polynode* b = build_poly(2, {{mpz_class("123456789012345678901"), {1, 0}}, {-5, {0, 0}}});
    polynode* z = build_poly(2, {});
    EXPECT_EQ(neg_leading_term(a), 1);
    EXPECT_EQ(pos_leading_coef(a), 0);
    EXPECT_EQ(neg_leading_term(b), 0);
    EXPECT_EQ(pos_leading_coef(b), 1);
    EXPECT_EQ(neg_leading_term(z), 0);
    EXPECT_EQ(pos_leading_coef(z), 0) << "zero is not positive";
    quoly* q = make_quoly(2, {{-3, {2, 1}}});
    quoly* n = number_quoly(-8);
    EXPECT_EQ(quol_neg_lead_term(q), 1);
    EXPECT_EQ(quol_neg_lead_term(n), 1);
    free_poly(&a);
    free_poly(&b);
    free_poly(&z);
    free_quoly(&q);
    free_quoly(&n);
}

TEST(Equality, PositiveLeadingResidueWithTheSymmetricDisplay) {
    Residues ring(7);
    int saved_alt = alt_form_display;
    alt_form_display = 1;
    polynode* five = build_poly(1, {{5, {3}}, {1, {0}}});
    polynode* three = build_poly(1, {{3, {3}}, {1, {0}}});
    EXPECT_EQ(pos_leading_coef(five), 0) << "5 is shown as -2";
    EXPECT_EQ(pos_leading_coef(three), 1);
    EXPECT_EQ(neg_leading_term(five), 0) << "residues are never negative words";
    alt_form_display = 0;
    EXPECT_EQ(pos_leading_coef(five), 1);
    alt_form_display = saved_alt;
    free_poly(&five);
    free_poly(&three);
}

// ------------------------------------------------------------- hash

// The closed form: the bytes as digits of a base-123 number, reduced mod m.
int32_t hash_reference(const std::string& name, int32_t m) {
    mpz_class v = 0;
    for (unsigned char c : name) v = v * 123 + c;
    mpz_class r = v % m;
    return static_cast<int32_t>(r.get_si());
}

TEST(Equality, NameHash) {
    EXPECT_EQ(hash("a", 151), 97);
    EXPECT_EQ(hash("ab", 151), 100);
    EXPECT_EQ(hash("", 151), 0);
    EXPECT_EQ(hash("", 71), 0);
    std::mt19937 rng(1107);
    for (int i = 0; i < 2000; i++) {
        std::string name;
        int len = static_cast<int>(rng() % 12);
        for (int k = 0; k < len; k++) name.push_back(static_cast<char>(1 + rng() % 255));
        for (int32_t m : {151, 71}) {
            int32_t h = hash(name.c_str(), m);
            ASSERT_EQ(h, hash_reference(name, m)) << '"' << name << '"';
            ASSERT_GE(h, 0);
            ASSERT_LT(h, m);
        }
    }
}

// ------------------------------------------------------------- sorts

TEST(Equality, QuiccsortMatchesStdSort) {
    std::mt19937 rng(0x51);
    for (int round = 0; round < 400; round++) {
        int n = round < 20 ? round : static_cast<int>(rng() % 300);
        int spread = round % 3 == 0 ? 4 : 1000000;   // many duplicates every third round
        std::vector<int32_t> a(n + 4);
        for (int32_t& v : a) {
            v = static_cast<int32_t>(rng() % spread) - spread / 2;
            if (rng() % 50 == 0) v = rng() % 2 ? INT32_MIN : INT32_MAX;
        }
        // Sort a[2 .. n + 1]; the two words on each side must not move.
        std::vector<int32_t> want = a;
        std::sort(want.begin() + 2, want.begin() + 2 + n);
        quiccsort(a.data(), 2, n + 1);
        ASSERT_EQ(a, want) << "round " << round << ", n " << n;
    }
    std::vector<int32_t> sorted(500), reversed(500), same(500, 7);
    for (int i = 0; i < 500; i++) sorted[i] = i, reversed[i] = 500 - i;
    for (auto* v : {&sorted, &reversed, &same}) {
        std::vector<int32_t> want = *v;
        std::sort(want.begin(), want.end());
        quiccsort(v->data(), 0, 499);
        EXPECT_EQ(*v, want);
    }
}

sort_entry entry(const std::string& name, int32_t count, int32_t item) {
    sort_entry e{};
    std::memcpy(e.name, name.data(), std::min(name.size(), sizeof e.name - 1));
    e.count = count;
    e.item = item;
    return e;
}

bool name_before(const sort_entry& a, const sort_entry& b) { return std::strcmp(a.name, b.name) < 0; }

TEST(Equality, SortVarsMatchesStdSort) {
    EXPECT_EQ(sizeof(sort_entry), 20u);
    std::mt19937 rng(0x5a);
    std::vector<sort_entry> buffer(SORTP_ENTRIES);
    sort_entry* const saved_sortp = sortp;
    for (int round = 0; round < 300; round++) {
        int n = round < 10 ? round : static_cast<int>(1 + rng() % SORTP_ENTRIES);
        // A small alphabet gives duplicate names and shared prefixes.
        const char* alphabet = round % 2 ? "ab" : "aAbZz_0\xe9";
        size_t letters = std::strlen(alphabet);
        for (int i = 0; i < n; i++) {
            std::string name;
            size_t len = rng() % 11;
            for (size_t k = 0; k < len; k++) name.push_back(alphabet[rng() % letters]);
            buffer[i] = entry(name, i, static_cast<int32_t>(rng()));
        }
        if (n < SORTP_ENTRIES) buffer[n] = entry("", -1, 12345);   // sorts first if it were touched

        std::vector<sort_entry> want(buffer.begin(), buffer.begin() + n);
        std::stable_sort(want.begin(), want.end(), name_before);
        sort_vars(buffer.data(), n);
        EXPECT_EQ(sortp, saved_sortp) << "sortp is put back";

        for (int i = 0; i < n; i++)
            ASSERT_STREQ(buffer[i].name, want[i].name) << "round " << round << " position " << i + 1;
        // The records moved whole: the same (name, count, item) triples.
        auto key = [](const sort_entry& e) { return std::make_tuple(std::string(e.name), e.count, e.item); };
        std::vector<std::tuple<std::string, int32_t, int32_t>> got_keys, want_keys;
        for (int i = 0; i < n; i++) {
            got_keys.push_back(key(buffer[i]));
            want_keys.push_back(key(want[i]));
        }
        std::sort(got_keys.begin(), got_keys.end());
        std::sort(want_keys.begin(), want_keys.end());
        ASSERT_EQ(got_keys, want_keys) << "round " << round;
        if (n < SORTP_ENTRIES) {
            EXPECT_EQ(buffer[n].count, -1) << "nothing past record n moves";
            EXPECT_EQ(buffer[n].item, 12345);
        }
    }
}

TEST(Equality, QuicksortWorksOnSortp) {
    std::vector<sort_entry> buffer = {entry("zeta", 1, 0), entry("alpha", 2, 0), entry("mid", 3, 0),
                                      entry("beta", 4, 0), entry("", 5, 0)};
    sort_entry* const saved = sortp;
    sortp = buffer.data();
    quicksort(2, 4);   // positions 2 .. 4: alpha, mid, beta
    sortp = saved;
    EXPECT_STREQ(buffer[0].name, "zeta");
    EXPECT_STREQ(buffer[1].name, "alpha");
    EXPECT_STREQ(buffer[2].name, "beta");
    EXPECT_STREQ(buffer[3].name, "mid");
    EXPECT_STREQ(buffer[4].name, "");
}

}  // namespace
