// TEMPORARY, for the fn-cond branch only: stand-ins for the statement
// compiler's spec_right_side, free_form, free_cond and freename, which
// another module provides. Delete this file when that module is merged.
//
// spec_right_side here compiles only what skipping the body of an empty
// sum needs: one plain statement, its tokens up to the end word (nested
// openings of the end word counted) and the end token.
#include <cstring>

#include "interp/functions.h"
#include "interp/scanner.h"

namespace {

char opening_of(const char* end_word) {
    if (std::strcmp(end_word, ")") == 0) return '(';
    if (std::strcmp(end_word, "]") == 0) return '[';
    return 0;
}

bool is_char_token(const tokenrec& t, char c) { return c != 0 && t.name[0] == c && t.name[1] == 0; }

}  // namespace

void freename(name* chain) {
    if (!chain) return;
    name* last = chain;
    while (last->next) last = last->next;
    last->next = name_garb;
    name_garb = chain;
}

void free_cond(form* f) {
    while (f) {
        form* next = f->next;
        free_form(&f);
        f = next;
    }
}

void free_form(form** f) {
    if (!*f) return;
    cond* c = (*f)->stmt;
    if (c) {
        freename(c->condition);
        freename(c->statement);
        free_cond(c->first);
        free_cond(c->second);
        c->link = condhead;
        condhead = c;
    }
    (*f)->next = formhead;
    formhead = *f;
    *f = nullptr;
}

void spec_right_side(form** body, FILE** source, name** pending, const char* end_word) {
    const char open = opening_of(end_word);
    newform(body);
    cond* c = nullptr;
    newcond(&c);
    (*body)->stmt = c;
    (*body)->comments = nullptr;
    (*body)->next = nullptr;
    c->condition = nullptr;
    c->kind = 0;
    c->first = c->second = nullptr;
    name* head = nullptr;
    name* tail = nullptr;
    auto append = [&](const char* text) {
        name* r = nullptr;
        newname(&r);
        std::memset(r->token, 0, TOKEN_TEXT);
        std::memcpy(r->token, text, std::strlen(text) < TOKEN_TEXT ? std::strlen(text) : TOKEN_TEXT - 1);
        r->hash = UNHASHED;
        r->next = nullptr;
        if (tail)
            tail->next = r;
        else
            head = r;
        tail = r;
    };
    int depth = is_char_token(token, open) ? 2 : 1;
    for (;;) {
        append(token.name);
        if (!*pending && std::feof(*source)) break;
        scanner(source, &token, pending);
        if (token_is(&token, end_word)) {
            if (--depth == 0) break;
        } else if (is_char_token(token, open)) {
            depth++;
        }
    }
    append("\xC2\xA5");
    c->statement = head;
}
