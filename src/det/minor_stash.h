// The minor stash: a hash table of the values of minors met during one
// expansion by minors, keyed by the rows and columns of the full matrix a
// minor keeps. It grows by rehashing into more buckets, gives memory back
// by dropping its newest entries when free memory runs low, and lets the
// expansion start storing again once memory has come back.
//
// A minor key is a number record used as a holder: its head chain holds the
// 32-bit words of the column set, its tail chain (a separate chain of the
// same length) those of the row set, its count the number of words. Bit
// (i - 1) mod 32 of word (i - 1) div 32 stands for row or column i.
//
// Entries are sparse entries (col: hit count, val: a holder quoly whose
// link is the stored value and whose number is a copy of the key); buckets
// are the row slots of a sparse frame chain. One stash exists at a time.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

extern sparse* minorstash;        // bucket b is row slot b - 1; null when no stash
extern int32_t minorprime;        // bucket count
extern long minor_total;          // entries stored
extern uint64_t minor_memory;     // free-memory reference of the running expansion
extern long purged_hits;          // hit counts of purged entries
extern int32_t minor_count;       // entries a purge takes from each bucket
extern int32_t min_stash_row;     // window of minor sizes stored
extern int32_t max_stash_row;
extern int32_t init_min_stash;    // 3 at start-up
extern int32_t init_max_stash;    // 2 at start-up: the window ends at n - 2
extern int32_t init_max_stash_row;

// Without a memory budget (none given at start-up) the stash is never
// purged and storing never stops for want of memory.
bool memory_budgeted();

// Bucket count for an n x n matrix.
int32_t minorsize(int32_t n);
// The key's bucket, 1 .. minorprime.
int32_t minorshash(const imag* key);

// Stores a copy of the key with the value; may grow the stash.
void stash_minor(const imag* key, int32_t hash, quoly* value);
void int_stash_minor(const imag* key, int32_t hash, int32_t residue);
// Stores the value itself (taken over, not copied); returns it where it
// now lies.
quoly* stash_minor_taking(const imag* key, int32_t hash, quoly* value);
// True on a hit, the stored value written to *result (a copy) or *residue.
// A hit may purge the stash when memory runs low.
bool minor_is_there(const imag* key, int32_t hash, quoly** result);
bool int_minor_is_there(const imag* key, int32_t hash, int32_t* residue);

// The look-up without the copy: the stored value (or null), the hit
// counted. The caller reads the value and then runs the check a hit owes,
// which may purge (and so free the value).
quoly* minor_lookup(const imag* key, int32_t hash);
void minor_hit_check(bool modular);

void reconfigure_stash();   // more buckets, entries moved
void try_purge_minors();    // the newest minor_count entries of each bucket freed
// Frees the stash of `count` buckets: *stored entries with *hits hits.
void free_minor_stash(int32_t count, long* stored, long* hits);
// Counts without changing anything; 0 and 0 when there is no stash.
void count_minor_stash(long* stored, long* hits);

// The statistics line of the switch &j.
void minor_stash_report();

// A new key of w words: every column and row of an n x n matrix present.
imag* new_minor_key(int32_t n);
// Frees a key (either chain and the record).
void free_minor_data(imag* key);
