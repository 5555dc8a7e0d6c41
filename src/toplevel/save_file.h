// The output file and the save text: the whole state written as statements
// (switch lines, polynomial variables, functions, scalars, arrays, "&x;")
// that the read command runs to restore it; and the variable listing &v,
// which shares the scalar writer.
#pragma once
#include <cstdint>
#include <cstdio>

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

// The scalars, sorted by name: as statements (listing 0) or as a listing
// on the terminal (listing 1, finish 1); values written when show_values
// is on or listing is 0.
void dump(FILE* out, int listing, int finish, int show_values);
// The variable listing &v: the scalars, then the arrays.
void listvars(int show_values);
// The polynomial variables in save form, innermost first, each with its
// mod-out relation.
void polylist_save(FILE* out);

// ---- arrays (save_arrays.cpp) ----
// One array written as statements that rebuild it: a newline, the
// declaration line, the cells (nothing for an alias of an array parameter).
void do_array_p(FILE** out, array* a);
// One array's declaration line ("Array a[3,4];", " Sparse;" for a sparse
// array) on Output, for the variable listing.
void arrdescribe(array* a);
