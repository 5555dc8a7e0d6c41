// Exact determinants of dense integer matrices through residues: the
// elimination modulo one prime, Chinese remaindering over as many primes as
// the size bound needs, and that bound.
//
// Cells are n x n column-major quoly pointers holding integers (residues in
// mod_determ). These routines run in integer mode.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// The value word of result's number := value x det(cells) modulo the
// current modulus; the cells' residues are read from their value words and
// may be destroyed. Under a modulus that is not prime a column whose
// non-zero residues are all zero divisors is error 85.
void mod_determ(quoly** cells, int32_t n, quoly* result);
// value x det modulo the current modulus of the n x n residues a, row-major
// (a is destroyed); as mod_determ, error 85 under a composite modulus.
int32_t eliminate_mod(std::vector<uint32_t>& a, int32_t n, int32_t value);

// A Hadamard-type bound B = 2^e > |det| for the rows x cols matrix of an
// array record (array, cells null) or of cells. Uninitialised array cells
// become 0 with the warning. *total := the sum of the entries' bit sizes;
// *small := whether the matrix counts as small for its size (weighted by
// fsmallsize, else by smallsize); whole raises e to a multiple of 28.
void find_pseudo(array* a, quoly** cells, imag* B, int* small, int32_t rows, int32_t cols, int32_t* total,
                 int weighted, int whole);
// The same over the rows of a sparse matrix.
void sp_find_pseudo(sparse* frame, imag* B, int* small, int32_t rows, int32_t cols, int32_t* total,
                    int weighted, int whole);

// *result := det(cells) by remaindering over primes whose product reaches
// the bound B > |det|: the tables' primes from the sixth on while their
// products reach B, else word primes below 2^31 (as many as B needs). The
// ground ring's globals are not touched.
void small_mod_determ(int32_t n, quoly** result, quoly** cells, imag* B);
// The number of primes small_mod_determ takes for the bound B; *tables
// (when given) := whether they are the tables' primes.
int32_t remaindering_primes(imag* B, bool* tables = nullptr);

// *result := det of the n x n integer matrix of the array record or of the
// cells (at least one given; neither is changed). *bound holds B, or -1 to
// have it computed (and replaced). Remaindering, except on the roads of
// det/int_determ_elim.h: the plain elimination (exact, mincutoff pivots)
// for a small matrix of small entries whose caller gave a bound beyond 600
// digits, and fraction-free elimination where the bound passes the tables
// and it costs less than the remaindering would. Returns 0.
int int_determ(quoly** result, array* a, quoly** cells, int32_t n, quoly** bound);
