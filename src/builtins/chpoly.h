// Chpoly([A] [, v]): det(A - xI) of a square array, x the outermost
// polynomial variable: for matrices of numbers past a small size through
// the Hessenberg form (over a field, or over the integers modulo word
// primes, rationals scaled to integers first), else by interpolation
// through integer points, by one
// determinant of the polynomial matrix, or (sparse A, v a non-zero
// integer) by the Leverrier-Faddeev recurrence.
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// Token at the built-in's name; leaves the token after ")". A is never
// changed (but for empty dense cells, which become 0 with the warning),
// whether the call ends normally, by an error or by an interrupt.
// Errors 213, 182, 212, 1, 62 (dense, machine integers without modulus),
// 36, 88 and those of the determinants.
void builtin_chpoly(FILE** source, quoly** result, name** pending);
