// The Compile statement: binds the stored tokens that follow it in a
// function body to the places where their values live, then runs those
// statements itself.
//
// Every bound token sits on the use chain of one entry: a parameter (chain
// head in its param record) or a listed variable (chain head in this
// module's record of the function). A token is resolved only while its
// binding addresses a live value slot: a record that leaves the scalar
// table unbinds its chains at once (the tokens fall back to look-ups by
// name), each run of the compiled statements binds the parameters to the
// running call and looks the listed variables up again, and a nested call
// of the same function gives the caller's bindings back when it returns.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/stored_code.h"
#include "matrix/array_store.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

// The most names one Compile statement binds.
constexpr size_t COMPILE_TABLE_SIZE = 100;

struct listed_scalar {      // a variable named in the list after Compile
    std::string text;
    name* uses = nullptr;
};

struct listed_array {       // an element or a whole array named in the list
    compiled_array binding;
    name* uses = nullptr;
};

struct compiled_func {      // what a compiled function keeps beyond its func record
    func* f;
    std::vector<listed_scalar> listed;
    std::vector<int32_t> param_array;   // per parameter: bound as an array when compiled
    // Where the bound tokens point: the records stay put while the
    // function is compiled (one per listed array item; per parameter, the
    // array it names, null for a scalar parameter).
    std::vector<std::unique_ptr<listed_array>> arrays;
    std::vector<std::unique_ptr<compiled_array>> param_arrays;
};

std::vector<compiled_func> compiled_funcs;

// One entry of the table a compilation works with, sorted by text.
struct table_entry {
    std::string text;       // whole, never cut: element texts may run long
    int32_t kind;           // 1 scalar, 2 array element, 3 whole array
    void* binding;
    name** head;            // where the use chain starts
    name* last = nullptr;   // the last use bound so far
};
using compile_table = std::vector<table_entry>;

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

compiled_func* record_of(func* f) {
    for (compiled_func& r : compiled_funcs)
        if (r.f == f) return &r;
    return nullptr;
}

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// Errors of the compilation leave the function uncompiled; when error()
// returns there is nothing sound to go on with.
[[noreturn]] void refuse(int code, const char* text) {
    error(code, text);
    abandon_statement(code);
}

// Enters text in sorted order; error 233 for a text already there, 230
// past the table's size.
table_entry* insert_and_update(compile_table& table, const std::string& text, int32_t kind, void* binding,
                               name** head) {
    size_t at = 0;
    while (at < table.size()) {
        const int c = std::strcmp(table[at].text.c_str(), text.c_str());
        if (c == 0) refuse(233, text.c_str());
        if (c > 0) break;
        at++;
    }
    if (table.size() >= COMPILE_TABLE_SIZE) refuse(230, text.c_str());
    *head = nullptr;
    return &*table.insert(table.begin() + static_cast<std::ptrdiff_t>(at),
                          table_entry{text, kind, binding, head, nullptr});
}

table_entry* search(compile_table& table, const std::string& text) {
    for (table_entry& e : table) {
        const int c = std::strcmp(e.text.c_str(), text.c_str());
        if (c == 0) return &e;
        if (c > 0) return nullptr;
    }
    return nullptr;
}

void bind_token(name* t, table_entry* e) {
    t->binding = e->binding;
    t->resolved = e->binding != nullptr;
    t->bind_kind = e->kind;
    t->next_use = nullptr;
    if (e->last)
        e->last->next_use = t;
    else
        *e->head = t;
    e->last = t;
}

std::string upper_first(const char* s) {
    std::string t = s;
    if (!t.empty() && is_lower(t[0])) t[0] = static_cast<char>(t[0] - 'a' + 'A');
    return t;
}

void do_tok_list(name* chain, compile_table& table) {
    for (name* t = chain; t; t = t->next) {
        name* u = t->next;
        // "if[" and "while[" run constructs, whatever arrays bear the name.
        if (u && std::strcmp(u->token, "[") == 0 && is_lower(t->token[0])) {
            if (!std::strcmp(t->token, "if") || !std::strcmp(t->token, "while")) continue;
            name* sub = u->next;
            if (!sub) continue;
            std::string text = std::string(t->token) + "[" + sub->token;
            name* after = sub->next;
            if (is_digit(sub->token[0]))
                for (; after && is_digit(after->token[0]); after = after->next) text += after->token;
            if (after && std::strcmp(after->token, "]") == 0) {
                if (table_entry* e = search(table, text + "]")) {
                    bind_token(t, e);
                    continue;
                }
            }
            if (table_entry* e = search(table, upper_first(t->token))) bind_token(t, e);
            continue;
        }
        if (table_entry* e = search(table, t->token)) bind_token(t, e);
    }
}

void do_form(form* list, compile_table& table) {
    for (form* f = list; f; f = f->next) {
        cond* c = f->stmt;
        if (!c) continue;
        if (c->statement) do_tok_list(c->statement, table);
        if (c->condition) {
            do_tok_list(c->condition, table);
            do_form(c->first, table);
            do_form(c->second, table);
        }
    }
}

void unbind_list(name* chain) {
    for (name* t = chain; t; t = t->next) {
        t->resolved = 0;
        t->binding = nullptr;
        t->next_use = nullptr;
    }
}

void unbind_form(form* list) {
    for (form* f = list; f; f = f->next) {
        cond* c = f->stmt;
        if (!c) continue;
        unbind_list(c->statement);
        unbind_list(c->condition);
        unbind_form(c->first);
        unbind_form(c->second);
    }
}

// Drops a function's compilation so that its Compile statement compiles
// again: a parameter now bound to the other kind of value than when it was
// compiled would otherwise be read through the wrong kind of binding.
void uncompile(func* f) {
    unbind_form(f->compiled);
    f->compiled = nullptr;
    for (param* p = f->params; p; p = p->next) p->uses = nullptr;
    for (size_t i = 0; i < compiled_funcs.size(); i++)
        if (compiled_funcs[i].f == f) {
            compiled_funcs.erase(compiled_funcs.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
}

// The array items of the list ("x[3]", "x[k]", "[x]") bind their uses to
// the array's name with the last look-up kept (see compiled_array): the
// array may be deleted, re-created with another shape, or see its cells
// move when an older one is deleted, and a use then finds what the name
// finds. Only "x[3]" fixes the element; "x[k]" reads k at each use, as k
// may change after the Compile statement has run.

listed_array* new_listed_array(compiled_func& rec, const tokenrec& array_name, int32_t index, int fixed) {
    auto l = std::make_unique<listed_array>();
    l->binding.nm = array_name;
    l->binding.index = index;
    l->binding.fixed = fixed;
    rec.arrays.push_back(std::move(l));
    return rec.arrays.back().get();
}

// An element item: token at "[" after the array's name.
void listed_element(FILE** source, name** pending, const tokenrec& array_name, compile_table& table,
                    compiled_func& rec) {
    next_token(source, pending);
    int64_t index = 0;
    std::string text = std::string(array_name.name) + "[";
    const bool fixed = is_digit(token.name[0]);
    if (fixed) {
        while (is_digit(token.name[0])) {
            for (const char* d = token.name; is_digit(*d); d++)
                if (index <= INT32_MAX) index = index * 10 + (*d - '0');
            text += token.name;
            next_token(source, pending);
        }
    } else if (is_lower(token.name[0])) {
        text += token.name;
        var* v = find_var(&token);
        if (!v) refuse(19, token.name);
        const quoly* q = v->value;
        if (!q || !q->isnum || q->den) refuse(246, token.name);
        index = lintmode ? q->nnum->value : q->nnum->head->digit;
        next_token(source, pending);
    } else {
        refuse(232, token.name);
    }
    tokenrec nm = array_name;
    array* a = nullptr;
    fastestlookup(&nm, &a);
    if (!a) refuse(29, array_name.name);
    if (index < addresser || index - addresser >= cell_count(a)) refuse(27, array_name.name);
    if (!token_is(&token, "]")) refuse(267, token.name);
    next_token(source, pending);
    listed_array* l = new_listed_array(rec, array_name, static_cast<int32_t>(index), fixed);
    insert_and_update(table, text + "]", 2, &l->binding, &l->uses);
}

// "[" name "]": token at the name.
void listed_whole_array(FILE** source, name** pending, compile_table& table, compiled_func& rec) {
    tokenrec nm = token;
    array* a = nullptr;
    fastestlookup(&nm, &a);
    if (!a) refuse(28, nm.name);
    if (a->sparse) refuse(242, nm.name);
    next_token(source, pending);
    if (!token_is(&token, "]")) refuse(24, token.name);
    next_token(source, pending);
    listed_array* l = new_listed_array(rec, nm, 0, 0);
    insert_and_update(table, upper_first(nm.name), 3, &l->binding, &l->uses);
}

// The items between "(" and ")"; token at "(".
void read_list(FILE** source, name** pending, compile_table& table, compiled_func& rec) {
    rec.listed.reserve(COMPILE_TABLE_SIZE);   // the table keeps addresses of the chain heads
    do {
        next_token(source, pending);
        if (token_is(&token, "[")) {
            next_token(source, pending);
            listed_whole_array(source, pending, table, rec);
            continue;
        }
        if (!is_lower(token.name[0])) refuse(232, token.name);
        tokenrec id = token;
        next_token(source, pending);
        if (token_is(&token, "[")) {
            listed_element(source, pending, id, table, rec);
            continue;
        }
        var* v = find_var(&id);
        if (!v) refuse(19, id.name);
        if (rec.listed.size() >= COMPILE_TABLE_SIZE) refuse(230, id.name);
        rec.listed.push_back(listed_scalar{id.name, nullptr});
        insert_and_update(table, id.name, 1, &v->value, &rec.listed.back().uses);
    } while (token_is(&token, ","));
    if (!token_is(&token, ")")) refuse(231, token.name);
    next_token(source, pending);
}

// The parameters' current bindings into their uses; false when one is
// bound to the other kind of value than at compilation.
bool bind_params(func* f, compiled_func& rec) {
    size_t i = 0;
    for (param* p = f->params; p; p = p->next, i++) {
        if (p->array_binding && p->sparse) refuse(247, p->tok.token);
        if (i >= rec.param_array.size() || rec.param_array[i] != p->array_binding) return false;
        if (p->array_binding) {
            compiled_array* b = rec.param_arrays[i].get();
            b->links = 0;
            bind_uses(p->uses, b);
        } else {
            bind_uses(p->uses, p->binding);
        }
    }
    return true;
}

void bind_listed(compiled_func& rec) {
    for (listed_scalar& l : rec.listed) {
        tokenrec id;
        set_token(&id, l.text.c_str());
        var* v = find_var(&id);
        bind_uses(l.uses, v ? &v->value : nullptr);
    }
    for (auto& l : rec.arrays) {
        l->binding.links = 0;
        bind_uses(l->uses, &l->binding);
    }
}

// Steps 3 to 7 of a first run: the table, the compiled entry, the binding.
void compile_function(FILE** source, name** pending, func* f, cond* current) {
    compiled_func rec{f, {}, {}, {}, {}};
    compile_table table;
    table.reserve(COMPILE_TABLE_SIZE);
    next_token(source, pending);
    const bool star = token_is(&token, "*");
    if (star) next_token(source, pending);
    f->params_compiled = star ? 0 : 1;
    for (param* p = f->params; p; p = p->next) {
        p->uses = nullptr;
        rec.param_array.push_back(p->array_binding);
        rec.param_arrays.emplace_back();
        if (p->array_binding) {
            // The parameter's name finds the alias record of the running call.
            rec.param_arrays.back() = std::make_unique<compiled_array>();
            set_token(&rec.param_arrays.back()->nm, p->tok.token);
        }
        if (star) continue;
        if (p->array_binding && p->sparse) refuse(247, p->tok.token);
        if (p->array_binding)
            insert_and_update(table, upper_first(p->tok.token), 3, rec.param_arrays.back().get(), &p->uses);
        else
            insert_and_update(table, p->tok.token, 1, p->binding, &p->uses);
    }
    if (token_is(&token, "(")) read_list(source, pending, table, rec);
    if (!token_is(&token, END_TOKEN) && !token_is(&token, ";")) refuse(31, token.name);
    form* at = current ? f->body : nullptr;
    while (at && at->stmt != current) at = at->next;
    if (!at) refuse(229, "Compile");
    do_form(at->next, table);
    f->compiled = at->next;
    compiled_funcs.push_back(std::move(rec));
}

}  // namespace

void bind_uses(name* first, void* binding) {
    for (name* t = first; t; t = t->next_use) {
        t->binding = binding;
        t->resolved = binding != nullptr;
    }
}

void compile_forget_var(var* v) {
    void* slot = &v->value;
    for (compiled_func& r : compiled_funcs) {
        if (r.f->params_compiled)
            for (param* p = r.f->params; p; p = p->next)
                if (p->uses && p->uses->binding == slot) bind_uses(p->uses, nullptr);
        for (listed_scalar& l : r.listed)
            if (l.uses && l.uses->binding == slot) bind_uses(l.uses, nullptr);
    }
}

void forget_compilations() {
    for (compiled_func& r : compiled_funcs) unbind_form(r.f->compiled);
    for (compiled_func& r : compiled_funcs) r.f->compiled = nullptr;
    compiled_funcs.clear();
}

void compile(FILE** source, quoly** value, cond* current, name** pending) {
    func* f = statcount > 0 ? running_function() : nullptr;
    if (!f) refuse(234, token.name);
    compiled_func* rec = f->compiled ? record_of(f) : nullptr;
    if (rec && f->params_compiled && !bind_params(f, *rec)) {
        uncompile(f);
        rec = nullptr;
    }
    if (!rec) {
        if (f->compiled) uncompile(f);
        compile_function(source, pending, f, current);
        rec = record_of(f);
        if (f->params_compiled) bind_params(f, *rec);
    }
    bind_listed(*rec);
    for (form* at = f->compiled; at; at = at->next) {
        free_quoly(value);
        if (at->stmt) getval(source, at->stmt, value);
        if (exit_flag || leave_flag || cycle_flag) break;
    }
    if (!*value) quoly_set(0, value);
    exit_flag = 1;
}
