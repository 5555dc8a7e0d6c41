// Texts and cut-offs given as a whole dense array in brackets, "[" name "]":
// file names of the read and save commands, the prompt, the name of a
// polynomial variable (each cell one character code), and the variables'
// multiplication cut-offs of &(# = [a]).
#pragma once
#include <cstdio>
#include <string>

struct name;

// At most this many characters are taken from an array.
constexpr size_t MAX_ARRAY_TEXT = 255;

// `token` is "[": reads name "]" and the token after it. *text := the
// characters of the cells from the first to the last: empty cells and
// blanks skipped, each number's low byte one character, at most 255.
// Errors 28 (no such array), 42, 125, 176 ("<"), 220 ("%"), 24 ("]"
// missing), 258 (a sub-block), 259 (sparse), 260 (a cell that is not a
// plain number). No character: "*** Warning. array [%s] is empty.".
void get_from_array(FILE** source, name** pending, std::string* text);

// The same operand: cell k (from 1) gives the k-th variable from the
// outermost its own cut-off when above 5; the first cell also sets
// poly_cutoff (below 6: 40). Empty cells count and set nothing.
void get_cut_from_array(FILE** source, name** pending);
