// Minimal polynomials of square sparse matrices of integers or residues by
// projected Krylov sequences: the sequence u·A^s·v for a random vector v and
// a few coordinates u, its recurrence found by a half extended Euclid, and
// over the integers images modulo successive table primes joined by mixed-
// radix remaindering. Each image is the lcm of such recurrences, more of
// them read on all coordinates with random weights until it annihilates A.
// It is a polynomial in the first variable.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// The random vector (0 .. mills_mod - 1, mills_mod = min(modulus, 5)) kept
// between calls; drawn by newmills(1) on first use, redrawn in place by
// newmills(0).
extern int32_t mills_mod;
extern std::vector<int32_t> xmills;
void newmills(int first);

// *result := the minimal polynomial modulo the current prime (monic unless
// constant) of the n x n sparse matrix of residues at first, projected on
// rows[0 .. k-1] (0-based). Requires modular mode.
void mod_Mills(sparse* first, int32_t n, int32_t k, const int32_t rows[5], quoly** result);

// The coefficients (constant first) of the same polynomial for the residue
// rows given (row i: (column, residue) pairs, columns 1-based), in the
// current modular ring; empty when no lcm of recurrences annihilated A in
// many rounds. Shared by mod_Mills and the integer road.
std::vector<int32_t> mills_image(const std::vector<std::vector<std::pair<int32_t, int32_t>>>& rows_of, int32_t n,
                                 int32_t k, const int32_t rows[5]);

// Whether f (coefficients constant first, residues) annihilates the residue
// rows A in the current modular ring: proved on every unit vector unless
// that is costly (a large matrix), then tried on fresh random vectors, enough
// of them that a wrong f passes with likelihood below 2^-64.
bool mills_annihilates(const std::vector<std::vector<std::pair<int32_t, int32_t>>>& A, int32_t n,
                       const std::vector<int32_t>& f);

// The minimal polynomial of the n x n sparse matrix a of plain numbers; k is
// the built-in's projection count (at most 3), bound bounds the absolute
// values of the coefficients (its digit count and leading digit are read).
// On success *result holds the polynomial and *ok is 1; when the bound needs
// more primes than the tables hold *ok is 0 and *result is left alone.
// Errors 252 (cell count not n x n), 253 (n < 8), 254 (an entry that is no
// plain number), 256 (machine-integer mode outside modular mode).
void Mills(array* a, int32_t n, int32_t k, quoly* bound, quoly** result, int* ok);

// The polynomial in the first variable with the given numbers (constant
// first; null entries are zero terms), which it takes over.
quoly* poly_quoly(const std::vector<imag*>& coefs);
