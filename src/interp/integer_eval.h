// The integer evaluator's term and factor readers (iexpre and old_iexpre,
// its statement and expression readers, are declared in functions.h).
//
// Statements run under integerflag compute in machine words and update
// variables in place. Outside modular arithmetic every value, intermediate
// results included, is a one-digit integer: magnitude at most 2^28 - 1.
// A result beyond that is error 32 and ends the statement, so nothing is
// ever wrapped or truncated, and a stored number written by this evaluator
// stays a valid one-digit number. In modular arithmetic values are the
// residues 0 .. modulus - 1. Tokens come only from the pending list.
#pragma once
#include <cstdint>

#include "interp/array_table.h"
#include "interp/token.h"
#include "storage/records.h"

struct name;

// Where a factor's value lives: the value pointer of the integer readers.
struct iplace {
    quoly** slot;        // the value slot of the variable the factor names; null: a computed value
    int novalue;         // the factor names a scalar that does not exist yet, directly before ":"
    tokenrec newname;    // that scalar's name: the assignment creates it
    int sparse_element;  // an element of a sparse array (slot null): written through the
    element_ref element; // sparse store, which never keeps a zero
    int dense_element;   // slot is a cell of a dense array
};

// Factors joined by '*', '/', '\' and '|'. *place: the factor's place for a
// single factor, else a computed value.
void iterm(iplace* place, int32_t* result, name** pending);
// One factor with an optional postfix "^" or "!".
void ifact(iplace* place, int32_t* result, name** pending);
// The amount of ":+", ":-" or ":*", one factor read while the target is
// held: false, after error 68, when it names a scalar that does not exist.
bool iupdate_amount(int32_t* amount, name** pending);

// The value of a stored value slot as an integer-mode word: a plain number
// (error 227) of one digit outside machine-integer mode (error 32); 0 for an
// empty slot or when the error returns. A loop index past the modulus is its
// element, but its integer before "!".
int32_t istored_value(quoly* stored, const char* name_text);
// Writes v through a value slot: in place into the stored number when it
// is one (its machine word, or its one digit), else a new number record.
// A copy is changed instead at a nested command level, where the
// interrupted computation may still read the old record.
void istore(quoly** slot, int32_t v);

// ---- word arithmetic (also the sparse store's integer-mode sums) ----
// v itself when it is a one-digit integer; otherwise error 32 ends the
// statement (also when the error returns: a wrapped or cut value would
// silently corrupt what is stored).
int32_t ibound(int64_t v);
// v as an element of the ring (word_residue: an integer read with modular
// arithmetic off, brought into the ring).
int32_t ireduce(int64_t v);

// a + b, a - b, a * b and -a in the current ground ring: residue arithmetic
// (exclusive or for sums and differences in characteristic 2, where
// negation is the identity) or bounded integer arithmetic.
int32_t iadd(int32_t a, int32_t b);
int32_t isub(int32_t a, int32_t b);
int32_t imul(int32_t a, int32_t b);
int32_t ineg(int32_t a);
