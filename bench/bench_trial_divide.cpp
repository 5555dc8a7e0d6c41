// Times the exact division of quolys (trial_divide) as the fraction-free
// elimination calls it, with the pre-tests on (option B clear) and off
// (option B set): the planted product u = f·g divided by g, which always
// divides, and the non-multiple u + 1, which the pre-tests should reject
// early. f = (1 + x + y + z)^k, g = (2 + x + y + z)^k over Z and modulo
// 65521; over Q(i) (t^2 + 1 = 0 a field level) with t in place of z.
#include <cstdio>
#include <cstring>

#include "bench_support.h"
#include "gcd/image_reject.h"
#include "interp/scalars.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "toplevel/datafiles.h"

namespace {

using namespace bench;

quoly* value_of(const char* n) {
    tokenrec id;
    clear_token(&id);
    std::snprintf(id.name, sizeof id.name, "%s", n);
    var* v = find_var(&id);
    return v ? v->value : nullptr;
}

// Least time of runs divisions of a copy of u by g (the copy not timed);
// *answer := the flag of the last one (0 divides, 1 does not).
double time_division(quoly* g, quoly* u, int opt_b, int runs, int* answer) {
    double best = 1e300;
    for (int r = 0; r < runs; r++) {
        quoly* w = nullptr;
        quoly_assign(u, &w);
        quoly* d = g;
        int flag = 0;
        const auto t0 = Clock::now();
        *answer = trial_divide(&d, &w, 1, 0, opt_b, &flag);
        best = std::min(best, ms_since(t0));
        free_quoly(&w);
    }
    return best;
}

void row(const char* ring, int k) {
    quoly* g = value_of("g");
    quoly* u = value_of("u");
    quoly* n = value_of("n");
    int a1 = 0, a2 = 0, a3 = 0, a4 = 0;
    const int runs = k < 12 ? 15 : 5;
    const double on = time_division(g, u, 0, runs, &a1);
    const double off = time_division(g, u, 1, runs, &a2);
    const double rej_on = time_division(g, n, 0, runs, &a3);
    const double rej_off = time_division(g, n, 1, runs, &a4);
    // The image test alone, on the planted product.
    const double image = best_of(runs, [&] { image_division_test(u->pnum, g->pnum, polynames); });
    const bool right = a1 == 0 && a2 == 0 && a3 == 1 && a4 == 1;
    std::printf("%-8s %4d %12.3f %12.3f %8.3f %14.3f %14.3f %10.3f%s\n", ring, k, on, off, on / off, rej_on, rej_off,
                image, right ? "" : "  WRONG ANSWER");
}

void statements(const char* fmt, int k) {
    char text[512];
    std::snprintf(text, sizeof text, fmt, k, k);
    run_statements(text);
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    std::printf("trial_divide of u = (1+x+y+z)^k (2+x+y+z)^k by g = (2+x+y+z)^k, and of u + 1; best of runs, ms\n");
    std::printf("%-8s %4s %12s %12s %8s %14s %14s %10s\n", "ring", "k", "divides on", "divides off", "on/off",
                "u+1 on", "u+1 off", "image ms");
    // t innermost, so that it can become a field level later.
    run_statements("&(J = t);\n&(J = z);\n&(J = y);\n&(J = x);\n");
    const char* planted = "g := (2 + x + y + z)^%d;\nu := (1 + x + y + z)^%d * g;\nn := u + 1;\n";
    for (int k : {8, 14, 18}) {
        statements(planted, k);
        row("Z", k);
    }
    run_statements("&(p = 65521);\n");
    for (int k : {8, 14, 18}) {
        statements(planted, k);
        row("mod p", k);
    }
    run_statements("&(p = _i);\n&(P = t^2 + 1, 1);\n");
    const char* field = "g := (2 + x + y + t)^%d;\nu := (1 + x + y + t)^%d * g;\nn := u + 1;\n";
    for (int k : {8, 14, 18}) {
        statements(field, k);
        row("Q(i)", k);
    }
    return 0;
}
