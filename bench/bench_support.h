// What the benchmark drivers share: a millisecond clock, polynomial
// variables attached as the interpreter would, and the powers of sums that
// several drivers use as dense test polynomials.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "interp/dispatcher.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "quoly/quoly.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// The least time of runs calls of f, in milliseconds.
template <class F>
double best_of(int runs, F f) {
    double best = 1e300;
    for (int r = 0; r < runs; r++) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, ms_since(t0));
    }
    return best;
}

// Variables x, y, z, t, u, w, s (n of them), outermost first.
inline void attach_variables(int n) {
    static const char* names[] = {"x", "y", "z", "t", "u", "w", "s"};
    pt** tail = &polynames;
    for (int i = 0; i < n; i++) {
        pt* v;
        newpt(&v);
        std::snprintf(v->name, sizeof v->name, "%s", names[i]);
        v->hash = 65535;
        v->modout_degree = 0;
        v->level = static_cast<int16_t>(i + 1);
        *tail = v;
        tail = &v->next;
    }
    number_polys = n;
}

// Gives every variable record back; no variables are left.
inline void detach_variables() {
    while (polynames) {
        pt* v = polynames;
        polynames = v->next;
        free_pt(&v);
    }
    number_polys = 0;
}

// The number leaves of p: its terms at full depth.
inline int64_t count_terms(const polynode* p) {
    int64_t n = 0;
    for (; p; p = p->next) n += p->numb ? 1 : count_terms(p->pcoef);
    return n;
}

// (c + x_1 + ... + x_n)^k, k >= 1.
inline polynode* power_of_sum(int c, int n, int k) {
    polynode* s = nullptr;
    poly_set(c, &s);
    for (int i = 1; i <= n; i++) {
        polynode* v = nullptr;
        base_poly(&v, i);
        poly_add(s, v, &s);
        free_poly(&v);
    }
    polynode* p = nullptr;
    poly_assign(s, &p);
    for (int i = 1; i < k; i++) poly_mult(p, s, &p, polynames);
    free_poly(&s);
    return p;
}

// Runs the statements of text, one per line, as the statement loop would
// (values computed and dropped, nothing displayed).
inline void run_statements(const char* text) {
    FILE* f = tmpfile();
    std::fputs(text, f);
    std::rewind(f);
    name* none = nullptr;
    for (;;) {
        int c = std::fgetc(f);
        if (c == EOF) break;
        std::ungetc(c, f);
        scanner(&f, &token, &none);
        quoly* v = nullptr;
        parse(&f, &v, &none);
        free_quoly(&v);
        std::fgetc(f);   // the line end
    }
    std::fclose(f);
}

}  // namespace bench
