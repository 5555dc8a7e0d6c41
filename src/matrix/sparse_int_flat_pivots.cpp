#include "matrix/sparse_int_flat_pivots.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "matrix/dense_vectors.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_pivot.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

struct FlatEntry {
    int32_t col;
    FlatInt v;
};
using FlatRow = std::vector<FlatEntry>;

// Rows 1 .. R of the matrix (index 0 unused), each ascending by column.
// Rows k .. R of the live block hold nothing left of column k.
struct FlatBlock {
    SparseIntWork* w;
    std::vector<FlatRow> rows;
    FlatRow spare;        // the merges' output, its capacity kept
    FlatInt moved;        // scratch of one step

    explicit FlatBlock(SparseIntWork* work) : w(work), rows(static_cast<size_t>(work->R) + 1) {
        for (int32_t r = 1; r <= w->R; r++) {
            FlatRow& row = rows[static_cast<size_t>(r)];
            for (const colm* e = *w->head(r); e; e = e->next) {
                row.push_back({e->col, {}});
                flat_read(e->val->nnum, row.back().v);
            }
        }
    }

    FlatRow& row(int32_t r) { return rows[static_cast<size_t>(r)]; }

    // The entry (r, c), null when absent.
    FlatInt* get(int32_t r, int32_t c) {
        FlatRow& x = row(r);
        auto it = std::lower_bound(x.begin(), x.end(), c, [](const FlatEntry& e, int32_t col) { return e.col < col; });
        return it != x.end() && it->col == c ? &it->v : nullptr;
    }

    // The chains := the flat rows.
    void write_back() {
        clear_rows(w->a, w->R);
        for (int32_t r = 1; r <= w->R; r++) {
            colm** slot = w->head(r);
            for (const FlatEntry& e : row(r)) {
                colm* n = take_colm();
                n->col = e.col;
                n->val = flat_quoly(e.v);
                n->next = nullptr;
                *slot = n;
                slot = &n->next;
            }
        }
    }

    // target := target - q_i x v_i at column c_i for each item of list,
    // (c_i, q_i, v_i) = parts(item), ascending c_i; each changed entry
    // reduced.
    template <class List, class Parts>
    void sub_products(FlatRow& target, const List& list, Parts parts) {
        // The entries both hold change in place; only an entry made or
        // cancelled rebuilds the row.
        bool rebuild = false;
        size_t a = 0;
        for (const auto& item : list) {
            const auto [c, q, v] = parts(item);
            while (a < target.size() && target[a].col < c) a++;
            if (a < target.size() && target[a].col == c) {
                FlatInt& x = target[a++].v;
                flat_sub_mul_to(x, q, v);
                flat_reduce(x, w);
                rebuild = rebuild || flat_zero(x);
            } else {
                rebuild = true;
            }
        }
        if (!rebuild) return;
        spare.clear();
        a = 0;
        for (const auto& item : list) {
            const auto [c, q, v] = parts(item);
            for (; a < target.size() && target[a].col <= c; a++)
                if (target[a].col < c && !flat_zero(target[a].v)) spare.push_back(std::move(target[a]));
            if (a > 0 && target[a - 1].col == c) {
                if (!flat_zero(target[a - 1].v)) spare.push_back(std::move(target[a - 1]));
                continue;
            }
            made(q, v, c);
        }
        for (; a < target.size(); a++)
            if (!flat_zero(target[a].v)) spare.push_back(std::move(target[a]));
        target.swap(spare);
    }

    using Product = std::tuple<int32_t, const FlatInt&, const FlatInt&>;

    // target := target - q x (entries of src). src must not be target.
    void sub_row(FlatRow& target, const FlatRow& src, const FlatInt& q) {
        sub_products(target, src, [&](const FlatEntry& e) { return Product(e.col, q, e.v); });
    }

    // A new entry -q x v at column col of spare, when not 0 once reduced.
    void made(const FlatInt& q, const FlatInt& v, int32_t col) {
        flat_set(0, moved);
        flat_sub_mul_to(moved, q, v);
        flat_reduce(moved, w);
        if (!flat_zero(moved)) spare.push_back({col, std::move(moved)});
    }

    // Over rows r0 .. R: column j -= q_j x column s for each listed
    // (j, q_j), ascending j, none equal to s.
    void cols_sub(const std::vector<std::pair<int32_t, FlatInt>>& qs, int32_t s, int32_t r0) {
        if (qs.empty()) return;
        FlatInt v;
        for (int32_t r = r0; r <= w->R; r++) {
            const FlatInt* ps = get(r, s);
            if (!ps) continue;
            v = *ps;
            sub_products(row(r), qs, [&](const std::pair<int32_t, FlatInt>& jq) { return Product(jq.first, jq.second, v); });
        }
    }

    // Columns i and j exchanged over rows r0 .. R.
    void col_swap(int32_t i, int32_t j, int32_t r0) {
        if (i == j) return;
        const int32_t lo = std::min(i, j), hi = std::max(i, j);
        auto by_col = [](const FlatEntry& e, int32_t col) { return e.col < col; };
        for (int32_t r = r0; r <= w->R; r++) {
            FlatRow& x = row(r);
            auto a = std::lower_bound(x.begin(), x.end(), lo, by_col);
            auto b = std::lower_bound(a, x.end(), hi, by_col);
            const bool has_lo = a != x.end() && a->col == lo;
            const bool has_hi = b != x.end() && b->col == hi;
            if (has_lo && has_hi) {
                std::swap(a->v, b->v);
            } else if (has_lo) {
                // The entry moves right, past the entries between.
                a->col = hi;
                std::rotate(a, a + 1, b);
            } else if (has_hi) {
                b->col = lo;
                std::rotate(a, b, b + 1);
            }
        }
    }

    void col_neg(int32_t j, int32_t r0) {
        for (int32_t r = r0; r <= w->R; r++)
            if (FlatInt* x = get(r, j)) x->sign = -x->sign;
    }

    // The least entry of rows and columns k .. (a unit at once); false when
    // the block is zero.
    bool least_in_block(int32_t k, int32_t* bi, int32_t* bj) {
        const FlatInt* best = nullptr;
        for (int32_t r = k; r <= w->R; r++)
            for (const FlatEntry& e : row(r)) {
                if (e.col < k) continue;
                // Only a shorter digit array can be smaller.
                if (best && e.v.mag.size() > best->mag.size()) continue;
                if (!best || flat_cmp_abs(e.v, *best) < 0) {
                    best = &e.v;
                    *bi = r;
                    *bj = e.col;
                    if (flat_unit(*best)) return true;
                }
            }
        return best != nullptr;
    }

    // sparse_intfindbest's choice: a column with one entry in the block
    // (the largest such entry, the leftmost on ties), when every row and
    // every column up to the row count has an entry there; else the least
    // entry. Returns 0 for an empty block.
    int32_t find_best(int32_t k, int32_t* bi, int32_t* bj) {
        const int32_t R = w->R;
        std::vector<int32_t> count, least, where;
        bool tables = true;
        for (int32_t r = k; r <= R && tables; r++) {
            const FlatRow& x = row(r);
            auto e = std::find_if(x.begin(), x.end(), [k](const FlatEntry& f) { return f.col >= k; });
            if (e == x.end()) tables = false;
            for (; tables && e != x.end(); ++e) {
                if (e->col > SPARSE_PIVOT_MAX) break;
                const auto j = static_cast<size_t>(e->col);
                if (j >= count.size()) {
                    count.resize(j + 1, 0);
                    least.resize(j + 1, 2147483647);
                    where.resize(j + 1, 0);
                }
                count[j]++;
                const int32_t mass = flat_digits(e->v);
                if (mass < least[j]) {
                    least[j] = mass;
                    where[j] = r;
                }
            }
        }
        const int32_t top = std::min(R, SPARSE_PIVOT_MAX);
        if (tables && static_cast<int32_t>(count.size()) > top) {
            int32_t best = -1;
            for (int32_t j = k; j <= top && tables; j++) {
                const auto u = static_cast<size_t>(j);
                if (count[u] == 0) tables = false;
                if (count[u] == 1 && (best < 0 || least[u] > least[static_cast<size_t>(best)])) best = j;
            }
            if (tables && best >= 0) {
                *bi = where[static_cast<size_t>(best)];
                *bj = best;
                return 1;
            }
        }
        return least_in_block(k, bi, bj) ? 1 : 0;
    }

    // Every entry of row k right of the pivot (k, k) becomes its remainder
    // by the pivot, the quotients applied to whole columns over rows k ..;
    // whether a non-zero remainder is left.
    bool sweep_row(int32_t k) {
        const FlatInt p = *get(k, k);
        std::vector<std::pair<int32_t, FlatInt>> qs;
        FlatInt q;
        for (const FlatEntry& e : row(k)) {
            if (e.col <= k) continue;
            flat_div(e.v, p, q);
            if (flat_zero(q)) continue;
            qs.emplace_back(e.col, q);
        }
        cols_sub(qs, k, k);
        const FlatRow& x = row(k);
        return std::any_of(x.begin(), x.end(), [k](const FlatEntry& e) { return e.col > k; });
    }
};

}  // namespace

bool flat_pivots_apply(const SparseIntWork* w) {
    if (!w->m || lintmode) return false;
    for (sparse* t : w->T)
        if (t) return false;
    for (int32_t r = 1; r <= w->R; r++)
        for (const colm* e = *w->head(r); e; e = e->next)
            if (!e->val->isnum) return false;
    return true;
}

int32_t flat_smith_pivots(SparseIntWork* w, int32_t first_pivot, int* sign) {
    FlatBlock b(w);
    const int32_t side = w->R < w->K ? w->R : w->K;
    dense_vectors::VerboseLevel level("Phase 1, ", side);
    const int32_t every = disper(side);
    int32_t k = first_pivot;
    for (; k <= side; k++) {
        poll_interrupt();
        if (k % every == 0) level.step(k);
        int32_t bi = 0, bj = 0;
        const int32_t kind =
            w->R <= SPARSE_PIVOT_MAX ? b.find_best(k, &bi, &bj) : (b.least_in_block(k, &bi, &bj) ? 1 : 0);
        if (kind == 0) break;
        FlatInt q;
        for (;;) {
            if (bj != k) *sign = -*sign;
            if (bi != k) *sign = -*sign;
            b.col_swap(k, bj, k);
            std::swap(b.row(k), b.row(bi));
            if (b.get(k, k)->sign < 0) {
                b.col_neg(k, k);
                *sign = -*sign;
            }
            bool clear = true;
            const FlatInt& p = *b.get(k, k);
            for (int32_t i = k + 1; i <= w->R; i++) {
                const FlatInt* x = b.get(i, k);
                if (!x) continue;
                flat_div(*x, p, q);
                if (!flat_zero(q)) b.sub_row(b.row(i), b.row(k), q);
                if (b.get(i, k)) clear = false;
            }
            if (b.sweep_row(k)) clear = false;
            if (clear) break;
            // A remainder smaller than the pivot is left: it leads next.
            b.least_in_block(k, &bi, &bj);
        }
    }
    b.write_back();
    return k - 1;
}
