// Listing of user functions: a compiled body written back as source text
// that the scanner reads again. Plain statements and conditions are token
// chains replayed with the blanks a reader expects; control structure is
// laid out one statement per line, a nested body 3 columns deeper.
//
// Two forms leave the terminal flag off: readable (lines end plainly) and,
// under `uglyprint`, unformatted (lines end with a blank and the
// continuation character, as at the terminal). With the terminal flag on
// every line but the last ends with " `", so that the listing typed back
// reads as one statement.
#include "toplevel/list_funcs.h"

#include <cstring>

#include "interp/token.h"
#include "toplevel/display.h"

namespace {

const char* const END_TOKEN = "\xC2\xA5";

void put(FILE** out, const char* s, int32_t* col) {
    std::fputs(s, *out);
    if (col) *col += static_cast<int32_t>(std::strlen(s));
}

// A blank, the continuation character and a newline.
void continued_line_end(FILE** out) { std::fprintf(*out, " %c\n", continuation); }

bool is_end(const name* t) { return !t || std::strcmp(t->token, END_TOKEN) == 0; }

bool text_is(const name* t, const char* s) { return t && std::strcmp(t->token, s) == 0; }

// The lines of a body after "then", "do" or "else" (`opening_blank`: the
// readable form puts a blank before the line end, as after "then" and "do").
void list_body(FILE** out, int terminal, form* body, int32_t indent, int opening_blank) {
    const bool continued = terminal || uglyprint;
    if (continued)
        continued_line_end(out);
    else
        std::fputs(opening_blank ? " \n" : "\n", *out);
    doblanks(out, indent + 3);
    listform(out, terminal, body, indent + 3);
    if (continued)
        continued_line_end(out);
    else
        std::fputc('\n', *out);
}

// One captured character of a literal or comment; a stored line end is a
// newline again.
void raw_token(FILE** out, const name* t, int32_t* col, int* blank_written) {
    if (text_is(t, "\n") || text_is(t, "\r")) {
        std::fputc('\n', *out);
        *col = 0;
        *blank_written = 1;
        return;
    }
    put(out, t->token, col);
    const size_t len = std::strlen(t->token);
    *blank_written = len > 0 && t->token[len - 1] == ' ';
    if (t->blank_follows) {
        put(out, " ", col);
        *blank_written = 1;
    }
}

}  // namespace

void listpars(FILE** out, param* first, int32_t* col) {
    for (param* p = first; p; p = p->next) {
        if (p->by_ref) put(out, "^", col);
        put(out, p->tok.token, col);
        if (p->next) put(out, ",", col);
    }
}

void listchars_com(FILE** out, name* chain, int32_t* col) {
    for (name* t = chain; !is_end(t); t = t->next) {
        if (text_is(t, "\n") || text_is(t, "\r")) {
            std::fputc('\n', *out);
            *col = 0;
        } else {
            put(out, t->token, col);
        }
    }
}

void listchars(FILE** out, name* chain, int32_t* col, int* blank_written, int condition) {
    // A delete statement names its targets: "<" there is no comparison.
    const bool comparisons = !text_is(chain, "@");
    int32_t depth = 0;
    bool prev_compared = false;   // the token before was spaced as a comparison
    const char* prev = "";
    bool literal = false, in_comment = false;
    for (name* t = chain; !is_end(t); t = t->next) {
        name* n = t->next;
        // The raw characters of a quoted literal or of a comment inside the
        // statement are its data: written as captured, never respaced.
        if (literal || in_comment) {
            if (literal && text_is(t, "'")) literal = false;
            if (in_comment && text_is(t, "}")) in_comment = false;
            raw_token(out, t, col, blank_written);
            continue;
        }
        if (text_is(t, "'") || text_is(t, "{")) {
            (text_is(t, "'") ? literal : in_comment) = true;
            raw_token(out, t, col, blank_written);
            prev = t->token;
            prev_compared = false;
            continue;
        }
        const unsigned char first = static_cast<unsigned char>(t->token[0]);
        if (text_is(t, "["))
            depth++;
        else if (text_is(t, "]") && depth > 0)
            depth--;
        const bool assignment = text_is(t, ":") && text_is(n, "=");
        bool spaced = false, compared = false;
        if (depth == 0) {
            if ((text_is(t, "+") || text_is(t, "-")) && std::strcmp(prev, ":") != 0)
                spaced = true;
            else if (comparisons && in_set(first, cond_set) && !prev_compared)
                spaced = compared = true;
            else if (condition && (text_is(t, "and") || text_is(t, "or")))
                spaced = true;
        }
        if ((spaced || assignment) && !*blank_written) {
            put(out, " ", col);
            *blank_written = 1;
        }
        put(out, t->token, col);
        const size_t len = std::strlen(t->token);
        *blank_written = len > 0 && t->token[len - 1] == ' ';
        if (t->blank_follows) {
            put(out, " ", col);
            *blank_written = 1;
        }
        if (depth == 0 && text_is(t, ",")) {
            put(out, " ", col);
            *blank_written = 1;
        }
        prev = t->token;
        prev_compared = compared;
        if (assignment) {
            // ":=" always reads ":= "; the "=" is written here, so the
            // token after it sees ":" as its predecessor.
            put(out, "= ", col);
            *blank_written = 1;
            t = n;
            n = t->next;
            continue;
        }
        if (spaced && !*blank_written && !(n && !is_end(n) && in_set(static_cast<unsigned char>(n->token[0]), short_set))) {
            put(out, " ", col);
            *blank_written = 1;
        }
    }
}

void listform(FILE** out, int terminal, form* list, int32_t indent) {
    for (form* f = list; f; f = f->next) {
        listrht(out, terminal, f->stmt, f->comments, indent);
        if (!f->next) break;
        if (terminal || uglyprint)
            std::fprintf(*out, "; %c\n", continuation);
        else
            std::fputs("; \n", *out);
        doblanks(out, indent);
    }
}

void listrht(FILE** out, int terminal, cond* c, comment* comments, int32_t indent) {
    int32_t col = indent;
    for (comment* k = comments; k; k = k->next) {
        std::fputc('{', *out);
        listchars_com(out, k->text, &col);
        if (terminal || uglyprint)
            std::fprintf(*out, "} %c\n", continuation);
        else
            std::fputs(" }\n", *out);
        doblanks(out, indent);
        col = indent;
    }
    if (!c) return;
    // The line starts after blanks or at its beginning: no blank is due
    // before a leading operator.
    int blank = 1;
    if (!c->condition) {
        listchars(out, c->statement, &col, &blank, 0);
        return;
    }
    name* chain = c->condition;
    const bool loop = c->kind == 1;
    if (!loop) {
        put(out, "if ", &col);
    } else if (text_is(chain, ":")) {
        put(out, "for ", &col);
        chain = chain->next;
    } else {
        put(out, "while ", &col);
    }
    listchars(out, chain, &col, &blank, 1);
    if (!blank) std::fputc(' ', *out);
    std::fputs(loop ? "do" : "then", *out);
    list_body(out, terminal, c->first, indent, 1);
    doblanks(out, indent);
    if (loop) {
        std::fputs("od", *out);
        return;
    }
    if (c->second) {
        std::fputs("else", *out);
        list_body(out, terminal, c->second, indent, 0);
        doblanks(out, indent);
    }
    std::fputs("fi", *out);
}

void big_write_p(listing_frame* frame) {
    FILE** out = frame->out;
    func* f = frame->f;
    std::fputc('\n', *out);
    frame->column = 0;
    put(out, " Function ", &frame->column);
    put(out, f->name, &frame->column);
    if (f->params) {
        put(out, "(", &frame->column);
        listpars(out, f->params, &frame->column);
        put(out, ")", &frame->column);
    }
    if (frame->terminal)
        std::fprintf(*out, " =  %c\n", continuation);
    else
        std::fputs(" =  \n", *out);
    std::fputs("    ", *out);
    listform(out, frame->terminal, f->body, 4);
    std::fputc('.', *out);
}

void simple_write_p(listing_frame* frame) {
    FILE** out = frame->out;
    func* f = frame->f;
    std::fputc('\n', *out);
    frame->column = 0;
    put(out, f->name, &frame->column);
    if (f->params) {
        put(out, "(", &frame->column);
        listpars(out, f->params, &frame->column);
        put(out, ")", &frame->column);
    }
    std::fputc('\n', *out);
}
