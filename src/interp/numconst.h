// Decimal constants. The scanner delivers each digit as a token of its own;
// these readers gather a run of digit tokens into base-10^8 limbs and turn
// the limbs into a number of the current ground ring.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

constexpr int32_t LIMB_BASE = 100000000;   // 10^8: eight decimal digits per limb
constexpr int32_t LIMB_DIGITS = 8;

// Reads the constant whose first digit is token.name[0] and the digit tokens
// that follow it. limbs (scratch: its old chain, when count > 0, is given
// back) receives the limbs most significant first, every limb but the first
// holding exactly eight digits, no leading zero limb unless the constant is
// 0; digits := the number of digit tokens read, leading zeros included. The
// first non-digit token is left in token. Counts are 32-bit, so constants
// of any length are read.
void readin(FILE** source, imag* limbs, name** pending, int32_t* digits);

// Reads the constant as readin does and stores it in result as the ground
// ring requires: the residue in result->value in modular mode, the 32-bit
// word in machine-integer mode (wrapping, with the overflow warning), a
// digit chain otherwise (result's old chain, when count > 0, is given back).
void new_readin(FILE** source, imag* result, name** pending, int32_t* digits);
// The same, and *exact := the integer typed when it fits in 31 bits, else
// INT_DOES_NOT_FIT: a residue stored in modular mode loses what a count
// read from the literal (the factorial's argument) needs.
void new_readin(FILE** source, imag* result, name** pending, int32_t* digits, int32_t* exact);
