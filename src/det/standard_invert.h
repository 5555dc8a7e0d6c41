// Determinant or inverse of a dense matrix by Gaussian elimination with
// pivoting; the inverse by inverting the unit upper-triangular factor and
// replaying the recorded row and column operations.
#pragma once
#include <cstdint>

#include "storage/records.h"

// What the determinant hub hands to its elimination method.
struct det_hub {
    int new_polynames = 0;   // the hub suspended the mod-out relations
    int residue_path = 0;    // all cells are residues: work on value words (modular mode only)
    int strategy = 2;        // pivot window: 0 the column, 1 half the block, 2 the whole block
    quoly** work = nullptr;  // the working cells (set here)
    int32_t minors_cut = 0;  // finish the determinant by cofactors at this many rows (at most 40)
};

// det_slot: the determinant accumulator (the caller starts it at 1).
// fct_list: a factor to divide the determinant by, or null. out_filled:
// out_cells hold records to overwrite. consume: in_cells belong to the
// call; in_place: out_cells are in_cells. For the inverse out_cells end
// holding A^-1; a singular matrix is error 44 (determinant 0 otherwise).
void standard_matrix_invert(quoly** det_slot, int32_t n, polynode* fct_list, int out_filled, quoly** in_cells,
                            quoly** out_cells, int want_inverse, int consume, int in_place, det_hub* hub);
