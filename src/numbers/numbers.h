// Numbers: big integers as signed chains of base-2^28 digits, and the same
// records read as one machine word in machine-integer and modular mode.
//
// Invariants of the big-integer form: every digit lies strictly between
// -2^28 and 2^28 and carries the number's sign; the head digit is non-zero
// unless the number is zero; zero is one digit 0 with count 1.
//
// Result records are written after the new chain is built and the record's
// old chain given back, so a result may be an operand's record unless a
// routine says otherwise. Routines named for digit chains (the kernels)
// work on digits only; their callers test the modes.
#pragma once
#include <cstdint>

#include "storage/records.h"

constexpr int32_t DIGIT_BITS = 28;
constexpr int32_t DIGIT_BASE = 1 << 28;        // 2^28
constexpr int32_t DIGIT_MASK = DIGIT_BASE - 1;

extern int32_t ones[32];      // entry k = 2^k - 1
extern imag* number_1;        // 1, as digit chain and value word
extern imag* number_m1;       // -1, likewise
extern imag* num_2_14;        // 2^14 as one digit

// Fills ones, number_1, number_m1 and num_2_14 (idempotent; needs the stashes).
void init_number_constants();
// The number kernels' work buffers of this thread given back to the heap
// (after a statement abandoned for want of memory: a buffer sized for it
// would hold that memory for good).
void release_number_scratch();

// A fresh number record owning no digits (count 0).
imag* new_number();

// ---- assignment and conversion ----
void setvalue(int32_t v, imag* x);              // splits at 2^28 in digit mode; no reduction
void special_set(int32_t d, imag* x);           // one digit d, no mode test
void special_set_2(int32_t u, int32_t v, imag* x);  // x := u * v as digits
void num_assign(imag* a, imag* c);              // c := a
void spec_num_assign(imag* a, imag* c);         // digit copy even in machine-integer mode
void fast_assign(numnode* p, int32_t n, imag* c);      // c := n digits from p
void fast_num_assign(numnode* p, int32_t n, imag* c);
void faster_num_assign(numnode* p, int32_t n, imag** slot);  // new record, or null for zero
void makeneg(imag* a, imag* c);                 // c := -a
void in_place_neg(imag* x);
void abs_val_num(imag* a, imag* c);
void fillout(imag* x, int32_t k);               // x := x * 2^(28k)
// A fresh digit number holding w (at most five digits; 0 as one digit 0).
imag* int128_number(__int128 w);
// A fresh digit number holding sign * w, w the magnitude in n 64-bit words,
// least significant first (leading zero words allowed; 0 as one digit 0).
imag* words_number(const uint64_t* w, int32_t n, int sign);
// The digit number n modulo p (2 <= p < 2^31), in 0 .. p - 1.
int32_t chain_residue(const imag* n, int32_t p);
void special_free(imag* x);                     // gives back the chain, count := 0

// ---- tests and comparisons (0 or 1) ----
int iszero(imag* x);
int is_longint(imag* x, int32_t v);
int equal(imag* a, imag* b);
int spec_equal(imag* a, imag* b);
int negtive(imag* a, imag* b);                  // a = -b
int equal_to_pm1(imag* x, int* m1);
int is_product_of(imag* x, int32_t u, int32_t v);
int bigger(imag* a, imag* b);
int pos_bigger(imag* a, imag* b);
int fast_bigger(numnode* p, numnode* q, int32_t la, int32_t lb);
int equal_which(imag* a, imag* b, int* gt);
int int_abs_bigger(imag* a, imag* b, int tie);
int abs_larger(imag* a, imag* b);
int larger_number(imag* a, imag* b);

// ---- shifts of non-negative digit numbers, in place ----
void shift_right_1(imag* x);
void shift_right_2(imag* x);
void gen_shift_right(imag* x, int32_t k);       // 1 <= k <= 27
void shift_right(imag* x, int32_t k);
void shift_left(imag* x, int32_t k);

// ---- size tests ----
int32_t logg2lint(int32_t v);                   // highest set bit of |v|, -1 for 0
int32_t number_mass(quoly* q);
int power_of_two(uint32_t v);
int oversize(int32_t x, int32_t y);             // x * y > 1,000,000
int sparse_oversize(int32_t x, int32_t y);      // x * y >= 2^31

// ---- addition and subtraction (digit kernels, except sub) ----
void fastsum(imag* a, imag* b);                 // a := a + b in place
void fastdiff(imag* a, imag* b);                // a := a - b in place
void medsum(int32_t la, int32_t lb, numnode* pa, numnode* pb, imag* c);   // c := A + B, fresh chain
void meddiff(int32_t la, int32_t lb, numnode* pa, numnode* pb, imag* c);  // c := A - B
void sub(imag* a, imag* b, imag* c);            // c := a - b in every mode

// ---- multiplication (digit kernels) ----
void simp_mult(imag* a, imag* c, int32_t k, numnode** penult);  // c := a * k, |k| < 2^28
void multiply(imag* a, imag* b, imag* c);       // schoolbook; c may be a or b
void fast_mult(imag* a, imag* b, imag* c);      // Karatsuba above multcut

// ---- division (digit kernels) ----
void simp_divide(numnode* pa, int32_t la, imag* b, imag* q, imag* r);
void simp_divide_noq(numnode* pa, numnode* pb, numnode* tb, int32_t la, int32_t lb, imag* r);
void pos_divide(imag* a, imag* b, imag* q, imag* r);        // a >= 0, b > 0
void pos_divide_noq(numnode* pa, numnode* pb, numnode* tb, int32_t la, int32_t lb, imag* r);
void divide(imag* a, imag* b, imag* q, imag* r);            // truncating; b = 0 does nothing
int32_t quotient_of(imag* a, int32_t k);
int32_t modout(imag* a);                        // a rem modulus, sign of a
void fast_modout(imag* a, imag* b);

// ---- gcd and square root ----
int32_t smallgcd(int32_t u, int32_t v);         // gcd of machine integers; gcd(0, v) = |v|
void binary_gcd(imag* a, imag* b, imag* c);     // c := gcd >= 0; a, b restored
void gcd(imag* a, imag* b, imag* c);            // Euclid; a, b restored
void extgcd(imag* a, imag* b, imag* g, imag* a1, imag* b1, int* one);
void gcdnum(quoly** q1, quoly** q2);
void int_sqrt(imag* a, imag* r, int keep);      // r := floor(sqrt(a)), a >= 0
