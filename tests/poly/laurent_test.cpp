// Shifts out and back: the shifted polynomial against the term list divided
// by the least exponents computed here, the way back restoring the value,
// every shift-list entry returned; the hand-worked cases; the scaling of
// exponents by the modulus against the p-th power.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <mutex>
#include <vector>

#include "numbers/ring.h"
#include "poly/laurent.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/other_records.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

class Setting {
public:
    Setting(int nvars, int modular, int32_t m, bool with_laurent)
        : saved_(polynames), saved_count_(number_polys), saved_laurent_(laurent) {
        load_data_once();
        modularmode = modular;
        lintmode = modular;
        install_modulus(m);
        mod_is_prime = modular;
        laurent = with_laurent;
        pt** tail = &polynames;
        polynames = nullptr;
        for (int i = 0; i < nvars; i++) {
            pt* v;
            newpt(&v);
            std::snprintf(v->name, sizeof v->name, "v%d", i);
            v->hash = 65535;
            v->level = static_cast<int16_t>(i + 1);
            *tail = v;
            tail = &v->next;
        }
        number_polys = nvars;
    }
    ~Setting() {
        while (polynames) {
            pt* v = polynames;
            polynames = v->next;
            free_pt(&v);
        }
        polynames = saved_;
        number_polys = saved_count_;
        laurent = saved_laurent_;
    }

private:
    RingStateGuard guard_;
    pt* saved_;
    int32_t saved_count_;
    int saved_laurent_;
};

std::vector<int32_t> shift_entries(polynode* first) {
    std::vector<int32_t> v;
    for (polynode* e = first; e; e = e->next) v.push_back(e->exp);
    return v;
}

// The shifts clear_bads should find, from the term list: per level the
// least exponent (least mode) or the least negative one, for levels below
// `stop`, trimmed after the last non-zero one.
std::vector<int32_t> expected_shifts(const TermList& t, int nvars, bool least, int32_t stop) {
    const int32_t limit = stop ? stop : SHIFT_ALL_LEVELS;
    const int levels = std::max(1, std::min<int>(nvars, limit - 1));
    std::vector<int32_t> s(static_cast<size_t>(levels), least ? INT32_MAX : 0);
    for (const Term& term : t)
        for (int L = 0; L < levels; L++) s[L] = std::min(s[L], term.exps[L]);
    while (!s.empty() && s.back() == 0) s.pop_back();
    return s;
}

TermList shifted_terms(const TermList& t, int nvars, const std::vector<int32_t>& s) {
    TermList out = t;
    for (Term& term : out)
        for (size_t L = 0; L < s.size(); L++) term.exps[L] -= s[L];
    return canonical_terms(nvars, out);
}

TEST(LaurentShiftTest, OutAndBackOnRandomPolynomials) {
    NumberGen g(0x5eed3143);
    for (int modular : {0, 1}) {
        for (int nvars = 1; nvars <= 4; nvars++) {
            Setting s(nvars, modular, modular ? 65521 : 0, true);
            RecordLedger ledger;
            for (int it = 0; it < scaled(40); it++) {
                TermList terms;
                const int n = g.between(1, 6);
                for (int i = 0; i < n; i++) {
                    std::vector<int32_t> e(nvars);
                    for (int v = 0; v < nvars; v++) e[v] = g.chance(30) ? 0 : g.between(-5, 6);
                    terms.emplace_back(g.between(1, 50), e);
                }
                terms = canonical_terms(nvars, terms);
                if (terms.empty() || (terms.size() == 1 && std::all_of(terms[0].exps.begin(), terms[0].exps.end(),
                                                                      [](int32_t x) { return x == 0; })))
                    continue;   // clear_bads is not for numbers
                const bool least = g.chance(50);
                const int32_t stop = g.chance(30) ? g.between(2, nvars + 1) : 0;
                polynode* p = build_poly(nvars, terms);
                polynode* orig = nullptr;
                poly_assign(p, &orig);
                polynode *first = nullptr, *last = nullptr;
                clear_bads(&p, &first, &last, least ? SHIFT_LEAST : SHIFT_NEGATIVES, stop);
                const std::vector<int32_t> want = expected_shifts(terms, nvars, least, stop);
                EXPECT_EQ(shift_entries(first), want) << terms_to_string(terms) << " stop " << stop << g.trace();
                EXPECT_TRUE(check_poly_shape(p, nvars)) << terms_to_string(terms) << g.trace();
                EXPECT_EQ(read_poly(p, nvars), shifted_terms(terms, nvars, want)) << g.trace();
                if (first) {
                    EXPECT_EQ(last->next, nullptr);
                    eliminate_bads(&p, first, 1);
                    EXPECT_TRUE(check_poly_shape(p, nvars));
                    release_shift_list(&first, &last);
                }
                EXPECT_TRUE(poly_equal(p, orig)) << terms_to_string(terms) << g.trace();
                free_poly(&p);
                free_poly(&orig);
            }
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

TEST(LaurentShiftTest, HandWorkedCases) {
    Setting s(2, 0, 0, true);
    // x^2 + x^-3 in one variable: shift -3, p = x^5 + 1.
    {
        Setting one(1, 0, 0, true);
        polynode* p = build_poly(1, {{1, {2}}, {1, {-3}}});
        polynode *first, *last;
        clear_bads(&p, &first, &last, SHIFT_NEGATIVES, SHIFT_ALL_LEVELS);
        EXPECT_EQ(shift_entries(first), std::vector<int32_t>{-3});
        EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {5}}, {1, {0}}}));
        eliminate_bads(&p, first, 1);
        EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {2}}, {1, {-3}}}));
        release_shift_list(&first, &last);
        free_poly(&p);
    }
    // No negative exponent: nothing happens.
    polynode* p = build_poly(2, {{1, {2, 1}}, {1, {0, 0}}});
    polynode* same = p;
    polynode *first = p, *last = p;
    clear_bads(&p, &first, &last, SHIFT_NEGATIVES, 0);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(p, same);
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {2, 1}}, {1, {0, 0}}}));
    free_poly(&p);
    // x^5 y + x^3 y^2, least mode: shifts 3 and 1, p = x^2 + y.
    p = build_poly(2, {{1, {5, 1}}, {1, {3, 2}}});
    clear_bads(&p, &first, &last, SHIFT_LEAST, 0);
    EXPECT_EQ(shift_entries(first), (std::vector<int32_t>{3, 1}));
    EXPECT_TRUE(check_poly_shape(p, 2));
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {2, 0}}, {1, {0, 1}}}));
    ASSERT_FALSE(p->numb);
    EXPECT_TRUE(p->pcoef->numb);   // y^1 fell to y^0 and collapsed into the number
    release_shift_list(&first, &last);
    free_poly(&p);
    // A constant term in least mode cuts the positive shifts: only y^-2 remains.
    p = build_poly(2, {{1, {5, 1}}, {1, {3, -2}}, {4, {0, 0}}});
    clear_bads(&p, &first, &last, SHIFT_LEAST, 0);
    EXPECT_EQ(shift_entries(first), (std::vector<int32_t>{0, -2}));
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {5, 3}}, {1, {3, 0}}, {4, {0, 2}}}));
    release_shift_list(&first, &last);
    free_poly(&p);
    // x^2 y + 3: the constant stops the y shift found under x^2.
    p = build_poly(2, {{1, {2, 1}}, {3, {0, 0}}});
    clear_bads(&p, &first, &last, SHIFT_LEAST, 0);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {2, 1}}, {3, {0, 0}}}));
    free_poly(&p);
    // stop 2: only the outermost variable, whatever the deeper exponents.
    p = build_poly(2, {{1, {-1, -4}}, {1, {-2, 3}}});
    clear_bads(&p, &first, &last, SHIFT_NEGATIVES, 2);
    EXPECT_EQ(shift_entries(first), std::vector<int32_t>{-2});
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {1, -4}}, {1, {0, 3}}}));
    release_shift_list(&first, &last);
    free_poly(&p);
}

TEST(LaurentShiftTest, ShiftBeyond32BitsIsRefusedAndTheListReturned) {
    Setting s(1, 0, 0, true);
    RecordLedger ledger;
    polynode* p = build_poly(1, {{1, {INT32_MAX - 5}}, {1, {-10}}});
    polynode *first = nullptr, *last = nullptr;
    EXPECT_EQ(unwind_code([&] { clear_bads(&p, &first, &last, SHIFT_NEGATIVES, 0); }), 156);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {INT32_MAX - 5}}, {1, {-10}}}));
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST(LaurentScaleTest, PolyToPrimeByHandAndAgainstThePower) {
    {
        Setting s(2, 1, 5, false);
        polynode* p = build_poly(2, {{1, {2, 1}}, {3, {0, 0}}});
        poly_to_prime(p);
        EXPECT_TRUE(check_poly_shape(p, 2));
        EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {10, 5}}, {3, {0, 0}}}));
        free_poly(&p);
    }
    NumberGen g(0x5eed3144);
    for (int32_t m : {2, 3, 7}) {
        Setting s(3, 1, m, true);
        for (int it = 0; it < scaled(10); it++) {
            TermList terms;
            for (int i = g.between(1, 4); i > 0; i--)
                terms.emplace_back(g.between(0, m - 1), std::vector<int32_t>{g.between(-2, 3), g.between(0, 3), g.between(-1, 2)});
            polynode* p = build_poly(3, terms);
            polynode* want = nullptr;
            poly_assign(p, &want);
            mod_is_prime = 0;   // the plain power
            compute_power(&want, m, nullptr);
            poly_to_prime(p);
            EXPECT_TRUE(check_poly_shape(p, 3));
            EXPECT_TRUE(poly_equal(p, want)) << m << " " << terms_to_string(terms) << g.trace();
            free_poly(&p);
            free_poly(&want);
        }
    }
    Setting s(1, 1, 65521, false);
    polynode* p = build_poly(1, {{1, {40000}}, {1, {1}}});
    EXPECT_EQ(unwind_code([&] { poly_to_prime(p); }), 156);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {40000}}, {1, {1}}}));
    free_poly(&p);
}

}  // namespace
