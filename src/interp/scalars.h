// The scalar table: every variable whose name begins with 'a'..'z', globals,
// parameters and locals alike, in 151 hash buckets.
//
// New records go to the head of their bucket and every search takes the
// first record of the name, so a later binding hides an earlier one of the
// same name until it is removed. Records are recycled through var_garb and
// never returned to the heap. A record owns its value.
#pragma once
#include <cstdint>
#include <cstdio>

#include "interp/token.h"
#include "storage/records.h"

constexpr int32_t SCA_BUCKETS = 151;

struct var {
    char name[TOKEN_TEXT];   // NUL-terminated
    uint16_t hash;           // as the inserting token had it, possibly UNHASHED
    var* next;               // next record of the bucket; also the var_garb link
    quoly** ref;             // a parameter passed with '^': the caller's slot that receives the final value
    quoly* value;            // owned. A number with a non-null den marks an array parameter
};

extern var* sca_store[SCA_BUCKETS];
extern var* var_garb;

// Raised whenever a record is linked into or unlinked from the table, so a
// name that remembers the record it found (with the stamp of that moment)
// knows the answer still holds while the stamp is unchanged. Never 0.
extern uint32_t scalar_links_stamp;
inline void scalar_links_changed() {
    if (++scalar_links_stamp == 0) scalar_links_stamp = 1;
}

// The bucket of a token: its cached hash, else hash(text, 151).
int32_t sca_bucket(const tokenrec* id);
// The newest record named id, or null.
var* find_var(const tokenrec* id);
// find_var for the stored token rec (null: a token read from a stream):
// the answer rec remembers while no record was linked or unlinked since,
// else a search whose answer rec then remembers. Loops read their names
// over and over; this spares them the bucket walks.
var* find_var_remembered(const tokenrec* id, name* rec);
// A parameter's record for an array argument holds a number whose den is set.
inline bool array_parameter(const quoly* q) { return q && q->isnum && q->den != nullptr; }
// Empties the table (start-up): values freed, records to var_garb.
void clear_sca_store();

// Gives up a stored value (the slot becomes null): freed at once at the top
// level; kept while a nested level is open, since the computation it
// interrupted may still read it, until bury_retired().
void retire_value(quoly** q);
// Frees what was retired, and the records deleted at nested levels: the
// top level calls it when its statement is over.
void bury_retired();

// A new binding at the head of id's bucket, hiding any older one (parameters
// and locals of a call); value passes to the record.
var* push_var(const tokenrec* id, quoly* value);
// Unlinks the newest record named id and puts it on var_garb (at a nested
// level: with the retired records, so that a slot the interrupted
// computation holds stays its own); null when there is none. The record's
// value (and ref) stay readable until the record is reused: the caller
// frees, retires or moves the value.
var* drop_var(const tokenrec* id);

// Binds id to value, which passes to the table: the newest record of the
// name gets it (its old value freed), else a new record at the head of the
// bucket. *record := that record. A number value's den is cleared.
void insert_var(const tokenrec* id, quoly* value, var** record);

// id := the machine integer n (loop variables): as insert_var, but an
// existing number value is reused. *record := the record.
void iinsert(const tokenrec* id, int32_t n, var** record);
// The record v := the machine integer n, as iinsert does once it has v.
void iset_record(var* v, int32_t n);

// A factor that is a scalar name. Found: *reference := the record's value
// slot (an array parameter instead gives *value := 0, *reference := value,
// and two warning lines). Not found: *reference := null. The words "for",
// "if" and "while" are errors: inside a body (pending not &zilch) error 225;
// at top level conditionals and loops are not available yet (error 19).
void retrieve(const tokenrec* id, quoly*** reference, quoly** value, FILE** source, name** pending);

// Found: *reference := the record's value slot, *value := a copy of the
// value (copy-then-free; 0 for an array parameter, with two warning lines).
// Not found: error 19 with the name; if error returns, *value := 0 and
// *reference := value.
void spec_retrieve(const tokenrec* id, quoly** value, quoly*** reference);

// The delete statement after its '@' (the dispatcher consumed it): one item,
// or "(" items separated by "," ")". Leaves the item's last token (or ")")
// in token.
void rubout(FILE** source, name** pending);
// Deletes the one item that begins with token: a scalar, "[" array "]",
// a function name, or "<" ... ">".
void single_rubout(FILE** source, name** pending);
