// The scanners: names and one-byte tokens from a stream or a pending list,
// the raw-character reader, the capture of the rest of a statement, and
// the ring of recent tokens the error routine prints.
//
// Every "next character" test peeks with getc/ungetc, so a line end can be
// left unread for the statement loop, which consumes it after the ";".
#include "interp/scanner.h"

#include <cstring>

#include "storage/other_records.h"
#include "toplevel/errors.h"
#include "toplevel/held_line.h"
#include "toplevel/loop.h"

tokenrec token = {{0}, UNHASHED};
FILE* Input = stdin;
name* zilch = nullptr;

char leftover = 0;
char continuation = '`';
int tt_flag = 1;
int32_t namelength = 10;
int32_t semicount = 0;
name* currentchar = nullptr;
int32_t func_def_count = 0;

name* start = nullptr;
name* finish = nullptr;

charset throwaways;
charset cond_set;
charset short_set;
charset poly_cond_set;
charset iterm_set;
charset term_set;
charset arr_term_ops;

namespace {

constexpr char BLANK = ' ';
constexpr char NEWLINE = '\n';

int peek(FILE* f) {
    int c = read_input_char(f);
    unread_input_char(c, f);
    return c;
}

bool at_end(FILE* f) { return peek(f) == EOF; }

bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_name_char(int c) { return is_letter(c) || (c >= '0' && c <= '9') || c == '_'; }

// The rest of the line after a continuation character, its newline included.
void skip_line(FILE* f) {
    int c;
    do {
        c = read_input_char(f);
    } while (c != EOF && c != NEWLINE);
}

// A name never outgrows the 11 characters of a token's text.
int32_t name_limit() {
    if (namelength < 1) return 1;
    return namelength > TOKEN_TEXT - 1 ? TOKEN_TEXT - 1 : namelength;
}

void one_char(tokenrec* tok, char c) {
    clear_token(tok);
    tok->name[0] = c;
}

// A character of more than one byte in UTF-8 is one token, so that a
// message echoing it shows the character, not its first byte. The bytes
// C2 A5 stay apart: together they are the end token of stored statements.
void utf8_rest(FILE* f, tokenrec* tok) {
    const unsigned char lead = static_cast<unsigned char>(tok->name[0]);
    const int more = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : 0;
    for (int k = 1; k <= more; k++) {
        const int c = peek(f);
        if (c < 0x80 || c > 0xBF || (k == 1 && lead == 0xC2 && c == 0xA5)) return;
        tok->name[k] = static_cast<char>(read_input_char(f));
    }
}

// scanner's search for the first significant character.
char skip_to_token(FILE* f) {
    char c;
    do {
        c = at_end(f) ? ';' : BLANK;
        while (in_set(c, throwaways) && !at_end(f) && peek(f) != NEWLINE)
            c = static_cast<char>(read_input_char(f));
        if (peek(f) == NEWLINE && c == BLANK) {
            if (tt_flag)
                c = ';';
            else
                c = static_cast<char>(read_input_char(f));
        }
        if (c == continuation) {
            skip_line(f);
            semicount = 0;
            c = BLANK;
        }
    } while (in_set(c, throwaways));
    return c;
}

// The next significant character for spec_scanner: blanks skipped always,
// line ends too without tt_flag (they set crossed).
char mygetchar(FILE* f, int* crossed) {
    char c;
    do {
        c = at_end(f) ? ';' : BLANK;
        while (in_set(c, throwaways) && !at_end(f) && peek(f) != NEWLINE)
            c = static_cast<char>(read_input_char(f));
        if (peek(f) == NEWLINE && c == BLANK) {
            if (tt_flag) {
                c = ';';
            } else {
                c = static_cast<char>(read_input_char(f));
                *crossed = 1;
            }
        }
        if (c == continuation) {
            skip_line(f);
            *crossed = 1;
            semicount = 0;
            c = BLANK;
        }
    } while (in_set(c, throwaways));
    return c;
}

// The character after a name's last one: a line end is ";" under tt_flag
// and a blank otherwise, and stays unread.
char next_in_name(FILE* f) {
    char c;
    if (at_end(f))
        c = ';';
    else if (peek(f) != NEWLINE)
        c = static_cast<char>(read_input_char(f));
    else
        c = tt_flag ? ';' : BLANK;
    if (c == continuation) {
        skip_line(f);
        semicount = 0;
        c = BLANK;
    }
    return c;
}

void build_set(charset& s, std::initializer_list<int> members) {
    std::memset(s.member, 0, sizeof s.member);
    for (int c : members) s.member[c & 0xFF] = true;
}

// Holds command_int at 0 while a statement is captured, so no nested
// command level opens in the middle of it.
struct CommandIntOff {
    int saved;
    CommandIntOff() : saved(command_int) { command_int = 0; }
    ~CommandIntOff() { command_int = saved; }
    CommandIntOff(const CommandIntOff&) = delete;
    CommandIntOff& operator=(const CommandIntOff&) = delete;
};

void give_back_names(name* first) {
    while (first) {
        name* n = first->next;
        first->next = name_garb;
        name_garb = first;
        first = n;
    }
}

}  // namespace

void clear_token(tokenrec* t) {
    std::memset(t->name, 0, TOKEN_TEXT);
    t->hash = UNHASHED;
}

void set_token(tokenrec* t, const char* s) {
    clear_token(t);
    std::strncpy(t->name, s, TOKEN_TEXT - 1);
}


void record_token(const tokenrec* tok) {
    if (!start) return;   // the ring is built at start-up
    if (!finish) {
        finish = start;
    } else {
        finish = finish->next;
        if (finish == start) start = start->next;
    }
    std::memcpy(finish->token, tok->name, TOKEN_TEXT);
    finish->hash = tok->hash;
}

void scanner(FILE** source, tokenrec* tok, name** pending) {
    // Between tokens the statement holds only references a level's
    // statements may empty, which the evaluator reads as 0.
    serve_pending_interrupt();
    if (*pending) {
        from_pending(tok, pending);
        return;
    }
    FILE* f = *source;
    char c;
    // A tab or carriage return after a name separates like a blank: files
    // with CRLF line ends break no statement that ends a line in a name.
    if (leftover != 0 && leftover != BLANK && leftover != '\t' && leftover != '\r')
        c = leftover;
    else
        c = skip_to_token(f);

    if (!is_letter(static_cast<unsigned char>(c))) {
        one_char(tok, c);
        utf8_rest(f, tok);
        leftover = 0;
    } else {
        clear_token(tok);
        int32_t limit = name_limit();
        int32_t len = 0;
        do {
            tok->name[len++] = c;
            c = next_in_name(f);
        } while (len < limit && is_name_char(static_cast<unsigned char>(c)));
        leftover = c;
    }
    record_token(tok);
}

bool assignment_follows(FILE** source, name** pending) {
    if (*pending) {
        const name* r = (*pending)->next;
        return r && r->token[1] == 0 && (r->token[0] == '=' || r->token[0] == '+' || r->token[0] == '-');
    }
    if (leftover == 0 || leftover == BLANK || leftover == '\t' || leftover == '\r') {
        // A ":" that ends its line ends the statement. The ";" the line end
        // reads as is not held: the statement loop takes the line end after
        // the prompt, and a held ";" would be one more (empty) statement.
        FILE* f = *source;
        while (peek(f) == BLANK || peek(f) == '\t' || peek(f) == '\r') read_input_char(f);
        if (at_end(f) || (tt_flag && peek(f) == NEWLINE)) return false;
        // The byte looked at stays for the scanner, as after a name.
        leftover = skip_to_token(f);
    }
    return leftover == '=' || leftover == '+' || leftover == '-';
}

void spec_scanner(FILE** source, tokenrec* tok, name** pending, int* crossed) {
    *crossed = 0;
    if (*pending) {
        from_pending(tok, pending);
        return;
    }
    FILE* f = *source;
    char c = leftover != 0 ? leftover : mygetchar(f, crossed);

    if (!is_letter(static_cast<unsigned char>(c))) {
        one_char(tok, c);
        utf8_rest(f, tok);
        leftover = 0;
    } else {
        clear_token(tok);
        int32_t limit = name_limit();
        int32_t len = 0;
        do {
            tok->name[len++] = c;
            c = mygetchar(f, crossed);
        } while (len < limit && is_name_char(static_cast<unsigned char>(c)));
        leftover = c;
    }
    record_token(tok);
}

void dumbscanner(FILE** source, tokenrec* tok, name** pending, int* newline) {
    if (*pending) {
        from_pending(tok, pending);
        return;
    }
    FILE* f = *source;
    int c = read_input_char(f);
    if (c == EOF) {
        // A raw reader waits for a closing character that can no longer
        // come: the statement cannot be completed.
        *newline = 1;
        set_token(tok, ";");
        record_token(tok);
        error(103, ";");
        return;
    }
    if (c == NEWLINE) {
        *newline = 1;
        c = '\r';
    } else {
        *newline = 0;
    }
    if (c == continuation) {
        skip_line(f);
        c = BLANK;
    }
    one_char(tok, static_cast<char>(c));
    record_token(tok);
}

void save_input_stream(FILE** source, name** list) {
    newname(list);
    name* header = *list;
    header->next = nullptr;
    CommandIntOff guard;

    // In a file a line end is a blank: the statement goes on.
    if (tt_flag && peek(*source) == NEWLINE) {
        give_back_names(header);
        *list = nullptr;
        return;
    }

    name* last = header;
    int32_t count = 0;
    tokenrec local;
    for (;;) {
        scanner(source, &local, &zilch);
        name* r;
        newname(&r);
        std::memcpy(r->token, local.name, TOKEN_TEXT);
        r->hash = local.hash;
        r->next = nullptr;
        last->next = r;
        last = r;
        count++;
        // A ";" inside a definition being typed does not end the capture,
        // but the end of input does: it delivers ";" for ever.
        if (token_is(&local, ";") && (func_def_count == 0 || at_end(*source))) break;
    }
    if (count == 1) {
        give_back_names(header);
        *list = nullptr;
    }
}

void init_scanner_structures() {
    build_set(throwaways, {' ', '\t', '\n', '\r'});
    build_set(cond_set, {'>', '<', '=', 179, 178, 173});
    build_set(short_set, {'=', '>'});
    build_set(poly_cond_set, {'=', 173});
    build_set(iterm_set, {'*', '/', '\\', '|'});
    build_set(term_set, {'*', '/', '\\', '|', '('});
    build_set(arr_term_ops, {'*', '/', '|', '\\', '_'});

    if (!start) {
        name* first = nullptr;
        name* prev = nullptr;
        for (int32_t i = 0; i < TOKEN_RING_SIZE; i++) {
            name* r = new name{};
            r->hash = UNHASHED;
            if (prev)
                prev->next = r;
            else
                first = r;
            prev = r;
        }
        prev->next = first;
        start = prev;
    }
    finish = nullptr;

    namelength = 10;
    continuation = '`';
    tt_flag = 1;
    leftover = 0;
    semicount = 0;
    currentchar = nullptr;
    clear_token(&token);
}
