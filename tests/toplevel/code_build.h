// Compiled function bodies built by hand for the listing tests: token
// chains cut from source text as the scanner and the capture routine cut
// them, statements, bodies and functions, installed in func_store and taken
// out again.
#pragma once
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interp/functions.h"
#include "storage/equality.h"

class CodeBuilder {
public:
    CodeBuilder() { std::memcpy(saved_, func_store, sizeof saved_); }
    ~CodeBuilder() { std::memcpy(func_store, saved_, sizeof saved_); }
    CodeBuilder(const CodeBuilder&) = delete;
    CodeBuilder& operator=(const CodeBuilder&) = delete;

    // The chain capture makes of `text`: a name is letters and digits after
    // a letter and carries the blank-follows flag when a blank comes next;
    // every other character is a token of its own, blanks between tokens
    // dropped. Inside quotes and braces every character is kept, blanks
    // and line ends ("\r") included. A for header (`for_header`) starts
    // with ":" and holds "to" and "by" as " to" and " by".
    name* chain(const std::string& text, bool for_header = false) {
        std::vector<name*> recs;
        if (for_header) recs.push_back(rec(":"));
        bool raw = false;
        char closer = 0;
        for (size_t i = 0; i < text.size();) {
            const char c = text[i];
            if (raw) {
                recs.push_back(rec(std::string(1, c == '\n' ? '\r' : c)));
                if (c == closer) raw = false;
                i++;
                continue;
            }
            if (c == ' ') {
                i++;
                continue;
            }
            if (std::isalpha(static_cast<unsigned char>(c))) {
                size_t j = i;
                while (j < text.size() && std::isalnum(static_cast<unsigned char>(text[j]))) j++;
                std::string word = text.substr(i, j - i);
                if (for_header && (word == "to" || word == "by")) word = " " + word;
                name* r = rec(word);
                r->blank_follows = j < text.size() && text[j] == ' ';
                recs.push_back(r);
                i = j;
                continue;
            }
            recs.push_back(rec(std::string(1, c)));
            if (c == '\'' || c == '{') {
                raw = true;
                closer = c == '{' ? '}' : '\'';
            }
            i++;
        }
        recs.push_back(rec("\xC2\xA5"));
        for (size_t k = 0; k + 1 < recs.size(); k++) recs[k]->next = recs[k + 1];
        return recs.front();
    }

    // The raw characters of a comment, one token each ("\n" stored as "\r").
    comment* comments(std::initializer_list<std::string> texts) {
        comment* first = nullptr;
        comment** slot = &first;
        for (const std::string& t : texts) {
            comment* k = keep(new comment{});
            std::vector<name*> recs;
            for (char c : t) recs.push_back(rec(std::string(1, c == '\n' ? '\r' : c)));
            for (size_t i = 0; i + 1 < recs.size(); i++) recs[i]->next = recs[i + 1];
            k->text = recs.empty() ? nullptr : recs.front();
            *slot = k;
            slot = &k->next;
        }
        return first;
    }

    form* plain(const std::string& text, comment* notes = nullptr) {
        cond* c = keep(new cond{});
        c->statement = chain(text);
        return statement(c, notes);
    }
    form* if_(const std::string& condition, form* then_part, form* else_part = nullptr, comment* notes = nullptr) {
        cond* c = keep(new cond{});
        c->condition = chain(condition);
        c->first = then_part;
        c->second = else_part;
        return statement(c, notes);
    }
    form* while_(const std::string& condition, form* body, comment* notes = nullptr) {
        cond* c = keep(new cond{});
        c->condition = chain(condition);
        c->kind = 1;
        c->first = body;
        return statement(c, notes);
    }
    form* for_(const std::string& header, form* body, comment* notes = nullptr) {
        cond* c = keep(new cond{});
        c->condition = chain(header, true);
        c->kind = 1;
        c->first = body;
        return statement(c, notes);
    }
    // Links the statements into one list.
    static form* list(std::initializer_list<form*> forms) {
        form* prev = nullptr;
        for (form* f : forms) {
            if (prev) prev->next = f;
            prev = f;
        }
        return *forms.begin();
    }

    // A function with parameters written like "a,^b" (empty: none).
    func* function(const char* fname, const std::string& params, form* body) {
        func* f = keep(new func{});
        std::strncpy(f->name, fname, sizeof f->name - 1);
        f->hash = static_cast<uint16_t>(hash(fname, FUNC_BUCKETS));
        param** slot = &f->params;
        size_t i = 0;
        while (i < params.size()) {
            size_t j = params.find(',', i);
            if (j == std::string::npos) j = params.size();
            std::string p = params.substr(i, j - i);
            param* r = keep(new param{});
            if (p[0] == '^') {
                r->by_ref = 1;
                p = p.substr(1);
            }
            std::strncpy(r->tok.token, p.c_str(), sizeof r->tok.token - 1);
            r->tok.hash = static_cast<uint16_t>(hash(r->tok.token, 151));
            *slot = r;
            slot = &r->next;
            i = j + 1;
        }
        f->body = body;
        return f;
    }
    // At the front of its bucket, as a new definition goes.
    func* install(func* f) {
        f->next = func_store[f->hash];
        func_store[f->hash] = f;
        return f;
    }

private:
    func* saved_[FUNC_BUCKETS];
    std::vector<std::unique_ptr<name>> names_;
    std::vector<std::shared_ptr<void>> others_;

    template <class T>
    T* keep(T* p) {
        others_.emplace_back(p, [](void* q) { delete static_cast<T*>(q); });
        return p;
    }
    name* rec(const std::string& text) {
        names_.push_back(std::make_unique<name>());
        name* r = names_.back().get();
        std::strncpy(r->token, text.c_str(), sizeof r->token - 1);
        r->hash = UNHASHED;
        return r;
    }
    form* statement(cond* c, comment* notes) {
        form* f = keep(new form{});
        f->stmt = c;
        f->comments = notes;
        return f;
    }
};
