// Hermite and Smith normal forms of sparse integer matrices, in place on
// the array's own frames, with the four unimodular transforms as sparse
// matrices on request. The results equal the dense forms of the same
// matrix (src/matrix/int_normal.h), entry by entry.
//
// flags[0..3] ask for T0 (R x R), T1 (K x K), T2 = T0^-1 (R x R) and
// T3 = T1^-1 (K x K); each wanted one is built in out[i] (which must be
// empty) and the caller takes the frames. Always T0 x A0 x T1 = the form
// (modulo m before the last step when a modulus is given). Every cell must
// be a plain integer: the caller checks.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Column Hermite form (rows never move, T0 = T2 = I). Returns the rank.
int32_t sparse_int_hermite(array* a, const int flags[4], sparse* out[4]);

// Whether sparse_int_smith finds a's invariants (no transform kept)
// exactly on a dense copy, where no modulus is needed.
bool sparse_invariants_flat(array* a);

// Smith form, exact (m null: returns the rank) or modulo m, a positive
// multiple of the invariants' product: each diagonal entry ends as
// gcd(d, m), at every diagonal position when every_position (a zero there
// becomes m, a new entry), else only where d is not 0 modulo m. Returns the
// number of non-zero diagonal entries. given_m: the progress trace names
// the modulus's size.
int32_t sparse_int_smith(array* a, const int flags[4], sparse* out[4], quoly* m, bool every_position,
                         bool given_m);
