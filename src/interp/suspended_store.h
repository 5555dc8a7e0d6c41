// Values stored while modular arithmetic is suspended (&_m's statement, or
// an exponent, subscript or bound read exactly) are computed in machine
// words that no residue need be. A scalar number keeps its integer, as a
// loop index does, and every reader in the ring takes the element that
// integer stands for; every other stored value (a cell of a dense or sparse
// array, a polynomial or quoly anywhere) enters the ring as it is stored,
// since its readers (display, arithmetic, array built-ins, the save) read
// its words as residues.
#pragma once
#include <cstdint>

#include "storage/records.h"

// slot has just been written; cell: it is an array's cell (dense or
// sparse), not a scalar. Outside such a bracket nothing changes.
void settle_suspended_store(quoly** slot, bool cell);
// The word the integer evaluator writes into an array's cell.
int32_t settle_suspended_word(int32_t v);
// Whether a statement runs with modular arithmetic suspended.
bool modular_suspended();
