// The quotient of two polynomial quolys when the caller knows the division
// is exact (fraction-free elimination's divisions by earlier pivots): the
// flat division on word arithmetic, straight from the operands, with none
// of the copies that a division which may fail keeps.
#pragma once
#include "storage/records.h"

// d divides u: *q (an empty slot) := u / d, u and d kept; true. False when
// this road cannot take the pair (numbers, denominators, machine-integer
// mode, Laurent exponents, or a ring or shape the flat division leaves to
// the general one), *q untouched: the caller divides in general.
bool exact_quotient(quoly* u, quoly* d, quoly** q);
