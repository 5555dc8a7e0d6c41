// Fraction-free elimination that lets rows fall behind must show the pivot
// search the same matrix, step for step, as elimination that brings every
// row to every step: banded matrices of random linear polynomials (where
// the pivots come from all along the band and most rows sit out several
// steps), over Z, Q and Z/p, under every pivot heuristic; pentadiagonal ones
// of linear entries in three variables. The pivot lines and
// the whole matrix after each step are compared; the determinant is checked
// against Gaussian elimination and the dense road on a dense copy.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "det/mat_invert.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_bareiss_factored.h"
#include "matrix/sparse_det.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "support/node_count.h"
#include "toplevel/errors.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

// One matrix as the step hook saw it: (row, column, copy of the value).
struct Entry {
    int32_t row, col;
    quoly* val;
};
using Picture = std::vector<Entry>;

std::vector<Picture> pictures;

void take_picture(sparse* first, int32_t n, int32_t) {
    Picture p;
    for (int32_t r = 1; r <= n; r++)
        for (colm* e = *row_head(first, r); e; e = e->next) {
            p.push_back({r, e->col, nullptr});
            quoly_assign(e->val, &p.back().val);
        }
    pictures.push_back(std::move(p));
}

void forget(std::vector<Picture>& ps) {
    for (auto& p : ps)
        for (auto& e : p) free_quoly(&e.val);
    ps.clear();
}

struct Run {
    std::vector<Picture> steps;
    std::string pivots;   // the "choosing pivot at" lines
    quoly* det = nullptr;
    ~Run() {
        forget(steps);
        free_quoly(&det);
    }
};

// What f writes to standard output.
template <class F>
std::string stdout_of(F f) {
    std::fflush(stdout);
    FILE* tmp = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(tmp), 1);
    f();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::rewind(tmp);
    std::string text;
    char buf[4096];
    size_t k;
    while ((k = std::fread(buf, 1, sizeof buf, tmp)) > 0) text.append(buf, k);
    std::fclose(tmp);
    return text;
}

// Only the pivot lines: the progress counts depend on nothing compared here.
std::string pivot_lines(const std::string& text) {
    std::string out;
    const std::string key = "choosing pivot at:";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
        out += text.substr(at, text.find('\n', at) - at) + "\n";
    return out;
}

void bareiss(sparse* f, int32_t n, bool step_by_step, Run* run) {
    sparse_bareiss_step_by_step = step_by_step;
    sparse_elim_step_hook = take_picture;
    quoly_set(1, &run->det);
    const int v = verbose, w = windy;
    verbose = 1;
    windy = 1;
    run->pivots = pivot_lines(stdout_of([&] { sparse_gauss_Bareiss(f, &run->det, n, 0, 0); }));
    verbose = v;
    windy = w;
    sparse_elim_step_hook = nullptr;
    sparse_bareiss_step_by_step = false;
    run->steps.swap(pictures);
}

::testing::AssertionResult same_steps(const Run& a, const Run& b) {
    if (a.steps.size() != b.steps.size())
        return ::testing::AssertionFailure() << a.steps.size() << " steps against " << b.steps.size();
    for (size_t k = 0; k < a.steps.size(); k++) {
        const Picture &x = a.steps[k], &y = b.steps[k];
        if (x.size() != y.size())
            return ::testing::AssertionFailure() << "after step " << k + 1 << ": " << x.size() << " entries against "
                                                 << y.size();
        for (size_t i = 0; i < x.size(); i++)
            if (x[i].row != y[i].row || x[i].col != y[i].col || !quoly_equal(x[i].val, y[i].val))
                return ::testing::AssertionFailure() << "after step " << k + 1 << ": entry (" << x[i].row << ", "
                                                     << x[i].col << ") differs";
    }
    return ::testing::AssertionSuccess();
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

sparse* sparse_of(const Cells& c) {
    const int32_t n = c.n;
    sparse* f = new_frame_chain(n);
    for (int32_t i = 0; i < n; i++) {
        colm** tail = row_head(f, i + 1);
        for (int32_t j = 0; j < n; j++) {
            quoly* v = c.v[size_t(i) * n + j];
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

// Band of half-width `half`, entries c0 + c1 x + ... (exponents 1 or 2),
// a few dropped off the diagonal so that rows differ in length. From n = 5
// on, every step passes over rows outside the band.
void random_band(std::mt19937_64& rng, int vars, int32_t half, Cells* c) {
    std::uniform_int_distribution<int> coef(-6, 6), ex(1, 2), drop(0, 6);
    const int32_t n = c->n;
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = std::max(0, i - half); j <= std::min(n - 1, i + half); j++) {
            if (i != j && drop(rng) == 0) continue;
            TermList t;
            for (int v = 0; v <= vars; v++) {
                std::vector<int32_t> e(vars, 0);
                if (v < vars) e[v] = ex(rng);
                t.push_back({coef(rng), e});
            }
            HeldPoly h(build_poly(vars, t));
            if (poly_iszero(h.p)) continue;
            p_q_assign(h.p, &c->v[size_t(i) * n + j]);
        }
}

// Pentadiagonal, every entry c0 + c1 x + c2 y + c3 z with c0 odd: no entry
// vanishes, so no row or column empties and every heuristic applies.
void pentadiagonal(std::mt19937_64& rng, Cells* c) {
    std::uniform_int_distribution<int> coef(-9, 9);
    const int32_t n = c->n;
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = std::max(0, i - 2); j <= std::min(n - 1, i + 2); j++) {
            TermList t{{coef(rng) | 1, {0, 0, 0}}};
            for (int v = 0; v < 3; v++) {
                std::vector<int32_t> e(3, 0);
                e[size_t(v)] = 1;
                t.push_back({coef(rng), e});
            }
            HeldPoly h(build_poly(3, t));
            p_q_assign(h.p, &c->v[size_t(i) * n + j]);
        }
}

// Every entry divided by 2 or 3: polynomials over Q, which elimination
// must not treat as integral ones.
void over_q(std::mt19937_64& rng, Cells* c) {
    std::uniform_int_distribution<int> pick(2, 3);
    for (quoly*& q : c->v) {
        if (!q) continue;
        quoly* d = nullptr;
        quoly_set(pick(rng), &d);
        fast_quoly_quot(&q, &d, 0);
        free_quoly(&d);
    }
}

// Under heuristics 0 .. u_last: the road in use shows the pivot search the
// same matrices as the step-by-step road and gives the same determinant as
// the dense road and Gaussian elimination.
void roads_agree(const Cells& c, int32_t u_last) {
    const int32_t n = c.n;
    sparse* f = sparse_of(c);
    quoly* want = dense_det(c);
    const int32_t keep_heur = pseudet_heur;
    for (int32_t u = 0; u <= u_last; u++) {
        pseudet_heur = u;
        Run lag, eager;
        bareiss(f, n, false, &lag);
        bareiss(f, n, true, &eager);
        EXPECT_EQ(lag.pivots, eager.pivots) << "n=" << n << " u=" << u;
        EXPECT_TRUE(same_steps(lag, eager)) << "n=" << n << " u=" << u;
        EXPECT_TRUE(quoly_equal(lag.det, want)) << "n=" << n << " u=" << u;
        EXPECT_TRUE(quoly_equal(eager.det, want)) << "n=" << n << " u=" << u;
        quoly* g = nullptr;
        quoly_set(1, &g);
        sparse_gauss_elim(f, &g, n, 0, 0);
        EXPECT_TRUE(quoly_equal(g, want)) << "n=" << n << " u=" << u;
        free_quoly(&g);
    }
    pseudet_heur = keep_heur;
    free_quoly(&want);
    free_sparse(&f, n, 1);
}

// The dense road keeps a record of its own from its first use on.
void warm_dense_road() {
    Cells one(1);
    quoly_set(3, &one.v[0]);
    quoly* w = dense_det(one);
    free_quoly(&w);
}

void lagging_matches_step_by_step(int vars, int32_t p, uint64_t seed, int32_t largest, bool rational = false) {
    PrimeRing ring(p);
    AttachedVars attached(vars);
    std::mt19937_64 rng(seed);
    warm_dense_road();
    RecordLedger ledger;
    for (int32_t n = 2; n <= largest; n++) {
        Cells c(n);
        random_band(rng, vars, n % 3 == 0 ? 1 : 2, &c);
        if (rational) over_q(rng, &c);
        roads_agree(c, 5);
    }
    EXPECT_TRUE(ledger.balanced());
}

void pentadiagonal_roads(int32_t p, uint64_t seed, std::initializer_list<int32_t> sizes, int shortcuts = 3,
                         int64_t difference_terms = sparse_factored_difference_terms) {
    const int keep_shortcuts = sparse_factored_shortcuts;
    const int64_t keep_terms = sparse_factored_difference_terms;
    sparse_factored_shortcuts = shortcuts;
    sparse_factored_difference_terms = difference_terms;
    PrimeRing ring(p);
    AttachedVars attached(3);
    std::mt19937_64 rng(seed);
    warm_dense_road();
    RecordLedger ledger;
    for (int32_t n : sizes) {
        Cells c(n);
        pentadiagonal(rng, &c);
        roads_agree(c, 6);
    }
    sparse_factored_shortcuts = keep_shortcuts;
    sparse_factored_difference_terms = keep_terms;
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseBareissLag, BandedLinearPolysThreeVariables) { lagging_matches_step_by_step(3, 0, 41, 10); }
TEST(SparseBareissLag, BandedLinearPolysTwoVariablesModP) { lagging_matches_step_by_step(2, 65521, 42, 12); }
TEST(SparseBareissLag, BandedLinearPolysOneVariable) { lagging_matches_step_by_step(1, 0, 43, 14); }
TEST(SparseBareissLag, BandedPolysOverQTwoVariables) { lagging_matches_step_by_step(2, 0, 44, 9, true); }
// Pivots from all along the band: rows carry factors from blocks eliminated
// elsewhere, which have to cancel as the blocks meet.
TEST(SparseBareissLag, PentadiagonalThreeVariables) { pentadiagonal_roads(0, 45, {4, 7, 10, 13}); }
TEST(SparseBareissLag, PentadiagonalThreeVariablesModP) { pentadiagonal_roads(65521, 46, {5, 8, 12}); }
// Factors that do not cancel by id, worked on by the slower means too.
TEST(SparseBareissLag, PentadiagonalThroughGcds) { pentadiagonal_roads(0, 47, {8, 12}, 2); }
TEST(SparseBareissLag, PentadiagonalByMultiplyingIn) { pentadiagonal_roads(0, 48, {8, 12}, 0); }
// g a - e b formed at once for every pair of polynomials the images take.
TEST(SparseBareissLag, PentadiagonalDifferencesAtOnce) { pentadiagonal_roads(0, 49, {9, 13, 16}, 3, 1); }

}  // namespace
