// Expansion by minors beside sparse elimination on structured polynomial
// matrices stored sparse: Toeplitz matrices in 2n - 1 variables (entry
// (i, j) = a(i - j) on and below the diagonal, b(j - i) above), n = 6..9,
// with the branch counts with the stash and with its window emptied; and
// pentadiagonal matrices of random linear entries in x, y, z, n = 20, 30,
// 40. Each figure is the least of its runs; a method whose single run
// passes its budget is not run at the next size.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "det/minor_stash.h"
#include "det/sparse_minors.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_det.h"
#include "poly/dense.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/workblocks.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

#include "bench_support.h"

namespace {

using namespace bench;

// Variables named v1 .. vk, v1 outermost.
void attach_named(int k) {
    pt** tail = &polynames;
    for (int i = 0; i < k; i++) {
        pt* v;
        newpt(&v);
        std::snprintf(v->name, sizeof v->name, "v%d", i + 1);
        v->hash = 65535;
        v->modout_degree = 0;
        v->level = static_cast<int16_t>(i + 1);
        *tail = v;
        tail = &v->next;
    }
    number_polys = k;
}

quoly* variable(int level) {
    polynode* p = nullptr;
    base_poly(&p, level);
    quoly* q = nullptr;
    p_q_assign(p, &q);
    free_poly(&p);
    return q;
}

// A frame chain from row-major cells (null absent); the cells are taken over.
sparse* sparse_from(std::vector<quoly*>& cells, int32_t n) {
    sparse* f = new_frame_chain(n);
    for (int32_t i = 0; i < n; i++) {
        colm** tail = row_head(f, i + 1);
        for (int32_t j = 0; j < n; j++) {
            quoly*& q = cells[size_t(i) * n + j];
            if (!q) continue;
            colm* e = take_colm();
            e->col = j + 1;
            e->val = q;
            e->next = nullptr;
            q = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    return f;
}

sparse* toeplitz(int32_t n) {
    std::vector<quoly*> cells(size_t(n) * n, nullptr);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++)
            cells[size_t(i) * n + j] = variable(i >= j ? 1 + (i - j) : n + (j - i));
    return sparse_from(cells, n);
}

sparse* pentadiagonal(int32_t n, std::mt19937_64& rng) {
    std::uniform_int_distribution<int> c(-9, 9);
    std::vector<quoly*> cells(size_t(n) * n, nullptr);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = i - 2; j <= i + 2; j++) {
            if (j < 0 || j >= n) continue;
            quoly* s = nullptr;
            quoly_set(c(rng) | 1, &s);
            for (int v = 1; v <= 3; v++) {
                quoly* t = variable(v);
                quoly* k = nullptr;
                quoly_set(c(rng), &k);
                fast_quoly_mult(&t, &k);
                best_quoly_add(&s, t);
                free_quoly(&k);
            }
            cells[size_t(i) * n + j] = s;
        }
    return sparse_from(cells, n);
}

quoly* by_minors(sparse* f, int32_t n) {
    quoly* r = nullptr;
    int copied = 0;
    sparse_minors_det(&r, &f, n, &copied, 0);
    return r;
}

quoly* by_elimination(sparse* f, int32_t n, bool bareiss) {
    quoly* r = nullptr;
    quoly_set(1, &r);
    if (bareiss)
        sparse_gauss_Bareiss(f, &r, n, 0, 0);
    else
        sparse_gauss_elim(f, &r, n, 0, 0);
    return r;
}

// The branch count of one expansion, read from its verbose summary.
long branches(sparse* f, int32_t n) {
    std::fflush(stdout);
    FILE* tmp = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(tmp), 1);
    const int v = verbose;
    verbose = 1;
    quoly* r = by_minors(f, n);
    verbose = v;
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    free_quoly(&r);
    std::rewind(tmp);
    std::string text;
    char buf[4096];
    size_t k;
    while ((k = std::fread(buf, 1, sizeof buf, tmp)) > 0) text.append(buf, k);
    std::fclose(tmp);
    const char* key = "stash nodes, hits: ";
    const size_t at = text.rfind(key);
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + std::strlen(key), nullptr, 10);
}

int64_t terms_of(quoly* q) { return q->isnum ? 1 : count_terms(q->pnum); }

struct Budget {
    bool on = true;
    double limit_ms;
    explicit Budget(double ms) : limit_ms(ms) {}
};

// Times one method (least of runs, a single run when slow); "-" once over budget.
double timed(Budget& b, int runs, quoly* want, const std::function<quoly*()>& f, bool* agrees) {
    if (!b.on) return -1;
    // Free lists in address order, as after &_G: earlier runs leave them scattered.
    clean_up_poly();
    clean_up_quoly();
    clean_up_imp();
    clean_up_colm();
    double best = 1e300;
    for (int k = 0; k < runs; k++) {
        const auto t0 = Clock::now();
        quoly* r = f();
        const double ms = ms_since(t0);
        if (ms < best) best = ms;
        if (want && !quoly_equal(r, want)) *agrees = false;
        free_quoly(&r);
        if (ms > 2000) break;
    }
    if (best > b.limit_ms) b.on = false;
    return best;
}

void show(double ms) {
    if (ms < 0)
        std::printf(" %11s", "-");
    else
        std::printf(" %11.2f", ms);
}

void toeplitz_rows() {
    std::printf("Toeplitz, 2n - 1 variables (ms; branches with the stash / window emptied)\n");
    std::printf("  n  terms      minors fraction-free    Gaussian  ff/minors   branches  no-stash  cut\n");
    Budget ff(5000), ge(5000);
    for (int32_t n = 6; n <= 9; n++) {
        attach_named(2 * n - 1);
        sparse* f = toeplitz(n);
        quoly* want = by_minors(f, n);
        bool agrees = true;
        Budget always(1e300);
        const double tm = timed(always, 5, want, [&] { return by_minors(f, n); }, &agrees);
        const double tf = timed(ff, 3, want, [&] { return by_elimination(f, n, true); }, &agrees);
        const double tg = timed(ge, 3, want, [&] { return by_elimination(f, n, false); }, &agrees);
        const long with = branches(f, n);
        const int32_t lo = init_min_stash;
        init_min_stash = n + 1;
        const long without = branches(f, n);
        init_min_stash = lo;
        std::printf("%3d %6lld", n, static_cast<long long>(terms_of(want)));
        show(tm);
        show(tf);
        show(tg);
        if (tf >= 0)
            std::printf(" %9.1fx", tf / tm);
        else
            std::printf(" %10s", "-");
        std::printf(" %10ld %9ld %4.1fx%s\n", with, without, double(without) / double(with),
                    agrees ? "" : "  DISAGREE");
        free_quoly(&want);
        free_sparse(&f, n, 1);
        detach_variables();
    }
}

void pentadiagonal_rows() {
    std::printf("Pentadiagonal, random linear entries in x, y, z (ms)\n");
    std::printf("  n  terms      minors fraction-free    Gaussian   branches\n");
    attach_named(3);
    std::mt19937_64 rng(40);
    Budget mi(10000), ff(10000), ge(10000);
    double last = 0;
    for (int32_t n : {20, 30, 40}) {
        sparse* f = pentadiagonal(n, rng);
        quoly* want = by_minors(f, n);
        bool agrees = true;
        const double tm = timed(mi, 3, want, [&] { return by_minors(f, n); }, &agrees);
        const double tf = timed(ff, 3, want, [&] { return by_elimination(f, n, true); }, &agrees);
        const double tg = timed(ge, 3, want, [&] { return by_elimination(f, n, false); }, &agrees);
        std::printf("%3d %6lld", n, static_cast<long long>(terms_of(want)));
        show(tm);
        show(tf);
        show(tg);
        std::printf(" %10ld", branches(f, n));
        if (last > 0 && tm > 0) std::printf("   minors growth %.1fx", tm / last);
        last = tm;
        std::printf("%s\n", agrees ? "" : "  DISAGREE");
        free_quoly(&want);
        free_sparse(&f, n, 1);
    }
    detach_variables();
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // One pentadiagonal size by one method, for profiling: m minors, f
    // fraction-free, F fraction-free bringing every row to each step, g Gaussian.
    if (argc > 3) {
        const int32_t n = std::atoi(argv[2]);
        attach_named(3);
        std::mt19937_64 rng(40);
        sparse* f = pentadiagonal(n, rng);
        const char how = argv[3][0];
        sparse_bareiss_step_by_step = how == 'F';
        std::printf("%c, pentadiagonal %d: %.2f ms\n", how, n, best_of(3, [&] {
                        quoly* r = how == 'm' ? by_minors(f, n) : by_elimination(f, n, how != 'g');
                        free_quoly(&r);
                    }));
        return 0;
    }
    if (argc > 2) {   // one Toeplitz size by minors only, for profiling
        const int32_t n = std::atoi(argv[2]);
        attach_named(2 * n - 1);
        sparse* f = toeplitz(n);
        std::printf("minors, Toeplitz %d: %.2f ms\n", n, best_of(20, [&] {
                        quoly* r = by_minors(f, n);
                        free_quoly(&r);
                    }));
        return 0;
    }
    // Each table in a process of its own: the eliminations of the Toeplitz
    // table leave gigabytes of scattered free records behind, which slow
    // whatever runs after them several times over.
    for (void (*table)() : {toeplitz_rows, pentadiagonal_rows}) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            table();
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
    }
    return 0;
}
