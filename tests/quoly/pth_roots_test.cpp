// p-th roots in extension fields of the integers modulo p and in towers of
// two levels: root(a^p) = a and root(a)^p = a for random elements, the
// p-th power formed by repeated reducing products (never by the Frobenius
// tables under test); the tables are rebuilt when the modulus changes; and
// square-free decomposition over GF(p^2) finds planted factors of
// multiplicity p through the root of their field coefficients.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "gcd/sqfree.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/pth_roots.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/expect_error.h"
#include "support/field_level.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

// A random element of the field in the last nvars variables (the outermost
// of them of degree outer_n, the inner one of degree inner_n), lifted to
// nvars + lead variables by exponent-0 padding.
TermList random_element(NumberGen& g, int32_t p, int32_t outer_n, int32_t inner_n, int lead = 0) {
    TermList t;
    for (int32_t ey = 0; ey < outer_n; ey++)
        for (int32_t ex = 0; ex < inner_n; ex++) {
            std::vector<int32_t> e(static_cast<size_t>(lead), 0);
            e.push_back(ey);
            if (inner_n > 1) e.push_back(ex);
            t.emplace_back(static_cast<long>(g.below(p)), e);
        }
    return canonical_terms(lead + (inner_n > 1 ? 2 : 1), t);
}

// a^p by p - 1 reducing products.
polynode* pth_power(polynode* a, int32_t p, pt* rec) {
    polynode* r = nullptr;
    poly_assign(a, &r);
    for (int32_t i = 1; i < p; i++) poly_mult(r, a, &r, rec);
    return r;
}

void expect_roots(int32_t p, int nvars, int32_t outer_n, int32_t inner_n, int trials) {
    NumberGen g(static_cast<uint64_t>(p) * 1000 + outer_n * 10 + inner_n);
    for (int trial = 0; trial < trials; trial++) {
        const TermList a = random_element(g, p, outer_n, inner_n);
        BuiltPoly pa(nvars, a);
        HeldPoly power(pth_power(pa.p, p, polynames));
        pth_root(&power.p, polynames);
        ASSERT_TRUE(check_poly_shape(power.p, nvars));
        EXPECT_EQ(read_poly(power.p, nvars), a) << "p " << p << " root(a^p), a = " << terms_to_string(a);

        HeldPoly root;
        poly_assign(pa.p, &root.p);
        pth_root(&root.p, polynames);
        ASSERT_TRUE(check_poly_shape(root.p, nvars));
        HeldPoly back(pth_power(root.p, p, polynames));
        EXPECT_EQ(read_poly(back.p, nvars), a) << "p " << p << " root(a)^p, a = " << terms_to_string(a);
    }
}

// GF(p^2) = GF(p)[x]/(inner), then GF(p^4) and GF(p^6) over it.
struct Tower {
    int32_t p;
    TermList inner, quadratic, cubic;
};

std::vector<Tower> towers() {
    auto one = [](std::initializer_list<std::pair<int, int>> c) {
        TermList t;
        for (auto [coef, e] : c) t.emplace_back(coef, std::vector<int32_t>{e});
        return canonical_terms(1, t);
    };
    auto two = [](std::initializer_list<std::tuple<int, int, int>> c) {
        TermList t;
        for (auto [coef, ey, ex] : c) t.emplace_back(coef, std::vector<int32_t>{ey, ex});
        return canonical_terms(2, t);
    };
    return {
        // x generates GF(4)*, so it is no cube; y^2 + y + x has trace 1.
        {2, one({{1, 2}, {1, 1}, {1, 0}}), two({{1, 2, 0}, {1, 1, 0}, {1, 0, 1}}), two({{1, 3, 0}, {1, 0, 1}})},
        // x + 1 is no square in GF(9); y^3 - y - x - 1 has trace 2.
        {3, one({{1, 2}, {1, 0}}), two({{1, 2, 0}, {-1, 0, 1}, {-1, 0, 0}}),
         two({{1, 3, 0}, {-1, 1, 0}, {-1, 0, 1}, {-1, 0, 0}})},
        // x = 2^(1/2) is no square in GF(25), x + 1 no cube.
        {5, one({{1, 2}, {-2, 0}}), two({{1, 2, 0}, {-1, 0, 1}}), two({{1, 3, 0}, {-1, 0, 1}, {-1, 0, 0}})},
        // x + 2 is no square in GF(49), x + 1 no cube.
        {7, one({{1, 2}, {1, 0}}), two({{1, 2, 0}, {-1, 0, 1}, {-2, 0, 0}}), two({{1, 3, 0}, {-1, 0, 1}, {-1, 0, 0}})},
    };
}

TEST(PthRoots, OneLevel) {
    // Degree-3 relations without roots modulo p.
    const std::vector<std::pair<int32_t, TermList>> cubics = {
        {2, canonical_terms(1, {{1, {3}}, {1, {1}}, {1, {0}}})},
        {3, canonical_terms(1, {{1, {3}}, {-1, {1}}, {-1, {0}}})},
        {5, canonical_terms(1, {{1, {3}}, {1, {1}}, {1, {0}}})},
        {7, canonical_terms(1, {{1, {3}}, {-2, {0}}})},
    };
    for (const auto& [p, m] : cubics) {
        PrimeRing ring(p);
        AttachedVars vars(1);
        VarGlobalsGuard globals;
        RecordLedger ledger;
        {
            FieldLevel f(polynames, 1, m, 3, p == 7);
            expect_roots(p, 1, 3, 1, 12);
        }
        EXPECT_TRUE(ledger.balanced()) << "p " << p;
    }
}

TEST(PthRoots, Towers) {
    for (const Tower& tw : towers()) {
        for (int32_t outer_n : {2, 3}) {
            PrimeRing ring(tw.p);
            AttachedVars vars(2);
            VarGlobalsGuard globals;
            FieldLevel fx(polynames->next, 1, tw.inner, 2, false);
            FieldLevel fy(polynames, 2, outer_n == 2 ? tw.quadratic : tw.cubic, outer_n, false);
            expect_roots(tw.p, 2, outer_n, 2, 10);
            // Both levels got their tables, built for this modulus.
            EXPECT_EQ(polynames->root_modulus, tw.p);
            EXPECT_EQ(polynames->next->root_modulus, tw.p);
        }
    }
}

TEST(PthRoots, FrobeniusOfGF9) {
    // Over GF(3) with t^2 + 1, t^3 = -t: the table holds -t for t, and the
    // root of the number part is the number itself.
    PrimeRing ring(3);
    AttachedVars vars(1);
    VarGlobalsGuard globals;
    FieldLevel f(polynames, 1, canonical_terms(1, {{1, {2}}, {1, {0}}}), 2, true);
    BuiltPoly t(1, {{1, {1}}, {2, {0}}});
    HeldPoly r;
    poly_assign(t.p, &r.p);
    pth_root(&r.p, polynames);
    EXPECT_EQ(read_poly(r.p, 1), canonical_terms(1, {{-1, {1}}, {2, {0}}}));
    const polynode* table = polynames->root_table;
    ASSERT_TRUE(table && table->exp == 1 && table->next && table->next->exp == 0 && !table->next->next);
    EXPECT_EQ(read_poly(table->pcoef, 1), canonical_terms(1, {{-1, {1}}}));
    EXPECT_EQ(read_poly(table->next->pcoef, 1), canonical_terms(1, {{1, {0}}}));
}

TEST(PthRoots, TablesFollowTheModulus) {
    // t^2 + 1 is a field modulo 3 and modulo 7; t^p = -t in both, whose
    // root -t reads 2t modulo 3 and 6t modulo 7. A table kept from the
    // first modulus would give 2t again.
    PrimeRing ring(3);
    AttachedVars vars(1);
    VarGlobalsGuard globals;
    FieldLevel f(polynames, 1, canonical_terms(1, {{1, {2}}, {1, {0}}}), 2, false);
    BuiltPoly t(1, {{1, {1}}});
    HeldPoly r;
    poly_assign(t.p, &r.p);
    pth_root(&r.p, polynames);
    EXPECT_EQ(read_poly(r.p, 1), canonical_terms(1, {{2, {1}}}));
    EXPECT_EQ(polynames->root_modulus, 3);

    use_modulus(7);
    // The relation's coefficients read the same; its power table does not.
    free_poly(&polynames->reductions);
    make_muldata(&polynames->reductions, &polynames->relation, 2, polynames);
    poly_assign(t.p, &r.p);
    pth_root(&r.p, polynames);
    EXPECT_EQ(read_poly(r.p, 1), canonical_terms(1, {{6, {1}}}));
    EXPECT_EQ(polynames->root_modulus, 7);
    expect_roots(7, 1, 2, 1, 8);
}

// The factor f (degree 1 in x, coefficients in the field) is x - r up to a
// field unit: f = (x - r)·lc(f).
::testing::AssertionResult is_linear_factor(polynode* f, const TermList& minus_r) {
    if (f->numb || f->exp != 1) return ::testing::AssertionFailure() << "degree";
    TermList e = minus_r;
    e.emplace_back(1, std::vector<int32_t>{1, 0});
    BuiltPoly x_minus_r(2, canonical_terms(2, e));
    HeldPoly lc;
    poly_assign(f->pcoef, &lc.p);
    make_monomial(&lc.p, 0, lc.p);
    HeldPoly prod;
    poly_mult(x_minus_r.p, lc.p, &prod.p, polynames);
    if (read_poly(prod.p, 2) != read_poly(f, 2))
        return ::testing::AssertionFailure() << terms_to_string(read_poly(f, 2)) << " vs "
                                             << terms_to_string(read_poly(prod.p, 2));
    return ::testing::AssertionSuccess();
}

TEST(PthRoots, SquareFreeOverGFp2) {
    for (const Tower& tw : towers()) {
        const int32_t p = tw.p;
        PrimeRing ring(p);
        AttachedVars vars(2);
        VarGlobalsGuard globals;
        FieldLevel ft(polynames->next, 1, tw.inner, 2, false);
        NumberGen g(static_cast<uint64_t>(p) * 77);
        const std::vector<int32_t> mults = p == 2 ? std::vector<int32_t>{1, 2, 3, 4}
                                                  : std::vector<int32_t>{1, 2, p, p + 1};
        for (int trial = 0; trial < 4; trial++) {
            // Distinct roots r_i in GF(p^2) (all four of GF(4) when p = 2).
            std::vector<TermList> minus_r;
            while (minus_r.size() < mults.size()) {
                TermList m = canonical_terms(2, {{static_cast<long>(g.below(p)), {0, 1}}, {static_cast<long>(g.below(p)), {0, 0}}});
                bool fresh = true;
                for (const TermList& o : minus_r) fresh = fresh && o != m;
                if (fresh) minus_r.push_back(m);
            }
            HeldPoly f;
            poly_set(1, &f.p);
            for (size_t i = 0; i < mults.size(); i++) {
                TermList e = minus_r[i];
                e.emplace_back(1, std::vector<int32_t>{1, 0});
                BuiltPoly lin(2, canonical_terms(2, e));
                for (int32_t k = 0; k < mults[i]; k++) poly_mult(f.p, lin.p, &f.p, polynames);
            }
            polynode* list = nullptr;
            int32_t count = 0;
            square_free_factor(f.p, &list, &count, polynames);
            HeldPoly own(list);
            EXPECT_EQ(count, static_cast<int32_t>(mults.size())) << "p " << p;
            std::vector<bool> seen(mults.size(), false);
            for (polynode* rec = list; rec; rec = rec->next) {
                size_t i = 0;
                while (i < mults.size() && mults[i] != rec->exp) i++;
                ASSERT_LT(i, mults.size()) << "p " << p << " multiplicity " << rec->exp;
                EXPECT_FALSE(seen[i]);
                seen[i] = true;
                EXPECT_TRUE(is_linear_factor(rec->pcoef, minus_r[i])) << "p " << p << " multiplicity " << rec->exp;
            }
        }
    }
}

TEST(PthRoots, SquareFreeRootsFreeVariablesAboveTheField) {
    // Over GF(3)(t) with y free: x^3 + y is square-free although its
    // x-derivative vanishes (its y-derivative does not); (x + y)^3 is the
    // cube of x + y, y's root taken by dividing its exponents.
    PrimeRing ring(3);
    AttachedVars vars(3);
    VarGlobalsGuard globals;
    FieldLevel ft(polynames->next->next, 1, canonical_terms(1, {{1, {2}}, {1, {0}}}), 2, false);
    const TermList x3y = canonical_terms(3, {{1, {3, 0, 0}}, {1, {0, 1, 0}}});
    const TermList xy3 = canonical_terms(3, {{1, {3, 0, 0}}, {1, {0, 3, 0}}});
    const TermList xy = canonical_terms(3, {{1, {1, 0, 0}}, {1, {0, 1, 0}}});
    for (const auto& [f_terms, part, mult] : {std::tuple{x3y, x3y, 1}, std::tuple{xy3, xy, 3}}) {
        BuiltPoly f(3, f_terms);
        polynode* list = nullptr;
        int32_t count = 0;
        square_free_factor(f.p, &list, &count, polynames);
        HeldPoly own(list);
        ASSERT_EQ(count, 1);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->exp, mult);
        EXPECT_EQ(read_poly(list->pcoef, 3), part);
    }
}

}  // namespace
