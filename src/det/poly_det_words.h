// The nested levels of the modular interpolation on machine words. The
// modular method hands each evaluated matrix back to the hub, which for a
// dense matrix of seven or more rows with nothing else in play (no factor
// per point, no relations, no extension level, progress lines off) comes
// straight back to the modular method one variable deeper. This road does
// exactly those steps (the same degree estimates, the same draws of the
// points, the same values) on word-level copies of the cells, without
// building a quoly for each evaluated matrix.
#pragma once
#include <cstdint>
#include <vector>

#include "det/word_arith.h"
#include "gcd/flat_modgcd.h"
#include "storage/records.h"

namespace polydet {

// The terms of n x n cells (column by column) over all levels, each cell's
// terms ordered by their exponents read from the innermost level out, so
// that terms differing only in the outermost level left lie together.
struct WordCells {
    int32_t nvars = 0;
    std::vector<uint32_t> start;   // cell c: terms start[c] .. start[c + 1] - 1
    std::vector<int32_t> exps;     // nvars per term
    std::vector<uint32_t> coefs;   // non-zero residues
    size_t terms() const { return coefs.size(); }
    const int32_t* exp(size_t t) const { return exps.data() + t * static_cast<size_t>(nvars); }
};

// Whether the word road may stand in for the hub below a level of the
// modular method at `depth` (factor-free, current ring a prime modulus).
bool word_road_open(int32_t n, int32_t depth);

// The residue cells as words; false when a cell has a negative exponent
// or a denominator.
bool to_word_cells(quoly** cells, int64_t count, WordCells* out);

// The cells with the number x for the variable of level depth.
void evaluate_word_cells(const WordCells& w, int32_t depth, uint32_t x, const wordmod::Prime& P,
                         WordCells* out);

// The determinant of the n x n word cells as the hub would compute it
// (terms appended to *out, which has nvars set); false when the method
// would decline (an answer of the hub's with a denominator).
bool word_cells_det(const WordCells& w, int32_t n, const wordmod::Prime& P, flatgcd::FlatPoly* out);

}  // namespace polydet
