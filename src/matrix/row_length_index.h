// Row entry counts of the residue elimination kept in a minimum tree, so
// that its row choice over a window of rows costs a few tree walks instead
// of reading every row of the window, with exactly the choice the window
// scan makes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/other_records.h"

class RowLengthIndex {
public:
    // lengths[r] for rows r = 1 .. lengths.size() - 1 (index 0 unused).
    explicit RowLengthIndex(const std::vector<int32_t>& lengths);
    void set(int32_t r, int32_t v);
    int32_t at(int32_t r) const { return tree_[base_ + static_cast<size_t>(r)]; }
    // The first row in [lo, hi] whose count is below t; -1 when none.
    int32_t first_below(int32_t lo, int32_t hi, int32_t t) const;
    // The least count in [lo, hi] (INT32_MAX for an empty range).
    int32_t least(int32_t lo, int32_t hi) const;

private:
    int32_t descend(std::size_t node, int32_t nl, int32_t nr, int32_t lo, int32_t hi, int32_t t) const;
    std::size_t base_ = 1;
    std::vector<int32_t> tree_;
};

// The row choice of spec1_mod_sparse_findbest (given lengths) from the
// index: the same flag, row and column for a caller whose rows k .. n have
// no entry left of column k.
int indexed_mod_sparse_findbest(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                                const RowLengthIndex& lengths);
