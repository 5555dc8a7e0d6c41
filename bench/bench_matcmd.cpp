// Dense matrix reductions at the library level on random integer matrices
// with 2-digit entries: column reduction at 50 x 50 and 100 x 100 (the
// doubling factor), and the fraction-free LU: its time, the share of it
// spent scaling the earlier columns of L by each new pivot (replayed on
// the multipliers the run produced), and the largest entry of L beside
// U's. Each time is the minimum of the runs given.
#include <cstdio>
#include <random>
#include <vector>

#include "matrix/dense_echelon.h"
#include "matrix/fflu.h"
#include "numbers/numbers.h"
#include "poly/dense.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

#include "bench_support.h"

namespace {

using namespace bench;

std::vector<int> random_entries(int32_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<int> v(static_cast<size_t>(n) * n);
    for (int& x : v) x = static_cast<int>(rng() % 199) - 99;
    return v;
}

std::vector<quoly*> cells_of(const std::vector<int>& e) {
    std::vector<quoly*> c(e.size(), nullptr);
    for (size_t i = 0; i < e.size(); i++) quoly_set(e[i], &c[i]);
    return c;
}

void free_cells(std::vector<quoly*>& c) {
    for (quoly*& q : c)
        if (q) free_quoly(&q);
}

// Bits of the largest |entry|: digits of 28 bits, the leading one counted whole.
int32_t largest_bits(const std::vector<quoly*>& c) {
    int32_t best = 0;
    for (quoly* q : c)
        if (q && q->isnum && q->nnum->count * 28 > best) best = q->nnum->count * 28;
    return best;
}

double colreduce_time(int32_t n, int runs) {
    const std::vector<int> e = random_entries(n, 50 + n);
    const int flags[4] = {1, 1, 1, 1};
    return best_of(runs, [&] {
        std::vector<quoly*> a = cells_of(e);
        std::vector<quoly*> P(size_t(n) * n), Q(size_t(n) * n), P2(size_t(n) * n), Q2(size_t(n) * n);
        colreduce(a.data(), n, n, flags, P.data(), Q.data(), P2.data(), Q2.data(), 0, 268435456, nullptr, 1);
        free_cells(a);
        free_cells(P);
        free_cells(Q);
        free_cells(P2);
        free_cells(Q2);
    });
}

void fflu_figures(int32_t n, int runs) {
    const std::vector<int> e = random_entries(n, 70 + n);
    const int flags[6] = {1, 1, 0, 0, 0, 0};
    std::vector<quoly*> U, D(static_cast<size_t>(n)), L(static_cast<size_t>(n) * n);
    const double t = best_of(runs, [&] {
        free_cells(U);
        free_cells(D);
        free_cells(L);
        U = cells_of(e);
        fract_free_lu(0, U.data(), n, n, flags, D.data(), L.data(), nullptr, nullptr, nullptr, nullptr);
    });
    // The multipliers as the elimination first wrote them: L(i, j) was then
    // multiplied by d_k for every step j < k < i.
    std::vector<quoly*> m(size_t(n) * n, nullptr);
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = j + 1; i < n; i++) {
            quoly*& x = m[size_t(j) * n + i];
            quoly_assign(L[size_t(j) * n + i], &x);
            for (int32_t k = j + 1; k < i; k++) fast_quoly_quot(&x, &D[size_t(k)], 0);
        }
    const double scaling = best_of(runs, [&] {
        std::vector<quoly*> w(m.size(), nullptr);
        for (size_t c = 0; c < m.size(); c++)
            if (m[c]) quoly_assign(m[c], &w[c]);
        for (int32_t k = 1; k < n; k++)
            for (int32_t j = 0; j < k; j++)
                for (int32_t i = k + 1; i < n; i++) {
                    quoly*& x = w[size_t(j) * n + i];
                    if (x && !quoly_iszero(x)) fast_quoly_mult(&x, &D[size_t(k)]);
                }
        free_cells(w);
    });
    std::printf("  FFLU %3d x %-3d %9.1f ms, scaling L %8.1f ms (%4.1f%%), largest entry of L %6d bits, of U %6d bits\n",
                n, n, t, scaling, 100.0 * scaling / t, largest_bits(L), largest_bits(U));
    free_cells(m);
    free_cells(U);
    free_cells(D);
    free_cells(L);
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("Dense reductions of random integer matrices, 2-digit entries\n");
    const double c50 = colreduce_time(50, 5), c100 = colreduce_time(100, 3);
    std::printf("  Colreduce with P, Q, P2, Q2: 50 x 50 %9.1f ms, 100 x 100 %9.1f ms, doubling %.1fx\n", c50, c100,
                c100 / c50);
    fflu_figures(50, 5);
    fflu_figures(100, 3);
    return 0;
}
