// The array language's values and their readers: array statements
// (arr_parse), array expressions (arr_expre, arr_term), array factors
// (arr_fact) and sparse literals (sparse_read).
//
// An array value is five items: cells (column by column, in a work block
// lent by the reader's caller), count (rows x columns; 0: a scalar, held in
// the caller's result quoly), rows, frame (a sparse value's first frame,
// else null) and fresh (the cells or frame belong to the value; otherwise
// they are shared with a named array and are never changed or freed).
//
// Ownership on errors: each value is released by the routine that declared
// it (an ArrValueHold), so an unwinding error frees what is in flight; the
// readers keep the five items describing exactly what is owned at every step.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/other_records.h"
#include "storage/records.h"

struct name;

struct arr_value {
    quoly** cells = nullptr;
    int64_t count = 0;
    int32_t rows = 0;
    sparse* frame = nullptr;
    int fresh = 0;
    int32_t columns() const { return rows > 0 ? static_cast<int32_t>(count / rows) : 0; }
};

extern int want_sparse;   // the assignment's target is sparse: literals build frames
extern int cancelflag;    // 1 while arr_expre runs (the delete statement refuses)

// Frees what a fresh value owns (a shared one is only forgotten); count := 0.
void release_value(arr_value* v);
// A shared value becomes fresh: its cells (or frame) are copied.
void make_fresh(arr_value* v);

// The holds form a stack of the values in flight (newest first), so that a
// call inside an array expression can first give every shared one its own
// cells: the call may rewrite or free the stored array they point into.
struct ArrValueHold {
    arr_value* v;
    ArrValueHold* older;
    explicit ArrValueHold(arr_value* x);
    ~ArrValueHold();
    ArrValueHold(const ArrValueHold&) = delete;
    ArrValueHold& operator=(const ArrValueHold&) = delete;
};

// Every value in flight that shares a stored array's cells or frame is made
// fresh: operands read before a built-in or a user function runs keep the
// values they had when they were reached.
void freshen_values_in_flight();

// Reports the numbered error and ends the statement.
[[noreturn]] void arr_error(int code, const char* token);

// The dense cells of array a (store cells from its first) into out, as
// shared pointers; a cell never assigned becomes 0 with the warning.
void fillit_1(array* a, quoly** out);
// The frames of sparse array a as an operand, shared (fresh 0); for one a
// conversion list left out, in modular mode, a copy (fresh 1) holding the
// elements of the ring its entries stand for.
void sparse_operand(array* a, arr_value* v);
// The same for a block of a dense array: `columns` columns of `rows`
// cells from store index first, stride cells apart, column by column.
void fillit(int32_t rows, int32_t columns, int32_t first, int32_t stride, quoly** out);
// After fillit or fillit_1: the cells of an array a conversion list left
// out enter as their elements of the ring, the value made fresh with
// copies; a cell without one is error 85 and the statement ends.
void enter_left_out_cells(arr_value* v);
// An array value (or the scalar every cell gets) computed with modular
// arithmetic suspended, about to be stored: made fresh, and each cell the
// element its words stand for (a sparse entry that becomes 0 is dropped).
// Nothing otherwise.
void settle_suspended_cells(arr_value* v, quoly** scalar);

// ---- readers (token at the first token of what they read) ----
void arr_expre(FILE** source, quoly** result, arr_value* v, name** pending, int read_first);
void arr_term(FILE** source, quoly** result, arr_value* v, name** pending, int read_first);
void arr_fact(FILE** source, quoly** result, arr_value* v, name** pending);
// A postfix "^" or "#" on an operand in hand.
void half_arr_fact(FILE** source, quoly** result, arr_value* v, name** pending);
// After "[" "<" (the header's first token current): a generated array
// into v, fresh; the closing "]" is left current.
void generated_array(FILE** source, arr_value* v, name** pending);
// The statement that begins with "%" (the array of arrays); token at "%".
void arr_arr_state(FILE** source, quoly** result, arr_value* v, name** pending);
// A never-assigned element reached through '%': the cell becomes 0 with
// the warning (20 of them a statement, then " ....etc...").
void note_uninitialised_element(quoly** cell);
// The assignment or expression statement (codes '[' and '~').
void arr_asstat(FILE** source, quoly** result, arr_value* v, name** pending);
// After "[" "[" with want_sparse: the sparse literal into v (expected shape
// in v->count and v->rows). *fallback := 1 when the first item shows a
// dense list: *scalar then holds the first element, read in the current
// arithmetic's value.
void sparse_read(FILE** source, quoly** scalar, arr_value* v, name** pending, int* fallback);
// Adds value (consumed) into element (row, column), both from addresser.
void sparse_adjoin(sparse* frame, int32_t row, int32_t column, quoly* value);
// The array value v becomes the system array (moved when fresh, copied
// otherwise): the result of a statement that stores no array.
void value_to_syst(arr_value* v);
// The system array's cells (or a copy of its frame) into v, fresh.
void take_syst(arr_value* v);
