// The statement dispatcher: carries out one statement, chosen by its first
// token, evaluating it while it is read.
//
// The caller has read the statement's first token into `token`; the
// statement's value is left in *value (free-first: the slot is filled by
// the statement) and `token` holds the token that follows the statement,
// normally its terminator ";", ":", "@" or the end token C2 A5. After the
// empty statement ";" the slot is left as it was and `token` becomes "@"
// (nothing to display).
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// Thrown by the quit switch (&q); main catches it and ends the program.
struct QuitRequest {};

// One statement from the token source (stream and pending-list word).
// Returns 0.
int parse(FILE** source, quoly** value, name** pending);

// The switch command after its '&' (the current token): reads the switch
// character (or '_' and a character), carries out its action and reads the
// token that ends the statement. *value := 0 unless the switch leaves a value.
void switches(FILE** source, quoly** value, name** pending);

// The input statement after its '?' (the current token): asks for the value
// of the scalar named next and reads it from the terminal (Input) whatever
// the source, storing it; token, leftover and tt_flag are as before the
// answer was read. *value := the value stored at top level, 0 inside a
// body or when nothing was stored ("@" answers). Arrays are still to come.
void input_statement(FILE** source, quoly** value, name** pending);

// The look-ahead byte of the statement while an answer is read.
extern char saveleft;
