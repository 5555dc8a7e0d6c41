// Times the big-integer product, division, gcd and square root at several
// sizes, next to GMP on the same operands, and checks that the product
// grows sub-quadratically (Karatsuba) between 8,000 and 16,000 digits.
//
//   bench_numbers            the full table (about a minute and a half)
//   bench_numbers quick      sizes up to 1,000 digits only
#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "storage/stash.h"

namespace {

using Clock = std::chrono::steady_clock;

// Seconds per call: repeats until at least `budget` seconds have passed
// (and at least once), so small sizes are timed over many calls.
double time_per_call(const std::function<void()>& call, double budget) {
    if (budget > 0) call();   // warm the free lists and caches
    int64_t reps = 0;
    auto start = Clock::now();
    double elapsed = 0;
    int64_t batch = 1;
    do {
        for (int64_t i = 0; i < batch; i++) call();
        reps += batch;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
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

Row bench_divide(Operands& g, int32_t n) {
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
    Row row{"divide", n, ours, theirs, same(iq, q) && same(ir, r)};
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

Row bench_sqrt(Operands& g, int32_t n) {
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

// The best of a few timed products, to keep the ratio steady.
double karatsuba_time(Operands& g, int32_t n) {
    double best = 1e30;
    for (int i = 0; i < 3; i++) best = std::min(best, bench_multiply(g, n).ours);
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::strcmp(argv[1], "quick") == 0;
    open_system_stashes();
    init_number_constants();

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
    for (int32_t n : sizes) {
        Row r = bench_divide(g, n);
        all_ok &= r.ok;
        print_row(r);
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
