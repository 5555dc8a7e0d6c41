// The variable list: lookups by name, removal, cut-offs, and that freeing
// a variable record gives back everything it owns.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"

namespace {

// Each test starts with no variables and leaves none behind.
class PolyVars : public ::testing::Test {
protected:
    void SetUp() override {
        saved_cutoff_ = poly_cutoff;
        std::memcpy(saved_polyvar_, polyvar, sizeof polyvar);
        polynames = nullptr;
        number_polys = 0;
    }
    void TearDown() override {
        while (polynames) delete_poly_name(1);
        number_polys = 0;
        poly_cutoff = saved_cutoff_;
        std::memcpy(polyvar, saved_polyvar_, sizeof polyvar);
    }

    // Builds polynames by hand, outermost first.
    void attach(std::initializer_list<const char*> names) {
        pt** tail = &polynames;
        int16_t level = 1;
        for (const char* n : names) {
            pt* v;
            newpt(&v);
            std::strncpy(v->name, n, sizeof v->name - 1);
            v->name[sizeof v->name - 1] = '\0';
            v->hash = 65535;
            v->modout_degree = 0;
            v->level = level++;
            *tail = v;
            tail = &v->next;
        }
    }

    pt* at(int32_t pos) {
        pt* v = polynames;
        while (v && --pos > 0) v = v->next;
        return v;
    }

    // A record that owns something of every kind a variable can own.
    void load(pt* v) {
        const mpz_class big = mpz_class(1) << 70;
        v->relation = term_node(3, number_node(big), number_node(-17));
        v->binomial = number_node(-big);
        v->reductions = term_node(2, number_node(5), term_node(1, number_node(big + 1)));
        v->root_table = number_node(9);
        for (long q : {1000003L, 1000033L, 1000037L}) {
            imag* prime = from_mpz(mpz_class(q) * big);
            prime->link = v->aux_primes;
            v->aux_primes = prime;
        }
        set_aux_num(v);
    }

private:
    int32_t saved_cutoff_ = 0;
    char saved_polyvar_[MAX_POLY_VARS][11] = {};
};

TEST_F(PolyVars, LookupsByName) {
    int32_t pos = -1;
    pt* rec = nullptr;
    EXPECT_EQ(is_poly_name("x", &pos), 0);
    EXPECT_EQ(is_poly_name2("x", &pos, &rec), 0);
    EXPECT_EQ(rec, nullptr);

    attach({"x", "yy", "abcdefghijk", "y"});
    EXPECT_EQ(is_poly_name("y", &pos), 1);
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(is_poly_name2("yy", &pos, &rec), 1);
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(rec, at(2));
    EXPECT_EQ(is_poly_name("abcdefghijk", &pos), 1);
    EXPECT_EQ(pos, 3);

    // Prefixes and extensions of a name are other names.
    rec = at(1);
    EXPECT_EQ(is_poly_name2("abcdefghijkl", &pos, &rec), 0);
    EXPECT_EQ(rec, nullptr);
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(is_poly_name("xy", &pos), 0);
    EXPECT_EQ(is_poly_name("", &pos), 0);
}

TEST_F(PolyVars, ItsAPolynameStopsAtTheFirstLargerEntry) {
    // A table sorted only in its first two entries shows the early stop:
    // "c" sits at the third place, behind the larger "m".
    std::strcpy(polyvar[0], "a");
    std::strcpy(polyvar[1], "m");
    std::strcpy(polyvar[2], "c");
    std::strcpy(polyvar[3], "z");
    number_polys = 3;
    EXPECT_EQ(its_a_polyname("a"), 1);
    EXPECT_EQ(its_a_polyname("m"), 1);
    EXPECT_EQ(its_a_polyname("c"), 0);
    EXPECT_EQ(its_a_polyname("z"), 0);   // past number_polys
    EXPECT_EQ(its_a_polyname("b"), 0);

    // A full-length entry has no terminating NUL in its 11 bytes.
    std::memcpy(polyvar[0], "abcdefghijk", 11);
    std::strcpy(polyvar[1], "b");
    number_polys = 2;
    EXPECT_EQ(its_a_polyname("abcdefghijk"), 1);
    EXPECT_EQ(its_a_polyname("abcdefghij"), 0);
    EXPECT_EQ(its_a_polyname("abcdefghijkb"), 0);
    EXPECT_EQ(its_a_polyname("b"), 1);

    number_polys = 0;
    EXPECT_EQ(its_a_polyname("b"), 0);
}

TEST_F(PolyVars, ResetCutoffsSparesChangedCutoffs) {
    poly_cutoff = 40;
    attach({"x", "y", "z"});
    at(2)->cutoff = 17;
    reset_cutoffs(64);
    EXPECT_EQ(at(1)->cutoff, 64);
    EXPECT_EQ(at(2)->cutoff, 17);
    EXPECT_EQ(at(3)->cutoff, 64);
    EXPECT_EQ(poly_cutoff, 40);
}

TEST_F(PolyVars, FreePtReturnsEverythingItOwns) {
    RecordLedger ledger;
    attach({"x"});
    pt* v = polynames;
    polynames = nullptr;
    load(v);
    EXPECT_EQ(v->prime_count, 3);
    pt* record = v;
    pt* old_garb = pt_garb;

    free_pt(&v);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(pt_garb, record);
    EXPECT_EQ(record->next, old_garb);
    EXPECT_EQ(record->relation, nullptr);
    EXPECT_EQ(record->binomial, nullptr);
    EXPECT_EQ(record->reductions, nullptr);
    EXPECT_EQ(record->root_table, nullptr);
    EXPECT_EQ(record->aux_primes, nullptr);
    EXPECT_EQ(record->prime_count, 0);
    EXPECT_TRUE(ledger.balanced());

    // The record comes back from pt_garb reset, except for what the caller
    // sets: name, mod-out degree and level.
    record->modout_degree = 5;
    record->root_modulus = 7;
    record->spare = 3;
    record->field = 1;
    record->cutoff = 1;
    poly_cutoff = 33;
    pt* again;
    newpt(&again);
    EXPECT_EQ(again, record);
    EXPECT_EQ(pt_garb, old_garb);
    EXPECT_STREQ(again->name, "x");
    EXPECT_EQ(again->level, 1);
    EXPECT_EQ(again->modout_degree, 5);
    EXPECT_EQ(again->cutoff, 33);
    EXPECT_EQ(again->root_modulus, -1);
    EXPECT_EQ(again->spare, 0);
    EXPECT_EQ(again->field, 0);
    EXPECT_EQ(again->next, nullptr);
    free_pt(&again);
}

TEST_F(PolyVars, FreeGcdDataAndSetAuxNum) {
    RecordLedger ledger;
    attach({"x"});
    pt* v = polynames;
    set_aux_num(v);
    EXPECT_EQ(v->prime_count, 0);
    load(v);
    EXPECT_EQ(v->prime_count, 3);
    free_gcd_data(v);
    EXPECT_EQ(v->aux_primes, nullptr);
    EXPECT_EQ(v->prime_count, 0);
    EXPECT_NE(v->relation, nullptr);   // only the primes go
    free_poly(&v->relation);
    free_poly(&v->binomial);
    free_poly(&v->reductions);
    free_poly(&v->root_table);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(PolyVars, DeletePolyNameAtTheHeadAndInTheMiddle) {
    RecordLedger ledger;
    attach({"w", "x", "y", "z"});
    for (int32_t i = 1; i <= 4; i++) load(at(i));
    pt* w = at(1);
    pt* y = at(3);
    pt* z = at(4);

    delete_poly_name(1);
    EXPECT_EQ(pt_garb, w);
    EXPECT_STREQ(polynames->name, "x");
    EXPECT_EQ(polynames->next, y);

    delete_poly_name(2);
    EXPECT_EQ(pt_garb, y);
    EXPECT_EQ(y->next, w);
    EXPECT_STREQ(polynames->name, "x");
    EXPECT_EQ(polynames->next, z);
    EXPECT_EQ(z->next, nullptr);

    // Positions outside the list change nothing.
    delete_poly_name(3);
    delete_poly_name(0);
    EXPECT_EQ(pt_garb, y);
    EXPECT_EQ(polynames->next, z);

    delete_poly_name(2);
    delete_poly_name(1);
    EXPECT_EQ(polynames, nullptr);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
