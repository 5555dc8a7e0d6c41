// Expansion by minors on sparse matrices: random sparse matrices over Z, Q,
// Z/p, GF(2^8) and polynomials in one to three variables, sizes 2 to 12,
// singular shapes among them. Small ones are checked against a permutation
// sum written here, all against the dense road on a dense copy and against
// sparse Gaussian elimination; the residue twin against the quoly twin. The
// caller's matrix comes out unchanged entry by entry and every record is
// given back. The stash gives the same values with its window emptied,
// grows past 4 entries a bucket, is purged under a tiny memory budget, and
// resumes storing once memory is back on the free lists.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "det/mat_invert.h"
#include "det/minor_stash.h"
#include "det/sparse_minors.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_det.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "support/sparse_snapshot.h"

namespace {

enum class Kind { integers, rationals, residues, polys };

// Row-major cells, null for an absent element; owned.
struct Cells {
    int32_t n;
    std::vector<quoly*> v;
    explicit Cells(int32_t size) : n(size), v(size_t(size) * size, nullptr) {}
    ~Cells() {
        for (auto& q : v) free_quoly(&q);
    }
    quoly*& at(int32_t i, int32_t j) { return v[size_t(i) * n + j]; }
    quoly* at(int32_t i, int32_t j) const { return v[size_t(i) * n + j]; }
    Cells(const Cells&) = delete;
    Cells& operator=(const Cells&) = delete;
};

quoly* number(long v, long den = 1) {
    quoly* q = nullptr;
    if (modularmode) {
        long r = finf ? (v < 0 ? -v : v) % modulus : ((v % modulus) + modulus) % modulus;
        quoly_set_lint(static_cast<int32_t>(r), &q);
        return q;
    }
    quoly_set(static_cast<int32_t>(v), &q);
    if (den == 1) return q;
    quoly *d = nullptr, *r = nullptr;
    quoly_set(static_cast<int32_t>(den), &d);
    quoly_quot(q, d, &r, 0);
    free_quoly(&q);
    free_quoly(&d);
    return r;
}

// About three entries a row; singular shapes: 1 empty row, 2 empty column,
// 3 two equal rows.
void random_cells(std::mt19937_64& rng, Kind kind, int vars, int singular, Cells* c) {
    const int32_t n = c->n;
    std::uniform_int_distribution<int> col(0, n - 1), small(-9, 9), den(1, 5), ex(0, 2), len(1, 3);
    auto value = [&]() -> quoly* {
        if (kind == Kind::polys) {
            TermList t;
            for (int k = len(rng); k > 0; k--) {
                std::vector<int32_t> e(vars);
                for (auto& x : e) x = ex(rng);
                t.push_back({small(rng), e});
            }
            HeldPoly p(build_poly(vars, t));
            if (poly_iszero(p.p)) return nullptr;
            quoly* q = nullptr;
            p_q_assign(p.p, &q);
            return q;
        }
        long v = small(rng);
        if (kind == Kind::residues) v = v * 98765 + small(rng);
        if (kind == Kind::integers && den(rng) == 5) v *= 1234567891L;
        quoly* q = number(v, kind == Kind::rationals ? den(rng) : 1);
        if (quoly_iszero(q)) free_quoly(&q);
        return q;
    };
    auto put = [&](int32_t i, int32_t j, quoly* q) {
        free_quoly(&c->at(i, j));
        c->at(i, j) = q;
    };
    for (int32_t i = 0; i < n; i++) {
        put(i, i, value());
        put(i, col(rng), value());
        put(i, col(rng), value());
    }
    const int32_t r = col(rng);
    for (int32_t j = 0; j < n; j++) {
        if (singular == 1) put(r, j, nullptr);
        if (singular == 2) put(j, r, nullptr);
        if (singular == 3 && r + 1 < n) {
            quoly* q = nullptr;
            if (c->at(r, j)) quoly_assign(c->at(r, j), &q);
            put(r + 1, j, q);
        }
    }
}

sparse* sparse_of(const Cells& c) {
    sparse* f = new_frame_chain(c.n);
    for (int32_t i = 0; i < c.n; i++) {
        colm** tail = row_head(f, i + 1);
        for (int32_t j = 0; j < c.n; j++) {
            if (!c.at(i, j)) continue;
            colm* e = take_colm();
            e->col = j + 1;
            e->val = nullptr;
            quoly_assign(c.at(i, j), &e->val);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    return f;
}

// The sum over all permutations of signed products: independent of any
// elimination or expansion.
quoly* permutation_sum(const Cells& c) {
    std::vector<int32_t> p(c.n);
    std::iota(p.begin(), p.end(), 0);
    quoly* sum = number(0);
    do {
        quoly* t = number(1);
        bool zero = false;
        for (int32_t i = 0; i < c.n && !zero; i++) {
            quoly* e = c.at(i, p[i]);
            if (!e) zero = true;
            else fast_quoly_mult(&t, &e);
        }
        int inversions = 0;
        for (int32_t i = 0; i < c.n; i++)
            for (int32_t j = i + 1; j < c.n; j++) inversions += p[i] > p[j];
        if (!zero) {
            if (inversions % 2) quoly_inplace(t);
            best_quoly_add(&sum, t);
        } else {
            free_quoly(&t);
        }
    } while (std::next_permutation(p.begin(), p.end()));
    return sum;
}

quoly* dense_det(const Cells& c) {
    const int32_t n = c.n;
    std::vector<quoly*> cells(size_t(n) * n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            quoly* q = nullptr;
            if (c.at(i, j)) quoly_assign(c.at(i, j), &q);
            else quoly_set(0, &q);
            cells[size_t(j) * n + i] = q;
        }
    quoly* r = number(1);
    sparse* none = nullptr;
    mat_invert(cells.data(), nullptr, 1, 0, n, &r, 0, 0, &none, nullptr, -1, -1, -1, 0, 0);
    for (auto& q : cells) free_quoly(&q);
    return r;
}

quoly* minors(sparse* f, int32_t n) {
    quoly* r = nullptr;
    int copied = 0;
    sparse_minors_det(&r, &f, n, &copied, 0);
    return r;
}

quoly* residue_minors(sparse* f, int32_t n) {
    int32_t d = -1;
    int copied = 0;
    int_sparse_minors_det(&d, &f, n, &copied, 0);
    quoly* r = nullptr;
    quoly_set_lint(d, &r);
    return r;
}

// Settings the tests change, and a budget large enough to store freely.
struct Settings {
    int32_t d = detcutoff, lo = init_min_stash;
    int64_t budget = totalavailablememory;
    Settings() {
        uint64_t used = 0;
        for (stash* s : {polystash, quolystash, numstash, imagstash, colmstash})
            if (s) used += uint64_t(s->slug_size) * uint64_t(s->slugs_used);
        totalavailablememory = int64_t(used) + (int64_t{1} << 32);
    }
    ~Settings() {
        detcutoff = d;
        init_min_stash = lo;
        totalavailablememory = budget;
    }
};

void expect_same(quoly* got, quoly* want, const std::string& what) {
    EXPECT_TRUE(quoly_equal(got, want)) << what;
}

// All the roads on one matrix; want, when given, is the reference.
void check_all(const Cells& c, const std::string& what) {
    const int32_t n = c.n;
    Settings keep;
    sparse* f = sparse_of(c);
    Snapshot before(f, n);
    quoly* want = n <= 7 ? permutation_sum(c) : dense_det(c);
    if (n <= 7) {
        quoly* dense = dense_det(c);
        expect_same(dense, want, what + " dense road");
        free_quoly(&dense);
    }
    quoly* got = minors(f, n);
    expect_same(got, want, what + " minors");
    free_quoly(&got);
    init_min_stash = n + 1;   // nothing stored
    got = minors(f, n);
    expect_same(got, want, what + " minors without stash");
    free_quoly(&got);
    init_min_stash = 3;
    bool numbers = true;
    for (quoly* q : c.v) numbers = numbers && (!q || q->isnum);
    if (modularmode && numbers) {
        got = residue_minors(f, n);
        expect_same(got, want, what + " residue twin");
        free_quoly(&got);
    }
    if (!(modularmode && numbers)) {   // elimination, and the hub's route to minors
        got = number(1);
        sparse_gauss_elim(f, &got, n, 0, 0);
        expect_same(got, want, what + " elimination");
        free_quoly(&got);
    }
    detcutoff = n;
    got = number(1);
    mat_invert(nullptr, nullptr, 0, 0, n, &got, 0, 0, &f, nullptr, -1, -1, -1, 0, 0);
    expect_same(got, want, what + " hub");
    free_quoly(&got);
    EXPECT_TRUE(before.same(f, n)) << what;
    EXPECT_EQ(sp_total_cnt, 0);
    EXPECT_EQ(minorstash, nullptr);
    free_quoly(&want);
    free_sparse(&f, n, 1);
}

void random_in(Kind kind, int32_t p, int vars, int32_t top, uint64_t seed) {
    PrimeRing ring(p);
    AttachedVars attached(vars);
    std::mt19937_64 rng(seed);
    {
        Cells warm(top);   // the dense road keeps a residue table of the largest size
        for (auto& q : warm.v) q = number(1);
        quoly* d = dense_det(warm);
        free_quoly(&d);
    }
    RecordLedger ledger;
    for (int32_t n = 2; n <= top; n++)
        for (int singular = 0; singular <= 3; singular++) {
            Cells c(n);
            random_cells(rng, kind, vars, singular, &c);
            check_all(c, "n=" + std::to_string(n) + " shape " + std::to_string(singular));
        }
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseMinors, Integers) { random_in(Kind::integers, 0, 0, 12, 11); }
TEST(SparseMinors, Rationals) { random_in(Kind::rationals, 0, 0, 10, 12); }
TEST(SparseMinors, ResiduesSmallPrime) { random_in(Kind::residues, 101, 0, 12, 13); }
TEST(SparseMinors, ResiduesWordPrime) { random_in(Kind::residues, 2147483629, 0, 12, 14); }
TEST(SparseMinors, GF256) { random_in(Kind::residues, 256, 0, 12, 15); }
TEST(SparseMinors, PolysOneVariable) { random_in(Kind::polys, 0, 1, 9, 16); }
TEST(SparseMinors, PolysTwoVariables) { random_in(Kind::polys, 0, 2, 8, 17); }
TEST(SparseMinors, PolysThreeVariablesModP) { random_in(Kind::polys, 65521, 3, 7, 18); }

// A permutation matrix has the permutation's sign whichever lines are
// expanded; an empty line ends the expansion at once with one leaf.
TEST(SparseMinors, PermutationsAndEmptyLines) {
    PrimeRing ring(0);
    Settings keep;
    std::mt19937_64 rng(3);
    for (int32_t n = 2; n <= 12; n++) {
        std::vector<int32_t> p(n);
        std::iota(p.begin(), p.end(), 0);
        std::shuffle(p.begin(), p.end(), rng);
        int sign = 1;
        std::vector<bool> seen(n);
        for (int32_t i = 0; i < n; i++) {   // the parity from the cycle lengths
            if (seen[i]) continue;
            int32_t len = 0;
            for (int32_t j = i; !seen[j]; j = p[j]) seen[j] = true, len++;
            if (len % 2 == 0) sign = -sign;
        }
        Cells c(n);
        for (int32_t i = 0; i < n; i++) c.at(i, p[i]) = number(1);
        sparse* f = sparse_of(c);
        quoly* d = minors(f, n);
        quoly* want = number(sign);
        EXPECT_TRUE(quoly_equal(d, want)) << n;
        free_quoly(&d);
        free_quoly(&want);
        // The same with the last row emptied: zero, no branch, one leaf.
        free_sparse(&f, n, 1);
        free_quoly(&c.at(n - 1, p[n - 1]));
        f = sparse_of(c);
        d = minors(f, n);
        EXPECT_TRUE(quoly_iszero(d));
        EXPECT_EQ(sp_lowcnt, 1);
        free_quoly(&d);
        free_sparse(&f, n, 1);
    }
}

// A dense 13 x 13 matrix mod p stores more than 4 x 641 minors: the stash
// grows, and the value still matches the dense road.
TEST(SparseMinors, StashGrows) {
    PrimeRing ring(65521);
    Settings keep;
    std::mt19937_64 rng(9);
    std::uniform_int_distribution<long> v(1, 65520);
    const int32_t n = 13;
    Cells c(n);
    for (auto& q : c.v) q = number(v(rng));
    sparse* f = sparse_of(c);
    quoly* want = dense_det(c);
    RecordLedger ledger;
    quoly* got = residue_minors(f, n);
    EXPECT_TRUE(quoly_equal(got, want));
    EXPECT_GT(minorprime, minorsize(n));
    free_quoly(&got);
    got = minors(f, n);
    EXPECT_TRUE(quoly_equal(got, want));
    free_quoly(&got);
    EXPECT_TRUE(ledger.balanced());
    free_quoly(&want);
    free_sparse(&f, n, 1);
}

// With almost no memory to spare the stash is purged (its window narrows)
// and the value is still right; the report line follows an expansion.
TEST(SparseMinors, TinyBudgetPurges) {
    PrimeRing ring(0);
    Settings keep;
    std::mt19937_64 rng(21);
    std::uniform_int_distribution<long> v(-50, 50);
    const int32_t n = 12;
    Cells c(n);
    for (auto& q : c.v) q = number(v(rng));
    quoly* want = dense_det(c);
    sparse* f = sparse_of(c);
    const int64_t cut = int64_t((uint64_t{1} << 32) - 600000);
    totalavailablememory -= cut;   // about 600,000 bytes left
    const uint64_t start = memavail();
    const int saved_verbose = verbose;
    verbose = 1;
    ::testing::internal::CaptureStdout();
    quoly* got = minors(f, n);
    minor_stash_report();
    const uint64_t left = memavail();
    // The budget bounds the heap's requests too: the capture's own buffer
    // is read under the full one.
    totalavailablememory += cut;
    const std::string out = ::testing::internal::GetCapturedStdout();
    verbose = saved_verbose;
    EXPECT_TRUE(quoly_equal(got, want));
    if (left > start / 5) {
        // Records left on the free lists by earlier work in this process fed
        // the whole run: no new memory was taken, and no purge was due.
        free_quoly(&got);
        free_quoly(&want);
        free_sparse(&f, n, 1);
        GTEST_SKIP() << "the free lists held enough";
    }
    EXPECT_NE(out.find("Running low on memory; purging minor stash."), std::string::npos) << out.substr(0, 2000);
    EXPECT_NE(out.find(" total branches, leaf count, stash nodes, hits: "), std::string::npos);
    EXPECT_NE(out.find(" memavail, minor memory, garbsize, minor prime, total branches, leaf count, stash nodes, "
                       "hits: "),
              std::string::npos);
    free_quoly(&got);
    free_quoly(&want);
    free_sparse(&f, n, 1);
}

// Memory back on the free lists after two purges: the residue twin's
// check restores the window and the purge size and triples the reference.
TEST(SparseMinors, ResumeAfterPurges) {
    PrimeRing ring(65521);
    Settings keep;
    std::vector<imag*> spare(1100000);
    for (auto& x : spare) newimag(&x);
    for (auto& x : spare) {
        x->count = 0;
        free_imag(&x);
    }
    ASSERT_GT(med_garbsize(), 18000000);
    totalavailablememory = totalavailablememory - int64_t(memavail()) + 1000;   // 1,000 bytes free
    minor_memory = 600000;
    init_max_stash_row = 10;
    max_stash_row = 8;
    min_stash_row = 4;
    minor_count = 4;
    const int saved_verbose = verbose;
    verbose = 1;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(minors_may_store(1));
    std::fflush(stdout);
    const std::string out = ::testing::internal::GetCapturedStdout();
    verbose = saved_verbose;
    EXPECT_EQ(max_stash_row, 10);
    EXPECT_EQ(min_stash_row, init_min_stash);
    EXPECT_EQ(minor_count, 3);
    EXPECT_EQ(minor_memory, 1800000u);
    EXPECT_NE(out.find(" Resuming minor caching.  1800000i, 10, 3"), std::string::npos) << out;
    // One purge only: the window stays as it is.
    max_stash_row = 9;
    EXPECT_TRUE(minors_may_store(1));
    EXPECT_EQ(max_stash_row, 9);
}

TEST(SparseMinors, SizeAndReentryRefused) {
    PrimeRing ring(0);
    Settings keep;
    quoly* r = nullptr;
    int copied = 0;
    sparse* f = new_frame_chain(1);
    EXPECT_TARVEX_ERROR(sparse_minors_det(&r, &f, 32767, &copied, 0), 310);
    minors_running = 1;
    EXPECT_TARVEX_ERROR(sparse_minors_det(&r, &f, 2, &copied, 0), 309);
    minors_running = 0;
    EXPECT_EQ(r, nullptr);
    give_back_frames(f);
}

}  // namespace
