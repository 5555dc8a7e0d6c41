// Determinants of dense polynomial matrices by evaluation and interpolation:
// modulo the current prime one variable at a time (the other variables by
// the hub again, on the evaluated matrix), and over the integers prime by
// prime with Chinese remaindering. The hub (mat_invert) calls them when
// switch L is 1; every method that declines returns 0 and leaves the
// matrix and `result` for the hub's elimination.
//
// Cells: n x n quoly pointers, column by column, no denominators. depth:
// the level of the outermost variable occurring (16384: none). factor: a
// polynomial known to divide the determinant (null: none); the answer in
// *result is the determinant divided by it. degree: a bound for the degree
// of the determinant in the variable of level depth (negative: estimated).
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

extern int32_t lagrangedepth;         // nesting of the modular method (0 at rest)
extern int32_t lagrangecut;           // its limit (10)
extern int32_t neg_exponent_warning;  // refusals for negative exponents so far

// Modular arithmetic on: 1 with the determinant in *result, 0 declined.
// Errors 304 (no point where the factor is non-zero) and 305 (a factor
// in outer variables, or not constant when no variable occurs).
int mod_poly_determ(quoly** cells, int32_t depth, int32_t n, quoly** result, int laurent_on, polynode* factor,
                    int32_t degree);
// Integer arithmetic: the same over Z, the answer checked at a random
// point modulo a prime it did not use before it is taken.
int rat_poly_determ(quoly** cells, int32_t depth, int32_t n, quoly** result, int laurent_on, polynode* factor,
                    int32_t degree);
// Modular arithmetic with a modulus too small for the points: the
// determinant over Z of the matrix read as integers 0 .. p - 1, reduced
// modulo p. The cells are left as they were.
int use_rat_poly_det(quoly** cells, int32_t depth, int32_t n, quoly** result);

// The degree bound the modular method uses when none is given: max-plus
// elimination of the matrix of the cells' degrees in the variable of level
// depth (2 when a row or column has no entry).
int32_t poly_det_degree_bound(quoly** cells, int32_t n, int32_t depth);
// The same on a degree matrix given row-major; absent entries < 0.
int32_t max_plus_degree_bound(std::vector<int64_t> deg, int32_t n);
