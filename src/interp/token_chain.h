// A chain of stored tokens being captured from the input, for readers that
// replay a piece of a statement (the sum and product forms, a generator's
// cell expression, the first item of a sparse literal). What is not
// released goes back to name_garb on every exit.
#pragma once
#include <cstdint>
#include <cstring>

#include "interp/functions.h"
#include "interp/token.h"
#include "storage/other_records.h"

struct TokenChain {
    name* head = nullptr;
    name* tail = nullptr;
    TokenChain() = default;
    ~TokenChain() {
        if (head) freename(head);
    }
    TokenChain(const TokenChain&) = delete;
    TokenChain& operator=(const TokenChain&) = delete;
    void append(const char* text, uint16_t hash) {
        name* r = nullptr;
        newname(&r);
        std::memset(r->token, 0, TOKEN_TEXT);
        std::memcpy(r->token, text, std::strlen(text) < TOKEN_TEXT ? std::strlen(text) : TOKEN_TEXT - 1);
        r->hash = hash;
        r->next_use = nullptr;
        r->binding = nullptr;
        r->next = nullptr;
        r->bind_kind = 0;
        if (tail)
            tail->next = r;
        else
            head = r;
        tail = r;
    }
    void append(const tokenrec& t) { append(t.name, t.hash); }
    void append_chain(name* c) {
        if (!c) return;
        if (tail)
            tail->next = c;
        else
            head = c;
        while (c->next) c = c->next;
        tail = c;
    }
    name* release() {
        name* h = head;
        head = tail = nullptr;
        return h;
    }
};
