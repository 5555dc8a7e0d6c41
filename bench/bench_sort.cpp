// Sort[a] through the interpreter: a dense n x 3 array (n = 10^5 and
// 2 x 10^5) whose first column holds distinct monomials x^i y^j in random
// order, and a sparse column of 10^6 rows. Each figure is the best of 5
// sorts of freshly shuffled rows; every result is checked to be in order
// with its rows intact. Doubling n should take at most 2.3x the time.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "interp/dispatcher.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "poly/monorder.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "toplevel/datafiles.h"

namespace {

// x^i y^j as a quoly (x outermost), built as its nodes.
quoly* monomial(int32_t i, int32_t j) {
    polynode* c = nullptr;
    poly_set(1, &c);
    polynode* yj = nullptr;
    make_monomial(&yj, j, c);
    polynode* p = nullptr;
    make_monomial(&p, i, yj);
    quoly* q = nullptr;
    use_up_poly(&p, &q);
    return q;
}

std::vector<std::pair<int32_t, int32_t>> distinct_exponents(int32_t n, std::mt19937& rng) {
    std::vector<std::pair<int32_t, int32_t>> all;
    int32_t side = 1;
    while (side * side < n) side++;
    for (int32_t i = 0; static_cast<int32_t>(all.size()) < n; i++)
        for (int32_t j = 0; j < side && static_cast<int32_t>(all.size()) < n; j++) all.emplace_back(i, j);
    std::shuffle(all.begin(), all.end(), rng);
    return all;
}

double dense_case(int32_t n, std::mt19937& rng) {
    char text[64];
    std::snprintf(text, sizeof text, "Array d%d[%d,3];\n", n, n);
    bench::run_statements(text);
    tokenrec id;
    std::snprintf(text, sizeof text, "d%d", n);
    set_token(&id, text);
    array* a = find_array(&id);
    const auto ex = distinct_exponents(n, rng);
    for (int32_t r = 0; r < n; r++) {
        *cell_at(a->first + r) = monomial(ex[r].first, ex[r].second);
        quoly_set(r, cell_at(int64_t{a->first} + n + r));
        quoly_set(ex[r].first * 4096 + ex[r].second, cell_at(int64_t{a->first} + 2 * n + r));
    }
    std::snprintf(text, sizeof text, "Sort[d%d];\n", n);
    double best = 1e300;
    for (int run = 0; run < 5; run++) {
        // Shuffle whole rows, outside the timing.
        std::vector<int32_t> perm(n);
        for (int32_t r = 0; r < n; r++) perm[r] = r;
        std::shuffle(perm.begin(), perm.end(), rng);
        for (int32_t c = 0; c < 3; c++) {
            std::vector<quoly*> col(n);
            for (int32_t r = 0; r < n; r++) col[r] = *cell_at(int64_t{a->first} + c * n + perm[r]);
            for (int32_t r = 0; r < n; r++) *cell_at(int64_t{a->first} + c * n + r) = col[r];
        }
        best = std::min(best, bench::best_of(1, [&] { bench::run_statements(text); }));
        for (int32_t r = 0; r + 1 < n; r++)
            if (!quoly_mon_less(*cell_at(a->first + r), *cell_at(a->first + r + 1))) {
                std::fprintf(stderr, "dense rows %d and %d out of order\n", r, r + 1);
                std::exit(1);
            }
        for (int32_t r = 0; r < n; r++) {
            quoly* key = *cell_at(a->first + r);
            quoly* tag = *cell_at(int64_t{a->first} + 2 * n + r);
            const int32_t v = tag->nnum->head->digit;
            quoly* want = monomial(v / 4096, v % 4096);
            const bool same = quoly_equal(want, key);
            free_quoly(&want);
            if (!same) {
                std::fprintf(stderr, "dense row %d lost its carried column\n", r);
                std::exit(1);
            }
        }
    }
    return best;
}

double sparse_case(int32_t n, std::mt19937& rng) {
    char text[64];
    std::snprintf(text, sizeof text, "Array s%d[%d] Sparse;\n", n, n);
    bench::run_statements(text);
    tokenrec id;
    std::snprintf(text, sizeof text, "s%d", n);
    set_token(&id, text);
    array* a = find_array(&id);
    const auto ex = distinct_exponents(n, rng);
    std::vector<colm*> heads(n);
    for (int32_t r = 0; r < n; r++) {
        colm* e = take_colm();
        e->col = 1;
        e->val = monomial(ex[r].first, ex[r].second);
        e->next = nullptr;
        heads[r] = e;
    }
    std::snprintf(text, sizeof text, "Sort[s%d];\n", n);
    double best = 1e300;
    for (int run = 0; run < 5; run++) {
        std::shuffle(heads.begin(), heads.end(), rng);
        for (int32_t r = 0; r < n; r++) *row_head(a->sparse, r + 1) = heads[r];
        best = std::min(best, bench::best_of(1, [&] { bench::run_statements(text); }));
        for (int32_t r = 1; r < n; r++)
            if (!quoly_mon_less((*row_head(a->sparse, r))->val, (*row_head(a->sparse, r + 1))->val)) {
                std::fprintf(stderr, "sparse rows %d and %d out of order\n", r, r + 1);
                std::exit(1);
            }
        for (int32_t r = 0; r < n; r++) heads[r] = *row_head(a->sparse, r + 1);
    }
    return best;
}

}  // namespace

int main() {
    initialize(TARVEX_BENCH_DATA_DIR);
    init_scanner_structures();
    bench::run_statements("&(J = y);\n&(J = x);\n");
    std::mt19937 rng(84);
    const double d1 = dense_case(100000, rng);
    const double d2 = dense_case(200000, rng);
    std::printf("Sort, dense 100000 x 3: best of 5 %8.1f ms\n", d1);
    std::printf("Sort, dense 200000 x 3: best of 5 %8.1f ms\n", d2);
    std::printf("doubling the rows: %.2fx the time (at most 2.3x)\n", d2 / d1);
    const double s1 = sparse_case(500000, rng);
    const double s2 = sparse_case(1000000, rng);
    std::printf("Sort, sparse column of  500000 rows: best of 5 %8.1f ms\n", s1);
    std::printf("Sort, sparse column of 1000000 rows: best of 5 %8.1f ms\n", s2);
    std::printf("doubling the rows: %.2fx the time (at most 2.3x)\n", s2 / s1);
    return 0;
}
