// The gcd of two one-variable polynomials over the current prime field
// (modular mode, GF(2^8) and GF(2^16) included), on term lists of the
// one-level modular shape of poly/modmult.h: Euclid in the dense work
// arrays xx and yy up to degree fast_gcd_size, the list half-gcd above.
//
// Operands are kept. Result slots are copy-then-free: the result is built
// completely, then the slot's old value freed (the slot may be an operand's).
// A gcd of 1 is the constant 1; a non-zero constant remainder always gives
// 1, never that constant.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// Pairs whose degree sum is at most this are not stashed (100 from start-up).
extern int32_t small_gcd_stash_cut;

// The dense Euclid's record. On exit flag 1 means the gcd has positive
// degree and lies in xx with degree deg_xx, unless deg_xx is -1: then it
// lies in yy with degree deg_yy. Flag 0: the gcd is 1.
struct DenseGcdState {
    int32_t deg_yy;
    int32_t deg_xx;
    int32_t flag;
};

// u and v are not numbers (a number is the fatal internal error " number in
// basic_poly_gcd "). A single-term operand takes the monomial rule; else the
// dense Euclid (fastest_poly_gcd up to modulus 65,534, faster_poly_gcd
// above) when both degrees are at most fast_gcd_size, the half-gcd
// otherwise. make_monic non-zero makes the result monic. While stashing is
// on (lookupgcd > 0) large pairs are memoised in the gcd stash: a hit
// returns the stored gcd as it was stored.
void basic_poly_gcd(polynode* u, polynode* v, polynode** result, int make_monic, pt* var);
// Dense Euclid in xx and yy (emgcd_poly when a degree reaches fast_gcd_size).
// fastest: the array remainders of simple_onevar_gcd, table products in
// GF(2^8); faster: modmult for every product.
void fastest_poly_gcd(polynode* u, polynode* v, polynode** result, int make_monic, pt* var);
void faster_poly_gcd(polynode* u, polynode* v, polynode** result, int make_monic, pt* var);
// The half-gcd route: first non-zero on the outer call. The result is not made monic.
void emgcd_poly(polynode* u, polynode* v, polynode** result, pt* var, int first);
// The dense Euclid on xx and yy with the degrees in the record (both
// non-negative, the arrays non-zero); fills the record, returns its flag.
int simple_onevar_gcd(DenseGcdState* state);
