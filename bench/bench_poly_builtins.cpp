// Times built-ins of the gcd family run as statements, the way the
// statement loop runs them:
//   - GCD(^u, ^v) beside polygcd called directly on the same stored
//     polynomials, for the gcd benchmark pairs u = (1+x+y+z)^k (2+x+y+z)^k,
//     v = (1+x+y+z)^k (3+x+y+z)^k (the built-in should cost within 5%);
//   - Monos(^u, [a]) on dense trivariate polynomials of 10^5 and 2·10^5
//     terms (doubling should cost at most 2.3x).
// Each figure is the least of several runs.
//
//   bench_poly_builtins [DATA_DIR|-]
#include <cstdio>
#include <cstring>
#include <string>

#include "gcd/polygcd.h"
#include "interp/dispatcher.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "poly/dense.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

#include "bench_support.h"

namespace {

using namespace bench;

// One statement in a stream of its own, run as the statement loop runs it
// (its value is not displayed); the stream is made before any timing.
struct Statement {
    FILE* f;
    explicit Statement(const std::string& text) : f(tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), f);
    }
    ~Statement() { std::fclose(f); }
    void run() {
        std::rewind(f);
        quoly* value = nullptr;
        leftover = 0;
        try {
            scanner(&f, &token, &zilch);
            parse(&f, &value, &zilch);
        } catch (const TarvexUnwind&) {
        }
        free_quoly(&value);
    }
};

void run(const std::string& text) { Statement(text).run(); }

polynode* stored(const char* nm) {
    tokenrec t;
    set_token(&t, nm);
    var* v = find_var(&t);
    return v && v->value && !v->value->isnum ? v->value->pnum : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    initialize(argc > 1 && std::strcmp(argv[1], "-") != 0 ? argv[1] : TARVEX_BENCH_DATA_DIR);
    init_poly_work_arrays();
    init_scanner_structures();
    for (const char* v : {"&(J = x);\n", "&(J = y);\n", "&(J = z);\n"}) run(v);
    const int runs = 5;

    std::printf("%-22s %12s %12s %8s\n", "GCD pair", "GCD ms", "polygcd ms", "ratio");
    for (int k : {10, 14, 20}) {
        const std::string s = std::to_string(k);
        run("u := (1 + x + y + z)^" + s + " * (2 + x + y + z)^" + s + ";\n");
        run("v := (1 + x + y + z)^" + s + " * (3 + x + y + z)^" + s + ";\n");
        Statement gcd("g := GCD(^u, ^v);\n");
        polynode* u = stored("u");
        polynode* v = stored("v");
        // Interleaved, so that both see the same machine load.
        double builtin = 1e300, direct = 1e300;
        for (int r = 0; r < 3 * runs; r++) {
            reset_statement_state();
            auto t0 = Clock::now();
            gcd.run();
            builtin = std::min(builtin, ms_since(t0));
            reset_statement_state();
            alg_c_count = 0;
            original_depth = 1;
            polynode* g = nullptr;
            t0 = Clock::now();
            polygcd(u, v, &g, 0, 1, 1, polynames, 1, 1, 1);
            direct = std::min(direct, ms_since(t0));
            free_poly(&g);
        }
        char name[40];
        std::snprintf(name, sizeof name, "dense 3 vars ^%d", k);
        std::printf("%-22s %12.1f %12.1f %8.3f\n", name, builtin, direct, builtin / direct);
        std::fflush(stdout);
    }

    std::printf("\n%-22s %12s\n", "Monos", "ms");
    // The sizes interleaved, so that each sees the same machine load; the
    // old array's deletion is not timed.
    const int sizes[] = {40, 80, 160};
    double best[3] = {1e300, 1e300, 1e300};
    for (int k = 0; k < 3; k++)
        run("u" + std::to_string(k) + " := (x^50 - 1)/(x - 1) * (y^50 - 1)/(y - 1) * (z^" +
            std::to_string(sizes[k]) + " - 1)/(z - 1);\n");
    for (int r = 0; r < 2 * runs; r++)
        for (int k = 0; k < 3; k++) {
            Statement monos("n := Monos(^u" + std::to_string(k) + ", [a]);\n");
            run("@[**];\n");
            const auto t0 = Clock::now();
            monos.run();
            best[k] = std::min(best[k], ms_since(t0));
        }
    for (int k = 0; k < 3; k++) {
        char name[40];
        std::snprintf(name, sizeof name, "dense 50x50x%d", sizes[k]);
        std::printf("%-22s %12.1f", name, best[k]);
        if (k > 0) std::printf("   %.2fx the half size", best[k] / best[k - 1]);
        std::printf("\n");
    }
    return 0;
}
