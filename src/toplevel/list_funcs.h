// The pieces of a function listing below the whole-definition writers of
// interp/functions.h: the tokens of a statement or condition, the text of a
// comment, and a parameter list. Each writes to the stream held in `out`.
#pragma once
#include <cstdint>
#include <cstdio>

#include "interp/functions.h"

// The tokens of `chain` up to its end token, blanks put back so that the
// text reads as typed: around operators and comparisons at bracket depth 0
// (and "and"/"or" when `condition`), ":= " for an assignment, after ","
// at depth 0 and wherever a blank followed the token in the source.
// *blank_written says whether the last output was a blank; it is read
// first and left describing the last character written.
void listchars(FILE** out, name* chain, int32_t* col, int* blank_written, int condition);
// The raw characters of one comment; stored line ends become newlines.
void listchars_com(FILE** out, name* chain, int32_t* col);
// "a,^b,c": the parameters from `first`, "^" before those passed by reference.
void listpars(FILE** out, param* first, int32_t* col);
