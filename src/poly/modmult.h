// Products of one-variable polynomials with residue coefficients and of
// dense two-variable ones, in modular mode, and the conversions between
// term lists and the dense arrays of poly/dense.h.
//
// A one-variable modular polynomial has the shape of poly/polyvars.h at
// one level: a term of exponent e > 0 carries a one-node number polynomial
// holding its residue, and the exponent-0 term, when present, is a number
// node. The products here are also correct under a composite modulus, where
// coefficient products can vanish: zero terms never reach a result.
//
// Result slots are copy-then-free (the slot may be an operand's) unless a
// routine says otherwise; operands are kept. The list Karatsuba splits its
// operands in place while it works and restores them node for node before
// it returns, also when it unwinds.
#pragma once
#include <cstdint>

#include "poly/dense.h"
#include "storage/records.h"

struct pt;

extern int32_t fast_mult_cut;   // 10: fewer terms in an operand and the product is schoolbook

// ---- one-variable products ----
// res := a * b. la, lb: the term counts of exp_poly_length (negative for a
// sparse operand; la = 0: not yet measured, then both are measured), lasta,
// lastb the last exponents. Chooses among the number cases, the dense
// arrays (modulus above 2, not characteristic 2, degree sum at most
// fast_gcd_size), Karatsuba on the term lists, and the schoolbook product.
void simplest_poly_mult(polynode* a, polynode* b, polynode** res, int32_t la, int32_t lb,
                        int32_t lasta, int32_t lastb);
// Below the list Karatsuba: the dense arrays when both operands are at
// least a quarter full (4 la > deg a, 4 lb > deg b), else the schoolbook.
void fastest_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res);
// Schoolbook: one scaled, shifted copy of the longer operand per term of
// the shorter, each added into the running sum.
void simplest_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res);

// res := a * b by number-theoretic transforms modulo word primes (any
// modulus but the characteristic-2 fields): both operands dense (la, lb
// positive as exp_poly_length gives them) with non-negative exponents and
// at least a few hundred terms each (any two with modp_transform_route 1;
// never with -1). Null when not taken. Operands kept.
polynode* transform_residue_product(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta, int32_t lastb);
extern int32_t modp_transform_route;   // 0: by size (the default), 1: always, -1: never
// a * b for one-variable residue lists in Laurent mode with negative
// exponents (lasta, lastb their last exponents): the operands shifted up to
// exponent 0, multiplied by the one-variable routes, the product shifted
// back; null when a coefficient is not a residue. Operands kept.
polynode* laurent_residue_product(polynode* a, polynode* b, int32_t lasta, int32_t lastb);
// res := a * b for operands in two variables (the top one over
// polynomials in the next, residue coefficients, no negative exponents)
// by Kronecker's substitution x = y^w, w above the product's inner degree:
// one one-variable product of the packed residues by the transforms (the
// dense arrays' Karatsuba in GF(2^8) and GF(2^16)). Taken when both have a
// few hundred monomials and their term products crowd the packed places;
// null otherwise. Operands kept.
polynode* packed_residue_product(polynode* a, polynode* b);

// Dense products through xx, yy, zz; the degree sum must be at most
// fast_gcd_size (a larger one is a fatal internal error).
void k_fastest_poly_mult(polynode* a, polynode* b, polynode** res);   // Karatsuba on the arrays
void fastest_poly_mult(polynode* a, polynode* b, polynode** res);     // schoolbook on the arrays
void faster_poly_mult(polynode* a, polynode* b, polynode** res);      // modmult / mod_add rows

// ---- two-variable product ----
// res := a * b through x2, y2, z2 for polynomials in two variables whose
// outer degrees and whose inner degrees each sum to at most 700 (a larger
// pair is a fatal internal error: the dispatcher checks before it calls).
void fastest_poly2_mult(polynode* a, polynode* b, polynode** res);

// ---- term lists and arrays ----
// arr[0 .. deg p] := the residues of one-variable p, 0 for absent exponents.
void fill_poly_array(polynode* p, uint32_t* arr);
void fill_poly1_array(polynode* p, uint32_t* arr, int32_t* deg);
// Row i of rows := the inner residues of the i-th power of the outer
// variable, rowdeg[i] := their degree (-1 for an absent power), i = 0 .. deg p.
void fill_poly2_array(polynode* p, uint32_t (*rows)[POLY2_SIDE], int32_t* rowdeg);
// Result slot: free-first. The one-variable polynomial with residues
// arr[0 .. n]; zero words at the top are dropped (arr[n] may be 0), and all
// zero gives the number 0. n = 0 with arr[0] = 0 is a fatal internal error.
void array_to_poly(const uint32_t* arr, int32_t n, polynode** res);
// Result slot: free-first. The two-variable polynomial with rows 0 .. n of
// row degrees rowdeg (-1: no term for that power); rows that vanish give no
// term.
void array_to_poly2(uint32_t (*rows)[POLY2_SIDE], int32_t n, const int32_t* rowdeg, polynode** res);

// res := p / c for a one-variable p and a number node c: every residue times
// c's inverse; c = 1 copies p. A non-number c is a fatal internal error.
void fastest_poly_quot(polynode* p, polynode* c, polynode** res);

// ---- mixed-radix cells ----
// Each level record's radix is its mod-out degree d (exponents 0 .. d-1);
// the cell of a monomial is (row - 1) * stride + offset + the sum over the
// levels of e_level times the product of the radices of the levels below.
struct CellLayout {
    int32_t stride;   // cells per row
    quoly** cells;    // the cell array; every cell null or a quoly
};
// cells of p's block := number quolys of p's residues, 0 where p has no term
// (quoly_set: each cell's old quoly is freed). rec: the record of p's level.
void dump_coeffs(polynode* p, int32_t row, int32_t offset, pt* rec, const CellLayout* ctx);
// Result slot: never-free. The polynomial of the block (inverse of
// dump_coeffs); an all-zero block gives the number 0.
void mult_out(polynode** p, int32_t row, int32_t offset, pt* rec, const CellLayout* ctx);
