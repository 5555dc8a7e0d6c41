// Function definitions and compiled statements: the definition
// statement's reader, the compiler of statement lists into form/cond
// records, and the release of compiled statements.
//
// Empty statements (";;", or a line end typed at the terminal right after
// "=", ";", "then" or "do") are dropped while a list is compiled: they never
// become a stored statement that begins with ";".
#include <cstring>
#include <vector>

#include "interp/functions.h"
#include "interp/scanner.h"
#include "interp/stack_depth.h"
#include "interp/stored_code.h"
#include "storage/equality.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"

namespace {

constexpr uint16_t CANCELLED = 63533;

// Every function record made: never released (a running call may still be
// in a deleted definition, a cancelled one keeps what it compiled), and so
// kept reachable (by a list that static destruction leaves alone).
std::vector<func*>* const every_func = new std::vector<func*>;

bool ends_list(const char* end_word) {
    if (token_is(&token, end_word)) return true;
    if (std::strcmp(end_word, "elfi*") == 0) return token_is(&token, "else") || token_is(&token, "fi");
    return false;
}

bool is_word(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// Statement ends in a row, at the terminal, that a definition survives:
// the end of the header line is one, so 15 empty lines after it cancel the
// definition (after a line ended by ';' the ';' and the line end are two).
constexpr int32_t RUNAWAY_ENDS = 15;

void new_empty_form(form** slot) {
    newform(slot);
    (*slot)->stmt = nullptr;
    (*slot)->comments = nullptr;
    (*slot)->next = nullptr;
}

// The runaway guard of an outermost list (semicount above RUNAWAY_ENDS).
void cancel_definition(tokenrec* saved_token) {
    std::printf("\n**** WARNING. Error in function definition.\n");
    std::printf("Extra ';'. Maybe you need a 'then', a continuation char, a ')', or a period.\n");
    std::printf("Here is the last line read:\n");
    FILE* out = stdout;
    if (last_good_one) listrht(&out, 1, last_good_one, last_comm, 0);
    std::printf("\n*** Definition of %s cancelled.\n", current_func);
    std::fflush(stdout);
    saved_token->hash = CANCELLED;
}

void release_list(form* list) {
    while (list) {
        form* next = list->next;
        cond* c = list->stmt;
        if (c) {
            if (c->condition) freename(c->condition);
            if (c->statement) freename(c->statement);
            release_list(c->first);
            release_list(c->second);
            c->link = condhead;
            condhead = c;
        }
        list->next = formhead;
        formhead = list;
        list = next;
    }
}

// A statement that is nothing but the comments before an empty one.
bool only_comments(const form* f) {
    const cond* c = f->stmt;
    return f->comments && c && !c->condition && !c->statement && !c->first && !c->second;
}

}  // namespace

func* find_func(tokenrec* fname) {
    const int32_t b = hash(fname->name, FUNC_BUCKETS);
    for (func* f = func_store[b]; f; f = f->next)
        if (std::strcmp(f->name, fname->name) == 0) return f;
    return nullptr;
}

void delete_function(const tokenrec* fname) {
    func** link = &func_store[hash(fname->name, FUNC_BUCKETS)];
    for (func* f = *link; f; link = &f->next, f = f->next) {
        if (std::strcmp(f->name, fname->name) == 0) {
            *link = f->next;   // the record stays valid: a running call keeps it
            f->next = nullptr;
            return;
        }
    }
    error(20, fname->name);
}

void delete_older_functions(const tokenrec* fname) {
    func** link = &func_store[hash(fname->name, FUNC_BUCKETS)];
    bool newest_seen = false;
    for (func* f = *link; f;) {
        if (std::strcmp(f->name, fname->name) == 0) {
            if (newest_seen) {
                func* gone = f;
                *link = f->next;
                f = f->next;
                gone->next = nullptr;
                continue;
            }
            newest_seen = true;
        }
        link = &f->next;
        f = f->next;
    }
    if (!newest_seen) error(20, fname->name);
}

void freename(name* chain) {
    if (!chain) return;
    name* last = chain;
    while (last->next) last = last->next;
    last->next = name_garb;
    name_garb = chain;
}

void free_cond(form* f) { release_list(f); }

void free_form(form** f) {
    if (!*f) return;
    form* one = *f;
    one->next = nullptr;
    release_list(one);
    *f = nullptr;
}

void funcdef(FILE** source, name** pending) {
    std::memset(current_func, 0, sizeof current_func);
    std::strncpy(current_func, token.name, sizeof current_func - 1);
    func_def_count++;
    last_good_one = nullptr;
    last_attached = nullptr;
    last_comm = nullptr;

    func* f = new func{};
    every_func->push_back(f);
    std::memcpy(f->name, token.name, strnlen(token.name, sizeof f->name - 1));
    f->hash = UNHASHED;
    f->params = nullptr;
    f->body = nullptr;
    f->compiled = nullptr;
    f->params_compiled = 0;

    int read_next = 1;
    tokenrec saved_token;
    clear_token(&saved_token);

    body_scanner(source, &token, pending);
    if (token_is(&token, "(")) {
        param** tail = &f->params;
        for (;;) {
            body_scanner(source, &token, pending);
            int by_ref = 0;
            if (token_is(&token, "^")) {
                by_ref = 1;
                body_scanner(source, &token, pending);
            }
            if (!lower_initial(token.name)) {
                error(5, token.name);
            } else {
                for (param* q = f->params; q; q = q->next)
                    if (std::strcmp(q->tok.token, token.name) == 0) error(237, token.name);
                param* p = new param{};
                std::memcpy(p->tok.token, token.name, TOKEN_TEXT);
                p->tok.hash = static_cast<uint16_t>(hash(token.name, 151));
                p->tok.next = nullptr;
                p->uses = nullptr;
                p->binding = nullptr;
                p->by_ref = by_ref;
                p->array_binding = 0;
                p->sparse = 0;
                p->next = nullptr;
                *tail = p;
                tail = &p->next;
            }
            body_scanner(source, &token, pending);
            if (token_is(&token, ",") || token_is(&token, ";")) {
                if (stream_at_end(source, pending)) {
                    error(103, token.name);
                    break;
                }
                continue;
            }
            if (token_is(&token, ")")) break;
            error(6, token.name);
            break;
        }
        body_scanner(source, &token, pending);
        if (!token_is(&token, "=")) error(7, token.name);
    } else if (!token_is(&token, "=")) {
        error(12, token.name);
    }

    body_scanner(source, &token, pending);
    right_side(&f->body, ".", source, pending, &read_next, &saved_token, 1);

    if (saved_token.hash == CANCELLED) {
        if (read_next) scanner(source, &token, pending);
        func_def_count--;
        return;
    }
    if (stream_at_end(source, pending) && !token_is(&token, ".")) error(103, token.name);
    f->hash = static_cast<uint16_t>(hash(f->name, FUNC_BUCKETS));
    f->next = func_store[f->hash];
    func_store[f->hash] = f;
    new_funcs = 1;
    if (read_next)
        scanner(source, &token, pending);
    else
        token = saved_token;
    func_def_count--;
}

void right_side(form** body, const char* end_word, FILE** source, name** pending, int* read_next,
                tokenrec* saved_token, int outermost) {
    semicount = 0;
    *body = nullptr;
    form** tail = body;
    const bool guard_word = is_word(end_word, "od") || is_word(end_word, "elfi*") || is_word(end_word, "fi");
    const bool terminal = tt_flag && !*pending;

    // A ";" that ends a statement or stands alone: counts towards the
    // runaway guard. Returns false when the list must end here.
    auto count_semicolon = [&](bool* cancelled) -> bool {
        if (terminal)
            semicount++;
        else
            semicount = 0;
        if (in_sys_func && terminal && semicount == 12 && guard_word) {
            semicount = 0;
            set_token(&token, is_word(end_word, "elfi*") ? "fi" : end_word);
            return false;
        }
        if (semicount > RUNAWAY_ENDS) {
            if (outermost) cancel_definition(saved_token);
            *cancelled = true;
            return false;
        }
        return true;
    };

    // Comments written before an empty statement (a comment on a line of
    // its own at the terminal) wait for the next statement: an empty
    // statement is never stored, and running one would be an error.
    comment* carried = nullptr;
    form* previous = nullptr;

    for (;;) {
        // Empty statements are dropped.
        bool ended = false;
        while (token_is(&token, ";")) {
            bool cancelled = false;
            if (stream_at_end(source, pending)) {
                ended = true;
                break;
            }
            if (!count_semicolon(&cancelled)) {
                if (cancelled) return;
                ended = true;
                break;
            }
            body_scanner(source, &token, pending);
            if (ends_list(end_word)) {
                ended = true;
                break;
            }
        }
        if (ended || ends_list(end_word)) break;
        // Stored text that ends inside the list: the caller reports it.
        if (pending_exhausted(pending)) break;

        form* f;
        new_empty_form(&f);
        *tail = f;
        basic_form(f, &f->comments, end_word, source, pending, read_next, saved_token);
        if (carried) {
            comment** end = &carried;
            while (*end) end = &(*end)->next;
            *end = f->comments;
            f->comments = carried;
            carried = nullptr;
        }
        if (only_comments(f)) {
            carried = f->comments;
            f->comments = nullptr;
            *tail = nullptr;
            free_form(&f);   // f := null
        } else {
            tail = &f->next;
            previous = f;
        }
        if (saved_token->hash == CANCELLED) return;

        bool cancelled = false;
        if (token_is(&token, ";")) {
            if (!count_semicolon(&cancelled)) {
                if (cancelled) return;
                break;
            }
        } else {
            semicount = 0;
        }
        if (semicount == 1 && f) {
            last_good_one = f->stmt;
            last_comm = f->comments;
        }
        if (ends_list(end_word)) break;
        if (pending_exhausted(pending)) break;
        if (!token_is(&token, ";")) {
            error(token_is(&token, "{") ? 35 : 38, token.name);
            // Compilation goes on with the next token.
            if (stream_at_end(source, pending)) break;
            body_scanner(source, &token, pending);
            continue;
        }
        if (stream_at_end(source, pending)) break;
        body_scanner(source, &token, pending);
        if (ends_list(end_word)) break;
    }
    if (*tail) *tail = nullptr;
    // Comments after the last statement stay with the one before them.
    if (carried && previous) {
        comment** end = &previous->comments;
        while (*end) end = &(*end)->next;
        *end = carried;
    }
}

void basic_form(form* f, comment** comments, const char* end_word, FILE** source, name** pending,
                int* read_next, tokenrec* saved_token) {
    cond* c;
    newcond(&c);
    c->condition = nullptr;
    c->kind = 0;
    c->first = nullptr;
    c->second = nullptr;
    c->statement = nullptr;
    c->link = nullptr;
    f->stmt = c;
    *comments = nullptr;
    // Constructs nest through here; a refused one stays empty.
    if (nesting_refused(token.name)) return;

    comment** ctail = comments;
    while (token_is(&token, "{")) {
        comment* cm = new comment{nullptr, nullptr};
        *ctail = cm;
        ctail = &cm->next;
        name** ntail = &cm->text;
        name** before_last = nullptr;
        for (;;) {
            int newline = 0;
            dumbscanner(source, &token, pending, &newline);
            if (token_is(&token, "}")) {
                // The listing writes a blank before "}": one that stood
                // there is that blank, so a saved definition reads back
                // with the text it was written from.
                if (before_last && std::strcmp((*before_last)->token, " ") == 0) {
                    freename(*before_last);
                    *before_last = nullptr;
                }
                break;
            }
            if (pending_exhausted(pending)) break;
            if (newline) std::printf(" Warning. End of line encountered inside a comment.\n");
            name* r;
            newname(&r);
            std::memcpy(r->token, token.name, TOKEN_TEXT);
            r->hash = UNHASHED;
            r->next = nullptr;
            r->next_use = nullptr;
            r->binding = nullptr;
            r->bind_kind = 0;
            before_last = ntail;
            *ntail = r;
            ntail = &r->next;
        }
        scanner(source, &token, pending);
    }
    // Only comments: the statement after them is empty.
    if (*comments && (token_is(&token, ";") || ends_list(end_word))) return;

    if (token_is(&token, "else") || token_is(&token, "fi") || token_is(&token, "od")) error(319, token.name);

    const bool is_if = token_is(&token, "if");
    const bool is_loop = token_is(&token, "while") || token_is(&token, "for");
    if (is_if || is_loop) {
        const bool is_for = token_is(&token, "for");
        if (doing_sys_func) {
            token = sys_func_token;
            doing_sys_func = 0;
        } else {
            body_scanner(source, &token, pending);
        }
        attach_frame frame{source, pending, is_for ? 1 : 0, comments, saved_token, read_next};
        attach(&c->condition, is_if ? "then" : "do", &frame);
        c->kind = is_if ? 0 : 1;
        body_scanner(source, &token, pending);
        right_side(&c->first, is_if ? "elfi*" : "od", source, pending, read_next, saved_token, 0);
        if (saved_token->hash == CANCELLED) return;
        // A body the input ended inside is never run: a loop without its
        // "od" would otherwise run its empty body for ever.
        if (!ends_list(is_if ? "elfi*" : "od") && stream_at_end(source, pending)) error(103, token.name);
        if (token_is(&token, "else")) {
            if (is_if) {
                body_scanner(source, &token, pending);
            } else {
                error(214, token.name);
                body_scanner(source, &token, pending);
            }
            right_side(&c->second, "fi", source, pending, read_next, saved_token, 0);
            if (saved_token->hash == CANCELLED) return;
            if (!ends_list("fi") && stream_at_end(source, pending)) error(103, token.name);
        }
        body_scanner(source, &token, pending);
        return;
    }

    attach_frame frame{source, pending, 0, comments, saved_token, read_next};
    attach(&c->statement, end_word, &frame);
}

void spec_right_side(form** body, FILE** source, name** pending, const char* end_word) {
    semicount = 0;
    // A statement an error leaves half compiled is given back.
    struct FormHold {
        form* f = nullptr;
        ~FormHold() { free_form(&f); }
    } hold;
    new_empty_form(&hold.f);
    form* f = hold.f;
    int read_next = 1;
    tokenrec saved;
    clear_token(&saved);
    if (in_sys_func && token_is(&token, ";")) set_token(&token, "0");
    basic_form(f, &f->comments, end_word, source, pending, &read_next, &saved);
    hold.f = nullptr;
    *body = f;
    if (token_is(&token, ";") && tt_flag) {
        semicount++;
        if (semicount == 1 || semicount == 13) {
            last_good_one = f->stmt;
            last_comm = f->comments;
        }
        if (semicount == 15) error(132, token.name);
    } else {
        semicount = 0;
    }
}
