// Times the sparse echelon workers on residue matrices: banded systems
// (half-bandwidth 3, one right-hand column) at 1,000, 2,000 and 4,000 rows,
// where doubling should cost at most 2.5x, and random non-singular matrices
// of 5 entries a row at 500 and 1,000 rows beside a plain dense elimination
// written here, which the sparse workers should stay within 5x of at 1,000.
// Peak entries: the most list entries in use at once beyond the matrix
// itself. Each time is the minimum of several runs.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "matrix/sparse.h"
#include "matrix/sparse_echelon.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "storage/stash.h"
#include "toplevel/datafiles.h"

#include "bench_support.h"

namespace {

using namespace bench;

constexpr int32_t NO_LIMIT = 268435456;

// Row-major residues, 0 for absent.
struct Dense {
    int32_t n, m;
    std::vector<int32_t> v;
    Dense(int32_t rows, int32_t cols) : n(rows), m(cols), v(size_t(rows) * cols, 0) {}
    int32_t& at(int32_t r, int32_t c) { return v[size_t(r) * m + c]; }
};

std::mt19937_64 rng(20261207);

int32_t nonzero() {
    std::uniform_int_distribution<int64_t> d(1, modulus - 1);
    return static_cast<int32_t>(d(rng));
}

Dense banded(int32_t n) {
    Dense d(n, n + 1);
    for (int32_t r = 0; r < n; r++) {
        for (int32_t c = std::max(0, r - 3); c <= std::min(n - 1, r + 3); c++) d.at(r, c) = nonzero();
        d.at(r, n) = nonzero();
    }
    return d;
}

// A non-zero diagonal and four more entries a row; one right-hand column.
Dense random_sparse(int32_t n) {
    Dense d(n, n + 1);
    std::uniform_int_distribution<int32_t> col(0, n - 1);
    for (int32_t r = 0; r < n; r++) {
        d.at(r, r) = nonzero();
        for (int k = 0; k < 4; k++) d.at(r, col(rng)) = nonzero();
        d.at(r, n) = nonzero();
    }
    return d;
}

// A sparse array record of the first m columns.
struct Arr {
    array a{};
    Arr(Dense& d, int32_t m) {
        a.rows = d.n;
        special_set_2(d.n, m, &a.size);
        a.sparse = new_frame_chain(d.n);
        for (int32_t r = 0; r < d.n; r++) {
            colm** tail = row_head(a.sparse, r + 1);
            for (int32_t c = 0; c < m; c++) {
                if (!d.at(r, c)) continue;
                colm* e = take_colm();
                e->col = c + 1;
                e->val = nullptr;
                quoly_set_lint(d.at(r, c), &e->val);
                e->next = nullptr;
                *tail = e;
                tail = &e->next;
            }
        }
    }
    ~Arr() {
        free_sparse(&a.sparse, a.rows, 1);
        special_free(&a.size);
    }
};

// The free entries are set aside while a worker runs, so that every entry
// it takes beyond those it gave back is carved anew: the carved count's rise
// is the peak.
struct PeakEntries {
    colm* hidden;
    int32_t carved0;
    PeakEntries() : hidden(colm_garb), carved0(colmstash ? colmstash->slugs_used : 0) { colm_garb = nullptr; }
    int64_t peak() const { return (colmstash ? colmstash->slugs_used : 0) - carved0; }
    ~PeakEntries() {
        if (!hidden) return;
        colm* last = hidden;
        while (last->next) last = last->next;
        last->next = colm_garb;
        colm_garb = hidden;
    }
};

struct Run {
    double ms;
    int32_t rank;
    int64_t peak;
};

// which: 0 Redrowech (n x (n+1)), 1 Rowreduce (n x n).
Run time_worker(Dense& d, int which, bool with_l, int runs) {
    Run out{1e300, 0, 0};
    for (int i = 0; i < runs; i++) {
        Arr arr(d, which == 0 ? d.m : d.n);
        sparse* s[4] = {nullptr, nullptr, nullptr, nullptr};
        const int flags[4] = {with_l ? 1 : 0, 0, 0, 0};
        PeakEntries peak;
        const auto t0 = Clock::now();
        out.rank = which == 0 ? sparse_redrowech(&arr.a, flags, s)
                              : sparse_rowreduce(&arr.a, 0, flags, nullptr, s, NO_LIMIT);
        out.ms = std::min(out.ms, ms_since(t0));
        out.peak = peak.peak();
        free_sparse(&s[0], d.n, 1);
    }
    return out;
}

// Plain Gaussian elimination to upper-triangular form on the dense residues.
double dense_elimination(Dense d, int runs) {
    return best_of(runs, [&] {
        Dense a = d;
        const int32_t n = a.n;
        for (int32_t k = 0; k < n; k++) {
            int32_t p = k;
            while (p < n && a.at(p, k) == 0) p++;
            if (p == n) continue;
            if (p != k)
                for (int32_t j = 0; j < a.m; j++) std::swap(a.at(p, j), a.at(k, j));
            int32_t iv = 0;
            mod_inverse(a.at(k, k), &iv);
            for (int32_t i = k + 1; i < n; i++) {
                if (!a.at(i, k)) continue;
                const int32_t f = modmult(a.at(i, k), iv);
                for (int32_t j = k; j < a.m; j++)
                    if (a.at(k, j)) a.at(i, j) = mod_sub(a.at(i, j), modmult(f, a.at(k, j)), modulus);
            }
        }
    });
}

void ring(int32_t q, const char* name) {
    RingStateGuard g;
    install_modulus(q);
    modularmode = lintmode = 1;
    mod_is_prime = 1;
    std::printf("\n%s\n", name);
    std::printf("%-9s %6s %10s %10s %8s %12s %10s %12s\n", "matrix", "n", "Redrowech", "doubling", "Rowred",
                "doubling", "with L", "peak entries");
    double last_e = 0, last_r = 0;
    for (int32_t n : {1000, 2000, 4000}) {
        Dense d = banded(n);
        const Run e = time_worker(d, 0, false, 3);
        const Run r = time_worker(d, 1, false, 3);
        // L is dense for a band: its row operations cost n^3, so it is timed at the smallest size only.
        const Run l = n == 1000 ? time_worker(d, 0, true, 1) : Run{-1, 0, 0};
        std::printf("%-9s %6d %10.2f %10s %8.2f %12s %10.2f %6lld/%lld\n", "banded", n, e.ms,
                    last_e > 0 ? (std::to_string(e.ms / last_e).substr(0, 4) + "x").c_str() : "", r.ms,
                    last_r > 0 ? (std::to_string(r.ms / last_r).substr(0, 4) + "x").c_str() : "", l.ms,
                    static_cast<long long>(e.peak), static_cast<long long>(r.peak));
        last_e = e.ms;
        last_r = r.ms;
    }
    for (int32_t n : {500, 1000}) {
        Dense d = random_sparse(n);
        const Run e = time_worker(d, 0, false, 2);
        const Run r = time_worker(d, 1, false, 2);
        const Run l = n == 500 ? time_worker(d, 0, true, 1) : Run{-1, 0, 0};
        const double dense = dense_elimination(d, 2);
        std::printf("%-9s %6d %10.1f %10s %8.1f %12s %10.1f %6lld/%lld   rank %d/%d, dense %.1f ms: x%.2f, x%.2f\n",
                    "random", n, e.ms, "", r.ms, "", l.ms, static_cast<long long>(e.peak),
                    static_cast<long long>(r.peak), e.rank, r.rank, dense, e.ms / dense, r.ms / dense);
    }
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("Sparse echelon workers (ms; peak entries Redrowech/Rowreduce)\n");
    ring(2147483629, "mod 2,147,483,629");
    ring(65521, "mod 65,521");
    ring(256, "GF(2^8)");
    return 0;
}
