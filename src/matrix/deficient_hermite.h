// The column Hermite form of an integer matrix of lower rank, without
// transforms, through its first independent rows. Their columns' lattice
// is full-rank and has its form by the determinant's roads; every other
// row is a fixed rational combination of those rows on the whole column
// space, so it follows from their form by one exact solve, with no steps
// whose entries grow unbounded.
#pragma once

#include <cstdint>
#include <vector>

#include "matrix/flat_normal.h"

// rows: the first independent rows of a (found modulo a word prime, so
// perhaps too few: the join checks that they are not); cols: the columns
// of a block non-singular on them, d = |det| of that block; top: a on
// those rows with the block's columns first (the lattice does not depend
// on the columns' order); formed: top already holds its form (rank 1).
struct RankSplit {
    std::vector<int32_t> rows, cols;
    FlatMatrix top, block;
    FlatInt d;
    bool formed = false;
};

// False where a is zero.
bool rank_split(FlatMatrix& a, RankSplit& s);

// a := its form, given top's form (lower triangular in its first rows.size()
// columns, zero after), the other rows joined through the block's
// solutions; rows hold the pivots' rows. Checked before a is touched: the
// other rows lie in the rational span of the split's rows on every column,
// the join's divisions are exact and the form is in echelon with its
// pivots exactly on those rows, which makes it a's one form. False, a
// untouched, where a check fails.
bool rank_join(FlatMatrix& a, RankSplit& s);
