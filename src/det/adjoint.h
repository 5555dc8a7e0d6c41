// The adjoint (transpose of the cofactor matrix, A adj(A) = det(A) I) of a
// dense square matrix, by one of three methods chosen from the cells:
//   - integers: the multimodular method (mod_matrix_inv) when det(A) != 0;
//   - rational functions, or residues: det(A) A^-1;
//   - polynomials, and singular matrices: cofactors as determinants.
// Each method is offered on its own too, so that they can be compared.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// out_cells (n x n, column-major, holding nothing to free) := adj(A).
// consume: A's cells belong to the call and may be moved into out_cells
// (A's slots are then null; they are put back when the method falls back).
// Error 62 for integers in machine-integer mode without a modulus.
void adjoint(quoly** a_cells, quoly** out_cells, int consume, int32_t n, sparse** sparse_slot);

// det(A) A^-1, falling back on cofactors when det(A) = 0; over relations
// without the field flag both are formed with the relations at rest and
// only the cells reduced.
void adjoint_by_inversion(quoly** a_cells, quoly** out_cells, int consume, int32_t n, sparse** sparse_slot);
// The cofactors, each the determinant of A with one row and column cleared
// but for a 1 where they cross. A is not changed.
void adjoint_by_cofactors(quoly** a_cells, quoly** out_cells, int32_t n, sparse** sparse_slot);
