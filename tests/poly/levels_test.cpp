// Structure queries against answers read off the term lists (which levels
// carry a non-zero exponent), with and without field levels; cant_factor's
// cases; newdummy's copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "numbers/ring.h"
#include "poly/levels.h"
#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

class Setting {
public:
    explicit Setting(int nvars, int16_t depth = 0)
        : saved_(polynames), saved_count_(number_polys), saved_depth_(field_depth) {
        modularmode = lintmode = 0;
        install_modulus(0);
        pt** tail = &polynames;
        polynames = nullptr;
        for (int i = 0; i < nvars; i++) {
            pt* v;
            newpt(&v);
            std::snprintf(v->name, sizeof v->name, "w%d", i);
            v->hash = 65535;
            v->level = static_cast<int16_t>(i + 1);
            *tail = v;
            tail = &v->next;
        }
        number_polys = nvars;
        field_depth = depth;
    }
    ~Setting() {
        while (polynames) {
            pt* v = polynames;
            polynames = v->next;
            v->relation = nullptr;   // the tests' relations are theirs to free
            free_pt(&v);
        }
        polynames = saved_;
        number_polys = saved_count_;
        field_depth = saved_depth_;
    }
    static pt* at(int level) {
        pt* v = polynames;
        while (--level > 0) v = v->next;
        return v;
    }

private:
    RingStateGuard guard_;
    pt* saved_;
    int32_t saved_count_;
    int16_t saved_depth_;
};

// used[L] (L = 1 ..): some term has a non-zero exponent at level L.
std::vector<bool> used_levels(const TermList& t, int nvars) {
    std::vector<bool> used(static_cast<size_t>(nvars) + 1, false);
    for (const Term& s : t)
        for (int v = 0; v < nvars; v++)
            if (s.exps[v] != 0) used[static_cast<size_t>(v) + 1] = true;
    return used;
}

int deepest_used(const std::vector<bool>& used, int from, int to) {
    int d = 0;
    for (int L = from; L <= to && L < static_cast<int>(used.size()); L++)
        if (used[L]) d = L;
    return d;
}

bool any_used(const std::vector<bool>& used, int from, int to) { return deepest_used(used, from, to) != 0; }

TermList random_terms(NumberGen& g, int nvars) {
    // Some variables are left out entirely, so padding levels occur.
    std::vector<bool> absent(nvars);
    for (int v = 0; v < nvars; v++) absent[v] = g.chance(35);
    TermList t;
    for (int i = g.between(1, 5); i > 0; i--) {
        std::vector<int32_t> e(nvars);
        for (int v = 0; v < nvars; v++) e[v] = absent[v] || g.chance(40) ? 0 : g.between(1, 4);
        t.emplace_back(g.between(1, 9), e);
    }
    return canonical_terms(nvars, t);
}

TEST(LevelQueryTest, AgainstTermLists) {
    NumberGen g(0x5eed3142);
    const int nvars = 4;
    for (int16_t depth : {0, 2, 3, 4}) {
        Setting s(nvars, depth);
        for (int it = 0; it < scaled(150); it++) {
            const TermList terms = random_terms(g, nvars);
            const std::vector<bool> used = used_levels(terms, nvars);
            polynode* p = build_poly(nvars, terms);
            ASSERT_TRUE(check_poly_shape(p, nvars));
            const std::string what = terms_to_string(terms) + " field_depth " + std::to_string(depth) + g.trace();

            int distinct = 0;
            for (int L = 1; L <= nvars; L++) distinct += used[L];
            EXPECT_EQ(driver_poly_vars(p), distinct) << what;
            EXPECT_EQ(polys_there(p, 1), 1 + static_cast<int>(std::count(used.begin() + 2, used.end(), true))) << what;
            for (int stop : {0, 2, 3, 5})
                EXPECT_EQ(nogood(p, 1, stop), any_used(used, 2, stop ? stop - 1 : nvars) ? 1 : 0) << what << stop;
            if (depth == 0) {
                EXPECT_EQ(quick_depth_below(p, 1), deepest_used(used, 1, nvars)) << what;
                EXPECT_EQ(max_below(p, 1), 0);
                EXPECT_EQ(all_coefs_invrtble(p, 1), any_used(used, 2, nvars) ? 0 : 1) << what;
            } else {
                EXPECT_EQ(max_below(p, 1), deepest_used(used, 1, depth - 1)) << what;
                EXPECT_EQ(quick_depth_below(p, 1), std::max(1, deepest_used(used, 2, depth - 1))) << what;
                EXPECT_EQ(max_below(p, depth), 0);
                const bool field = any_used(used, depth, nvars);
                EXPECT_EQ(exists_field_element(p, 1), field ? 1 : 0) << what;
                const bool number = terms.size() == 1 && !any_used(used, 1, nvars);
                EXPECT_EQ(both_above_field_depth(p, nullptr, 1), field && !number ? 0 : 1) << what;
                EXPECT_EQ(all_coefs_invrtble(p, 1), depth == 2 || !any_used(used, 2, depth - 1) ? 1 : 0) << what;
            }
            free_poly(&p);
        }
    }
}

TEST(LevelQueryTest, EdgeCases) {
    Setting s(2);
    polynode* c = build_poly(2, {{7, {0, 0}}});
    EXPECT_EQ(polys_there(c, 1), 1);
    EXPECT_EQ(polys_there(c, 3), 0);
    EXPECT_EQ(driver_poly_vars(c), 0);
    EXPECT_EQ(quick_depth_below(c, 1), 0);
    polynode* p = build_poly(2, {{1, {2, 1}}, {1, {1, 0}}});
    EXPECT_EQ(driver_poly_vars(p), 2);
    EXPECT_EQ(nogood(p, 1, 2), 0);   // empty range
    polynode* y = build_poly(2, {{1, {0, 1}}});
    EXPECT_EQ(driver_poly_vars(y), 1);
    EXPECT_EQ(polys_there(y, 1), 2);
    EXPECT_EQ(quick_depth_below(nullptr, 1), 0);
    EXPECT_EQ(all_coefs_invrtble(nullptr, 1), 1);
    EXPECT_EQ(all_coefs_invrtble_both(c, p, 1), 0);
    EXPECT_EQ(all_coefs_invrtble_both(c, nullptr, 1), 1);
    field_depth = 2;
    EXPECT_EQ(quick_depth_below(nullptr, 1), 1);
    EXPECT_EQ(all_coefs_invrtble_both(p, y, 1), 1);   // field_depth = k + 1
    EXPECT_EQ(both_above_field_depth(c, c, 1), 1);
    EXPECT_EQ(both_above_field_depth(p, c, 2), 0);
    for (polynode** q : {&c, &p, &y}) free_poly(q);
}

TEST(LevelQueryTest, CantFactor) {
    Setting s(3);
    int32_t code = 0;
    polynode* x = build_poly(3, {{1, {3, 0, 0}}, {2, {0, 0, 0}}});
    EXPECT_EQ(cant_factor(x, &code, 1), 0);
    EXPECT_EQ(code, 299);
    polynode* xy = build_poly(3, {{1, {3, 1, 0}}, {2, {0, 0, 0}}});
    EXPECT_EQ(cant_factor(xy, &code, 1), 1);
    EXPECT_EQ(code, 299);
    EXPECT_EQ(cant_factor(xy, &code, 0), 0);
    // A polynomial in y only (padded at x): its main level is 2.
    polynode* y = build_poly(3, {{1, {0, 2, 0}}, {1, {0, 0, 0}}});
    EXPECT_EQ(cant_factor(y, &code, 1), 0);
    polynode* yz = build_poly(3, {{1, {0, 2, 1}}, {1, {0, 0, 0}}});
    EXPECT_EQ(cant_factor(yz, &code, 1), 1);
    // z a field variable (field_depth 3): coefficients in z are fine.
    field_depth = 3;
    polynode* yz2 = build_poly(3, {{1, {0, 2, 1}}, {1, {0, 0, 0}}});
    EXPECT_EQ(cant_factor(yz2, &code, 1), 0);
    EXPECT_EQ(cant_factor(xy, &code, 1), 1);   // y lies above the field
    // A modded-out variable at y that makes no field, with field levels present.
    polynode* rel = build_poly(3, {{1, {0, 0, 0}}});
    Setting::at(2)->relation = rel;
    EXPECT_EQ(cant_factor(x, &code, 0), 1);
    EXPECT_EQ(code, 298);
    EXPECT_EQ(cant_factor(yz2, &code, 1), 1);
    // ... below the main variable's level it does not matter.
    polynode* z = build_poly(3, {{1, {0, 0, 2}}, {1, {0, 0, 0}}});
    EXPECT_EQ(cant_factor(z, &code, 1), 0);
    EXPECT_EQ(code, 299);
    Setting::at(2)->relation = nullptr;
    for (polynode** q : {&x, &xy, &y, &yz, &yz2, &rel, &z}) free_poly(q);
}

TEST(LevelQueryTest, NewdummyCopiesTheNameButNoRelation) {
    Setting s(2);
    pt* src = Setting::at(1);
    polynode* rel = build_poly(2, {{3, {0, 0}}});
    src->relation = rel;
    src->modout_degree = 5;
    src->field = 1;
    src->hash = 17;
    pt* spare;
    newpt(&spare);
    std::strcpy(spare->name, "junk");
    spare->relation = nullptr;
    free_pt(&spare);
    pt* const expected_record = pt_garb;
    pt* d = nullptr;
    newdummy(src, &d);
    EXPECT_EQ(d, expected_record);   // the free list first
    EXPECT_STREQ(d->name, src->name);
    EXPECT_EQ(d->hash, 17);
    EXPECT_EQ(d->level, 1);
    EXPECT_EQ(d->modout_degree, 5);
    EXPECT_EQ(d->next, src->next);
    EXPECT_EQ(d->relation, nullptr);
    EXPECT_EQ(d->field, 0);
    EXPECT_EQ(d->root_modulus, -1);
    EXPECT_EQ(d->cutoff, poly_cutoff);
    d->next = nullptr;
    free_pt(&d);
    src->relation = nullptr;
    free_poly(&rel);
}

}  // namespace
