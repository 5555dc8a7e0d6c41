// The heap-allocated record kinds (sparse frames, arrays, elimination nodes,
// undo-log entries, compiled statements, stored tokens, variable records)
// with their free lists, and the undo logs that put converted values back.
//
// Every allocator takes the caller's slot and pops the kind's free list
// first; only an empty list falls back to `new`. Records are never given
// back to the heap: freeing a record means pushing it on its free list.
// Nothing is cleared on allocation except the words named at each allocator.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// ---- sparse frames ----

constexpr int32_t SPARSE_FRAME_ROWS = 2048;

// Rows 2,048 at a time: row r (from 1) is head (r - 1) mod 2,048 of frame
// (r - 1) / 2,048 of the chain. Heads of a reused frame are not cleared.
struct sparse {
    colm* row[SPARSE_FRAME_ROWS];   // first entry of each row's list, ascending columns
    int32_t mode;                   // modularmode when the frame was taken
    int32_t pending;                // kept by the sparse-matrix code
    sparse* next;                   // the next 2,048 rows; also the free-list link
};

// ---- array records ----

struct array {
    char name[12];          // up to 11 characters, NUL-terminated
    uint16_t hash;          // cached name hash, 65535 = not yet computed
    int32_t first;          // first cell in the cell store; 0 for a sparse array
    int32_t last;           // last cell; -1 for a sparse array
    imag size;              // number of cells, rows x columns
    int32_t rows;
    struct sparse* sparse;  // first frame; null for a dense array
    int32_t onedim;         // declared with one subscript
    array* link;            // next array of the same name-table bucket; also the free-list link
    int32_t spare;          // the mark of the statement that reached it last (matrix/reached_arrays.h)
    int32_t stamp;          // creation stamp; 0 on arr_garb (array_alive)
};

// ---- records laid out by their users ----
// Only the free-list link and the words an allocator sets are fixed here;
// the subsystems that use these records name the other words.

struct col {                // elimination list node
    void* word1;
    void* word2;
    void* word3;            // cleared on allocation
    col* next;              // free-list link
};

struct cond;
struct comment;
struct name;

struct form {               // one statement of a compiled statement list
    cond* stmt;             // the statement
    comment* comments;      // the comments written in front of it, or null
    form* next;             // the next statement; also the free-list link
};

struct cond {               // a compiled statement
    name* condition;        // if / while condition, or for header (first token ":"); null: plain
    int32_t kind;           // 0 if statement or plain statement, 1 while or for loop
    form* first;            // then-part or loop body
    form* second;           // else-part, or null
    name* statement;        // the tokens of a plain statement, or null
    cond* link;             // free-list link
};

struct name {               // one stored token
    char token[12];         // up to 11 characters, NUL-terminated
    uint16_t hash;          // cached hash, 65535 = not yet computed
    name* next_use;         // the next stored token bound to the same compiled entry
    void* binding;          // where a compiled token's value lives
    name* next;             // the next token of the chain; also the free-list link
    int32_t resolved;       // bound by Compile (cleared on allocation)
    int32_t blank_follows;  // a blank followed the token where it was read (cleared on allocation)
    int32_t bind_kind;      // 1 scalar or parameter, 2 array element, 3 whole array
    void* lookup;           // the scalar record this name found last (a var*), valid while
    uint32_t lookup_stamp;  // equals scalar_links_stamp (0 = never; cleared on allocation)
};

// ---- undo logs ----

// One in-place change of a stored value, pushed on the front of a log while
// values are converted to residues, so a log replays newest first.
struct fix {
    void* target;           // kind 0: address of a pointer slot; else a quoly
    void* saved;            // kind 0: the word the slot held (pointer-sized)
    int32_t kind;           // FIX_SLOT, FIX_LIFTED, FIX_NEW_NUMBER or FIX_NEW_POLYS
    fix* next;
};

constexpr int32_t FIX_SLOT = 0;        // put saved back into the slot at target
constexpr int32_t FIX_LIFTED = 1;      // quoly made a number from its own one-node numerator
constexpr int32_t FIX_NEW_NUMBER = 2;  // quoly made a number with a number record of its own
constexpr int32_t FIX_NEW_POLYS = 3;   // quoly whose polynomials were replaced by converted copies

// An entry unlinked from a sparse row because its value became 0 modulo a
// prime. Whoever pushes one allocates it with `new`; the replay deletes it.
struct sparsefix {
    colm** target;          // the link word that pointed at the entry
    colm* saved;            // the entry
    sparsefix* next;
};

// ---- free lists and logs ----

extern sparse* spargarb;    // free frames, through next
extern array* arr_garb;     // free array records, through link
extern col* colgarb;        // through next
extern fix* fixgarb;        // through next
extern form* formhead;      // through next
extern cond* condhead;      // through link
extern name* name_garb;     // through next
extern fix* masterfix;      // the system's undo log, newest first
extern sparsefix* sparse_fix;   // unlinked sparse entries, newest first

// ---- allocators ----

void newsparse(sparse** slot);  // mode := modularmode; heads and link left as they are
void newarray(array** slot);    // a fresh heap record gets size.count = 0; a reused one is untouched
void newcol(col** slot);        // word3 := null
void newfix(fix** slot);        // kind := FIX_SLOT
void newform(form** slot);
void newcond(cond** slot);
void newname(name** slot);      // resolved := blank_follows := 0
// cutoff := poly_cutoff, root_modulus := -1, every list, flag and count
// cleared; name, hash, modout_degree and level are the caller's to set.
void newpt(pt** slot);

// ---- replay ----

// Replays the log newest first, then puts the whole log on fixgarb (its
// last entry linked to the old fixgarb) and nulls the slot. Per entry:
//   FIX_SLOT (and any unknown kind): *target := saved;
//   FIX_LIFTED: isnum := 0, den := null;
//   FIX_NEW_NUMBER: free_imag on num, den := null, isnum := 0;
//   FIX_NEW_POLYS: free_poly on num and on den.
// Older FIX_SLOT entries, replayed afterwards, bring back the num and den
// words the conversion replaced.
void restore_from_mod(fix** list);

// Relinks every entry of sparse_fix, newest first, deleting the records;
// sparse_fix ends empty.
void restore_sparsefix();
