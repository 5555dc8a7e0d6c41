// Determinants modulo a word prime of many matrices that share one sparsity
// pattern, as the sparse interpolation evaluates one polynomial matrix at
// point after point. The pivot order is planned once on the pattern
// (least fill-in), with every update of the elimination written down as a
// pair of value slots; each determinant then replays the plan on a flat
// array of residues, with no list walking, allocation or pivot search.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "det/word_arith.h"

namespace polydet {

// Values live in slots: the pattern's entries first (row by row, columns
// ascending), then the fill-in. Step k divides by the slot pivot[k]; for
// each of its targets t, slot mult[t] times the pivot's inverse is the
// factor, and dst[..] -= factor * src[..] over the src_len[k] slots of
// the pivot row right of the pivot (the dst slots of the targets follow
// one another in dst).
struct EliminationPlan {
    int32_t n = 0;
    int32_t entries = 0;   // slots holding the pattern's own entries
    int32_t slots = 0;     // entries and fill-in
    bool negate = false;   // the pivots' permutation is odd
    std::vector<int32_t> pivot, src_begin, src_len, mult_begin;   // per step (mult_begin has n + 1)
    std::vector<int32_t> src, mult, dst;
};

// The plan for the pattern rows[r] (the columns of row r's entries,
// ascending, counted from 0): 1 made; -1 when the pattern is structurally
// singular (every determinant with it is 0) or the plan would hold more
// than update_limit updates; 0 when values (the entries, residues modulo
// *prime, or null) vanish at every pivot left. With values the pivots
// are those that do not vanish there: entries whose combinations cancel
// for every point (rank-deficient blocks of numbers) then never become
// pivots.
int plan_elimination(const std::vector<std::vector<int32_t>>& rows, const uint32_t* values, const wordmod::Prime* prime,
                     size_t update_limit, EliminationPlan* plan);

// The determinant of the matrix with the pattern's entries values[0 ..
// entries - 1] (residues modulo P) into *det; work is scratch space.
// False when a planned pivot is 0 at these values (the determinant may
// still be anything: the caller eliminates with its own pivoting).
bool planned_determinant(const EliminationPlan& plan, const uint32_t* values, const wordmod::Prime& P,
                         std::vector<uint32_t>& work, uint32_t* det);

}  // namespace polydet
