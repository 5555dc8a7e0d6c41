// Evaluation of quolys at values: the postfix '#' of the expression readers.
//
//   p#(3)        3 for the outermost polynomial variable (p#3: one factor)
//   p#(y = 3)    3 for the variable y
//   p#(1, 2, 3)  one value per variable, outermost first (total evaluation)
//
// A value may be a number, a polynomial or a quotient of polynomials; every
// result is in the normal form of quoly/quoly.h.
//
// Value chain: quolys linked through their link word, first value first.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;
struct sparse;

// Evaluates *q at the arguments that follow on the token stream (`token` is
// the one after '#'), or at *value (level *level) when the caller already
// holds it, as a repeated evaluation does. With keep, *q is first replaced by
// a copy, so the value it pointed at is untouched; otherwise *q is evaluated
// in place. With free_list the value chain is freed at the end of a total
// evaluation (a single value stays the caller's in *value).
// Errors: 150 (no "," or ")" where one is needed), 1 (no ")" after a list),
// 193 (more values than variables), 22 with "/" (a denominator becomes 0;
// the result is then 1).
void get_evalquoly(FILE** source, quoly** q, quoly** value, int32_t* level, name** pending, int free_list, int keep);

// *q at the value chain, completed from the input first when it holds one
// value; the `level - 1` outermost variables are kept.
void total_eval(FILE** source, quoly** q, quoly** values, name** pending, int free_list, int32_t level, int keep);

// In place: *q with the variable at `level` replaced by the quoly v, by
// Horner's rule in quoly arithmetic (for a v with a polynomial denominator).
void horner_quoly_eval(quoly** q, quoly* v, int32_t level);

// p has a negative exponent at relative level k (1: p's own terms; k > 1:
// inside its coefficients, k - 1 levels down).
bool needto(polynode* p, int32_t k);

// Every entry of the n-row sparse matrix *matrix evaluated at the arguments
// that follow (read once, at the first entry; a matrix without entries
// still reads them). When *copied is 0 the matrix is copied first (the
// stored one stays as it is) and *copied := 1; *matrix := the evaluated
// matrix. Entries that become 0 are removed. The value chain is freed.
void sparse_evalquoly(quoly** value, sparse** matrix, int32_t rows, int* copied, FILE** source, name** pending);
