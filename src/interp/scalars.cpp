// The scalar table and the delete statement, which also deletes arrays
// (through the array table) and user functions.
#include "interp/scalars.h"

#include <cstring>
#include <vector>

#include "interp/array_table.h"
#include "interp/functions.h"
#include "interp/scanner.h"
#include "interp/stored_code.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/held_targets.h"
#include "matrix/array_store.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"

var* sca_store[SCA_BUCKETS] = {};
var* var_garb = nullptr;
uint32_t scalar_links_stamp = 1;

namespace {

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }


// Values and records given up while a nested level is open: the
// computation the level interrupted may still read them (or, for a record,
// store its result into it), so they live until the top level's statement
// is over.
std::vector<quoly*> retired_values;
var* retired_vars = nullptr;

}  // namespace

void retire_value(quoly** q) {
    if (!*q) return;
    if (levelcount > 1) {
        retired_values.push_back(*q);
        *q = nullptr;
    } else {
        free_quoly(q);
    }
}

void bury_retired() {
    for (quoly*& q : retired_values) free_quoly(&q);
    retired_values.clear();
    while (retired_vars) {
        var* v = retired_vars;
        retired_vars = v->next;
        free_quoly(&v->value);
        v->next = var_garb;
        var_garb = v;
    }
}

var* push_var(const tokenrec* id, quoly* value) {
    var* v;
    if (var_garb) {
        v = var_garb;
        var_garb = v->next;
    } else {
        v = new var{};
    }
    std::memcpy(v->name, id->name, TOKEN_TEXT);
    v->hash = id->hash;
    v->ref = nullptr;
    v->value = value;
    if (value && value->isnum) value->den = nullptr;
    int32_t b = sca_bucket(id);
    v->next = sca_store[b];
    sca_store[b] = v;
    scalar_links_changed();
    return v;
}

var* drop_var(const tokenrec* id) {
    var** link = &sca_store[sca_bucket(id)];
    for (var* v = *link; v; link = &v->next, v = v->next) {
        if (std::strcmp(v->name, id->name) == 0) {
            *link = v->next;
            scalar_links_changed();
            compile_forget_var(v);
            if (any_held_target()) release_held_in(&v->value, &v->value + 1);
            var*& free_list = levelcount > 1 ? retired_vars : var_garb;
            v->next = free_list;
            free_list = v;
            return v;
        }
    }
    return nullptr;
}

namespace {



// "[" ... "]" of the delete statement, token at "[".
void rubout_arrays(FILE** source, name** pending) {
    tokenrec target;
    scanner(source, &target, pending);
    scanner(source, &token, pending);
    if (token_is(&target, "<")) {
        error(176, target.name);
        return;
    }
    bool every = token_is(&target, "*");
    if (every) {
        target = token;
        scanner(source, &token, pending);
    }
    if (!token_is(&token, "]")) {
        error(24, token.name);
        return;
    }
    const bool body = *pending != nullptr;
    if (!every) {
        removearray(0, &target, body);
        return;
    }
    if (token_is(&target, "*")) {
        for (array*& bucket : arr_store)
            while (bucket) {
                tokenrec nm;
                set_token(&nm, bucket->name);
                removearray(1, &nm, body);
            }
        return;
    }
    if (!is_lower(target.name[0])) {
        error(28, target.name);
        return;
    }
    if (!removearray(1, &target, body)) {
        error(28, target.name);
        return;
    }
    while (removearray(1, &target, body)) {}
}

// "<" ... ">" of the delete statement, token at "<".
void rubout_older(FILE** source, name** pending) {
    scanner(source, &token, pending);
    if (is_upper(token.name[0])) {
        tokenrec fname = token;
        scanner(source, &token, pending);
        if (!token_is(&token, ">")) {
            error(128, token.name);
            return;
        }
        delete_older_functions(&fname);
        return;
    }
    if (!token_is(&token, "[")) {
        error(208, token.name);
        return;
    }
    tokenrec aname;
    scanner(source, &aname, pending);
    scanner(source, &token, pending);
    if (!token_is(&token, "]")) {
        error(24, token.name);
        return;
    }
    scanner(source, &token, pending);
    if (!token_is(&token, ">")) {
        error(128, token.name);
        return;
    }
    // The newest keeps its place under a name no array can have meanwhile.
    array* newest = nullptr;
    fastestlookup(&aname, &newest);
    if (!newest) {
        error(28, aname.name);
        return;
    }
    std::memcpy(newest->name, " temp*", 7);
    struct restore_name {
        array* a;
        const char* text;
        ~restore_name() { std::memcpy(a->name, text, sizeof a->name); }
    } back{newest, aname.name};
    while (removearray(1, &aname, *pending != nullptr)) {}
}

}  // namespace

int32_t sca_bucket(const tokenrec* id) {
    if (id->hash != UNHASHED) return id->hash;
    return hash(id->name, SCA_BUCKETS);
}

var* find_var(const tokenrec* id) {
    for (var* v = sca_store[sca_bucket(id)]; v; v = v->next)
        if (std::strcmp(v->name, id->name) == 0) return v;
    return nullptr;
}

var* find_var_remembered(const tokenrec* id, name* rec) {
    if (!rec) return find_var(id);
    if (rec->lookup_stamp == scalar_links_stamp) return static_cast<var*>(rec->lookup);
    var* v = find_var(id);
    rec->lookup = v;
    rec->lookup_stamp = scalar_links_stamp;
    return v;
}

void clear_sca_store() {
    for (var*& b : sca_store) {
        while (b) {
            var* v = b;
            b = v->next;
            scalar_links_changed();
            compile_forget_var(v);
            free_quoly(&v->value);
            v->next = var_garb;
            var_garb = v;
        }
    }
}

void insert_var(const tokenrec* id, quoly* value, var** record) {
    var* v = find_var(id);
    if (v)
        retire_value(&v->value);
    else
        v = push_var(id, nullptr);
    v->value = value;
    if (value && value->isnum) value->den = nullptr;
    *record = v;
}

void iinsert(const tokenrec* id, int32_t n, var** record) {
    var* v = find_var(id);
    if (!v) v = push_var(id, nullptr);
    iset_record(v, n);
    *record = v;
}

void iset_record(var* v, int32_t n) {
    quoly* q = v->value;
    if (q && q->isnum && q->nnum) {
        setvalue(n, q->nnum);
        q->den = nullptr;
        q->rat = 0;
    } else {
        quoly_set(n, &v->value);
    }
}

void retrieve(const tokenrec* id, quoly*** reference, quoly** value, FILE** source, name** pending) {
    var* v = find_var(id);
    if (v) {
        if (array_parameter(v->value)) {
            quoly_set(0, value);
            *reference = value;
            printf("Warning. %s is an array parameter used as a scalar.\n", id->name);
            printf("  Value 0 used for %s.\n", id->name);
            fflush(stdout);
        } else {
            *reference = &v->value;
        }
        return;
    }
    *reference = nullptr;
    if (token_is(id, "for") || token_is(id, "if") || token_is(id, "while")) {
        if (pending != &zilch) {
            error(225, id->name);
            // Goes on with 0 for the refused word, which is not also
            // reported as an undefined variable.
            quoly_set(0, value);
        } else {
            sys_func_token = token;
            token = *id;
            doing_sys_func = 1;
            call_sys_func(source, value, pending);
            if (!*value) quoly_set(0, value);
        }
        *reference = value;
    }
}

void spec_retrieve(const tokenrec* id, quoly** value, quoly*** reference) {
    var* v = find_var(id);
    if (!v) {
        error(19, id->name);
        quoly_set(0, value);
        *reference = value;
        return;
    }
    *reference = &v->value;
    if (array_parameter(v->value)) {
        quoly_set(0, value);
        printf("Warning. %s is an array parameter.\n", id->name);
        printf("  Value 0 used for %s.\n", id->name);
        fflush(stdout);
    } else {
        quoly_assign(v->value, value);
    }
}

void rubout(FILE** source, name** pending) {
    scanner(source, &token, pending);
    if (!token_is(&token, "(")) {
        single_rubout(source, pending);
        return;
    }
    for (;;) {
        scanner(source, &token, pending);
        single_rubout(source, pending);
        scanner(source, &token, pending);
        if (token_is(&token, ",")) continue;
        if (token_is(&token, ")")) return;
        error(95, token.name);
        return;
    }
}

void single_rubout(FILE** source, name** pending) {
    char first = token.name[0];
    if (is_lower(first)) {
        var* v = drop_var(&token);
        if (!v) {
            error(19, token.name);
            return;
        }
        retire_value(&v->value);
    } else if (first == '[' && token.name[1] == 0) {
        rubout_arrays(source, pending);
    } else if (is_upper(first)) {
        delete_function(&token);
    } else if (first == '<' && token.name[1] == 0) {
        rubout_older(source, pending);
    } else {
        error(21, token.name);
    }
}
