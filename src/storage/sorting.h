// Partition sorts into ascending order: signed words (free-list addresses),
// the rows of a dense array by their first-column quolys, and the rows of a
// sparse array by the values of their first entries, reached through the
// paged table spsort. Quolys rank by the monomial order (poly/monorder.h).
//
// Each sort partitions around the median of the first, middle and last
// elements, skips the run of elements equal to the pivot next to its final
// place, and recurses into the shorter side first (the stack stays
// logarithmic); a range of two is ordered by one exchange. The row sorts
// read each row's signature once and partition a table of those, then move
// the rows: the same comparisons, without walking the polynomials again.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

constexpr int32_t SPSORT_PAGES = 5000;
constexpr int32_t SPSORT_PAGE_ROWS = SPARSE_FRAME_ROWS;   // 2,048

// The frames of the sparse array being sorted, in order: position i is row
// i mod 2,048 of frame spsort[i / 2,048]. Null at start-up.
extern sparse* spsort[SPSORT_PAGES];
// Raised while a sort through spsort is under way: the table is in use.
extern int using_spsort;
// Raises using_spsort for a scope and lowers it on every exit.
struct SpsortInUse {
    SpsortInUse() { using_spsort = 1; }
    ~SpsortInUse() { using_spsort = 0; }
    SpsortInUse(const SpsortInUse&) = delete;
    SpsortInUse& operator=(const SpsortInUse&) = delete;
};

// ---- signed words ----
// a[lo .. hi] ascending.
void quiksort(int32_t* a, int32_t lo, int32_t hi);
// One partition of a[lo .. hi] (at least 3 elements) around the median of
// a[lo], a[(lo + hi) / 2] and a[hi]: afterwards *pivot is its place, no
// element before it is greater and every element after it is greater.
// *equal := 1 when some other element equal to the pivot was met.
void parttion(int32_t* a, int32_t lo, int32_t hi, int32_t* pivot, int* equal);

// ---- dense array rows ----
// Sorts cells[lo .. hi] by the monomial order. cells is the first column of
// a matrix stored column by column: every exchange of positions i and j also
// exchanges i + k·stride and j + k·stride for k = 1 .. ncols - 1, so whole
// rows move. The first column holds no null cell; other columns may.
void arraysort(quoly** cells, int32_t lo, int32_t hi, int32_t stride, int32_t ncols);
// The partition step of arraysort (at least 3 cells); *placed := 1 once the
// pivot stands at *pivot.
void partsion(quoly** cells, int32_t lo, int32_t hi, int32_t* pivot, int* placed, int32_t stride, int32_t ncols);

// ---- sparse array rows ----
// Sorts the rows at positions lo .. hi of spsort by the values of their
// first entries (every row holds an entry); an exchange swaps whole row
// lists. page and hipage name the pages of lo and hi; the positions decide.
void sparse_arraysort(int32_t lo, int32_t page, int32_t hi, int32_t hipage);
// The partition step of sparse_arraysort (at least 3 positions).
void sp_partition(int32_t lo, int32_t hi, int32_t* pivot, int* placed);
