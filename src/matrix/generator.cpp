// Generated arrays: "[" "<" header ">" [ "<" header ">" ] expression "]".
// Each header is a loop header of the for statement; the first index runs
// over the rows, the second over the columns. The cell expression is kept
// once (the statement's own chain inside a stored body, a captured chain at
// the terminal) and evaluated for every index value with the loop
// variables set.
#include <cstdint>
#include <cstring>

#include "matrix/array_value.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/loop_values.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/stored_code.h"
#include "interp/token.h"
#include "interp/token_chain.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

struct Header {
    tokenrec id{};
    int32_t first = 0, end = 0, step = 1;
};

// One "<" header ">" from the header's first token; the token after ">"
// is left current.
void read_header(FILE** source, name** from, Header* h) {
    if (!lower_initial(token.name)) arr_error(336, token.name);
    h->id = token;
    var* variable = nullptr;
    numnode *list = nullptr, *cursor = nullptr;
    set_up_for_loop(source, from, &variable, &h->first, &h->end, &h->step, &list, &cursor);
    if (!token_is(&token, ">")) arr_error(78, token.name);
    if (h->first < addresser) arr_error(79, token.name);
    if (h->end < addresser) arr_error(80, token.name);
    if (h->step <= 0) arr_error(82, token.name);
    if (h->end > LOOP_LIMIT) arr_error(47, h->id.name);
    scanner(source, &token, from);
}

// The record of the "]" that closes the form, from the record of the cell
// expression's first token.
name* closing_record(name* r) {
    int32_t depth = 1;
    for (; r; r = r->next) {
        if (r->token[1] != 0) continue;
        if (r->token[0] == '[') depth++;
        if (r->token[0] == ']' && --depth == 0) return r;
    }
    return nullptr;
}

}  // namespace

void generated_array(FILE** source, arr_value* v, name** pending) {
    // At the terminal the rest of the form is captured first: the cell
    // expression is read again for every cell.
    TokenChain captured;
    name* cursor = nullptr;
    name** from = pending;
    name* const saved_current = currentchar;
    const bool at_terminal = !*pending;
    if (at_terminal) {
        // Up to the "]" that closes the form; the statement's end first is
        // the missing "]".
        int32_t depth = 1;
        for (;;) {
            if (token_is(&token, ";") || token_is(&token, END_TOKEN)) arr_error(24, token.name);
            captured.append(token);
            if (token_is(&token, "[")) depth++;
            if (token_is(&token, "]") && --depth == 0) break;
            scanner(source, &token, pending);
        }
        captured.append(END_TOKEN, UNHASHED);
        cursor = captured.head;
        std::memcpy(token.name, cursor->token, TOKEN_TEXT);
        token.hash = cursor->hash;
        currentchar = cursor->next;
        from = &cursor;
    }
    Header rows_h, cols_h;
    IndexSettles rows_settle(token), cols_settle;
    read_header(source, from, &rows_h);
    const bool two = token_is(&token, "<");
    if (two) {
        scanner(source, &token, from);
        cols_settle.id = token;
        read_header(source, from, &cols_h);
    }
    const int32_t rows = rows_h.end - addresser + 1;
    const int32_t cols = two ? cols_h.end - addresser + 1 : 1;
    const int64_t count = int64_t{rows} * cols;
    if (!want_sparse && count > MAX_DENSE_CELLS) arr_error(43, token.name);
    name* const mark = *from;
    const tokenrec mark_token = token;
    name* const close = closing_record(mark);
    if (!close) arr_error(24, token.name);

    // The value owns what is made so far, so an error in a cell gives it back.
    v->rows = rows;
    v->fresh = 1;
    if (want_sparse) {
        v->frame = new_frame_chain(rows);
    } else {
        for (int64_t c = 0; c < count; c++) v->cells[c] = nullptr;
    }
    v->count = count;
    const int32_t last_col = two ? cols_h.end : addresser;
    const int32_t col_step = two ? cols_h.step : 1;
    const int32_t first_col = two ? cols_h.first : addresser;
    for (int32_t i = rows_h.first; i <= rows_h.end; i += rows_h.step) {
        set_loop_variable(&rows_h.id, i);
        for (int32_t j = first_col; j <= last_col; j += col_step) {
            if (two) set_loop_variable(&cols_h.id, j);
            *from = mark;
            token = mark_token;
            currentchar = mark ? mark->next : nullptr;
            SlotHold cell;
            old_expre(source, &cell.q, from);
            if (!cell.q) quoly_set(0, &cell.q);
            if (!token_is(&token, "]")) arr_error(24, token.name);
            if (want_sparse) {
                sparse_adjoin(v->frame, i, j, cell.release());
            } else {
                quoly** slot = &v->cells[int64_t{i - addresser} + int64_t{j - addresser} * rows];
                free_quoly(slot);
                *slot = cell.release();
            }
            poll_interrupt();
            if (j > INT32_MAX - col_step) break;
        }
        if (i > INT32_MAX - rows_h.step) break;
    }
    if (!want_sparse)
        for (int64_t c = 0; c < count; c++)
            if (!v->cells[c]) quoly_set(0, &v->cells[c]);
    // The closing "]" is current, the stream (or the stored chain) after it.
    *from = close;
    std::memcpy(token.name, close->token, TOKEN_TEXT);
    token.hash = close->hash;
    currentchar = at_terminal ? saved_current : close->next;
}
