// The integer determinant by exact elimination, where remaindering is not
// the road: the plain road for a caller's bound beyond 600 digits on a
// small matrix (phase one of the Smith form on the leading pivots, the rest
// through the determinant hub), and fraction-free elimination for a few
// rows of very long entries, whose residues would cost more than the
// elimination itself.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

// *result := det of the n x n integer cells (column-major; only read).
// Pivots 0 .. limit are eliminated exactly; the trailing
// (n - limit - 1)-square block goes to the hub.
void int_determ_elimination(quoly** result, quoly** cells, int32_t n, int32_t limit);

// *result := det of the n x n integer cells (column-major; only read) by
// fraction-free elimination on the cells' digits, copied out once.
void int_determ_fraction_free(quoly** result, quoly** cells, int32_t n);

// What the cost of the two roads depends on: the longest entry of each row
// and of each column, in words of 28 bits, each list sorted, and the words
// of all the entries.
struct DetShape {
    std::vector<double> rows, cols;
    double words = 0;
    // The n x n integer cells (column-major), only read.
    DetShape(quoly** cells, int32_t n);
};

// Whether fraction-free elimination costs less than remaindering over
// primes primes for a matrix of this shape.
bool fraction_free_cheaper(const DetShape& s, int32_t primes);
