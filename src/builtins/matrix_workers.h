// Workers of the matrix built-ins around the reductions: conversion of an
// array to sparse storage, extraction of a sub-matrix by lists of rows and
// columns, the pseudo-determinant, and one determinant of the integer
// matrix A - kI for the characteristic polynomial.
#pragma once
#include <cstdint>
#include <cstdio>

#include "interp/token.h"
#include "storage/other_records.h"
#include "storage/records.h"

struct name;

// Sparse[a] or Sparse([a]) (token at the built-in's name): a becomes sparse
// in place; an array already sparse is left as it is. Errors 178, 176, 28,
// 138 (a negative stamp on a dense array), 24, 1. Value 0.
void make_sparse(FILE** source, quoly** result, name** pending);

// target := the rows listed in the dense array `rows` and the columns
// listed in `cols` of the sparse array source, ascending, each counted
// once and renumbered from 1; move: the entries move and the source keeps
// 1 in their places. Value: the number of distinct rows. Errors 329, 328,
// 330, 331 (an index that is not an integer), 332 (an index outside the
// source, or beyond a machine word).
void minors(quoly** result, array* source, tokenrec* rows, tokenrec* cols, tokenrec* target, int move,
            name** pending);

// *result := 2 |d1 ... dr|, the product of the pivots that a full column
// reduction of a copy of a (dense or sparse) leaves on its diagonal. The
// array is not changed.
void new_pseudo(quoly** result, array* a);

// The integer matrix whose characteristic polynomial is computed, and the
// polynomial (or null) bounding its determinants at an integer point.
struct int_determ_ctx {
    array* arr;           // the matrix record, or null when cells are given
    quoly** cells;        // its n x n cells, or null
    int32_t n;
    quoly* bound;         // a polynomial in the outermost variable, or null
};
// *slot := det of ctx's matrix (A - kI when the caller has shifted it) by
// residues, its size bound |bound(k)| (1 for 0; none without a bound).
// Error 238 when the bound does not evaluate to a number.
int do_int_determ(quoly** slot, int32_t k, const int_determ_ctx* ctx);
