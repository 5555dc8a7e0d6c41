// Rewriting big integers in radix 10^8 for printing, and the radix-10^8
// arithmetic the conversion needs. A radix-10^8 number uses the `imag`
// layout of a digit number (head most significant, tail, count), with every
// digit in 0 .. 10^8 - 1 and a non-zero head unless the number is zero.
//
// Signs: the conversions write abs(n); the caller prints the sign. The
// products and sums accept signed chains whose digits all carry the sign of
// their number, as digit numbers do.
//
// Result records: copy-then-free. Every routine reads its operands first and
// then writes the result into the result record, reusing its old nodes and
// giving back the rest, so the result may be an operand's record. Operands
// are only read. Digit-chain routines: callers test the modes.
#pragma once
#include <cstdint>

#include "storage/records.h"

constexpr int32_t TEN_8 = 100000000;   // the printing radix

// Numbers of more than this many base-2^28 digits are worth converting by
// divide and conquer (verybig_base_10); shorter ones by make_base_10.
constexpr int32_t BASE10_VERYBIG_CUT = 15;

// base_10_fast_mult splits only operands of at least this many radix-10^8
// digits each. The schoolbook rows are vectorised 64-bit multiply-adds, so
// below this the three half-size products and their additions cost more
// than the rows they save (measured: 11 made conversions 1.7 times slower).
constexpr int32_t BASE10_KARATSUBA_CUT = 48;

// From this many radix-10^8 digits in the shorter operand,
// base_10_fast_mult runs the number-theoretic transforms of the base-2^28
// products instead of Karatsuba; settable so that tests can force the path.
extern int32_t base10_ntt_cut;

// out := abs(n) in radix 10^8, by repeated division by 10^8. n is a digit
// number (base 2^28) and is left as it was.
void make_base_10(imag* n, imag* out);

// out := abs(N) in radix 10^8, where N is the number whose base-2^28 digits
// are the len nodes from head to last (a whole number or a sub-chain; leading
// zero digits allowed). Divide and conquer with the powers of 2^28 in
// `two_28`, which must be loaded. The chain is only read.
void verybig_base_10(numnode* head, numnode* last, int32_t len, imag* out);

// out := the number whose radix-10^8 digits are limbs[0 .. n), least
// significant first (each below 10^8), as a non-negative digit number
// (outside machine-integer mode). Divide and conquer above a few dozen limbs.
void number_from_base_10(const uint32_t* limbs, int32_t n, imag* out);

// c := a * b in radix 10^8: transforms for the longest operands, Karatsuba
// for long operands of similar length, else base_10_multiply.
void base_10_fast_mult(imag* a, imag* b, imag* c);
// c := a * b in radix 10^8, schoolbook.
void base_10_multiply(imag* a, imag* b, imag* c);
// out := x * d for a radix-10^8 number x and one digit d, abs(d) < 10^8.
void simp_base_10_mult(imag* x, int32_t d, imag* out);

// c := a + b for digit chains in radix R (10^8 or 2^28; any R <= 2^28).
void summ(imag* a, imag* b, imag* c, int32_t R);
// c := A - b in radix R, A being the alen digits that start at node a.
void diff(numnode* a, int32_t alen, imag* b, imag* c, int32_t R);
