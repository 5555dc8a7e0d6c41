// Built-ins 51 "Move", 91 "Swap" and 77 "Rname": they move quoly pointers
// between storage cells, or an array record between name chains, and never
// copy a value, which is the point for large values.
//
// A storage cell is a scalar's value slot, a dense array cell or a sparse
// entry; an absent sparse entry is known by its row head and column and is
// made only when a non-zero value must go there. A sparse matrix never
// keeps a zero entry afterwards. Any refused argument leaves every stored
// value as it was.
#include "builtins/storage_builtins.h"

#include <cstdio>
#include <cstring>

#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

struct stored_cell {
    quoly** slot = nullptr;   // the value slot; null for an absent sparse entry
    colm** row = nullptr;     // a sparse entry's row head; null otherwise
    int32_t col = 0;          // its column, from 1
};

bool same_cell(const stored_cell& a, const stored_cell& b) {
    if (a.slot || b.slot) return a.slot == b.slot;
    return a.row == b.row && a.col == b.col;
}

bool zero_or_empty(quoly* q) { return !q || quoly_iszero(q); }

// One argument, read by the factor routine in its reference mode. A value
// that is no storage cell is error 316 (false).
bool read_cell(FILE** source, name** pending, stored_cell* c) {
    const tokenrec first = token;
    SlotHold computed;
    colm** list = nullptr;
    int32_t pos = 0;
    fact(source, &c->slot, &computed.q, &list, &pos, pending, 1);
    if (!computed.q) {
        c->row = list;
        c->col = pos;
        return true;
    }
    // An undefined scalar has had its error (19) from the factor routine.
    const bool reported = is_lower(first.name[0]) && !(number_polys > 0 && its_a_polyname(first.name)) &&
                          !find_var(&first) && !token_is(&first, "if") && !token_is(&first, "while") &&
                          !token_is(&first, "quit");
    if (!reported) error(316, token.name);
    return false;
}

// "(" first "," second ")" and the token after; false after any error.
bool read_two_cells(FILE** source, name** pending, stored_cell* a, stored_cell* b) {
    bool ok = true;
    next_token(source, pending);
    if (!token_is(&token, "(")) {
        error(177, token.name);
        ok = false;
    } else {
        next_token(source, pending);
    }
    ok = read_cell(source, pending, a) && ok;
    if (!token_is(&token, ",")) {
        error(202, token.name);
        ok = false;
    } else {
        next_token(source, pending);
    }
    ok = read_cell(source, pending, b) && ok;
    if (!token_is(&token, ")")) {
        error(1, token.name);
        return false;
    }
    next_token(source, pending);
    return ok;
}

// A number record's den word marks an array parameter in the scalar
// table: no moved value may carry it.
void settle(stored_cell* c) {
    if (*c->slot && (*c->slot)->isnum) (*c->slot)->den = nullptr;
}

void purge(const stored_cell& c) {
    if (c.row) purge_sparse(c.row, c.col);
}

void make_entry(stored_cell* c) { sparse_zero_set(c->row, c->col, &c->slot); }

void move_value(stored_cell t, stored_cell s) {
    if (same_cell(t, s)) return;
    if (!s.slot) {
        // An absent entry is 0.
        if (t.slot && !zero_or_empty(*t.slot)) {
            retire_value(t.slot);
            quoly_set(0, t.slot);
            purge(t);
        }
        return;
    }
    if (!*s.slot) quoly_set(0, s.slot);
    if (!t.slot) {
        if (quoly_iszero(*s.slot)) return;
        make_entry(&t);
    }
    retire_value(t.slot);
    *t.slot = *s.slot;
    *s.slot = nullptr;
    quoly_set(0, s.slot);
    settle(&t);
    purge(s);
    purge(t);
}

void swap_values(stored_cell a, stored_cell b) {
    if (same_cell(a, b) || (!a.slot && !b.slot)) return;
    if (a.slot && !*a.slot) quoly_set(0, a.slot);
    if (b.slot && !*b.slot) quoly_set(0, b.slot);
    if (!a.slot) {
        if (quoly_iszero(*b.slot)) return;
        make_entry(&a);
    } else if (!b.slot) {
        if (quoly_iszero(*a.slot)) return;
        make_entry(&b);
    }
    quoly* t = *a.slot;
    *a.slot = *b.slot;
    *b.slot = t;
    settle(&a);
    settle(&b);
    purge(a);
    purge(b);
}

// Expects `text` as the current token (error `code` otherwise) and reads
// the next one.
bool expect(FILE** source, name** pending, const char* text, int code) {
    if (!token_is(&token, text)) {
        error(code, token.name);
        return false;
    }
    next_token(source, pending);
    return true;
}

// The rename itself: the record leaves its bucket's chain and heads the
// chain of its new name's bucket, in front of any array of that name.
void relink_array(array* a, const tokenrec* new_name) {
    array** p = &arr_store[a->hash];
    while (*p && *p != a) p = &(*p)->link;
    if (*p) *p = a->link;
    std::memcpy(a->name, new_name->name, sizeof a->name);
    a->name[sizeof a->name - 1] = 0;
    a->hash = static_cast<uint16_t>(hash(a->name, ARR_BUCKETS));
    a->link = arr_store[a->hash];
    arr_store[a->hash] = a;
    array_links_stamp++;
    note_hiding(a);
}

// The statement after the name; returns at the first error, whether or not
// error() comes back, so a nested level never sees half a rename.
void rename_array(FILE** source, name** pending) {
    next_token(source, pending);
    if (!expect(source, pending, "[", 100)) return;
    tokenrec old_name = token;
    next_token(source, pending);
    if (!expect(source, pending, "]", 101)) return;
    if (!expect(source, pending, ":", 152)) return;
    if (!expect(source, pending, "=", 4)) return;
    if (!expect(source, pending, "'", 102)) return;
    if (!expect(source, pending, "[", 100)) return;
    if (!is_lower(token.name[0])) {
        error(40, token.name);
        return;
    }
    old_name.hash = UNHASHED;
    array* a = find_array(&old_name);
    if (!a) {
        error(28, old_name.name);
        return;
    }
    // An array parameter's alias keeps the name it was called by.
    if (a->stamp < 0) {
        error(140, old_name.name);
        return;
    }
    const tokenrec new_name = token;
    next_token(source, pending);
    if (!expect(source, pending, "]", 101)) return;
    if (!token_is(&token, "'")) {
        error(102, token.name);
        return;
    }
    relink_array(a, &new_name);
    next_token(source, pending);
}

}  // namespace

void move_storage(FILE** source, quoly** result, name** pending) {
    free_quoly(result);
    stored_cell target, from;
    if (read_two_cells(source, pending, &target, &from)) move_value(target, from);
    quoly_set(0, result);
}

void swap_storage(FILE** source, quoly** result, name** pending) {
    free_quoly(result);
    stored_cell a, b;
    if (read_two_cells(source, pending, &a, &b)) swap_values(a, b);
    quoly_set(0, result);
}

void namechange(FILE** source, quoly** result, name** pending) {
    free_quoly(result);
    quoly_set(0, result);
    rename_array(source, pending);
}
