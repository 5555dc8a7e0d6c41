// Times the big-integer product, division, gcd and square root at several
// sizes, next to GMP on the same operands, and checks that the product
// grows sub-quadratically (Karatsuba) between 8,000 and 16,000 digits.
// Division is timed on both of its paths: the recursive one (as used) and
// the digit steps alone ("divide_sb", recursion cut-off out of reach).
//
//   bench_numbers            the full table (about a minute and a half)
//   bench_numbers quick      sizes up to 1,000 digits only
//   bench_numbers divcut     division 2n by n on both paths around the
//                            recursion cut-off, to place it
//   bench_numbers divgrowth  division 2n by n and the square root from 1,000
//                            to 16,000 digits, best of five, on both
//                            division paths beside GMP, and the cost of
//                            each doubling
//   bench_numbers nttcut     products by Karatsuba and by the transforms
//                            around the transform cut-off, to place it
//   bench_numbers slices     n by 8n products whole and in slices
//   bench_numbers words      products on digits and on 64-bit words around
//                            the word cut-off, to place it
//   bench_numbers newtoncut  division with and without the reciprocal
//   bench_numbers gcdcut     the gcd at several half-gcd cut-offs
//   bench_numbers gcdforms   the gcd at several cut-offs of its shared
//                            transforms
//   bench_numbers large      product, square, division 2n by n, square root
//                            and gcd at 1,000 to 64,000 digits beside GMP,
//                            best of three, and each size's cost over the
//                            previous one
//   bench_numbers threes     products, divisions and gcds with transforms on powers of
//                            two alone and on 3 * 2^k points too
//   bench_numbers sqrtcut    square roots by halves and by Newton's steps
//   bench_numbers gcdat N    the gcd at N digits ten times, for profiles
//   bench_numbers divat N    division 2N by N twenty times, the same
//   (TARVEX_BENCH_CPU=1 times by processor time instead of the wall clock)
#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <random>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "storage/stash.h"

namespace {

// Seconds on the wall clock, or with TARVEX_BENCH_CPU set the thread's
// processor time, steadier on a machine shared with other work.
double now_seconds() {
    static const bool cpu = std::getenv("TARVEX_BENCH_CPU") != nullptr;
    if (cpu) {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds per call: repeats until at least `budget` seconds have passed
// (and at least once), so small sizes are timed over many calls.
double time_per_call(const std::function<void()>& call, double budget) {
    if (budget > 0) call();   // warm the free lists and caches
    int64_t reps = 0;
    const double start = now_seconds();
    double elapsed = 0;
    int64_t batch = 1;
    do {
        for (int64_t i = 0; i < batch; i++) call();
        reps += batch;
        elapsed = now_seconds() - start;
        if (elapsed < budget / 10) batch *= 2;
    } while (elapsed < budget);
    return elapsed / static_cast<double>(reps);
}

// Digit numbers built straight from GMP values, and read back for the
// sanity check of each result.
imag* to_imag(const mpz_t v) {
    size_t n = 0;
    std::vector<uint32_t> w(mpz_sizeinbase(v, 2) / DIGIT_BITS + 2);
    mpz_export(w.data(), &n, 1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, v);
    if (n == 0) w[n++] = 0;
    int32_t sign = mpz_sgn(v) < 0 ? -1 : 1;
    imag* x = new_number();
    numnode* tail = nullptr;
    for (size_t i = 0; i < n; i++) {
        numnode* node = newnumnode();
        node->digit = sign * static_cast<int32_t>(w[i]);
        node->next = nullptr;
        if (tail) tail->next = node; else x->head = node;
        tail = node;
    }
    x->tail = tail;
    x->count = static_cast<int32_t>(n);
    return x;
}

bool same(const imag* x, const mpz_t v) {
    std::vector<uint32_t> w;
    int sign = 0;
    for (const numnode* p = x->head; p; p = p->next) {
        w.push_back(static_cast<uint32_t>(p->digit < 0 ? -p->digit : p->digit));
        if (p->digit) sign = p->digit < 0 ? -1 : 1;
    }
    mpz_t t;
    mpz_init(t);
    mpz_import(t, w.size(), 1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, w.data());
    if (sign < 0) mpz_neg(t, t);
    bool ok = mpz_cmp(t, v) == 0;
    mpz_clear(t);
    return ok;
}

struct Operands {
    gmp_randstate_t state;
    Operands() {
        gmp_randinit_mt(state);
        gmp_randseed_ui(state, 20240601);
    }
    ~Operands() { gmp_randclear(state); }
    // A random value of exactly `digits` base-2^28 digits.
    void random(mpz_t v, int32_t digits) {
        mpz_urandomb(v, state, static_cast<mp_bitcnt_t>(digits) * DIGIT_BITS);
        mpz_setbit(v, static_cast<mp_bitcnt_t>(digits) * DIGIT_BITS - 1);
    }
};

struct Row {
    const char* op;
    int32_t digits;
    double ours, theirs;
    bool ok;
};

void print_row(const Row& r) {
    std::printf("%-10s %8d %14.6f %14.6f %10.1f%s\n", r.op, r.digits, r.ours * 1e3, r.theirs * 1e3,
                r.ours / r.theirs, r.ok ? "" : "   WRONG RESULT");
    std::fflush(stdout);
}

double budget_for(int32_t digits) { return digits <= 1000 ? 0.3 : 0.0; }

Row bench_multiply(Operands& g, int32_t n) {
    mpz_t a, b, c;
    mpz_inits(a, b, c, nullptr);
    g.random(a, n);
    g.random(b, n);
    imag* x = to_imag(a);
    imag* y = to_imag(b);
    imag* z = to_imag(c);
    double ours = time_per_call([&] { fast_mult(x, y, z); }, budget_for(n));
    double theirs = time_per_call([&] { mpz_mul(c, a, b); }, std::max(budget_for(n), 0.05));
    Row r{"multiply", n, ours, theirs, same(z, c)};
    free_imag(&x);
    free_imag(&y);
    free_imag(&z);
    mpz_clears(a, b, c, nullptr);
    return r;
}

// Sets the division's recursion cut-off while alive.
struct DivideCut {
    int32_t before = digits::divide_cut;
    explicit DivideCut(int32_t c) { digits::divide_cut = c; }
    ~DivideCut() { digits::divide_cut = before; }
    DivideCut(const DivideCut&) = delete;
    DivideCut& operator=(const DivideCut&) = delete;
};

// The division at the given recursion cut-off (INT32_MAX: the digit steps).
Row bench_divide(Operands& g, int32_t n, int32_t cut_off = digits::divide_cut) {
    const bool school = cut_off == INT32_MAX;
    DivideCut cut(cut_off);
    mpz_t a, b, q, r;
    mpz_inits(a, b, q, r, nullptr);
    g.random(a, 2 * n);
    g.random(b, n);
    imag* x = to_imag(a);
    imag* y = to_imag(b);
    imag* iq = to_imag(q);
    imag* ir = to_imag(r);
    double ours = time_per_call([&] { divide(x, y, iq, ir); }, budget_for(n));
    double theirs = time_per_call([&] { mpz_tdiv_qr(q, r, a, b); }, std::max(budget_for(n), 0.05));
    Row row{school ? "divide_sb" : "divide", n, ours, theirs, same(iq, q) && same(ir, r)};
    free_imag(&x);
    free_imag(&y);
    free_imag(&iq);
    free_imag(&ir);
    mpz_clears(a, b, q, r, nullptr);
    return row;
}

Row bench_gcd(Operands& g, int32_t n, bool binary) {
    mpz_t a, b, c, f;
    mpz_inits(a, b, c, f, nullptr);
    // A common factor of a tenth of the size, so the gcd is not trivially 1.
    g.random(f, std::max(1, n / 10));
    g.random(a, n - std::max(1, n / 10) + 1);
    g.random(b, n - std::max(1, n / 10) + 1);
    mpz_mul(a, a, f);
    mpz_mul(b, b, f);
    imag* x = to_imag(a);
    imag* y = to_imag(b);
    imag* z = to_imag(c);
    double ours = binary ? time_per_call([&] { binary_gcd(x, y, z); }, budget_for(n))
                         : time_per_call([&] { gcd(x, y, z); }, budget_for(n));
    double theirs = time_per_call([&] { mpz_gcd(c, a, b); }, std::max(budget_for(n), 0.05));
    Row r{binary ? "binary_gcd" : "gcd", n, ours, theirs, same(z, c)};
    free_imag(&x);
    free_imag(&y);
    free_imag(&z);
    mpz_clears(a, b, c, f, nullptr);
    return r;
}

// extgcd: the gcd and both operands divided by it, beside GMP's gcd and
// two exact divisions.
Row bench_extgcd(Operands& g, int32_t n) {
    mpz_t a, b, c, f, qa, qb;
    mpz_inits(a, b, c, f, qa, qb, nullptr);
    g.random(f, std::max(1, n / 10));
    g.random(a, n - std::max(1, n / 10) + 1);
    g.random(b, n - std::max(1, n / 10) + 1);
    mpz_mul(a, a, f);
    mpz_mul(b, b, f);
    imag* x = to_imag(a);
    imag* y = to_imag(b);
    imag* z = to_imag(c);
    imag* x1 = to_imag(c);
    imag* y1 = to_imag(c);
    int one = 0;
    double ours = time_per_call([&] { extgcd(x, y, z, x1, y1, &one); }, budget_for(n));
    double theirs = time_per_call(
        [&] {
            mpz_gcd(c, a, b);
            mpz_divexact(qa, a, c);
            mpz_divexact(qb, b, c);
        },
        std::max(budget_for(n), 0.05));
    Row r{"extgcd", n, ours, theirs, same(z, c) && (one || (same(x1, qa) && same(y1, qb)))};
    for (imag* p : {x, y, z, x1, y1}) free_imag(&p);
    mpz_clears(a, b, c, f, qa, qb, nullptr);
    return r;
}

Row bench_sqrt(Operands& g, int32_t n, int32_t cut_off = digits::divide_cut) {
    DivideCut cut(cut_off);
    mpz_t a, s;
    mpz_inits(a, s, nullptr);
    g.random(a, n);
    imag* x = to_imag(a);
    imag* y = to_imag(s);
    double ours = time_per_call([&] { int_sqrt(x, y, 1); }, budget_for(n));
    double theirs = time_per_call([&] { mpz_sqrt(s, a); }, std::max(budget_for(n), 0.05));
    Row r{"int_sqrt", n, ours, theirs, same(y, s)};
    free_imag(&x);
    free_imag(&y);
    mpz_clears(a, s, nullptr);
    return r;
}

// Sets a product cut-off while alive.
struct ProductCut {
    int32_t& cut;
    int32_t before;
    ProductCut(int32_t& c, int32_t v) : cut(c), before(c) { cut = v; }
    ~ProductCut() { cut = before; }
    ProductCut(const ProductCut&) = delete;
    ProductCut& operator=(const ProductCut&) = delete;
};

// Product of n by m digits (a square when m is 0) at the given cut-offs.
Row bench_product(Operands& g, int32_t n, int32_t m, int32_t ntt, int32_t slice) {
    ProductCut c1(digits::ntt_cut, ntt), c2(digits::unbalanced_cut, slice);
    mpz_t a, b, c;
    mpz_inits(a, b, c, nullptr);
    g.random(a, n);
    g.random(b, m ? m : 1);
    imag* x = to_imag(a);
    imag* y = m ? to_imag(b) : x;
    imag* z = to_imag(c);
    double ours = time_per_call([&] { fast_mult(x, y, z); }, budget_for(n));
    double theirs = m ? time_per_call([&] { mpz_mul(c, a, b); }, std::max(budget_for(n), 0.05))
                      : time_per_call([&] { mpz_mul(c, a, a); }, std::max(budget_for(n), 0.05));
    Row r{m ? "multiply" : "square", n, ours, theirs, same(z, c)};
    free_imag(&x);
    if (m) free_imag(&y);
    free_imag(&z);
    mpz_clears(a, b, c, nullptr);
    return r;
}

double product_time(Operands& g, int32_t n, int32_t m, int32_t ntt, int32_t slice) {
    double best = 1e30;
    for (int i = 0; i < 5; i++) best = std::min(best, bench_product(g, n, m, ntt, slice).ours);
    return best;
}

// Karatsuba against the transforms, balanced products and squares.
void place_ntt_cut(Operands& g) {
    std::printf("%8s %14s %14s %8s %14s %14s %8s\n", "digits", "Karatsuba", "transforms", "ratio",
                "Kara. square", "tr. square", "ratio");
    for (int32_t n : {200, 300, 400, 600, 800, 1000, 1200, 1600, 2000, 3000}) {
        const double k = product_time(g, n, n, INT32_MAX, digits::unbalanced_cut);
        const double t = product_time(g, n, n, 1, digits::unbalanced_cut);
        const double ks = product_time(g, n, 0, INT32_MAX, digits::unbalanced_cut);
        const double ts = product_time(g, n, 0, 1, digits::unbalanced_cut);
        std::printf("%8d %14.4f %14.4f %8.2f %14.4f %14.4f %8.2f\n", n, k * 1e3, t * 1e3, t / k, ks * 1e3,
                    ts * 1e3, ts / ks);
    }
}

// Balanced products on digits (schoolbook or digit Karatsuba) against the
// products on words.
void place_words_cut(Operands& g) {
    std::printf("%8s %14s %14s %8s\n", "digits", "digits (ms)", "words (ms)", "ratio");
    for (int32_t n : {4, 6, 8, 10, 12, 16, 24, 48, 100, 200, 400}) {
        double t[2];
        for (int k = 0; k < 2; k++) {
            ProductCut w(digits::words_cut, k ? 1 : INT32_MAX);
            t[k] = product_time(g, n, n, INT32_MAX, digits::unbalanced_cut);
        }
        std::printf("%8d %14.5f %14.5f %8.2f\n", n, t[0] * 1e3, t[1] * 1e3, t[1] / t[0]);
    }
}

// n by 8n digits: the schoolbook product against slices of n digits.
void place_slices(Operands& g) {
    std::printf("%8s %14s %14s %8s\n", "digits", "schoolbook", "slices", "ratio");
    for (int32_t n : {8, 12, 16, 24, 32, 48, 64, 128}) {
        const double s = product_time(g, n, 8 * n, INT32_MAX, INT32_MAX);
        const double t = product_time(g, n, 8 * n, INT32_MAX, 2);
        std::printf("%8d %14.5f %14.5f %8.2f\n", n, s * 1e3, t * 1e3, t / s);
    }
}

// The large sizes: best of three of each routine, beside GMP.
void large_table(Operands& g) {
    std::printf("%-10s %8s %12s %12s %8s %10s\n", "operation", "digits", "tarvex (ms)", "GMP (ms)", "ratio",
                "x previous");
    const int32_t sizes[] = {1000, 4000, 16000, 64000};
    auto run = [&](const char* what, const std::function<Row(int32_t)>& one) {
        double prev = 0;
        for (int32_t n : sizes) {
            Row best = one(n);
            for (int i = 0; i < 2; i++) {
                const Row r = one(n);
                best.ours = std::min(best.ours, r.ours);
                best.theirs = std::min(best.theirs, r.theirs);
                best.ok &= r.ok;
            }
            std::printf("%-10s %8d %12.3f %12.3f %8.1f", what, n, best.ours * 1e3, best.theirs * 1e3,
                        best.ours / best.theirs);
            if (prev > 0) std::printf(" %10.2f", best.ours / prev);
            std::printf("%s\n", best.ok ? "" : "   WRONG RESULT");
            std::fflush(stdout);
            prev = best.ours;
        }
    };
    run("multiply", [&](int32_t n) { return bench_product(g, n, n, digits::ntt_cut, digits::unbalanced_cut); });
    run("square", [&](int32_t n) { return bench_product(g, n, 0, digits::ntt_cut, digits::unbalanced_cut); });
    run("divide", [&](int32_t n) { return bench_divide(g, n); });
    run("int_sqrt", [&](int32_t n) { return bench_sqrt(g, n); });
    run("gcd", [&](int32_t n) { return bench_gcd(g, n, false); });
    run("extgcd", [&](int32_t n) { return bench_extgcd(g, n); });
}

// The best of a few timed products, to keep the ratio steady.
double karatsuba_time(Operands& g, int32_t n) {
    double best = 1e30;
    for (int i = 0; i < 3; i++) best = std::min(best, bench_multiply(g, n).ours);
    return best;
}

}  // namespace

// The best of a few timed divisions of 2n by n digits.
double divide_time(Operands& g, int32_t n, int32_t cut) {
    double best = 1e30;
    for (int i = 0; i < 3; i++) best = std::min(best, bench_divide(g, n, cut).ours);
    return best;
}

// Division 2n by n: the digit steps' time, and the recursive division's
// time over it for several cut-offs.
void place_divide_cut(Operands& g) {
    const int32_t cuts[] = {16, 24, 32, 48, 64, 96};
    std::printf("%8s %12s", "digits", "steps (ms)");
    for (int32_t c : cuts) std::printf("   cut %3d", c);
    std::printf("\n");
    for (int32_t n : {24, 32, 48, 64, 96, 128, 192, 256, 400}) {
        double t[std::size(cuts)];
        for (size_t i = 0; i < std::size(cuts); i++) t[i] = divide_time(g, n, cuts[i]);
        // Timed after the others as well, so a cold start cannot favour them.
        const double s = std::min(divide_time(g, n, INT32_MAX), divide_time(g, n, INT32_MAX));
        std::printf("%8d %12.5f", n, s * 1e3);
        for (size_t i = 0; i < std::size(cuts); i++) std::printf(" %9.2f", t[i] / s);
        std::printf("\n");
    }
}

// Square roots of n digits by Newton's steps and by halves (best of five),
// and the second's time over the first.
void place_sqrt_cut(Operands& g) {
    std::printf("%8s %12s %12s %8s\n", "digits", "Newton (ms)", "halves (ms)", "ratio");
    for (int32_t n : {2, 3, 4, 6, 8, 12, 16, 32, 64, 256, 1000, 4000}) {
        double t[2] = {1e30, 1e30};
        for (int i = 0; i < 5; i++) {
            for (int k = 0; k < 2; k++) {
                const int32_t before = digits::sqrt_rem_cut;
                digits::sqrt_rem_cut = k ? 2 : INT32_MAX;
                t[k] = std::min(t[k], bench_sqrt(g, n).ours);
                digits::sqrt_rem_cut = before;
            }
        }
        std::printf("%8d %12.5f %12.5f %8.2f\n", n, t[0] * 1e3, t[1] * 1e3, t[1] / t[0]);
    }
}

// Best of five runs of a routine timed at the given division cut-off.
template <typename Bench>
void growth_table(Operands& g, const char* what, Bench bench) {
    std::printf("\n%s\n%8s %12s %12s %12s %8s %8s %9s %9s\n", what, "digits", "steps (ms)", "recur. (ms)",
                "GMP (ms)", "steps/G", "recur/G", "x steps", "x recur.");
    double prev_s = 0, prev_r = 0;
    for (int32_t n : {1000, 2000, 4000, 8000, 16000}) {
        double s = 1e30, r = 1e30, t = 1e30;
        for (int i = 0; i < 5; i++) {
            const Row a = bench(g, n, INT32_MAX), b = bench(g, n, digits::divide_cut);
            s = std::min(s, a.ours);
            r = std::min(r, b.ours);
            t = std::min({t, a.theirs, b.theirs});
        }
        std::printf("%8d %12.3f %12.3f %12.3f %8.1f %8.1f", n, s * 1e3, r * 1e3, t * 1e3, s / t, r / t);
        if (prev_s > 0) std::printf(" %9.2f %9.2f", s / prev_s, r / prev_r);
        std::printf("\n");
        prev_s = s;
        prev_r = r;
    }
}

// Division 2n by n with and without the reciprocal, for placing
// `newton_cut`: the times and their ratio.
void place_newton_cut(Operands& g) {
    std::printf("%8s %14s %16s %8s\n", "digits", "recursive (ms)", "reciprocal (ms)", "ratio");
    for (int32_t n : {200, 400, 600, 800, 1000, 1500, 2000, 3000, 4000}) {
        double t[2];
        for (int k = 0; k < 2; k++) {
            const int32_t before = digits::newton_cut;
            digits::newton_cut = k ? 2 : INT32_MAX;
            t[k] = divide_time(g, n, digits::divide_cut);
            digits::newton_cut = before;
        }
        std::printf("%8d %14.3f %16.3f %8.2f\n", n, t[0] * 1e3, t[1] * 1e3, t[1] / t[0]);
    }
}

// The gcd at several values of one cut-off, best of three, for placing it
// (INT32_MAX shows as 0, with `unset` saying what that means).
void place_gcd_cutoff(Operands& g, int32_t& cut, std::initializer_list<int32_t> cuts,
                      std::initializer_list<int32_t> sizes, const char* unset) {
    std::printf("%8s", "digits");
    for (int32_t c : cuts) std::printf(" %10d", c == INT32_MAX ? 0 : c);
    std::printf("   (ms%s)\n", unset);
    for (int32_t n : sizes) {
        std::printf("%8d", n);
        for (int32_t c : cuts) {
            const int32_t before = cut;
            cut = c;
            double best = 1e30;
            for (int i = 0; i < 3; i++) best = std::min(best, bench_gcd(g, n, false).ours);
            cut = before;
            std::printf(" %10.3f", best * 1e3);
            std::fflush(stdout);
        }
        std::printf("\n");
    }
}

// `half_gcd_cut`, INT32_MAX for the Lehmer loop alone.
void place_gcd_cut(Operands& g) {
    place_gcd_cutoff(g, digits::half_gcd_cut, {250, 500, 1000, 1500, 2500, INT32_MAX}, {500, 1000, 2000, 4000, 8000},
                     "; 0: Lehmer alone");
}

void place_gcd_forms_cut(Operands& g) {
    place_gcd_cutoff(g, digits::gcd_forms_cut, {100, 150, 200, 300, 450}, {4000, 16000, 64000}, "");
}

// Products, divisions and gcds with transforms on powers of two only and
// with 3 * 2^k points allowed, interleaved, best of five each.
void place_threes(Operands& g) {
    std::printf("%-10s %8s %14s %14s %8s\n", "operation", "digits", "2^k (ms)", "3*2^k (ms)", "ratio");
    auto one = [&](const char* what, int32_t n, const std::function<Row()>& run) {
        double best[2] = {1e30, 1e30};
        bool ok = true;
        for (int i = 0; i < 5; i++) {
            for (int on = 0; on < 2; on++) {
                digits::ntt_threes = on;
                const Row r = run();
                best[on] = std::min(best[on], r.ours);
                ok &= r.ok;
            }
        }
        digits::ntt_threes = true;
        std::printf("%-10s %8d %14.3f %14.3f %8.2f%s\n", what, n, best[0] * 1e3, best[1] * 1e3, best[1] / best[0],
                    ok ? "" : "   WRONG RESULT");
        std::fflush(stdout);
    };
    for (int32_t n : {2500, 6000, 12000, 24000}) {
        one("multiply", n, [&] { return bench_product(g, n, n, digits::ntt_cut, digits::unbalanced_cut); });
        one("square", n, [&] { return bench_product(g, n, 0, digits::ntt_cut, digits::unbalanced_cut); });
    }
    for (int32_t n : {4000, 16000}) one("divide", n, [&] { return bench_divide(g, n); });
    for (int32_t n : {2000, 4000, 6000, 16000, 24000, 64000}) one("gcd", n, [&] { return bench_gcd(g, n, false); });
}

// Division 2n by n and the square root of n digits on both division paths
// beside GMP, best of five, and each doubling's cost.
void divide_growth(Operands& g) {
    growth_table(g, "divide 2n by n", [](Operands& o, int32_t n, int32_t c) { return bench_divide(o, n, c); });
    growth_table(g, "int_sqrt", [](Operands& o, int32_t n, int32_t c) { return bench_sqrt(o, n, c); });
}

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::strcmp(argv[1], "quick") == 0;
    open_system_stashes();
    init_number_constants();
    if (argc > 1 && std::strcmp(argv[1], "divcut") == 0) {
        Operands g;
        place_divide_cut(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "gcdcut") == 0) {
        Operands g;
        place_gcd_cut(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "newtoncut") == 0) {
        Operands g;
        place_newton_cut(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "nttcut") == 0) {
        Operands g;
        place_ntt_cut(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "words") == 0) {
        Operands g;
        place_words_cut(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "slices") == 0) {
        Operands g;
        place_slices(g);
        return 0;
    }
    if (argc > 2 && std::strcmp(argv[1], "gcdat") == 0) {
        Operands g;
        const int32_t n = static_cast<int32_t>(std::atoi(argv[2]));
        for (int i = 0; i < 10; i++) print_row(bench_gcd(g, n, false));
        return 0;
    }
    if (argc > 2 && std::strcmp(argv[1], "divat") == 0) {
        Operands g;
        const int32_t n = static_cast<int32_t>(std::atoi(argv[2]));
        for (int i = 0; i < 20; i++) print_row(bench_divide(g, n));
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "large") == 0) {
        Operands g;
        large_table(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "gcdforms") == 0) {
        Operands g;
        place_gcd_forms_cut(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "threes") == 0) {
        Operands g;
        place_threes(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "sqrtcut") == 0) {
        Operands g;
        place_sqrt_cut(g);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "divgrowth") == 0) {
        Operands g;
        divide_growth(g);
        return 0;
    }

    std::vector<int32_t> sizes = {10, 100, 1000, 4000, 16000};
    if (quick) sizes.resize(3);
    Operands g;
    bool all_ok = true;

    std::printf("Digits are base 2^28. Times are per call; divide is 2n by n digits.\n\n");
    std::printf("%-10s %8s %14s %14s %10s\n", "operation", "digits", "tarvex (ms)", "GMP (ms)", "ratio");
    for (int32_t n : sizes) {
        Row r = bench_multiply(g, n);
        all_ok &= r.ok;
        print_row(r);
    }
    for (int32_t cut : {INT32_MAX, digits::divide_cut}) {
        for (int32_t n : sizes) {
            Row r = bench_divide(g, n, cut);
            all_ok &= r.ok;
            print_row(r);
        }
    }
    for (bool binary : {true, false}) {
        for (int32_t n : sizes) {
            Row r = bench_gcd(g, n, binary);
            all_ok &= r.ok;
            print_row(r);
        }
    }
    for (int32_t n : sizes) {
        Row r = bench_sqrt(g, n);
        all_ok &= r.ok;
        print_row(r);
    }

    if (!quick) {
        // Karatsuba: doubling the length should cost about 3 times, a
        // schoolbook product 4 times.
        double t8 = karatsuba_time(g, 8000);
        double t16 = karatsuba_time(g, 16000);
        double ratio = t16 / t8;
        std::printf("\nKaratsuba check: product of 8000 digits %.3f ms, of 16000 digits %.3f ms, ratio %.2f (%s)\n",
                    t8 * 1e3, t16 * 1e3, ratio, ratio < 3.6 ? "sub-quadratic" : "NOT clearly below 4");
    }
    if (!all_ok) {
        std::printf("\nSome results differ from GMP's.\n");
        return 1;
    }
    return 0;
}
