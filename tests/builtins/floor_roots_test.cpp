// Square roots checked by their defining property (r^2 <= x < (r+1)^2,
// r^2 = x for residues that are squares, 0 for those that are not, the
// field product in GF(2^8) and GF(2^16)); floors and absolute values of
// numbers and rationals against GMP; sparse matrices floored across frames
// with no zero left stored and a shared matrix left alone; content and
// p-th root with their errors.
#include <gtest/gtest.h>

#include <gmpxx.h>

#include <cstdint>
#include <random>
#include <vector>

#include "builtins/floor_roots.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "support/expect_error.h"
#include "support/field_level.h"
#include "support/field_ref.h"
#include "support/gmp_bridge.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/loop.h"

namespace {

quoly* big_q(const mpz_class& v) {
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = 1;
    q->rat = 0;
    q->den = nullptr;
    q->nnum = from_mpz(v);
    return q;
}

// a / b in normal form, made by the quoly division (not under test here).
quoly* rat_q(const mpz_class& a, const mpz_class& b) {
    quoly* n = big_q(a);
    quoly* d = big_q(b);
    quoly* r = nullptr;
    quoly_quot(n, d, &r, 0);
    free_quoly(&n);
    free_quoly(&d);
    return r;
}

mpz_class random_big(std::mt19937_64& rng, int max_words) {
    mpz_class v = 0;
    const int words = 1 + static_cast<int>(rng() % max_words);
    for (int i = 0; i < words; i++) v = (v << 64) + mpz_class(std::to_string(rng()));
    return v >> static_cast<int>(rng() % 64);
}

TEST(SquareRoot, BigIntegersBracketTheirRoot) {
    PrimeRing z(0);
    std::mt19937_64 rng(17);
    std::vector<mpz_class> xs = {0, 1, 2, 3, 4, 17, (mpz_class(1) << 28) - 1, mpz_class(1) << 28};
    for (int i = 0; i < 300; i++) {
        mpz_class x = random_big(rng, 4);
        xs.push_back(x);
        xs.push_back(x * x);
        xs.push_back(x * x - 1);
        xs.push_back(x * x + 2 * x);   // (x+1)^2 - 1
    }
    for (const mpz_class& x : xs) {
        if (x < 0) continue;
        Num n(x);
        square_root(n, n);
        const mpz_class r = to_mpz(n);
        ASSERT_LE(r * r, x) << x;
        ASSERT_GT((r + 1) * (r + 1), x) << x;
    }
    Num neg(mpz_class(-17));
    EXPECT_TARVEX_ERROR(square_root(neg, neg), 37);
    EXPECT_EQ(to_mpz(neg), -17);
}

TEST(SquareRoot, MachineWords) {
    RingStateGuard saved;
    PrimeRing z(0);
    lintmode = 1;
    std::mt19937 rng(5);
    std::vector<int64_t> xs = {0, 1, 17, 46340LL * 46340, 46340LL * 46340 - 1, 2147483647};
    for (int i = 0; i < 2000; i++) xs.push_back(rng() & 0x7fffffff);
    for (int64_t x : xs) {
        imag* n = word_number(static_cast<int32_t>(x));
        square_root(n, n);
        const int64_t r = n->value;
        ASSERT_LE(r * r, x);
        ASSERT_GT((r + 1) * (r + 1), x);
        free_imag(&n);
    }
    imag* n = word_number(-4);
    EXPECT_TARVEX_ERROR(square_root(n, n), 37);
    free_imag(&n);
}

TEST(SquareRoot, ResiduesModuloOddPrimes) {
    for (int32_t p : {3, 7, 151, 65521, 1000003}) {
        SCOPED_TRACE(p);
        RingStateGuard saved;
        PrimeRing ring(p);
        const int32_t step = p > 70000 ? 997 : 1;
        for (int32_t x = 0; x < p; x += step) {
            imag* n = word_number(x);
            square_root(n, n);
            const int64_t r = n->value;
            free_imag(&n);
            const bool square = x == 0 || mpz_legendre(mpz_class(x).get_mpz_t(), mpz_class(p).get_mpz_t()) == 1;
            if (!square || x == 0) {
                ASSERT_EQ(r, 0) << x;
            } else {
                ASSERT_EQ(r * r % p, x);
                ASSERT_GE(r, 1);
                ASSERT_LE(r, (p - 1) / 2);
            }
        }
    }
    for (int32_t m : {2, 9, 65535}) {
        RingStateGuard saved;
        PrimeRing ring(m);
        use_modulus(m);
        imag* n = word_number(1);
        EXPECT_TARVEX_ERROR(square_root(n, n), 34);
        free_imag(&n);
    }
}

TEST(SquareRoot, CharacteristicTwoFields) {
    for (int32_t m : {256, 65536}) {
        RingStateGuard saved;
        PrimeRing ring(m);
        for (int32_t x = 0; x < m; x++) {
            imag* n = word_number(x);
            square_root(n, n);
            const uint32_t r = static_cast<uint32_t>(n->value);
            free_imag(&n);
            ASSERT_EQ(m == 256 ? gf8_mul(r, r) : gf16_mul(r, r), static_cast<uint32_t>(x)) << m << " " << x;
        }
        imag* n = word_number(m);
        EXPECT_TARVEX_ERROR(square_root(n, n), 37);
        free_imag(&n);
    }
}

TEST(Floor, RationalsAgainstGmp) {
    PrimeRing z(0);
    std::mt19937_64 rng(29);
    for (int i = 0; i < 2000; i++) {
        mpz_class a = random_big(rng, 3), b = random_big(rng, 2) + 1;
        if (rng() & 1) a = -a;
        quoly* q = rat_q(a, b);
        mpq_class v(a, b);
        v.canonicalize();
        quoly_great_int(&q);
        mpz_class f;
        mpz_fdiv_q(f.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
        ASSERT_TRUE(holds(q, mpq_class(f))) << a << "/" << b;
        free_quoly(&q);
        q = rat_q(a, b);
        quoly_abs(q);
        ASSERT_TRUE(holds(q, abs(v))) << a << "/" << b;
        free_quoly(&q);
    }
    quoly* q = rat_q(-7, 2);
    quoly_great_int(&q);
    EXPECT_TRUE(holds(q, mpq_class(-4)));
    free_quoly(&q);
}

TEST(Floor, RingsThatRefuseOrKeep) {
    RingStateGuard saved;
    {
        PrimeRing z(0);
        lintmode = 1;
        quoly* q = nullptr;
        quoly_set(-5, &q);
        EXPECT_TARVEX_ERROR(quoly_great_int(&q), 62);
        quoly_abs(q);
        EXPECT_EQ(q->nnum->value, 5);
        free_quoly(&q);
    }
    {
        PrimeRing ring(7);
        quoly* q = nullptr;
        quoly_set(5, &q);
        quoly_great_int(&q);
        quoly_abs(q);
        EXPECT_EQ(q->nnum->value, 5);
        free_quoly(&q);
    }
}

TEST(Abs, PolynomialLeavesAtEveryLevel) {
    PrimeRing z(0);
    AttachedVars vars(2);
    BuiltPoly p(2, {{-3, {2, 1}}, {"-123456789012345678901234", {1, 0}}, {4, {0, 3}}, {-1, {0, 0}}});
    quoly* q = nullptr;
    p_q_assign(p, &q);
    quoly_abs(q);
    ASSERT_TRUE(check_quoly_normal(q, 2));
    EXPECT_EQ(read_poly(q->pnum, 2),
              canonical_terms(2, {{3, {2, 1}}, {"123456789012345678901234", {1, 0}}, {4, {0, 3}}, {1, {0, 0}}}));
    free_quoly(&q);
}

mpq_class fraction(const mpz_class& a, const mpz_class& b) {
    mpq_class v(a, b);
    v.canonicalize();
    return v;
}

// Puts v at (r, c) of the matrix (the entry must be absent).
void put(sparse* f, int32_t r, int32_t c, quoly* v) {
    quoly** slot = nullptr;
    sparse_zero_set(row_head(f, r), c, &slot);
    free_quoly(slot);
    *slot = v;
}

TEST(SparseFloor, NoZeroStoredAcrossFrames) {
    PrimeRing z(0);
    if (!quol_num_0) quoly_set(0, &quol_num_0);
    const int32_t n = 5000;
    sparse* f = nullptr;
    sparse_init(&f, n);
    struct Entry {
        int32_t r, c;
        mpz_class a, b;
    };
    std::vector<Entry> entries;
    std::mt19937_64 rng(3);
    for (int32_t r = 1; r <= n; r += 1 + static_cast<int32_t>(rng() % 97))
        for (int32_t c = 1; c <= 40; c += 1 + static_cast<int32_t>(rng() % 13)) {
            mpz_class b = 1 + rng() % 9, a = static_cast<long>(rng() % 61) - 30;
            if (a == 0) a = 1;
            entries.push_back({r, c, a, b});
            put(f, r, c, rat_q(a, b));
        }
    // A shared matrix: the copy changes, the original does not.
    sparse* copy = f;
    sparse_great_abs(&copy, n, 0, 0);
    ASSERT_NE(copy, f);
    size_t kept = 0;
    for (const Entry& e : entries) {
        mpz_class fl;
        mpz_fdiv_q(fl.get_mpz_t(), e.a.get_mpz_t(), e.b.get_mpz_t());
        ASSERT_TRUE(holds(spar_retrieve(f, e.r, e.c), fraction(e.a, e.b)));
        ASSERT_TRUE(holds(spar_retrieve(copy, e.r, e.c), mpq_class(fl)));
        if (fl != 0) kept++;
    }
    size_t stored = 0;
    for (int32_t r = 1; r <= n; r++)
        for (colm* e = *row_head(copy, r); e; e = e->next) {
            ASSERT_FALSE(quoly_iszero(e->val)) << r << " " << e->col;
            stored++;
        }
    EXPECT_EQ(stored, kept);
    EXPECT_LT(kept, entries.size());   // entries between 0 and 1 were there
    // Absolute values in place.
    sparse_great_abs(&f, n, 1, 1);
    for (const Entry& e : entries) ASSERT_TRUE(holds(spar_retrieve(f, e.r, e.c), abs(fraction(e.a, e.b))));
    free_sparse(&f, n, 1);
    free_sparse(&copy, n, 1);
}

TEST(SparseFloor, MachineIntegersRefuseButCopy) {
    RingStateGuard saved;
    PrimeRing z(0);
    if (!quol_num_0) quoly_set(0, &quol_num_0);
    lintmode = 1;
    sparse* f = nullptr;
    sparse_init(&f, 3);
    quoly* v = nullptr;
    quoly_set(-4, &v);
    put(f, 2, 2, v);
    sparse* copy = f;
    EXPECT_TARVEX_ERROR(sparse_great_abs(&copy, 3, 0, 0), 62);
    EXPECT_EQ(copy, f);   // refused before anything was copied
    free_sparse(&f, 3, 1);
}

TEST(Content, EveryKindOfValue) {
    RingStateGuard saved;
    PrimeRing z(0);
    AttachedVars vars(1);
    quoly* r = nullptr;
    number_content(nullptr, &r);
    EXPECT_TRUE(holds(r, 0));
    quoly* q = big_q(mpz_class("-123456789012345678901234567"));
    number_content(q, &r);
    EXPECT_TRUE(holds(r, mpq_class("123456789012345678901234567")));
    free_quoly(&q);
    q = rat_q(-3, 4);
    number_content(q, &r);
    EXPECT_TRUE(holds(r, mpq_class(3, 4)));
    // The result may go into the argument's own slot.
    number_content(q, &q);
    EXPECT_TRUE(holds(q, mpq_class(3, 4)));
    free_quoly(&q);
    BuiltPoly p(1, {{-12, {2}}, {18, {1}}, {-30, {0}}});
    p_q_assign(p, &q);
    number_content(q, &r);
    EXPECT_TRUE(holds(r, 6));
    // A rational function: error 196, then 0.
    quoly* d = nullptr;
    BuiltPoly x(1, {{1, {1}}, {1, {0}}});
    p_q_assign(x, &d);
    quoly* f = nullptr;
    quoly_quot(q, d, &f, 0);
    EXPECT_TARVEX_ERROR(number_content(f, &r), 196);
    lintmode = 1;
    quoly* w = nullptr;
    quoly_set(-7, &w);
    number_content(w, &r);
    EXPECT_EQ(r->nnum->value, 1);
    for (quoly** s : {&q, &d, &f, &w, &r}) free_quoly(s);
}

TEST(PthRoot, OnlyInsideTheFieldTower) {
    RingStateGuard saved;
    PrimeRing ring(7);
    AttachedVars vars(2);
    VarGlobalsGuard globals;
    BuiltPoly p(2, {{1, {0, 7}}, {3, {0, 0}}});   // y^7 + 3: its first variable is level 2
    quoly* q = nullptr;
    p_q_assign(p, &q);
    field_depth = 0;
    EXPECT_TARVEX_ERROR(quoly_pth_root(&q), 301);
    field_depth = 3;
    EXPECT_TARVEX_ERROR(quoly_pth_root(&q), 301);
    EXPECT_EQ(read_poly(q->pnum, 2), canonical_terms(2, {{1, {0, 7}}, {3, {0, 0}}}));
    // At a field level: y^2 + 1 over GF(7) has y^7 = -y, so the root of
    // the value y + 3 (level 2 under the padding of level 1) is -y + 3.
    {
        FieldLevel f(polynames->next, 1, canonical_terms(1, {{1, {2}}, {1, {0}}}), 2, false);
        BuiltPoly y3(2, {{1, {0, 1}}, {3, {0, 0}}});
        quoly* r = nullptr;
        p_q_assign(y3, &r);
        quoly_pth_root(&r);
        ASSERT_FALSE(r->isnum);
        EXPECT_TRUE(check_poly_shape(r->pnum, 2));
        EXPECT_EQ(read_poly(r->pnum, 2), canonical_terms(2, {{-1, {0, 1}}, {3, {0, 0}}}));
        free_quoly(&r);
    }
    quoly* c = nullptr;
    quoly_set(5, &c);
    quoly_pth_root(&c);   // a number is its own root
    EXPECT_EQ(c->nnum->value, 5);
    free_quoly(&q);
    free_quoly(&c);
}

}  // namespace
