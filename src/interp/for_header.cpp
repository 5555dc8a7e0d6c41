// The header of a for loop or of a sum or product range:
//   variable ("=" | ":=" | "from") first (" to" | ",") end [(" by" | ",") step]
// read from the loop variable's token on, with modular arithmetic off, so
// the bounds are plain integers. The variable holds a one-digit number (a
// machine word in machine-integer mode) and never exceeds LOOP_LIMIT in
// magnitude.
#include <cstdint>
#include <set>

#include "interp/exact_read.h"
#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/loop_values.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "interp/settings.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// The stream and pending list of the header being read: obtain_int reads
// its expression from them, as a routine nested in the header reader would.
struct HeaderFrame {
    FILE** source;
    name** pending;
};
HeaderFrame* current_header = nullptr;

struct HeaderFrameScope {
    HeaderFrame frame;
    HeaderFrame* saved;
    HeaderFrameScope(FILE** source, name** pending) : frame{source, pending}, saved(current_header) {
        current_header = &frame;
    }
    ~HeaderFrameScope() { current_header = saved; }
    HeaderFrameScope(const HeaderFrameScope&) = delete;
    HeaderFrameScope& operator=(const HeaderFrameScope&) = delete;
};

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

// "[" name "]" row { "," row }: the columns stored in those rows of a
// sparse array, merged in ascending order without repeats, as subscripts
// from addresser. An empty list gives a loop that does not run.
void sparse_row_values(FILE** source, name** pending, int32_t* first, int32_t* end, numnode** list,
                       numnode** cursor) {
    array_operand op;
    left_side(source, pending, &op, 0);
    if (!op.record) {
        error(28, op.nm.name);
        abandon_statement(28);
    }
    if (!op.record->sparse) {
        error(335, op.nm.name);
        abandon_statement(335);
    }
    std::set<int32_t> columns;
    for (;;) {
        int32_t row = 0;
        obtain_int(&row, 118, nullptr);
        const int64_t r = int64_t{row} - addresser;
        if (r < 0 || r >= op.record->rows) {
            error(27, op.nm.name);
            abandon_statement(27);
        }
        for (colm* e = *row_head(op.record->sparse, static_cast<int32_t>(r) + 1); e; e = e->next)
            columns.insert(e->col);
        if (!token_is(&token, ",")) break;
        next_token(source, pending);
    }
    if (columns.empty()) {
        *first = addresser - 1;
        *end = -2;
        return;
    }
    numnode** tail = list;
    for (int32_t c : columns) {
        numnode* n = newnumnode();
        n->digit = c + addresser - 1;
        n->next = nullptr;
        *tail = n;
        tail = &n->next;
    }
    *first = (*list)->digit;
    *cursor = (*list)->next;
    int32_t last = *first;
    for (numnode* n = *list; n; n = n->next) last = n->digit;
    *end = last;
}

}  // namespace

var* set_loop_variable(const tokenrec* id, int32_t v) {
    var* record = nullptr;
    iinsert(id, v, &record);
    return record;
}

int32_t index_word_in_ring(int32_t w) {
    if (!modularmode || modulus <= 0 || (w >= 0 && w < modulus)) return w;
    return word_residue(w);
}

namespace {

// The number record of a plain number in modular arithmetic (the form a
// loop index takes), else null.
imag* modular_word(const quoly* stored) {
    if (!modularmode || modulus <= 0 || !stored || !stored->isnum || stored->den || stored->rat) return nullptr;
    return stored->nnum;
}

}  // namespace

bool index_in_ring(const quoly* stored, quoly** value) {
    const imag* n = modular_word(stored);
    if (!n || n->value == index_word_in_ring(n->value)) return false;
    quoly_set(n->value, value);   // the element, as quoly_set makes it in modular mode
    return true;
}

bool index_counts_itself(const quoly* stored) {
    const imag* n = modular_word(stored);
    return n && n->value >= modulus;
}

void settle_loop_index(const tokenrec* id) {
    if (!modularmode || !id->name[0]) return;
    var* v = find_var(id);
    const imag* n = v ? modular_word(v->value) : nullptr;
    if (n && n->value != index_word_in_ring(n->value)) iset_record(v, index_word_in_ring(n->value));
}

void obtain_int(int32_t* out, int code, const char* context) {
    HeaderFrame here{&Input, &zilch};
    const HeaderFrame& h = current_header ? *current_header : here;
    if (integerflag) {
        old_iexpre(out, h.pending);
        return;
    }
    SlotHold v;
    read_count_value(h.source, h.pending, &v.q);
    const char* text = context ? context : token.name;
    *out = 0;
    if (!v.q->isnum) {
        error(code, text);
        return;
    }
    if (lintmode) {
        // A bound past a machine word, like one of two digits below.
        if (v.q->nnum->value == INT_DOES_NOT_FIT) {
            error(code, text);
            return;
        }
        *out = v.q->nnum->value;
    } else if (v.q->nnum->count != 1) {
        error(code, text);
    } else {
        *out = v.q->nnum->head->digit;
    }
}

void set_up_for_loop(FILE** source, name** pending, var** variable, int32_t* first, int32_t* end, int32_t* step,
                     numnode** list, numnode** cursor) {
    *list = *cursor = nullptr;
    *first = 1;
    *end = 0;
    *step = 1;
    *variable = nullptr;
    if (!is_lower(token.name[0])) {
        error(51, token.name);
        abandon_statement(51);
    }
    const tokenrec id = token;
    next_token(source, pending);
    if (token_is(&token, ":")) {
        next_token(source, pending);
        if (!token_is(&token, "=")) {
            error(77, token.name);
            abandon_statement(77);
        }
    } else if (!token_is(&token, "=") && !token_is(&token, "from") && !token_is(&token, " from ")) {
        error(77, token.name);
        abandon_statement(77);
    }

    HeaderFrameScope frame(source, pending);
    int32_t start = 0;
    bool from_rows = false;
    {
        ModularOffGuard off;
        next_token(source, pending);
        from_rows = token_is(&token, "[");
        if (from_rows) sparse_row_values(source, pending, &start, end, list, cursor);
    }
    if (from_rows) {
        *first = start;
        *variable = set_loop_variable(&id, start);
        return;
    }
    {
        ModularOffGuard off;
        obtain_int(&start, 50, nullptr);
        if (!token_is(&token, " to") && !token_is(&token, ",")) {
            error(49, token.name);
            abandon_statement(49);
        }
        // A bound beyond one digit would not fit the variable's number.
        if (start > LOOP_LIMIT || start < -LOOP_LIMIT) {
            error(47, id.name);
            abandon_statement(47);
        }
        *variable = set_loop_variable(&id, start);
        next_token(source, pending);
        obtain_int(end, 52, nullptr);
        if (token_is(&token, " by") || token_is(&token, ",")) {
            next_token(source, pending);
            obtain_int(step, 53, nullptr);
        }
    }
    *first = start;
}
