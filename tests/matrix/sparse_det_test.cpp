// Sparse determinants by elimination: random sparse matrices over Z, Q,
// Z/p and polynomials in one and two variables, sizes 1 to 40, singular
// ones among them, through Gaussian and fraction-free elimination under
// every pivot heuristic. Numbers are checked against an elimination on GMP
// values, polynomials against the dense road on a dense copy. After every
// step the matrix under work keeps the store's invariants and holds nothing
// left of the pivot column below the pivot row; the caller's matrix comes
// out unchanged entry by entry; every record is given back.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "det/mat_invert.h"
#include "interp/settings.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_det.h"
#include "matrix/sparse_pivot.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "support/sparse_snapshot.h"

namespace {

enum class Kind { integers, rationals, residues, poly1, poly2 };

// Row-major n x n values; a zero rational is an absent element.
using QMatrix = std::vector<std::vector<mpq_class>>;

// The determinant by Gaussian elimination on exact rationals.
mpq_class gmp_det(QMatrix a) {
    const size_t n = a.size();
    mpq_class d = 1;
    for (size_t k = 0; k < n; k++) {
        size_t p = k;
        while (p < n && a[p][k] == 0) p++;
        if (p == n) return 0;
        if (p != k) {
            std::swap(a[p], a[k]);
            d = -d;
        }
        d *= a[k][k];
        for (size_t i = k + 1; i < n; i++) {
            if (a[i][k] == 0) continue;
            const mpq_class m = a[i][k] / a[k][k];
            for (size_t j = k; j < n; j++) a[i][j] -= m * a[k][j];
        }
    }
    return d;
}

mpz_class residue(const mpz_class& v, int32_t p) {
    mpz_class r = v % p;
    if (r < 0) r += p;
    return r;
}

// A fresh quoly holding x as the ground ring holds it.
quoly* ring_value(const mpq_class& x) {
    quoly* q = nullptr;
    if (modularmode) {
        quoly_set_lint(static_cast<int32_t>(residue(x.get_num(), modulus).get_si()), &q);
        return q;
    }
    imag* num = from_mpz(x.get_num());
    scalar_to_quoly(num, &q);
    release(num);
    if (x.get_den() == 1) return q;
    quoly* den = nullptr;
    imag* d = from_mpz(x.get_den());
    scalar_to_quoly(d, &den);
    release(d);
    quoly* r = nullptr;
    quoly_quot(q, den, &r, 0);
    free_quoly(&q);
    free_quoly(&den);
    return r;
}

// Sparse random values: about `per_row` entries a row, and the shapes of
// a singular matrix on request (0 none, 1 empty row, 2 empty column,
// 3 dependent rows).
QMatrix random_numbers(std::mt19937_64& rng, int32_t n, Kind kind, int singular) {
    QMatrix a(n, std::vector<mpq_class>(n));
    std::uniform_int_distribution<int> col(0, n - 1), small(-9, 9), big(0, 19), pick(0, 3);
    auto value = [&]() -> mpq_class {
        mpz_class v = small(rng);
        if (big(rng) == 0) v = v * mpz_class("123456789012345678901") + 7;
        if (kind == Kind::residues) v = v * mpz_class("98765432123") + small(rng);
        if (kind == Kind::rationals) return mpq_class(v, 1 + big(rng) % 7);
        return mpq_class(v);
    };
    for (int32_t i = 0; i < n; i++) {
        if (pick(rng)) a[i][i] = value();
        for (int e = 0; e < 2; e++) a[i][col(rng)] = value();
    }
    for (auto& row : a)
        for (auto& x : row) x.canonicalize();
    if (n > 1 && singular == 1) a[col(rng)].assign(n, 0);
    if (n > 1 && singular == 2) {
        const int32_t c = col(rng);
        for (auto& row : a) row[c] = 0;
    }
    if (n > 1 && singular == 3) {
        const int32_t r = col(rng), s = (r + 1) % n;
        for (int32_t j = 0; j < n; j++) a[s][j] = 2 * a[r][j];
    }
    return a;
}

// A sparse matrix of copies of the cells (row-major, null absent), built
// by hand so that the store's own routines are not under test here.
sparse* sparse_of(const std::vector<quoly*>& cells, int32_t n) {
    sparse* f = new_frame_chain(n);
    for (int32_t i = 0; i < n; i++) {
        colm** tail = row_head(f, i + 1);
        for (int32_t j = 0; j < n; j++) {
            quoly* v = cells[size_t(i) * n + j];
            if (!v) continue;
            colm* e = take_colm();
            e->col = j + 1;
            e->val = nullptr;
            quoly_assign(v, &e->val);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    return f;
}

struct Cells {
    int32_t n;
    std::vector<quoly*> v;   // row-major, null absent
    explicit Cells(int32_t size) : n(size), v(size_t(size) * size, nullptr) {}
    ~Cells() {
        for (auto& q : v) free_quoly(&q);
    }
    Cells(const Cells&) = delete;
    Cells& operator=(const Cells&) = delete;
};

// A row or a column without an entry.
bool has_empty_line(const Cells& c) {
    const int32_t n = c.n;
    for (int32_t i = 0; i < n; i++) {
        bool row = true, column = true;
        for (int32_t j = 0; j < n; j++) {
            if (c.v[size_t(i) * n + j]) row = false;
            if (c.v[size_t(j) * n + i]) column = false;
        }
        if (row || column) return true;
    }
    return false;
}

void cells_from(const QMatrix& a, Cells* c) {
    for (int32_t i = 0; i < c->n; i++)
        for (int32_t j = 0; j < c->n; j++) {
            if (a[i][j] == 0) continue;
            quoly* q = ring_value(a[i][j]);
            if (quoly_iszero(q))
                free_quoly(&q);   // a multiple of the modulus
            else
                c->v[size_t(i) * c->n + j] = q;
        }
}

// Random polynomials in vars variables, sparse, singular shapes as above.
void random_polys(std::mt19937_64& rng, int vars, Cells* c, int singular) {
    const int32_t n = c->n;
    std::uniform_int_distribution<int> col(0, n - 1), coef(-5, 5), ex(0, 2), len(1, 3), pick(0, 3);
    auto poly = [&]() -> quoly* {
        TermList t;
        for (int k = len(rng); k > 0; k--) {
            std::vector<int32_t> e(vars);
            for (auto& x : e) x = ex(rng);
            t.push_back({coef(rng), e});
        }
        HeldPoly p(build_poly(vars, t));
        if (poly_iszero(p.p)) return nullptr;
        quoly* q = nullptr;
        p_q_assign(p.p, &q);
        return q;
    };
    auto put = [&](int32_t i, int32_t j, quoly* q) {
        free_quoly(&c->v[size_t(i) * n + j]);
        c->v[size_t(i) * n + j] = q;
    };
    for (int32_t i = 0; i < n; i++) {
        if (pick(rng)) put(i, i, poly());
        put(i, col(rng), poly());
    }
    if (n > 1 && singular == 1) {
        const int32_t r = col(rng);
        for (int32_t j = 0; j < n; j++) put(r, j, nullptr);
    }
    if (n > 1 && singular == 3) {
        const int32_t r = col(rng), s = (r + 1) % n;
        for (int32_t j = 0; j < n; j++) {
            quoly* q = nullptr;
            if (quoly* v = c->v[size_t(r) * n + j]) quoly_assign(v, &q);
            put(s, j, q);
        }
    }
}

// The determinant on the dense road: the hub on a dense copy.
quoly* dense_det(const Cells& c) {
    const int32_t n = c.n;
    std::vector<quoly*> cells(size_t(n) * n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            quoly* q = nullptr;
            if (quoly* v = c.v[size_t(i) * n + j])
                quoly_assign(v, &q);
            else
                quoly_set(0, &q);
            cells[size_t(j) * n + i] = q;
        }
    quoly* r = nullptr;
    quoly_set(1, &r);
    sparse* none = nullptr;
    mat_invert(cells.data(), nullptr, 1, 0, n, &r, 0, 0, &none, nullptr, -1, -1, -1, 0, 0);
    for (auto& q : cells) free_quoly(&q);
    return r;
}

// Checked after every step: the invariants, and nothing below the pivot
// row at or left of the pivot column.
int32_t steps_seen = 0;
void check_step(sparse* first, int32_t n, int32_t k) {
    steps_seen++;
    EXPECT_TRUE(sparse_ok(first, n, n)) << "after step " << k;
    for (int32_t r = k + 1; r <= n; r++) {
        const colm* e = *row_head(first, r);
        if (e) {
            EXPECT_GT(e->col, k) << "row " << r << " after step " << k;
        }
    }
}

struct StepHook {
    StepHook() {
        sparse_elim_step_hook = check_step;
        steps_seen = 0;
    }
    ~StepHook() { sparse_elim_step_hook = nullptr; }
};

struct Switches {
    int32_t u = pseudet_heur, d = detcutoff, k = gauss_cutoff;
    ~Switches() {
        pseudet_heur = u;
        detcutoff = d;
        gauss_cutoff = k;
    }
};

std::string show(quoly* q) { return q->isnum && !lintmode ? to_mpz(q->nnum).get_str() : "(value)"; }

// Both eliminations under every heuristic, and the hub with &K 0 and 1, on
// the matrix of the cells; each result must equal want.
void every_method(const Cells& c, quoly* want, bool empty_line, const std::string& what) {
    const int32_t n = c.n;
    Switches keep;
    sparse* f = sparse_of(c.v, n);
    Snapshot before(f, n);
    bool fractions = false;
    for (quoly* q : c.v) fractions = fractions || (q && q->den);
    StepHook hook;
    for (int32_t u = 0; u <= 6; u++) {
        pseudet_heur = u;
        // Fraction-free elimination is for matrices without denominators.
        for (int bareiss = 0; bareiss <= (fractions ? 0 : 1); bareiss++) {
            quoly* r = nullptr;
            quoly_set(1, &r);
            // A block with an empty row or column, which only a singular
            // matrix reaches, is 0 under every heuristic.
            const int code = error_code([&] {
                if (bareiss)
                    sparse_gauss_Bareiss(f, &r, n, 0, 0);
                else
                    sparse_gauss_elim(f, &r, n, 0, 0);
            });
            EXPECT_EQ(code, 0) << what << " n=" << n << " u=" << u;
            EXPECT_TRUE(quoly_equal(r, want)) << what << " n=" << n << " u=" << u
                                              << (bareiss ? " Bareiss " : " Gauss ") << show(r) << " want "
                                              << show(want);
            free_quoly(&r);
            EXPECT_TRUE(before.same(f, n)) << what << " n=" << n << " u=" << u;
        }
        // Through the hub, elimination whatever the size.
        if (modularmode && sparse_allnumbs(f, n)) continue;   // the residue method's
        detcutoff = 0;
        for (int32_t k = 0; k <= 1; k++) {
            gauss_cutoff = k;
            quoly* r = nullptr;
            quoly_set(1, &r);
            const int code =
                error_code([&] { mat_invert(nullptr, nullptr, 0, 0, n, &r, 0, 0, &f, nullptr, -1, -1, -1, 0, 0); });
            EXPECT_EQ(code, 0) << what << " hub n=" << n << " u=" << u << " K=" << k;
            EXPECT_TRUE(quoly_equal(r, want)) << what << " hub n=" << n << " u=" << u << " K=" << k;
            free_quoly(&r);
        }
        EXPECT_TRUE(before.same(f, n));
    }
    if (n > 1 && !empty_line) {
        EXPECT_GT(steps_seen, 0);
    }
    free_sparse(&f, n, 1);
}

void numbers_in(Kind kind, int32_t p, uint64_t seed) {
    PrimeRing ring(p);
    std::mt19937_64 rng(seed);
    RecordLedger ledger;
    for (int32_t n = 1; n <= 40; n += (n < 8 ? 1 : 4)) {
        for (int singular = 0; singular <= 3; singular++) {
            const QMatrix a = random_numbers(rng, n, kind, singular);
            Cells c(n);
            cells_from(a, &c);
            mpq_class d = gmp_det(a);
            if (p) d = residue(d.get_num(), p);
            quoly* want = ring_value(d);
            const bool empty_line = has_empty_line(c);
            every_method(c, want, empty_line, "numbers");
            free_quoly(&want);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseDet, Integers) { numbers_in(Kind::integers, 0, 1); }
TEST(SparseDet, Rationals) { numbers_in(Kind::rationals, 0, 2); }
TEST(SparseDet, ResiduesSmallPrime) { numbers_in(Kind::residues, 101, 3); }
TEST(SparseDet, ResiduesWordPrime) { numbers_in(Kind::residues, 2147483629, 4); }

void polys_in(int vars, int32_t p, uint64_t seed) {
    PrimeRing ring(p);
    AttachedVars attached(vars);
    std::mt19937_64 rng(seed);
    {
        // The dense road keeps a record of its own from its first use on.
        Cells one(1);
        one.v[0] = ring_value(3);
        quoly* w = dense_det(one);
        free_quoly(&w);
    }
    RecordLedger ledger;
    for (int32_t n = 1; n <= 12; n++) {
        for (int singular = 0; singular <= 3; singular += (n > 8 ? 3 : 1)) {
            Cells c(n);
            random_polys(rng, vars, &c, singular);
            quoly* want = dense_det(c);
            const bool empty_line = has_empty_line(c);
            every_method(c, want, empty_line, "polys");
            free_quoly(&want);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseDet, PolysOneVariable) { polys_in(1, 0, 5); }
TEST(SparseDet, PolysTwoVariables) { polys_in(2, 0, 6); }
TEST(SparseDet, PolysTwoVariablesModP) { polys_in(2, 10007, 7); }

// Banded matrices: most rows meet no pivot column for many steps, so
// fraction-free elimination carries them scaled by the pivots all along.
void banded_polys_in(int vars, int32_t half, int32_t p, uint64_t seed) {
    PrimeRing ring(p);
    AttachedVars attached(vars);
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> coef(-4, 4), ex(0, 1), drop(0, 5);
    auto linear = [&]() -> quoly* {
        TermList t;
        for (int v = 0; v <= vars; v++) {
            std::vector<int32_t> e(vars, 0);
            if (v < vars) e[v] = ex(rng) + 1;
            t.push_back({coef(rng), e});
        }
        HeldPoly h(build_poly(vars, t));
        if (poly_iszero(h.p)) return nullptr;
        quoly* q = nullptr;
        p_q_assign(h.p, &q);
        return q;
    };
    {
        Cells one(1);
        one.v[0] = ring_value(3);
        quoly* w = dense_det(one);
        free_quoly(&w);
    }
    RecordLedger ledger;
    for (int32_t n = 2; n <= 9; n++) {
        Cells c(n);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = std::max(0, i - half); j <= std::min(n - 1, i + half); j++)
                if (i == j || drop(rng)) c.v[size_t(i) * n + j] = linear();
        quoly* want = dense_det(c);
        every_method(c, want, has_empty_line(c), "banded");
        free_quoly(&want);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseDet, BandedPolysThreeVariables) { banded_polys_in(3, 2, 0, 8); }
TEST(SparseDet, BandedPolysTwoVariablesModP) { banded_polys_in(2, 1, 65521, 9); }

TEST(SparseDet, SizeAboveTheTablesIsRefusedBeforeAnyCopy) {
    PrimeRing ring(0);
    sparse* f = new_frame_chain(1);   // far too short: a copy would run off it
    quoly* r = nullptr;
    quoly_set(1, &r);
    EXPECT_TARVEX_ERROR(sparse_gauss_elim(f, &r, 50001, 0, 0), 375);
    EXPECT_TARVEX_ERROR(sparse_gauss_Bareiss(f, &r, 50001, 0, 0), 375);
    free_quoly(&r);
    free_sparse(&f, 1, 1);
}

// A hand-made block: the pivot search's choices.
TEST(SparsePivot, SingletonsUnitsAndEmptyRows) {
    PrimeRing ring(0);
    Switches keep;
    Cells c(3);
    auto set = [&](int32_t i, int32_t j, int v) { c.v[size_t(i) * 3 + j] = ring_value(v); };
    // Column 2 holds a single entry (row 3): it is the pivot under every
    // heuristic, though 1s stand elsewhere.
    set(0, 0, 1), set(0, 2, 1), set(1, 0, 5), set(1, 2, 7), set(2, 0, 3), set(2, 1, 9), set(2, 2, 4);
    sparse* f = sparse_of(c.v, 3);
    for (int32_t u = 0; u <= 6; u++) {
        pseudet_heur = u;
        int32_t row = 0, col = 0;
        sparse_findbest(1, f, 3, 1, &row, &col);
        EXPECT_EQ(row, 3) << "u=" << u;
        EXPECT_EQ(col, 2) << "u=" << u;
    }
    free_sparse(&f, 3, 1);
    // No singleton column: the unit 1 in row 1 (two entries) wins at once.
    set(0, 1, 6);
    free_quoly(&c.v[2]);
    f = sparse_of(c.v, 3);
    pseudet_heur = 0;
    int32_t row = 0, col = 0;
    sparse_findbest(1, f, 3, 1, &row, &col);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(col, 1);
    // Row 2 empty from column 2 on: no pivot in the block of step 2.
    free_sparse(&f, 3, 1);
    for (int32_t j = 1; j < 3; j++) free_quoly(&c.v[size_t(1) * 3 + j]);
    f = sparse_of(c.v, 3);
    sparse_findbest(1, f, 3, 2, &row, &col);
    EXPECT_EQ(row, -1);
    // The same under heuristic 6 for a determinant; a reduction that must
    // go past the empty row is refused.
    pseudet_heur = 6;
    row = 0;
    sparse_findbest(1, f, 3, 2, &row, &col);
    EXPECT_EQ(row, -1);
    EXPECT_TARVEX_ERROR(sparse_findbest(0, f, 3, 2, &row, &col), 376);
    pseudet_heur = 0;
    free_sparse(&f, 3, 1);
}

}  // namespace
