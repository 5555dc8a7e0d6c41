// Times products and powers over Z at scale: one-variable
// products with large coefficients, powers, the four-variable product
// f (f + 1) with f = (1 + x + y + z + t)^20 per term product, and dense
// two-variable products, and products of a few terms (the set-up of the
// routes, per product). Run with --old to switch the new routes off
// (multi-modular images, power rows, the sliced box) and time the
// term-list routes they replace.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "storage/workblocks.h"

#include "bench_support.h"

namespace {

using namespace bench;

// A polynomial from its terms: c[i] (i = degree..0) over x^i; null entries skipped.
polynode* from_coefficients(const std::vector<imag*>& c) {
    polynode* head = nullptr;
    polynode** tail = &head;
    for (size_t i = c.size(); i-- > 0;) {
        if (!c[i]) continue;
        polynode* t = i == 0 ? new_number_node(c[i]) : new_term_node(static_cast<int32_t>(i), new_number_node(c[i]));
        *tail = t;
        tail = &t->next;
    }
    return head;
}

// Degree d, every coefficient a random signed number of `bits` bits.
polynode* random_dense(std::mt19937_64& rng, int32_t d, int32_t bits) {
    std::vector<imag*> c(static_cast<size_t>(d) + 1);
    const int32_t words = (bits + 63) / 64;
    std::vector<uint64_t> w(static_cast<size_t>(words));
    for (auto& x : c) {
        for (auto& v : w) v = rng();
        if (bits % 64) w.back() &= (uint64_t{1} << (bits % 64)) - 1;
        w.back() |= uint64_t{1} << ((bits - 1) % 64);
        x = words_number(w.data(), words, rng() & 1 ? 1 : -1);
    }
    return from_coefficients(c);
}

// A polynomial in x from small integer coefficients, highest first.
polynode* small_poly(std::initializer_list<int32_t> coefs) {
    std::vector<imag*> c;
    for (int32_t v : coefs) {
        imag* n = new_number();
        setvalue(v, n);
        c.push_back(n);
    }
    std::reverse(c.begin(), c.end());
    for (auto& x : c)
        if (iszero(x)) free_imag(&x);
    return from_coefficients(c);
}

double timed(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return ms_since(t0);
}

void row(const char* what, double ms, const char* note = "") { std::printf("%-58s %10.1f  %s\n", what, ms, note); }

void univariate() {
    attach_variables(1);
    pt* rec = polynames;
    polynode* f = small_poly({1, 5, 3});
    polynode* g = small_poly({1, 0, 2, -13});
    row("f := (x^2+5x+3)^900", timed([&] { compute_power(&f, 900, rec); }));
    row("g := (x^3+2x-13)^800", timed([&] { compute_power(&g, 800, rec); }));
    polynode* h = nullptr;
    row("h := f g (1,801 by 2,401 terms)", timed([&] { poly_mult(f, g, &h, rec); }));
    for (polynode** p : {&f, &g, &h}) free_poly(p);

    polynode* b = small_poly({1, 1});
    row("(x+1)^2500", timed([&] { compute_power(&b, 2500, rec); }));
    polynode* t = small_poly({1, 3, 7});
    row("(x^2+3x+7)^1000", timed([&] { compute_power(&t, 1000, rec); }));
    free_poly(&b);
    free_poly(&t);

    std::mt19937_64 rng(18);
    for (int32_t decimal : {100, 1000}) {
        const int32_t bits = decimal * 3322 / 1000;
        double previous = 0;
        for (int32_t d : {1000, 2000, 4000}) {
            polynode* x = random_dense(rng, d, bits);
            polynode* y = random_dense(rng, d, bits);
            polynode* z = nullptr;
            const double ms = timed([&] { poly_mult(x, y, &z, rec); });
            char what[80], note[40] = "";
            std::snprintf(what, sizeof what, "random degree %d by %d, %d-digit coefficients", d, d, decimal);
            if (previous > 0) std::snprintf(note, sizeof note, "x%.2f per doubling", ms / previous);
            row(what, ms, note);
            previous = ms;
            for (polynode** p : {&x, &y, &z}) free_poly(p);
        }
    }
    detach_variables();
}

void four_variables() {
    attach_variables(4);
    polynode* f = power_of_sum(1, 4, 20);
    polynode* one = nullptr;
    poly_set(1, &one);
    polynode* g = nullptr;
    poly_add(f, one, &g);
    polynode* h = nullptr;
    const double products = static_cast<double>(count_terms(f)) * static_cast<double>(count_terms(g));
    double ms = timed([&] { poly_mult(f, g, &h, polynames); });
    char note[60];
    std::snprintf(note, sizeof note, "%.2f ns per term product", ms * 1e6 / products);
    row("f (f + 1), f = (1+x+y+z+t)^20", ms, note);
    polynode* c = nullptr;
    poly_set(1 << 30, &c);
    poly_mult(c, c, &c, nilpol);
    poly_mult(f, c, &f, nilpol);
    poly_add(f, one, &g);
    ms = timed([&] { poly_mult(f, g, &h, polynames); });
    std::snprintf(note, sizeof note, "%.2f ns per term product", ms * 1e6 / products);
    row("the same, f times 2^60 (3-digit coefficients)", ms, note);
    for (polynode** p : {&f, &g, &h, &one, &c}) free_poly(p);
    detach_variables();
}

void two_variables() {
    attach_variables(2);
    polynode* f = power_of_sum(1, 2, 200);
    polynode* h = nullptr;
    row("(1+x+y)^200 squared", timed([&] { poly_mult(f, f, &h, polynames); }));
    free_poly(&f);
    free_poly(&h);
    // 8 + x^3 y + x y^2, to the 60th, times itself plus 1.
    polynode* x = nullptr;
    polynode* y = nullptr;
    base_poly(&x, 1);
    base_poly(&y, 2);
    polynode* s = nullptr;
    poly_set(8, &s);
    polynode* t = nullptr;
    poly_mult(x, x, &t, polynames);
    poly_mult(t, x, &t, polynames);
    poly_mult(t, y, &t, polynames);
    poly_add(s, t, &s);
    poly_mult(x, y, &t, polynames);
    poly_mult(t, y, &t, polynames);
    poly_add(s, t, &s);
    compute_power(&s, 60, polynames);
    polynode* one = nullptr;
    poly_set(1, &one);
    polynode* g = nullptr;
    poly_add(s, one, &g);
    row("(1+x^3y+xy^2+7)^60 (f + 1)", timed([&] { poly_mult(s, g, &h, polynames); }));
    for (polynode** p : {&x, &y, &s, &t, &one, &g, &h}) free_poly(p);
    detach_variables();
}

// A sum of `terms` random monomials in nvars variables (exponents up to
// span), coefficients of `digits` digits with random signs.
polynode* random_small(std::mt19937_64& rng, int nvars, int terms, int digits, int span) {
    polynode* s = nullptr;
    poly_set(0, &s);
    for (int t = 0; t < terms; t++) {
        std::vector<uint64_t> w(static_cast<size_t>(digits * 28 + 63) / 64);
        for (auto& v : w) v = rng();
        if ((digits * 28) % 64) w.back() &= (uint64_t{1} << ((digits * 28) % 64)) - 1;
        w.back() |= 1;
        polynode* m = new_number_node(words_number(w.data(), static_cast<int32_t>(w.size()), rng() & 1 ? 1 : -1));
        for (int v = 1; v <= nvars; v++) {
            polynode* x = nullptr;
            base_poly(&x, v);
            for (int e = static_cast<int>(rng() % static_cast<uint64_t>(span + 1)); e > 0; e--) poly_mult(m, x, &m, polynames);
            free_poly(&x);
        }
        poly_add(s, m, &s);
        free_poly(&m);
    }
    return s;
}

// Products of a few terms, where the set-up of each route is most of the
// cost: nanoseconds per product (least of five rounds of many products).
void small_products() {
    attach_variables(4);
    std::mt19937_64 rng(20);
    for (int nvars : {1, 2, 4})
        for (int digits : {1, 3}) {
            char note[80] = "", *at = note;
            for (int terms : {3, 5, 10, 20}) {
                polynode* a = random_small(rng, nvars, terms, digits, nvars == 1 ? 3 * terms : 6);
                polynode* b = random_small(rng, nvars, terms, digits, nvars == 1 ? 3 * terms : 6);
                const int n = 20000 / terms;
                double best = 1e30;
                for (int r = 0; r < 5; r++)
                    best = std::min(best, timed([&] {
                        for (int i = 0; i < n; i++) {
                            polynode* c = nullptr;
                            poly_mult(a, b, &c, polynames);
                            free_poly(&c);
                        }
                    }) * 1e6 / n);
                at += std::snprintf(at, note + sizeof note - at, "%s%.0f", terms == 3 ? "" : " / ", best);
                free_poly(&a);
                free_poly(&b);
            }
            char what[80];
            std::snprintf(what, sizeof what, "%d-var products of 3/5/10/20 terms, %d-digit, ns each", nvars, digits);
            std::printf("%-58s %10s  %s\n", what, "", note);
        }
    detach_variables();
}

}  // namespace

int main(int argc, char** argv) {
    open_system_stashes();
    init_number_constants();
    init_poly_work_arrays();
    find_total_available_memory();
    modularmode = 0;
    lintmode = 0;
    install_modulus(0);
    if (argc > 1 && std::strcmp(argv[1], "--old") == 0) {
        multimod_route = -1;
        power_rows_route = -1;
        box_slices = 0;
        box_runs = 0;
        std::printf("term-list routes only (--old)\n");
    }
    std::printf("%-58s %10s\n", "products and powers over Z", "ms");
    univariate();
    four_variables();
    two_variables();
    small_products();
    return 0;
}
