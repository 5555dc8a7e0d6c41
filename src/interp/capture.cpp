// Capture of bracketed token lists: the tokens of one piece of
// a construct, up to its closing word, as a chain of stored tokens ending
// with the end token C2 A5.
#include <cstring>

#include "interp/functions.h"
#include "interp/scanner.h"
#include "interp/stored_code.h"
#include "storage/equality.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"
#include "toplevel/held_line.h"

namespace {

int peek_char(FILE* f) {
    const int c = read_input_char(f);
    unread_input_char(c, f);
    return c;
}

bool is_digit_token(const tokenrec& t) { return t.name[0] >= '0' && t.name[0] <= '9' && t.name[1] == 0; }
bool is_func_word(const tokenrec& t) { return token_is(&t, "Function") || token_is(&t, "Func"); }

name* new_record(const char* text, uint16_t hash_value) {
    name* r;
    newname(&r);
    std::memset(r->token, 0, TOKEN_TEXT);
    std::memcpy(r->token, text, strnlen(text, TOKEN_TEXT - 1));
    r->hash = hash_value;
    r->next_use = nullptr;
    r->binding = nullptr;
    r->next = nullptr;
    r->bind_kind = 0;
    return r;
}

}  // namespace

void body_scanner(FILE** source, tokenrec* tok, name** pending) {
    if (!*pending && tt_flag && leftover == 0 && token_is(tok, ";") && *source &&
        peek_char(*source) == '\n')
        read_input_char(*source);
    scanner(source, tok, pending);
}

bool stream_at_end(FILE** source, name** pending) {
    if (*pending) return pending_exhausted(pending);
    if (leftover != 0 && leftover != ' ' && leftover != ';') return false;
    return !*source || peek_char(*source) == EOF;
}

int mate(const char* opening, const char* closing) {
    auto is = [](const char* a, const char* b) { return std::strcmp(a, b) == 0; };
    if (is(closing, ".")) return is(opening, "Function") || is(opening, "Func");
    if (is(closing, ")")) return is(opening, "(");
    if (is(closing, "]")) return is(opening, "[");
    if (is(closing, "od")) return is(opening, "do");
    if (is(closing, "fi") || is(closing, "elfi*")) return is(opening, "if");
    return 0;
}

void attach(name** list, const char* closing, attach_frame* frame) {
    FILE** source = frame->source;
    name** pending = frame->pending;
    const bool elfi = std::strcmp(closing, "elfi*") == 0;
    const bool dot_closing = std::strcmp(closing, ".") == 0;

    // The list is stored as it grows: what an error leaves captured is the
    // caller's to give back.
    name header{};
    name* last = &header;
    *list = nullptr;
    auto append = [&](name* r) {
        last->next = r;
        last = r;
        *list = header.next;
    };

    int depth = mate(token.name, closing) ? 2 : 1;
    int definitions = 0;
    bool in_literal = false, in_comment = false, dot_pending = false, going = true;
    bool prev_digit = false;     // the token before the current one was a digit
    bool prev_func = false;      // the token before the current one was "Function"/"Func"
    bool ended_on_dot = false;

    if (frame->for_header) append(new_record(":", UNHASHED));

    while (depth >= 1 && going) {
        if (!in_comment && token_is(&token, "'")) in_literal = !in_literal;
        name* appended = nullptr;
        if (!dot_pending) {
            const char* text = token.name;
            if (frame->for_header && !in_literal && !in_comment) {
                if (token_is(&token, "to")) text = " to";
                else if (token_is(&token, "by")) text = " by";
            }
            uint16_t h = token.hash;
            if (!in_literal && !in_comment) {
                if (lower_initial(text)) h = static_cast<uint16_t>(hash(text, 151));
                else if (upper_initial(text)) h = static_cast<uint16_t>(hash(text, FUNC_BUCKETS));
            }
            appended = new_record(text, h);
            append(appended);
        }
        const bool cur_digit = is_digit_token(token);
        const bool cur_func = is_func_word(token);

        // The next token.
        if (in_literal || in_comment) {
            int newline = 0;
            dumbscanner(source, &token, pending, &newline);
            if (newline && in_literal)
                std::printf(" Warning. End of line encountered inside a literal.\n");
            if (token_is(&token, "}") && in_comment && !in_literal) in_comment = false;
            prev_digit = false;
            prev_func = false;
            if (pending_exhausted(pending)) break;
            continue;
        }
        if (appended && leftover == ' ') appended->blank_follows = 1;
        body_scanner(source, &token, pending);
        prev_digit = cur_digit;
        prev_func = cur_func;

        if (token_is(&token, "{")) {
            in_comment = true;
            if (pending_exhausted(pending)) break;
            continue;
        }
        if (token_is(&token, "'")) {
            // The literal opens at the top of the next pass.
            dot_pending = false;
            if (pending_exhausted(pending)) break;
            continue;
        }

        if (dot_pending) {
            if (is_digit_token(token)) {
                append(new_record(".", UNHASHED));
                dot_pending = false;
            } else {
                definitions--;
                if (definitions < 0) {
                    ended_on_dot = true;
                    break;
                }
                depth--;
                append(new_record(".", UNHASHED));
                dot_pending = false;
                if (depth < 1) break;
            }
        }

        bool is_closing = token_is(&token, closing);
        if (!is_closing && elfi && (token_is(&token, "fi") || (token_is(&token, "else") && depth == 1)))
            is_closing = true;
        if (!is_closing) {
            if (mate(token.name, closing)) depth++;
            dot_pending = false;
        } else if (dot_closing && prev_digit) {
            dot_pending = true;
        } else if (dot_closing) {
            // A "." that is not pending closes a definition inside the text.
            definitions--;
            depth--;
            dot_pending = false;
        } else {
            depth--;
            dot_pending = false;
        }

        // Definitions inside the captured text.
        if (prev_func && upper_initial(token.name)) definitions++;
        if (dot_closing && prev_func && !upper_initial(token.name)) depth--;
        if (token_is(&token, ";") && definitions < 1) going = false;
        if (stream_at_end(source, pending) && definitions >= 1) going = false;
        // Stored text ends here, whatever is still open in it.
        if (pending_exhausted(pending)) going = false;
    }

    if (frame->comments && *frame->comments) {
        comment* c = *frame->comments;
        while (c->next) c = c->next;
        c->next = nullptr;
    }
    if (ended_on_dot || dot_pending) {
        if (frame->saved_token) *frame->saved_token = token;
        set_token(&token, ".");
        if (frame->read_next) *frame->read_next = 0;
    }
    append(new_record(END_TOKEN, UNHASHED));
    *list = header.next;
    last_attached = *list;
}
