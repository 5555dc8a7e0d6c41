// Work blocks (large scratch arrays lent out in stack order) and memory
// accounting: bytes still available, bytes on the free lists, the storage
// report, and sorting of free lists into address order.
//
// Invariant: blocks 1 .. first_available - 1 are lent out; a block once
// allocated stays in workhead for the rest of the run and is reused.
#pragma once
#include <cstdint>

#include "storage/records.h"

constexpr int32_t WORK_BLOCKS = 20;
// Nominal size of a block in the accounting. A block holds this many 4-byte
// cells on the machines the figure comes from; here a cell is a pointer, so
// a block holds WORK_BLOCK_CELLS of them whatever the pointer size.
constexpr int64_t WORK_BLOCK_BYTES = 4000000;
constexpr int32_t WORK_BLOCK_CELLS = 1000000;
// At most this many records of a free list are sorted; the rest stay behind.
constexpr int32_t CLEAN_UP_LIMIT = 3000000;

extern quoly** workhead[WORK_BLOCKS];   // the blocks, null until first lent
extern int32_t first_available;         // 1-based number of the next block to lend

// ---- work blocks ----
// *slot := the number (1 .. 20) of the block lent, workhead[*slot - 1].
// A 21st block: error 88 with token, which ends the statement (nothing lent).
void enew_worknode(int32_t* slot, const char* token);
void free_work();   // gives back the block lent last

// One block lent for a scope and given back on every exit. The cells are
// not cleared: the borrower owns what it leaves in them.
struct WorkBlock {
    int32_t slot = 0;
    quoly** cells = nullptr;
    explicit WorkBlock(const char* token) {
        enew_worknode(&slot, token);
        cells = workhead[slot - 1];
    }
    ~WorkBlock() { free_work(); }
    WorkBlock(const WorkBlock&) = delete;
    WorkBlock& operator=(const WorkBlock&) = delete;
};

// ---- memory ----
void find_total_available_memory();   // a total of 9 or less becomes 2^32
uint64_t memavail();                  // budget less the stash slugs in use; never below 0

// Bytes on the free lists of digit nodes, numbers, poly nodes and quolys.
int64_t garbsize();
// The same, each list counted up to a cap (a longer list counts cap + 1):
// quick estimates for the method choices.
int64_t fast_garbsize();
int64_t med_garbsize();
int64_t big_garbsize();   // quolys not counted

// ---- free lists in address order ----
void clean_up_colm();
void clean_up_poly();
void clean_up_quoly();
void clean_up_imp();

// The storage report; mode 'G' also lists the items of some lists.
void garbage(int mode);
