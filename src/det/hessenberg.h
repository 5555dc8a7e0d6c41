// Characteristic polynomials of dense matrices of numbers through the upper
// Hessenberg form, reached by similarity transforms: n^3 operations over
// any field, where one determinant per interpolation point costs n^4. Over
// the integers the same modulo word primes, joined by Chinese remaindering
// under a bound on the coefficients.
#pragma once
#include <cstdint>
#include <vector>

#include "det/word_arith.h"
#include "storage/records.h"

// c[0 .. n] := det(xI - A), c[i] the coefficient of x^i (c[n] = 1), for the
// n x n residues a modulo the prime, row-major (a is destroyed).
void hessenberg_charpoly(std::vector<uint32_t>& a, int32_t n, const wordmod::Prime& P, std::vector<uint32_t>& c);
// The same in GF(2^8) or GF(2^16), the field now in force.
void hessenberg_charpoly_field(std::vector<int32_t>& a, int32_t n, std::vector<int32_t>& c);

// *result := det(A - xI), x the first polynomial variable, for the n x n
// column-major cells of numbers: residues modulo the prime modulus or
// elements of GF(2^8)/GF(2^16) in modular mode, integers outside it (not
// in machine-integer mode). The cells are only read.
void hessenberg_chpoly(quoly** cells, int32_t n, quoly** result);
// *result := det(A - xI) under a composite modulus, for cells of residues:
// over the integers of their representatives, then reduced, since the
// determinant of A - xI there meets pivots without inverses.
void composite_chpoly(quoly** cells, int32_t n, quoly** result);
