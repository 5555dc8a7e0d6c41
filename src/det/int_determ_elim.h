// The integer determinant by elimination, for bounds beyond the prime
// tables: phase one of the Smith form (row and column operations) on a
// private copy of the cells, either modulo a power of two above |det|
// (pseudo mode) or exactly on the leading pivots (plain mode), the rest
// through the determinant hub.
#pragma once
#include <cstdint>

#include "storage/records.h"

// *result := det of the n x n integer cells (column-major; only read).
// plain: no modulus; pivots 0 .. limit are eliminated, the trailing
// (n - limit - 1)-square block goes to the hub. Otherwise limit is n - 1 and
// every step works modulo 2^e > |det| (e a multiple of 28, from the cells'
// size bound), the sign settled by the determinant modulo one table prime.
void int_determ_elimination(quoly** result, quoly** cells, int32_t n, bool plain, int32_t limit);
