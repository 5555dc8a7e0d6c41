// The array store: array records in the name table `arr_store`, the paged
// store `arp` of dense cells (column by column), the system result array
// `syst`, and the lookup of a cell from its subscripts.
//
// Invariants: dense arrays occupy store indices 0 .. endarr in creation
// order, contiguously but for the gaps that wait under arrays a statement
// interrupted by a level holds (close_store_gap); index c lies in page
// c >> 10 at slot c & 1023, and every page up to endarr is allocated. A
// null cell was never assigned (or lies in such a gap). Sparse
// arrays hold no dense cells (first 0, last -1) and keep their entries in
// frames (matrix/sparse.h). The cell count is a digit number, rows x
// columns, so a sparse array may count more cells than a machine word.
//
// Bound failures are numbered errors that end the statement: an address
// that cannot be formed has no sound value to go on with.
#pragma once
#include <cstdint>

#include "interp/token.h"
#include "storage/other_records.h"
#include "storage/records.h"

constexpr int32_t ARR_BUCKETS = 151;
constexpr int32_t PAGE_CELLS = 1024;
constexpr int32_t PAGE_COUNT = 5000;
constexpr int32_t STORE_CELLS = PAGE_COUNT * PAGE_CELLS;   // 5,120,000
constexpr int32_t MAX_DENSE_CELLS = 1000000;               // one dense array; also syst_cells

extern quoly** arp[PAGE_COUNT];     // pages of 1,024 cells, zeroed when allocated
extern int32_t numblocks;           // highest allocated page; -1 at start-up
extern int32_t endarr;              // last used cell of the store; -1 at start-up
extern int32_t array_time;          // the next creation stamp
// Changes whenever an array record enters or leaves the name table: a
// name looked up while it is unchanged still finds the same record.
extern uint32_t array_links_stamp;
extern array* arr_store[ARR_BUCKETS];
extern array* syst;                 // the system result array, named "<"
// syst's own dense cells, apart from arp (1,000,000 pointers, allocated at
// the first use). Not named `stash`: that is the stash allocator's record.
extern quoly** syst_cells;
extern int syst_dump;               // the statement's result is the system array

// The cell slot of store index c (which must lie in an allocated page).
inline quoly** cell_at(int64_t c) { return &arp[c >> 10][c & (PAGE_CELLS - 1)]; }

// A cell-count number (digits, never the value word) as a 64-bit integer;
// a record's cell count; its column count.
int64_t number_cells(const imag* n);
int64_t cell_count(const array* a);
int32_t array_columns(const array* a);
// Whether the array is written and listed with one subscript: declared
// with one and still a single column (STrans turns a sparse vector into a
// row, whose cells need two).
bool one_subscript(const array* a);

// ---- cells from subscripts (both counted from addresser) ----
// *out := the address of element (i, j)'s cell slot, or null for an element
// of a sparse array that has no entry. twosub 0: i is one linear subscript
// in column order (j ignored for sparse arrays). in_system_cells: a dense
// cell is taken from syst_cells. Error 27 with token on any bound failure.
void array_quoly_ptr(array* a, int32_t i, int32_t j, int twosub, quoly*** out, const char* token,
                     int in_system_cells);
// The same for a writer that may insert. Dense: *j := the store index,
// *list := null. Sparse: *i := the row from 0, *j := the column from 1,
// *list := the address of that row's head.
void new_array_quoly_ptr(array* a, int32_t* i, int32_t* j, int twosub, quoly*** out, const char* token,
                         colm*** list);

// ---- records ----
// A dense rows x columns array named tok, its cells (null) at the end of the
// store, linked at the head of its bucket. Errors 27 (a bound below 1), 43
// (more than 1,000,000 cells), 26 (the store is full); nothing is made then.
array* insertarr(const tokenrec* tok, int32_t rows, int32_t columns, int32_t flag);
// A sparse array record (error 27 for a bound below 1; no size limit); with
// init, an empty frame chain for its rows, else no frame.
array* sparse_create(const tokenrec* tok, int32_t rows, int32_t columns, int32_t flag, int init);
// A sparse array record around an existing frame chain; no bound check.
array* quick_sparse_create(sparse* frame, const tokenrec* tok, int32_t rows, int32_t columns, int32_t flag);
// The record named tok (newest first), or null.
array* find_array(const tokenrec* tok);
// newest, just linked at the head of its bucket, hides the older array of
// its name: an assignment holding a slot of the older one notes it
// (storage/held_targets.h).
void note_hiding(const array* newest);
// Whether a name lookup no longer finds a (a newer array of its name hides
// it, or it left the name table).
bool array_hidden(const array* a);
// After a's sparse matrix was rebuilt in place of old_frame: every other
// record that shared old_frame (an array parameter's alias, or the array
// it stands for) takes over a's frames, row count and cell count, so none
// is left naming frames that went back to the free list.
void follow_new_frames(const array* a, const sparse* old_frame);
// Whether another record shares a's cells or frames: an array parameter's
// alias of a, the array the alias a stands for, or a second alias of it.
bool storage_shared(const array* a);
// keep takes over fresh's cells or frames and shape, and so do the records
// sharing keep's; fresh, left holding keep's old storage, is removed. Keeps
// a parameter and the array it stands for one array across a reshape.
void take_storage(array* keep, array* fresh);

// Unlinks a from arr_store onto arr_garb, frees its entries or cells, moves
// the cells of later arrays down over the gap and lowers endarr.
void remove_array(array* a);
// Takes store cells first .. last out: the cells above move down over them,
// the freed top cells are emptied, endarr drops, and every dense record
// whose cells lay above the gap is moved down with them. The cells' own
// quolys are the caller's. While a level runs above a statement that holds
// an array above the gap, the gap waits (empty cells) for
// close_waiting_store_gaps(), called when the top level's statement is over.
void close_store_gap(int32_t first, int32_t last);
void close_waiting_store_gaps();
// Frees the quolys of cells[0 .. count - 1] (null cells skipped) and sets
// count to 0.
void free_arr(quoly** cells, imag* count);

// syst := the result: frame (n = rows rows) when not null, else count dense
// cells. owned: the frame or cell pointers are taken over (the caller gives
// them up); otherwise copied.
void fill_syst_array(quoly** cells, imag* count, int owned, sparse* frame, int32_t rows);
