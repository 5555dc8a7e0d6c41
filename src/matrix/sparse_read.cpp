// Sparse literals: groups of a row index and column-value pairs read
// straight into a frame chain, so a large sparse matrix never passes
// through dense cells; the same form save files write sparse arrays in.
#include "matrix/array_value.h"

#include <cstring>

#include "interp/exact_read.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "interp/token_chain.h"
#include "interp/stored_code.h"
#include "interp/scanner.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// Frees the frame built so far unless the reading completed.
struct FrameHold {
    sparse* f;
    int32_t rows;
    ~FrameHold() {
        if (f) free_sparse(&f, rows, 1);
    }
};

// An index: a plain number within addresser .. bound, read with modular
// arithmetic off. *ok := false (no error) when not, for the first item.
int32_t index_of(const quoly* q, int32_t bound, bool* ok) {
    // A machine word is its value (its count says nothing); a digit number
    // of more than one digit is no index.
    if (!q->isnum || (!lintmode && q->nnum->count > 1)) {
        *ok = false;
        return 0;
    }
    const int32_t x = lintmode ? q->nnum->value : (q->nnum->count == 0 ? 0 : q->nnum->head->digit);
    *ok = x >= addresser && x - addresser + 1 <= bound;
    return x;
}

int32_t read_index(FILE** source, name** pending, int32_t bound, quoly** held, bool* ok) {
    read_count_value(source, pending, held);
    return index_of(*held, bound, ok);
}

bool opens(const tokenrec& t) { return token_is(&t, "(") || token_is(&t, "["); }
bool closes(const tokenrec& t) { return token_is(&t, ")") || token_is(&t, "]"); }

// The first item decides whether the list is a sparse literal, and is read
// as an index without the modulus. When it is no index it is the first
// element of a dense list, whose value is the one the modular arithmetic
// gives: the item is read a second time from its tokens (kept in a chain
// at the terminal; inside a stored body the body's chain is replayed), so
// that 1/2, 10^20 and -3 come out as the residues they are, not as machine
// words reduced afterwards. *fallback := 1 for a dense list.
int32_t read_first_item(FILE** source, name** pending, int32_t bound, quoly** held, bool* ok, int* fallback) {
    TokenChain captured;
    name* cursor = nullptr;
    name** from = pending;
    name* const mark = *pending;
    const tokenrec mark_token = token;
    tokenrec after{};
    const bool replay = modularmode && !*pending;
    if (replay) {
        // The item's tokens, up to the "," or "]" that ends it.
        int32_t depth = 0;
        while (!(depth == 0 && (token_is(&token, ",") || token_is(&token, "]")))) {
            if (token_is(&token, ";") || token_is(&token, END_TOKEN)) break;
            if (opens(token)) depth++;
            if (closes(token)) depth--;
            captured.append(token);
            scanner(source, &token, pending);
        }
        after = token;
        captured.append(END_TOKEN, UNHASHED);
        cursor = captured.head;   // the current token's record: reading goes on from its next
        std::memcpy(token.name, captured.head->token, TOKEN_TEXT);
        token.hash = captured.head->hash;
        from = &cursor;
    }
    auto finish_item = [&] {
        // At the terminal the stream already stands at the token after the
        // item; a piece the item's reader left unread is kept for the error.
        if (replay && token_is(&token, END_TOKEN)) token = after;
    };
    const tokenrec first_token = token;
    name* const first_cursor = cursor;
    const int32_t row = read_index(source, from, bound, held, ok);
    if (*ok || !modularmode) {
        finish_item();
        *fallback = !*ok;
        return row;
    }
    *fallback = 1;
    const bool was_zero = quoly_iszero(*held);
    free_quoly(held);
    if (replay) {
        cursor = first_cursor;
        token = first_token;
    } else {
        *pending = mark;
        token = mark_token;
    }
    old_expre(source, held, from);
    if (!*held) quoly_set(0, held);
    finish_item();
    if (!was_zero && quoly_iszero(*held)) {
        error(359, token.name);
        abandon_statement(359);
    }
    return row;
}

}  // namespace

void sparse_adjoin(sparse* frame, int32_t row, int32_t column, quoly* value) {
    if (quoly_iszero(value)) {
        free_quoly(&value);
        return;
    }
    colm** link = row_head(frame, row - addresser + 1);
    const int32_t key = column - addresser + 1;
    while (*link && (*link)->col < key) link = &(*link)->next;
    if (*link && (*link)->col == key) {
        best_quoly_add(&(*link)->val, value);
        if (quoly_iszero((*link)->val)) free_colm(link);
        return;
    }
    colm* e = take_colm();
    e->col = key;
    e->val = value;
    e->next = *link;
    *link = e;
}

void sparse_read(FILE** source, quoly** scalar, arr_value* v, name** pending, int* fallback) {
    const int32_t rows = v->rows;
    const int32_t columns = v->columns();
    // Until its frame is built the value owns and shares nothing: a call
    // inside the literal, which first gives every value in flight cells of
    // its own, must find none here to copy (the work block holds no cells
    // of this literal, only leftovers of earlier statements).
    v->count = 0;
    *fallback = 0;
    FrameHold hold{new_frame_chain(rows), rows};
    bool first = true;
    for (;;) {
        bool ok;
        const int32_t row = first ? read_first_item(source, pending, rows, scalar, &ok, fallback)
                                  : read_index(source, pending, rows, scalar, &ok);
        if (*fallback) return;   // a dense list: its first element is in *scalar
        first = false;
        if (!(*scalar)->isnum) arr_error(265, token.name);
        if (!ok) arr_error(27, token.name);
        if (!token_is(&token, ",")) arr_error(202, token.name);
        while (token_is(&token, ",")) {
            next_token(source, pending);
            bool col_ok;
            const int32_t col = read_index(source, pending, columns, scalar, &col_ok);
            if (!(*scalar)->isnum) arr_error(265, token.name);
            if (!col_ok) arr_error(27, token.name);
            if (!token_is(&token, ",")) arr_error(202, token.name);
            next_token(source, pending);
            SlotHold value;
            old_expre(source, &value.q, pending);
            if (!token_is(&token, ",") && !token_is(&token, "]")) arr_error(251, token.name);
            sparse_adjoin(hold.f, row, col, value.release());
        }
        // token is "]": the group ends.
        next_token(source, pending);
        if (token_is(&token, "]")) break;
        if (!token_is(&token, ",")) arr_error(251, token.name);
        next_token(source, pending);
        if (!token_is(&token, "[")) arr_error(255, token.name);
        next_token(source, pending);
    }
    // The closing "]" is the bracketed form's own.
    v->frame = hold.f;
    hold.f = nullptr;
    v->fresh = 1;
    v->count = int64_t{rows} * columns;
    quoly_set(0, scalar);
}
