// Helpers shared by the capture, definition and call modules of stored code
// (Parts 6.103, 6.140, 6.142); not an interface of the interpreter.
#pragma once
#include <cstdio>

#include "interp/token.h"

struct name;

// The scanner as the readers of a definition use it: at the terminal, a
// line end that has already been delivered as ";" (tok holds that ";") is
// consumed first, so that the next line is read. Typed input only.
void body_scanner(FILE** source, tokenrec* tok, name** pending);

// The stream is exhausted; a pending list is when its last record has been
// delivered.
bool stream_at_end(FILE** source, name** pending);

struct quoly;
// Runs the temporary body of the last construct typed outside a function
// ("<F" and call_sys_func); error 222 when there is none. The token is kept.
void run_sys_func(FILE** source, quoly** value, name** pending);

// The delete statement's function items: "@F" unlinks the newest
// definition (error 20 when there is none); "<F>" keeps the newest and
// unlinks every older one.
void delete_function(const tokenrec* fname);
void delete_older_functions(const tokenrec* fname);

// The end token of a captured chain.
inline constexpr const char* END_TOKEN = "\xC2\xA5";

// True when the bytes of the token name begin an upper/lower-case letter.
inline bool upper_initial(const char* s) { return s[0] >= 'A' && s[0] <= 'Z'; }
inline bool lower_initial(const char* s) { return s[0] >= 'a' && s[0] <= 'z'; }
