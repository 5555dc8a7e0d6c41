// Whole-array scans: the lcm of the denominators, the intersection of two
// sorted monomial lists, and the comparison step of the extreme-value scan.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Free-first: *r := the lcm L of the integer denominators of the entries
// (1 when there is none): a rational's denominator, the leading coefficient
// of a monomial denominator; other entries add nothing. Sparse (frame not
// null): every entry of rows 1..stride. Dense: `columns` columns of `rows`
// cells from store index first, stride cells apart; an empty cell is set to
// 0 with the uninitialised-element warning.
void findlcm(quoly** r, sparse* frame, int32_t first, int32_t stride, int32_t rows, int32_t columns);

// A := the rows of A whose monomial also heads a row of B (both sparse,
// one entry per row, ascending by mon_less); dropped rows are freed. A
// with no row kept is one empty row. Returns the rows kept.
int32_t intersect(array* a, array* b);

// The running choice of the extreme-value scan.
struct extreme_state {
    int maximum;       // the largest value; else the smallest
    int positive;      // with the smallest: only values above 0
    int found;
    quoly* best;       // not owned
    int64_t position;
};
// Offers a plain-number value at a position; ties keep the first offered.
// Anything but a plain number is error 119 (ignored when the error returns).
void consider(quoly* value, int64_t position, extreme_state* st);

// The uninitialised-element warning for the empty dense cell *cell, which
// becomes the quoly 0: the first 20 of a statement print the warning, the
// 21st " ....etc...", later ones nothing. Gathering a whole array or block
// names no array; a single element of the system array names it ("<").
void set_uninitialised(quoly** cell, const char* array_name = nullptr);
