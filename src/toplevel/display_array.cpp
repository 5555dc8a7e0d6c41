// Display of arrays (see display_array.h).
#include "toplevel/display_array.h"

#include <cstring>

#include "interp/array_table.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

// Past this many columns a sparse row's line is broken.
constexpr int32_t SPARSE_LINE_COLUMNS = 150;

int32_t name_length(const char* s) { return static_cast<int32_t>(std::strlen(s)); }

quoly* cell_of(const array_view& v, int32_t r, int32_t c) {
    if (v.record && v.record->sparse) {
        // A block of a sparse array starts first cells from cell 0.
        const int32_t row0 = v.stride > 0 ? v.first % v.stride : 0;
        const int32_t col0 = v.stride > 0 ? v.first / v.stride : 0;
        return spar_retrieve(v.record->sparse, row0 + r + 1, col0 + c + 1);
    }
    const int64_t at = int64_t{v.first} + r + int64_t{c} * v.stride;
    return v.block ? v.block[at] : *cell_at(at);
}

// "&_n " before a polynomial that a file must read back as a sum of terms.
bool needs_term_switch(const quoly* q) {
    return !monomial_list && !uglyprint && !q->isnum && (!q->rat || lintmode);
}

void write_char(FILE** out, const quoly* q) {
    if (!q->isnum) {
        error(121, "'");
        return;
    }
    std::fputc(static_cast<char>(convert_to_int(q->nnum)), *out);
}

void element_line(FILE** out, const array_view& v, bool onedim, int32_t r, int32_t c) {
    if (onedim)
        std::fprintf(*out, " %s[%2ld] := ", v.name, static_cast<long>(v.row_label + r));
    else
        std::fprintf(*out, " %s[%2ld,%2ld] := ", v.name, static_cast<long>(v.row_label + r),
                     static_cast<long>(v.col_label + c));
}

void matrix_layout(FILE** out, int terminal, const array_view& v, int32_t width, int as_char, int header) {
    const bool onedim = v.record ? one_subscript(v.record) : false;
    const bool in_arp = v.block == nullptr;
    int32_t indent = 3;
    if (terminal && in_arp && header) {
        if (levelcount > 1) std::fprintf(*out, "%li", static_cast<long>(levelcount));
        std::fprintf(*out, "%s[%s] := ", prompt, v.name);
        indent = promptsize + name_length(v.name) + (prompt[0] == '\r' ? 8 : 9) + (levelcount > 1 ? 1 : 0);
    } else if (terminal && in_arp) {
        indent = 0;
    }
    if (terminal) {
        if (header)
            std::fputs("[[ ", *out);
        else if (!uglyprint)
            doblanks(out, indent);
    }
    for (int32_t r = 0; r < v.rows; r++) {
        for (int32_t c = 0; c < v.columns; c++) {
            const bool last_cell = r == v.rows - 1 && c == v.columns - 1;
            const bool last_column = c == v.columns - 1;
            quoly* q = cell_of(v, r, c);
            if (!terminal && q == quol_num_0) continue;
            if (!q) {
                if (!terminal) {
                    element_line(out, v, onedim, r, c);
                    std::fputs("0; \n", *out);
                    continue;
                }
                std::fputs(last_cell ? " * " : " *,", *out);
                if (onedim && r < v.rows - 1) doblanks(out, width - 3);
                continue;
            }
            int32_t col = 0;
            if (!terminal) {
                element_line(out, v, onedim, r, c);
                if (header && needs_term_switch(q)) std::fputs("&_n ", *out);
            }
            if (as_char) {
                write_char(out, q);
                col = 1;
            } else {
                if (header && width > 1) {
                    std::fputc(' ', *out);
                    col++;
                }
                quoly_display(out, terminal, 0, 0, q, &col, "", polynames, 0, 0, 0);
            }
            const bool separator = !last_cell && !(uglyprint && last_column);
            if (separator) {
                std::fputs(terminal ? "," : "; \n", *out);
                col++;
            } else if (!terminal) {
                std::fputs("; \n", *out);
            }
            if (terminal && !(last_column && !onedim && v.columns > 1) && col < width) doblanks(out, width - col);
        }
        if (!terminal) continue;
        if (r < v.rows - 1) {
            if (header)
                std::fputs(uglyprint ? "], [\n" : " `\n", *out);
            else
                std::fputs("\n", *out);
            doblanks(out, indent);
        } else if (header) {
            std::fputs(v.rows > 1 ? "   ]]\n" : (as_char ? " ]]\n" : "  ]]\n"), *out);
        }
    }
    if (terminal && header) std::fflush(stdout);
}

void list_layout(FILE** out, int terminal, const array_view& v, int as_char, int header) {
    const bool onedim = v.record ? one_subscript(v.record) : false;
    const bool sparse_array = v.record && v.record->sparse;
    bool first = true;
    for (int32_t c = 0; c < v.columns; c++) {
        for (int32_t r = 0; r < v.rows; r++) {
            const bool last_cell = r == v.rows - 1 && c == v.columns - 1;
            const char* sep = last_cell ? " " : ",";
            if (terminal && header) {
                element_line(out, v, onedim, r, c);
            } else if (header) {
                if (first)
                    std::fprintf(*out, "[%s] := [( ", v.name);
                else
                    std::fputs("          ", *out);
            }
            first = false;
            quoly* q = cell_of(v, r, c);
            if (!q) {
                if (terminal)
                    std::fputs("not defined.\n", *out);
                else
                    std::fprintf(*out, "0%s\n", sep);
                continue;
            }
            if (as_char) {
                write_char(out, q);
                std::fprintf(*out, "%s\n", sep);
                continue;
            }
            if (!terminal && needs_term_switch(q)) std::fputs("&_n ", *out);
            int32_t col = 0;
            const bool by_display = !terminal && !sparse_array;
            quoly_display(out, terminal, 0, by_display ? 1 : 0, q, &col, sep, polynames, 0, 0, 0);
            if (!by_display) std::fprintf(*out, "%s\n", sep);
        }
        if (v.rows > 1) {
            if (c < v.columns - 1 || terminal)
                std::fputs(" \n", *out);
            else
                std::fputs("          )];\n", *out);
        } else if (!terminal && c == v.columns - 1) {
            std::fputs("          )];\n", *out);
        }
    }
    if (terminal && header) std::fflush(stdout);
}

// The row's entries after the first start a new line when the line is full.
void sparse_break(FILE** out, int terminal, int32_t indent, int32_t* col) {
    std::fputs(terminal ? " `\n" : " \n", *out);
    doblanks(out, indent);
    *col = indent;
}

}  // namespace

void arrdisplay(FILE** out, int terminal, int list_form, array_view view, int32_t width, int as_char,
                int header) {
    if (!view.record && !view.block) {
        tokenrec nm;
        set_token(&nm, view.name);
        fastestlookup(&nm, &view.record);
        if (!view.record) {
            error(28, token.name);
            return;
        }
        view.first = view.record->sparse ? 0 : view.record->first;
        view.rows = view.record->rows;
        view.columns = array_columns(view.record);
        view.stride = view.record->rows;
    }
    array* a = view.record;
    if (a && a->sparse && view.first == 0 && view.rows == a->rows && view.columns == array_columns(a)) {
        if (terminal)
            sparse_display(out, a, 1);
        else
            better_sparse_display(out, a);
        return;
    }
    if (list_form)
        list_layout(out, terminal, view, as_char, header);
    else
        matrix_layout(out, terminal, view, width, as_char, header);
}

void arrdisplay_whole(FILE** out, array* a, int terminal, int32_t width, int as_char) {
    array_view v{a->name, a, a->sparse ? 0 : a->first, a->rows, array_columns(a), addresser, addresser, a->rows,
                 a == syst ? syst_cells : nullptr};
    arrdisplay(out, terminal, 0, v, width, as_char, 1);
}

void arrdis(FILE** out, array* a, int32_t first, int32_t rows, int32_t columns, int32_t stride, int32_t width) {
    (void)width;
    std::fprintf(*out, "[%s] := [[ ", a->name);
    const int32_t indent = name_length(a->name) + 9;
    for (int32_t r = 0; r < rows; r++) {
        for (int32_t c = 0; c < columns; c++) {
            const bool last = r == rows - 1 && c == columns - 1;
            quoly* q = *cell_at(int64_t{first} + r + int64_t{c} * stride);
            if (q) {
                int32_t col = 0;
                std::fputc(' ', *out);
                quoly_display(out, 0, 0, 0, q, &col, "", polynames, 0, 0, 0);
                if (!last) std::fputs(", ", *out);
            } else {
                std::fputs("0", *out);
                std::fputs(last ? "  " : ", ", *out);
            }
        }
        if (columns >= 2) {
            if (r < rows - 1) {
                std::fputc('\n', *out);
                doblanks(out, indent);
            } else {
                std::fputs("   ]];\n", *out);
            }
        }
    }
    if (columns < 2) std::fputs("  ]];\n", *out);
}

void sparse_display(FILE** out, array* a, int terminal) {
    int32_t indent;
    if (terminal && std::strcmp(a->name, "<") == 0) {
        std::fputs("[", *out);
        indent = 1;
    } else {
        const char* prefix = terminal ? prompt : "";
        std::fprintf(*out, "%s[%s] := [ ", prefix, a->name);
        indent = name_length(a->name) + name_length(prefix) + 8;
    }
    int32_t col = indent;
    bool first_row = true;
    for (int32_t r = 1; r <= a->rows; r++) {
        colm* e = *row_head(a->sparse, r);
        if (!e) continue;
        if (!first_row) sparse_break(out, terminal, indent, &col);
        first_row = false;
        const long row_label = static_cast<long>(r) + addresser - 1;
        col += std::fprintf(*out, "[%li", row_label);
        for (; e; e = e->next) {
            const long col_label = static_cast<long>(e->col) + addresser - 1;
            // A file takes the sparse literal's pairs, which read back.
            if (terminal) {
                col += std::fprintf(*out, ", [%li, ", col_label);
            } else {
                col += std::fprintf(*out, ", %li, ", col_label);
                if (needs_term_switch(e->val)) col += std::fprintf(*out, "&_n ");
            }
            quoly_display(out, terminal, 0, 0, e->val, &col, "", polynames, 0, 0, 0);
            if (terminal) std::fputs("]", *out);
            if (col > SPARSE_LINE_COLUMNS && e->next) sparse_break(out, terminal, indent + 3, &col);
        }
        std::fputs(terminal ? " ]" : "]", *out);
        if (!terminal && r < a->rows) {
            // A comma only when another group follows.
            bool more = false;
            for (int32_t s = r + 1; s <= a->rows && !more; s++) more = *row_head(a->sparse, s) != nullptr;
            if (more) std::fputs(",", *out);
        }
    }
    std::fputs(terminal ? " ]" : "]", *out);
    if (!terminal) std::fputs(";", *out);
    std::fputs(" \n \n", *out);
}

void better_sparse_display(FILE** out, array* a) {
    for (int32_t r = 1; r <= a->rows; r++)
        for (colm* e = *row_head(a->sparse, r); e; e = e->next) {
            std::fprintf(*out, "%s[%li, %li] := ", a->name, static_cast<long>(r) + addresser - 1,
                         static_cast<long>(e->col) + addresser - 1);
            int32_t col = 0;
            quoly_display(out, 0, 0, 0, e->val, &col, "", polynames, 0, 0, 0);
            std::fputs(";\n", *out);
        }
    std::fputs(" \n", *out);
}

namespace {

bool small_cell(const quoly* q) {
    if (!q) return true;
    if (lintmode) return q->isnum != 0;
    if (q->isnum) return q->nnum->count <= 9;
    if (q->rat) return q->pnum->ncoef->count + q->den->ncoef->count <= 10;
    return false;
}

}  // namespace

void write_array_value(FILE** out, array* a) {
    if (a->sparse) {
        bool any = false;
        for (int32_t r = 1; r <= a->rows && !any; r++) any = *row_head(a->sparse, r) != nullptr;
        // The literal has no empty form: the declaration alone makes the empty array.
        if (any) sparse_display(out, a, 0);
        return;
    }
    const int32_t columns = array_columns(a);
    bool small = true;
    for (int32_t c = a->first; c <= a->last && small; c++) small = small_cell(*cell_at(c));
    if (a->last < a->first || small) {
        arrdis(out, a, a->first, a->rows, columns, a->rows, 1);
        return;
    }
    array_view v{a->name, a, a->first, a->rows, columns, 1, 1, a->rows, nullptr};
    arrdisplay(out, 0, 1, v, 4, 0, 1);
}
