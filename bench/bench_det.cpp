// Determinants and inverses of dense matrices at the library level: integer
// matrices by the primes beside fraction-free and plain elimination,
// residue matrices by mod_determ beside residue elimination, polynomial
// matrices fraction-free beside plain, and inverses. Each figure is the
// minimum of the runs given (one for the slow ones).
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "det/det_state.h"
#include "det/int_determ.h"
#include "det/int_determ_elim.h"
#include "det/mat_invert.h"
#include "interp/settings.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/dense.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

#include "bench_support.h"

namespace {

using namespace bench;

std::mt19937_64 rng(2026);

quoly* random_integer(int digits) {
    std::uniform_int_distribution<int> d(0, 9);
    imag* x = new_number();
    imag* ten = new_number();
    imag* t = new_number();
    setvalue(1 + d(rng) % 9, x);
    setvalue(10, ten);
    for (int k = 1; k < digits; k++) {
        multiply(x, ten, x);
        setvalue(d(rng), t);
        fastsum(x, t);
    }
    if (d(rng) & 1) in_place_neg(x);
    quoly* q = nullptr;
    scalar_to_quoly(x, &q);
    free_imag(&x);
    free_imag(&ten);
    free_imag(&t);
    return q;
}

struct Matrix {
    std::vector<quoly*> c;
    int32_t n;
    explicit Matrix(int32_t size) : c(static_cast<size_t>(size) * size, nullptr), n(size) {}
    ~Matrix() {
        for (auto& q : c) free_quoly(&q);
    }
};

double timed(int runs, const std::function<void()>& f) {
    double best = 1e300;
    for (int r = 0; r < runs; r++) {
        auto t0 = Clock::now();
        f();
        const double ms = ms_since(t0);
        if (ms < best) best = ms;
    }
    return best;
}

// The determinant under the switches d (&D) and k (&K); the result freed.
double det_time(Matrix& m, int32_t d, int32_t k, int runs) {
    const int32_t sd = detcutoff, sk = gauss_cutoff;
    detcutoff = d;
    gauss_cutoff = k;
    const double ms = timed(runs, [&] {
        quoly* r = nullptr;
        quoly_set(1, &r);
        sparse* none = nullptr;
        mat_invert(m.c.data(), nullptr, 0, 0, m.n, &r, 0, 0, &none, nullptr, -1, -1, -1, 0, 0);
        free_quoly(&r);
    });
    detcutoff = sd;
    gauss_cutoff = sk;
    return ms;
}

double inverse_time(Matrix& m, int runs) {
    return timed(runs, [&] {
        std::vector<quoly*> dest(m.c.size(), nullptr);
        quoly* r = nullptr;
        quoly_set(1, &r);
        sparse* none = nullptr;
        mat_invert(m.c.data(), dest.data(), 0, 0, m.n, &r, 1, 0, &none, nullptr, -1, -1, -1, 0, 0);
        free_quoly(&r);
        for (auto& q : dest) free_quoly(&q);
    });
}

// The primes the remaindering takes for this matrix.
int32_t primes_needed(Matrix& m) {
    imag* B = new_number();
    int small = 0;
    int32_t total = 0;
    find_pseudo(nullptr, m.c.data(), B, &small, m.n, m.n, &total, 0, 0);
    const int32_t k = remaindering_primes(B);
    free_imag(&B);
    return k;
}

// A few rows of long entries: the remaindering beside fraction-free
// elimination, each called directly, and the road int_determ takes.
void long_entries() {
    std::printf("\nFew rows of long entries, remaindering beside fraction-free (ms):\n");
    std::printf("%4s %7s %7s %12s %12s %6s\n", "n", "digits", "primes", "remainders", "fract-free", "road");
    for (int32_t n : {4, 6, 8, 12, 16, 24}) {
        for (int digits : {300, 1000, 3000, 10000}) {
            if (int64_t{n} * n * digits > 1500000) continue;
            Matrix m(n);
            for (auto& q : m.c) q = random_integer(digits);
            imag* B = new_number();
            int small = 0;
            int32_t total = 0;
            find_pseudo(nullptr, m.c.data(), B, &small, n, n, &total, 0, 0);
            bool tables = false;
            const int32_t primes = remaindering_primes(B, &tables);
            const double crt = timed(1, [&] {
                quoly* r = nullptr;
                quoly_set(1, &r);
                small_mod_determ(n, &r, m.c.data(), B);
                free_quoly(&r);
            });
            const double ff = timed(1, [&] {
                quoly* r = nullptr;
                quoly_set(1, &r);
                int_determ_fraction_free(&r, m.c.data(), n);
                free_quoly(&r);
            });
            std::printf("%4d %7d %7d %12.1f %12.1f %6s\n", n, digits, primes, crt, ff,
                        !tables && fraction_free_cheaper(DetShape(m.c.data(), n), primes) ? "ff" : "crt");
            free_imag(&B);
        }
    }
}

void integers() {
    std::printf("\nInteger matrices, 10-digit entries (ms):\n");
    std::printf("%6s %10s %8s %14s %12s %12s\n", "n", "primes", "used", "elimination%", "fract-free", "plain");
    double last = 0;
    for (int32_t n : {50, 100, 200}) {
        Matrix m(n);
        for (auto& q : m.c) q = random_integer(10);
        const double primes = det_time(m, -1, 0, n <= 100 ? 3 : 1);
        const int32_t used = primes_needed(m);
        // One elimination modulo a table prime on residues at hand, times
        // the primes used.
        double one;
        {
            RingStateGuard g;
            install_modulus(prime[5]->value);
            mod_is_prime = 1;
            std::vector<uint32_t> res(static_cast<size_t>(n) * n);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++)
                    res[static_cast<size_t>(i) * n + j] =
                        static_cast<uint32_t>(chain_residue(m.c[int64_t{j} * n + i]->nnum, modulus));
            one = timed(3, [&] {
                std::vector<uint32_t> a = res;
                eliminate_mod(a, n, 1);
            });
        }
        const double ff = n <= 100 ? det_time(m, 0, 1, 1) : -1;
        const double plain = n <= 50 ? det_time(m, 0, 0, 1) : -1;
        std::printf("%6d %10.1f %8d %13.0f%% %12.1f %12.1f", n, primes, used, 100.0 * one * used / primes, ff,
                    plain);
        if (last > 0) std::printf("   doubling x%.1f", primes / last);
        std::printf("\n");
        last = primes;
    }
    std::printf("(-1: not run at that size; elimination%%: the per-prime eliminations' share, the rest is\n"
                " conversion and reconstruction)\n");
    std::printf("\nn = 50 by the primes, entries of 1, 10, 100 digits (ms):\n");
    for (int digits : {1, 10, 100}) {
        Matrix m(50);
        for (auto& q : m.c) q = random_integer(digits);
        std::printf("  %3d digits: %8.1f  (%d primes)\n", digits, det_time(m, -1, 0, 3), primes_needed(m));
    }
}

void residues() {
    std::printf("\nResidue matrices (ms):\n");
    std::printf("%12s %6s %12s %12s\n", "modulus", "n", "mod_determ", "elimination");
    for (int32_t q : {65521, 2147483629}) {
        RingStateGuard g;
        install_modulus(q);
        modularmode = lintmode = 1;
        mod_is_prime = 1;
        double last = 0;
        for (int32_t n : {250, 500, 1000}) {
            Matrix m(n);
            std::uniform_int_distribution<int64_t> el(0, q - 1);
            for (auto& c : m.c) quoly_set_lint(static_cast<int32_t>(el(rng)), &c);
            const double md = det_time(m, -1, 0, n < 1000 ? 3 : 1);
            const double el_ms = n <= 500 ? det_time(m, 0, 0, 1) : -1;
            std::printf("%12d %6d %12.1f %12.1f", q, n, md, el_ms);
            if (last > 0) std::printf("   doubling x%.1f", md / last);
            std::printf("\n");
            last = md;
        }
    }
}

// Random polynomials of total degree <= 2 with 4 terms, coefficients +-1..9.
quoly* random_poly(int vars) {
    std::uniform_int_distribution<int> c(1, 9), s(0, 1), e(0, 2);
    polynode* sum = nullptr;
    poly_set(0, &sum);
    for (int t = 0; t < 4; t++) {
        polynode* mono = nullptr;
        poly_set(s(rng) ? c(rng) : -c(rng), &mono);
        int left = 2;
        for (int v = 1; v <= vars; v++) {
            std::uniform_int_distribution<int> ex(0, left);
            const int k = ex(rng);
            left -= k;
            for (int i = 0; i < k; i++) {
                polynode* x = nullptr;
                base_poly(&x, v);
                poly_mult(mono, x, &mono, polynames);
                free_poly(&x);
            }
        }
        poly_add(sum, mono, &sum);
        free_poly(&mono);
    }
    quoly* q = nullptr;
    p_q_assign(sum, &q);
    free_poly(&sum);
    return q;
}

void polynomials() {
    std::printf("\nPolynomial matrices, degree <= 2, 4 terms (ms):\n");
    std::printf("%6s %6s %12s %12s\n", "vars", "n", "fract-free", "plain");
    attach_variables(4);
    for (auto [vars, n] : {std::pair{3, 8}, {3, 10}, {3, 12}, {4, 8}}) {
        number_polys = 4;
        Matrix m(n);
        for (auto& q : m.c) q = random_poly(vars);
        const double ff = det_time(m, 0, 1, n <= 8 ? 3 : 1);
        const double plain = n <= 10 ? det_time(m, 0, 0, 1) : -1;
        std::printf("%6d %6d %12.1f %12.1f\n", vars, n, ff, plain);
    }
}

void inverses() {
    std::printf("\nInverses (ms):\n");
    for (int32_t n : {20, 40}) {
        Matrix m(n);
        for (auto& q : m.c) q = random_integer(3);
        std::printf("  %d x %d integers of 3 digits: %10.1f\n", n, n, inverse_time(m, n == 20 ? 3 : 1));
    }
    Matrix m(5);
    std::uniform_int_distribution<int> c(-9, 9);
    for (auto& q : m.c) {
        polynode* p = nullptr;
        poly_set(c(rng), &p);
        for (int e = 1; e <= 2; e++) {
            polynode* x = nullptr;
            base_poly(&x, 1);
            if (e == 2) poly_mult(x, x, &x, polynames);
            polynode* t = nullptr;
            poly_set(c(rng), &t);
            poly_mult(t, x, &t, polynames);
            poly_add(p, t, &p);
            free_poly(&x);
            free_poly(&t);
        }
        p_q_assign(p, &q);
        free_poly(&p);
    }
    std::printf("  5 x 5 of degree-2 polynomials in x: %10.1f\n", inverse_time(m, 3));
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("Dense determinants and inverses\n");
    integers();
    long_entries();
    residues();
    polynomials();
    inverses();
    return 0;
}
