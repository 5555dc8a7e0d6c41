// The Hermite form of a square non-singular integer matrix from its
// determinant D and its dual lattice, without the row-by-row steps.
//
// The column lattice L of A holds D times every unit vector, so it is the
// set of x with y x = 0 (mod D) for every y in the row span of D A^-1
// (an integer matrix, the adjugate up to sign). The form is
//   [ H1 0 ]
//   [ c  D/e ]
// with H1 the form of A's first n - 1 rows (e = det H1, usually 1, and a
// divisor of every dual vector's last entry) and c the last row, which a
// dual vector whose last entry is e times a unit modulo D/e yields
// column by column. Dual vectors come from solving A^T y = D w for
// random w by p-adic lifting over one word prime.
#pragma once

#include "matrix/flat_normal.h"

// a := its Hermite form (as flat_hermite leaves it) when a is square, of
// small entries, and d is a positive multiple of |det a|; false, a
// untouched, when this road does not reach it. Whatever it returns is
// checked: the columns of a lie in the form's lattice, whose determinant
// is d, and the form is canonical, so it is the one.
bool square_hermite(FlatMatrix& a, const FlatInt& d);
