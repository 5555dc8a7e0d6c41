// The gcd stash: a memo of polynomial gcds, 367 buckets keyed by a cheap
// hash of both operands (at most six terms per level) and confirmed by full
// equality; and the value hashes behind the hash built-in.
//
// Invariant: every entry of a bucket list is a quoly record whose words are
//   link  next (older) entry of the bucket
//   pnum  the first operand (a copy; degree <= the second's)
//   den   the result record, a polynode:
//           exp   size of the entry (simple_poly_mass units)
//           next  the gcd, null until the caller stores it
//           numb  0
//           pcoef the second operand (a copy)
//   isnum 0, rat 0
// so free_quoly on an entry gives back the operands, the result record and
// the gcd chained behind it. gcdmass is the sum of the size words.
#pragma once
#include <cstdint>

#include "storage/records.h"

constexpr int32_t GCD_STASH_BUCKETS = 367;

extern quoly* gcd_stash[GCD_STASH_BUCKETS];   // bucket heads, newest entry first
extern int32_t gcdmass;                       // sum of the entries' size words
extern int32_t prev_modulus;                  // modulus the entries were made under; -1 = no modular entries
extern int16_t lookupgcd;                     // stashing depth; > 0 = stashing on
extern int32_t polygcd_stack_depth;           // gcds in progress that will store a result; no purge while > 0

// ---- lookup and storage ----
// Finds or makes the entry of the pair (u, v); *record := its result record.
// Operands kept (copied into a new entry). A non-null stashed_gcd(*record) is
// the gcd; else the caller computes it and hands it to store_stashed_gcd.
// May purge the stash, but never the bucket of the returned record.
void gcdhash(polynode* u, polynode* v, polynode** record);
// The stored gcd of a result record, null while none is stored.
inline polynode* stashed_gcd(polynode* record) { return record->next; }
// Stores a copy of g as the record's gcd and adds its size to the record and
// to gcdmass. g kept. The caller keeps polygcd_stack_depth.
void store_stashed_gcd(polynode* record, polynode* g);

// ---- levels and emptying ----
void init_gcd_stash();        // opens a stashing level
void free_gcd_stash();        // ends stashing; modular entries survive while the modulus is unchanged
void sure_free_gcd_stash();   // empties the stash unconditionally; lookupgcd unchanged
// Called by the statement loops after every statement: empties the stash
// when stashing is off and it holds anything.
void gcd_stash_after_statement();

// Thins the stash below the purge trigger, never emptying bucket keep;
// returns the new gcdmass.
int32_t purge_gcd_stash(int32_t keep);
// Bytes held by the entries, counted as quoly storage.
int64_t mass_gcd_stash();

// ---- hashes ----
int32_t hash_1(polynode* p, int32_t d);   // key hash of a coefficient at depth d, 0 .. 366
int32_t polyhash(polynode* p, int32_t k); // value hash; k starts at 1; wraps on overflow
int32_t quolyhash(quoly* q);              // value hash of a quoly, >= 0 (see polyhash)
