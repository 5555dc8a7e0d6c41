// The adjoint (or inverse) of a dense integer matrix whose determinant and
// an entry bound are known, by inverting it modulo one prime after another
// and joining the images by the Chinese remainder theorem.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// out_cells := adj(A), entries in the symmetric range, or A^-1 (adj / det)
// when divide_by_det is set. in_cells hold integers; their values are kept.
// out_filled: out_cells hold records to be replaced. *det_slot: det(A),
// non-zero; *bound_slot: a positive bound on the adjoint's entries; both
// are freed before the call returns. Primes dividing the determinant are
// passed over. The tables' primes while they reach the bound, else primes
// below 2^31 as many as it needs. Returns 0 (out_cells untouched) only
// when the images would not fit in memory, 1 otherwise. Each prime runs in modular
// arithmetic; the ground ring, command_int and the caller's undo log come
// back on every exit, an error or interrupt included.
int mod_matrix_inv(quoly** in_cells, quoly** out_cells, int out_filled, int32_t n, quoly** det_slot,
                   quoly** bound_slot, sparse** sparse_slot, int divide_by_det);

// The hub's inverse of a dense integer matrix (n >= 4) through the above:
// det(A) first (error 44 when 0), then the adjoint divided by it into dest
// (dest_in_place: dest holds records to replace; dest may be cells).
// Returns 0, nothing written, when mod_matrix_inv gives up.
int adjoint_crt_inverse(quoly** cells, quoly** dest, int dest_in_place, int32_t n, sparse** sparse_ref);
