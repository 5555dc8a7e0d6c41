#include "matrix/sparse_int_pivot_product.h"

#include <cstdio>

#include "interp/settings.h"
#include "matrix/int_pivot_product.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_mod_echelon.h"
#include "matrix/step_remainders.h"
#include "numbers/ring.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// Beyond this the dense copy costs more than the sparse reduction saves.
constexpr int64_t MAX_CELLS = 65536;

// q := B / d when that is an integer.
bool integer_value(const FlatInt& b, const FlatInt& d, FlatInt& q) {
    if (flat_unit(d)) {
        q = b;
        return true;
    }
    if (flat_cmp_abs(b, d) < 0) return false;
    return flat_div(b, d, q);
}

// The digit counts of numerator and denominator of B / d in lowest terms,
// the mass of a fraction to both finders.
int32_t fraction_mass(const FlatInt& b, const FlatInt& d) {
    FlatInt g, t;
    flat_gcd(b, d, g);
    if (flat_unit(g)) return flat_digits(b) + flat_digits(d);
    flat_div(b, g, t);
    int32_t mass = flat_digits(t);
    flat_div(d, g, t);
    return mass + flat_digits(t);
}

// number_mass of an integer: two per digit, one less when the leading
// digit is below 2^16.
int32_t number_mass_of(const FlatInt& q) {
    const int32_t n = flat_digits(q);
    return !q.mag.empty() && q.mag.back() >= 65536 ? 2 * n : 2 * n - 1;
}

// better_quoly_mass of B / d.
int32_t better_mass(const FlatInt& b, const FlatInt& d) {
    FlatInt q;
    return integer_value(b, d, q) ? flat_digits(q) : fraction_mass(b, d);
}

// The counting pass: when every row k .. n-1 has an entry and every column
// k .. n-1 too, a column holding one entry gives the pivot (the one of
// largest mass, the leftmost on ties).
bool singleton_column(PivotBlock& a, int32_t k, const FlatInt& d, int32_t* row, int32_t* col) {
    std::vector<int32_t> count(static_cast<size_t>(a.m), 0), where(static_cast<size_t>(a.m), -1);
    for (int32_t r = k; r < a.n; r++) {
        bool any = false;
        for (int32_t j = k; j < a.m; j++)
            if (!flat_zero(a.at(r, j))) {
                any = true;
                count[j]++;
                where[j] = r;
            }
        if (!any) return false;
    }
    for (int32_t j = k; j < a.n; j++)
        if (j >= a.m || count[j] == 0) return false;
    int32_t best = -1, best_mass = 0;
    for (int32_t j = k; j < a.n; j++) {
        if (count[j] != 1) continue;
        const int32_t mass = better_mass(a.at(where[j], j), d);
        if (best < 0 || mass > best_mass) {
            best = j;
            best_mass = mass;
        }
    }
    if (best < 0) return false;
    *row = where[best];
    *col = best;
    return true;
}

// Row by row: a unit in a row with fewer than three entries at once, else
// the integer of least number mass, else the fraction of least mass; the
// first met on ties.
bool heuristic_0(PivotBlock& a, int32_t k, const FlatInt& d, StepRemainders& steps, int32_t* row, int32_t* col) {
    if (singleton_column(a, k, d, row, col)) return true;
    int32_t num_row = -1, num_col = -1, num_mass = 0, other_row = -1, other_col = -1, other_mass = 0;
    FlatInt q;
    const bool whole = flat_unit(d);
    if (!whole) step_remainders(a, k, d, steps);
    for (int32_t r = k; r < a.n; r++) {
        int32_t count = 0;
        for (int32_t j = k; j < a.m; j++) count += flat_zero(a.at(r, j)) ? 0 : 1;
        for (int32_t j = k; j < a.m && count > 0; j++) {
            const FlatInt& b = a.at(r, j);
            if (flat_zero(b)) continue;
            const size_t cell = static_cast<size_t>(j) * a.n + r;
            bool integer = true;
            if (whole)
                q = b;
            else
                integer = steps.any_integer && flat_zero(steps.rem[cell]) && flat_div(b, d, q);
            if (integer) {
                if (count < 3 && flat_unit(q)) {
                    *row = r;
                    *col = j;
                    return true;
                }
                const int32_t mass = number_mass_of(q);
                if (num_row < 0 || mass < num_mass) {
                    num_row = r;
                    num_col = j;
                    num_mass = mass;
                }
            } else if (num_row < 0 && !steps.any_integer) {
                // Fractions count only while no integer is met.
                const int32_t mass = step_fraction_mass(steps, b, cell, d);
                if (other_row < 0 || mass < other_mass) {
                    other_row = r;
                    other_col = j;
                    other_mass = mass;
                }
            }
        }
    }
    *row = num_row >= 0 ? num_row : other_row;
    *col = num_row >= 0 ? num_col : other_col;
    return *row >= 0;
}

}  // namespace

bool sparse_pivot_product_applies(sparse* first, int32_t n, int32_t m) {
    if (lintmode || modularmode || pseudet_heur != 0 || int64_t{n} * m > MAX_CELLS) return false;
    RowWalk w(first);
    for (int32_t r = 0; r < n; r++, w.next())
        for (colm* e = *w.head(); e; e = e->next)
            if (!e->val->isnum || quoly_iszero(e->val) || e->col < 1 || e->col > m) return false;
    return true;
}

int32_t sparse_int_pivot_product(sparse* first, int32_t n, int32_t m, FlatInt* product,
                                 std::vector<int32_t>* pairs) {
    const int32_t s = n < m ? n : m;
    EchelonProgress progress(" Sparse row reduce, size ", s);
    PivotBlock a{n, m, std::vector<FlatInt>(static_cast<size_t>(n) * m)};
    RowWalk w(first);
    for (int32_t r = 0; r < n; r++, w.next())
        for (colm* e = *w.head(); e; e = e->next) flat_read(e->val->nnum, a.at(r, e->col - 1));
    StepRemainders steps;
    auto rowreduce_choice = [&progress, &steps, s](PivotBlock& b, int32_t k, const FlatInt& d, int32_t* row,
                                                   int32_t* col) {
        const bool found = heuristic_0(b, k, d, steps, row, col);
        if (verbose && windy)
            std::printf("  choosing pivot at: %li, %li, %li\n", long{k + 1}, found ? long{*row + 1} : -1L,
                        found ? long{*col + 1} : -1L);
        if ((k + 1) % (s / 100 + 1) == 0) progress.step(k + 1);
        return found;
    };
    return fraction_free_pivots(a, rowreduce_choice, product, pairs);
}
