// The primality built-in's worker on the two values that trial division
// cannot finish in reasonable time (the prime 2^63 - 25, about 10^9
// divisions, and 2999999929 * 3000000019), beside trial division and the
// fast search on a semiprime near 2^40.
#include <cstdint>
#include <cstdio>

#include "bench_support.h"
#include "builtins/primality.h"
#include "numbers/numbers.h"
#include "numbers/prime64.h"
#include "storage/assign.h"
#include "storage/stash.h"

namespace {

constexpr double LIMIT_MS = 50;

// The worker's value for the three-digit number v (< 2^63) and its best time.
uint64_t isprime_worker(uint64_t v, double* ms) {
    uint64_t result = 0;
    *ms = bench::best_of(5, [&] {
        quoly* q = nullptr;
        imag* x = int128_number(v);
        scalar_to_quoly(x, &q);
        free_imag(&x);
        isprime_value(&q);
        result = 0;
        for (const numnode* d = q->nnum->head; d; d = d->next) result = (result << DIGIT_BITS) + d->digit;
        free_quoly(&q);
    });
    return result;
}

}  // namespace

int main() {
    open_system_stashes();
    init_number_constants();
    int failures = 0;
    const struct {
        const char* label;
        uint64_t n, want;
    } cases[] = {{"2^63 - 25 (prime)", (uint64_t{1} << 63) - 25, 1},
                 {"2999999929 * 3000000019", uint64_t{2999999929} * 3000000019u, 2999999929u}};
    for (const auto& c : cases) {
        double ms;
        const uint64_t got = isprime_worker(c.n, &ms);
        const bool ok = got == c.want && ms <= LIMIT_MS;
        failures += !ok;
        std::printf("Isprime(%s) = %llu: best of 5 %.3f ms (limit %.0f ms)%s\n", c.label,
                    static_cast<unsigned long long>(got), ms, LIMIT_MS, ok ? "" : "  ** FAILED");
    }
    const uint64_t p = 1048573, q = 1048583;   // primes either side of 2^20
    const uint64_t n = p * q;
    uint64_t trial = 0, fast = 0;
    const double trial_ms = bench::best_of(5, [&] { trial = trial_least_factor64(n); });
    const double fast_ms = bench::best_of(5, [&] { fast = least_prime_factor64(n); });
    std::printf("semiprime %llu (near 2^40): trial division %llu in %.3f ms, rho search %llu in %.4f ms\n",
                static_cast<unsigned long long>(n), static_cast<unsigned long long>(trial), trial_ms,
                static_cast<unsigned long long>(fast), fast_ms);
    failures += trial != p || fast != p;
    return failures ? 1 : 0;
}
