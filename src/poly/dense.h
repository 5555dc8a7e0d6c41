// Dense one-variable polynomials mod p: arrays of residues indexed by
// exponent (word i is the coefficient of x^i, in 0 .. modulus-1), the work
// arrays they live in, and the kernels on them: products (schoolbook and
// Karatsuba), sums and differences with shifts, splitting, remainders and
// the Euclid steps.
//
// A routine is given an array and an index range (lo, hi); words outside
// the range are not read. A range is valid when lo <= hi, and for a product
// the word at hi must be non-zero. Degrees are signed; -1 stands for the
// zero polynomial where a routine reports a degree. Every sum follows the
// ground ring (exclusive or in GF(2^8) and GF(2^16)).
//
// Sums and differences write a result range and trim its top index down
// past zero words, never below its low index. Unless a routine says
// otherwise the result array may be the first operand's array.
//
// Products and sums work in caller-given arrays and in the dense scratch, a
// stack of word blocks reserved by init_poly_work_arrays() that the
// Karatsuba recursion takes its per-level arrays from (a level's arrays are
// given back when it returns or unwinds). Products that fit the work arrays
// allocate nothing; larger ones add scratch blocks, kept for later use.
#pragma once
#include <cstddef>
#include <cstdint>

// ---- work arrays ----
constexpr int32_t DENSE_WORDS = 22009;   // words of xx, yy, zz: exponents 0 .. 22,008
constexpr int32_t POLY2_SIDE = 701;      // rows of x2, y2, z2 and words per row

extern int32_t fast_gcd_size;            // 22,008: largest degree the dense arrays hold
extern uint32_t* xx;                     // DENSE_WORDS words each; scratch within one call
extern uint32_t* yy;
extern uint32_t* zz;
extern uint32_t (*x2)[POLY2_SIDE];       // POLY2_SIDE rows: row i holds the inner
extern uint32_t (*y2)[POLY2_SIDE];       // coefficients of the i-th power of the
extern uint32_t (*z2)[POLY2_SIDE];       // outer variable

// Allocates xx, yy, zz, x2, y2, z2 (cleared) and the dense scratch on the
// heap; called once at start-up, later calls change nothing.
void init_poly_work_arrays();
// Words the dense scratch holds at present (it grows only when a product
// larger than the work arrays needs more).
size_t dense_scratch_capacity();

// ---- products ----
// Karatsuba for spans of at least poly_cutoff. z[xlo+ylo .. xhi+yhi] := x * y
// (z must not be x or y). Leading zero words of an operand are skipped and
// give zero result words. An operand of zero words only is a fatal internal
// error ("bad exps in fast_array_onevar_mult.").
void fast_array_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo,
                            int32_t xhi, int32_t ylo, int32_t yhi);
// As fast_array_onevar_mult when both top words are non-zero, returning
// xhi + yhi; else z[0] := 0 and returns 0.
int32_t fast_0_array_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo,
                                 int32_t xhi, int32_t ylo, int32_t yhi);
// Schoolbook convolution z[xlo+ylo .. xhi+yhi] := x * y; plain remainders
// below 65,536 outside characteristic 2, else slower_onevar_mult. A zero top
// word or a reversed range is a fatal internal error.
void onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo, int32_t xhi,
                 int32_t ylo, int32_t yhi);
// Schoolbook with modmult and mod_add for every product (any modulus).
void slower_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo,
                        int32_t xhi, int32_t ylo, int32_t yhi);
// z[0 .. dx+dy] := x[0 .. dx] * y[0 .. dy], row by row with modmult and mod_add.
void simple_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t dx, int32_t dy);

// ---- sums and differences ----
// r := a + b over [alo .. max(ahi, bhi)], a's range starting first (alo <= blo);
// a gap between the ranges is zero-filled. r may be a or b.
void onevar_add(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t alo, int32_t ahi,
                int32_t blo, int32_t bhi, int32_t* rhi);
// r := a - b, both ranges starting at lo. r may be a or b.
void onevar_sub(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t lo, int32_t ahi,
                int32_t bhi, int32_t* rhi);
// r := a + b * x^shift: b[lo .. bhi] lands on r[lo+shift .. bhi+shift]. r may be a, not b.
void onevar_add_shift(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t lo, int32_t ahi,
                      int32_t bhi, int32_t shift, int32_t* rhi);
// r := a - b / x^shift: b[lo+shift .. bhi] lines up with a[lo ..]. An empty a
// (ahi = lo - 1) is a fatal internal error. r may be a, not b.
void onevar_sub_shift(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t lo, int32_t ahi,
                      int32_t bhi, int32_t shift, int32_t* rhi);
// The sum of the two halves of a[lo .. hi] split at lo + m: the low half
// a[lo .. *top] (*top on entry: its trimmed top, lo - 1 when empty) plus the
// high half a[lo+m .. hi] moved down by m, into r[lo ..]; *top := the sum's
// top index. r may be a.
void onevar_self_add(const uint32_t* a, uint32_t* r, int32_t lo, int32_t hi, int32_t m,
                     int32_t* top);
// Splits a (degree *da) at m: hi_part[0 .. *da-m] := a[m .. *da], *dh := *da - m,
// *da := the degree of the low part a[0 .. m-1] (-1 when it is all zero).
// When m > *da: hi_part[0] := 0 and *dh := 0. m = 0 is a fatal internal error.
void onevar_split_poly(const uint32_t* a, uint32_t* hi_part, int32_t m, int32_t* da, int32_t* dh);

// ---- remainders and Euclid steps ----
// x := x mod y in place; *dx := the remainder's degree (-1 when it vanished);
// *zero := 1 when the remainder is 0. A constant y leaves x[0] = 0, *dx = 0.
// A zero y is a fatal internal error.
void onevar_array_mod(uint32_t* x, const uint32_t* y, int32_t* dx, int32_t dy, int32_t* zero);
// The same, and q[0 .. *dq] := the quotient (*dq = initial dx - dy; q[0] = 0,
// *dq = 0 when dx < dy).
void onevar_array_div_mod(uint32_t* x, const uint32_t* y, uint32_t* q, int32_t* dx, int32_t dy,
                          int32_t* dq, int32_t* zero);
// One remainder step for *dx = dy + 1 (two quotient words at once).
void onevar_one(uint32_t* x, const uint32_t* y, int32_t* dx, int32_t dy, int32_t* zero);
// As onevar_one; q[0] := q0, q[1] := q1 (residues), *nq := 1, the quotient's degree.
void onevar_one_div(uint32_t* x, const uint32_t* y, uint32_t* q, int32_t* dx, int32_t dy,
                    int32_t* nq, int32_t* zero);
// Euclid on x[0 .. *dx] and y[0 .. *dy] (both destroyed). Returns 1 when
// the gcd is left in x (degree *dx; *dy := 0), 0 when it is left in y
// (degree *dy; *dx := 0). A constant gcd is reported with degree 0.
int euclid_total(uint32_t* x, uint32_t* y, int32_t* dx, int32_t* dy);
