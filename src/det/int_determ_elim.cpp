#include "det/int_determ_elim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "matrix/dense_vectors.h"
#include "matrix/int_normal.h"
#include "matrix/int_pivot_product.h"
#include "matrix/measures.h"
#include "numbers/flat_int.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using dense_vectors::at;

namespace {

// The trailing block from (from, from) on, through the hub.
void trailing_determinant(quoly** w, int32_t n, int32_t from, quoly** det) {
    const int32_t t = n - from;
    WorkCopy block(nullptr, 0, "Determ");
    for (int32_t j = 0; j < t; j++)
        for (int32_t i = 0; i < t; i++) {
            block.cells[int64_t{j} * t + i] = nullptr;
            quoly_assign(at(w, n, from + i, from + j), &block.cells[int64_t{j} * t + i]);
            block.count++;
        }
    sparse* none = nullptr;
    quoly_set(1, det);
    mat_invert(block.cells, nullptr, 0, 0, t, det, 0, 0, &none, nullptr, -1, -1, -1, 0, 0);
}

}  // namespace

void int_determ_elimination(quoly** result, quoly** cells, int32_t n, int32_t limit) {
    // The work copy stands for the array the elimination may change; it
    // goes with every exit, errors and interrupts included.
    WorkCopy w(cells, int64_t{n} * n, "Determ");
    int sign = 0;
    const int32_t last = phaseone(w.cells, n, n, 0, limit, &sign, nullptr);
    if (last < limit) {
        quoly_set(0, result);
        return;
    }
    QuolyOwner d;
    quoly_set(1, &d.q);
    for (int32_t k = 0; k <= limit; k++) {
        QuolyOwner t;
        quoly_mult(d.q, at(w.cells, n, k, k), &t.q);
        std::swap(d.q, t.q);
    }
    if (sign && !quoly_iszero(d.q)) in_place_neg(d.q->nnum);
    if (limit < n - 1) {
        QuolyOwner rest, t;
        trailing_determinant(w.cells, n, limit + 1, &rest.q);
        quoly_mult(d.q, rest.q, &t.q);
        std::swap(d.q, t.q);
    }
    quoly_assign(d.q, result);
}

void int_determ_fraction_free(quoly** result, quoly** cells, int32_t n) {
    LintOff digits;
    PivotBlock a{n, n, std::vector<FlatInt>(static_cast<size_t>(n) * n)};
    for (size_t c = 0; c < a.v.size(); c++) flat_read(cells[c]->nnum, a.v[c]);
    struct Level {
        int32_t n;
        ~Level() { decr_dumpitt(n, 1, verbose); }
    } level{n};
    dumpitt_level++;
    if (verbose) dumpitt("Gauss-Bareiss method, size ", n, 1, 1, 1);
    int swaps = 0;
    // The shortest non-zero entry of the block left: a step's new entries
    // are minors on the rows and columns pivoted so far, so short rows and
    // columns go first and a few long ones are met only in the last steps.
    // No non-zero entry ends the elimination (the determinant is 0).
    auto shortest = [&swaps](PivotBlock& b, int32_t k, const FlatInt&, int32_t* row, int32_t* col) {
        if (verbose && k > 0) dumpitt(" ", k, 0, 0, 1);
        int32_t best = -1;
        for (int32_t j = k; j < b.n && best != 1; j++)
            for (int32_t i = k; i < b.n; i++) {
                const FlatInt& x = b.at(i, j);
                if (flat_zero(x)) continue;
                const int32_t size = flat_digits(x);
                if (best < 0 || size < best) {
                    best = size;
                    *row = i;
                    *col = j;
                    if (best == 1) break;
                }
            }
        if (best < 0) return false;
        if (*row != k) swaps ^= 1;
        if (*col != k) swaps ^= 1;
        return true;
    };
    FlatInt d;
    const int32_t rank = fraction_free_pivots(a, shortest, &d, nullptr);
    if (rank < n) flat_set(0, d);
    if (swaps && !flat_zero(d)) d.sign = -d.sign;
    imag* out = new_number();
    flat_write(d, out);
    scalar_to_quoly(out, result);
    free_imag(&out);
}

DetShape::DetShape(quoly** cells, int32_t n) : rows(static_cast<size_t>(n), 0), cols(static_cast<size_t>(n), 0) {
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = 0; i < n; i++) {
            const imag* x = cells[int64_t{j} * n + i]->nnum;
            const double w = size_of(x->head->digit, x->count) / 28.0;
            words += x->count;
            rows[static_cast<size_t>(i)] = std::max(rows[static_cast<size_t>(i)], w);
            cols[static_cast<size_t>(j)] = std::max(cols[static_cast<size_t>(j)], w);
        }
    std::sort(rows.begin(), rows.end());
    std::sort(cols.begin(), cols.end());
}

namespace {

// A product of an entry of about p + r words by a pivot of about p words,
// and its exact quotient by the pivot before, in word steps (below a word,
// as a word): near size^1.4 when balanced, the longer operand times the
// shorter's 0.4th power when not.
double step_cost(double p, double r) { return std::max(1.0, p + r) * std::pow(std::max(1.0, p), 0.4); }

}  // namespace

bool fraction_free_cheaper(const DetShape& s, int32_t primes) {
    // Fitted to measured times. The remaindering reads every entry's
    // digits and eliminates on words once per prime, and its mixed-radix
    // digits and their sum grow with the square of the primes. Step k of
    // the fraction-free elimination forms (n - k - 1)^2 products and exact
    // quotients of minors on the k + 1 lines pivoted and one more: the
    // shortest lines go first, so a minor is about the sum of the k + 1
    // shortest rows (or columns) and its own, at a cost near size^1.4 with
    // the fast products (see step_cost), five times a word step's.
    const int32_t n = static_cast<int32_t>(s.rows.size());
    const double p = primes;
    const double crt = p * (s.words + double(n) * n + 0.05 * double(n) * n * n) + 3 * p * p;
    // A lower bound first (the minors' own line left out), which settles
    // most matrices in a pass over the lines.
    double low = 0, P = 0, Q = 0;
    for (int32_t k = 0; k + 1 < n; k++) {
        P += s.rows[static_cast<size_t>(k)];
        Q += s.cols[static_cast<size_t>(k)];
        low += double(n - k - 1) * (n - k - 1) * step_cost(std::min(P, Q), 0);
        if (5 * low >= crt) return false;
    }
    double ff = 0;
    P = Q = 0;
    for (int32_t k = 0; k + 1 < n; k++) {
        P += s.rows[static_cast<size_t>(k)];
        Q += s.cols[static_cast<size_t>(k)];
        double by_rows = 0, by_cols = 0;
        for (int32_t i = k + 1; i < n; i++) {
            by_rows += step_cost(P, s.rows[static_cast<size_t>(i)]);
            by_cols += step_cost(Q, s.cols[static_cast<size_t>(i)]);
        }
        ff += double(n - k - 1) * std::min(by_rows, by_cols);
        if (5 * ff >= crt) return false;
    }
    return true;
}
