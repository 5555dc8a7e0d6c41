// The current token and the state the scanners share with every reader of
// the command language: the look-ahead byte, the line-end and continuation
// rules, the recent-token ring and the character sets built at start-up.
//
// A token is either a name (first byte a letter) or one byte; numbers and
// multi-character operators are sequences of one-byte tokens assembled by
// their readers. A token comes from a character stream, or from a pending
// list of stored `name` records when the caller's pending-list word is not
// null (see scanner.h).
#pragma once
#include <cstring>
#include <cstdint>
#include <cstdio>

struct name;   // storage/other_records.h: one stored token

constexpr uint16_t UNHASHED = 65535;   // cached hash not yet computed
constexpr int32_t TOKEN_TEXT = 12;     // bytes of text: up to 11 characters and the NUL

// The token record; its two fields begin every named record (name, var,
// array, func), so text and hash copy between them field by field.
struct tokenrec {
    char name[TOKEN_TEXT];   // NUL-terminated
    uint16_t hash;           // bucket cached by a name table, UNHASHED if none
};

extern tokenrec token;       // the current token: every reader starts and ends with one here

// Sets t to the empty token with hash UNHASHED.
void clear_token(tokenrec* t);
// Sets t to the one text s (cut to 11 bytes), hash UNHASHED.
void set_token(tokenrec* t, const char* s);
// 1 when t's text is exactly s. Inline, and decided by the first byte in
// most calls: stored statements are replayed through many such tests.
inline int token_is(const tokenrec* t, const char* s) {
    return t->name[0] == s[0] && (s[0] == 0 || std::strcmp(t->name + 1, s + 1) == 0);
}

// ---- streams and pending lists ----
extern FILE* Input;          // the terminal stream (stdin); readers take its address
extern name* zilch;          // the top-level pending-list word: always null

// ---- scanner state ----
extern char leftover;        // one byte of look-ahead after a name; 0 = none
extern char continuation;    // line-continuation character, '`' at start-up
extern int tt_flag;          // 1: statements come from the terminal, a line end reads as ";"
extern int32_t namelength;   // longest name, 10 at start-up
extern int32_t semicount;    // consecutive statement ends while a body is typed; continuation lines clear it
extern name* currentchar;    // after a token from a pending list: the record following it
extern int32_t func_def_count;   // depth of function definitions being read (0 at top level)

// ---- recent-token ring ----
// 60 `name` records in a circle; start is the oldest recorded token, finish
// the newest, finish null when nothing has been recorded. The statement
// loop and the error routine null finish before each statement.
constexpr int32_t TOKEN_RING_SIZE = 60;
extern name* start;
extern name* finish;

// ---- character sets ----
// Sets of byte codes. in_set takes a character as int (a getc result, a
// plain or unsigned char): it is reduced to its byte, so EOF and bytes
// 128..255 are members only of the sets that list them.
struct charset {
    bool member[256];
};

inline bool in_set(int c, const charset& s) { return s.member[c & 0xFF]; }

extern charset throwaways;     // blank, tab, line feed, carriage return: skipped between tokens
extern charset cond_set;       // > < = and the single-byte codes 179 (>=), 178 (<=), 173 (<>)
extern charset short_set;      // = >
extern charset poly_cond_set;  // = and 173
extern charset iterm_set;      // * / \ |
extern charset term_set;       // * / \ | (
extern charset arr_term_ops;   // * / | \ _
