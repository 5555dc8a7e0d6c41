// One stored value reduced by a relation that is being declared: the
// relation is not in its variable's record yet, so it is passed in.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// in place. *q reduced modulo the relation of the variable at `level`
// (degree n, record rec): relation, full and powers are what goes into the
// record's relation, binomial and reductions slots, put there only while
// the reduced value is brought back into normal form, with rec a field
// level when `field` is set. A plain number is
// left as it is; a denominator that becomes 0 makes *q the number 0 with
// two warning lines.
void mod_out_quoly(quoly** q, polynode** relation, polynode** full, polynode** powers, int32_t level, int32_t n,
                   pt* rec, bool field);
