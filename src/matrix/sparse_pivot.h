// Pivot choice for elimination on sparse matrices: rows and columns k .. n
// (from 1) of the row lists, steered by the pivot heuristic pseudet_heur
// (switch u, 0 .. 6). A singleton column, or a unit in a row with at most
// two remaining entries, ends a search at once (no fill-in).
//
// The four column tables are shared by every search and never freed; they
// bound every sparse elimination to columns (and rows) up to SPARSE_PIVOT_MAX.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

constexpr int32_t SPARSE_PIVOT_MAX = 50000;

extern int32_t clc[SPARSE_PIVOT_MAX + 1];       // entry count
extern int32_t clc_min[SPARSE_PIVOT_MAX + 1];   // least mass
extern int32_t clr[SPARSE_PIVOT_MAX + 1];       // where that least-mass entry is
extern quoly* clbest[SPARSE_PIVOT_MAX + 1];     // its value

// Counting pass by columns: *count_out -1 when a row or column of the block
// is empty; 1 with the singleton column whose entry has the largest mass;
// else the column of least count (ties: smaller least mass, lower column),
// with *terms_out the term count of its least-mass entry.
void sparse_fill_clc(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                     int32_t* count_out, int32_t* mass_out, int32_t* terms_out);
// The same pass by rows (no test for empty columns).
void sparse_fill_rowc(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                      int32_t* count_out, int32_t* mass_out, int32_t* terms_out);

// The pivot for any ground ring (numbers preferred over non-numbers), and
// for modular arithmetic with a prime modulus (one mass for all). *row_out
// -1 when there is none; with stop_on_empty a row without entries in
// columns >= k gives -1 at once. Heuristic 6 meeting an empty row or column
// is error 376.
void sparse_findbest(int stop_on_empty, sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out);
void mod_sparse_findbest(int stop_on_empty, sparse* first, int32_t n, int32_t k, int32_t* row_out,
                         int32_t* col_out);
