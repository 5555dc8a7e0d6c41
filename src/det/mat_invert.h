// The one entry of every determinant and inverse of a square matrix: it
// looks at the cells, the ground ring and the cut-off switches and hands
// the work to one method. The dense fraction-free (Gauss-Bareiss)
// elimination is carried out here.
//
// Switch variables read: detcutoff (&D: minors cut-off; 0 plain
// elimination), gauss_cutoff (&K: 1 fraction-free), rat_det_method_cut
// (&L: interpolation methods), mod_matrix_ok (&I).
//
// The entry points the array statements call:
//   determinant: result := 1, then mat_invert(cells, nullptr, 0, 0, n,
//     &result, 0, 0, &frame, factor, degree, second_degree, power, 0, count);
//   inverse: mat_invert(cells, dest, 0, 0, n, &result, 1, 0, &frame, ...).
// A stored array is never changed unless in_place is set (a fresh operand).
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

void mat_invert(quoly** cells, quoly** dest, int in_place, int dest_in_place, int32_t n, quoly** result,
                int invert, int same_cells, sparse** sparse_ref, polynode* factor, int32_t degree,
                int32_t second_degree, int32_t power, int factor_removed, int32_t prime_count);

// The sparse interpolation method, which later work provides: until then
// it declines (returns 0) and the hub eliminates. The dense ones are in
// det/poly_det.h.
int sparse_lagrange(sparse* frame, quoly** result, int32_t n, polynode* factor, int32_t degree,
                    int32_t second_degree, int32_t power, int factor_removed, int32_t prime_count);
