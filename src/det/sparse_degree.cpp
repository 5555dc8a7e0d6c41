// The degree bound of a sparse polynomial determinant: max-plus elimination
// of the entries' degrees, worked on the row lists so that the cost follows
// the entries (and their fill-in), not n^2 cells.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <numeric>
#include <set>
#include <vector>

#include "det/poly_det_impl.h"
#include "det/sparse_poly_det.h"
#include "matrix/sparse.h"
#include "toplevel/errors.h"

namespace {

// Subtracting a row's or a column's least degree keeps a bound: det = x^m
// det(the rest). Pivoting on a 0 (a constant entry) leaves a Schur
// complement whose entry (i, j) has degree at most max(a[i][j],
// a[i][k] + a[k][j]).
class DegreeMatrix {
public:
    explicit DegreeMatrix(int32_t n) : rows_(static_cast<size_t>(n)), cols_(static_cast<size_t>(n)) {
        for (int32_t i = 0; i < n; i++) {
            live_rows_.insert(i);
            live_cols_.insert(i);
        }
    }
    void put(int32_t r, int32_t c, int64_t d) {
        rows_[static_cast<size_t>(r)][c] = d;
        cols_[static_cast<size_t>(c)].insert(r);
    }

    // The bound; 2 for a row or column without entries (a singular matrix).
    int64_t bound() {
        int64_t D = 0;
        while (!live_rows_.empty()) {
            for (int32_t r : live_rows_) {
                auto& row = rows_[static_cast<size_t>(r)];
                if (row.empty()) return 2;
                int64_t m = INT64_MAX;
                for (const auto& [c, d] : row) m = std::min(m, d);
                if (m == 0) continue;
                for (auto& [c, d] : row) d -= m;
                D += m;
            }
            bool positive = false;
            for (int32_t c : live_cols_) {
                const auto& col = cols_[static_cast<size_t>(c)];
                if (col.empty()) return 2;
                int64_t m = INT64_MAX;
                for (int32_t r : col) m = std::min(m, rows_[static_cast<size_t>(r)][c]);
                if (m > 0) {
                    for (int32_t r : col) rows_[static_cast<size_t>(r)][c] -= m;
                    D += m;
                }
            }
            for (int32_t r : live_rows_) {
                for (const auto& [c, d] : rows_[static_cast<size_t>(r)])
                    if (d > 0) {
                        positive = true;
                        break;
                    }
                if (positive) break;
            }
            if (!positive) break;
            if (verbose && ++step_ % 10 == 0) dumpitt(" ", step_, 0, 0, 1);
            eliminate(pivot());
        }
        return D;
    }

private:
    // The 0 of the lightest row, in its lightest column (first found).
    std::pair<int32_t, int32_t> pivot() {
        std::map<int32_t, int64_t> colsum;
        for (int32_t r : live_rows_)
            for (const auto& [c, d] : rows_[static_cast<size_t>(r)]) colsum[c] += d;
        int32_t prow = -1, pcol = -1;
        int64_t best = 0;
        for (int32_t r : live_rows_) {
            int64_t weight = 0;
            int32_t cand = -1;
            for (const auto& [c, d] : rows_[static_cast<size_t>(r)]) {
                weight += d;
                if (d == 0 && (cand < 0 || colsum[c] < colsum[cand])) cand = c;
            }
            if (cand >= 0 && (prow < 0 || weight < best)) {
                prow = r;
                pcol = cand;
                best = weight;
            }
        }
        return {prow, pcol};
    }

    void eliminate(std::pair<int32_t, int32_t> pv) {
        const auto [k, c0] = pv;
        auto& prow = rows_[static_cast<size_t>(k)];
        const std::set<int32_t> below = cols_[static_cast<size_t>(c0)];
        for (int32_t i : below) {
            if (i == k) continue;
            auto& row = rows_[static_cast<size_t>(i)];
            const int64_t e = row[c0];
            for (const auto& [j, v] : prow) {
                if (j == c0) continue;
                auto [it, fresh] = row.emplace(j, v + e);
                if (!fresh) it->second = std::max(it->second, v + e);
                else cols_[static_cast<size_t>(j)].insert(i);
            }
            row.erase(c0);
        }
        for (const auto& [j, v] : prow) cols_[static_cast<size_t>(j)].erase(k);
        prow.clear();
        cols_[static_cast<size_t>(c0)].clear();
        live_rows_.erase(k);
        live_cols_.erase(c0);
    }

    std::vector<std::map<int32_t, int64_t>> rows_;
    std::vector<std::set<int32_t>> cols_;
    std::set<int32_t> live_rows_, live_cols_;
    int32_t step_ = 0;   // eliminations so far, for the progress line
};

}  // namespace

int32_t compute_degree_1(sparse* frame, int32_t n, int32_t depth) {
    dumpitt_level++;
    struct Level {
        ~Level() { decr_dumpitt(1, 1, 0); }
    } level;
    if (verbose) dumpitt(" compute degree ", n, 1, 0, 1);
    DegreeMatrix m(n);
    // Every term of the expansion takes one entry from each row and from
    // each column: the sums of the rows' and of the columns' largest
    // degrees bound it too, and can be the tighter ones.
    std::vector<int64_t> row_max(static_cast<size_t>(n), -1), col_max(static_cast<size_t>(n), -1);
    for (int32_t r = 1; r <= n; r++)
        for (colm* c = *row_head(frame, r); c; c = c->next) {
            const int64_t d = polydet::cell_degree(c->val, depth);
            if (d == polydet::ABSENT) continue;
            m.put(r - 1, c->col - 1, d);
            row_max[static_cast<size_t>(r - 1)] = std::max(row_max[static_cast<size_t>(r - 1)], d);
            col_max[static_cast<size_t>(c->col - 1)] = std::max(col_max[static_cast<size_t>(c->col - 1)], d);
        }
    int64_t D = m.bound();
    const int64_t rows = std::accumulate(row_max.begin(), row_max.end(), int64_t{0});
    const int64_t cols = std::accumulate(col_max.begin(), col_max.end(), int64_t{0});
    // An empty row or column (a sum with -1 in it) says nothing: the
    // elimination's 2 stands.
    if (std::find(row_max.begin(), row_max.end(), -1) == row_max.end() &&
        std::find(col_max.begin(), col_max.end(), -1) == col_max.end())
        D = std::min({D, rows, cols});
    return D > INT32_MAX ? INT32_MAX : static_cast<int32_t>(D);
}
