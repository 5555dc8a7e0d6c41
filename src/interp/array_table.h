// The interpreter's side of arrays: looking array names up, the "Array"
// declaration, subscripts read from the input, element references for the
// factor routine and compiled code, array operands in brackets, the array
// of arrays '%' index, and deleting arrays (with the alias rules of array
// parameters).
//
// Cell addressing and the records themselves belong to matrix/array_store.h;
// these routines only read names and subscripts and call it.
#pragma once
#include <cstdint>
#include <cstdio>

#include "interp/token.h"
#include "storage/other_records.h"
#include "storage/records.h"

struct name;

// ---- the array of arrays '%' ----
constexpr int32_t ARRSTASH_SIZE = 400000;
extern array* arrstash[ARRSTASH_SIZE];   // element k of '%', null while unset
extern int32_t arrstash_used;            // slots ever set (the scan on deletion is skipped at 0)
// Every slot that points at a (clears the references a deletion would leave).
void clear_arrstash_of(const array* a);
// Reads "[" k "]" (token at "["): k := value - addresser in 0 .. 399,999.
// Errors 217 ("[" missing), 218 ("]" missing), 219 (not a number), 221
// (outside the range). Leaves the token after "]".
void get_arr_arr(FILE** source, name** pending, int32_t* k);

// ---- names ----
// Caches name's hash in it; *record := the newest array of that name, or
// null. Returns its first cell, -1 when there is none.
int32_t fastestlookup(tokenrec* nm, array** record);
// As fastestlookup, and "%" reads its index (the element array, error 220
// when unset), "<" is the system array. Token at the name ("%": at "%").
int32_t fasterlookup(tokenrec* nm, array** record, FILE** source, name** pending);
// The "Array" statement (built-in 0); token at "Array"; value := 0.
void create_array(FILE** source, quoly** value, name** pending);

// ---- subscripts ----
// One or two integer coordinates read with modular arithmetic off (the
// current token is the first token of the first); closed by `closing` or
// "]" (error 61), which is left current. Error 118 for a value that is
// not a plain number, 314 for a negative one when non_negative is set.
// With separator '~': a leading '~' means from addresser, a trailing one
// before "," or "]" means an open range (j := -1).
void evalcoords(FILE** source, int32_t* i, int32_t* j, name** pending, char closing, char separator, int* two,
                int non_negative);
// The same from stored code in integer mode (the integer evaluator).
void ievalcoords(int32_t* i, int32_t* j, name** pending, int* two);

// ---- arrays bound by compiled code ----
// What a compiled token names: an array looked up by name, with the last
// look-up kept while no array entered or left the name table since (so
// the token finds what the name would), and for a listed element with a
// fixed index that index, read instead of the subscript tokens.
struct compiled_array {
    tokenrec nm;
    array* arr = nullptr;   // the last look-up's result (null: none)
    uint32_t links = 0;     // array_links_stamp at that look-up; 0: never
    int32_t index = 0;      // the fixed linear index (from addresser)
    int fixed = 0;          // the subscript is that index
};
// The array the binding's name finds now (null when there is none).
array* bound_array(compiled_array* b);

// ---- element references ----
// `token` is the "[" after the array name nm. Reads the subscripts and the
// token after "]"; *cell := the element's value slot (a dense cell that was
// empty now holds 0), or null for an absent sparse entry; *list, *second
// := the sparse position (null list for a dense element). "if[" and
// "while[" run the construct typed outside a function into value.
// With a binding b, the array is b's (the name nm is only for messages)
// and a fixed index skips the subscript tokens.
void new_arretrieve(FILE** source, tokenrec* nm, name** pending, quoly*** cell, quoly** value, colm*** list,
                    int32_t* second, compiled_array* b = nullptr);
// Element k (linear, column order, from addresser) of the array nm for
// compiled code: the value slot, creating an absent sparse entry (holding
// 0) where it looked. Errors 27 (out of range), 28 (no array).
quoly** spec_lookup(tokenrec* nm, int32_t k, array** record);

// ---- array operands ----
// ---- blocks ----
// A rectangle of an array: its first cell (a store index for a dense
// array; for a sparse one the same offset from cell 0), its rows and
// columns, the row and column it starts at (from addresser) and the
// stride from one column to the next (the array's rows).
struct array_block {
    int32_t first;
    int32_t rows;
    int32_t columns;
    int32_t first_row;
    int32_t first_col;
    int32_t stride;
};
// "[" row range "," column range "]" after the array a's name (token at
// "["); leaves the token after "]". A range is i, i "~" j, i "~" (to the
// last), "~" j (from addresser) or empty (all); the bounds are integer
// expressions read with modular arithmetic off. A row range closed by "]"
// takes every column. Errors 56/57 (rows outside, reversed), 58/59
// (columns), 61, 118, and 28 when the bounds deleted the array.
void subarray(FILE** source, name** pending, array* a, array_block* out);

// ---- array operands ----
struct array_operand {
    tokenrec nm;            // the name read ("%" for an element of '%')
    array* record;          // null: no array of that name
    int32_t rows;           // of the block when there is one
    int32_t columns;
    int32_t sub_first_row;  // -1: no block; else its first row, from 0
    array_block block;      // the block (first cell -1 without one)
};
// "[" name "]" (token at "["): reads the operand, with a block when the
// name is followed by "[". allow_system: "<" is accepted. Errors 24, 42,
// 55, 83, 125, 175, 176, 220 and subarray's. Leaves the token after "]".
void left_side(FILE** source, name** pending, array_operand* out, int allow_system);

// ---- deletion ----
// An alias record (of an array parameter), already unlinked, back to
// arr_garb: its cells and frames are the aliased array's and stay.
void release_alias(array* alias);
// Deletes the newest array named nm and compacts the cell store. mode 0:
// it must exist (error 28); 1: nothing when absent. Returns 1 when one was
// deleted. An alias of an array parameter, or an array an alias stands
// for, is refused inside a body, at a nested level or anywhere else while
// a call runs, as in a file read (errors 138, 139, before anything
// changes). in_body: the statement runs from stored code.
int removearray(int mode, tokenrec* nm, bool in_body);

// ---- factors the evaluator hands over ----
// '%' "[" k "]" "[" subscripts "]" (token at "%"): as new_arretrieve for
// element array k (error 220 while it is unset, 217 without "[").
void arr_arr_element(FILE** source, quoly*** ref, quoly** value, colm*** list, int32_t* second, name** pending,
                     int references_only);
// '<' "[" subscripts "]" (token at "["): value := a copy of the system
// array's element (error 175 while it holds nothing); an empty dense cell
// becomes 0 with the uninitialised-element warning.
void system_element(FILE** source, quoly** value, name** pending);

// The values of a total evaluation taken from an array, p#(y = [a]):
// token at "["; reads "[" name "]" and the token after it. *chain := copies
// of the cells in column order, linked through their link words. Errors 28
// (no array), 259 (a sparse array), 48 (an unset cell).
void array_value_chain(FILE** source, name** pending, quoly** chain);

// Whether the record a still holds the array of that stamp (it was not
// deleted, nor its record reused).
bool array_alive(const array* a, int32_t stamp);

// ---- elements held across a call ('^' arguments) ----
struct element_ref {
    array* arr;             // the array, and its stamp when the reference was taken
    int32_t stamp;
    int32_t i, j;           // the subscripts as written (from addresser)
    int two;
};
// `token` is the "[" after nm: reads the subscripts and the token after
// "]"; *ref describes the element. Returns its cell slot (an empty dense
// cell now holds 0), or null for an absent sparse entry. Error 28.
// A binding b as for new_arretrieve.
quoly** element_reference(FILE** source, tokenrec* nm, name** pending, element_ref* ref,
                          compiled_array* b = nullptr);
// The element's cell slot now, or null when its array is gone (deleted,
// or its record reused) or the element is an absent sparse entry; with
// make, an absent sparse entry is made (holding 0).
quoly** element_cell_again(const element_ref& ref, bool make);
