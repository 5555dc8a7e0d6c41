// The stash allocator: pools of fixed-size records ("slugs") carved from
// large heap blocks. Stash memory never goes back to the heap; a closed
// stash's blocks are kept on `extra_blocks` for the next refill.
#pragma once
#include <cstddef>
#include <cstdint>

struct stash {
    void* free;            // first free slug; each free slug's first word links to the next
    void* blocks;          // first block owned; blocks chain through their first word
    stash* next;           // ring of all stashes
    stash* prev;
    const char* name;      // not copied: the caller's text must outlive the stash
    int32_t slug_size;     // bytes per slug, a multiple of 4, at least 4
    int32_t block_count;
    int32_t slug_count;
    int32_t slugs_used;    // handed out and not given back through the stash
};

constexpr int32_t STASH_BLOCK_BYTES = 524296;   // link word, spare word, then slugs
constexpr int32_t STASH_BLOCK_PAYLOAD = 524288;
constexpr int32_t STASH_BLOCK_HEADER = STASH_BLOCK_BYTES - STASH_BLOCK_PAYLOAD;

extern stash primal_stash;   // holds the stash records themselves
extern void* extra_blocks;   // spare blocks, chained through their first word

// The five system stashes, opened at start-up by open_system_stashes().
extern stash* polystash;
extern stash* quolystash;
extern stash* numstash;
extern stash* imagstash;
extern stash* colmstash;

stash* open_stash(int32_t slug_size, const char* name);  // null when no slug for the record
void* get_slug(stash* s);                                  // null stash or no heap: null
void free_slug(stash* s, void* slug);
stash* get_block(stash* s);                                // drops the old free list; null on no heap
int more_mem();                                            // one block onto extra_blocks; 1 or 0
void endof_stash(stash* s);
int32_t* get_small(int32_t n);                             // n 32-bit words, never freed
void stash_stats();
void print_stash_stats(stash* s);

// The memory budget: set from the start-up file, in 4-byte units.
extern int32_t initial_memory;
extern int32_t virtual_cut;            // initial_memory / 5
extern int64_t totalavailablememory;   // bytes: initial_memory * 4

// Opens the five system stashes in start-up order (idempotent).
void open_system_stashes();
