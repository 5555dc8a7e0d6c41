// The scanner family: one token at a time from a character stream or from a
// pending list of stored tokens.
//
// Every scanner takes the address of a stream variable (&Input or a file's
// stream), the token record to fill and the address of the pending-list
// word. While that word is not null the token is the record after the one
// it points at (text and cached hash copied, the word advanced, currentchar
// set to the record after that). The readers stop at the list's own end
// token; a reader that asks past it (a definition or a construct left open
// in the stored text) gets the last record again, as a stream at its end
// keeps delivering ";". Tokens read from a stream get hash UNHASHED and are
// recorded in the recent-token ring.
//
// At end of input scanner and spec_scanner deliver ";" on every call.
#pragma once
#include <cstdio>
#include <cstring>

#include "interp/token.h"
#include "storage/other_records.h"

// Takes the token after the one the pending word points at.
inline void from_pending(tokenrec* tok, name** pending) {
    name* r = (*pending)->next;
    if (r)
        *pending = r;
    else
        r = *pending;
    std::memcpy(tok->name, r->token, TOKEN_TEXT);
    tok->hash = r->hash;
    currentchar = r->next;
}

// The list's last record has been delivered: nothing is left to read.
inline bool pending_exhausted(name* const* pending) { return *pending && !(*pending)->next; }

// Names up to namelength characters (letters, then letters, digits, '_'),
// every other byte a one-byte token; blanks, tabs and carriage returns are
// skipped before a token; a line end reads as ";" under tt_flag (the
// newline stays unread) and as a blank otherwise.
void scanner(FILE** source, tokenrec* tok, name** pending);

// With ":" the current token: whether "=", "+" or "-" comes next (the ":"
// of an assignment, not the one that ends a statement without showing
// it). Only blanks are consumed; a byte looked at past them is held in
// leftover, but not the line end of a ":" ending its line.
bool assignment_follows(FILE** source, name** pending);

// As scanner, but blanks (and line ends without tt_flag) are skipped inside
// names too, so "ab cd" is the name abcd; leftover is taken whatever it is.
// crossed := 1 when a line end or a continuation line was passed, else 0.
void spec_scanner(FILE** source, tokenrec* tok, name** pending, int* crossed);

// The next raw byte as a one-byte token; a line end is read and delivered
// as a carriage return (13) with newline := 1. leftover is ignored. At end
// of input the raw text can never be closed: tok := ";", newline := 1 and
// error 103 (unexpected end of input).
void dumbscanner(FILE** source, tokenrec* tok, name** pending, int* newline);

// Captures the rest of the statement from the stream it is read from (the
// terminal, or the file being read) as a pending list: a header record (no
// token) followed by one record per token up to and including the ending
// ";" (a ";" inside a function definition being read does not end it).
// list := the header, or null when the statement ends at once (";", or at
// the terminal a line end, follows).
void save_input_stream(FILE** source, name** list);

// Start-up: the character sets, the recent-token ring (built once), and the
// defaults namelength 10, continuation '`', tt_flag 1, leftover 0, token
// empty; finish := null.
void init_scanner_structures();

// Appends tok's text to the ring (the scanners call it for stream tokens).
void record_token(const tokenrec* tok);
