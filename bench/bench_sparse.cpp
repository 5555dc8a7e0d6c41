// Times the sparse store on a 100,000-row matrix: random inserts, lookups
// and deletes at 10^5 and 10^6 entries, then A + B, copy and transpose at
// both sizes. Ten times the entries should cost at most fifteen times the
// time (the ratio column); each figure is the minimum of several runs.
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "matrix/sparse_sums.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "poly/dense.h"
#include "storage/assign.h"
#include "storage/stash.h"
#include "toplevel/loop.h"

#include "bench_support.h"

namespace {

using namespace bench;

constexpr int32_t ROWS = 100000;
constexpr int32_t COLS = 100000;
constexpr int RUNS = 3;

struct Cell {
    int32_t r, c;
};

// Distinct random places, seeded.
std::vector<Cell> places(int64_t n, uint32_t seed) {
    std::mt19937 g(seed);
    std::vector<Cell> v;
    v.reserve(n);
    std::vector<uint64_t> keys;
    keys.reserve(n * 11 / 10);
    while (static_cast<int64_t>(keys.size()) < n * 11 / 10)
        keys.push_back(uint64_t(g() % ROWS) * COLS + g() % COLS);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::shuffle(keys.begin(), keys.end(), g);
    keys.resize(n);
    for (uint64_t k : keys) v.push_back({static_cast<int32_t>(k / COLS) + 1, static_cast<int32_t>(k % COLS) + 1});
    return v;
}

struct Times {
    double insert = 1e300, lookup = 1e300, remove = 1e300, add = 1e300, copy = 1e300, transpose = 1e300;
};

Times run(int64_t n, bool row_ordered) {
    Times t;
    tokenrec name;
    set_token(&name, "bench");
    for (int k = 0; k < RUNS; k++) {
        const std::vector<Cell> a = places(n, 7 + k), b = places(n, 1000 + k);
        array* arr = sparse_create(&name, ROWS, COLS, 0, 1);
        quoly* v = nullptr;
        quoly_set(3, &v);

        auto t0 = Clock::now();
        for (const Cell& c : a) sparse_insert(c.r, c.c, arr, 1, &v);
        t.insert = std::min(t.insert, ms_since(t0));

        t0 = Clock::now();
        int64_t found = 0;
        for (const Cell& c : b) found += spar_retrieve(arr->sparse, c.r, c.c) != quol_num_0;
        for (const Cell& c : a) found += spar_retrieve(arr->sparse, c.r, c.c) != quol_num_0;
        t.lookup = std::min(t.lookup, ms_since(t0));
        if (found < n) std::printf("lookups lost entries\n");

        // B as a second matrix for the sum.
        array* brr = sparse_create(&name, ROWS, COLS, 0, 1);
        for (const Cell& c : b) sparse_insert(c.r, c.c, brr, 1, &v);
        if (row_ordered) {
            // Operands laid out row by row, as copies, conversions and sums
            // make them (random inserts scatter a row over the whole heap).
            for (array* x : {arr, brr}) {
                sparse* laid = nullptr;
                copy_sparse(&x->sparse, &laid, ROWS, 0);
                free_sparse(&x->sparse, ROWS, 1);
                x->sparse = laid;
            }
        }
        t0 = Clock::now();
        add_sparses(&arr->sparse, &brr->sparse, 1, 0, ROWS, 1);
        t.add = std::min(t.add, ms_since(t0));

        sparse* copy = nullptr;
        t0 = Clock::now();
        copy_sparse(&arr->sparse, &copy, ROWS, 0);
        t.copy = std::min(t.copy, ms_since(t0));

        t0 = Clock::now();
        trans_sparse(&copy, ROWS, COLS);
        t.transpose = std::min(t.transpose, ms_since(t0));
        free_sparse(&copy, COLS, 1);

        // Delete A's own entries again (B's, added in, stay until removal).
        t0 = Clock::now();
        for (const Cell& c : a) {
            quoly** slot = nullptr;
            array_quoly_ptr(arr, c.r, c.c, 1, &slot, "bench", 0);
            if (slot) sparse_delete(c.r, c.c, arr, 1);
        }
        t.remove = std::min(t.remove, ms_since(t0));

        remove_array(brr);
        remove_array(arr);
        free_quoly(&v);
    }
    return t;
}

}  // namespace

int main() {
    open_system_stashes();
    init_number_constants();
    init_poly_work_arrays();
    if (!quol_num_0) quoly_set(0, &quol_num_0);

    for (bool row_ordered : {false, true}) {
    const Times small = run(100000, row_ordered), large = run(1000000, row_ordered);
    std::printf("\nsparse %d x %d, minimum of %d runs, ms; whole-matrix operands %s\n", ROWS, COLS, RUNS,
                row_ordered ? "laid out row by row" : "as random inserts left them");
    std::printf("%-12s %12s %12s %8s\n", "operation", "1e5 entries", "1e6 entries", "ratio");
    auto line = [](const char* what, double a, double b) {
        std::printf("%-12s %12.1f %12.1f %8.1f%s\n", what, a, b, b / a, b / a > 15 ? "  over 15x" : "");
    };
    line("insert", small.insert, large.insert);
    line("lookup", small.lookup, large.lookup);
    line("delete", small.remove, large.remove);
    line("add", small.add, large.add);
    line("copy", small.copy, large.copy);
    line("transpose", small.transpose, large.transpose);
    }
    return 0;
}
