// Reading files of statements: the read command (&R, &r, &(R = name)),
// which runs a file's statements as if typed but without displaying their
// values, and the input file's part in error reports. One input file is
// open at a time; it stays open after a read, so that a read stopped by
// &x can be resumed.
#pragma once
#include <cstdio>
#include <string>

#include "storage/records.h"

struct name;

extern FILE* inpuf;          // the input file; null when none is open
extern int done_load;        // &x was read: the read ends after the statement, and &r resumes there

// The read command. &R and &r pass the blank name " ", the parameterised
// form its name; letter is 'R' or 'r'. &r resumes the open file (where &x
// stopped it, else from its beginning); otherwise the name (asked for on
// the terminal when blank) is opened and read, "@" closes the input file.
// *loader := 1 when the name was asked for: the statement's own end is
// then current and nothing more is to be read. *value holds the last
// statement's value (0 when none ran).
void load(FILE** source, quoly** value, name** pending, const char* given, int letter, int* loader);

// The input file is being read by a read in progress (the current one or
// one it was started from): reading it again, or writing it, would never end.
bool input_file_in_use(const char* file);

// Closes the input file. A read in progress keeps its stream until it
// ends, and ends at its next statement.
void close_input_file();

// The error routine's report while a file is read: the next three lines
// of the file, left unread, and the file closed when &b asks for it.
void report_input_position();

// A file name typed on the terminal after a request line: "'" raw
// characters "'", "[" a character array, or one token ("@" cancels).
// The scanner's look-ahead character is dropped.
std::string ask_file_name();
