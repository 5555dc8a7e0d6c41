// Pivots over relations that the prime splits: the ring is a product of
// copies of Z/p (one for each choice of roots), and an entry that vanishes
// in some copy is no pivot to divide by. The eliminations mend such a pivot
// copy by copy with idempotents, which leave the other copies alone.
#pragma once
#include <cstdint>

#include "storage/records.h"

// The copies in which q vanishes, bit k for the k-th choice of roots (none
// for a number); false when no split applies.
bool vanishing_copies(quoly* q, uint64_t* where);

// A new quoly: 1 in the given copies, 0 in the others; null when no split
// applies.
quoly* idempotent_quoly(uint64_t copies);

// *det := 0 in the given copies, as it is where a column vanished whole.
void cut_dead_copies(quoly** det, uint64_t dead);
