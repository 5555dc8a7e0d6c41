// One number applied to every numeric leaf of a polynomial, in place:
// division (content removal, making monic), multiplication by a residue or
// an integer, the integer content of polynomials and quolys, making a pair
// monic, and the test that two polynomials differ by a constant factor.
//
// These are the inner loops of division, gcd, Chinese remaindering and
// determinants. Every routine walks the term lists and rewrites only the
// numbers: term lists, exponents and shapes stay as they are, and a null
// polynomial is left alone. Residues are rewritten in their value word, big
// integers in their own digit records; nothing is allocated per leaf.
//
// A multiplier or divisor must not annihilate a leaf (0, or a zero divisor
// of a composite modulus): the shape is not repaired afterwards, so a zero
// leaf would stay behind as a zero term.
#pragma once
#include <cstdint>

#include "storage/records.h"

// ---- division ----
// in place. Every leaf of p divided by d. Modular mode: times the inverse of
// d, inv being that inverse or 0 when not yet known (d = 0 is the fatal
// "bad seca.", a d without inverse error 85). Machine integers: truncating
// quotient. Big integers: exact division; an inexact leaf reports "non-0
// rem, num_poly_quot" and keeps its truncated quotient. d = 1 does nothing;
// outside modular mode d = 0 is error 22, which leaves p as it was should
// it return.
void num_poly_quot(polynode* p, imag* d, int32_t inv);
// in place. a := a / b as num_poly_quot does for one leaf; in modular mode
// inv is the inverse of b (0: computed here); a is left as it was when
// error 22 returns.
void simple_quot(imag* a, imag* b, int32_t inv);

// ---- multiplication by a residue (modular mode) ----
// in place. Every leaf times x; x = 1 does nothing; x outside 0 < x <
// modulus prints "bad x in mod_num_poly_mult, x, modulus" and is the fatal
// "bad x in mod_num_poly_mult.".
void mod_num_poly_mult(polynode* p, int32_t x);
// in place. Every leaf times x, no check and no shortcut.
void sub_mod_num_poly_mult(polynode* p, int32_t x);
// in place. The same product, for the Chinese-remainder and modular-method code.
void mod_mult_num(polynode* p, int32_t x);
// in place. Prime moduli: every leaf c := c * x mod modulus for any 64-bit x
// (reduced first, so the product cannot overflow); no field tables.
void fast_mod_num_poly_mult(polynode* p, int64_t x);

// ---- multiplication by a number (every ground ring) ----
// in place. Every leaf times n (machine integers wrap in 32 bits, as every
// machine-integer product does).
void mult_num(polynode* p, imag* n);
// in place. As mult_num; nothing when n is 1.
void rat_number_mult(polynode* p, imag* n);
// in place. As mult_num; nothing when n is 1.
void num_poly_mult(polynode* p, imag* n);
// c := a * b for one-word values (c may be a or b). Big integers: one-digit
// a and b, the product written as the digits it needs.
void int_mult(imag* a, imag* b, imag* c);

// ---- monic pairs (modular mode) ----
// in place. u and v each divided by its leading number, whose old value goes
// to *lead_u, *lead_v (1 for a null polynomial). A zero leading number is
// the fatal "bad seca.", one without inverse error 85.
void monic_coefs(polynode* u, polynode* v, int32_t* lead_u, int32_t* lead_v);

// ---- integer content ----
// g := the gcd of the absolute values of p's leaves (0 < g); stops as soon
// as it reaches 1. The zero polynomial reports "0 in find gcd coefs." and
// gives 1. Residues have content 1; machine integers the gcd of the words.
void find_gcdcoefs(polynode* p, imag* g);
// g := gcd(g, every leaf of p) for a non-zero g. Returns 1 when it stopped
// because g reached 1 (the caller stops too), else 0.
int find_gcd(polynode* p, imag* g);
// in place. A polynomial quoly's numerator and denominator divided by their
// common integer content. For big integers; other quolys, and a zero
// numerator (whose caller makes the value 0), are left alone.
void sanitize(quoly* q);
// Result slot: copy-then-free (out may be &p). out := one number node holding
// the integer content of p (1 in machine-integer and modular mode).
void gcd_coefs(polynode* p, polynode** out);

// ---- equality up to a constant ----
// 1 when u = c v for a unit c: c = +-1 over the integers, any non-zero
// residue modulo a prime or in a characteristic-2 field; machine integers
// (and composite moduli) always give 0. A zero v modulo a prime is the
// fatal "bad seca.".
int essentially_equal(polynode* u, polynode* v);

// How check_all compares leaves.
enum class CheckMode { equal, negated, times };
struct CheckContext {
    CheckMode mode;
    int32_t ratio;      // times: every leaf of u is ratio times v's
};
// 1 when u and v have the same structure and their leaves match by the
// context's mode, 0 at the first mismatch.
int check_all(polynode* u, polynode* v, const CheckContext& ctx);
