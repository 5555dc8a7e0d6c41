// The residue elimination of sparse matrices and its row choice: values
// against an elimination written here on the test's own ring arithmetic,
// the dense residue elimination on a dense copy, and the general sparse
// elimination on the same matrix; over Z/p and the fields of 2^8 and 2^16
// elements; composite moduli give the right value or error 85. After each
// step the matrix under work is checked; the caller's matrix stays as it
// was, a consumed one is gone, and every entry record comes back.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "det/sparse_mod_determ.h"
#include "interp/settings.h"
#include "matrix/row_length_index.h"
#include "matrix/sparse.h"
#include "matrix/sparse_det.h"
#include "matrix/sparse_finders.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/field_ref.h"
#include "support/node_count.h"
#include "support/ring_setup.h"

namespace {

// Row-major n x n residues; 0 is an absent element.
using Res = std::vector<uint32_t>;

// A matrix of plain-number quolys built by hand from the residues.
sparse* build(const Res& a, int32_t n) {
    sparse* f = new_frame_chain(n);
    for (int32_t i = 0; i < n; i++) {
        colm** tail = row_head(f, i + 1);
        for (int32_t j = 0; j < n; j++) {
            const uint32_t v = a[size_t(i) * n + j];
            if (!v) continue;
            colm* e = take_colm();
            e->col = j + 1;
            e->val = nullptr;
            quoly_set_lint(static_cast<int32_t>(v), &e->val);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    return f;
}

uint32_t power(uint32_t b, uint64_t e) {
    uint32_t r = 1;
    for (; e; e >>= 1, b = r_mul(b, b))
        if (e & 1) r = r_mul(r, b);
    return r;
}

// Dense elimination on the test's ring arithmetic (prime modulus or field).
uint32_t reference_det(Res a, int32_t n) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    const uint64_t order = finf ? p - 1 : p - 1;   // multiplicative group
    auto neg = [&](uint32_t x) { return finf || x == 0 ? x : p - x; };
    auto A = [&](int32_t i, int32_t j) -> uint32_t& { return a[size_t(i) * n + j]; };
    uint32_t d = 1;
    for (int32_t k = 0; k < n; k++) {
        int32_t r = k;
        while (r < n && A(r, k) == 0) r++;
        if (r == n) return 0;
        if (r != k) {
            for (int32_t j = 0; j < n; j++) std::swap(A(r, j), A(k, j));
            d = neg(d);
        }
        d = r_mul(d, A(k, k));
        const uint32_t inv = power(A(k, k), order - 1);
        for (int32_t i = k + 1; i < n; i++) {
            if (!A(i, k)) continue;
            const uint32_t m = neg(r_mul(A(i, k), inv));
            for (int32_t j = k; j < n; j++) A(i, j) = r_add(A(i, j), r_mul(m, A(k, j)));
        }
    }
    return d;
}

// The dense residue elimination on a dense copy.
uint32_t dense_det(const Res& a, int32_t n) {
    std::vector<quoly*> cells(size_t(n) * n, nullptr);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) quoly_set_lint(static_cast<int32_t>(a[size_t(i) * n + j]), &cells[size_t(j) * n + i]);
    quoly* r = nullptr;
    quoly_set_lint(1, &r);
    mod_determ(cells.data(), n, r);
    const uint32_t v = static_cast<uint32_t>(r->nnum->value);
    free_quoly(&r);
    for (auto& q : cells) free_quoly(&q);
    return v;
}

uint32_t run(sparse** f, int32_t n, int consume) {
    quoly* r = nullptr;
    quoly_set_lint(1, &r);
    sparse_mod_int_determ(&r, f, n, consume, 0);
    EXPECT_TRUE(r->isnum);
    const uint32_t v = static_cast<uint32_t>(r->nnum->value);
    free_quoly(&r);
    return v;
}

// After step k: rows ascending, no residue 0, row k holds only its pivot
// at (k, k), rows below hold nothing at or left of column k.
int32_t steps = 0;
void check_step(sparse* first, int32_t n, int32_t k) {
    steps++;
    for (int32_t r = 1; r <= n; r++) {
        int32_t prev = 0;
        for (const colm* e = *row_head(first, r); e; e = e->next) {
            ASSERT_GT(e->col, prev) << "row " << r << " step " << k;
            ASSERT_LE(e->col, n);
            ASSERT_NE(e->val, nullptr) << "residue 0 stored, row " << r << " step " << k;
            if (!finf) {
                ASSERT_LT(reinterpret_cast<uintptr_t>(e->val), static_cast<uintptr_t>(modulus));
            }
            prev = e->col;
        }
    }
    const colm* pivot = *row_head(first, k);
    ASSERT_TRUE(pivot && pivot->col == k && !pivot->next) << "pivot row " << k;
    for (int32_t r = k + 1; r <= n; r++) {
        const colm* e = *row_head(first, r);
        if (e) {
            ASSERT_GT(e->col, k) << "row " << r << " step " << k;
        }
    }
}
struct StepHook {
    StepHook() {
        sparse_mod_step_hook = check_step;
        steps = 0;
    }
    ~StepHook() { sparse_mod_step_hook = nullptr; }
};

// Sparse random residues: the diagonal most of the time and `extra` more
// entries a row; singular shapes on request (1 empty row, 2 empty column,
// 3 a row the multiple of another).
Res random_sparse(std::mt19937_64& rng, int32_t n, int extra, int singular) {
    Res a(size_t(n) * n, 0);
    const uint32_t p = static_cast<uint32_t>(modulus);
    std::uniform_int_distribution<uint32_t> val(1, p - 1);
    std::uniform_int_distribution<int32_t> col(0, n - 1);
    std::uniform_int_distribution<int> pick(0, 7);
    // Small values too: units and their negatives test the p = 1 path.
    auto v = [&]() -> uint32_t {
        const int k = pick(rng);
        return k == 0 ? 1 : k == 1 ? (finf ? 1 : p - 1) : val(rng);
    };
    for (int32_t i = 0; i < n; i++) {
        if (pick(rng)) a[size_t(i) * n + i] = v();
        for (int e = 0; e < extra; e++) a[size_t(i) * n + col(rng)] = v();
    }
    if (n > 1 && singular == 1) {
        const int32_t r = col(rng);
        for (int32_t j = 0; j < n; j++) a[size_t(r) * n + j] = 0;
    }
    if (n > 1 && singular == 2) {
        const int32_t c = col(rng);
        for (int32_t i = 0; i < n; i++) a[size_t(i) * n + c] = 0;
    }
    if (n > 1 && singular == 3) {
        const int32_t r = col(rng), s = (r + 1) % n;
        const uint32_t m = v();
        for (int32_t j = 0; j < n; j++) a[size_t(s) * n + j] = r_mul(m, a[size_t(r) * n + j]);
    }
    return a;
}

// The matrix holds exactly the residues of a.
::testing::AssertionResult matches_residues(sparse* f, const Res& a, int32_t n) {
    for (int32_t i = 0; i < n; i++) {
        const colm* e = *row_head(f, i + 1);
        for (int32_t j = 0; j < n; j++) {
            const uint32_t v = a[size_t(i) * n + j];
            const bool here = e && e->col == j + 1;
            if (!v && !here) continue;
            if (!here || !e->val->isnum || static_cast<uint32_t>(e->val->nnum->value) != v)
                return ::testing::AssertionFailure() << "(" << i + 1 << ", " << j + 1 << ") changed";
            e = e->next;
        }
        if (e) return ::testing::AssertionFailure() << "row " << i + 1 << " grew";
    }
    return ::testing::AssertionSuccess();
}

// Both modes, the general sparse elimination and the hub (elimination
// sizes) on one matrix; each must give want.
void every_route(const Res& a, int32_t n, uint32_t want, const char* what) {
    const int64_t base = colms_in_use();
    sparse* f = build(a, n);
    const int64_t in_use = colms_in_use();
    {
        StepHook hook;
        EXPECT_EQ(run(&f, n, 0), want) << what << " n=" << n;
    }
    ASSERT_TRUE(sparse_ok(f, n, n));
    EXPECT_TRUE(matches_residues(f, a, n)) << what << " n=" << n;
    EXPECT_EQ(colms_in_use(), in_use) << "copy not given back, n=" << n;
    if (n <= 60) {
        quoly* r = nullptr;
        quoly_set_lint(1, &r);
        sparse_gauss_elim(f, &r, n, 0, 0);
        EXPECT_EQ(static_cast<uint32_t>(r->nnum->value), want) << what << " Gaussian, n=" << n;
        free_quoly(&r);
    }
    if (n > 3) {
        quoly* r = nullptr;
        quoly_set_lint(1, &r);
        mat_invert(nullptr, nullptr, 0, 0, n, &r, 0, 0, &f, nullptr, -1, -1, -1, 0, 0);
        EXPECT_EQ(static_cast<uint32_t>(r->nnum->value), want) << what << " hub, n=" << n;
        free_quoly(&r);
        ASSERT_NE(f, nullptr);
    }
    // Consumed: the matrix is eliminated where it lies and freed.
    EXPECT_EQ(run(&f, n, 1), want) << what << " consumed, n=" << n;
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(colms_in_use(), base);
}


void random_cases(int32_t q, uint64_t seed, int32_t largest) {
    PrimeRing ring(q);
    std::mt19937_64 rng(seed);
    RecordLedger ledger;
    int zero = 0, nonzero = 0;
    for (int32_t n = 1; n <= largest; n += n < 10 ? 1 : n < 60 ? 7 : n) {
        for (int singular = 0; singular <= 3; singular++) {
            for (int extra : {1, 2, 4}) {
                const Res a = random_sparse(rng, n, extra, singular);
                const uint32_t want = reference_det(a, n);
                (want ? nonzero : zero)++;
                if (n <= 120) {
                    EXPECT_EQ(dense_det(a, n), want) << "the two references, n=" << n;
                }
                every_route(a, n, want, "random");
            }
        }
    }
    EXPECT_GT(zero, 10);
    EXPECT_GT(nonzero, 10);
    EXPECT_TRUE(ledger.balanced());
}

TEST(SparseModDet, SmallPrime) { random_cases(101, 11, 250); }
TEST(SparseModDet, TwoAndThree) {
    random_cases(2, 12, 70);
    random_cases(3, 13, 70);
}
TEST(SparseModDet, WordPrime) { random_cases(2147483629, 14, 250); }
TEST(SparseModDet, Fields) {
    random_cases(256, 15, 250);
    random_cases(65536, 16, 120);
}

// Identity, one exchange, a zero row.
TEST(SparseModDet, HandValues) {
    for (int32_t q : {7, 65521, 2147483629, 256, 65536}) {
        PrimeRing ring(q);
        for (int32_t n : {1, 2, 5, 2049}) {
            Res id(size_t(n) * n, 0);
            for (int32_t i = 0; i < n; i++) id[size_t(i) * n + i] = 1;
            sparse* f = build(id, n);
            EXPECT_EQ(run(&f, n, 0), 1u);
            free_sparse(&f, n, 1);
            if (n < 2) continue;
            Res swapped = id;
            std::swap(swapped[0], swapped[size_t(n - 1) * n]);           // column 1 <-> row n
            std::swap(swapped[n - 1], swapped[size_t(n - 1) * n + n - 1]);
            f = build(swapped, n);
            EXPECT_EQ(run(&f, n, 0), finf ? 1u : static_cast<uint32_t>(q - 1)) << q << " n=" << n;
            free_sparse(&f, n, 1);
            Res zero_row = id;
            zero_row[size_t(n / 2) * n + n / 2] = 0;
            f = build(zero_row, n);
            EXPECT_EQ(run(&f, n, 0), 0u);
            free_sparse(&f, n, 1);
        }
    }
}

// A thousand rows, against the dense residue elimination on the dense copy.
TEST(SparseModDet, ThousandRowsAgainstTheDenseCopy) {
    for (int32_t q : {2147483629, 256}) {
        PrimeRing ring(q);
        std::mt19937_64 rng(q);
        const int32_t n = 1000;
        const Res a = random_sparse(rng, n, 2, 0);
        sparse* f = build(a, n);
        const uint32_t want = dense_det(a, n);
        EXPECT_EQ(run(&f, n, 0), want) << q;
        EXPECT_TRUE(matches_residues(f, a, n));
        free_sparse(&f, n, 1);
    }
}

// The determinant over Z by expansion along the first row.
mpz_class laplace(const std::vector<std::vector<mpz_class>>& m) {
    const size_t n = m.size();
    if (n == 0) return 1;
    mpz_class d = 0;
    for (size_t j = 0; j < n; j++) {
        if (m[0][j] == 0) continue;
        std::vector<std::vector<mpz_class>> minor;
        for (size_t i = 1; i < n; i++) {
            minor.push_back(m[i]);
            minor.back().erase(minor.back().begin() + j);
        }
        d += (j % 2 ? -1 : 1) * m[0][j] * laplace(minor);
    }
    return d;
}

// A composite modulus: the determinant over Z reduced, or error 85 when a
// pivot has no inverse; never another value.
TEST(SparseModDet, CompositeModulus) {
    std::mt19937_64 rng(18);
    int values = 0, errors = 0;
    for (int32_t q : {4, 6, 12, 65535, 1000000}) {
        PrimeRing ring(q);
        mod_is_prime = 0;
        for (int32_t n = 1; n <= 6; n++) {
            for (int rep = 0; rep < 8; rep++) {
                // Entries as integers; the determinant over Z by fraction-free
                // elimination, reduced afterwards.
                std::vector<std::vector<mpz_class>> z(n, std::vector<mpz_class>(n));
                Res a(size_t(n) * n, 0);
                std::uniform_int_distribution<int> v(-4, 4), pick(0, 2);
                for (int32_t i = 0; i < n; i++)
                    for (int32_t j = 0; j < n; j++) {
                        if (i != j && pick(rng)) continue;
                        // Units on the diagonal half the time: values come out too.
                        z[i][j] = rep % 2 && i == j ? 1 : v(rng);
                        mpz_class r = z[i][j] % q;
                        if (r < 0) r += q;
                        a[size_t(i) * n + j] = static_cast<uint32_t>(r.get_ui());
                    }
                mpz_class want = laplace(z);
                want %= q;
                if (want < 0) want += q;
                sparse* f = build(a, n);
                uint32_t got = 0;
                const int code = error_code([&] { got = run(&f, n, 0); });
                if (code == 0) {
                    EXPECT_EQ(got, want.get_ui()) << "q=" << q << " n=" << n;
                    values++;
                } else {
                    EXPECT_EQ(code, 85);
                    errors++;
                }
                EXPECT_TRUE(matches_residues(f, a, n));
                free_sparse(&f, n, 1);
            }
        }
    }
    EXPECT_GT(values, 20);
    EXPECT_GT(errors, 5);
}

// A zero divisor that the unchecked inverse would have used: 2 mod 6.
TEST(SparseModDet, ZeroDivisorPivotIsError85) {
    PrimeRing ring(6);
    mod_is_prime = 0;
    const Res a = {2, 3, 3, 2};   // det = -5 = 1 mod 6
    sparse* f = build(a, 2);
    const int64_t base = colms_in_use();
    EXPECT_TARVEX_ERROR(run(&f, 2, 0), 85);
    EXPECT_EQ(colms_in_use(), base);
    free_sparse(&f, 2, 1);
}

// The row choice, at the edges of its window.
TEST(SparseModRows, Window) {
    PrimeRing ring(101);
    const int32_t n = 10;
    // Row 1: 6 entries; rows 2..4: 5 entries; row 5 (past the window at k
    // = 1, which ends at row max(4, 10 - 4 x 9 div 5) = 4): 1 entry.
    Res a(size_t(n) * n, 0);
    for (int32_t j = 0; j < 6; j++) a[j] = 1;
    for (int32_t i = 1; i < 4; i++)
        for (int32_t j = 0; j < 5; j++) a[size_t(i) * n + j + 4] = 1;
    a[size_t(4) * n + 9] = 1;
    for (int32_t i = 5; i < n; i++) a[size_t(i) * n + i] = 1;
    sparse* f = build(a, n);
    sparse* raw = nullptr;
    special_copy_sparse(f, &raw, n);
    int32_t row = 0, col = 0;
    // Row 2 (5 entries) is the best in the window, but not below 2/3 of row
    // 1's 6: not taken.
    EXPECT_EQ(spec1_mod_sparse_findbest(raw, n, 1, &row, &col), 0);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(col, 5);
    // The same choice from row lengths kept by the caller.
    std::vector<int32_t> lengths(n + 1, 0);
    for (int32_t i = 1; i <= n; i++)
        for (const colm* e = *row_head(raw, i); e; e = e->next) lengths[i]++;
    row = col = 0;
    EXPECT_EQ(spec1_mod_sparse_findbest(raw, n, 1, &row, &col, lengths.data()), 0);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(col, 5);
    lengths[4] = 0;   // an empty row in the window
    EXPECT_NE(spec1_mod_sparse_findbest(raw, n, 1, &row, &col, lengths.data()), 0);
    EXPECT_EQ(col, -1);
    // Row 3 with 2 entries: 2 x 2 < 6 stops the scan there (f = 2).
    colm* keep = *row_head(raw, 3);
    colm* two = keep->next->next->next;   // columns 8, 9 left
    *row_head(raw, 3) = two;
    EXPECT_NE(spec1_mod_sparse_findbest(raw, n, 1, &row, &col), 0);
    EXPECT_EQ(row, 3);
    EXPECT_EQ(col, 8);
    // A row in the window with nothing at or right of column k.
    *row_head(raw, 3) = nullptr;
    row = 0;
    EXPECT_NE(spec1_mod_sparse_findbest(raw, n, 1, &row, &col), 0);
    EXPECT_EQ(col, -1);
    *row_head(raw, 3) = keep;
    free_sparse_frame(&raw, n);
    free_sparse(&f, n, 1);
}

// The tree-kept row choice against the window scan on the same rows:
// rows of random lengths (empty ones among them) whose entries lie at or
// right of column k, across frames, before and after lengths change.
TEST(SparseModRows, IndexedChoiceIsTheWindowScans) {
    PrimeRing ring(101);
    std::mt19937_64 rng(77);
    for (int32_t n : {3, 10, 57, 400, 2500}) {
        std::uniform_int_distribution<int32_t> kpick(1, n), len(0, 12), shape(0, 3);
        for (int trial = 0; trial < 12; trial++) {
            const int32_t k = kpick(rng);
            sparse* f = new_frame_chain(n);
            std::vector<int32_t> lengths(size_t(n) + 1, 0);
            const int kind = shape(rng);
            for (int32_t r = k; r <= n; r++) {
                // Mostly equal lengths (no early stop), or random ones.
                int32_t want = kind == 0 ? 7 : len(rng);
                if (kind == 1 && want == 0) want = 5;
                colm** tail = row_head(f, r);
                for (int32_t c = k; c <= n && lengths[r] < want; c++) {
                    if (std::uniform_int_distribution<int>(0, 2)(rng) == 0 && n - c > want - lengths[r]) continue;
                    colm* e = take_colm();
                    e->col = c;
                    e->val = nullptr;
                    quoly_set_lint(1 + c % 100, &e->val);
                    e->next = nullptr;
                    *tail = e;
                    tail = &e->next;
                    lengths[r]++;
                }
            }
            RowLengthIndex index(lengths);
            for (int round = 0; round < 2; round++) {
                int32_t r1 = -5, c1 = -5, r2 = -5, c2 = -5;
                const int f1 = spec1_mod_sparse_findbest(f, n, k, &r1, &c1, lengths.data());
                const int f2 = indexed_mod_sparse_findbest(f, n, k, &r2, &c2, index);
                EXPECT_EQ(f1 != 0, f2 != 0) << "n=" << n << " k=" << k << " round " << round;
                EXPECT_EQ(c1, c2) << "n=" << n << " k=" << k;
                // The caller reads the row only when it takes it.
                if (f1 && c1 >= 0) {
                    EXPECT_EQ(r1, r2) << "n=" << n << " k=" << k;
                }
                // Empty some rows' tails: shorter rows, the first column kept.
                for (int t = 0; t < 20; t++) {
                    const int32_t r = std::uniform_int_distribution<int32_t>(k, n)(rng);
                    colm* h = *row_head(f, r);
                    if (!h || !h->next) continue;
                    colm* rest = h->next;
                    h->next = nullptr;
                    for (colm* e = rest; e; e = e->next) free_quoly(&e->val);
                    give_back_list(rest);
                    lengths[r] = 1;
                    index.set(r, 1);
                }
            }
            free_sparse(&f, n, 1);
        }
    }
}

}  // namespace
