// The Hermite form of a square non-singular integer matrix from its
// determinant d and its dual lattice, without the row-by-row steps.
//
// The column lattice L of A holds d times every unit vector, so it is the
// set of x with y x = 0 (mod d) for every y in the row span of d A^-1 (an
// integer matrix, the adjugate up to sign). Dual vectors y come from
// solving A^T y = d w for random w by p-adic lifting over one word prime.
// For most matrices a single y with gcd(y, d) = 1 defines L, and the form
// follows from the gcds of y's trailing entries with d. Otherwise the form
// is [[H1, 0], [c, d / e]]: H1 the form of A's first n - 1 rows, found
// modulo the small e that divides every dual vector's last entry, and c
// from a dual vector whose last entry is e times a unit modulo d / e.
#pragma once

#include <cstdint>
#include <vector>

#include "matrix/flat_normal.h"

// a := its Hermite form H (as flat_hermite leaves it) when a is square
// and d is a positive multiple of |det a|; with v, *v :=
// the column transform A^-1 H, with vi, *vi := its inverse H^-1 A (the
// only ones a non-singular matrix has). False, nothing touched, when this
// road does not reach them. Whatever it returns is checked: H is
// canonical, det H = d and H^-1 A is integral, so H spans a's lattice and
// is its form; v by exact division and a random product.
bool square_hermite(FlatMatrix& a, const FlatInt& d, FlatMatrix* v = nullptr, FlatMatrix* vi = nullptr);

// The same for a of fewer rows than columns, without transforms, d the
// |det| of its first a.R columns: their lattice from the square road, the
// other columns joined through one dual vector, or, where no one dual
// vector defines their lattice, by the steps modulo d on their form. False,
// a untouched, where that does not reach the form.
bool wide_hermite(FlatMatrix& a, const FlatInt& d);

// The same for a of more rows than columns, without transforms: top holds
// its first a.K rows, d = |det top| > 0. Their form H by the square road,
// the rows below the pivots A's times its transform V, each row's through
// one solve and checked exactly. top is spent.
bool tall_hermite(FlatMatrix& a, FlatMatrix& top, const FlatInt& d);

// d b^-T w for each w of ws, b square and d = |det b| > 0, by the same
// p-adic lifting. False when b is singular modulo the lifting's prime.
bool scaled_solutions(FlatMatrix& b, const FlatInt& d, const std::vector<std::vector<FlatInt>>& ws,
                      std::vector<std::vector<FlatInt>>& out);
