// The output file and the save text: the whole state written as statements
// (switch lines, polynomial variables, functions, scalars, arrays, "&x;")
// that the read command runs to restore it; and the variable listing &v,
// which shares the scalar writer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "matrix/array_store.h"
#include "storage/other_records.h"

struct name;
struct var;
struct array;

// The output file command. &S and &s pass the blank name " ", the
// parameterised form its name. With an output file open, &s writes the
// save text into it; otherwise the name (asked for on the terminal when
// blank) opens the file, "@" closes it. *asked := 1 when the name was
// asked for: the statement's own end is then current and nothing more is
// to be read.
void save(FILE** source, name** pending, const char* given, int letter, int* asked);

// A save in modular mode writes the values a conversion list left out
// (still rational) before the ring-change line, the others after it; after
// a "**" list every value goes before the line as the way back gives it.
enum class SavePart { whole, left_out, converted, way_back };

// The scalars, sorted by name: as statements (listing 0) or as a listing
// on the terminal (listing 1, finish 1); values written when show_values
// is on or listing is 0.
void dump(FILE* out, int listing, int finish, int show_values);
// The same, limited in a save to one side of the ring-change line. For
// SavePart::way_back, instead gives the value written for each scalar.
void dump_part(FILE* out, int listing, int finish, int show_values, SavePart part,
               const std::map<const var*, quoly*>* instead = nullptr);
// The variable listing &v: the scalars, then the arrays.
void listvars(int show_values);
// The polynomial variables in save form, innermost first, each with its
// mod-out relation; after_change: written after the ring-change line, to
// be read in modular mode (no prime lists).
void polylist_save(FILE* out, bool after_change);
// The arrays in the order a save writes them: by name, oldest first.
std::vector<array*> save_order_arrays();

// ---- values left out by a conversion list (save_left_out.cpp) ----
// Whether any scalar, cell or sparse entry was left out, or a starred
// variable waits for its original.
bool any_left_out();
// The starred variables waiting for their originals as the ring-change
// line lists them: "*a, *b".
std::string starred_list();
// The left-out values in rational form, written with modular arithmetic
// off, to be read before the ring-change line.
void left_out_section(FILE* out);
// After a "**" list, when no value is left out: every scalar and array as
// the way back gives it (a starred value's original, a residue as the
// integer it comes back as), written with modular arithmetic off before a
// line that stars everything again.
bool way_back_save_wanted();
void way_back_section(FILE* out);
// The arrays written whole before the ring-change line though some of
// their cells are residues (written as the integers they come back as):
// those older than a record of their name written before the line, and
// those of both kinds that are not the newest of their name, so that the
// records of a name are read oldest first and cells assigned after the
// line by name reach the newest one.
std::set<const array*> pulled_before_line();

// ---- arrays (save_arrays.cpp) ----
// Which of its non-empty cells (entries of a sparse array) were left out
// by a conversion list, and which not.
struct CellSides {
    bool left_out = false;
    bool converted = false;
};
CellSides cell_sides(const array* a);
// f(row, column, slot) for every non-empty cell, subscripts counted from 0
// (a sparse entry's from its row and column).
template <class F>
void each_cell(const array* a, F f) {
    if (a->sparse) {
        const sparse* fr = a->sparse;
        for (int32_t r = 1; r <= a->rows && fr; r++) {
            colm* e = fr->row[(r - 1) % SPARSE_FRAME_ROWS];
            if (r % SPARSE_FRAME_ROWS == 0) fr = fr->next;
            for (; e; e = e->next) f(int64_t{r} - 1, int64_t{e->col} - 1, &e->val);
        }
        return;
    }
    const int32_t rows = a->rows;
    for (int64_t k = 0; k <= int64_t{a->last} - a->first; k++) {
        quoly** slot = cell_at(a->first + k);
        if (*slot) f(k % rows, k / rows, slot);
    }
}
// One side of an array whose cells were left out: before the ring-change
// line the declaration and the left-out cells (all of them by the usual
// statement, some of them one per line), after it the other cells one per
// line.
void do_array_part(FILE** out, array* a, SavePart part);
// One array's declaration and the given cells (subscripts from 0), one
// assignment a line.
struct CellValue {
    int64_t row, col;
    quoly* value;
};
void array_cells_p(FILE** out, const array* a, const std::vector<CellValue>& cells);
// One array written as statements that rebuild it: a newline, the
// declaration line, the cells (nothing for an alias of an array parameter).
void do_array_p(FILE** out, array* a);
// One array's declaration line ("Array a[3,4];", " Sparse;" for a sparse
// array) on Output, for the variable listing.
void arrdescribe(array* a);
