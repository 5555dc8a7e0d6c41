// Random sequences of sparse-matrix operations against a dense model of
// rationals, around the frame boundaries (2,048 / 2,049 / 4,097 rows). The
// invariant checker and the model comparison run after every operation.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_sums.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "toplevel/loop.h"

namespace {

struct Rng {
    std::mt19937 g;
    explicit Rng(uint32_t seed) : g(seed) {}
    int32_t in(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(g); }
    bool chance(int percent) { return in(1, 100) <= percent; }
    // Small values, zero included, favouring the edges of one digit now and then.
    mpq_class value() {
        switch (in(0, 9)) {
        case 0: return 0;
        case 1: return DIGIT_MASK;
        case 2: return -DIGIT_MASK;
        case 3: {
            mpq_class x(in(-9, 9), in(1, 4));
            x.canonicalize();
            return x;
        }
        default: return in(-5, 5);
        }
    }
};

mpz_class tdiv(const mpz_class& a, const mpz_class& b) {
    mpz_class q;
    mpz_tdiv_q(q.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
    return q;
}

// The model's choice of sparse_max_min: row-major order, ties to the first.
int64_t model_extreme(const Model& m, int maximum, int positive) {
    bool found = false;
    mpq_class best;
    int64_t pos = 0;
    for (int32_t r = 1; r <= m.n; r++)
        for (int32_t c = 1; c <= m.m; c++) {
            const mpq_class& x = m.at(r, c);
            bool take;
            if (maximum)
                take = !found || x > best;
            else if (positive && x <= 0)
                take = false;
            else
                take = !found || x < best;
            if (take) {
                found = true;
                best = x;
                pos = int64_t{r - 1} + int64_t{c - 1} * m.n;
            }
        }
    return found ? pos + addresser : addresser - 1;
}

// Keeps every model value an integer where an operation needs it.
bool all_integers(const Model& m) {
    for (const mpq_class& x : m.v)
        if (x.get_den() != 1) return false;
    return true;
}

class SparseRandom : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        if (!quol_num_0) quoly_set(0, &quol_num_0);
    }
};

TEST_P(SparseRandom, OperationsFollowTheDenseModel) {
    const int32_t rows0 = GetParam();
    const uint32_t seed = 20261207u + static_cast<uint32_t>(rows0);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed);
    RecordLedger ledger;
    const int64_t colms0 = colms_in_use();

    tokenrec t;
    set_token(&t, "rnd");
    const int32_t cols0 = 6;
    array* a = sparse_create(&t, rows0, cols0, 0, 1);
    Model model(rows0, cols0);
    // Something in every frame, the boundary rows included.
    for (int32_t r : {1, 2048, 2049, rows0})
        if (r <= rows0) {
            model.at(r, 1 + r % cols0) = r;
            quoly* q = make_q(r);
            sparse_insert(r, 1 + r % cols0, a, 1, &q);
            free_quoly(&q);
        }

    auto reshape = [&](int32_t n, int32_t m) {
        a->rows = n;
        special_set_2(n, m, &a->size);
    };
    auto pick_row = [&]() {
        // Half the picks near a frame boundary.
        if (rng.chance(50)) {
            const int32_t edges[] = {1, 2, 2047, 2048, 2049, 2050, 4096, 4097, model.n};
            const int32_t r = edges[rng.in(0, 8)];
            if (r <= model.n) return r;
        }
        return rng.in(1, model.n);
    };

    // Rationals out, by the routines under test.
    auto clear_rationals = [&]() {
        for (int32_t r = 1; r <= model.n; r++)
            for (int32_t c = 1; c <= model.m; c++)
                if (model.at(r, c).get_den() != 1) {
                    sparse_delete(r, c, a, 1);
                    model.at(r, c) = 0;
                }
    };

    const int steps = 160;
    for (int step = 0; step < steps; step++) {
        const int32_t n = model.n, m = model.m;
        const int op = rng.in(0, 15);
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
        switch (op) {
        case 0:
        case 1: {   // insert, by two subscripts or one linear index
            for (int k = 0; k < 40; k++) {
                const int32_t r = pick_row(), c = rng.in(1, m);
                if (model.at(r, c) != 0) continue;
                const mpq_class x = rng.value();
                quoly* q = make_q(x);
                if (op == 0)
                    sparse_insert(r, c, a, 1, &q);
                else
                    sparse_insert(static_cast<int32_t>((r - 1) + int64_t{c - 1} * n + addresser), addresser, a,
                                  0, &q);
                free_quoly(&q);
                model.at(r, c) = x;
            }
            break;
        }
        case 2: {   // delete stored elements
            for (int k = 0; k < 30; k++) {
                const int32_t r = pick_row(), c = rng.in(1, m);
                if (model.at(r, c) == 0) continue;
                sparse_delete(r, c, a, 1);
                model.at(r, c) = 0;
            }
            break;
        }
        case 3: {   // find-or-make, assign (0 sometimes), purge
            for (int k = 0; k < 30; k++) {
                const int32_t r = pick_row(), c = rng.in(1, m);
                quoly** slot = nullptr;
                array_quoly_ptr(a, r, c, 1, &slot, "t", 0);
                if (!slot) sparse_set(r, c, a, &slot, 1);
                const mpq_class x = rng.value();
                quoly* q = make_q(x);
                quoly_assign(q, slot);
                free_quoly(&q);
                purge_sparse(row_head(a->sparse, r), c);
                model.at(r, c) = x;
            }
            break;
        }
        case 4: {   // row i += c x row j
            const int32_t i = pick_row(), j = pick_row();
            const int32_t c = rng.in(-3, 3);
            quoly* q = make_q(c);
            sparse_row_add(a->sparse, q, i, j);
            free_quoly(&q);
            if (i == j)
                for (int32_t k = 1; k <= m; k++) model.at(i, k) *= 1 + c;
            else
                for (int32_t k = 1; k <= m; k++) model.at(i, k) += c * model.at(j, k);
            break;
        }
        case 5: {   // column j += c x column k
            const int32_t j = rng.in(1, m), k = rng.in(1, m), c = rng.in(-3, 3);
            quoly* q = make_q(c);
            sparse_col_add(a->sparse, q, n, j, k);
            free_quoly(&q);
            for (int32_t r = 1; r <= n; r++) model.at(r, j) += c * model.at(r, k);
            break;
        }
        case 6: {   // exchanges
            const int32_t i = pick_row(), j = pick_row();
            sp_switchrow(a->sparse, i, j);
            for (int32_t k = 1; k <= m; k++) std::swap(model.at(i, k), model.at(j, k));
            int32_t ci = rng.in(1, m), cj = rng.in(1, m);
            if (ci > cj) std::swap(ci, cj);
            const int32_t r0 = rng.chance(50) ? 1 : pick_row();
            sp_switchcol(a->sparse, ci, cj, n, r0);
            for (int32_t r = r0; r <= n; r++) std::swap(model.at(r, ci), model.at(r, cj));
            break;
        }
        case 7: {   // transpose, twice now and then
            trans_sparse(&a->sparse, n, m);
            model = model.transposed();
            reshape(m, n);
            if (rng.chance(30)) {
                ASSERT_TRUE(sparse_ok(a->sparse, model.n, model.m));
                trans_sparse(&a->sparse, model.n, model.m);
                model = model.transposed();
                reshape(n, m);
            }
            break;
        }
        case 8: {   // row reversal
            reverse_sparse(&a->sparse, n);
            Model r(n, m);
            for (int32_t i = 1; i <= n; i++)
                for (int32_t k = 1; k <= m; k++) r.at(n + 1 - i, k) = model.at(i, k);
            model = r;
            break;
        }
        case 9:
        case 10: {   // A ± B, the four disposability cases
            Model mb(n, m);
            for (int k = 0; k < 3 * n / 2; k++) mb.at(rng.in(1, n), rng.in(1, m)) = rng.value();
            // Cancellation too: some of B is exactly -A (or A when subtracting).
            const int add = rng.in(0, 1);
            for (int k = 0; k < n / 4; k++) {
                const int32_t r = rng.in(1, n), c = rng.in(1, m);
                mb.at(r, c) = add ? -model.at(r, c) : model.at(r, c);
            }
            sparse* b = build_from(mb);
            const int ad = rng.in(0, 1), bd = rng.in(0, 1);
            SCOPED_TRACE("add " + std::to_string(add) + " disposable " + std::to_string(ad) + std::to_string(bd));
            sparse* result = a->sparse;
            add_sparses(&result, &b, ad, bd, n, add);
            if (!ad) {
                // A's own matrix is its owner's and unchanged.
                ASSERT_TRUE(matches(a->sparse, model));
                free_sparse(&a->sparse, n, 1);
            }
            if (bd) {
                EXPECT_EQ(b, nullptr);
            } else {
                ASSERT_TRUE(matches(b, mb));
                free_sparse(&b, n, 1);
            }
            a->sparse = result;
            for (size_t k = 0; k < model.v.size(); k++) model.v[k] = add ? mpq_class(model.v[k] + mb.v[k]) : mpq_class(model.v[k] - mb.v[k]);
            break;
        }
        case 11: {   // a scalar onto the diagonal
            const mpq_class c = rng.chance(20) ? mpq_class(0) : rng.value();
            quoly* q = make_q(c);
            const int32_t d = n < m ? n : m;
            add_to_diag(q, a->sparse, d);
            free_quoly(&q);
            for (int32_t i = 1; i <= d; i++) model.at(i, i) += c;
            break;
        }
        case 12: {   // remainder or quotient by a positive integer
            clear_rationals();
            ASSERT_TRUE(matches(a->sparse, model));
            const int32_t d = rng.in(2, 5);
            const int op_char = rng.chance(50) ? '|' : '/';
            const int in_place = rng.in(0, 1);
            quoly* q = make_q(d);
            sparse* s = a->sparse;
            sparse_mod_or_div(&s, q, n, in_place, op_char);
            free_quoly(&q);
            if (!in_place) {
                ASSERT_TRUE(matches(a->sparse, model));
                free_sparse(&a->sparse, n, 1);
            }
            a->sparse = s;
            for (mpq_class& x : model.v) {
                const mpz_class z = x.get_num();
                if (op_char == '/') {
                    x = tdiv(z, d);
                } else {
                    mpz_class r = z - d * tdiv(z, d);
                    if (r < 0) r += d;
                    x = r;
                }
            }
            break;
        }
        case 13: {   // extreme values, each mode; only plain numbers are compared
            if (rng.chance(70)) clear_rationals();
            const bool numbers = all_integers(model);
            for (int maximum = 0; maximum <= 1; maximum++)
                for (int positive = 0; positive <= 1 - maximum; positive++) {
                    int64_t pos = -7;
                    const int code = unwind_code([&] { sparse_max_min(a->sparse, n, m, maximum, positive, &pos); });
                    if (numbers)
                        EXPECT_EQ(pos, model_extreme(model, maximum, positive)) << maximum << positive;
                    else
                        EXPECT_EQ(code, 119);
                }
            break;
        }
        case 14: {   // negation, copied or in place
            int owned = rng.in(0, 1);
            sparse* s = a->sparse;
            sparse_makeneg(&s, n, &owned);
            EXPECT_EQ(owned, 1);
            if (s != a->sparse) {
                ASSERT_TRUE(matches(a->sparse, model));
                free_sparse(&a->sparse, n, 1);
                a->sparse = s;
            }
            for (mpq_class& x : model.v) x = -x;
            break;
        }
        case 15: {   // sums, and a copy against the original
            quoly* s = nullptr;
            sparse_sum(&s, a->sparse, n);
            mpq_class want = 0;
            for (const mpq_class& x : model.v) want += x;
            EXPECT_TRUE(holds(s, want));
            sparse_trace(&s, a->sparse, n);
            mpq_class tr = 0;
            for (int32_t i = 1; i <= n && i <= m; i++) tr += model.at(i, i);
            EXPECT_TRUE(holds(s, tr));
            free_quoly(&s);
            sparse* c = nullptr;
            copy_sparse(&a->sparse, &c, n, 0);
            ASSERT_TRUE(sparse_ok(c, n, m));
            ASSERT_TRUE(matches(c, model));
            free_sparse(&a->sparse, n, 1);
            a->sparse = c;
            break;
        }
        }
        ASSERT_TRUE(sparse_ok(a->sparse, model.n, model.m));
        ASSERT_TRUE(matches(a->sparse, model));
    }
    remove_array(a);
    EXPECT_TRUE(ledger.balanced());
    EXPECT_EQ(colms_in_use(), colms0);
}

INSTANTIATE_TEST_SUITE_P(AroundFrames, SparseRandom, ::testing::Values(2048, 2049, 4097));

}  // namespace
