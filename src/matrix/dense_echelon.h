// Reduced row echelon form, column reduction to lower-triangular form and
// diagonal form of a dense matrix over the quotient field, each with the
// transformation matrices it can hand back.
//
// The matrix is a flat column-major vector of n rows and m columns (element
// (r, c) from 0 at c x n + r) whose every cell holds a quoly; it is
// reduced in place. Transformation matrices are vectors of the same form,
// n x n or m x m; each one asked for is set to the identity first (its old
// cells are forgotten) and the caller owns its cells afterwards. Every
// routine returns the rank.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

// flags[0] L, flags[1] Linv (both n x n): L x A0 = E and A0 = Linv x E,
// E the reduced row echelon form of A0 as an augmented matrix: the last
// column is never a pivot column.
int32_t red_row_ech(quoly** a, int32_t n, int32_t m, const int flags[2], quoly** L, quoly** Linv);

// Full pivoting, column operations below the pivots: P x A0 x Q = A lower
// triangular. flags[0] P (n x n), flags[1] Q (m x m), flags[2] P2 = P's
// inverse, flags[3] Q2 = Q's inverse. At most `limit` pivots.
// With pseudet set the column below each pivot is cleared too (the pivots
// stay on the diagonal), no matrix is made, and flags[0] asks for the
// pivot pairs: *pairs receives, for pivot i, the row and then the column it
// had in A0, each counted from `base`.
int32_t colreduce(quoly** a, int32_t n, int32_t m, const int flags[4], quoly** P, quoly** Q, quoly** P2,
                  quoly** Q2, int pseudet, int32_t limit, std::vector<int32_t>* pairs, int32_t base);

// Row and column operations to a diagonal matrix, its pivots not scaled:
// P x A0 x Q = A. Flags and matrices as colreduce's; a transformation is
// updated only when it (or, for P2 and Q2, itself) was asked for.
int32_t normalize(quoly** a, int32_t n, int32_t m, const int flags[4], quoly** P, quoly** Q, quoly** P2,
                  quoly** Q2);
