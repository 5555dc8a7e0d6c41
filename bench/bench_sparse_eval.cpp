// '#' applied to every entry of a sparse matrix (sparse_evalquoly): n
// entries x + k y + 1 in 1,000 columns, evaluated at x = 3; the figure is
// the best of 5 runs, and the time per entry should stay flat from 10^4 to
// 10^5 entries. The evaluated entries are checked against k y + 4.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "interp/dispatcher.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/quoly_eval.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "toplevel/datafiles.h"

namespace {

constexpr int32_t COLUMNS = 1000;

// x + k y + 1 built from the variables (y inner).
quoly* entry(int32_t k) {
    quoly* x = nullptr;
    quoly* y = nullptr;
    quoly* c = nullptr;
    base_quoly(&x, 1);
    base_quoly(&y, 2);
    quoly_set(k, &c);
    fast_quoly_mult(&y, &c);
    best_quoly_add(&x, y);
    quoly_set(1, &c);
    best_quoly_add(&x, c);
    return x;
}

sparse* build(int32_t n, int32_t rows) {
    sparse* m = nullptr;
    sparse_init(&m, rows);
    for (int32_t k = 0; k < n; k++) {
        const int32_t r = k / COLUMNS + 1, col = k % COLUMNS + 1;
        colm** at = row_head(m, r);
        while (*at && (*at)->col < col) at = &(*at)->next;
        colm* e = take_colm();
        e->col = col;
        e->val = entry(k + 1);
        e->next = *at;
        *at = e;
    }
    return m;
}

double run_once(sparse* stored, int32_t rows, int32_t n) {
    FILE* f = tmpfile();
    std::fputs("(3);", f);
    std::rewind(f);
    name* none = nullptr;
    scanner(&f, &token, &none);
    sparse* m = stored;
    int copied = 0;
    quoly* value = nullptr;
    const auto t0 = std::chrono::steady_clock::now();
    sparse_evalquoly(&value, &m, rows, &copied, &f, &none);
    const auto t1 = std::chrono::steady_clock::now();
    std::fclose(f);
    // Entry k (from 1) is now k y + 4.
    int32_t k = 0;
    for (int32_t r = 1; r <= rows; r++)
        for (colm* e = *row_head(m, r); e; e = e->next) {
            k++;
            quoly* want = entry(k);
            quoly* three = nullptr;
            quoly_set(3, &three);
            quoly* w = nullptr;
            base_quoly(&w, 1);
            best_quoly_sub(&want, w);
            best_quoly_add(&want, three);
            if (!quoly_equal(want, e->val)) {
                std::fprintf(stderr, "entry %d evaluated wrongly\n", k);
                std::exit(1);
            }
            free_quoly(&want);
        }
    if (k != n) {
        std::fprintf(stderr, "%d entries left of %d\n", k, n);
        std::exit(1);
    }
    free_sparse(&m, rows, 1);
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

}  // namespace

int main() {
    initialize(TARVEX_BENCH_DATA_DIR);
    init_scanner_structures();
    // The variables as a session makes them: x outermost, y inner.
    bench::run_statements("&(J = y);\n&(J = x);\n");
    double per[2] = {0, 0};
    int i = 0;
    for (int32_t n : {10000, 100000}) {
        const int32_t rows = (n + COLUMNS - 1) / COLUMNS;
        sparse* m = build(n, rows);
        double best = 1e300;
        for (int run = 0; run < 5; run++) {
            const double ms = run_once(m, rows, n);
            if (ms < best) best = ms;
        }
        free_sparse(&m, rows, 1);
        per[i++] = best / n;
        std::printf("sparse_evalquoly, %7d entries: best of 5 %9.2f ms (%.3f us per entry)\n", n, best,
                    1000 * best / n);
    }
    std::printf("10x the entries: %.2fx the time per entry\n", per[1] / per[0]);
    return 0;
}
