// The output statement '!': values, arrays and quoted text, on the terminal
// or, after the item '&' 'o', on the output file. Items are read and
// printed one by one.
#include "interp/exact_read.h"
#include "interp/output_statement.h"

#include <cstring>
#include <string>

#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/stored_code.h"
#include "numbers/ring.h"
#include "matrix/array_store.h"
#include "matrix/reached_arrays.h"
#include "matrix/left_out_cells.h"
#include "matrix/sparse.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/display_array.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

// The longest quoted text printed; longer text is read and dropped.
constexpr size_t QUOTE_LIMIT = 255;

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

bool statement_end() { return token_is(&token, ";") || token_is(&token, END_TOKEN); }

void blanks(FILE** out, int32_t n) {
    for (int32_t k = 0; k < n; k++) std::fputc(' ', *out);
}

// disp_size is an item's own business: restored when the item ends.
struct DispSizeGuard {
    int saved = disp_size;
    ~DispSizeGuard() {
        if (disp_size != saved) {
            disp_size = saved;
            if (!lintmode) rebuild_disp_cons();
        }
    }
};

struct target {
    FILE** out;
    int terminal;
};

// An integer width expression, modular arithmetic off; token at its first token.
int32_t read_width(FILE** source, name** pending) {
    SlotHold w;
    read_count_value(source, pending, &w.q);
    if (!w.q->isnum) return 0;
    const int32_t v = convert_to_int(w.q->nnum);
    return v == INT_DOES_NOT_FIT ? 0 : v;
}

// ':' [ "char" [ ':' width ] | width ]; token at ':' or elsewhere (no width).
void read_item_width(FILE** source, name** pending, int32_t* width, int* as_char) {
    *as_char = 0;
    if (!token_is(&token, ":")) return;
    next_token(source, pending);
    if (token_is(&token, "char")) {
        *as_char = 1;
        *width = 0;
        next_token(source, pending);
        if (token_is(&token, ":")) {
            next_token(source, pending);
            *width = read_width(source, pending);
        }
        return;
    }
    *width = read_width(source, pending);
}

void handle_quote(FILE** source, name** pending, const target& t) {
    std::string text;
    size_t n = 0;
    int newline = 0;
    for (;;) {
        tokenrec piece;
        dumbscanner(source, &piece, pending, &newline);
        if (token_is(&piece, "'")) break;
        // At the end of input dumbscanner gives ";" after its error.
        if (newline && token_is(&piece, ";")) break;
        const char c = newline ? '\n' : piece.name[0];
        newline = 0;
        n++;
        if (text.size() < QUOTE_LIMIT) text.push_back(c);
    }
    next_token(source, pending);
    std::fputs(text.c_str(), *t.out);
    if (token_is(&token, ":")) {
        next_token(source, pending);
        const int32_t w = read_width(source, pending);
        if (w > static_cast<int32_t>(n)) blanks(t.out, w - static_cast<int32_t>(n));
    }
}

void show_array(array* a, const target& t, int32_t width, int as_char) {
    // An array a conversion list left out is shown as it is read: its
    // values as elements of the ring, one that has none is error 85.
    SparseInRing in_ring(a);
    const bool dense = !a->sparse && a != syst;
    CellsInRing cells(a->first, dense ? a->rows : 0, dense ? array_columns(a) : 0, a->rows);
    if (t.terminal) {
        arrdisplay_whole(t.out, in_ring.record(), 1, width < 0 ? DEFAULT_CELL_WIDTH : width, as_char);
    } else {
        write_array_value(t.out, in_ring.record());
    }
}

// "[" name "]" and its shorter forms; token at "[".
void array_item(FILE** source, name** pending, int in_list, const target& t) {
    next_token(source, pending);
    tokenrec nm = token;
    array* a = nullptr;
    if (token_is(&nm, "%")) {
        next_token(source, pending);
        int32_t k = 0;
        get_arr_arr(source, pending, &k);
        a = arrstash[k];
        reach(a);
        if (!a) {
            error(220, token.name);
            abandon_statement(220);
        }
    } else {
        next_token(source, pending);
        if (token_is(&nm, "<")) {
            a = syst;
            if (syst->last < 0 && !syst->sparse) {
                error(175, nm.name);
                abandon_statement(175);
            }
        } else {
            fastestlookup(&nm, &a);
        }
    }
    array_block block{-1, 0, 0, 0, 0, 0};
    if (token_is(&token, "[")) {
        if (!a) {
            error(28, nm.name);
            abandon_statement(28);
        }
        if (a == syst) {
            error(83, token.name);
            abandon_statement(83);
        }
        subarray(source, pending, a, &block);
    }
    int32_t width = -1;
    int as_char = 0;
    if (token_is(&token, "]")) {
        next_token(source, pending);
    } else if (!(statement_end() || token_is(&token, ":") ||
                 (in_list && (token_is(&token, ",") || token_is(&token, ")"))))) {
        error(24, token.name);
        return;
    }
    read_item_width(source, pending, &width, &as_char);
    if (!a) {
        error(28, nm.name);
        return;
    }
    if (block.first >= 0) {
        // Only the block's own cells are read.
        const int32_t row0 = block.stride > 0 ? block.first % block.stride : 0;
        const int32_t col0 = block.stride > 0 ? block.first / block.stride : 0;
        SparseInRing in_ring(a, {row0 + 1, row0 + block.rows, col0 + 1, col0 + block.columns});
        CellsInRing cells(block.first, a->sparse ? 0 : block.rows, block.columns, block.stride);
        array_view view{a->name, in_ring.record(), block.first, block.rows, block.columns, block.first_row,
                        block.first_col, block.stride, nullptr};
        arrdisplay(t.out, t.terminal, 0, view, width < 0 ? DEFAULT_CELL_WIDTH : width, as_char, 1);
        return;
    }
    show_array(a, t, width, as_char);
}

void one_write_out(FILE** source, quoly** value, name** pending, int in_list, const target& t) {
    DispSizeGuard keep_size;
    if (token_is(&token, "'")) {
        handle_quote(source, pending, t);
        return;
    }
    if (statement_end()) {
        if (in_list)
            error(106, token.name);
        else
            std::fputc('\n', stdout);
        return;
    }
    if (token_is(&token, "[")) {
        array_item(source, pending, in_list, t);
        return;
    }
    int32_t col = 0;
    if (!in_list) {
        old_fact(source, value, pending);
        quoly_display(t.out, t.terminal, 0, 0, *value, &col, "", polynames, 0, 0, 0);
        return;
    }
    quoly* shown = nullptr;
    if (token_is(&token, "^")) {
        // The variable's own value, displayed without a copy.
        next_token(source, pending);
        quoly** ref = nullptr;
        colm** list = nullptr;
        int32_t second = 0;
        fact(source, &ref, value, &list, &second, pending, 0);
        shown = *value ? *value : (ref && *ref ? *ref : nullptr);
    } else {
        old_expre(source, value, pending);
        shown = *value;
    }
    SlotHold zero;
    if (!shown) {
        quoly_set(0, &zero.q);
        shown = zero.q;
    }
    int32_t width = -1;
    int as_char = 0;
    if (!token_is(&token, ":")) std::fputc(' ', *t.out);
    read_item_width(source, pending, &width, &as_char);
    quoly_display(t.out, t.terminal, 0, 0, shown, &col, "", polynames, 0, 0, as_char);
    if (width > col) blanks(t.out, width - col - 1);
}

}  // namespace

void handle_andsign(FILE** source, name** pending, int* terminal, FILE*** out) {
    next_token(source, pending);
    if (!token_is(&token, "o")) {
        error(261, token.name);
        abandon_statement(261);
    }
    if (output_file_name[0] == 0 || !outpuf) {
        error(263, token.name);
        abandon_statement(263);
    }
    next_token(source, pending);
    *terminal = 0;
    *out = &outpuf;
}

void write_out(FILE** source, quoly** value, name** pending) {
    next_token(source, pending);
    bool end_line = false;
    if (token_is(&token, "!")) {
        end_line = true;
        next_token(source, pending);
    }
    target t{&Output, 1};
    if (!token_is(&token, "(")) {
        one_write_out(source, value, pending, 0, t);
    } else {
        next_token(source, pending);
        if (token_is(&token, "&"))
            handle_andsign(source, pending, &t.terminal, &t.out);
        else
            one_write_out(source, value, pending, 1, t);
        while (!token_is(&token, ")")) {
            if (!token_is(&token, ",")) {
                error(105, token.name);
                abandon_statement(105);
            }
            next_token(source, pending);
            one_write_out(source, value, pending, 1, t);
        }
        next_token(source, pending);
    }
    free_quoly(value);
    quoly_set(0, value);
    if (end_line) {
        std::fputc('\n', *t.out);
        if (t.terminal) std::fflush(stdout);
    }
}
