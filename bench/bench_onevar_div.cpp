// Times the divide-and-conquer division modulo 65,521 of a dense degree-2n
// polynomial by a dense degree-n one as the degree doubles (subquadratic:
// clearly less than 4x per doubling), next to the schoolbook loop.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "gcd/onevar_div.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "storage/stash.h"

#include "bench_support.h"

namespace {

using namespace bench;

// A dense polynomial of degree d with random non-zero residues.
polynode* random_dense(std::mt19937_64& rng, int32_t d) {
    std::uniform_int_distribution<uint32_t> coef(1, static_cast<uint32_t>(modulus - 1));
    std::vector<uint32_t> words(static_cast<size_t>(d) + 1);
    for (auto& w : words) w = coef(rng);
    polynode* p = nullptr;
    array_to_poly(words.data(), d, &p);
    return p;
}

double time_division(polynode* u, polynode* m, bool divide_and_conquer) {
    polynode *quo = nullptr, *rem = nullptr;
    const auto t0 = Clock::now();
    if (divide_and_conquer) fast_mod_and_div(u, m, &rem, &quo, nullptr, 1);
    else simplest_poly_divide(u, m, &quo, &rem, 0);
    const double ms = ms_since(t0);
    free_poly(&quo);
    free_poly(&rem);
    return ms;
}

}  // namespace

int main() {
    open_system_stashes();
    init_number_constants();
    init_poly_work_arrays();
    modularmode = 1;
    lintmode = 1;
    install_modulus(65521);
    mod_is_prime = 1;
    div_poly_cutoff = 25;

    std::mt19937_64 rng(0x4103);
    std::printf("division of a dense degree-2n by a dense degree-n polynomial mod 65521\n");
    std::printf("%8s %14s %8s %14s %8s\n", "2n", "d&c ms", "ratio", "schoolbook ms", "ratio");
    double last_dc = 0, last_sb = 0;
    for (int32_t two_n : {5000, 10000, 20000}) {
        polynode* u = random_dense(rng, two_n);
        polynode* m = random_dense(rng, two_n / 2);
        double dc = 1e300, sb = 1e300;
        for (int rep = 0; rep < 3; rep++) dc = std::min(dc, time_division(u, m, true));
        sb = time_division(u, m, false);
        if (last_dc > 0) std::printf("%8d %14.1f %8.2f %14.1f %8.2f\n", two_n, dc, dc / last_dc, sb, sb / last_sb);
        else std::printf("%8d %14.1f %8s %14.1f %8s\n", two_n, dc, "", sb, "");
        last_dc = dc;
        last_sb = sb;
        free_poly(&u);
        free_poly(&m);
    }
    return 0;
}
