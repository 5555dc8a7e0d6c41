// Fraction-free LU decomposition of a dense matrix: every new entry is
// divided exactly by the previous pivot, so integer (polynomial) input
// keeps integer (polynomial) entries throughout.
//
// Matrices are flat column-major vectors as in matrix/dense_echelon.h. With
// r the rank, d the pivots (d[k] = 1 from r on), lambda_i = d_1 ... d_(i-1)
// and mu_k = d_1 ... d_(k-2) (empty products 1):
//     diag(lambda) x P x A0 x Q = L x diag(mu) x U,
// U the reduced array, L unit lower triangular.
#pragma once
#include <cstdint>

#include "storage/records.h"

// The array a (n x m) becomes U. D (n cells) and L (n x n) are always
// filled; flags[2] P, flags[3] P2 (n x n, P's inverse), flags[4] Q, flags[5]
// Q2 (m x m). full_pivoting: the pivot is chosen over the whole trailing
// block and columns may be exchanged; otherwise within the current column,
// a column that has none being passed over (it stays in place in U).
// Returns the rank. An inexact division, which valid input never gives,
// is the fatal report " FFLU" and ends the statement.
int32_t fract_free_lu(int full_pivoting, quoly** a, int32_t n, int32_t m, const int flags[6], quoly** D,
                      quoly** L, quoly** P, quoly** P2, quoly** Q, quoly** Q2);
