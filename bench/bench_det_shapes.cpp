// The integer determinant's road against the better of its two roads, on
// matrices whose entries differ in length: a few long rows (at the top, at
// the bottom, spread), a few long columns, one long entry, rows growing in
// length, and uniform matrices for comparison. For each: the remaindering
// over primes, fraction-free elimination, the road int_determ takes, and
// its time over the better road's (the figure to watch: near 1, never far
// above 2). Then the two other cliffs of the same family: a factor hint
// on an integer matrix (Det([a], 1)) beside none, and the inverse beside
// the determinant. Times in milliseconds, each the least of the runs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "det/det_state.h"
#include "det/int_determ.h"
#include "det/int_determ_elim.h"
#include "det/mat_invert.h"
#include "matrix/measures.h"
#include "numbers/flat_int.h"
#include "numbers/numbers.h"
#include "poly/dense.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/records.h"
#include "toplevel/datafiles.h"

#include "bench_support.h"

namespace {

using namespace bench;

std::mt19937_64 rng(55);

// A random integer of about `digits` decimal digits, either sign.
quoly* random_integer(int digits) {
    const int bits = std::max(1, static_cast<int>(digits * 3.321928));
    FlatInt x;
    x.mag.resize(static_cast<size_t>((bits + 27) / 28));
    for (auto& d : x.mag) d = static_cast<uint32_t>(rng() & DIGIT_MASK);
    const int top = bits - 28 * (static_cast<int>(x.mag.size()) - 1);
    x.mag.back() = (x.mag.back() & ((1u << top) - 1)) | (1u << (top - 1));
    x.sign = (rng() & 1) ? 1 : -1;
    imag* out = new_number();
    flat_write(x, out);
    quoly* q = nullptr;
    scalar_to_quoly(out, &q);
    free_imag(&out);
    return q;
}

struct Matrix {
    std::vector<quoly*> c;
    int32_t n;
    explicit Matrix(int32_t size) : c(static_cast<size_t>(size) * size, nullptr), n(size) {}
    ~Matrix() {
        for (auto& q : c) free_quoly(&q);
    }
    quoly*& at(int32_t i, int32_t j) { return c[static_cast<size_t>(j) * n + i]; }
};

// n x n entries of `digits` digits, with `lines` rows (or columns) of
// `long_digits` digits at the top, the bottom or spread.
void fill(Matrix& m, int digits, int lines, int long_digits, char where, bool columns) {
    std::vector<bool> is_long(static_cast<size_t>(m.n), false);
    for (int k = 0; k < lines; k++) {
        const int32_t at = where == 't' ? k : where == 'b' ? m.n - 1 - k : static_cast<int32_t>(k * m.n / lines + m.n / (2 * lines));
        is_long[static_cast<size_t>(at)] = true;
    }
    for (int32_t i = 0; i < m.n; i++)
        for (int32_t j = 0; j < m.n; j++)
            m.at(i, j) = random_integer(is_long[static_cast<size_t>(columns ? j : i)] ? long_digits : digits);
}

double timed(int runs, const std::function<void()>& f) {
    double best = 1e300;
    for (int r = 0; r < runs; r++) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, ms_since(t0));
    }
    return best;
}

int runs_for(double ms) { return ms < 50 ? 5 : ms < 500 ? 2 : 1; }

double worst = 0;

void shape(const char* label, Matrix& m) {
    const int32_t n = m.n;
    quoly* bound = nullptr;
    quoly_set(-1, &bound);
    quoly* r1 = nullptr;
    quoly_set(1, &r1);
    set_min_cut(n);
    const double chosen0 = timed(1, [&] { int_determ(&r1, nullptr, m.c.data(), n, &bound); });
    const int32_t primes = remaindering_primes(bound->nnum);
    quoly* r2 = nullptr;
    quoly_set(1, &r2);
    double crt = timed(1, [&] { small_mod_determ(n, &r2, m.c.data(), bound->nnum); });
    crt = std::min(crt, timed(runs_for(crt) - 1, [&] { small_mod_determ(n, &r2, m.c.data(), bound->nnum); }));
    quoly* r3 = nullptr;
    quoly_set(1, &r3);
    double ff = timed(1, [&] { int_determ_fraction_free(&r3, m.c.data(), n); });
    ff = std::min(ff, timed(runs_for(ff) - 1, [&] { int_determ_fraction_free(&r3, m.c.data(), n); }));
    double chosen = std::min(chosen0, timed(runs_for(chosen0) - 1, [&] {
        quoly_set(-1, &bound);
        int_determ(&r1, nullptr, m.c.data(), n, &bound);
    }));
    const bool agree = quoly_equal(r1, r2) && quoly_equal(r2, r3);
    const double ratio = chosen / std::min(crt, ff);
    worst = std::max(worst, ratio);
    std::printf("%-34s %4d %7d %10.1f %10.1f %10.1f %7.2f%s\n", label, n, primes, crt, ff, chosen, ratio,
                agree ? "" : "  DISAGREE");
    free_quoly(&bound);
    free_quoly(&r1);
    free_quoly(&r2);
    free_quoly(&r3);
}

void shapes() {
    std::printf("Integer determinants by shape (ms; ratio = road taken / better road):\n");
    std::printf("%-34s %4s %7s %10s %10s %10s %7s\n", "shape", "n", "primes", "remainders", "fract-free", "taken",
                "ratio");
    struct Case {
        const char* label;
        int32_t n;
        int digits, lines, long_digits;
        char where;
        bool columns;
    };
    const Case cases[] = {
        {"uniform, 10 digits", 200, 10, 0, 0, 't', false},
        {"uniform, 60 digits", 60, 60, 0, 0, 't', false},
        {"uniform, 1000 digits", 20, 1000, 0, 0, 't', false},
        {"uniform, 3000 digits", 12, 3000, 0, 0, 't', false},
        {"uniform, 10000 digits", 8, 10000, 0, 0, 't', false},
        {"3 rows of 3000 digits, top", 40, 4, 3, 3000, 't', false},
        {"3 rows of 3000 digits, bottom", 40, 4, 3, 3000, 'b', false},
        {"3 rows of 3000 digits, spread", 40, 4, 3, 3000, 's', false},
        {"3 columns of 3000 digits, left", 40, 4, 3, 3000, 't', true},
        {"1 row of 10000 digits, top", 80, 4, 1, 10000, 't', false},
        {"1 row of 10000 digits, bottom", 80, 4, 1, 10000, 'b', false},
        {"1 column of 10000 digits", 80, 4, 1, 10000, 's', true},
        {"10 rows of 500 digits, top", 60, 4, 10, 500, 't', false},
        {"20 rows of 300 digits, spread", 60, 10, 20, 300, 's', false},
        {"2 rows of 20000 digits, top", 30, 8, 2, 20000, 't', false},
        {"1 row of 2000 digits, top", 150, 3, 1, 2000, 't', false},
    };
    for (const Case& c : cases) {
        Matrix m(c.n);
        fill(m, c.digits, c.lines, c.long_digits, c.where, c.columns);
        shape(c.label, m);
    }
    {
        Matrix m(40);
        fill(m, 4, 0, 0, 't', false);
        free_quoly(&m.at(0, 0));
        m.at(0, 0) = random_integer(20000);
        shape("one entry of 20000 digits", m);
    }
    {
        Matrix m(50);
        for (int32_t i = 0; i < m.n; i++)
            for (int32_t j = 0; j < m.n; j++) m.at(i, j) = random_integer(1 + 20 * i);
        shape("row i of 20 i digits", m);
    }
    std::printf("worst ratio %.2f\n", worst);
}

double det_ms(Matrix& m, polynode* factor) {
    return timed(1, [&] {
        quoly* r = nullptr;
        quoly_set(1, &r);
        sparse* none = nullptr;
        mat_invert(m.c.data(), nullptr, 0, 0, m.n, &r, 0, 0, &none, factor, -1, -1, -1, 0, 0);
        free_quoly(&r);
    });
}

void factor_hint() {
    std::printf("\nA factor hint on integer matrices (ms; ratio = with the hint / without):\n");
    polynode* one = nullptr;
    poly_set(1, &one);
    for (auto [n, digits] : {std::pair{60, 60}, {120, 10}, {280, 10}}) {
        Matrix m(n);
        fill(m, digits, 0, 0, 't', false);
        const double plain = det_ms(m, nullptr);
        const double hinted = det_ms(m, one);
        std::printf("  %3d x %-3d of %2d digits: Det %9.1f, Det(.., 1) %9.1f, ratio %5.2f\n", n, n, digits, plain,
                    hinted, hinted / plain);
    }
    free_poly(&one);
}

void inverse() {
    std::printf("\nInverses of integer matrices beside their determinants (ms):\n");
    for (auto [n, digits] : {std::pair{30, 60}, {60, 60}, {40, 200}}) {
        Matrix m(n);
        fill(m, digits, 0, 0, 't', false);
        const double det = det_ms(m, nullptr);
        const double inv = timed(1, [&] {
            std::vector<quoly*> dest(m.c.size(), nullptr);
            quoly* r = nullptr;
            quoly_set(1, &r);
            sparse* none = nullptr;
            mat_invert(m.c.data(), dest.data(), 0, 0, m.n, &r, 1, 0, &none, nullptr, -1, -1, -1, 0, 0);
            free_quoly(&r);
            for (auto& q : dest) free_quoly(&q);
        });
        std::printf("  %3d x %-3d of %2d digits: determinant %9.1f, inverse %9.1f, ratio %6.1f\n", n, n, digits,
                    det, inv, inv / det);
    }
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    shapes();
    factor_hint();
    inverse();
    return 0;
}
