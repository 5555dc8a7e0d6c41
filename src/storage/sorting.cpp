// One partition plan behind three sorts; the element kinds differ only in
// how an element is read, compared and exchanged.
#include "storage/sorting.h"

#include <utility>
#include <vector>

#include "numbers/numbers.h"
#include "poly/monorder.h"
#include "storage/equality.h"

sparse* spsort[SPSORT_PAGES];
int using_spsort = 0;

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

// Rows sorted through their keys: each first-column quoly's signature is
// read once into a table, the partitions run over the table (the same
// comparisons as on the quolys themselves, so the same final order), and
// the rows move once at the end. The polynomials are not walked again
// for every comparison.
struct Key {
    quoly* q;
    int32_t row;        // its position before the sort
    int32_t kind;       // as quoly_signature
    int32_t n;
    int32_t off;        // n > 2: the levels at pool[off], the exponents after them
    int32_t lv[2];      // n <= 2: the pairs themselves
    int32_t ex[2];
    bool negative;      // a Laurent exponent below 0 among the pairs
};

struct KeyedRows {
    std::vector<Key> keys;
    std::vector<int32_t> pool;
    int32_t lo = 0;

    KeyedRows(int32_t first, int32_t count) : lo(first) { keys.reserve(count); }
    void add(quoly* q, int32_t row) {
        int32_t lv[MONOMIAL_LEVELS], ex[MONOMIAL_LEVELS];
        Key k{};
        k.q = q;
        k.row = row;
        k.n = quoly_signature(q, &k.kind, lv, ex);
        for (int32_t i = 0; i < k.n; i++)
            if (ex[i] < 0) k.negative = true;
        if (k.n <= 2) {
            for (int32_t i = 0; i < k.n; i++) {
                k.lv[i] = lv[i];
                k.ex[i] = ex[i];
            }
        } else {
            k.off = static_cast<int32_t>(pool.size());
            pool.insert(pool.end(), lv, lv + k.n);
            pool.insert(pool.end(), ex, ex + k.n);
        }
        keys.push_back(k);
    }
    const int32_t* levels(const Key& k) const { return k.n <= 2 ? k.lv : pool.data() + k.off; }
    const int32_t* exps(const Key& k) const { return k.n <= 2 ? k.ex : pool.data() + k.off + k.n; }
    int cmp(const Key& x, const Key& y) const {
        // Negative exponents order by their own rule, in compare_signatures.
        if (x.negative || y.negative)
            return compare_signatures(x.n, levels(x), exps(x), y.n, levels(y), exps(y));
        if (x.n != y.n && x.n > 0 && y.n > 0) return x.n < y.n ? -1 : 1;
        if (x.n == y.n && x.n > 0 && x.n <= 2) {
            // The usual short signatures, compared here as compare_signatures would.
            for (int32_t i = 0; i < x.n; i++)
                if (x.lv[i] != y.lv[i]) return x.lv[i] > y.lv[i] ? -1 : 1;
            for (int32_t i = 0; i < x.n; i++)
                if (x.ex[i] != y.ex[i]) return x.ex[i] < y.ex[i] ? -1 : 1;
            return 0;
        }
        return compare_signatures(x.n, levels(x), exps(x), y.n, levels(y), exps(y));
    }
    // quoly_mon_less and quoly_mon_less_eq on the keys.
    bool lt(const Key& x, const Key& y) const {
        if (x.kind == 0) return y.kind != 0;
        if (y.kind == 0) return false;
        if (x.kind == 1) return y.kind != 1;
        if (y.kind == 1) return false;
        return cmp(x, y) < 0;
    }
    bool le(const Key& x, const Key& y) const {
        if (x.kind == 0) return true;
        if (y.kind == 0) return false;
        if (x.kind == 1) return true;
        if (y.kind == 1) return false;
        return cmp(x, y) <= 0;
    }
    // Equal values have equal signatures: only those are looked at.
    bool same(const Key& x, const Key& y) const {
        if (x.kind != y.kind) return false;
        if (x.kind == 2 && x.n > 0 && y.n > 0 && cmp(x, y) != 0) return false;
        return same_quoly(x.q, y.q);
    }
    Key at(int32_t i) const { return keys[i - lo]; }
    void exchange(int32_t i, int32_t j) { std::swap(keys[i - lo], keys[j - lo]); }
    int32_t partition(int32_t from, int32_t to, int* placed) {
        *placed = 1;
        return ::partition(*this, from, to, nullptr);
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
    if (hi <= lo) return;
    const int32_t count = hi - lo + 1;
    KeyedRows k(lo, count);
    for (int32_t i = lo; i <= hi; i++) k.add(cells[i], i);
    partition_sort(k, lo, hi);
    std::vector<quoly*> moved(count);
    for (int64_t c = 0; c < ncols; c++) {
        quoly** column = cells + c * stride;
        for (int32_t t = 0; t < count; t++) moved[t] = column[k.keys[t].row];
        for (int32_t t = 0; t < count; t++) column[lo + t] = moved[t];
    }
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
    if (hi <= lo) return;
    const int32_t count = hi - lo + 1;
    KeyedRows k(lo, count);
    for (int32_t i = lo; i <= hi; i++) k.add(sparse_row(i)->val, i);
    partition_sort(k, lo, hi);
    std::vector<colm*> moved(count);
    for (int32_t t = 0; t < count; t++) moved[t] = sparse_row(k.keys[t].row);
    for (int32_t t = 0; t < count; t++) sparse_row(lo + t) = moved[t];
}
