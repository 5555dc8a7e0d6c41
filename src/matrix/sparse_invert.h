// The inverse (or the determinant) of a square sparse matrix of quolys by
// the Leverrier-Faddeev recurrence: n products A x B and no division but
// by the step numbers 2 .. n and, for the inverse, by the determinant at
// the end. The iterates stay sparse while at most half full; past that
// (and n^2 <= 1,000,000) they continue in dense cells.
#pragma once
#include <cstdint>
#include <functional>

#include "storage/other_records.h"
#include "storage/records.h"

// A: the n x n matrix at *a_slot (never changed).
// want_inverse set: the inverse replaces the matrix: *a_slot := the sparse
// inverse, or null with the dense inverse in d_cells (n^2 cells, column by
// column; their old contents are not read). Clear: *det_slot := det(A)
// (old value freed) and *a_slot := null.
// consume: A's frames and values are freed at the end; clear: they stay
// with the caller, who holds them elsewhere.
// Errors, each after every frame, cell and work block taken is given back
// (A then still in *a_slot), and naming "/": 36 before any work when some
// k <= n is not invertible in the ground ring of machine words (n not below
// the modulus, a modulus with a prime factor up to n, or the characteristic
// 2 of GF(2^8) / GF(2^16)); 44 for a singular matrix (inverse only); 88
// when no work block is free at the change to dense cells.
void invert_sparse(sparse** a_slot, quoly** d_cells, int consume, int want_inverse, int32_t n, quoly** det_slot);

// The coefficients of det(xI - A) = x^n + p_1 x^(n-1) + ... + p_n of the
// n x n matrix a (not changed), by the same recurrence: each(k, p_k) for
// k = 1 .. n in turn, the listener owning p_k. d_cells (n^2 cells, or null
// to stay sparse) take the dense iterates; they hold nothing afterwards.
// Errors 36 and 88 as above, naming "Chpoly", everything taken given back
// first.
void sparse_char_coefficients(sparse* a, int32_t n, quoly** d_cells,
                              const std::function<void(int32_t, quoly*)>& each);
