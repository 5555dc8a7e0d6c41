// Sparse determinants and inverses: the residue elimination on banded and
// random matrices (doubling ratios, peak entry count, beside mod_determ on
// a dense copy), Gaussian beside fraction-free elimination of sparse
// integer matrices under every pivot heuristic, and the Leverrier-Faddeev
// inverse of tridiagonal matrices beside the dense inverse. Every figure is
// the least of several runs, in milliseconds.
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "det/sparse_mod_determ.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_det.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "toplevel/datafiles.h"
#include "bench_support.h"

namespace {

using namespace bench;

std::mt19937_64 rng(2026);

// Row-major (row, column, value) lists, columns ascending within a row.
struct Entries {
    int32_t n;
    std::vector<std::vector<std::pair<int32_t, int32_t>>> rows;
    explicit Entries(int32_t size) : n(size), rows(size) {}
    void put(int32_t i, int32_t j, int32_t v) {   // from 1; the last value wins
        auto& r = rows[i - 1];
        for (auto& e : r)
            if (e.first == j) {
                e.second = v;
                return;
            }
        r.push_back({j, v});
    }
};

// The matrix as the store holds it: plain numbers (residues in modular mode).
sparse* build(Entries& m) {
    sparse* f = new_frame_chain(m.n);
    for (int32_t i = 1; i <= m.n; i++) {
        auto& r = m.rows[i - 1];
        std::sort(r.begin(), r.end());
        colm** tail = row_head(f, i);
        for (auto [j, v] : r) {
            if (!v) continue;
            colm* e = take_colm();
            e->col = j;
            e->val = nullptr;
            if (lintmode)
                quoly_set_lint(v, &e->val);
            else
                quoly_set(v, &e->val);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    return f;
}

Entries banded(int32_t n, int32_t half, int32_t q) {
    std::uniform_int_distribution<int32_t> el(1, q - 1);
    Entries m(n);
    for (int32_t i = 1; i <= n; i++)
        for (int32_t j = std::max(1, i - half); j <= std::min(n, i + half); j++) m.put(i, j, el(rng));
    return m;
}

// A non-zero diagonal and two more entries in random columns of every row.
Entries random_rows(int32_t n, int32_t q) {
    std::uniform_int_distribution<int32_t> el(1, q - 1), col(1, n);
    Entries m(n);
    for (int32_t i = 1; i <= n; i++) {
        m.put(i, i, el(rng));
        for (int k = 0; k < 2; k++) m.put(i, col(rng), el(rng));
    }
    return m;
}

int64_t peak_entries = 0;
int32_t sample_every = 1;
void count_entries(sparse* f, int32_t n, int32_t k) {
    if (k % sample_every) return;
    int64_t c = 0;
    for (int32_t i = 1; i <= n; i++)
        for (const colm* e = *row_head(f, i); e; e = e->next) c++;
    peak_entries = std::max(peak_entries, c);
}

double residue_det(sparse* f, int32_t n, int runs, uint32_t* value) {
    return best_of(runs, [&] {
        quoly* r = nullptr;
        quoly_set_lint(1, &r);
        sparse_mod_int_determ(&r, &f, n, 0, 0);
        *value = static_cast<uint32_t>(r->nnum->value);
        free_quoly(&r);
    });
}

void residues() {
    std::printf("Residue elimination of sparse matrices (ms)\n");
    for (int32_t q : {65521, 2147483629}) {
        RingStateGuard g;
        install_modulus(q);
        modularmode = lintmode = 1;
        mod_is_prime = 1;
        std::printf("\nmodulus %d\n", q);
        std::printf("  banded, half-bandwidth 3:\n");
        double last = 0;
        for (int32_t n : {1500, 3000, 6000}) {
            Entries m = banded(n, 3, q);
            sparse* f = build(m);
            uint32_t v = 0;
            const double ms = residue_det(f, n, 3, &v);
            std::printf("    n = %5d %10.1f", n, ms);
            if (last > 0) std::printf("   doubling x%.2f", ms / last);
            std::printf("\n");
            last = ms;
            free_sparse(&f, n, 1);
        }
        std::printf("  random, diagonal and 2 more entries a row:\n");
        for (int32_t n : {1500, 3000}) {
            Entries m = random_rows(n, q);
            sparse* f = build(m);
            uint32_t v = 0;
            const double ms = residue_det(f, n, n <= 1500 ? 3 : 2, &v);
            peak_entries = 0;
            sample_every = n / 100;
            sparse_mod_step_hook = count_entries;
            residue_det(f, n, 1, &v);
            sparse_mod_step_hook = nullptr;
            std::printf("    n = %5d %10.1f   peak entries about %lld (%lld at start)\n", n, ms,
                        static_cast<long long>(peak_entries), static_cast<long long>(3 * int64_t{n}));
            free_sparse(&f, n, 1);
        }
        // Beside the dense residue elimination on the dense copy.
        const int32_t n = 1000;
        Entries m = random_rows(n, q);
        sparse* f = build(m);
        uint32_t sv = 0, dv = 0;
        const double sparse_ms = residue_det(f, n, 3, &sv);
        std::vector<quoly*> cells(size_t(n) * n, nullptr);
        const double dense_ms = best_of(2, [&] {
            for (int32_t i = 1; i <= n; i++) {
                for (int32_t j = 1; j <= n; j++) quoly_set_lint(0, &cells[size_t(j - 1) * n + (i - 1)]);
                for (const colm* e = *row_head(f, i); e; e = e->next)
                    cells[size_t(e->col - 1) * n + (i - 1)]->nnum->value = e->val->nnum->value;
            }
            quoly* r = nullptr;
            quoly_set_lint(1, &r);
            mod_determ(cells.data(), n, r);
            dv = static_cast<uint32_t>(r->nnum->value);
            free_quoly(&r);
        });
        for (auto& c : cells) free_quoly(&c);
        std::printf("  1000 x 1000 random: sparse %.1f, mod_determ on the dense copy %.1f (%s)\n", sparse_ms,
                    dense_ms, sv == dv ? "same value" : "VALUES DIFFER");
        free_sparse(&f, n, 1);
    }
}

void integers() {
    std::printf("\nSparse integers, 3%% filled plus the diagonal, 2 digits (ms):\n");
    std::printf("%6s %3s %12s %12s\n", "n", "u", "Gaussian", "fract-free");
    const int32_t keep = pseudet_heur;
    for (int32_t n : {100, 200}) {
        std::uniform_int_distribution<int32_t> el(-99, 99), col(1, n);
        Entries m(n);
        for (int32_t i = 1; i <= n; i++) m.put(i, i, 10 + (el(rng) + 99) % 90);
        for (int64_t k = 0; k < int64_t{n} * n * 3 / 100; k++) m.put(col(rng), col(rng), el(rng));
        sparse* f = build(m);
        for (int32_t u = 0; u <= 6; u++) {
            pseudet_heur = u;
            auto one = [&](bool bareiss) {
                return best_of(n <= 100 ? 3 : 1, [&] {
                    quoly* r = nullptr;
                    quoly_set(1, &r);
                    if (bareiss)
                        sparse_gauss_Bareiss(f, &r, n, 0, 0);
                    else
                        sparse_gauss_elim(f, &r, n, 0, 0);
                    free_quoly(&r);
                });
            };
            const double g = one(false);
            const double b = one(true);
            std::printf("%6d %3d %12.1f %12.1f\n", n, u, g, b);
        }
        free_sparse(&f, n, 1);
    }
    pseudet_heur = keep;
}

void inverses() {
    std::printf("\nTridiagonal integer inverses (2 on the diagonal, -1 beside it) (ms):\n");
    std::printf("%6s %16s %12s\n", "n", "Leverrier-Fadeev", "dense");
    for (int32_t n : {50, 100}) {
        Entries m(n);
        for (int32_t i = 1; i <= n; i++) {
            m.put(i, i, 2);
            if (i > 1) m.put(i, i - 1, -1);
            if (i < n) m.put(i, i + 1, -1);
        }
        sparse* f = build(m);
        std::vector<quoly*> cells(size_t(n) * n, nullptr);
        const double lf = best_of(n <= 50 ? 3 : 1, [&] {
            sparse* copy = nullptr;
            copy_sparse(&f, &copy, n, 0);
            quoly* r = nullptr;
            quoly_set(1, &r);
            mat_invert(cells.data(), cells.data(), 1, 1, n, &r, 1, 1, &copy, nullptr, -1, -1, -1, 0, 0);
            free_quoly(&r);
            if (copy)
                free_sparse(&copy, n, 1);
            else
                for (auto& c : cells) free_quoly(&c);
        });
        std::vector<quoly*> dense(size_t(n) * n, nullptr);
        for (int32_t i = 1; i <= n; i++) {
            for (int32_t j = 1; j <= n; j++) quoly_set(0, &dense[size_t(j - 1) * n + (i - 1)]);
            for (const colm* e = *row_head(f, i); e; e = e->next)
                quoly_assign(e->val, &dense[size_t(e->col - 1) * n + (i - 1)]);
        }
        const double d = best_of(n <= 50 ? 3 : 1, [&] {
            std::vector<quoly*> dest(dense.size(), nullptr);
            quoly* r = nullptr;
            quoly_set(1, &r);
            sparse* none = nullptr;
            mat_invert(dense.data(), dest.data(), 0, 0, n, &r, 1, 0, &none, nullptr, -1, -1, -1, 0, 0);
            free_quoly(&r);
            for (auto& q : dest) free_quoly(&q);
        });
        for (auto& q : dense) free_quoly(&q);
        std::printf("%6d %16.1f %12.1f\n", n, lf, d);
        free_sparse(&f, n, 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    residues();
    integers();
    inverses();
    return 0;
}
