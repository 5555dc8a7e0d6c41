// The minimum tree behind the residue elimination's row choice.
#include "matrix/row_length_index.h"

#include <algorithm>
#include <climits>

#include "matrix/sparse.h"

RowLengthIndex::RowLengthIndex(const std::vector<int32_t>& lengths) {
    while (base_ < lengths.size()) base_ *= 2;
    tree_.assign(2 * base_, INT32_MAX);
    std::copy(lengths.begin(), lengths.end(), tree_.begin() + static_cast<std::ptrdiff_t>(base_));
    for (size_t i = base_ - 1; i >= 1; i--) tree_[i] = std::min(tree_[2 * i], tree_[2 * i + 1]);
}

void RowLengthIndex::set(int32_t r, int32_t v) {
    size_t i = base_ + static_cast<size_t>(r);
    tree_[i] = v;
    for (i /= 2; i >= 1; i /= 2) {
        const int32_t m = std::min(tree_[2 * i], tree_[2 * i + 1]);
        if (tree_[i] == m) break;
        tree_[i] = m;
    }
}

int32_t RowLengthIndex::descend(size_t node, int32_t nl, int32_t nr, int32_t lo, int32_t hi, int32_t t) const {
    if (nr < lo || nl > hi || tree_[node] >= t) return -1;
    if (nl == nr) return nl;
    const int32_t mid = nl + (nr - nl) / 2;
    const int32_t left = descend(2 * node, nl, mid, lo, hi, t);
    return left >= 0 ? left : descend(2 * node + 1, mid + 1, nr, lo, hi, t);
}

int32_t RowLengthIndex::first_below(int32_t lo, int32_t hi, int32_t t) const {
    if (lo > hi) return -1;
    return descend(1, 0, static_cast<int32_t>(base_) - 1, lo, hi, t);
}

int32_t RowLengthIndex::least(int32_t lo, int32_t hi) const {
    int32_t m = INT32_MAX;
    if (lo > hi) return m;
    size_t l = base_ + static_cast<size_t>(lo), r = base_ + static_cast<size_t>(hi) + 1;
    for (; l < r; l /= 2, r /= 2) {
        if (l & 1) m = std::min(m, tree_[l++]);
        if (r & 1) m = std::min(m, tree_[--r]);
    }
    return m;
}

namespace {

int32_t first_column(sparse* first, int32_t r) {
    return (*row_head(first, r))->col;
}

}  // namespace

// The window scan returns at the first row after k that is f times sparser
// than row k (an empty row among them), since every row before it is denser
// and so was no better; without one, the first row of least count is the
// candidate.
int indexed_mod_sparse_findbest(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                                const RowLengthIndex& lengths) {
    *col_out = -1;
    const int32_t last = std::max(n / 2 - k, n - 4 * (n - k) / 5);
    const int32_t factor = std::max(2, 9 - static_cast<int32_t>(int64_t{200} * k / n));
    if (last < k) return 0;
    const int32_t count_k = lengths.at(k);
    if (count_k == 0) return 1;
    // f c < c_k exactly when c <= (c_k - 1) / f.
    const int32_t sparse_row = lengths.first_below(k + 1, last, (count_k - 1) / factor + 1);
    if (sparse_row >= 0) {
        if (lengths.at(sparse_row) == 0) return 1;
        *row_out = sparse_row;
        *col_out = first_column(first, sparse_row);
        return 1;
    }
    const int32_t best = lengths.least(k, last);
    const int32_t row = lengths.first_below(k, last, best + 1);
    *row_out = row;
    *col_out = first_column(first, row);
    return 3 * int64_t{best} < 2 * int64_t{count_k};
}
