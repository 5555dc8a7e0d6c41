// Residue arithmetic on machine words in the current ground ring, the
// characteristic-2 fields GF(2^8) and GF(2^16) by table look-up, the
// conversions between big integers and residues, and the bracket that
// switches modular mode off for a while.
//
// Residues are unsigned values 0 .. modulus - 1 kept in int32_t value words;
// sums and products are formed in unsigned 32 or 64 bits. p below is
// `modulus`. A modulus of 0 reduces nothing (sums and products wrap in 32
// bits) rather than dividing by zero.
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/records.h"

extern int16_t mod_is_changed;   // open check_modular brackets
extern int alt_form_display;     // symmetric representatives -m .. n (1 at start-up)
extern const char* quotsign;     // "/": the token reported with errors 22 and 85

// Square-root cache: valid for modulus sqrt_mod (-1 = empty), with
// p - 1 = 2^sqrt_s * sqrt_m (sqrt_m odd) and sqrt_c = z^sqrt_m for the
// least non-residue z.
extern int32_t sqrt_mod;
extern int32_t sqrt_m;
extern int32_t sqrt_s;
extern int32_t sqrt_c;

// ---- sums ----
int32_t mod_add(int32_t a, int32_t b, int32_t m);      // a + b mod m; XOR under finf
int32_t mod_sub(int32_t a, int32_t b, int32_t m);      // a - b mod m; XOR under finf
int32_t spec_mod_add(int32_t a, int32_t b, int32_t m); // a + b mod m for any signed b

// ---- products ----
int32_t modmult(int32_t a, int32_t b);       // a * b in the current ground ring
int32_t nmodmult(int32_t a, int32_t b);      // a * b mod p, never the field tables
int32_t spec_modmult(int32_t a, int32_t b);  // a * b mod (p - 1): exponent arithmetic
int32_t mod_mult(int32_t a, int32_t b, int32_t m);  // table product, or a * b mod m in 32 bits

// ---- inverses ----
// While above 0, a residue found to have no inverse unwinds at once with
// TarvexUnwind(85) and prints nothing: a conversion only being tried.
extern int quiet_inverse_failures;
// Error 85 (thrown quietly under QuietInverseFailures) and the statement
// ends: a value that needs an inverse, or a gcd, the modulus lacks.
[[noreturn]] void refuse_without_inverse();
struct QuietInverseFailures {
    QuietInverseFailures() { quiet_inverse_failures++; }
    ~QuietInverseFailures() { quiet_inverse_failures--; }
    QuietInverseFailures(const QuietInverseFailures&) = delete;
    QuietInverseFailures& operator=(const QuietInverseFailures&) = delete;
};
// *r := a^-1 mod p; a = 0 is the fatal internal error "bad seca." (then *r = 0).
void mod_inverse(int32_t a, int32_t* r);
void verse(int32_t* x);                      // x := x^-1 in place, as mod_inverse
// *r := a^-1 mod p; error 85 (token quotsign) when a has no inverse, which
// ends the statement even when the error returns.
void emod_inverse(int32_t a, int32_t* r);
// a^-1 mod p; prints "bad2: a" and raises error 85 when a has no inverse.
int32_t imod_inverse(int32_t a);
// The inverse of the product of the digits of the list (1 for an empty
// list); failure as imod_inverse, with the product printed.
int32_t inverse_prod(numnode* list);
// The inverse of the product over the list of (x - digit) mod p.
int32_t multi_inverse_prod(numnode* list, int32_t x);

// ---- powers and square roots ----
// *r := a^n mod p. The exponent is reduced by the order of the group only
// where that is valid: prime modulus (mod_is_prime) or characteristic-2
// field, and a non-zero base.
void mod_number_power(int32_t a, int32_t n, int32_t* r);
// Euler's criterion: 1 when a^((p-1)/2) = 1, else 0 (a = 1 only, for p = 2).
int its_a_square(int32_t a);
// The square root of a mod the odd prime p lying in 1 .. (p-1)/2; 0 when a
// is 0 or not a square. Fills the square-root cache on a new modulus.
int32_t modular_sqrt(int32_t a);

// ---- conversions ----
// n.value := the residue of the digit number n. With release the chain goes
// back to numhead and count becomes 0. flag: warn about negative values
// going into a characteristic-2 field (with verbose display).
void change_num(imag* n, int release, int flag);
// The element of the ground ring that the machine integer n stands for, as
// a residue: n mod p in 0 .. p - 1; in GF(2^8) and GF(2^16) the element a
// typed constant |n| reads as (field_from_limbs), which a converted number
// gets too. A modulus of 0 leaves n as it is.
int32_t word_residue(int64_t n);
// The residue a decimal constant reads as, from its radix-10^8 limbs, most
// significant first: r := r x (10^8 in the ring) + limb, each limb reduced
// first. In GF(2^8) and GF(2^16) this is the one map from the integers into
// the field: literals, converted values and machine words all take it.
int32_t field_from_limbs(const uint32_t* limbs, size_t count);
// In modular mode the number n becomes an element of the ring: a digit
// chain its residue (the chain released), a machine word its word_residue.
// Outside modular mode nothing changes.
void number_into_ring(imag* n);
// Every number of p (all levels) / of q's numerator and denominator becomes
// the integer its residue stands for, as a digit number: 0 .. p - 1, or the
// symmetric range with alt_form_display outside characteristic 2. In place;
// each number's old chain (count > 0) is given back. Null: nothing.
void poly_change_from_mod(polynode* p);
void quoly_change_from_mod(quoly* q);

// ---- modular-off bracket ----
// *saved := modularmode; when it was on, modular mode goes off (lintmode is
// untouched) and mod_is_changed rises by 1. restore_modular undoes it.
void check_modular(int* saved);
void restore_modular(int saved);
