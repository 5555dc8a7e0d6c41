// Pivot finders of narrow scope on sparse matrices (one fixed column; the
// first entry of a raw-residue matrix; the least integer), and the row
// statistics the expansion by minors keeps while it takes rows out and puts
// them back. Preference everywhere: a unit, then the smallest number, then
// the non-number of least mass; ties keep the first candidate met.
// Rows and columns count from 1.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// Per column, indexed by (entry key / 32,768) - 1 with the keys the minors
// code stores: the entry count and the summed quoly_mass (16,777,215 once
// the sum overflows). Kept for the life of the program.
constexpr int32_t MINOR_COLUMNS = 32767;
constexpr int32_t MASS_SATURATED = 16777215;
extern int32_t sparse_number_col[MINOR_COLUMNS];
extern int32_t sparse_mass[MINOR_COLUMNS];

// One column c, rows k .. n: *row_out the pivot's row, -1 when the column
// holds none there, -2 when every row k .. n is empty.
void sparse_colfindbest(sparse* first, int32_t n, int32_t k, int32_t c, int32_t* row_out);
// The same for residues held as plain-number quolys: the residue nearest
// to 1 or -1 (or, under a heuristic, in the shortest row).
void sparse_mod_colfindbest(sparse* first, int32_t n, int32_t k, int32_t c, int32_t* row_out);
// The same choice among the listed rows only (ascending, no repeats), for a
// caller that knows which rows can hold column c: rows outside k .. n are
// passed over. raw: every value word is the residue itself.
void sparse_mod_colfindbest_among(sparse* first, int32_t n, int32_t k, int32_t c, const std::vector<int32_t>& rows,
                                  int raw, int32_t* row_out);
// Raw-residue matrix (each value word the residue itself): the first entry
// with column >= k of the first row that has one. With stop_on_empty a row
// without one gives *row_out -1. A stored residue 0 is a fatal internal fault.
void special_mod_sparse_findbest(int stop_on_empty, sparse* first, int32_t n, int32_t k, int32_t* row_out,
                                 int32_t* col_out);
// Raw-residue matrix, step k: the row with the fewest entries in columns
// >= k among rows k .. max(n div 2 - k, n - 4 (n - k) div 5), *col_out its
// first such column. Non-zero when the caller should take that row: a row
// without such entries was met (*col_out -1: the block is singular), or
// the row is much sparser than row k. The scan stops early at a row f
// times sparser than row k, f = max(2, 9 - 200 k div n). lengths, when
// given, holds each row's entry count (index = row), for a caller whose
// rows k .. n have no entry left of column k: the rows are then not walked.
int spec1_mod_sparse_findbest(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                              const int32_t* lengths = nullptr);
// Integer entries, rows and columns k .. n: a singleton column's entry
// (*kind_out its mass), else a unit (*kind_out -1), else the entry of least
// absolute value (*kind_out 1); *kind_out 0 when nothing non-zero remains.
void sparse_intfindbest(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                        int32_t* kind_out);

// Takes row r of n out into *saved, its entries out of the statistics
// (masses too when with_mass is set), and moves rows r+1 .. n up one.
void remove_row(sparse* first, int32_t n, int32_t r, colm** saved, int with_mass = 1);
// The inverse: rows r .. n-1 down one, saved back as row r, its entries
// into the statistics. n is the row count with row r back.
void restore_row(sparse* first, int32_t n, int32_t r, colm* saved, int with_mass = 1);
// The summed quoly_mass of a row's entries; 16,777,215 on overflow.
int32_t row_mass(const colm* list);
