// The Leverrier-Faddeev inverse and determinant of sparse matrices:
// inverses over Z and Q against a Gauss-Jordan inverse on GMP rationals,
// over Z/p and polynomials by A x A^-1 = I on the test's own arithmetic;
// matrices that stay sparse and ones whose iterates fill up and finish in
// dense cells; the determinant mode against elimination; errors 44 and 36
// with everything given back and the matrix left as it was.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "det/mat_invert.h"
#include "matrix/sparse.h"
#include "matrix/sparse_invert.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "support/expect_error.h"
#include "support/field_ref.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

// The inverse by Gauss-Jordan on rationals; false when singular.
bool gmp_inverse(const Model& a, Model* inv) {
    const int32_t n = a.n;
    Model m = a;
    *inv = Model(n, n);
    for (int32_t i = 1; i <= n; i++) inv->at(i, i) = 1;
    for (int32_t k = 1; k <= n; k++) {
        int32_t p = k;
        while (p <= n && m.at(p, k) == 0) p++;
        if (p > n) return false;
        for (int32_t j = 1; j <= n; j++) {
            std::swap(m.at(p, j), m.at(k, j));
            std::swap(inv->at(p, j), inv->at(k, j));
        }
        const mpq_class d = m.at(k, k);
        for (int32_t j = 1; j <= n; j++) {
            m.at(k, j) /= d;
            inv->at(k, j) /= d;
        }
        for (int32_t i = 1; i <= n; i++) {
            if (i == k || m.at(i, k) == 0) continue;
            const mpq_class f = m.at(i, k);
            for (int32_t j = 1; j <= n; j++) {
                m.at(i, j) -= f * m.at(k, j);
                inv->at(i, j) -= f * inv->at(k, j);
            }
        }
    }
    return true;
}

mpq_class gmp_det(Model m) {
    const int32_t n = m.n;
    mpq_class d = 1;
    for (int32_t k = 1; k <= n; k++) {
        int32_t p = k;
        while (p <= n && m.at(p, k) == 0) p++;
        if (p > n) return 0;
        if (p != k) {
            for (int32_t j = 1; j <= n; j++) std::swap(m.at(p, j), m.at(k, j));
            d = -d;
        }
        d *= m.at(k, k);
        for (int32_t i = k + 1; i <= n; i++) {
            const mpq_class f = m.at(i, k) / m.at(k, k);
            for (int32_t j = k; j <= n; j++) m.at(i, j) -= f * m.at(k, j);
        }
    }
    return d;
}

// The inverse the routine left: the sparse matrix or the dense cells.
struct Inverse {
    sparse* f = nullptr;
    std::vector<quoly*> cells;   // column by column
    int32_t n;
    explicit Inverse(int32_t size) : cells(size_t(size) * size, nullptr), n(size) {}
    ~Inverse() {
        if (f)
            free_sparse(&f, n, 1);
        else
            for (auto& q : cells) free_quoly(&q);
    }
    // The element (from 1); null for an absent sparse one.
    quoly* at(int32_t i, int32_t j) const {
        if (!f) return cells[size_t(j - 1) * n + (i - 1)];
        const colm* e = *row_head(f, i);
        while (e && e->col < j) e = e->next;
        return e && e->col == j ? e->val : nullptr;
    }
    uint32_t word(int32_t i, int32_t j) const {
        quoly* q = at(i, j);
        return q ? static_cast<uint32_t>(q->nnum->value) : 0;
    }
    Inverse(const Inverse&) = delete;
    Inverse& operator=(const Inverse&) = delete;
};

// A matrix of copies of the row-major cells (null absent), built by hand.
sparse* from_cells(const std::vector<quoly*>& a, int32_t n) {
    sparse* f = new_frame_chain(n);
    for (int32_t i = 0; i < n; i++) {
        colm** tail = row_head(f, i + 1);
        for (int32_t j = 0; j < n; j++) {
            if (!a[size_t(i) * n + j]) continue;
            colm* e = take_colm();
            e->col = j + 1;
            e->val = nullptr;
            quoly_assign(a[size_t(i) * n + j], &e->val);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    return f;
}

// Inverts a copy of A through the hub (the array language's call); A kept.
void hub_inverse(sparse* a, int32_t n, Inverse* out) {
    copy_sparse(&a, &out->f, n, 0);
    struct Held {
        quoly* q = nullptr;
        ~Held() { free_quoly(&q); }
    } det;
    quoly_set(1, &det.q);
    mat_invert(out->cells.data(), out->cells.data(), 1, 1, n, &det.q, 1, 1, &out->f, nullptr, -1, -1, -1, 0, 0);
}

Model random_model(std::mt19937_64& rng, int32_t n, int per_row, bool fractions) {
    Model m(n, n);
    std::uniform_int_distribution<int> v(-9, 9), den(1, 5);
    std::uniform_int_distribution<int32_t> col(1, n);
    for (int32_t i = 1; i <= n; i++) {
        m.at(i, i) = v(rng) ? v(rng) : 7;
        for (int e = 0; e < per_row; e++) m.at(i, col(rng)) = fractions ? mpq_class(v(rng), den(rng)) : mpq_class(v(rng));
    }
    for (auto& x : m.v) x.canonicalize();
    return m;
}

// Every cell of the inverse against the model.
::testing::AssertionResult equals(const Inverse& inv, const Model& want) {
    for (int32_t i = 1; i <= want.n; i++)
        for (int32_t j = 1; j <= want.n; j++) {
            quoly* q = inv.at(i, j);
            const mpq_class got = q ? quoly_value(q) : mpq_class(0);
            if (got != want.at(i, j))
                return ::testing::AssertionFailure() << "(" << i << ", " << j << ") = " << got.get_str() << ", want "
                                                     << want.at(i, j).get_str();
        }
    return ::testing::AssertionSuccess();
}

// Over Z and Q: sparse-staying shapes (diagonal, tridiagonal) and random
// ones that fill in, against the rational inverse; singular ones are 44.
TEST(SparseInverse, IntegersAndRationals) {
    PrimeRing ring(0);
    std::mt19937_64 rng(21);
    RecordLedger ledger;
    int dense_seen = 0, sparse_seen = 0, singular_seen = 0;
    for (bool fractions : {false, true}) {
        for (int32_t n = 1; n <= 12; n++) {
            for (int shape = 0; shape < 4; shape++) {
                Model a(n, n);
                if (shape == 0) {   // diagonal
                    for (int32_t i = 1; i <= n; i++) a.at(i, i) = mpq_class(i % 2 ? i : -i, fractions ? 3 : 1);
                } else if (shape == 1) {   // tridiagonal
                    for (int32_t i = 1; i <= n; i++) {
                        a.at(i, i) = 2;
                        if (i > 1) a.at(i, i - 1) = -1;
                        if (i < n) a.at(i, i + 1) = fractions ? mpq_class(-1, 2) : mpq_class(-1);
                    }
                } else {
                    a = random_model(rng, n, shape == 2 ? 1 : 2, fractions);
                }
                for (auto& x : a.v) x.canonicalize();
                Model want(n, n);
                const bool regular = gmp_inverse(a, &want);
                sparse* f = build_from(a);
                Inverse inv(n);
                const int code = error_code([&] { hub_inverse(f, n, &inv); });
                EXPECT_TRUE(matches(f, a)) << "the caller's matrix changed, n=" << n;
                if (!regular) {
                    EXPECT_EQ(code, 44) << n;
                    singular_seen++;
                    // The copy stays the caller's after the error.
                    ASSERT_NE(inv.f, nullptr);
                } else {
                    ASSERT_EQ(code, 0) << n;
                    EXPECT_TRUE(equals(inv, want)) << "n=" << n << " shape " << shape;
                    (inv.f ? sparse_seen : dense_seen)++;
                    if (inv.f) {
                        EXPECT_TRUE(sparse_ok(inv.f, n, n));
                    }
                    if (shape == 0) {
                        EXPECT_NE(inv.f, nullptr) << "a diagonal matrix stays sparse";
                    }
                }
                EXPECT_EQ(first_available, 1);
                free_sparse(&f, n, 1);
            }
        }
    }
    EXPECT_GT(dense_seen, 5);
    EXPECT_GT(sparse_seen, 5);
    EXPECT_GT(singular_seen, 0);
    EXPECT_TRUE(ledger.balanced());
}

// Over Z/p (n below p): A x A^-1 = I in the test's residue arithmetic.
TEST(SparseInverse, Residues) {
    for (int32_t p : {101, 65521, 2147483629}) {
        PrimeRing ring(p);
        std::mt19937_64 rng(p);
        std::uniform_int_distribution<uint32_t> val(1, static_cast<uint32_t>(p - 1));
        std::uniform_int_distribution<int32_t> col(1, 30);
        int checked = 0;
        for (int32_t n : {1, 2, 3, 7, 15, 30}) {
            for (int rep = 0; rep < 3; rep++) {
                std::vector<uint32_t> a(size_t(n) * n, 0);
                for (int32_t i = 0; i < n; i++) {
                    a[size_t(i) * n + i] = val(rng);
                    if (rep) a[size_t(i) * n + (col(rng) - 1) % n] = val(rng);
                    if (rep == 2) a[size_t(i) * n + (col(rng) - 1) % n] = val(rng);
                }
                std::vector<quoly*> q(a.size(), nullptr);
                for (size_t c = 0; c < a.size(); c++)
                    if (a[c]) quoly_set_lint(static_cast<int32_t>(a[c]), &q[c]);
                sparse* f = from_cells(q, n);
                for (auto& x : q) free_quoly(&x);
                Inverse inv(n);
                const int code = error_code([&] { hub_inverse(f, n, &inv); });
                if (code == 44) {
                    free_sparse(&f, n, 1);
                    continue;
                }
                ASSERT_EQ(code, 0);
                for (int32_t i = 0; i < n; i++)
                    for (int32_t j = 0; j < n; j++) {
                        uint32_t s = 0;
                        for (int32_t k = 0; k < n; k++)
                            s = r_add(s, r_mul(a[size_t(i) * n + k], inv.word(k + 1, j + 1)));
                        EXPECT_EQ(s, i == j ? 1u : 0u) << "p=" << p << " n=" << n << " (" << i << ", " << j << ")";
                    }
                checked++;
                free_sparse(&f, n, 1);
            }
        }
        EXPECT_GT(checked, 12);
    }
}

// Polynomial entries: A x A^-1 = I by quoly products.
TEST(SparseInverse, Polynomials) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    std::mt19937_64 rng(22);
    std::uniform_int_distribution<int> coef(-3, 3), ex(0, 1), pick(0, 2);
    for (int32_t n = 1; n <= 5; n++) {
        std::vector<quoly*> a(size_t(n) * n, nullptr);   // row-major
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) {
                if (i != j && pick(rng)) continue;
                HeldPoly p(build_poly(2, {{i == j ? 1 : coef(rng), {ex(rng), ex(rng)}}, {coef(rng), {0, 0}}}));
                if (poly_iszero(p.p)) continue;
                p_q_assign(p.p, &a[size_t(i) * n + j]);
            }
        sparse* f = from_cells(a, n);
        Inverse inv(n);
        const int code = error_code([&] { hub_inverse(f, n, &inv); });
        if (code == 0) {
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    quoly* s = nullptr;
                    quoly_set(0, &s);
                    for (int32_t k = 0; k < n; k++) {
                        quoly* x = a[size_t(i) * n + k];
                        if (!x || !inv.at(k + 1, j + 1)) continue;
                        quoly* t = nullptr;
                        quoly_mult(x, inv.at(k + 1, j + 1), &t);
                        best_quoly_add(&s, t);
                    }
                    EXPECT_TRUE(i == j ? quoly_eq_1(s) : quoly_iszero(s)) << "n=" << n << " (" << i << ", " << j << ")";
                    free_quoly(&s);
                }
        } else {
            EXPECT_EQ(code, 44);
        }
        free_sparse(&f, n, 1);
        for (auto& q : a) free_quoly(&q);
    }
}

// The determinant mode, one more independent determinant: against GMP,
// with and without dense cells to finish in.
TEST(SparseInverse, DeterminantMode) {
    PrimeRing ring(0);
    std::mt19937_64 rng(23);
    RecordLedger ledger;
    std::vector<quoly*> cells(size_t(12) * 12, nullptr);
    for (int32_t n = 1; n <= 12; n++) {
        for (int rep = 0; rep < 4; rep++) {
            Model a = random_model(rng, n, rep % 3, rep == 3);
            if (rep == 2 && n > 2) {   // a singular one
                for (int32_t j = 1; j <= n; j++) a.at(2, j) = 3 * a.at(1, j);
            }
            const mpq_class want = gmp_det(a);
            for (bool with_cells : {false, true}) {
                sparse* f = build_from(a);
                quoly* d = nullptr;
                invert_sparse(&f, with_cells ? cells.data() : nullptr, 1, 0, n, &d);
                EXPECT_EQ(f, nullptr);
                EXPECT_EQ(quoly_value(d), want) << "n=" << n << " rep " << rep;
                free_quoly(&d);
            }
            // Not consumed: the matrix stays as it was.
            sparse* f = build_from(a);
            sparse* keep = f;
            quoly* d = nullptr;
            invert_sparse(&f, cells.data(), 0, 0, n, &d);
            EXPECT_EQ(quoly_value(d), want);
            EXPECT_TRUE(matches(keep, a));
            free_quoly(&d);
            free_sparse(&keep, n, 1);
        }
    }
    EXPECT_EQ(first_available, 1);
    EXPECT_TRUE(ledger.balanced());
}

// Division by k <= n: GF(2^8) and GF(2^16) have characteristic 2, so
// n >= 2 is refused there; Z/p refuses n >= p. A 1 x 1 needs no division.
TEST(SparseInverse, Error36) {
    for (int32_t q : {256, 65536, 5}) {
        PrimeRing ring(q);
        for (int32_t n : {1, 2, 5}) {
            std::vector<quoly*> diag(size_t(n) * n, nullptr);
            for (int32_t i = 0; i < n; i++) quoly_set_lint(3, &diag[size_t(i) * n + i]);
            sparse* f = from_cells(diag, n);
            for (auto& x : diag) free_quoly(&x);
            Inverse inv(n);
            const int64_t before = colms_in_use();
            const int code = error_code([&] { hub_inverse(f, n, &inv); });
            const bool refused = q == 5 ? n >= 5 : n >= 2;
            EXPECT_EQ(code, refused ? 36 : 0) << q << " " << n;
            if (!refused) {
                // 3 x 3^-1 = 1 in the ring.
                EXPECT_EQ(r_mul(3, inv.word(1, 1)), 1u);
            } else {
                EXPECT_EQ(colms_in_use(), before + n) << "only the caller's copy is left";
            }
            free_sparse(&f, n, 1);
        }
    }
}

}  // namespace
