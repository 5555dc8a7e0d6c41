#include "det/int_determ_elim.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "matrix/dense_vectors.h"
#include "matrix/int_normal.h"
#include "matrix/int_pivot_product.h"
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
    // The first non-zero entry down each column; a column without one
    // ends the elimination (the determinant is 0).
    auto down_the_column = [&swaps](PivotBlock& b, int32_t k, const FlatInt&, int32_t* row, int32_t* col) {
        if (verbose && k > 0) dumpitt(" ", k, 0, 0, 1);
        for (int32_t r = k; r < b.n; r++)
            if (!flat_zero(b.at(r, k))) {
                *row = r;
                *col = k;
                if (r != k) swaps ^= 1;
                return true;
            }
        return false;
    };
    FlatInt d;
    const int32_t rank = fraction_free_pivots(a, down_the_column, &d, nullptr);
    if (rank < n) flat_set(0, d);
    if (swaps && !flat_zero(d)) d.sign = -d.sign;
    imag* out = new_number();
    flat_write(d, out);
    scalar_to_quoly(out, result);
    free_imag(&out);
}

bool fraction_free_cheaper(int32_t n, double words, int32_t primes) {
    // Fitted to measured times. The remaindering reads every entry's
    // digits and eliminates on words once per prime. Step j of the
    // fraction-free elimination forms (n - j)^2 products and exact
    // quotients of entries of about (j + 1) words digits, each at a cost
    // near digits^1.4 with the fast products, five times a word step's.
    double ff = 0;
    for (int32_t j = 1; j < n; j++) ff += double(n - j) * (n - j) * std::pow((j + 1) * words, 1.4);
    const double crt = double(primes) * (double(n) * n * (words + 1) + 0.05 * n * double(n) * n);
    return 5 * ff < crt;
}
