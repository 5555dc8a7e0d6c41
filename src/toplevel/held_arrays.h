// What a nested level may have done to the arrays of the computation it
// interrupted. That computation holds array records, store indices and the
// very records of their cells (the extreme found so far, a row half
// swapped, a minor's pivots); a level that deletes, reassigns, rewrites or
// moves an array leaves those dangling, or pointing into another array, so
// the computation must not go on when the level is left.
#pragma once
#include <cstdint>
#include <vector>

struct array;

// A print of every named array at the moment a level opens: the record and
// its stamp, its place in the store, its shape, and every cell's records
// with their contents (addresses and values both: records freed by the
// level come back from the free lists at the same addresses).
class ArraysPrint {
public:
    void take();
    // Whether any array of the print was deleted (or its record reused),
    // reshaped, moved in the store, or had a cell written since take().
    // Arrays made after it do not count.
    bool changed() const;

private:
    struct entry {
        const array* a;
        int32_t stamp;
        uint64_t print;
    };
    std::vector<entry> entries_;
};
