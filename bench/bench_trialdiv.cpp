// Times trial division over Z: a large planted product u = f·g divided by g
// (pre-tests, then the full division) next to the plain exact division, and
// the non-multiple u + 1, which the pre-tests should reject for a small
// fraction of the division's cost. f = (1 + x + y + z)^k, g = (2 + x + y + z)^k.
// The last two columns time the flat Kronecker division alone on u and u + 1.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "gcd/exactdiv.h"
#include "gcd/kronecker_div.h"
#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "toplevel/datafiles.h"

#include "bench_support.h"

namespace {

using namespace bench;


}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    attach_variables(3);
    std::printf("trial division over Z, u = (1+x+y+z)^k (2+x+y+z)^k by (2+x+y+z)^k\n");
    std::printf("%4s %12s %14s %12s %16s %16s %10s %16s\n", "k", "exact ms", "trial q ms", "noq ms",
                "non-mult noq ms", "non-mult q ms", "kron ms", "non-mult kron ms");
    for (int k : {8, 14, 20}) {
        polynode* f = power_of_sum(1, 3, k);
        polynode* g = power_of_sum(2, 3, k);
        polynode *u = nullptr, *one = nullptr, *n = nullptr;
        poly_mult(f, g, &u, polynames);
        poly_set(1, &one);
        poly_add(u, one, &n);
        int answers = 0;
        const double exact = best_of(3, [&] {
            polynode* q = nullptr;
            int fail = 0;
            gen_poly_divide(u, g, &q, polynames, &fail);
            answers += !fail;
            free_poly(&q);
        });
        const double trial = best_of(3, [&] {
            polynode* q = nullptr;
            answers += trial_poly_divide(u, g, &q, polynames, 1, 0, 0);
            free_poly(&q);
        });
        const double noq = best_of(3, [&] { answers += trial_poly_divide_noq(u, g, polynames, 1, 0, 0); });
        const double reject = best_of(3, [&] { answers += 1 - trial_poly_divide_noq(n, g, polynames, 1, 0, 0); });
        const double reject_q = best_of(3, [&] {
            polynode* q = nullptr;
            answers += 1 - trial_poly_divide(n, g, &q, polynames, 1, 0, 0);
            free_poly(&q);
        });
        const double kron = best_of(3, [&] { answers += kronecker_divides(u, g, polynames); });
        const double kron_reject = best_of(3, [&] { answers += 1 - kronecker_divides(n, g, polynames); });
        std::printf("%4d %12.2f %14.2f %12.2f %16.3f %16.3f %10.2f %16.2f%s\n", k, exact, trial, noq, reject, reject_q,
                    kron, kron_reject, answers == 21 ? "" : "  WRONG ANSWER");
        free_poly(&f);
        free_poly(&g);
        free_poly(&u);
        free_poly(&one);
        free_poly(&n);
    }
    return 0;
}
