// The interchanges a pseudo-determinant reduction records, and the pivot
// pairs read back from them: where each pivot stood before any interchange.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"

// Row and column interchange lists, newest first; given back to colgarb on
// every exit.
struct PivotPairLists {
    col* rows = nullptr;
    col* cols = nullptr;
    void swap_rows(int32_t k, int32_t p);
    void swap_cols(int32_t k, int32_t q);
    ~PivotPairLists();
    PivotPairLists() = default;
    PivotPairLists(const PivotPairLists&) = delete;
    PivotPairLists& operator=(const PivotPairLists&) = delete;
};

// Error 326 when 2 x rank cells would pass 1,000,000 (the statement ends).
void check_pair_count(int32_t rank);
// *out := for pivots 1 .. rank, the original row and column, each shifted
// to the index base.
void write_pivot_pairs(const PivotPairLists& lists, int32_t rank, std::vector<int32_t>* out);
