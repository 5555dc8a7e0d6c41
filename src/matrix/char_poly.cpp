#include "matrix/char_poly.h"

#include <vector>

#include "interp/settings.h"
#include "matrix/sparse_invert.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "toplevel/loop.h"
#include "toplevel/ring_change.h"

namespace {

// The coefficients gathered from the recurrence, freed on every exit.
struct Coefficients {
    std::vector<quoly*> p;
    explicit Coefficients(int32_t n) : p(static_cast<size_t>(n) + 1, nullptr) {}
    ~Coefficients() {
        for (quoly*& q : p) free_quoly(&q);
    }
    Coefficients(const Coefficients&) = delete;
    Coefficients& operator=(const Coefficients&) = delete;
};

struct Owned {
    quoly* q = nullptr;
    Owned() = default;
    ~Owned() { free_quoly(&q); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

// command_int only when interrupts may be served anywhere, for the scope.
struct QuietInterrupts {
    int saved = command_int;
    QuietInterrupts() { command_int = danger_ok ? command_int : 0; }
    ~QuietInterrupts() { command_int = saved; }
    QuietInterrupts(const QuietInterrupts&) = delete;
    QuietInterrupts& operator=(const QuietInterrupts&) = delete;
};

}  // namespace

void sparse_chpoly(sparse* a, int32_t n, quoly** result) {
    Coefficients c(n);
    {
        // The dense continuation needs a block of its own; past a million
        // cells the iterates stay sparse.
        const bool dense_ok = int64_t{n} * n <= WORK_BLOCK_CELLS;
        if (dense_ok) {
            WorkBlock d("Chpoly");
            sparse_char_coefficients(a, n, d.cells,
                                     [&c](int32_t k, quoly* pk) { c.p[static_cast<size_t>(k)] = pk; });
        } else {
            sparse_char_coefficients(a, n, nullptr,
                                     [&c](int32_t k, quoly* pk) { c.p[static_cast<size_t>(k)] = pk; });
        }
    }
    // Horner in x: x^n + p_1 x^(n-1) + ... + p_n.
    Owned x, acc;
    base_quoly(&x.q, 1);
    quoly_set(1, &acc.q);
    for (int32_t k = 1; k <= n; k++) {
        fast_quoly_mult(&acc.q, &x.q);
        better_quoly_add(acc.q, c.p[static_cast<size_t>(k)], &acc.q);
    }
    if (n % 2 == 1) quoly_inplace(acc.q);
    free_quoly(result);
    *result = acc.q;
    acc.q = nullptr;
}

void compute_char_poly(int32_t m, int32_t i, quoly** result) {
    QuietInterrupts quiet;
    Owned x, num, factor, den, step;
    base_quoly(&x.q, 1);
    quoly_set(1, &num.q);
    quoly_set(1, &den.q);
    for (int32_t j = 1; j <= m; j++) {
        if (j == i) continue;
        quoly_sub(x.q, denom[j - 1], &factor.q);
        fast_quoly_mult(&num.q, &factor.q);
        // The weight prod (i - j) = (-1)^(m-i) (m-i)! (i-1)!, built from
        // the small integers so that it lives in the current ring.
        quoly_set(i > j ? i - j : j - i, &step.q);
        fast_quoly_mult(&den.q, &step.q);
    }
    if ((m - i) % 2 == 1) quoly_inplace(den.q);
    fast_quoly_quot(&num.q, &den.q, 0);
    free_quoly(result);
    *result = num.q;
    num.q = nullptr;
}
