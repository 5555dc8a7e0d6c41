// The Hamiltonian path search: whether a directed graph on n <= 100
// vertices, given as a dense n x n 0/1 matrix, has a path through every
// vertex. The graph becomes a layered sparse matrix of side N = n^2 + 1
// (index v n + k: vertex v at position k, and the extra index N) whose
// permutations are exactly the paths N -> first vertex -> ... -> last
// vertex -> N; a determinant-like expansion looks for one whose positive
// labels (vertex + 1) are pairwise different.
//
// Entries of the layered matrix hold their label (a small integer) in the
// value word instead of a quoly: the frame is given back with free_stuff,
// never with free_sparse(..., owned).
//
// One search at a time: a second one, for instance from a nested command
// level opened by an interrupt, is error 309. Every row and column taken
// out is put back, and every removal record returned, on every exit.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// The label an entry of the layered matrix holds.
inline int32_t ham_label(const colm* e) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(e->val)); }

// Builds the layered matrix of the n x n cells (column by column; a cell
// equal to 1 is an arc) into a new frame chain of N = n^2 + 1 rows at
// *frame; returns N. The cells are only read.
int32_t set_up_hamilton(quoly** cells, int32_t n, sparse** frame);

// The search on the layered matrix of side N at *frame: *result := 1 when a
// path exists, else 0. The leaf limit is the first coefficient of limit
// (null: none); below 1 it means no limit, and a run that reaches it is
// repeated with the limit doubled, so the search always ends.
void hamilton_path_driver(sparse** frame, int32_t N, quoly** result, polynode* limit);

// The recursion on the current m x m matrix (side: the column range);
// 1 path found, 0 none in this subtree, -1 leaf limit reached. The driver's
// state (counts, marks) must be set up.
int hamilton_path(sparse* frame, int32_t m, int32_t side, int32_t k, int32_t length, int64_t limit);

// A removal record: where an entry was linked, the entry, its row.
struct ham_record {
    colm** link;
    colm* entry;
    int32_t row;
    ham_record* next;   // the next record; also the free-list link
};
extern ham_record* ham_garb;   // free removal records
int64_t ham_garb_size();
ham_record* ham_take_record();          // fields unset
void ham_give_record(ham_record* x);

// Row r of the m rows out (rows below move up; *saved := its list) and back.
// The column counts follow.
void ham_remove_row(sparse* frame, int32_t m, int32_t r, colm** saved);
void ham_restore_row(sparse* frame, int32_t m, int32_t r, colm* saved);
// Column col's entries out of rows 1..m (records pushed onto *removed, the
// column marked removed) and back (the records freed). Removals and
// restorations nest strictly.
void ham_remove_col(sparse* frame, int32_t col, int32_t m, ham_record** removed);
void ham_restore_col(int32_t col, ham_record* removed);

// The state of the search, readable by tests.
extern uint16_t* number_col;   // entries per column (8192 added while removed)
extern uint16_t* colm_mass;    // entries with a positive label per column
extern long total_cnt;         // branches of the current run
extern long lowcnt;            // leaves and dead ends of the current run
extern int hamilton_running;   // a search is running
extern int32_t ham_runs;       // runs the last search took
