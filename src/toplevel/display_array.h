// Display of whole arrays: dense arrays (cells in the store `arp`, or in a
// plain block of cell pointers such as the system array's), sparse arrays,
// in the matrix layout, one cell per line (list form), or as element
// assignments; and the compact and sparse forms that files read back.
//
// Subscript labels count from the labels the caller gives (the output
// statement passes `addresser`). Absent dense cells are shown, never an
// error: "*" in the matrix layout, "not defined." at the terminal in list
// form, "0" in files.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/other_records.h"
#include "storage/records.h"

// The cell width of the matrix layout when none is asked for.
constexpr int32_t DEFAULT_CELL_WIDTH = 4;

struct array_view {
    const char* name;       // printed name
    array* record;          // null: looked up by name (error 28 when absent)
    int32_t first;          // first cell (store index or block index)
    int32_t rows;
    int32_t columns;
    int32_t row_label;      // label of the first row printed
    int32_t col_label;      // label of the first column printed
    int32_t stride;         // cells from one column to the next
    quoly** block;          // cells in this block instead of arp (null: arp)
};

// The general printer. terminal: readable terminal output (else a file);
// list_form: one cell per line; width: the cell width of the matrix layout;
// as_char: numbers as the characters of their codes (error 121 otherwise);
// header: the "[name] := [[" header and the closing brackets.
void arrdisplay(FILE** out, int terminal, int list_form, array_view view, int32_t width, int as_char,
                int header);
// The whole array a with the terminal's defaults (matrix layout, header).
void arrdisplay_whole(FILE** out, array* a, int terminal, int32_t width, int as_char);
// Compact form of a dense array: "[name] := [[ v, v, ... ]];".
void arrdis(FILE** out, array* a, int32_t first, int32_t rows, int32_t columns, int32_t stride, int32_t width);
// The bracketed form of a sparse array. At the terminal rows of
// "[row, [col, value], ...]"; in a file the sparse literal's groups
// "[row, col, value, col, value ...]" that read back.
void sparse_display(FILE** out, array* a, int terminal);
// One "name[i, j] := value;" line per stored entry.
void better_sparse_display(FILE** out, array* a);
// The form a file takes an array in: the sparse literal, the compact form
// when every cell is a small number, else the list form.
void write_array_value(FILE** out, array* a);
