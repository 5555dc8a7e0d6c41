// Sparse echelon forms: random matrices over Q, Z, Z/p, GF(2^8), GF(2^16)
// and polynomials in one and two variables, wide, square and tall, with
// rank-deficient, zero and one-column shapes. Every result is checked by
// the identities its transforms must satisfy (products formed here, cell
// by cell), by its shape, and for numbers against an echelon form, rank and
// minor computed here on GMP values or residues; every record comes back.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_echelon.h"
#include "matrix/sparse_mod_echelon.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "support/expect_error.h"
#include "support/field_ref.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

constexpr int32_t NO_LIMIT = 268435456;

// ---------------------------------------------------------------- reference arithmetic
// Q outside modular mode; residues (or field elements) 0 .. m-1 inside it.
mpq_class add(const mpq_class& a, const mpq_class& b) {
    if (!modularmode) return a + b;
    return r_add(static_cast<uint32_t>(a.get_num().get_ui()), static_cast<uint32_t>(b.get_num().get_ui()));
}
mpq_class mul(const mpq_class& a, const mpq_class& b) {
    if (!modularmode) return a * b;
    return r_mul(static_cast<uint32_t>(a.get_num().get_ui()), static_cast<uint32_t>(b.get_num().get_ui()));
}
mpq_class neg(const mpq_class& a) {
    if (!modularmode) return -a;
    if (finf || a == 0) return a;
    return mpq_class(modulus - a.get_num().get_si());
}
// Inverse by a^(m-2): Fermat for a prime m, the group order 2^k - 1 for GF(2^k).
mpq_class inv(const mpq_class& a) {
    if (!modularmode) return 1 / a;
    mpq_class r = 1, b = a;
    for (uint64_t e = static_cast<uint64_t>(modulus) - 2; e; e >>= 1) {
        if (e & 1) r = mul(r, b);
        b = mul(b, b);
    }
    return r;
}

// Row r := row r - f x row s, columns from c on.
void row_sub(Model& a, int32_t r, int32_t s, const mpq_class f, int32_t c) {
    for (int32_t j = c; j <= a.m; j++) a.at(r, j) = add(a.at(r, j), neg(mul(f, a.at(s, j))));
}

// Reduced row echelon form with no pivot in the last column; *rank its pivots.
Model ref_rref(Model a, int32_t* rank) {
    int32_t r = 1;
    for (int32_t c = 1; c < a.m && r <= a.n; c++) {
        int32_t p = r;
        while (p <= a.n && a.at(p, c) == 0) p++;
        if (p > a.n) continue;
        for (int32_t j = 1; j <= a.m; j++) std::swap(a.at(p, j), a.at(r, j));
        const mpq_class iv = inv(a.at(r, c));
        for (int32_t j = 1; j <= a.m; j++) a.at(r, j) = mul(a.at(r, j), iv);
        for (int32_t i = 1; i <= a.n; i++)
            if (i != r && a.at(i, c) != 0) row_sub(a, i, r, a.at(i, c), 1);
        r++;
    }
    *rank = r - 1;
    return a;
}

int32_t ref_rank(Model a) {
    Model wide(a.n, a.m + 1);   // an extra last column: every real column may hold a pivot
    for (int32_t i = 1; i <= a.n; i++)
        for (int32_t j = 1; j <= a.m; j++) wide.at(i, j) = a.at(i, j);
    int32_t rank = 0;
    ref_rref(wide, &rank);
    return rank;
}

mpq_class ref_det(Model a) {
    mpq_class d = 1;
    for (int32_t k = 1; k <= a.n; k++) {
        int32_t p = k;
        while (p <= a.n && a.at(p, k) == 0) p++;
        if (p > a.n) return 0;
        if (p != k) {
            for (int32_t j = 1; j <= a.n; j++) std::swap(a.at(p, j), a.at(k, j));
            d = neg(d);
        }
        d = mul(d, a.at(k, k));
        const mpq_class iv = inv(a.at(k, k));
        for (int32_t i = k + 1; i <= a.n; i++)
            if (a.at(i, k) != 0) row_sub(a, i, k, mul(a.at(i, k), iv), k);
    }
    return d;
}

// A number quoly's value as the ground ring holds it (the value word in modular mode).
mpq_class value_of(const quoly* q) {
    if (q->isnum && lintmode) return mpq_class(number_value(q->nnum));
    return quoly_value(q);
}

// ---------------------------------------------------------------- dense quoly matrices
// Row-major cells, every one a quoly (zeros included), for the identity checks.
struct QDense {
    int32_t n, m;
    std::vector<quoly*> v;
    QDense(int32_t rows, int32_t cols) : n(rows), m(cols), v(size_t(rows) * cols, nullptr) {
        for (auto& q : v) quoly_set(0, &q);
    }
    QDense(QDense&& o) noexcept : n(o.n), m(o.m), v(std::move(o.v)) {}
    ~QDense() {
        for (auto& q : v) free_quoly(&q);
    }
    quoly*& at(int32_t r, int32_t c) { return v[size_t(r - 1) * m + (c - 1)]; }
    quoly* at(int32_t r, int32_t c) const { return v[size_t(r - 1) * m + (c - 1)]; }
};

QDense dense_of(sparse* f, int32_t n, int32_t m) {
    QDense d(n, m);
    for (int32_t r = 1; r <= n; r++)
        for (const colm* e = *row_head(f, r); e; e = e->next) quoly_assign(e->val, &d.at(r, e->col));
    return d;
}

// x (sparse, n rows) times y.
QDense mul(sparse* x, int32_t n, const QDense& y) {
    QDense d(n, y.m);
    for (int32_t r = 1; r <= n; r++)
        for (const colm* e = *row_head(x, r); e; e = e->next)
            for (int32_t j = 1; j <= y.m; j++) {
                quoly* t = nullptr;
                quoly_mult(e->val, y.at(e->col, j), &t);
                best_quoly_add(&d.at(r, j), t);
            }
    return d;
}

QDense mul(const QDense& x, const QDense& y) {
    QDense d(x.n, y.m);
    for (int32_t r = 1; r <= x.n; r++)
        for (int32_t k = 1; k <= x.m; k++) {
            if (quoly_iszero(x.at(r, k))) continue;
            for (int32_t j = 1; j <= y.m; j++) {
                quoly* t = nullptr;
                quoly_mult(x.at(r, k), y.at(k, j), &t);
                best_quoly_add(&d.at(r, j), t);
            }
        }
    return d;
}

::testing::AssertionResult same(const QDense& a, const QDense& b) {
    if (a.n != b.n || a.m != b.m) return ::testing::AssertionFailure() << "shapes differ";
    for (int32_t r = 1; r <= a.n; r++)
        for (int32_t c = 1; c <= a.m; c++)
            if (!quoly_equal(a.at(r, c), b.at(r, c)))
                return ::testing::AssertionFailure() << "cells (" << r << ", " << c << ") differ";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult identity(const QDense& a) {
    for (int32_t r = 1; r <= a.n; r++)
        for (int32_t c = 1; c <= a.m; c++) {
            const bool one = quoly_eq_1(a.at(r, c));
            if (r == c ? !one : !quoly_iszero(a.at(r, c)))
                return ::testing::AssertionFailure() << "not the identity at (" << r << ", " << c << ")";
        }
    return ::testing::AssertionSuccess();
}

QDense dense_from_model(const Model& md) {
    QDense d(md.n, md.m);
    for (int32_t r = 1; r <= md.n; r++)
        for (int32_t c = 1; c <= md.m; c++)
            if (md.at(r, c) != 0) {
                free_quoly(&d.at(r, c));
                d.at(r, c) = make_q(md.at(r, c));
            }
    return d;
}

// A sparse array record over copies of the non-zero cells.
struct SparseArray {
    array a{};
    explicit SparseArray(const QDense& d) {
        a.rows = d.n;
        special_set_2(d.n, d.m, &a.size);
        a.sparse = new_frame_chain(d.n);
        for (int32_t r = 1; r <= d.n; r++) {
            colm** tail = row_head(a.sparse, r);
            for (int32_t c = 1; c <= d.m; c++) {
                if (quoly_iszero(d.at(r, c))) continue;
                colm* e = take_colm();
                e->col = c;
                e->val = nullptr;
                quoly_assign(d.at(r, c), &e->val);
                e->next = nullptr;
                *tail = e;
                tail = &e->next;
            }
        }
    }
    ~SparseArray() {
        free_sparse(&a.sparse, a.rows, 1);
        special_free(&a.size);
    }
};

struct Outputs {
    sparse* s[4] = {nullptr, nullptr, nullptr, nullptr};
    int32_t size[4] = {0, 0, 0, 0};
    ~Outputs() {
        for (int i = 0; i < 4; i++) free_sparse(&s[i], size[i], 1);
    }
};

// ---------------------------------------------------------------- random matrices
enum class Kind { integers, rationals, residues, poly1, poly2 };

// density in percent; shape 0 full, 1 a zero row, 2 a zero column, 3 a
// repeated row (scaled), 4 the zero matrix.
Model random_model(std::mt19937_64& rng, int32_t n, int32_t m, Kind kind, int density, int shape) {
    Model md(n, m);
    std::uniform_int_distribution<int> pct(1, 100), small(-9, 9), den(1, 6);
    std::uniform_int_distribution<int64_t> res(1, modularmode ? modulus - 1 : 1);
    for (int32_t r = 1; r <= n; r++)
        for (int32_t c = 1; c <= m; c++) {
            if (pct(rng) > density) continue;
            if (kind == Kind::residues)
                md.at(r, c) = mpq_class(mpz_class(static_cast<unsigned long>(res(rng))));
            else if (kind == Kind::rationals)
                md.at(r, c) = mpq_class(small(rng), den(rng));
            else
                md.at(r, c) = small(rng);
            md.at(r, c).canonicalize();
        }
    std::uniform_int_distribution<int32_t> rr(1, n), cc(1, m);
    if (shape == 1)
        for (int32_t c = 1, r = rr(rng); c <= m; c++) md.at(r, c) = 0;
    if (shape == 2)
        for (int32_t r = 1, c = cc(rng); r <= n; r++) md.at(r, c) = 0;
    if (shape == 3 && n > 1) {
        const int32_t r = rr(rng), s = r % n + 1;
        const mpq_class f = kind == Kind::residues ? mpq_class(2 % modulus ? 2 : 1) : mpq_class(-3);
        for (int32_t c = 1; c <= m; c++) md.at(s, c) = mul(f, md.at(r, c));
    }
    if (shape == 4)
        for (auto& x : md.v) x = 0;
    return md;
}

QDense random_polys(std::mt19937_64& rng, int32_t n, int32_t m, int vars, int density, int shape) {
    QDense d(n, m);
    std::uniform_int_distribution<int> pct(1, 100), coef(-4, 4), ex(0, 2), len(1, 2);
    for (int32_t r = 1; r <= n; r++)
        for (int32_t c = 1; c <= m; c++) {
            if (pct(rng) > density) continue;
            TermList t;
            for (int k = len(rng); k > 0; k--) {
                std::vector<int32_t> e(vars);
                for (auto& x : e) x = ex(rng);
                t.push_back({coef(rng), e});
            }
            HeldPoly p(build_poly(vars, t));
            p_q_assign(p.p, &d.at(r, c));
        }
    if (shape == 3 && n > 1) {
        for (int32_t c = 1; c <= m; c++) quoly_assign(d.at(1, c), &d.at(n, c));
    }
    if (shape == 1)
        for (int32_t c = 1; c <= m; c++) quoly_set(0, &d.at(1, c));
    return d;
}

// ---------------------------------------------------------------- checks
// E in reduced row echelon form of rank `rank` (pivots left of the last column).
::testing::AssertionResult rref_shape(const QDense& e, int32_t rank) {
    int32_t last = 0;
    for (int32_t r = 1; r <= e.n; r++) {
        int32_t lead = 0;
        for (int32_t c = 1; c < e.m && !lead; c++)
            if (!quoly_iszero(e.at(r, c))) lead = c;
        if (r > rank) {
            if (lead) return ::testing::AssertionFailure() << "row " << r << " past the rank has column " << lead;
            continue;
        }
        if (!lead || lead <= last) return ::testing::AssertionFailure() << "row " << r << " leads badly";
        if (!quoly_eq_1(e.at(r, lead))) return ::testing::AssertionFailure() << "pivot of row " << r << " not 1";
        for (int32_t i = 1; i <= e.n; i++)
            if (i != r && !quoly_iszero(e.at(i, lead)))
                return ::testing::AssertionFailure() << "pivot column " << lead << " holds row " << i;
        last = lead;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult upper_shape(const QDense& a, int32_t rank) {
    for (int32_t r = 1; r <= a.n; r++)
        for (int32_t c = 1; c <= a.m; c++) {
            const bool zero = quoly_iszero(a.at(r, c));
            if ((c < r || r > rank) && !zero)
                return ::testing::AssertionFailure() << "(" << r << ", " << c << ") should be 0";
            if (c == r && r <= rank && zero) return ::testing::AssertionFailure() << "pivot " << r << " is 0";
        }
    return ::testing::AssertionSuccess();
}

// Redrowech on a0 with every transform, then each smaller request giving
// the same form and the same transforms.
void check_redrowech(const QDense& a0, const Model* md, const std::string& what) {
    const int32_t R = a0.n, K = a0.m;
    SparseArray arr(a0);
    Outputs out;
    out.size[0] = out.size[1] = R;
    const int all[2] = {1, 1};
    const int32_t rank = sparse_redrowech(&arr.a, all, out.s);
    ASSERT_TRUE(sparse_ok(arr.a.sparse, R, K)) << what;
    ASSERT_TRUE(sparse_ok(out.s[0], R, R)) << what;
    ASSERT_TRUE(sparse_ok(out.s[1], R, R)) << what;
    const QDense e = dense_of(arr.a.sparse, R, K);
    EXPECT_TRUE(rref_shape(e, rank)) << what;
    EXPECT_TRUE(same(mul(out.s[0], R, a0), e)) << what << ": L A0 = E";
    EXPECT_TRUE(same(mul(out.s[1], R, e), a0)) << what << ": Linv E = A0";
    EXPECT_TRUE(identity(mul(out.s[0], R, dense_of(out.s[1], R, R)))) << what << ": L Linv = I";
    if (md) {
        int32_t want = 0;
        const Model ref = ref_rref(*md, &want);
        EXPECT_EQ(rank, want) << what;
        // The last column depends on the pivots chosen when rows are dependent.
        for (int32_t r = 1; r <= R; r++)
            for (int32_t c = 1; c < K; c++)
                EXPECT_EQ(value_of(e.at(r, c)), ref.at(r, c)) << what << ": (" << r << ", " << c << ")";
    }
    for (int f = 0; f < 3; f++) {
        SparseArray again(a0);
        Outputs part;
        part.size[0] = part.size[1] = R;
        const int flags[2] = {f & 1, f >> 1};
        EXPECT_EQ(sparse_redrowech(&again.a, flags, part.s), rank) << what;
        EXPECT_TRUE(same(dense_of(again.a.sparse, R, K), e)) << what << " flags " << f;
        for (int i = 0; i < 2; i++) {
            if (flags[i])
                EXPECT_TRUE(same(dense_of(part.s[i], R, R), dense_of(out.s[i], R, R))) << what << " output " << i;
            else
                EXPECT_EQ(part.s[i], nullptr);
        }
    }
}

// Rowreduce with every transform; then every subset of them.
void check_rowreduce(const QDense& a0, const Model* md, const std::string& what, bool subsets) {
    const int32_t R = a0.n, K = a0.m;
    SparseArray arr(a0);
    Outputs out;
    out.size[0] = out.size[2] = R;
    out.size[1] = out.size[3] = K;
    const int all[4] = {1, 1, 1, 1};
    const int32_t rank = sparse_rowreduce(&arr.a, 0, all, nullptr, out.s, NO_LIMIT);
    ASSERT_TRUE(sparse_ok(arr.a.sparse, R, K)) << what;
    for (int i = 0; i < 4; i++) ASSERT_TRUE(sparse_ok(out.s[i], out.size[i], out.size[i])) << what << " " << i;
    const QDense a = dense_of(arr.a.sparse, R, K);
    EXPECT_TRUE(upper_shape(a, rank)) << what;
    const QDense q = dense_of(out.s[1], K, K);
    EXPECT_TRUE(same(mul(mul(out.s[0], R, a0), q), a)) << what << ": P A0 Q = A";
    EXPECT_TRUE(identity(mul(out.s[0], R, dense_of(out.s[2], R, R)))) << what << ": P P2 = I";
    EXPECT_TRUE(identity(mul(out.s[1], K, dense_of(out.s[3], K, K)))) << what << ": Q Q2 = I";
    if (md) {
        EXPECT_EQ(rank, ref_rank(*md)) << what;
    }
    if (!subsets) return;
    for (int f = 0; f < 15; f++) {
        SparseArray again(a0);
        Outputs part;
        for (int i = 0; i < 4; i++) part.size[i] = out.size[i];
        const int flags[4] = {f & 1, (f >> 1) & 1, (f >> 2) & 1, f >> 3};
        EXPECT_EQ(sparse_rowreduce(&again.a, 0, flags, nullptr, part.s, NO_LIMIT), rank) << what;
        EXPECT_TRUE(same(dense_of(again.a.sparse, R, K), a)) << what << " flags " << f;
        for (int i = 0; i < 4; i++) {
            if (flags[i])
                EXPECT_TRUE(same(dense_of(part.s[i], part.size[i], part.size[i]),
                                 dense_of(out.s[i], out.size[i], out.size[i])))
                    << what << " output " << i;
            else
                EXPECT_EQ(part.s[i], nullptr);
        }
    }
}

// Pseudet: the diagonal's product is +- the minor of A0 at the pairs, and
// at most limit pivots are taken.
void check_pseudet(const Model& md, int32_t limit, const std::string& what) {
    const QDense a0 = dense_from_model(md);
    SparseArray arr(a0);
    Outputs out;
    std::vector<int32_t> pairs;
    const int flags[4] = {1, 0, 0, 0};
    const int32_t rank = sparse_rowreduce(&arr.a, 1, flags, &pairs, out.s, limit);
    EXPECT_EQ(out.s[0], nullptr) << what;
    ASSERT_TRUE(sparse_ok(arr.a.sparse, md.n, md.m)) << what;
    EXPECT_EQ(rank, std::min(limit, ref_rank(md))) << what;
    ASSERT_EQ(pairs.size(), 2 * size_t(rank)) << what;
    Model minor(rank, rank);
    std::vector<int32_t> rows, cols;
    for (int32_t i = 0; i < rank; i++) {
        rows.push_back(pairs[2 * i] - addresser + 1);
        cols.push_back(pairs[2 * i + 1] - addresser + 1);
    }
    for (int32_t i = 0; i < rank; i++)
        for (int32_t j = 0; j < rank; j++) minor.at(i + 1, j + 1) = md.at(rows[i], cols[j]);
    mpq_class diag = 1;
    for (int32_t i = 1; i <= rank; i++) {
        const colm* e = *row_head(arr.a.sparse, i);
        ASSERT_TRUE(e && e->col == i && !e->next) << what << ": row " << i << " keeps only its pivot";
        diag = mul(diag, value_of(e->val));
    }
    const mpq_class d = ref_det(minor);
    EXPECT_NE(d, 0) << what;
    EXPECT_TRUE(diag == d || diag == neg(d)) << what << " diag " << diag.get_str() << " minor " << d.get_str();
}

struct Sizes {
    int32_t n, m;
};
const Sizes kShapes[] = {{1, 1}, {3, 1}, {1, 4}, {4, 4}, {5, 8}, {9, 6}, {12, 12}, {7, 15}, {20, 11}};

void numbers_in(Kind kind, int32_t p, uint64_t seed) {
    PrimeRing ring(p);
    std::mt19937_64 rng(seed);
    RecordLedger ledger;
    const int64_t colms = colms_in_use();
    for (const Sizes& s : kShapes)
        for (int shape = 0; shape <= 4; shape++)
            for (int density : {30, 70}) {
                const Model md = random_model(rng, s.n, s.m, kind, density, shape);
                const QDense a0 = dense_from_model(md);
                const std::string what = std::to_string(s.n) + "x" + std::to_string(s.m) + " shape " +
                                         std::to_string(shape) + " density " + std::to_string(density);
                check_redrowech(a0, &md, what);
                check_rowreduce(a0, &md, what, density == 30 && s.n < 10);
                check_pseudet(md, NO_LIMIT, what);
                check_pseudet(md, 1 + s.n / 3, what + " limited");
            }
    EXPECT_EQ(colms_in_use(), colms);
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseEchelon, Integers) { numbers_in(Kind::integers, 0, 11); }
TEST(SparseEchelon, Rationals) { numbers_in(Kind::rationals, 0, 12); }
TEST(SparseEchelon, ResiduesMod7) { numbers_in(Kind::residues, 7, 13); }
TEST(SparseEchelon, ResiduesMod65521) { numbers_in(Kind::residues, 65521, 14); }
TEST(SparseEchelon, ResiduesNearWordPrime) { numbers_in(Kind::residues, 2147483629, 15); }
TEST(SparseEchelon, FieldOf256) { numbers_in(Kind::residues, 256, 16); }
TEST(SparseEchelon, FieldOf65536) { numbers_in(Kind::residues, 65536, 17); }

void polys_in(int vars, int32_t p, uint64_t seed) {
    PrimeRing ring(p);
    AttachedVars attached(vars);
    std::mt19937_64 rng(seed);
    RecordLedger ledger;
    for (const Sizes& s : {Sizes{1, 3}, Sizes{3, 3}, Sizes{4, 6}, Sizes{6, 4}, Sizes{5, 5}})
        for (int shape : {0, 1, 3}) {
            const QDense a0 = random_polys(rng, s.n, s.m, vars, 45, shape);
            const std::string what = "polys " + std::to_string(s.n) + "x" + std::to_string(s.m);
            check_redrowech(a0, nullptr, what);
            check_rowreduce(a0, nullptr, what, s.n == 3);
        }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseEchelon, PolysOneVariable) { polys_in(1, 0, 21); }
TEST(SparseEchelon, PolysTwoVariables) { polys_in(2, 0, 22); }
TEST(SparseEchelon, PolysOneVariableModP) { polys_in(1, 65521, 23); }

}  // namespace

namespace {

QDense random_dense(std::mt19937_64& rng, int32_t n, int32_t m) {
    Model md(n, m);
    std::uniform_int_distribution<int64_t> res(0, modularmode ? modulus - 1 : 9);
    for (auto& x : md.v) x = mpq_class(mpz_class(static_cast<unsigned long>(res(rng))));
    return dense_from_model(md);
}

// Rows past the second frame carry the pivots: interchanges and updates
// reach across frames, and the transforms are checked on random vectors
// (x = L (Linv x), x = P2 (P x)) rather than as whole products.
void across_frames(int32_t p, uint64_t seed) {
    PrimeRing ring(p);
    std::mt19937_64 rng(seed);
    RecordLedger ledger;
    const int32_t R = 4100, K = 5;
    {
    Model md(R, K);
    std::uniform_int_distribution<int32_t> row(2100, R), col(1, K);
    std::uniform_int_distribution<int64_t> res(1, modularmode ? modulus - 1 : 9);
    for (int k = 0; k < 12; k++) md.at(row(rng), col(rng)) = mpq_class(mpz_class(static_cast<unsigned long>(res(rng))));
    md.at(R, 1) = 1;
    md.at(2049, 2) = 2 % (modularmode ? modulus : 3);
    const QDense a0 = dense_from_model(md);
    const std::string what = "across frames mod " + std::to_string(p);
    {
        SparseArray arr(a0);
        Outputs out;
        out.size[0] = out.size[1] = R;
        const int all[2] = {1, 1};
        const int32_t rank = sparse_redrowech(&arr.a, all, out.s);
        ASSERT_TRUE(sparse_ok(arr.a.sparse, R, K)) << what;
        ASSERT_TRUE(sparse_ok(out.s[0], R, R)) << what;
        ASSERT_TRUE(sparse_ok(out.s[1], R, R)) << what;
        int32_t want = 0;
        const Model ref = ref_rref(md, &want);
        EXPECT_EQ(rank, want) << what;
        const QDense e = dense_of(arr.a.sparse, R, K);
        for (int32_t r = 1; r <= R; r++)
            for (int32_t c = 1; c < K; c++) ASSERT_EQ(value_of(e.at(r, c)), ref.at(r, c)) << what << " " << r;
        EXPECT_TRUE(same(mul(out.s[0], R, a0), e)) << what;
        EXPECT_TRUE(same(mul(out.s[1], R, e), a0)) << what;
        const QDense x = random_dense(rng, R, 2);
        EXPECT_TRUE(same(mul(out.s[0], R, mul(out.s[1], R, x)), x)) << what;
    }
    {
        SparseArray arr(a0);
        Outputs out;
        out.size[0] = out.size[2] = R;
        out.size[1] = out.size[3] = K;
        const int all[4] = {1, 1, 1, 1};
        const int32_t rank = sparse_rowreduce(&arr.a, 0, all, nullptr, out.s, NO_LIMIT);
        ASSERT_TRUE(sparse_ok(arr.a.sparse, R, K)) << what;
        for (int i = 0; i < 4; i++) ASSERT_TRUE(sparse_ok(out.s[i], out.size[i], out.size[i])) << what;
        EXPECT_EQ(rank, ref_rank(md)) << what;
        const QDense a = dense_of(arr.a.sparse, R, K);
        EXPECT_TRUE(upper_shape(a, rank)) << what;
        EXPECT_TRUE(same(mul(mul(out.s[0], R, a0), dense_of(out.s[1], K, K)), a)) << what;
        const QDense x = random_dense(rng, R, 2);
        EXPECT_TRUE(same(mul(out.s[2], R, mul(out.s[0], R, x)), x)) << what;
        EXPECT_TRUE(identity(mul(out.s[1], K, dense_of(out.s[3], K, K)))) << what;
    }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseEchelon, AcrossFramesRationals) { across_frames(0, 31); }
TEST(SparseEchelon, AcrossFramesMod7) { across_frames(7, 32); }
TEST(SparseEchelon, AcrossFramesFieldOf256) { across_frames(256, 33); }

// The residue route against the general one on the same matrices: the
// general route is taken when the modulus is not known to be prime.
void residue_against_general(int32_t p, uint64_t seed) {
    PrimeRing ring(p);
    std::mt19937_64 rng(seed);
    for (const Sizes& s : {Sizes{6, 9}, Sizes{10, 10}, Sizes{14, 7}})
        for (int shape : {0, 3}) {
            const Model md = random_model(rng, s.n, s.m, Kind::residues, 35, shape);
            const QDense a0 = dense_from_model(md);
            SparseArray fast(a0), slow(a0);
            Outputs fo, so;
            fo.size[0] = fo.size[1] = so.size[0] = so.size[1] = s.n;
            const int flags[2] = {1, 1};
            const int32_t rf = sparse_redrowech(&fast.a, flags, fo.s);
            int32_t rs = 0;
            {
                const int keep = mod_is_prime;
                mod_is_prime = 0;
                rs = sparse_redrowech(&slow.a, flags, so.s);
                mod_is_prime = keep;
            }
            EXPECT_EQ(rf, rs);
            EXPECT_TRUE(sparse_ok(fast.a.sparse, s.n, s.m));
            EXPECT_TRUE(sparse_ok(slow.a.sparse, s.n, s.m));
            const QDense f = dense_of(fast.a.sparse, s.n, s.m), g = dense_of(slow.a.sparse, s.n, s.m);
            // The right-hand column depends on which dependent rows gave pivots.
            for (int32_t r = 1; r <= s.n; r++)
                for (int32_t c = 1; c < s.m; c++)
                    EXPECT_EQ(value_of(f.at(r, c)), value_of(g.at(r, c))) << "(" << r << ", " << c << ")";
            SparseArray fr(a0), sr(a0);
            Outputs fro, sro;
            const int none[4] = {0, 0, 0, 0};
            const int32_t kf = sparse_rowreduce(&fr.a, 0, none, nullptr, fro.s, NO_LIMIT);
            const int keep = mod_is_prime;
            mod_is_prime = 0;
            const int32_t ks = sparse_rowreduce(&sr.a, 0, none, nullptr, sro.s, NO_LIMIT);
            mod_is_prime = keep;
            EXPECT_EQ(kf, ks);
            EXPECT_EQ(kf, ref_rank(md));
        }
}

TEST(SparseEchelon, ResidueRouteAgreesMod65521) { residue_against_general(65521, 41); }
TEST(SparseEchelon, ResidueRouteAgreesFieldOf65536) { residue_against_general(65536, 42); }

// Hand-made cases: the step limit on both routes, the pairs of a diagonal
// in either index base, an empty matrix, and a singular coefficient part.
TEST(SparseEchelon, LimitsPairsAndEmptyMatrices) {
    for (int32_t p : {0, 7}) {
        PrimeRing ring(p);
        RecordLedger ledger;
        {
        Model diag(4, 4);
        for (int32_t i = 1; i <= 4; i++) diag.at(i, i) = i + 1;
        const QDense d = dense_from_model(diag);
        for (int32_t base : {1, 0}) {
            const int32_t keep = addresser;
            addresser = base;
            SparseArray arr(d);
            Outputs out;
            std::vector<int32_t> pairs;
            const int flags[4] = {1, 0, 0, 0};
            EXPECT_EQ(sparse_rowreduce(&arr.a, 1, flags, &pairs, out.s, NO_LIMIT), 4);
            addresser = keep;
            std::vector<int32_t> want;
            for (int32_t i = 1; i <= 4; i++) want.insert(want.end(), {i - 1 + base, i - 1 + base});
            EXPECT_EQ(pairs, want) << "base " << base;
        }
        // A limit of 1: one step, and only column 1 cleared below the pivot.
        Model full(3, 3);
        for (int32_t i = 1; i <= 3; i++)
            for (int32_t j = 1; j <= 3; j++) full.at(i, j) = (i == j ? 2 : 1);
        SparseArray one(dense_from_model(full));
        Outputs out;
        std::vector<int32_t> pairs;
        const int flags[4] = {1, 0, 0, 0};
        EXPECT_EQ(sparse_rowreduce(&one.a, 1, flags, &pairs, out.s, 1), 1) << "mod " << p;
        EXPECT_EQ(pairs.size(), 2u);
        int32_t entries = 0;
        for (int32_t r = 1; r <= 3; r++)
            for (const colm* e = *row_head(one.a.sparse, r); e; e = e->next) entries++;
        EXPECT_EQ(entries, 5) << "pivot alone in row 1, two entries in rows 2 and 3";
        // Nothing stored: rank 0 either way, nothing made beyond the identities.
        QDense zero(3, 4);
        SparseArray z(zero);
        Outputs zo;
        zo.size[0] = zo.size[1] = 3;
        const int both[2] = {1, 1};
        EXPECT_EQ(sparse_redrowech(&z.a, both, zo.s), 0);
        EXPECT_TRUE(identity(dense_of(zo.s[0], 3, 3)));
        // The coefficient part [1 2; 2 4] is singular: only one pivot counts,
        // though the right-hand column would give a second.
        Model aug(2, 3);
        aug.at(1, 1) = 1, aug.at(1, 2) = 2, aug.at(2, 1) = 2, aug.at(2, 2) = 4, aug.at(1, 3) = 1, aug.at(2, 3) = 3;
        SparseArray s(dense_from_model(aug));
        Outputs so;
        const int no[2] = {0, 0};
        EXPECT_EQ(sparse_redrowech(&s.a, no, so.s), 1);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

// Beyond the pivot search's tables the general routine refuses, before
// anything is made; the residue route has no such bound.
TEST(SparseEchelon, SizeBeyondTheTables) {
    {
        PrimeRing ring(0);
        const int all[4] = {1, 1, 1, 1};
        for (const Sizes& s : {Sizes{50001, 2}, Sizes{2, 50001}}) {
            array a{};
            a.rows = s.n;
            special_set_2(s.n, s.m, &a.size);
            a.sparse = new_frame_chain(s.n);
            Outputs out;
            EXPECT_TARVEX_ERROR(sparse_rowreduce(&a, 0, all, nullptr, out.s, NO_LIMIT), 375);
            for (sparse* t : out.s) EXPECT_EQ(t, nullptr);
            free_sparse(&a.sparse, a.rows, 1);
            special_free(&a.size);
        }
    }
    PrimeRing ring(7);
    array a{};
    a.rows = 50001;
    special_set_2(50001, 2, &a.size);
    a.sparse = new_frame_chain(50001);
    quoly* three = nullptr;
    quoly_set_lint(3, &three);
    sparse_insert(50001 + addresser - 1, 2 + addresser - 1, &a, 1, &three);
    free_quoly(&three);
    Outputs out;
    const int none[4] = {0, 0, 0, 0};
    EXPECT_EQ(sparse_rowreduce(&a, 0, none, nullptr, out.s, NO_LIMIT), 1);
    EXPECT_TRUE(sparse_ok(a.sparse, 50001, 2));
    EXPECT_EQ(spar_retrieve(a.sparse, 1, 1)->nnum->value, 3);
    free_sparse(&a.sparse, a.rows, 1);
    special_free(&a.size);
}

}  // namespace

namespace {

// A rank above 500,000 is refused after the reduction (error 326) only when
// the pivot pairs are to be written; a reduction that records none (plain
// row reduction, or Pseudet without its pair array) returns the rank.
TEST(SparseEchelon, TooManyPivotPairs) {
    PrimeRing ring(7);
    const int32_t n = 500001;
    struct Call { int pseudet; int want_pairs; };
    for (const Call c : {Call{1, 1}, Call{1, 0}, Call{0, 0}}) {
        array a{};
        a.rows = n;
        special_set_2(n, n, &a.size);
        a.sparse = new_frame_chain(n);
        for (int32_t r = 1; r <= n; r++) {
            colm* e = take_colm();
            e->col = r;
            e->val = nullptr;
            quoly_set_lint(1 + r % 6, &e->val);
            e->next = nullptr;
            *row_head(a.sparse, r) = e;
        }
        Outputs out;
        std::vector<int32_t> pairs;
        const int flags[4] = {c.want_pairs, 0, 0, 0};
        if (c.want_pairs)
            EXPECT_TARVEX_ERROR(sparse_rowreduce(&a, c.pseudet, flags, &pairs, out.s, NO_LIMIT), 326);
        else
            EXPECT_EQ(sparse_rowreduce(&a, c.pseudet, flags, &pairs, out.s, NO_LIMIT), n) << c.pseudet;
        EXPECT_TRUE(sparse_ok(a.sparse, n, n));
        EXPECT_TRUE(pairs.empty());
        free_sparse(&a.sparse, a.rows, 1);
        special_free(&a.size);
    }
}

}  // namespace
