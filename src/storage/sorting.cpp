// One partition plan behind three sorts; the element kinds differ only in
// how an element is read, compared and exchanged.
#include "storage/sorting.h"

#include <utility>

#include "numbers/numbers.h"
#include "poly/monorder.h"
#include "storage/equality.h"

sparse* spsort[SPSORT_PAGES];

namespace {

// Median of three into a[lo], then the two scans: from the left past
// elements at most the pivot, from the right past elements greater than it.
// Both scans are bounded by the range, so even an inconsistent order cannot
// lead them outside it. With met, reports whether an element equal to the
// pivot was seen.
template <class S>
int32_t partition(S& s, int32_t lo, int32_t hi, int* met) {
    const int32_t mid = static_cast<int32_t>((int64_t{lo} + hi) / 2);
    if (s.lt(s.at(mid), s.at(lo))) s.exchange(mid, lo);
    if (s.lt(s.at(hi), s.at(lo))) s.exchange(hi, lo);
    if (s.lt(s.at(hi), s.at(mid))) s.exchange(hi, mid);
    s.exchange(lo, mid);
    const auto pv = s.at(lo);
    if (met) *met = 0;
    int32_t i = lo + 1, j = hi;
    for (;;) {
        while (i <= hi && s.le(s.at(i), pv)) {
            if (met && s.same(s.at(i), pv)) *met = 1;
            i++;
        }
        // Positions below i never change again and every position from j
        // on is greater, so the left scan sees every element equal to the
        // pivot.
        while (j > lo && s.lt(pv, s.at(j))) j--;
        if (i >= j) break;
        s.exchange(i, j);
    }
    s.exchange(lo, j);
    return j;
}

// Sorts lo .. hi; skip_equal says whether the partition reported that the
// run of elements equal to the pivot is worth skipping.
template <class S>
void partition_sort(S& s, int32_t lo, int32_t hi) {
    while (hi - lo >= 2) {
        int skip = 0;
        const int32_t m = s.partition(lo, hi, &skip);
        int32_t left_end = m - 1, right_start = m + 1;
        if (skip) {
            const auto pv = s.at(m);
            while (left_end >= lo && s.same(s.at(left_end), pv)) left_end--;
            while (right_start <= hi && s.same(s.at(right_start), pv)) right_start++;
        }
        if (left_end - lo < hi - right_start) {
            partition_sort(s, lo, left_end);
            lo = right_start;
        } else {
            partition_sort(s, right_start, hi);
            hi = left_end;
        }
    }
    if (hi - lo == 1 && s.lt(s.at(hi), s.at(lo))) s.exchange(lo, hi);
}

void swap(int32_t* a, int32_t i, int32_t j) { std::swap(a[i], a[j]); }

struct Words {
    int32_t* a;
    int32_t at(int32_t i) const { return a[i]; }
    static bool lt(int32_t x, int32_t y) { return x < y; }
    static bool le(int32_t x, int32_t y) { return x <= y; }
    static bool same(int32_t x, int32_t y) { return x == y; }
    void exchange(int32_t i, int32_t j) { swap(a, i, j); }
    int32_t partition(int32_t lo, int32_t hi, int* equal) {
        int32_t m;
        parttion(a, lo, hi, &m, equal);
        return m;
    }
};

// Equal for the purpose of skipping: both numbers and equal, or both
// polynomials with equal numerators.
bool same_quoly(quoly* x, quoly* y) {
    if (x->isnum && y->isnum) return equal(x->nnum, y->nnum);
    if (x->isnum || y->isnum) return false;
    return poly_equal(x->pnum, y->pnum);
}

struct QuolyOrder {
    static bool lt(quoly* x, quoly* y) { return quoly_mon_less(x, y); }
    static bool le(quoly* x, quoly* y) { return quoly_mon_less_eq(x, y); }
    static bool same(quoly* x, quoly* y) { return same_quoly(x, y); }
};

struct Rows : QuolyOrder {
    quoly** cells;
    int32_t stride, ncols;
    quoly* at(int32_t i) const { return cells[i]; }
    void exchange(int32_t i, int32_t j) {
        for (int64_t k = 0; k < ncols; k++) std::swap(cells[i + k * stride], cells[j + k * stride]);
    }
    int32_t partition(int32_t lo, int32_t hi, int* placed) {
        int32_t m;
        partsion(cells, lo, hi, &m, placed, stride, ncols);
        return m;
    }
};

colm*& sparse_row(int32_t i) { return spsort[i / SPSORT_PAGE_ROWS]->row[i % SPSORT_PAGE_ROWS]; }

struct SparseRows : QuolyOrder {
    quoly* at(int32_t i) const { return sparse_row(i)->val; }
    void exchange(int32_t i, int32_t j) { std::swap(sparse_row(i), sparse_row(j)); }
    int32_t partition(int32_t lo, int32_t hi, int* placed) {
        int32_t m;
        sp_partition(lo, hi, &m, placed);
        return m;
    }
};

}  // namespace

// ---------------------------------------------------------------- words

void parttion(int32_t* a, int32_t lo, int32_t hi, int32_t* pivot, int* equal) {
    Words w{a};
    *pivot = partition(w, lo, hi, equal);
}

void quiksort(int32_t* a, int32_t lo, int32_t hi) {
    Words w{a};
    partition_sort(w, lo, hi);
}

// ---------------------------------------------------------------- dense rows

void partsion(quoly** cells, int32_t lo, int32_t hi, int32_t* pivot, int* placed, int32_t stride, int32_t ncols) {
    Rows r;
    r.cells = cells;
    r.stride = stride;
    r.ncols = ncols;
    *pivot = partition(r, lo, hi, nullptr);
    *placed = 1;
}

void arraysort(quoly** cells, int32_t lo, int32_t hi, int32_t stride, int32_t ncols) {
    Rows r;
    r.cells = cells;
    r.stride = stride;
    r.ncols = ncols;
    partition_sort(r, lo, hi);
}

// ---------------------------------------------------------------- sparse rows

void sp_partition(int32_t lo, int32_t hi, int32_t* pivot, int* placed) {
    SparseRows r;
    *pivot = partition(r, lo, hi, nullptr);
    *placed = 1;
}

void sparse_arraysort(int32_t lo, int32_t page, int32_t hi, int32_t hipage) {
    // Each position's page is position / 2,048; the callers' pages add
    // nothing the positions do not already say.
    (void)page;
    (void)hipage;
    SparseRows r;
    partition_sort(r, lo, hi);
}
