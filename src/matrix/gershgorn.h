// A bound for the absolute values of the coefficients of the characteristic
// polynomial of a sparse integer matrix, from its row sums.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// *result := max over k = 1 .. n of C(n, k)·R^k, R the largest row sum of
// absolute values of a's entries (integers); 0 when every entry is 0. In
// modular mode nothing is done and the slot is left alone. An entry that is
// no plain number is error 254.
void gershgorn(quoly** result, array* a, int32_t n);
