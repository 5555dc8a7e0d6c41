// The partition sorts: words against std::sort, dense rows and sparse rows
// against a monomial order computed from the exponent vectors read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <utility>
#include <vector>

#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "storage/sorting.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

// ---------------------------------------------------------------- words

std::vector<int32_t> random_words(NumberGen& g, int n) {
    std::vector<int32_t> a(n);
    const int shape = g.below(5);
    for (int i = 0; i < n; i++) {
        switch (shape) {
            case 0: a[i] = static_cast<int32_t>(g.bits()); break;
            case 1: a[i] = g.between(-2, 2); break;   // long runs of equal keys
            case 2: a[i] = i; break;                  // already sorted
            case 3: a[i] = n - i; break;              // reversed
            default: {
                const int32_t edges[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
                a[i] = edges[g.below(7)];
            }
        }
    }
    return a;
}

TEST(Quiksort, AgreesWithStdSort) {
    NumberGen g(99);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(300); round++) {
        const int n = round < 10 ? round : g.between(0, 400);
        std::vector<int32_t> a = random_words(g, n);
        // Sort a middle range only; the words outside it stay.
        const int32_t lo = n > 4 ? g.between(0, 2) : 0;
        const int32_t hi = n > 4 ? n - 1 - g.between(0, 2) : n - 1;
        std::vector<int32_t> want = a;
        std::sort(want.begin() + lo, want.begin() + (hi + 1));
        quiksort(a.data(), lo, hi);
        ASSERT_EQ(a, want) << "n = " << n << ", range " << lo << " .. " << hi;
    }
}

TEST(Quiksort, ParttionSplitsAroundThePivot) {
    NumberGen g(7);
    for (int round = 0; round < scaled(300); round++) {
        const int n = g.between(3, 60);
        std::vector<int32_t> a = random_words(g, n);
        std::vector<int32_t> before = a;
        int32_t m = -1;
        int eq = -1;
        parttion(a.data(), 0, n - 1, &m, &eq);
        ASSERT_TRUE(m >= 0 && m < n);
        const int32_t pv = a[m];
        for (int i = 0; i < m; i++) ASSERT_LE(a[i], pv);
        for (int i = m + 1; i < n; i++) ASSERT_GT(a[i], pv);
        EXPECT_EQ(eq, std::count(a.begin(), a.end(), pv) > 1);
        // The pivot is the median of the first, middle and last words.
        std::vector<int32_t> three = {before[0], before[(n - 1) / 2], before[n - 1]};
        std::sort(three.begin(), three.end());
        EXPECT_EQ(pv, three[1]);
        std::sort(a.begin(), a.end());
        std::sort(before.begin(), before.end());
        ASSERT_EQ(a, before);
    }
}

// ---------------------------------------------------------------- quolys

constexpr int kVars = 4;

// Reference rank: plain numbers, then numerators that are numbers, then
// monomials by (variable count, deeper level first, smaller exponent first).
struct Key {
    int rank;
    std::vector<std::pair<int, int32_t>> sig;
    bool operator<(const Key& o) const {
        if (rank != o.rank) return rank < o.rank;
        if (rank < 2) return false;
        if (sig.size() != o.sig.size()) return sig.size() < o.sig.size();
        for (size_t i = 0; i < sig.size(); i++)
            if (sig[i].first != o.sig[i].first) return sig[i].first > o.sig[i].first;
        for (size_t i = 0; i < sig.size(); i++)
            if (sig[i].second != o.sig[i].second) return sig[i].second < o.sig[i].second;
        return false;
    }
};

Key key_of(const quoly* q) {
    if (q->isnum) return {0, {}};
    if (q->pnum->numb) return {1, {}};
    TermList t = read_poly(q->pnum, kVars);
    Key k{2, {}};
    for (int i = 0; i < kVars; i++)
        if (t.at(0).exps[i] > 0) k.sig.emplace_back(i, t[0].exps[i]);
    return k;
}

// Sort keys drawn from a small pool so that equal monomials, equal numbers
// and identical quolys all occur.
quoly* random_key(NumberGen& g) {
    quoly* q = nullptr;
    const int kind = g.below(8);
    if (kind == 0) {
        quoly_set(g.between(-2, 2), &q);
        return q;
    }
    std::vector<int32_t> e(kVars, 0);
    if (kind == 1) {
        newquoly(&q);
        q->link = nullptr;
        q->isnum = 0;
        q->rat = 0;
        q->pnum = build_poly(kVars, {{g.between(1, 3), e}});
        q->den = build_poly(kVars, {{1, {0, 1, 0, 0}}});
        return q;
    }
    while (std::all_of(e.begin(), e.end(), [](int32_t v) { return v == 0; }))
        for (int32_t& v : e) v = g.chance(40) ? g.between(1, 2) : 0;
    polynode* p = build_poly(kVars, {{g.chance(50) ? 1 : g.between(-3, 3) | 1, e}});
    use_up_poly(&p, &q);
    return q;
}

quoly* tag(int32_t v) {
    quoly* q = nullptr;
    quoly_set(v, &q);
    return q;
}

TEST(Arraysort, MovesWholeRowsIntoMonomialOrder) {
    RingStateGuard ring;
    NumberGen g(314);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(40); round++) {
        const int32_t rows = g.between(0, 120);
        const int32_t ncols = g.between(1, 4);
        std::vector<quoly*> cells(static_cast<size_t>(rows) * ncols, nullptr);
        std::map<const quoly*, int32_t> row_of;
        for (int32_t r = 0; r < rows; r++) {
            cells[r] = random_key(g);
            row_of[cells[r]] = r;
            // Other columns carry the row number, with a few holes.
            for (int32_t k = 1; k < ncols; k++)
                if ((r + k) % 5) cells[r + k * rows] = tag(r * 10 + k);
        }
        std::vector<quoly*> before = cells;
        arraysort(cells.data(), 0, rows - 1, rows, ncols);
        for (int32_t r = 0; r + 1 < rows; r++)
            ASSERT_FALSE(key_of(cells[r + 1]) < key_of(cells[r])) << "rows " << r << " and " << r + 1 << " out of order";
        for (int32_t r = 0; r < rows; r++) {
            ASSERT_TRUE(row_of.count(cells[r]));
            const int32_t from = row_of[cells[r]];
            for (int32_t k = 1; k < ncols; k++)
                ASSERT_EQ(cells[r + k * rows], before[from + k * rows]) << "column " << k << " left its row";
        }
        for (quoly*& q : cells) free_quoly(&q);
    }
}

TEST(Arraysort, TwoRowsOfThreeColumnsChangePlaces) {
    RingStateGuard ring;
    polynode* px = build_poly(kVars, {{1, {1, 0, 0, 0}}});
    polynode* py = build_poly(kVars, {{1, {0, 1, 0, 0}}});
    quoly *x = nullptr, *y = nullptr;
    use_up_poly(&px, &x);
    use_up_poly(&py, &y);
    // Rows x and y of a 2 x 3 matrix: y ranks first.
    std::vector<quoly*> cells = {x, y, tag(12), tag(22), tag(13), tag(23)};
    const std::vector<quoly*> before = cells;
    arraysort(cells.data(), 0, 1, 2, 3);
    EXPECT_EQ(cells, (std::vector<quoly*>{before[1], before[0], before[3], before[2], before[5], before[4]}));
    for (quoly*& q : cells) free_quoly(&q);
}

// ---------------------------------------------------------------- sparse rows

class SparseSort : public ::testing::Test {
protected:
    // Rows 0 .. n-1 over fresh frames in spsort, each row a key entry
    // followed by an entry carrying the row number.
    void make(NumberGen& g, int32_t n) {
        for (int32_t f = 0; f * SPSORT_PAGE_ROWS < n; f++) {
            sparse* s;
            newsparse(&s);
            s->next = nullptr;
            for (colm*& h : s->row) h = nullptr;
            spsort[f] = s;
            frames_.push_back(s);
        }
        for (int32_t i = 0; i < n; i++) {
            colm *k, *t;
            newcolm(&k);
            newcolm(&t);
            k->col = 1;
            k->val = random_key(g);
            k->next = t;
            t->col = 2;
            t->val = tag(i);
            t->next = nullptr;
            row(i) = k;
            rows_.push_back(k);
            tail_of_[k] = t;
        }
    }
    colm*& row(int32_t i) { return spsort[i / SPSORT_PAGE_ROWS]->row[i % SPSORT_PAGE_ROWS]; }

    ~SparseSort() override {
        for (colm* k : rows_) {
            colm* t = k->next;
            free_quoly(&k->val);
            free_quoly(&t->val);
            t->next = colm_garb;
            k->next = t;
            colm_garb = k;
        }
        for (size_t f = 0; f < frames_.size(); f++) {
            spsort[f] = nullptr;
            frames_[f]->next = spargarb;
            spargarb = frames_[f];
        }
    }

    RingStateGuard ring_;
    std::vector<sparse*> frames_;
    std::vector<colm*> rows_;
    std::map<colm*, colm*> tail_of_;
};

TEST_F(SparseSort, RowsAcrossPagesComeOutInOrder) {
    NumberGen g(2718);
    SCOPED_TRACE(g.trace());
    const int32_t n = 2 * SPSORT_PAGE_ROWS + 700;
    make(g, n);
    std::vector<colm*> before(n);
    for (int32_t i = 0; i < n; i++) before[i] = row(i);
    // A range that starts and ends inside pages, so the rows outside it stay.
    const int32_t lo = 300, hi = n - 200;
    sparse_arraysort(lo, lo / SPSORT_PAGE_ROWS, hi, hi / SPSORT_PAGE_ROWS);
    for (int32_t i = 0; i < n; i++) {
        if (i < lo || i > hi) {
            ASSERT_EQ(row(i), before[i]) << "row " << i << " outside the range moved";
            continue;
        }
        if (i < hi) {
            ASSERT_FALSE(key_of(row(i + 1)->val) < key_of(row(i)->val)) << "positions " << i << ", " << i + 1;
        }
    }
    std::vector<colm*> sorted_rows(before.begin() + lo, before.begin() + (hi + 1));
    std::vector<colm*> now;
    for (int32_t i = lo; i <= hi; i++) now.push_back(row(i));
    std::sort(sorted_rows.begin(), sorted_rows.end());
    std::sort(now.begin(), now.end());
    EXPECT_EQ(now, sorted_rows) << "the sort lost or duplicated rows";
    // Whole row lists moved: each key entry still leads its own tag entry.
    for (int32_t i = 0; i < n; i++) ASSERT_EQ(row(i)->next, tail_of_.at(row(i)));
}

}  // namespace
