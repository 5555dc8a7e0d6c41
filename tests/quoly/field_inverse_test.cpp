// Inverses in extension fields: a·a^-1 reduces to the inverse's integer
// denominator (1 modulo a prime), checked against products and remainders
// computed here on GMP integers for one level and by the reducing product
// for towers; a quoly over a field element becomes a polynomial; a relation
// declared a field that factors gives error 22 and changes nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/field_convert.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/field_level.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

// Coefficients in one variable, index = exponent; reduced modulo p when p > 0.
using Dense = std::vector<mpz_class>;

Dense norm(Dense c, int32_t p) {
    if (p > 0)
        for (auto& x : c) x = ((x % p) + p) % p;
    while (!c.empty() && c.back() == 0) c.pop_back();
    return c;
}

Dense times(const Dense& a, const Dense& b) {
    Dense c(a.size() + b.size() - 1);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) c[i + j] += a[i] * b[j];
    return c;
}

// The remainder by the monic m, by schoolbook long division.
Dense remainder(Dense c, const Dense& m) {
    const size_t n = m.size() - 1;
    for (size_t k = c.size(); k-- > n;) {
        const mpz_class q = c[k];
        for (size_t i = 0; i <= n; i++) c[k - n + i] -= q * m[i];
    }
    if (c.size() > n) c.resize(n);
    return c;
}

TermList to_terms(const Dense& c) {
    TermList t;
    for (size_t e = 0; e < c.size(); e++)
        if (c[e] != 0) t.emplace_back(c[e], std::vector<int32_t>{static_cast<int32_t>(e)});
    return canonical_terms(1, t);
}

Dense from_terms(const TermList& t) {
    Dense c;
    for (const Term& x : t) {
        if (c.size() <= size_t(x.exps[0])) c.resize(x.exps[0] + 1);
        c[x.exps[0]] = x.coef;
    }
    return c;
}

// Numbers are inverted by the number code: the elements here have degree >= 1.

// The inverse as numerator and integer denominator.
struct Inverse {
    TermList num;
    mpz_class den = 1;
};

Inverse invert(polynode* a, int nvars) {
    quoly* q = nullptr;
    poly_mod_invert(a, &q, polynames);
    Inverse r;
    if (q->isnum) {
        r.num = canonical_terms(nvars, {{number_value(q->nnum), std::vector<int32_t>(nvars, 0)}});
    } else {
        EXPECT_TRUE(check_poly_shape(q->pnum, nvars));
        r.num = read_poly(q->pnum, nvars);
        if (q->den) {
            EXPECT_TRUE(q->den->numb && !q->den->next);
            r.den = number_value(q->den->ncoef);
            EXPECT_GT(r.den, 1);   // sign on the numerator, 1 never kept
        }
    }
    free_quoly(&q);
    return r;
}

Dense random_element(NumberGen& g, int32_t n, int32_t bound) {
    Dense a;
    while (a.size() < 2) {
        a.assign(n, 0);
        for (auto& x : a) x = g.between(-bound, bound);
        a = norm(a, 0);
    }
    return a;
}

// Monic relations irreducible over Q by Eisenstein's criterion at 2.
Dense eisenstein(NumberGen& g, int32_t n, bool binomial) {
    Dense m(n + 1, 0);
    m[n] = 1;
    m[0] = 2 * (2 * g.between(-5, 5) + 1);
    if (!binomial)
        for (int32_t i = 1; i < n; i++) m[i] = 2 * g.between(-6, 6);
    return m;
}

TEST(FieldInverse, GaussianIntegersByHand) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    VarGlobalsGuard globals;
    FieldLevel f(polynames, 1, to_terms({1, 0, 1}), 2, true);   // t^2 + 1
    RecordLedger ledger;
    {
        BuiltPoly t(1, to_terms({0, 1})), t1(1, to_terms({1, 1}));
        Inverse it = invert(t.p, 1);
        EXPECT_EQ(it.num, to_terms({0, -1}));   // 1/t = -t
        EXPECT_EQ(it.den, 1);
        Inverse i1 = invert(t1.p, 1);
        EXPECT_EQ(i1.num, to_terms({1, -1}));   // 1/(t + 1) = (1 - t)/2
        EXPECT_EQ(i1.den, 2);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(FieldInverse, RationalRelationsOfDegreeTwoToEight) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    VarGlobalsGuard globals;
    NumberGen g(33);
    for (int32_t n = 2; n <= 8; n++) {
        for (bool binomial : {true, false}) {
            const Dense m = eisenstein(g, n, binomial);
            FieldLevel f(polynames, 1, to_terms(m), n, binomial);
            for (int trial = 0; trial < 4; trial++) {
                const Dense a = random_element(g, n, trial == 3 ? 1000000 : 20);
                BuiltPoly pa(1, to_terms(a));
                const Inverse inv = invert(pa.p, 1);
                const Dense back = norm(remainder(times(a, from_terms(inv.num)), m), 0);
                EXPECT_EQ(back, Dense{inv.den}) << "n " << n << " binomial " << binomial;
            }
        }
    }
}

// Monic relations irreducible modulo p, each chosen by a property checked
// here: x^2 - d with d a non-residue (Euler's criterion), x^3 - d with d a
// non-cube when 3 divides p - 1, and the trinomials known irreducible for
// p = 2 and 3.
std::vector<Dense> relations_mod(int32_t p) {
    std::vector<Dense> r;
    auto power = [p](mpz_class b, long e) {
        mpz_class x;
        mpz_class mod = p;
        mpz_powm_ui(x.get_mpz_t(), b.get_mpz_t(), e, mod.get_mpz_t());
        return x;
    };
    if (p == 2) return {{1, 1, 1}, {1, 1, 0, 1}, {1, 1, 0, 0, 1}};
    if (p == 3) return {{1, 0, 1}, {1, 2, 0, 1}, {2, 2, 0, 1}};   // x^2 + 1, x^3 + 2x + 1, x^3 + 2x + 2
    for (long d = 2;; d++)
        if (power(d, (p - 1) / 2) == p - 1) {
            r.push_back({p - d, 0, 1});
            break;
        }
    if ((p - 1) % 3 == 0)
        for (long d = 2;; d++)
            if (power(d, (p - 1) / 3) != 1) {
                r.push_back({p - d, 0, 0, 1});
                break;
            }
    return r;
}

TEST(FieldInverse, FiniteFieldsHaveNoDenominators) {
    for (int32_t p : {2, 3, 7, 65521}) {
        PrimeRing ring(p);
        AttachedVars vars(1);
        VarGlobalsGuard globals;
        NumberGen g(p);
        for (const Dense& m : relations_mod(p)) {
            const int32_t n = static_cast<int32_t>(m.size() - 1);
            bool binomial = true;
            for (int32_t i = 1; i < n; i++) binomial = binomial && m[i] == 0;
            FieldLevel f(polynames, 1, to_terms(m), n, binomial);
            for (int trial = 0; trial < 6; trial++) {
                Dense a;
                while (a.size() < 2) {
                    a.assign(n, 0);
                    for (auto& x : a) x = g.below(p);
                    a = norm(a, p);
                }
                BuiltPoly pa(1, to_terms(a));
                const Inverse inv = invert(pa.p, 1);
                EXPECT_EQ(inv.den, 1);
                const Dense back = norm(remainder(times(a, from_terms(inv.num)), m), p);
                EXPECT_EQ(back, Dense{1}) << "p " << p << " n " << n;
            }
        }
    }
}

// y over x: a·a^-1 by the reducing product is the inverse's denominator.
void check_tower(int32_t p, const TermList& inner_m, int32_t inner_n, const TermList& outer_m, int32_t outer_n) {
    PrimeRing ring(p);
    AttachedVars vars(2);
    VarGlobalsGuard globals;
    pt* x = polynames->next;
    FieldLevel fx(x, 1, inner_m, inner_n, false);
    FieldLevel fy(polynames, 2, outer_m, outer_n, false);
    NumberGen g(p + 101);
    RecordLedger ledger;
    for (int trial = 0; trial < 8; trial++) {
        TermList t;
        for (int32_t ey = 0; ey < outer_n; ey++)
            for (int32_t ex = 0; ex < inner_n; ex++)
                if (g.below(3)) t.emplace_back(static_cast<long>(p ? g.below(p) : g.between(-9, 9)), std::vector<int32_t>{ey, ex});
        t = canonical_terms(2, t);
        if (t.empty() || (t.size() == 1 && t[0].exps == std::vector<int32_t>{0, 0})) continue;
        BuiltPoly a(2, t);
        const Inverse inv = invert(a.p, 2);
        BuiltPoly num(2, inv.num);
        HeldPoly prod;
        poly_mult(a.p, num.p, &prod.p, polynames);
        ASSERT_TRUE(check_poly_shape(prod.p, 2));
        EXPECT_EQ(read_poly(prod.p, 2), canonical_terms(2, {{inv.den, {0, 0}}})) << terms_to_string(t);
        if (p) {
            EXPECT_EQ(inv.den, 1);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(FieldInverse, Towers) {
    // Q(2^(1/4)) as y^2 = x, x^2 = 2; Q(2^(1/6)) as y^3 = x, x^2 = 2.
    const TermList x2 = canonical_terms(1, {{1, {2}}, {-2, {0}}});
    check_tower(0, x2, 2, canonical_terms(2, {{1, {2, 0}}, {-1, {0, 1}}}), 2);
    check_tower(0, x2, 2, canonical_terms(2, {{1, {3, 0}}, {-1, {0, 1}}}), 3);
    // GF(16) as y^2 + y + x over GF(4) = GF(2)(x), x^2 + x + 1 (x has trace 1).
    check_tower(2, canonical_terms(1, {{1, {2}}, {1, {1}}, {1, {0}}}), 2,
                canonical_terms(2, {{1, {2, 0}}, {1, {1, 0}}, {1, {0, 1}}}), 2);
    // GF(729) as y^3 - y - x - 1 over GF(9) = GF(3)(x), x^2 + 1 (x + 1 has trace 2).
    check_tower(3, canonical_terms(1, {{1, {2}}, {1, {0}}}), 2,
                canonical_terms(2, {{1, {3, 0}}, {2, {1, 0}}, {2, {0, 1}}, {2, {0, 0}}}), 3);
}

TEST(FieldInverse, ConvertedQuolyIsAPolynomial) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    VarGlobalsGuard globals;
    pt* t = polynames->next;
    FieldLevel f(t, 1, to_terms({-2, 0, 1}), 2, true);   // t^2 - 2
    RecordLedger ledger;
    {
        // x/(3t) = x t/6; (x + t)/(t + 1) = (x + t)(t - 1) = x t - x + 2 - t.
        quoly* q = quoly_detail::blank_quoly();
        q->pnum = build_poly(2, {{1, {1, 0}}});
        q->den = build_poly(2, {{3, {0, 1}}});
        quoly_mod_convert(q);
        ASSERT_FALSE(q->isnum);
        EXPECT_EQ(read_poly(q->pnum, 2), canonical_terms(2, {{1, {1, 1}}}));
        ASSERT_TRUE(q->den && q->den->numb);
        EXPECT_EQ(number_value(q->den->ncoef), 6);
        free_quoly(&q);

        q = quoly_detail::blank_quoly();
        q->pnum = build_poly(2, {{1, {1, 0}}, {1, {0, 1}}});
        q->den = build_poly(2, {{1, {0, 1}}, {1, {0, 0}}});
        quoly_mod_convert(q);
        EXPECT_EQ(read_poly(q->pnum, 2),
                  canonical_terms(2, {{1, {1, 1}}, {-1, {1, 0}}, {-1, {0, 1}}, {2, {0, 0}}}));
        EXPECT_EQ(q->den, nullptr);
        free_quoly(&q);

        q = quoly_detail::blank_quoly();
        q->pnum = build_poly(2, {{4, {0, 0}}});
        q->den = build_poly(2, {{2, {0, 1}}, {2, {0, 0}}});
        quoly_mod_convert(q);   // 4/(2t + 2) = 2/(t + 1) = 2(t - 1): the content cancels
        EXPECT_EQ(read_poly(q->pnum, 2), canonical_terms(2, {{2, {0, 1}}, {-2, {0, 0}}}));
        EXPECT_EQ(q->den, nullptr);
        free_quoly(&q);
    }
    EXPECT_TRUE(ledger.balanced());
}

quoly* element(int nvars, const TermList& t) {
    quoly* q = quoly_detail::blank_quoly();
    q->pnum = build_poly(nvars, t);
    quoly_detail::settle(&q);
    return q;
}

// Random a, b of Q(alpha) and GF(p)(alpha) as values: a·(1/a) = 1 and
// (a·b)/b = a through the quoly arithmetic, every result in normal form.
TEST(FieldInverse, QuolyQuotientsMultiplyBack) {
    for (int32_t p : {0, 3, 65521}) {
        PrimeRing ring(p);
        AttachedVars vars(1);
        VarGlobalsGuard globals;
        NumberGen g(p + 5);
        const Dense m = p ? relations_mod(p).back() : eisenstein(g, 5, false);
        const int32_t n = static_cast<int32_t>(m.size() - 1);
        FieldLevel f(polynames, 1, to_terms(m), n, false);
        RecordLedger ledger;
        for (int trial = 0; trial < 10; trial++) {
            auto draw = [&] {
                Dense a(n);
                for (auto& x : a) x = p ? g.below(p) : g.between(-30, 30);
                a[1] = p ? 1 + g.below(p - 1) : 1 + g.below(30);   // degree >= 1
                return to_terms(norm(a, p));
            };
            quoly* a = element(1, draw());
            quoly* b = element(1, draw());
            quoly* one = nullptr;
            quoly_set(1, &one);
            quoly *inv = nullptr, *back = nullptr, *ab = nullptr, *q = nullptr;
            quoly_quot(one, a, &inv, 0);
            EXPECT_TRUE(check_quoly_normal(inv, 1));
            if (!inv->isnum && inv->den) {
                EXPECT_TRUE(inv->den->numb);   // no field element stays below the line
            }
            quoly_mult(inv, a, &back);
            EXPECT_TRUE(quoly_equal(back, one)) << "p " << p;
            quoly_mult(a, b, &ab);
            quoly_quot(ab, b, &q, 0);
            EXPECT_TRUE(check_quoly_normal(q, 1));
            EXPECT_TRUE(quoly_equal(q, a)) << "p " << p;
            for (quoly** x : {&a, &b, &one, &inv, &back, &ab, &q}) free_quoly(x);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(FieldInverse, ReducibleFieldIsErrorTwentyTwo) {
    for (int32_t p : {0, 7}) {
        PrimeRing ring(p);
        AttachedVars vars(1);
        VarGlobalsGuard globals;
        FieldLevel f(polynames, 1, to_terms({-1, 0, 1}), 2, true);   // t^2 - 1 = (t - 1)(t + 1)
        RecordLedger ledger;
        {
            BuiltPoly a(1, to_terms({p ? p - 1 : -1, 1}));   // t - 1
            const TermList before = read_poly(a.p, 1);
            quoly* q = nullptr;
            try {
                poly_mod_invert(a.p, &q, polynames);
                ADD_FAILURE();
            } catch (const TarvexUnwind& e) {
                EXPECT_EQ(e.code, 22);
                EXPECT_EQ(e.token, "/");
            }
            EXPECT_EQ(q, nullptr);
            EXPECT_EQ(read_poly(a.p, 1), before);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

}  // namespace
