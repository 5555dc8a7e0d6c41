// Splice and Split: a polynomial held in a variable joined with another at
// a power of the outermost variable, or cut there.
//
// While the remaining arguments are read the variable holds 1; any error
// before the result is stored gives it its value back.
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// (^a, ^b, k): a := a + b x^k, x the outermost variable, k >= 1; b is
// read, not changed (an empty b counts as 0). Errors 177, 29, 196, 202,
// 227, 32, 367, 1. Value 0.
void builtin_splice(FILE** source, quoly** result, name** pending);
// (^a, k [, ^t]): a := its terms below x^k; the terms from x^k on, divided
// by x^k, go into t when given. A sparse cell left 0 is error 365. Errors
// 177, 29, 196, 202, 227, 32, 366, 365, 1 and those of the target. Value 0.
void builtin_split(FILE** source, quoly** result, name** pending);
