// Pivot pairs of the sparse pseudo-determinant reductions.
#include "matrix/sparse_pivot_pairs.h"

#include "det/elim_steps.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/dense_rowcol.h"
#include "toplevel/errors.h"

namespace {
// The pairs fill a 2 x rank array of cells.
constexpr int64_t MAX_PAIR_CELLS = 1000000;
}  // namespace

void PivotPairLists::swap_rows(int32_t k, int32_t p) { push_col(&rows, k, p, nullptr); }
void PivotPairLists::swap_cols(int32_t k, int32_t q) { push_col(&cols, k, q, nullptr); }

PivotPairLists::~PivotPairLists() {
    free_col_list(&rows);
    free_col_list(&cols);
}

void check_pair_count(int32_t rank) {
    if (2 * int64_t{rank} > MAX_PAIR_CELLS) {
        error(326, token.name);
        abandon_statement(326);
    }
}

void write_pivot_pairs(const PivotPairLists& lists, int32_t rank, std::vector<int32_t>* out) {
    out->clear();
    out->reserve(2 * static_cast<size_t>(rank));
    for (int32_t i = 1; i <= rank; i++) {
        // Undoing the interchanges newest first leads back to where pivot i began.
        out->push_back(permute(lists.rows, i) + addresser - 1);
        out->push_back(permute(lists.cols, i) + addresser - 1);
    }
}
