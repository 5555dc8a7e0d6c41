// Pivots over relations that the prime splits: the ring is a product of
// copies of Z/p (one for each choice of roots), and an entry that vanishes
// in some copy is no pivot to divide by. The eliminations mend such a pivot
// copy by copy with idempotents, which leave the other copies alone.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// The copies in which q vanishes, bit k for the k-th choice of roots (none
// for a number); false when no split applies.
bool vanishing_copies(quoly* q, uint64_t* where);

// A new quoly: 1 in the given copies, 0 in the others; null when no split
// applies.
quoly* idempotent_quoly(uint64_t copies);

// *det := 0 in the given copies, as it is where a column vanished whole.
void cut_dead_copies(quoly** det, uint64_t dead);

// Where the copies of split field levels are not built, a pivot whose
// leading coefficient is not proved a unit may vanish in a copy unseen, and
// an elimination by it could answer a value wrong there: "Division by
// zero." instead (error 22, the statement abandoned).
void refuse_unproved_pivot(quoly* pivot);

// The dense pivot (k-1, k-1) of the column-major n x n cells w mended so that
// it vanishes in no copy where its column below does not: row k-1 += e x
// row j, e the idempotent of the copies row j serves (a determinant keeps
// its value; with record the step goes on list as row k-1 -= (-e) x row j,
// as an inverse replays it). Returns the copies in which the column
// vanishes whole; unless record, the pivot takes dead_weight (1 when null)
// in them, for the caller to cut them from the determinant at the end.
// Without copies, refuse_unproved_pivot.
uint64_t mend_dense_pivot(quoly** w, int32_t k, int32_t n, quoly* dead_weight, bool record, col** list);

// A fraction-free step divides exactly by the previous pivot, which
// vanishes in no copy once mended; where the copies are the fields of
// irreducible factors its leading coefficient over the free variables may
// still vanish in one ((t^2 + 3t + 4)y + 1 modulo 5 under t^3 - 2), and no
// division over the levels can make it 1. Whether pivot c is such a one:
bool divides_in_copies(quoly* c);

// *s := *s / c taken in each copy and read back (c as above, and *s
// unchanged on false: c does not divide it, or no copies apply).
bool divide_in_copies(quoly** s, quoly* c);

// Over the rationals a relation declared a field may factor (t^2 - 1),
// and no copies show its zero divisors: a fraction-free step by a pivot
// whose leading coefficient is one can answer a determinant wrong (0)
// before any division meets it. Such a pivot is refused as the division
// by it would be ("Division by zero.").
void refuse_rational_field_pivot(quoly* pivot);
