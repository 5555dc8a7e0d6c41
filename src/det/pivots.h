// Pivot choice for dense elimination and the size measure of a value it
// uses. Every finder prefers a unit (1 or -1), then the smallest number,
// then the non-number of least mass; ties keep the first candidate met,
// column by column from the left, rows downward.
#pragma once
#include <cstdint>

#include "storage/records.h"

// The mass of a value: digit counts of a number (1 in machine-integer
// mode), the numerator's poly_mass plus a share for a denominator. An
// overflow warns and gives 1,073,741,824.
int32_t quoly_mass(quoly* q);

// Cell-store arrays (column-major from store index first, `rows` rows; the
// cells run to index last): rows and columns k onward, 0-based. *row_out -1
// when every candidate is zero; *col_out counted from 0.
void findbest(int32_t first, int32_t last, int32_t rows, int32_t k, int32_t* row_out, int32_t* col_out,
              int first_column_only);
// One column c of such an array, rows k .. rows - 1; *row_out -1 when none.
void colfindbest(int32_t first, int32_t rows, int32_t k, int32_t c, int32_t* row_out);

// The same choice on a flat column-major vector of `rows` rows (element
// (r, c) from 0 at c x rows + r): rows k .. rows - 1 of columns c0 .. c1 - 1.
// *row_out -1 when every candidate is zero (a null cell counts as zero).
void vec_findbest(quoly** v, int32_t rows, int32_t k, int32_t c0, int32_t c1, int32_t* row_out,
                  int32_t* col_out);
// A flat n-row column-major vector: rows k .. n of columns k .. k + ncols - 1
// (1-based, results too). Numbers compare by bit size (by signed value in
// machine-integer mode). *row_out 0 when there is no pivot, and also as soon
// as the window's first column holds no non-zero entry (for n > 1).
void find_good_spot(quoly** cells, int32_t k, int32_t n, int32_t ncols, int32_t* row_out, int32_t* col_out);
