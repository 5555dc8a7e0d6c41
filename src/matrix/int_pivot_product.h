// The pivots of colreduce's full-pivoting reduction of an integer matrix,
// found without fractions. Over the rationals every entry of the block
// still to be reduced is B / D, where B is the determinant of the chosen
// rows and columns bordered by the entry's own, and D the last such
// determinant taken as a pivot; fraction-free elimination carries B and D
// as integers, so the choice among units, integers and least-mass
// fractions is made on exactly the values colreduce would meet, and the
// product of the pivots telescopes to the last D.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "numbers/flat_int.h"
#include "storage/records.h"

// A matrix under fraction-free elimination, n x m, column-major.
struct PivotBlock {
    int32_t n, m;
    std::vector<FlatInt> v;
    FlatInt& at(int32_t i, int32_t j) { return v[static_cast<size_t>(j) * n + i]; }
};

// The pivot of step k (from 0) among rows and columns k onward, whose
// rational values are B / d; false when they are all zero. A chooser also
// reports its reduction's progress.
using PivotChooser = std::function<bool(PivotBlock& a, int32_t k, const FlatInt& d, int32_t* row, int32_t* col)>;

// Eliminates a (destroyed) with the pivots chosen, at most min(n, m): the
// rank, the product of the pivots (1 when there is none) and, with pairs,
// each pivot's row and then column in the matrix given, from 0.
int32_t fraction_free_pivots(PivotBlock& a, const PivotChooser& choose, FlatInt* product,
                             std::vector<int32_t>* pairs);

// cells: n x m, column-major, every cell a plain number (outside
// machine-integer mode); left unchanged. Returns the rank r and sets
// *product to the product of colreduce's r pivots (1 when r = 0). With
// pairs, receives for each pivot its row and then its column in the
// matrix given, from 0. Reports progress as colreduce does.
int32_t int_pivot_product(quoly** cells, int32_t n, int32_t m, FlatInt* product, std::vector<int32_t>* pairs);
