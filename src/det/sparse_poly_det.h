// Determinants of sparse polynomial matrices by evaluation and
// interpolation: modulo p one variable at a time (the inner variables by
// the hub again, on the evaluated sparse copy), the two-point method of
// characteristic 2, and over the integers. The dispatcher sparse_lagrange
// is declared in det/mat_invert.h; it reads the user's hints.
//
// Every method that declines returns 0 and leaves the matrix and *result
// for the hub's elimination. Hints are trusted: a false factor, degree
// bound or power gives a wrong value.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// Calls of the integer method under way (their images are not the user's).
extern int32_t sparse_integer_depth;

// Modular arithmetic: 1 with the determinant (divided by factor; with a
// usable power the k-th root, or g with det = g(X^k)) in *result, 0
// declined. e: the inverse of the power modulo the group order (0: none).
// Errors 263, 304, 305.
int sparse_mod_poly_determ(sparse* frame, int32_t depth, int32_t n, quoly** result, polynode* factor,
                           int32_t degree, int32_t second_degree, int32_t power, int64_t e, int one_var,
                           int degree_has_factor);
// Characteristic 2 when every variable satisfies x^2 + x = 0: the
// determinant is of degree at most 1 in each variable and two evaluations
// (at 0 and 1) decide it. Error 354 for a value other than 0 or 1.
int sparse_mod2_poly_determ(sparse* frame, int32_t depth, int32_t n, quoly** result, int one_var);
// A bound for the determinant's degree in the variable of level depth.
int32_t compute_degree_1(sparse* frame, int32_t n, int32_t depth);
// One interpolation node to the output file: "co[i] := value;" and
// "poly[i] := w L(X);" (the array declarations before node 0), so that
// reading the file back and summing co[i] poly[i] gives the determinant.
void stash_mod_lagrange(quoly* value, const std::vector<uint32_t>& L, uint32_t w, int32_t i, int32_t D,
                        int32_t depth);
// Integer arithmetic: the determinant over Z (divided by factor).
int sparse_rat_poly_determ(sparse* frame, int32_t depth, int32_t n, quoly** result, polynode* factor,
                           int32_t degree, int32_t second_degree, int32_t power, int32_t prime_count);
// Modular arithmetic with a modulus too small for the points: the
// determinant over Z of the matrix read as integers, reduced modulo p.
int use_sparse_rat_poly_det(sparse* frame, int32_t depth, int32_t n, quoly** result);

namespace polydet {
// The exponent of the level `level` in p's top term there (0 when p does
// not reach it); error 305 when an outer level than `level` occurs.
int32_t factor_degree_at(const polynode* p, int32_t level);
// The largest exponent of the level `level` anywhere in p (p's own chain
// at level `from`).
int32_t max_exponent_at(const polynode* p, int32_t from, int32_t level);
}  // namespace polydet
