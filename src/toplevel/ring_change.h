// Change of ground ring: moving every stored value between the rationals
// and the residues modulo one modulus (GF(2^8) and GF(2^16) included),
// permanently or, for the values a conversion list stars, temporarily
// through the undo log; Laurent mode, which rewrites every stored value
// for or against negative exponents; and the entry points by which the
// array tables take part in both.
//
// A change into modular arithmetic converts the variables' mod-out data
// before the values; the way back converts the values first and then
// replays the undo log. A refused change leaves the ring as it was.
#pragma once
#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "storage/records.h"

struct name;
struct array;
struct sparse;
struct var;
struct pt;

// ---- ground-ring data kept here ----
constexpr int32_t DENOM_SIZE = 998;
constexpr int32_t MAX_MODULUS = 2147483644;   // the largest modulus a change accepts
extern quoly* denom[DENOM_SIZE];   // entry i holds the integer i + 1 (evaluation points, divisors)
extern int need_to_set_char_poly;  // the characteristic-polynomial table beyond start-up is still unread (1)
extern int32_t limit_char_arrays;  // rows of the characteristic-polynomial data usable in this ring (998)
extern double rmodulus;            // the modulus as a double
// The display size in force when modular arithmetic was entered, given
// back on the way to rational arithmetic (-1 = none kept).
extern int32_t rational_disp_size;
// The symmetric display (H) in force when a field was entered, whose
// elements have no sign and show as 0 .. 2^k - 1: given back when the
// field is left, so what prints afterwards does not depend on the visit
// (-1 = none kept). An H setting made inside the field is the one given
// back (record_symmetric_display).
extern int symmetric_outside_field;
void record_symmetric_display();

// Start-up: denom filled, need_to_set_char_poly := 1.
void set_prods_for_char();
// When the first variable is adjoined: the rest of pol read (once).
void load_char_tables();
// denom and pol into the current modular ring, logged for the way back
// (prime modulus and switch B off only).
void convert_char_tables();

// ---- the change ----
// The frame of one change, read by the conversion list: the statement's
// stream and pending list, and the direction (0 into modular, 1 back).
struct RingChange {
    FILE** input;
    name** pending;
    int direction;
};

// new_modulus -1: in rational mode ask for a modulus (at the terminal with
// " Enter modulus:", else one expression from input at the current token),
// in modular mode go back to rational arithmetic. list: the captured
// conversion list (header record first), null = convert everything.
// report: print the change's messages. *value, sysnum and prevnum become 0.
// Errors 62, 84, 148, 353; after any of them the ring is as it was.
void change_prec(FILE** input, quoly** value, name** pending, int32_t new_modulus, name* list, int report);

// The variables' mod-out data and the tables denom and pol (direction 0:
// logged conversion to residues; 1: the undo log replayed).
void change_polydata(int direction);
// The polynomial a save writes for v's relation: the full one for a
// binomial relation held as its constant, else the relation (null: none).
polynode* written_relation(const pt* v);
// In modular mode: v's written relation as it was before the change into
// it, in rational form (what the way back gives it), or null when v had
// none then.
polynode* relation_before_change(const pt* v);

// One stored value back from residues to integers, in place: only numbers
// that hold no digits are residues; a number that still has its digit
// chain was never converted (a value left out of a conversion list, or one
// converted temporarily) and keeps it.
void value_from_mod(quoly* q);
// Whether every number of p still holds its digit chain.
bool kept_digits(const polynode* p);
// Whether a value held in modular mode was left out of a conversion list:
// its numbers keep their digit chains, where residues are machine words
// alone. Its words mean nothing in the ring; its digits are its value.
bool left_out_value(const quoly* q);
// Whether a left-out value's words (its residues) already are the element
// a full conversion makes of it: a number, or a polynomial without
// denominator none of whose coefficients the modulus divides. True for
// every value that is not left out.
bool left_out_reads_as_words(const quoly* q);
// Whether a left-out value can be taken into the ring: its denominator
// keeps a residue that is not 0 and its normal form needs no inverse the
// modulus lacks (tried, silently).
bool left_out_converts(const quoly* q);
// A left-out value read in modular mode that its words do not give: one
// that could not be taken into the ring. Error 85, and the statement ends;
// the value stays as it is for the way back.
void refuse_unconverted_read(const quoly* q);
// A left-out value read in modular mode that cannot be converted: error 85
// and the statement ends.
void refuse_unless_converts(const quoly* q);
// Whether q is a left-out value its words do not give, in modular mode.
bool left_out_needs_reading(const quoly* q);
// For a left-out value its words do not give: *value := (a copy of) the
// element a full conversion makes of it, true; the stored value stays as
// it is. One that cannot be converted is refuse_unconverted_read's error.
// False, *value untouched, for any other value.
bool read_left_out_converted(const quoly* q, quoly** value);
// *copy := a copy of q as modular arithmetic reads it: a left-out value
// its words do not give as its element of the ring (error 85 when none).
void copy_in_ring(const quoly* q, quoly** copy);
// A stored value a built-in changes in place: a left-out one first becomes
// its element of the ring, as if assigned (its residues alone when its
// words give it), so the way back keeps what the built-in made of it. One
// without an element is error 85, kept as it is.
void enter_ring_in_place(quoly** slot);
// The words of a left-out value become the residues of its numbers in the
// current ring; its digits stay. Nothing happens to any other value.
void give_left_out_words(quoly* q);

// ---- conversion lists ----
// Captures the tokens after ":" up to and including ")" from the input (or
// the pending list) into *list: a header record, the tokens, and a closing
// ";" record. The current token is then the last one read.
void get_stream(name** list, FILE** input, name** pending);
// Converts the items of the list in the frame's direction. Item errors are
// reported in three lines and end the list; the change goes on.
void change_local(name* list, RingChange* frame);
// After the list and the words of what it left out: every left-out
// scalar (the newest record of its name) whose words are not its element
// of the ring and that can be taken into it is converted as if starred.
void star_left_out_scalars();
// After the undo log has been replayed: every variable starred on the way
// in gets its original value back, newest conversion first, unless it was
// assigned or deleted meanwhile (then its own value stands). The originals
// were converted in records only the log reaches, so nothing the user did
// in modular mode can leave the log pointing at a freed value.
void reinstate_starred();
// Whether the ring change in force starred every stored value ("**").
bool all_values_starred();
// At the start of the way back, while the values are still residues: which
// starred values, cells and entries were written in modular mode (a value
// record freed meanwhile may hold a new value), for reinstate_starred.
void settle_starred_writes();
void settle_starred_array_writes();
// The value a starred variable gets back on the way to rational mode, as a
// rational value, while it still holds the copy it was given; else null.
quoly* starred_original(const var* v);
// The same for the arrays converted temporarily (kept apart in the same way).
void reinstate_starred_arrays();
// For a dense array starred on the way in: per cell, the value it comes
// back as, as a rational value, while the cell holds the copy it was given
// (else null); empty when no cell will come back so.
std::vector<quoly*> starred_cells(const array* a);
// For a sparse array starred on the way in that still holds the copy it
// was given: original(row, column, value) for every entry that comes back
// as its original (a rational value), written(...) for every entry of the
// copy made or written since (a residue), subscripts counted from 0.
// False, and nothing called, for any other array.
using entry_visit = std::function<void(int64_t, int64_t, quoly*)>;
bool starred_entries(const array* a, const entry_visit& original, const entry_visit& written);
// The undo log and the unlinked sparse entries replayed, then every starred
// value and array reinstated.
void replay_temporary_conversions();

// ---- Laurent mode ----
// laurent := state and every stored value rewritten for it. Error 235 in
// machine-integer (modular) arithmetic.
void change_laurent(int state);
// One value, in place, for the current `laurent`.
void change_quol(quoly** slot);

// ---- arrays (ring_arrays.cpp) ----
// Direction 0: permanent conversion (quoly_change_num); 1: value_from_mod.
// A cell that held a value and lost it gets 0; a cell never assigned stays so.
void change_arrays(int direction);     // every dense cell, the dense system array
// Every sparse array whose first frame's mode differs from modularmode, and
// the system array's frames; permanent conversion removes the entries that
// became 0. The frames' mode := modularmode.
void change_sparses(int direction);
// give_left_out_words for every dense cell and sparse entry.
void left_out_array_words();
// The dense arrays (the newest of each name) holding a left-out cell whose
// words are not its element of the ring are converted as if starred, when
// every such cell can be taken into the ring.
void star_left_out_arrays();
// A sparse array a conversion list left out, read whole in modular mode:
// a copy of its frames whose entries are the elements a full conversion
// makes (entries that become 0 left out), the array untouched; null when
// the array is not such an array. An entry that cannot be converted is
// refuse_unconverted_read's error. Within a range, only the entries in it
// are read, and the copy holds those alone.
struct entry_range {   // rows and columns from 1, both ends included
    int32_t first_row = 1, last_row = INT32_MAX, first_col = 1, last_col = INT32_MAX;
};
sparse* sparse_read_in_ring(array* a, const entry_range& within = {});
// One sparse array: to_mod logged (entries that become 0 are unlinked and
// go on sparse_fix), to_mod and from_mod both: the two logs replayed,
// from_mod alone back from residues, neither permanent.
void fast_change_spar(array* a, int to_mod, int from_mod);
// The system array when it is dense, after a conversion list.
void change_system_array(int direction);
// The item "[name]" (starred: "*[name]") of a conversion list.
void convert_listed_array(array* a, int starred, int direction);
// "**" in a list: every dense cell logged (0) or restored with the log (1),
// every sparse array through fast_change_spar, the system array permanently.
void temp_change_arrays(int direction);
// Laurent mode: every cell, the system array and every sparse entry through change_quol.
void laurent_change_arrays();
// A polynomial variable added (new outermost level) or removed (the
// variable set to 1 and its level dropped) while sparse arrays exist.
struct attach_context {
    int32_t level;          // level of the variable concerned
    int removing;           // 1: the variable is being removed
    long* zero_dens;        // removing: zero denominators met so far (40 are reported)
};
void redo_sparses(const attach_context* context);
// An entry whose denominator becomes 0 becomes 1 with a warning; one that
// becomes 0 is removed.
void sparse_down(array* a, const attach_context* context);
