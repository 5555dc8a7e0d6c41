// What a nested level may have done to the arrays of the computation it
// interrupted. That computation holds array records, store indices and the
// very records of their cells (the extreme found so far, a row half
// swapped, a minor's pivots); a level that deletes, reassigns, rewrites or
// moves such an array leaves those dangling, or pointing into another
// array, so the computation must not go on when the level is left.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "matrix/reached_arrays.h"

// A print of every array the interrupted statement has reached, taken as a
// level opens: the record and its stamp, its place in the store, its shape,
// and every cell's records with their contents (addresses and values both:
// records freed by the level come back from the free lists at the same
// addresses). The statement's list of reached arrays waits here while the
// level runs.
class ArraysPrint {
public:
    ArraysPrint() = default;
    ArraysPrint(const ArraysPrint&) = delete;
    ArraysPrint& operator=(const ArraysPrint&) = delete;
    // Unwound through (the level abandoned everything): the list goes with it.
    ~ArraysPrint() { release_reached(&reached_); }
    // From here on the arrays of the list keep their store cells
    // (matrix/reached_arrays.h).
    void take();
    // The list back to the statement; then whether any array of the print
    // was deleted (or its record reused), reshaped, moved in the store, or
    // had a cell written since take().
    bool changed();

private:
    struct entry {
        const array* a;
        int32_t stamp;
        uint64_t print;
        // Runs of dense cells never assigned when the print was taken: one
        // the level read (or set) to 0 reads as the statement would have
        // read it, and the statement holds nothing of it.
        std::vector<std::pair<int64_t, int64_t>> unset;
    };
    std::vector<entry> entries_;
    std::vector<reached_array> reached_;
};
