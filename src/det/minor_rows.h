// One row list of a sub-matrix of a sparse matrix: the entries of a chosen
// source row whose columns are among the chosen ones, renumbered 1, 2, 3
// ... by their place among the chosen columns.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// What successive calls share. Chosen rows and columns are user subscripts
// (counted from addresser), both ascending; rows are taken in that order,
// so the remembered frame only moves forward.
struct minor_row_ctx {
    colm** tail;            // where the next new entry is linked
    int32_t position;       // the chosen row to copy now (index into rows)
    const int32_t* rows;    // the chosen rows
    int32_t frame_number;   // of the remembered source frame, from 0
    sparse* frame;          // the remembered source frame (start: the first)
    int32_t last_column;    // index of the last chosen column
    const int32_t* columns; // the chosen columns
};

// Appends the new row's entries at ctx->tail and ends the list. move: the
// values themselves are taken, the source entries keeping a new 1; else
// copies.
void do_the_row(minor_row_ctx* ctx, int move);
