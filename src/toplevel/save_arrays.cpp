// Arrays in the save text and in the variable listing: the declaration
// line, then the statement that fills the array. Small numbers go in the
// compact row-by-row literal, anything larger in the one-cell-per-line list
// form, and a sparse array in the sparse literal (row, column, value,
// column, value ...), so that reading the file builds the same arrays.
#include <cstdio>
#include <cstring>
#include <vector>

#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "toplevel/display.h"
#include "toplevel/ring_change.h"
#include "toplevel/save_file.h"

namespace {

// Past these sizes a number goes in the list form (base-2^28 digits).
constexpr int32_t COMPACT_NUMBER_DIGITS = 9;
constexpr int32_t COMPACT_RATIONAL_DIGITS = 10;
// A sparse row's line is broken after this many characters.
constexpr int32_t SPARSE_LINE = 150;
// The list form's continuation lines line up under "[a] := [( ".
constexpr const char* LIST_INDENT = "          ";
// A cell of the compact form is never broken: the row-by-row literal reads
// one row per line. The column counter starts this far below any cut-off.
constexpr int32_t UNBROKEN = -1000000;

void describe(FILE* out, const array* a) {
    std::fprintf(out, "Array %s[%li", a->name, static_cast<long>(a->rows));
    if (one_subscript(a))
        std::fprintf(out, "]");
    else
        std::fprintf(out, ",%li]", static_cast<long>(array_columns(a)));
    std::fprintf(out, a->sparse ? " Sparse;\n" : ";\n");
}

int32_t digits_of(const imag* n) { return n->count; }

// The value reads back exactly only through the term reader.
bool needs_term_reader(const quoly* q) {
    if (q->isnum || monomial_list || uglyprint) return false;
    return !q->rat || lintmode;
}

bool compact_cell(const quoly* q) {
    if (!q) return true;
    if (lintmode) return q->isnum;
    if (q->isnum) return digits_of(q->nnum) <= COMPACT_NUMBER_DIGITS;
    if (!q->rat) return false;
    return digits_of(q->pnum->ncoef) + digits_of(q->den->ncoef) <= COMPACT_RATIONAL_DIGITS;
}

bool all_compact(const array* a) {
    for (int32_t c = a->first; c <= a->last; c++)
        if (!compact_cell(*cell_at(c))) return false;
    return true;
}

bool any_unset(const array* a) {
    for (int32_t c = a->first; c <= a->last; c++)
        if (!*cell_at(c)) return true;
    return false;
}

void write_value(FILE** out, quoly* q, int32_t* col, int tail_wanted, const char* tail) {
    if (needs_term_reader(q)) {
        std::fprintf(*out, "&_n ");
        *col += 4;
    }
    quoly_display(out, 0, 0, tail_wanted, q, col, tail, polynames, 0, 0, 0);
}

// The compact form: "[a] := [[" and the rows, one per line.
void arrdis(FILE** out, const array* a) {
    FILE* f = *out;
    const int32_t rows = a->rows;
    const int32_t columns = array_columns(a);
    std::fprintf(f, "[%s] := [[ ", a->name);
    const int indent = static_cast<int>(std::strlen(a->name)) + 9;
    for (int32_t r = 0; r < rows; r++) {
        for (int32_t c = 0; c < columns; c++) {
            const int64_t k = r + int64_t{c} * rows;
            quoly* q = *cell_at(a->first + k);
            const bool very_last = r == rows - 1 && c == columns - 1;
            if (q) {
                std::fprintf(f, " ");
                int32_t col = UNBROKEN;
                quoly_display(out, 0, 0, 0, q, &col, "", polynames, 0, 0, 0);
            } else {
                std::fprintf(f, "0");
            }
            if (!very_last)
                std::fprintf(f, ", ");
            else if (!q)
                std::fprintf(f, "  ");
        }
        if (columns == 1) continue;
        if (r < rows - 1) std::fprintf(f, "\n%*s", indent, "");
    }
    std::fprintf(f, columns == 1 ? "  ]];\n" : "   ]];\n");
}

// The list form: one cell per line, column by column, "[a] := [(" ... ")];".
void list_form(FILE** out, const array* a) {
    FILE* f = *out;
    const int32_t rows = a->rows;
    const int32_t columns = array_columns(a);
    for (int32_t c = 0; c < columns; c++) {
        for (int32_t r = 0; r < rows; r++) {
            const bool first = r == 0 && c == 0;
            const bool very_last = r == rows - 1 && c == columns - 1;
            int32_t col = 10;
            if (first) {
                std::fprintf(f, "[%s] := [( ", a->name);
                col += static_cast<int32_t>(std::strlen(a->name)) + 1;
            } else {
                std::fprintf(f, "%s", LIST_INDENT);
            }
            const char* sep = very_last ? " " : ",";
            quoly* q = *cell_at(a->first + r + int64_t{c} * rows);
            if (q)
                write_value(out, q, &col, 1, sep);
            else
                std::fprintf(f, "0%s\n", sep);
        }
        if (rows > 1 && c < columns - 1) std::fprintf(f, " \n");
    }
    std::fprintf(f, "%s)];\n", LIST_INDENT);
}

// The sparse literal: "[a] := [[ row, column, value, column, value ... ],"
// one group per row that has entries, each on its own line (and broken
// after SPARSE_LINE characters); subscripts follow the index origin. An
// array without entries is made by its declaration alone.
void sparse_literal(FILE** out, const array* a) {
    FILE* f = *out;
    const int indent = static_cast<int>(std::strlen(a->name)) + 7;
    bool any = false;
    const sparse* fr = a->sparse;
    for (int32_t r = 1; r <= a->rows && fr; r++) {
        const colm* e = fr->row[(r - 1) % SPARSE_FRAME_ROWS];
        if (r % SPARSE_FRAME_ROWS == 0) fr = fr->next;
        if (!e) continue;
        if (!any)
            std::fprintf(f, "[%s] := [", a->name);
        else
            std::fprintf(f, ",\n%*s", indent, "");
        any = true;
        int32_t col = indent;
        col += std::fprintf(f, "[ %li", static_cast<long>(r + addresser - 1));
        for (; e; e = e->next) {
            if (col > SPARSE_LINE) {
                std::fprintf(f, ",\n%*s", indent + 3, "");
                col = indent + 3;
            } else {
                col += std::fprintf(f, ", ");
            }
            col += std::fprintf(f, "%li, ", static_cast<long>(e->col + addresser - 1));
            // The value's own line breaks count from its start.
            int32_t width = 0;
            write_value(out, e->val, &width, 0, "");
            col += width;
        }
        std::fprintf(f, " ]");
    }
    if (any) std::fprintf(f, "];\n");
}

// One cell's assignment on a line of its own.
void cell_line(FILE** out, const array* a, int64_t r, int64_t c, quoly* q) {
    int32_t col = std::fprintf(*out, " %s[%lli", a->name, static_cast<long long>(r + addresser));
    if (!one_subscript(a)) col += std::fprintf(*out, ",%lli", static_cast<long long>(c + addresser));
    col += std::fprintf(*out, "] := ");
    write_value(out, q, &col, 0, "");
    std::fprintf(*out, ";\n");
}

// The cells of one side, one assignment a line.
void cell_lines(FILE** out, const array* a, bool left_out) {
    each_cell(a, [out, a, left_out](int64_t r, int64_t c, quoly** q) {
        if (left_out_value(*q) == left_out) cell_line(out, a, r, c, *q);
    });
}

// A starred array: before the ring-change line the values its cells come
// back as, after it the cells written meanwhile (which the way back keeps).
void starred_part(FILE** out, const array* a, const std::vector<quoly*>& originals, SavePart part) {
    if (part == SavePart::left_out) {
        std::fprintf(*out, "\n");
        describe(*out, a);
    }
    const int32_t rows = a->rows;
    for (size_t k = 0; k < originals.size(); k++) {
        quoly* current = *cell_at(a->first + static_cast<int64_t>(k));
        quoly* q = part == SavePart::left_out ? originals[k] : originals[k] ? nullptr : current;
        if (q) cell_line(out, a, static_cast<int64_t>(k) % rows, static_cast<int64_t>(k) / rows, q);
    }
}

// A starred sparse array: before the ring-change line the entries that
// come back as their originals, after it the entries written meanwhile.
// False for any other array.
bool starred_sparse_part(FILE** out, const array* a, SavePart part) {
    const entry_visit none = [](int64_t, int64_t, quoly*) {};
    const entry_visit line = [out, a](int64_t r, int64_t c, quoly* q) { cell_line(out, a, r, c, q); };
    if (!a->sparse || !starred_entries(a, none, none)) return false;
    if (part == SavePart::left_out) {
        std::fprintf(*out, "\n");
        describe(*out, a);
        starred_entries(a, line, none);
    } else {
        starred_entries(a, none, line);
    }
    return true;
}

}  // namespace

CellSides cell_sides(const array* a) {
    CellSides sides;
    if (a->stamp < 0) return sides;
    // A starred array is written on both sides.
    if (!a->sparse && !starred_cells(a).empty()) return CellSides{true, true};
    if (a->sparse && starred_entries(a, [](int64_t, int64_t, quoly*) {}, [](int64_t, int64_t, quoly*) {}))
        return CellSides{true, true};
    each_cell(a, [&sides](int64_t, int64_t, quoly** q) {
        (left_out_value(*q) ? sides.left_out : sides.converted) = true;
    });
    return sides;
}

void do_array_part(FILE** out, array* a, SavePart part) {
    const std::vector<quoly*> originals = a->sparse ? std::vector<quoly*>{} : starred_cells(a);
    if (!originals.empty()) {
        starred_part(out, a, originals, part);
        return;
    }
    if (starred_sparse_part(out, a, part)) return;
    const CellSides sides = cell_sides(a);
    if (part == SavePart::converted) {
        cell_lines(out, a, false);
        return;
    }
    if (!sides.converted) {
        do_array_p(out, a);
        return;
    }
    std::fprintf(*out, "\n");
    describe(*out, a);
    cell_lines(out, a, true);
}

void do_array_p(FILE** out, array* a) {
    // An alias stands for an array parameter of a call in progress.
    if (a->stamp < 0) return;
    std::fprintf(*out, "\n");
    describe(*out, a);
    if (a->sparse)
        sparse_literal(out, a);
    else if (any_unset(a))
        // The literals fill every cell: the set ones go one a line, and
        // the others stay unset as the declaration makes them.
        each_cell(a, [out, a](int64_t r, int64_t c, quoly** q) { cell_line(out, a, r, c, *q); });
    else if (a->first > a->last || all_compact(a))
        arrdis(out, a);
    else
        list_form(out, a);
}

void array_cells_p(FILE** out, const array* a, const std::vector<CellValue>& cells) {
    if (a->stamp < 0) return;
    std::fprintf(*out, "\n");
    describe(*out, a);
    for (const CellValue& c : cells) cell_line(out, a, c.row, c.col, c.value);
}

void arrdescribe(array* a) { describe(Output, a); }
