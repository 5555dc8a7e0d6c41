// Echelon forms of sparse arrays over any ground ring: the reduced row
// echelon form of an augmented matrix and row reduction with full pivoting,
// with their transformation matrices kept sparse. With a prime modulus or
// GF(2^8)/GF(2^16) and numbers only, the residue versions run instead.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// Transforms: flags[i] != 0 asks for transform i; the worker builds it in
// sparse_out[i] (starting from spar_identi(&sparse_out[i], size, 1)) and the
// caller attaches the frames to its output array afterwards.
// sparse_redrowech: [0] L (R x R), [1] L's inverse (R x R).
// sparse_rowreduce: [0] P (R x R), [1] Q (K x K), [2] P2 (R x R), [3] Q2 (K x K).
// Both work on a's frames in place and return the rank. With pseudet set,
// flags[0] asks for the pivot pairs instead of P: pairs_out receives 2 x rank
// values (original row, original column of pivot i), already shifted to the
// index base; limit bounds the pivot count (268,435,456 when none is given).
int32_t sparse_redrowech(array* a, const int flags[2], sparse* sparse_out[2]);
int32_t sparse_rowreduce(array* a, int pseudet, const int flags[4], std::vector<int32_t>* pairs_out,
                         sparse* sparse_out[4], int32_t limit);
